#include "ConstraintEngine/base/DomainComparator.hh"
#include "ConstraintEngine/base/AbstractDomain.hh"

namespace KADRIX {

  const DomainComparator*& DomainComparator::current() {
    static const DomainComparator* sl_current = nullptr;
    return sl_current;
  }

  DomainComparator::DomainComparator() { current() = this; }

  DomainComparator::~DomainComparator() {
    if (current() == this)
      current() = nullptr;
  }

  bool DomainComparator::canCompare(const AbstractDomain& domx, const AbstractDomain& domy) const {
    return defaultRule(domx, domy);
  }

  const DomainComparator* DomainComparator::getComparator() { return current(); }

  bool DomainComparator::defaultRule(const AbstractDomain& domx, const AbstractDomain& domy) {
    if (domx.isNumeric() && domy.isNumeric())
      return true;
    return domx.isSymbolic() && domy.isSymbolic() && domx.isEntity() == domy.isEntity();
  }

} // namespace KADRIX
