#include "ConstraintEngine/base/IntervalIntDomain.hh"

namespace KADRIX {

  const LabelStr& IntervalIntDomain::getDefaultTypeName() {
    static const LabelStr sl_name("INT_INTERVAL");
    return sl_name;
  }

  IntervalIntDomain::IntervalIntDomain(const LabelStr& typeName)
    : IntervalDomain(minusInfinity(), plusInfinity(), true, typeName) {}

  IntervalIntDomain::IntervalIntDomain(double lb, double ub, const LabelStr& typeName)
    : IntervalDomain(lb, ub, true, typeName) {}

  IntervalIntDomain::IntervalIntDomain(const IntervalIntDomain& org) : IntervalDomain(org) {}

  IntervalIntDomain::~IntervalIntDomain() {}

  IntervalIntDomain* IntervalIntDomain::copy() const { return new IntervalIntDomain(*this); }

} // namespace KADRIX
