#include "PlanDatabase/base/TemporalAdvisor.hh"

namespace KADRIX {

  DefaultTemporalAdvisor::DefaultTemporalAdvisor(const ConstraintEngineId& ce)
    : m_id(this), m_ce(ce) {}

  DefaultTemporalAdvisor::~DefaultTemporalAdvisor() noexcept(false) {
    m_id.remove();
  }

  bool DefaultTemporalAdvisor::canBeConcurrent(const TokenId& /*first*/, const TokenId& /*second*/) {
    return true;
  }

}
