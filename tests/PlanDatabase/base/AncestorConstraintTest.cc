#include "PlanDatabase/base/CommonAncestorConstraint.hh"
#include "PlanDatabase/base/HasAncestorConstraint.hh"

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/AncestorTree.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    // Both ancestor constraints over the tree of AncestorTree.
    class AncestorConstraintTest : public AncestorTree {
    protected:
      ConstraintId common(const ConstrainedVariableId& first, const ConstrainedVariableId& second,
                          const ConstrainedVariableId& restrictions) {
        std::vector<ConstrainedVariableId> scope{first, second, restrictions};
        return (new CommonAncestorConstraint("commonAncestor", "Default", m_ce->getId(), scope))->getId();
      }
      ConstraintId has(const ConstrainedVariableId& first, const ConstrainedVariableId& restrictions) {
        std::vector<ConstrainedVariableId> scope{first, restrictions};
        return (new HasAncestorConstraint("hasAncestor", "Default", m_ce->getId(), scope))->getId();
      }
    };

    TEST_F(AncestorConstraintTest, CommonAncestorNarrowsTheOtherOfASingleton) {
      // first, second, restrictions, what second keeps (empty: inconsistent).
      const std::vector<std::vector<std::list<ObjectId>>> cases{
        {{battery}, {spare, loose}, {rover}, {spare}},                 // siblings share their parent
        {{truckBattery, loose, spare}, {battery}, {depot}, {truckBattery, spare}}, // a grand-parent counts; the second is the singleton
        {{rover}, {rover, battery, truck}, {rover}, {rover, battery}}, // an object is its own ancestor
        {{battery}, {spare, loose}, {truck, loose}, {}},               // disjoint restrictions empty the other
      };
      for (size_t i = 0; i < cases.size(); ++i) {
        const std::vector<std::list<ObjectId>>& c = cases[i];
        ConstrainedVariableId first = over(c[0]), second = over(c[1]);
        const bool firstIsSingleton = c[0].size() == 1;
        common(first, second, over(c[2]));
        EXPECT_EQ(!c[3].empty(), m_ce->propagate()) << i;
        if (!c[3].empty())
          EXPECT_EQ(sorted(c[3]), left(firstIsSingleton ? second : first)) << i;
        else
          EXPECT_TRUE(second->lastDomain().isEmpty()) << i;
        first->discard(true);
        second->discard(true);
      }
    }

    TEST_F(AncestorConstraintTest, HasAncestorKeepsObjectsWithAProperAncestorAllowed) {
      // candidates, restrictions, what is kept (empty: inconsistent).
      const std::vector<std::vector<std::list<ObjectId>>> cases{
        {{battery, loose, rover, truckBattery}, {rover}, {battery}}, // a root has no proper ancestor
        {{battery, truck, depot}, {depot, loose}, {battery, truck}},  // a grand-parent counts
        {{loose, depot}, {depot}, {}},                                // no ancestors at all
      };
      for (size_t i = 0; i < cases.size(); ++i) {
        ConstrainedVariableId first = over(cases[i][0]);
        has(first, over(cases[i][1]));
        EXPECT_EQ(!cases[i][2].empty(), m_ce->propagate()) << i;
        EXPECT_EQ(sorted(cases[i][2]), left(first)) << i;
        first->discard(true);
      }
    }

    TEST_F(AncestorConstraintTest, WaitForASingletonOrClosedDomains) {
      ConstrainedVariableId first = over({battery, truckBattery});
      ConstrainedVariableId second = over({spare, loose});
      ConstraintId c = common(first, second, over({rover}));
      EXPECT_TRUE(c->canIgnore(first, 0, DomainListener::RELAXED));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(second), sorted({spare, loose}));
      first->specify((double) battery);
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(second), std::list<ObjectId>{spare});

      ConstrainedVariableId open = objectVariable("Battery", "open");
      open->insert((double) loose);
      open->insert((double) battery);
      c = has(open, over({rover}));
      EXPECT_TRUE(c->canIgnore(open, 0, DomainListener::RELAXED));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(open), sorted({loose, battery}));
      open->close();
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(open), std::list<ObjectId>{battery});
    }

    TEST_F(AncestorConstraintTest, EmptyDomainsAreLeftToTheEngineAndScopesAreChecked) {
      ConstrainedVariableId second = over({spare, loose});
      EXPECT_NO_THROW(common(over({battery}), second, over({}))->handleExecute());
      EXPECT_EQ(left(second), sorted({spare, loose}));
      EXPECT_NO_THROW(has(second, over({}))->handleExecute());
      EXPECT_EQ(left(second), sorted({spare, loose}));

      std::vector<ConstrainedVariableId> scope{over({battery}), over({spare})};
      EXPECT_CHECK_FAILS(new CommonAncestorConstraint("commonAncestor", "Default", m_ce->getId(), scope),
                         "variables.size() == 3", "");
      scope.pop_back();
      EXPECT_CHECK_FAILS(new HasAncestorConstraint("hasAncestor", "Default", m_ce->getId(), scope),
                         "variables.size() == 2", "");
      ConstrainedVariableId first = over({battery});
      EXPECT_CHECK_FAILS(common(first, over({spare}), over({rover}))->canIgnore(first, 3, DomainListener::RELAXED),
                         "argIndex <= 2", "");
      EXPECT_CHECK_FAILS(has(first, over({rover}))->canIgnore(first, 2, DomainListener::RELAXED),
                         "argIndex <= 1", "");
    }

  }
}
