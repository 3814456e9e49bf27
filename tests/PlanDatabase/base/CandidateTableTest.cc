#include "PlanDatabase/base/CandidateTable.hh"

#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class CandidateTableTest : public TokenFixture {
    protected:
      /** The tokens of the live rows, in the order sorted() gives them. */
      std::vector<TokenId> live() {
        std::vector<TokenId> result;
        for (const CandidateTable::Row& row : table.sorted())
          if (row.token.isId())
            result.push_back(row.token);
        return result;
      }

      CandidateTable table;
    };

    // Tokens filed and taken out in random order, against a set of the same tokens:
    // appends, the tail, holes filled again by their own tokens and rebuilds all happen.
    TEST_F(CandidateTableTest, FollowsItsSetInKeyOrder) {
      std::vector<TokenId> tokens;
      for (int i = 0; i < 300; ++i)
        tokens.push_back(drive());
      for (unsigned int seed = 1; seed <= 5; ++seed) {
        std::mt19937 random(seed);
        TokenSet filed;
        for (int step = 0; step < 2000; ++step) {
          // Mostly among the newest tokens, so that the run grows at its end too.
          const size_t pick =
              random() % 4 == 0 ? random() % tokens.size() : tokens.size() - 1 - random() % 40;
          const TokenId t = tokens[pick];
          if (filed.insert(t).second)
            table.insert(t);
          else {
            filed.erase(t);
            table.erase(t);
          }
          if (step % 97 == 0 || step == 1999) {
            ASSERT_TRUE(table.matches(filed)) << "seed " << seed << " step " << step;
            ASSERT_EQ(std::vector<TokenId>(filed.begin(), filed.end()), live());
          }
        }
        for (const TokenId& t : filed)
          table.erase(t);
        ASSERT_TRUE(live().empty());
      }
      // Each row reads its own token's domains, state variable skipped.
      table.insert(tokens[7]);
      const CandidateTable::Row& row = table.sorted().front();
      ASSERT_EQ(tokens[7]->getVariables().size(), row.variableCount);
      for (unsigned int i = 1; i < row.variableCount; ++i)
        EXPECT_EQ(&tokens[7]->getVariables()[i]->lastDomain(), &table.domain(row, i));
    }

    TEST_F(CandidateTableTest, DisagreementsAndMisuseAreReported) {
      const TokenId a = drive(), b = drive(), c = drive();
      table.insert(a);
      table.insert(c);
      EXPECT_CHECK_FAILS(table.insert(c), "row->token.isNoId()", c->toString() + " is filed already");
      EXPECT_CHECK_FAILS(table.erase(b), "it != m_tail.end()", b->toString() + " is not filed");
      EXPECT_CHECK_FAILS(table.matches(TokenSet{a}), "it != tokens.end()",
                         "The table has " + c->toString() + " in excess");
      EXPECT_CHECK_FAILS(table.matches(TokenSet{a, b, c}),
                         "row->token == token && row->key == token->getKey()",
                         "The table has " + c->toString() + " where " + b->toString() + " is filed");
      table.erase(c);
      EXPECT_CHECK_FAILS(table.matches(TokenSet{a, c}), "it == tokens.end()",
                         "The table misses " + c->toString());
      EXPECT_TRUE(table.matches(TokenSet{a}));
    }

    // Activation out of key order, deactivation and activation again: candidates come by key.
    TEST_F(CandidateTableTest, MergeCandidatesComeInKeyOrderWhateverTheOrderOfActivation) {
      std::vector<TokenId> tokens;
      for (int i = 0; i < 120; ++i)
        tokens.push_back(drive());
      std::mt19937 random(3);
      std::vector<TokenId> shuffled(tokens);
      std::shuffle(shuffled.begin(), shuffled.end(), random);
      for (const TokenId& t : shuffled)
        t->activate();
      for (size_t i = 0; i < shuffled.size(); i += 3)
        shuffled[i]->deactivate();
      for (size_t i = 0; i < shuffled.size(); i += 6)
        shuffled[i]->activate();
      ASSERT_TRUE(m_ce->propagate());
      const TokenId inactive = drive();
      std::vector<TokenId> results;
      m_db->getCompatibleTokens(inactive, results);
      std::vector<TokenId> expected;
      for (const TokenId& t : tokens)
        if (t->isActive())
          expected.push_back(t);
      EXPECT_EQ(expected, results);
      const TokenSet& filed = m_db->getActiveTokens(inactive->getPredicateName());
      EXPECT_EQ(expected, std::vector<TokenId>(filed.begin(), filed.end()));
    }

  }
}
