#include "PlanDatabase/base/AncestorConstraint.hh"

#include "Utils/base/Debug.hh"

#include <string>

namespace KADRIX {

  bool AncestorConstraint::canIgnore(const ConstrainedVariableId& /*variable*/, int argIndex,
                                     const DomainListener::ChangeType& /*changeType*/) {
    KADRIX_CHECK_TEXT(argIndex <= static_cast<int>(m_arity) - 1, "argIndex <= " + std::to_string(m_arity - 1),
                      "");
    return waiting();
  }

}
