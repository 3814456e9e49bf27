#include "PlanDatabase/base/PSPlanDatabase.hh"
#include "PlanDatabase/base/Object.hh"

namespace KADRIX {

  void PSPlanDatabaseListener::notifyAdded(const ObjectId& object) {
    notifyAdded(static_cast<PSObject*>(object));
  }

  void PSPlanDatabaseListener::notifyRemoved(const ObjectId& object) {
    notifyRemoved(static_cast<PSObject*>(object));
  }

}
