#include "ConstraintEngine/base/LabelDomain.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  LabelDomain::LabelDomain(const LabelStr& typeName) : EnumeratedDomain(false, typeName) {}

  LabelDomain::LabelDomain(double value, const LabelStr& typeName)
    : EnumeratedDomain(value, false, typeName) {
    checkLabel(value, typeName);
  }

  LabelDomain::LabelDomain(const std::list<double>& values, const LabelStr& typeName)
    : EnumeratedDomain(values, false, typeName) {
    for (double value : m_values)
      checkLabel(value, typeName);
  }

  void LabelDomain::insert(double value) {
    checkLabel(value, getTypeName());
    EnumeratedDomain::insert(value);
  }

  void LabelDomain::checkLabel(double value, const LabelStr& typeName) const {
    KADRIX_CHECK_MSG(LabelStr::isString(value),
                     "The value " << value << " of a " << typeName.toString() << " domain is not a label.");
  }

} // namespace KADRIX
