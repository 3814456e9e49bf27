// Playing a recording of random changes to a rover plan (with a retraction
// mix: free, cancel, reset, deletions) into a plan whose own log records it,
// then rewinding that log to the start, for recordings of about 1e4 and 1e5
// elements. Each iteration plays and rewinds; the two phases are reported
// apart as the counters play_s and rewind_s (seconds per iteration), and
// rewind/play as their ratio. Building the recording is not timed.

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "rover/RandomChanges.hh"
#include "rover/RoverModel.hh"

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>

namespace {

  using namespace KADRIX;

  /** The flushed log of `changes` random changes (made once per size). */
  const std::string& recording(unsigned int changes) {
    static std::map<unsigned int, std::string> s_recordings;
    std::string& text = s_recordings[changes];
    if (text.empty()) {
      RoverModel::Plan plan;
      (static_cast<DbClient*>(plan.db()->getClient()))->enableTransactionLogging();
      DbClientTransactionLog log(plan.db()->getClient(), false);
      RoverModel::RandomChanges random(plan.db(), 7);
      random.world();
      random.steps(changes);
      std::ostringstream os;
      log.flush(os);
      text = os.str();
    }
    return text;
  }

  double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  }

  void BM_PlayThenRewind(benchmark::State& state) {
    const std::string& text = recording(static_cast<unsigned int>(state.range(0)));
    double played = 0, rewound = 0;
    std::size_t elements = 0;
    for (auto _ : state) {
      RoverModel::Plan plan;
      DbClient& client = *(static_cast<DbClient*>(plan.db()->getClient()));
      client.enableTransactionLogging();
      DbClientTransactionLog log(plan.db()->getClient(), false);
      DbClientTransactionPlayer player(plan.db()->getClient());
      std::istringstream is(text);
      std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
      player.play(is);
      played += seconds(start);
      elements = log.getBufferedTransactions().size();
      start = std::chrono::steady_clock::now();
      player.rewind(DbClientTransactionLogId(log.getId()), false);
      rewound += seconds(start);
      if (!plan.db()->getTokens().empty() || !plan.db()->getObjects().empty())
        state.SkipWithError("the rewind left part of the plan");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["elements"] = static_cast<double>(elements);
    state.counters["play_s"] = played / n;
    state.counters["rewind_s"] = rewound / n;
    state.counters["rewind/play"] = rewound / played;
  }

  BENCHMARK(BM_PlayThenRewind)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}
