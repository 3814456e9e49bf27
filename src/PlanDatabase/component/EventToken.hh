#ifndef KADRIX_EVENT_TOKEN_HH
#define KADRIX_EVENT_TOKEN_HH

#include "PlanDatabase/base/Token.hh"

namespace KADRIX {

  /**
   * A token at one instant: its "time" variable (index 3) is both its start
   * and its end, and its duration is [0, 0].
   *
   * A token built with closed == true is closed, and so registered with its
   * database, once its time variable exists.
   */
  class EventToken : public Token {
  public:
    EventToken(const PlanDatabaseId& planDatabase, const LabelStr& predicateName, bool rejectable,
               bool isFact, const IntervalIntDomain& timeBaseDomain, const LabelStr& objectName, bool closed);

    EventToken(const TokenId& master, const LabelStr& relation, const LabelStr& predicateName,
               const IntervalIntDomain& timeBaseDomain, const LabelStr& objectName, bool closed);

    virtual ~EventToken() noexcept(false);

    const TempVarId& start() const override { return m_time; }
    const TempVarId& end() const override { return m_time; }
    const TempVarId& getTime() const { return m_time; }

  private:
    void commonInit(const IntervalIntDomain& timeBaseDomain, bool closed);

    TempVarId m_time;
  };

}

#endif
