#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace KADRIX {

  EnumeratedDomain::EnumeratedDomain(bool isNumeric, const LabelStr& typeName)
    : AbstractDomain(false, isNumeric, EPSILON, typeName) {}

  EnumeratedDomain::EnumeratedDomain(double value, bool isNumeric, const LabelStr& typeName)
    : AbstractDomain(true, isNumeric, EPSILON, typeName) {
    KADRIX_CHECK_MSG(!std::isnan(value),
                     "Cannot make a domain of type " << typeName.toString() << " holding NaN.");
    m_values.push_back(normalize(value));
  }

  EnumeratedDomain::EnumeratedDomain(const std::list<double>& values, bool isNumeric,
                                     const LabelStr& typeName)
    : AbstractDomain(true, isNumeric, EPSILON, typeName) {
    m_values.reserve(values.size());
    for (double value : values) {
      KADRIX_CHECK_MSG(!std::isnan(value),
                       "Cannot make a domain of type " << typeName.toString() << " holding NaN.");
      m_values.push_back(normalize(value));
    }
    std::sort(m_values.begin(), m_values.end());
    std::vector<double>::iterator last = std::unique(
        m_values.begin(), m_values.end(), [this](double a, double b) { return compareEqual(a, b); });
    m_values.erase(last, m_values.end());
  }

  EnumeratedDomain::EnumeratedDomain(const EnumeratedDomain& org)
    : AbstractDomain(org), m_values(org.m_values) {}

  EnumeratedDomain::EnumeratedDomain(const AbstractDomain& org) : AbstractDomain(org) {
    KADRIX_CHECK_MSG(org.isEnumerated(),
                     "Cannot make an enumerated domain from the domain " << org.toString() << ".");
    std::vector<double> buffer;
    m_values = valuesOf(org, buffer);
  }

  EnumeratedDomain::~EnumeratedDomain() {}

  const std::vector<double>& EnumeratedDomain::valuesOf(const AbstractDomain& dom,
                                                        std::vector<double>& buffer) {
    if (const EnumeratedDomain* enumerated = dynamic_cast<const EnumeratedDomain*>(&dom))
      return enumerated->m_values;
    std::list<double> values;
    dom.getValues(values);
    buffer.assign(values.begin(), values.end());
    return buffer;
  }

  EnumeratedDomain* EnumeratedDomain::copy() const { return new EnumeratedDomain(*this); }

  double EnumeratedDomain::normalize(double value) const {
    return isNumeric() ? clampToInfinity(value) : value;
  }

  std::size_t EnumeratedDomain::find(double value) const {
    value = normalize(value);
    std::vector<double>::const_iterator it = std::lower_bound(m_values.begin(), m_values.end(), value);
    if (it != m_values.end() && compareEqual(*it, value))
      return static_cast<std::size_t>(it - m_values.begin());
    if (it != m_values.begin() && compareEqual(*(it - 1), value))
      return static_cast<std::size_t>(it - 1 - m_values.begin());
    return m_values.size();
  }

  void EnumeratedDomain::empty() {
    if (m_values.empty())
      return;
    m_values.clear();
    notifyChange(isClosed() ? DomainListener::EMPTIED : DomainListener::VALUE_REMOVED);
  }

  double EnumeratedDomain::getSingletonValue() const {
    KADRIX_CHECK_MSG(isSingleton(), toString() << " is not a singleton.");
    return m_values.front();
  }

  void EnumeratedDomain::getValues(std::list<double>& results) const {
    results.assign(m_values.begin(), m_values.end());
  }

  double EnumeratedDomain::getLowerBound() const {
    KADRIX_CHECK(!isEmpty());
    return m_values.front();
  }

  double EnumeratedDomain::getUpperBound() const {
    KADRIX_CHECK(!isEmpty());
    return m_values.back();
  }

  bool EnumeratedDomain::isMember(double value) const { return find(value) != m_values.size(); }

  void EnumeratedDomain::insert(double value) {
    KADRIX_CHECK_MSG(isOpen(),
                     "Cannot insert " << toString(value) << " into the closed domain " << toString() << ".");
    KADRIX_CHECK_MSG(!std::isnan(value), "Cannot insert NaN into " << toString() << ".");
    if (isMember(value))
      return;
    value = normalize(value);
    m_values.insert(std::lower_bound(m_values.begin(), m_values.end(), value), value);
    notifyChange(DomainListener::RELAXED);
  }

  void EnumeratedDomain::remove(double value) {
    std::size_t index = find(value);
    if (index == m_values.size())
      return;
    std::vector<double> kept(m_values);
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(index));
    narrowTo(kept);
  }

  void EnumeratedDomain::set(double value) {
    std::size_t index = find(value);
    if (index == m_values.size()) {
      empty();
      return;
    }
    double member = m_values[index];
    m_values.assign(1, member);
    notifyChange(DomainListener::SET_TO_SINGLETON);
  }

  bool EnumeratedDomain::intersect(const AbstractDomain& dom) {
    KADRIX_CHECK_MSG(isNumeric() == dom.isNumeric(),
                     "Cannot intersect " << toString() << " with " << dom.toString() << ".");
    if (this == &dom || m_values.empty())
      return false;
    std::vector<double> kept;
    if (dom.isEnumerated()) {
      std::vector<double> buffer;
      const std::vector<double>& other = valuesOf(dom, buffer);
      kept.reserve(std::min(m_values.size(), other.size()));
      std::size_t i = 0, j = 0;
      if (other.size() * 8 < m_values.size()) {
        // Few values against many (a restriction to one object): each found by
        // search, from the least member that could equal it.
        for (; j < other.size(); ++j) {
          i = static_cast<std::size_t>(std::lower_bound(m_values.begin() + static_cast<std::ptrdiff_t>(i),
                                                        m_values.end(), other[j] - minDelta()) -
                                       m_values.begin());
          if (i < m_values.size() && compareEqual(m_values[i], other[j]))
            kept.push_back(m_values[i++]);
        }
        j = other.size();
      }
      while (i < m_values.size() && j < other.size()) {
        if (compareEqual(m_values[i], other[j])) {
          kept.push_back(m_values[i]);
          ++i;
          ++j;
        } else if (m_values[i] < other[j])
          ++i;
        else
          ++j;
      }
    } else {
      for (double value : m_values)
        if (dom.isMember(value))
          kept.push_back(value);
    }
    if (kept.size() == m_values.size())
      return false;
    narrowTo(kept);
    return true;
  }

  bool EnumeratedDomain::intersect(double lb, double ub) {
    KADRIX_CHECK_MSG(!std::isnan(lb) && !std::isnan(ub),
                     "Cannot intersect " << toString() << " with bounds holding NaN.");
    lb = normalize(lb);
    ub = normalize(ub);
    std::vector<double> kept;
    kept.reserve(m_values.size());
    for (double value : m_values)
      if ((value >= lb || compareEqual(value, lb)) && (value <= ub || compareEqual(value, ub)))
        kept.push_back(value);
    if (kept.size() == m_values.size())
      return false;
    narrowTo(kept);
    return true;
  }

  bool EnumeratedDomain::relax(const AbstractDomain& dom) {
    KADRIX_CHECK_MSG(dom.isEnumerated() && isNumeric() == dom.isNumeric(),
                     "Cannot relax " << toString() << " to the domain " << dom.toString() << ".");
    if (this == &dom)
      return false;
    std::vector<double> buffer;
    const std::vector<double>& other = valuesOf(dom, buffer);
    std::vector<double> values;
    values.reserve(other.size());
    for (double value : other)
      values.push_back(normalize(value));
    if (values == m_values)
      return false;
    bool wasEmpty = m_values.empty();
    m_values.swap(values);
    if (m_values.empty() && !wasEmpty && isClosed())
      notifyChange(DomainListener::EMPTIED);
    else
      notifyChange(DomainListener::RELAXED);
    return true;
  }

  bool EnumeratedDomain::intersects(const AbstractDomain& dom) const {
    if (m_values.empty() || dom.isEmpty() || isNumeric() != dom.isNumeric())
      return false;
    if (dom.isEnumerated()) {
      std::vector<double> buffer;
      const std::vector<double>& other = valuesOf(dom, buffer);
      std::size_t i = 0, j = 0;
      while (i < m_values.size() && j < other.size()) {
        if (compareEqual(m_values[i], other[j]))
          return true;
        if (m_values[i] < other[j])
          ++i;
        else
          ++j;
      }
      return false;
    }
    for (double value : m_values)
      if (dom.isMember(value))
        return true;
    return false;
  }

  bool EnumeratedDomain::isSubsetOf(const AbstractDomain& dom) const {
    if (m_values.empty())
      return true;
    if (isNumeric() != dom.isNumeric())
      return false;
    for (double value : m_values)
      if (!dom.isMember(value))
        return false;
    return true;
  }

  void EnumeratedDomain::narrowTo(std::vector<double>& kept) {
    if (kept.size() == m_values.size())
      return;
    DomainListener::ChangeType changeType = DomainListener::VALUE_REMOVED;
    if (isClosed()) {
      if (kept.empty())
        changeType = DomainListener::EMPTIED;
      else if (kept.size() == 1)
        changeType = DomainListener::RESTRICT_TO_SINGLETON;
      else {
        // Values of the old set between the new least and greatest value.
        std::vector<double>::const_iterator first =
            std::lower_bound(m_values.begin(), m_values.end(), kept.front());
        std::vector<double>::const_iterator last =
            std::upper_bound(m_values.begin(), m_values.end(), kept.back());
        bool lostInside = static_cast<std::size_t>(last - first) > kept.size();
        bool lostBottom = kept.front() != m_values.front();
        bool lostTop = kept.back() != m_values.back();
        if (lostInside)
          changeType = DomainListener::VALUE_REMOVED;
        else if (lostBottom && lostTop)
          changeType = DomainListener::BOUNDS_RESTRICTED;
        else if (lostBottom)
          changeType = DomainListener::LOWER_BOUND_INCREASED;
        else
          changeType = DomainListener::UPPER_BOUND_DECREASED;
      }
    }
    m_values.swap(kept);
    notifyChange(changeType);
  }

  void EnumeratedDomain::operator>>(std::ostream& os) const {
    AbstractDomain::operator>>(os);
    os << "{";
    for (std::size_t i = 0; i < m_values.size(); ++i) {
      if (i > 0)
        os << ", ";
      os << toString(m_values[i]);
    }
    os << "}";
  }

} // namespace KADRIX
