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
  namespace {

    using test::PlayedPlan;

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

    class RecordReplayRewindTest : public ::testing::TestWithParam<unsigned int> {};

    TEST_P(RecordReplayRewindTest, replaysAndRewindsARandomPlan) {
      const Recording recording = record(GetParam(), 60);

      // Replayed with a log, then that log replayed: the same plan, the same log.
      PlayedPlan a;
      const std::pair<unsigned int, unsigned int> empty = a.engineCounts();
      a.attachLog();
      a.play(recording.text);
      EXPECT_EQ(a.text(), recording.atEnd);
      const std::string logOfA = a.flush();
      PlayedPlan b;
      b.attachLog();
      b.play(logOfA);
      EXPECT_EQ(b.text(), a.text());
      EXPECT_EQ(b.flush(), logOfA);

      // Rewound to the breakpoint, then to the start, by another player on the same client.
      a.detachLog();
      DbClientTransactionPlayer rewinder(a.db()->getClient());
      std::istringstream toBreakpoint(recording.text);
      rewinder.rewind(toBreakpoint, true);
      EXPECT_EQ(a.text(), recording.atBreakpoint);
      std::istringstream toStart(recording.text.substr(0, recording.text.find("<breakpoint")));
      rewinder.rewind(toStart, false);
      expectEmpty(a, empty);

      // Recorded by a log on the player's own client, and that log rewound.
      PlayedPlan c;
      DbClientTransactionLog& log = c.attachLog();
      c.play(recording.text);
      c.player().rewind(DbClientTransactionLogId(log.getId()), false);
      EXPECT_TRUE(log.getBufferedTransactions().empty());
      expectEmpty(c, empty);

      // The same, undoing element by element: each search walks the older
      // elements instead of asking the rewind's index, and finds the same.
      PlayedPlan d;
      DbClientTransactionLog& walked = d.attachLog();
      d.play(recording.text);
      const std::list<TiXmlElement*>& buffered = walked.getBufferedTransactions();
      DbClientTransactionLog::Suspension quiet(walked);
      while (!buffered.empty()) {
        d.player().processTransactionInverse(*buffered.back(), buffered.rbegin(), buffered.rend());
        walked.popTransaction();
      }
      expectEmpty(d, empty);
    }

    INSTANTIATE_TEST_SUITE_P(Seeds, RecordReplayRewindTest, ::testing::Range(0u, 200u));


    TEST(ExampleStreamTest, replaysAndRewinds) {
      std::ifstream file(KADRIX_EXAMPLE_STREAM);
      const std::string stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      const std::string firstHalf = stream.substr(0, stream.find("<breakpoint"));
      ASSERT_NE(firstHalf.size(), stream.size());

      PlayedPlan a;
      const std::pair<unsigned int, unsigned int> empty = a.engineCounts();
      a.attachLog();
      a.play(stream);
      const std::string logOfA = a.flush();
      PlayedPlan b;
      b.attachLog();
      b.play(logOfA);
      EXPECT_EQ(b.text(), a.text());
      EXPECT_EQ(b.flush(), logOfA);

      // The stream rewound to its breakpoint by the player that played it.
      PlayedPlan half;
      half.play(firstHalf);
      a.rewind(stream, true);
      EXPECT_EQ(a.text(), half.text());

      // The recording rewound by another player on the same client, and a
      // log on the player's own client rewound.
      PlayedPlan c;
      c.play(stream);
      DbClientTransactionPlayer rewinder(c.db()->getClient());
      std::istringstream recorded(logOfA);
      rewinder.rewind(recorded, false);
      expectEmpty(c, empty);
      PlayedPlan d;
      DbClientTransactionLog& log = d.attachLog();
      d.play(stream);
      d.player().rewind(DbClientTransactionLogId(log.getId()), false);
      expectEmpty(d, empty);
    }
  }
}
