#include "PlanDatabase/base/TemporalAdvisor.hh"

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

#include <algorithm>

namespace KADRIX {

  namespace {

    typedef DefaultTemporalAdvisor::Time Time;

    Time earliest(const TimepointId& var) {
      return DefaultTemporalAdvisor::whole(var->getDerivedDomain().getLowerBound());
    }
    Time latest(const TimepointId& var) {
      return DefaultTemporalAdvisor::whole(var->getDerivedDomain().getUpperBound());
    }

  }

  DefaultTemporalAdvisor::DefaultTemporalAdvisor(const ConstraintEngineId& ce) : m_id(this), m_ce(ce) {}

  DefaultTemporalAdvisor::~DefaultTemporalAdvisor() noexcept(false) { m_id.remove(); }

  bool DefaultTemporalAdvisor::canPrecede(const TokenId& first, const TokenId& second) {
    KADRIX_CHECK(first.isValid());
    KADRIX_CHECK(second.isValid());
    return boundsPrecede(earliest(first->end()), latest(second->start()));
  }

  bool DefaultTemporalAdvisor::canPrecede(const TimepointId& first, const TimepointId& second) {
    KADRIX_CHECK(first.isValid());
    KADRIX_CHECK(second.isValid());
    return boundsPrecede(earliest(first), latest(second));
  }

  bool DefaultTemporalAdvisor::canFitBetween(const TokenId& token, const TokenId& predecessor,
                                             const TokenId& successor) {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK(predecessor.isValid());
    KADRIX_CHECK(successor.isValid());
    KADRIX_CHECK(successor != predecessor);
    KADRIX_CHECK(token != successor);
    KADRIX_CHECK(token != predecessor);
    TimepointId duration(token->duration());
    return boundsFit(duration->getDerivedDomain().getLowerBound(), earliest(predecessor->end()),
                     latest(successor->start()));
  }

  bool DefaultTemporalAdvisor::canBeConcurrent(const TokenId& /*first*/, const TokenId& /*second*/) {
    return true;
  }

  IntervalIntDomain DefaultTemporalAdvisor::getTemporalDistanceDomain(const TimepointId& first,
                                                                      const TimepointId& second,
                                                                      bool /*exact*/) {
    KADRIX_CHECK(first.isValid());
    KADRIX_CHECK(second.isValid());
    const Time inf = g_infiniteTime();
    if (first->getExternalEntity().isId() && second->getExternalEntity().isId())
      return IntervalIntDomain(-inf, inf);
    Time f_lb = earliest(first), f_ub = latest(first);
    Time s_lb = earliest(second), s_ub = latest(second);
    Time lower = -inf, upper = inf;
    if (-inf < s_lb && f_ub < inf)
      lower = std::min(inf, std::max(-inf, s_lb - f_ub));
    if (-inf < f_lb && s_ub < inf)
      upper = std::max(-inf, std::min(inf, s_ub - f_lb));
    return IntervalIntDomain(static_cast<double>(lower), static_cast<double>(upper));
  }

  unsigned int DefaultTemporalAdvisor::mostRecentRepropagation() const {
    return m_ce->mostRecentRepropagation();
  }

}
