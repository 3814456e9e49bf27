#include "ConstraintEngine/component/Constraints.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"

#include <algorithm>

namespace KADRIX {

  namespace {

    const ConstrainedVariableId& argument(const std::vector<ConstrainedVariableId>& variables,
                                          size_t index, size_t arity, const LabelStr& name) {
      KADRIX_CHECK_MSG(variables.size() == arity,
                       "Constraint " << name.toString() << " takes " << arity << " variables, not "
                       << variables.size() << ".");
      return variables[index];
    }

    // An enumerated domain is left alone until it closes.
    bool skipped(const AbstractDomain& dom) {
      return dom.isEnumerated() && dom.isOpen();
    }

    /** Narrow to [lb, ub]; true when a bound moved in. */
    bool narrow(AbstractDomain& dom, double lb, double ub) {
      const double oldLb = dom.getLowerBound();
      const double oldUb = dom.getUpperBound();
      if (lb <= oldLb && ub >= oldUb)
        return false;
      dom.intersect(std::max(lb, oldLb), std::min(ub, oldUb));
      return dom.isEmpty() || dom.getLowerBound() != oldLb || dom.getUpperBound() != oldUb;
    }

    /** Both domains become the intersection of their bounds. */
    void equalBounds(AbstractDomain& x, AbstractDomain& y) {
      narrow(x, y.getLowerBound(), y.getUpperBound());
      if (!x.isEmpty())
        narrow(y, x.getLowerBound(), x.getUpperBound());
    }

  }

  // ---------------------------------------------------------------- eq

  EqualConstraint::EqualConstraint(const LabelStr& name,
                                   const LabelStr& propagatorName,
                                   const ConstraintEngineId& constraintEngine,
                                   const std::vector<ConstrainedVariableId>& variables)
    : Constraint(name, propagatorName, constraintEngine, variables),
      m_x(getCurrentDomain(argument(variables, 0, 2, name))),
      m_y(getCurrentDomain(argument(variables, 1, 2, name))) {}

  void EqualConstraint::handleExecute() {
    if (&m_x == &m_y || skipped(m_x) || skipped(m_y) || m_x.isEmpty() || m_y.isEmpty())
      return;
    if (m_x.isEnumerated() && m_y.isEnumerated()) {
      m_x.intersect(m_y);
      if (!m_x.isEmpty())
        m_y.intersect(m_x);
      return;
    }
    if (m_x.isEnumerated() || m_y.isEnumerated()) {
      // Values outside the interval go, then the interval shrinks to the values.
      AbstractDomain& values = m_x.isEnumerated() ? m_x : m_y;
      AbstractDomain& interval = m_x.isEnumerated() ? m_y : m_x;
      narrow(values, interval.getLowerBound(), interval.getUpperBound());
      if (!values.isEmpty())
        narrow(interval, values.getLowerBound(), values.getUpperBound());
      return;
    }
    equalBounds(m_x, m_y);
  }

  // ---------------------------------------------------------------- precedes

  PrecedesConstraint::PrecedesConstraint(const LabelStr& name,
                                         const LabelStr& propagatorName,
                                         const ConstraintEngineId& constraintEngine,
                                         const std::vector<ConstrainedVariableId>& variables)
    : Constraint(name, propagatorName, constraintEngine, variables),
      m_x(getCurrentDomain(argument(variables, 0, 2, name))),
      m_y(getCurrentDomain(argument(variables, 1, 2, name))) {}

  void PrecedesConstraint::handleExecute() {
    if (&m_x == &m_y || skipped(m_x) || skipped(m_y) || m_x.isEmpty() || m_y.isEmpty())
      return;
    narrow(m_y, m_x.getLowerBound(), plusInfinity());
    if (!m_y.isEmpty())
      narrow(m_x, minusInfinity(), m_y.getUpperBound());
  }

  // ---------------------------------------------------------------- concurrent

  ConcurrentConstraint::ConcurrentConstraint(const LabelStr& name,
                                             const LabelStr& propagatorName,
                                             const ConstraintEngineId& constraintEngine,
                                             const std::vector<ConstrainedVariableId>& variables)
    : Constraint(name, propagatorName, constraintEngine, variables),
      m_x(getCurrentDomain(argument(variables, 0, 2, name))),
      m_y(getCurrentDomain(argument(variables, 1, 2, name))) {}

  void ConcurrentConstraint::handleExecute() {
    if (&m_x == &m_y || skipped(m_x) || skipped(m_y) || m_x.isEmpty() || m_y.isEmpty())
      return;
    equalBounds(m_x, m_y);
  }

  // ---------------------------------------------------------------- temporalDistance

  TemporalDistanceConstraint::TemporalDistanceConstraint(const LabelStr& name,
                                                         const LabelStr& propagatorName,
                                                         const ConstraintEngineId& constraintEngine,
                                                         const std::vector<ConstrainedVariableId>& variables)
    : Constraint(name, propagatorName, constraintEngine, variables),
      m_start(getCurrentDomain(argument(variables, 0, 3, name))),
      m_duration(getCurrentDomain(argument(variables, 1, 3, name))),
      m_end(getCurrentDomain(argument(variables, 2, 3, name))) {}

  void TemporalDistanceConstraint::handleExecute() {
    if (skipped(m_start) || skipped(m_duration) || skipped(m_end))
      return;
    // A pass rarely narrows after the second; the cap guards against endless
    // creeping of real bounds.
    for (int pass = 0; pass < 16; ++pass) {
      if (m_start.isEmpty() || m_duration.isEmpty() || m_end.isEmpty())
        return;
      bool changed = narrow(m_end,
                            lowerBoundSum(m_start.getLowerBound(), m_duration.getLowerBound()),
                            upperBoundSum(m_start.getUpperBound(), m_duration.getUpperBound()));
      if (m_end.isEmpty())
        return;
      changed = narrow(m_start,
                       lowerBoundSum(m_end.getLowerBound(), -m_duration.getUpperBound()),
                       upperBoundSum(m_end.getUpperBound(), -m_duration.getLowerBound())) || changed;
      if (m_start.isEmpty())
        return;
      changed = narrow(m_duration,
                       lowerBoundSum(m_end.getLowerBound(), -m_start.getUpperBound()),
                       upperBoundSum(m_end.getUpperBound(), -m_start.getLowerBound())) || changed;
      if (!changed)
        return;
    }
  }

  // ---------------------------------------------------------------- registration

  void registerEngineConstraints(const Id<CESchema>& schema) {
    const LabelStr propagator("Default");
    schema->registerConstraintFactory(
      new ConcreteConstraintFactory<EqualConstraint>(LabelStr("eq"), propagator, true));
    schema->registerConstraintFactory(
      new ConcreteConstraintFactory<PrecedesConstraint>(LabelStr("precedes"), propagator, true));
    schema->registerConstraintFactory(
      new ConcreteConstraintFactory<ConcurrentConstraint>(LabelStr("concurrent"), propagator, true));
    schema->registerConstraintFactory(
      new ConcreteConstraintFactory<TemporalDistanceConstraint>(LabelStr("temporalDistance"), propagator, true));
  }

}
