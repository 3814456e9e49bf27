// Committing, the termination rule, terminating, and archiving finished tokens.

#include "ConstraintEngine/base/EngineFixture.hh"
#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    typedef std::vector<ConstrainedVariableId> Scope;

    class TerminationTest : public TokenFixture {
    protected:
      TerminationTest() : env("KADRIX_USE_STACK_METHOD", nullptr) {
        m_ces->registerConstraintFactory(new ConcreteConstraintFactory<RedundantConstraint>("redundant", "Default", false));
      }
      /** A Vehicle.move token over these start and end bounds. */
      TokenId move(int startLow, int startHigh, int endLow, int endHigh) {
        return (new IntervalToken(db(), "Vehicle.move", true, false, IntervalIntDomain(startLow, startHigh),
                                  IntervalIntDomain(endLow, endHigh), positive(), Token::noObject(), true))->getId();
      }
      EnvSetting env;
    };

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
      EXPECT_NE(std::string::npos, capture.text().find("[Token:canBeTerminated]Cannot terminate " + a->toString()
                                                       + " because of remaining supported token " + m->toString()));
      // Onto a committed token: only when its base domains cannot narrow the merged token.
      a->commit();
      EXPECT_TRUE(m->canBeTerminated(0));
      m->cancel();
      m->getObject()->specify((double) r1);
      m->doMerge(a);
      EXPECT_FALSE(m->canBeTerminated(0));
      EXPECT_NE(std::string::npos, capture.text().find("Cannot terminate " + m->toString()
                                                       + a->getObject()->baseDomain().toString() + " can be further"));
      a->terminate();
      EXPECT_TRUE(m->canBeTerminated(0));

      // Constraints to other tokens' variables, or to objects' variables, block.
      TokenId t = active(), other = drive(), fixed = drive();
      ConstrainedVariableId member = m_ce->createVariable("int", IntervalIntDomain(0, 5), false, true, "m", EntityId(r1), 0);
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
      EXPECT_NE(std::string::npos, text.find("[PlanDatabase:archive:skip]" + tooLate->toString() + " with end time "
                                             + tooLate->end()->toString() + " for tick 50"));
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
