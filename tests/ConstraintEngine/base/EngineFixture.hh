#ifndef KADRIX_TEST_ENGINE_FIXTURE_HH
#define KADRIX_TEST_ENGINE_FIXTURE_HH

// Shared by the engine tests: a schema and engine with the named constraints,
// quick variable makers and a scripted constraint that records what it is told.

#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "ConstraintEngine/component/Variable.hh"
#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <functional>
#include <list>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    typedef std::vector<std::string> Log;

    /** Narrows nothing, over any scope; counts its constructions. */
    class NoOpConstraint : public Constraint {
    public:
      NoOpConstraint(const LabelStr& name, const LabelStr& propagatorName, const ConstraintEngineId& ce,
                     const std::vector<ConstrainedVariableId>& scope, bool redundant = false)
        : Constraint(name, propagatorName, ce, scope) {
        m_isRedundant = redundant;
        ++constructed;
      }
      void handleExecute() override {}
      inline static int constructed = 0;
    };

    /** A NoOpConstraint that says it is redundant. */
    class RedundantConstraint : public NoOpConstraint {
    public:
      RedundantConstraint(const LabelStr& name, const LabelStr& propagatorName, const ConstraintEngineId& ce,
                          const std::vector<ConstrainedVariableId>& scope)
        : NoOpConstraint(name, propagatorName, ce, scope, true) {}
    };

    /**
   * Records every report ("tag:var:CHANGE"), execution ("tag:exec") and
   * activation change. Scripts can act inside canIgnore and handleExecute.
   */
    class Recorder : public Constraint {
    public:
      Recorder(const std::string& tag, const ConstraintEngineId& ce,
               const std::vector<ConstrainedVariableId>& scope, Log& log)
        : Constraint(LabelStr("recorder"), LabelStr("Default"), ce, scope), m_tag(tag), m_log(log) {}

      bool canIgnore(const ConstrainedVariableId& var, int argIndex,
                     const DomainListener::ChangeType& changeType) override {
        m_log.push_back(m_tag + ":" + var->getName().toString() + ":" + DomainListener::getName(changeType));
        // A copy: the script may delete this constraint.
        std::function<bool(const ConstrainedVariableId&, int, DomainListener::ChangeType)> script = onReport;
        if (script)
          return script(var, argIndex, changeType);
        return ignoreAll;
      }

      void handleExecute() override {
        m_log.push_back(m_tag + ":exec");
        std::function<void()> script = onExecute;
        if (script)
          script();
      }

      AbstractDomain& domain(const ConstrainedVariableId& var) { return getCurrentDomain(var); }

      std::function<bool(const ConstrainedVariableId&, int, DomainListener::ChangeType)> onReport;
      std::function<void()> onExecute;
      bool ignoreAll = false;

    protected:
      void handleActivate() override { m_log.push_back(m_tag + ":activate"); }
      void handleDeactivate() override { m_log.push_back(m_tag + ":deactivate"); }

    private:
      std::string m_tag;
      Log& m_log;
    };

    class EngineFixture : public ::testing::Test {
    protected:
      void SetUp() override {
        schema = new CESchema();
        registerEngineConstraints(schema->getId());
        ce = new ConstraintEngine(schema->getId());
      }

      void TearDown() override {
        delete ce;
        delete schema;
      }

      ConstrainedVariableId intVar(double lb, double ub, const std::string& name) {
        return (new Variable<IntervalIntDomain>(ce->getId(), IntervalIntDomain(lb, ub), false, true,
                                                LabelStr(name)))
            ->getId();
      }

      ConstrainedVariableId enumVar(const std::list<double>& values, const std::string& name) {
        return (new Variable<EnumeratedDomain>(ce->getId(), EnumeratedDomain(values, true, LabelStr("nums")),
                                               false, true, LabelStr(name)))
            ->getId();
      }

      ConstraintId make(const std::string& name, const std::vector<ConstrainedVariableId>& scope) {
        return ce->createConstraint(LabelStr(name), scope);
      }

      Recorder* record(const std::string& tag, const std::vector<ConstrainedVariableId>& scope) {
        return new Recorder(tag, ce->getId(), scope, log);
      }

      static std::list<double> values(const ConstrainedVariableId& v) {
        std::list<double> result;
        v->lastDomain().getValues(result);
        return result;
      }
      static double lb(const ConstrainedVariableId& v) { return v->lastDomain().getLowerBound(); }
      static double ub(const ConstrainedVariableId& v) { return v->lastDomain().getUpperBound(); }

      CESchema* schema = nullptr;
      ConstraintEngine* ce = nullptr;
      Log log;
    };

  }
}

#endif
