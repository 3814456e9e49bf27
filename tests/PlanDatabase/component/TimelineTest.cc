#include "PlanDatabase/component/Timeline.hh"

#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/component/TimelineFixture.hh"
#include "rover/RoverModel.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace KADRIX {
  namespace TestModel {

    class TimelineTest : public TimelineFixture {
    protected:
      TimelineTest() : tl(timeline("tl")) {}

      /** The precedence constraints the timeline holds for the token. */
      std::vector<ConstraintId> precedences(const TokenId& token) const {
        std::vector<ConstraintId> results;
        tl->getPrecedenceConstraints(token, results);
        return results;
      }

      bool precedes(const TokenId& a, const TokenId& b) const { return tl->isConstrainedToPrecede(a, b); }

      /**
       * (a, b, c, d) where b->c is the only explicit constraint: the others lost
       * their marks while tokens at both ends held a and d in place.
       */
      std::vector<TokenId> implicitlyJoined() {
        TokenId a = active(), b = active(), c = active(), d = active(), h0 = active(), h = active();
        tl->constrain(a, d);
        tl->constrain(b, d);
        tl->constrain(b, c);
        tl->constrain(h0, a);
        tl->constrain(d, h);
        tl->free(a, d);
        tl->free(b, d);
        h0->deactivate();
        h->deactivate();
        m_ce->propagate();
        return {a, b, c, d};
      }

      TestTimeline* tl;
    };

    typedef std::vector<TokenId> Seq;

    TEST_F(TimelineTest, AddedTokensWaitUntilSequenced) {
      TokenId t = active();
      EXPECT_TRUE(waits(t, tl->getId()));
      EXPECT_FALSE(tl->hasToken(t));
      EXPECT_TRUE(tl->hasTokensToOrder());

      tl->constrain(t, t);
      EXPECT_EQ(sequence(tl), Seq{t});
      EXPECT_TRUE(tl->hasToken(t));
      EXPECT_TRUE(tl->hasExplicitConstraint(t));
      EXPECT_TRUE(precedences(t).empty());
      EXPECT_TRUE(m_db->getTokensToOrder().empty());
      EXPECT_FALSE(tl->hasTokensToOrder());

      EXPECT_CHECK_FAILS(tl->constrain(t, t), "m_tokenSequence.empty() || predecessor != successor",
                         "Can only constrain with respect to yourself on an empty timeline." + t->toString() +
                             " before " + t->toString());

      // Freed from itself, the token leaves the sequence and waits again.
      tl->free(t, t);
      EXPECT_TRUE(sequence(tl).empty());
      EXPECT_FALSE(tl->isConstrainedToThisObject(t));
      EXPECT_TRUE(waits(t, tl->getId()));
    }

    TEST_F(TimelineTest, PlacesTokensNextToTheirSequencedPartner) {
      // (x, b) + p before b gives (x, p, b): x->p implicit, x->b kept.
      TokenId x = active(), b = active(), p = active();
      tl->constrain(x, b);
      EXPECT_EQ(sequence(tl), (Seq{x, b}));
      tl->constrain(p, b);
      EXPECT_EQ(sequence(tl), (Seq{x, p, b}));
      EXPECT_TRUE(precedes(x, p));
      EXPECT_TRUE(precedes(p, b));
      EXPECT_TRUE(precedes(x, b));
      EXPECT_FALSE(waits(p, tl->getId()));

      // (x, p, b) + b before s appends; + p before q inserts right after p.
      TokenId s = active(), q = active();
      tl->constrain(b, s);
      tl->constrain(p, q);
      EXPECT_EQ(sequence(tl), (Seq{x, p, q, b, s}));
      EXPECT_TRUE(precedes(q, b));
      EXPECT_TRUE(tl->isValid());

      // Both sequenced: only the constraint is added.
      tl->constrain(x, s);
      EXPECT_EQ(sequence(tl), (Seq{x, p, q, b, s}));
      EXPECT_TRUE(precedes(x, s));
      EXPECT_CHECK_FAILS(tl->constrain(x, s), "getPrecedenceConstraint(predecessor, successor).isNoId()",
                         "At least one of predecessor and successor should not be sequenced yet." +
                             x->toString() + " before " + s->toString());
    }

    TEST_F(TimelineTest, TwoTokensBeforeACommonSuccessor) {
      TokenId a = active(), b = active(), c = active();
      tl->constrain(a, c);
      tl->constrain(b, c);
      EXPECT_EQ(sequence(tl), (Seq{a, b, c}));
      EXPECT_TRUE(precedes(a, b));
      EXPECT_EQ(precedences(a).size(), 2u);

      // Neither sequenced on a non-empty timeline: refused after the explicit constraint was made.
      TokenId d = active(), e = active();
      EXPECT_CHECK_FAILS(
          tl->constrain(d, e),
          "m_tokenSequence.empty() || m_tokenIndex.find(predecessor->getKey()) != m_tokenIndex.end() || "
          "m_tokenIndex.find(successor->getKey()) != m_tokenIndex.end()",
          "At least one of predecessor or successor should be already sequenced in a non empty sequence." +
              d->toString() + " before " + e->toString());
      EXPECT_FALSE(precedes(d, e));
    }

    TEST_F(TimelineTest, FreeTakesOutWhatNoExplicitConstraintHolds) {
      // b before d, then b before c: (b, c, d) with c->d implicit.
      TokenId b = active(), c = active(), d = active();
      tl->constrain(b, d);
      tl->constrain(b, c);
      EXPECT_EQ(sequence(tl), (Seq{b, c, d}));
      tl->free(b, c);
      EXPECT_EQ(sequence(tl), (Seq{b, d}));
      EXPECT_TRUE(waits(c, tl->getId()));
      EXPECT_FALSE(tl->isConstrainedToThisObject(c));
      EXPECT_EQ(precedences(b).size(), 1u);
      EXPECT_TRUE(precedes(b, d));

      // The last explicit constraint freed empties the sequence.
      tl->free(b, d);
      EXPECT_TRUE(sequence(tl).empty());
      EXPECT_TRUE(waits(b, tl->getId()) && waits(d, tl->getId()));
      EXPECT_FALSE(tl->isConstrainedToThisObject(b));

      EXPECT_CHECK_FAILS(tl->free(b, d),
                         "m_tokenIndex.find(predecessor->getKey()) != m_tokenIndex.end() && "
                         "m_tokenIndex.find(successor->getKey()) != m_tokenIndex.end()",
                         "Predecessor and successor must both be sequenced if they are to be freed");
    }

    TEST_F(TimelineTest, FreeJoinsWhatIsLeftImplicitly) {
      const std::vector<TokenId> joined = implicitlyJoined();
      const TokenId a = joined[0], b = joined[1], c = joined[2], d = joined[3];
      EXPECT_EQ(sequence(tl), (Seq{a, b, c, d}));
      EXPECT_FALSE(tl->hasExplicitConstraint(a) || tl->hasExplicitConstraint(d));

      tl->free(b, c);
      EXPECT_EQ(sequence(tl), (Seq{a, d}));
      EXPECT_TRUE(precedes(a, d));
      EXPECT_FALSE(tl->hasExplicitConstraint(a));
      EXPECT_TRUE(waits(b, tl->getId()) && waits(c, tl->getId()));
      EXPECT_TRUE(tl->isValid());
    }

    TEST_F(TimelineTest, FreeBetweenRequiredTokensOnlyDropsTheMark) {
      TokenId a = active(), b = active(), c = active();
      tl->constrain(a, b);
      tl->constrain(b, c);
      tl->constrain(a, c);
      tl->free(a, c); // a and c keep a->b and b->c
      EXPECT_EQ(sequence(tl), (Seq{a, b, c}));
      EXPECT_TRUE(precedes(a, c));
      tl->free(a, b); // a now holds nothing explicit: it leaves, b stays first
      EXPECT_EQ(sequence(tl), (Seq{b, c}));
      EXPECT_FALSE(precedes(a, c));
      EXPECT_TRUE(tl->isValid());
    }

    TEST_F(TimelineTest, FreeLinksEveryGapItLeaves) {
      // (p, x, s, y) with p->y, p->s, p->x explicit; x->s and s->y implicit.
      TokenId p = active(), x = active(), s = active(), y = active();
      tl->constrain(p, y);
      tl->constrain(p, s);
      tl->constrain(p, x);
      EXPECT_EQ(sequence(tl), (Seq{p, x, s, y}));
      tl->free(p, s);
      EXPECT_EQ(sequence(tl), (Seq{p, x, y}));
      EXPECT_TRUE(precedes(x, y));
      EXPECT_TRUE(tl->isValid());
      EXPECT_TRUE(waits(s, tl->getId()));
    }

    TEST_F(TimelineTest, RemoveLinksTheNeighboursExplicitly) {
      TokenId a = active(), t = active(), b = active();
      tl->constrain(a, t);
      tl->constrain(t, b);
      t->deactivate();
      m_ce->propagate();
      EXPECT_EQ(sequence(tl), (Seq{a, b}));
      EXPECT_TRUE(precedes(a, b));
      // The new link is explicit: freeing it takes both out.
      EXPECT_TRUE(tl->hasExplicitConstraint(a) && tl->hasExplicitConstraint(b));
      EXPECT_TRUE(tl->tokens().count(t) == 0);

      // First and last leave no new link; an unsequenced token only withdraws.
      TokenId w = active();
      EXPECT_TRUE(waits(w, tl->getId()));
      w->deactivate();
      m_ce->propagate();
      EXPECT_FALSE(waits(w, tl->getId()));
      a->deactivate();
      m_ce->propagate();
      EXPECT_EQ(sequence(tl), (Seq{b}));
      EXPECT_TRUE(precedences(b).empty());
      EXPECT_TRUE(m_db->getTokensToOrder().empty());
    }

    TEST_F(TimelineTest, TokensOnTwoTimelinesStayInStep) {
      TestTimeline* other = timeline("other");
      m_ce->setAutoPropagation(true);
      for (int cycle = 0; cycle < 2; ++cycle) {
        TokenId a = busy(), b = busy();
        activate(a);
        activate(b);
        EXPECT_TRUE(waits(a, tl->getId()) && waits(a, other->getId()));
        tl->constrain(a, b); // binds both to tl: the other timeline lets them go
        EXPECT_EQ(sequence(tl), (Seq{a, b}));
        EXPECT_FALSE(waits(a, other->getId()));
        EXPECT_TRUE(other->tokens().empty());
        EXPECT_TRUE(m_db->getTokensToOrder().empty());
        a->deactivate();
        activate(a);
        EXPECT_TRUE(waits(a, tl->getId()) && waits(a, other->getId()));
        a->discard();
        b->discard();
        EXPECT_TRUE(m_db->getTokensToOrder().empty());
        EXPECT_TRUE(tl->tokens().empty() && sequence(tl).empty());
      }
      m_ce->setAutoPropagation(false);
    }

    TEST_F(TimelineTest, ATokenTakenOffLeavesItsOwnMark) {
      TokenId t = active(), u = active();
      tl->constrain(t, t);
      t->deactivate();
      activate(t);
      EXPECT_FALSE(tl->isExplicitOrdering(t, t));
      // Ordered again, t is held only by what is asked of it now: freed, both leave.
      tl->constrain(u, t);
      tl->free(u, t);
      EXPECT_TRUE(sequence(tl).empty());
      EXPECT_TRUE(waits(t, tl->getId()) && waits(u, tl->getId()));
    }

    TEST_F(TimelineTest, ATokenLeftAloneInTheSequenceStaysBoundThere) {
      TestTimeline* other = timeline("other");
      // (a, d) linked only implicitly.
      const std::vector<TokenId> joined = implicitlyJoined();
      const TokenId a = joined[0], d = joined[3];
      tl->free(joined[1], joined[2]);
      ASSERT_EQ(sequence(tl), (Seq{a, d}));

      tl->free(a, a);
      m_ce->propagate();
      // What the timeline sequences stays bound to it: no other timeline takes it.
      EXPECT_EQ(sequence(tl), (Seq{d}));
      EXPECT_TRUE(tl->isConstrainedToThisObject(d));
      EXPECT_TRUE(other->tokens().count(d) == 0);
      EXPECT_FALSE(tl->isConstrainedToThisObject(a));
      EXPECT_TRUE(waits(a, tl->getId()) && waits(a, other->getId()));
    }

    TEST_F(TimelineTest, PropagationLeavesATokenWhereItWasOrdered) {
      TestTimeline* other = timeline("other");
      TokenId t = active(), z = active(), u = active();
      // While the plan is inconsistent, t is ordered on both timelines.
      Variable<IntervalIntDomain> zero(m_ce->getId(), IntervalIntDomain(0, 0));
      Variable<IntervalIntDomain> one(m_ce->getId(), IntervalIntDomain(1, 1));
      const ConstraintId clash = m_ce->createConstraint("eq", {zero.getId(), one.getId()});
      EXPECT_FALSE(m_ce->propagate());
      tl->constrain(t, z);
      other->constrain(t, t);
      clash->discard();
      // Both bindings stay: neither timeline lets t go behind its caller's back.
      EXPECT_FALSE(m_ce->propagate());
      EXPECT_EQ(sequence(tl), (Seq{t, z}));
      EXPECT_EQ(sequence(other), (Seq{t}));
      EXPECT_TRUE(tl->isConstrainedToThisObject(t) && other->isConstrainedToThisObject(t));

      // The timeline links a new neighbour of t, bound here already, to it.
      tl->constrain(u, z);
      EXPECT_EQ(sequence(tl), (Seq{t, u, z}));
      EXPECT_TRUE(precedes(t, u));
      other->free(t, t);
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_TRUE(sequence(other).empty());
      EXPECT_TRUE(tl->isValid());
    }

    TEST_F(TimelineTest, ZeroDurationNeighboursAreValid) {
      TokenId m1 = mark(10), m2 = mark(10), m3 = mark(10);
      tl->constrain(m1, m2);
      tl->constrain(m2, m3);
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_TRUE(tl->isValid());
    }

    TEST_F(TimelineTest, TokensToOrderAreActiveAndUnsequencedByKey) {
      TokenId a = active(), b = busy(), c = active(), d = active();
      tl->constrain(c, c);
      std::vector<TokenId> toOrder;
      tl->getTokensToOrder(toOrder);
      EXPECT_EQ(toOrder, (Seq{a, d}));
      EXPECT_TRUE(b->isInactive());
      EXPECT_TRUE(tl->hasTokensToOrder());
      EXPECT_CHECK_FAILS(tl->getTokensToOrder(toOrder), "results.empty()", "");
      a->deactivate();
      d->deactivate();
      m_ce->propagate();
      EXPECT_FALSE(tl->hasTokensToOrder());
    }

    // Ordering choices.

    TEST_F(TimelineTest, EmptyTimelineOffersTheTokenAlone) {
      TokenId t = active();
      {
        DebugCapture debug("Timeline:getOrderingChoices");
        EXPECT_EQ(choices(tl, t, 1), (Choices{{t, t}}));
        EXPECT_EQ(debug.text(), "[Timeline:getOrderingChoices]Getting ordering choices for token (" +
                                    std::to_string(t->getKey()) +
                                    ") Timeline.busy\n"
                                    "[Timeline:getOrderingChoices:canPrecede]Token sequence is empty, "
                                    "returning a single pair with same token\n");
      }
      EXPECT_EQ(choices(tl, t, 7), (Choices{{t, t}}));
      EXPECT_CHECK_FAILS(choices(tl, t, 0), "limit > 0", "Cannot set limit to less than 1.");
      tl->constrain(t, t);
      EXPECT_CHECK_FAILS(choices(tl, t), "m_tokenIndex.find(token->getKey()) == m_tokenIndex.end()",
                         "Attempted to query for choices to constrain token Timeline.busy which has already "
                         "been constrained.");
    }

    TEST_F(TimelineTest, ChoicesFollowTheSequenceUpToTheLimit) {
      TokenId a = fixed(100, 110);
      tl->constrain(a, a);
      TokenId t = active(0, 500, 10, 510, 10, 10);
      EXPECT_EQ(choices(tl, t), (Choices{{t, a}, {a, t}}));
      EXPECT_EQ(choices(tl, t, 1), (Choices{{t, a}}));

      // t can precede only c, and fits between b and c.
      TokenId b = fixed(110, 120);
      TokenId c = active(150, 160, 170, 180, 20, 20);
      tl->constrain(a, b);
      tl->constrain(b, c);
      TokenId u = active(120, 200, 130, 210, 10, 10);
      EXPECT_EQ(choices(tl, u), (Choices{{u, c}, {c, u}}));
      EXPECT_EQ(choices(tl, u, 1), (Choices{{u, c}}));
    }

    TEST_F(TimelineTest, GapsTooSmallAreSkipped) {
      TokenId a = fixed(0, 10);
      TokenId b = active(14, 14, 20, 20, 6, 6);
      TokenId c = fixed(100, 110);
      tl->constrain(a, b);
      tl->constrain(b, c);
      // Between a and b there are 4, t needs 5; then it fits before c and after c.
      TokenId t = active(0, 200, 5, 205, 5, 5);
      EXPECT_EQ(choices(tl, t), (Choices{{t, c}, {c, t}}));
      // A gap exactly as long as the token is enough.
      TokenId s = active(0, 200, 4, 204, 4, 4);
      EXPECT_EQ(choices(tl, s), (Choices{{s, b}, {s, c}, {c, s}}));
    }

    TEST_F(TimelineTest, APredecessorThatCannotPrecedeEndsTheScan) {
      TokenId a = fixed(10, 20), b = fixed(30, 40), c = fixed(50, 60);
      tl->constrain(a, b);
      tl->constrain(b, c);
      TokenId t = active(0, 25, 5, 30, 5, 5);
      EXPECT_EQ(choices(tl, t), (Choices{{t, a}, {t, b}}));
      // A token that can precede nothing can only go last.
      TokenId late = active(300, 400, 310, 410, 10, 10);
      EXPECT_EQ(choices(tl, late), (Choices{{c, late}}));
    }

    TEST_F(TimelineTest, InconsistentPlanOffersNothing) {
      TokenId a = active(), t = active();
      tl->constrain(a, a);
      ConstraintId eq = breakPlan();
      EXPECT_TRUE(choices(tl, t).empty());
      eq->discard();
      EXPECT_EQ(choices(tl, t).size(), 2u);
    }

    // A seeded random walk over activate, constrain, free and deactivate.
    TEST_F(TimelineTest, RandomOperationsKeepTheTimelineValid) {
      for (unsigned int seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        std::vector<TokenId> tokens;
        for (int i = 0; i < 8; ++i)
          tokens.push_back(busy(0, 1000, 1, 1000, 1, 1));
        for (int step = 0; step < 60; ++step) {
          const TokenId t = tokens[random() % tokens.size()];
          const std::vector<TokenId> seq = sequence(tl);
          // Weighted: activate 6, constrain 7, free 4, deactivate 3 in 20.
          const unsigned int dice = random() % 20;
          switch (dice < 6 ? 0 : dice < 13 ? 1 : dice < 17 ? 2 : 3) {
            case 0:
              if (t->isInactive())
                activate(t);
              break;
            case 1:
              if (t->isActive() && !tl->hasToken(t)) {
                Choices options = choices(tl, t);
                if (!options.empty()) {
                  const Choice& choice = options[random() % options.size()];
                  tl->constrain(choice.first, choice.second);
                }
              }
              break;
            case 2:
              if (seq.size() >= 2) {
                size_t i = random() % (seq.size() - 1);
                if (tl->isConstrainedToPrecede(seq[i], seq[i + 1]))
                  tl->free(seq[i], seq[i + 1]);
              } else if (seq.size() == 1 && tl->hasExplicitConstraint(seq[0]) && precedences(seq[0]).empty())
                tl->free(seq[0], seq[0]);
              break;
            case 3:
              if (t->isActive()) {
                t->deactivate();
                m_ce->propagate();
              }
              break;
          }
          ASSERT_TRUE(m_ce->propagate());
          ASSERT_TRUE(tl->isValid());
          // The database waits exactly for the active tokens the timeline has not sequenced.
          std::vector<TokenId> expected;
          tl->getTokensToOrder(expected);
          std::vector<TokenId> waiting;
          for (const auto& entry : m_db->getTokensToOrder())
            waiting.push_back(entry.second.first);
          ASSERT_EQ(waiting, expected) << "seed " << seed << " step " << step;
        }
        for (const TokenId& t : tokens)
          t->discard();
        ASSERT_TRUE(m_db->getTokensToOrder().empty());
        ASSERT_TRUE(sequence(tl).empty());
      }
    }

    namespace {
      /** The default advisor under a class of its own: the timeline then asks it gap by gap. */
      class AskedAdvisor : public DefaultTemporalAdvisor {
      public:
        explicit AskedAdvisor(const ConstraintEngineId& ce) : DefaultTemporalAdvisor(ce) {}
      };

      typedef std::vector<std::pair<int, int> > Positions;

      /**
       * A rover whose At tokens get windows drawn from a seed. Two of them from one
       * seed are the same plan; choices are compared as numbers of tokens in the
       * order they were made (-1 for the token asked about).
       */
      class RandomRover {
      public:
        RandomRover(unsigned int seed, bool asked) : random(seed) {
          if (asked)
            plan.db()->setTemporalAdvisor((new AskedAdvisor(plan.engine()))->getId());
          plan.location("home", 0, 0);
          rover = dynamic_cast<Timeline*>(static_cast<Object*>(plan.rover("r")));
          for (int i = 0; i < 10; ++i) {
            TokenId t = (new RoverModel::AtToken(plan.db(), "Rover.At", true, false))->getId();
            const int start = static_cast<int>(random() % 700), width = static_cast<int>(random() % 150);
            const int duration = 1 + static_cast<int>(random() % 40);
            t->start()->restrictBaseDomain(IntervalIntDomain(start, start + width));
            t->duration()->restrictBaseDomain(IntervalIntDomain(duration, duration + 10));
            tokens.push_back(t);
          }
        }

        Positions choices(const TokenId& t, unsigned int limit) {
          std::vector<std::pair<TokenId, TokenId> > found;
          rover->getOrderingChoices(t, found, limit);
          Positions result;
          for (const auto& choice : found)
            result.push_back(std::make_pair(number(choice.first, t), number(choice.second, t)));
          return result;
        }

        int number(const TokenId& token, const TokenId& asked) const {
          return token == asked
                     ? -1
                     : static_cast<int>(std::find(tokens.begin(), tokens.end(), token) - tokens.begin());
        }

        RoverModel::Plan plan;
        Timeline* rover;
        std::vector<TokenId> tokens;
        std::mt19937 random;
      };
    }

    // The table's bounds and the advisor asked gap by gap give the same choices.
    TEST(OrderingChoicesTest, BoundsFromTheTableAnswerAsTheAdvisor) {
      unsigned int gapsSkipped = 0, scansEnded = 0;
      for (unsigned int seed = 1; seed <= 40; ++seed) {
        RandomRover fromTable(seed, false), asked(seed, true);
        std::mt19937 random(seed);
        for (int step = 0; step < 40; ++step) {
          const size_t i = random() % fromTable.tokens.size();
          const unsigned int limit = 1 + static_cast<unsigned int>(random() % 6);
          const size_t pick = random();
          for (RandomRover* r : {&fromTable, &asked}) {
            const TokenId t = r->tokens[i];
            if (t->isInactive())
              t->activate();
            else if (r->rover->hasToken(t)) {
              // Freed from its neighbour after it, or from itself when alone.
              const std::list<TokenId>& seq = r->rover->getTokenSequence();
              const std::list<TokenId>::const_iterator at = std::find(seq.begin(), seq.end(), t);
              if (std::next(at) != seq.end() && r->rover->isConstrainedToPrecede(t, *std::next(at)))
                r->rover->free(t, *std::next(at));
              else if (seq.size() == 1)
                r->rover->free(t, t);
            } else {
              std::vector<std::pair<TokenId, TokenId> > found;
              r->rover->getOrderingChoices(t, found, 100);
              if (!found.empty()) {
                r->rover->constrain(found[pick % found.size()].first, found[pick % found.size()].second);
                if (!r->plan.engine()->propagate())
                  r->rover->free(found[pick % found.size()].first, found[pick % found.size()].second);
              }
            }
            r->plan.engine()->propagate();
          }
          for (size_t k = 0; k < fromTable.tokens.size(); ++k) {
            const TokenId t = fromTable.tokens[k];
            if (!t->isActive() || fromTable.rover->hasToken(t))
              continue;
            const Positions all = fromTable.choices(t, 100);
            ASSERT_EQ(asked.choices(asked.tokens[k], 100), all) << "seed " << seed << " step " << step;
            ASSERT_EQ(asked.choices(asked.tokens[k], limit), fromTable.choices(t, limit))
                << "seed " << seed << " step " << step << " limit " << limit;
            const size_t sequenced = fromTable.rover->getTokenSequence().size();
            gapsSkipped += all.size() < sequenced + 1;
            scansEnded += !all.empty() && all.back().second != -1;
          }
        }
      }
      // The walk meets gaps too small and predecessors that end the scan.
      EXPECT_GT(gapsSkipped, 50u);
      EXPECT_GT(scansEnded, 50u);
    }

  }
}
