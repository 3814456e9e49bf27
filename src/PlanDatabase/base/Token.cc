#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/UnifyMemento.hh"
#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/IdTable.hh"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <list>
#include <sstream>
#include <unordered_map>

namespace KADRIX {

  const LabelStr Token::INCOMPLETE("INCOMPLETE");
  const LabelStr Token::INACTIVE("INACTIVE");
  const LabelStr Token::ACTIVE("ACTIVE");
  const LabelStr Token::MERGED("MERGED");
  const LabelStr Token::REJECTED("REJECTED");

  namespace {
    const LabelStr& noRelation() {
      static const LabelStr sl_none("none");
      return sl_none;
    }

    /** The master's database; the master must be valid to have one. */
    const PlanDatabaseId& databaseOf(const TokenId& master) {
      KADRIX_CHECK(master.isValid());
      if (!master.isValid())
        return PlanDatabaseId::noId();
      return master->getPlanDatabase();
    }

    /** The text of a token handle, also when it no longer names a token. */
    std::string tokenText(const TokenId& token) {
      if (token.isValid())
        return token->toString();
      std::ostringstream os;
      os << token;
      return os.str();
    }

    /** Whether an object-domain value still names a live object. */
    bool isLiveObject(double value) {
      if (value <= 0 || value != std::floor(value))
        return false;
      const std::uintptr_t address = static_cast<std::uintptr_t>(value);
      const char* typeName = IdTable::getTypeName(address);
      return typeName != 0 && std::strcmp(typeName, Id<Object>::typeName()) == 0;
    }

    /**
     * Makes var a token variable over DomainType when none is made yet and the
     * base domain is of that class (or derives from it).
     */
    template <class DomainType>
    void makeParameterAs(ConstrainedVariable*& var, const TokenId& token, int index,
                         const ConstraintEngineId& engine, const AbstractDomain& baseDomain,
                         const LabelStr& name) {
      if (var == 0 && dynamic_cast<const DomainType*>(&baseDomain) != 0)
        var = new TokenVariable<DomainType>(token, index, engine, baseDomain, false, true, name);
    }
  }

  const TokenSet& LazyTokenSet::emptySet() {
    // Never destroyed: tokens may go after the program's statics.
    static const TokenSet* const sl_empty = new TokenSet();
    return *sl_empty;
  }

  // ---------------------------------------------------------------- construction

  Token::Token(const PlanDatabaseId& planDatabase, const LabelStr& predicateName, bool rejectable,
               bool isFact, const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName,
               bool closed)
    : Entity(), m_isFact(false), m_committed(false), m_deleted(false), m_terminated(false),
      m_abandoned(false), m_master(), m_relation(noRelation()), m_baseObjectType(),
      m_predicateName(predicateName), m_planDatabase(planDatabase) {
    const ObjectId object = checkConstruction(predicateName, objectName);
    m_id = TokenId(this);
    try {
      commonInit(predicateName, rejectable, isFact, durationBaseDomain, objectName, object, closed);
    } catch (...) {
      abandon();
      m_id.remove();
      throw;
    }
  }

  Token::Token(const TokenId& master, const LabelStr& relation, const LabelStr& predicateName,
               const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName, bool closed)
    : Entity(), m_isFact(false), m_committed(false), m_deleted(false), m_terminated(false),
      m_abandoned(false), m_master(master), m_relation(relation), m_baseObjectType(),
      m_predicateName(predicateName), m_planDatabase(databaseOf(master)) {
    KADRIX_CHECK(m_master->isActive());
    const ObjectId object = checkConstruction(predicateName, objectName);
    m_id = TokenId(this);
    try {
      m_master->add(m_id);
      commonInit(predicateName, false, false, durationBaseDomain, objectName, object, closed);
    } catch (...) {
      abandon();
      m_id.remove();
      throw;
    }
  }

  ObjectId Token::checkConstruction(const LabelStr& predicateName, const LabelStr& objectName) {
    KADRIX_CHECK(m_planDatabase.isValid());
    KADRIX_CHECK_MSG(!m_planDatabase->isPurged(),
                     "Cannot add a token of " << predicateName.toString() << " to a purged plan database.");
    KADRIX_CHECK_MSG(
        m_planDatabase->getSchema().isNoId() || m_planDatabase->getSchema()->isPredicate(predicateName),
        "Invalid predicate: " << predicateName.toString());
    m_baseObjectType = m_planDatabase->getSchema()->getObjectType(predicateName);
    const std::vector<double>& objects = m_planDatabase->objectsOfType(m_baseObjectType).values;
    KADRIX_CHECK_TEXT(
        !objects.empty(), "!m_planDatabase->getObjectsByType(m_baseObjectType).empty()",
        "Allocated a token with no object instance available of type " << m_baseObjectType.toString());
    if (objectName == noObject())
      return ObjectId::noId();
    const ObjectId& object = m_planDatabase->getObject(objectName);
    KADRIX_CHECK(object.isValid());
    KADRIX_CHECK_TEXT(std::binary_search(objects.begin(), objects.end(), static_cast<double>(object)),
                      "m_object->baseDomain().isMember(object)", "");
    return object;
  }

  void Token::commonInit(const LabelStr& predicateName, bool rejectable, bool isFact,
                         const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName,
                         const ObjectId& object, bool closed) {
    KADRIX_CHECK(m_planDatabase.isValid());
    m_committed = false;
    m_deleted = false;
    m_terminated = false;
    m_isFact = false;
    if (isFact)
      makeFact();

    KADRIX_DEBUG("Token:commonInit", "Initializing token (" << getKey() << ") for predicate "
                                                            << predicateName.toString() << " on object "
                                                            << objectName.toString());

    const ConstraintEngineId& engine = m_planDatabase->getConstraintEngine();

    // The variable keeps its own copy of this domain.
    StateDomain stateBaseDomain("States");
    stateBaseDomain.insert(ACTIVE.getKey());
    stateBaseDomain.insert(MERGED.getKey());
    if (rejectable)
      stateBaseDomain.insert(REJECTED.getKey());

    static const LabelStr sl_state("state");
    m_state = StateVarId((new TokenVariable<StateDomain>(m_id, static_cast<int>(m_allVariables.size()),
                                                         engine, stateBaseDomain, false, false, sl_state))
                             ->getId());
    m_allVariables.push_back(m_state);

    // The predicate, the base object type and the named object were checked
    // by checkConstruction.
    static const LabelStr sl_object("object");
    m_object = ObjectVarId(
        (new TokenVariable<ObjectDomain>(m_id, static_cast<int>(m_allVariables.size()), engine,
                                         ObjectDomain(m_baseObjectType.c_str()), false, true, sl_object))
            ->getId());
    m_planDatabase->makeObjectVariableFromType(m_baseObjectType, m_object, false);
    if (object.isId())
      m_object->specify(static_cast<double>(object));

    m_allVariables.push_back(m_object);
    if (!m_object->isClosed())
      m_object->close();

    static const LabelStr sl_duration("duration");
    m_duration =
        TempVarId((new TokenVariable<IntervalIntDomain>(m_id, static_cast<int>(m_allVariables.size()), engine,
                                                        durationBaseDomain, false, true, sl_duration))
                      ->getId());
    m_allVariables.push_back(m_duration);

    static const LabelStr sl_relationName("ObjectTokenRelation");
    static const LabelStr sl_propagator("Default");
    ObjectTokenRelation* relation =
        new ObjectTokenRelation(sl_relationName, sl_propagator, engine, makeScope(m_state, m_object));
    relation->setOwned();
    m_standardConstraints.insert(relation->getId());

    if (closed)
      close();

    KADRIX_CHECK(isValid());
  }

  void Token::abandon() {
    m_abandoned = true;
    m_deleted = true;
    if (m_master.isValid())
      m_master->m_slaves.erase(m_id);
    if (m_state.isValid() && !isIncomplete() && m_planDatabase.isValid() &&
        m_planDatabase->getTokens().count(m_id) != 0)
      m_planDatabase->notifyRemoved(m_id);
    // The object variable may exist before it is listed.
    if (m_object.isValid() && std::find(m_allVariables.begin(), m_allVariables.end(),
                                        ConstrainedVariableId(m_object)) == m_allVariables.end())
      m_allVariables.push_back(m_object);
    for (size_t i = 0; i < m_allVariables.size(); ++i)
      if (m_allVariables[i].isValid())
        m_allVariables[i]->discard(true);
    m_allVariables.clear();
    m_standardConstraints.clear();
  }

  void Token::close() {
    KADRIX_CHECK(isIncomplete());
    m_state->close();
    m_planDatabase->notifyAdded(m_id);
  }

  void Token::addVariable(const ConstrainedVariableId& var) {
    KADRIX_CHECK(var.isValid());
    KADRIX_CHECK(var->getIndex() == static_cast<int>(m_allVariables.size()));
    m_allVariables.push_back(var);
  }

  ConstrainedVariableId Token::addParameter(const AbstractDomain& baseDomain, const LabelStr& name) {
    KADRIX_CHECK(isIncomplete());
    const ConstraintEngineId& engine = m_planDatabase->getConstraintEngine();
    const int index = static_cast<int>(m_allVariables.size());
    // Most derived classes first: the variable takes the closest domain class.
    ConstrainedVariable* var = 0;
    makeParameterAs<ObjectDomain>(var, m_id, index, engine, baseDomain, name);
    makeParameterAs<StateDomain>(var, m_id, index, engine, baseDomain, name);
    makeParameterAs<SymbolDomain>(var, m_id, index, engine, baseDomain, name);
    makeParameterAs<StringDomain>(var, m_id, index, engine, baseDomain, name);
    makeParameterAs<EnumeratedDomain>(var, m_id, index, engine, baseDomain, name);
    makeParameterAs<BoolDomain>(var, m_id, index, engine, baseDomain, name);
    makeParameterAs<IntervalIntDomain>(var, m_id, index, engine, baseDomain, name);
    makeParameterAs<IntervalDomain>(var, m_id, index, engine, baseDomain, name);
    KADRIX_CHECK_MSG(var != 0, "Cannot make parameter " << name.toString() << " of " << toString()
                                                        << ": no token variable for a domain of type "
                                                        << baseDomain.getTypeName().toString() << ".");
    const ConstrainedVariableId id = var->getId();
    m_parameters.push_back(id);
    addVariable(id);
    return id;
  }

  void Token::addStandardConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK(constraint.isValid());
    constraint->setOwned();
    m_standardConstraints.insert(constraint);
  }

  // ---------------------------------------------------------------- destruction

  Token::~Token() noexcept(false) {
    // An incomplete token never joined the plan (a derived constructor failed,
    // or its owner gave up on it): undo what it built instead of discarding it
    // as a plan member.
    if (!m_abandoned && !Entity::isPurging() && m_state.isValid() && isIncomplete())
      abandon();
    discard(false);
    if (m_id.isValid())
      m_id.remove();
  }

  void Token::handleDiscard() {
    KADRIX_DEBUG("Token:handleDiscard", "Discarding (" << getKey() << ")");
    if (m_abandoned) {
      m_deleted = true;
      Entity::handleDiscard();
      return;
    }
    // Checked before anything changes, so that a refused discard leaves the token as it was.
    if (!Entity::isPurging()) {
      KADRIX_CHECK(!isIncomplete());
      KADRIX_CHECK(isValid());
    }
    m_deleted = true;
    if (m_committed)
      decRefCount();
    if (!Entity::isPurging()) {
      if (!isInactive())
        cancel();
      std::vector<ObjectId> objects;
      liveObjects(objects);
      for (size_t i = 0; i < objects.size(); ++i)
        objects[i]->notifyDeleted(m_id);
      if (m_master.isValid())
        m_master->remove(m_id);
      // Newest first, so that the engine's slots are freed in the reverse of
      // the order they were taken: a token made again gets the same indexes.
      std::reverse(m_pseudoVariables.begin(), m_pseudoVariables.end());
      Entity::discardAll(m_pseudoVariables);
      std::reverse(m_allVariables.begin(), m_allVariables.end());
      Entity::discardAll(m_allVariables);
      m_planDatabase->notifyRemoved(m_id);
    }
    // Only in the global purge: the record goes without being undone.
    if (m_unifyMemento.isValid())
      m_unifyMemento.release();
    Entity::handleDiscard();
  }

  void Token::liveObjects(std::vector<ObjectId>& results) const {
    std::list<double> values;
    m_object->baseDomain().getValues(values);
    for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it)
      if (isLiveObject(*it))
        results.push_back(ObjectId(*it));
    // In the order they were made, not by address: what the objects do with
    // the token happens in the same order in every run.
    std::sort(results.begin(), results.end(), EntityComparator<ObjectId>());
  }

  bool Token::isValid() const {
    if (m_state->baseDomain().isMember(INACTIVE.getKey())) {
      KADRIX_DEBUG("Token:isValid", "Cannot be incomplete.");
      return false;
    }
    if (!m_id.isValid() || (!m_master.isNoId() && !m_master.isValid())) {
      KADRIX_DEBUG("Token:isValid", "Bad id or master id.");
      return false;
    }
    if (isActive()) {
      const bool result = m_unifyMemento.isNoId() && m_activeToken.isNoId();
      KADRIX_COND_DEBUG(!result, "Token:isValid", "Cannot have merged ids if active.");
      return result;
    }
    if (isMerged()) {
      const bool result =
          m_mergedTokens.empty() && m_unifyMemento.isValid() && m_activeToken.isValid() && m_slaves.empty();
      KADRIX_COND_DEBUG(!result, "Token:isValid", "Not correctly merged");
      return result;
    }
    const bool result =
        m_mergedTokens.empty() && m_unifyMemento.isNoId() && m_activeToken.isNoId() && m_slaves.empty();
    KADRIX_COND_DEBUG(!result, "Token:isValid", "Invalid rejected or inactive token.");
    return result;
  }

  // ---------------------------------------------------------------- states

  bool Token::isIncomplete() const { return m_state->baseDomain().isOpen(); }

  bool Token::isInactive() const {
    KADRIX_CHECK_MSG(m_state.isValid(), "ID:" << m_state << " Token Key:" << getKey());
    return !isIncomplete() && !m_state->isSpecified();
  }

  bool Token::isActive() const {
    KADRIX_CHECK_MSG(m_state.isValid(), "ID:" << m_state << " Token Key:" << getKey());
    return m_state->isSpecified() && m_state->getSpecifiedValue() == ACTIVE.getKey();
  }

  bool Token::isMerged() const {
    KADRIX_CHECK_MSG(m_state.isValid(), "ID:" << m_state << " Token Key:" << getKey());
    return m_state->isSpecified() && m_state->getSpecifiedValue() == MERGED.getKey();
  }

  bool Token::isRejected() const {
    KADRIX_CHECK_MSG(m_state.isValid(), "ID:" << m_state << " Token Key:" << getKey());
    return m_state->isSpecified() && m_state->getSpecifiedValue() == REJECTED.getKey();
  }

  bool Token::isPending() const { return !isIncomplete() && !m_committed && !m_terminated; }

  PSToken::PSTokenState Token::getTokenState() const {
    if (isActive())
      return PSToken::ACTIVE;
    if (isInactive())
      return PSToken::INACTIVE;
    if (isMerged())
      return PSToken::MERGED;
    if (isRejected())
      return PSToken::REJECTED;
    KADRIX_CHECK_TEXT(false, "ALWAYS_FAIL", "Unknown token state");
    return PSToken::INACTIVE;
  }

  bool Token::isStateVariable(const ConstrainedVariableId& var) {
    static const LabelStr sl_state("state");
    const bool result = (var->getName() == sl_state);
    KADRIX_CHECK_MSG(!result || (var->getIndex() == 0 && TokenId::convertable(var->parent())),
                     var->toString() << " is not really a token state variable.");
    return result;
  }

  // ---------------------------------------------------------------- master and slaves

  void Token::add(const TokenId& slave) {
    KADRIX_CHECK(!isIncomplete());
    KADRIX_CHECK(m_slaves.find(slave) == m_slaves.end());
    KADRIX_CHECK(slave->getPlanDatabase() == m_planDatabase);
    KADRIX_CHECK(slave->master() == m_id);
    m_slaves.insert(slave);
  }

  void Token::remove(const TokenId& slave) {
    KADRIX_CHECK(!Entity::isPurging());
    KADRIX_CHECK(!isIncomplete());
    m_slaves.erase(slave);
  }

  bool Token::removeMaster(const TokenId& token) {
    KADRIX_CHECK_MSG(m_master.isValid(), "Master is not present or not valid.");
    KADRIX_CHECK_MSG(m_master == token,
                     "Trying to remove " << tokenText(token) << " instead of " << tokenText(m_master));
    // token may be a reference to m_master itself.
    const TokenId master = token;
    m_master = TokenId::noId();
    master->remove(m_id);
    const bool wasLast = (refCount() == 1);
    if (wasLast && master->isTerminated())
      terminate();
    else
      decRefCount();
    return wasLast;
  }

  const TokenId& Token::getSlave(int index) const {
    if (index < 0 || index >= static_cast<int>(m_slaves.size()))
      return TokenId::noId();
    TokenSet::const_iterator it = m_slaves.begin();
    std::advance(it, index);
    return *it;
  }

  int Token::getSlavePosition(const TokenId& slave) const {
    int position = 0;
    for (TokenSet::const_iterator it = m_slaves.begin(); it != m_slaves.end(); ++it, ++position)
      if (*it == slave)
        return position;
    return -1;
  }

  // ---------------------------------------------------------------- accessors

  const TokenId& Token::getId() const {
    KADRIX_CHECK(m_id.isValid());
    return m_id;
  }

  const TokenId& Token::master() const {
    KADRIX_CHECK(m_master.isNoId() || m_master.isValid());
    return m_master;
  }

  const LabelStr& Token::getRelation() const {
    KADRIX_CHECK(m_master.isNoId() || m_master.isValid());
    return m_relation;
  }

  const PlanDatabaseId& Token::getPlanDatabase() const {
    KADRIX_CHECK(m_planDatabase.isValid());
    return m_planDatabase;
  }

  const StateVarId& Token::getState() const {
    KADRIX_CHECK(m_state.isValid());
    return m_state;
  }

  const ObjectVarId& Token::getObject() const {
    KADRIX_CHECK(m_object.isValid());
    return m_object;
  }

  const TempVarId& Token::duration() const {
    KADRIX_CHECK(m_duration.isValid());
    return m_duration;
  }

  ConstrainedVariableId Token::getVariable(const LabelStr& name) const {
    for (size_t i = 0; i < m_allVariables.size(); ++i) {
      const ConstrainedVariableId& var = m_allVariables[i];
      KADRIX_CHECK_MSG(var.isValid(), "Invalid variable id: " << var << " found in token: " << m_id);
      if (var->getName() == name)
        return var;
    }
    if (m_planDatabase->isGlobalVariable(name))
      return m_planDatabase->getGlobalVariable(name);
    return ConstrainedVariableId::noId();
  }

  bool Token::isStandardConstraint(const ConstraintId& constraint) const {
    return m_standardConstraints.find(constraint) != m_standardConstraints.end();
  }

  bool Token::isAssigned() const {
    if (!isActive() || !m_object->lastDomain().isSingleton())
      return false;
    const double value = m_object->lastDomain().getSingletonValue();
    if (!isLiveObject(value))
      return false;
    return ObjectId(value)->hasToken(m_id);
  }

  void Token::addLocalVariable(const ConstrainedVariableId& var) {
    if (!m_localVariables)
      m_localVariables.reset(new ConstrainedVariableSet());
    m_localVariables->insert(var);
  }

  void Token::removeLocalVariable(const ConstrainedVariableId& var) {
    if (m_localVariables)
      m_localVariables->erase(var);
  }

  const ConstrainedVariableSet& Token::getLocalVariables() const {
    static const ConstrainedVariableSet* const sl_none = new ConstrainedVariableSet();
    return m_localVariables ? *m_localVariables : *sl_none;
  }

  LabelStr Token::makePseudoVarName() {
    static unsigned int s_counter = 0;
    std::ostringstream os;
    os << "PSEUDO_VARIABLE_" << s_counter++;
    return LabelStr(os.str());
  }

  const LabelStr& Token::noObject() {
    static const LabelStr sl_noObject("NO_OBJECT_ASSIGNED");
    return sl_noObject;
  }

  const LabelStr& Token::entityTypeName() {
    static const LabelStr sl_type("Token");
    return sl_type;
  }

  const LabelStr& Token::entityType() const { return entityTypeName(); }

  const std::string& Token::getEntityType() const {
    static const std::string sl_type("TOKEN");
    return sl_type;
  }

  const LabelStr& Token::getName() const { return m_predicateName; }

  bool Token::canBeCompared(const EntityId& entity) const { return TokenId::convertable(entity); }

  double Token::getViolation() const {
    double violation = 0.0;
    for (std::set<ConstraintId>::const_iterator it = m_standardConstraints.begin();
         it != m_standardConstraints.end(); ++it)
      violation += (*it)->getViolation();
    return violation;
  }

  std::string Token::getViolationExpl() const {
    std::ostringstream os;
    for (std::set<ConstraintId>::const_iterator it = m_standardConstraints.begin();
         it != m_standardConstraints.end(); ++it)
      if ((*it)->getViolation() > 0)
        os << (*it)->getViolationExpl() << std::endl;
    return os.str();
  }

  // ---------------------------------------------------------------- public view

  std::string Token::getTokenType() const { return getUnqualifiedPredicateName().toString(); }

  const LabelStr& Token::getUnqualifiedPredicateName() const {
    // Held once per predicate name rather than in every token.
    static std::unordered_map<double, LabelStr>* const sl_names = new std::unordered_map<double, LabelStr>();
    std::unordered_map<double, LabelStr>::const_iterator it = sl_names->find(m_predicateName.getKey());
    if (it == sl_names->end()) {
      const LabelStr name = m_predicateName.countElements(".") == 2
                                ? LabelStr(m_predicateName.getElement(1, "."))
                                : m_predicateName;
      it = sl_names->emplace(m_predicateName.getKey(), name).first;
    }
    return it->second;
  }

  PSVariable* Token::getStart() const { return static_cast<ConstrainedVariable*>(start()); }

  PSVariable* Token::getEnd() const { return static_cast<ConstrainedVariable*>(end()); }

  PSVariable* Token::getDuration() const { return static_cast<ConstrainedVariable*>(m_duration); }

  PSObject* Token::getOwner() const {
    if (!isAssigned())
      return 0;
    ObjectId object(m_object->lastDomain().getSingletonValue());
    return static_cast<Object*>(object);
  }

  PSToken* Token::getMaster() const {
    if (m_master.isNoId())
      return 0;
    return static_cast<Token*>(m_master);
  }

  PSList<PSToken*> Token::getSlaves() const {
    PSList<PSToken*> result;
    for (TokenSet::const_iterator it = m_slaves.begin(); it != m_slaves.end(); ++it)
      result.push_back(static_cast<Token*>(*it));
    return result;
  }

  PSToken* Token::getActive() const {
    if (!isMerged())
      return 0;
    return static_cast<Token*>(m_activeToken);
  }

  PSList<PSToken*> Token::getMerged() const {
    PSList<PSToken*> result;
    for (TokenSet::const_iterator it = m_mergedTokens.begin(); it != m_mergedTokens.end(); ++it)
      result.push_back(static_cast<Token*>(*it));
    return result;
  }

  PSList<PSVariable*> Token::getParameters() const {
    PSList<PSVariable*> result;
    for (size_t i = 0; i < m_allVariables.size(); ++i)
      result.push_back(static_cast<ConstrainedVariable*>(m_allVariables[i]));
    return result;
  }

  PSVariable* Token::getParameter(const std::string& name) const {
    const LabelStr label(name);
    for (size_t i = 0; i < m_allVariables.size(); ++i)
      if (m_allVariables[i]->getName() == label)
        return static_cast<ConstrainedVariable*>(m_allVariables[i]);
    return 0;
  }

  std::string Token::toLongString() const {
    std::ostringstream os;
    os << "Token(" << toString() << ") {" << std::endl;
    os << "    isFact:" << (m_isFact ? 1 : 0) << std::endl;
    if (isMerged())
      os << "    mergedInto:" << m_activeToken->getKey() << std::endl;
    const PSList<PSVariable*> variables = getParameters();
    for (int i = 0; i < variables.size(); ++i)
      os << "    " << variables.get(i)->getEntityName() << " : " << variables.get(i)->toString() << std::endl;
    os << "}" << std::endl;
    return os.str();
  }

}
