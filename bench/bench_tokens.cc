// Creating and activating interval tokens with two parameters, N = 1e3 and
// 1e5 per plan, with the database closed and open: time per token, heap
// bytes per token (from mallinfo2: bytes_per_token counts the heap's arenas,
// with_mapped_per_token also the large blocks the allocator maps on their
// own, such as big tables) and calls of operator new per token. Teardown is
// not timed.

#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/TokenFactory.hh"
#include "PlanDatabase/component/IntervalToken.hh"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace {
  // Calls of operator new since the program started (the benchmark runs on one thread).
  std::size_t g_allocations = 0;
}

// Not inlined, so that the compiler pairs new-expressions with these, not with malloc() and free().
__attribute__((noinline)) void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size))
    return p;
  throw std::bad_alloc();
}

__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }

__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

  using namespace KADRIX;

  class DriveToken : public IntervalToken {
  public:
    DriveToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact)
      : IntervalToken(db, name, rejectable, isFact, IntervalIntDomain(0, 1000), IntervalIntDomain(0, 1000),
                      IntervalIntDomain(1, 1000), Token::noObject(), false) {
      addParameter(IntervalIntDomain(0, 10), "speed");
      addParameter(IntervalDomain(0, 100), "distance");
      close();
    }
  };

  class DriveFactory : public TokenFactory {
  public:
    DriveFactory() : TokenFactory("Rover.drive") {}
    TokenId createInstance(const PlanDatabaseId& db, const LabelStr& name, bool rejectable,
                           bool isFact) const override {
      return (new DriveToken(db, name, rejectable, isFact))->getId();
    }
    TokenId createInstance(const TokenId&, const LabelStr&, const LabelStr&) const override {
      return TokenId::noId();
    }
  };

  /** A schema with Rover and Rover.drive(speed, distance), an engine and a database with two rovers. */
  struct Plan {
    explicit Plan(bool closed) : ces(new CESchema()), schema(new Schema("Bench", ces->getId())) {
      registerEngineConstraints(ces->getId());
      ces->registerConstraintFactory(
          new ConcreteConstraintFactory<ObjectTokenRelation>("ObjectTokenRelation", "Default", true));
      schema->addObjectType("Rover");
      schema->addPredicate("Rover.drive");
      schema->addMember("Rover.drive", "int", "speed");
      schema->addMember("Rover.drive", "float", "distance");
      schema->registerTokenFactory((new DriveFactory())->getId());
      ce.reset(new ConstraintEngine(ces->getId()));
      db.reset(new PlanDatabase(ce->getId(), schema->getId()));
      new Object(db->getId(), "Rover", "r1");
      new Object(db->getId(), "Rover", "r2");
      // With the database closed, token object variables need not follow the type.
      if (closed)
        db->close();
    }
    ~Plan() {
      db.reset();
      ce.reset();
      schema.reset();
      ces.reset();
    }
    std::unique_ptr<CESchema> ces;
    std::unique_ptr<Schema> schema;
    std::unique_ptr<ConstraintEngine> ce;
    std::unique_ptr<PlanDatabase> db;
  };

  void BM_CreateAndActivateIntervalTokens(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double bytes = 0;
    double withMapped = 0;
    double allocations = 0;
    for (auto _ : state) {
      state.PauseTiming();
      std::unique_ptr<Plan> plan(new Plan(state.range(1) != 0));
      const struct mallinfo2 before = mallinfo2();
      const size_t allocationsBefore = g_allocations;
      state.ResumeTiming();
      for (int i = 0; i < n; ++i) {
        TokenId token = plan->db->createToken("Rover.drive", true, false);
        token->activate();
      }
      state.PauseTiming();
      const struct mallinfo2 after = mallinfo2();
      bytes = (static_cast<double>(after.uordblks) - static_cast<double>(before.uordblks)) / n;
      withMapped = (static_cast<double>(after.uordblks + after.hblkhd) -
                    static_cast<double>(before.uordblks + before.hblkhd)) /
                   n;
      allocations = static_cast<double>(g_allocations - allocationsBefore) / n;
      if (plan->db->getTokens().size() != static_cast<size_t>(n))
        state.SkipWithError("tokens missing");
      plan.reset();
      state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["bytes_per_token"] = bytes;
    state.counters["with_mapped_per_token"] = withMapped;
    state.counters["allocations_per_token"] = allocations;
    state.counters["time_per_token"] =
        benchmark::Counter(static_cast<double>(state.iterations() * n),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  }

  // Second argument: 1 with the database closed before the tokens are made, 0 with it open.
  BENCHMARK(BM_CreateAndActivateIntervalTokens)
      ->Args({1000, 1})
      ->Args({100000, 1})
      ->Args({1000, 0})
      ->Args({100000, 0})
      ->Unit(benchmark::kMillisecond);

}
