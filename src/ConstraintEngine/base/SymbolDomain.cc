#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

const LabelStr& SymbolDomain::getDefaultTypeName() {
  static const LabelStr sl_name("SYMBOL");
  return sl_name;
}

SymbolDomain::SymbolDomain() : EnumeratedDomain(false, getDefaultTypeName()) {}

SymbolDomain::SymbolDomain(const LabelStr& typeName) : EnumeratedDomain(false, typeName) {}

SymbolDomain::SymbolDomain(const std::list<double>& values, const LabelStr& typeName)
  : EnumeratedDomain(values, false, typeName) {
  for (double value : m_values)
    KADRIX_CHECK_MSG(LabelStr::isString(value),
                     "The value " << value << " of a " << typeName.toString() << " domain is not a label.");
}

SymbolDomain::SymbolDomain(const SymbolDomain& org) : EnumeratedDomain(org) {}

SymbolDomain::~SymbolDomain() {}

SymbolDomain* SymbolDomain::copy() const {
  return new SymbolDomain(*this);
}

void SymbolDomain::insert(double value) {
  KADRIX_CHECK_MSG(LabelStr::isString(value),
                   "The value " << value << " of a " << getTypeName().toString() << " domain is not a label.");
  EnumeratedDomain::insert(value);
}

} // namespace KADRIX
