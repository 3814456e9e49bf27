// One timeline holding N = 1e3 and 1e4 sequenced tokens (each of duration 1,
// chained by explicit precedences): time per operation for
//   - appending a new token after the last and propagating,
//   - freeing a token just appended after the last and propagating,
//   - freeing the middle token from its successor and constraining it again,
//   - asking the timeline for the ordering choices of a new token.
// The timeline of each size is built once and reused; setup is not timed.

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/component/IntervalToken.hh"
#include "PlanDatabase/component/Timeline.hh"
#include "rover/RoverModel.hh"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace {

  using namespace KADRIX;

  /**
   * A Rover.At token of duration 1 anywhere in a long horizon. The tokens of
   * the sequence end by 1e6; a new token may end by 2e6, so that appending it
   * narrows nothing before it.
   */
  class Step : public IntervalToken {
  public:
    Step(const PlanDatabaseId& db, int latestEnd)
      : IntervalToken(db, "Rover.At", true, false, IntervalIntDomain(0, latestEnd - 1),
                      IntervalIntDomain(1, latestEnd), IntervalIntDomain(1, 1), Token::noObject(), false) {
      addParameter(IntervalIntDomain(0, 0), "at");
      close();
    }
  };

  struct Sequence {
    explicit Sequence(int n) {
      plan.rover("spirit");
      rover = dynamic_cast<Timeline*>(static_cast<Object*>(plan.db()->getObject("spirit")));
      for (int i = 0; i < n; ++i) {
        TokenId t = fresh(1000000);
        if (tokens.empty())
          rover->constrain(t, t);
        else
          rover->constrain(tokens.back(), t);
        tokens.push_back(t);
      }
      plan.engine()->propagate();
    }

    /** A new active token, waiting on the timeline. */
    TokenId fresh(int latestEnd = 2000000) {
      TokenId t = (new Step(plan.db(), latestEnd))->getId();
      t->activate();
      plan.engine()->propagate();
      return t;
    }

    RoverModel::Plan plan;
    Timeline* rover;
    std::vector<TokenId> tokens;
  };

  Sequence& sequenceOf(int n) {
    static std::map<int, std::unique_ptr<Sequence> > s_sequences;
    std::unique_ptr<Sequence>& sequence = s_sequences[n];
    if (!sequence)
      sequence.reset(new Sequence(n));
    return *sequence;
  }

  void BM_AppendAndPropagate(benchmark::State& state) {
    Sequence& s = sequenceOf(static_cast<int>(state.range(0)));
    const TokenId last = s.tokens.back();
    for (auto _ : state) {
      state.PauseTiming();
      TokenId t = s.fresh();
      state.ResumeTiming();
      s.rover->constrain(last, t);
      s.plan.engine()->propagate();
      state.PauseTiming();
      s.rover->free(last, t);
      t->discard();
      s.plan.engine()->propagate();
      state.ResumeTiming();
    }
  }

  void BM_FreeJustAppended(benchmark::State& state) {
    Sequence& s = sequenceOf(static_cast<int>(state.range(0)));
    const TokenId last = s.tokens.back();
    for (auto _ : state) {
      state.PauseTiming();
      TokenId t = s.fresh();
      s.rover->constrain(last, t);
      s.plan.engine()->propagate();
      state.ResumeTiming();
      s.rover->free(last, t);
      s.plan.engine()->propagate();
      state.PauseTiming();
      t->discard();
      s.plan.engine()->propagate();
      state.ResumeTiming();
    }
  }

  void BM_FreeAndConstrainMiddle(benchmark::State& state) {
    Sequence& s = sequenceOf(static_cast<int>(state.range(0)));
    const size_t middle = s.tokens.size() / 2;
    const TokenId p = s.tokens[middle - 1], m = s.tokens[middle], n = s.tokens[middle + 1];
    // Bring the middle to its steady form: p->m implicit, m->n explicit.
    if (s.rover->getPrecedenceConstraint(p, n).isNoId()) {
      s.rover->free(p, m);
      s.rover->free(m, n);
      s.rover->constrain(m, n);
      s.plan.engine()->propagate();
    }
    for (auto _ : state) {
      s.rover->free(m, n);
      s.plan.engine()->propagate();
      s.rover->constrain(m, n);
      s.plan.engine()->propagate();
    }
  }

  void BM_OrderingChoicesOfANewToken(benchmark::State& state) {
    Sequence& s = sequenceOf(static_cast<int>(state.range(0)));
    TokenId t = s.fresh();
    std::vector<std::pair<TokenId, TokenId> > choices;
    for (auto _ : state) {
      choices.clear();
      s.rover->getOrderingChoices(t, choices, 1000000);
      benchmark::DoNotOptimize(choices.data());
    }
    state.counters["choices"] = static_cast<double>(choices.size());
    t->discard();
    s.plan.engine()->propagate();
  }

  BENCHMARK(BM_AppendAndPropagate)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
  BENCHMARK(BM_FreeJustAppended)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
  BENCHMARK(BM_FreeAndConstrainMiddle)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
  BENCHMARK(BM_OrderingChoicesOfANewToken)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}
