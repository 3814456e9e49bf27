// What a transaction log costs.
//
// ClientCycle: through the client, create N rover tokens, activate them, order
// them in a chain on one rover, then take it all back (free, cancel, delete),
// with no log (log:0), a normal log (log:1) and a chronological log (log:2)
// listening: time per client call. The normal log's buffer is flushed to nowhere between iterations
// without being timed.
//
// Flush: write a buffer of N elements of the same calls (each element cloned
// from that cycle's record) to a stream that counts and drops the characters:
// elements and bytes per second.

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "rover/RoverModel.hh"

#include <benchmark/benchmark.h>

#include <memory>
#include <ostream>
#include <streambuf>
#include <vector>

namespace {

  using namespace KADRIX;

  /** Counts and drops what is written. */
  class CountingBuffer : public std::streambuf {
  public:
    std::size_t count = 0;

  protected:
    int_type overflow(int_type c) override {
      count++;
      return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
      count += n;
      return n;
    }
  };

  /** A rover plan with transaction logging on and one rover. */
  struct LoggedPlan {
    LoggedPlan() {
      client().enableTransactionLogging();
      rover = plan.rover("spirit");
    }
    DbClient& client() { return *(static_cast<DbClient*>(plan.db()->getClient())); }

    /**
     * The client calls of one cycle over n tokens, 6n - 2 of them: create the
     * tokens, activate and chain them, then retract newest first (as the
     * chronological mode requires) and delete them newest first.
     */
    void cycle(int n) {
      std::vector<TokenId> tokens;
      for (int i = 0; i < n; i++)
        tokens.push_back(client().createToken("Rover.At", true, false));
      for (int i = 0; i < n; i++) {
        client().activate(tokens[i]);
        if (i > 0)
          client().constrain(rover, tokens[i - 1], tokens[i]);
      }
      for (int i = n - 1; i >= 0; i--) {
        if (i > 0)
          client().free(rover, tokens[i - 1], tokens[i]);
        client().cancel(tokens[i]);
      }
      for (int i = n - 1; i >= 0; i--)
        client().deleteToken(tokens[i], "");
    }

    RoverModel::Plan plan;
    ObjectId rover;
  };

  enum LogKind { NO_LOG, NORMAL_LOG, CHRONOLOGICAL_LOG };

  void ClientCycle(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const LogKind kind = static_cast<LogKind>(state.range(1));
    LoggedPlan plan;
    std::unique_ptr<DbClientTransactionLog> log;
    if (kind != NO_LOG)
      log.reset(new DbClientTransactionLog(plan.plan.db()->getClient(), kind == CHRONOLOGICAL_LOG));
    CountingBuffer nowhere;
    std::ostream os(&nowhere);
    for (auto _ : state) {
      plan.cycle(n);
      if (log) {
        state.PauseTiming();
        log->flush(os);
        state.ResumeTiming();
      }
    }
    state.SetItemsProcessed(state.iterations() * (6 * n - 2));
  }
  BENCHMARK(ClientCycle)
      ->ArgsProduct({{50, 200}, {NO_LOG, NORMAL_LOG, CHRONOLOGICAL_LOG}})
      ->ArgNames({"tokens", "log"})
      ->Unit(benchmark::kMicrosecond);

  void Flush(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    LoggedPlan plan;
    DbClientTransactionLog log(plan.plan.db()->getClient(), false);
    // One recorded cycle, cloned until there are n elements.
    plan.cycle(50);
    std::vector<std::unique_ptr<TiXmlElement>> originals;
    for (TiXmlElement* element : log.getBufferedTransactions())
      originals.emplace_back(element->Clone()->ToElement());
    CountingBuffer counter;
    std::ostream os(&counter);
    log.flush(os);
    std::size_t bytes = 0;
    for (auto _ : state) {
      state.PauseTiming();
      for (int i = 0; i < n; i++)
        log.pushTransaction(originals[i % originals.size()]->Clone()->ToElement());
      counter.count = 0;
      state.ResumeTiming();
      log.flush(os);
      bytes += counter.count;
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
  }
  BENCHMARK(Flush)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}
