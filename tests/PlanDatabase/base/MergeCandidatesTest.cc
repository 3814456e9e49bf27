// The active tokens onto which an inactive token could be merged.

#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    namespace {
      /** Refuses concurrency with one token. */
      class RefusingAdvisor : public DefaultTemporalAdvisor {
      public:
        explicit RefusingAdvisor(const ConstraintEngineId& ce) : DefaultTemporalAdvisor(ce) {}
        bool canBeConcurrent(const TokenId& /*first*/, const TokenId& second) override {
          asked.push_back(second);
          return second != refused;
        }
        TokenId refused;
        std::vector<TokenId> asked;
      };

      size_t count(const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
          ++n;
        return n;
      }
    }

    class MergeCandidatesTest : public TokenFixture {
    protected:
      TokenId active() {
        TokenId token = drive();
        token->activate();
        return token;
      }

      static ConstrainedVariableId speed(const TokenId& token) { return token->getVariables()[5]; }
    };

    TEST_F(MergeCandidatesTest, CandidatesInKeyOrderUpToTheLimit) {
      TokenId inactive = drive();
      std::vector<TokenId> results;
      m_db->getCompatibleTokens(inactive, results);
      EXPECT_TRUE(results.empty());

      std::vector<TokenId> actives;
      for (int i = 0; i < 4; ++i)
        actives.push_back(active());
      results.push_back(inactive);
      m_db->getCompatibleTokens(inactive, results);
      EXPECT_EQ((std::vector<TokenId>{inactive, actives[0], actives[1], actives[2], actives[3]}), results);

      // The limit counts what this call adds and ends the search.
      {
        DebugCapture capture("PlanDatabase:getCompatibleTokens");
        m_db->getCompatibleTokens(inactive, results, 2, false);
        EXPECT_EQ(2u, count(capture.text(), "Evaluating candidate token"));
        EXPECT_NE(std::string::npos, capture.text().find(
          "EXACT=0. Adding " + std::to_string(actives[1]->getKey()) + " for token "
          + std::to_string(inactive->getKey())));
      }
      EXPECT_EQ(7u, results.size());
      EXPECT_EQ(actives[1], results.back());
      EXPECT_EQ(3u, m_db->countCompatibleTokens(inactive, 3, false));
      EXPECT_EQ(0u, m_db->countCompatibleTokens(inactive, 0, false));
      EXPECT_TRUE(m_db->hasCompatibleTokens(inactive));
      PSList<PSToken*> viewed = inactive->getCompatibleTokens(2, true);
      ASSERT_EQ(2, viewed.size());
      EXPECT_EQ(actives[1]->getKey(), viewed.get(1)->getKey());

      // An inconsistent network yields nothing.
      ConstraintId impossible = m_ce->createConstraint(
        "precedes", std::vector<ConstrainedVariableId>{actives[0]->end(), actives[0]->start()});
      EXPECT_EQ(0u, m_db->countCompatibleTokens(inactive, 10, false));
      EXPECT_FALSE(m_db->hasCompatibleTokens(inactive));
      impossible->discard();
      EXPECT_EQ(4u, m_db->countCompatibleTokens(inactive, 10, false));
    }

    TEST_F(MergeCandidatesTest, VariablesMustMeet) {
      TokenId inactive = drive();
      TokenId low = active();
      TokenId touching = active();
      speed(inactive)->restrictBaseDomain(IntervalIntDomain(3, 4));
      speed(low)->restrictBaseDomain(IntervalIntDomain(1, 2));
      speed(touching)->restrictBaseDomain(IntervalIntDomain(2, 3));
      // Disjoint objects exclude too.
      TokenId elsewhere = active();
      elsewhere->getObject()->specify((double) r2);
      inactive->getObject()->specify((double) r1);

      DebugCapture capture("PlanDatabase:getCompatibleTokens");
      std::vector<TokenId> results;
      m_db->getCompatibleTokens(inactive, results);
      EXPECT_EQ(std::vector<TokenId>{touching}, results);
      EXPECT_NE(std::string::npos, capture.text().find(
        "EXCLUDING (" + std::to_string(low->getKey()) + ")VAR=speed("
        + std::to_string(speed(low)->getKey()) + ") Cannot intersect "));
    }

    TEST_F(MergeCandidatesTest, DerivedPredicatesAndTheExactTest) {
      RefusingAdvisor* advisor = new RefusingAdvisor(m_ce->getId());
      m_db->setTemporalAdvisor(advisor->getId());
      TokenId car = m_db->createToken("Car.drive", true, false);
      car->activate();
      TokenId rover = active();
      TokenId inactiveRover = drive();
      TokenId inactiveCar = m_db->createToken("Car.drive", true, false);
      std::vector<TokenId> results;
      m_db->getCompatibleTokens(inactiveRover, results);
      EXPECT_EQ((std::vector<TokenId>{car, rover}), results);
      results.clear();
      m_db->getCompatibleTokens(inactiveCar, results);
      EXPECT_EQ(std::vector<TokenId>{car}, results);

      // The advisor is asked only with the exact test; a refusal does not count towards the limit.
      advisor->refused = car;
      results.clear();
      m_db->getCompatibleTokens(inactiveRover, results, 1, false);
      EXPECT_TRUE(advisor->asked.empty());
      EXPECT_EQ(std::vector<TokenId>{car}, results);
      results.clear();
      m_db->getCompatibleTokens(inactiveRover, results, 1, true);
      EXPECT_EQ(std::vector<TokenId>{rover}, results);
      EXPECT_EQ((std::vector<TokenId>{car, rover}), advisor->asked);
    }

  }
}
