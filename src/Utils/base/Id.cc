#include "Utils/base/Id.hh"

namespace KADRIX {

  const std::string& IdErr::IdMgrInvalidItemPtrError() {
    static const std::string* const s_label = new std::string("IdMgrInvalidItemPtrError");
    return *s_label;
  }

}
