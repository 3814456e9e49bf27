#ifndef KADRIX_PS_PLAN_DATABASE_CLIENT_HH
#define KADRIX_PS_PLAN_DATABASE_CLIENT_HH

#include "PlanDatabase/base/PlanDatabaseDefs.hh"

namespace KADRIX {

  /**
   * The client as the public interface shows it. The plan database makes one
   * over its client and deletes it right after the client.
   */
  class PSPlanDatabaseClient {
  public:
    virtual ~PSPlanDatabaseClient() noexcept(false) {}
  };

  /**
   * The public client over one DbClient, which it does not own.
   */
  class PSPlanDatabaseClientImpl : public PSPlanDatabaseClient {
  public:
    PSPlanDatabaseClientImpl(const DbClientId& c);
    virtual ~PSPlanDatabaseClientImpl() noexcept(false);

    const DbClientId& getClient() const { return m_client; }

  private:
    PSPlanDatabaseClientImpl(const PSPlanDatabaseClientImpl&) = delete;
    PSPlanDatabaseClientImpl& operator=(const PSPlanDatabaseClientImpl&) = delete;

    DbClientId m_client;
  };

}

#endif
