#ifndef KADRIX_UNIFY_MEMENTO_HH
#define KADRIX_UNIFY_MEMENTO_HH

#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/MergeMemento.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "PlanDatabase/base/StackMemento.hh"

namespace KADRIX {

  class UnifyMemento;
  typedef Id<UnifyMemento> UnifyMementoId;

  /**
   * The record of one merge, owned by the merged token. It holds the record of
   * one of two methods: the merge method (MergeMemento, the default) or the
   * stack method (StackMemento), chosen when it is built from the environment
   * variable KADRIX_USE_STACK_METHOD, read anew for every merge: exactly "1"
   * selects the stack method. Each record undoes with the method it was made
   * with.
   */
  class UnifyMemento {
  public:
    enum UnifyMethod { mergeMethod = 0, stackMethod = 1 };

    /** The value of the environment variable that selects the stack method. */
    static const char* const TRUE_VALUE;

    /** The method the environment selects now. */
    static UnifyMethod chosenMethod();
    /**
     * Runs the checks the record of the chosen method would run while being
     * built, changing nothing: a merge they refuse leaves both tokens as they were.
     */
    static void checkMerge(const TokenId& inactiveToken, const TokenId& activeToken);

    /** A record holding nothing. */
    UnifyMemento();
    /** Chooses the method and builds its record for merging inactiveToken onto activeToken. */
    UnifyMemento(const TokenId& inactiveToken, const TokenId& activeToken);
    /** Deletes the held record; nothing is undone. */
    virtual ~UnifyMemento() noexcept(false);

    UnifyMethod getMethod() const { return m_method; }
    const MergeMementoId& getMergeMemento() const { return m_mm; }
    const StackMementoId& getStackMemento() const { return m_sm; }

    void undo(bool activeTokenDeleted);
    void handleAdditionOfInactiveConstraint(const ConstraintId& constraint);
    void handleRemovalOfInactiveConstraint(const ConstraintId& constraint);

  private:
    UnifyMemento(const UnifyMemento&) = delete;
    UnifyMemento& operator=(const UnifyMemento&) = delete;

    UnifyMethod m_method;
    MergeMementoId m_mm;
    StackMementoId m_sm;
  };

}

#endif
