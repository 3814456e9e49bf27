// Object factories: signatures, exact and fallback look-up, replacement and ownership.

#include "PlanDatabase/base/ObjectFactory.hh"

#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <vector>

using namespace KADRIX;

namespace {

  ObjectFactoryId makeFactory(const char* signature) {
    return (new TestModel::StubObjectFactory(signature))->getId();
  }

  class ObjectFactoryTest : public TestModel::Fixture {
  protected:
    ObjectFactoryTest() : m_int(true, "int"), m_float(true, "float"), m_battery("Battery") {}

    ObjectFactoryId lookUp(const char* type, std::vector<const AbstractDomain*> args = {}) {
      return m_schema->getObjectFactory(type, args);
    }

    /** Whether the look-up is answered without consulting the type tree. */
    bool isExactHit(const char* type, std::vector<const AbstractDomain*> args = {}) {
      TestModel::DebugCapture capture("Schema:isA");
      lookUp(type, args);
      return capture.text().empty();
    }

    EnumeratedDomain m_int;
    EnumeratedDomain m_float;
    ObjectDomain m_battery;
  };

} // namespace

TEST_F(ObjectFactoryTest, SignaturesAndRequestedNames) {
  TestModel::DebugCapture capture("ObjectFactory:");
  TestModel::StubObjectFactory factory("Rover:int:float");
  EXPECT_EQ((std::vector<LabelStr>{LabelStr("Rover"), LabelStr("int"), LabelStr("float")}),
            factory.getSignatureTypes());
  EXPECT_EQ(LabelStr("Rover:int:Battery"),
            ObjectTypeMgr::makeFactoryName("Rover", {&m_int, &m_battery}));
  m_schema->registerObjectFactory(makeFactory("Car"));
  lookUp("Car", {});
  EXPECT_EQ("[ObjectFactory:ObjectFactory]Creating factory Rover:int:float\n"
            "[ObjectFactory:makeFactoryName]Making factory name Rover\n"
            "[ObjectFactory:ObjectFactory]Creating factory Car\n"
            "[ObjectFactory:registerFactory]Registering factory with signature Car\n"
            "[ObjectFactory:makeFactoryName]Making factory name Car\n"
            "[ObjectFactory:getFactory]looking for factory Car\n",
            capture.text());
}

TEST_F(ObjectFactoryTest, FallbackServesSubtypesAndIsRemembered) {
  ObjectFactoryId rover = makeFactory("Rover");
  m_schema->registerObjectFactory(rover);
  EXPECT_TRUE(isExactHit("Rover"));
  EXPECT_FALSE(isExactHit("Car"));
  EXPECT_EQ(rover, lookUp("Car"));
  EXPECT_TRUE(isExactHit("Car"));

  EXPECT_CHECK_FAILS(lookUp("Vehicle"), "ALWAYS_FAILS", "Factory 'Vehicle' is not registered.");
}

TEST_F(ObjectFactoryTest, ArgumentsMustMatchInCountAndType) {
  ObjectFactoryId withInt = makeFactory("Rover:int");
  ObjectFactoryId withBattery = makeFactory("Rover:Battery:Gadget");
  m_schema->registerObjectFactory(withInt);
  m_schema->registerObjectFactory(withBattery);

  EXPECT_EQ(withInt, lookUp("Car", {&m_int}));
  EXPECT_EQ(withInt, lookUp("Car", {&m_float})); // primitives are compatible
  EXPECT_THROW(lookUp("Car", {&m_int, &m_int}), Error);
  EXPECT_CHECK_FAILS(lookUp("Car", {&m_battery}), "ALWAYS_FAILS",
                       "Factory 'Car:Battery' is not registered.");

  // A type name the schema does not know matches only itself.
  EnumeratedDomain gadget(false, "Gadget");
  EnumeratedDomain gizmo(false, "Gizmo");
  EXPECT_EQ(withBattery, lookUp("Car", {&m_battery, &gadget}));
  EXPECT_THROW(lookUp("Car", {&m_battery, &gizmo}), Error);
}

TEST_F(ObjectFactoryTest, ReplacingAFactoryLeavesNoStaleAnswer) {
  ObjectFactoryId first = makeFactory("Rover");
  m_schema->registerObjectFactory(first);
  ASSERT_EQ(first, lookUp("Car"));

  ObjectFactoryId second = makeFactory("Rover");
  {
    TestModel::DebugCapture capture("ObjectFactory:registerFactory");
    m_schema->registerObjectFactory(second);
    EXPECT_EQ("[ObjectFactory:registerFactory]Registering factory with signature Rover\n"
              "[ObjectFactory:registerFactory]Over-riding registeration for factory with "
              "signature Rover\n",
              capture.text());
  }
  EXPECT_FALSE(first.isValid()) << "the replaced factory is deleted";
  EXPECT_EQ(second, lookUp("Car"));

  // Registering the very factory that stands under its signature changes nothing.
  m_schema->registerObjectFactory(second);
  EXPECT_EQ(second, lookUp("Car"));
  EXPECT_CHECK_FAILS(m_schema->registerObjectFactory(ObjectFactoryId()), "factory.isValid()", "");
}

TEST_F(ObjectFactoryTest, NewFactoryIsPreferredToAnEarlierFallback) {
  ObjectFactoryId rover = makeFactory("Rover");
  m_schema->registerObjectFactory(rover);
  ASSERT_EQ(rover, lookUp("Car"));

  // The name Car is taken by a fallback answer; registering Car's own factory must not
  // delete the factory that still serves Rover.
  ObjectFactoryId car = makeFactory("Car");
  m_schema->registerObjectFactory(car);
  EXPECT_EQ(car, lookUp("Car"));
  EXPECT_EQ(rover, lookUp("Rover"));

  // The schema owns them all.
  m_schema.reset();
  EXPECT_FALSE(rover.isValid() || car.isValid());
}

TEST_F(ObjectFactoryTest, PurgeDeletesEachFactoryOnce) {
  ObjectTypeMgr registry;
  ObjectFactoryId vehicle = makeFactory("Vehicle");
  registry.registerFactory(vehicle);
  registry.getFactory(m_schema->getId(), "Rover", {});
  EXPECT_EQ(vehicle, registry.getFactory(m_schema->getId(), "Car", {}));
  registry.purgeAll(); // three entries, one factory
  EXPECT_FALSE(vehicle.isValid());
  EXPECT_THROW(registry.getFactory(m_schema->getId(), "Vehicle", {}), Error);

  ObjectFactoryId again = makeFactory("Vehicle");
  registry.registerFactory(again);
  EXPECT_EQ(again, registry.getFactory(m_schema->getId(), "Car", {}));
  // The registry's destructor deletes it.
}
