#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/model/TestObjects.hh"
#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

namespace KADRIX {
  namespace {

    using namespace TestModel;

    class PlanDatabaseTest : public DatabaseFixture {};

    // ---------------------------------------------------------------- lifecycle

    TEST_F(PlanDatabaseTest, ConstructionWithInvalidHandlesFailsAndLeavesNothingRegistered) {
      const std::size_t handles = IdTable::size();
      EXPECT_CHECK_FAILS(PlanDatabase(ConstraintEngineId::noId(), m_schema->getId()),
                         "m_constraintEngine.isValid()", "");
      EXPECT_CHECK_FAILS(PlanDatabase(m_ce->getId(), Id<Schema>::noId()), "m_schema.isValid()", "");
      EXPECT_CHECK_FAILS((void) DbClient(PlanDatabaseId::noId()), "db.isValid()", "");
      EXPECT_CHECK_FAILS((void) RecordingListener(PlanDatabaseId::noId()), "m_planDatabase.isValid()", "");
      EXPECT_EQ(handles, IdTable::size());
    }

    TEST_F(PlanDatabaseTest, DefaultAdvisorIsMadeOnceAndBlocksInstallation) {
      const TemporalAdvisorId advisor = m_db->getTemporalAdvisor();
      EXPECT_TRUE(Id<DefaultTemporalAdvisor>::convertable(advisor));
      DefaultTemporalAdvisor other(m_ce->getId());
      EXPECT_CHECK_FAILS(m_db->setTemporalAdvisor(other.getId()), "m_temporalAdvisor.isNoId()", "");
      EXPECT_EQ(advisor, m_db->getTemporalAdvisor());

      // One installed before the first request is kept, and deleted with the database.
      PlanDatabase fresh(m_ce->getId(), m_schema->getId());
      TemporalAdvisorId installed = (new DefaultTemporalAdvisor(m_ce->getId()))->getId();
      fresh.setTemporalAdvisor(installed);
      EXPECT_EQ(installed, fresh.getTemporalAdvisor());
    }

    TEST_F(PlanDatabaseTest, ClosingSealsOneTypeOrEveryTypeOnce) {
      ConstrainedVariableId wheels = objectVariable("Wheel");
      m_db->makeObjectVariableFromType("Wheel", wheels);
      m_db->close(LabelStr("Rover"));
      EXPECT_FALSE(m_db->isClosed(LabelStr("Car")) || m_db->isClosed(LabelStr("Vehicle")));
      EXPECT_CHECK_FAILS(m_db->close(LabelStr("Rover")), "!isClosed(objectType)", "");
      EXPECT_CHECK_FAILS(make("Rover", "r1"), "!isClosed(object->getType())",
                         "Cannot add object r1 if type Rover is already closed.");
      EXPECT_CHECK_FAILS(m_db->isClosed(LabelStr("Rover.drive")), "m_schema->isObjectType(objectType)",
                         "Type 'Rover.drive' not defined in the model.");
      m_db->close();
      EXPECT_TRUE(wheels->isClosed());
      EXPECT_TRUE(m_db->isClosed(LabelStr("Object")));
      EXPECT_CHECK_FAILS(m_db->close(LabelStr("Vehicle")), "m_state == OPEN", "");
    }

    TEST_F(PlanDatabaseTest, PurgeDiscardsTheWholePlanOnce) {
      ObjectId rover = make("Rover", "r1");
      make("Battery", "b1");
      (new TestObject(rover, "Battery", "battery"))->getId();
      RecordingListener listener(db());
      ConstrainedVariableId global = objectVariable("Vehicle", "g");
      m_db->registerGlobalVariable(global);
      m_db->close();
      m_db->purge();
      EXPECT_FALSE(m_db->isClosed(LabelStr("Vehicle")));
      EXPECT_TRUE(m_db->getObjects().empty() && m_db->getGlobalVariables().empty());
      EXPECT_FALSE(global.isValid() || rover.isValid());
      // Each object heard of once, the component with its parent.
      EXPECT_EQ(3u, listener.log.size());
      EXPECT_CHECK_FAILS(m_db->purge(), "m_state != PURGED", "");
    }

    // ---------------------------------------------------------------- factories

    TEST_F(PlanDatabaseTest, ObjectsAndTokensComeFromTheSchemasFactories) {
      m_schema->registerObjectFactory((new TestObjectFactory("Vehicle"))->getId());
      DebugCapture debug("PlanDatabase:createObject");
      std::vector<const AbstractDomain*> noArguments;
      ObjectId vehicle = m_db->createObject("Vehicle", "v1", noArguments);
      EXPECT_EQ(vehicle, m_db->getObject("v1"));
      EXPECT_EQ("[PlanDatabase:createObject]objectType Vehicle objectName v1\n", debug.text());

      m_schema->registerTokenFactory((new StubTokenFactory("Vehicle.move"))->getId());
      EXPECT_CHECK_FAILS(m_db->createToken("Vehicle.move", true, false), "token.isValid()", "");
      EXPECT_CHECK_FAILS(m_db->createSlaveToken(TokenId::noId(), "Vehicle.move", "before"),
                         "master.isValid()", "");
    }

    // ---------------------------------------------------------------- listeners

    /** Appends its own name to a shared log; can delete another listener when told. */
    class OrderListener : public PlanDatabaseListener {
    public:
      OrderListener(const PlanDatabaseId& db, const std::string& name, std::vector<std::string>& log)
        : PlanDatabaseListener(db), m_name(name), m_log(log) {}
      using PlanDatabaseListener::notifyAdded;
      using PlanDatabaseListener::notifyRemoved;
      void notifyAdded(const ObjectId&) override { tell(); }
      void notifyRemoved(const ObjectId&) override { tell(); }
      PlanDatabaseListener* victim = nullptr;

    private:
      void tell() {
        m_log.push_back(m_name);
        if (victim != nullptr) {
          PlanDatabaseListener* v = victim;
          victim = nullptr;
          delete v;
        }
      }
      std::string m_name;
      std::vector<std::string>& m_log;
    };

    TEST_F(PlanDatabaseTest, ListenersAreToldInAddressOrderAfterTheChange) {
      std::vector<std::string> order;
      OrderListener* a = new OrderListener(db(), "a", order);
      OrderListener* b = new OrderListener(db(), "b", order);
      RecordingListener recorder(db());
      DebugCapture debug("PlanDatabase:notif");
      ObjectId rover = make("Rover", "r1");
      EXPECT_EQ((a < b ? std::vector<std::string>{"a", "b"} : std::vector<std::string>{"b", "a"}), order);
      const std::string text = "Rover:r1 (" + std::to_string(rover->getKey()) + ")\n";
      delete static_cast<Object*>(rover);
      EXPECT_EQ((std::vector<std::string>{"added r1 (listed)", "removed r1 (unlisted)"}), recorder.log);
      EXPECT_EQ("[PlanDatabase:notifyAdded:Object]" + text + "[PlanDatabase:notifyRemoved:Object]" + text,
                debug.text());

      // One deleted while listeners are told hears nothing more.
      OrderListener* lower = a < b ? a : b;
      lower->victim = a < b ? b : a;
      order.clear();
      make("Wheel", "w1");
      make("Wheel", "w2");
      EXPECT_EQ(2u, order.size());
      delete lower;
    }

    TEST_F(PlanDatabaseTest, ListenerDeletedWhileTheDatabaseGoesLeavesTheSetAlone) {
      std::vector<std::string> order;
      OrderListener* killer = new OrderListener(db(), "killer", order);
      RecordingListener* victim = new RecordingListener(db());
      make("Wheel", "w1");
      DebugCapture debug("PlanDatabase:notifyRemoved:Listener");
      std::ostringstream expected;
      expected << "[PlanDatabase:notifyRemoved:Listener]In PlanDatabase destructor, so not erasing "
               << victim->getId() << "\n";
      // The listener deleted during the purge is not called afterwards (sanitizer build).
      killer->victim = victim;
      delete m_db;
      m_db = nullptr;
      EXPECT_NE(std::string::npos, debug.text().find(expected.str()));
      // Bound to a database that is gone: destroyed without complaint.
      delete killer;
    }

    /** Notes whether its own setPlanDatabase ran. */
    class OverridingListener : public PlanDatabaseListener {
    public:
      explicit OverridingListener(const PlanDatabaseId& db) : PlanDatabaseListener(db) {}
      void setPlanDatabase(const PlanDatabaseId& db) override {
        overrideCalled = true;
        PlanDatabaseListener::setPlanDatabase(db);
      }
      bool overrideCalled = false;
    };

    TEST_F(PlanDatabaseTest, BindingRegistersOncePrintsOnceAndMovesBetweenDatabases) {
      RecordingListener listener;
      testing::internal::CaptureStdout();
      listener.setPlanDatabase(db());
      EXPECT_EQ("Notifying plan database of addition\n", testing::internal::GetCapturedStdout());
      testing::internal::CaptureStdout();
      EXPECT_CHECK_FAILS(listener.setPlanDatabase(db()), "m_listeners.count(listener) == 0", "");
      testing::internal::GetCapturedStdout();

      PlanDatabase other(m_ce->getId(), m_schema->getId());
      testing::internal::CaptureStdout();
      listener.setPlanDatabase(other.getId());
      // The binding constructor binds with the base operation, not an override.
      OverridingListener overriding(db());
      EXPECT_EQ("Notifying plan database of addition\nNotifying plan database of addition\n",
                testing::internal::GetCapturedStdout());
      EXPECT_FALSE(overriding.overrideCalled);
      make("Wheel", "w1");
      EXPECT_TRUE(listener.log.empty());
      (new TestObject(other.getId(), "Wheel", "w2"))->getId();
      EXPECT_EQ(1u, listener.log.size());
      EXPECT_CHECK_FAILS(listener.setPlanDatabase(PlanDatabaseId::noId()), "m_planDatabase.isValid()", "");
    }

    // ---------------------------------------------------------------- global variables

    TEST_F(PlanDatabaseTest, GlobalVariablesAreRegisteredByUniqueName) {
      ConstrainedVariableId first = objectVariable("Vehicle", "g");
      ConstrainedVariableId second = objectVariable("Vehicle", "g");
      ConstrainedVariableId other = objectVariable("Vehicle", "h");
      m_db->registerGlobalVariable(first);
      m_db->registerGlobalVariable(other);
      EXPECT_CHECK_FAILS(m_db->registerGlobalVariable(second), "!isGlobalVariable(varName)",
                         second->toString() + " is not unique.");
      EXPECT_EQ(2, m_db->getAllGlobalVariables().size());
      EXPECT_CHECK_FAILS(m_db->getGlobalVariable("none"), "isGlobalVariable(varName)",
                         "No variable with name='none' is present.");

      // A variable that merely shares the name is not the global one.
      EXPECT_CHECK_FAILS(m_db->unregisterGlobalVariable(second), "isGlobalVariable(varName)",
                         second->toString() + " is not a global variable.");
      EXPECT_EQ(first, m_db->getGlobalVariable("g"));

      m_db->unregisterGlobalVariable(first);
      EXPECT_TRUE(first.isValid());
      EXPECT_CHECK_FAILS(m_db->unregisterGlobalVariable(first), "isGlobalVariable(varName)",
                         first->toString() + " is not a global variable.");
    }

    // ---------------------------------------------------------------- objects and look-ups

    TEST_F(PlanDatabaseTest, ObjectsAreListedUnderTheirTypeAndEveryAncestor) {
      ObjectId car = make("Car", "c1");
      ObjectId rover = make("Rover", "r1");
      make("Battery", "b1");
      EXPECT_EQ(3u, m_db->getObjectsByType(LabelStr("Object")).size());

      std::list<ObjectId> admitted;
      m_db->getObjectsByType<ObjectId>(LabelStr("Vehicle"), admitted);
      EXPECT_EQ((std::list<ObjectId>{car, rover}), admitted);
      EXPECT_CHECK_FAILS(m_db->getObjectsByType<ObjectId>(LabelStr("Vehicle"), admitted), "results.empty()",
                         "");
      std::list<ObjectId> none;
      EXPECT_CHECK_FAILS(m_db->getObjectsByType<ObjectId>(LabelStr("Nothing"), none),
                         "m_schema->isObjectType(type)", "Nothing");

      // Each result belongs to its database and call.
      PlanDatabase other(m_ce->getId(), m_schema->getId());
      (new TestObject(other.getId(), "Wheel", "w1"))->getId();
      const std::set<ObjectId>& rovers = m_db->getObjectsByType(LabelStr("Rover"));
      EXPECT_EQ(1u, other.getObjectsByType(LabelStr("Wheel")).size());
      EXPECT_EQ(2u, rovers.size());
      EXPECT_TRUE(m_db->getObjectsByType(LabelStr("Wheel")).empty());
    }

    TEST_F(PlanDatabaseTest, SecondObjectOfANameIsRefusedAndLeavesNothingBehind) {
      ObjectId rover = make("Rover", "r1");
      RecordingListener listener(db());
      const std::size_t handles = IdTable::size();
      EXPECT_CHECK_FAILS(make("Battery", "r1"),
                         "m_objectsByName.find(object->getName().getKey()) == m_objectsByName.end()",
                         "Object with the name r1 already added.");
      EXPECT_EQ(handles, IdTable::size());
      EXPECT_EQ(1u, m_db->getObjectsByType(LabelStr("Object")).size());
      EXPECT_TRUE(listener.log.empty());
      // An open object refused on closing stays unregistered and goes quietly.
      TestObject* open = new TestObject(db(), "Battery", "r1", true);
      EXPECT_CHECK_FAILS(open->close(),
                         "m_objectsByName.find(object->getName().getKey()) == m_objectsByName.end()",
                         "Object with the name r1 already added.");
      EXPECT_FALSE(open->isComplete());
      delete open;
      EXPECT_EQ(rover, m_db->getObject("r1"));
    }

    TEST_F(PlanDatabaseTest, LookUpsByNameAndKey) {
      ObjectId rover = make("Rover", "r1");
      ConstrainedVariableId var = objectVariable("Rover");
      EXPECT_EQ(static_cast<PSObject*>(rover), m_db->getObjectByKey(rover->getKey()));
      EXPECT_EQ(EntityId(var), m_db->getEntityByKey(var->getKey()));
      EXPECT_CHECK_FAILS(m_db->getObjectByKey(var->getKey()), "Id<T>::convertable(org)",
                         std::string("Invalid cast from Id<") + EntityId::typeName() + "> to Id<" +
                             ObjectId::typeName() + ">.");
      const int unused = var->getKey() + 1000;
      EXPECT_CHECK_FAILS(m_db->getObjectByKey(unused), "object.isValid()", "");
      EXPECT_CHECK_FAILS(m_db->getTokenByKey(unused), "psId.isValid()", "");
    }

    // ---------------------------------------------------------------- object variables

    TEST_F(PlanDatabaseTest, OpenObjectVariablesFollowObjectsOfExactlyTheirType) {
      ObjectId car = make("Car", "c1");
      ConstrainedVariableId vehicles = objectVariable("Vehicle");
      ConstrainedVariableId rovers = objectVariable("Rover");
      m_db->makeObjectVariableFromType("Vehicle", vehicles);
      m_db->makeObjectVariableFromType("Rover", rovers);
      EXPECT_TRUE(holds(vehicles, car));

      ObjectId rover = make("Rover", "r1");
      EXPECT_FALSE(holds(vehicles, rover));
      ObjectId vehicle = make("Vehicle", "v1");
      EXPECT_TRUE(holds(vehicles, vehicle));

      // Removal reaches the variables of every type the object was listed under.
      delete static_cast<Object*>(car);
      EXPECT_FALSE(holds(vehicles, car));
      EXPECT_FALSE(holds(rovers, car));

      // A caller's close stops additions, not removals.
      rovers->close();
      ObjectId rover2 = make("Rover", "r2");
      EXPECT_FALSE(holds(rovers, rover2));
      delete static_cast<Object*>(rover);
      EXPECT_FALSE(holds(rovers, rover));

      // Closing the type ends the tracking: the variable would keep the value, so the object stays.
      m_db->close(LabelStr("Vehicle"));
      EXPECT_TRUE(vehicles->isClosed());
      EXPECT_TRUE(holds(vehicles, vehicle));
      EXPECT_CHECK_FAILS(
          vehicle->discard(), "holder.first.isNoId()",
          "Object v1 cannot be deleted while the variable " + vehicles->toString() + " holds it.");
      EXPECT_TRUE(vehicle.isValid() && holds(vehicles, vehicle));
    }

    TEST_F(PlanDatabaseTest, VariablesOfClosedTypesAreNeverTracked) {
      ObjectId rover = make("Rover", "r1");
      m_db->close(LabelStr("Rover"));
      ConstrainedVariableId closed = objectVariable("Rover");
      ConstrainedVariableId open = objectVariable("Rover", "w");
      m_db->makeObjectVariableFromType("Rover", closed);
      m_db->makeObjectVariableFromType("Rover", open, true);
      EXPECT_TRUE(closed->isClosed());
      // Neither follows the type: the object stays while they hold it.
      EXPECT_CHECK_FAILS(
          rover->discard(), "holder.first.isNoId()",
          "Object r1 cannot be deleted while the variable " + closed->toString() + " holds it.");
      closed->discard();
      EXPECT_CHECK_FAILS(rover->discard(), "holder.first.isNoId()",
                         "Object r1 cannot be deleted while the variable " + open->toString() + " holds it.");
      EXPECT_TRUE(rover.isValid() && holds(open, rover));
    }

    TEST_F(PlanDatabaseTest, DiscardedVariablesAreForgotten) {
      ConstrainedVariableId wheels = objectVariable("Wheel");
      ConstrainedVariableId vehicles = objectVariable("Vehicle", "w");
      m_db->makeObjectVariableFromType("Wheel", wheels);
      m_db->makeObjectVariableFromType("Vehicle", wheels);
      m_db->makeObjectVariableFromType("Wheel", wheels);
      m_db->makeObjectVariableFromType("Vehicle", vehicles);
      wheels->discard();
      // Neither admission nor closing touches the dead variable (sanitizer build).
      make("Wheel", "w1");
      ObjectId vehicle = make("Vehicle", "v1");
      EXPECT_TRUE(holds(vehicles, vehicle));
      m_db->close(LabelStr("Wheel"));
      EXPECT_CHECK_FAILS(m_db->makeObjectVariableFromType("Wheel", ConstrainedVariableId::noId()),
                         "objectVar.isValid()", "");
      // The database deletes the listener of the variable still tracked.
    }

    // ---------------------------------------------------------------- objects themselves

    TEST_F(PlanDatabaseTest, ComponentsAreNamedAfterTheirParentsAndMoveOrGoWithThem) {
      ObjectId a = make("Rover", "a"), b = make("Rover", "b");
      ObjectId battery = (new TestObject(a, "Battery", "battery"))->getId();
      EXPECT_EQ(battery, m_db->getObject("a.battery"));
      std::list<ObjectId> ancestors;
      battery->getAncestors(ancestors);
      EXPECT_EQ((std::list<ObjectId>{a}), ancestors);
      EXPECT_EQ("Rover:a", a->toLongString());

      // Discarding goes depth first and unregisters each object.
      ConstrainedVariableId self = battery->getThis();
      RecordingListener listener(db());
      a->discard();
      EXPECT_FALSE(self.isValid());
      EXPECT_EQ((std::vector<std::string>{"removed a.battery (unlisted)", "removed a (unlisted)"}),
                listener.log);

      // A new parent takes the component from the old one.
      ObjectId c = make("Rover", "c");
      ObjectId spare = (new TestObject(b, "Battery", "battery"))->getId();
      spare->setParent(c);
      EXPECT_TRUE(b->getComponents().empty());
      delete static_cast<Object*>(b);
      EXPECT_TRUE(spare.isValid());
      delete static_cast<Object*>(c);
      EXPECT_FALSE(spare.isValid());
    }

    TEST_F(PlanDatabaseTest, RefusedObjectsLeaveNothingBehind) {
      ObjectId a = make("Rover", "a");
      make("Battery", "a.battery");
      const std::size_t handles = IdTable::size();
      EXPECT_CHECK_FAILS(new TestObject(a, "Wheel", "wheel"),
                         "m_planDatabase->getSchema()->canContain(parent->getType(), type, localName)",
                         "Object a cannot contain wheel of type Wheel");
      // A component whose name is taken is refused on closing, after its parent recorded it.
      EXPECT_CHECK_FAILS(new TestObject(a, "Battery", "battery"),
                         "m_objectsByName.find(object->getName().getKey()) == m_objectsByName.end()",
                         "Object with the name a.battery already added.");
      EXPECT_TRUE(a->getComponents().empty());
      EXPECT_CHECK_FAILS(new TestObject(ObjectId::noId(), "Battery", "battery"), "m_parent.isValid()", "");
      EXPECT_EQ(handles, IdTable::size());
      EXPECT_EQ(2u, m_db->getObjects().size());
    }

    TEST_F(PlanDatabaseTest, ObjectIsRegisteredWhenClosedOnce) {
      TestObject* open = new TestObject(db(), "Rover", "r1", true);
      EXPECT_TRUE(m_db->getObject("r1").isNoId());
      open->close();
      EXPECT_EQ(open->getId(), m_db->getObject("r1"));
      EXPECT_CHECK_FAILS(open->close(), "!isComplete()", "");
      // The self variable holds the object alone.
      EXPECT_EQ(static_cast<double>(open->getId()), open->getThis()->lastDomain().getSingletonValue());

      // Objects that were never closed go quietly, with their components.
      TestObject* never = new TestObject(db(), "Rover", "r2", true);
      ObjectId component = (new TestObject(never->getId(), "Battery", "battery", true))->getId();
      delete never;
      EXPECT_FALSE(component.isValid());
      EXPECT_EQ(1u, m_db->getObjects().size());
    }

    TEST_F(PlanDatabaseTest, MemberVariablesHaveFullNamesAndIndexes) {
      ObjectId battery = (new TestObject(db(), "Battery", "b1", true))->getId();
      ConstrainedVariableId level = battery->addVariable(IntervalDomain(0, 100, "float"), "level");
      battery->close();

      TestObject* rover = new TestObject(db(), "Rover", "r1", true);
      ConstrainedVariableId held = rover->addVariable(ObjectDomain(battery, "Battery"), "battery");
      ConstrainedVariableId color = rover->addVariable(SymbolDomain("Color"), "color");
      EXPECT_CHECK_FAILS(rover->addVariable(IntervalIntDomain(0, 5, "int"), "speed"),
                         "m_planDatabase->getSchema()->canContain(m_type, baseDomain.getTypeName(), name)",
                         "Cannot add a variable speed of type int to objects of type Rover");
      rover->close();
      EXPECT_CHECK_FAILS(rover->addVariable(SymbolDomain("Color"), "color"), "!isComplete()",
                         "Cannot add variable color after completing object construction for r1");

      EXPECT_EQ("r1.battery", held->getName().toString());
      // A singleton base domain specifies the member at once.
      EXPECT_TRUE(held->isSpecified());

      EXPECT_EQ(static_cast<PSVariable*>(color), rover->getMemberVariable("r1.color"));

      // Paths go through object-valued members.
      EXPECT_EQ(color, rover->getVariable(std::vector<unsigned int>{1}));
      EXPECT_EQ(level, rover->getVariable(std::vector<unsigned int>{0, 0}));
      EXPECT_CHECK_FAILS(rover->getVariable(std::vector<unsigned int>{5}),
                         "index >= 0 && index < m_variables.size()", "index of 5 out of bounds for r1");
      EXPECT_CHECK_FAILS(rover->getVariable(std::vector<unsigned int>{1, 0}),
                         "domain.isEntity() && domain.isSingleton()",
                         "Cannot follow the path through r1.color: it does not hold exactly one object.");
      EXPECT_CHECK_FAILS(rover->getVariable(std::vector<unsigned int>{}), "!path.empty()",
                         "An empty path names no member variable of r1.");
    }

  }
}
