#ifndef KADRIX_STACK_MEMENTO_HH
#define KADRIX_STACK_MEMENTO_HH

#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

#include <vector>

namespace KADRIX {

  class StackMemento;
  typedef Id<StackMemento> StackMementoId;

  /**
   * The record of one merge by the stack method: every variable of the
   * stacked token but its state is tied to the active token's variable at the
   * same index by an "eq" constraint. Nothing is deactivated; propagation
   * keeps each pair equal both ways. undo() deletes the constraints.
   */
  class StackMemento {
  public:
    StackMemento(const TokenId& activeTokenToStack, const TokenId& activeToken);

    /** Runs the checks of building the record that can be run before it, changing nothing. */
    static void checkMerge(const TokenId& activeTokenToStack, const TokenId& activeToken);
    virtual ~StackMemento();

    /** Deletes the constraints; the argument is not needed. */
    void undo(bool activeTokenDeleted);
    void handleAdditionOfInactiveConstraint(const ConstraintId& constraint);
    void handleRemovalOfInactiveConstraint(const ConstraintId& constraint);

    /** The "eq" constraints, in variable index order from 1. */
    const std::vector<ConstraintId>& getStackConstraints() const { return m_stackConstraints; }

  private:
    StackMemento(const StackMemento&) = delete;
    StackMemento& operator=(const StackMemento&) = delete;

    const TokenId m_activeTokenToStack;
    const TokenId m_activeToken;
    std::vector<ConstraintId> m_stackConstraints;
  };

}

#endif
