// Archiving finished tokens: which go, in which order, and how many.

#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class ArchiveTest : public TokenFixture {
    protected:
      ArchiveTest() : env("KADRIX_USE_STACK_METHOD", nullptr) {}

      /** A Vehicle.move token over the given start and end bounds. */
      TokenId move(int startLow, int startHigh, int endLow, int endHigh) {
        return (new IntervalToken(db(), "Vehicle.move", true, false, IntervalIntDomain(startLow, startHigh),
                                  IntervalIntDomain(endLow, endHigh), positive(), Token::noObject(), true))
          ->getId();
      }

      EnvSetting env;
    };

    TEST_F(ArchiveTest, FinishedTokensGoEarliestStartFirst) {
      EXPECT_EQ(0u, m_db->archive(100));

      TokenId late = move(20, 20, 30, 50);
      TokenId early = move(5, 5, 10, 50);
      TokenId sameStart = move(5, 5, 10, 40);
      TokenId tooLate = move(0, 10, 20, 51);
      // Ends before 0: still archived.
      TokenId negative = move(-100, -50, -40, -10);
      // A token onto which one is merged cannot go; the merged one is passed over.
      TokenId supporting = move(0, 0, 10, 20);
      supporting->activate();
      TokenId merged = move(0, 0, 10, 20);
      merged->doMerge(supporting);
      ASSERT_TRUE(m_ce->propagate());

      const std::vector<std::string> order{
        TokenRecorder::entry("terminated", negative), TokenRecorder::entry("terminated", early),
        TokenRecorder::entry("terminated", sameStart), TokenRecorder::entry("terminated", late)};
      DebugCapture capture("PlanDatabase:archive");
      recorder->log.clear();
      const size_t before = m_db->getTokens().size();
      EXPECT_EQ(4u, m_db->archive(50));
      EXPECT_EQ(before - 4, m_db->getTokens().size());
      EXPECT_EQ(order, recorder->with("terminated"));
      EXPECT_EQ(4u, recorder->with("removed").size());
      const std::string text = capture.text();
      EXPECT_NE(std::string::npos, text.find("[PlanDatabase:archive:skip]" + tooLate->toString() + " with end time "
                                             + tooLate->end()->toString() + " for tick 50"));
      EXPECT_NE(std::string::npos, text.find("[PlanDatabase:archive:skip]" + supporting->toString()));
      EXPECT_EQ(std::string::npos, text.find(merged->toString()));
      EXPECT_NE(std::string::npos, text.find(" ending by 0 for tick 50"));
      EXPECT_NE(std::string::npos, text.find(" ending by 50 for tick 50"));
      EXPECT_EQ(1u, m_db->archive(51));
      m_db->purge();
      EXPECT_EQ(0u, m_db->archive(100));
    }

    TEST_F(ArchiveTest, SlaveTerminatedByItsMasterIsArchivedToo) {
      TokenId master = move(0, 0, 10, 10);
      master->activate();
      TokenId slave = m_db->createSlaveToken(master, "Vehicle.move", "before");
      slave->start()->restrictBaseDomain(IntervalIntDomain(5, 5));
      slave->end()->restrictBaseDomain(IntervalIntDomain(8, 8));
      ASSERT_TRUE(m_ce->propagate());
      const std::vector<std::string> order{TokenRecorder::entry("terminated", master),
                                           TokenRecorder::entry("terminated", slave)};
      recorder->log.clear();
      EXPECT_EQ(2u, m_db->archive(10));
      EXPECT_EQ(order, recorder->with("terminated"));
      EXPECT_TRUE(m_db->getTokens().empty());
    }

    TEST_F(ArchiveTest, RefusedOnAnInconsistentNetwork) {
      TokenId t = move(0, 0, 10, 10);
      m_ce->createConstraint("precedes", std::vector<ConstrainedVariableId>{t->end(), t->start()});
      EXPECT_FALSE(m_ce->propagate());
      EXPECT_CHECK_FAILURE(m_db->archive(100), "getConstraintEngine()->constraintConsistent()",
                           "Must be propagated to a consistent state before archiving.");
      EXPECT_EQ(1u, m_db->getTokens().size());
      EXPECT_FALSE(t->isTerminated());
    }

  }
}
