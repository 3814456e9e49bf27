#include "PlanDatabase/base/HasAncestorConstraint.hh"

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/AncestorTree.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    class HasAncestorConstraintTest : public AncestorTree {
    protected:
      ConstraintId constrain(const ConstrainedVariableId& first,
                             const ConstrainedVariableId& restrictions) {
        std::vector<ConstrainedVariableId> scope{first, restrictions};
        return (new HasAncestorConstraint("hasAncestor", "Default", m_ce->getId(), scope))->getId();
      }
    };

    TEST_F(HasAncestorConstraintTest, KeepsObjectsWithAnAncestorInTheRestrictions) {
      // A root has no proper ancestor; an object is not its own ancestor here.
      ConstrainedVariableId first = over({battery, loose, rover, truckBattery});
      constrain(first, over({rover}));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(first), std::list<ObjectId>{battery});

      ConstrainedVariableId deep = over({battery, truck, depot});
      constrain(deep, over({depot, loose}));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(deep), sorted({battery, truck}));
    }

    TEST_F(HasAncestorConstraintTest, NoAncestorsAtAllEmptiesTheDomain) {
      ConstrainedVariableId first = over({loose, depot});
      constrain(first, over({depot}));
      EXPECT_FALSE(m_ce->propagate());
      EXPECT_TRUE(first->lastDomain().isEmpty());
    }

    TEST_F(HasAncestorConstraintTest, WaitsForClosedDomains) {
      ConstrainedVariableId first = objectVariable("Battery", "first");
      first->insert((double) loose);
      first->insert((double) battery);
      ConstraintId c = constrain(first, over({rover}));
      EXPECT_TRUE(c->canIgnore(first, 0, DomainListener::RELAXED));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(first), sorted({loose, battery}));

      first->close();
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(first), std::list<ObjectId>{battery});
    }

    TEST_F(HasAncestorConstraintTest, EmptyDomainsAreLeftToTheEngine) {
      ConstrainedVariableId first = over({battery, loose});
      ConstraintId c = constrain(first, over({}));
      EXPECT_NO_THROW(c->handleExecute());
      EXPECT_EQ(left(first), sorted({battery, loose}));
    }

    TEST_F(HasAncestorConstraintTest, ChecksItsScope) {
      std::vector<ConstrainedVariableId> scope{over({battery})};
      EXPECT_CHECK_FAILS(new HasAncestorConstraint("hasAncestor", "Default", m_ce->getId(), scope),
                           "variables.size() == 2", "");
      ConstrainedVariableId first = over({battery});
      ConstraintId c = constrain(first, over({rover}));
      EXPECT_CHECK_FAILS(c->canIgnore(first, 2, DomainListener::RELAXED), "argIndex <= 1", "");
    }

  }
}
