#include "PlanDatabase/transactions/PlayerFixture.hh"

#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"

#include <functional>
#include <list>

namespace KADRIX {
  namespace test {
    namespace {

      /** Runs an action before it plays each element, and counts what it plays. */
      class HookedPlayer : public DbClientTransactionPlayer {
      public:
        explicit HookedPlayer(const DbClientId& client) : DbClientTransactionPlayer(client) {}
        void processTransaction(const TiXmlElement& element) override {
          ++played;
          if (before)
            before();
          DbClientTransactionPlayer::processTransaction(element);
        }
        int played = 0;
        std::function<void()> before;
      };

      class PlayerLogTest : public PlayerFixture {
      protected:
        PlayerLogTest() : m_log(new DbClientTransactionLog(clientId(), false)) {}
        ~PlayerLogTest() { delete m_log; }

        DbClientTransactionLog* m_log;
      };

      TEST_F(PlayerLogTest, PlaysWhatTheLogHeldWhenThePlayStarted) {
        HookedPlayer player(clientId());
        player.play(m_log->getId());
        EXPECT_EQ(0, player.played);

        // Each element played adds one to the log, which a play must not chase.
        m_log->insertBreakpoint();
        player.before = [this]() { m_log->insertBreakpoint(); };
        player.play(m_log->getId());
        EXPECT_EQ(1, player.played);
        EXPECT_EQ(2u, m_log->getBufferedTransactions().size());

        // Elements the log drops while they are played stay readable.
        player.played = 0;
        player.before = [this]() { m_log->popTransaction(); };
        player.play(m_log->getId());
        EXPECT_EQ(2, player.played);
        EXPECT_TRUE(m_log->getBufferedTransactions().empty());
      }

      TEST_F(PlayerLogTest, DomainsTheLogWritesReadBackTheSame) {
        const ObjectId l1 = m_plan.location("l1", 1, 2);
        const ObjectId l2 = m_plan.location("l2", 3, 4);
        std::list<double> strings{LabelStr("north"), LabelStr("south")};
        std::list<double> numbers{1, 2.5};
        const ObjectDomain locations(std::list<ObjectId>{l1, l2}, "Location");
        const ObjectDomain one(l1, "Location");
        const StringDomain word(LabelStr("east"), "string");
        const SymbolDomain symbols(strings, "symbol");
        const StringDomain words(strings, "string");
        const EnumeratedDomain reals(numbers, true, "float");
        const IntervalDomain interval(-1.5, 7.25, "float");
        const IntervalIntDomain ints(-3, 9, "int");
        const BoolDomain flag(true, "bool");
        for (const AbstractDomain* d : std::vector<const AbstractDomain*>{
               &locations, &one, &word, &symbols, &words, &reals, &interval, &ints, &flag}) {
          std::unique_ptr<TiXmlElement> element(m_log->abstractDomainAsXml(d));
          std::unique_ptr<const AbstractDomain> back(player().xmlAsAbstractDomain(*element, nullptr, nullptr));
          EXPECT_EQ(describe(*d), describe(*back)) << *element;
          EXPECT_EQ(d->isEntity(), back->isEntity()) << *element;
        }
      }

    }
  }
}
