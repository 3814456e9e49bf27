// Randomized checks of enumerated and integer interval domains against a
// brute-force model: a set of small integers and an open/closed flag.

#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "Utils/base/Error.hh"
#include "DomainTestListener.hh"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <set>

namespace KADRIX {
namespace {

typedef DomainListener L;
typedef std::set<int> Model;
const int LOW = -1, HIGH = 8; // every value and bound the test uses lies in [LOW, HIGH]

Model modelOf(const AbstractDomain& dom) {
  Model result;
  for (int v = LOW - 2; v <= HIGH + 2; ++v)
    if (dom.isMember(v))
      result.insert(v);
  return result;
}

/** The change a narrowing from before to after reports, worked out from the sets. */
Changes narrowing(const Model& before, const Model& after, bool closed) {
  if (before == after)
    return {};
  if (!closed)
    return {L::VALUE_REMOVED};
  if (after.empty())
    return {L::EMPTIED};
  if (after.size() == 1)
    return {L::RESTRICT_TO_SINGLETON};
  for (int v : before)
    if (v > *after.begin() && v < *after.rbegin() && after.count(v) == 0)
      return {L::VALUE_REMOVED};
  bool bottom = *after.begin() != *before.begin(), top = *after.rbegin() != *before.rbegin();
  return {bottom && top ? L::BOUNDS_RESTRICTED : bottom ? L::LOWER_BOUND_INCREASED : L::UPPER_BOUND_DECREASED};
}

Changes widening(const Model& before, const Model& after, bool closed) {
  if (before == after)
    return {};
  return {after.empty() && closed ? L::EMPTIED : L::RELAXED};
}

Model restrict(const Model& m, const std::function<bool(int)>& keep) {
  Model result;
  for (int v : m)
    if (keep(v))
      result.insert(v);
  return result;
}

Model range(int lo, int hi) {
  return restrict(modelOf(IntervalIntDomain(LOW - 2, HIGH + 2)), [&](int v) { return v >= lo && v <= hi; });
}

Model hull(const Model& m) {
  return m.empty() ? Model() : range(*m.begin(), *m.rbegin());
}

class Generator {
public:
  explicit Generator(unsigned seed) : m_rng(seed) {}
  int value() { return pick(LOW, HIGH); }
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  Model subset() {
    Model m;
    for (int v = LOW; v <= HIGH; ++v)
      if (pick(0, 2) == 0)
        m.insert(v);
    return m;
  }
  /** An enumerated set, an integer interval or a real interval with fractional bounds. */
  std::unique_ptr<AbstractDomain> other() {
    const int kind = pick(0, 2);
    if (kind == 0)
      return std::unique_ptr<AbstractDomain>(enumerated(subset()));
    const int lo = value(), hi = value();
    return std::unique_ptr<AbstractDomain>(kind == 1 ? new IntervalIntDomain(lo, hi)
                                                     : new IntervalDomain(lo + 0.5, hi + 0.5));
  }
  static EnumeratedDomain* enumerated(const Model& m) {
    return new EnumeratedDomain(std::list<double>(m.begin(), m.end()), true, "int");
  }

private:
  std::mt19937 m_rng;
};

/** Queries that must agree with the model after every step. */
void checkQueries(const AbstractDomain& dom, const Model& model, const AbstractDomain& other) {
  Model o = modelOf(other);
  Model common = restrict(model, [&](int v) { return o.count(v) > 0; });
  EXPECT_EQ(!common.empty(), dom.intersects(other)) << dom.toString() << " / " << other.toString();
  EXPECT_EQ(!common.empty(), other.intersects(dom)) << other.toString() << " / " << dom.toString();
  EXPECT_EQ(common.size() == model.size(), dom.isSubsetOf(other)) << dom.toString() << " / " << other.toString();
  EXPECT_EQ(model.size(), dom.getSize());
  EXPECT_EQ(model.empty(), dom.isEmpty());
  EXPECT_EQ(model.size() == 1, dom.isSingleton());
}

/**
 * Random operations on a closed or open enumerated domain, or on an integer
 * interval, each checked against the model: values, "changed" results,
 * reported changes and the queries against a random other domain.
 */
void runAgainstModel(unsigned seed, bool interval) {
  Generator gen(seed);
  for (int round = 0; round < 400; ++round) {
    int lo = gen.value(), hi = gen.value();
    Model model = interval ? range(lo, hi) : gen.subset();
    bool closed = interval || gen.pick(0, 1) == 1;
    std::unique_ptr<AbstractDomain> dom;
    if (interval)
      dom.reset(new IntervalIntDomain(lo, hi));
    else
      dom.reset(Generator::enumerated(model));
    if (!closed)
      dom->open();
    RecordingListener listener;
    dom->setListener(listener.getId());
    for (int step = 0; step < 10; ++step) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " step " << step << ": " << dom->toString());
      std::unique_ptr<AbstractDomain> other = gen.other();
      Model before = model, o = modelOf(*other);
      Changes expected;
      bool changed = false, reportsChanged = true;
      int v = gen.value();
      switch (gen.pick(0, 6)) {
        case 0:
          model = restrict(model, [&](int x) { return o.count(x) > 0; });
          if (interval) // against a set, an interval keeps the hull of the shared values
            model = hull(model);
          changed = dom->intersect(*other);
          expected = narrowing(before, model, closed);
          break;
        case 1: {
          double lb = gen.value() - 0.5, ub = gen.value() + 0.5;
          model = restrict(model, [&](int x) { return x >= lb && x <= ub; });
          changed = dom->intersect(lb, ub);
          expected = narrowing(before, model, closed);
          break;
        }
        case 2:
          if (!interval && !other->isEnumerated())
            continue;
          model = interval ? hull(o) : o;
          changed = dom->relax(*other);
          expected = widening(before, model, closed);
          break;
        case 3:
          reportsChanged = false;
          model = model.count(v) ? Model{v} : Model();
          dom->set(v);
          expected = model.empty() ? narrowing(before, model, closed) : Changes{L::SET_TO_SINGLETON};
          break;
        case 4:
          reportsChanged = false;
          if (interval && model.count(v) && model.size() > 1 && v != *model.begin() && v != *model.rbegin()) {
            EXPECT_THROW(dom->remove(v), Error) << "an interval cannot lose an inner value";
            break;
          }
          model.erase(v);
          dom->remove(v);
          expected = narrowing(before, model, closed);
          break;
        case 5:
          reportsChanged = false;
          if (closed) {
            EXPECT_THROW(dom->insert(v), Error);
            break;
          }
          model.insert(v);
          dom->insert(v);
          expected = widening(before, model, closed);
          break;
        default:
          reportsChanged = false;
          if (interval)
            continue;
          closed = !closed;
          if (closed)
            dom->close();
          else
            dom->open();
          expected = {closed ? (model.empty() ? L::EMPTIED : L::CLOSED) : L::OPENED};
      }
      if (reportsChanged) {
        EXPECT_EQ(before != model, changed);
      }
      EXPECT_EQ(expected, listener.take());
      EXPECT_EQ(model, modelOf(*dom));
      EXPECT_EQ(closed, dom->isClosed());
      if (!model.empty()) {
        EXPECT_EQ(*model.begin(), dom->getLowerBound());
        EXPECT_EQ(*model.rbegin(), dom->getUpperBound());
      }
      checkQueries(*dom, model, *other);
    }
  }
}

TEST(DomainPropertyTest, EnumeratedDomainAgreesWithModel) {
  runAgainstModel(20261206, false);
}

TEST(DomainPropertyTest, IntegerIntervalAgreesWithModel) {
  runAgainstModel(4242, true);
}

} // namespace
} // namespace KADRIX
