#include "ConstraintEngine/base/IntervalDomain.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <climits>
#include <cmath>
#include <ostream>

namespace KADRIX {

  const LabelStr& IntervalDomain::getDefaultTypeName() {
    static const LabelStr sl_name("REAL_INTERVAL");
    return sl_name;
  }

  IntervalDomain::IntervalDomain(const LabelStr& typeName)
    : IntervalDomain(minusInfinity(), plusInfinity(), false, typeName) {}

  IntervalDomain::IntervalDomain(double lb, double ub, const LabelStr& typeName)
    : IntervalDomain(lb, ub, false, typeName) {}

  IntervalDomain::IntervalDomain(double lb, double ub, bool integer, const LabelStr& typeName)
    : AbstractDomain(true, true, integer ? 1.0 : EPSILON, typeName), m_integer(integer), m_lb(plusInfinity()),
      m_ub(minusInfinity()) {
    KADRIX_CHECK_MSG(!std::isnan(lb) && !std::isnan(ub),
                     "Cannot make an interval of type " << typeName.toString() << " with a NaN bound.");
    double newLb = normalizeLower(lb);
    double newUb = normalizeUpper(ub);
    if (newLb <= newUb) {
      m_lb = newLb;
      m_ub = newUb;
    }
  }

  IntervalDomain::IntervalDomain(const IntervalDomain& org)
    : AbstractDomain(org), m_integer(org.m_integer), m_lb(org.m_lb), m_ub(org.m_ub) {}

  IntervalDomain::~IntervalDomain() {}

  IntervalDomain* IntervalDomain::copy() const { return new IntervalDomain(*this); }

  void IntervalDomain::open() {
    KADRIX_FAIL("Cannot open the interval " << toString() << ": intervals are always closed.");
  }

  double IntervalDomain::normalizeLower(double lb) const {
    lb = clampToInfinity(lb);
    return m_integer ? std::ceil(lb) : lb;
  }

  double IntervalDomain::normalizeUpper(double ub) const {
    ub = clampToInfinity(ub);
    return m_integer ? std::floor(ub) : ub;
  }

  bool IntervalDomain::isIntegerInterval(const AbstractDomain& dom) {
    const IntervalDomain* interval = dynamic_cast<const IntervalDomain*>(&dom);
    return interval != nullptr && interval->m_integer;
  }

  void IntervalDomain::empty() {
    if (isEmpty())
      return;
    m_lb = plusInfinity();
    m_ub = minusInfinity();
    notifyChange(DomainListener::EMPTIED);
  }

  double IntervalDomain::getSingletonValue() const {
    KADRIX_CHECK_MSG(isSingleton(), toString() << " is not a singleton.");
    return m_lb;
  }

  unsigned int IntervalDomain::getSize() const {
    if (isEmpty())
      return 0;
    if (isSingleton())
      return 1;
    if (!m_integer)
      return UINT_MAX;
    double size = m_ub - m_lb + 1;
    return size >= static_cast<double>(UINT_MAX) ? UINT_MAX : static_cast<unsigned int>(size);
  }

  void IntervalDomain::getValues(std::list<double>& results) const {
    KADRIX_CHECK_MSG(isSingleton() || isEmpty(),
                     "Cannot list the values of the interval " << toString() << ".");
    results.clear();
    if (isSingleton())
      results.push_back(m_lb);
  }

  bool IntervalDomain::isMember(double value) const {
    if (isEmpty() || std::isnan(value))
      return false;
    value = clampToInfinity(value);
    if (m_integer) {
      double nearest = std::round(value);
      if (std::fabs(value - nearest) >= EPSILON)
        return false;
      return nearest >= m_lb && nearest <= m_ub;
    }
    return value > m_lb - m_minDelta && value < m_ub + m_minDelta;
  }

  void IntervalDomain::insert(double value) {
    KADRIX_CHECK_MSG(isOpen(), "Cannot insert " << toString(value) << " into the interval " << toString()
                                                << ": intervals are always closed.");
  }

  void IntervalDomain::remove(double value) {
    if (!isMember(value))
      return;
    if (isSingleton()) {
      empty();
      return;
    }
    double member = std::round(clampToInfinity(value));
    if (m_integer && member == m_lb)
      narrowTo(m_lb + 1, m_ub);
    else if (m_integer && member == m_ub)
      narrowTo(m_lb, m_ub - 1);
    else
      KADRIX_FAIL("Cannot remove " << toString(value) << " from the interval " << toString()
                                   << ": an interval can lose only its bounds.");
  }

  void IntervalDomain::set(double value) {
    if (!isMember(value)) {
      empty();
      return;
    }
    value = clampToInfinity(value);
    if (m_integer)
      value = std::round(value);
    value = std::min(std::max(value, m_lb), m_ub);
    m_lb = value;
    m_ub = value;
    notifyChange(DomainListener::SET_TO_SINGLETON);
  }

  bool IntervalDomain::narrowTo(double lb, double ub) {
    if (isEmpty())
      return false;
    double newLb = std::max(m_lb, lb);
    double newUb = std::min(m_ub, ub);
    if (newLb == m_lb && newUb == m_ub)
      return false;
    if (newLb > newUb) {
      empty();
      return true;
    }
    DomainListener::ChangeType changeType;
    if (newLb == newUb)
      changeType = DomainListener::RESTRICT_TO_SINGLETON;
    else if (newLb != m_lb && newUb != m_ub)
      changeType = DomainListener::BOUNDS_RESTRICTED;
    else if (newLb != m_lb)
      changeType = DomainListener::LOWER_BOUND_INCREASED;
    else
      changeType = DomainListener::UPPER_BOUND_DECREASED;
    m_lb = newLb;
    m_ub = newUb;
    notifyChange(changeType);
    return true;
  }

  bool IntervalDomain::replaceBounds(double lb, double ub) {
    if (lb > ub) {
      lb = plusInfinity();
      ub = minusInfinity();
    }
    if (lb == m_lb && ub == m_ub)
      return false;
    bool wasEmpty = isEmpty();
    m_lb = lb;
    m_ub = ub;
    notifyChange(isEmpty() && !wasEmpty ? DomainListener::EMPTIED : DomainListener::RELAXED);
    return true;
  }

  bool IntervalDomain::hullOf(const AbstractDomain& dom, bool onlyMembers, double& lb, double& ub) const {
    std::list<double> values;
    dom.getValues(values);
    bool found = false;
    for (double value : values) {
      if (onlyMembers && !isMember(value))
        continue;
      if (!found) {
        lb = ub = value;
        found = true;
      } else {
        lb = std::min(lb, value);
        ub = std::max(ub, value);
      }
    }
    return found;
  }

  bool IntervalDomain::intersect(const AbstractDomain& dom) {
    if (this == &dom)
      return false;
    KADRIX_CHECK_MSG(dom.isNumeric(), "Cannot intersect " << toString() << " with " << dom.toString() << ".");
    if (isEmpty())
      return false;
    if (dom.isEmpty()) {
      empty();
      return true;
    }
    double lb, ub;
    if (dom.isEnumerated()) {
      if (!hullOf(dom, true, lb, ub)) {
        empty();
        return true;
      }
    } else {
      lb = dom.getLowerBound();
      ub = dom.getUpperBound();
    }
    return narrowTo(normalizeLower(lb), normalizeUpper(ub));
  }

  bool IntervalDomain::intersect(double lb, double ub) {
    KADRIX_CHECK_MSG(!std::isnan(lb) && !std::isnan(ub),
                     "Cannot intersect " << toString() << " with bounds holding NaN.");
    return narrowTo(normalizeLower(lb), normalizeUpper(ub));
  }

  bool IntervalDomain::relax(const AbstractDomain& dom) {
    KADRIX_CHECK_MSG(dom.isNumeric(), "Cannot relax " << toString() << " to " << dom.toString() << ".");
    if (this == &dom)
      return false;
    double lb = plusInfinity(), ub = minusInfinity();
    if (dom.isEnumerated())
      hullOf(dom, false, lb, ub);
    else if (!dom.isEmpty()) {
      lb = dom.getLowerBound();
      ub = dom.getUpperBound();
    }
    if (lb > ub)
      return replaceBounds(lb, ub);
    return replaceBounds(normalizeLower(lb), normalizeUpper(ub));
  }

  bool IntervalDomain::intersects(const AbstractDomain& dom) const {
    if (isEmpty() || dom.isEmpty() || !dom.isNumeric())
      return false;
    if (dom.isEnumerated())
      return dom.intersects(*this);
    double lb = std::max(m_lb, dom.getLowerBound());
    double ub = std::min(m_ub, dom.getUpperBound());
    if (m_integer || isIntegerInterval(dom)) {
      lb = std::ceil(lb);
      ub = std::floor(ub);
    }
    return lb <= ub;
  }

  bool IntervalDomain::isSubsetOf(const AbstractDomain& dom) const {
    if (isEmpty())
      return true;
    if (!dom.isNumeric() || dom.isEmpty())
      return false;
    if (isSingleton())
      return dom.isMember(m_lb);
    if (dom.isEnumerated()) {
      // Only a finite integer interval can fit in a finite set.
      if (!m_integer || getSize() > dom.getSize())
        return false;
      for (double value = m_lb; value <= m_ub; value += 1.0)
        if (!dom.isMember(value))
          return false;
      return true;
    }
    // A real interval holds non-integral values.
    if (!m_integer && isIntegerInterval(dom))
      return false;
    return dom.isMember(m_lb) && dom.isMember(m_ub);
  }

  void IntervalDomain::operator>>(std::ostream& os) const {
    AbstractDomain::operator>>(os);
    if (isEmpty())
      os << "[]";
    else
      os << "[" << toString(m_lb) << ", " << toString(m_ub) << "]";
  }

} // namespace KADRIX
