// Committing tokens, the termination rule, termination, and the test for
// constraints that reach other tokens.

#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    namespace {
      /** A constraint that narrows nothing and says it is redundant. */
      class Redundant : public Constraint {
      public:
        Redundant(const LabelStr& name, const LabelStr& propagator, const ConstraintEngineId& engine,
                  const std::vector<ConstrainedVariableId>& scope)
          : Constraint(name, propagator, engine, scope) {
          m_isRedundant = true;
        }
        void handleExecute() override {}
      };

      std::vector<ConstrainedVariableId> scopeOf(const ConstrainedVariableId& a,
                                                 const ConstrainedVariableId& b) {
        return std::vector<ConstrainedVariableId>{a, b};
      }
    }

    class TerminationTest : public TokenFixture {
    protected:
      TerminationTest() : env("KADRIX_USE_STACK_METHOD", nullptr) {
        m_ces->registerConstraintFactory(
          new ConcreteConstraintFactory<Redundant>("redundant", "Default", false));
      }

      TokenId active() {
        TokenId token = drive();
        token->activate();
        return token;
      }

      EnvSetting env;
    };

    TEST_F(TerminationTest, CommitFixesAnActiveToken) {
      const std::string refused = "Attempt to commit a token that cannot be committed.";
      TokenId t = drive();
      EXPECT_CHECK_FAILURE(t->commit(), "canBeCommitted()", refused);
      t->reject();
      EXPECT_CHECK_FAILURE(t->commit(), "canBeCommitted()", refused);
      t->cancel();
      TokenId a = active();
      t->doMerge(a);
      EXPECT_CHECK_FAILURE(t->commit(), "canBeCommitted()", refused);
      t->cancel();
      Token* incomplete = new DriveToken(db(), "Rover.drive", true, false, Token::noObject(), false);
      EXPECT_CHECK_FAILURE(incomplete->commit(), "canBeCommitted()", refused);
      delete incomplete;

      const unsigned int refs = a->refCount();
      recorder->log.clear();
      a->commit();
      EXPECT_TRUE(a->isCommitted());
      EXPECT_EQ(refs + 1, a->refCount());
      EXPECT_EQ(1u, a->getState()->baseDomain().getSize());
      EXPECT_TRUE(a->getState()->baseDomain().isMember(Token::ACTIVE.getKey()));
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("committed", a)}, recorder->log);
      EXPECT_CHECK_FAILURE(a->commit(), "false == m_committed", "");
      // Tokens can still be merged onto it; a second token commits alike.
      t->doMerge(a);
      t->cancel();
      TokenId b = active();
      b->commit();
      EXPECT_EQ(1u, b->getState()->baseDomain().getSize());
      b->terminate();
      TokenId c = active();
      c->terminate();
      EXPECT_CHECK_FAILURE(c->commit(), "canBeCommitted()", refused);
      a->discard();
    }

    TEST_F(TerminationTest, MergedTokensAndTokensWithMergedTokens) {
      DebugCapture capture("Token:canBeTerminated");
      TokenId a = active();
      TokenId m = drive();
      m->doMerge(a);
      EXPECT_FALSE(a->canBeTerminated(0));
      EXPECT_FALSE(m->canBeTerminated(0));
      EXPECT_NE(std::string::npos, capture.text().find(
        "[Token:canBeTerminated]Cannot terminate " + a->toString() + " because of remaining supported token "
        + m->toString() + "\n"));
      EXPECT_NE(std::string::npos, capture.text().find(
        "[Token:canBeTerminated]Cannot terminate " + m->toString() + " which is a slave of "));

      // Onto a committed token: the active base domains must not be able to narrow the merged token.
      a->commit();
      EXPECT_TRUE(m->canBeTerminated(0));
      m->cancel();
      m->getObject()->specify((double) r1);
      m->doMerge(a);
      EXPECT_FALSE(m->canBeTerminated(0));
      EXPECT_NE(std::string::npos, capture.text().find(
        "Cannot terminate " + m->toString() + a->getObject()->baseDomain().toString()
        + " can be further restricted by " + m->getObject()->lastDomain().toString() + "\nActive Variable: "));
      // Once the active token is terminated nothing is compared.
      a->terminate();
      EXPECT_TRUE(m->canBeTerminated(0));
      EXPECT_FALSE(a->canBeTerminated(0));

      TokenId r = drive();
      r->reject();
      EXPECT_TRUE(r->canBeTerminated(0));
      r->terminate();
      EXPECT_FALSE(r->canBeTerminated(0));
    }

    TEST_F(TerminationTest, ConstraintsToOtherTokensBlockTermination) {
      TokenId t = active();
      TokenId other = drive();
      EXPECT_TRUE(t->canBeTerminated(0));
      EXPECT_TRUE(t->noExternalConstraints());
      ConstraintId own = m_ce->createConstraint("precedes", scopeOf(t->start(), t->end()));
      ConstrainedVariableId global = m_ce->createVariable("int", IntervalIntDomain(0, 5));
      ConstrainedVariableId member = m_ce->createVariable("int", IntervalIntDomain(0, 5), false, true,
                                                          "member", EntityId(r1), 0);
      m_ce->createConstraint("precedes", scopeOf(t->start(), global));
      ConstraintId toMember = m_ce->createConstraint("precedes", scopeOf(t->start(), member));
      EXPECT_TRUE(t->noExternalConstraints());
      // An object's variable is external to the termination rule.
      EXPECT_FALSE(t->canBeTerminated(0));
      toMember->discard();
      EXPECT_TRUE(t->canBeTerminated(0));

      ConstraintId tie = m_ce->createConstraint("precedes", scopeOf(t->end(), other->start()));
      EXPECT_FALSE(t->canBeTerminated(0));
      EXPECT_FALSE(t->canBeTerminated(4294967295u));
      tie->deactivate();
      EXPECT_TRUE(t->canBeTerminated(0));
      // Activity does not matter to the other test.
      EXPECT_FALSE(t->noExternalConstraints());
      tie->discard();
      m_ce->createConstraint("redundant", scopeOf(t->end(), other->start()));
      EXPECT_TRUE(t->canBeTerminated(0));
      TokenId fixed = drive();
      fixed->start()->restrictBaseDomain(IntervalIntDomain(7, 7));
      m_ce->createConstraint("precedes", scopeOf(t->end(), fixed->start()));
      EXPECT_TRUE(t->canBeTerminated(0));
      (void) own;
    }

    TEST_F(TerminationTest, TerminateDeactivatesEverythingOnce) {
      TokenId t = active();
      ConstrainedVariableId local = m_ce->createVariable("int", IntervalIntDomain(0, 5));
      t->addLocalVariable(local);
      t->commit();
      recorder->log.clear();
      t->terminate();
      t->terminate();
      EXPECT_TRUE(t->isTerminated());
      EXPECT_FALSE(t->isPending());
      for (const ConstrainedVariableId& var : t->getVariables())
        EXPECT_FALSE(var->isActive());
      EXPECT_FALSE(local->isActive());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("terminated", t)}, recorder->log);
      t->removeLocalVariable(local);
    }

  }
}
