// The constraint schema: built-in types, values from text, registered enumerations and
// constraint factories.

#include "ConstraintEngine/base/EngineFixture.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/IdTable.hh"
#include "Utils/base/Utils.hh"

#include <gtest/gtest.h>

#include <cmath>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

using namespace KADRIX;
using TestModel::NoOpConstraint;

namespace {

  const double inf = g_infiniteTime();

  std::string messageOf(const std::function<void()>& f) { return TestModel::failureOf(f).getMessage(); }

  std::string conditionOf(const std::function<void()>& f) {
    Error e = TestModel::failureOf(f);
    EXPECT_EQ("ConstraintEngine/base/ConstraintFactory", e.getFile());
    return e.getCondition();
  }

  std::list<double> labels(const std::list<std::string>& texts) {
    std::list<double> keys;
    for (const std::string& text : texts)
      keys.push_back(LabelStr(text).getKey());
    return keys;
  }

  /** A factory of no constraint class: it keeps the base createConstraint. */
  class NamedFactory : public ConstraintFactory {
  public:
    NamedFactory(const LabelStr& name, bool systemDefined)
      : ConstraintFactory(name, "Default", systemDefined) {}
  };

  /** An object-like domain: symbolic entities whose texts map to fixed values. */
  class ThingDomain : public EnumeratedDomain {
  public:
    explicit ThingDomain(const std::list<double>& values) : EnumeratedDomain(values, false, "Thing") {}
    ThingDomain* copy() const override { return new ThingDomain(*this); }
    bool isEntity() const override { return true; }
    bool convertToMemberValue(const std::string& text, double& value) const override {
      const double candidate = (text == "one" ? 1 : text == "two" ? 2 : -1);
      if (!isMember(candidate))
        return false;
      value = candidate;
      return true;
    }
  };

} // namespace

TEST(CESchemaTest, BuiltInTypesAndTheirBaseDomains) {
  CESchema schema;
  const char* names[] = {"int",  "INT",  "INT_INTERVAL", "float",  "FLOAT",  "REAL_INTERVAL",
                         "bool", "BOOL", "string",       "STRING", "symbol", "SYMBOL"};
  for (const char* name : names) {
    ASSERT_TRUE(schema.isType(name)) << name;
    // Each base domain carries the name it is registered under, and so do its copies.
    std::unique_ptr<AbstractDomain> copy(schema.baseDomain(name).copy());
    EXPECT_EQ(name, copy->getTypeName().toString());
  }
  EXPECT_TRUE(schema.baseDomain("symbol").isOpen() && schema.baseDomain("string").isOpen());
  EXPECT_EQ("Unknown type name Color", messageOf([&] { schema.baseDomain("Color"); }));
  EXPECT_EQ("Unknown type name Color", messageOf([&] { schema.createValue("Color", "Red"); }));
}

TEST(CESchemaTest, ValuesFromText) {
  CESchema schema;
  for (const char* type : {"int", "REAL_INTERVAL"}) {
    EXPECT_EQ(42, schema.createValue(type, "+42")) << type;
    EXPECT_EQ(-inf, schema.createValue(type, "-infinity")) << type;
    // Beyond the infinite bounds, numbers clamp to them.
    EXPECT_EQ(inf, schema.createValue(type, "1e400")) << type;
    for (const char* bad : {"", "12abc", "--1", ".", "1e", "0x10", "nan", "inf1", " 5"})
      EXPECT_THROW(schema.createValue(type, bad), Error) << type << " '" << bad << "'";
    // Zero has no sign: a bound read from "-0" is written back as "0".
    EXPECT_FALSE(std::signbit(schema.createValue(type, "-0"))) << type;
  }
  EXPECT_EQ(-0.25, schema.createValue("FLOAT", "-.25"));
  // Integers must be integral, whatever the spelling.
  EXPECT_EQ(3000, schema.createValue("int", "3e3"));
  EXPECT_THROW(schema.createValue("int", "1e-3"), Error);

  EXPECT_EQ(1, schema.createValue("bool", "TRUE"));
  EXPECT_THROW(schema.createValue("bool", "True"), Error);
  // Any text is a string or a symbol: its label key.
  for (const char* type : {"string", "SYMBOL"})
    EXPECT_EQ(LabelStr("42").getKey(), schema.createValue(type, "42")) << type;
}

TEST(CESchemaTest, EnumerationsRegisteredByModelCode) {
  CESchema schema;
  schema.registerFactory(
      (new EnumeratedTypeFactory("Color", "Color", SymbolDomain(labels({"Red", "Green"}), "Color")))
          ->getId());
  EXPECT_EQ(LabelStr("Red").getKey(), schema.createValue("Color", "Red"));
  EXPECT_EQ("Blue is not a value of Color", messageOf([&] { schema.createValue("Color", "Blue"); }));

  // Numeric enumerations read numbers and check membership.
  schema.registerFactory(
      (new EnumeratedTypeFactory("Sizes", "float",
                                 EnumeratedDomain(std::list<double>{1, 2.5, 4}, true, "Sizes")))
          ->getId());
  EXPECT_EQ(2.5, schema.createValue("Sizes", "2.5"));
  EXPECT_THROW(schema.createValue("Sizes", "big"), Error);

  // Entity domains convert through the domain itself.
  schema.registerFactory((new EnumeratedTypeFactory("Thing", "Thing", ThingDomain({1, 2})))->getId());
  EXPECT_EQ(2, schema.createValue("Thing", "two"));
  EXPECT_EQ("three is not a value of Thing", messageOf([&] { schema.createValue("Thing", "three"); }));
}

TEST(CESchemaTest, RegistrationReplacesAndOwns) {
  Id<TypeFactory> first, second;
  Id<ConstraintFactory> eq1, eq2;
  {
    CESchema schema;
    first = (new EnumeratedTypeFactory("Color", "Color", SymbolDomain(labels({"Red"}), "Color")))->getId();
    schema.registerFactory(first);
    // Registering the same factory again changes nothing.
    schema.registerFactory(first);
    EXPECT_TRUE(first.isValid());
    // A new factory under the same name replaces the old one, which is deleted.
    second = (new EnumeratedTypeFactory("Color", "Color", SymbolDomain(labels({"Red", "Blue"}), "Color")))
                 ->getId();
    schema.registerFactory(second);
    EXPECT_FALSE(first.isValid());
    EXPECT_TRUE(schema.getConstraintFactory("eq").isNoId());
    NamedFactory* eq = new NamedFactory("eq", true);
    eq1 = eq->getId();
    schema.registerConstraintFactory(eq);
    schema.registerConstraintFactory(eq);
    EXPECT_TRUE(eq1.isValid() && schema.isConstraintType("eq"));
    // As a module initialised twice does: the second factory replaces the first.
    eq = new NamedFactory("eq", false);
    eq2 = eq->getId();
    schema.registerConstraintFactory(eq);
    EXPECT_FALSE(eq1.isValid());
    EXPECT_EQ(eq2, schema.getConstraintFactory("eq"));

    EXPECT_THROW(schema.registerFactory(Id<TypeFactory>()), Error);
    EXPECT_THROW(schema.registerConstraintFactory(nullptr), Error);
  }
  // The schema deleted everything registered with it.
  EXPECT_FALSE(second.isValid());
  EXPECT_FALSE(eq2.isValid());
}

TEST(ConstraintFactoryTest, ConcreteFactoryMakesNamedConstraints) {
  CESchema schema;
  ConstraintEngine engine(schema.getId());
  ConcreteConstraintFactory<NoOpConstraint> factory("hasAncestor", "Default", true);
  ConstrainedVariableId x = engine.createVariable("int");
  ConstrainedVariableId y = engine.createVariable("int");
  const int constructed = NoOpConstraint::constructed;
  ConstraintId c = factory.createConstraint(engine.getId(), makeScope(x, y));
  EXPECT_EQ("hasAncestor", c->getName().toString());
  EXPECT_EQ(constructed + 1, NoOpConstraint::constructed);

  // Refused before any constraint is constructed.
  EXPECT_EQ("scope.size() >= 1", conditionOf([&] {
              factory.createConstraint(engine.getId(), std::vector<ConstrainedVariableId>());
            }));
  EXPECT_EQ("constraintEngine.isValid()",
            conditionOf([&] { factory.createConstraint(ConstraintEngineId::noId(), makeScope(x, y)); }));
  EXPECT_EQ(constructed + 1, NoOpConstraint::constructed);

  // The base class makes nothing.
  NamedFactory plain("commonAncestor", false);
  EXPECT_EQ("ALWAYS_FAILS", conditionOf([&] { plain.createConstraint(engine.getId(), makeScope(x, y)); }));
}

TEST(ConstraintFactoryTest, DeletedFactoryGivesUpItsAddress) {
  // Factories made and deleted in turn land on freed addresses again.
  for (int i = 0; i < 50; ++i) {
    NamedFactory* factory = new NamedFactory("commonAncestor", true);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(factory);
    delete factory;
    ASSERT_EQ(0u, IdTable::getKey(address));
  }
}
