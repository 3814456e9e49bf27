#include "ConstraintEngine/component/Constraints.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"

#include <algorithm>
#include <typeinfo>

namespace KADRIX {

  namespace {

    // An enumerated domain is left alone until it closes.
    bool skipped(const AbstractDomain& dom) { return dom.isEnumerated() && dom.isOpen(); }

    /** Domain access through the virtual interface. */
    struct AnyDomain {
      static double lb(const AbstractDomain& dom) { return dom.getLowerBound(); }
      static double ub(const AbstractDomain& dom) { return dom.getUpperBound(); }
      static bool isEmpty(const AbstractDomain& dom) { return dom.isEmpty(); }
      static void intersect(AbstractDomain& dom, double lb, double ub) { dom.intersect(lb, ub); }
    };

    /** Direct access, for domains that are exactly one of the engine's intervals. */
    struct PlainInterval {
      static const IntervalDomain& of(const AbstractDomain& dom) {
        return static_cast<const IntervalDomain&>(dom);
      }
      static double lb(const AbstractDomain& dom) { return of(dom).IntervalDomain::getLowerBound(); }
      static double ub(const AbstractDomain& dom) { return of(dom).IntervalDomain::getUpperBound(); }
      static bool isEmpty(const AbstractDomain& dom) { return of(dom).IntervalDomain::isEmpty(); }
      static void intersect(AbstractDomain& dom, double lb, double ub) {
        static_cast<IntervalDomain&>(dom).IntervalDomain::intersect(lb, ub);
      }
    };

    /** Exactly an IntervalDomain or an IntervalIntDomain (never skipped, never open). */
    bool isPlainInterval(const AbstractDomain& dom) {
      const std::type_info& type = typeid(dom);
      return type == typeid(IntervalIntDomain) || type == typeid(IntervalDomain);
    }

    /** Narrow to [lb, ub]; true when a bound moved in. */
    template <class A> bool narrowWith(AbstractDomain& dom, double lb, double ub) {
      const double oldLb = A::lb(dom);
      const double oldUb = A::ub(dom);
      if (lb <= oldLb && ub >= oldUb)
        return false;
      A::intersect(dom, std::max(lb, oldLb), std::min(ub, oldUb));
      return A::isEmpty(dom) || A::lb(dom) != oldLb || A::ub(dom) != oldUb;
    }

    bool narrow(AbstractDomain& dom, double lb, double ub) { return narrowWith<AnyDomain>(dom, lb, ub); }

    template <class A> void precedes(AbstractDomain& x, AbstractDomain& y) {
      if (A::isEmpty(x) || A::isEmpty(y))
        return;
      narrowWith<A>(y, A::lb(x), plusInfinity());
      if (!A::isEmpty(y))
        narrowWith<A>(x, minusInfinity(), A::ub(y));
    }

    template <class A>
    void temporalDistance(AbstractDomain& start, AbstractDomain& duration, AbstractDomain& end) {
      // A pass rarely narrows after the second; the cap guards against endless
      // creeping of real bounds.
      for (int pass = 0; pass < 16; ++pass) {
        if (A::isEmpty(start) || A::isEmpty(duration) || A::isEmpty(end))
          return;
        bool changed = narrowWith<A>(end, lowerBoundSum(A::lb(start), A::lb(duration)),
                                     upperBoundSum(A::ub(start), A::ub(duration)));
        if (A::isEmpty(end))
          return;
        changed = narrowWith<A>(start, lowerBoundSum(A::lb(end), -A::ub(duration)),
                                upperBoundSum(A::ub(end), -A::lb(duration))) ||
                  changed;
        if (A::isEmpty(start))
          return;
        changed = narrowWith<A>(duration, lowerBoundSum(A::lb(end), -A::ub(start)),
                                upperBoundSum(A::ub(end), -A::lb(start))) ||
                  changed;
        if (!changed)
          return;
      }
    }

    /**
     * Both domains become the intersection of their bounds. An enumerated
     * domain cut to the other's bounds may lose its least or greatest value
     * there, which moves its own bound in: they narrow each other in turn
     * until neither moves.
     */
    void equalBounds(AbstractDomain& x, AbstractDomain& y) {
      narrow(x, y.getLowerBound(), y.getUpperBound());
      while (!x.isEmpty() && narrow(y, x.getLowerBound(), x.getUpperBound()) && !y.isEmpty() &&
             narrow(x, y.getLowerBound(), y.getUpperBound())) {
      }
    }

  }

  // ---------------------------------------------------------------- binary

  BinaryConstraint::BinaryConstraint(const LabelStr& name, const LabelStr& propagatorName,
                                     const ConstraintEngineId& constraintEngine,
                                     const std::vector<ConstrainedVariableId>& variables)
    : Constraint(name, propagatorName, constraintEngine, checkedScope(variables, 2, name.toString())),
      m_x(getCurrentDomain(variables[0])), m_y(getCurrentDomain(variables[1])) {}

  // ---------------------------------------------------------------- eq

  EqualConstraint::EqualConstraint(const LabelStr& name, const LabelStr& propagatorName,
                                   const ConstraintEngineId& constraintEngine,
                                   const std::vector<ConstrainedVariableId>& variables)
    : BinaryConstraint(name, propagatorName, constraintEngine, variables) {
    setLinearBounds(2, true);
  }

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

  PrecedesConstraint::PrecedesConstraint(const LabelStr& name, const LabelStr& propagatorName,
                                         const ConstraintEngineId& constraintEngine,
                                         const std::vector<ConstrainedVariableId>& variables)
    : BinaryConstraint(name, propagatorName, constraintEngine, variables) {
    setLinearBounds(2, false);
    setTemporalOrder(0, 1);
  }

  void PrecedesConstraint::handleExecute() {
    if (&m_x == &m_y)
      return;
    if (isPlainInterval(m_x) && isPlainInterval(m_y)) {
      precedes<PlainInterval>(m_x, m_y);
      return;
    }
    if (skipped(m_x) || skipped(m_y))
      return;
    precedes<AnyDomain>(m_x, m_y);
  }

  // ---------------------------------------------------------------- concurrent

  ConcurrentConstraint::ConcurrentConstraint(const LabelStr& name, const LabelStr& propagatorName,
                                             const ConstraintEngineId& constraintEngine,
                                             const std::vector<ConstrainedVariableId>& variables)
    : BinaryConstraint(name, propagatorName, constraintEngine, variables) {
    setLinearBounds(2, true);
  }

  void ConcurrentConstraint::handleExecute() {
    if (&m_x == &m_y || skipped(m_x) || skipped(m_y) || m_x.isEmpty() || m_y.isEmpty())
      return;
    equalBounds(m_x, m_y);
  }

  // ---------------------------------------------------------------- temporalDistance

  TemporalDistanceConstraint::TemporalDistanceConstraint(const LabelStr& name, const LabelStr& propagatorName,
                                                         const ConstraintEngineId& constraintEngine,
                                                         const std::vector<ConstrainedVariableId>& variables)
    : Constraint(name, propagatorName, constraintEngine, checkedScope(variables, 3, name.toString())),
      m_start(getCurrentDomain(variables[0])), m_duration(getCurrentDomain(variables[1])),
      m_end(getCurrentDomain(variables[2])) {
    setLinearBounds(4, true);
    setTemporalOrder(0, 2);
  }

  void TemporalDistanceConstraint::handleExecute() {
    if (isPlainInterval(m_start) && isPlainInterval(m_duration) && isPlainInterval(m_end)) {
      temporalDistance<PlainInterval>(m_start, m_duration, m_end);
      return;
    }
    if (skipped(m_start) || skipped(m_duration) || skipped(m_end))
      return;
    temporalDistance<AnyDomain>(m_start, m_duration, m_end);
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
    schema->registerConstraintFactory(new ConcreteConstraintFactory<TemporalDistanceConstraint>(
        LabelStr("temporalDistance"), propagator, true));
  }

}
