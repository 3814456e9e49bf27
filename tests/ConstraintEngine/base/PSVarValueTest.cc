#include "ConstraintEngine/base/PSVarValue.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/LabelStr.hh"

#include <gtest/gtest.h>

using namespace KADRIX;

namespace {

  /** An entity registered under its own address, as objects are. */
  class Thing : public Entity {
  public:
    Thing() : m_id(this) {}
    ~Thing() noexcept(false) { m_id.remove(); }
    double asValue() const { return static_cast<double>(m_id); }

  private:
    Id<Thing> m_id;
  };

} // namespace

TEST(PSVarValueTest, TypedReads) {
  EXPECT_EQ("false", PSVarValue(0, BOOLEAN).toString());
  PSVarValue text(LabelStr("Red").getKey(), STRING);
  EXPECT_EQ("Red", text.toString());
  // Every value hands its numeric form back to the engine.
  EXPECT_EQ(LabelStr("Red").getKey(), text.asDouble());
}

TEST(PSVarValueTest, WrongReadsFail) {
  PSVarValue five(5, INTEGER);
  EXPECT_THROW(five.asBoolean(), Error);
  EXPECT_THROW(PSVarValue(1.5, DOUBLE).asInt(), Error);
  // Beyond int: refused rather than converted with undefined behaviour.
  EXPECT_THROW(PSVarValue(1e12, INTEGER).asInt(), Error);
  // A number that is no label key is no string.
  EXPECT_THROW(PSVarValue(3, STRING).asString(), Error);
  EXPECT_THROW(PSVarValue(1, static_cast<PSVarType>(9)), Error);
}

TEST(PSVarValueTest, ObjectsAreCheckedAgainstTheRegistry) {
  Thing* thing = new Thing();
  PSVarValue value(thing->asValue(), OBJECT);
  EXPECT_EQ(static_cast<PSEntity*>(thing), value.asObject());
  EXPECT_EQ(thing->toString(), value.toString());
  delete thing;
  // The address no longer belongs to a live entity.
  EXPECT_THROW(value.asObject(), Error);
  EXPECT_THROW(PSVarValue(0, OBJECT).asObject(), Error);
}
