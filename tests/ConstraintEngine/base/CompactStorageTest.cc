#include "DomainTestListener.hh"
#include "EngineFixture.hh"

#include "ConstraintEngine/base/DomainPool.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"

#include <algorithm>
#include <random>
#include <set>

namespace KADRIX {
  namespace TestModel {

    // ------------------------------------------------------------------ shared base domains

    /** An interval with state of its own: never pooled. */
    class TaggedInterval : public IntervalIntDomain {
    public:
      TaggedInterval(double lb, double ub, int t) : IntervalIntDomain(lb, ub), tag(t) {}
      TaggedInterval* copy() const override { return new TaggedInterval(*this); }
      int tag;
    };

    class SharedDomains : public EngineFixture {};

    TEST_F(SharedDomains, EqualBaseDomainsAreSharedUntilOneChanges) {
      const size_t pooled = DomainPool::size();
      ConstrainedVariableId a = intVar(0, 10, "a");
      ConstrainedVariableId b = intVar(0, 10, "b");
      ConstrainedVariableId c = intVar(0, 11, "c");
      EXPECT_EQ(&a->baseDomain(), &b->baseDomain());
      EXPECT_NE(&a->baseDomain(), &c->baseDomain());
      EXPECT_EQ(DomainPool::size(), pooled + 2);

      // A change gives a its own base domain; b keeps the shared one.
      a->restrictBaseDomain(IntervalIntDomain(2, 8));
      EXPECT_EQ(a->baseDomain(), IntervalIntDomain(2, 8));
      EXPECT_EQ(b->baseDomain(), IntervalIntDomain(0, 10));
      EXPECT_EQ(a->lastDomain(), IntervalIntDomain(2, 8));
      EXPECT_EQ(b->lastDomain(), IntervalIntDomain(0, 10));
      // Equal again after the change: shared again.
      c->restrictBaseDomain(IntervalIntDomain(2, 8));
      EXPECT_EQ(&a->baseDomain(), &c->baseDomain());

      // Restricted by its own shared base domain, or by another variable's: nothing changes.
      b->restrictBaseDomain(b->baseDomain());
      c->restrictBaseDomain(a->baseDomain());
      EXPECT_EQ(b->baseDomain(), IntervalIntDomain(0, 10));
      EXPECT_EQ(c->baseDomain(), IntervalIntDomain(2, 8));

      a->discard(true);
      b->discard(true);
      c->discard(true);
      EXPECT_EQ(DomainPool::size(), pooled);
    }

    TEST_F(SharedDomains, OnlyDomainsEqualInEveryRespectAreShared) {
      EnumeratedDomain open(std::list<double>{1, 2}, true, "nums");
      open.open();
      const EnumeratedDomain closed(std::list<double>{1, 2}, true, "nums");
      struct Case {
        const char* what;
        const AbstractDomain& first;
        const AbstractDomain& second;
        bool shared;
      };
      const Case cases[] = {
          {"same bounds", IntervalDomain(1, 5), IntervalDomain(1, 5), true},
          {"zero and minus zero", IntervalDomain(0.0, 5), IntervalDomain(-0.0, 5), false},
          {"other type name", IntervalDomain(1, 5, "length"), IntervalDomain(1, 5), false},
          {"other class", IntervalDomain(1, 5), IntervalIntDomain(1, 5), false},
          {"same values", closed, EnumeratedDomain(closed), true},
          {"open and closed", open, closed, false},
      };
      // Variables of types without a factory of their own.
      for (const Case& k : cases) {
        ConstrainedVariableId x = ce->createVariable(LabelStr("custom"), k.first);
        ConstrainedVariableId y = ce->createVariable(LabelStr("custom"), k.second);
        EXPECT_EQ(&x->baseDomain() == &y->baseDomain(), k.shared) << k.what;
        EXPECT_EQ(x->baseDomain().toString(), k.first.toString()) << k.what;
        EXPECT_EQ(y->baseDomain().toString(), k.second.toString()) << k.what;
        x->discard(true);
        y->discard(true);
      }
      // A domain class with state of its own keeps a copy per variable.
      Variable<TaggedInterval>* x = new Variable<TaggedInterval>(ce->getId(), TaggedInterval(1, 5, 3));
      Variable<TaggedInterval>* y = new Variable<TaggedInterval>(ce->getId(), TaggedInterval(1, 5, 3));
      EXPECT_NE(&x->getBaseDomain(), &y->getBaseDomain());
      EXPECT_EQ(x->getBaseDomain().tag, 3);
      delete x;
      delete y;
    }

    TEST_F(SharedDomains, WideningsReadTheSharedBaseDomain) {
      ConstrainedVariableId a = intVar(0, 10, "a");
      ConstrainedVariableId b = intVar(0, 10, "b");
      a->specify(4);
      b->specify(6);
      EXPECT_EQ(lb(a), 4);
      a->reset();
      EXPECT_EQ(a->lastDomain(), IntervalIntDomain(0, 10));
      EXPECT_EQ(b->lastDomain(), IntervalIntDomain(6, 6));
      EXPECT_EQ(&a->baseDomain(), &b->baseDomain());

      // Values inserted into an open base domain stay with their variable.
      EnumeratedDomain open(std::list<double>{1, 2}, true, "nums");
      open.open();
      ConstrainedVariableId e = ce->createVariable(LabelStr("custom"), open);
      ConstrainedVariableId f = ce->createVariable(LabelStr("custom"), open);
      EXPECT_EQ(&e->baseDomain(), &f->baseDomain());
      e->insert(7);
      EXPECT_EQ(values(e), (std::list<double>{1, 2, 7}));
      EXPECT_EQ(values(f), (std::list<double>{1, 2}));
      EXPECT_FALSE(f->baseDomain().isMember(7));
      e->specify(9);
      EXPECT_TRUE(e->baseDomain().isMember(9));
      EXPECT_FALSE(f->baseDomain().isMember(9));
    }

    TEST_F(SharedDomains, TheDerivedDomainReportsThroughTheVariablesListener) {
      ConstrainedVariableId v = intVar(0, 10, "v");
      record("r", std::vector<ConstrainedVariableId>{v});
      const DomainListenerId listener = v->lastDomain().getListener();
      EXPECT_TRUE(listener.isValid());
      EXPECT_EQ(v->lastDomain().getListener(), listener) << "one handle, registered once";
      EXPECT_TRUE(v->baseDomain().getListener().isNoId());
      log.clear();
      v->restrictBaseDomain(IntervalIntDomain(3, 10));
      EXPECT_EQ(log, (Log{"r:v:LOWER_BOUND_INCREASED"}));
      EXPECT_TRUE(listener.isValid());
      v->discard(true);
      EXPECT_FALSE(listener.isValid());
    }

    TEST_F(SharedDomains, ListenerHandlesAreKeptAsideAndGoWithTheirListeners) {
      DomainListenerId first;
      DomainListenerId variableListener;
      {
        RecordingListener listener;
        IntervalIntDomain domain(0, 5);
        domain.setListener(listener.getId());
        first = listener.getId();
        EXPECT_TRUE(first.isValid());
        EXPECT_EQ(domain.getListener(), first);
        // Handles of several listeners, one of them a variable's, stay apart.
        RecordingListener second;
        EXPECT_TRUE(second.getId().isValid());
        EXPECT_NE(second.getId(), first);
        ConstrainedVariableId v = intVar(0, 10, "v");
        variableListener = v->lastDomain().getListener();
        EXPECT_TRUE(variableListener.isValid());
        EXPECT_NE(variableListener, first);
        EXPECT_NE(variableListener.getKey(), v->getId().getKey());
        domain.intersect(1, 4);
        EXPECT_EQ(listener.take(), (Changes{DomainListener::BOUNDS_RESTRICTED}));
        v->discard(true);
        EXPECT_FALSE(variableListener.isValid());
        EXPECT_TRUE(first.isValid());
      }
      EXPECT_FALSE(first.isValid());
    }

    // ------------------------------------------------------------------ links

    class Links : public EngineFixture {};

    TEST_F(Links, AttachAndDetachKeepEveryConstraintFoundAtItsPosition) {
      // Many constraints on one hub, removed in random order: every survivor
      // is still linked once per scope position and still hears its reports.
      ConstrainedVariableId hub = intVar(0, 1000, "hub");
      std::vector<ConstrainedVariableId> others;
      std::vector<ConstraintId> constraints;
      for (int i = 0; i < 40; ++i) {
        others.push_back(intVar(0, 1000, "o" + std::to_string(i)));
        const ConstrainedVariableId& other = others.back();
        // Every fifth has the hub twice.
        if (i % 5 == 0)
          constraints.push_back((new NoOpConstraint(LabelStr("twice"), LabelStr("Default"), ce->getId(),
                                                    std::vector<ConstrainedVariableId>{hub, other, hub}))
                                    ->getId());
        else
          constraints.push_back(make("precedes", makeScope(hub, other)));
      }
      std::mt19937 random(7);
      std::vector<size_t> order(constraints.size());
      for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
      std::shuffle(order.begin(), order.end(), random);
      std::set<ConstraintId> alive(constraints.begin(), constraints.end());
      for (size_t k = 0; k < order.size(); ++k) {
        const ConstraintId c = constraints[order[k]];
        ce->deleteConstraint(c);
        alive.erase(c);
        std::set<ConstraintId> linked;
        hub->constraints(linked);
        EXPECT_EQ(linked, alive);
        unsigned int positions = 0;
        for (const ConstraintId& a : alive)
          positions += a->getScope().size() == 3 ? 2 : 1;
        EXPECT_EQ(hub->constraintCount(), positions);
        if (k % 8 == 0 && !alive.empty()) {
          // The survivors still narrow the hub's neighbours.
          hub->restrictBaseDomain(IntervalIntDomain(static_cast<double>(k), 1000));
          ASSERT_TRUE(ce->propagate());
          for (size_t i = 0; i < others.size(); ++i) {
            const bool narrowed =
                alive.count(constraints[i]) != 0 && constraints[i]->getName() == LabelStr("precedes");
            EXPECT_TRUE(!narrowed || lb(others[i]) == static_cast<double>(k)) << i;
          }
        }
      }
      EXPECT_EQ(hub->constraintCount(), 0u);
    }

    TEST_F(Links, TemporalOrderIsDeclaredByTheConstraint) {
      // A long chain queued at once is swept in order and settles the same way.
      std::vector<ConstrainedVariableId> points;
      for (int i = 0; i < 200; ++i)
        points.push_back(intVar(0, 10000, "t" + std::to_string(i)));
      ce->setAutoPropagation(false);
      for (int i = 199; i > 0; --i)
        make("precedes", makeScope(points[i - 1], points[i]));
      points[0]->restrictBaseDomain(IntervalIntDomain(100, 10000));
      points[199]->restrictBaseDomain(IntervalIntDomain(0, 5000));
      ASSERT_TRUE(ce->propagate());
      EXPECT_EQ(lb(points[199]), 100);
      EXPECT_EQ(ub(points[0]), 5000);
      EXPECT_EQ(lb(points[100]), 100);
      EXPECT_EQ(ub(points[100]), 5000);
    }

  }
}
