#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <deque>

namespace KADRIX {

  const char* DELIMITER = ":";

  DbClient::DbClient(const PlanDatabaseId& db) : m_deleted(false), m_transactionLoggingEnabled(false) {
    // Checked before the handle is made: a failure leaves nothing registered.
    KADRIX_CHECK(db.isValid());
    m_id = DbClientId(this);
    m_planDb = db;
  }

  DbClient::~DbClient() noexcept(false) {
    m_deleted = true;
    m_id.remove();
  }

  void DbClient::notifyAdded(const DbClientListenerId& listener) {
    KADRIX_CHECK(m_listeners.find(listener) == m_listeners.end());
    m_listeners.insert(listener);
  }

  void DbClient::notifyRemoved(const DbClientListenerId& listener) {
    KADRIX_CHECK(m_listeners.find(listener) != m_listeners.end());
    if (!m_deleted)
      m_listeners.erase(listener);
  }

  const ConstraintEngineId& DbClient::getConstraintEngine() const { return m_planDb->getConstraintEngine(); }

  const Id<CESchema>& DbClient::getCESchema() const { return getConstraintEngine()->getCESchema(); }

  const Id<Schema>& DbClient::getSchema() const { return m_planDb->getSchema(); }

  OrderingJournal& DbClient::getOrderingJournal() const { return m_planDb->getOrderingJournal(); }

  void DbClient::takeBackOrdering(const TokenId& madeAgain) {
    OrderingJournal& journal = getOrderingJournal();
    if (madeAgain.isId())
      journal.madeAgain(madeAgain);
    // Where no calls give back exactly what the call changed, the listeners
    // hear of the likeliest calls that the client carries out from this plan.
    std::vector<OrderingJournal::OrderingCall> calls;
    if (!journal.giveBackNewest(calls))
      noteUntoldChange();
    tell(calls);
  }

  void DbClient::tell(const std::vector<OrderingJournal::OrderingCall>& calls) {
    for (const OrderingJournal::OrderingCall& call : calls)
      if (call.action == OrderingJournal::OrderingCall::ORDER)
        publish([&](const DbClientListenerId& l) {
          l->notifyConstrained(call.object, call.predecessor, call.successor);
        });
      else if (call.action == OrderingJournal::OrderingCall::FREE)
        publish([&](const DbClientListenerId& l) {
          l->notifyFreed(call.object, call.predecessor, call.successor);
        });
      else if (call.action == OrderingJournal::OrderingCall::ACTIVATE)
        publish([&](const DbClientListenerId& l) { l->notifyActivated(call.predecessor); });
      else
        publish([&](const DbClientListenerId& l) { l->notifyCancelled(call.predecessor); });
  }

  ObjectId DbClient::getObject(const char* name) const { return m_planDb->getObject(LabelStr(name)); }

  ConstrainedVariableId DbClient::getGlobalVariable(const LabelStr& varName) const {
    return m_planDb->getGlobalVariable(varName);
  }

  bool DbClient::isGlobalVariable(const LabelStr& varName) const {
    return m_planDb->isGlobalVariable(varName);
  }

  ConstrainedVariableId DbClient::getVariableByIndex(unsigned int index) {
    return getConstraintEngine()->getVariable(index);
  }

  unsigned int DbClient::getIndexByVariable(const ConstrainedVariableId& var) {
    return getConstraintEngine()->getIndex(var);
  }

  ConstraintId DbClient::getConstraintByIndex(unsigned int index) {
    return getConstraintEngine()->getConstraint(index);
  }

  unsigned int DbClient::getIndexByConstraint(const ConstraintId& constr) {
    return getConstraintEngine()->getIndex(constr);
  }

  bool DbClient::constraintConsistent() const { return getConstraintEngine()->constraintConsistent(); }

  bool DbClient::supportsAutomaticAllocation() const { return m_planDb->hasTokenFactories(); }

  double DbClient::createValue(const char* typeName, const std::string& value) {
    return getConstraintEngine()->createValue(typeName, value);
  }

  bool DbClient::propagate() {
    getConstraintEngine()->propagate();
    return getConstraintEngine()->constraintConsistent();
  }

  void DbClient::enableTransactionLogging() {
    KADRIX_CHECK(!isTransactionLoggingEnabled());
    m_transactionLoggingEnabled = true;
    getOrderingJournal().setRecording(true);
  }

  void DbClient::disableTransactionLogging() {
    KADRIX_CHECK(isTransactionLoggingEnabled());
    m_transactionLoggingEnabled = false;
    getOrderingJournal().setRecording(false);
  }

  // ----------------------------------------------------------------- tokens

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

  bool DbClient::checkDeleteToken(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK_MSG(token->isInactive() || token->isFact(),
                     "Attempted to delete active, non-fact token " << token->toString());
    dropKeysOfDeadTokens();
    const int key = token->getKey();
    const bool isLast = !m_keysOfTokensCreated.empty() && m_keysOfTokensCreated.back() == key;
    const std::vector<int>::const_iterator earlier = m_keysOfTokensCreated.end() - (isLast ? 1 : 0);
    KADRIX_CHECK_TEXT(std::find(m_keysOfTokensCreated.cbegin(), earlier, key) == earlier,
                      "std::find(m_keysOfTokensCreated.begin(), m_keysOfTokensCreated.end(), "
                      "token->getKey()) == m_keysOfTokensCreated.end()",
                      "Attempted to delete " << token->toString() << " out of order.");
    return isLast;
  }

  void DbClient::deleteToken(const TokenId& token, const std::string& name) {
    // The order is checked before anyone is told: a refused deletion is no deletion.
    const bool isLast = checkDeleteToken(token);
    const int key = token->getKey();
    const OrderingJournal::CallRecord record(getOrderingJournal(), OrderingJournal::DELETE_TOKEN, token,
                                             TokenId::noId(), ObjectId::noId());

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
      const bool recordedEarlier =
          !dropLastKey && std::find(m_keysOfTokensCreated.begin(), m_keysOfTokensCreated.end(), key) !=
                              m_keysOfTokensCreated.end();
      KADRIX_CHECK_TEXT(
          !recordedEarlier,
          "!isTransactionLoggingEnabled() || m_keysOfTokensCreated.back() == activeToken->getKey()",
          "If transaction logging enabled then we require chronological retraction. "
              << activeToken->toString());
    }

    // Listeners see the token still active, merged or rejected.
    const OrderingJournal::CallRecord record(getOrderingJournal(), OrderingJournal::CANCEL, token,
                                             TokenId::noId(), ObjectId::noId());
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
    const OrderingJournal::CallRecord record(getOrderingJournal(), OrderingJournal::CONSTRAIN, predecessor,
                                             successor, object);
    object->constrain(predecessor, successor);
    KADRIX_DEBUG("DbClient:constrain", predecessor->toString() << " before " << successor->toString());
    publish([&](const DbClientListenerId& l) { l->notifyConstrained(object, predecessor, successor); });
  }

  void DbClient::free(const ObjectId& object, const TokenId& predecessor, const TokenId& successor) {
    KADRIX_CHECK(object.isValid());
    const OrderingJournal::CallRecord record(getOrderingJournal(), OrderingJournal::FREE, predecessor,
                                             successor, object);
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
    std::string text = std::to_string(path[0]);
    for (std::size_t i = 1; i < path.size(); ++i)
      text += "." + std::to_string(path[i]);
    return text;
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

  TokenId DbClient::getNewestRootToken() const {
    for (std::vector<int>::const_reverse_iterator key = m_keysOfTokensCreated.rbegin();
         key != m_keysOfTokensCreated.rend(); ++key) {
      const EntityId root = Entity::getEntity(*key);
      if (!root.isNoId())
        return TokenId(root);
    }
    return TokenId::noId();
  }

  // ------------------------------------------- objects, variables, constraints

  ObjectId DbClient::createObject(const char* type, const char* name) {
    static const std::vector<const AbstractDomain*> noArguments;
    const ObjectId object = m_planDb->createObject(LabelStr(type), LabelStr(name), noArguments);
    KADRIX_DEBUG("DbClient:createObject", object->toString());
    publish([&](const DbClientListenerId& l) { l->notifyObjectCreated(object); });
    return object;
  }

  ObjectId DbClient::createObject(const char* type, const char* name,
                                  const std::vector<const AbstractDomain*>& arguments) {
    const ObjectId object = m_planDb->createObject(LabelStr(type), LabelStr(name), arguments);
    KADRIX_DEBUG("DbClient:createObject", object->toString());
    publish([&](const DbClientListenerId& l) { l->notifyObjectCreated(object, arguments); });
    return object;
  }

  void DbClient::deleteObject(const ObjectId& obj) {
    KADRIX_CHECK(obj.isValid());
    // A refused deletion is no deletion: nobody is told of it.
    obj->checkDiscard();
    const OrderingJournal::CallRecord record(getOrderingJournal(), OrderingJournal::DELETE_OBJECT,
                                             TokenId::noId(), TokenId::noId(), obj);
    publish([&](const DbClientListenerId& l) { l->notifyObjectDeleted(obj); });
    obj->discardChecked();
  }

  void DbClient::close() {
    m_planDb->close();
    KADRIX_DEBUG("DbClient:close", "CLOSE ALL TYPES");
    publish([&](const DbClientListenerId& l) { l->notifyClosed(); });
  }

  void DbClient::close(const char* objectType) {
    const LabelStr type(objectType);
    m_planDb->close(type);
    KADRIX_DEBUG("DbClient:close", objectType);
    publish([&](const DbClientListenerId& l) { l->notifyClosed(type); });
  }

  namespace {
    /**
     * A global name must be free before the engine makes the variable: a
     * refused name leaves no variable behind.
     */
    void checkGlobalNameFree(const PlanDatabaseId& db, const char* name, bool isTmpVar) {
      if (isTmpVar)
        return;
      const LabelStr varName(name);
      KADRIX_CHECK_TEXT(!db->isGlobalVariable(varName), "!isGlobalVariable(varName)",
                        varName.toString() << " is not unique.");
    }
  }

  ConstrainedVariableId DbClient::createVariable(const char* typeName, const char* name, bool isTmpVar) {
    checkGlobalNameFree(m_planDb, name, isTmpVar);
    const LabelStr type(typeName);
    const ConstrainedVariableId variable = getConstraintEngine()->createVariable(
        type, isTmpVar, true, LabelStr(name), EntityId::noId(), ConstrainedVariable::NO_INDEX);
    if (getSchema()->isObjectType(type))
      m_planDb->makeObjectVariableFromType(type, variable, false);
    if (!isTmpVar)
      m_planDb->registerGlobalVariable(variable);
    publish([&](const DbClientListenerId& l) { l->notifyVariableCreated(variable); });
    return variable;
  }

  ConstrainedVariableId DbClient::createVariable(const char* typeName, const AbstractDomain& baseDomain,
                                                 const char* name, bool isTmpVar, bool canBeSpecified) {
    checkGlobalNameFree(m_planDb, name, isTmpVar);
    // No relaxation could ever give such a variable a value, nor a log write its domain.
    KADRIX_CHECK_MSG(!baseDomain.isEmpty() || baseDomain.isOpen(),
                     "Cannot create variable " << name << " with the empty domain " << baseDomain.toString());
    const LabelStr type(typeName);
    const ConstrainedVariableId variable =
        getConstraintEngine()->createVariable(type, baseDomain, isTmpVar, canBeSpecified, LabelStr(name),
                                              EntityId::noId(), ConstrainedVariable::NO_INDEX);
    if (getSchema()->isObjectType(type) && !variable->isClosed())
      m_planDb->makeObjectVariableFromType(type, variable, false);
    if (!isTmpVar)
      m_planDb->registerGlobalVariable(variable);
    publish([&](const DbClientListenerId& l) { l->notifyVariableCreated(variable); });
    return variable;
  }

  void DbClient::deleteVariable(const ConstrainedVariableId& var) {
    KADRIX_CHECK(var.isValid());
    KADRIX_CHECK_MSG(var->parent().isNoId(),
                     "Cannot delete " << var->toString() << ": it belongs to its parent, which deletes it.");
    // Only the global registered under the name is this variable; a temporary
    // variable may share its name.
    const LabelStr varName = var->getName();
    if (isGlobalVariable(varName) && getGlobalVariable(varName) == var)
      m_planDb->unregisterGlobalVariable(var);
    publish([&](const DbClientListenerId& l) { l->notifyVariableDeleted(var); });
    var->discard();
  }

  ConstraintId DbClient::createConstraint(const char* name, const std::vector<ConstrainedVariableId>& scope) {
    const ConstraintId constraint = getConstraintEngine()->createConstraint(LabelStr(name), scope);
    KADRIX_DEBUG("DbClient:createConstraint", constraint->toString());
    publish([&](const DbClientListenerId& l) { l->notifyConstraintCreated(constraint); });
    return constraint;
  }

  void DbClient::deleteConstraint(const ConstraintId& c) {
    KADRIX_CHECK(c.isValid());
    // A token's own constraints sit on its variables and go with the token.
    const std::vector<ConstrainedVariableId>& scope = c->getScope();
    for (std::size_t i = 0; i < scope.size(); ++i) {
      const TokenId owner =
          TokenId::convertable(scope[i]->parent()) ? TokenId(scope[i]->parent()) : TokenId::noId();
      KADRIX_CHECK_MSG(owner.isNoId() || !owner->isStandardConstraint(c),
                       "Cannot delete " << c->toString() << ": it belongs to token " << owner->toString()
                                        << ", which deletes it.");
    }
    publish([&](const DbClientListenerId& l) { l->notifyConstraintDeleted(c); });
    getConstraintEngine()->deleteConstraint(c);
  }

  void DbClient::restrict(const ConstrainedVariableId& variable, const AbstractDomain& domain) {
    KADRIX_CHECK(variable.isValid());
    KADRIX_DEBUG("DbClient:restrict", variable->toString() << " to " << domain.toString());
    variable->restrictBaseDomain(domain);
    publish([&](const DbClientListenerId& l) { l->notifyVariableRestricted(variable); });
  }

  void DbClient::specify(const ConstrainedVariableId& variable, double value) {
    KADRIX_CHECK(variable.isValid());
    KADRIX_DEBUG("DbClient:specify",
                 "before:" << variable->toString() << " to " << variable->toString(value));
    variable->specify(value);
    KADRIX_DEBUG("DbClient:specify", "after:" << variable->toString());
    publish([&](const DbClientListenerId& l) { l->notifyVariableSpecified(variable); });
  }

  void DbClient::close(const ConstrainedVariableId& variable) {
    KADRIX_CHECK(variable.isValid());
    variable->close();
    KADRIX_DEBUG("DbClient:close", variable->toString());
    publish([&](const DbClientListenerId& l) { l->notifyVariableClosed(variable); });
  }

  void DbClient::reset(const ConstrainedVariableId& variable) {
    KADRIX_CHECK(variable.isValid());
    KADRIX_DEBUG("DbClient:reset", "before:" << variable->toString());
    variable->reset();
    KADRIX_DEBUG("DbClient:reset", "after:" << variable->toString());
    publish([&](const DbClientListenerId& l) { l->notifyVariableReset(variable); });
  }

}
