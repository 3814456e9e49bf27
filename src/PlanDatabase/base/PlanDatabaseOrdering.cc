// Tokens on objects: placement and precedence notices, tokens to order and ordering choices.
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/component/Timeline.hh"
#include "Utils/base/Debug.hh"

#include <sstream>

// Part of PlanDatabase: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/base/PlanDatabase.cc"

namespace KADRIX {

  void PlanDatabase::notifyAdded(const ObjectId& object, const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish(
        [&object, &token](const PlanDatabaseListenerId& listener) { listener->notifyAdded(object, token); });
    KADRIX_DEBUG("PlanDatabase:notifyAdded:Object:Token", token->toString()
                                                              << " added to " << object->toString());
  }

  void PlanDatabase::notifyRemoved(const ObjectId& object, const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&object, &token](const PlanDatabaseListenerId& listener) {
      listener->notifyRemoved(object, token);
    });
    KADRIX_DEBUG("PlanDatabase:notifyRemoved:Object:Token", token->toString()
                                                                << " removed from " << object->toString());
  }

  void PlanDatabase::notifyConstrained(const ObjectId& object, const TokenId& predecessor,
                                       const TokenId& successor) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&](const PlanDatabaseListenerId& listener) {
      listener->notifyConstrained(object, predecessor, successor);
    });
    KADRIX_DEBUG("PlanDatabase:notifyConstrained",
                 "(" << predecessor->getKey() << ") On Object " << object->getType().toString() << ":"
                     << object->getName().toString() << " (" << object->getKey()
                     << ") Constrained Before Token (" << successor->getKey() << ")");
  }

  void PlanDatabase::notifyFreed(const ObjectId& object, const TokenId& predecessor,
                                 const TokenId& successor) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&](const PlanDatabaseListenerId& listener) {
      listener->notifyFreed(object, predecessor, successor);
    });
    KADRIX_DEBUG("PlanDatabase:notifyFreed",
                 "(" << predecessor->getKey() << ") On Object " << object->getType().toString() << ":"
                     << object->getName().toString() << " (" << object->getKey()
                     << ") Freed from Before Token (" << successor->getKey() << ")");
  }

  void PlanDatabase::notifyOrderingRequired(const ObjectId& object, const TokenId& token) {
    KADRIX_DEBUG("PlanDatabase:notifyOrderingRequired",
                 object->getName().toString() << "(" << object->getKey() << ") from " << token->toString());
    KADRIX_CHECK_MSG(token->isActive(), "Token must be active to induce an ordering:" << token->toString());
    std::map<int, std::pair<TokenId, ObjectSet> >::iterator it = m_tokensToOrder.find(token->getKey());
    if (it == m_tokensToOrder.end()) {
      m_tokensToOrder.insert(std::make_pair(token->getKey(), std::make_pair(token, ObjectSet())));
      it = m_tokensToOrder.find(token->getKey());
    }
    KADRIX_CHECK_MSG(it != m_tokensToOrder.end(), "Should be take care of by now.");
    ObjectSet& objects = it->second.second;
    KADRIX_CHECK_MSG(objects.find(object) == objects.end(),
                     "Should not be present. Must be a synchronization bug with extra notifications.");
    objects.insert(object);
  }

  void PlanDatabase::notifyOrderingNoLongerRequired(const ObjectId& object, const TokenId& token) {
    KADRIX_DEBUG("PlanDatabase:notifyOrderingNoLongerRequired",
                 object->getName().toString() << "(" << object->getKey() << ") from " << token->toString());
    std::map<int, std::pair<TokenId, ObjectSet> >::iterator it = m_tokensToOrder.find(token->getKey());
    KADRIX_CHECK_MSG(it != m_tokensToOrder.end(),
                     "Expect there to be a stored entry. Must be a bug in synchronization. Failed to send "
                     "initial message.");
    ObjectSet& objects = it->second.second;
    KADRIX_CHECK_MSG(objects.find(object) != objects.end(),
                     "Expect the object to be present. Again, must have failed to send initial message.");
    objects.erase(object);
    if (objects.empty())
      m_tokensToOrder.erase(it);
  }

  void PlanDatabase::getOrderingChoices(const TokenId& tokenToOrder, std::vector<OrderingChoice>& results,
                                        unsigned int limit) {
    KADRIX_CHECK(tokenToOrder.isValid());
    if (!m_constraintEngine->propagate())
      return;
    KADRIX_CHECK_MSG(m_tokensToOrder.find(tokenToOrder->getKey()) != m_tokensToOrder.end(),
                     "Should not be calling this method if it is not a token in need of ordering. "
                         << tokenToOrder->toString());
    const ObjectSet& objects = m_tokensToOrder.find(tokenToOrder->getKey())->second.second;
    KADRIX_CHECK_MSG(!objects.empty(),
                     "There should be at least one source of induced constraint on the token."
                         << tokenToOrder->toString());
    const std::size_t before = results.size();
    unsigned int count = 0;
    for (ObjectSet::const_iterator it = objects.begin(); it != objects.end(); ++it) {
      if (count == limit)
        continue;
      const ObjectId& object = *it;
      KADRIX_CHECK(object.isValid());
      std::vector<std::pair<TokenId, TokenId> > choices;
      object->getOrderingChoices(tokenToOrder, choices, limit - count);
      for (std::vector<std::pair<TokenId, TokenId> >::const_iterator c = choices.begin(); c != choices.end();
           ++c) {
        results.push_back(std::make_pair(object, *c));
        ++count;
      }
    }
    // Only what this call added counts against the limit.
    KADRIX_CHECK_TEXT(results.size() - before <= limit, "results.size() <= limit",
                      "Cutoff must be enforced.");
  }

  namespace {
    /** Whether the object is a timeline that has the token in its sequence. */
    bool sequences(const ObjectId& object, const TokenId& token) {
      Timeline* timeline = dynamic_cast<Timeline*>(static_cast<Object*>(object));
      return timeline != 0 && timeline->hasToken(token);
    }
  }

  unsigned int PlanDatabase::countOrderingChoices(const TokenId& token, unsigned int limit) {
    KADRIX_CHECK(token.isValid());
    if (!m_constraintEngine->propagate())
      return 0;
    std::list<double> values;
    token->getObject()->lastDomain().getValues(values);
    unsigned int choiceCount = 0;
    for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it) {
      ObjectId object(*it);
      // A timeline that has sequenced the token already offers no choice for it.
      if (sequences(object, token))
        continue;
      choiceCount += object->countOrderingChoices(token, limit - choiceCount);
      if (choiceCount >= limit)
        break;
    }
    return choiceCount;
  }

  unsigned int PlanDatabase::lastOrderingChoiceCount(const TokenId& token) const {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK_MSG(m_constraintEngine->constraintConsistent(),
                     "Cannot query for ordering choices while database is not constraintConsistent.");
    std::list<double> values;
    token->getObject()->lastDomain().getValues(values);
    unsigned int sum = 0;
    for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it)
      sum += ObjectId(*it)->lastOrderingChoiceCount(token);
    return sum;
  }

  bool PlanDatabase::hasOrderingChoice(const TokenId& token) { return countOrderingChoices(token, 1) != 0; }

}
