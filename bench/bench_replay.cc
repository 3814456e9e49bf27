// Replay speed of the transaction player: a generated rover stream (see
// RoverStreams.hh) of about 1e4 and 1e5 elements, N rovers with 90 drive goals
// each (as many as the horizon holds; every 10th related "before" and "eq" to
// a global), played into a fresh rover plan; and, for comparison, TinyXML
// reading the same stream element by element without playing it. Generating
// the stream, building the plan and purging it are not timed.

#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "RoverStreams.hh"
#include "rover/RoverModel.hh"

#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <memory>
#include <sstream>
#include <string>

namespace {

  using namespace KADRIX;

  RoverStreams::Size sizeFor(long elements) {
    // About 466 elements per rover.
    return RoverStreams::Size{20, static_cast<int>((elements / 466)), 90, 10};
  }

  void BM_Play(benchmark::State& state) {
    const RoverStreams::Size size = sizeFor(state.range(0));
    const std::string stream = RoverStreams::generate(size);
    for (auto _ : state) {
      state.PauseTiming();
      std::unique_ptr<RoverModel::Plan> plan(new RoverModel::Plan());
      std::istringstream is(stream);
      state.ResumeTiming();
      DbClientTransactionPlayer player(plan->db()->getClient());
      player.play(is);
      benchmark::DoNotOptimize(plan->db()->getTokens().size());
      state.PauseTiming();
      plan.reset();
      state.ResumeTiming();
    }
    state.counters["elements"] = static_cast<double>(RoverStreams::elementCount(size));
    state.counters["elements/s"] =
        benchmark::Counter(static_cast<double>(RoverStreams::elementCount(size)) * state.iterations(),
                           benchmark::Counter::kIsRate);
  }

  void BM_Parse(benchmark::State& state) {
    const RoverStreams::Size size = sizeFor(state.range(0));
    const std::string stream = RoverStreams::generate(size);
    for (auto _ : state) {
      std::istringstream is(stream);
      long count = 0;
      while (is.good()) {
        if (is.peek() == '<') {
          TiXmlElement element("");
          is >> element;
          ++count;
        } else
          is.get();
      }
      benchmark::DoNotOptimize(count);
    }
    state.counters["elements"] = static_cast<double>(RoverStreams::elementCount(size));
    state.counters["elements/s"] =
        benchmark::Counter(static_cast<double>(RoverStreams::elementCount(size)) * state.iterations(),
                           benchmark::Counter::kIsRate);
  }

  BENCHMARK(BM_Play)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
  BENCHMARK(BM_Parse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}
