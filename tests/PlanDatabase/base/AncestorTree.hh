#ifndef KADRIX_TESTS_ANCESTOR_TREE_HH
#define KADRIX_TESTS_ANCESTOR_TREE_HH

// A small containment tree of objects for the ancestor constraint tests:
//
//   depot (Depot)
//     depot.rover (Rover)
//       depot.rover.battery (Battery)
//       depot.rover.spare   (Battery)
//     depot.truck (Rover)
//       depot.truck.battery (Battery)
//   loose (Battery, a root)

#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/model/TestObjects.hh"

#include <list>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class AncestorTree : public DatabaseFixture {
    protected:
      AncestorTree() {
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
        return (new Variable<ObjectDomain>(m_ce->getId(), ObjectDomain(objects, "Object"),
                                           false, true, name))->getId();
      }

      /** The objects left in a variable's domain. */
      static std::list<ObjectId> left(const ConstrainedVariableId& var) {
        return static_cast<const ObjectDomain&>(var->lastDomain()).makeObjectList();
      }

      static std::list<ObjectId> sorted(std::list<ObjectId> objects) {
        objects.sort();
        return objects;
      }

      ObjectId depot, rover, truck, battery, spare, truckBattery, loose;
    };

  }
}

#endif
