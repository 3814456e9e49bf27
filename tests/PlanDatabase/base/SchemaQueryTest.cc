// Queries on a declared model: the type tree, inherited predicates, members, enumerations,
// predicates of object types and the comparison of domains.

#include "PlanDatabase/base/Schema.hh"

#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <list>
#include <set>
#include <vector>

using namespace KADRIX;

namespace {
  class SchemaQueryTest : public TestModel::Fixture {};
}

TEST_F(SchemaQueryTest, IsAFollowsTheParentChain) {
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

TEST_F(SchemaQueryTest, PredicatesAreInheritedOneLevelAtATime) {
  Schema& schema = *m_schema;
  EXPECT_TRUE(schema.isPredicate("Car.move"));
  EXPECT_EQ(LabelStr("Rover.move"), schema.getParent("Car.move")); // not added itself
  EXPECT_EQ(LabelStr("Car"), schema.getObjectType("Car.drive"));
  EXPECT_FALSE(schema.hasParent("Vehicle.move") || schema.hasParent("Color") || schema.hasParent("Nothing.drive"));
  EXPECT_CHECK_FAILS(schema.hasParent("Nothing"), "predicate.countElements(getDelimiter()) == 2",
                       "Invalid format for predicate Nothing");
  EXPECT_CHECK_FAILS(schema.getParent("Object"), "hasParent(type)",
                       "Object does not have a parent.");
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
  EXPECT_CHECK_FAILS(schema.getParameterType("Rover.drive", 5),
                       "paramIndex < getParameterCount(predicate)", "5 is not a valid index");
}

TEST_F(SchemaQueryTest, AncestorListsFollowLaterDeclarations) {
  Schema& schema = *m_schema;
  EXPECT_EQ((std::vector<LabelStr>{LabelStr("Car"), LabelStr("Rover"), LabelStr("Vehicle"),
                                   LabelStr("Object")}),
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

TEST_F(SchemaQueryTest, MembersAreFoundUpTheChain) {
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

TEST_F(SchemaQueryTest, EnumerationsAndPredicatesOfTypes) {
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
  EXPECT_EQ((std::set<LabelStr>{LabelStr("Battery.charge"), LabelStr("Vehicle.move"),
                                LabelStr("Rover.drive"), LabelStr("Wheel.turn")}),
            all);
}

TEST_F(SchemaQueryTest, ObjectDomainsCompareOnlyWithObjectDomains) {
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
