#include "ConstraintEngine/base/TypeFactory.hh"

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

#include "ConstraintEngine/component/Variable.hh"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace KADRIX {

  namespace {

    std::string lowerCase(const std::string& text) {
      std::string result(text);
      for (std::string::size_type i = 0; i < result.size(); ++i)
        result[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(result[i])));
      return result;
    }

    /** Whether the text is a decimal number: sign, digits, fraction, exponent; nothing else. */
    bool isDecimalText(const std::string& text) {
      std::string::size_type i = 0;
      const std::string::size_type n = text.size();
      if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
      std::string::size_type digits = 0;
      while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
        ++i;
        ++digits;
      }
      if (i < n && text[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
          ++i;
          ++digits;
        }
      }
      if (digits == 0)
        return false;
      if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
          ++i;
        std::string::size_type expDigits = 0;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
          ++i;
          ++expDigits;
        }
        if (expDigits == 0)
          return false;
      }
      return i == n;
    }

    /**
 * Reads a number, the infinity words included; clamps to the infinite bounds.
 * Returns false when the text is no number.
 */
    bool readNumber(const std::string& text, double& value) {
      const double inf = g_infiniteTime();
      const std::string word = lowerCase(text);
      if (word == "inf" || word == "+inf" || word == "infinity" || word == "+infinity") {
        value = inf;
        return true;
      }
      if (word == "-inf" || word == "-infinity") {
        value = -inf;
        return true;
      }
      if (!isDecimalText(text))
        return false;
      value = std::strtod(text.c_str(), 0); // overflow gives +-HUGE_VAL, clamped below
      if (value >= inf)
        value = inf;
      else if (value <= -inf)
        value = -inf;
      return true;
    }

  } // namespace

  TypeFactory::TypeFactory(const LabelStr& typeName) : m_id(this), m_typeName(typeName) {}

  TypeFactory::~TypeFactory() noexcept(false) {
    if (m_id.isValid())
      m_id.remove();
  }

  double TypeFactory::readValue(const AbstractDomain& domain, const LabelStr& typeName,
                                const std::string& text) {
    double value = 0;
    if (domain.isBool()) {
      const bool isTrue = (text == "true" || text == "TRUE" || text == "1");
      const bool isFalse = (text == "false" || text == "FALSE" || text == "0");
      KADRIX_CHECK_MSG(isTrue || isFalse,
                       "Cannot read '" << text << "' as a value of type " << typeName.toString() << ".");
      value = isTrue ? 1 : 0;
    } else if (domain.isEntity()) {
      const bool found = domain.convertToMemberValue(text, value);
      KADRIX_CHECK_MSG(found, text << " is not a value of " << typeName.toString());
      return value;
    } else if (domain.isNumeric()) {
      const bool isNumber = readNumber(text, value);
      KADRIX_CHECK_MSG(isNumber,
                       "Cannot read '" << text << "' as a value of type " << typeName.toString() << ".");
      if (!isNumber)
        return 0;
      const bool integral = domain.minDelta() < 1 || value == std::floor(value);
      KADRIX_CHECK_MSG(integral, "'" << text << "' is not an integer, as values of type "
                                     << typeName.toString() << " must be.");
      // "-0" is zero: a bound read from it prints, and is written back, as "0".
      if (value == 0)
        value = 0;
    } else
      value = LabelStr(text).getKey();

    if (!domain.isOpen())
      KADRIX_CHECK_MSG(domain.isMember(value), text << " is not a value of " << typeName.toString());
    return value;
  }

  Id<ConstrainedVariable> TypeFactory::createVariable(const Id<ConstraintEngine>& engine,
                                                      const AbstractDomain& baseDomain, bool internal,
                                                      bool canBeSpecified, const LabelStr& name,
                                                      const Id<Entity>& parent, int index) const {
    return createGenericVariable(engine, baseDomain, internal, canBeSpecified, name, parent, index);
  }

  Id<ConstrainedVariable> TypeFactory::createGenericVariable(const Id<ConstraintEngine>& engine,
                                                             const AbstractDomain& baseDomain, bool internal,
                                                             bool canBeSpecified, const LabelStr& name,
                                                             const Id<Entity>& parent, int index) {
    ConstrainedVariable* variable;
    if (baseDomain.isEnumerated())
      variable =
          new Variable<EnumeratedDomain>(engine, baseDomain, internal, canBeSpecified, name, parent, index);
    else
      variable =
          new Variable<IntervalDomain>(engine, baseDomain, internal, canBeSpecified, name, parent, index);
    return variable->getId();
  }

  EnumeratedTypeFactory::EnumeratedTypeFactory(const LabelStr& typeName, const LabelStr& elementTypeName,
                                               const AbstractDomain& baseDomain)
    : TypeFactory(typeName), m_elementTypeName(elementTypeName), m_baseDomain(baseDomain.copy()) {}

  EnumeratedTypeFactory::~EnumeratedTypeFactory() noexcept(false) { delete m_baseDomain; }

  const AbstractDomain& EnumeratedTypeFactory::baseDomain() const { return *m_baseDomain; }

  double EnumeratedTypeFactory::createValue(const std::string& text) const {
    return readValue(*m_baseDomain, m_typeName, text);
  }

  IntervalTypeFactory::IntervalTypeFactory(const LabelStr& typeName, const AbstractDomain& baseDomain)
    : TypeFactory(typeName), m_baseDomain(baseDomain.copy()) {}

  IntervalTypeFactory::~IntervalTypeFactory() noexcept(false) { delete m_baseDomain; }

  const AbstractDomain& IntervalTypeFactory::baseDomain() const { return *m_baseDomain; }

  double IntervalTypeFactory::createValue(const std::string& text) const {
    return readValue(*m_baseDomain, m_typeName, text);
  }

} // namespace KADRIX
