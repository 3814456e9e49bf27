#ifndef KADRIX_TEMPORAL_ADVISOR_HH
#define KADRIX_TEMPORAL_ADVISOR_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

namespace KADRIX {

  typedef Id<Variable<IntervalIntDomain> > TimepointId;

  /**
   * Answers the temporal questions of ordering and merging queries. The plan
   * database owns the advisor it holds and deletes it through this interface.
   */
  class TemporalAdvisor {
  public:
    virtual ~TemporalAdvisor() noexcept(false) {}

    /** Whether first can end before second starts. */
    virtual bool canPrecede(const TokenId& first, const TokenId& second) = 0;
    /** Whether the time point first can lie at or before second. */
    virtual bool canPrecede(const TimepointId& first, const TimepointId& second) = 0;
    /** Whether token fits in the gap between predecessor's end and successor's start. */
    virtual bool canFitBetween(const TokenId& token, const TokenId& predecessor,
                               const TokenId& successor) = 0;
    /** Whether the two tokens can be concurrent. */
    virtual bool canBeConcurrent(const TokenId& first, const TokenId& second) = 0;
    /** The range of second - first. */
    virtual IntervalIntDomain getTemporalDistanceDomain(const TimepointId& first, const TimepointId& second,
                                                        bool exact) = 0;
    /** When the constraint engine last repropagated. */
    virtual unsigned int mostRecentRepropagation() const = 0;
  };

  /**
   * The advisor a plan database makes over its constraint engine when no other
   * one was installed. It answers from the bounds of the derived domains of the
   * time points alone, and reads them in 64-bit arithmetic: unbounded tokens
   * neither overflow nor read as "cannot fit", and distance bounds stay within
   * minus and plus infinite time.
   */
  class DefaultTemporalAdvisor : public TemporalAdvisor {
  public:
    DefaultTemporalAdvisor(const ConstraintEngineId& ce);
    virtual ~DefaultTemporalAdvisor() noexcept(false);

    const TemporalAdvisorId& getId() const { return m_id; }
    const ConstraintEngineId& getConstraintEngine() const { return m_ce; }

    /** The earliest end of first is at most the latest start of second. */
    bool canPrecede(const TokenId& first, const TokenId& second) override;
    /** The earliest time of first is at most the latest time of second. */
    bool canPrecede(const TimepointId& first, const TimepointId& second) override;
    /** The gap from predecessor's earliest end to successor's latest start holds token's minimum duration. */
    bool canFitBetween(const TokenId& token, const TokenId& predecessor, const TokenId& successor) override;
    /** Any two tokens can be concurrent. */
    bool canBeConcurrent(const TokenId& first, const TokenId& second) override;
    /** From the bounds; [-inf, +inf] when both time points belong to an external entity. */
    IntervalIntDomain getTemporalDistanceDomain(const TimepointId& first, const TimepointId& second,
                                                bool exact) override;
    unsigned int mostRecentRepropagation() const override;

    // The answers above from bounds already read, for scans that read the bounds themselves.
    typedef long long Time;
    /** A bound as the advisor reads it: truncated toward zero, in 64 bits. */
    static Time whole(double bound) { return static_cast<Time>(bound); }
    /** canPrecede: the earliest end (or time) of the first is at most the latest start of the second. */
    static bool boundsPrecede(Time firstEarliest, Time secondLatest) { return firstEarliest <= secondLatest; }
    /** canFitBetween: the gap from the predecessor's earliest end to the successor's latest start. */
    static bool boundsFit(double minimumDuration, Time predecessorEarliestEnd, Time successorLatestStart) {
      return static_cast<double>(successorLatestStart - predecessorEarliestEnd) >= minimumDuration;
    }

  private:
    DefaultTemporalAdvisor(const DefaultTemporalAdvisor&) = delete;
    DefaultTemporalAdvisor& operator=(const DefaultTemporalAdvisor&) = delete;

    TemporalAdvisorId m_id;
    const ConstraintEngineId m_ce;
  };

}

#endif
