// The client's token operations and token paths.
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <deque>
#include <sstream>

namespace KADRIX {

  namespace {
    /** Counts every merge call of every client; only the failure message of merge shows it. */
    unsigned int& mergeCount() {
      static unsigned int sl_count = 0;
      return sl_count;
    }
  }

  TokenId DbClient::allocateToken(const LabelStr& predicateName, bool rejectable, bool isFact) {
    KADRIX_CHECK_MSG(supportsAutomaticAllocation(), "Cannot allocate tokens from the schema.");
    const TokenId token = m_planDb->createToken(predicateName, rejectable, isFact);
    KADRIX_CHECK_MSG(token.isValid(), "Failed to allocate token for " << predicateName.toString());
    if (isTransactionLoggingEnabled()) {
      KADRIX_DEBUG("DbClient:allocateToken", "Saving token key " << token->getKey());
      m_keysOfTokensCreated.push_back(token->getKey());
    }
    return token;
  }

  TokenId DbClient::createToken(const char* predicateName, bool rejectable, bool isFact) {
    const TokenId token = allocateToken(LabelStr(predicateName), rejectable, isFact);
    KADRIX_DEBUG("DbClient:createToken", token->toString());
    publish([&](const DbClientListenerId& l) { l->notifyTokenCreated(token); });
    return token;
  }

  void DbClient::dropKeysOfDeadTokens() {
    while (!m_keysOfTokensCreated.empty() && Entity::getEntity(m_keysOfTokensCreated.back()).isNoId())
      m_keysOfTokensCreated.pop_back();
  }

  void DbClient::deleteToken(const TokenId& token, const std::string& name) {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK_MSG(token->isInactive() || token->isFact(),
                     "Attempted to delete active, non-fact token " << token->toString());
    // The order is checked before anyone is told: a refused deletion is no deletion.
    dropKeysOfDeadTokens();
    const int key = token->getKey();
    const bool isLast = !m_keysOfTokensCreated.empty() && m_keysOfTokensCreated.back() == key;
    const std::vector<int>::const_iterator earlier = m_keysOfTokensCreated.end() - (isLast ? 1 : 0);
    KADRIX_CHECK_TEXT(std::find(m_keysOfTokensCreated.cbegin(), earlier, key) == earlier,
                      "std::find(m_keysOfTokensCreated.begin(), m_keysOfTokensCreated.end(), "
                      "token->getKey()) == m_keysOfTokensCreated.end()",
                      "Attempted to delete " << token->toString() << " out of order.");

    // Listeners see the token with its key still recorded, so its path can be written.
    publish([&](const DbClientListenerId& l) { l->notifyTokenDeleted(token, name); });
    if (isLast) {
      KADRIX_DEBUG("DbClient:deleteToken", "Removing token key " << key);
      m_keysOfTokensCreated.pop_back();
    }
    token->discard();
  }

  void DbClient::activate(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    token->activate();
    KADRIX_DEBUG("DbClient:activate", token->toString());
    publish([&](const DbClientListenerId& l) { l->notifyActivated(token); });
  }

  void DbClient::merge(const TokenId& token, const TokenId& activeToken) {
    const unsigned int count = ++mergeCount();
    KADRIX_CHECK_MSG(token.isValid(), token << ":" << count);
    token->doMerge(activeToken);
    KADRIX_DEBUG("DbClient:merge", token->toString() << " onto " << activeToken->toString());
    publish([&](const DbClientListenerId& l) { l->notifyMerged(token, activeToken); });
  }

  void DbClient::reject(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    token->reject();
    KADRIX_DEBUG("DbClient:reject", token->toString());
    publish([&](const DbClientListenerId& l) { l->notifyRejected(token); });
  }

  void DbClient::cancel(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    const TokenId activeToken = token->isMerged() ? token->getActiveToken() : TokenId::noId();
    KADRIX_CHECK_MSG(activeToken.isNoId() || activeToken.isValid(), activeToken);

    // With logging on, the last merged token leaving an active token takes the
    // active token's key off the record when it is the newest recorded one; an
    // active token that was never recorded leaves the record alone. Checked
    // before anyone is told: a refused cancel is no cancel.
    bool dropLastKey = false;
    if (activeToken.isId() && activeToken->refCount() == 1 && isTransactionLoggingEnabled()) {
      dropKeysOfDeadTokens();
      const int key = activeToken->getKey();
      dropLastKey = !m_keysOfTokensCreated.empty() && m_keysOfTokensCreated.back() == key;
      const bool recordedEarlier = !dropLastKey &&
        std::find(m_keysOfTokensCreated.begin(), m_keysOfTokensCreated.end(), key) != m_keysOfTokensCreated.end();
      KADRIX_CHECK_TEXT(!recordedEarlier,
                        "!isTransactionLoggingEnabled() || m_keysOfTokensCreated.back() == activeToken->getKey()",
                        "If transaction logging enabled then we require chronological retraction. "
                        << activeToken->toString());
    }

    // Listeners see the token still active, merged or rejected.
    publish([&](const DbClientListenerId& l) { l->notifyCancelled(token); });
    if (dropLastKey) {
      KADRIX_DEBUG("DbClient:cancel", "Removing token key " << m_keysOfTokensCreated.back());
      m_keysOfTokensCreated.pop_back();
    }
    token->cancel();
    KADRIX_DEBUG("DbClient:cancel", token->toString());
  }

  void DbClient::constrain(const ObjectId& object, const TokenId& predecessor, const TokenId& successor) {
    KADRIX_CHECK(object.isValid());
    object->constrain(predecessor, successor);
    KADRIX_DEBUG("DbClient:constrain", predecessor->toString() << " before " << successor->toString());
    publish([&](const DbClientListenerId& l) { l->notifyConstrained(object, predecessor, successor); });
  }

  void DbClient::free(const ObjectId& object, const TokenId& predecessor, const TokenId& successor) {
    KADRIX_CHECK(object.isValid());
    object->free(predecessor, successor);
    KADRIX_DEBUG("DbClient:free", predecessor->toString() << " before " << successor->toString());
    publish([&](const DbClientListenerId& l) { l->notifyFreed(object, predecessor, successor); });
  }

  // ------------------------------------------------------------------ paths

  std::vector<int> DbClient::getPathByToken(const TokenId& targetToken) const {
    KADRIX_CHECK(isTransactionLoggingEnabled());
    KADRIX_CHECK(targetToken.isValid());
    std::deque<int> path;
    TokenId current = targetToken;
    TokenId master = targetToken->master();
    while (master.isId()) {
      const int slavePosition = master->getSlavePosition(current);
      KADRIX_CHECK(slavePosition >= 0);
      path.push_front(slavePosition);
      current = master;
      master = master->master();
    }
    const std::vector<int>::const_iterator root =
      std::find(m_keysOfTokensCreated.begin(), m_keysOfTokensCreated.end(), current->getKey());
    const int indexOfMaster =
      root == m_keysOfTokensCreated.end() ? -1 : static_cast<int>(root - m_keysOfTokensCreated.begin());
    KADRIX_CHECK(indexOfMaster >= 0);
    path.push_front(indexOfMaster);
    return std::vector<int>(path.begin(), path.end());
  }

  std::string DbClient::getPathAsString(const TokenId& targetToken) const {
    KADRIX_CHECK(isTransactionLoggingEnabled());
    const std::vector<int> path = getPathByToken(targetToken);
    std::ostringstream os;
    os << path[0];
    for (std::size_t i = 1; i < path.size(); ++i)
      os << "." << path[i];
    return os.str();
  }

  TokenId DbClient::getTokenByPath(const std::vector<int>& relativePath) const {
    KADRIX_CHECK(isTransactionLoggingEnabled());
    KADRIX_CHECK(!relativePath.empty());
    KADRIX_CHECK(!m_keysOfTokensCreated.empty());
    KADRIX_CHECK(relativePath[0] >= 0);
    if (static_cast<std::size_t>(relativePath[0]) >= m_keysOfTokensCreated.size())
      return TokenId::noId();
    const EntityId root = Entity::getEntity(m_keysOfTokensCreated[relativePath[0]]);
    if (root.isNoId())
      return TokenId::noId();
    TokenId token(root);
    for (std::size_t i = 1; i < relativePath.size() && token.isId(); ++i)
      token = TokenId(token->getSlave(relativePath[i]));
    return token;
  }

}
