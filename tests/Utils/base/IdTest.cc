#include "Utils/base/Id.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <set>
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

    const std::string& idLabel() { return IdErr::IdMgrInvalidItemPtrError(); }

    std::string baseName() { return typeid(Base).name(); }
    std::string derivedName() { return typeid(Derived).name(); }
  }

  TEST(IdTest, NullHandleState) {
    Id<Base> id;
    EXPECT_TRUE(id.isNoId());
    EXPECT_FALSE(id.isId());
    EXPECT_FALSE(id.isValid());
    EXPECT_TRUE(id.isInvalid());
    EXPECT_EQ(printed(id), "noId");
    EXPECT_EQ(id, Id<Base>::noId());
    EXPECT_EQ(&Id<Base>::noId(), &Id<Base>::noId());
    EXPECT_EQ(static_cast<double>(id), 0.0);
    EXPECT_EQ(static_cast<Base*>(id), nullptr);
  }

  TEST(IdTest, RegisteredHandleIsValidAndPrintsItsKey) {
    Base object;
    Id<Base> id(&object);
    EXPECT_TRUE(id.isId());
    EXPECT_TRUE(id.isValid());
    EXPECT_FALSE(id.isNoId());
    EXPECT_NE(id.getKey(), 0u);
    EXPECT_EQ(printed(id), "id_" + std::to_string(id.getKey()));
    EXPECT_EQ(id.operator->(), &object);
    EXPECT_EQ(&*id, &object);
    Id<Base> copy = id;
    EXPECT_EQ(copy, id);
    id.remove();
  }

  TEST(IdTest, RegistrationFailures) {
    Error e = test::failureOf([] { Id<Base> id(static_cast<Base*>(nullptr)); });
    EXPECT_EQ(e.getCondition(), "ptr != 0");
    EXPECT_EQ(e.getMessage(), "Cannot generate an Id<" + baseName() + "> for 0 pointer.");
    EXPECT_EQ(e.getLabel(), "IdMgrInvalidItemPtrError");
    EXPECT_EQ(e.getFile(), "Utils/base/Id");

    Base object;
    Id<Base> id(&object);
    e = test::failureOf([&] { Id<Base> again(&object); });
    EXPECT_EQ(e.getCondition(), "m_key != 0");
    EXPECT_EQ(e.getMessage(),
              "Cannot generate an Id<" + baseName() + "> for a pointer that has not been cleaned up.");
    EXPECT_EQ(e.getLabel(), idLabel());
    EXPECT_TRUE(id.isValid()) << "the failed registration leaves the first one alone";
    id.remove();
  }

  TEST(IdTest, RemoveMakesEveryOtherCopyStale) {
    Base object;
    Id<Base> id(&object);
    Id<Base> copy1 = id;
    Id<Base> copy2 = id;
    copy1.remove();
    EXPECT_TRUE(copy1.isNoId());
    EXPECT_FALSE(id.isValid());
    EXPECT_TRUE(id.isId());
    EXPECT_EQ(id, copy2) << "stale copies still compare equal";
    EXPECT_EQ(IdTable::getKey(reinterpret_cast<std::uintptr_t>(&object)), 0u);

    Error e = test::failureOf([&] { id.remove(); });
    EXPECT_EQ(e.getCondition(), "isValid()");
    EXPECT_EQ(e.getMessage(), "Cannot remove an invalid Id<" + baseName() + ">.");
    EXPECT_EQ(e.getLabel(), idLabel());
  }

  TEST(IdTest, StaleHandleStaysInvalidWhenTheAddressIsReused) {
    alignas(Base) unsigned char storage[sizeof(Base)];
    Base* first = new (storage) Base();
    Id<Base> stale(first);
    Id<Base> remover = stale;
    remover.remove();
    first->~Base();

    Base* second = new (storage) Base();
    Id<Base> fresh(second);
    EXPECT_TRUE(fresh.isValid());
    EXPECT_FALSE(stale.isValid());
    EXPECT_NE(stale, fresh);
    EXPECT_FALSE(stale < fresh);
    EXPECT_FALSE(fresh < stale);
    std::set<Id<Base>> byAddress{stale, fresh};
    EXPECT_EQ(byAddress.size(), 1u);

    // A stale copy must neither end nor delete the new registration.
    EXPECT_CHECK_FAILS(stale.remove(), "isValid()",
                       "Cannot remove an invalid Id<" + baseName() + ">.");
    EXPECT_CHECK_FAILS(stale.release(), "isValid()",
                       "Cannot release an invalid Id<" + baseName() + ">.");
    EXPECT_TRUE(fresh.isValid());
    fresh.remove();
    second->~Base();
  }

  TEST(IdTest, ReleaseDeletesTheObject) {
    Derived::s_deleted = 0;
    Id<Base> id(static_cast<Base*>(new Derived()));
    Id<Base> copy = id;
    id.release();
    EXPECT_EQ(Derived::s_deleted, 1);
    EXPECT_TRUE(id.isNoId());
    EXPECT_TRUE(copy.isId());
    EXPECT_FALSE(copy.isValid());
    EXPECT_CHECK_FAILS(copy.release(), "isValid()",
                       "Cannot release an invalid Id<" + baseName() + ">.");
    EXPECT_EQ(Derived::s_deleted, 1);
  }

  TEST(IdTest, NumberRoundTrip) {
    Base object;
    Id<Base> id(&object);
    double number = id;
    EXPECT_EQ(number, static_cast<double>(reinterpret_cast<std::uintptr_t>(&object)));
    Id<Base> back(number);
    EXPECT_EQ(back, id);
    EXPECT_TRUE(back.isValid());
    id.remove();

    Error e = test::failureOf([&] { Id<Base> gone(number); });
    EXPECT_EQ(e.getCondition(), "m_key != 0");
    EXPECT_EQ(e.getMessage(),
              "Cannot instantiate an Id<" + baseName() + "> for this address. No instance present.");
    EXPECT_EQ(e.getLabel(), idLabel());

    EXPECT_TRUE(Id<Base>(0.0).isNoId());
    EXPECT_TRUE(Id<Base>(-0.0).isNoId());
  }

  TEST(IdTest, NumbersThatCannotBeAddressesAreNotRegistered) {
    Base object;
    Id<Base> id(&object);
    const double address = id;
    const double bad[] = {-address, address + 0.5, std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN(), 1e300,
                          18446744073709551616.0 /* 2^64 */};
    for (double value : bad) {
      Error e = test::failureOf([&] { Id<Base> h(value); });
      EXPECT_EQ(e.getCondition(), "m_key != 0") << value;
      EXPECT_EQ(e.getMessage(),
                "Cannot instantiate an Id<" + baseName() + "> for this address. No instance present.");
    }
    id.remove();
  }

  TEST(IdTest, Casting) {
    Derived* object = new Derived();
    Id<Derived> derived(object);
    Id<Base> base(derived);
    EXPECT_TRUE(base.isValid());
    EXPECT_EQ(base.getKey(), derived.getKey());
    Id<Derived> back(base);
    EXPECT_EQ(back, derived);
    EXPECT_TRUE(Id<Derived>::convertable(base));

    Id<Derived> assigned;
    assigned = base;
    EXPECT_EQ(assigned, derived);

    Id<Derived> fromNull(Id<Base>::noId());
    EXPECT_TRUE(fromNull.isNoId());
    EXPECT_FALSE(Id<Derived>::convertable(Id<Base>::noId()));

    // Pointer conversions adjust to a virtual base; null stays null.
    Face* face = derived;
    EXPECT_EQ(face, static_cast<Face*>(object));
    EXPECT_EQ(face->faceValue, 7);
    EXPECT_EQ(static_cast<Face*>(Id<Derived>()), nullptr);
    Derived* down = base; // unchecked downward conversion
    EXPECT_EQ(down, object);

    derived.release();
  }

  TEST(IdTest, CastFailures) {
    Other other;
    Id<Base> base(static_cast<Base*>(&other));
    Error e = test::failureOf([&] { Id<Derived> wrong(base); });
    EXPECT_EQ(e.getCondition(), "Id<T>::convertable(org)");
    EXPECT_EQ(e.getMessage(),
              "Invalid cast from Id<" + baseName() + "> to Id<" + derivedName() + ">.");
    EXPECT_EQ(e.getLabel(), idLabel());
    EXPECT_FALSE(Id<Derived>::convertable(base));

    // A stale source is reported as having no instance, and never looked at.
    Id<Base> stale = base;
    base.remove();
    e = test::failureOf([&] { Id<Derived> gone(stale); });
    EXPECT_EQ(e.getCondition(), "m_key != 0");
    EXPECT_EQ(e.getMessage(), "Cannot create an Id<" + baseName() +
                              "> for this address since no instance is present.");
    EXPECT_FALSE(Id<Derived>::convertable(stale));

    // Upcast to a virtual base at another address: that address is not registered.
    Derived* object = new Derived();
    Id<Derived> derived(object);
    e = test::failureOf([&] { Id<Face> face(derived); });
    EXPECT_EQ(e.getCondition(), "m_key != 0");
    EXPECT_EQ(e.getMessage(), "Cannot create an Id<" + derivedName() +
                              "> for this address since no instance is present.");
    derived.release();
  }

  TEST(IdTest, RegistryKeys) {
    Base object;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(&object);
    const std::size_t before = IdTable::size();
    unsigned int first = IdTable::insert(address, "first");
    EXPECT_NE(first, 0u);
    EXPECT_EQ(IdTable::insert(address, "again"), 0u);
    EXPECT_EQ(IdTable::getKey(address), first);
    EXPECT_STREQ(IdTable::getTypeName(address), "first");
    EXPECT_EQ(IdTable::size(), before + 1);
    EXPECT_TRUE(IdTable::remove(address));
    EXPECT_FALSE(IdTable::remove(address));
    EXPECT_EQ(IdTable::getKey(address), 0u);
    EXPECT_EQ(IdTable::getTypeName(address), nullptr);
    unsigned int second = IdTable::insert(address, "second");
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    IdTable::remove(address);
    EXPECT_EQ(IdTable::size(), before);
  }

}
