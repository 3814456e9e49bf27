#ifndef KADRIX_HAS_ANCESTOR_CONSTRAINT_HH
#define KADRIX_HAS_ANCESTOR_CONSTRAINT_HH

#include "PlanDatabase/base/AncestorConstraint.hh"

#include <vector>

namespace KADRIX {

  /**
   * An object variable may hold only objects that have at least one proper
   * ancestor (parent, grand-parent, ...) in a second variable's domain (the
   * restrictions). Works once both domains are closed; only removes values
   * from the first variable.
   *
   * Scope: object variable, restrictions.
   */
  class HasAncestorConstraint : public AncestorConstraint {
  public:
    HasAncestorConstraint(const LabelStr& name, const LabelStr& propagatorName,
                          const ConstraintEngineId& constraintEngine,
                          const std::vector<ConstrainedVariableId>& variables);
    using AncestorConstraint::handleExecute;
    void handleExecute() override;

  private:
    bool waiting() const override;
    void apply();

    ObjectDomain& m_first;
    const ObjectDomain& m_restrictions;
  };

}

#endif
