// Merge candidates, merging inactive tokens onto active ones and splitting them off
// again by the merge method and by the stack method; committing, the termination
// rule, terminating, and archiving finished tokens.

#include "ConstraintEngine/base/EngineFixture.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/base/UnifyMemento.hh"
#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace KADRIX {
  namespace TestModel {

    namespace {
      typedef std::vector<ConstrainedVariableId> Scope;

      /** Refuses concurrency with one token and remembers whom it was asked about. */
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

      /** The constraints of that name on var, over exactly scope when one is given. */
      size_t count(const ConstrainedVariableId& var, const char* name, const Scope& scope = {}) {
        std::set<ConstraintId> all;
        var->constraints(all);
        size_t n = 0;
        for (const ConstraintId& c : all)
          n += (c->getName() == LabelStr(name) && (scope.empty() || c->getScope() == scope));
        return n;
      }

      std::vector<std::string> domains(const std::vector<TokenId>& tokens) {
        std::vector<std::string> result;
        for (const TokenId& token : tokens)
          for (const ConstrainedVariableId& var : token->getVariables())
            result.push_back(var->lastDomain().toString());
        return result;
      }

      const MergeMementoId& record(const TokenId& token) {
        return token->getUnifyMemento()->getMergeMemento();
      }
    }

    class MergeTest : public TokenFixture {
    protected:
      MergeTest() : env("KADRIX_USE_STACK_METHOD", nullptr) {
        m_ces->registerConstraintFactory(
            new ConcreteConstraintFactory<NoOpConstraint>("watch", "Default", false));
        m_ces->registerConstraintFactory(
            new ConcreteConstraintFactory<RedundantConstraint>("redundant", "Default", false));
      }
      /** A Vehicle.move token over these start and end bounds. */
      TokenId move(int startLow, int startHigh, int endLow, int endHigh) {
        return (new IntervalToken(db(), "Vehicle.move", true, false, IntervalIntDomain(startLow, startHigh),
                                  IntervalIntDomain(endLow, endHigh), positive(), Token::noObject(), true))
            ->getId();
      }
      EnvSetting env;
    };
    typedef MergeTest TerminationTest;

    TEST_F(MergeTest, Candidates) {
      RefusingAdvisor* advisor = new RefusingAdvisor(m_ce->getId());
      m_db->setTemporalAdvisor(advisor->getId());
      TokenId inactive = drive();
      std::vector<TokenId> results{inactive};
      TokenId car = active("Car.drive"), a1 = active(), a2 = active(), excluded = active();
      // Parameters {1, 2} and {3, 4} cannot meet, {2, 3} and {3, 4} can.
      inactive->getVariables()[5]->restrictBaseDomain(IntervalIntDomain(3, 4));
      excluded->getVariables()[5]->restrictBaseDomain(IntervalIntDomain(1, 2));
      a2->getVariables()[5]->restrictBaseDomain(IntervalIntDomain(2, 3));
      m_db->getCompatibleTokens(inactive, results);
      EXPECT_EQ((std::vector<TokenId>{inactive, car, a1, a2}), results);
      // A token of the parent predicate is no candidate for the derived one.
      EXPECT_EQ(1u, m_db->countCompatibleTokens(m_db->createToken("Car.drive", true, false), 10, false));
      EXPECT_EQ(0u, m_db->countCompatibleTokens(inactive, 0, false));
      EXPECT_TRUE(advisor->asked.empty());

      // The limit ends the search; a candidate the advisor refuses does not count.
      advisor->refused = car;
      PSList<PSToken*> viewed = inactive->getCompatibleTokens(2, true);
      ASSERT_EQ(2, viewed.size());
      EXPECT_EQ(a2->getKey(), viewed.get(1)->getKey());
      EXPECT_EQ((std::vector<TokenId>{car, a1, a2}), advisor->asked);

      ConstraintId impossible = precedes(a1->end(), a1->start());
      EXPECT_FALSE(m_db->hasCompatibleTokens(inactive));
      impossible->discard();
      EXPECT_TRUE(m_db->hasCompatibleTokens(inactive));
    }

    TEST_F(MergeTest, MergeMethodMovesRestrictionsAndSplitRestoresThem) {
      TokenId a = active(), m = drive(), other = drive(), rejected = drive();
      m->start()->restrictBaseDomain(IntervalIntDomain(10, 20));
      m->duration()->specify(5);
      ConstraintId ordered = precedes(m->start(), m->end());
      m_ce->createConstraint("watch", Scope{m->getState(), m->duration()});
      // Made while the other token could still be chosen; rejected afterwards.
      precedes(m->end(), rejected->start());
      rejected->reject();
      ASSERT_TRUE(m_ce->propagate());
      const std::vector<std::string> before = domains({a, m});
      const unsigned int refs = a->refCount();

      recorder->log.clear();
      m->doMerge(a);
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("merged", m)}, recorder->log);
      EXPECT_EQ(refs + 1, a->refCount());
      EXPECT_EQ(5, a->duration()->getSpecifiedValue());
      EXPECT_EQ(IntervalIntDomain(10, 20),
                (static_cast<TokenVariable<IntervalIntDomain>*>(a->start()))->getIntegratedBaseDomain());
      EXPECT_TRUE(m->getState()->isActive());
      EXPECT_FALSE(m->end()->isActive());
      EXPECT_FALSE((*m->getStandardConstraints().begin())->isActive());
      // Each non-standard constraint is re-stated once; one on the state is not even recorded.
      EXPECT_EQ(2u, record(m)->getDeactivatedConstraints().size());
      EXPECT_EQ(1u, count(a->start(), "precedes", Scope{a->start(), a->end()}));
      EXPECT_EQ(1u, count(a->end(), "precedes", Scope{a->end(), rejected->start()}));
      EXPECT_EQ(0u, count(a->duration(), "watch"));

      // Added while merged: re-stated at once; removed: the re-stated one goes.
      ConstraintId later = precedes(m->start(), other->end());
      EXPECT_FALSE(later->isActive());
      EXPECT_EQ(1u, count(a->start(), "precedes", Scope{a->start(), other->end()}));
      later->discard();
      EXPECT_EQ(0u, count(other->end(), "precedes"));
      EXPECT_EQ(2u, record(m)->getNewConstraints().size());
      // A created constraint that a client deletes is skipped by the undo.
      record(m)->getNewConstraints().front()->discard();

      recorder->log.clear();
      m->cancel();
      ASSERT_TRUE(m_ce->propagate());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("split", m)}, recorder->log);
      EXPECT_TRUE(m->isInactive() && m->getUnifyMemento().isNoId() && a->getMergedTokens().empty());
      EXPECT_EQ(refs, a->refCount());
      EXPECT_TRUE(ordered->isActive());
      EXPECT_EQ(0u, count(a->end(), "precedes"));
      EXPECT_EQ(before, domains({a, m}));
    }

    TEST_F(MergeTest, RefusedMergesChangeNothing) {
      TokenId a = active(), m = drive();
      EXPECT_CHECK_FAILS(m->doMerge(drive()), "activeToken->isActive()", "");
      EXPECT_CHECK_FAILS(a->doMerge(a), "isInactive()", "");
      EXPECT_CHECK_FAILS(m->merge(nullptr), "activeToken != NULL", "Can't merge on NULL token");
      EXPECT_CHECK_FAILS(
          m_db->createToken("Car.drive", true, false)->doMerge(a),
          "getPlanDatabase()->getSchema()->isA(activeToken->getPredicateName(), m_predicateName)",
          "Cannot merge tokens with different predicates: Car.drive, Rover.drive");
      m->getState()->remove(Token::MERGED.getKey());
      EXPECT_CHECK_FAILS(m->doMerge(a), "m_state->lastDomain().isMember(MERGED)",
                         "Not permitted to merge." + m->toString());
      // A derived predicate's token with more variables: refused before the state changes.
      TokenId move = (new PlainToken(db(), "Vehicle.move", true, false))->getId();
      TokenId wide = (new DriveToken(db(), "Car.move", true, false))->getId();
      wide->activate();
      EXPECT_CHECK_FAILS(move->doMerge(wide), "inactiveVariables.size() == activeVariables.size()", "");
      EXPECT_TRUE(move->isInactive() && wide->getMergedTokens().empty());
    }

    TEST_F(MergeTest, MergeRefusedForASpecifiedValueChangesNeitherToken) {
      TokenId a = active(), m = drive();
      // Earlier variables would be narrowed and deactivated before the parameter is reached.
      m->start()->restrictBaseDomain(IntervalIntDomain(10, 20));
      m->duration()->specify(5);
      m->parameters()[0]->specify(4);
      a->parameters()[0]->specify(3);
      ASSERT_TRUE(m_ce->propagate());
      const std::vector<std::string> before = domains({a, m});
      const unsigned int refs = a->refCount();

      EXPECT_CHECK_FAILS(m->doMerge(a), "this->lastDomain().isMember(value)",
                         "4 is not in " + a->parameters()[0]->toString());
      EXPECT_TRUE(m->isInactive() && m->getUnifyMemento().isNoId() && m->getActiveToken().isNoId());
      EXPECT_TRUE(a->getMergedTokens().empty());
      EXPECT_EQ(refs, a->refCount());
      EXPECT_EQ(before, domains({a, m}));
      for (const ConstrainedVariableId& var : m->getVariables())
        EXPECT_TRUE(var->isActive()) << var->toString();
      EXPECT_TRUE(m->isValid() && a->isValid());
      ASSERT_TRUE(m_ce->propagate());

      // The stack method does not take the value over, so it merges.
      env.set("1");
      m->doMerge(a);
      EXPECT_TRUE(m->isMerged());
      m->cancel();
      m->discard();
      a->discard();
    }

    TEST_F(MergeTest, MethodIsReadAtEachMergeAndStackTiesBothWays) {
      TokenId a = active();
      for (const char* value : {"true", " 1", "", "0"}) {
        env.set(value);
        TokenId m = drive();
        m->doMerge(a);
        EXPECT_EQ(UnifyMemento::mergeMethod, m->getUnifyMemento()->getMethod()) << "'" << value << "'";
        m->cancel();
      }
      env.set("1");
      TokenId stacked = drive();
      stacked->doMerge(a);
      env.set(nullptr);
      TokenId merged = drive();
      merged->doMerge(a);
      // Object, duration, start, end and both parameters; never the state.
      EXPECT_EQ(6u, stacked->getUnifyMemento()->getStackMemento()->getStackConstraints().size());
      EXPECT_EQ(0u, count(stacked->getState(), "eq"));
      a->start()->restrictBaseDomain(IntervalIntDomain(0, 400));
      stacked->start()->restrictBaseDomain(IntervalIntDomain(100, 1000));
      ASSERT_TRUE(m_ce->propagate());
      EXPECT_EQ(IntervalIntDomain(100, 400), stacked->start()->lastDomain());
      EXPECT_EQ(IntervalIntDomain(100, 400), a->start()->lastDomain());
      // Constraints on a stacked token's variables stay active and are left alone.
      EXPECT_TRUE(precedes(stacked->start(), stacked->end())->isActive());

      // Each split undoes its own record only, in either order.
      stacked->cancel();
      EXPECT_EQ(0u, count(a->start(), "eq"));
      EXPECT_FALSE(merged->start()->isActive());
      env.set("1");
      stacked->doMerge(a);
      merged->cancel();
      EXPECT_TRUE(merged->start()->isActive());
      EXPECT_EQ(1u, count(a->start(), "eq"));
      stacked->cancel();
      EXPECT_EQ(0u, count(a->start(), "eq"));
    }

    TEST_F(MergeTest, ConstraintBetweenTwoMergedTokensMovesBetweenTheirActiveTokens) {
      TokenId a1 = active(), a2 = active(), m1 = drive(), m2 = drive();
      ConstraintId k = precedes(m1->end(), m2->start());
      m1->doMerge(a1);
      m2->doMerge(a2);
      EXPECT_EQ(1u, count(m1->end(), "precedes", Scope{m1->end(), a2->start()}));
      EXPECT_EQ(2u, count(a1->end(), "precedes", Scope{a1->end(), a2->start()}));
      m1->cancel();
      // What M2's record made over M1's variable is active now; K waits for M2.
      EXPECT_EQ(0u, count(a1->end(), "precedes"));
      std::set<ConstraintId> onEnd;
      m1->end()->constraints(onEnd);
      for (const ConstraintId& c : onEnd)
        EXPECT_EQ(c != k, c->isActive()) << c->toString();
      m2->cancel();
      EXPECT_TRUE(k->isActive());
      EXPECT_EQ(0u, count(a2->start(), "precedes"));
    }

    // Made before or after the merge, a constraint on two of the merged token's variables is re-stated once.
    TEST_F(MergeTest, AConstraintOnTwoVariablesOfAMergedTokenIsRestatedOnce) {
      for (bool before : {true, false}) {
        TokenId a = active(), m = drive();
        ConstraintId k;
        if (before)
          k = precedes(m->start(), m->end());
        m->doMerge(a);
        if (!before)
          k = precedes(m->start(), m->end());
        EXPECT_EQ(1u, count(a->start(), "precedes", Scope{a->start(), a->end()})) << before;
        m->cancel();
        EXPECT_EQ(0u, count(a->start(), "precedes", Scope{a->start(), a->end()})) << before;
        k->discard();
      }
    }

    TEST_F(MergeTest, SplitsDeactivationDiscardAndPurge) {
      // A split can discard an active token that only the merge still held.
      for (const char* method : {"0", "1"}) {
        env.set(method);
        TokenId master = active();
        TokenId slave = m_db->createSlaveToken(master, "Rover.drive", "before");
        slave->activate();
        TokenId m = drive();
        m->doMerge(slave);
        ConstraintId ordered = precedes(m->start(), m->end());
        master->cancel();
        ASSERT_TRUE(slave.isValid());
        m->cancel();
        EXPECT_FALSE(slave.isValid());
        EXPECT_TRUE(m->isInactive() && m->start()->isActive() && ordered->isActive());
      }
      // Deactivation splits lowest key first; a terminated token keeps what its merge made.
      env.set(nullptr);
      TokenId a = active(), m1 = drive(), m2 = drive();
      m2->doMerge(a);
      m1->doMerge(a);
      precedes(m1->start(), drive()->end());
      m1->terminate();
      recorder->log.clear();
      a->cancel();
      EXPECT_EQ(
          (std::vector<std::string>{TokenRecorder::entry("split", m1), TokenRecorder::entry("split", m2)}),
          recorder->with("split"));
      EXPECT_EQ(1u, count(a->start(), "precedes"));
      // The global purge releases the records without undoing them.
      a->activate();
      m2->doMerge(a);
      env.set("1");
      drive()->doMerge(a);
      Entity::purgeStart();
      m_db->purge();
      delete m_ce;
      m_ce = nullptr;
      Entity::purgeEnd();
    }

    TEST_F(MergeTest, PurgeDiscardsTokensInKeyOrder) {
      // Later tokens reuse the memory of discarded ones, so addresses need not follow keys.
      std::vector<TokenId> early;
      for (int i = 0; i < 8; ++i)
        early.push_back(drive());
      for (const TokenId& token : early)
        token->discard();
      std::vector<std::string> expected;
      for (int i = 0; i < 8; ++i)
        expected.push_back(TokenRecorder::entry("removed", i % 2 ? drive() : active()));
      recorder->log.clear();
      m_db->purge();
      EXPECT_EQ(expected, recorder->with("removed"));
    }

    // Seeded sequences of merges and splits by both methods: after each split,
    // and propagation, every variable is back where it was before the merge.
    TEST_F(MergeTest, RandomMergesAndSplitsRestoreEveryDomain) {
      std::mt19937 random(20261206);
      std::vector<TokenId> actives, inactives;
      for (int i = 0; i < 4; ++i)
        actives.push_back(active());
      for (int i = 0; i < 6; ++i) {
        inactives.push_back(drive());
        if (i % 2 == 0)
          inactives[i]->start()->restrictBaseDomain(IntervalIntDomain(10 * i, 500 + 10 * i));
        if (i % 3 == 0)
          inactives[i]->duration()->specify(7);
      }
      precedes(inactives[0]->end(), inactives[1]->start());
      precedes(inactives[2]->start(), actives[3]->end());
      std::vector<TokenId> all(actives);
      all.insert(all.end(), inactives.begin(), inactives.end());
      for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(m_ce->propagate());
        const std::vector<std::string> before = domains(all);
        TokenId m = inactives[random() % inactives.size()];
        const size_t onto = random() % actives.size();
        env.set(random() % 2 ? "1" : nullptr);
        m->doMerge(actives[onto]);
        TokenId second = inactives[random() % inactives.size()];
        if (random() % 2 && second->isInactive()) {
          second->doMerge(actives[(onto + 1) % actives.size()]);
          ASSERT_TRUE(m_ce->propagate());
          second->cancel();
        }
        ASSERT_TRUE(m_ce->propagate());
        m->cancel();
        ASSERT_TRUE(m_ce->propagate());
        ASSERT_EQ(before, domains(all)) << "round " << round;
      }
    }

    // Parameters merge by index like every other variable of the token.
    TEST_F(MergeTest, MergedParametersRestrictTheActiveTokensUntilSplit) {
      TokenId a = active(), m = drive();
      TokenVariable<IntervalIntDomain>* speed = dynamic_cast<TokenVariable<IntervalIntDomain>*>(
          static_cast<ConstrainedVariable*>(a->parameters()[0]));
      TokenVariable<IntervalDomain>* distance =
          dynamic_cast<TokenVariable<IntervalDomain>*>(static_cast<ConstrainedVariable*>(a->parameters()[1]));
      ASSERT_TRUE(speed != 0 && distance != 0);
      m->parameters()[0]->specify(4);
      m->parameters()[1]->restrictBaseDomain(IntervalDomain(10, 20));
      ASSERT_TRUE(m_ce->propagate());
      const std::vector<std::string> before = domains({a, m});

      m->doMerge(a);
      ASSERT_TRUE(m_ce->propagate());
      EXPECT_TRUE(speed->isSpecified() && !speed->isLocallySpecified());
      EXPECT_EQ(4, speed->getSpecifiedValue());
      EXPECT_EQ(IntervalDomain(10, 20), distance->getIntegratedBaseDomain());
      EXPECT_EQ(IntervalDomain(10, 20), distance->lastDomain());
      distance->relax();
      EXPECT_EQ(IntervalDomain(10, 20), distance->lastDomain());
      m->cancel();
      ASSERT_TRUE(m_ce->propagate());
      EXPECT_FALSE(speed->isSpecified());
      EXPECT_EQ(IntervalDomain(0, 100), distance->getIntegratedBaseDomain());
      EXPECT_EQ(before, domains({a, m}));

      // Resetting the merged token's parameter frees the active token's.
      m->doMerge(a);
      m->parameters()[0]->reset();
      EXPECT_FALSE(speed->isSpecified());
      EXPECT_EQ(IntervalIntDomain(0, 10), speed->lastDomain());
      m->cancel();
    }

    // A value of the active token's own is gone once it is reset: the merged token's holds again.
    TEST_F(MergeTest, ResettingTheActiveTokensOwnValueGivesBackTheMergedOne) {
      TokenId a = active(), m = drive();
      const ConstrainedVariableId& speed = a->parameters()[0];
      m->parameters()[0]->specify(4);
      m->doMerge(a);
      speed->specify(7);
      EXPECT_TRUE(speed->isLocallySpecified());
      speed->reset();
      EXPECT_TRUE(speed->isSpecified() && !speed->isLocallySpecified());
      EXPECT_EQ(4, speed->getSpecifiedValue());
      EXPECT_EQ(IntervalIntDomain(4, 4), speed->lastDomain());
      m->cancel();
      EXPECT_FALSE(speed->isSpecified());
    }

    // Tokens merged onto one token agree on every value they hold, whatever its own value hides.
    TEST_F(MergeTest, ATokenHoldingAnotherValueThanOneMergedAlreadyIsRefused) {
      TokenId a = active(), m = drive(), other = drive();
      m->parameters()[0]->specify(4);
      other->parameters()[0]->specify(7);
      m->doMerge(a);
      a->parameters()[0]->specify(7);
      EXPECT_CHECK_FAILS(
          other->doMerge(a), "!shouldBeSpecified || specifiedValue == var->lastDomain().getSingletonValue()",
          other->parameters()[0]->toString() + " cannot merge: " + m->parameters()[0]->toString() +
              " of a merged token holds another value.");
      EXPECT_TRUE(other->isInactive());
      m->cancel();
      EXPECT_EQ(7, a->parameters()[0]->getSpecifiedValue());
    }

    // In an inconsistent network a specified variable's domain may be empty; it still merges with its value.
    TEST_F(MergeTest, ASpecifiedVariableEmptiedByAnInconsistencyMergesWithItsValue) {
      TokenId a = active(), m = drive();
      ConstrainedVariableId low = m_ce->createVariable("int", IntervalIntDomain(0, 3));
      ConstraintId clash = m_ce->createConstraint("eq", Scope{low, m->parameters()[0]});
      ASSERT_TRUE(m_ce->propagate());
      m->parameters()[0]->specify(4);
      EXPECT_FALSE(m_ce->propagate());
      ASSERT_TRUE(m->parameters()[0]->lastDomain().isEmpty());
      m->doMerge(a);
      EXPECT_EQ(4, a->parameters()[0]->getSpecifiedValue());
      m->cancel();
      clash->discard();
      low->discard();
    }

    TEST_F(TerminationTest, CommitAndTerminate) {
      const std::string refused = "Attempt to commit a token that cannot be committed.";
      TokenId t = drive(), a = active();
      EXPECT_CHECK_FAILS(t->commit(), "canBeCommitted()", refused);
      t->doMerge(a);
      EXPECT_CHECK_FAILS(t->commit(), "canBeCommitted()", refused);
      t->cancel();
      const unsigned int refs = a->refCount();
      recorder->log.clear();
      a->commit();
      EXPECT_EQ(refs + 1, a->refCount());
      EXPECT_EQ(1u, a->getState()->baseDomain().getSize());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("committed", a)}, recorder->log);
      EXPECT_CHECK_FAILS(a->commit(), "false == m_committed", "");

      ConstrainedVariableId local = m_ce->createVariable("int", IntervalIntDomain(0, 5));
      a->addLocalVariable(local);
      recorder->log.clear();
      a->terminate();
      a->terminate();
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("terminated", a)}, recorder->log);
      EXPECT_FALSE(a->end()->isActive() || local->isActive());
      EXPECT_FALSE(a->canBeTerminated(0));
      a->removeLocalVariable(local);
    }

    TEST_F(TerminationTest, WhoCanBeTerminated) {
      DebugCapture capture("Token:canBeTerminated");
      TokenId a = active(), m = drive(), rejected = drive();
      rejected->reject();
      EXPECT_TRUE(rejected->canBeTerminated(0));
      m->doMerge(a);
      EXPECT_FALSE(a->canBeTerminated(0));
      EXPECT_FALSE(m->canBeTerminated(0));
      EXPECT_NE(std::string::npos,
                capture.text().find("[Token:canBeTerminated]Cannot terminate " + a->toString() +
                                    " because of remaining supported token " + m->toString()));
      // Onto a committed token: only when its base domains cannot narrow the merged token.
      a->commit();
      EXPECT_TRUE(m->canBeTerminated(0));
      m->cancel();
      m->getObject()->specify(static_cast<double>(r1));
      m->doMerge(a);
      EXPECT_FALSE(m->canBeTerminated(0));
      EXPECT_NE(std::string::npos,
                capture.text().find("Cannot terminate " + m->toString() +
                                    a->getObject()->baseDomain().toString() + " can be further"));
      a->terminate();
      EXPECT_TRUE(m->canBeTerminated(0));

      // Constraints to other tokens' variables, or to objects' variables, block.
      TokenId t = active(), other = drive(), fixed = drive();
      ConstrainedVariableId member =
          m_ce->createVariable("int", IntervalIntDomain(0, 5), false, true, "m", EntityId(r1), 0);
      precedes(t->start(), t->end());
      precedes(t->start(), m_ce->createVariable("int", IntervalIntDomain(0, 5)));
      EXPECT_TRUE(t->canBeTerminated(0));
      ConstraintId toMember = precedes(t->start(), member);
      EXPECT_FALSE(t->canBeTerminated(0));
      EXPECT_TRUE(t->noExternalConstraints());
      toMember->discard();
      ConstraintId tie = precedes(t->end(), other->start());
      EXPECT_FALSE(t->canBeTerminated(4294967295u));
      tie->deactivate();
      EXPECT_TRUE(t->canBeTerminated(0));
      EXPECT_FALSE(t->noExternalConstraints());
      tie->discard();
      m_ce->createConstraint("redundant", Scope{t->end(), other->start()});
      fixed->start()->restrictBaseDomain(IntervalIntDomain(7, 7));
      precedes(t->end(), fixed->start());
      EXPECT_TRUE(t->canBeTerminated(0));
    }

    TEST_F(TerminationTest, ArchiveEarliestStartFirst) {
      EXPECT_EQ(0u, m_db->archive(100));
      TokenId late = move(20, 20, 30, 50), early = move(5, 5, 10, 50), sameStart = move(5, 5, 10, 40);
      TokenId tooLate = move(0, 10, 20, 51);
      // Ending before 0 counts as ending at 0.
      TokenId negative = move(-100, -50, -40, -10);
      // A token with a merged token stays; the merged one is passed over without a word.
      TokenId supporting = move(0, 0, 10, 20), merged = move(0, 0, 10, 20);
      supporting->activate();
      merged->doMerge(supporting);
      // A slave that its master's discard terminates is archived once.
      TokenId master = move(0, 0, 10, 10);
      master->activate();
      TokenId slave = m_db->createSlaveToken(master, "Vehicle.move", "before");
      slave->start()->restrictBaseDomain(IntervalIntDomain(3, 3));
      slave->end()->restrictBaseDomain(IntervalIntDomain(8, 8));
      ASSERT_TRUE(m_ce->propagate());

      std::vector<std::string> order;
      for (const TokenId& token : {negative, master, slave, early, sameStart, late})
        order.push_back(TokenRecorder::entry("terminated", token));
      DebugCapture capture("PlanDatabase:archive");
      recorder->log.clear();
      const size_t before = m_db->getTokens().size();
      EXPECT_EQ(6u, m_db->archive(50));
      EXPECT_EQ(before - 6, m_db->getTokens().size());
      EXPECT_EQ(order, recorder->with("terminated"));
      const std::string text = capture.text();
      EXPECT_NE(std::string::npos,
                text.find("[PlanDatabase:archive:skip]" + tooLate->toString() + " with end time " +
                          tooLate->end()->toString() + " for tick 50"));
      EXPECT_NE(std::string::npos, text.find("[PlanDatabase:archive:skip]" + supporting->toString()));
      EXPECT_EQ(std::string::npos, text.find(merged->toString()));
      EXPECT_NE(std::string::npos, text.find(" ending by 0 for tick 50"));

      // Refused on an inconsistent network, with nothing changed.
      precedes(tooLate->end(), tooLate->start());
      EXPECT_FALSE(m_ce->propagate());
      EXPECT_CHECK_FAILS(m_db->archive(100), "getConstraintEngine()->constraintConsistent()",
                         "Must be propagated to a consistent state before archiving.");
      EXPECT_FALSE(tooLate->isTerminated());
    }

  }
}
