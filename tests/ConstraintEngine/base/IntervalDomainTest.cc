#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>

namespace KADRIX {
namespace {

const double inf = 268435455;

void expectBounds(const AbstractDomain& dom, double lb, double ub) {
  EXPECT_EQ(lb, dom.getLowerBound()) << dom.toString();
  EXPECT_EQ(ub, dom.getUpperBound()) << dom.toString();
}

EnumeratedDomain numbers(std::list<double> vals) {
  return EnumeratedDomain(vals, true, "int");
}

TEST(IntervalDomainTest, IntegerBoundsRoundInwards) {
  expectBounds(IntervalIntDomain(-2.5, -0.5), -2, -1);
  EXPECT_TRUE(IntervalIntDomain(0.2, 0.8).isEmpty());
  IntervalIntDomain dom(0, 10);
  dom.intersect(0.5, 3.7);
  expectBounds(dom, 1, 3);
  EXPECT_FALSE(dom.isMember(2.5));
  dom.intersect(IntervalDomain(1.2, 2.9));
  expectBounds(dom, 2, 2);
  dom.set(2.4); // not an integer, so not a member
  EXPECT_TRUE(dom.isEmpty());
  // A copy keeps its class, and so its rounding.
  std::unique_ptr<AbstractDomain> copy(IntervalIntDomain(0, 10).copy());
  ASSERT_NE(nullptr, dynamic_cast<IntervalIntDomain*>(copy.get()));
  copy->intersect(0.5, 9.5);
  expectBounds(*copy, 1, 9);
}

TEST(IntervalDomainTest, BoundsClampToInfinity) {
  expectBounds(IntervalDomain(-1e12, 1e12), -inf, inf);
  expectBounds(IntervalIntDomain(5, 1e9), 5, inf);
  IntervalIntDomain full;
  EXPECT_FALSE(full.intersect(-1e10, 1e10));
  EXPECT_TRUE(full.isMember(1e12)) << "values beyond infinity are infinity";
  full.intersect(0, inf + 5);
  expectBounds(full, 0, inf);
  EXPECT_EQ("INT_INTERVAL:CLOSED[0, +inf]", full.toString());
  IntervalDomain empty(3, 1);
  expectBounds(empty, inf, -inf);
  EXPECT_EQ("REAL_INTERVAL:CLOSED[]", empty.toString());
  EXPECT_THROW(IntervalDomain(0, std::nan("")), Error);
}

TEST(IntervalDomainTest, SaturatingBoundArithmetic) {
  EXPECT_EQ(-inf, lowerBoundSum(lowerBoundSum(-inf, 5), 7)) << "chains stay at exactly -inf";
  EXPECT_EQ(-inf, lowerBoundSum(inf, -inf));
  EXPECT_EQ(inf, upperBoundSum(-inf, inf));
  EXPECT_EQ(inf, lowerBoundSum(2e8, 2e8)) << "finite sums beyond infinity clamp";
  EXPECT_EQ(-inf, lowerBoundDifference(10, inf));
  EXPECT_EQ(inf, upperBoundDifference(inf, inf));
  EXPECT_EQ(3, lowerBoundDifference(5, 2));
}

TEST(IntervalDomainTest, OperationsIntervalsRefuse) {
  IntervalIntDomain dom(0, 10);
  IntervalDomain real(0, 10);
  EXPECT_THROW(dom.open(), Error);
  EXPECT_EQ("isOpen()", TestModel::failureOf([&] { dom.insert(11); }).getCondition());
  EXPECT_THROW(real.remove(0), Error);
  std::list<double> listed;
  EXPECT_THROW(real.getValues(listed), Error);
  EXPECT_THROW(dom.intersect(EnumeratedDomain(false, "Color")), Error);
  expectBounds(dom, 0, 10);
}

TEST(IntervalDomainTest, SizeIntersectsAndSubset) {
  EXPECT_EQ(2 * 268435455u + 1, IntervalIntDomain().getSize());
  EXPECT_EQ(UINT_MAX, IntervalDomain(0, 1).getSize());

  // Integer and enumerated counterparts are covered by the randomized test.
  EXPECT_FALSE(IntervalDomain(0.2, 0.8).intersects(IntervalIntDomain(0, 1)));
  EXPECT_TRUE(IntervalDomain(0, 1).intersects(IntervalDomain(1, 2)));
  EXPECT_FALSE(IntervalDomain(1, 2).isSubsetOf(IntervalIntDomain(0, 5)));
  EXPECT_FALSE(IntervalDomain(1, 2).isSubsetOf(numbers({1, 2})));
  EXPECT_TRUE(IntervalDomain(2, 2).isSubsetOf(IntervalIntDomain(0, 5)));
  EXPECT_FALSE(IntervalIntDomain().isSubsetOf(numbers({1, 3})));
}

TEST(IntervalDomainTest, BoolDomain) {
  EXPECT_EQ("BOOL:CLOSED[false, true]", BoolDomain().toString());
  BoolDomain yes(true, "bool");
  EXPECT_EQ(typeid(BoolDomain), typeid(*std::unique_ptr<AbstractDomain>(yes.copy())));
  EXPECT_TRUE(yes.relax(BoolDomain()));
  EXPECT_THROW(yes.relax(IntervalIntDomain(0, 5)), Error);
}

} // namespace
} // namespace KADRIX
