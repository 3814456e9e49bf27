// Randomised check of incremental propagation and relaxation: after every
// successful propagation, each derived domain must equal what propagating the
// same network from scratch, in a fresh engine, gives.

#include "../base/EngineFixture.hh"

#include <random>
#include <sstream>

namespace KADRIX {
namespace test {

  namespace {

    const char* const NAMES[] = {"eq", "precedes", "concurrent", "temporalDistance"};

    struct ModelVariable {
      ConstrainedVariableId id;
      double lb, ub;         // base domain
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
        ModelVariable v;
        v.lb = between(-30, 10);
        v.ub = v.lb + between(0, 50);
        v.id = makeVariable(*m_engine, v, "v" + std::to_string(m_vars.size()));
        m_vars.push_back(v);
      }

      void addConstraint() {
        ModelConstraint c;
        c.kind = pick(4);
        const int arity = c.kind == 3 ? 3 : 2;
        // Distinct variables for temporalDistance; the binary ones may pair a variable with itself.
        while ((int) c.scope.size() < arity) {
          const int v = pick((int) m_vars.size());
          if (c.kind == 3 && std::find(c.scope.begin(), c.scope.end(), v) != c.scope.end())
            continue;
          c.scope.push_back(v);
        }
        c.id = m_engine->createConstraint(LabelStr(NAMES[c.kind]), scopeOf(m_vars, c));
        m_constraints.push_back(c);
      }

      /** One random operation; returns its description. */
      std::string step() {
        std::ostringstream os;
        const int op = pick(9);
        ModelVariable& v = m_vars[pick((int) m_vars.size())];
        switch (op) {
        case 0:
        case 1: {
          const double value = between((int) v.lb, (int) v.ub);
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
          // Keep the base non-empty and holding the specified value.
          double lo = between((int) v.lb, (int) v.ub);
          double hi = between((int) lo, (int) v.ub);
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
          if (m_constraints.size() < 14) {
            addConstraint();
            os << "add " << NAMES[m_constraints.back().kind];
          }
          break;
        case 5:
          if (!m_constraints.empty()) {
            const int i = pick((int) m_constraints.size());
            os << "remove " << NAMES[m_constraints[i].kind];
            if (pick(2) == 0)
              m_engine->deleteConstraint(m_constraints[i].id);
            else
              delete (Constraint*) m_constraints[i].id;
            m_constraints.erase(m_constraints.begin() + i);
          }
          break;
        case 6:
          if (!m_constraints.empty()) {
            ModelConstraint& c = m_constraints[pick((int) m_constraints.size())];
            os << (c.deactivated ? "reactivate " : "deactivate ") << NAMES[c.kind];
            if (c.deactivated)
              c.id->undoDeactivation();
            else
              c.id->deactivate();
            c.deactivated = !c.deactivated;
          }
          break;
        case 7:
          os << (v.deactivated ? "reactivate " : "deactivate ") << v.id->getName().toString();
          if (v.deactivated)
            v.id->undoDeactivation();
          else
            v.id->deactivate();
          v.deactivated = !v.deactivated;
          break;
        default:
          os << "nothing";
          break;
        }
        return os.str();
      }

      /** Propagate and compare with a fresh engine; returns a failure text or "". */
      std::string check() {
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
        }
        const bool expected = fresh.propagate();
        std::ostringstream os;
        if (consistent != expected) {
          os << "propagate() gave " << consistent << ", from scratch " << expected;
          return os.str();
        }
        if (!consistent)
          return "";
        if (!m_engine->constraintConsistent())
          return "consistent propagation left work pending";
        for (size_t i = 0; i < m_vars.size(); ++i) {
          const AbstractDomain& got = m_vars[i].id->lastDomain();
          const AbstractDomain& want = copies[i].id->lastDomain();
          if (got.getLowerBound() != want.getLowerBound() || got.getUpperBound() != want.getUpperBound())
            os << "v" << i << " is " << got.toString() << ", from scratch " << want.toString() << "; ";
        }
        return os.str();
      }

    private:
      ConstrainedVariableId makeVariable(ConstraintEngine& engine, const ModelVariable& v, const std::string& name) {
        return (new Variable<IntervalIntDomain>(engine.getId(), IntervalIntDomain(v.lb, v.ub), false, true,
                                                LabelStr(name)))->getId();
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

  }

  class PropagationOracle : public EngineFixture {};

  TEST_F(PropagationOracle, IncrementalEqualsFromScratch) {
    const unsigned int seeds[] = {1, 7, 42, 2024, 31337, 99991};
    unsigned int checked = 0;
    for (unsigned int seed : seeds) {
      Oracle oracle(schema->getId(), seed);
      const int variables = 5 + (int) (seed % 4);
      for (int i = 0; i < variables; ++i)
        oracle.addVariable();
      for (int i = 0; i < variables; ++i)
        oracle.addConstraint();
      std::vector<std::string> trail;
      for (int step = 0; step < 1000; ++step) {
        trail.push_back(oracle.step());
        if (oracle.pick(3) == 0)
          continue; // several operations before one propagation
        const std::string failure = oracle.check();
        ++checked;
        if (!failure.empty()) {
          std::ostringstream os;
          for (size_t i = trail.size() > 12 ? trail.size() - 12 : 0; i < trail.size(); ++i)
            os << "  " << trail[i] << "\n";
          FAIL() << "seed " << seed << ", step " << step << ": " << failure << "\nlast operations:\n" << os.str();
        }
      }
    }
    EXPECT_GT(checked, 3000u);
  }

}
}
