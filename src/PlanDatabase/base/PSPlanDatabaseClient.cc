#include "PlanDatabase/base/PSPlanDatabaseClient.hh"

namespace KADRIX {

  PSPlanDatabaseClientImpl::PSPlanDatabaseClientImpl(const DbClientId& c)
    : m_client(c) {}

  PSPlanDatabaseClientImpl::~PSPlanDatabaseClientImpl() noexcept(false) {}

}
