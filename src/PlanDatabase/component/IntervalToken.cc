#include "PlanDatabase/component/IntervalToken.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"

namespace KADRIX {

  namespace {
    /**
     * The duration base domain, once it is known to start above 0: checked
     * before anything of the token is built, so that a refused token leaves
     * nothing behind.
     */
    const IntervalIntDomain& checkedDuration(const IntervalIntDomain& durationBaseDomain) {
      KADRIX_CHECK_TEXT(durationBaseDomain.getLowerBound() > 0,
                        "m_duration->getBaseDomain().getLowerBound() > 0", "");
      return durationBaseDomain;
    }

    /** The same for all three time domains: none may be empty. */
    const IntervalIntDomain& checkedDomains(const IntervalIntDomain& startBaseDomain,
                                            const IntervalIntDomain& endBaseDomain,
                                            const IntervalIntDomain& durationBaseDomain) {
      KADRIX_CHECK_MSG(!startBaseDomain.isEmpty(), "Empty start domain " << startBaseDomain.toString());
      KADRIX_CHECK_MSG(!endBaseDomain.isEmpty(), "Empty end domain " << endBaseDomain.toString());
      KADRIX_CHECK_MSG(!durationBaseDomain.isEmpty(),
                       "Empty duration domain " << durationBaseDomain.toString());
      return checkedDuration(durationBaseDomain);
    }
  }

  IntervalToken::IntervalToken(const PlanDatabaseId& planDatabase, const LabelStr& predicateName,
                               bool rejectable, bool isFact, const IntervalIntDomain& startBaseDomain,
                               const IntervalIntDomain& endBaseDomain,
                               const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName,
                               bool closed)
    : Token(planDatabase, predicateName, rejectable, isFact,
            checkedDomains(startBaseDomain, endBaseDomain, durationBaseDomain), objectName, false) {
    commonInit(startBaseDomain, endBaseDomain, closed);
  }

  IntervalToken::IntervalToken(const TokenId& master, const LabelStr& relation, const LabelStr& predicateName,
                               const IntervalIntDomain& startBaseDomain,
                               const IntervalIntDomain& endBaseDomain,
                               const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName,
                               bool closed)
    : Token(master, relation, predicateName,
            checkedDomains(startBaseDomain, endBaseDomain, durationBaseDomain), objectName, false) {
    commonInit(startBaseDomain, endBaseDomain, closed);
  }

  IntervalToken::~IntervalToken() noexcept(false) {}

  void IntervalToken::commonInit(const IntervalIntDomain& startBaseDomain,
                                 const IntervalIntDomain& endBaseDomain, bool closed) {
    KADRIX_CHECK(m_duration->getBaseDomain().getLowerBound() > 0);
    const ConstraintEngineId& engine = getPlanDatabase()->getConstraintEngine();
    static const LabelStr sl_start("start");
    static const LabelStr sl_end("end");
    m_start =
        TempVarId((new TokenVariable<IntervalIntDomain>(getId(), static_cast<int>(getVariables().size()),
                                                        engine, startBaseDomain, false, true, sl_start))
                      ->getId());
    addVariable(m_start);
    m_end = TempVarId((new TokenVariable<IntervalIntDomain>(getId(), static_cast<int>(getVariables().size()),
                                                            engine, endBaseDomain, false, true, sl_end))
                          ->getId());
    addVariable(m_end);

    std::vector<ConstrainedVariableId> scope;
    scope.push_back(m_start);
    scope.push_back(m_duration);
    scope.push_back(m_end);
    static const LabelStr sl_temporalDistance("temporalDistance");
    addStandardConstraint(engine->createConstraint(sl_temporalDistance, scope));

    if (closed)
      close();
  }

  const TempVarId& IntervalToken::start() const {
    KADRIX_CHECK_MSG(m_start.isValid(), m_start);
    return m_start;
  }

  const TempVarId& IntervalToken::end() const {
    KADRIX_CHECK_MSG(m_end.isValid(), m_end);
    return m_end;
  }

}
