#ifndef KADRIX_CONSTRAINTS_HH
#define KADRIX_CONSTRAINTS_HH

// The engine's named constraints: "eq", "precedes", "concurrent" and
// "temporalDistance". Each reaches its local fixpoint in one execution, skips
// enumerated domains while they are open, and has no effect on a variable
// paired with itself.

#include "ConstraintEngine/base/Constraint.hh"

namespace KADRIX {

  /**
   * The shape of the binary constraints: a scope of exactly two variables,
   * x and y, bound to their current domains for narrowing in place.
   */
  class BinaryConstraint : public Constraint {
  public:
    BinaryConstraint(const LabelStr& name, const LabelStr& propagatorName,
                     const ConstraintEngineId& constraintEngine,
                     const std::vector<ConstrainedVariableId>& variables);

  protected:
    AbstractDomain& m_x;
    AbstractDomain& m_y;
  };

  /** x = y over any two comparable domains: both become their intersection. Over intervals, x - y = 0 by bounds. */
  class EqualConstraint : public BinaryConstraint {
  public:
    EqualConstraint(const LabelStr& name, const LabelStr& propagatorName,
                    const ConstraintEngineId& constraintEngine,
                    const std::vector<ConstrainedVariableId>& variables);
    void handleExecute() override;
  };

  /** x <= y over numeric domains: x - y <= 0 by bounds. */
  class PrecedesConstraint : public BinaryConstraint {
  public:
    PrecedesConstraint(const LabelStr& name, const LabelStr& propagatorName,
                       const ConstraintEngineId& constraintEngine,
                       const std::vector<ConstrainedVariableId>& variables);
    void handleExecute() override;
  };

  /** x = y over two timepoints: the bounds of each are intersected with the other's (x - y = 0 by bounds). */
  class ConcurrentConstraint : public BinaryConstraint {
  public:
    ConcurrentConstraint(const LabelStr& name, const LabelStr& propagatorName,
                         const ConstraintEngineId& constraintEngine,
                         const std::vector<ConstrainedVariableId>& variables);
    void handleExecute() override;
  };

  /** start + duration = end, by bounds (start + duration - end = 0). */
  class TemporalDistanceConstraint : public Constraint {
  public:
    TemporalDistanceConstraint(const LabelStr& name, const LabelStr& propagatorName,
                               const ConstraintEngineId& constraintEngine,
                               const std::vector<ConstrainedVariableId>& variables);
    void handleExecute() override;

  private:
    AbstractDomain& m_start;
    AbstractDomain& m_duration;
    AbstractDomain& m_end;
  };

  /**
   * Register the four named constraints with a constraint schema, on the
   * propagator "Default" and flagged system-defined. Registering again
   * replaces the earlier factories.
   */
  void registerEngineConstraints(const Id<CESchema>& schema);

}

#endif
