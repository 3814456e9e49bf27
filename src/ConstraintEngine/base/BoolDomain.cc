#include "ConstraintEngine/base/BoolDomain.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  const LabelStr& BoolDomain::getDefaultTypeName() {
    static const LabelStr sl_name("BOOL");
    return sl_name;
  }

  BoolDomain::BoolDomain() : IntervalIntDomain(0, 1, getDefaultTypeName()) {}

  BoolDomain::BoolDomain(const LabelStr& typeName) : IntervalIntDomain(0, 1, typeName) {}

  BoolDomain::BoolDomain(bool value, const LabelStr& typeName)
    : IntervalIntDomain(value ? 1 : 0, value ? 1 : 0, typeName) {}

  BoolDomain::BoolDomain(const BoolDomain& org) : IntervalIntDomain(org) {}

  BoolDomain::~BoolDomain() {}

  BoolDomain* BoolDomain::copy() const { return new BoolDomain(*this); }

  bool BoolDomain::relax(const AbstractDomain& dom) {
    KADRIX_CHECK_MSG(dom.isEmpty() || (dom.getLowerBound() >= 0 && dom.getUpperBound() <= 1),
                     "Cannot relax " << toString() << " beyond false and true to " << dom.toString() << ".");
    return IntervalIntDomain::relax(dom);
  }

  std::string BoolDomain::toString(double value) const {
    if (value == 0)
      return "false";
    if (value == 1)
      return "true";
    return IntervalIntDomain::toString(value);
  }

} // namespace KADRIX
