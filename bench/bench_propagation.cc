// Propagation over a chain of N timepoint triples (start, duration, end), each
// held by "temporalDistance" and linked to the next by "precedes":
//  - Append: add one triple at the end and propagate. Beside it, the same
//    chain in bare arrays with its own FIFO bounds propagation: the floor.
//  - RemoveAndRestore: remove the middle "precedes", propagate, add it back,
//    propagate.
// Horizon 1: every timepoint within [0, H], so an append tightens the upper
// bounds along the whole chain. Horizon 0: unbounded, so an append only
// touches its neighbour.

#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "ConstraintEngine/component/Variable.hh"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <vector>

using namespace KADRIX;

namespace {

  const double HORIZON = 100000000;

  double upper(bool bounded) { return bounded ? HORIZON : plusInfinity(); }

  // ---------------------------------------------------------------- the engine's chain

  class EngineChain {
  public:
    EngineChain(int n, bool bounded) : m_bounded(bounded) {
      m_schema = new CESchema();
      registerEngineConstraints(m_schema->getId());
      m_ce = new ConstraintEngine(m_schema->getId());
      for (int i = 0; i < n; ++i)
        append();
      m_ce->propagate();
    }

    ~EngineChain() {
      delete m_ce;
      delete m_schema;
    }

    void append() {
      ConstrainedVariableId s = var(0, upper(m_bounded));
      ConstrainedVariableId d = var(1, 10);
      ConstrainedVariableId e = var(0, upper(m_bounded));
      std::vector<ConstrainedVariableId> scope = {s, d, e};
      ConstraintId td = m_ce->createConstraint(LabelStr("temporalDistance"), scope);
      ConstraintId link;
      if (!m_ends.empty())
        link = m_ce->createConstraint(LabelStr("precedes"), makeScope(m_ends.back(), s));
      m_starts.push_back(s);
      m_durations.push_back(d);
      m_ends.push_back(e);
      m_distances.push_back(td);
      m_links.push_back(link);
    }

    void removeLast() {
      if (m_links.back().isValid())
        m_ce->deleteConstraint(m_links.back());
      m_ce->deleteConstraint(m_distances.back());
      m_starts.back()->discard(true);
      m_durations.back()->discard(true);
      m_ends.back()->discard(true);
      m_starts.pop_back();
      m_durations.pop_back();
      m_ends.pop_back();
      m_distances.pop_back();
      m_links.pop_back();
    }

    bool propagate() { return m_ce->propagate(); }

    void removeMiddleLink() {
      const size_t mid = m_links.size() / 2;
      m_ce->deleteConstraint(m_links[mid]);
      m_links[mid] = ConstraintId();
    }

    void restoreMiddleLink() {
      const size_t mid = m_links.size() / 2;
      m_links[mid] = m_ce->createConstraint(LabelStr("precedes"), makeScope(m_ends[mid - 1], m_starts[mid]));
    }

    double lastEndLb() const { return m_ends.back()->lastDomain().getLowerBound(); }
    double firstStartUb() const { return m_starts.front()->lastDomain().getUpperBound(); }

  private:
    ConstrainedVariableId var(double lb, double ub) {
      return (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(lb, ub)))->getId();
    }

    bool m_bounded;
    CESchema* m_schema;
    ConstraintEngine* m_ce;
    std::vector<ConstrainedVariableId> m_starts, m_durations, m_ends;
    std::vector<ConstraintId> m_distances, m_links;
  };

  // ---------------------------------------------------------------- the floor

  /** The same chain and the same FIFO bounds propagation, in plain arrays. */
  class ArrayChain {
  public:
    ArrayChain(int n, bool bounded) : m_bounded(bounded) {
      for (int i = 0; i < n; ++i)
        append();
      propagate();
    }

    void append() {
      const int s = point(0, upper(m_bounded));
      const int d = point(1, 10);
      const int e = point(0, upper(m_bounded));
      constrain(DISTANCE, s, d, e);
      if (m_lastEnd >= 0)
        constrain(PRECEDES, m_lastEnd, s, -1);
      m_lastEnd = e;
    }

    bool propagate() {
      while (!m_agenda.empty()) {
        const int c = m_agenda.front();
        m_agenda.pop_front();
        m_queued[c] = 0;
        m_current = c;
        if (!execute(m_cons[c]))
          return false;
      }
      m_current = -1;
      return true;
    }

    struct State {
      std::vector<double> lb, ub;
      size_t points, cons;
      int lastEnd;
    };

    State save() const { return State{m_lb, m_ub, m_lb.size(), m_cons.size(), m_lastEnd}; }

    void restore(const State& state) {
      m_lb = state.lb;
      m_ub = state.ub;
      m_cons.resize(state.cons);
      m_queued.resize(state.cons);
      m_users.resize(state.points);
      for (std::vector<int>& users : m_users)
        while (!users.empty() && users.back() >= static_cast<int>(state.cons))
          users.pop_back();
      m_lastEnd = state.lastEnd;
    }

    double lastEndLb() const { return m_lb[m_lastEnd]; }

  private:
    enum Kind { PRECEDES, DISTANCE };
    struct Con {
      Kind kind;
      int a, b, c;
    };

    int point(double lb, double ub) {
      m_lb.push_back(lb);
      m_ub.push_back(ub);
      m_users.emplace_back();
      return static_cast<int>(m_lb.size()) - 1;
    }

    void constrain(Kind kind, int a, int b, int c) {
      const int id = static_cast<int>(m_cons.size());
      m_cons.push_back(Con{kind, a, b, c});
      m_queued.push_back(0);
      m_users[a].push_back(id);
      m_users[b].push_back(id);
      if (c >= 0)
        m_users[c].push_back(id);
      enqueue(id);
    }

    void enqueue(int c) {
      if (!m_queued[c]) {
        m_queued[c] = 1;
        m_agenda.push_back(c);
      }
    }

    bool narrow(int p, double lb, double ub) {
      const double newLb = std::max(m_lb[p], std::ceil(lb));
      const double newUb = std::min(m_ub[p], std::floor(ub));
      if (newLb == m_lb[p] && newUb == m_ub[p])
        return true;
      m_lb[p] = newLb;
      m_ub[p] = newUb;
      if (newLb > newUb)
        return false;
      for (int c : m_users[p])
        if (c != m_current)
          enqueue(c);
      return true;
    }

    bool execute(const Con& c) {
      if (c.kind == PRECEDES)
        return narrow(c.b, m_lb[c.a], plusInfinity()) && narrow(c.a, minusInfinity(), m_ub[c.b]);
      for (int pass = 0; pass < 16; ++pass) {
        const double s0 = m_lb[c.a], s1 = m_ub[c.a], d0 = m_lb[c.b], d1 = m_ub[c.b], e0 = m_lb[c.c],
                     e1 = m_ub[c.c];
        if (!narrow(c.c, lowerBoundSum(s0, d0), upperBoundSum(s1, d1)))
          return false;
        if (!narrow(c.a, lowerBoundSum(m_lb[c.c], -d1), upperBoundSum(m_ub[c.c], -d0)))
          return false;
        if (!narrow(c.b, lowerBoundSum(m_lb[c.c], -m_ub[c.a]), upperBoundSum(m_ub[c.c], -m_lb[c.a])))
          return false;
        if (s0 == m_lb[c.a] && s1 == m_ub[c.a] && d0 == m_lb[c.b] && d1 == m_ub[c.b] && e0 == m_lb[c.c] &&
            e1 == m_ub[c.c])
          break;
      }
      return true;
    }

    bool m_bounded;
    std::vector<double> m_lb, m_ub;
    std::vector<std::vector<int> > m_users;
    std::vector<Con> m_cons;
    std::vector<char> m_queued;
    std::deque<int> m_agenda;
    int m_lastEnd = -1;
    int m_current = -1;
  };

  typedef std::chrono::steady_clock Clock;

  void AppendEngine(benchmark::State& state) {
    EngineChain chain(static_cast<int>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
      const Clock::time_point start = Clock::now();
      chain.append();
      const bool ok = chain.propagate();
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
      benchmark::DoNotOptimize(ok);
      chain.removeLast();
      chain.propagate();
    }
    benchmark::DoNotOptimize(chain.lastEndLb());
  }

  void AppendFloor(benchmark::State& state) {
    ArrayChain chain(static_cast<int>(state.range(0)), state.range(1) != 0);
    const ArrayChain::State saved = chain.save();
    for (auto _ : state) {
      const Clock::time_point start = Clock::now();
      chain.append();
      const bool ok = chain.propagate();
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
      benchmark::DoNotOptimize(ok);
      chain.restore(saved);
    }
    benchmark::DoNotOptimize(chain.lastEndLb());
  }

  void RemoveAndRestore(benchmark::State& state) {
    EngineChain chain(static_cast<int>(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
      chain.removeMiddleLink();
      chain.propagate();
      chain.restoreMiddleLink();
      benchmark::DoNotOptimize(chain.propagate());
    }
    benchmark::DoNotOptimize(chain.firstStartUb());
  }

}

// Chains of 1,000 and 10,000 triples, propagating or not.
static void chainSizes(benchmark::internal::Benchmark* b) {
  b->Args({1000, 1})->Args({10000, 1})->Args({1000, 0})->Args({10000, 0})->Unit(benchmark::kMicrosecond);
}
// Undoing an append relaxes the chain (untimed, O(N)): fixed iteration counts
// keep the run short.
BENCHMARK(AppendEngine)->Apply(chainSizes)->UseManualTime()->Iterations(200);
BENCHMARK(AppendFloor)->Apply(chainSizes)->UseManualTime()->Iterations(200);
BENCHMARK(RemoveAndRestore)->Apply(chainSizes);
