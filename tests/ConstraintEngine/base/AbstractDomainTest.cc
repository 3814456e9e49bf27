#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/DomainComparator.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/Error.hh"
#include "DomainTestListener.hh"

#include <gtest/gtest.h>

#include <sstream>

namespace KADRIX {
namespace {

/** An enumerated domain of entities, with its own printer. */
class EntityDomain : public EnumeratedDomain {
public:
  EntityDomain() : EnumeratedDomain(false, "Things") {}
  EntityDomain* copy() const override { return new EntityDomain(*this); }
  bool isEntity() const override { return true; }
  void operator>>(std::ostream& os) const override {
    AbstractDomain::operator>>(os);
    os << "<" << getSize() << " things>";
  }
};

/** Compares only domains of the same type name. */
class SameTypeComparator : public DomainComparator {
public:
  bool canCompare(const AbstractDomain& x, const AbstractDomain& y) const override {
    return x.getTypeName() == y.getTypeName();
  }
};

TEST(AbstractDomainTest, ComparatorRuleAndInstallation) {
  IntervalIntDomain ints;
  EnumeratedDomain reals(std::list<double>{1.5}, true, "float");
  SymbolDomain symbols("Color");
  EntityDomain things;
  EXPECT_TRUE(AbstractDomain::canBeCompared(ints, reals));
  EXPECT_FALSE(AbstractDomain::canBeCompared(symbols, things));
  {
    SameTypeComparator outer;
    EXPECT_FALSE(AbstractDomain::canBeCompared(ints, reals));
    EXPECT_TRUE(AbstractDomain::canBeCompared(symbols, SymbolDomain("Color")));
    {
      SameTypeComparator inner;
      EXPECT_EQ(&inner, DomainComparator::getComparator());
    }
    // The current comparator went away: the default rule again.
    EXPECT_EQ(nullptr, DomainComparator::getComparator());
    EXPECT_TRUE(AbstractDomain::canBeCompared(ints, reals));
    SameTypeComparator* earlier = new SameTypeComparator();
    SameTypeComparator later;
    delete earlier;
    EXPECT_EQ(&later, DomainComparator::getComparator()) << "destroying another comparator leaves the current one";
  }
  EXPECT_EQ(nullptr, DomainComparator::getComparator());
}

TEST(AbstractDomainTest, TextForms) {
  EnumeratedDomain reals(std::list<double>{2.5, -1, 268435455}, true, "float");
  EXPECT_EQ("float:CLOSED{-1, 2.5, +inf}", reals.toString());
  EXPECT_EQ("int:OPEN{}", EnumeratedDomain(true, "int").toString());
  EXPECT_EQ("Color:CLOSED{Red}", SymbolDomain(std::list<double>{LabelStr("Red")}, "Color").toString());
  // The printer is virtual, so toString and operator<< use a subclass's printer.
  EntityDomain things;
  EXPECT_EQ("Things:OPEN<0 things>", things.toString());
  std::ostringstream thingsText;
  thingsText << static_cast<const AbstractDomain&>(things);
  EXPECT_EQ("Things:OPEN<0 things>", thingsText.str());
}

TEST(AbstractDomainTest, ConvertToMemberValue) {
  IntervalIntDomain ints(0, 10);
  double value = -7;
  EXPECT_TRUE(ints.convertToMemberValue("5", value));
  EXPECT_EQ(5, value);
  for (const char* rejected : {"11", "", " 5", "5x", "2.5"}) {
    value = -7;
    EXPECT_FALSE(ints.convertToMemberValue(rejected, value)) << rejected;
    EXPECT_EQ(-7, value) << rejected;
  }
  SymbolDomain colors(std::list<double>{LabelStr("Red")}, "Color");
  EXPECT_TRUE(colors.convertToMemberValue("Red", value));
  EXPECT_EQ(LabelStr("Red").getKey(), value);
  EXPECT_FALSE(colors.convertToMemberValue("Green", value));
}

TEST(AbstractDomainTest, ListenerThatIsGoneIsNotCalled) {
  IntervalIntDomain dom(0, 10);
  RecordingListener* listener = new RecordingListener();
  dom.setListener(listener->getId());
  dom.intersect(1, 10);
  EXPECT_EQ(Changes{DomainListener::LOWER_BOUND_INCREASED}, listener->take());
  delete listener;
  EXPECT_THROW(dom.intersect(2, 10), Error);
  dom.setListener(DomainListenerId::noId());
  EXPECT_TRUE(dom.intersect(3, 10));
}

TEST(AbstractDomainTest, EqualityComparesValuesAndState) {
  EXPECT_EQ(IntervalIntDomain(1, 3), IntervalIntDomain(1, 3, "int"));
  EXPECT_EQ(IntervalIntDomain(3, 1), EnumeratedDomain(std::list<double>{}, true, "int"));
  EXPECT_NE(IntervalIntDomain(1, 1), EnumeratedDomain(1.0, true, "int"));
  EXPECT_NE(EnumeratedDomain(true, "int"), EnumeratedDomain(std::list<double>{}, true, "int"));
}

} // namespace
} // namespace KADRIX
