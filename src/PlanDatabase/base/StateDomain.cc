#include "PlanDatabase/base/StateDomain.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <list>
#include <string>
#include <vector>

namespace KADRIX {

  const LabelStr& StateDomain::getDefaultTypeName() {
    static const LabelStr sl_typeName("TokenStates");
    return sl_typeName;
  }

  StateDomain::StateDomain(const char* /*name*/) : EnumeratedDomain(false, getDefaultTypeName()) {}

  StateDomain::StateDomain(const AbstractDomain& org) : EnumeratedDomain(org) {
    KADRIX_CHECK_MSG(
        org.getTypeName().toString() == "TokenStates",
        "Attempted to construct a StateDomain with invalid type " << org.getTypeName().toString());
  }

  StateDomain::StateDomain(const StateDomain& org) : EnumeratedDomain(org) {}

  StateDomain::~StateDomain() {}

  StateDomain* StateDomain::copy() const { return new StateDomain(*this); }

  void StateDomain::operator>>(std::ostream& os) const {
    AbstractDomain::operator>>(os);
    std::vector<std::string> names;
    names.reserve(m_values.size());
    for (double value : m_values)
      names.push_back(LabelStr(value).toString());
    std::sort(names.begin(), names.end());
    os << "{";
    for (size_t i = 0; i < names.size(); ++i) {
      if (i > 0)
        os << ",";
      os << names[i];
    }
    os << "}";
  }

}
