#include "PlanDatabase/base/AncestorConstraint.hh"

#include "Utils/base/Debug.hh"

#include <string>

namespace KADRIX {

  namespace {
    /** The condition text of the scope-position check, built only when it fails. */
    std::string indexCondition(size_t arity) {
      return arity == 2   ? "argIndex <= 1"
             : arity == 3 ? "argIndex <= 2"
                          : "argIndex <= " + std::to_string(arity - 1);
    }
  }

  bool AncestorConstraint::canIgnore(const ConstrainedVariableId& /*variable*/, int argIndex,
                                     const DomainListener::ChangeType& /*changeType*/) {
    KADRIX_CHECK_TEXT(argIndex <= static_cast<int>(m_arity) - 1, indexCondition(m_arity), "");
    return waiting();
  }

}
