#include "PlanDatabase/component/EventToken.hh"
#include "PlanDatabase/base/PlanDatabase.hh"

namespace KADRIX {

  namespace {
    /**
     * An event lasts no time. The time domain is checked before anything of
     * the token is built, so that a refused token leaves nothing behind.
     */
    IntervalIntDomain noDuration(const IntervalIntDomain& timeBaseDomain) {
      KADRIX_CHECK_MSG(!timeBaseDomain.isEmpty(), "Empty time domain " << timeBaseDomain.toString());
      return IntervalIntDomain(0, 0);
    }
  }

  EventToken::EventToken(const PlanDatabaseId& planDatabase, const LabelStr& predicateName, bool rejectable,
                         bool isFact, const IntervalIntDomain& timeBaseDomain, const LabelStr& objectName,
                         bool closed)
    : Token(planDatabase, predicateName, rejectable, isFact, noDuration(timeBaseDomain), objectName, false) {
    commonInit(timeBaseDomain, closed);
  }

  EventToken::EventToken(const TokenId& master, const LabelStr& relation, const LabelStr& predicateName,
                         const IntervalIntDomain& timeBaseDomain, const LabelStr& objectName, bool closed)
    : Token(master, relation, predicateName, noDuration(timeBaseDomain), objectName, false) {
    commonInit(timeBaseDomain, closed);
  }

  EventToken::~EventToken() noexcept(false) {}

  void EventToken::commonInit(const IntervalIntDomain& timeBaseDomain, bool closed) {
    static const LabelStr sl_time("time");
    m_time = TempVarId((new TokenVariable<IntervalIntDomain>(getId(), static_cast<int>(getVariables().size()),
                                                             getPlanDatabase()->getConstraintEngine(),
                                                             timeBaseDomain, false, true, sl_time))
                           ->getId());
    addVariable(m_time);
    // Closed last, so that the database and its listeners meet a whole token.
    if (closed)
      close();
  }

}
