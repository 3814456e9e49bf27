#include "PlanDatabase/component/SequenceTable.hh"

#include "PlanDatabase/component/TimelineFixture.hh"

#include <gtest/gtest.h>

#include <iterator>
#include <list>
#include <map>
#include <random>

namespace KADRIX {
  namespace TestModel {

    typedef SequenceTable::Slot Slot;

    class SequenceTableTest : public TimelineFixture {
    protected:
      SequenceTableTest() { timeline("tl"); }

      /** The tokens of the table, following next() from first(). */
      std::list<TokenId> forward() const {
        std::list<TokenId> result;
        for (Slot slot = table.first(); slot != SequenceTable::NONE; slot = table.next(slot))
          result.push_back(table.token(slot));
        return result;
      }

      /** The tokens of the table, following prev() from last(), put back in order. */
      std::list<TokenId> backward() const {
        std::list<TokenId> result;
        for (Slot slot = table.last(); slot != SequenceTable::NONE; slot = table.prev(slot))
          result.push_front(table.token(slot));
        return result;
      }

      SequenceTable table;
    };

    // A seeded walk of inserts anywhere and erases, against a list of the same tokens.
    TEST_F(SequenceTableTest, FollowsItsSequenceThroughInsertsAndErases) {
      std::mt19937 random(11);
      std::vector<TokenId> tokens;
      for (int i = 0; i < 12; ++i)
        tokens.push_back(busy(i, 100 + i, i + 1, 200 + i, 1, 100));
      std::list<TokenId> sequence;
      std::map<int, Slot> slots;
      Slot lastFreed = SequenceTable::NONE;
      for (int step = 0; step < 400; ++step) {
        const TokenId t = tokens[random() % tokens.size()];
        if (slots.count(t->getKey()) != 0) {
          lastFreed = slots[t->getKey()];
          table.erase(lastFreed);
          slots.erase(t->getKey());
          sequence.remove(t);
        } else {
          // Before a member picked at random, or last.
          const size_t at = random() % (sequence.size() + 1);
          const std::list<TokenId>::iterator before = std::next(sequence.begin(), static_cast<long>(at));
          const Slot successor = before == sequence.end() ? SequenceTable::NONE : slots[(*before)->getKey()];
          const Slot slot = table.insert(t, successor);
          // Freed slots come back last-in first-out.
          if (lastFreed != SequenceTable::NONE) {
            ASSERT_EQ(lastFreed, slot) << "step " << step;
          }
          lastFreed = SequenceTable::NONE;
          slots[t->getKey()] = slot;
          sequence.insert(before, t);
        }
        ASSERT_TRUE(table.matches(sequence)) << "step " << step;
        ASSERT_EQ(sequence, forward()) << "step " << step;
        ASSERT_EQ(sequence, backward()) << "step " << step;
        ASSERT_EQ(sequence.size(), table.size());
      }
      for (const auto& entry : slots) {
        const TokenId& t = table.token(entry.second);
        EXPECT_EQ(t->start()->lastDomain().getUpperBound(), table.latestStart(entry.second));
        EXPECT_EQ(t->end()->lastDomain().getLowerBound(), table.earliestEnd(entry.second));
      }
      table.clear();
      EXPECT_TRUE(table.matches(std::list<TokenId>()));
      EXPECT_EQ(SequenceTable::NONE, table.first());
    }

    TEST_F(SequenceTableTest, DisagreementsWithTheSequenceAreReported) {
      const TokenId a = busy(), b = busy(), c = busy();
      const Slot sa = table.insert(a, SequenceTable::NONE);
      table.insert(b, SequenceTable::NONE);
      EXPECT_CHECK_FAILS(table.matches({b, a}), "entry.token == *it",
                         "Slot 0 holds " + a->toString() + " where " + b->toString() + " is sequenced");
      EXPECT_CHECK_FAILS(table.matches({a}), "m_size == sequence.size()", "2 slots for 1 tokens");
      EXPECT_CHECK_FAILS(table.matches({a, c}), "entry.token == *it",
                         "Slot 1 holds " + b->toString() + " where " + c->toString() + " is sequenced");
      table.erase(sa);
      EXPECT_CHECK_FAILS(table.matches({a}), "entry.token == *it",
                         "Slot 1 holds " + b->toString() + " where " + a->toString() + " is sequenced");
      EXPECT_TRUE(table.matches({b}));
    }

  }
}
