#include "PlanDatabase/transactions/PlayerHandlerFixture.hh"

#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/transactions/RewindFixture.hh"
#include "RoverStreams.hh"

namespace KADRIX {
  namespace TestModel {
  namespace {

    const char* const EXAMPLE =
      "<new type=\"Rover\" name=\"rover1\"/>\n"
      "<new type=\"Location\" name=\"rock1\"><value type=\"int\" name=\"3\"/><value type=\"int\" name=\"4\"/></new>\n"
      "<new type=\"Location\" name=\"rock2\"><value type=\"int\" name=\"10\"/><value type=\"int\" name=\"0\"/></new>\n"
      "<invoke name=\"close\" identifier=\"Location\"/>\n"
      "<var type=\"int\" name=\"maxSpeed\"><interval type=\"int\" min=\"0\" max=\"10\"/></var>\n"
      "<goal mandatory=\"true\"><predicateinstance name=\"d1\" type=\"Rover.drive\"/></goal>\n"
      "<goal><predicateinstance name=\"s1\" type=\"rover1.sample\"/></goal>\n"
      "<goal><predicateinstance name=\"d2\" type=\"Rover.drive\"/></goal>\n"
      "<activate><token name=\"d1\"/></activate>\n"
      "<activate><token name=\"s1\"/></activate>\n"
      "<invoke name=\"activate\" identifier=\"d2\"/>\n"
      "<constrain><object name=\"rover1\"/><token name=\"d1\"/><token name=\"s1\"/></constrain>\n"
      "<specify><id name=\"d1.to\"/><object value=\"rock1\"/></specify>\n"
      "<specify><id name=\"d1.speed\"/><value type=\"int\" name=\"5\"/></specify>\n"
      "<restrict><id name=\"s1.start\"/><interval type=\"int\" min=\"10\" max=\"100\"/></restrict>\n"
      "<invoke name=\"eq\"><id name=\"s1.target\"/><id name=\"d1.to\"/></invoke>\n"
      "<invoke name=\"eq\"><id name=\"d2.speed\"/><id name=\"maxSpeed\"/></invoke>\n"
      "<goal relation=\"before\" origin=\"s1\" target=\"d2\"/>\n"
      "<invoke name=\"close\"/>\n";

    class RoverStreamTest : public PlayerHandlerFixture {
    protected:
      void expectWithin(const char* var, double lower, double upper) {
        const AbstractDomain& domain = variable(var)->lastDomain();
        EXPECT_GE(domain.getLowerBound(), lower) << var;
        EXPECT_LE(domain.getUpperBound(), upper) << var;
      }
    };

    TEST_F(RoverStreamTest, ExampleStreamGivesItsPlan) {
      play(EXAMPLE);
      const PlanDatabaseId& db = m_plan.db();
      EXPECT_EQ(db->getObjects().size(), 3u);
      EXPECT_EQ(db->getGlobalVariables().size(), 1u);
      EXPECT_EQ(db->getTokens().size(), 3u);
      for (const TokenId& t : db->getTokens())
        EXPECT_TRUE(t->isActive());
      EXPECT_EQ(sequence("rover1"), std::vector<TokenId>({token("d1"), token("s1")}));
      EXPECT_TRUE(client().propagate());
      const ConstrainedVariableId target = variable("s1.target");
      ASSERT_TRUE(target->lastDomain().isSingleton());
      EXPECT_EQ(target->lastDomain().getSingletonValue(), (double) db->getObject("rock1"));
      expectWithin("d2.speed", 0, 10);
      expectWithin("s1.start", 10, 100);
      EXPECT_LE(variable("s1.end")->lastDomain().getUpperBound(), variable("d2.start")->lastDomain().getUpperBound());
      EXPECT_TRUE(db->isClosed());
      EXPECT_FALSE(token("d1")->getState()->baseDomain().isMember(LabelStr("REJECTED")));

      play("<goal><predicateinstance name=\"d3\" type=\"Rover.drive\"/></goal>\n"
           "<merge><token name=\"d3\"/><token name=\"d2\"/></merge>\n"
           "<goal><predicateinstance name=\"s2\" type=\"Rover.sample\"/></goal>\n"
           "<reject><token name=\"s2\"/></reject>\n"
           "<free><object name=\"rover1\"/><token name=\"d1\"/><token name=\"s1\"/></free>\n"
           "<reset><id name=\"d1.speed\"/></reset>\n");
      EXPECT_TRUE(token("d3")->isMerged());
      EXPECT_EQ(token("d3")->getActiveToken(), token("d2"));
      EXPECT_TRUE(token("s2")->isRejected());
      EXPECT_TRUE(sequence("rover1").empty());
      EXPECT_FALSE(variable("d1.speed")->isSpecified());
      EXPECT_TRUE(client().propagate());
    }

    TEST_F(RoverStreamTest, GeneratedStreamChainsGoalsOnEachRover) {
      const RoverStreams::Size size{3, 2, 5, 2};
      const std::string stream = RoverStreams::generate(size);
      std::size_t elements = 0;
      for (char c : stream)
        elements += c == '\n';
      EXPECT_EQ((long) elements, RoverStreams::elementCount(size));
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
      EXPECT_EQ(objects.getSingletonValue(), (double) second.db()->getObject("rover2"));
    }

  }
}
}
