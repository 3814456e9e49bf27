#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <list>

namespace KADRIX {

  ObjectTokenRelation::ObjectTokenRelation(const LabelStr& name, const LabelStr& propagatorName,
                                           const ConstraintEngineId& constraintEngine,
                                           const std::vector<ConstrainedVariableId>& variables)
    : Constraint(name, propagatorName, constraintEngine, checkedScope(variables, 2)),
      m_token(variables[STATE_VAR]->parent()), m_currentDomain(getCurrentDomain(variables[OBJECT_VAR])) {
    KADRIX_CHECK(m_token.isValid());
    KADRIX_CHECK(variables[OBJECT_VAR]->parent() == m_token);
    KADRIX_CHECK_MSG(variables[OBJECT_VAR]->isClosed(),
                     "The Object Variable must be closed to correctly maintain the object token "
                     "relationship through propagation.");
  }

  ObjectTokenRelation::~ObjectTokenRelation() noexcept(false) { discard(false); }

  bool ObjectTokenRelation::canIgnore(const ConstrainedVariableId& /*variable*/, int /*argIndex*/,
                                      const DomainListener::ChangeType& changeType) {
    if (m_currentDomain.isOpen() || m_currentDomain.isEmpty())
      return true;
    if (changeType == DomainListener::RESET || changeType == DomainListener::RELAXED) {
      if (m_token->isActive())
        notifyAdditions();
      else
        notifyRemovals();
      KADRIX_CHECK(isValid());
    } else if (m_token->isActive())
      handleExecute();
    return true;
  }

  void ObjectTokenRelation::handleExecute(const ConstrainedVariableId& /*variable*/, int /*argIndex*/,
                                          const DomainListener::ChangeType& /*changeType*/) {
    handleExecute();
  }

  void ObjectTokenRelation::handleExecute() {
    KADRIX_CHECK(m_token.isValid());
    // An empty domain is an inconsistency: propagation reports it.
    if (m_currentDomain.isClosed() && m_currentDomain.isEmpty())
      return;
    KADRIX_CHECK(m_currentDomain.isOpen() || !m_currentDomain.isEmpty());
    if (!m_token->isActive() || m_currentDomain.isOpen())
      return;
    if (m_notifiedObjects.empty())
      notifyAdditions();
    else
      notifyRemovals();
    KADRIX_CHECK(isValid());
  }

  void ObjectTokenRelation::notifyAdditions() {
    std::list<double> values;
    m_currentDomain.getValues(values);
    KADRIX_CHECK(!values.empty());
    for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it) {
      ObjectId object(*it);
      KADRIX_CHECK(object.isValid());
      if (m_notifiedObjects.insert(object).second)
        object->add(m_token);
    }
  }

  void ObjectTokenRelation::notifyRemovals() {
    const bool active = m_token->isActive();
    // Removing the token from an object may change the set: walk a copy, in
    // the order the objects were made, so that what each removal frees in the
    // engine is freed in the same order in every run.
    std::vector<ObjectId> notified(m_notifiedObjects.begin(), m_notifiedObjects.end());
    std::sort(notified.begin(), notified.end(),
              [](const ObjectId& a, const ObjectId& b) { return a.getKey() < b.getKey(); });
    for (size_t i = 0; i < notified.size(); ++i) {
      const ObjectId& object = notified[i];
      // An object that holds the token by a binding leaves the domain only in
      // an inconsistent network: it keeps the token, and what ordered it there,
      // until a caller takes them back.
      if (active && (m_currentDomain.isMember(static_cast<double>(object)) ||
                     (object.isValid() && object->isConstrainedToThisObject(m_token))))
        continue;
      m_notifiedObjects.erase(object);
      if (object.isValid())
        object->remove(m_token);
    }
  }

  ObjectTokenRelation* ObjectTokenRelation::of(const TokenId& token) {
    for (const ConstraintId& constraint : token->getStandardConstraints())
      if (ObjectTokenRelation* relation =
              dynamic_cast<ObjectTokenRelation*>(static_cast<Constraint*>(constraint)))
        return relation;
    return nullptr;
  }

  void ObjectTokenRelation::holdOn(const ObjectId& object) {
    KADRIX_CHECK_MSG(m_token->isActive(),
                     "Only an active token is held by an object: " << m_token->toString());
    if (m_notifiedObjects.insert(object).second)
      object->add(m_token);
  }

  bool ObjectTokenRelation::isValid() const {
    const bool active = m_token->isActive();
    return (active && !m_notifiedObjects.empty()) || (!active && m_notifiedObjects.empty());
  }

  void ObjectTokenRelation::handleDiscard() {
    // With no object told there is nothing to take back, also when the token
    // went before its variables (an incomplete token deleted by its owner).
    if (!Entity::isPurging() && !m_notifiedObjects.empty()) {
      KADRIX_CHECK(m_token.isValid());
      notifyRemovals();
    }
    Constraint::handleDiscard();
  }

}
