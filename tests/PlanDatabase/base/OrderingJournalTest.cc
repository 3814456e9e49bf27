// The client's ordering journal: each ordering call taken back leaves the
// timeline as it was before the call, bindings, precedences, explicit marks
// and places in the sequence alike; what is not a recorded call leaves no
// entry.

#include "PlanDatabase/base/OrderingJournal.hh"

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/component/TimelineFixture.hh"
#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace KADRIX {
  namespace TestModel {
    namespace {

      class OrderingJournalTest : public TimelineFixture {
      protected:
        OrderingJournalTest() : tl(timeline("tl")), client(*static_cast<DbClient*>(m_db->getClient())) {
          client.enableTransactionLogging();
        }

        OrderingJournal& journal() { return client.getOrderingJournal(); }

        /** The sequence and what holds each token there, by the tokens' keys. */
        std::string state() const {
          std::string text = "sequence";
          for (const TokenId& token : tl->getTokenSequence())
            text += " " + std::to_string(token->getKey());
          for (const TokenId& token : tl->tokens()) {
            if (!tl->isConstrainedToThisObject(token))
              continue;
            text += "; bound " + std::to_string(token->getKey()) +
                    (tl->isExplicitOrdering(token, token) ? "!" : "");
            for (const TokenId& other : tl->tokens())
              if (tl->isConstrainedToPrecede(token, other))
                text += " <" + std::to_string(other->getKey()) +
                        (tl->isExplicitOrdering(token, other) ? "!" : "");
          }
          return text;
        }

        TestTimeline* tl;
        DbClient& client;
      };

      /** Tokens 0 to 3 ordered by the pairs of `setup`, then one call on token `first` (and `second`). */
      struct Call {
        const char* label;
        std::vector<std::pair<int, int> > setup;
        enum { CONSTRAIN, FREE, CANCEL } kind;
        int first;
        int second;
      };

      TEST_F(OrderingJournalTest, EachCallTakenBackLeavesTheTimelineAsItWas) {
        const Call calls[] = {
            {"an insertion with its implicit link", {{0, 2}}, Call::CONSTRAIN, 1, 2},
            {"a join of two sequenced tokens", {{0, 1}, {1, 2}}, Call::CONSTRAIN, 0, 2},
            {"a free that joins the gaps it leaves", {{0, 3}, {0, 2}, {0, 1}}, Call::FREE, 0, 2},
            {"a free that only drops a mark", {{0, 1}, {1, 2}, {0, 2}}, Call::FREE, 0, 2},
            {"a token freed from itself", {{0, 0}}, Call::FREE, 0, 0},
            {"a cancel whose neighbours are linked again", {{0, 1}, {1, 2}}, Call::CANCEL, 1, 1},
            {"a cancel that leaves a token alone", {{0, 0}, {1, 0}}, Call::CANCEL, 0, 0},
        };
        for (const Call& call : calls) {
          SCOPED_TRACE(call.label);
          const std::vector<TokenId> t{active(), active(), active(), active()};
          for (const std::pair<int, int>& ordering : call.setup)
            client.constrain(tl->getId(), t[ordering.first], t[ordering.second]);
          m_ce->propagate();
          const std::string before = state();
          const std::size_t entries = journal().size();
          if (call.kind == Call::CONSTRAIN)
            client.constrain(tl->getId(), t[call.first], t[call.second]);
          else if (call.kind == Call::FREE)
            client.free(tl->getId(), t[call.first], t[call.second]);
          else {
            client.cancel(t[call.first]);
            // A rewind activates the token again before it takes the cancel back.
            activate(t[call.first]);
          }
          m_ce->propagate();
          ASSERT_NE(state(), before);
          journal().takeBackNewest();
          EXPECT_EQ(state(), before);
          EXPECT_EQ(journal().size(), entries);
          EXPECT_TRUE(tl->isValid());
          for (const TokenId& token : t)
            client.cancel(token);
          m_ce->propagate();
          ASSERT_TRUE(tl->getTokenSequence().empty());
        }
      }

      TEST_F(OrderingJournalTest, OnlyCallsThatTheClientRecordsMakeEntries) {
        const TokenId a = active(), b = active();
        client.constrain(tl->getId(), a, b);
        const std::size_t entries = journal().size();
        // Refused before it changed anything: no call.
        EXPECT_EQ(failureOf([&] { client.constrain(tl->getId(), a, b); }).getCondition(),
                  "getPrecedenceConstraint(predecessor, successor).isNoId()");
        EXPECT_EQ(journal().size(), entries);
        // Made on the timeline directly, or while the journal pauses or the client does not log: none.
        tl->free(a, b);
        {
          const OrderingJournal::Pause pause(journal());
          client.constrain(tl->getId(), a, b);
        }
        client.disableTransactionLogging();
        client.free(tl->getId(), a, b);
        EXPECT_EQ(journal().size(), entries);
        EXPECT_TRUE(journal().newestIs(OrderingJournal::CONSTRAIN, tl->getId(), a, b));
      }

    }
  }
}
