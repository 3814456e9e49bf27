#include "PlanDatabase/base/TemporalAdvisor.hh"

#include "PlanDatabase/component/TimelineFixture.hh"
#include "Utils/base/Utils.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    class TemporalAdvisorTest : public TimedTokenFixture {
    protected:
      TemporalAdvisorTest() : advisor(m_db->getTemporalAdvisor()) { make("Timeline", "tl"); }

      TimepointId timepoint(double lb, double ub) {
        return TimepointId((new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(lb, ub)))
                             ->getId());
      }

      static double inf() { return g_infiniteTime(); }

      TemporalAdvisorId advisor;
    };

    TEST_F(TemporalAdvisorTest, PrecedenceAllowsTouching) {
      TokenId a = busy(0, 10, 20, 30, 1, 30);
      TokenId b = busy(20, 20, 30, 40, 1, 20);
      TokenId c = busy(0, 19, 5, 40, 1, 40);
      EXPECT_TRUE(advisor->canPrecede(a, b));
      EXPECT_FALSE(advisor->canPrecede(a, c));
      EXPECT_TRUE(advisor->canPrecede(c, a));
      EXPECT_TRUE(advisor->canPrecede(timepoint(5, 9), timepoint(0, 5)));
      EXPECT_FALSE(advisor->canPrecede(timepoint(6, 9), timepoint(0, 5)));
      EXPECT_TRUE(advisor->canBeConcurrent(a, a));
    }

    TEST_F(TemporalAdvisorTest, FittingNeedsTheMinimumDuration) {
      TokenId pred = busy(0, 0, 10, 10, 10, 10);
      TokenId succ = busy(10, 15, 20, 25, 10, 10);
      EXPECT_TRUE(advisor->canFitBetween(busy(0, 100, 5, 105, 5, 5), pred, succ));
      EXPECT_FALSE(advisor->canFitBetween(busy(0, 100, 6, 106, 6, 6), pred, succ));

      TokenId t = busy();
      EXPECT_CHECK_FAILS(advisor->canFitBetween(t, pred, pred), "successor != predecessor", "");
      EXPECT_CHECK_FAILS(advisor->canFitBetween(t, pred, t), "token != successor", "");
      EXPECT_CHECK_FAILS(advisor->canFitBetween(t, t, succ), "token != predecessor", "");

      // Unbounded tokens fit and precede each other.
      TokenId free1 = busy(-inf(), inf(), -inf(), inf(), 1, inf()), free2 = busy(-inf(), inf(), -inf(), inf(), 1, inf());
      EXPECT_TRUE(advisor->canFitBetween(busy(-inf(), inf(), -inf(), inf(), 1, inf()), free1, free2));
      EXPECT_TRUE(advisor->canPrecede(free1, free2));
    }

    TEST_F(TemporalAdvisorTest, DistanceFromTheBounds) {
      EXPECT_EQ(advisor->getTemporalDistanceDomain(timepoint(0, 10), timepoint(20, 30), true),
                IntervalIntDomain(10, 30));
      EXPECT_EQ(advisor->getTemporalDistanceDomain(timepoint(0, 10), timepoint(-inf(), 30), false),
                IntervalIntDomain(-inf(), 30));
      EXPECT_EQ(advisor->getTemporalDistanceDomain(timepoint(-inf(), 10), timepoint(20, inf()), false),
                IntervalIntDomain(10, inf()));
      // Bounds past infinity are clamped.
      EXPECT_EQ(advisor->getTemporalDistanceDomain(timepoint(-inf(), -100), timepoint(inf(), inf()), false),
                IntervalIntDomain(inf(), inf()));
      EXPECT_EQ(advisor->getTemporalDistanceDomain(timepoint(inf(), inf()), timepoint(-100, -inf() + 1), false)
                  .getLowerBound(), -inf());

      // Time points of an external entity are not read, unless only one is.
      TimepointId first = timepoint(0, 10), second = timepoint(20, 30);
      first->setExternalEntity(second);
      EXPECT_EQ(advisor->getTemporalDistanceDomain(first, second, true), IntervalIntDomain(10, 30));
      second->setExternalEntity(first);
      EXPECT_EQ(advisor->getTemporalDistanceDomain(first, second, true), IntervalIntDomain(-inf(), inf()));
    }

  }
}
