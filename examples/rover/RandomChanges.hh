#ifndef KADRIX_ROVER_RANDOM_CHANGES_HH
#define KADRIX_ROVER_RANDOM_CHANGES_HH

// Random changes to a rover plan, made through its client, so that a
// transaction log on the client records a plan with every kind of change and
// retraction: for the tests and benchmarks of playing and rewinding.

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/PlanDatabase.hh"

#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace KADRIX {
  namespace RoverModel {

    /**
     * Makes one random, valid change at a time through the client of a rover
     * plan (the model of RoverModel.hh declared): goals and facts created,
     * activated, merged, rejected, cancelled, ordered on rovers and freed,
     * parameters specified and reset, global variables created, restricted and
     * deleted, "eq" constraints created and deleted, the newest token deleted,
     * and short-lived locations. The client must have transaction logging on.
     *
     * Every change it makes can be undone by rewinding its recording, except
     * a restriction (and a variable deleted and made again has lost its
     * restrictions); restrictOnlyNewVariables() keeps restrictions and
     * deletions of variables to those created from then on, so that
     * rewinding to that point restores the plan.
     */
    class RandomChanges {
    public:
      RandomChanges(const PlanDatabaseId& db, unsigned int seed, unsigned int tokenCap = 40);

      /** Three locations and two rovers. */
      void world();

      /** One change; false when the change drawn could not be made (nothing changed then). */
      bool step();

      /** Changes until `count` have been made. */
      void steps(unsigned int count);

      /** From now on, restrict and delete only variables created from now on. */
      void restrictOnlyNewVariables();

    private:
      typedef std::tuple<ObjectId, TokenId, TokenId> Ordering;

      DbClient& client() { return *(static_cast<DbClient*>(m_db->getClient())); }
      unsigned int pick(std::size_t count) {
        return std::uniform_int_distribution<unsigned int>(0, static_cast<unsigned int>(count) - 1)(m_random);
      }
      std::vector<TokenId> tokens(bool (*which)(const TokenId&)) const;
      /** The token whose root comes last in the client's record, or none. */
      TokenId newestToken() const;

      bool goal(bool fact);
      bool activate();
      bool merge();
      bool reject();
      bool cancel();
      bool constrain();
      bool free();
      bool specify();
      bool reset();
      bool createVariable();
      bool restrict();
      bool deleteVariable();
      bool createConstraint();
      bool deleteConstraint();
      bool deleteToken();
      bool location();

      PlanDatabaseId m_db;
      std::mt19937 m_random;
      unsigned int m_tokenCap;
      unsigned int m_names;
      std::vector<Ordering> m_orderings;
      std::vector<ConstrainedVariableId> m_variables;
      std::vector<ConstrainedVariableId> m_restrictable;
      std::vector<ConstraintId> m_constraints;
      std::vector<ConstrainedVariableId> m_specified;
      bool m_restrictAll;
    };

  }
}

#endif
