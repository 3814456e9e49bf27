// Token factories: look-up by predicate with ancestor fallback, registration rules, ownership.

#include "PlanDatabase/base/TokenFactory.hh"

#include "ConstraintEngine/base/CESchema.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

using namespace KADRIX;

namespace {

  TokenFactoryId makeFactory(const char* predicate) {
    return (new TestModel::StubTokenFactory(predicate))->getId();
  }

  class TokenFactoryTest : public TestModel::Fixture {
  protected:
    TokenFactoryId lookUp(const char* predicate) { return m_schema->getTokenFactory(predicate); }
  };

} // namespace

TEST_F(TokenFactoryTest, AncestorFactoryServesInheritedPredicates) {
  TokenFactoryId drive = makeFactory("Rover.drive");
  m_schema->registerTokenFactory(drive);
  EXPECT_EQ(drive, lookUp("Car.drive"));

  EXPECT_CHECK_FAILS(lookUp("Car.fly"), "schema->isPredicate(predicateName)",
                       "Car.fly is undefined.");
  // The search climbs to the top of the chain and reports it there.
  EXPECT_CHECK_FAILS(lookUp("Car.move"), "ALWAYS_FAILS",
                       "Failed in TokenTypeMgr::getFactory for Vehicle.move");
}

TEST_F(TokenFactoryTest, AnswersAreRememberedAtEveryLevelClimbed) {
  TokenTypeMgr registry;
  TokenFactoryId move = makeFactory("Vehicle.move");
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
  TokenFactoryId first = makeFactory("Rover.drive");
  TokenFactoryId second = makeFactory("Rover.drive");
  m_schema->registerTokenFactory(first);
  m_schema->registerTokenFactory(second);
  EXPECT_EQ(first, lookUp("Car.drive"));
  EXPECT_TRUE(second.isValid());

  EXPECT_CHECK_FAILS(m_schema->registerTokenFactory(first),
                       "m_factories.find(factory) == m_factories.end()", "");
  EXPECT_CHECK_FAILS(m_schema->registerTokenFactory(TokenFactoryId()), "factory.isValid()", "");

  // Both are owned, and deleted with the schema.
  m_schema.reset();
  EXPECT_FALSE(first.isValid() || second.isValid());
}

TEST_F(TokenFactoryTest, OwnRegistrationReplacesARememberedFallback) {
  TokenFactoryId drive = makeFactory("Rover.drive");
  m_schema->registerTokenFactory(drive);
  ASSERT_EQ(drive, lookUp("Car.drive"));
  TokenFactoryId carDrive = makeFactory("Car.drive");
  m_schema->registerTokenFactory(carDrive);
  EXPECT_EQ(carDrive, lookUp("Car.drive"));
  EXPECT_EQ(drive, lookUp("Rover.drive"));

  // A nearer ancestor's factory takes over from a farther one for remembered descendants.
  TokenFactoryId move = makeFactory("Vehicle.move");
  m_schema->registerTokenFactory(move);
  ASSERT_EQ(move, lookUp("Car.move"));
  TokenFactoryId roverMove = makeFactory("Rover.move");
  m_schema->registerTokenFactory(roverMove);
  EXPECT_EQ(roverMove, lookUp("Car.move"));
  EXPECT_EQ(move, lookUp("Vehicle.move"));
}

TEST_F(TokenFactoryTest, PurgeEmptiesTheRegistry) {
  TokenTypeMgr registry;
  TokenFactoryId drive = makeFactory("Rover.drive");
  registry.registerFactory(drive);
  ASSERT_EQ(drive, registry.getFactory(m_schema->getId(), "Car.drive"));
  registry.purgeAll();
  EXPECT_FALSE(drive.isValid() || registry.hasFactory());
  EXPECT_CHECK_FAILS(registry.getFactory(m_schema->getId(), "Car.drive"), "ALWAYS_FAILS",
                       "Failed in TokenTypeMgr::getFactory for Rover.drive");
  TokenFactoryId again = makeFactory("Rover.drive");
  registry.registerFactory(again);
  EXPECT_EQ(again, registry.getFactory(m_schema->getId(), "Car.drive"));
}
