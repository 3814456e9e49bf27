// Record, replay and rewind, end to end: a plan made by random changes through
// the client is recorded; the recording is played into a second plan and its
// log into a third; the plans and the logs agree; rewinding the recording
// leaves nothing that it made, and rewinding to its breakpoint restores the
// plan as it was there.

#include "PlanDatabase/transactions/RewindFixture.hh"
#include "rover/RandomChanges.hh"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace KADRIX {
  namespace TestModel {
    namespace {

      /** A recording of random changes, with a breakpoint between its halves, and the plan at the breakpoint. */
      struct Recording {
        std::string text;
        std::string atBreakpoint;
        std::string atEnd;
      };

      Recording record(unsigned int seed, unsigned int changes) {
        PlayedPlan plan;
        DbClientTransactionLog& log = plan.attachLog();
        RoverModel::RandomChanges random(plan.db(), seed);
        random.world();
        random.steps(changes / 2);
        plan.client().propagate();
        Recording recording;
        recording.atBreakpoint = plan.text();
        log.insertBreakpoint();
        random.restrictOnlyNewVariables();
        random.steps(changes - changes / 2);
        plan.client().propagate();
        recording.atEnd = plan.text();
        recording.text = plan.flush();
        return recording;
      }

      /** Nothing the recording made is left, and the engine holds what it held before. */
      void expectEmpty(PlayedPlan& plan, const std::pair<unsigned int, unsigned int>& counts) {
        EXPECT_TRUE(plan.db()->getTokens().empty());
        EXPECT_TRUE(plan.db()->getObjects().empty());
        EXPECT_TRUE(plan.db()->getGlobalVariables().empty());
        EXPECT_EQ(plan.engineCounts(), counts);
      }

      /** Plays the stream into a logged plan and that log into another: the same plan, the same log. */
      std::string expectReplays(PlayedPlan& a, const std::string& stream) {
        a.attachLog();
        a.play(stream);
        const std::string logOfA = a.flush();
        a.detachLog();
        PlayedPlan b;
        b.attachLog();
        b.play(logOfA);
        EXPECT_EQ(b.text(), a.text());
        EXPECT_EQ(b.flush(), logOfA);
        return logOfA;
      }

      /**
     * Plays the stream with a log on the player's own client and rewinds that
     * log, in one go and element by element (each search then walks the older
     * elements instead of asking the rewind's index): nothing is left.
     */
      void expectLogRewinds(const std::string& stream) {
        for (bool walking : {false, true}) {
          PlayedPlan plan;
          const std::pair<unsigned int, unsigned int> empty = plan.engineCounts();
          DbClientTransactionLog& log = plan.attachLog();
          plan.play(stream);
          const std::list<TiXmlElement*>& buffered = log.getBufferedTransactions();
          if (!walking) {
            plan.player().rewind(DbClientTransactionLogId(log.getId()), false);
            EXPECT_TRUE(buffered.empty());
          }
          DbClientTransactionLog::Suspension quiet(log);
          for (; !buffered.empty(); log.popTransaction())
            plan.player().processTransactionInverse(*buffered.back(), buffered.rbegin(), buffered.rend());
          expectEmpty(plan, empty);
        }
      }

      class RecordReplayRewindTest : public ::testing::TestWithParam<unsigned int> {};

      TEST_P(RecordReplayRewindTest, replaysAndRewindsARandomPlan) {
        const Recording recording = record(GetParam(), 60);
        PlayedPlan a;
        const std::pair<unsigned int, unsigned int> empty = a.engineCounts();
        expectReplays(a, recording.text);
        EXPECT_EQ(a.text(), recording.atEnd);

        // Rewound to the breakpoint, then to the start, by another player on the same client.
        DbClientTransactionPlayer rewinder(a.db()->getClient());
        std::istringstream toBreakpoint(recording.text);
        rewinder.rewind(toBreakpoint, true);
        EXPECT_EQ(a.text(), recording.atBreakpoint);
        std::istringstream toStart(recording.text.substr(0, recording.text.find("<breakpoint")));
        rewinder.rewind(toStart, false);
        expectEmpty(a, empty);
        expectLogRewinds(recording.text);
      }

      INSTANTIATE_TEST_SUITE_P(Seeds, RecordReplayRewindTest, ::testing::Range(0u, 200u));

      TEST(ExampleStreamTest, replaysAndRewinds) {
        std::ifstream file(KADRIX_EXAMPLE_STREAM);
        const std::string stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::string firstHalf = stream.substr(0, stream.find("<breakpoint"));
        ASSERT_NE(firstHalf.size(), stream.size());
        PlayedPlan a;
        const std::pair<unsigned int, unsigned int> empty = a.engineCounts();
        const std::string logOfA = expectReplays(a, stream);

        // The stream rewound to its breakpoint by the player that played it.
        PlayedPlan half;
        half.play(firstHalf);
        a.rewind(stream, true);
        EXPECT_EQ(a.text(), half.text());

        // The recording rewound by another player on the same client.
        PlayedPlan c;
        c.play(stream);
        DbClientTransactionPlayer rewinder(c.db()->getClient());
        std::istringstream recorded(logOfA);
        rewinder.rewind(recorded, false);
        expectEmpty(c, empty);
        expectLogRewinds(stream);
      }
    }
  }
}
