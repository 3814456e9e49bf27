#ifndef KADRIX_INTERVAL_DOMAIN_HH
#define KADRIX_INTERVAL_DOMAIN_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

namespace KADRIX {

  /**
 * Every real value between a lower and an upper bound, both included. Bounds
 * at or beyond the infinite bounds are clamped to them. Always closed and
 * numeric. An empty interval has the bounds [+inf, -inf].
 *
 * Narrowing reports EMPTIED (nothing left), RESTRICT_TO_SINGLETON (one value
 * left), BOUNDS_RESTRICTED (both bounds moved), LOWER_BOUND_INCREASED or
 * UPPER_BOUND_DECREASED.
 */
  class IntervalDomain : public AbstractDomain {
  public:
    /** The full range [-inf, +inf]. */
    explicit IntervalDomain(const LabelStr& typeName = getDefaultTypeName());
    /** [lb, ub]; empty when lb > ub. */
    IntervalDomain(double lb, double ub, const LabelStr& typeName = getDefaultTypeName());
    IntervalDomain(const IntervalDomain& org);

    ~IntervalDomain() override;

    /** "REAL_INTERVAL". */
    static const LabelStr& getDefaultTypeName();

    IntervalDomain* copy() const override;

    /** Fails: intervals are always closed. */
    void open() override;

    bool isEmpty() const override { return m_lb > m_ub; }
    void empty() override;
    bool isSingleton() const override { return m_lb == m_ub; }
    double getSingletonValue() const override;
    unsigned int getSize() const override;
    /** Only an empty or a singleton interval has values to list; any other fails a check. */
    void getValues(std::list<double>& results) const override;
    double getLowerBound() const override { return m_lb; }
    double getUpperBound() const override { return m_ub; }
    bool isMember(double value) const override;

    /** Fails: intervals are always closed. */
    void insert(double value) override;
    /**
   * Removes a value where the interval can lose it: the value of a singleton,
   * or (integer intervals) a bound. Removing any other member fails a check.
   */
    void remove(double value) override;
    void set(double value) override;
    /** With an interval: bounds intersection. With an enumerated domain: narrows to the hull of its members that are members here. */
    bool intersect(const AbstractDomain& dom) override;
    bool intersect(double lb, double ub) override;
    /** Takes the bounds of dom (the hull of its values for an enumerated dom). */
    bool relax(const AbstractDomain& dom) override;
    bool intersects(const AbstractDomain& dom) const override;
    bool isSubsetOf(const AbstractDomain& dom) const override;

    bool isBool() const override { return false; }
    bool isEnumerated() const override { return false; }
    bool isInterval() const override { return true; }

    /** Appends "[lb, ub]" to the generic prefix ("[]" when empty). */
    void operator>>(std::ostream& os) const override;

  protected:
    /** For subclasses: integer intervals round their bounds inwards and step by 1. */
    IntervalDomain(double lb, double ub, bool integer, const LabelStr& typeName);

    bool isInteger() const { return m_integer; }
    /** A lower bound as stored: clamped, rounded up for integer intervals. */
    double normalizeLower(double lb) const;
    /** An upper bound as stored: clamped, rounded down for integer intervals. */
    double normalizeUpper(double ub) const;
    /** Narrows to [lb, ub] (already normalized) within the current bounds; reports; true when changed. */
    bool narrowTo(double lb, double ub);
    /** Replaces the bounds (already normalized); reports RELAXED or EMPTIED; true when changed. */
    bool replaceBounds(double lb, double ub);
    /**
   * The least and greatest value of dom (an enumerated domain), counting only
   * values that are members here when onlyMembers; false when there are none.
   */
    bool hullOf(const AbstractDomain& dom, bool onlyMembers, double& lb, double& ub) const;
    /** True when dom is an integer interval. */
    static bool isIntegerInterval(const AbstractDomain& dom);

    bool m_integer;
    double m_lb;
    double m_ub;
  };

  template <> struct IsPlainDomain<IntervalDomain> : std::true_type {};

} // namespace KADRIX

#endif
