// Both ancestor constraints over a small containment tree of objects:
//
//   depot (Depot)
//     depot.rover (Rover)
//       depot.rover.battery (Battery)
//       depot.rover.spare   (Battery)
//     depot.truck (Rover)
//       depot.truck.battery (Battery)
//   loose (Battery, a root)

#include "PlanDatabase/base/CommonAncestorConstraint.hh"
#include "PlanDatabase/base/HasAncestorConstraint.hh"

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/model/TestObjects.hh"

#include <gtest/gtest.h>

#include <list>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class AncestorConstraintTest : public DatabaseFixture {
    protected:
      AncestorConstraintTest() {
        m_schema->addObjectType("Depot");
        m_schema->addMember("Depot", "Rover", "rover");
        m_schema->addMember("Depot", "Rover", "truck");
        m_schema->addMember("Rover", "Battery", "spare");
        depot = make("Depot", "depot");
        rover = component(depot, "Rover", "rover");
        truck = component(depot, "Rover", "truck");
        battery = component(rover, "Battery", "battery");
        spare = component(rover, "Battery", "spare");
        truckBattery = component(truck, "Battery", "battery");
        loose = make("Battery", "loose");
      }

      ObjectId component(const ObjectId& parent, const char* type, const char* name) {
        return (new TestObject(parent, type, name))->getId();
      }

      /** A variable over exactly these objects (closed). */
      ConstrainedVariableId over(const std::list<ObjectId>& objects, const char* name = "v") {
        return (new Variable<ObjectDomain>(m_ce->getId(), ObjectDomain(objects, "Object"), false, true, name))
            ->getId();
      }

      /** The objects left in a variable's domain. */
      static std::list<ObjectId> left(const ConstrainedVariableId& var) {
        return static_cast<const ObjectDomain&>(var->lastDomain()).makeObjectList();
      }

      static std::list<ObjectId> sorted(std::list<ObjectId> objects) {
        objects.sort();
        return objects;
      }

      ConstraintId common(const ConstrainedVariableId& first, const ConstrainedVariableId& second,
                          const ConstrainedVariableId& restrictions) {
        std::vector<ConstrainedVariableId> scope{first, second, restrictions};
        return (new CommonAncestorConstraint("commonAncestor", "Default", m_ce->getId(), scope))->getId();
      }
      ConstraintId has(const ConstrainedVariableId& first, const ConstrainedVariableId& restrictions) {
        std::vector<ConstrainedVariableId> scope{first, restrictions};
        return (new HasAncestorConstraint("hasAncestor", "Default", m_ce->getId(), scope))->getId();
      }

      ObjectId depot, rover, truck, battery, spare, truckBattery, loose;
    };

    TEST_F(AncestorConstraintTest, CommonAncestorNarrowsTheOtherOfASingleton) {
      // first, second, restrictions, what second keeps (empty: inconsistent).
      const std::vector<std::vector<std::list<ObjectId>>> cases{
          {{battery}, {spare, loose}, {rover}, {spare}}, // siblings share their parent
          {{truckBattery, loose, spare},
           {battery},
           {depot},
           {truckBattery, spare}}, // a grand-parent counts; the second is the singleton
          {{rover}, {rover, battery, truck}, {rover}, {rover, battery}}, // an object is its own ancestor
          {{battery}, {spare, loose}, {truck, loose}, {}}, // disjoint restrictions empty the other
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
          {{battery, truck, depot}, {depot, loose}, {battery, truck}}, // a grand-parent counts
          {{loose, depot}, {depot}, {}}, // no ancestors at all
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
      first->specify(static_cast<double>(battery));
      EXPECT_TRUE(m_ce->propagate());
      EXPECT_EQ(left(second), std::list<ObjectId>{spare});

      ConstrainedVariableId open = objectVariable("Battery", "open");
      open->insert(static_cast<double>(loose));
      open->insert(static_cast<double>(battery));
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
      EXPECT_CHECK_FAILS(
          common(first, over({spare}), over({rover}))->canIgnore(first, 3, DomainListener::RELAXED),
          "argIndex <= 2", "");
      EXPECT_CHECK_FAILS(has(first, over({rover}))->canIgnore(first, 2, DomainListener::RELAXED),
                         "argIndex <= 1", "");
    }

  }
}
