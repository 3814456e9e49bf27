#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <list>
#include <typeinfo>

namespace KADRIX {
  namespace TestModel {

    typedef TokenFixture TokenVariableTest;

    TEST_F(TokenVariableTest, LocalSpecificationAndReset) {
      TokenId token = drive();
      const TempVarId& start = token->start();
      start->specify(5);
      EXPECT_TRUE(start->isLocallySpecified());
      start->reset();
      EXPECT_FALSE(start->isSpecified() || start->isLocallySpecified());
      EXPECT_TRUE(start->lastDomain() == start->getBaseDomain());

      // The state variable is changed by the token only; its domains stay StateDomains.
      const StateVarId& state = token->getState();
      EXPECT_EQ(typeid(StateDomain), typeid(state->getIntegratedBaseDomain()));
      EXPECT_CHECK_FAILS(state->specify(Token::ACTIVE.getKey()), "this->canBeSpecified()", "");
      EXPECT_CHECK_FAILS(state->reset(), "this->canBeSpecified()", "");

      // Agreement with an earlier value: the membership check names value and variable.
      token->activate();
      start->specify(7);
      EXPECT_CHECK_FAILS(start->handleSpecified(9), "this->lastDomain().isMember(value)",
                           "9 is not in " + start->toString());
      start->handleSpecified(7);
      // A locally specified variable keeps its value when a merged one lets go.
      start->handleReset();
      EXPECT_TRUE(start->isLocallySpecified());
    }

    TEST_F(TokenVariableTest, IntegratedBaseDomainFollowsEdits) {
      TokenId token = drive();
      const ObjectVarId& object = token->getObject();
      object->remove((double) r3);
      EXPECT_FALSE(object->lastDomain().isMember((double) r3));
      // Removing what the integrated domain does not hold leaves it alone.
      object->remove((double) b1);
      EXPECT_EQ(3u, object->getIntegratedBaseDomain().getSize());

      // Narrowing the base domain narrows the integrated domain; relaxing returns to it.
      const TempVarId& end = token->end();
      end->restrictBaseDomain(IntervalIntDomain(10, 20));
      end->relax();
      EXPECT_TRUE(end->lastDomain() == IntervalIntDomain(10, 20));

      // A merging variable's base domain narrows the integrated and derived domains; without
      // merged tokens the next recomputation returns to the base domain.
      end->handleBase(IntervalIntDomain(12, 30));
      EXPECT_TRUE(end->getIntegratedBaseDomain() == IntervalIntDomain(12, 20));
      EXPECT_TRUE(end->lastDomain() == IntervalIntDomain(12, 20));
      end->handleReset();
      EXPECT_TRUE(end->lastDomain() == IntervalIntDomain(10, 20));

      // Every variable but the state variable keeps its current domain for good.
      end->specify(15);
      token->restrictBaseDomains();
      EXPECT_TRUE(end->getBaseDomain() == IntervalIntDomain(15, 15));
      EXPECT_EQ(3u, token->getState()->baseDomain().getSize());
    }

    TEST_F(TokenVariableTest, NoConstraintOnARejectedToken) {
      TokenId token = drive();
      token->reject();
      ConstrainedVariableId other =
        (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(0, 10)))->getId();
      EXPECT_CHECK_FAILS(m_ce->createConstraint("eq", makeScope(token->start(), other)),
                           "!this->m_parentToken->isRejected()", "");
      token->cancel();
      EXPECT_TRUE(m_ce->createConstraint("eq", makeScope(token->start(), other)).isValid());
      other->discard();
    }

    namespace {
      /** A Rover.drive token with one parameter "p" per domain given. */
      class MixedToken : public IntervalToken {
      public:
        MixedToken(const PlanDatabaseId& db, const std::vector<const AbstractDomain*>& domains)
          : IntervalToken(db, "Rover.drive", true, false, horizon(), horizon(), positive(),
                          Token::noObject(), false) {
          for (const AbstractDomain* domain : domains)
            addParameter(*domain, "p");
          close();
        }
      };

      /** The parent token of var when it is a token variable over D; none otherwise. */
      template <class D>
      TokenId parentOf(const ConstrainedVariableId& var) {
        TokenVariable<D>* tokenVariable = dynamic_cast<TokenVariable<D>*>((ConstrainedVariable*) var);
        return tokenVariable != 0 ? tokenVariable->getParentToken() : TokenId();
      }
    }

    TEST_F(TokenVariableTest, ParametersAreTokenVariablesOverTheirDomainsClass) {
      const std::list<double> labels{LabelStr("red").getKey(), LabelStr("blue").getKey()};
      const BoolDomain flag;
      const SymbolDomain colour(labels, "Colour");
      const StringDomain text(labels);
      const EnumeratedDomain numbers(std::list<double>{1, 2}, true, "nums");
      const IntervalDomain real(0.5, 2.5);
      const IntervalIntDomain whole(0, 3);
      const std::vector<const AbstractDomain*> domains{
        &flag, &colour, &text, &numbers, &drive()->getObject()->baseDomain(), &real, &whole};
      TokenId token = (new MixedToken(db(), domains))->getId();

      const std::vector<ConstrainedVariableId>& parameters = token->parameters();
      ASSERT_EQ(domains.size(), parameters.size());
      for (size_t i = 0; i < parameters.size(); ++i) {
        const ConstrainedVariableId& p = parameters[i];
        EXPECT_EQ(token->getVariables()[5 + i], p);
        EXPECT_EQ(5 + (int) i, p->getIndex());
        EXPECT_EQ(EntityId(token), p->parent());
        EXPECT_EQ(LabelStr("p"), p->getName());
        EXPECT_TRUE(p->canBeSpecified() && !p->isInternal());
        EXPECT_EQ(typeid(*domains[i]), typeid(p->baseDomain())) << i;
        EXPECT_EQ(typeid(*domains[i]), typeid(p->lastDomain())) << i;
      }
      EXPECT_EQ(token, parentOf<BoolDomain>(parameters[0]));
      EXPECT_EQ(token, parentOf<SymbolDomain>(parameters[1]));
      EXPECT_EQ(token, parentOf<StringDomain>(parameters[2]));
      EXPECT_EQ(token, parentOf<EnumeratedDomain>(parameters[3]));
      EXPECT_EQ(token, parentOf<ObjectDomain>(parameters[4]));
      EXPECT_EQ(token, parentOf<IntervalDomain>(parameters[5]));
      EXPECT_EQ(token, parentOf<IntervalIntDomain>(parameters[6]));
    }

  }
}
