// Merging inactive tokens onto active ones and splitting them off again, by
// the merge method and by the stack method.

#include "PlanDatabase/base/UnifyMemento.hh"
#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    namespace {
      /** A constraint that never narrows anything: any scope, any types. */
      class Watch : public Constraint {
      public:
        Watch(const LabelStr& name, const LabelStr& propagator, const ConstraintEngineId& engine,
              const std::vector<ConstrainedVariableId>& scope)
          : Constraint(name, propagator, engine, scope) {}
        void handleExecute() override {}
      };

      const char* const STACK = "KADRIX_USE_STACK_METHOD";

      std::vector<ConstrainedVariableId> scopeOf(const ConstrainedVariableId& a,
                                                 const ConstrainedVariableId& b) {
        return std::vector<ConstrainedVariableId>{a, b};
      }

      /** The constraints named name on var whose scope is exactly scope. */
      std::vector<ConstraintId> named(const ConstrainedVariableId& var, const char* name,
                                      const std::vector<ConstrainedVariableId>& scope = {}) {
        std::set<ConstraintId> all;
        var->constraints(all);
        std::vector<ConstraintId> result;
        for (const ConstraintId& c : all)
          if (c->getName() == LabelStr(name) && (scope.empty() || c->getScope() == scope))
            result.push_back(c);
        return result;
      }

      /** The current domains of every variable of the tokens, as text. */
      std::vector<std::string> domains(const std::vector<TokenId>& tokens) {
        std::vector<std::string> result;
        for (const TokenId& token : tokens)
          for (const ConstrainedVariableId& var : token->getVariables())
            result.push_back(var->lastDomain().toString());
        return result;
      }

      const MergeMementoId& mergeRecord(const TokenId& token) {
        return token->getUnifyMemento()->getMergeMemento();
      }
    }

    class MergeTest : public TokenFixture {
    protected:
      MergeTest() : env(STACK, nullptr) {
        m_ces->registerConstraintFactory(new ConcreteConstraintFactory<Watch>("watch", "Default", false));
      }

      TokenId active() {
        TokenId token = drive();
        token->activate();
        return token;
      }

      void propagate() { ASSERT_TRUE(m_ce->propagate()); }

      EnvSetting env;
    };

    TEST_F(MergeTest, MergeMethodMovesRestrictionsAndSplitRestoresThem) {
      TokenId a = active();
      TokenId m = drive();
      m->start()->restrictBaseDomain(IntervalIntDomain(10, 20));
      m->duration()->specify(5);
      ConstraintId ordered = m_ce->createConstraint("precedes", scopeOf(m->start(), m->end()));
      ConstraintId onState = m_ce->createConstraint("watch", scopeOf(m->getState(), m->duration()));
      propagate();
      const std::vector<std::string> before = domains({a, m});
      const unsigned int refs = a->refCount();

      recorder->log.clear();
      m->doMerge(a);
      EXPECT_TRUE(m->isMerged());
      EXPECT_EQ(a, m->getActiveToken());
      EXPECT_EQ(1u, a->getMergedTokens().count(m));
      EXPECT_EQ(refs + 1, a->refCount());
      EXPECT_EQ(UnifyMemento::mergeMethod, m->getUnifyMemento()->getMethod());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("merged", m)}, recorder->log);
      // The active token took over the base domain and the specified value.
      EXPECT_TRUE(a->duration()->isSpecified());
      EXPECT_EQ(5, a->duration()->getSpecifiedValue());
      EXPECT_EQ(IntervalIntDomain(10, 20), ((TokenVariable<IntervalIntDomain>*) a->start())
                                             ->getIntegratedBaseDomain());
      EXPECT_TRUE(a->isActive());
      // The merged token's variables and constraints are out of propagation, its state is not.
      EXPECT_TRUE(m->getState()->isActive());
      for (size_t i = 1; i < m->getVariables().size(); ++i)
        EXPECT_FALSE(m->getVariables()[i]->isActive());
      for (const ConstraintId& c : m->getStandardConstraints())
        EXPECT_FALSE(c->isActive());
      // Only the ordering is re-stated, once; the constraint on the state is not even recorded.
      EXPECT_EQ(std::vector<ConstraintId>{ordered}, mergeRecord(m)->getDeactivatedConstraints());
      EXPECT_EQ(1u, named(a->start(), "precedes", scopeOf(a->start(), a->end())).size());
      EXPECT_TRUE(named(a->duration(), "watch").empty());
      propagate();
      EXPECT_TRUE(a->start()->lastDomain().isSubsetOf(IntervalIntDomain(10, 20)));

      recorder->log.clear();
      m->cancel();
      propagate();
      EXPECT_TRUE(m->isInactive());
      EXPECT_TRUE(m->getActiveToken().isNoId());
      EXPECT_TRUE(m->getUnifyMemento().isNoId());
      EXPECT_TRUE(a->getMergedTokens().empty());
      EXPECT_EQ(refs, a->refCount());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("split", m)}, recorder->log);
      EXPECT_TRUE(named(a->start(), "precedes").empty());
      EXPECT_TRUE(ordered->isActive());
      EXPECT_TRUE(onState->isActive());
      for (const ConstraintId& c : m->getStandardConstraints())
        EXPECT_TRUE(c->isActive());
      EXPECT_FALSE(a->duration()->isSpecified());
      EXPECT_EQ(before, domains({a, m}));
    }

    TEST_F(MergeTest, RefusedMergesChangeNothing) {
      TokenId a = active();
      TokenId m = drive();
      TokenId other = drive();
      EXPECT_CHECK_FAILURE(m->doMerge(other), "activeToken->isActive()", "");
      EXPECT_CHECK_FAILURE(a->doMerge(a), "isInactive()", "");
      EXPECT_CHECK_FAILURE(m->merge(nullptr), "activeToken != NULL", "Can't merge on NULL token");

      // Onto a derived predicate: accepted; onto the parent's: refused with both names.
      TokenId car = m_db->createToken("Car.drive", true, false);
      TokenId carActive = m_db->createToken("Car.drive", true, false);
      carActive->activate();
      EXPECT_CHECK_FAILURE(car->doMerge(a), "getPlanDatabase()->getSchema()->isA(activeToken->getPredicateName(), m_predicateName)",
                           "Cannot merge tokens with different predicates: Car.drive, Rover.drive");
      m->merge(carActive.operator->());
      EXPECT_EQ(carActive, m->getActiveToken());
      m->cancel();

      // A state that no longer allows MERGED.
      other->getState()->remove(Token::MERGED.getKey());
      EXPECT_CHECK_FAILURE(other->doMerge(a), "m_state->lastDomain().isMember(MERGED)",
                           "Not permitted to merge." + other->toString());

      // Tokens with different numbers of variables: refused before the state changes.
      TokenId move = (new PlainToken(db(), "Vehicle.move", true, false))->getId();
      TokenId wide = (new DriveToken(db(), "Car.move", true, false))->getId();
      wide->activate();
      EXPECT_CHECK_FAILURE(move->doMerge(wide), "inactiveVariables.size() == activeVariables.size()", "");
      EXPECT_TRUE(move->isInactive());
      EXPECT_TRUE(move->getUnifyMemento().isNoId());
      EXPECT_TRUE(wide->getMergedTokens().empty());
    }

    TEST_F(MergeTest, MethodIsReadAtEachMergeAndEachRecordUndoesItsOwn) {
      TokenId a = active();
      const char* mergeValues[] = {"true", " 1", "", "0"};
      for (const char* value : mergeValues) {
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
      EXPECT_EQ(UnifyMemento::stackMethod, stacked->getUnifyMemento()->getMethod());
      EXPECT_EQ(UnifyMemento::mergeMethod, merged->getUnifyMemento()->getMethod());
      // The stack method leaves the variables active and ties them by "eq".
      EXPECT_TRUE(stacked->start()->isActive());
      EXPECT_EQ(6u, stacked->getUnifyMemento()->getStackMemento()->getStackConstraints().size());
      EXPECT_FALSE(merged->start()->isActive());

      // Split in one order, then again in the other.
      stacked->cancel();
      EXPECT_TRUE(named(a->start(), "eq").empty());
      EXPECT_TRUE(merged->isMerged());
      EXPECT_FALSE(merged->start()->isActive());
      env.set("1");
      stacked->doMerge(a);
      merged->cancel();
      EXPECT_TRUE(merged->start()->isActive());
      EXPECT_TRUE(stacked->isMerged());
      EXPECT_EQ(1u, named(a->start(), "eq").size());
      stacked->cancel();
      EXPECT_TRUE(a->getMergedTokens().empty());
    }

    TEST_F(MergeTest, StackMethodTiesBothWays) {
      env.set("1");
      TokenId a = (new PlainToken(db(), "Vehicle.move", true, false))->getId();
      a->activate();
      TokenId m = (new PlainToken(db(), "Vehicle.move", true, false))->getId();
      m->doMerge(a);
      // Object, duration, start and end; never the state.
      EXPECT_EQ(4u, m->getUnifyMemento()->getStackMemento()->getStackConstraints().size());
      EXPECT_TRUE(named(m->getState(), "eq").empty());
      EXPECT_EQ(1u, named(m->end(), "eq", scopeOf(m->end(), a->end())).size());

      a->start()->restrictBaseDomain(IntervalIntDomain(0, 400));
      m->start()->restrictBaseDomain(IntervalIntDomain(100, 1000));
      propagate();
      EXPECT_EQ(IntervalIntDomain(100, 400), m->start()->lastDomain());
      EXPECT_EQ(IntervalIntDomain(100, 400), a->start()->lastDomain());
      // Constraints may be added to a stacked token's variables; the record ignores them.
      ConstraintId later = m_ce->createConstraint("precedes", scopeOf(m->start(), m->end()));
      EXPECT_TRUE(later->isActive());
      later->discard();

      m->cancel();
      EXPECT_TRUE(named(m->start(), "eq").empty());
      EXPECT_TRUE(named(a->start(), "eq").empty());
      a->start()->relax();
      m->start()->relax();
      propagate();
      EXPECT_EQ(m->start()->lastDomain(), IntervalIntDomain(100, 999));
      EXPECT_EQ(a->start()->lastDomain(), IntervalIntDomain(0, 400));
    }

    TEST_F(MergeTest, ConstraintsFollowTheMergedToken) {
      TokenId a = active();
      TokenId m = drive();
      TokenId rejected = drive();
      // Made while the other token could still be chosen; it is rejected afterwards.
      ConstraintId toRejected = m_ce->createConstraint("precedes", scopeOf(m->end(), rejected->start()));
      rejected->reject();
      m->doMerge(a);
      EXPECT_EQ(1u, named(a->end(), "precedes", scopeOf(a->end(), rejected->start())).size());

      // Added while merged: re-stated at once; removed: the re-stated one goes.
      TokenId other = drive();
      ConstraintId later = m_ce->createConstraint("precedes", scopeOf(m->start(), other->end()));
      EXPECT_FALSE(later->isActive());
      EXPECT_EQ(1u, named(a->start(), "precedes", scopeOf(a->start(), other->end())).size());
      EXPECT_EQ(2u, mergeRecord(m)->getNewConstraints().size());
      later->discard();
      EXPECT_TRUE(named(a->start(), "precedes").empty());
      EXPECT_EQ(1u, mergeRecord(m)->getNewConstraints().size());

      // A created constraint that a client deletes is skipped by the undo.
      ConstraintId created = mergeRecord(m)->getNewConstraints().front();
      created->discard();
      m->cancel();
      EXPECT_TRUE(toRejected->isActive());
      EXPECT_TRUE(named(a->end(), "precedes").empty());
    }

    TEST_F(MergeTest, ConstraintBetweenTwoMergedTokensMovesBetweenTheirActiveTokens) {
      TokenId a1 = active();
      TokenId a2 = active();
      TokenId m1 = drive();
      TokenId m2 = drive();
      ConstraintId k = m_ce->createConstraint("precedes", scopeOf(m1->end(), m2->start()));
      m1->doMerge(a1);
      m2->doMerge(a2);
      // K itself stays inactive; the stand-ins K1 over (A1, M2) and K2 over (M1, A2) are re-stated too.
      EXPECT_FALSE(k->isActive());
      ASSERT_EQ(1u, named(m1->end(), "precedes", scopeOf(m1->end(), a2->start())).size());
      ConstraintId k2 = named(m1->end(), "precedes", scopeOf(m1->end(), a2->start())).front();
      EXPECT_FALSE(k2->isActive());
      EXPECT_EQ(2u, named(a1->end(), "precedes", scopeOf(a1->end(), a2->start())).size());

      m1->cancel();
      EXPECT_TRUE(k2->isActive());
      EXPECT_FALSE(k->isActive());
      EXPECT_TRUE(named(a1->end(), "precedes").empty());
      EXPECT_EQ(1u, mergeRecord(m2)->getNewConstraints().size());
      m2->cancel();
      EXPECT_TRUE(k->isActive());
      EXPECT_TRUE(named(m1->end(), "precedes", scopeOf(m1->end(), a2->start())).empty());
    }

    TEST_F(MergeTest, SplitThatDiscardsTheActiveToken) {
      for (const char* method : {"0", "1"}) {
        env.set(method);
        TokenId master = active();
        TokenId slave = m_db->createSlaveToken(master, "Rover.drive", "before");
        slave->activate();
        TokenId m = drive();
        m->doMerge(slave);
        ConstraintId ordered = m_ce->createConstraint("precedes", scopeOf(m->start(), m->end()));
        // The master lets the slave go; the merge alone holds it.
        master->cancel();
        ASSERT_TRUE(slave.isValid());
        EXPECT_TRUE(slave->master().isNoId());
        EXPECT_EQ(1u, slave->refCount());

        recorder->log.clear();
        m->cancel();
        EXPECT_FALSE(slave.isValid());
        EXPECT_TRUE(m->isInactive());
        EXPECT_TRUE(m->start()->isActive());
        EXPECT_TRUE(ordered->isActive());
        EXPECT_EQ(TokenRecorder::entry("split", m), recorder->log.back());
        m->discard();
        master->discard();
      }
    }

    TEST_F(MergeTest, DeactivationSplitsLowestKeyFirstAndDiscardSplits) {
      TokenId a = active();
      TokenId m1 = drive();
      TokenId m2 = drive();
      TokenId m3 = drive();
      m3->doMerge(a);
      m1->doMerge(a);
      m2->doMerge(a);
      recorder->log.clear();
      a->cancel();
      EXPECT_EQ(TokenRecorder::entry("split", m1), recorder->with("split")[0]);
      EXPECT_EQ(TokenRecorder::entry("split", m2), recorder->with("split")[1]);
      EXPECT_EQ(TokenRecorder::entry("split", m3), recorder->with("split")[2]);
      EXPECT_EQ(TokenRecorder::entry("deactivated", a), recorder->log.back());

      a->activate();
      const unsigned int refs = a->refCount();
      m1->doMerge(a);
      m1->discard();
      EXPECT_EQ(refs, a->refCount());
      EXPECT_TRUE(a->getMergedTokens().empty());

      // The global purge releases the records of merged tokens without undoing them.
      m2->doMerge(a);
      env.set("1");
      m3->doMerge(a);
      Entity::purgeStart();
      m_db->purge();
      delete m_ce;
      m_ce = nullptr;
      Entity::purgeEnd();
    }

    TEST_F(MergeTest, TerminatedMergedTokenKeepsWhatItsMergeMade) {
      TokenId a = active();
      TokenId m = drive();
      m_ce->createConstraint("precedes", scopeOf(m->start(), m->end()));
      m->doMerge(a);
      m->terminate();
      m->cancel();
      EXPECT_TRUE(m->isInactive());
      EXPECT_EQ(1u, named(a->start(), "precedes").size());
      EXPECT_FALSE(m->start()->isActive());
    }

    // Seeded sequences of merges and splits by both methods: after every split,
    // and propagation, every variable is back where it was before the merge.
    TEST_F(MergeTest, RandomMergesAndSplitsRestoreEveryDomain) {
      std::mt19937 random(20261206);
      std::vector<TokenId> actives, inactives;
      for (int i = 0; i < 4; ++i)
        actives.push_back(active());
      for (int i = 0; i < 6; ++i) {
        TokenId token = drive();
        if (i % 2 == 0)
          token->start()->restrictBaseDomain(IntervalIntDomain(10 * i, 500 + 10 * i));
        if (i % 3 == 0)
          token->duration()->specify(7);
        inactives.push_back(token);
      }
      m_ce->createConstraint("precedes", scopeOf(inactives[0]->end(), inactives[1]->start()));
      m_ce->createConstraint("precedes", scopeOf(inactives[2]->start(), actives[3]->end()));

      std::vector<TokenId> all(actives);
      all.insert(all.end(), inactives.begin(), inactives.end());
      for (int round = 0; round < 40; ++round) {
        propagate();
        const std::vector<std::string> before = domains(all);
        TokenId m = inactives[random() % inactives.size()];
        TokenId a = actives[random() % actives.size()];
        env.set(random() % 2 ? "1" : nullptr);
        // The specified durations agree, so every merge is possible.
        m->doMerge(a);
        if (random() % 2) {
          TokenId second = inactives[random() % inactives.size()];
          if (second->isInactive()) {
            second->doMerge(actives[random() % actives.size()]);
            propagate();
            second->cancel();
          }
        }
        propagate();
        m->cancel();
        propagate();
        ASSERT_EQ(before, domains(all)) << "round " << round;
      }
    }

  }
}
