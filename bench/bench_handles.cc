// Per-operation cost of the handle registry and of entity look-up by key,
// with 1e3 and 1e6 live handles.

#include "Utils/base/Entity.hh"
#include "Utils/base/Id.hh"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

  using namespace KADRIX;

  struct Plain {
    long payload = 0;
  };

  class Item : public Entity {
  public:
    Item() : m_id(this) {}
    ~Item() noexcept(false) override {
      discard(false);
      m_id.remove();
    }
    const Id<Item>& getId() const { return m_id; }

  private:
    Id<Item> m_id;
  };

  // Visiting order that jumps around the population, as real look-ups do.
  std::vector<std::size_t> shuffledOrder(std::size_t n) {
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
      order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(12345));
    return order;
  }

  // Registration (and the removal that keeps the population steady) of one handle.
  void BM_RegisterHandle(benchmark::State& state) {
    const std::size_t live = static_cast<std::size_t>(state.range(0));
    std::vector<Plain> population(live);
    std::vector<Id<Plain>> handles;
    handles.reserve(live);
    for (Plain& p : population)
      handles.emplace_back(&p);
    std::vector<Plain> spare(4096);
    std::size_t i = 0;
    for (auto _ : state) {
      Id<Plain> id(&spare[i++ & 4095]);
      benchmark::DoNotOptimize(id);
      id.remove();
    }
    state.SetItemsProcessed(state.iterations());
    for (Id<Plain>& h : handles)
      h.remove();
  }

  // Handles read in shuffled order (random) or in the order they were made (in order: the handles
  // stream from memory, so the time left is the registry's own).
  void BM_IsValid(benchmark::State& state) {
    const std::size_t live = static_cast<std::size_t>(state.range(0));
    std::vector<Plain> population(live);
    std::vector<Id<Plain>> handles;
    handles.reserve(live);
    for (Plain& p : population)
      handles.emplace_back(&p);
    std::vector<std::size_t> order = shuffledOrder(live);
    if (state.range(1) == 0)
      for (std::size_t n = 0; n < live; ++n)
        order[n] = n;
    std::size_t i = 0;
    for (auto _ : state) {
      bool valid = handles[order[i]].isValid();
      benchmark::DoNotOptimize(valid);
      if (++i == live)
        i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    for (Id<Plain>& h : handles)
      h.remove();
  }

  void BM_GetEntity(benchmark::State& state) {
    const std::size_t live = static_cast<std::size_t>(state.range(0));
    std::vector<std::unique_ptr<Item>> items;
    items.reserve(live);
    for (std::size_t n = 0; n < live; ++n)
      items.emplace_back(new Item());
    std::vector<int> keys;
    keys.reserve(live);
    for (std::size_t n : shuffledOrder(live))
      keys.push_back(items[n]->getKey());
    std::size_t i = 0;
    for (auto _ : state) {
      Id<Entity> entity = Entity::getEntity(keys[i]);
      benchmark::DoNotOptimize(entity);
      if (++i == live)
        i = 0;
    }
    state.SetItemsProcessed(state.iterations());
  }

}

BENCHMARK(BM_RegisterHandle)->Arg(1000)->Arg(1000000);
BENCHMARK(BM_IsValid)->ArgNames({"live", "random"})->ArgsProduct({{1000, 1000000}, {1, 0}});
BENCHMARK(BM_GetEntity)->Arg(1000)->Arg(1000000);
