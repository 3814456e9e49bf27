// Object and token factories: signatures, exact and fallback look-up, replacement,
// registration rules and ownership.

#include "PlanDatabase/base/ObjectFactory.hh"
#include "PlanDatabase/base/TokenFactory.hh"

#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <vector>

using namespace KADRIX;

namespace {

  ObjectFactoryId objectFactory(const char* signature) {
    return (new TestModel::StubObjectFactory(signature))->getId();
  }

  TokenFactoryId tokenFactory(const char* predicate) {
    return (new TestModel::StubTokenFactory(predicate))->getId();
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

  class TokenFactoryTest : public TestModel::Fixture {
  protected:
    TokenFactoryId lookUp(const char* predicate) { return m_schema->getTokenFactory(predicate); }
  };

} // namespace

TEST_F(ObjectFactoryTest, SignaturesAndRequestedNames) {
  TestModel::DebugCapture capture("ObjectFactory:");
  TestModel::StubObjectFactory factory("Rover:int:float");
  EXPECT_EQ((std::vector<LabelStr>{LabelStr("Rover"), LabelStr("int"), LabelStr("float")}),
            factory.getSignatureTypes());
  EXPECT_EQ(LabelStr("Rover:int:Battery"), ObjectTypeMgr::makeFactoryName("Rover", {&m_int, &m_battery}));
  m_schema->registerObjectFactory(objectFactory("Car"));
  lookUp("Car", {});
  EXPECT_EQ(
      "[ObjectFactory:ObjectFactory]Creating factory Rover:int:float\n"
      "[ObjectFactory:makeFactoryName]Making factory name Rover\n"
      "[ObjectFactory:ObjectFactory]Creating factory Car\n"
      "[ObjectFactory:registerFactory]Registering factory with signature Car\n"
      "[ObjectFactory:makeFactoryName]Making factory name Car\n"
      "[ObjectFactory:getFactory]looking for factory Car\n",
      capture.text());
}

TEST_F(ObjectFactoryTest, FallbackServesSubtypesAndIsRemembered) {
  ObjectFactoryId rover = objectFactory("Rover");
  m_schema->registerObjectFactory(rover);
  EXPECT_TRUE(isExactHit("Rover"));
  EXPECT_FALSE(isExactHit("Car"));
  EXPECT_EQ(rover, lookUp("Car"));
  EXPECT_TRUE(isExactHit("Car"));

  EXPECT_CHECK_FAILS(lookUp("Vehicle"), "ALWAYS_FAILS", "Factory 'Vehicle' is not registered.");
}

TEST_F(ObjectFactoryTest, ArgumentsMustMatchInCountAndType) {
  ObjectFactoryId withInt = objectFactory("Rover:int");
  ObjectFactoryId withBattery = objectFactory("Rover:Battery:Gadget");
  m_schema->registerObjectFactory(withInt);
  m_schema->registerObjectFactory(withBattery);

  EXPECT_EQ(withInt, lookUp("Car", {&m_int}));
  EXPECT_EQ(withInt, lookUp("Car", {&m_float})); // primitives are compatible
  EXPECT_THROW(lookUp("Car", {&m_int, &m_int}), Error);
  EXPECT_CHECK_FAILS(lookUp("Car", {&m_battery}), "ALWAYS_FAILS", "Factory 'Car:Battery' is not registered.");

  // A type name the schema does not know matches only itself.
  EnumeratedDomain gadget(false, "Gadget");
  EnumeratedDomain gizmo(false, "Gizmo");
  EXPECT_EQ(withBattery, lookUp("Car", {&m_battery, &gadget}));
  EXPECT_THROW(lookUp("Car", {&m_battery, &gizmo}), Error);
}

TEST_F(ObjectFactoryTest, ReplacingAFactoryLeavesNoStaleAnswer) {
  ObjectFactoryId first = objectFactory("Rover");
  m_schema->registerObjectFactory(first);
  ASSERT_EQ(first, lookUp("Car"));

  ObjectFactoryId second = objectFactory("Rover");
  {
    TestModel::DebugCapture capture("ObjectFactory:registerFactory");
    m_schema->registerObjectFactory(second);
    EXPECT_EQ(
        "[ObjectFactory:registerFactory]Registering factory with signature Rover\n"
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
  ObjectFactoryId rover = objectFactory("Rover");
  m_schema->registerObjectFactory(rover);
  ASSERT_EQ(rover, lookUp("Car"));

  // The name Car is taken by a fallback answer; registering Car's own factory must not
  // delete the factory that still serves Rover.
  ObjectFactoryId car = objectFactory("Car");
  m_schema->registerObjectFactory(car);
  EXPECT_EQ(car, lookUp("Car"));
  EXPECT_EQ(rover, lookUp("Rover"));

  // The schema owns them all.
  m_schema.reset();
  EXPECT_FALSE(rover.isValid() || car.isValid());
}

TEST_F(ObjectFactoryTest, PurgeDeletesEachFactoryOnce) {
  ObjectTypeMgr registry;
  ObjectFactoryId vehicle = objectFactory("Vehicle");
  registry.registerFactory(vehicle);
  registry.getFactory(m_schema->getId(), "Rover", {});
  EXPECT_EQ(vehicle, registry.getFactory(m_schema->getId(), "Car", {}));
  registry.purgeAll(); // three entries, one factory
  EXPECT_FALSE(vehicle.isValid());
  EXPECT_THROW(registry.getFactory(m_schema->getId(), "Vehicle", {}), Error);

  ObjectFactoryId again = objectFactory("Vehicle");
  registry.registerFactory(again);
  EXPECT_EQ(again, registry.getFactory(m_schema->getId(), "Car", {}));
  // The registry's destructor deletes it.
}

TEST_F(TokenFactoryTest, AncestorFactoryServesInheritedPredicates) {
  TokenFactoryId drive = tokenFactory("Rover.drive");
  m_schema->registerTokenFactory(drive);
  EXPECT_EQ(drive, lookUp("Car.drive"));

  EXPECT_CHECK_FAILS(lookUp("Car.fly"), "schema->isPredicate(predicateName)", "Car.fly is undefined.");
  // The search climbs to the top of the chain and reports it there.
  EXPECT_CHECK_FAILS(lookUp("Car.move"), "ALWAYS_FAILS",
                     "Failed in TokenTypeMgr::getFactory for Vehicle.move");
}

TEST_F(TokenFactoryTest, AnswersAreRememberedAtEveryLevelClimbed) {
  TokenTypeMgr registry;
  TokenFactoryId move = tokenFactory("Vehicle.move");
  registry.registerFactory(move);
  ASSERT_EQ(move, registry.getFactory(m_schema->getId(), "Car.move"));

  // A schema in which Car.move and Rover.move have no ancestor with a factory: only what
  // the first look-up remembered can answer.
  CESchema ces;
  Schema flat("Flat", ces.getId());
  flat.addObjectType("Rover");
  flat.addObjectType("Car");
  flat.addPredicate("Rover.move");
  flat.addPredicate("Car.move");
  flat.addPredicate("Car.drive");
  EXPECT_EQ(move, registry.getFactory(flat.getId(), "Car.move"));
  EXPECT_EQ(move, registry.getFactory(flat.getId(), "Rover.move"));
  EXPECT_CHECK_FAILS(registry.getFactory(flat.getId(), "Car.drive"), "ALWAYS_FAILS",
                     "Failed in TokenTypeMgr::getFactory for Car.drive");
}

TEST_F(TokenFactoryTest, FirstOwnRegistrationWins) {
  TokenFactoryId first = tokenFactory("Rover.drive");
  TokenFactoryId second = tokenFactory("Rover.drive");
  m_schema->registerTokenFactory(first);
  m_schema->registerTokenFactory(second);
  EXPECT_EQ(first, lookUp("Car.drive"));
  EXPECT_TRUE(second.isValid());

  EXPECT_CHECK_FAILS(m_schema->registerTokenFactory(first), "m_factories.find(factory) == m_factories.end()",
                     "");
  EXPECT_CHECK_FAILS(m_schema->registerTokenFactory(TokenFactoryId()), "factory.isValid()", "");

  // Both are owned, and deleted with the schema.
  m_schema.reset();
  EXPECT_FALSE(first.isValid() || second.isValid());
}

TEST_F(TokenFactoryTest, OwnRegistrationReplacesARememberedFallback) {
  TokenFactoryId drive = tokenFactory("Rover.drive");
  m_schema->registerTokenFactory(drive);
  ASSERT_EQ(drive, lookUp("Car.drive"));
  TokenFactoryId carDrive = tokenFactory("Car.drive");
  m_schema->registerTokenFactory(carDrive);
  EXPECT_EQ(carDrive, lookUp("Car.drive"));
  EXPECT_EQ(drive, lookUp("Rover.drive"));

  // A nearer ancestor's factory takes over from a farther one for remembered descendants.
  TokenFactoryId move = tokenFactory("Vehicle.move");
  m_schema->registerTokenFactory(move);
  ASSERT_EQ(move, lookUp("Car.move"));
  TokenFactoryId roverMove = tokenFactory("Rover.move");
  m_schema->registerTokenFactory(roverMove);
  EXPECT_EQ(roverMove, lookUp("Car.move"));
  EXPECT_EQ(move, lookUp("Vehicle.move"));
}

TEST_F(TokenFactoryTest, PurgeEmptiesTheRegistry) {
  TokenTypeMgr registry;
  TokenFactoryId drive = tokenFactory("Rover.drive");
  registry.registerFactory(drive);
  ASSERT_EQ(drive, registry.getFactory(m_schema->getId(), "Car.drive"));
  registry.purgeAll();
  EXPECT_FALSE(drive.isValid() || registry.hasFactory());
  EXPECT_CHECK_FAILS(registry.getFactory(m_schema->getId(), "Car.drive"), "ALWAYS_FAILS",
                     "Failed in TokenTypeMgr::getFactory for Rover.drive");
  TokenFactoryId again = tokenFactory("Rover.drive");
  registry.registerFactory(again);
  EXPECT_EQ(again, registry.getFactory(m_schema->getId(), "Car.drive"));
}
