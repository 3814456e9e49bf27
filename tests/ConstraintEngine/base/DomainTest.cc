// Domains: comparison, text forms, intervals and their bound arithmetic, enumerations,
// and randomized checks of both kinds against a brute-force model.

#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/DomainComparator.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "ConstraintEngine/base/DomainTestListener.hh"
#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <vector>

namespace KADRIX {
  namespace {

    const double inf = 268435455;

    void expectBounds(const AbstractDomain& dom, double lb, double ub) {
      EXPECT_EQ(lb, dom.getLowerBound()) << dom.toString();
      EXPECT_EQ(ub, dom.getUpperBound()) << dom.toString();
    }

    std::list<double> values(const AbstractDomain& dom) {
      std::list<double> result;
      dom.getValues(result);
      return result;
    }

    EnumeratedDomain numbers(std::list<double> vals) { return EnumeratedDomain(vals, true, "int"); }

    std::string conditionOf(const std::function<void()>& operation) {
      return TestModel::failureOf(operation).getCondition();
    }

    /** An enumerated domain of entities, with its own printer. */
    class EntityDomain : public EnumeratedDomain {
    public:
      EntityDomain() : EnumeratedDomain(false, "Things") {}
      EntityDomain* copy() const override { return new EntityDomain(*this); }
      bool isEntity() const override { return true; }
      void operator>>(std::ostream& os) const override {
        AbstractDomain::operator>>(os);
        os << "<" << getSize() << " things>";
      }
    };

    /** Compares only domains of the same type name. */
    class SameTypeComparator : public DomainComparator {
    public:
      bool canCompare(const AbstractDomain& x, const AbstractDomain& y) const override {
        return x.getTypeName() == y.getTypeName();
      }
    };

    TEST(AbstractDomainTest, ComparatorRuleAndInstallation) {
      IntervalIntDomain ints;
      EnumeratedDomain reals(std::list<double>{1.5}, true, "float");
      SymbolDomain symbols("Color");
      EntityDomain things;
      EXPECT_TRUE(AbstractDomain::canBeCompared(ints, reals));
      EXPECT_FALSE(AbstractDomain::canBeCompared(symbols, things));
      {
        SameTypeComparator outer;
        EXPECT_FALSE(AbstractDomain::canBeCompared(ints, reals));
        EXPECT_TRUE(AbstractDomain::canBeCompared(symbols, SymbolDomain("Color")));
        {
          SameTypeComparator inner;
          EXPECT_EQ(&inner, DomainComparator::getComparator());
        }
        // The current comparator went away: the default rule again.
        EXPECT_EQ(nullptr, DomainComparator::getComparator());
        EXPECT_TRUE(AbstractDomain::canBeCompared(ints, reals));
        SameTypeComparator* earlier = new SameTypeComparator();
        SameTypeComparator later;
        delete earlier;
        EXPECT_EQ(&later, DomainComparator::getComparator())
            << "destroying another comparator leaves the current one";
      }
      EXPECT_EQ(nullptr, DomainComparator::getComparator());
    }

    TEST(AbstractDomainTest, TextForms) {
      EnumeratedDomain reals(std::list<double>{2.5, -1, 268435455}, true, "float");
      EXPECT_EQ("float:CLOSED{-1, 2.5, +inf}", reals.toString());
      EXPECT_EQ("int:OPEN{}", EnumeratedDomain(true, "int").toString());
      EXPECT_EQ("Color:CLOSED{Red}", SymbolDomain(std::list<double>{LabelStr("Red")}, "Color").toString());
      // The printer is virtual, so toString and operator<< use a subclass's printer.
      EntityDomain things;
      EXPECT_EQ("Things:OPEN<0 things>", things.toString());
      std::ostringstream thingsText;
      thingsText << static_cast<const AbstractDomain&>(things);
      EXPECT_EQ("Things:OPEN<0 things>", thingsText.str());
    }

    TEST(AbstractDomainTest, ConvertToMemberValue) {
      IntervalIntDomain ints(0, 10);
      double value = -7;
      EXPECT_TRUE(ints.convertToMemberValue("5", value));
      EXPECT_EQ(5, value);
      for (const char* rejected : {"11", "", " 5", "5x", "2.5"}) {
        value = -7;
        EXPECT_FALSE(ints.convertToMemberValue(rejected, value)) << rejected;
        EXPECT_EQ(-7, value) << rejected;
      }
      SymbolDomain colors(std::list<double>{LabelStr("Red")}, "Color");
      EXPECT_TRUE(colors.convertToMemberValue("Red", value));
      EXPECT_EQ(LabelStr("Red").getKey(), value);
      EXPECT_FALSE(colors.convertToMemberValue("Green", value));
    }

    TEST(AbstractDomainTest, ListenerThatIsGoneIsNotCalled) {
      IntervalIntDomain dom(0, 10);
      RecordingListener* listener = new RecordingListener();
      dom.setListener(listener->getId());
      dom.intersect(1, 10);
      EXPECT_EQ(Changes{DomainListener::LOWER_BOUND_INCREASED}, listener->take());
      delete listener;
      EXPECT_THROW(dom.intersect(2, 10), Error);
      dom.setListener(DomainListenerId::noId());
      EXPECT_TRUE(dom.intersect(3, 10));
    }

    TEST(AbstractDomainTest, EqualityComparesValuesAndState) {
      EXPECT_EQ(IntervalIntDomain(1, 3), IntervalIntDomain(1, 3, "int"));
      EXPECT_EQ(IntervalIntDomain(3, 1), EnumeratedDomain(std::list<double>{}, true, "int"));
      EXPECT_NE(IntervalIntDomain(1, 1), EnumeratedDomain(1.0, true, "int"));
      EXPECT_NE(EnumeratedDomain(true, "int"), EnumeratedDomain(std::list<double>{}, true, "int"));
    }

    TEST(IntervalDomainTest, IntegerBoundsRoundInwards) {
      expectBounds(IntervalIntDomain(-2.5, -0.5), -2, -1);
      EXPECT_TRUE(IntervalIntDomain(0.2, 0.8).isEmpty());
      IntervalIntDomain dom(0, 10);
      dom.intersect(0.5, 3.7);
      expectBounds(dom, 1, 3);
      EXPECT_FALSE(dom.isMember(2.5));
      dom.intersect(IntervalDomain(1.2, 2.9));
      expectBounds(dom, 2, 2);
      dom.set(2.4); // not an integer, so not a member
      EXPECT_TRUE(dom.isEmpty());
      // A copy keeps its class, and so its rounding.
      std::unique_ptr<AbstractDomain> copy(IntervalIntDomain(0, 10).copy());
      ASSERT_NE(nullptr, dynamic_cast<IntervalIntDomain*>(copy.get()));
      copy->intersect(0.5, 9.5);
      expectBounds(*copy, 1, 9);
    }

    TEST(IntervalDomainTest, BoundsClampToInfinity) {
      expectBounds(IntervalDomain(-1e12, 1e12), -inf, inf);
      expectBounds(IntervalIntDomain(5, 1e9), 5, inf);
      IntervalIntDomain full;
      EXPECT_FALSE(full.intersect(-1e10, 1e10));
      EXPECT_TRUE(full.isMember(1e12)) << "values beyond infinity are infinity";
      full.intersect(0, inf + 5);
      expectBounds(full, 0, inf);
      EXPECT_EQ("INT_INTERVAL:CLOSED[0, +inf]", full.toString());
      IntervalDomain empty(3, 1);
      expectBounds(empty, inf, -inf);
      EXPECT_EQ("REAL_INTERVAL:CLOSED[]", empty.toString());
      EXPECT_THROW(IntervalDomain(0, std::nan("")), Error);
    }

    TEST(IntervalDomainTest, SaturatingBoundArithmetic) {
      EXPECT_EQ(-inf, lowerBoundSum(lowerBoundSum(-inf, 5), 7)) << "chains stay at exactly -inf";
      EXPECT_EQ(-inf, lowerBoundSum(inf, -inf));
      EXPECT_EQ(inf, upperBoundSum(-inf, inf));
      EXPECT_EQ(inf, lowerBoundSum(2e8, 2e8)) << "finite sums beyond infinity clamp";
      EXPECT_EQ(-inf, lowerBoundDifference(10, inf));
      EXPECT_EQ(inf, upperBoundDifference(inf, inf));
      EXPECT_EQ(3, lowerBoundDifference(5, 2));
    }

    TEST(IntervalDomainTest, OperationsIntervalsRefuse) {
      IntervalIntDomain dom(0, 10);
      IntervalDomain real(0, 10);
      EXPECT_THROW(dom.open(), Error);
      EXPECT_EQ("isOpen()", conditionOf([&] { dom.insert(11); }));
      EXPECT_THROW(real.remove(0), Error);
      std::list<double> listed;
      EXPECT_THROW(real.getValues(listed), Error);
      EXPECT_THROW(dom.intersect(EnumeratedDomain(false, "Color")), Error);
      expectBounds(dom, 0, 10);
    }

    TEST(IntervalDomainTest, SizeIntersectsAndSubset) {
      EXPECT_EQ(2 * 268435455u + 1, IntervalIntDomain().getSize());
      EXPECT_EQ(UINT_MAX, IntervalDomain(0, 1).getSize());

      // Integer and enumerated counterparts are covered by the randomized test.
      EXPECT_FALSE(IntervalDomain(0.2, 0.8).intersects(IntervalIntDomain(0, 1)));
      EXPECT_TRUE(IntervalDomain(0, 1).intersects(IntervalDomain(1, 2)));
      EXPECT_FALSE(IntervalDomain(1, 2).isSubsetOf(IntervalIntDomain(0, 5)));
      EXPECT_FALSE(IntervalDomain(1, 2).isSubsetOf(numbers({1, 2})));
      EXPECT_TRUE(IntervalDomain(2, 2).isSubsetOf(IntervalIntDomain(0, 5)));
      EXPECT_FALSE(IntervalIntDomain().isSubsetOf(numbers({1, 3})));
    }

    TEST(IntervalDomainTest, BoolDomain) {
      EXPECT_EQ("BOOL:CLOSED[false, true]", BoolDomain().toString());
      BoolDomain yes(true, "bool");
      const std::unique_ptr<AbstractDomain> copied(yes.copy());
      const AbstractDomain& copy = *copied;
      EXPECT_EQ(typeid(BoolDomain), typeid(copy));
      EXPECT_TRUE(yes.relax(BoolDomain()));
      EXPECT_THROW(yes.relax(IntervalIntDomain(0, 5)), Error);
    }

    // Each operation's change reports are checked against a model by the randomized test.

    TEST(EnumeratedDomainTest, ConstructionAndConversion) {
      EnumeratedDomain open(true, "int");
      // Sorted, duplicates (within minDelta) kept once, numbers clamped to infinity.
      EnumeratedDomain dom(std::list<double>{3, 1, 3, 1.0000001, -1e12, 2e9}, true, "int");
      EXPECT_EQ((std::list<double>{minusInfinity(), 1, 3, plusInfinity()}), values(dom));
      std::list<double> reused = {99};
      dom.getValues(reused);
      EXPECT_EQ(values(dom), reused) << "the list is replaced, not appended to";

      open.insert(5);
      EnumeratedDomain converted(static_cast<const AbstractDomain&>(open));
      EXPECT_TRUE(converted.isOpen());
      EXPECT_EQ(open, converted);
      EXPECT_EQ("org.isEnumerated()", conditionOf([] { EnumeratedDomain bad(IntervalIntDomain(0, 1)); }));
      EXPECT_EQ("isOpen()", conditionOf([&] { dom.insert(2); }));
      EXPECT_EQ("!isEmpty()", conditionOf([] { EnumeratedDomain(true, "int").getLowerBound(); }));
      EXPECT_EQ("isSingleton()", conditionOf([&] { dom.getSingletonValue(); }));
    }

    TEST(EnumeratedDomainTest, CopyKeepsClassAndStateButNotListener) {
      LabelStr red("red"), green("green");
      std::list<double> colors = {red, green};
      std::vector<std::unique_ptr<EnumeratedDomain>> originals;
      originals.emplace_back(new EnumeratedDomain(colors, false, "Color"));
      originals.emplace_back(new StringDomain(colors, "Names"));
      originals.emplace_back(new SymbolDomain(colors, "Color"));
      originals.emplace_back(new StringDomain("Names"));
      for (const std::unique_ptr<EnumeratedDomain>& original : originals) {
        SCOPED_TRACE(original->toString());
        RecordingListener listener;
        original->setListener(listener.getId());
        std::unique_ptr<EnumeratedDomain> copy(original->copy());
        const EnumeratedDomain &originalDomain = *original, &copyDomain = *copy;
        EXPECT_EQ(typeid(originalDomain), typeid(copyDomain));
        EXPECT_EQ(*original, *copy);
        EXPECT_EQ(original->getTypeName(), copy->getTypeName());
        EXPECT_TRUE(copy->getListener().isNoId());
        copy->close();
        copy->empty();
        EXPECT_TRUE(listener.take().empty());
        EXPECT_EQ(colors.size() * (original->isClosed() ? 1 : 0), original->getSize());
      }
    }

    TEST(EnumeratedDomainTest, SymbolicDomains) {
      LabelStr big("big");
      StringDomain one(big, "Size");
      EXPECT_EQ("Size:CLOSED{big}", one.toString());
      // Label keys lie far beyond the infinite bound and are not clamped.
      EXPECT_EQ(big.getKey(), one.getSingletonValue());
      SymbolDomain open("Color");
      EXPECT_THROW(open.insert(3.0), Error);
      EXPECT_THROW(SymbolDomain(std::list<double>{1.0}, "Color"), Error);
      EXPECT_FALSE(one.intersects(IntervalIntDomain()));
      EXPECT_THROW(one.intersect(EnumeratedDomain(1.0, true, "int")), Error);
      EXPECT_THROW(one.relax(EnumeratedDomain(1.0, true, "int")), Error);
    }

    TEST(EnumeratedDomainTest, FractionalValuesAgainstIntervals) {
      // Integer values are covered by the randomized test; integer intervals hold only integers.
      EnumeratedDomain dom = numbers({1, 2.5, 4});
      EXPECT_FALSE(dom.intersects(IntervalIntDomain(2, 3)));
      EXPECT_TRUE(dom.intersects(IntervalDomain(2, 3)));
      EXPECT_TRUE(dom.isSubsetOf(IntervalDomain(1, 4)));
      EXPECT_FALSE(dom.isSubsetOf(IntervalIntDomain(1, 4)));
      EXPECT_TRUE(dom.intersect(IntervalIntDomain(0, 10)));
      EXPECT_EQ((std::list<double>{1, 4}), values(dom));
    }

    TEST(EnumeratedDomainTest, FewValuesAgainstMany) {
      std::list<double> many;
      for (int i = 0; i < 40; ++i)
        many.push_back(i);
      const struct {
        std::list<double> few;
        std::list<double> kept;
        DomainListener::ChangeType reported;
      } cases[] = {
          {{7}, {7}, DomainListener::RESTRICT_TO_SINGLETON},
          {{-3, 5, 17.000001, 50}, {5, 17}, DomainListener::VALUE_REMOVED},
          {{0.5, 41}, {}, DomainListener::EMPTIED},
          {{0, 39}, {0, 39}, DomainListener::VALUE_REMOVED},
      };
      for (const auto& c : cases) {
        RecordingListener listener;
        EnumeratedDomain dom = numbers(many);
        dom.setListener(listener.getId());
        EXPECT_TRUE(dom.intersect(numbers(c.few)));
        EXPECT_EQ(c.kept, values(dom));
        EXPECT_EQ(Changes{c.reported}, listener.take());
      }
    }

    // Randomized checks of enumerated and integer interval domains against a
    // brute-force model: a set of small integers and an open/closed flag.

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
      return {bottom && top ? L::BOUNDS_RESTRICTED
              : bottom      ? L::LOWER_BOUND_INCREASED
                            : L::UPPER_BOUND_DECREASED};
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
      return restrict(modelOf(IntervalIntDomain(LOW - 2, HIGH + 2)),
                      [&](int v) { return v >= lo && v <= hi; });
    }

    Model hull(const Model& m) { return m.empty() ? Model() : range(*m.begin(), *m.rbegin()); }

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
      EXPECT_EQ(common.size() == model.size(), dom.isSubsetOf(other))
          << dom.toString() << " / " << other.toString();
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
          SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " step " << step << ": "
                                          << dom->toString());
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
              if (interval && model.count(v) && model.size() > 1 && v != *model.begin() &&
                  v != *model.rbegin()) {
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

    TEST(DomainPropertyTest, EnumeratedDomainAgreesWithModel) { runAgainstModel(20261206, false); }

    TEST(DomainPropertyTest, IntegerIntervalAgreesWithModel) { runAgainstModel(4242, true); }

  } // namespace
} // namespace KADRIX
