// Rewinding to a breakpoint gives back the plan played up to it, for streams
// drawn from a mix of retractions (RetractionMix.hh) with a breakpoint at a
// random place: one plan plays the stream up to the breakpoint; another plays
// all of it and rewinds to the breakpoint, as a log (recorded meanwhile) and
// as a stream, and then to the start. The plans are compared as written
// (objects, tokens and what holds them on their timelines, by name and path).
// Both mixes run: the retractions alone, and the wider mix, whose merges,
// values and constraints make some plans inconsistent.
//
// KADRIX_RETRACTION_SEEDS and KADRIX_WIDER_SEEDS set how many seeds of each
// mix run (300 when unset).

#include "RetractionMix.hh"

#include "PlanDatabase/base/DbClient.hh"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>

namespace KADRIX {
  namespace TestModel {
    namespace {

      unsigned int seedCount(const char* variable) {
        const char* count = std::getenv(variable);
        return count != nullptr ? static_cast<unsigned int>(std::strtoul(count, nullptr, 10)) : 300u;
      }

      std::string join(const std::vector<std::string>& elements, std::size_t from, std::size_t to) {
        std::string text;
        for (std::size_t i = from; i < to; ++i)
          text += elements[i] + "\n";
        return text;
      }

      void play(DbClientTransactionPlayer& player, const std::string& text) {
        std::istringstream is(text);
        player.play(is);
      }

      /** What the log recorded, written out. */
      std::string written(DbClientTransactionLog& log) {
        std::ostringstream os;
        log.flush(os);
        return os.str();
      }

      /** The plan that the text plays into a fresh database. */
      std::string planPlayed(const std::string& text) {
        fuzz::LoggedPlan plan;
        DbClientTransactionPlayer player(plan.db().getClient());
        if (!text.empty())
          play(player, text);
        return fuzz::planState(plan.db());
      }

      /**
       * How many rewinds of the seeds run made changes that no calls of the
       * client make (orderings, as a rule): a log kept across them does not
       * replay to the rewound plan. Reported when the program ends.
       */
      struct UntoldRewinds : public ::testing::Environment {
        static unsigned int& count() {
          static unsigned int s_count = 0;
          return s_count;
        }
        void TearDown() override {
          if (count() > 0)
            std::cout << "[ retraction rewinds ] " << count()
                      << " rewinds made changes that no calls of the client make\n";
        }
      };
      ::testing::Environment* const s_untold = ::testing::AddGlobalTestEnvironment(new UntoldRewinds);

      /** A log kept on the client across the rewind replays into a fresh database to the rewound plan. */
      void expectKeptLogReplays(fuzz::LoggedPlan& plan, DbClientTransactionLog& kept,
                                const std::string& expected, const char* what) {
        if (static_cast<DbClient*>(plan.db().getClient())->untoldChanges() > 0) {
          ++UntoldRewinds::count();
          return;
        }
        EXPECT_EQ(planPlayed(written(kept)), expected) << what;
      }

      /** Plays the elements with a breakpoint at a place that the seed draws, and rewinds them. */
      void expectRewindsToTheBreakpoint(const std::vector<std::string>& elements, unsigned int seed) {
        std::mt19937 random(seed);
        const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, elements.size())(random);
        const std::string before = join(elements, 0, cut);
        const std::string stream = before + "<breakpoint/>\n" + join(elements, cut, elements.size());
        SCOPED_TRACE(stream);
        const std::string expected = planPlayed(before);

        // The log recorded while the stream played, rewound by the player that played it.
        {
          fuzz::LoggedPlan plan;
          DbClientTransactionLog log(plan.db().getClient(), false);
          DbClientTransactionLog kept(plan.db().getClient(), false);
          fuzz::BreakpointPlayer player(plan.db(), &log);
          play(player, stream);
          ASSERT_EQ(player.atBreakpoint(), expected);
          const DbClientTransactionLogId id(log.getId());
          ASSERT_NO_THROW(player.rewind(id, true));
          EXPECT_EQ(fuzz::planState(plan.db()), expected) << "log rewound to the breakpoint";
          expectKeptLogReplays(plan, kept, expected, "a log kept across the log's rewind");
          ASSERT_NO_THROW(player.rewind(id, false));
          EXPECT_EQ(fuzz::planState(plan.db()), plan.empty()) << "log rewound to the start";
        }
        // The stream itself, rewound by the player that played it.
        {
          fuzz::LoggedPlan plan;
          DbClientTransactionLog kept(plan.db().getClient(), false);
          DbClientTransactionPlayer player(plan.db().getClient());
          play(player, stream);
          std::istringstream whole(stream);
          ASSERT_NO_THROW(player.rewind(whole, true));
          EXPECT_EQ(fuzz::planState(plan.db()), expected) << "stream rewound to the breakpoint";
          expectKeptLogReplays(plan, kept, expected, "a log kept across the stream's rewind");
          std::istringstream older(before);
          ASSERT_NO_THROW(player.rewind(older, false));
          EXPECT_EQ(fuzz::planState(plan.db()), plan.empty()) << "stream rewound to the start";
        }
      }

      class RetractionRewindTest : public ::testing::TestWithParam<unsigned int> {};

      TEST_P(RetractionRewindTest, rewindingToTheBreakpointGivesBackThePlanPlayedToIt) {
        expectRewindsToTheBreakpoint(RetractionMix(GetParam()).stream(40), GetParam());
      }

      INSTANTIATE_TEST_SUITE_P(Seeds, RetractionRewindTest,
                               ::testing::Range(0u, seedCount("KADRIX_RETRACTION_SEEDS")));

      class WiderMixRewindTest : public ::testing::TestWithParam<unsigned int> {};

      TEST_P(WiderMixRewindTest, rewindingToTheBreakpointGivesBackThePlanPlayedToIt) {
        expectRewindsToTheBreakpoint(RetractionMix(GetParam(), RetractionMix::Draws::WIDER).stream(40),
                                     GetParam());
      }

      INSTANTIATE_TEST_SUITE_P(Seeds, WiderMixRewindTest,
                               ::testing::Range(0u, seedCount("KADRIX_WIDER_SEEDS")));
    }
  }
}
