// Merge-candidate search for one inactive token among N = 1e3 and 1e4 active
// tokens of its predicate (time per query), and archiving N finished tokens
// (time per archived token). Set-up and teardown are not timed.

#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/component/IntervalToken.hh"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

  using namespace KADRIX;

  class DriveToken : public IntervalToken {
  public:
    DriveToken(const PlanDatabaseId& db, const IntervalIntDomain& start, const IntervalIntDomain& end)
      : IntervalToken(db, "Rover.drive", true, false, start, end, IntervalIntDomain(1, 1000),
                      Token::noObject(), false) {
      addParameter(IntervalIntDomain(0, 10), "speed");
      addParameter(IntervalDomain(0, 100), "distance");
      close();
    }
  };

  /** Rover.drive(speed, distance) over two rovers, the database closed. */
  struct Plan {
    Plan() : ces(new CESchema()), schema(new Schema("Bench", ces->getId())) {
      registerEngineConstraints(ces->getId());
      ces->registerConstraintFactory(
          new ConcreteConstraintFactory<ObjectTokenRelation>("ObjectTokenRelation", "Default", true));
      schema->addObjectType("Rover");
      schema->addPredicate("Rover.drive");
      schema->addMember("Rover.drive", "int", "speed");
      schema->addMember("Rover.drive", "float", "distance");
      ce.reset(new ConstraintEngine(ces->getId()));
      db.reset(new PlanDatabase(ce->getId(), schema->getId()));
      new Object(db->getId(), "Rover", "r1");
      new Object(db->getId(), "Rover", "r2");
      db->close();
    }
    ~Plan() {
      db.reset();
      ce.reset();
      schema.reset();
      ces.reset();
    }
    TokenId drive(int startLow, int endHigh) {
      return (new DriveToken(db->getId(), IntervalIntDomain(startLow, 1000), IntervalIntDomain(0, endHigh)))
          ->getId();
    }
    std::unique_ptr<CESchema> ces;
    std::unique_ptr<Schema> schema;
    std::unique_ptr<ConstraintEngine> ce;
    std::unique_ptr<PlanDatabase> db;
  };

  void BM_MergeCandidates(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Plan plan;
    for (int i = 0; i < n; ++i)
      plan.drive(0, 1000)->activate();
    TokenId inactive = plan.drive(0, 1000);
    plan.ce->propagate();
    std::vector<TokenId> results;
    for (auto _ : state) {
      results.clear();
      plan.db->getCompatibleTokens(inactive, results);
      benchmark::DoNotOptimize(results.data());
    }
    if (results.size() != static_cast<size_t>(n))
      state.SkipWithError("candidates missing");
  }
  BENCHMARK(BM_MergeCandidates)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

  void BM_Archive(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
      state.PauseTiming();
      std::unique_ptr<Plan> plan(new Plan());
      for (int i = 0; i < n; ++i) {
        TokenId token = plan->drive(i % 100, 500);
        if (i % 2 == 0)
          token->activate();
      }
      plan->ce->propagate();
      state.ResumeTiming();
      const unsigned int archived = plan->db->archive(500);
      state.PauseTiming();
      if (archived != static_cast<unsigned int>(n))
        state.SkipWithError("tokens left behind");
      plan.reset();
      state.ResumeTiming();
    }
    state.counters["time_per_token"] =
        benchmark::Counter(static_cast<double>(state.iterations() * n),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  }
  BENCHMARK(BM_Archive)->Arg(1000)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);

}
