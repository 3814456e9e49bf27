#ifndef KADRIX_ROVER_MODEL_HH
#define KADRIX_ROVER_MODEL_HH

// A small planning model declared in code, for the example program, tests and
// benchmarks:
//
//   Location            members x:int, y:int (built from two int arguments)
//   Rover : Timeline    predicates Rover.At(at:Location)
//                                  Rover.Go(from:Location, to:Location, speed:int)
//                                  Rover.drive(to:Location, speed:int)
//                                  Rover.sample(target:Location)
//                                  Rover.arrive(at:Location)
//
// Rover.arrive is an event token, every other predicate an interval token,
// all over the horizon [0, HORIZON]. The
// object factories have the signatures "Location:int:int" and "Rover".

#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/component/EventToken.hh"
#include "PlanDatabase/component/IntervalToken.hh"
#include "PlanDatabase/component/Timeline.hh"

#include <memory>

namespace KADRIX {
  namespace RoverModel {

    /** The end of the planning horizon. */
    constexpr int HORIZON = 1000;

    /** A place with integer coordinates. */
    class Location : public Object {
    public:
      Location(const PlanDatabaseId& db, const LabelStr& name, int x, int y);
      int x() const;
      int y() const;
    };

    /** A rover: a timeline of At and Go tokens. */
    class Rover : public Timeline {
    public:
      Rover(const PlanDatabaseId& db, const LabelStr& name);
    };

    /** Rover.At(at): the rover stays at a location for 1 to 100 time units. */
    class AtToken : public IntervalToken {
    public:
      AtToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact);
      AtToken(const TokenId& master, const LabelStr& name, const LabelStr& relation);
      const ConstrainedVariableId& at() const { return parameters()[0]; }

    private:
      void addParameters();
    };

    /** Rover.Go(from, to, speed): the rover drives for 10 to 200 time units. */
    class GoToken : public IntervalToken {
    public:
      GoToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact);
      GoToken(const TokenId& master, const LabelStr& name, const LabelStr& relation);

    private:
      void addParameters();
    };

    /** Rover.drive(to, speed): the rover drives for 10 to 200 time units at 0 to 100. */
    class DriveToken : public IntervalToken {
    public:
      DriveToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact);
      DriveToken(const TokenId& master, const LabelStr& name, const LabelStr& relation);

    private:
      void addParameters();
    };

    /** Rover.sample(target): the rover takes a sample for 1 to 50 time units. */
    class SampleToken : public IntervalToken {
    public:
      SampleToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact);
      SampleToken(const TokenId& master, const LabelStr& name, const LabelStr& relation);

    private:
      void addParameters();
    };

    /** Rover.arrive(at): the instant the rover reaches a location. */
    class ArriveToken : public EventToken {
    public:
      ArriveToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact);
      ArriveToken(const TokenId& master, const LabelStr& name, const LabelStr& relation);

    private:
      void addParameters();
    };

    /** Declares the types, members and predicates; adds the type Timeline when missing. */
    void declare(Schema& schema);

    /** Registers the object factories of Location and Rover and the token factories. */
    void registerFactories(Schema& schema);

    /**
     * A constraint schema, a schema with the model, a constraint engine with the
     * engine's and the object-token relation's constraints, and a plan database.
     * Destroying it purges the plan.
     */
    class Plan {
    public:
      Plan();
      ~Plan();

      const PlanDatabaseId& db() const { return m_db->getId(); }
      const ConstraintEngineId& engine() const { return m_ce->getId(); }
      const Id<Schema>& schema() const { return m_schema->getId(); }

      /** A location made through its factory. */
      ObjectId location(const char* name, int x, int y);
      /** A rover made through its factory. */
      ObjectId rover(const char* name);

    private:
      Plan(const Plan&) = delete;
      Plan& operator=(const Plan&) = delete;

      std::unique_ptr<CESchema> m_ces;
      std::unique_ptr<Schema> m_schema;
      std::unique_ptr<ConstraintEngine> m_ce;
      std::unique_ptr<PlanDatabase> m_db;
    };

  }
}

#endif
