#include "PlanDatabase/base/CommonAncestorConstraint.hh"

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/AncestorTree.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    class CommonAncestorConstraintTest : public AncestorTree {
    protected:
      ConstraintId constrain(const ConstrainedVariableId& first, const ConstrainedVariableId& second,
                             const ConstrainedVariableId& restrictions) {
        std::vector<ConstrainedVariableId> scope{first, second, restrictions};
        return (new CommonAncestorConstraint("commonAncestor", "Default", m_ce->getId(), scope))
          ->getId();
      }
    };

    TEST_F(CommonAncestorConstraintTest, RemovesObjectsWithoutAnAllowedCommonAncestor) {
      // Siblings under the rover share it; the loose battery shares nothing.
      ConstrainedVariableId first = over({battery});
      ConstrainedVariableId second = over({spare, loose});
      constrain(first, second, over({rover}));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(second), std::list<ObjectId>{spare});
      EXPECT_EQ(left(first), std::list<ObjectId>{battery});

      // A grand-parent is an ancestor too; the second variable may play the singleton.
      ConstrainedVariableId a = over({truckBattery, loose, spare});
      ConstrainedVariableId b = over({battery});
      constrain(a, b, over({depot}));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(a), sorted({truckBattery, spare}));
    }

    TEST_F(CommonAncestorConstraintTest, AnObjectIsItsOwnAncestor) {
      ConstrainedVariableId first = over({rover});
      ConstrainedVariableId second = over({rover, battery, truck});
      constrain(first, second, over({rover}));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(second), sorted({rover, battery}));
    }

    TEST_F(CommonAncestorConstraintTest, DisjointRestrictionsEmptyTheOtherDomain) {
      ConstrainedVariableId second = over({spare, loose});
      constrain(over({battery}), second, over({truck, loose}));
      EXPECT_FALSE(m_ce->propagate());
      EXPECT_TRUE(second->lastDomain().isEmpty());
    }

    TEST_F(CommonAncestorConstraintTest, WaitsForASingleton) {
      ConstrainedVariableId first = over({battery, truckBattery});
      ConstrainedVariableId second = over({spare, loose});
      ConstraintId c = constrain(first, second, over({rover}));
      EXPECT_TRUE(c->canIgnore(first, 0, DomainListener::RELAXED));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(second), sorted({spare, loose}));
      EXPECT_EQ(left(first), sorted({battery, truckBattery}));

      first->specify((double) battery);
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(second), std::list<ObjectId>{spare});
    }

    TEST_F(CommonAncestorConstraintTest, EmptyDomainsAreLeftToTheEngine) {
      ConstrainedVariableId second = over({spare, loose});
      ConstraintId c = constrain(over({battery}), second, over({}));
      EXPECT_NO_THROW(c->handleExecute());
      EXPECT_EQ(left(second), sorted({spare, loose}));
    }

    TEST_F(CommonAncestorConstraintTest, ChecksItsScope) {
      std::vector<ConstrainedVariableId> scope{over({battery}), over({spare})};
      EXPECT_CHECK_FAILS(new CommonAncestorConstraint("commonAncestor", "Default",
                                                        m_ce->getId(), scope),
                           "variables.size() == 3", "");
      ConstrainedVariableId first = over({battery});
      ConstraintId c = constrain(first, over({spare}), over({rover}));
      EXPECT_CHECK_FAILS(c->canIgnore(first, 3, DomainListener::RELAXED), "argIndex <= 2", "");
    }

  }
}
