#include "Utils/base/Id.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <set>
#include <vector>
#include <sstream>

namespace KADRIX {
  namespace {

    class Face {
    public:
      virtual ~Face() {}
      int faceValue = 7;
    };

    class Base {
    public:
      virtual ~Base() {}
    };

    class Derived : public Base, public virtual Face {
    public:
      static int s_deleted;
      ~Derived() override { ++s_deleted; }
    };
    int Derived::s_deleted = 0;

    class Other : public Base {};

    std::string printed(const Id<Base>& id) {
      std::ostringstream os;
      os << id;
      return os.str();
    }

    const std::string g_base = typeid(Base).name();
    const std::string g_derived = typeid(Derived).name();

    void expectHandleFailure(const Error& e, const std::string& condition, const std::string& message) {
      EXPECT_EQ(e.getCondition(), condition);
      EXPECT_EQ(e.getMessage(), message);
      EXPECT_EQ(e.getLabel(), "IdMgrInvalidItemPtrError");
      EXPECT_EQ(e.getFile(), "Utils/base/Id");
    }
  }

  TEST(IdTest, StatesAndPrinting) {
    Id<Base> null;
    EXPECT_FALSE(null.isId() || null.isValid());
    EXPECT_EQ(printed(null), "noId");

    Base object;
    Id<Base> id(&object);
    EXPECT_TRUE(id.isId() && id.isValid());
    EXPECT_EQ(printed(id), "id_" + std::to_string(id.getKey()));

    expectHandleFailure(TestModel::failureOf([&] { Id<Base> again(&object); }), "m_key != 0",
                        "Cannot generate an Id<" + g_base + "> for a pointer that has not been cleaned up.");
    expectHandleFailure(TestModel::failureOf([] { Id<Base> none(static_cast<Base*>(nullptr)); }), "ptr != 0",
                        "Cannot generate an Id<" + g_base + "> for 0 pointer.");
    EXPECT_TRUE(id.isValid()) << "a failed registration leaves the first one alone";
    id.remove();
  }

  TEST(IdTest, RemoveAndReleaseMakeEveryOtherCopyStale) {
    Base object;
    Id<Base> id(&object);
    Id<Base> copy1 = id, copy2 = id;
    copy1.remove();
    EXPECT_TRUE(id.isId() && !id.isValid());
    EXPECT_EQ(id, copy2) << "stale copies still compare equal";
    expectHandleFailure(TestModel::failureOf([&] { id.remove(); }), "isValid()",
                        "Cannot remove an invalid Id<" + g_base + ">.");

    Derived::s_deleted = 0;
    Id<Base> owned(static_cast<Base*>(new Derived()));
    Id<Base> stale = owned;
    owned.release();
    EXPECT_EQ(Derived::s_deleted, 1);
    EXPECT_FALSE(stale.isValid());
    expectHandleFailure(TestModel::failureOf([&] { stale.release(); }), "isValid()",
                        "Cannot release an invalid Id<" + g_base + ">.");
    EXPECT_EQ(Derived::s_deleted, 1);
  }

  TEST(IdTest, StaleHandleStaysInvalidWhenTheAddressIsReused) {
    alignas(Base) unsigned char storage[sizeof(Base)];
    Base* first = new (storage) Base();
    Id<Base> stale(first);
    Id<Base>(stale).remove();
    first->~Base();

    Base* second = new (storage) Base();
    Id<Base> fresh(second);
    EXPECT_FALSE(stale.isValid());
    EXPECT_NE(stale, fresh);
    EXPECT_FALSE(stale < fresh || fresh < stale);
    EXPECT_EQ((std::set<Id<Base>>{stale, fresh}).size(), 1u);

    // A stale copy neither ends nor deletes the new registration.
    EXPECT_THROW(stale.release(), Error);
    EXPECT_TRUE(fresh.isValid());
    fresh.remove();
    second->~Base();
  }

  TEST(IdTest, HandlesStayExactWhileTheirKeyPagesComeAndGo) {
    // Enough handles to fill and free several pages of keys, one kept across them.
    std::vector<Base> objects(3 * IdTable::s_pageSize);
    Id<Base> kept(&objects[0]);
    std::vector<Id<Base>> stale;
    for (std::size_t i = 1; i < objects.size(); ++i)
      stale.push_back(Id<Base>(&objects[i]));
    for (std::size_t i = 0; i < stale.size(); ++i)
      Id<Base>(stale[i]).remove();
    std::vector<Id<Base>> fresh;
    for (std::size_t i = 1; i < objects.size(); ++i)
      fresh.push_back(Id<Base>(&objects[i]));
    EXPECT_TRUE(kept.isValid());
    for (std::size_t i = 0; i < stale.size(); ++i) {
      ASSERT_FALSE(stale[i].isValid()) << i;
      ASSERT_TRUE(fresh[i].isValid()) << i;
      fresh[i].remove();
    }
    EXPECT_TRUE(kept.isValid());
    kept.remove();
  }

  TEST(IdTest, Numbers) {
    Base object;
    Id<Base> id(&object);
    const double number = id;
    EXPECT_EQ(number, static_cast<double>(reinterpret_cast<std::uintptr_t>(&object)));
    EXPECT_EQ(Id<Base>(number), id);
    EXPECT_TRUE(Id<Base>(-0.0).isNoId());

    const std::string noInstance =
        "Cannot instantiate an Id<" + g_base + "> for this address. No instance present.";
    // Values that cannot be the number of an address fail like an unregistered one.
    const double bad[] = {-number, number + 0.5, std::numeric_limits<double>::quiet_NaN(),
                          18446744073709551616.0 /* 2^64 */};
    for (double value : bad)
      expectHandleFailure(TestModel::failureOf([&] { Id<Base> h(value); }), "m_key != 0", noInstance);
    id.remove();
    expectHandleFailure(TestModel::failureOf([&] { Id<Base> gone(number); }), "m_key != 0", noInstance);
  }

  TEST(IdTest, Casting) {
    Derived* object = new Derived();
    Id<Derived> derived(object);
    Id<Base> base(derived);
    EXPECT_EQ(Id<Derived>(base), derived);
    EXPECT_TRUE(Id<Derived>(Id<Base>::noId()).isNoId());

    // Pointer conversions adjust to a virtual base; null stays null.
    Face* face = derived;
    EXPECT_EQ(face->faceValue, 7);
    EXPECT_EQ(static_cast<Face*>(Id<Derived>()), nullptr);
    Derived* down = base; // unchecked downward conversion
    EXPECT_EQ(down, object);

    // A virtual base lies at another address, which is not registered.
    expectHandleFailure(
        TestModel::failureOf([&] { Id<Face> f(derived); }), "m_key != 0",
        "Cannot create an Id<" + g_derived + "> for this address since no instance is present.");
    derived.release();
  }

  TEST(IdTest, CastFailures) {
    Other other;
    Id<Base> base(static_cast<Base*>(&other));
    expectHandleFailure(TestModel::failureOf([&] { Id<Derived> wrong(base); }), "Id<T>::convertable(org)",
                        "Invalid cast from Id<" + g_base + "> to Id<" + g_derived + ">.");
    EXPECT_FALSE(Id<Derived>::convertable(base));

    // A stale source is reported as having no instance, and is never looked at.
    Id<Base> stale = base;
    base.remove();
    expectHandleFailure(TestModel::failureOf([&] { Id<Derived> gone(stale); }), "m_key != 0",
                        "Cannot create an Id<" + g_base + "> for this address since no instance is present.");
    EXPECT_FALSE(Id<Derived>::convertable(stale));
  }

  TEST(IdTest, RegistryGivesFreshKeys) {
    Base object;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(&object);
    const std::size_t before = IdTable::size();
    unsigned int first = IdTable::insert(address, "first");
    EXPECT_NE(first, 0u);
    EXPECT_EQ(IdTable::insert(address, "again"), 0u);
    EXPECT_STREQ(IdTable::getTypeName(address), "first");
    EXPECT_TRUE(IdTable::remove(address));
    EXPECT_FALSE(IdTable::remove(address));
    EXPECT_NE(IdTable::insert(address, "second"), first);
    IdTable::remove(address);
    EXPECT_EQ(IdTable::size(), before);
    EXPECT_EQ(IdTable::insert(0, "null"), 0u) << "the null address is never registered";
  }

}
