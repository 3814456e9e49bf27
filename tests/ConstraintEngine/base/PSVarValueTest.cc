#include "ConstraintEngine/base/PSVarValue.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Utils.hh"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace KADRIX;

namespace {

/** An entity registered under its own address, as objects are. */
class NamedThing : public Entity {
public:
  explicit NamedThing(const std::string& name) : m_id(this), m_name(name) {}
  ~NamedThing() noexcept(false) { m_id.remove(); }
  const LabelStr& getName() const override { return m_name; }
  double asValue() const { return (double) m_id; }

private:
  Id<NamedThing> m_id;
  LabelStr m_name;
};

std::string conditionOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.getCondition();
  }
  return "no failure";
}

} // namespace

TEST(PSVarValueTest, TypedReads) {
  EXPECT_EQ(0, INTEGER);
  EXPECT_EQ(4, OBJECT);

  PSVarValue five(5, INTEGER);
  EXPECT_EQ(INTEGER, five.getType());
  EXPECT_EQ(5, five.asInt());
  EXPECT_EQ(5.0, five.asDouble());
  EXPECT_EQ("5", five.toString());
  EXPECT_EQ(-7, PSVarValue(-7, INTEGER).asInt());

  PSVarValue real(2.5, DOUBLE);
  EXPECT_EQ(2.5, real.asDouble());

  EXPECT_TRUE(PSVarValue(1, BOOLEAN).asBoolean());
  EXPECT_FALSE(PSVarValue(0, BOOLEAN).asBoolean());
  EXPECT_EQ("true", PSVarValue(1, BOOLEAN).toString());
  EXPECT_EQ("false", PSVarValue(0, BOOLEAN).toString());

  PSVarValue text(LabelStr("Red").getKey(), STRING);
  EXPECT_EQ("Red", text.asString());
  EXPECT_EQ("Red", text.toString());
  // Every value hands its numeric form back to the engine.
  EXPECT_EQ(LabelStr("Red").getKey(), text.asDouble());
}

TEST(PSVarValueTest, WrongReadsFail) {
  PSVarValue five(5, INTEGER);
  EXPECT_EQ("m_type == BOOLEAN", conditionOf([&] { five.asBoolean(); }));
  EXPECT_EQ("m_type == STRING", conditionOf([&] { five.asString(); }));
  EXPECT_EQ("m_type == OBJECT", conditionOf([&] { five.asObject(); }));
  EXPECT_EQ("m_type == INTEGER", conditionOf([&] { PSVarValue(1.5, DOUBLE).asInt(); }));
  // An integer beyond int is refused rather than converted with undefined behaviour.
  EXPECT_NE("no failure", conditionOf([&] { PSVarValue(1e12, INTEGER).asInt(); }));
  // A number that is no label key is no string.
  EXPECT_EQ("LabelStr::isString(m_val)", conditionOf([&] { PSVarValue(3, STRING).asString(); }));
  EXPECT_NE("no failure", conditionOf([&] { PSVarValue(1, (PSVarType) 9); }));
}

TEST(PSVarValueTest, ObjectsAreCheckedAgainstTheRegistry) {
  NamedThing* thing = new NamedThing("rover");
  PSVarValue value(thing->asValue(), OBJECT);
  PSEntity* entity = value.asObject();
  EXPECT_EQ(static_cast<PSEntity*>(thing), entity);
  EXPECT_EQ(thing->getKey(), entity->getKey());
  EXPECT_EQ(thing->toString(), value.toString());

  delete thing;
  // The address no longer belongs to a live entity.
  EXPECT_EQ("alive", conditionOf([&] { value.asObject(); }));
  EXPECT_EQ("alive", conditionOf([&] { PSVarValue(0, OBJECT).asObject(); }));
}
