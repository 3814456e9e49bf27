#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/model/TestObjects.hh"

#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

namespace KADRIX {
  namespace {

    using namespace TestModel;

    class ObjectTest : public DatabaseFixture {};

    TEST_F(ObjectTest, ComponentsAreNamedAfterTheirParentsAndKnowTheirAncestors) {
      ObjectId a = make("Rover", "a");
      ObjectId b = (new TestObject(a, "Battery", "battery"))->getId();
      EXPECT_EQ(b, m_db->getObject("a.battery"));
      std::list<ObjectId> ancestors;
      b->getAncestors(ancestors);
      EXPECT_EQ((std::list<ObjectId>{a}), ancestors);
      EXPECT_EQ("Rover:a", a->toLongString());
    }

    TEST_F(ObjectTest, RefusedObjectsLeaveNothingBehind) {
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

    TEST_F(ObjectTest, ObjectIsRegisteredWhenClosedOnce) {
      TestObject* open = new TestObject(db(), "Rover", "r1", true);
      EXPECT_TRUE(m_db->getObject("r1").isNoId());
      open->close();
      EXPECT_EQ(open->getId(), m_db->getObject("r1"));
      EXPECT_CHECK_FAILS(open->close(), "!isComplete()", "");
      // The self variable holds the object alone.
      EXPECT_EQ((double) open->getId(), open->getThis()->lastDomain().getSingletonValue());

      // Objects that were never closed go quietly, with their components.
      TestObject* never = new TestObject(db(), "Rover", "r2", true);
      ObjectId component = (new TestObject(never->getId(), "Battery", "battery", true))->getId();
      delete never;
      EXPECT_FALSE(component.isValid());
      EXPECT_EQ(1u, m_db->getObjects().size());
    }

    TEST_F(ObjectTest, MemberVariablesHaveFullNamesAndIndexes) {
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

    TEST_F(ObjectTest, DiscardGoesDepthFirstAndUnregistersEachObject) {
      ObjectId a = make("Rover", "a");
      ObjectId b = (new TestObject(a, "Battery", "battery"))->getId();
      ConstrainedVariableId self = b->getThis();
      RecordingListener listener(db());
      a->discard();
      EXPECT_FALSE(self.isValid());
      EXPECT_EQ((std::vector<std::string>{"removed a.battery (unlisted)", "removed a (unlisted)"}),
                listener.log);
    }

    TEST_F(ObjectTest, NewParentTakesTheComponentFromTheOldOne) {
      ObjectId a = make("Rover", "a");
      ObjectId b = make("Rover", "b");
      ObjectId battery = (new TestObject(a, "Battery", "battery"))->getId();
      battery->setParent(b);
      EXPECT_TRUE(a->getComponents().empty());
      delete (Object*) a;
      EXPECT_TRUE(battery.isValid());
      delete (Object*) b;
      EXPECT_FALSE(battery.isValid());
    }

  }
}
