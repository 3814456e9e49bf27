// Randomised check of incremental propagation and relaxation: after every
// successful propagation, each derived domain must equal what propagating the
// same network from scratch, in a fresh engine, gives.

#include "../base/EngineFixture.hh"

#include "ConstraintEngine/base/ConstraintFactory.hh"

#include <cmath>
#include <random>
#include <sstream>

namespace KADRIX {
  namespace TestModel {

    namespace {

      const char* const NAMES[] = {"eq", "precedes", "concurrent", "temporalDistance", "step"};

      /**
       * y at or above x's lower bound rounded up to a multiple of 10: monotone
       * and idempotent, but y's bound moves in jumps, whatever moved x's, and
       * the constraint states no support for it.
       */
      class StepConstraint : public Constraint {
      public:
        StepConstraint(const LabelStr& name, const LabelStr& propagatorName, const ConstraintEngineId& ce,
                       const std::vector<ConstrainedVariableId>& variables)
          : Constraint(name, propagatorName, ce, checkedScope(variables, 2)),
            m_x(getCurrentDomain(variables[0])), m_y(getCurrentDomain(variables[1])) {}

        void handleExecute() override {
          if (m_x.isOpen() || m_y.isOpen() || m_x.isEmpty() || m_y.isEmpty() ||
              isInfinite(m_x.getLowerBound()))
            return;
          const double jump = 10 * std::ceil(m_x.getLowerBound() / 10);
          if (m_y.getLowerBound() < jump)
            m_y.intersect(jump, plusInfinity());
        }

      private:
        AbstractDomain& m_x;
        AbstractDomain& m_y;
      };

      struct ModelVariable {
        ConstrainedVariableId id;
        double lb, ub; // base domain of an integer interval
        std::list<double> values; // base domain of an enumerated variable (none for intervals)
        bool specified = false;
        double value = 0;
        bool deactivated = false;
      };

      struct ModelConstraint {
        ConstraintId id;
        int kind;
        std::vector<int> scope;
        bool deactivated = false;
      };

      class Oracle {
      public:
        Oracle(const CESchemaId& schema, unsigned int seed)
          : m_schema(schema), m_rng(seed), m_engine(new ConstraintEngine(schema)) {}

        ~Oracle() { delete m_engine; }

        int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
        int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

        void addVariable() {
          const double lb = between(-30, 10);
          addVariable(lb, lb + between(0, 50));
        }

        void addVariable(double lb, double ub) {
          ModelVariable v;
          v.lb = lb;
          v.ub = ub;
          v.id = makeVariable(*m_engine, v, "v" + std::to_string(m_vars.size()));
          m_vars.push_back(v);
        }

        /** A closed enumerated variable of a few values. */
        void addEnumeratedVariable() {
          ModelVariable v;
          for (int i = between(2, 5); i > 0; --i)
            v.values.push_back(between(-30, 60));
          v.values.sort();
          v.values.unique();
          v.lb = v.values.front();
          v.ub = v.values.back();
          v.id = makeVariable(*m_engine, v, "v" + std::to_string(m_vars.size()));
          m_vars.push_back(v);
        }

        /** Timepoint triples (start, duration, end) in sequence, as tokens on a timeline. */
        void addChain(int triples) {
          for (int i = 0; i < triples; ++i) {
            const int s = static_cast<int>(m_vars.size());
            addVariable(0, 400);
            addVariable(1, 10);
            addVariable(0, 400);
            constrain(3, {s, s + 1, s + 2});
            if (i > 0)
              constrain(1, {s - 1, s});
          }
        }

        void constrain(int kind, const std::vector<int>& scope) {
          ModelConstraint c;
          c.kind = kind;
          c.scope = scope;
          c.id = m_engine->createConstraint(LabelStr(NAMES[c.kind]), scopeOf(m_vars, c));
          m_constraints.push_back(c);
        }

        void addConstraint() {
          if (forwardOnly) {
            // A later timepoint after an earlier one: no positive cycles.
            int a = pick(static_cast<int>(m_vars.size())), b = pick(static_cast<int>(m_vars.size()));
            if (a % 3 == 1 || b % 3 == 1 || a == b)
              return;
            constrain(1, {std::min(a, b), std::max(a, b)});
            return;
          }
          const int kind = pick(kinds);
          std::vector<int> scope;
          // Distinct variables for temporalDistance; the binary ones may pair a variable with itself.
          while (static_cast<int>(scope.size()) < (kind == 3 ? 3 : 2)) {
            const int v = pick(static_cast<int>(m_vars.size()));
            if (kind != 3 || std::find(scope.begin(), scope.end(), v) == scope.end())
              scope.push_back(v);
          }
          constrain(kind, scope);
        }

        /** One random operation; returns its description. */
        std::string step() {
          std::ostringstream os;
          int op = pick(9);
          ModelVariable* chosen = &m_vars[pick(static_cast<int>(m_vars.size()))];
          if (backOut && ce().provenInconsistent() && pick(2) == 0)
            op = pick(2) == 0 ? 5 : 6; // remove or (de)activate a constraint
          else if (forwardOnly && ce().provenInconsistent()) {
            // Back out: reset a specified variable.
            std::vector<ModelVariable*> specified;
            for (ModelVariable& m : m_vars)
              if (m.specified)
                specified.push_back(&m);
            if (!specified.empty()) {
              op = 2;
              chosen = specified[pick(static_cast<int>(specified.size()))];
            }
          }
          ModelVariable& v = *chosen;
          if (!v.values.empty() && op == 3)
            op = 8; // base domains of enumerated variables stay as they are
          switch (op) {
            case 0:
            case 1: {
              // Mostly a value propagation left possible, so that runs stay consistent.
              double lo, hi;
              likely(v, lo, hi);
              double value = between(static_cast<int>(lo), static_cast<int>(hi));
              if (!v.values.empty())
                value = memberNear(v, value);
              os << "specify " << v.id->getName().toString() << " " << value;
              v.id->specify(value);
              v.specified = true;
              v.value = value;
              break;
            }
            case 2:
              os << "reset " << v.id->getName().toString();
              v.id->reset();
              v.specified = false;
              break;
            case 3: {
              // Keep the base non-empty and holding the specified value; mostly
              // within what propagation left possible.
              double from, to;
              likely(v, from, to);
              double lo = between(static_cast<int>(from), static_cast<int>(to));
              double hi = between(static_cast<int>(lo), static_cast<int>(to));
              if (v.specified) {
                lo = std::min(lo, v.value);
                hi = std::max(hi, v.value);
              }
              os << "restrict " << v.id->getName().toString() << " [" << lo << ", " << hi << "]";
              v.id->restrictBaseDomain(IntervalIntDomain(lo, hi));
              v.lb = std::max(v.lb, lo);
              v.ub = std::min(v.ub, hi);
              break;
            }
            case 4:
              if (m_constraints.size() < m_maxConstraints) {
                addConstraint();
                os << "add " << m_constraints.size();
              }
              break;
            case 5:
              if (!m_constraints.empty()) {
                const int i = pick(static_cast<int>(m_constraints.size()));
                os << "remove " << NAMES[m_constraints[i].kind];
                if (pick(2) == 0)
                  m_engine->deleteConstraint(m_constraints[i].id);
                else
                  delete static_cast<Constraint*>(m_constraints[i].id);
                m_constraints.erase(m_constraints.begin() + i);
              }
              break;
            case 6:
              if (!m_constraints.empty()) {
                ModelConstraint& c = m_constraints[pick(static_cast<int>(m_constraints.size()))];
                os << NAMES[c.kind] << " ";
                toggle(c, os);
              }
              break;
            case 7:
              os << v.id->getName().toString() << " ";
              toggle(v, os);
              break;
            default:
              os << "nothing";
              break;
          }
          return os.str();
        }

        ConstraintEngine& ce() { return *m_engine; }

        size_t m_maxConstraints = 14;
        int kinds = 4; // constraint kinds addConstraint() picks from NAMES
        bool forwardOnly = false;
        bool backOut = false; // while inconsistent, mostly take a constraint away
        unsigned int consistentChecks = 0;

        /**
       * Propagate and compare with a fresh engine; returns a failure text or "".
       * Stepwise, the fresh engine propagates after every constraint, so that
       * its agenda stays short.
       */
        std::string check(bool stepwise = false) {
          const bool consistent = m_engine->propagate();
          ConstraintEngine fresh(m_schema);
          std::vector<ModelVariable> copies = m_vars;
          for (size_t i = 0; i < copies.size(); ++i) {
            copies[i].id = makeVariable(fresh, m_vars[i], "f" + std::to_string(i));
            if (m_vars[i].specified)
              copies[i].id->specify(m_vars[i].value);
          }
          for (const ModelConstraint& c : m_constraints) {
            bool active = !c.deactivated;
            for (int v : c.scope)
              active = active && !m_vars[v].deactivated;
            if (active)
              fresh.createConstraint(LabelStr(NAMES[c.kind]), scopeOf(copies, c));
            if (stepwise)
              fresh.propagate();
          }
          const bool expected = fresh.propagate();
          std::ostringstream os;
          if (consistent != expected) {
            os << "propagate() gave " << consistent << ", from scratch " << expected;
            return os.str();
          }
          if (!consistent)
            return "";
          ++consistentChecks;
          if (!m_engine->constraintConsistent())
            return "consistent propagation left work pending";
          int mismatches = 0;
          for (size_t i = 0; i < m_vars.size(); ++i) {
            const AbstractDomain& got = m_vars[i].id->lastDomain();
            const AbstractDomain& want = copies[i].id->lastDomain();
            const bool differ = got.getLowerBound() != want.getLowerBound() ||
                                got.getUpperBound() != want.getUpperBound() ||
                                (!m_vars[i].values.empty() && got != want);
            if (differ && ++mismatches <= 4)
              os << "v" << i << " is " << got.toString() << ", from scratch " << want.toString() << "; ";
          }
          return os.str();
        }

      private:
        /** The base bounds, or (mostly) what propagation left of them; never an empty range. */
        void likely(const ModelVariable& v, double& lo, double& hi) {
          lo = v.lb;
          hi = v.ub;
          const AbstractDomain& current = v.id->lastDomain();
          if (pick(4) != 0 && !current.isEmpty() && !ce().provenInconsistent()) {
            lo = std::max(lo, current.getLowerBound());
            hi = std::min(hi, current.getUpperBound());
          }
          hi = std::max(lo, hi);
        }

        /** The value of the enumerated variable nearest to value, among those propagation left if any. */
        static double memberNear(const ModelVariable& v, double value) {
          std::list<double> current;
          if (!v.id->lastDomain().isEmpty())
            v.id->lastDomain().getValues(current);
          const std::list<double>& from = current.empty() ? v.values : current;
          double best = from.front();
          for (double member : from)
            if (std::fabs(member - value) < std::fabs(best - value))
              best = member;
          return best;
        }

        template <class M> static void toggle(M& m, std::ostream& os) {
          os << (m.deactivated ? "reactivated" : "deactivated");
          if (m.deactivated)
            m.id->undoDeactivation();
          else
            m.id->deactivate();
          m.deactivated = !m.deactivated;
        }

        ConstrainedVariableId makeVariable(ConstraintEngine& engine, const ModelVariable& v,
                                           const std::string& name) {
          if (!v.values.empty())
            return (new Variable<EnumeratedDomain>(engine.getId(),
                                                   EnumeratedDomain(v.values, true, LabelStr("nums")), false,
                                                   true, LabelStr(name)))
                ->getId();
          return (new Variable<IntervalIntDomain>(engine.getId(), IntervalIntDomain(v.lb, v.ub), false, true,
                                                  LabelStr(name)))
              ->getId();
        }

        static std::vector<ConstrainedVariableId> scopeOf(const std::vector<ModelVariable>& vars,
                                                          const ModelConstraint& c) {
          std::vector<ConstrainedVariableId> scope;
          for (int v : c.scope)
            scope.push_back(vars[v].id);
          return scope;
        }

        CESchemaId m_schema;
        std::mt19937 m_rng;
        ConstraintEngine* m_engine;
        std::vector<ModelVariable> m_vars;
        std::vector<ModelConstraint> m_constraints;
      };

      /** Runs the steps, checking after some (or every) step; fails with the last operations. */
      void run(Oracle& oracle, unsigned int seed, int steps, bool stepwise, unsigned int& checked) {
        std::vector<std::string> trail;
        for (int step = 0; step < steps; ++step) {
          trail.push_back(oracle.step());
          if (!stepwise && oracle.pick(3) == 0)
            continue; // several operations before one propagation
          std::string failure;
          try {
            failure = oracle.check(stepwise);
          } catch (const Error& e) {
            failure = e.what(); // a failed cross-check of the engine
          }
          ++checked;
          if (!failure.empty()) {
            std::ostringstream os;
            for (size_t i = trail.size() > 12 ? trail.size() - 12 : 0; i < trail.size(); ++i)
              os << "  " << trail[i] << "\n";
            FAIL() << "seed " << seed << ", step " << step << ": " << failure << "\nlast operations:\n"
                   << os.str();
          }
        }
      }

    }

    class PropagationOracle : public EngineFixture {};

    TEST_F(PropagationOracle, IncrementalEqualsFromScratch) {
      unsigned int checked = 0;
      for (unsigned int seed : {1u, 7u, 42u, 2024u, 31337u, 99991u}) {
        Oracle oracle(schema->getId(), seed);
        const int variables = 5 + static_cast<int>((seed % 4));
        for (int i = 0; i < variables; ++i)
          oracle.addVariable();
        for (int i = 0; i < variables; ++i)
          oracle.addConstraint();
        run(oracle, seed, 1000, false, checked);
        EXPECT_GT(oracle.consistentChecks, 200u) << "seed " << seed;
      }
      EXPECT_GT(checked, 3000u);
    }

    // Long chains: waves relax much of the chain, and propagation then sweeps the
    // temporal constraints in precedence order before running its agenda.
    TEST_F(PropagationOracle, SweptChainsEqualStepwisePropagation) {
      unsigned int checked = 0;
      for (unsigned int seed : {3u, 17u, 555u}) {
        Oracle oracle(schema->getId(), seed);
        oracle.addChain(40);
        oracle.m_maxConstraints = 100;
        oracle.forwardOnly = true;
        for (int i = 0; i < 10; ++i)
          oracle.addConstraint();
        run(oracle, seed, 300, true, checked);
        EXPECT_GT(oracle.consistentChecks, 100u) << "seed " << seed;
      }
    }

    class Retraction : public EngineFixture {
    protected:
      void SetUp() override {
        EngineFixture::SetUp();
        schema->registerConstraintFactory(
            new ConcreteConstraintFactory<StepConstraint>(LabelStr("step"), LabelStr("Default"), false));
      }
    };

    // A bound a removed constraint once moved, moved further since by a cycle
    // through a constraint that states no supports, rests on the removed one
    // all the same: u >= a lifts w, whose jump lifts w2, which lifts u.
    TEST_F(Retraction, WhatAJumpRestsOnGoesWithIt) {
      ConstrainedVariableId a = intVar(5, 5, "a");
      ConstrainedVariableId u = intVar(0, 100, "u");
      ConstrainedVariableId w = intVar(0, 100, "w");
      ConstrainedVariableId w2 = intVar(0, 100, "w2");
      ConstraintId lift = make("precedes", makeScope(a, u));
      make("precedes", makeScope(u, w));
      make("step", makeScope(w, w2));
      make("precedes", makeScope(w2, u));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(lb(u), 10);
      ce->deleteConstraint(lift);
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(lb(u), 0);
      EXPECT_EQ(lb(w), 0);
      EXPECT_EQ(lb(w2), 0);
    }

    // Retractions relax only what rested on what went. Networks of chains of
    // timepoint triples, integer intervals, closed enumerated variables and a
    // constraint that states no supports, under random additions, removals,
    // (de)activations, specifications and resets: after every propagation each
    // domain equals what a network rebuilt from scratch gives.
    class RetractionOracle : public Retraction, public ::testing::WithParamInterface<unsigned int> {};

    TEST_P(RetractionOracle, RetractionsEqualARebuiltNetwork) {
      const unsigned int seed = GetParam();
      Oracle oracle(schema->getId(), seed);
      oracle.kinds = 5;
      oracle.backOut = true;
      oracle.m_maxConstraints = 24;
      oracle.addChain(4);
      for (int i = 0; i < 5; ++i)
        oracle.addVariable();
      for (int i = 0; i < 2; ++i)
        oracle.addEnumeratedVariable();
      for (int i = 0; i < 8; ++i)
        oracle.addConstraint();
      unsigned int checked = 0;
      run(oracle, seed, 120, seed % 2 == 0, checked);
      EXPECT_GT(oracle.consistentChecks, 5u) << "seed " << seed;
    }

    INSTANTIATE_TEST_SUITE_P(Seeds, RetractionOracle, ::testing::Range(0u, 200u));

  }
}
