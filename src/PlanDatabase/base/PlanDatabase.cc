#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/PlanDatabaseWriter.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/ObjectFactory.hh"
#include "PlanDatabase/base/ObjectVariableListener.hh"
#include "PlanDatabase/base/PSPlanDatabaseClient.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/base/TokenFactory.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Utils.hh"

#include <sstream>

namespace KADRIX {

  const std::string& g_ClassDelimiter() {
    static const std::string s_delimiter(":");
    return s_delimiter;
  }

  namespace {
    /** Keeps a registered global variable: only the database discards it. */
    class GlobalVariableKeeper : public ConstrainedVariableListener {
    public:
      explicit GlobalVariableKeeper(const ConstrainedVariableId& var) : ConstrainedVariableListener(var) {}
      bool keepsVariable() const override { return true; }
    };

    /** type:name (key), the text of an object in debug lines. */
    std::string objectText(const ObjectId& object) {
      std::ostringstream os;
      os << object->getType().toString() << g_ClassDelimiter() << object->getName().toString() << " ("
         << object->getKey() << ")";
      return os.str();
    }
  }

  PlanDatabase::PlanDatabase(const ConstraintEngineId& constraintEngine, const Id<Schema>& schema)
    : PSPlanDatabase(), m_constraintEngine(constraintEngine), m_schema(schema), m_psClient(nullptr),
      m_state(OPEN), m_deleted(false), m_orderingJournal(*this) {
    // Checked before the handle is made, so that a refusal leaves nothing registered.
    KADRIX_CHECK(m_constraintEngine.isValid());
    KADRIX_CHECK(m_schema.isValid());
    m_id = PlanDatabaseId(this);
    m_client = (new DbClient(m_id))->getId();
    m_psClient = new PSPlanDatabaseClientImpl(m_client);
  }

  PlanDatabase::~PlanDatabase() noexcept(false) {
    m_deleted = true;
    if (m_state != PURGED)
      purge();
    // An advisor that its installer deleted already is not deleted again.
    if (m_temporalAdvisor.isValid())
      delete static_cast<TemporalAdvisor*>(m_temporalAdvisor);
    KADRIX_CHECK(m_client.isValid());
    if (m_client.isValid())
      delete static_cast<DbClient*>(m_client);
    delete m_psClient;
    m_psClient = nullptr;
    // The variables themselves are left alone.
    for (ObjectVariableMap::iterator it = m_objectVariablesByObjectType.begin();
         it != m_objectVariablesByObjectType.end(); ++it)
      if (it->second.second.isValid())
        delete static_cast<ConstrainedVariableListener*>(it->second.second);
    m_objectVariablesByObjectType.clear();
    m_objectVariableEntries.clear();
    m_id.remove();
  }

  // ------------------------------------------------------------------ lifecycle

  void PlanDatabase::close() {
    KADRIX_CHECK(m_state == OPEN);
    if (m_state != OPEN)
      return;
    while (!m_objectVariablesByObjectType.empty()) {
      ObjectVariableMap::iterator it = m_objectVariablesByObjectType.begin();
      const ObjectVariableEntry entry = it->second;
      eraseObjectVariableEntry(it);
      closeObjectVariableEntry(entry);
    }
    m_state = CLOSED;
  }

  void PlanDatabase::close(const LabelStr& objectType) {
    KADRIX_CHECK(m_state == OPEN);
    KADRIX_CHECK(!isClosed(objectType));
    if (m_state != OPEN)
      return;
    const double key = objectType.getKey();
    for (ObjectVariableMap::iterator it = m_objectVariablesByObjectType.lower_bound(key);
         it != m_objectVariablesByObjectType.end() && it->first == key;) {
      const ObjectVariableEntry entry = it->second;
      ObjectVariableMap::iterator next = it;
      ++next;
      eraseObjectVariableEntry(it);
      it = next;
      closeObjectVariableEntry(entry);
    }
    m_closedObjectTypes.insert(key);
  }

  void PlanDatabase::closeObjectVariableEntry(const ObjectVariableEntry& entry) {
    const ConstrainedVariableId& connectedObjectVariable = entry.first;
    KADRIX_CHECK(connectedObjectVariable.isValid());
    if (connectedObjectVariable.isValid() && !connectedObjectVariable->isClosed())
      connectedObjectVariable->close();
    if (entry.second.isValid())
      delete static_cast<ConstrainedVariableListener*>(entry.second);
  }

  bool PlanDatabase::isClosed(const LabelStr& objectType) const {
    KADRIX_CHECK_MSG(m_schema->isObjectType(objectType),
                     "Type '" << objectType.toString() << "' not defined in the model.");
    switch (m_state) {
      case CLOSED:
        return true;
      case OPEN:
        return m_closedObjectTypes.find(objectType.getKey()) != m_closedObjectTypes.end();
      default:
        return false;
    }
  }

  const TemporalAdvisorId& PlanDatabase::getTemporalAdvisor() {
    if (m_temporalAdvisor.isNoId())
      m_temporalAdvisor = (new DefaultTemporalAdvisor(m_constraintEngine))->getId();
    return m_temporalAdvisor;
  }

  void PlanDatabase::setTemporalAdvisor(const TemporalAdvisorId& temporalAdvisor) {
    KADRIX_CHECK(m_temporalAdvisor.isNoId());
    if (m_temporalAdvisor.isNoId())
      m_temporalAdvisor = temporalAdvisor;
  }

  bool PlanDatabase::hasTokenFactories() const { return m_schema->hasTokenFactories(); }

  TokenId PlanDatabase::createToken(const LabelStr& predicateName, bool rejectable, bool isFact) {
    KADRIX_DEBUG("PlanDatabase:createToken", "type " << predicateName.toString());
    TokenFactoryId factory = m_schema->getTokenFactory(predicateName);
    KADRIX_CHECK(factory.isValid());
    TokenId token = factory->createInstance(m_id, predicateName, rejectable, isFact);
    KADRIX_CHECK(token.isValid());
    return token;
  }

  TokenId PlanDatabase::createSlaveToken(const TokenId& master, const LabelStr& predicateName,
                                         const LabelStr& relation) {
    KADRIX_CHECK(master.isValid());
    TokenFactoryId factory = m_schema->getTokenFactory(predicateName);
    KADRIX_CHECK(factory.isValid());
    TokenId token = factory->createInstance(master, predicateName, relation);
    KADRIX_CHECK(token.isValid());
    return token;
  }

  ObjectId PlanDatabase::createObject(const LabelStr& objectType, const LabelStr& objectName,
                                      const std::vector<const AbstractDomain*>& arguments) {
    KADRIX_DEBUG("PlanDatabase:createObject",
                 "objectType " << objectType.toString() << " objectName " << objectName.toString());
    ObjectFactoryId factory = m_schema->getObjectFactory(objectType, arguments);
    ObjectId object = factory->createInstance(m_id, objectType, objectName, arguments);
    KADRIX_CHECK(object.isValid());
    return object;
  }

  // ------------------------------------------------------------------ listeners

  void PlanDatabase::notifyAdded(const PlanDatabaseListenerId& listener) {
    KADRIX_CHECK(listener.isValid());
    KADRIX_CHECK(m_listeners.count(listener) == 0);
    m_listeners.insert(listener);
  }

  void PlanDatabase::notifyRemoved(const PlanDatabaseListenerId& listener) {
    if (m_deleted) {
      KADRIX_DEBUG("PlanDatabase:notifyRemoved:Listener",
                   "In PlanDatabase destructor, so not erasing " << listener);
      return;
    }
    KADRIX_DEBUG("PlanDatabase:notifyRemoved:Listener",
                 "Not in PlanDatabase destructor, so erasing " << listener);
    m_listeners.erase(listener);
  }

  // ------------------------------------------------------------------ global variables

  void PlanDatabase::registerGlobalVariable(const ConstrainedVariableId& var) {
    KADRIX_CHECK(var.isValid());
    KADRIX_CHECK_MSG(!isPurged(), "Cannot register " << var->toString() << " with a purged plan database.");
    const LabelStr varName = var->getName();
    KADRIX_CHECK_MSG(!isGlobalVariable(varName), var->toString() << " is not unique.");
    if (isGlobalVariable(varName))
      return;
    m_globalVariables.insert(var);
    m_globalVarsByName.insert(std::make_pair(varName.getKey(), var));
    m_globalVariableKeepers[var->getKey()] = new GlobalVariableKeeper(var);
    KADRIX_CHECK_MSG(isGlobalVariable(varName), var->toString()
                                                    << " is not registered after all. This cannot be!.");
    KADRIX_DEBUG("PlanDatabase:registerGlobalVariable", "Registered " << var->toString());
  }

  void PlanDatabase::unregisterGlobalVariable(const ConstrainedVariableId& var) {
    const LabelStr varName = var->getName();
    // Only the variable registered under the name is forgotten, never another one of that name.
    std::map<double, ConstrainedVariableId>::iterator it = m_globalVarsByName.find(varName.getKey());
    const bool registered = it != m_globalVarsByName.end() && it->second == var;
    KADRIX_CHECK_TEXT(registered, "isGlobalVariable(varName)",
                      var->toString() << " is not a global variable.");
    if (!registered)
      return;
    m_globalVariables.erase(var);
    m_globalVarsByName.erase(it);
    std::map<int, ConstrainedVariableListener*>::iterator keeper =
        m_globalVariableKeepers.find(var->getKey());
    if (keeper != m_globalVariableKeepers.end()) {
      delete keeper->second;
      m_globalVariableKeepers.erase(keeper);
    }
    KADRIX_CHECK_MSG(!isGlobalVariable(varName), var->toString() << " failed to un-register.");
    KADRIX_DEBUG("PlanDatabase:unregisterGlobalVariable", "Un-registered " << var->toString());
  }

  bool PlanDatabase::isGlobalVariable(const LabelStr& varName) const {
    return m_globalVarsByName.find(varName.getKey()) != m_globalVarsByName.end();
  }

  const ConstrainedVariableId& PlanDatabase::getGlobalVariable(const LabelStr& varName) const {
    std::map<double, ConstrainedVariableId>::const_iterator it = m_globalVarsByName.find(varName.getKey());
    KADRIX_CHECK_TEXT(it != m_globalVarsByName.end(), "isGlobalVariable(varName)",
                      "No variable with name='" << varName.toString() << "' is present.");
    if (it == m_globalVarsByName.end())
      return ConstrainedVariableId::noId();
    return it->second;
  }

  // ------------------------------------------------------------------ look-ups

  const ObjectId& PlanDatabase::getObject(const LabelStr& name) const {
    std::map<double, ObjectId>::const_iterator it = m_objectsByName.find(name.getKey());
    if (it == m_objectsByName.end())
      return ObjectId::noId();
    return it->second;
  }

  EntityId PlanDatabase::getEntityByKey(int key) const { return Entity::getEntity(key); }

  PSObject* PlanDatabase::getObjectByKey(int key) const {
    ObjectId object = Entity::getEntity(key);
    KADRIX_CHECK(object.isValid());
    return static_cast<PSObject*>(object);
  }

  PSObject* PlanDatabase::getObjectByName(const std::string& name) const {
    ObjectId object = getObject(LabelStr(name));
    KADRIX_CHECK(object.isValid());
    return static_cast<PSObject*>(object);
  }

  PSList<PSVariable*> PlanDatabase::getAllGlobalVariables() const {
    PSList<PSVariable*> result;
    for (ConstrainedVariableSet::const_iterator it = m_globalVariables.begin(); it != m_globalVariables.end();
         ++it)
      result.push_back(static_cast<PSVariable*>(*it));
    return result;
  }

  PSList<PSObject*> PlanDatabase::getObjectsByType(const std::string& objectType) const {
    PSList<PSObject*> result;
    const LabelStr type(objectType);
    for (ObjectSet::const_iterator it = m_objects.begin(); it != m_objects.end(); ++it)
      if (m_schema->isA((*it)->getType(), type))
        result.push_back(static_cast<PSObject*>(*it));
    return result;
  }

  // ------------------------------------------------------------------ objects

  void PlanDatabase::notifyAdded(const ObjectId& object) {
    KADRIX_CHECK_MSG(!Entity::isPurging(), "Should not be in this method if in purgeMode.");
    KADRIX_CHECK(object.isValid());
    KADRIX_CHECK_MSG(!isPurged(),
                     "Cannot add object " << object->getName().toString() << " to a purged plan database.");
    KADRIX_CHECK_MSG(!isClosed(object->getType()),
                     "Cannot add object " << object->getName().toString() << " if type "
                                          << object->getType().toString() << " is already closed.");
    KADRIX_CHECK_MSG(m_objects.find(object) == m_objects.end(),
                     "Object with the name " << object->getName().toString() << " already added.");
    KADRIX_CHECK_MSG(m_objectsByName.find(object->getName().getKey()) == m_objectsByName.end(),
                     "Object with the name " << object->getName().toString() << " already added.");

    m_objects.insert(object);
    m_objectsByName.insert(std::make_pair(object->getName().getKey(), object));
    LabelStr type = object->getType();
    m_objectsByType.insert(std::make_pair(type.getKey(), object));
    while (m_schema->hasParent(type)) {
      type = m_schema->getParent(type);
      m_objectsByType.insert(std::make_pair(type.getKey(), object));
    }
    // A new object may hold tokens of predicates already cached: build the cache anew.
    m_objectsByPredicate.clear();
    m_objectsOfTypeCache.clear();

    const double ownType = object->getType().getKey();
    for (ObjectVariableMap::const_iterator it = m_objectVariablesByObjectType.lower_bound(ownType);
         it != m_objectVariablesByObjectType.end() && it->first == ownType; ++it) {
      const ConstrainedVariableId& connectedObjectVariable = it->second.first;
      KADRIX_CHECK(connectedObjectVariable.isValid());
      if (connectedObjectVariable.isValid() && !connectedObjectVariable->isClosed())
        connectedObjectVariable->insert(static_cast<double>(object));
    }

    KADRIX_CHECK(!Entity::isPurging());
    publish([&object](const PlanDatabaseListenerId& listener) { listener->notifyAdded(object); });
    KADRIX_DEBUG("PlanDatabase:notifyAdded:Object", objectText(object));
  }

  void PlanDatabase::notifyRemoved(const ObjectId& object) {
    KADRIX_CHECK(!Entity::isPurging());
    KADRIX_CHECK(object.isValid());
    KADRIX_CHECK(m_objects.find(object) != m_objects.end());
    KADRIX_CHECK(m_objectsByName.find(object->getName().getKey()) != m_objectsByName.end());

    m_objects.erase(object);
    m_objectsByName.erase(object->getName().getKey());
    m_objectsOfTypeCache.clear();
    for (std::multimap<double, ObjectId>::iterator it = m_objectsByPredicate.begin();
         it != m_objectsByPredicate.end();) {
      if (it->second == object)
        it = m_objectsByPredicate.erase(it);
      else
        ++it;
    }
    // The types the object was filed under: its own and every ancestor.
    std::vector<double> types;
    for (std::multimap<double, ObjectId>::iterator it = m_objectsByType.begin();
         it != m_objectsByType.end();) {
      if (it->second == object) {
        types.push_back(it->first);
        it = m_objectsByType.erase(it);
      } else
        ++it;
    }

    // Variables made for an ancestor type hold objects of its subtypes too.
    // The closed object domain of a token does not take an object made again:
    // the client's journal notes what it lost, for a rewind to give it back.
    const double value = static_cast<double>(object);
    const auto leaves = [&](const ConstrainedVariableId& var) {
      const EntityId& parent = var->parent();
      if (var->isClosed() && TokenId::convertable(parent) && TokenId(parent)->getObject() == var)
        m_orderingJournal.note(object, OrderingJournal::LEFT_DOMAIN, TokenId(parent), TokenId::noId());
      var->remove(value);
    };
    for (std::vector<double>::const_iterator type = types.begin(); type != types.end(); ++type)
      for (ObjectVariableMap::const_iterator it = m_objectVariablesByObjectType.lower_bound(*type);
           it != m_objectVariablesByObjectType.end() && it->first == *type; ++it) {
        const ConstrainedVariableId& connectedObjectVariable = it->second.first;
        KADRIX_CHECK(connectedObjectVariable.isValid());
        if (connectedObjectVariable.isValid())
          leaves(connectedObjectVariable);
      }
    // Token object variables are no longer kept in step once their type is
    // closed: none may keep the value of an object that is gone.
    for (TokenSet::const_iterator it = m_tokens.begin(); it != m_tokens.end(); ++it) {
      const ObjectVarId& objectVar = (*it)->getObject();
      if (objectVar->baseDomain().isMember(value))
        leaves(objectVar);
    }

    KADRIX_CHECK(!Entity::isPurging());
    publish([&object](const PlanDatabaseListenerId& listener) { listener->notifyRemoved(object); });
    KADRIX_DEBUG("PlanDatabase:notifyRemoved:Object", objectText(object));
  }

  const std::set<ObjectId>& PlanDatabase::getObjectsByType(const LabelStr& objectType) const {
    KADRIX_CHECK(m_schema->isObjectType(objectType));
    m_objectsOfType.clear();
    const double key = objectType.getKey();
    for (std::multimap<double, ObjectId>::const_iterator it = m_objectsByType.lower_bound(key);
         it != m_objectsByType.end() && it->first == key; ++it) {
      const ObjectId& object = it->second;
      KADRIX_DEBUG("PlanDatabase:getObjectsByType", "Adding object '"
                                                        << object->getName().toString() << "' of type '"
                                                        << object->getType().toString() << "' for type '"
                                                        << objectType.toString() << "'");
      m_objectsOfType.insert(object);
    }
    return m_objectsOfType;
  }

  void PlanDatabase::getObjectsByPredicate(const LabelStr& predicate, std::list<ObjectId>& results) {
    KADRIX_CHECK(results.empty());
    KADRIX_CHECK(m_schema->isPredicate(predicate));
    const double key = predicate.getKey();
    for (std::multimap<double, ObjectId>::const_iterator it = m_objectsByPredicate.lower_bound(key);
         it != m_objectsByPredicate.end() && it->first == key; ++it)
      results.push_back(it->second);
    if (!results.empty())
      return;
    for (ObjectSet::const_iterator it = m_objects.begin(); it != m_objects.end(); ++it) {
      const ObjectId& object = *it;
      KADRIX_CHECK(object.isValid());
      if (m_schema->canBeAssigned(object->getType(), predicate)) {
        results.push_back(object);
        m_objectsByPredicate.insert(std::make_pair(key, object));
      }
    }
  }

  // ------------------------------------------------------------------ token registry

  void PlanDatabase::notifyAdded(const TokenId& token) {
    KADRIX_CHECK(m_tokens.find(token) == m_tokens.end());
    m_tokens.insert(token);
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyAdded(token); });
    KADRIX_DEBUG("PlanDatabase:notifyAdded:Token", token->toString());
  }

  void PlanDatabase::notifyRemoved(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    KADRIX_CHECK(m_tokens.find(token) != m_tokens.end());
    m_tokens.erase(token);
    m_tokensToOrder.erase(token->getKey());
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyRemoved(token); });
    KADRIX_DEBUG("PlanDatabase:notifyRemoved:Token", token->getPredicateName().toString()
                                                         << " (" << token->getKey() << ")");
  }

  PSList<PSToken*> PlanDatabase::getAllTokens() const {
    PSList<PSToken*> result;
    for (TokenSet::const_iterator it = m_tokens.begin(); it != m_tokens.end(); ++it)
      result.push_back(static_cast<Token*>(*it));
    return result;
  }

  PSToken* PlanDatabase::getTokenByKey(int key) const {
    TokenId psId(Entity::getEntity(key));
    KADRIX_CHECK(psId.isValid());
    return static_cast<Token*>(psId);
  }

  // ------------------------------------------------------------------ token states

  void PlanDatabase::getFilingNames(const TokenId& token, std::vector<LabelStr>& names) const {
    static const LabelStr sl_objectRoot("Object");
    static const LabelStr sl_timelineRoot("Timeline");
    LabelStr objectType = token->getObject()->baseDomain().getTypeName();
    LabelStr predicate = token->getPredicateName();
    const LabelStr& unqualified = token->getUnqualifiedPredicateName();
    while (m_schema->isPredicate(predicate)) {
      names.push_back(predicate);
      if (objectType == sl_timelineRoot || objectType == sl_objectRoot)
        break;
      objectType = m_schema->getParent(objectType);
      predicate = LabelStr(objectType.toString() + "." + unqualified.toString());
    }
  }

  void PlanDatabase::insertActiveToken(const TokenId& token) {
    KADRIX_DEBUG("PlanDatabase:insertActiveToken", token->toString());
    std::vector<LabelStr> names;
    getFilingNames(token, names);
    for (size_t i = 0; i < names.size(); ++i) {
      Filing& filing = m_activeTokensByPredicate[names[i].getKey()];
      if (filing.tokens.insert(token).second)
        filing.candidates.insert(token);
      KADRIX_DEBUG("PlanDatabase:insertActiveToken", token->toString()
                                                         << " added for " << names[i].toString());
    }
  }

  void PlanDatabase::removeActiveToken(const TokenId& token) {
    KADRIX_DEBUG("PlanDatabase:removeActiveToken", token->toString());
    std::vector<LabelStr> names;
    getFilingNames(token, names);
    for (size_t i = 0; i < names.size(); ++i) {
      std::map<double, Filing>::iterator it = m_activeTokensByPredicate.find(names[i].getKey());
      KADRIX_CHECK_MSG(it != m_activeTokensByPredicate.end(), token->toString()
                                                                  << " must be present but isn't.");
      if (it->second.tokens.erase(token) != 0)
        it->second.candidates.erase(token);
      KADRIX_DEBUG("PlanDatabase:removeActiveToken", token->toString()
                                                         << " removed for " << names[i].toString());
    }
  }

  const TokenSet& PlanDatabase::getActiveTokens(const LabelStr& predicate) const {
    static const TokenSet sl_noTokens;
    std::map<double, Filing>::const_iterator it = m_activeTokensByPredicate.find(predicate.getKey());
    if (it == m_activeTokensByPredicate.end())
      return sl_noTokens;
    return it->second.tokens;
  }

  namespace {
    std::string stateText(const TokenId& token) {
      std::ostringstream os;
      os << token->getPredicateName().toString() << "(" << token->getKey() << ")";
      return os.str();
    }
  }

  void PlanDatabase::notifyActivated(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK(token->isActive());
    insertActiveToken(token);
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyActivated(token); });
    KADRIX_DEBUG("PlanDatabase:notifyActivated", stateText(token));
  }

  void PlanDatabase::notifyDeactivated(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    KADRIX_CHECK(token.isValid());
    removeActiveToken(token);
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyDeactivated(token); });
    KADRIX_DEBUG("PlanDatabase:notifyDeactivated", stateText(token));
  }

  void PlanDatabase::notifyMerged(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyMerged(token); });
    KADRIX_DEBUG("PlanDatabase:notifyMerged",
                 stateText(token) << " merged with (" << token->getActiveToken()->getKey() << ")");
  }

  void PlanDatabase::notifySplit(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifySplit(token); });
    KADRIX_DEBUG("PlanDatabase:notifySplit", stateText(token));
  }

  void PlanDatabase::notifyRejected(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyRejected(token); });
    KADRIX_DEBUG("PlanDatabase:notifyRejected", stateText(token));
  }

  void PlanDatabase::notifyReinstated(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyReinstated(token); });
    KADRIX_DEBUG("PlanDatabase:notifyReinstated", stateText(token));
  }

  void PlanDatabase::notifyCommitted(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyCommitted(token); });
    KADRIX_DEBUG("PlanDatabase:notifyCommitted", stateText(token));
  }

  void PlanDatabase::notifyTerminated(const TokenId& token) {
    KADRIX_CHECK(!Entity::isPurging());
    publish([&token](const PlanDatabaseListenerId& listener) { listener->notifyTerminated(token); });
    KADRIX_DEBUG("PlanDatabase:notifyTerminated", stateText(token));
  }

  std::string PlanDatabase::toString() { return PlanDatabaseWriter::toString(m_id, true); }

}
