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
     * The plan as text that depends neither on entity keys nor on addresses:
     * objects with their member variables, the tokens on them (a timeline's
     * in sequence) and what holds them there (bindings and precedences, each
     * explicit or implicit), global variables, and tokens with their state,
     * master, merged tokens and variables (current domains, as the writer
     * writes them); tokens named by their path, object domains listed by name,
     * every group sorted. Transaction logging must be on.
     */
    std::string canonicalText(const PlanDatabaseId& db);

    /** The variables and the constraints alive in the engine. */
    std::pair<unsigned int, unsigned int> engineCounts(const ConstraintEngineId& engine);

  }
}

#endif
