#ifndef KADRIX_PLAN_DATABASE_LISTENER_HH
#define KADRIX_PLAN_DATABASE_LISTENER_HH

#include "PlanDatabase/base/PlanDatabaseDefs.hh"

namespace KADRIX {

  /**
   * Observer of one plan database: one operation per kind of change, each doing
   * nothing unless a subclass overrides it. The database calls them after it
   * has changed; it neither owns nor deletes its listeners.
   *
   * A listener is bound to at most one database at a time. Binding it to
   * another database first unregisters it from the one it was bound to.
   * Destroying a bound listener unregisters it, unless its database is gone.
   */
  class PlanDatabaseListener {
  public:
    /** An unbound listener: it hears nothing until setPlanDatabase(). */
    PlanDatabaseListener();
    /** A listener bound to the database at once. */
    PlanDatabaseListener(const PlanDatabaseId& planDatabase);
    virtual ~PlanDatabaseListener() noexcept(false);

    virtual void notifyAdded(const ObjectId& /*object*/) {}
    virtual void notifyRemoved(const ObjectId& /*object*/) {}
    virtual void notifyAdded(const TokenId& /*token*/) {}
    virtual void notifyRemoved(const TokenId& /*token*/) {}
    virtual void notifyActivated(const TokenId& /*token*/) {}
    virtual void notifyDeactivated(const TokenId& /*token*/) {}
    virtual void notifyMerged(const TokenId& /*token*/) {}
    virtual void notifySplit(const TokenId& /*token*/) {}
    virtual void notifyRejected(const TokenId& /*token*/) {}
    virtual void notifyReinstated(const TokenId& /*token*/) {}
    virtual void notifyConstrained(const ObjectId& /*object*/, const TokenId& /*predecessor*/,
                                   const TokenId& /*successor*/) {}
    virtual void notifyFreed(const ObjectId& /*object*/, const TokenId& /*predecessor*/,
                             const TokenId& /*successor*/) {}
    virtual void notifyAdded(const ObjectId& /*object*/, const TokenId& /*token*/) {}
    virtual void notifyRemoved(const ObjectId& /*object*/, const TokenId& /*token*/) {}
    virtual void notifyCommitted(const TokenId& /*token*/) {}
    virtual void notifyTerminated(const TokenId& /*token*/) {}

    /** Binds the listener to the database and registers it there. */
    virtual void setPlanDatabase(const PlanDatabaseId& planDatabase);

    const PlanDatabaseListenerId& getId() const { return m_id; }
    /** The database the listener is bound to; the null handle while unbound. */
    const PlanDatabaseId& getPlanDatabase() const { return m_planDatabase; }

  protected:
    PlanDatabaseListenerId m_id;
    PlanDatabaseId m_planDatabase;

  private:
    PlanDatabaseListener(const PlanDatabaseListener&) = delete;
    PlanDatabaseListener& operator=(const PlanDatabaseListener&) = delete;
  };

}

#endif
