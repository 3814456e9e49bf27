// A token's life in a small plan, seen through the database's indexes and a
// recording listener: created and activated.

#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    typedef TokenFixture TokenLifecycleTest;

    static std::multiset<std::string> asSet(const std::vector<std::string>& log) {
      return std::multiset<std::string>(log.begin(), log.end());
    }

    TEST_F(TokenLifecycleTest, EachTokenIsPlacedOnTheObjectsItMayUse) {
      TokenId drive1 = m_db->createToken("Rover.drive", true, false);
      TokenId drive2 = m_db->createToken("Car.drive", true, true);
      TokenId charge1 = m_db->createToken("Battery.charge", true, false);
      recorder->log.clear();
      drive1->activate();
      drive2->activate();
      charge1->activate();
      EXPECT_EQ(asSet({TokenRecorder::entry("placed", drive1, r1), TokenRecorder::entry("placed", drive1, r2),
                       TokenRecorder::entry("placed", drive1, r3), TokenRecorder::entry("placed", drive1, c1),
                       TokenRecorder::entry("activated", drive1),
                       TokenRecorder::entry("placed", drive2, c1), TokenRecorder::entry("activated", drive2),
                       TokenRecorder::entry("placed", charge1, b1),
                       TokenRecorder::entry("activated", charge1)}),
                asSet(recorder->log));
      // The car's token is filed under its own predicate and under Rover's, and owned by the car.
      EXPECT_EQ(2u, m_db->getActiveTokens("Rover.drive").size());
      EXPECT_EQ(1u, m_db->getActiveTokens("Car.drive").size());
      EXPECT_EQ(c1->getKey(), drive2->getOwner()->getKey());
      EXPECT_FALSE(drive1->isAssigned());
    }

    TEST_F(TokenLifecycleTest, EventTokenIsWholeWhenAnnounced) {
      // A listener that reads the time variable of every token it is told of.
      std::vector<std::string> times;
      recorder->onRecord = [&](const std::string& what, const TokenId& token) {
        if (what == "added")
          times.push_back(token->start()->getName().toString());
      };
      TokenId event = (new EventToken(db(), "Battery.charge", true, false, horizon(), Token::noObject(),
                                      true))->getId();
      recorder->onRecord = nullptr;
      EXPECT_EQ(std::vector<std::string>{"time"}, times);
      EXPECT_EQ(4u, event->getVariables().size());
    }

  }
}
