#include "PlanDatabase/component/EventToken.hh"
#include "PlanDatabase/base/PlanDatabase.hh"

namespace KADRIX {

  EventToken::EventToken(const PlanDatabaseId& planDatabase,
                         const LabelStr& predicateName,
                         bool rejectable,
                         bool isFact,
                         const IntervalIntDomain& timeBaseDomain,
                         const LabelStr& objectName,
                         bool closed)
    : Token(planDatabase, predicateName, rejectable, isFact, IntervalIntDomain(0, 0), objectName,
            false) {
    commonInit(timeBaseDomain, closed);
  }

  EventToken::EventToken(const TokenId& master,
                         const LabelStr& relation,
                         const LabelStr& predicateName,
                         const IntervalIntDomain& timeBaseDomain,
                         const LabelStr& objectName,
                         bool closed)
    : Token(master, relation, predicateName, IntervalIntDomain(0, 0), objectName, false) {
    commonInit(timeBaseDomain, closed);
  }

  EventToken::~EventToken() noexcept(false) {}

  void EventToken::commonInit(const IntervalIntDomain& timeBaseDomain, bool closed) {
    static const LabelStr sl_time("time");
    m_time = TempVarId((new TokenVariable<IntervalIntDomain>(
                          getId(), (int) getVariables().size(),
                          getPlanDatabase()->getConstraintEngine(), timeBaseDomain, false, true,
                          sl_time))->getId());
    addVariable(m_time);
    // Closed last, so that the database and its listeners meet a whole token.
    if (closed)
      close();
  }

}
