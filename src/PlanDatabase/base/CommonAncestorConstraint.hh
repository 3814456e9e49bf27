#ifndef KADRIX_COMMON_ANCESTOR_CONSTRAINT_HH
#define KADRIX_COMMON_ANCESTOR_CONSTRAINT_HH

#include "PlanDatabase/base/AncestorConstraint.hh"

#include <vector>

namespace KADRIX {

  /**
   * Two object variables must hold objects that share an ancestor lying in a
   * third variable's domain (the restrictions); every object counts as its own
   * ancestor. Works once the first or the second variable is a singleton, and
   * only removes values from the other one.
   *
   * Scope: first object variable, second object variable, restrictions.
   */
  class CommonAncestorConstraint : public AncestorConstraint {
  public:
    CommonAncestorConstraint(const LabelStr& name, const LabelStr& propagatorName,
                             const ConstraintEngineId& constraintEngine,
                             const std::vector<ConstrainedVariableId>& variables);
    using AncestorConstraint::handleExecute;
    void handleExecute() override;

  private:
    bool waiting() const override;
    /** Removes from other every object that shares no allowed ancestor with the singleton's object. */
    void apply(ObjectDomain& singleton, ObjectDomain& other);

    ObjectDomain& m_first;
    ObjectDomain& m_second;
    const ObjectDomain& m_restrictions;
  };

}

#endif
