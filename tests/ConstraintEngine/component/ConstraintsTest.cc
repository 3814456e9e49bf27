#include "../base/EngineFixture.hh"

#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/Debug.hh"

#include <iostream>
#include <sstream>

namespace KADRIX {
  namespace TestModel {

    class NamedConstraints : public EngineFixture {
    protected:
      double inf() const { return static_cast<double>(g_infiniteTime()); }
    };

    TEST_F(NamedConstraints, EqualOverEveryPairOfKinds) {
      // enumerated with enumerated: value intersection
      ConstrainedVariableId e1 = enumVar({1, 2, 3, 5}, "e1");
      ConstrainedVariableId e2 = enumVar({2, 3, 4, 5}, "e2");
      make("eq", makeScope(e1, e2));
      // interval with interval, one of them real
      ConstrainedVariableId i1 = intVar(0, 10, "i1");
      ConstrainedVariableId r1 = ce->createVariable(LabelStr("real"), IntervalDomain(2.5, 20));
      make("eq", makeScope(i1, r1));
      // enumerated with interval: values outside the bounds go, bounds shrink to the values
      ConstrainedVariableId e3 = enumVar({-4, 1, 6, 12}, "e3");
      ConstrainedVariableId i2 = intVar(0, 10, "i2");
      make("eq", makeScope(i2, e3));
      EXPECT_TRUE(ce->propagate());

      EXPECT_EQ(values(e2), std::list<double>({2, 3, 5}));
      EXPECT_EQ(lb(r1), 3); // integer bounds round inwards
      EXPECT_EQ(ub(r1), 10);
      EXPECT_EQ(values(e3), std::list<double>({1, 6}));
      EXPECT_EQ(ub(i2), 6);

      // symbolic values intersect like numbers
      std::list<double> colours = {LabelStr("red").getKey(), LabelStr("green").getKey()};
      std::list<double> more = {LabelStr("green").getKey(), LabelStr("blue").getKey()};
      ConstrainedVariableId s1 =
          ce->createVariable(LabelStr("Colour"), SymbolDomain(colours, LabelStr("Colour")));
      ConstrainedVariableId s2 =
          ce->createVariable(LabelStr("Colour"), SymbolDomain(more, LabelStr("Colour")));
      make("eq", makeScope(s1, s2));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(values(s1), std::list<double>({LabelStr("green").getKey()}));
    }

    TEST_F(NamedConstraints, EqualWaitsForOpenDomainsAndIgnoresSelfPairs) {
      EnumeratedDomain open(true, LabelStr("nums"));
      open.insert(7);
      ConstrainedVariableId o = ce->createVariable(LabelStr("nums"), open);
      ConstrainedVariableId e = enumVar({1, 7}, "e");
      make("eq", makeScope(o, e));
      make("eq", makeScope(e, e));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(e->lastDomain().getSize(), 2u);
      o->close();
      EXPECT_TRUE(ce->propagate());
      EXPECT_TRUE(e->lastDomain().isSingleton());

      // disjoint values are an inconsistency, not an error
      ConstrainedVariableId a = enumVar({1}, "a");
      ConstrainedVariableId b = enumVar({2}, "b");
      make("eq", makeScope(a, b));
      EXPECT_FALSE(ce->propagate());
    }

    TEST_F(NamedConstraints, ConcurrentReachesItsFixpointOverValues) {
      // Cut to the interval's bounds, the values keep only 9: the interval follows in the same run.
      ConstrainedVariableId i = intVar(1, 10, "i");
      ConstrainedVariableId e = enumVar({-4, 9, 31}, "e");
      make("concurrent", makeScope(i, e));
      // Two sets of values cut each other's bounds in turn.
      ConstrainedVariableId x = enumVar({1, 5, 8}, "x");
      ConstrainedVariableId y = enumVar({2, 5, 9}, "y");
      make("concurrent", makeScope(x, y));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(values(e), std::list<double>({9}));
      EXPECT_EQ(lb(i), 9);
      EXPECT_EQ(ub(i), 9);
      EXPECT_EQ(values(x), std::list<double>({5}));
      EXPECT_EQ(values(y), std::list<double>({5}));
    }

    // Precedence, concurrency and the temporal distance over finite integer intervals
    // are checked against propagation from scratch by the randomized oracle.
    TEST_F(NamedConstraints, TemporalDistanceWithInfiniteBounds) {
      ConstrainedVariableId s = intVar(-inf(), inf(), "s");
      ConstrainedVariableId d = intVar(1, inf(), "d");
      ConstrainedVariableId e = intVar(-inf(), inf(), "e");
      make("temporalDistance", {s, d, e});
      EXPECT_TRUE(ce->propagate());
      // Infinite bounds stay exactly infinite; nothing narrows.
      EXPECT_EQ(lb(e), -inf());

      s->specify(10);
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(ub(e), inf());
      e->restrictBaseDomain(IntervalIntDomain(0, 15));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(ub(d), 5);
      s->reset();
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(lb(s), -inf()); // the duration's upper bound is infinite again
      EXPECT_EQ(ub(s), 14);
    }

    TEST_F(NamedConstraints, ArityIsChecked) {
      ConstrainedVariableId a = intVar(0, 1, "a");
      ConstrainedVariableId b = intVar(0, 1, "b");
      EXPECT_EQ(failureOf([&] { make("temporalDistance", makeScope(a, b)); }).getMessage(),
                "Constraint temporalDistance takes 3 variables, not 2.");
      EXPECT_THROW(make("eq", {a, b, a}), Error);
      EXPECT_EQ(a->constraintCount(), 0u); // nothing left linked
      EXPECT_FALSE(ce->pending());
    }

    // ------------------------------------------------------------------ the variable template

    class VariableTemplate : public EngineFixture {};

    TEST_F(VariableTemplate, ConstructionDebugLines) {
      DebugCapture out("Variable:Variable");
      new Variable<IntervalIntDomain>(ce->getId(), IntervalIntDomain(4, 4));
      EXPECT_EQ(out.text().find("[Variable:Variable]Base Domain = "), 0u);
      EXPECT_NE(out.text().find("[Variable:Variable]Base domain singleton; 4"), std::string::npos);
    }

    TEST_F(VariableTemplate, RestrictingTheBaseDomain) {
      // An open domain that contains the base changes nothing.
      EnumeratedDomain base({1, 2, 3}, true, LabelStr("nums"));
      base.open();
      Variable<EnumeratedDomain>* v = new Variable<EnumeratedDomain>(ce->getId(), base);
      EnumeratedDomain wider({1, 2, 3, 4}, true, LabelStr("nums"));
      wider.open();
      v->restrictBaseDomain(wider);
      EXPECT_TRUE(v->getBaseDomain().isOpen());
      EXPECT_EQ(v->lastDomain().getSize(), 3u);

      // A closed equal domain closes the base copy even though no value goes.
      EnumeratedDomain same({1, 2, 3}, true, LabelStr("nums"));
      v->restrictBaseDomain(same);
      EXPECT_TRUE(v->getBaseDomain().isClosed() && v->isClosed());

      // A closed singleton narrows both and specifies once.
      TestModel::Recorder* r = record("R", makeScope(v->getId(), v->getId()));
      r->ignoreAll = true;
      v->restrictBaseDomain(EnumeratedDomain(2, true, LabelStr("nums")));
      EXPECT_EQ(v->getSpecifiedValue(), 2);
      // The derived domain is still open: losing values there is VALUE_REMOVED.
      EXPECT_EQ(log, Log({"R:$NO_NAME:VALUE_REMOVED", "R:$NO_NAME:VALUE_REMOVED",
                          "R:$NO_NAME:SET_TO_SINGLETON", "R:$NO_NAME:SET_TO_SINGLETON"}));
    }

    TEST_F(VariableTemplate, RestrictingASpecifiedVariableDoesNotSpecifyAgain) {
      Variable<IntervalIntDomain>* v = new Variable<IntervalIntDomain>(ce->getId(), IntervalIntDomain(0, 10));
      record("R", std::vector<ConstrainedVariableId>(1, v->getId()))->ignoreAll = true;
      v->specify(3);
      log.clear();
      v->restrictBaseDomain(IntervalIntDomain(3, 3));
      EXPECT_EQ(log, Log());
      EXPECT_EQ(v->getSpecifiedValue(), 3);
    }

  }
}
