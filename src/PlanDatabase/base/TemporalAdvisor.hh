#ifndef KADRIX_TEMPORAL_ADVISOR_HH
#define KADRIX_TEMPORAL_ADVISOR_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

namespace KADRIX {

  /**
   * Answers the temporal questions of ordering and merging queries. The plan
   * database owns the advisor it holds and deletes it through this interface.
   */
  class TemporalAdvisor {
  public:
    virtual ~TemporalAdvisor() noexcept(false) {}

    /** Whether the two tokens can be concurrent. */
    virtual bool canBeConcurrent(const TokenId& first, const TokenId& second) = 0;
  };

  /**
   * The advisor a plan database makes over its constraint engine when no other
   * one was installed.
   */
  class DefaultTemporalAdvisor : public TemporalAdvisor {
  public:
    DefaultTemporalAdvisor(const ConstraintEngineId& ce);
    virtual ~DefaultTemporalAdvisor() noexcept(false);

    const TemporalAdvisorId& getId() const { return m_id; }
    const ConstraintEngineId& getConstraintEngine() const { return m_ce; }

    /** Any two tokens can be concurrent. */
    bool canBeConcurrent(const TokenId& first, const TokenId& second) override;

  private:
    DefaultTemporalAdvisor(const DefaultTemporalAdvisor&) = delete;
    DefaultTemporalAdvisor& operator=(const DefaultTemporalAdvisor&) = delete;

    TemporalAdvisorId m_id;
    const ConstraintEngineId m_ce;
  };

}

#endif
