// The domains of the plan database: objects (construction, text forms, reading members
// from text, object lists) and token states.

#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/StateDomain.hh"

#include "ConstraintEngine/base/SymbolDomain.hh"

#include "ConstraintEngine/base/DomainTestListener.hh"
#include "PlanDatabase/model/TestModel.hh"
#include "Utils/base/Entity.hh"

#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

using namespace KADRIX;

namespace {

  /** Stands in for a plan object: an entity registered under its own handle. */
  class Thing : public Entity {
  public:
    Thing() : m_id(this) {}
    ~Thing() { m_id.remove(); }
    const Id<Thing>& getId() const { return m_id; }

  private:
    Id<Thing> m_id;
  };

  class ObjectDomainTest : public ::testing::Test {
  protected:
    ObjectDomainTest() {
      for (int i = 0; i < 3; i++)
        m_things.emplace_back(new Thing());
    }

    Id<Thing> thing(int i) const { return m_things[i]->getId(); }
    double value(int i) const { return static_cast<double>(thing(i)); }

    std::vector<std::unique_ptr<Thing>> m_things;
  };

} // namespace

TEST_F(ObjectDomainTest, ConstructionAndState) {
  ObjectDomain some(std::list<Id<Thing>>{thing(2), thing(0), thing(2)}, "Rover");
  EXPECT_EQ(2u, some.getSize());
  EXPECT_EQ(value(1), ObjectDomain(thing(1), "Rover").getSingletonValue());

  std::unique_ptr<AbstractDomain> copy(some.copy());
  ASSERT_NE(nullptr, dynamic_cast<ObjectDomain*>(copy.get()));
  EXPECT_TRUE(*copy == some);

  Id<Thing> gone;
  {
    Thing temporary;
    gone = temporary.getId();
  }
  EXPECT_CHECK_FAILS(ObjectDomain(std::list<Id<Thing>>{thing(0), gone}), "object.isValid()", "");
}

TEST_F(ObjectDomainTest, ConversionRequiresObjectValues) {
  EnumeratedDomain objects(std::list<double>{value(0), value(1)}, false, "Rover");
  ObjectDomain converted(objects);
  EXPECT_TRUE(converted.isEntity() && converted.getSize() == 2);
  EXPECT_TRUE(ObjectDomain(EnumeratedDomain(false, "Rover")).isEmpty());

  EnumeratedDomain numbers(std::list<double>{1, 2}, true, "int");
  EXPECT_CHECK_FAILS(ObjectDomain{numbers}, "org.isEmpty() || ObjectId(org.getLowerBound()).isValid()",
                     "Attempted to construct an object domain with values of non-object type int");
}

TEST_F(ObjectDomainTest, ReadingAMemberFromItsKey) {
  ObjectDomain domain(std::list<Id<Thing>>{thing(0), thing(1)}, "Rover");
  const int key = thing(0)->getKey();
  const std::string text = std::to_string(key);
  double result = -1;
  EXPECT_TRUE(domain.convertToMemberValue(text, result));
  EXPECT_EQ(value(0), result);

  for (const std::string& form : {"  " + text, text + " 12"}) {
    result = -1;
    EXPECT_TRUE(domain.convertToMemberValue(form, result)) << form;
    EXPECT_EQ(value(0), result) << form;
  }

  // An object outside the domain, a text without digits, an unknown key, an entity that is
  // no registered object, a key beyond the range of keys: no member, result untouched.
  Entity unregistered;
  const long long wrapped = static_cast<long long>(key) + 4294967296LL;
  for (const std::string& form :
       {std::to_string(thing(2)->getKey()), std::string("abc"), std::string("-") + text,
        std::to_string(unregistered.getKey()), std::to_string(wrapped)}) {
    result = -1;
    EXPECT_FALSE(domain.convertToMemberValue(form, result)) << form;
    EXPECT_EQ(-1, result) << form;
  }
}

TEST_F(ObjectDomainTest, TextForms) {
  ObjectDomain domain(std::list<Id<Thing>>{thing(0)});
  EXPECT_EQ(0u, domain.toString().find("OBJECT-"));
  EXPECT_EQ(thing(0)->toString(), domain.toString(value(0)));
  EXPECT_CHECK_FAILS(domain.toString(value(1)), "isMember(value)",
                     "Caught an invalid attempt to display a value not in this domain");

  Entity::purgeStart();
  std::string whilePurging = domain.toString(value(0));
  Entity::purgeEnd();
  EXPECT_EQ("Object data unavailable while purging (might no longer exist)", whilePurging);
}

TEST_F(ObjectDomainTest, ObjectListsFollowTheValues) {
  ObjectDomain domain(std::list<Id<Thing>>{thing(2), thing(1), thing(0)});
  std::list<double> values;
  domain.getValues(values);
  std::list<double> listed;
  for (const Id<Thing>& object : domain.makeObjectList<Thing>())
    listed.push_back(static_cast<double>(object));
  EXPECT_EQ(values, listed);
}

TEST(StateDomainTest, CopiesAndText) {
  // Labels made in an order whose keys differ from the order of the texts.
  StateDomain states("States");
  EXPECT_EQ("TokenStates:OPEN{}", states.toString());
  for (const char* name : {"REJECTED_X", "MERGED_X", "ACTIVE_X"})
    states.insert(LabelStr(name).getKey());
  EXPECT_EQ("TokenStates:OPEN{ACTIVE_X,MERGED_X,REJECTED_X}", states.toString());
  states.close();

  // A copy is a StateDomain again, not a plain enumerated domain.
  std::unique_ptr<AbstractDomain> copy(states.copy());
  const AbstractDomain& copied = *copy;
  EXPECT_EQ(typeid(StateDomain), typeid(copied));
  EXPECT_TRUE(*copy == states);
  EXPECT_TRUE(StateDomain(static_cast<const AbstractDomain&>(states)) == states);

  SymbolDomain other(LabelStr("Colors"));
  EXPECT_CHECK_FAILS(StateDomain bad(other), "org.getTypeName().toString() == \"TokenStates\"",
                     "Attempted to construct a StateDomain with invalid type Colors");
}

TEST_F(ObjectDomainTest, InsertingManyMergesThemWithOneReport) {
  RecordingListener listener;
  ObjectDomain domain("Rover");
  domain.setListener(listener.getId());
  const struct {
    std::vector<int> inserted;
    std::vector<int> expected;
    Changes reported;
  } steps[] = {
      {{2, 0, 2}, {0, 2}, {DomainListener::RELAXED}},
      {{1, 0}, {0, 1, 2}, {DomainListener::RELAXED}},
      {{1}, {0, 1, 2}, {}},
      {{}, {0, 1, 2}, {}},
  };
  for (const auto& step : steps) {
    std::vector<double> inserted;
    for (int i : step.inserted)
      inserted.push_back(value(i));
    domain.insertAll(inserted);
    ObjectDomain expected("Rover");
    for (int i : step.expected)
      expected.insert(value(i));
    EXPECT_TRUE(domain == expected) << domain.toString();
    EXPECT_EQ(step.reported, listener.take());
  }
  domain.close();
  EXPECT_CHECK_FAILS(
      domain.insertAll({value(0)}), "isOpen()",
      "Cannot insert " + domain.toString(value(0)) + " into the closed domain " + domain.toString() + ".");
}
