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

// Each operation's change reports are checked against a model by the randomized test.

TEST(EnumeratedDomainTest, ConstructionAndConversion) {
  EnumeratedDomain open(true, "int");
  // Sorted, duplicates (within minDelta) kept once, numbers clamped to infinity.
  EnumeratedDomain dom(std::list<double>{3, 1, 3, 1.0000001, -1e12, 2e9}, true, "int");
  EXPECT_EQ((std::list<double>{minusInfinity(), 1, 3, plusInfinity()}), values(dom));
  std::list<double> reused = {99};
  dom.getValues(reused);
  EXPECT_EQ(values(dom), reused) << "the list is replaced, not appended to";

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

TEST(EnumeratedDomainTest, FewValuesAgainstMany) {
  std::list<double> many;
  for (int i = 0; i < 40; ++i)
    many.push_back(i);
  const struct {
    std::list<double> few;
    std::list<double> kept;
    DomainListener::ChangeType reported;
  } cases[] = {
    {{7}, {7}, DomainListener::RESTRICT_TO_SINGLETON},
    {{-3, 5, 17.000001, 50}, {5, 17}, DomainListener::VALUE_REMOVED},
    {{0.5, 41}, {}, DomainListener::EMPTIED},
    {{0, 39}, {0, 39}, DomainListener::VALUE_REMOVED},
  };
  for (const auto& c : cases) {
    RecordingListener listener;
    EnumeratedDomain dom = numbers(many);
    dom.setListener(listener.getId());
    EXPECT_TRUE(dom.intersect(numbers(c.few)));
    EXPECT_EQ(c.kept, values(dom));
    EXPECT_EQ(Changes{c.reported}, listener.take());
  }
}

} // namespace
} // namespace KADRIX
