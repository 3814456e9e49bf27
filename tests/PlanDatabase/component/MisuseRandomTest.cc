// A seeded careless client: valid and invalid calls mixed at random. Every
// refused call must end in a KADRIX::Error, the database must stay free of
// dangling handles, and it must always be destroyable afterwards. Run under
// the sanitizers, any use of freed memory or leak fails the run.
#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/component/TimelineFixture.hh"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    /** One seeded run over a fresh plan. */
    class MisuseRun : public TimelineFixture {
    public:
      explicit MisuseRun(unsigned int seed) : m_rng(seed) {
        for (int i = 0; i < 3; ++i)
          newTimeline();
        for (const ObjectId& object : {r1, r2, r3, c1, b1})
          m_objects.push_back(object);
      }

      void TestBody() override {}

      /** Runs the calls; returns how many of them were refused. */
      unsigned int drive(unsigned int calls) {
        unsigned int refused = 0;
        for (unsigned int i = 0; i < calls; ++i) {
          const unsigned int op = pick(27);
          try {
            call(op);
          } catch (const Error&) {
            ++refused;
          }
          expectNoDanglingHandles(op);
        }
        return refused;
      }

      /** Whether the database can still purge what it holds. */
      bool destroyable() {
        try {
          if (!m_db->isPurged())
            m_db->purge();
          return true;
        } catch (const Error& e) {
          ADD_FAILURE() << "purge failed: " << e.what();
          return false;
        }
      }

    private:
      unsigned int pick(unsigned int n) {
        return std::uniform_int_distribution<unsigned int>(0, n - 1)(m_rng);
      }
      bool chance(unsigned int percent) { return pick(100) < percent; }
      int bound() { return static_cast<int>(pick(120)); }

      /** Mostly a live token, else any handle ever made (maybe stale) or the null handle. */
      TokenId anyToken() {
        const unsigned int roll = pick(100);
        if (roll < 70)
          return liveToken();
        if (roll < 90 && !m_tokens.empty())
          return m_tokens[pick(static_cast<unsigned int>(m_tokens.size()))];
        return TokenId();
      }

      /** One of the handles that still name an entity of the kind, or the null handle. */
      template <class H, class Keep> H pickLive(const std::vector<H>& handles, Keep keep) {
        std::vector<H> live;
        for (const H& handle : handles)
          if (handle.isValid() && keep(handle))
            live.push_back(handle);
        return live.empty() ? H() : live[pick(static_cast<unsigned int>(live.size()))];
      }

      TokenId liveToken() {
        return pickLive(m_tokens, [](const TokenId&) { return true; });
      }
      ObjectId liveObject() {
        return pickLive(m_objects, [](const ObjectId&) { return true; });
      }
      Timeline* liveTimeline() {
        const ObjectId tl = pickLive(m_objects, [](const ObjectId& o) { return timelineOf(o) != 0; });
        return tl.isId() ? timelineOf(tl) : 0;
      }
      static Timeline* timelineOf(const ObjectId& object) {
        return dynamic_cast<Timeline*>(static_cast<Object*>(object));
      }

      /** Mostly a token on the timeline, else any handle. */
      TokenId tokenOn(Timeline* tl) {
        if (tl->tokens().empty() || chance(20))
          return anyToken();
        TokenSet::const_iterator it = tl->tokens().begin();
        std::advance(it, pick(static_cast<unsigned int>(tl->tokens().size())));
        return *it;
      }

      void newTimeline() {
        std::ostringstream name;
        name << "tl" << m_objects.size();
        m_objects.push_back(timeline(name.str().c_str())->getId());
      }

      void newBusyToken() {
        const int start = bound(), end = start + 1 + bound();
        // Now and then an empty domain, which the construction refuses.
        m_tokens.push_back(busy(start, chance(5) ? start - 10 : start + 40, end, end + 60, 1, 200));
      }

      void call(unsigned int op) {
        const TokenId token = liveToken();
        switch (op) {
          case 0:
            newBusyToken();
            break;
          case 1:
            m_tokens.push_back(m_db->createToken("Rover.drive", chance(50), false));
            break;
          case 2:
            m_tokens.push_back(m_db->createSlaveToken(anyToken(), "Rover.drive", "before"));
            break;
          case 3:
            if (token.isId())
              token->activate();
            break;
          case 4:
            if (token.isId())
              token->doMerge(anyToken());
            break;
          case 5:
            if (token.isId())
              token->reject();
            break;
          case 6:
            if (token.isId())
              token->cancel();
            break;
          case 7:
            if (token.isId() && chance(40))
              token->discard();
            break;
          case 8:
            if (token.isId() && chance(30))
              token->terminate();
            break;
          case 9:
            if (token.isId())
              token->commit();
            break;
          case 10:
          case 11: {
            Timeline* tl = liveTimeline();
            if (tl == 0)
              break;
            if (op == 10)
              tl->constrain(tokenOn(tl), tokenOn(tl));
            else
              tl->free(tokenOn(tl), tokenOn(tl));
            break;
          }
          case 12: {
            std::vector<PlanDatabase::OrderingChoice> choices;
            const PlanDatabase::TokensToOrder& toOrder = m_db->getTokensToOrder();
            TokenId next = toOrder.empty() || chance(30) ? anyToken() : toOrder.begin()->second.first;
            m_db->getOrderingChoices(next, choices, 1 + pick(4));
            // Now and then the caller takes the first choice.
            if (!choices.empty() && chance(50))
              choices[0].first->constrain(choices[0].second.first, choices[0].second.second);
            break;
          }
          case 13:
            m_db->countOrderingChoices(anyToken(), 1 + pick(4));
            break;
          case 14: {
            std::vector<TokenId> compatible;
            m_db->getCompatibleTokens(anyToken(), compatible, 1 + pick(4), chance(50));
            break;
          }
          case 15:
            if (chance(30))
              newTimeline();
            break;
          case 16: {
            ObjectId object = liveObject();
            if (object.isId() && chance(30))
              object->discard();
            break;
          }
          case 17:
            m_ce->propagate();
            break;
          case 18: {
            if (token.isId()) {
              std::set<ConstraintId> constraints;
              token->getVariables()[pick(static_cast<unsigned int>(token->getVariables().size()))]
                  ->constraints(constraints);
              if (!constraints.empty())
                m_ce->deleteConstraint(*constraints.begin());
            }
            break;
          }
          case 19: {
            Timeline* tl = liveTimeline();
            if (tl != 0)
              tl->hasToken(anyToken());
            m_db->getTemporalAdvisor()->canPrecede(anyToken(), anyToken());
            break;
          }
          case 20: {
            Timeline* tl = liveTimeline();
            std::vector<TokenId> results;
            if (tl != 0)
              tl->getTokensToOrder(results);
            break;
          }
          case 21: {
            ConstrainedVariableId var =
                (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(0, 10), false, true, "g"))
                    ->getId();
            try {
              m_db->registerGlobalVariable(var);
            } catch (const Error&) {
              var->discard();
              throw;
            }
            if (chance(50))
              var->discard();
            break;
          }
          case 22:
            if (chance(5) && m_db->isOpen())
              m_db->close();
            break;
          case 23:
            if (chance(3))
              m_db->purge();
            break;
          case 24: {
            // A component battery of a rover: its tokens keep the rover from going too.
            ObjectId parent = liveObject();
            if (parent.isId() && m_db->getSchema()->isA(parent->getType(), "Rover"))
              m_objects.push_back((new TestObject(parent, "Battery", "battery"))->getId());
            break;
          }
          case 25:
            m_tokens.push_back(m_db->createToken("Battery.charge", true, false));
            break;
          case 26:
            m_db->createObject("Car", "c9", std::vector<const AbstractDomain*>{nullptr});
            break;
        }
      }

      /** Every handle the database lists names a live entity. */
      void expectNoDanglingHandles(unsigned int op) {
        for (const TokenId& token : m_db->getTokens())
          ASSERT_TRUE(token.isValid()) << "after call " << op;
        for (const ObjectId& object : m_db->getObjects())
          ASSERT_TRUE(object.isValid()) << "after call " << op;
        for (const ConstrainedVariableId& var : m_db->getGlobalVariables())
          ASSERT_TRUE(var.isValid()) << "after call " << op;
        for (const auto& entry : m_db->getTokensToOrder())
          ASSERT_TRUE(entry.second.first.isValid()) << "after call " << op;
      }

      std::mt19937 m_rng;
      std::vector<TokenId> m_tokens;
      std::vector<ObjectId> m_objects;
    };

    TEST(MisuseRandomTest, CarelessClientNeverBreaksThePlan) {
      unsigned int refused = 0;
      // More seeds on request, for a longer hunt.
      const char* count = std::getenv("KADRIX_MISUSE_SEEDS");
      const unsigned int seeds = count != 0 ? static_cast<unsigned int>(std::atoi(count)) : 200;
      for (unsigned int seed = 1; seed <= seeds; ++seed) {
        SCOPED_TRACE(seed);
        // Both ways of merging, seed by seed.
        EnvSetting method("KADRIX_USE_STACK_METHOD", seed % 2 == 0 ? "1" : "0");
        MisuseRun run(seed);
        refused += run.drive(150);
        EXPECT_TRUE(run.destroyable());
        if (::testing::Test::HasFatalFailure())
          return;
      }
      // The mix holds refused calls as well as accepted ones.
      EXPECT_GT(refused, seeds);
    }

  }
}
