#include "PlanDatabase/model/TestTokens.hh"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class ObjectTokenRelationTest : public TokenFixture {
    protected:
      ObjectTokenRelationTest() : TokenFixture(), token(drive()) {
        for (const ConstraintId& c : token->getStandardConstraints())
          if (c->getName() == LabelStr("ObjectTokenRelation"))
            relation = Id<ObjectTokenRelation>(c);
      }

      size_t count(const std::string& what) const {
        return recorder->with(what + " " + std::to_string(token->getKey())).size();
      }

      ConstrainedVariableId objects(const ObjectId& only, const char* type) {
        return (new Variable<ObjectDomain>(m_ce->getId(), ObjectDomain(std::list<ObjectId>{only}, type)))
            ->getId();
      }

      TokenId token;
      Id<ObjectTokenRelation> relation;
    };

    TEST_F(ObjectTokenRelationTest, FollowsTheObjectDomainWhileActive) {
      ASSERT_TRUE(relation.isValid());
      EXPECT_TRUE(relation->getNotifiedObjects().empty());
      token->activate();
      EXPECT_EQ(4u, count("placed"));

      // Narrowed to one object: the other three are told.
      recorder->log.clear();
      token->getObject()->specify(static_cast<double>(r2));
      EXPECT_EQ(3u, count("lifted"));
      EXPECT_EQ(1u, relation->getNotifiedObjects().count(r2));

      // Widened again: placed again on those three; the same domain twice adds nothing.
      recorder->log.clear();
      token->getObject()->reset();
      token->getObject()->relax();
      EXPECT_EQ(3u, count("placed"));
      EXPECT_EQ(0u, count("lifted"));

      // Deactivation takes it off everywhere before it is announced.
      recorder->log.clear();
      token->cancel();
      EXPECT_TRUE(relation->getNotifiedObjects().empty());
      ASSERT_EQ(5u, recorder->log.size());
      EXPECT_EQ(TokenRecorder::entry("deactivated", token), recorder->log.back());
    }

    TEST_F(ObjectTokenRelationTest, PropagationNarrowingAndInconsistency) {
      token->activate();
      ConstrainedVariableId onlyR1 = objects(r1, "Rover");
      ConstraintId eq = m_ce->createConstraint("eq", makeScope(token->getObject(), onlyR1));
      recorder->log.clear();
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(3u, count("lifted"));
      eq->discard();
      EXPECT_EQ(4u, relation->getNotifiedObjects().size());

      // An object variable emptied by propagation is an inconsistency, not an abort.
      ConstrainedVariableId battery = objects(b1, "Battery");
      ConstraintId clash = m_ce->createConstraint("eq", makeScope(token->getObject(), battery));
      EXPECT_FALSE(m_ce->propagate());
      EXPECT_NO_THROW(relation->handleExecute());
      clash->discard();
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(4u, relation->getNotifiedObjects().size());
      onlyR1->discard();
      battery->discard();
    }

    TEST_F(ObjectTokenRelationTest, ConstructionChecksAndPurging) {
      ConstrainedVariableId stray =
          (new Variable<ObjectDomain>(m_ce->getId(), ObjectDomain("Rover")))->getId();
      EXPECT_CHECK_FAILS(m_ce->createConstraint("ObjectTokenRelation", makeScope(token->getState(), stray)),
                         "variables[OBJECT_VAR]->parent() == m_token", "");
      ConstrainedVariableId open = (new TokenVariable<ObjectDomain>(
                                        token, 9, m_ce->getId(), ObjectDomain("Rover"), false, true, "open"))
                                       ->getId();
      EXPECT_CHECK_FAILS(m_ce->createConstraint("ObjectTokenRelation", makeScope(token->getState(), open)),
                         "variables[OBJECT_VAR]->isClosed()",
                         "The Object Variable must be closed to correctly maintain the object "
                         "token relationship through propagation.");
      stray->discard();
      open->discard();

      // Discarding the relation while purging tells no object.
      token->activate();
      recorder->log.clear();
      Entity::purgeStart();
      relation->discard();
      Entity::purgeEnd();
      EXPECT_TRUE(recorder->log.empty());
    }

  }
}
