#ifndef KADRIX_INTERVAL_INT_DOMAIN_HH
#define KADRIX_INTERVAL_INT_DOMAIN_HH

#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

namespace KADRIX {

  /**
 * Every integer between two bounds. Bounds are rounded inwards (the lower
 * bound up, the upper bound down); minDelta() is 1.
 */
  class IntervalIntDomain : public IntervalDomain {
  public:
    /** The full range [-inf, +inf]. */
    explicit IntervalIntDomain(const LabelStr& typeName = getDefaultTypeName());
    /** [ceil(lb), floor(ub)]; empty when that holds no integer. */
    IntervalIntDomain(double lb, double ub, const LabelStr& typeName = getDefaultTypeName());
    IntervalIntDomain(const IntervalIntDomain& org);

    ~IntervalIntDomain() override;

    /** "INT_INTERVAL". */
    static const LabelStr& getDefaultTypeName();

    IntervalIntDomain* copy() const override;
  };

  template <> struct IsPlainDomain<IntervalIntDomain> : std::true_type {};

} // namespace KADRIX

#endif
