#include "Utils/base/Module.hh"

namespace KADRIX {

  Module::Module(const std::string& name) : m_id(this), m_name(name) {}

  Module::~Module() noexcept(false) {
    if (m_id.isValid())
      m_id.remove();
  }

} // namespace KADRIX
