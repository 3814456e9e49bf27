#ifndef KADRIX_DB_CLIENT_LISTENER_HH
#define KADRIX_DB_CLIENT_LISTENER_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "Utils/base/LabelStr.hh"

#include <string>
#include <vector>

namespace KADRIX {

  /**
   * Observer of one client: one operation per client call, each doing nothing
   * unless a subclass overrides it. A listener registers with its client when
   * it is constructed and unregisters when it is destroyed (unless the client
   * is gone by then).
   */
  class DbClientListener {
  public:
    virtual ~DbClientListener() noexcept(false);

    virtual void notifyObjectCreated(const ObjectId& /*object*/) {}
    virtual void notifyObjectCreated(const ObjectId& /*object*/,
                                     const std::vector<const AbstractDomain*>& /*arguments*/) {}
    virtual void notifyObjectDeleted(const ObjectId& /*object*/) {}
    virtual void notifyClosed() {}
    virtual void notifyClosed(const LabelStr& /*objectType*/) {}
    virtual void notifyTokenCreated(const TokenId& /*token*/) {}
    virtual void notifyTokenDeleted(const TokenId& /*token*/, const std::string& /*name*/) {}
    virtual void notifyConstrained(const ObjectId& /*object*/, const TokenId& /*predecessor*/,
                                   const TokenId& /*successor*/) {}
    virtual void notifyFreed(const ObjectId& /*object*/, const TokenId& /*predecessor*/,
                             const TokenId& /*successor*/) {}
    virtual void notifyActivated(const TokenId& /*token*/) {}
    virtual void notifyMerged(const TokenId& /*token*/, const TokenId& /*activeToken*/) {}
    virtual void notifyMerged(const TokenId& /*token*/) {}
    virtual void notifyRejected(const TokenId& /*token*/) {}
    virtual void notifyCancelled(const TokenId& /*token*/) {}
    virtual void notifyConstraintCreated(const ConstraintId& /*constraint*/) {}
    virtual void notifyConstraintDeleted(const ConstraintId& /*constraint*/) {}
    virtual void notifyVariableCreated(const ConstrainedVariableId& /*variable*/) {}
    virtual void notifyVariableDeleted(const ConstrainedVariableId& /*variable*/) {}
    virtual void notifyVariableSpecified(const ConstrainedVariableId& /*variable*/) {}
    virtual void notifyVariableRestricted(const ConstrainedVariableId& /*variable*/) {}
    virtual void notifyVariableClosed(const ConstrainedVariableId& /*variable*/) {}
    virtual void notifyVariableReset(const ConstrainedVariableId& /*variable*/) {}

    const DbClientListenerId& getId() const { return m_id; }
    const DbClientId& getClient() const { return m_client; }

  protected:
    /** Registers the listener with the client, which must be valid. */
    DbClientListener(const DbClientId& client);

    DbClientListenerId m_id;
    DbClientId m_client;

  private:
    DbClientListener(const DbClientListener&) = delete;
    DbClientListener& operator=(const DbClientListener&) = delete;
  };

}

#endif
