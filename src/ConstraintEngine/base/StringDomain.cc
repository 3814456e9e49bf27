#include "ConstraintEngine/base/StringDomain.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

const LabelStr& StringDomain::getDefaultTypeName() {
  static const LabelStr sl_name("STRING");
  return sl_name;
}

StringDomain::StringDomain() : EnumeratedDomain(false, getDefaultTypeName()) {}

StringDomain::StringDomain(const LabelStr& typeName) : EnumeratedDomain(false, typeName) {}

StringDomain::StringDomain(double value, const LabelStr& typeName) : EnumeratedDomain(value, false, typeName) {
  KADRIX_CHECK_MSG(LabelStr::isString(value),
                   "The value " << value << " of a " << typeName.toString() << " domain is not a label.");
}

StringDomain::StringDomain(const std::list<double>& values, const LabelStr& typeName)
  : EnumeratedDomain(values, false, typeName) {
  for (double value : m_values)
    KADRIX_CHECK_MSG(LabelStr::isString(value),
                     "The value " << value << " of a " << typeName.toString() << " domain is not a label.");
}

StringDomain::StringDomain(const StringDomain& org) : EnumeratedDomain(org) {}

StringDomain::~StringDomain() {}

StringDomain* StringDomain::copy() const {
  return new StringDomain(*this);
}

void StringDomain::insert(double value) {
  KADRIX_CHECK_MSG(LabelStr::isString(value),
                   "The value " << value << " of a " << getTypeName().toString() << " domain is not a label.");
  EnumeratedDomain::insert(value);
}

} // namespace KADRIX
