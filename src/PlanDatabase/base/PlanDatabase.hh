#ifndef KADRIX_PLAN_DATABASE_HH
#define KADRIX_PLAN_DATABASE_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "PlanDatabase/base/CandidateTable.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/OrderingJournal.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "PlanDatabase/base/PSPlanDatabase.hh"
#include "PlanDatabase/base/PlanDatabaseListener.hh"
#include "PlanDatabase/base/Schema.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Utils.hh"

#include <list>
#include <map>
#include <set>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

namespace KADRIX {

  class PSPlanDatabaseClient;
  class ObjectVariableListener;

  typedef std::set<ConstrainedVariableId, EntityComparator<ConstrainedVariableId> > ConstrainedVariableSet;

  /** The delimiter between an object's type and its name in texts: ":". */
  const std::string& g_ClassDelimiter();

  /**
   * The registry of one plan: every object, token and global variable, with
   * indexes over them. It is made over a constraint engine and a schema, which
   * it uses but does not own, and it makes and owns its client, the public
   * client over it, its temporal advisor and one listener per open object
   * variable it keeps in step with the objects of the variable's type.
   *
   * States: OPEN from construction; close(type) seals one object type (exactly
   * that type); close() seals all (CLOSED); purge() discards the plan once
   * (PURGED); the destructor purges first if needed.
   *
   * Every notification that changes the database changes its indexes first,
   * then tells the registered listeners in the order of their addresses. A
   * listener may register or unregister listeners while it is told: the
   * database tells those that are registered when their turn comes.
   */
  class PlanDatabase : public PSPlanDatabase {
  public:
    enum State { OPEN = 0, CLOSED = 1, PURGED = 2 };

    PlanDatabase(const ConstraintEngineId& constraintEngine, const Id<Schema>& schema);
    virtual ~PlanDatabase() noexcept(false);

    // Public view.
    PSList<PSObject*> getObjectsByType(const std::string& objectType) const override;
    PSObject* getObjectByKey(int key) const override;
    PSObject* getObjectByName(const std::string& name) const override;
    PSList<PSToken*> getAllTokens() const override;
    PSToken* getTokenByKey(int key) const override;
    PSList<PSVariable*> getAllGlobalVariables() const override;

    const PlanDatabaseId& getId() const { return m_id; }
    const ConstraintEngineId& getConstraintEngine() const { return m_constraintEngine; }
    const Id<Schema>& getSchema() const { return m_schema; }
    /** The advisor; a default one is made on the first request when none was installed. */
    const TemporalAdvisorId& getTemporalAdvisor();
    /** Installs an advisor, which the database then owns; only before any advisor exists. */
    void setTemporalAdvisor(const TemporalAdvisorId& temporalAdvisor);
    const DbClientId& getClient() const { return m_client; }
    PSPlanDatabaseClient* getPDBClient() { return m_psClient; }
    /** What the client's ordering calls changed on the objects, for rewinds. */
    OrderingJournal& getOrderingJournal() { return m_orderingJournal; }

    State getState() const { return m_state; }
    bool isOpen() const { return m_state == OPEN; }
    bool isClosed() const { return m_state == CLOSED; }
    bool isPurged() const { return m_state == PURGED; }

    /** Closes the whole database: no object can be added any more. */
    void close();
    /** Closes one object type, neither its subtypes nor its ancestors. */
    void close(const LabelStr& objectType);
    /** Whether objects of exactly this type can no longer be added. */
    bool isClosed(const LabelStr& objectType) const;
    /** Discards every token, object and global variable; once only. */
    void purge();

    bool hasTokenFactories() const;
    /** A master token made by the predicate's token factory. */
    TokenId createToken(const LabelStr& predicateName, bool rejectable, bool isFact);
    /** A slave token of master made by the predicate's token factory. */
    TokenId createSlaveToken(const TokenId& master, const LabelStr& predicateName, const LabelStr& relation);
    /** An object made by the schema's object factory for the type and arguments. */
    ObjectId createObject(const LabelStr& objectType, const LabelStr& objectName,
                          const std::vector<const AbstractDomain*>& arguments);

    // Merge candidates and archiving.
    /**
     * Appends to results the active tokens onto which the inactive token could
     * be merged, by entity key, at most limit of them; with useExactTest the
     * temporal advisor must also find the two concurrent. Propagates first and
     * adds nothing when the network is inconsistent.
     */
    void getCompatibleTokens(const TokenId& inactiveToken, std::vector<TokenId>& results, unsigned int limit,
                             bool useExactTest);
    /** All the merge candidates, without the advisor. */
    void getCompatibleTokens(const TokenId& inactiveToken, std::vector<TokenId>& results);
    unsigned int countCompatibleTokens(const TokenId& inactiveToken, unsigned int limit, bool useExactTest);
    bool hasCompatibleTokens(const TokenId& inactiveToken);
    /**
     * Terminates and discards every unmerged token whose end cannot lie after
     * tick and that can be terminated, earliest start first; the network must
     * be consistent. Returns how many tokens left the database.
     */
    unsigned int archive(unsigned int tick);

    // Registry of global variables.
    void registerGlobalVariable(const ConstrainedVariableId& var);
    /** Forgets the variable; it must be the one registered under its name. */
    void unregisterGlobalVariable(const ConstrainedVariableId& var);
    bool isGlobalVariable(const LabelStr& varName) const;
    const ConstrainedVariableId& getGlobalVariable(const LabelStr& varName) const;

    /**
     * The active tokens filed under a predicate name, by entity key: tokens of
     * that predicate and of the same-named predicates of descendant types.
     * The set follows later activations and deactivations.
     */
    const TokenSet& getActiveTokens(const LabelStr& predicate) const;

    // Look-ups.
    const TokenSet& getTokens() const { return m_tokens; }
    const ObjectSet& getObjects() const { return m_objects; }
    const ConstrainedVariableSet& getGlobalVariables() const { return m_globalVariables; }
    /** The object of that name, or the null handle. */
    const ObjectId& getObject(const LabelStr& name) const;
    /** Any live entity of the process with that key, or the null handle. */
    EntityId getEntityByKey(int key) const;

    /**
     * The objects of the type and of all its subtypes, in address order. The
     * set belongs to the database and is rebuilt by every call.
     */
    const std::set<ObjectId>& getObjectsByType(const LabelStr& objectType) const;

    /** Appends the objects of the type and of its subtypes, in order of admission. */
    template <class ID> void getObjectsByType(const LabelStr& type, std::list<ID>& results);

    /**
     * Fills the variable with every object of the type and of its subtypes; while
     * the type is open the variable is kept in step with later objects of
     * exactly that type, otherwise it is closed unless leaveOpen.
     */
    void makeObjectVariableFromType(const LabelStr& objectType, const ConstrainedVariableId& objectVar,
                                    bool leaveOpen = false);

    /**
     * A variable that would keep the value of one of the objects once they are
     * gone, with that object; no handle when there is none. The objects'
     * own variables go with them; the object variables of tokens and the
     * object variables kept in step with their type lose the value, unless
     * specified to it. Every engine variable over objects is looked at.
     */
    std::pair<ConstrainedVariableId, ObjectId> holderOf(const std::vector<ObjectId>& objects) const;

    /** The whole plan as indented text, tokens named by their keys. */
    std::string toString();

    // Ordering of tokens on objects.

    /** An active token with the objects that still need it ordered. */
    typedef std::pair<TokenId, ObjectSet> TokenToOrder;
    typedef std::map<int, TokenToOrder> TokensToOrder;
    /** An ordering choice: the object, and the predecessor and successor there. */
    typedef std::pair<ObjectId, std::pair<TokenId, TokenId> > OrderingChoice;

    /** The tokens that need ordering, by key; the map follows later changes. */
    const TokensToOrder& getTokensToOrder() const { return m_tokensToOrder; }
    /**
     * Appends at most limit ways of ordering the token on the objects that need
     * it ordered; nothing when propagation finds the plan inconsistent.
     */
    void getOrderingChoices(const TokenId& tokenToOrder, std::vector<OrderingChoice>& results,
                            unsigned int limit);
    /**
     * Counts the ways of ordering the token on the objects it can be on, up to
     * limit; a timeline that has it sequenced already contributes none. 0 when
     * propagation finds the plan inconsistent.
     */
    unsigned int countOrderingChoices(const TokenId& token, unsigned int limit);
    /** The sum of the last counts of the objects the token can be on. */
    unsigned int lastOrderingChoiceCount(const TokenId& token) const;
    bool hasOrderingChoice(const TokenId& token);

  private:
    friend class Object;
    friend class Token;
    friend class PlanDatabaseListener;
    friend class ObjectVariableListener;

    PlanDatabase(const PlanDatabase&) = delete;
    PlanDatabase& operator=(const PlanDatabase&) = delete;

    typedef std::pair<ConstrainedVariableId, ConstrainedVariableListenerId> ObjectVariableEntry;
    typedef std::multimap<double, ObjectVariableEntry> ObjectVariableMap;

    // Listeners.
    void notifyAdded(const PlanDatabaseListenerId& listener);
    void notifyRemoved(const PlanDatabaseListenerId& listener);

    // Objects.
    void notifyAdded(const ObjectId& object);
    void notifyRemoved(const ObjectId& object);

    // Tokens.
    void notifyAdded(const TokenId& token);
    void notifyRemoved(const TokenId& token);

    // Token state changes; only activation and deactivation change the active-token index.
    void notifyActivated(const TokenId& token);
    void notifyDeactivated(const TokenId& token);
    void notifyMerged(const TokenId& token);
    void notifySplit(const TokenId& token);
    void notifyRejected(const TokenId& token);
    void notifyReinstated(const TokenId& token);
    void notifyCommitted(const TokenId& token);
    void notifyTerminated(const TokenId& token);
    /** Files an active token under its predicate and the same predicate of each ancestor type. */
    void insertActiveToken(const TokenId& token);
    void removeActiveToken(const TokenId& token);
    /** The names an active token is filed under, in walking order. */
    void getFilingNames(const TokenId& token, std::vector<LabelStr>& names) const;

    // Tokens on objects.
    void notifyAdded(const ObjectId& object, const TokenId& token);
    void notifyRemoved(const ObjectId& object, const TokenId& token);
    void notifyConstrained(const ObjectId& object, const TokenId& predecessor, const TokenId& successor);
    void notifyFreed(const ObjectId& object, const TokenId& predecessor, const TokenId& successor);
    /** Records that the object needs the (active) token ordered. */
    void notifyOrderingRequired(const ObjectId& object, const TokenId& token);
    /** Withdraws what notifyOrderingRequired recorded. */
    void notifyOrderingNoLongerRequired(const ObjectId& object, const TokenId& token);

    void getObjectsByPredicate(const LabelStr& predicate, std::list<ObjectId>& results);
    /**
     * The objects of the type and of its subtypes, in order of admission, and their
     * values in ascending order, as an object domain holds them.
     */
    struct ObjectsOfType {
      std::vector<ObjectId> objects;
      std::vector<double> values;
    };
    /** Those of the type, gathered once and kept until an object comes or goes. */
    const ObjectsOfType& objectsOfType(const LabelStr& type);
    void handleObjectVariableCreation(const LabelStr& objectType, const ConstrainedVariableId& objectVar,
                                      bool leaveOpen);
    void handleObjectVariableDeletion(const ConstrainedVariableId& objectVar);

    /** Closes the variable of an entry if open and deletes its listener. */
    void closeObjectVariableEntry(const ObjectVariableEntry& entry);
    /** Erases an entry of m_objectVariablesByObjectType and its place in the index by variable. */
    void eraseObjectVariableEntry(ObjectVariableMap::iterator it);
    /** Discards the tokens of the plan during a purge. */
    void purgeTokens();

    /**
     * Tells every registered listener through fn(listener), in address order.
     * Works on a copy of the set and skips listeners that left it meanwhile.
     */
    template <class Fn> void publish(Fn fn) { tellListeners(m_listeners, fn); }

    PlanDatabaseId m_id;
    const ConstraintEngineId m_constraintEngine;
    const Id<Schema> m_schema;
    TemporalAdvisorId m_temporalAdvisor;
    DbClientId m_client;
    PSPlanDatabaseClient* m_psClient;
    State m_state;
    TokenSet m_tokens;
    ObjectSet m_objects;
    ConstrainedVariableSet m_globalVariables;
    bool m_deleted;
    std::set<PlanDatabaseListenerId> m_listeners;
    std::map<double, ObjectId> m_objectsByName;
    std::multimap<double, ObjectId> m_objectsByPredicate;
    std::multimap<double, ObjectId> m_objectsByType;
    std::set<double> m_closedObjectTypes;
    std::map<double, ConstrainedVariableId> m_globalVarsByName;
    /** By variable key: the listener that keeps each registered global variable from a direct discard. */
    std::map<int, ConstrainedVariableListener*> m_globalVariableKeepers;
    std::map<int, std::pair<TokenId, ObjectSet> > m_tokensToOrder;
    /** The active tokens filed under one name: as a set, and as the table that merge queries scan. */
    struct Filing {
      TokenSet tokens;
      CandidateTable candidates;
    };
    std::map<double, Filing> m_activeTokensByPredicate;
    /** Checks a filing whose candidates are asked for: its table against its set, and each token. */
    void checkCandidates(const TokenId& inactiveToken, Filing& filing) const;
    ObjectVariableMap m_objectVariablesByObjectType;
    /** The entries of m_objectVariablesByObjectType by variable, so that no walk looks for one. */
    std::unordered_map<const ConstrainedVariable*, std::vector<ObjectVariableMap::iterator> >
        m_objectVariableEntries;
    /** The result of getObjectsByType(LabelStr), rebuilt by each call. */
    mutable std::set<ObjectId> m_objectsOfType;
    /** By type key: what objectsOfType() gathered; emptied whenever an object comes or goes. */
    std::unordered_map<double, ObjectsOfType> m_objectsOfTypeCache;
    OrderingJournal m_orderingJournal;
  };

  template <class ID> void PlanDatabase::getObjectsByType(const LabelStr& type, std::list<ID>& results) {
    KADRIX_CHECK(results.empty());
    KADRIX_CHECK_MSG(m_schema->isObjectType(type), type.toString());
    const double key = type.getKey();
    for (std::multimap<double, ObjectId>::const_iterator it = m_objectsByType.lower_bound(key);
         it != m_objectsByType.end() && it->first == key; ++it) {
      const ObjectId& object = it->second;
      const Object& named = *object;
      KADRIX_DEBUG("PlanDatabase:getObjectsByType", "Adding object '"
                                                        << object->getName().toString() << "' of type '"
                                                        << object->getType().toString() << "' for type '"
                                                        << type.toString() << "'");
      KADRIX_DEBUG("PlanDatabase:getObjectsByType", "Typeid for object: " << typeid(named).name());
      results.push_back(ID(object));
    }
  }

}

#endif
