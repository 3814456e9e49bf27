#include "ConstraintEngine/base/StringDomain.hh"

namespace KADRIX {

  const LabelStr& StringDomain::getDefaultTypeName() {
    static const LabelStr sl_name("STRING");
    return sl_name;
  }

} // namespace KADRIX
