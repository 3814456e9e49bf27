#ifndef KADRIX_ROVER_PLAN_TEXT_HH
#define KADRIX_ROVER_PLAN_TEXT_HH

// Plans compared as text: what tests, the round-trip fuzz target and the
// example program need to tell whether two databases hold the same plan.

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/PlanDatabase.hh"

#include <string>
#include <utility>

namespace KADRIX {
  namespace RoverModel {

    /**
     * The plan as the writer writes it with tokens named by path, made
     * independent of entity keys and addresses: the keys after object names
     * dropped, the members of object sets sorted by name, and the global
     * variables and each group of tokens on no object sorted by their text.
     */
    std::string canonicalText(const PlanDatabaseId& db);

    /** The variables and the constraints alive in the engine. */
    std::pair<unsigned int, unsigned int> engineCounts(const ConstraintEngineId& engine);

  }
}

#endif
