#include "Utils/base/Entity.hh"
#include "Utils/base/EntityIterator.hh"
#include "Utils/base/Utils.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace {
    class Thing : public Entity {
    public:
      Thing() : m_id(this) {}
      ~Thing() noexcept(false) override { discard(false); m_id.remove(); }
      const Id<Thing>& getId() const { return m_id; }
    private:
      Id<Thing> m_id;
    };
  }

  TEST(SmokeTest, HandlesAndEntitiesWorkTogether) {
    Thing* thing = new Thing();
    Id<Thing> id = thing->getId();
    EXPECT_TRUE(id.isValid());
    Id<Entity> asEntity(id);
    EXPECT_EQ(Entity::getEntity(thing->getKey()), asEntity);
    thing->discard(true);
    EXPECT_FALSE(id.isValid());
    EXPECT_EQ(LabelStr("a.b").getElement(1, "."), LabelStr("b"));
    EXPECT_EQ(toString(42.0), "42");
  }
}
