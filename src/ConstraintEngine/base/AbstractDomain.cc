#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/DomainComparator.hh"
#include "Utils/base/Debug.hh"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace KADRIX {

  AbstractDomain::AbstractDomain(bool closed, bool numeric, double minDelta, const LabelStr& typeName)
    : m_minDelta(minDelta), m_typeName(typeName), m_listenerPtr(nullptr), m_nextListened(nullptr),
      m_lostListener(false), m_closed(closed), m_numeric(numeric) {
    KADRIX_CHECK_MSG(minDelta > 0,
                     "The minimum difference of a domain must be positive, not " << minDelta << ".");
  }

  AbstractDomain::AbstractDomain(const AbstractDomain& org)
    : m_minDelta(org.m_minDelta), m_typeName(org.m_typeName), m_listenerPtr(nullptr), m_nextListened(nullptr),
      m_lostListener(false), m_closed(org.m_closed), m_numeric(org.m_numeric) {}

  AbstractDomain::~AbstractDomain() { detachListener(); }

  void AbstractDomain::setListener(const DomainListenerId& listener) {
    detachListener();
    m_lostListener = false;
    if (listener.isValid())
      attachListener(static_cast<DomainListener*>(listener));
    else
      m_lostListener = !listener.isNoId();
  }

  void AbstractDomain::attachListener(DomainListener* listener) {
    m_listenerPtr = listener;
    m_nextListened = listener->m_domains;
    listener->m_domains = this;
  }

  const DomainListenerId& AbstractDomain::getListener() const {
    return m_listenerPtr != nullptr ? m_listenerPtr->getId() : DomainListenerId::noId();
  }

  void AbstractDomain::detachListener() {
    if (m_listenerPtr == nullptr)
      return;
    AbstractDomain** link = &m_listenerPtr->m_domains;
    while (*link != this)
      link = &(*link)->m_nextListened;
    *link = m_nextListened;
    m_listenerPtr = nullptr;
    m_nextListened = nullptr;
  }

  void AbstractDomain::close() {
    if (m_closed)
      return;
    m_closed = true;
    notifyChange(isEmpty() ? DomainListener::EMPTIED : DomainListener::CLOSED);
  }

  void AbstractDomain::open() {
    if (!m_closed)
      return;
    m_closed = false;
    notifyChange(DomainListener::OPENED);
  }

  void AbstractDomain::insertAll(const std::vector<double>& values) {
    for (double value : values)
      insert(value);
  }

  bool AbstractDomain::operator==(const AbstractDomain& dom) const {
    if (this == &dom)
      return true;
    if (isEnumerated() != dom.isEnumerated())
      return isEmpty() && dom.isEmpty();
    if (isEnumerated())
      return isClosed() == dom.isClosed() && getSize() == dom.getSize() && isSubsetOf(dom);
    if (isEmpty() || dom.isEmpty())
      return isEmpty() && dom.isEmpty();
    return getLowerBound() == dom.getLowerBound() && getUpperBound() == dom.getUpperBound();
  }

  namespace {

    bool sameWord(const std::string& text, const char* word) {
      std::size_t i = 0;
      for (; i < text.size() && word[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i])
          return false;
      return i == text.size() && word[i] == '\0';
    }

    /** Reads a whole text as a number; the words inf, +inf, -inf, infinity in any case are the infinite bounds. */
    bool parseNumber(const std::string& text, double& result) {
      if (sameWord(text, "inf") || sameWord(text, "+inf") || sameWord(text, "infinity") ||
          sameWord(text, "+infinity")) {
        result = plusInfinity();
        return true;
      }
      if (sameWord(text, "-inf") || sameWord(text, "-infinity")) {
        result = minusInfinity();
        return true;
      }
      if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
      const char* begin = text.c_str();
      char* end = nullptr;
      errno = 0;
      double value = std::strtod(begin, &end);
      if (end == begin || *end != '\0' || std::isnan(value))
        return false;
      // Hexadecimal and other forms strtod knows are not ours.
      for (const char* p = begin; p != end; ++p)
        if (!std::isdigit(static_cast<unsigned char>(*p)) && *p != '+' && *p != '-' && *p != '.' &&
            *p != 'e' && *p != 'E')
          return false;
      result = clampToInfinity(value);
      return true;
    }

  } // namespace

  bool AbstractDomain::convertToMemberValue(const std::string& strValue, double& dblValue) const {
    double value;
    if (isNumeric()) {
      if (!parseNumber(strValue, value))
        return false;
    } else
      value = LabelStr(strValue).getKey();
    if (!isMember(value))
      return false;
    dblValue = value;
    return true;
  }

  std::string AbstractDomain::toString() const {
    std::ostringstream os;
    operator>>(os);
    return os.str();
  }

  std::string AbstractDomain::toString(double value) const {
    if (isNumeric())
      return numberText(value);
    if (LabelStr::isString(value))
      return LabelStr(value).toString();
    std::ostringstream os;
    os << std::fixed << std::setprecision(0) << value;
    return os.str();
  }

  void AbstractDomain::operator>>(std::ostream& os) const {
    os << m_typeName.toString() << (m_closed ? ":CLOSED" : ":OPEN");
  }

  bool AbstractDomain::canBeCompared(const AbstractDomain& domx, const AbstractDomain& domy) {
    const DomainComparator* comparator = DomainComparator::getComparator();
    if (comparator != nullptr)
      return comparator->canCompare(domx, domy);
    return DomainComparator::defaultRule(domx, domy);
  }

  void AbstractDomain::notifyLostListener(DomainListener::ChangeType /*changeType*/) {
    KADRIX_CHECK_TEXT(!m_lostListener, "m_listener.isValid()",
                      "The listener of " << toString() << " is gone.");
  }

  std::string AbstractDomain::numberText(double value) {
    if (std::isnan(value))
      return "nan";
    if (value >= plusInfinity())
      return "+inf";
    if (value <= minusInfinity())
      return "-inf";
    std::ostringstream os;
    if (value == std::floor(value))
      os << std::fixed << std::setprecision(0) << value;
    else
      os << std::setprecision(15) << value;
    return os.str();
  }

  std::ostream& operator<<(std::ostream& os, const AbstractDomain& dom) {
    dom >> os;
    return os;
  }

} // namespace KADRIX
