#include "PlanDatabase/transactions/PlayerHandlerFixture.hh"

#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/transactions/RewindFixture.hh"
#include "RoverStreams.hh"

namespace KADRIX {
  namespace TestModel {
    namespace {

      using RoverStreamTest = PlayerHandlerFixture;

      TEST_F(RoverStreamTest, GeneratedStreamChainsGoalsOnEachRover) {
        const RoverStreams::Size size{3, 2, 5, 2};
        const std::string stream = RoverStreams::generate(size);
        std::size_t elements = 0;
        for (char c : stream)
          elements += c == '\n';
        EXPECT_EQ(static_cast<long>(elements), RoverStreams::elementCount(size));
        play(stream);
        EXPECT_EQ(m_plan.db()->getTokens().size(), 10u);
        for (const char* rover : {"rover0", "rover1"}) {
          const std::string r = rover + 5;
          std::vector<TokenId> goals;
          for (int g = 0; g < 5; ++g)
            goals.push_back(token(("r" + r + "g" + std::to_string(g)).c_str()));
          EXPECT_EQ(sequence(rover), goals);
        }
        // Per rover two related goals, each with a "before" and an "eq".
        EXPECT_EQ(m_calls.created.size(), 2u * 2 * 2);
        EXPECT_EQ(variable("limit")->lastDomain().getSingletonValue(), 5);
        EXPECT_TRUE(client().propagate());
      }

      TEST(RoverStreamReplayTest, ARecordedPlayReplaysWithItsPathRestriction) {
        PlayedPlan first, second;
        first.attachLog();
        first.play(ROVER_WORLD + "<new type=\"Rover\" name=\"rover2\"/>" + goal("s", "rover2.sample"));
        const std::string recorded = first.flush();
        second.play(recorded);
        ASSERT_EQ(second.db()->getTokens().size(), 1u);
        const AbstractDomain& objects = (*second.db()->getTokens().begin())->getObject()->baseDomain();
        ASSERT_TRUE(objects.isSingleton()) << recorded;
        EXPECT_EQ(objects.getSingletonValue(), static_cast<double>(second.db()->getObject("rover2")));
      }

    }
  }
}
