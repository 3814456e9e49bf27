#ifndef KADRIX_TESTS_TEST_OBJECTS_HH
#define KADRIX_TESTS_TEST_OBJECTS_HH

// Plain objects of the test model, an object factory that builds them, and a
// fixture with a constraint engine and a plan database over the test model
// (see TestModel.hh for the types).

#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/ObjectFactory.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/PlanDatabaseListener.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    /** A plain model object: nothing beyond Object. */
    class TestObject : public Object {
    public:
      TestObject(const PlanDatabaseId& db, const LabelStr& type, const LabelStr& name, bool open = false)
        : Object(db, type, name, open) {}
      TestObject(const ObjectId& parent, const LabelStr& type, const LabelStr& localName, bool open = false)
        : Object(parent, type, localName, open) {}
    };

    /** Builds TestObjects of one type: open, then the construction hook, then close(). */
    class TestObjectFactory : public ObjectFactory {
    public:
      explicit TestObjectFactory(const LabelStr& signature) : ObjectFactory(signature) {}
      ObjectId createInstance(const PlanDatabaseId& db, const LabelStr& type, const LabelStr& name,
                              const std::vector<const AbstractDomain*>& arguments) const override {
        TestObject* object = new TestObject(db, type, name, true);
        object->constructor(arguments);
        object->close();
        return object->getId();
      }
    };

    /** Records every database notification it hears as one line of text. */
    class RecordingListener : public PlanDatabaseListener {
    public:
      RecordingListener() : PlanDatabaseListener() {}
      explicit RecordingListener(const PlanDatabaseId& db) : PlanDatabaseListener(db) {}

      using PlanDatabaseListener::notifyAdded;
      using PlanDatabaseListener::notifyRemoved;

      void notifyAdded(const ObjectId& object) override {
        log.push_back("added " + object->getName().toString() + seen(object));
      }
      void notifyRemoved(const ObjectId& object) override {
        log.push_back("removed " + object->getName().toString() + seen(object));
      }

      /** Filled in with whether the database already lists the object when the listener is told. */
      std::string seen(const ObjectId& object) const {
        const PlanDatabaseId& db = getPlanDatabase();
        return db->getObject(object->getName()) == object ? " (listed)" : " (unlisted)";
      }

      std::vector<std::string> log;
    };

    /** A schema over the test model, a constraint engine and a plan database over both. */
    class DatabaseFixture : public Fixture {
    protected:
      DatabaseFixture()
        : Fixture(), m_ce(new ConstraintEngine(m_ces->getId())),
          m_db(new PlanDatabase(m_ce->getId(), m_schema->getId())) {}

      ~DatabaseFixture() {
        delete m_db;
        delete m_ce;
      }

      PlanDatabaseId db() const { return m_db->getId(); }

      /** A closed root object. */
      ObjectId make(const char* type, const char* name) {
        return (new TestObject(db(), type, name))->getId();
      }

      /** An open object variable over the objects of a type, with nothing in it yet. */
      ConstrainedVariableId objectVariable(const char* type, const char* name = "v") {
        return (new Variable<ObjectDomain>(m_ce->getId(), ObjectDomain(type), false, true, name))->getId();
      }

      /** An integer variable over [lb, ub]. */
      ConstrainedVariableId intVariable(double lb, double ub, const char* name = "v") {
        return (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(lb, ub), false, true, name))
            ->getId();
      }

      /** Makes the network inconsistent (the engine's constraints must be registered): two
       *  variables that cannot be equal. Discarding the constraint mends it. */
      ConstraintId breakPlan() {
        return m_ce->createConstraint(
            "eq", std::vector<ConstrainedVariableId>{intVariable(0, 1), intVariable(5, 6)});
      }

      /** Whether the variable's domain holds the object. */
      static bool holds(const ConstrainedVariableId& var, const ObjectId& object) {
        return var->lastDomain().isMember(static_cast<double>(object));
      }

      ConstraintEngine* m_ce;
      PlanDatabase* m_db;
    };

  }
}

#endif
