// Declaring a model: object types, predicates, members, enumerations, reset, lifetime.

#include "PlanDatabase/base/Schema.hh"

#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <sstream>

using namespace KADRIX;

namespace {
  class EmptySchemaTest : public TestModel::Fixture {
  protected:
    EmptySchemaTest() : TestModel::Fixture(false) {}
  };
  class ModelSchemaTest : public TestModel::Fixture {};

  Id<CESchema> handleOf(const CESchema& ces) { return ces.getId(); }
}

TEST_F(EmptySchemaTest, NewSchemaHoldsOnlyTheRootAndThePrimitives) {
  Schema& schema = *m_schema;
  EXPECT_EQ(1u, schema.getAllObjectTypes().size());
  for (const char* primitive : {"int", "float", "bool", "string"})
    EXPECT_TRUE(schema.isPrimitive(primitive)) << primitive;
  EXPECT_FALSE(schema.isType("symbol"));
  std::ostringstream os;
  schema.write(os);
  EXPECT_EQ("SCHEMA RULES:\n", os.str());
  EXPECT_CHECK_FAILS(schema.addPrimitive("int"), "!isPrimitive(primitiveName)", "int is already defined.");
}

TEST_F(EmptySchemaTest, ObjectTypesAndTheirTypeFactories) {
  Schema& schema = *m_schema;
  schema.addObjectType("Rover");
  EXPECT_EQ(LabelStr("Object"), schema.getParent("Rover"));
  Id<TypeFactory> factory = m_ces->getFactory("Rover");
  const AbstractDomain& base = m_ces->baseDomain("Rover");
  EXPECT_NE(nullptr, dynamic_cast<const ObjectDomain*>(&base));
  EXPECT_TRUE(base.isOpen() && base.isEmpty() && base.getTypeName() == LabelStr("Rover"));

  EXPECT_CHECK_FAILS(schema.addObjectType("Rover"),
                       "childOfRelation.find(objectType) == childOfRelation.end()",
                       "Rover is already defined.");
  EXPECT_TRUE(factory.isValid()) << "a refused declaration registers nothing";
  EXPECT_CHECK_FAILS(schema.addObjectType("Car", "Vehicle"), "isObjectType(parent)",
                       "Vehicle is undefined.");

  // Forward declaration: a type without parent, members or factory until it is added.
  schema.declareObjectType("Car");
  EXPECT_FALSE(schema.hasParent("Car") || m_ces->getFactory("Car").isValid());
  EXPECT_CHECK_FAILS(schema.getMembers("Car"), "it != membershipRelation.end()",
                       "Unable to find members for object type:Car");
  schema.addObjectType("Car", "Rover");
  EXPECT_TRUE(m_ces->getFactory("Car").isValid());
}

TEST_F(EmptySchemaTest, TheTypeTreeNeverGetsACycle) {
  Schema& schema = *m_schema;
  schema.addObjectType("Rover");
  EXPECT_THROW(schema.addObjectType("Object", "Rover"), Error);
  schema.declareObjectType("Vehicle");
  schema.addObjectType("Truck", "Vehicle");
  EXPECT_CHECK_FAILS(schema.addObjectType("Vehicle", "Truck"), "!isA(parent, objectType)",
                       "Vehicle is an ancestor of Truck and cannot extend it.");
  EXPECT_THROW(schema.addObjectType("Vehicle", "Vehicle"), Error);
  EXPECT_FALSE(schema.hasParent("Vehicle"));
}

TEST_F(EmptySchemaTest, PredicatesAndMembers) {
  Schema& schema = *m_schema;
  schema.addObjectType("Rover");
  schema.addObjectType("Car", "Rover");
  schema.addObjectType("Battery");
  schema.addPredicate("Rover.drive");
  EXPECT_CHECK_FAILS(schema.addPredicate("Rover.drive"),
                       "predicates.find(predicate) == predicates.end()",
                       "Rover.drive already defined.");
  const char* format = "predicate.countElements(getDelimiter()) == 2";
  const char* expect = "Expect predicate names to be structured as <objectType>.<predicate>. ";
  EXPECT_CHECK_FAILS(schema.addPredicate("Rover.drive.fast"), format,
                       std::string(expect) + "Not found in Rover.drive.fast");
  EXPECT_CHECK_FAILS(schema.addPredicate("Nothing.drive"),
                       "isObjectType(predicate.getElement(0, getDelimiter()))",
                       "Object Type not defined for Nothing.drive.");

  schema.addMember("Rover", "int", "speed");
  // Any primitive is-a any other, so a float speed is the inherited speed again.
  EXPECT_CHECK_FAILS(schema.addMember("Car", "float", "speed"),
                       "!canContain(parentType, memberType, memberName)",
                       "Car already contains speed");
  EXPECT_EQ(0u, schema.addMember("Car", "Battery", "speed"));
  EXPECT_EQ(LabelStr("Battery"), schema.getMemberType("Car", "speed"));

  EXPECT_CHECK_FAILS(schema.addMember("Nothing", "int", "x"), "isType(parentType)",
                       "Nothing is undefined.");
  EXPECT_THROW(schema.addMember("Rover", "Gizmo", "other"), Error);

  // A predicate known only through its ancestor takes members once it is added itself.
  EXPECT_CHECK_FAILS(schema.addMember("Car.drive", "int", "gear"),
                       "membershipRelation.find(parentType) != membershipRelation.end()",
                       "Car.drive is only inherited; add it as a predicate before adding members.");
  schema.addPredicate("Car.drive");
  EXPECT_EQ(0u, schema.addMember("Car.drive", "int", "gear"));
}

TEST_F(EmptySchemaTest, Enumerations) {
  Schema& schema = *m_schema;
  schema.addEnum("Color");
  schema.addValue("Color", LabelStr("Red"));
  schema.addValue("Color", LabelStr("Red"));
  schema.addValue("Color", 3.5);
  EXPECT_EQ(2u, schema.getEnumValues("Color").size());
  schema.addObjectType("Rover");
  EXPECT_CHECK_FAILS(schema.addEnum("Rover"), "!isObjectType(enumName)",
                       "Rover is already defined as an object type.");
  EXPECT_THROW(schema.addValue("Size", 1), Error);
  // The object-type operations do not look at enumerations.
  schema.addObjectType("Color");
  EXPECT_TRUE(schema.isEnum("Color") && schema.isObjectType("Color"));
}

TEST_F(ModelSchemaTest, ResetDropsTheModelAndWhatWasRememberedOfIt) {
  Schema& schema = *m_schema;
  ASSERT_EQ(4u, schema.getAllObjectTypes("Car").size());
  TokenFactoryId drive = (new TestModel::StubTokenFactory("Rover.drive"))->getId();
  ObjectFactoryId rover = (new TestModel::StubObjectFactory("Rover"))->getId();
  schema.registerTokenFactory(drive);
  schema.registerObjectFactory(rover);
  ASSERT_EQ(drive, schema.getTokenFactory("Car.drive"));
  ASSERT_EQ(rover, schema.getObjectFactory("Car", {}));

  schema.reset();
  EXPECT_EQ(1u, schema.getAllObjectTypes().size());
  EXPECT_FALSE(schema.isObjectType("Rover") || schema.isEnum("Color"));
  EXPECT_TRUE(m_ces->getFactory("Rover").isValid() && drive.isValid() && rover.isValid())
    << "type, object and token factories stay registered";

  // A new model in which Car is no Rover: nothing answers from the old tree.
  schema.declareObjectType("Car");
  EXPECT_EQ(1u, schema.getAllObjectTypes("Car").size());
  EXPECT_CHECK_FAILS(schema.getParent("Car"), "hasParent(type)", "Car does not have a parent.");
  schema.addObjectType("Rover");
  schema.addObjectType("Car", "Object");
  schema.addPredicate("Rover.drive");
  schema.addPredicate("Car.drive");
  EXPECT_EQ(2u, schema.getAllObjectTypes("Car").size());
  EXPECT_FALSE(schema.hasParent("Car.drive"));
  EXPECT_CHECK_FAILS(schema.getTokenFactory("Car.drive"), "ALWAYS_FAILS",
                       "Failed in TokenTypeMgr::getFactory for Car.drive");
  EXPECT_CHECK_FAILS(schema.getObjectFactory("Car", {}), "ALWAYS_FAILS",
                       "Factory 'Car' is not registered.");
  EXPECT_EQ(rover, schema.getObjectFactory("Rover", {}));
}

TEST(SchemaLifetimeTest, KeepsItsOwnConstraintSchemaHandle) {
  CESchema ces;
  Schema schema("TestSchema", handleOf(ces)); // a temporary handle, gone right after
  EXPECT_EQ(ces.getId(), schema.getCESchema());
  schema.addObjectType("Rover");
  EXPECT_TRUE(ces.getFactory("Rover").isValid());
}

TEST(SchemaLifetimeTest, TwoSchemasDoNotShareAnswers) {
  CESchema ces;
  Schema first("First", ces.getId());
  first.addObjectType("Rover");
  first.addObjectType("Car", "Rover");
  first.addPredicate("Rover.drive");
  ASSERT_TRUE(first.hasParent("Car") && first.hasParent("Car.drive"));

  Schema second("Second", ces.getId());
  second.declareObjectType("Car");
  EXPECT_FALSE(second.hasParent("Car"));
  EXPECT_FALSE(second.isPredicate("Car.drive"));
}

TEST(SchemaDebugTest, LinesNameTheSchema) {
  CESchema ces;
  TestModel::DebugCapture capture("Schema:");
  Schema schema("Engine", ces.getId());
  schema.addObjectType("Rover");
  schema.addPredicate("Rover.drive");
  schema.addMember("Rover.drive", "int", "speed");
  schema.addEnum("Color");
  schema.addValue("Color", LabelStr("Red"));
  EXPECT_EQ(0u, capture.text().find("[Schema:addPrimitive][Engine] Adding primitive type int\n"));
  EXPECT_EQ("[Schema:constructor]created Schema:Engine\n"
            "[Schema:addObjectType][Engine] Added object type Rover that extends Object\n"
            "[Schema:addPredicate][Engine] Added predicate Rover.drive\n"
            "[Schema:addMember][Engine] Added to Rover.drive: int speed\n"
            "[Schema:addEnum][Engine] Added enumeration Color\n"
            "[Schema:addValue][Engine] Added Red to Color\n",
            capture.text().substr(capture.text().find("[Schema:constructor]")));
}
