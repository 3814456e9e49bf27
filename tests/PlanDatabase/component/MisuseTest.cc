// Careless and hostile callers: every refused call fails a check before it
// changes the plan, and the database can always be destroyed afterwards.
#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/component/TimelineFixture.hh"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class MisuseTest : public TimelineFixture {
    protected:
      MisuseTest() : tl(timeline("tl")) {}

      /** A token handle that once named a token: the token is discarded. */
      TokenId stale() {
        TokenId token = busy();
        token->discard();
        return token;
      }

      TestTimeline* tl;
    };

    /** Runs the body once with each way of merging tokens. */
    template <class F> void withEachMergeMethod(F body) {
      for (const char* stack : {"0", "1"}) {
        SCOPED_TRACE(stack);
        EnvSetting env("KADRIX_USE_STACK_METHOD", stack);
        body();
      }
    }

    TEST_F(MisuseTest, HandleArgumentsAreCheckedBeforeUse) {
      TokenId t = active();
      tl->constrain(t, t);
      std::vector<std::pair<TokenId, TokenId> > pairs;
      std::vector<TokenId> tokens;
      std::vector<PlanDatabase::OrderingChoice> choices;
      std::vector<ConstraintId> constraints;
      const TemporalAdvisorId& advisor = m_db->getTemporalAdvisor();
      for (const TokenId& bad : {TokenId(), stale()}) {
        struct Case {
          std::function<void()> call;
          const char* condition;
        };
        const Case cases[] = {
            {[&] { tl->constrain(bad, t); }, "predecessor.isValid()"},
            {[&] { tl->constrain(t, bad); }, "successor.isValid()"},
            {[&] { tl->free(bad, t); }, "predecessor.isValid()"},
            {[&] { tl->free(t, bad); }, "successor.isValid()"},
            {[&] { tl->hasToken(bad); }, "token.isValid()"},
            {[&] { r1->hasToken(bad); }, "token.isValid()"},
            {[&] { tl->isConstrainedToPrecede(bad, t); }, "predecessor.isValid()"},
            {[&] { tl->isConstrainedToPrecede(t, bad); }, "successor.isValid()"},
            {[&] { tl->getPrecedenceConstraints(bad, constraints); }, "token.isValid()"},
            {[&] { m_db->getCompatibleTokens(bad, tokens); }, "inactiveToken.isValid()"},
            {[&] { m_db->getOrderingChoices(bad, choices, 5); }, "tokenToOrder.isValid()"},
            {[&] { m_db->countOrderingChoices(bad, 5); }, "token.isValid()"},
            {[&] { m_db->lastOrderingChoiceCount(bad); }, "token.isValid()"},
            {[&] { advisor->canPrecede(bad, t); }, "first.isValid()"},
            {[&] { advisor->canPrecede(t, bad); }, "second.isValid()"},
        };
        for (const Case& c : cases)
          EXPECT_CHECK_FAILS(c.call(), c.condition, "");
      }
      EXPECT_EQ(sequence(tl), std::vector<TokenId>{t});
    }

    TEST_F(MisuseTest, RefusedConstrainLeavesThePlanAsItWas) {
      TokenId a = active(), b = active(), c = active();
      tl->constrain(a, a);
      EXPECT_CHECK_FAILS(
          tl->constrain(b, c),
          "m_tokenSequence.empty() || m_tokenIndex.find(predecessor->getKey()) != m_tokenIndex.end() || "
          "m_tokenIndex.find(successor->getKey()) != m_tokenIndex.end()",
          "At least one of predecessor or successor should be already sequenced in a non empty sequence." +
              b->toString() + " before " + c->toString());
      EXPECT_CHECK_FAILS(tl->constrain(a, a), "m_tokenSequence.empty() || predecessor != successor",
                         "Can only constrain with respect to yourself on an empty timeline." + a->toString() +
                             " before " + a->toString());
      EXPECT_FALSE(tl->isConstrainedToPrecede(b, c));
      EXPECT_FALSE(tl->isConstrainedToThisObject(b));
      EXPECT_TRUE(waits(b, tl->getId()));
      EXPECT_TRUE(waits(c, tl->getId()));
      // Later valid calls find the plan whole.
      b->cancel();
      c->cancel();
      b->discard();
      std::vector<TokenId> compatible;
      m_db->getCompatibleTokens(c, compatible);
      EXPECT_EQ(compatible, std::vector<TokenId>{a});
    }

    TEST_F(MisuseTest, TerminatedTokenCannotBeActivated) {
      TokenId t = busy();
      t->terminate();
      EXPECT_CHECK_FAILS(
          t->activate(), "!isTerminated()",
          "Token " + t->toString() + " is terminated. Only tokens in the plan may be activated.");
      EXPECT_TRUE(t->isInactive());
      EXPECT_TRUE(m_db->getActiveTokens("Timeline.busy").empty());
    }

    TEST_F(MisuseTest, NoMergeOntoATokenOfAnotherDatabase) {
      withEachMergeMethod([this] {
        PlanDatabase other(m_ce->getId(), m_schema->getId());
        new TestTimeline(other.getId(), "elsewhere");
        TokenId foreign = (new BusyToken(other.getId(), horizon(), horizon(), positive()))->getId();
        foreign->activate();
        TokenId t = busy();
        EXPECT_CHECK_FAILS(
            t->doMerge(foreign), "activeToken->getPlanDatabase() == m_planDatabase",
            "Cannot merge " + t->toString() + " onto " + foreign->toString() + " of another plan database.");
        EXPECT_TRUE(t->isInactive());
        EXPECT_TRUE(foreign->getMergedTokens().empty());
        t->discard();
      });
    }

    TEST_F(MisuseTest, SplitOutlivesTheActiveTokenItLetsGo) {
      withEachMergeMethod([this] {
        TokenId top = m_db->createToken("Rover.drive", true, false);
        top->activate();
        TokenId mid = m_db->createSlaveToken(top, "Rover.drive", "before");
        mid->activate();
        TokenId low = m_db->createSlaveToken(mid, "Rover.drive", "before");
        low->doMerge(mid);
        top->cancel();
        // Only the merge keeps mid; splitting low lets mid go, and mid takes its slave along.
        low->cancel();
        EXPECT_FALSE(mid.isValid());
        EXPECT_FALSE(low.isValid());
        EXPECT_TRUE(top->isInactive());
        top->discard();
        EXPECT_TRUE(m_db->getTokens().empty());
      });
    }

    TEST_F(MisuseTest, RefusedDiscardChangesNothing) {
      const std::string busyObject =
          "Object cannot be deleted while there remain active tokens that could be on them.";
      TokenId t = active();
      for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_CHECK_FAILS(tl->discard(), "tokens().empty()", busyObject);
        EXPECT_FALSE(tl->isDiscarded());
        EXPECT_EQ(m_db->getObject("tl"), tl->getId());
      }
      t->discard();
      const ObjectId gone = tl->getId();
      tl->discard();
      EXPECT_FALSE(gone.isValid());
      EXPECT_TRUE(m_db->getObject("tl").isNoId());
    }

    TEST_F(MisuseTest, ParentStaysWhileAComponentHoldsAToken) {
      ObjectId battery = (new TestObject(r1, "Battery", "battery"))->getId();
      TokenId t = TokenFixture::active("Battery.charge");
      ASSERT_EQ(battery->tokens().count(t), 1u);
      EXPECT_CHECK_FAILS(r1->discard(), "tokens().empty()",
                         "Object cannot be deleted while there remain active tokens that could be on them.");
      EXPECT_FALSE(r1->isDiscarded());
      EXPECT_EQ(r1->getComponents().count(battery), 1u);
      for (const ObjectId& object : m_db->getObjects())
        EXPECT_TRUE(object.isValid());
      t->discard();
      r1->discard();
      EXPECT_FALSE(battery.isValid());
      EXPECT_TRUE(m_db->getObject("r1.battery").isNoId());
    }

    TEST_F(MisuseTest, PurgedDatabaseTakesNothingNew) {
      // Built open before the purge, closed after it.
      TestObject* late = new TestObject(db(), "Timeline", "late", true);
      m_db->purge();
      EXPECT_CHECK_FAILS(new TestTimeline(db(), "tl2"), "!m_planDatabase->isPurged()",
                         "Cannot add object tl2 to a purged plan database.");
      EXPECT_CHECK_FAILS(late->close(), "!isPurged()", "Cannot add object late to a purged plan database.");
      delete late;
      EXPECT_CHECK_FAILS(busy(), "!m_planDatabase->isPurged()",
                         "Cannot add a token of Timeline.busy to a purged plan database.");
      ConstrainedVariableId var =
          (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(0, 1), false, true, "g"))
              ->getId();
      EXPECT_CHECK_FAILS(m_db->registerGlobalVariable(var), "!isPurged()",
                         "Cannot register " + var->toString() + " with a purged plan database.");
      var->discard();
      EXPECT_TRUE(m_db->getObjects().empty());
      EXPECT_TRUE(m_db->getTokens().empty());
      EXPECT_TRUE(m_db->getGlobalVariables().empty());
    }

    TEST_F(MisuseTest, ObjectArgumentsNeedDomains) {
      const IntervalIntDomain seats(4, 4);
      const std::vector<const AbstractDomain*> arguments{&seats, nullptr};
      EXPECT_CHECK_FAILS(m_db->createObject("Car", "c2", arguments), "argument != nullptr",
                         "Argument 2 for an object of type Car has no domain.");
      EXPECT_TRUE(m_db->getObject("c2").isNoId());
    }

    TEST_F(MisuseTest, TokensNeedNonEmptyTimeDomains) {
      const IntervalIntDomain empty(60, 20);
      EXPECT_CHECK_FAILS(busy(60, 20), "!startBaseDomain.isEmpty()",
                         "Empty start domain " + empty.toString());
      EXPECT_CHECK_FAILS(busy(0, 10, 60, 20), "!endBaseDomain.isEmpty()",
                         "Empty end domain " + empty.toString());
      EXPECT_CHECK_FAILS(busy(0, 10, 0, 10, 60, 20), "!durationBaseDomain.isEmpty()",
                         "Empty duration domain " + empty.toString());
      EXPECT_CHECK_FAILS(new MarkToken(db(), empty), "!timeBaseDomain.isEmpty()",
                         "Empty time domain " + empty.toString());
      EXPECT_TRUE(m_db->getTokens().empty());
    }

    TEST_F(MisuseTest, DiscardedObjectLeavesNoValueBehind) {
      ObjectId tl2 = timeline("tl2")->getId();
      m_db->close();
      TokenId t = busy();
      const double dead = static_cast<double>(tl2);
      tl2->discard();
      EXPECT_FALSE(t->getObject()->baseDomain().isMember(dead));
      t->activate();
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(tl->tokens().count(t), 1u);
      EXPECT_TRUE(m_db->getActiveTokens("Timeline.busy").count(t) == 1);
      t->discard();
    }

    TEST_F(MisuseTest, OwnedConstraintsAndGlobalVariablesStayWithTheirOwners) {
      TokenId a = active(), b = active();
      tl->constrain(a, b);
      std::vector<ConstraintId> owned;
      tl->getPrecedenceConstraints(a, owned);
      ASSERT_EQ(owned.size(), 1u);
      std::set<ConstraintId> standard;
      a->getObject()->constraints(standard);
      owned.insert(owned.end(), standard.begin(), standard.end());
      for (const ConstraintId& constraint : owned)
        EXPECT_CHECK_FAILS(m_ce->deleteConstraint(constraint), "!constraint->isOwned()",
                           constraint->toString() + " is kept by its owner and cannot be deleted directly.");
      tl->free(a, b);
      EXPECT_TRUE(sequence(tl).empty());
      ConstraintId mine = precedes(a->end(), b->start());
      m_ce->deleteConstraint(mine);
      EXPECT_FALSE(mine.isValid());

      ConstrainedVariableId kept =
          (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(0, 1), false, true, "kept"))
              ->getId();
      ConstrainedVariableId released =
          (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(0, 1), false, true, "released"))
              ->getId();
      m_db->registerGlobalVariable(kept);
      m_db->registerGlobalVariable(released);
      EXPECT_CHECK_FAILS(kept->discard(), "!l->keepsVariable()",
                         kept->toString() + " is kept by its owner and cannot be discarded directly.");
      EXPECT_FALSE(kept->isDiscarded());
      m_db->unregisterGlobalVariable(released);
      released->discard();
      m_db->purge();
      EXPECT_FALSE(kept.isValid());
    }

    TEST_F(MisuseTest, MergeRefusedWhenTheMergedBaseDomainsCannotMeet) {
      withEachMergeMethod([this] {
        TokenId a = active(0, 10), b = busy(5, 20), c = busy(15, 30);
        b->doMerge(a);
        if (getenv("KADRIX_USE_STACK_METHOD")[0] == '0')
          EXPECT_CHECK_FAILS(c->doMerge(a),
                             "var->baseDomain().isOpen() || !this->m_integratedBaseDomain->isEmpty()",
                             c->start()->toString() + " cannot merge.");
        else
          c->doMerge(a);
        // Every split leaves the tokens as they were before their merge.
        for (const TokenId& token : {c, b})
          if (token->isMerged())
            token->cancel();
        EXPECT_TRUE(b->isInactive() && c->isInactive());
        EXPECT_EQ(b->start()->lastDomain(), IntervalIntDomain(5, 20));
        a->discard();
        b->discard();
        c->discard();
      });
    }

  }
}
