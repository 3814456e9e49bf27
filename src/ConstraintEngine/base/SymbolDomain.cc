#include "ConstraintEngine/base/SymbolDomain.hh"

namespace KADRIX {

  const LabelStr& SymbolDomain::getDefaultTypeName() {
    static const LabelStr sl_name("SYMBOL");
    return sl_name;
  }

} // namespace KADRIX
