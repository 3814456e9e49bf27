#ifndef KADRIX_DB_CLIENT_HH
#define KADRIX_DB_CLIENT_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/DbClientListener.hh"
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

  private:
    DbClient(const DbClient&) = delete;
    DbClient& operator=(const DbClient&) = delete;

    const ConstraintEngineId& getConstraintEngine() const;

    /**
     * Tells every listener through fn(listener). Works on a copy of the set, so
     * a listener may unregister itself or another listener while it is told;
     * a listener that has left the set is not told any more.
     */
    template <class Fn>
    void publish(Fn fn) {
      tellListeners(m_listeners, fn);
    }

    DbClientId m_id;
    PlanDatabaseId m_planDb;
    std::vector<int> m_keysOfTokensCreated;
    std::set<DbClientListenerId> m_listeners;
    bool m_deleted;
    bool m_transactionLoggingEnabled;
  };

}

#endif
