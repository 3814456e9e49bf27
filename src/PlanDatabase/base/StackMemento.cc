#include "PlanDatabase/base/StackMemento.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  StackMemento::StackMemento(const TokenId& activeTokenToStack, const TokenId& activeToken)
    : m_activeTokenToStack(activeTokenToStack), m_activeToken(activeToken) {
    const std::vector<ConstrainedVariableId>& stackVariables = activeTokenToStack->getVariables();
    const std::vector<ConstrainedVariableId>& activeVariables = activeToken->getVariables();
    KADRIX_CHECK(stackVariables.size() == activeVariables.size());
    static const LabelStr sl_eq("eq");
    const ConstraintEngineId& engine = activeToken->getPlanDatabase()->getConstraintEngine();
    for (size_t i = 1; i < stackVariables.size(); ++i) {
      std::vector<ConstrainedVariableId> scope;
      scope.push_back(stackVariables[i]);
      scope.push_back(activeVariables[i]);
      const ConstraintId newConstraint = engine->createConstraint(sl_eq, scope);
      KADRIX_CHECK(newConstraint.isValid());
      newConstraint->setOwned();
      m_stackConstraints.push_back(newConstraint);
    }
  }

  void StackMemento::checkMerge(const TokenId& activeTokenToStack, const TokenId& activeToken) {
    const std::vector<ConstrainedVariableId>& stackVariables = activeTokenToStack->getVariables();
    const std::vector<ConstrainedVariableId>& activeVariables = activeToken->getVariables();
    KADRIX_CHECK(stackVariables.size() == activeVariables.size());
  }

  StackMemento::~StackMemento() {}

  void StackMemento::undo(bool /*activeTokenDeleted*/) {
    KADRIX_CHECK(!m_stackConstraints.empty());
    // Constraints over a discarded active token's variables went with them.
    for (size_t i = 0; i < m_stackConstraints.size(); ++i) {
      const ConstraintId& constraint = m_stackConstraints[i];
      if (constraint.isValid())
        delete static_cast<Constraint*>(constraint);
    }
    m_stackConstraints.clear();
  }

  void StackMemento::handleAdditionOfInactiveConstraint(const ConstraintId& /*constraint*/) {}

  void StackMemento::handleRemovalOfInactiveConstraint(const ConstraintId& /*constraint*/) {}

}
