#ifndef KADRIX_DB_CLIENT_HH
#define KADRIX_DB_CLIENT_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/DbClientListener.hh"
#include "PlanDatabase/base/OrderingJournal.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Utils.hh"

#include <set>
#include <string>
#include <vector>

namespace KADRIX {

  class CESchema;

  /** The delimiter of the client's names. */
  extern const char* DELIMITER;

  /**
   * The one interface through which callers change a plan: every change is
   * carried out on the plan database and announced to the client's listeners.
   *
   * The plan database makes its client and deletes it. The client owns neither
   * the database nor its listeners; listeners are destroyed before it.
   *
   * While transaction logging is on, the client records the key of every token
   * created through it; the record survives switching logging off.
   * Invariants of the record (m_keysOfTokensCreated): keys of root tokens,
   * oldest first, each at most once; it shrinks only from its end, so the
   * index of a recorded root (the first number of its path) never changes
   * while the root lives.
   */
  class DbClient {
  public:
    DbClient(const PlanDatabaseId& db);
    ~DbClient() noexcept(false);

    const DbClientId& getId() const { return m_id; }

    // Listeners (called by DbClientListener only).
    void notifyAdded(const DbClientListenerId& listener);
    void notifyRemoved(const DbClientListenerId& listener);

    // Queries, answered by the plan database and its constraint engine.
    const Id<CESchema>& getCESchema() const;
    const Id<Schema>& getSchema() const;
    ObjectId getObject(const char* name) const;
    ConstrainedVariableId getGlobalVariable(const LabelStr& varName) const;
    bool isGlobalVariable(const LabelStr& varName) const;
    ConstrainedVariableId getVariableByIndex(unsigned int index);
    unsigned int getIndexByVariable(const ConstrainedVariableId& var);
    ConstraintId getConstraintByIndex(unsigned int index);
    unsigned int getIndexByConstraint(const ConstraintId& constr);
    bool constraintConsistent() const;
    /** Tokens can be allocated from predicate names: the schema has token factories. */
    bool supportsAutomaticAllocation() const;
    double createValue(const char* typeName, const std::string& value);

    /** Propagates, then answers whether the network is consistent. */
    bool propagate();

    // Transaction logging.
    void enableTransactionLogging();
    void disableTransactionLogging();
    bool isTransactionLoggingEnabled() const { return m_transactionLoggingEnabled; }
    /**
     * While logging is on, what each ordering call (constrain, free, cancel,
     * deleteToken, deleteObject) changed on the objects, so that a rewind
     * takes it back.
     */
    OrderingJournal& getOrderingJournal() const;
    /**
     * For a rewind: gives back what the newest call that the ordering journal
     * recorded changed (`madeAgain`, for a deletion, is the token made again).
     * Where calls of its own give it back exactly, the client carries them out
     * and tells its listeners, as of any call; otherwise the journal takes the
     * call back alone, the listeners hear of the likeliest calls that the
     * client carries out from this plan (or none), and untoldChanges() counts it.
     */
    void takeBackOrdering(const TokenId& madeAgain = TokenId::noId());
    /**
     * How many changes rewinds made through this client that no calls of the
     * client make (the listeners heard of other calls or of none): a log kept
     * across such a rewind does not replay to the plan it gave back.
     */
    std::size_t untoldChanges() const { return m_untoldChanges; }
    /** A rewind made a change that no calls of the client make. */
    void noteUntoldChange() { ++m_untoldChanges; }

    // Tokens. Creations and changes are made first and announced afterwards;
    // deleteToken and cancel are announced first, so listeners see the token
    // as it was.
    TokenId createToken(const char* predicateName, bool rejectable, bool isFact);
    /** Only an inactive token or a fact; recorded tokens go newest first. */
    void deleteToken(const TokenId& token, const std::string& name);
    /**
     * Fails a check where deleteToken would, changing nothing but dropping the
     * recorded keys of dead tokens at the end; true when the token's key is
     * the last one recorded.
     */
    bool checkDeleteToken(const TokenId& token);
    void activate(const TokenId& token);
    void merge(const TokenId& token, const TokenId& activeToken);
    void reject(const TokenId& token);
    /** Undoes the activation, merge or rejection of the token. */
    void cancel(const TokenId& token);
    void constrain(const ObjectId& object, const TokenId& predecessor, const TokenId& successor);
    void free(const ObjectId& object, const TokenId& predecessor, const TokenId& successor);

    // Token paths (logging must be on): the index of the token's root in the
    // record, then the slave position on each level down to the token.
    std::vector<int> getPathByToken(const TokenId& targetToken) const;
    /** The path as decimal numbers joined by ".". */
    std::string getPathAsString(const TokenId& targetToken) const;
    /** The token the path leads to, or no handle when it leads nowhere. */
    TokenId getTokenByPath(const std::vector<int>& relativePath) const;
    /** The newest recorded root token still alive, or no handle. */
    TokenId getNewestRootToken() const;

    // Objects, variables and constraints. Creations and changes are made first
    // and announced afterwards; deletions are announced first.
    ObjectId createObject(const char* type, const char* name);
    ObjectId createObject(const char* type, const char* name,
                          const std::vector<const AbstractDomain*>& arguments);
    void deleteObject(const ObjectId& obj);
    /** Closes the database for every object type. */
    void close();
    void close(const char* objectType);
    /** A variable of an object type holds every object of the type; a non-temporary one is global. */
    ConstrainedVariableId createVariable(const char* typeName, const char* name, bool isTmpVar);
    /** As above, except that a closed base domain is kept as it is. */
    ConstrainedVariableId createVariable(const char* typeName, const AbstractDomain& baseDomain,
                                         const char* name, bool isTmpVar, bool canBeSpecified);
    /** Only a variable without a parent: a token's or object's own variables go with their owner. */
    void deleteVariable(const ConstrainedVariableId& var);
    ConstraintId createConstraint(const char* name, const std::vector<ConstrainedVariableId>& scope);
    /** Not a constraint that a token owns: it goes with its token. */
    void deleteConstraint(const ConstraintId& c);
    void restrict(const ConstrainedVariableId& variable, const AbstractDomain& domain);
    void specify(const ConstrainedVariableId& variable, double value);
    void close(const ConstrainedVariableId& variable);
    void reset(const ConstrainedVariableId& variable);

  private:
    DbClient(const DbClient&) = delete;
    DbClient& operator=(const DbClient&) = delete;

    const ConstraintEngineId& getConstraintEngine() const;

    /** Makes the token from the predicate's factory; with logging on, records its key. */
    TokenId allocateToken(const LabelStr& predicateName, bool rejectable, bool isFact);
    /**
     * Pops the recorded keys at the end of the record whose token is gone
     * (discarded other than through deleteToken), so that they do not stand
     * in the way of deleting the tokens recorded before them.
     */
    void dropKeysOfDeadTokens();

    /**
     * Tells every listener through fn(listener). Works on a copy of the set, so
     * a listener may unregister itself or another listener while it is told;
     * a listener that has left the set is not told any more.
     */
    template <class Fn> void publish(Fn fn) { tellListeners(m_listeners, fn); }
    /** Tells every listener of the calls, as of the client's own. */
    void tell(const std::vector<OrderingJournal::OrderingCall>& calls);

    DbClientId m_id;
    PlanDatabaseId m_planDb;
    std::vector<int> m_keysOfTokensCreated;
    std::set<DbClientListenerId> m_listeners;
    bool m_deleted;
    bool m_transactionLoggingEnabled;
    std::size_t m_untoldChanges = 0;
  };

}

#endif
