// Declaring a model (object types, predicates, members, enumerations, reset, lifetime) and
// queries on a declared one (the type tree, inherited predicates, members, enumerations,
// predicates of object types, the comparison of domains).

#include "PlanDatabase/base/Schema.hh"

#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <list>
#include <set>
#include <sstream>
#include <vector>

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
  EXPECT_CHECK_FAILS(schema.addObjectType("Car", "Vehicle"), "isObjectType(parent)", "Vehicle is undefined.");

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
  EXPECT_CHECK_FAILS(schema.addPredicate("Rover.drive"), "predicates.find(predicate) == predicates.end()",
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
                     "!canContain(parentType, memberType, memberName)", "Car already contains speed");
  EXPECT_EQ(0u, schema.addMember("Car", "Battery", "speed"));
  EXPECT_EQ(LabelStr("Battery"), schema.getMemberType("Car", "speed"));

  EXPECT_CHECK_FAILS(schema.addMember("Nothing", "int", "x"), "isType(parentType)", "Nothing is undefined.");
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
  EXPECT_CHECK_FAILS(schema.getObjectFactory("Car", {}), "ALWAYS_FAILS", "Factory 'Car' is not registered.");
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
  EXPECT_EQ(
      "[Schema:constructor]created Schema:Engine\n"
      "[Schema:addObjectType][Engine] Added object type Rover that extends Object\n"
      "[Schema:addPredicate][Engine] Added predicate Rover.drive\n"
      "[Schema:addMember][Engine] Added to Rover.drive: int speed\n"
      "[Schema:addEnum][Engine] Added enumeration Color\n"
      "[Schema:addValue][Engine] Added Red to Color\n",
      capture.text().substr(capture.text().find("[Schema:constructor]")));
}

TEST_F(ModelSchemaTest, IsAFollowsTheParentChain) {
  Schema& schema = *m_schema;
  EXPECT_TRUE(schema.isA("Undeclared", "Undeclared"));
  EXPECT_TRUE(schema.isA("int", "string"));
  EXPECT_FALSE(schema.isA("Color", "int"));
  EXPECT_TRUE(schema.isA("Car", "Vehicle") && schema.isA("Car.drive", "Rover.drive"));
  EXPECT_FALSE(schema.isA("Object", "Car") || schema.isA("Rover.drive", "Car.drive"));
  EXPECT_CHECK_FAILS(schema.isA("Gizmo", "Car"), "isType(descendant)", "Gizmo is not defined.");
  EXPECT_CHECK_FAILS(schema.isA("Car", "Gizmo"), "isType(ancestor)",
                     "Ancestor of 'Car' is 'Gizmo' which is not defined.");
}

TEST_F(ModelSchemaTest, PredicatesAreInheritedOneLevelAtATime) {
  Schema& schema = *m_schema;
  EXPECT_TRUE(schema.isPredicate("Car.move"));
  EXPECT_EQ(LabelStr("Rover.move"), schema.getParent("Car.move")); // not added itself
  EXPECT_EQ(LabelStr("Car"), schema.getObjectType("Car.drive"));
  EXPECT_FALSE(schema.hasParent("Vehicle.move") || schema.hasParent("Color") ||
               schema.hasParent("Nothing.drive"));
  EXPECT_CHECK_FAILS(schema.hasParent("Nothing"), "predicate.countElements(getDelimiter()) == 2",
                     "Invalid format for predicate Nothing");
  EXPECT_CHECK_FAILS(schema.getParent("Object"), "hasParent(type)", "Object does not have a parent.");
  EXPECT_CHECK_FAILS(schema.getObjectType("Wheel.drive"), "isPredicate(predicate)",
                     "Predicate Wheel.drive is not defined, but we expect all predicates to be "
                     "defined. See 'isPredicate'");
  EXPECT_FALSE(schema.canBeAssigned("Rover", "Car.drive"));
  EXPECT_CHECK_FAILS(schema.canBeAssigned("Color", "Rover.drive"), "isObjectType(objectType)",
                     "Color is not defined as an ObjectType");
  EXPECT_CHECK_FAILS(schema.getParameterCount("Car.drive"),
                     "membershipRelation_it != membershipRelation.end()",
                     "Car.drive not found in the membership relation");
  EXPECT_EQ(LabelStr("float"), schema.getParameterType("Rover.drive", 1));
  EXPECT_CHECK_FAILS(schema.getParameterType("Rover.drive", 5), "paramIndex < getParameterCount(predicate)",
                     "5 is not a valid index");
}

TEST_F(ModelSchemaTest, AncestorListsFollowLaterDeclarations) {
  Schema& schema = *m_schema;
  EXPECT_EQ(
      (std::vector<LabelStr>{LabelStr("Car"), LabelStr("Rover"), LabelStr("Vehicle"), LabelStr("Object")}),
      schema.getAllObjectTypes("Car"));
  EXPECT_EQ(2u, schema.getAllObjectTypes("Car.drive").size()); // Vehicle declares no drive
  schema.declareObjectType("Gadget");
  EXPECT_EQ(1u, schema.getAllObjectTypes("Gadget").size());
  schema.addObjectType("Widget", "Gadget");
  EXPECT_EQ(2u, schema.getAllObjectTypes("Widget").size());
  schema.addObjectType("Gadget", "Vehicle");
  EXPECT_EQ(3u, schema.getAllObjectTypes("Gadget").size());
  EXPECT_EQ(4u, schema.getAllObjectTypes("Widget").size());
}

TEST_F(ModelSchemaTest, MembersAreFoundUpTheChain) {
  Schema& schema = *m_schema;
  EXPECT_EQ(LabelStr("float"), schema.getMemberType("Car.drive", "distance"));
  EXPECT_EQ(1u, schema.getIndexFromName("Car", "color")); // counted in Rover's own list
  EXPECT_EQ(LabelStr("distance"), schema.getNameFromIndex("Car.drive", 1));
  EXPECT_CHECK_FAILS(schema.getNameFromIndex("Car", 2), "hasParent(parentType)",
                     "Object has no member with index 2");

  // Built-in names belong to predicates and are never indexed.
  EXPECT_TRUE(schema.hasMember("Car.move", "state"));
  EXPECT_CHECK_FAILS(schema.getIndexFromName("Rover.drive", "start"), "hasParent(type)",
                     "Rover.drive does not have a parent.");
  EXPECT_CHECK_FAILS(schema.getMemberType("Car", "wings"), "hasMember(parentType, memberName)",
                     "wings is not a member of Car");
  EXPECT_FALSE(schema.canContain("Car", "Car", "battery"));
}

TEST_F(ModelSchemaTest, EnumerationsAndPredicatesOfTypes) {
  Schema& schema = *m_schema;
  EXPECT_EQ(LabelStr("Color"), schema.getEnumFromMember("Red"));
  EXPECT_CHECK_FAILS(schema.getEnumFromMember("Purple"), "ALWAYS_FAILS",
                     "Purple is not a member of any enumeration.");
  EXPECT_CHECK_FAILS(schema.getEnumValues("Shape"), "isEnum(enumName)",
                     "Shape is not a defined enumeration.");
  std::list<LabelStr> enums(1, LabelStr("kept"));
  schema.getEnumerations(enums);
  EXPECT_EQ((std::list<LabelStr>{LabelStr("kept"), LabelStr("Color")}), enums);

  EXPECT_FALSE(schema.hasPredicates("Wheel"));
  EXPECT_CHECK_FAILS(schema.hasPredicates("Gizmo"), "isType(objectType)", "Gizmo is undefined");
  schema.addPredicate("Wheel.turn");
  EXPECT_TRUE(schema.hasPredicates("Wheel")) << "a remembered 'none' must not outlive a predicate";

  std::set<LabelStr> own;
  schema.getPredicates("Car", own);
  EXPECT_EQ((std::set<LabelStr>{LabelStr("drive"), LabelStr("move")}), own);
  std::set<LabelStr> all;
  schema.getPredicates(all);
  EXPECT_EQ((std::set<LabelStr>{LabelStr("Battery.charge"), LabelStr("Vehicle.move"), LabelStr("Rover.drive"),
                                LabelStr("Wheel.turn")}),
            all);
}

TEST_F(ModelSchemaTest, ObjectDomainsCompareOnlyWithObjectDomains) {
  Schema& schema = *m_schema;
  ObjectDomain rovers("Rover");
  ObjectDomain cars("Car");
  EnumeratedDomain colors(false, "Color");
  EnumeratedDomain symbols(false, "SYMBOL");
  EXPECT_FALSE(schema.canCompare(colors, rovers));
  EXPECT_TRUE(schema.canCompare(colors, symbols));
  EXPECT_FALSE(schema.canCompare(ObjectDomain(), symbols)); // "Objects" is no type: engine's rule
  // The schema is the comparator the engine asks.
  EXPECT_FALSE(AbstractDomain::canBeCompared(rovers, colors));
  EXPECT_TRUE(AbstractDomain::canBeCompared(rovers, cars));
}
