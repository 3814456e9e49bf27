#ifndef KADRIX_ANCESTOR_CONSTRAINT_HH
#define KADRIX_ANCESTOR_CONSTRAINT_HH

#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/ObjectDomain.hh"

#include <vector>

namespace KADRIX {

  /**
   * What the constraints over the ancestry of objects share: a scope of
   * object variables of fixed size, checked before the base is built; a
   * report is ignored while the constraint waits (waiting()), and otherwise
   * runs a whole execution (the default of Constraint).
   */
  class AncestorConstraint : public Constraint {
  public:
    using Constraint::handleExecute;

    /** Fails "argIndex <= <last scope position>" for a position outside the scope. */
    bool canIgnore(const ConstrainedVariableId& variable, int argIndex,
                   const DomainListener::ChangeType& changeType) override;

  protected:
    AncestorConstraint(const LabelStr& name, const LabelStr& propagatorName,
                       const ConstraintEngineId& constraintEngine,
                       const std::vector<ConstrainedVariableId>& variables, size_t arity)
      : Constraint(name, propagatorName, constraintEngine, checkedScope(variables, arity)), m_arity(arity) {}

    /** Whether the domains are not yet such that an execution can narrow anything. */
    virtual bool waiting() const = 0;

    /** The current domain of the scope variable at index, as a domain of objects. */
    ObjectDomain& objectsAt(size_t index) { return asObjectDomain(getCurrentDomain(getScope()[index])); }

  private:
    const size_t m_arity;
  };

}

#endif
