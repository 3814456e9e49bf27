// Which tokens wait to be ordered on which objects, the ordering choices the database
// offers, and the temporal advisor's answers on which they rest.

#include "PlanDatabase/base/PlanDatabase.hh"

#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/component/TimelineFixture.hh"
#include "Utils/base/Utils.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    class PlanDatabaseOrderingTest : public TimelineFixture {
    protected:
      PlanDatabaseOrderingTest() : tl1(timeline("tl1")), tl2(timeline("tl2")) {}

      std::vector<PlanDatabase::OrderingChoice> choicesOf(const TokenId& t, unsigned int limit,
                                                          size_t prefilled = 0) {
        std::vector<PlanDatabase::OrderingChoice> results(prefilled);
        m_db->getOrderingChoices(t, results, limit);
        results.erase(results.begin(), results.begin() + prefilled);
        return results;
      }

      TestTimeline* tl1;
      TestTimeline* tl2;
    };

    TEST_F(PlanDatabaseOrderingTest, EachTimelineReportsAndWithdrawsItsNeed) {
      TokenId t = active();
      EXPECT_TRUE(waits(t, tl1->getId()) && waits(t, tl2->getId()));
      EXPECT_EQ(m_db->getTokensToOrder().size(), 1u);
      tl1->constrain(t, t);
      EXPECT_FALSE(waits(t, tl1->getId()));
      EXPECT_TRUE(waits(t, tl2->getId()));
      m_ce->propagate(); // bound to tl1: tl2 lets it go
      EXPECT_TRUE(m_db->getTokensToOrder().empty());

      TokenId u = active();
      EXPECT_CHECK_FAILS(tl1->add(u), "objects.find(object) == objects.end()",
                         "Should not be present. Must be a synchronization bug with extra notifications.");
      TokenId v = busy();
      EXPECT_CHECK_FAILS(tl1->notifyOrderingNoLongerRequired(v), "it != m_tokensToOrder.end()",
                         "Expect there to be a stored entry. Must be a bug in synchronization. Failed to "
                         "send initial message.");
      EXPECT_CHECK_FAILS(tl1->add(v), "token->isActive()",
                         "Token must be active to induce an ordering:" + v->toString());
    }

    TEST_F(PlanDatabaseOrderingTest, DiscardingAWaitingTokenErasesItsEntry) {
      TokenId t = active();
      const int key = t->getKey();
      t->discard();
      EXPECT_TRUE(m_db->getTokensToOrder().find(key) == m_db->getTokensToOrder().end());
    }

    TEST_F(PlanDatabaseOrderingTest, ChoicesAreCutAtTheLimitInObjectOrder) {
      TokenId a1 = fixed(100, 110), a2 = fixed(100, 110);
      tl1->constrain(a1, a1);
      tl2->constrain(a2, a2);
      m_ce->propagate();
      TokenId t = active(0, 500, 10, 510, 10, 10);
      const ObjectId first = tl1->getKey() < tl2->getKey() ? tl1->getId() : tl2->getId();
      const ObjectId second = first == tl1->getId() ? tl2->getId() : tl1->getId();

      std::vector<PlanDatabase::OrderingChoice> results = choicesOf(t, 3);
      ASSERT_EQ(results.size(), 3u);
      EXPECT_EQ(results[0].first, first);
      EXPECT_EQ(results[1].first, first);
      EXPECT_EQ(results[2].first, second);
      EXPECT_EQ(choicesOf(t, 1).size(), 1u);
      EXPECT_TRUE(choicesOf(t, 0).empty());
      // What the vector held before does not count against the limit.
      EXPECT_EQ(choicesOf(t, 2, 5).size(), 2u);

      ConstraintId broken = breakPlan();
      EXPECT_TRUE(choicesOf(t, 3).empty());
      EXPECT_EQ(m_db->countOrderingChoices(t, 3), 0u);
      EXPECT_FALSE(m_db->hasOrderingChoice(t));
      EXPECT_CHECK_FAILS(m_db->lastOrderingChoiceCount(t), "m_constraintEngine->constraintConsistent()",
                         "Cannot query for ordering choices while database is not constraintConsistent.");
      broken->discard();

      EXPECT_CHECK_FAILS(
          choicesOf(a1, 3), "m_tokensToOrder.find(tokenToOrder->getKey()) != m_tokensToOrder.end()",
          "Should not be calling this method if it is not a token in need of ordering. " + a1->toString());
    }

    TEST_F(PlanDatabaseOrderingTest, CountingAsksEveryObjectTheTokenCanBeOn) {
      TokenId d = drive();
      d->activate();
      EXPECT_EQ(m_db->countOrderingChoices(d, 10), 4u); // r1, r2, r3 and c1, one each
      EXPECT_EQ(m_db->lastOrderingChoiceCount(d), 4u);
      EXPECT_EQ(m_db->countOrderingChoices(d, 1), 1u);
      EXPECT_TRUE(m_db->hasOrderingChoice(d));

      // A timeline that has sequenced the token offers nothing more for it.
      TokenId t = active();
      tl1->constrain(t, t);
      EXPECT_EQ(m_db->countOrderingChoices(t, 5), 0u);
      EXPECT_FALSE(m_db->hasOrderingChoice(t));
    }

    class TemporalAdvisorTest : public TimedTokenFixture {
    protected:
      TemporalAdvisorTest() : advisor(m_db->getTemporalAdvisor()) { make("Timeline", "tl"); }

      TimepointId timepoint(double lb, double ub) { return TimepointId(intVariable(lb, ub)); }

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
      TokenId free1 = busy(-inf(), inf(), -inf(), inf(), 1, inf()),
              free2 = busy(-inf(), inf(), -inf(), inf(), 1, inf());
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
      EXPECT_EQ(
          advisor->getTemporalDistanceDomain(timepoint(inf(), inf()), timepoint(-100, -inf() + 1), false)
              .getLowerBound(),
          -inf());

      // Time points of an external entity are not read, unless only one is.
      TimepointId first = timepoint(0, 10), second = timepoint(20, 30);
      first->setExternalEntity(second);
      EXPECT_EQ(advisor->getTemporalDistanceDomain(first, second, true), IntervalIntDomain(10, 30));
      second->setExternalEntity(first);
      EXPECT_EQ(advisor->getTemporalDistanceDomain(first, second, true), IntervalIntDomain(-inf(), inf()));
    }

  }
}
