#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/component/Variable.hh"

#include <cstdint>

namespace KADRIX {

  namespace {
    LabelStr componentName(const ObjectId& parent, const LabelStr& localName) {
      if (!parent.isValid())
        return localName;
      return LabelStr(parent->getName().toString() + "." + localName.toString());
    }

    PlanDatabaseId parentDatabase(const ObjectId& parent) {
      return parent.isValid() ? parent->getPlanDatabase() : PlanDatabaseId::noId();
    }
  }

  Object::Object(const PlanDatabaseId& planDatabase, const LabelStr& type, const LabelStr& name, bool open)
    : Entity(), m_type(type), m_name(name), m_planDatabase(planDatabase), m_state(INCOMPLETE),
      m_lastOrderingChoiceCount(0) {
    KADRIX_CHECK(m_planDatabase.isValid());
    KADRIX_CHECK_MSG(!m_planDatabase->isPurged(),
                     "Cannot add object " << name.toString() << " to a purged plan database.");
    commonInit(open);
  }

  Object::Object(const ObjectId& parent, const LabelStr& type, const LabelStr& localName, bool open)
    : Entity(), m_parent(parent), m_type(type), m_name(componentName(parent, localName)),
      m_planDatabase(parentDatabase(parent)), m_state(INCOMPLETE), m_lastOrderingChoiceCount(0) {
    KADRIX_CHECK(m_parent.isValid());
    // Checked before anything is registered, so that a refusal leaves nothing behind.
    KADRIX_CHECK_TEXT(m_planDatabase->getSchema()->canContain(parent->getType(), type, localName),
                      "m_planDatabase->getSchema()->canContain(parent->getType(), type, localName)",
                      "Object " << parent->getName().toString() << " cannot contain " << localName.toString()
                                << " of type " << type.toString());
    commonInit(open);
  }

  void Object::commonInit(bool open) {
    m_id = ObjectId(this);
    try {
      Variable<ObjectDomain>* self = new Variable<ObjectDomain>(
          m_planDatabase->getConstraintEngine(), ObjectDomain(m_id, m_type.c_str()), false, true,
          ConstrainedVariable::NO_NAME(), EntityId::noId(), -1);
      m_thisVar = self->getId();
      if (!m_parent.isNoId())
        m_parent->add(m_id);
      if (!open)
        Object::close();
    } catch (...) {
      // The destructor will not run: undo every registration before passing the failure on.
      undoConstruction();
      throw;
    }
  }

  void Object::undoConstruction() {
    if (isComplete() && m_planDatabase.isValid() && m_planDatabase->getObject(m_name) == m_id)
      m_planDatabase->notifyRemoved(m_id);
    if (m_parent.isValid())
      m_parent->m_components.erase(m_id);
    if (m_thisVar.isValid())
      m_thisVar->discard();
    if (m_id.isValid())
      m_id.remove();
  }

  Object::~Object() noexcept(false) {
    KADRIX_CHECK_TEXT(m_id.isValid(), "m_id", "");
    Entity::discard(false);
    if (m_id.isValid())
      m_id.remove();
  }

  const LabelStr& Object::entityTypeName() {
    static const LabelStr s_name("Object");
    return s_name;
  }

  const std::string& Object::getEntityType() const {
    static const std::string s_type("OBJECT");
    return s_type;
  }

  std::string Object::toString() const { return Entity::toString(); }

  std::string Object::toLongString() const { return m_type.toString() + ":" + getName().toString(); }

  const LabelStr& Object::entityType() const { return entityTypeName(); }

  const LabelStr& Object::getName() const { return m_name; }

  bool Object::canBeCompared(const EntityId& entity) const { return ObjectId::convertable(entity); }

  void Object::constructor(const std::vector<const AbstractDomain*>& /*arguments*/) {}

  void Object::close() {
    KADRIX_CHECK(!isComplete());
    m_state = COMPLETE;
    try {
      m_planDatabase->notifyAdded(m_id);
    } catch (...) {
      // Refused by the database: the object stays incomplete and unregistered.
      if (m_planDatabase->getObject(m_name) != m_id)
        m_state = INCOMPLETE;
      throw;
    }
  }

  ConstrainedVariableId Object::addVariable(const AbstractDomain& baseDomain, const char* name) {
    KADRIX_CHECK_MSG(!isComplete(), "Cannot add variable " << name
                                                           << " after completing object construction for "
                                                           << m_name.toString());
    KADRIX_CHECK_TEXT(
        m_planDatabase->getSchema()->canContain(m_type, baseDomain.getTypeName(), LabelStr(name)),
        "m_planDatabase->getSchema()->canContain(m_type, baseDomain.getTypeName(), name)",
        "Cannot add a variable " << name << " of type " << baseDomain.getTypeName().toString()
                                 << " to objects of type " << m_type.toString());
    const LabelStr fullName(m_name.toString() + "." + name);
    ConstrainedVariableId var = m_planDatabase->getConstraintEngine()->createVariable(
        baseDomain.getTypeName(), baseDomain, false, true, fullName, EntityId(m_id),
        static_cast<int>(m_variables.size()));
    m_variables.push_back(var);
    if (var->baseDomain().isSingleton())
      var->specify(var->baseDomain().getSingletonValue());
    return var;
  }

  ConstrainedVariableId Object::getVariable(const LabelStr& name) const {
    for (std::vector<ConstrainedVariableId>::const_iterator it = m_variables.begin(); it != m_variables.end();
         ++it) {
      const ConstrainedVariableId& var = *it;
      KADRIX_CHECK(var.isValid());
      if (var->getName() == name)
        return var;
    }
    return ConstrainedVariableId::noId();
  }

  ConstrainedVariableId Object::getVariable(const std::vector<unsigned int>& path) const {
    KADRIX_CHECK_MSG(!path.empty(), "An empty path names no member variable of " << m_name.toString() << ".");
    if (path.empty())
      return ConstrainedVariableId::noId();
    const unsigned int index = path[0];
    KADRIX_CHECK_TEXT(index < m_variables.size(), "index >= 0 && index < m_variables.size()",
                      "index of " << index << " out of bounds for " << m_name.toString());
    if (index >= m_variables.size())
      return ConstrainedVariableId::noId();
    const ConstrainedVariableId& var = m_variables[index];
    if (path.size() == 1)
      return var;
    const AbstractDomain& domain = var->lastDomain();
    KADRIX_CHECK_MSG(domain.isEntity() && domain.isSingleton(),
                     "Cannot follow the path through " << var->getName().toString()
                                                       << ": it does not hold exactly one object.");
    if (!domain.isEntity() || !domain.isSingleton())
      return ConstrainedVariableId::noId();
    ObjectId object(domain.getSingletonValue());
    return object->getVariable(std::vector<unsigned int>(path.begin() + 1, path.end()));
  }

  LabelStr Object::getRootType() const {
    const Id<Schema>& schema = m_planDatabase->getSchema();
    LabelStr type = m_type;
    while (schema->hasParent(type))
      type = schema->getParent(type);
    return type;
  }

  void Object::getAncestors(std::list<ObjectId>& results) const {
    if (m_parent.isNoId())
      return;
    results.push_back(m_parent);
    m_parent->getAncestors(results);
  }

  void Object::add(const ObjectId& component) {
    KADRIX_CHECK(m_components.find(component) == m_components.end());
    KADRIX_CHECK(component->getPlanDatabase() == m_planDatabase);
    KADRIX_CHECK(component->getParent() == m_id);
    m_components.insert(component);
  }

  void Object::remove(const ObjectId& component) {
    KADRIX_CHECK(!Entity::isPurging());
    KADRIX_CHECK(m_components.find(component) != m_components.end());
    m_components.erase(component);
  }

  void Object::setParent(const ObjectId& parent) {
    // Otherwise both parents would delete this object.
    if (m_parent.isValid() && m_parent != parent)
      m_parent->remove(m_id);
    m_parent = parent;
    m_parent->add(m_id);
  }

  std::string Object::getObjectType() const { return m_type.toString(); }

  PSList<PSVariable*> Object::getMemberVariables() {
    PSList<PSVariable*> result;
    for (std::vector<ConstrainedVariableId>::const_iterator it = m_variables.begin(); it != m_variables.end();
         ++it)
      result.push_back(static_cast<PSVariable*>(*it));
    return result;
  }

  PSVariable* Object::getMemberVariable(const std::string& name) {
    const LabelStr label(name);
    for (std::vector<ConstrainedVariableId>::const_iterator it = m_variables.begin(); it != m_variables.end();
         ++it)
      if ((*it)->getName() == label)
        return static_cast<PSVariable*>(*it);
    return nullptr;
  }

  PSList<PSToken*> Object::getTokens() const {
    PSList<PSToken*> result;
    for (TokenSet::const_iterator it = m_tokens.begin(); it != m_tokens.end(); ++it)
      result.push_back(static_cast<Token*>(*it));
    return result;
  }

  PSVarValue Object::asPSVarValue() const { return PSVarValue(static_cast<double>(m_id), OBJECT); }

  bool Object::isValid() const {
    KADRIX_CHECK_MSG(m_constraintsByKeyPair.size() == m_keyPairsByConstraintKey.size(),
                     "Lookup tables should have identical sizes. Must be out of synch.");
    for (std::vector<int>::const_iterator it = m_uncheckedTokens.begin(); it != m_uncheckedTokens.end(); ++it)
      checkTokenEntries(*it);
    for (std::vector<int>::const_iterator key = m_uncheckedPairs.begin(); key != m_uncheckedPairs.end();
         ++key)
      for (std::multimap<int, ConstraintId>::const_iterator it = m_constraintsByKeyPair.find(*key);
           it != m_constraintsByKeyPair.end() && it->first == *key; ++it)
        checkPairEntry(it);
    m_uncheckedTokens.clear();
    m_uncheckedPairs.clear();
#ifdef KADRIX_FULL_WALKS
    checkAllEntries();
#endif
    return true;
  }

  void Object::checkTokenEntries(int tokenKey) const {
    // A token's entries are adjacent: its entity is looked up once for all of them.
    bool first = true;
    for (std::multimap<int, ConstraintId>::const_iterator it = m_constraintsByTokenKey.find(tokenKey);
         it != m_constraintsByTokenKey.end() && it->first == tokenKey; ++it) {
      KADRIX_CHECK_MSG(it->second.isValid(), it->second);
      if (first)
        KADRIX_CHECK(Entity::getEntity(it->first));
      first = false;
    }
  }

  void Object::checkPairEntry(std::multimap<int, ConstraintId>::const_iterator it) const {
    KADRIX_CHECK_MSG(it->second.isValid(), "Invalid constraint for key pair " << it->first);
    std::map<int, int>::const_iterator pair = m_keyPairsByConstraintKey.find(it->second->getKey());
    KADRIX_CHECK_TEXT(pair != m_keyPairsByConstraintKey.end() && pair->second == it->first,
                      "m_keyPairsByConstraintKey.find(it->second->getKey())->second == it->first",
                      "Lookup should be symmetric.");
  }

  void Object::checkAllEntries() const {
    for (std::multimap<int, ConstraintId>::const_iterator it = m_constraintsByTokenKey.begin();
         it != m_constraintsByTokenKey.end(); it = m_constraintsByTokenKey.upper_bound(it->first))
      checkTokenEntries(it->first);
    for (std::multimap<int, ConstraintId>::const_iterator it = m_constraintsByKeyPair.begin();
         it != m_constraintsByKeyPair.end(); ++it)
      checkPairEntry(it);
  }

  void Object::touchToken(int tokenKey) {
    m_uncheckedTokens.push_back(tokenKey);
    entriesChanged(tokenKey);
  }

  void Object::entriesChanged(int /*tokenKey*/) {}

  void Object::handleDiscard() {
    if (!Entity::isPurging()) {
      checkDiscard();
      // Newest first, so that the engine's slots are freed in the reverse of
      // the order they were taken: an object made again gets the same indexes.
      for (std::vector<ConstrainedVariableId>::const_reverse_iterator it = m_variables.rbegin();
           it != m_variables.rend(); ++it)
        if (it->isValid())
          (*it)->discard();
      if (m_thisVar.isValid())
        m_thisVar->discard();
      // Depth first: each component's own discard does the same before it goes.
      const ObjectSet components(m_components);
      m_components.clear();
      for (ObjectSet::const_iterator it = components.begin(); it != components.end(); ++it)
        if (it->isValid())
          (*it)->cascadeDelete();
      if (m_parent.isValid())
        m_parent->remove(m_id);
      // An object that was never closed was never registered.
      if (isComplete() && m_planDatabase.isValid())
        m_planDatabase->notifyRemoved(m_id);
    }
    Entity::handleDiscard();
  }

  void Object::checkDiscardable() const {
    KADRIX_CHECK_MSG(tokens().empty(),
                     "Object cannot be deleted while there remain active tokens that could be on them.");
    KADRIX_CHECK(isValid());
    KADRIX_CHECK(m_thisVar.isValid());
    for (ObjectSet::const_iterator it = m_components.begin(); it != m_components.end(); ++it)
      if (it->isValid())
        (*it)->checkDiscardable();
  }

  void Object::checkDiscard() const {
    checkDiscardable();
    if (!m_heldChecked)
      checkNotHeld();
  }

  void Object::discardChecked() {
    m_heldChecked = true;
    discard();
  }

  void Object::checkNotHeld() const {
    if (m_planDatabase.isNoId() || m_planDatabase->isPurged())
      return;
    std::vector<ObjectId> tree;
    collectTree(tree);
    const std::pair<ConstrainedVariableId, ObjectId> holder = m_planDatabase->holderOf(tree);
    KADRIX_CHECK_MSG(holder.first.isNoId(), "Object " << holder.second->getName().toString()
                                                      << " cannot be deleted while the variable "
                                                      << holder.first->toString() << " holds it.");
  }

  void Object::collectTree(std::vector<ObjectId>& tree) const {
    tree.push_back(m_id);
    for (ObjectSet::const_iterator it = m_components.begin(); it != m_components.end(); ++it)
      if (it->isValid())
        (*it)->collectTree(tree);
  }

  void Object::cascadeDelete() {
    KADRIX_CHECK(m_parent.isValid());
    m_parent = ObjectId::noId();
    m_heldChecked = true;
    delete this;
  }

  // ------------------------------------------------------------------ tokens

  namespace {
    std::string stateText(const TokenId& token) {
      return token->toString() + ": " + token->getState()->toString();
    }
  }

  void Object::add(const TokenId& token) {
    KADRIX_CHECK(isComplete());
    KADRIX_DEBUG("Object:add:token",
                 "Adding token " << token->getPredicateName().toString() << "(" << token->getKey() << ")");
    m_tokens.insert(token);
    m_planDatabase->notifyAdded(m_id, token);
  }

  void Object::remove(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    KADRIX_DEBUG("Object:remove:token",
                 "Removing token " << token->getPredicateName().toString() << "(" << token->getKey() << ")");
    KADRIX_CHECK(isValid());
    KADRIX_CHECK(!Entity::isPurging());
    m_tokens.erase(token);

    // The token's own entries first; a precedence constraint also goes from the
    // other token's entries and is discarded on the spot.
    const int key = token->getKey();
    std::vector<ConstraintId> entries;
    for (std::multimap<int, ConstraintId>::const_iterator it = m_constraintsByTokenKey.find(key);
         it != m_constraintsByTokenKey.end() && it->first == key; ++it)
      entries.push_back(it->second);
    m_constraintsByTokenKey.erase(key);
    touchToken(key);

    std::set<ConstraintId> gathered;
    std::set<ConstraintId> discarded;
    for (std::vector<ConstraintId>::const_iterator it = entries.begin(); it != entries.end(); ++it) {
      const ConstraintId constraint = *it;
      KADRIX_CHECK(constraint.isValid());
      gathered.insert(constraint);
      KADRIX_DEBUG("Object:remove:token", "Also removing " << constraint->toString());
      if (m_keyPairsByConstraintKey.find(constraint->getKey()) != m_keyPairsByConstraintKey.end()) {
        discarded.insert(constraint);
        removePrecedenceConstraint(constraint);
      }
    }

    // Anything gathered that other tokens still list goes from their entries too.
    if (!gathered.empty()) {
      for (std::multimap<int, ConstraintId>::iterator it = m_constraintsByTokenKey.begin();
           it != m_constraintsByTokenKey.end();) {
        if (gathered.find(it->second) != gathered.end()) {
          KADRIX_DEBUG("Object:remove:token", "Also removing " << it->second->toString());
          touchToken(it->first);
          m_constraintsByTokenKey.erase(it++);
        } else
          ++it;
      }
    }

    for (std::set<ConstraintId>::const_iterator it = gathered.begin(); it != gathered.end(); ++it)
      if (discarded.find(*it) == discarded.end()) {
        note(OrderingJournal::UNBOUND, token);
        (*it)->discard();
      }
    // A token that leaves the object leaves its explicit binding here too:
    // placed again later, it is held only by what is asked of it then.
    if (m_explicitConstraints.erase(key) != 0)
      note(OrderingJournal::UNMARKED, token, token);

    m_planDatabase->notifyRemoved(m_id, token);
  }

  bool Object::hasToken(const TokenId& token) const {
    KADRIX_CHECK(token.isValid());
    return m_tokens.find(token) != m_tokens.end() && token->getObject()->lastDomain().isSingleton();
  }

  void Object::constrain(const TokenId& predecessor, const TokenId& successor) {
    constrain(predecessor, successor, true);
  }

  void Object::free(const TokenId& predecessor, const TokenId& successor) {
    free(predecessor, successor, true);
  }

  namespace {
    /** The token handle of a public token, found by its key in the object's database. */
    TokenId tokenOf(const PlanDatabaseId& db, PSToken* token) {
      KADRIX_CHECK(token != 0);
      return TokenId(db->getEntityByKey(token->getKey()));
    }
  }

  void Object::addPrecedence(PSToken* pred, PSToken* succ) {
    constrain(tokenOf(m_planDatabase, pred), tokenOf(m_planDatabase, succ));
  }

  void Object::removePrecedence(PSToken* pred, PSToken* succ) {
    free(tokenOf(m_planDatabase, pred), tokenOf(m_planDatabase, succ));
  }

  void Object::notifyMerged(const TokenId& /*token*/) {}

  void Object::notifyRejected(const TokenId& /*token*/) {}

  void Object::notifyDeleted(const TokenId& token) { remove(token); }

  void Object::constrain(const TokenId& predecessor, const TokenId& successor, bool isExplicit) {
    KADRIX_CHECK(predecessor.isValid());
    KADRIX_CHECK_MSG(predecessor->isActive(), stateText(predecessor));
    KADRIX_CHECK(successor.isValid());
    KADRIX_CHECK_MSG(successor->isActive(), stateText(successor));
    KADRIX_CHECK_MSG(!isConstrainedToPrecede(predecessor, successor),
                     "Attempted to constrain previously constrained tokens.");
    // Both tokens must be able to go here before either is bound.
    checkAssignable(predecessor);
    checkAssignable(successor);

    constrainToThisObjectAsNeeded(predecessor);

    const int encodedKey = makeKey(predecessor, successor);
    KADRIX_COND_DEBUG(m_constraintsByKeyPair.find(encodedKey) != m_constraintsByKeyPair.end(),
                      "Object:makeKey",
                      "Collision detected for " << predecessor->toString() << " and " << successor->toString()
                                                << " with " << encodedKey);

    if (predecessor != successor) {
      constrainToThisObjectAsNeeded(successor);
      makePrecedence(predecessor, successor, isExplicit);
      note(OrderingJournal::PRECEDED, predecessor, successor, isExplicit);
    } else if (isExplicit && m_explicitConstraints.insert(predecessor->getKey()).second)
      note(OrderingJournal::MARKED, predecessor, predecessor);

    m_planDatabase->notifyConstrained(m_id, predecessor, successor);
    KADRIX_CHECK(isValid());
    if (m_planDatabase->getConstraintEngine()->getAutoPropagation())
      m_planDatabase->getConstraintEngine()->propagate();
  }

  void Object::checkAssignable(const TokenId& token) const {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK(token->isActive());
    // A token bound here already is not assigned again. Its domain holds this
    // object unless propagation found the network inconsistent; a timeline
    // that links it to a new neighbour then must not stop half-way.
    if (isConstrainedToThisObject(token))
      return;
    KADRIX_CHECK_MSG(token->getObject()->lastDomain().isMember(m_id),
                     "Cannot assign token " << token->getName().toString() << " to  object "
                                            << getName().toString() << ", it is not part of derived domain.");
  }

  void Object::constrainToThisObjectAsNeeded(const TokenId& token) {
    checkAssignable(token);
    if (!isConstrainedToThisObject(token)) {
      makeBinding(token);
      note(OrderingJournal::BOUND, token);
    }
  }

  void Object::makeBinding(const TokenId& token) {
    std::vector<ConstrainedVariableId> scope;
    scope.push_back(token->getObject());
    scope.push_back(m_thisVar);
    ConstraintId binding = m_planDatabase->getConstraintEngine()->createConstraint("eq", scope);
    binding->setOwned();
    m_constraintsByTokenKey.insert(std::make_pair(token->getKey(), binding));
    touchToken(token->getKey());
  }

  ConstraintId Object::makePrecedence(const TokenId& predecessor, const TokenId& successor, bool isExplicit) {
    const int encodedKey = makeKey(predecessor, successor);
    std::vector<ConstrainedVariableId> scope;
    scope.push_back(predecessor->end());
    scope.push_back(successor->start());
    const ConstraintId constraint =
        m_planDatabase->getConstraintEngine()->createConstraint("precedes", scope);
    constraint->setOwned();
    m_constraintsByKeyPair.insert(std::make_pair(encodedKey, constraint));
    m_keyPairsByConstraintKey.insert(std::make_pair(constraint->getKey(), encodedKey));
    m_constraintsByTokenKey.insert(std::make_pair(predecessor->getKey(), constraint));
    m_constraintsByTokenKey.insert(std::make_pair(successor->getKey(), constraint));
    touchPair(encodedKey);
    touchToken(predecessor->getKey());
    touchToken(successor->getKey());
    if (isExplicit)
      m_explicitConstraints.insert(constraint->getKey());
    return constraint;
  }

  void Object::free(const TokenId& predecessor, const TokenId& successor, bool isExplicit) {
    KADRIX_CHECK(!Entity::isPurging());
    KADRIX_CHECK(predecessor.isValid());
    KADRIX_CHECK(successor.isValid());
    KADRIX_CHECK_MSG(m_constraintsByTokenKey.find(predecessor->getKey()) != m_constraintsByTokenKey.end(),
                     "No constraint found on predecessor.");
    KADRIX_CHECK_MSG(m_constraintsByTokenKey.find(successor->getKey()) != m_constraintsByTokenKey.end(),
                     "No constraint found on successor.");
    KADRIX_CHECK_MSG(predecessor == successor || getPrecedenceConstraint(predecessor, successor).isValid(),
                     "A precedence constraint is required to free.");

    if (predecessor != successor) {
      removePrecedenceConstraint(getPrecedenceConstraint(predecessor, successor));
      clean(predecessor);
      clean(successor);
    } else {
      if (isExplicit) {
        KADRIX_CHECK_MSG(m_explicitConstraints.find(predecessor->getKey()) != m_explicitConstraints.end(),
                         "May only explicit free and explicit constraint.");
        m_explicitConstraints.erase(predecessor->getKey());
        note(OrderingJournal::UNMARKED, predecessor, predecessor);
      }
      clean(predecessor);
    }

    m_planDatabase->notifyFreed(m_id, predecessor, successor);
    KADRIX_CHECK(isValid());
    if (m_planDatabase->getConstraintEngine()->getAutoPropagation())
      m_planDatabase->getConstraintEngine()->propagate();
  }

  void Object::removePrecedenceConstraint(const ConstraintId& constraint) {
    const TokenId predecessor(constraint->getScope()[0]->parent());
    const TokenId successor(constraint->getScope()[1]->parent());
    const int encodedKey = makeKey(predecessor, successor);
    for (std::multimap<int, ConstraintId>::iterator it = m_constraintsByKeyPair.find(encodedKey);
         it != m_constraintsByKeyPair.end() && it->first == encodedKey; ++it) {
      if (it->second == constraint) {
        m_constraintsByKeyPair.erase(it);
        break;
      }
    }
    m_keyPairsByConstraintKey.erase(constraint->getKey());
    touchPair(encodedKey);
    const bool wasExplicit = m_explicitConstraints.erase(constraint->getKey()) != 0;
    clean(constraint, predecessor->getKey());
    clean(constraint, successor->getKey());
    note(OrderingJournal::UNPRECEDED, predecessor, successor, wasExplicit);
    constraint->discard();
  }

  void Object::clean(const ConstraintId& constraint, int tokenKey) {
    for (std::multimap<int, ConstraintId>::iterator it = m_constraintsByTokenKey.find(tokenKey);
         it != m_constraintsByTokenKey.end() && it->first == tokenKey; ++it) {
      if (it->second == constraint) {
        m_constraintsByTokenKey.erase(it);
        touchToken(tokenKey);
        return;
      }
    }
  }

  void Object::clean(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    const int key = token->getKey();
    std::multimap<int, ConstraintId>::iterator it = m_constraintsByTokenKey.find(key);
    KADRIX_CHECK_MSG(it != m_constraintsByTokenKey.end(), "Should be at least one constraint on clean");
    std::multimap<int, ConstraintId>::iterator next = it;
    ++next;
    const bool onlyEntry = next == m_constraintsByTokenKey.end() || next->first != key;
    if (onlyEntry && !hasExplicitConstraint(token) && !keepsBinding(token))
      dropBinding(token);
  }

  bool Object::keepsBinding(const TokenId& /*token*/) const { return false; }

  void Object::dropBinding(const TokenId& token) {
    const int key = token->getKey();
    for (std::multimap<int, ConstraintId>::iterator it = m_constraintsByTokenKey.find(key);
         it != m_constraintsByTokenKey.end() && it->first == key; ++it) {
      if (m_keyPairsByConstraintKey.count(it->second->getKey()) != 0)
        continue;
      const ConstraintId binding = it->second;
      m_constraintsByTokenKey.erase(it);
      touchToken(key);
      note(OrderingJournal::UNBOUND, token);
      binding->discard();
      return;
    }
    KADRIX_FAIL("No binding of " << token->toString() << " to " << getName().toString() << " to drop.");
  }

  ConstraintId Object::getPrecedenceConstraint(const TokenId& predecessor, const TokenId& successor) const {
    KADRIX_CHECK(predecessor.isValid());
    KADRIX_CHECK(successor.isValid());
    const int encodedKey = makeKey(predecessor, successor);
    const ConstrainedVariableId end(predecessor->end());
    const ConstrainedVariableId start(successor->start());
    for (std::multimap<int, ConstraintId>::const_iterator it = m_constraintsByKeyPair.find(encodedKey);
         it != m_constraintsByKeyPair.end() && it->first == encodedKey; ++it) {
      const std::vector<ConstrainedVariableId>& scope = it->second->getScope();
      if (scope[0] == end && scope[1] == start)
        return it->second;
    }
    return ConstraintId::noId();
  }

  void Object::getPrecedenceConstraints(const TokenId& token, std::vector<ConstraintId>& results) const {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK(isValid());
    KADRIX_CHECK(results.empty());
    bool singletonFound = false;
    const int key = token->getKey();
    for (std::multimap<int, ConstraintId>::const_iterator it = m_constraintsByTokenKey.find(key);
         it != m_constraintsByTokenKey.end() && it->first == key; ++it) {
      if (m_keyPairsByConstraintKey.find(it->second->getKey()) != m_keyPairsByConstraintKey.end())
        results.push_back(it->second);
      else {
        KADRIX_CHECK_MSG(singletonFound == false, "Can only find one singleton constraint per token.");
        singletonFound = true;
      }
    }
  }

  bool Object::isConstrainedToPrecede(const TokenId& predecessor, const TokenId& successor) const {
    return getPrecedenceConstraint(predecessor, successor).isId();
  }

  bool Object::isConstrainedToThisObject(const TokenId& token) const {
    KADRIX_CHECK(token.isValid());
    return m_constraintsByTokenKey.find(token->getKey()) != m_constraintsByTokenKey.end();
  }

  bool Object::isExplicitOrdering(const TokenId& predecessor, const TokenId& successor) const {
    if (predecessor == successor)
      return m_explicitConstraints.count(predecessor->getKey()) != 0;
    const ConstraintId constraint = getPrecedenceConstraint(predecessor, successor);
    return constraint.isId() && m_explicitConstraints.count(constraint->getKey()) != 0;
  }

  bool Object::hasExplicitConstraint(const TokenId& token) const {
    std::vector<ConstraintId> constraints;
    getPrecedenceConstraints(token, constraints);
    for (std::vector<ConstraintId>::const_iterator it = constraints.begin(); it != constraints.end(); ++it) {
      const ConstraintId& constraint = *it;
      KADRIX_CHECK_MSG(
          constraint->getScope()[1]->parent() == token || constraint->getScope()[0]->parent() == token,
          "Problem with constraint caching.");
      if (m_explicitConstraints.find(constraint->getKey()) != m_explicitConstraints.end())
        return true;
    }
    return m_explicitConstraints.find(token->getKey()) != m_explicitConstraints.end();
  }

  void Object::freeImplicitConstraints(const TokenId& token) {
    std::vector<ConstraintId> constraints;
    getPrecedenceConstraints(token, constraints);
    for (std::vector<ConstraintId>::const_iterator it = constraints.begin(); it != constraints.end(); ++it) {
      const ConstraintId& constraint = *it;
      KADRIX_CHECK_MSG(m_explicitConstraints.find(constraint->getKey()) == m_explicitConstraints.end(),
                       "Should never be freeing explicit constraints in this manner.");
      free(TokenId(constraint->getScope()[0]->parent()), TokenId(constraint->getScope()[1]->parent()), false);
    }
  }

  void Object::note(OrderingJournal::Kind kind, const TokenId& first, const TokenId& second,
                    bool explicitMark, const TokenId& third) const {
    m_planDatabase->getOrderingJournal().note(m_id, kind, first, second, explicitMark, third);
  }

  void Object::takeBack(const std::vector<OrderingJournal::Change>& changes) {
    for (const OrderingJournal::Change& change : changes)
      takeBack(change);
    KADRIX_CHECK(isValid());
  }

  void Object::takeBack(const OrderingJournal::Change& change) {
    const TokenId& first = change.first;
    const TokenId& second = change.second;
    switch (change.kind) {
      case OrderingJournal::BOUND:
        dropBinding(first);
        break;
      case OrderingJournal::UNBOUND:
        // A binding is a token's first entry, made before its precedences.
        KADRIX_CHECK_MSG(!isConstrainedToThisObject(first),
                         first->toString() << " is constrained to " << getName().toString() << " already.");
        holdAgain(first);
        makeBinding(first);
        break;
      case OrderingJournal::PRECEDED: {
        const ConstraintId constraint = getPrecedenceConstraint(first, second);
        KADRIX_CHECK_MSG(constraint.isId(), "No precedence of " << first->toString() << " before "
                                                                << second->toString() << " to take back.");
        removePrecedenceConstraint(constraint);
        m_planDatabase->notifyFreed(m_id, first, second);
        break;
      }
      case OrderingJournal::UNPRECEDED:
        makePrecedence(first, second, change.explicitMark);
        m_planDatabase->notifyConstrained(m_id, first, second);
        break;
      case OrderingJournal::MARKED:
      case OrderingJournal::UNMARKED: {
        const ConstraintId constraint =
            first == second ? ConstraintId::noId() : getPrecedenceConstraint(first, second);
        KADRIX_CHECK_MSG(first == second || constraint.isId(), "No precedence of "
                                                                   << first->toString() << " before "
                                                                   << second->toString() << " to mark.");
        const int key = constraint.isId() ? constraint->getKey() : first->getKey();
        if (change.kind == OrderingJournal::MARKED)
          m_explicitConstraints.erase(key);
        else
          m_explicitConstraints.insert(key);
        touchToken(first->getKey());
        break;
      }
      case OrderingJournal::LEFT_DOMAIN: {
        // A token's object domain is closed once it is made: it is opened only to take this object back.
        ConstrainedVariable& var = *first->getObject();
        const double value = static_cast<double>(m_id);
        if (!var.baseDomain().isMember(value)) {
          var.open();
          var.insert(value);
          var.close();
        }
        break;
      }
      default:
        KADRIX_FAIL("Only a timeline places tokens in a sequence.");
    }
  }

  void Object::holdAgain(const TokenId& token) {
    if (m_tokens.count(token) != 0)
      return;
    ObjectTokenRelation* relation = ObjectTokenRelation::of(token);
    KADRIX_CHECK_MSG(relation != nullptr, token->toString() << " has no object-token relation.");
    relation->holdOn(m_id);
  }

  void Object::notifyOrderingRequired(const TokenId& token) {
    m_planDatabase->notifyOrderingRequired(m_id, token);
  }

  void Object::notifyOrderingNoLongerRequired(const TokenId& token) {
    m_planDatabase->notifyOrderingNoLongerRequired(m_id, token);
  }

  int Object::makeKey(const TokenId& a, const TokenId& b) {
    const std::uint32_t shifted = (static_cast<std::uint32_t>(a->getKey())) << 16;
    return static_cast<int>(shifted ^ static_cast<std::uint32_t>(b->getKey()));
  }

  void Object::getOrderingChoices(const TokenId& token, std::vector<std::pair<TokenId, TokenId> >& results,
                                  unsigned int limit) {
    KADRIX_CHECK_MSG(limit > 0, "Cannot set limit to less than 1.");
    results.push_back(std::make_pair(token, token));
  }

  unsigned int Object::countOrderingChoices(const TokenId& token, unsigned int limit) {
    std::vector<std::pair<TokenId, TokenId> > choices;
    getOrderingChoices(token, choices, limit);
    m_lastOrderingChoiceCount = choices.size();
    return m_lastOrderingChoiceCount;
  }

  unsigned int Object::lastOrderingChoiceCount(const TokenId& /*token*/) const {
    return m_lastOrderingChoiceCount;
  }

  void Object::getTokensToOrder(std::vector<TokenId>& /*results*/) {}

  bool Object::hasTokensToOrder() const { return false; }

}
