#include "PlanDatabase/base/Object.hh"

#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    /** An object that lets tests see its explicit marks and choice counts. */
    class ProbeObject : public TestObject {
    public:
      ProbeObject(const PlanDatabaseId& db, const char* name) : TestObject(db, "Rover", name) {}
      using Object::hasExplicitConstraint;
      using Object::makeKey;
    };

    /** Records constrained and freed pairs and token placements. */
    class OrderingRecorder : public PlanDatabaseListener {
    public:
      explicit OrderingRecorder(const PlanDatabaseId& db) : PlanDatabaseListener(db) {}
      using PlanDatabaseListener::notifyAdded;
      using PlanDatabaseListener::notifyRemoved;
      void notifyConstrained(const ObjectId&, const TokenId& p, const TokenId& s) override {
        log.push_back("constrained " + key(p) + " " + key(s));
      }
      void notifyFreed(const ObjectId&, const TokenId& p, const TokenId& s) override {
        log.push_back("freed " + key(p) + " " + key(s));
      }
      void notifyRemoved(const ObjectId&, const TokenId& t) override { log.push_back("removed " + key(t)); }
      static std::string key(const TokenId& t) { return std::to_string(t->getKey()); }
      std::vector<std::string> log;
    };

    class ObjectPrecedenceTest : public TokenFixture {
    protected:
      ObjectPrecedenceTest() : probe(new ProbeObject(db(), "probe")), log(new OrderingRecorder(db())) {}
      ~ObjectPrecedenceTest() { delete log; }

      TokenId activeDrive() {
        TokenId t = drive();
        t->activate();
        m_ce->propagate();
        return t;
      }

      std::vector<ConstraintId> precedences(const TokenId& t) const {
        std::vector<ConstraintId> results;
        probe->getPrecedenceConstraints(t, results);
        return results;
      }

      static std::string key(const TokenId& t) { return OrderingRecorder::key(t); }

      ProbeObject* probe;
      OrderingRecorder* log;
    };

    TEST_F(ObjectPrecedenceTest, ATokenConstrainedWithItselfIsOnlyBound) {
      TokenId t = activeDrive();
      probe->constrain(t, t);
      EXPECT_TRUE(probe->isConstrainedToThisObject(t));
      EXPECT_TRUE(precedences(t).empty());
      EXPECT_TRUE(probe->hasExplicitConstraint(t));
      EXPECT_FALSE(probe->isConstrainedToPrecede(t, t));
      probe->constrain(t, t);
      EXPECT_EQ(log->log, (std::vector<std::string>{"constrained " + key(t) + " " + key(t),
                                                    "constrained " + key(t) + " " + key(t)}));
      probe->free(t, t);
      EXPECT_FALSE(probe->isConstrainedToThisObject(t));
      EXPECT_CHECK_FAILS(
          probe->free(t, t),
          "m_constraintsByTokenKey.find(predecessor->getKey()) != m_constraintsByTokenKey.end()",
          "No constraint found on predecessor.");
    }

    TEST_F(ObjectPrecedenceTest, FreeUnbindsWhatNothingElseHolds) {
      m_ce->setAutoPropagation(true);
      TokenId a = activeDrive(), b = activeDrive();
      probe->constrain(a, b);
      EXPECT_TRUE(a->getObject()->lastDomain().isSingleton());
      EXPECT_EQ(precedences(a).size(), 1u);
      probe->free(a, b);
      EXPECT_FALSE(probe->isConstrainedToThisObject(a));
      EXPECT_FALSE(probe->isConstrainedToThisObject(b));
      EXPECT_FALSE(a->getObject()->lastDomain().isSingleton());
      m_ce->setAutoPropagation(false);

      // An explicitly bound token stays bound; a token with another precedence stays too.
      TokenId z = activeDrive();
      probe->constrain(a, a);
      probe->constrain(a, b);
      probe->constrain(b, z);
      probe->free(a, b);
      EXPECT_TRUE(probe->isConstrainedToThisObject(a));
      EXPECT_TRUE(probe->isConstrainedToThisObject(b));
      probe->free(b, z);
      EXPECT_FALSE(probe->isConstrainedToThisObject(b));
      EXPECT_FALSE(probe->isConstrainedToThisObject(z));
      EXPECT_TRUE(probe->isConstrainedToThisObject(a));
    }

    TEST_F(ObjectPrecedenceTest, RefusesWhatCannotBeDone) {
      TokenId a = activeDrive(), b = activeDrive(), c = activeDrive();
      probe->constrain(a, b);
      probe->constrain(b, a); // the opposite pair is another constraint
      EXPECT_TRUE(probe->isConstrainedToPrecede(b, a));
      EXPECT_CHECK_FAILS(probe->constrain(a, b), "!isConstrainedToPrecede(predecessor, successor)",
                         "Attempted to constrain previously constrained tokens.");
      probe->constrain(c, b);
      EXPECT_CHECK_FAILS(
          probe->free(a, c),
          "predecessor == successor || getPrecedenceConstraint(predecessor, successor).isValid()",
          "A precedence constraint is required to free.");
      EXPECT_CHECK_FAILS(probe->free(a, a),
                         "m_explicitConstraints.find(predecessor->getKey()) != m_explicitConstraints.end()",
                         "May only explicit free and explicit constraint.");
      TokenId inactive = drive();
      EXPECT_CHECK_FAILS(probe->constrain(inactive, a), "predecessor->isActive()",
                         inactive->toString() + ": " + inactive->getState()->toString());
    }

    TEST_F(ObjectPrecedenceTest, RemovingATokenDropsItsConstraintsOnce) {
      TokenId a = activeDrive(), b = activeDrive(), z = activeDrive();
      probe->constrain(a, b);
      probe->constrain(b, z);
      m_ce->propagate();
      log->log.clear();
      b->deactivate();
      m_ce->propagate();
      EXPECT_FALSE(probe->isConstrainedToThisObject(b));
      EXPECT_TRUE(probe->isConstrainedToThisObject(a));
      EXPECT_TRUE(probe->isConstrainedToThisObject(z));
      EXPECT_TRUE(precedences(a).empty() && precedences(z).empty());
      EXPECT_EQ(log->log.back(), "removed " + key(b));
      for (const std::string& entry : log->log)
        EXPECT_NE(entry.compare(0, 5, "freed"), 0) << entry;
    }

    TEST_F(ObjectPrecedenceTest, PublicViewOrdersThroughTheVirtualOperations) {
      TokenId a = activeDrive(), b = activeDrive();
      PSObject* view = probe;
      view->addPrecedence(static_cast<Token*>(a), static_cast<Token*>(b));
      EXPECT_TRUE(probe->isConstrainedToPrecede(a, b));
      EXPECT_TRUE(probe->hasExplicitConstraint(a));
      view->removePrecedence(static_cast<Token*>(a), static_cast<Token*>(b));
      EXPECT_FALSE(probe->isConstrainedToThisObject(a));
    }

    /** Uses up entity keys until the next entity made gets the key wanted. */
    void advanceKeysTo(int wanted) {
      for (;;) {
        Entity* probe = new Entity();
        const int key = probe->getKey();
        delete probe;
        if (key + 1 >= wanted)
          break;
      }
    }

    TEST_F(ObjectPrecedenceTest, SharedPairKeysFindTheirOwnConstraint) {
      // Keys of 65536 and more lose their high bits in the pair key: (a, b) and
      // (c, b) share one when a's key is c's plus 65536; with c's bit 15 set it is negative.
      advanceKeysTo(40000);
      TokenId c = drive();
      advanceKeysTo(c->getKey() + 65536);
      TokenId a = drive();
      ASSERT_EQ(a->getKey(), c->getKey() + 65536);
      TokenId b = activeDrive();
      a->activate();
      c->activate();
      m_ce->propagate();
      EXPECT_EQ(ProbeObject::makeKey(a, b), ProbeObject::makeKey(c, b));
      EXPECT_LT(ProbeObject::makeKey(c, b), 0);
      EXPECT_NE(ProbeObject::makeKey(a, b), ProbeObject::makeKey(b, a));

      probe->constrain(a, b);
      EXPECT_FALSE(probe->isConstrainedToPrecede(c, b));
      probe->constrain(c, b);
      const ConstraintId ab = probe->getPrecedenceConstraint(a, b);
      const ConstraintId cb = probe->getPrecedenceConstraint(c, b);
      ASSERT_TRUE(ab.isValid() && cb.isValid());
      EXPECT_NE(ab, cb);
      EXPECT_EQ(ab->getScope()[0], ConstrainedVariableId(a->end()));
      EXPECT_EQ(cb->getScope()[0], ConstrainedVariableId(c->end()));

      probe->free(c, b);
      EXPECT_TRUE(probe->isConstrainedToPrecede(a, b));
      EXPECT_FALSE(probe->isConstrainedToPrecede(c, b));
      probe->constrain(c, b);
      a->deactivate();
      m_ce->propagate();
      EXPECT_TRUE(probe->isConstrainedToPrecede(c, b));
      EXPECT_EQ(precedences(b).size(), 1u);
    }

    TEST_F(ObjectPrecedenceTest, PlainObjectsOfferOneChoice) {
      TokenId a = activeDrive();
      std::vector<std::pair<TokenId, TokenId> > choices;
      probe->getOrderingChoices(a, choices, 1);
      probe->getOrderingChoices(a, choices, 5);
      EXPECT_EQ(choices, (std::vector<std::pair<TokenId, TokenId> >{{a, a}, {a, a}}));
      EXPECT_CHECK_FAILS(probe->getOrderingChoices(a, choices, 0), "limit > 0",
                         "Cannot set limit to less than 1.");
      EXPECT_EQ(probe->countOrderingChoices(a, 5), 1u);
      EXPECT_EQ(probe->lastOrderingChoiceCount(TokenId::noId()), 1u);
      std::vector<TokenId> toOrder{a};
      probe->getTokensToOrder(toOrder);
      EXPECT_EQ(toOrder.size(), 1u);
      EXPECT_FALSE(probe->hasTokensToOrder());
    }

  }
}
