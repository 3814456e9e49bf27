#ifndef KADRIX_MERGE_MEMENTO_HH
#define KADRIX_MERGE_MEMENTO_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

#include <map>
#include <vector>

namespace KADRIX {

  class MergeMemento;
  typedef Id<MergeMemento> MergeMementoId;

  /**
   * The record of one merge by the merge method. Building it moves the merged
   * (inactive) token's restrictions onto the active token: each active variable
   * takes in the base domain and any specified value of the merged variable at
   * the same index, the merged token's variables other than its state are
   * deactivated, and every constraint on them that is not one of the merged
   * token's standard constraints is created again over the active token's
   * variables. While the token stays merged, constraints added to or removed
   * from its variables are followed. undo() takes all of it back.
   *
   * The record owns the constraints it created and nothing else; deleting it
   * discards nothing.
   */
  class MergeMemento {
  public:
    MergeMemento(const TokenId& inactiveToken, const TokenId& activeToken);

    /**
     * Runs the checks that building the record for merging inactiveToken onto
     * activeToken would fail, with the same condition texts and messages, and
     * changes nothing. A merge calls it before it touches either token.
     */
    static void checkMerge(const TokenId& inactiveToken, const TokenId& activeToken);
    /** A specified variable of the merged token holds its value alone, or nothing in an inconsistent network. */
    static void checkSpecified(const ConstrainedVariableId& var);
    /** The merged variable's base domain must meet the active token's and those already merged onto it. */
    static void checkBaseDomains(const ConstrainedVariableId& var, const TokenId& activeToken, size_t index);
    virtual ~MergeMemento();

    /** Takes the merge back; activeTokenDeleted when the split discarded the active token. */
    void undo(bool activeTokenDeleted);
    /** A constraint was added to a variable of the merged token: re-state it. */
    void handleAdditionOfInactiveConstraint(const ConstraintId& constraint);
    /** A constraint was removed from a variable of the merged token: discard what stood for it. */
    void handleRemovalOfInactiveConstraint(const ConstraintId& constraint);
    /** Re-states one constraint over the active token's variables and records the pair. */
    void migrateConstraint(const ConstraintId& constraint);

    /** The constraints handled, in the order handled. */
    const std::vector<ConstraintId>& getDeactivatedConstraints() const { return m_deactivatedConstraints; }
    /** At the same positions: the constraint created for each, or the null handle. */
    const std::vector<ConstraintId>& getNewConstraints() const { return m_newConstraints; }

    /** True while a record creates a re-stated constraint. */
    static bool isRestating();

  private:
    MergeMemento(const MergeMemento&) = delete;
    MergeMemento& operator=(const MergeMemento&) = delete;

    const TokenId m_inactiveToken;
    const TokenId m_activeToken;
    std::vector<ConstraintId> m_deactivatedConstraints;
    std::vector<ConstraintId> m_newConstraints;
    bool m_undoing;
  };

  /** The variable lookup maps var's numeric handle to, or var itself. */
  ConstrainedVariableId checkForReplacement(const std::map<double, ConstrainedVariableId>& lookup,
                                            const ConstrainedVariableId& var);

}

#endif
