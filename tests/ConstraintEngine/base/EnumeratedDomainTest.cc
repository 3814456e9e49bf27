#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "DomainTestListener.hh"
#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace KADRIX {
namespace {

typedef DomainListener L;

std::list<double> values(const AbstractDomain& dom) {
  std::list<double> result;
  dom.getValues(result);
  return result;
}

EnumeratedDomain numbers(std::list<double> vals, bool closed = true) {
  EnumeratedDomain dom(vals, true, "int");
  if (!closed)
    dom.open();
  return dom;
}

std::string conditionOf(const std::function<void()>& operation) {
  return test::failureOf(operation).getCondition();
}

struct ChangeCase {
  const char* what;
  std::list<double> initial;
  bool closed;
  std::function<bool(EnumeratedDomain&)> operation; // returns the reported "changed" or true
  Changes expected;
  std::list<double> after;
};

TEST(EnumeratedDomainTest, EachOperationReportsItsChangeType) {
  const std::list<double> five = {1, 2, 3, 4, 5};
  const std::vector<ChangeCase> cases = {
    {"bounds both ends", five, true, [](EnumeratedDomain& d) { return d.intersect(1.5, 4.5); }, {L::BOUNDS_RESTRICTED}, {2, 3, 4}},
    {"interior removal", five, true, [](EnumeratedDomain& d) { d.remove(3); return true; }, {L::VALUE_REMOVED}, {1, 2, 4, 5}},
    {"to one value", five, true, [](EnumeratedDomain& d) { return d.intersect(4.5, 9); }, {L::RESTRICT_TO_SINGLETON}, {5}},
    {"set same singleton", {3}, true, [](EnumeratedDomain& d) { d.set(3); return true; }, {L::SET_TO_SINGLETON}, {3}},
    {"close empty", {}, false, [](EnumeratedDomain& d) { d.close(); return true; }, {L::EMPTIED}, {}},
    {"open to nothing", five, false, [](EnumeratedDomain& d) { return d.intersect(6, 9); }, {L::VALUE_REMOVED}, {}},
    // Covered throughout by the randomized test; these pin the exact reports.
    {"superset", five, true, [](EnumeratedDomain& d) { return !d.intersect(0, 9); }, {}, {1, 2, 3, 4, 5}},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EnumeratedDomain dom = numbers(c.initial, c.closed);
    RecordingListener listener;
    dom.setListener(listener.getId());
    EXPECT_TRUE(c.operation(dom));
    EXPECT_EQ(c.expected, listener.take());
    EXPECT_EQ(c.after, values(dom));
    const std::string what = c.what;
    bool toggles = what == "close empty" || what == "open";
    EXPECT_EQ(toggles != c.closed, dom.isClosed()) << "only close and open change open or closed";
  }
}

TEST(EnumeratedDomainTest, ConstructionAndConversion) {
  EnumeratedDomain open(true, "int");
  // Sorted, duplicates (within minDelta) kept once, numbers clamped to infinity.
  EnumeratedDomain dom(std::list<double>{3, 1, 3, 1.0000001, -1e12, 2e9}, true, "int");
  EXPECT_EQ((std::list<double>{minusInfinity(), 1, 3, plusInfinity()}), values(dom));
  EXPECT_TRUE(dom.isMember(3.0000001));
  std::list<double> reused = {99};
  dom.getValues(reused);
  EXPECT_EQ(values(dom), reused) << "the list is replaced, not appended to";
  EXPECT_FALSE(dom.isMember(2));

  open.insert(5);
  EnumeratedDomain converted(static_cast<const AbstractDomain&>(open));
  EXPECT_TRUE(converted.isOpen());
  EXPECT_EQ(open, converted);
  EXPECT_EQ("org.isEnumerated()", conditionOf([] { EnumeratedDomain bad(IntervalIntDomain(0, 1)); }));
  EXPECT_EQ("isOpen()", conditionOf([&] { dom.insert(2); }));
  EXPECT_EQ("!isEmpty()", conditionOf([] { EnumeratedDomain(true, "int").getLowerBound(); }));
  EXPECT_EQ("isSingleton()", conditionOf([&] { dom.getSingletonValue(); }));
}

TEST(EnumeratedDomainTest, CopyKeepsClassAndStateButNotListener) {
  LabelStr red("red"), green("green");
  std::list<double> colors = {red, green};
  std::vector<std::unique_ptr<EnumeratedDomain>> originals;
  originals.emplace_back(new EnumeratedDomain(colors, false, "Color"));
  originals.emplace_back(new StringDomain(colors, "Names"));
  originals.emplace_back(new SymbolDomain(colors, "Color"));
  originals.emplace_back(new StringDomain("Names"));
  for (const std::unique_ptr<EnumeratedDomain>& original : originals) {
    SCOPED_TRACE(original->toString());
    RecordingListener listener;
    original->setListener(listener.getId());
    std::unique_ptr<EnumeratedDomain> copy(original->copy());
    EXPECT_EQ(typeid(*original), typeid(*copy));
    EXPECT_EQ(*original, *copy);
    EXPECT_EQ(original->getTypeName(), copy->getTypeName());
    EXPECT_TRUE(copy->getListener().isNoId());
    copy->close();
    copy->empty();
    EXPECT_TRUE(listener.take().empty());
    EXPECT_EQ(colors.size() * (original->isClosed() ? 1 : 0), original->getSize());
  }
}

TEST(EnumeratedDomainTest, SymbolicDomains) {
  LabelStr big("big");
  StringDomain one(big, "Size");
  EXPECT_EQ("Size:CLOSED{big}", one.toString());
  // Label keys lie far beyond the infinite bound and are not clamped.
  EXPECT_EQ(big.getKey(), one.getSingletonValue());
  SymbolDomain open("Color");
  EXPECT_THROW(open.insert(3.0), Error);
  EXPECT_THROW(SymbolDomain(std::list<double>{1.0}, "Color"), Error);
  EXPECT_FALSE(one.intersects(IntervalIntDomain()));
  EXPECT_FALSE(one.isSubsetOf(IntervalIntDomain()));
  EXPECT_THROW(one.intersect(EnumeratedDomain(1.0, true, "int")), Error);
  EXPECT_THROW(one.relax(EnumeratedDomain(1.0, true, "int")), Error);
}

TEST(EnumeratedDomainTest, FractionalValuesAgainstIntervals) {
  // Integer values are covered by the randomized test; integer intervals hold only integers.
  EnumeratedDomain dom = numbers({1, 2.5, 4});
  EXPECT_FALSE(dom.intersects(IntervalIntDomain(2, 3)));
  EXPECT_TRUE(dom.intersects(IntervalDomain(2, 3)));
  EXPECT_TRUE(dom.isSubsetOf(IntervalDomain(1, 4)));
  EXPECT_FALSE(dom.isSubsetOf(IntervalIntDomain(1, 4)));
  EXPECT_TRUE(dom.intersect(IntervalIntDomain(0, 10)));
  EXPECT_EQ((std::list<double>{1, 4}), values(dom));
}

} // namespace
} // namespace KADRIX
