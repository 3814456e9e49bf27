#ifndef KADRIX_INTERVAL_TOKEN_HH
#define KADRIX_INTERVAL_TOKEN_HH

#include "PlanDatabase/base/Token.hh"

namespace KADRIX {

  /**
   * A token over a period: "start" (index 3) and "end" (index 4), tied to
   * "duration" by a "temporalDistance" constraint over (start, duration, end).
   * The duration's lower bound must be above 0.
   *
   * A token built with closed == true is closed, and so registered with its
   * database, once all its variables and constraints exist.
   */
  class IntervalToken : public Token {
  public:
    IntervalToken(const PlanDatabaseId& planDatabase, const LabelStr& predicateName, bool rejectable,
                  bool isFact, const IntervalIntDomain& startBaseDomain,
                  const IntervalIntDomain& endBaseDomain, const IntervalIntDomain& durationBaseDomain,
                  const LabelStr& objectName, bool closed);

    IntervalToken(const TokenId& master, const LabelStr& relation, const LabelStr& predicateName,
                  const IntervalIntDomain& startBaseDomain, const IntervalIntDomain& endBaseDomain,
                  const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName, bool closed);

    virtual ~IntervalToken() noexcept(false);

    const TempVarId& start() const override;
    const TempVarId& end() const override;

  private:
    void commonInit(const IntervalIntDomain& startBaseDomain, const IntervalIntDomain& endBaseDomain,
                    bool closed);

    TempVarId m_start;
    TempVarId m_end;
  };

}

#endif
