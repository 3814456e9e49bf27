#include "EngineFixture.hh"

#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"

namespace KADRIX {
  namespace TestModel {

    typedef DomainListener DL;

    // ------------------------------------------------------------------ report delivery

    class Reports : public EngineFixture {};

    TEST_F(Reports, SpecifyPropagateResetAndRecoverInExactOrder) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      ConstrainedVariableId y = intVar(0, 10, "y");
      ConstraintId eq = make("eq", makeScope(x, y));
      Recorder* r = record("R", makeScope(x, y));
      std::vector<bool> specifiedWhenTold;
      r->onReport = [&](const ConstrainedVariableId& var, int, DL::ChangeType) {
        specifiedWhenTold.push_back(var->isSpecified());
        return false;
      };

      // The specified value is visible to the constraints told of it.
      x->specify(3);
      EXPECT_EQ(specifiedWhenTold, std::vector<bool>({true}));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(log, Log({"R:x:SET_TO_SINGLETON", "R:y:RESTRICT_TO_SINGLETON", "R:exec"}));

      // Reset: RESET on the variable itself, RELAXED on the neighbour that
      // propagation had narrowed, all before reset() returns.
      log.clear();
      specifiedWhenTold.clear();
      x->reset();
      EXPECT_EQ(log, Log({"R:x:RESET", "R:y:RELAXED"}));
      EXPECT_EQ(specifiedWhenTold.front(), false);
      EXPECT_TRUE(ce->propagate());

      // A reset that changes nothing still reports RESET; y is not narrowed now.
      log.clear();
      x->reset();
      EXPECT_EQ(log, Log({"R:x:RESET"}));
      EXPECT_TRUE(ce->propagate());

      // EMPTIED is never delivered and nothing executes once inconsistent.
      log.clear();
      y->specify(4);
      x->specify(5);
      EXPECT_FALSE(ce->propagate());
      EXPECT_EQ(log, Log({"R:y:SET_TO_SINGLETON", "R:x:SET_TO_SINGLETON"}));
      EXPECT_EQ(eq->getViolation(), 1.0);
      EXPECT_EQ(r->getViolation(), 0.0);
      EXPECT_FALSE(ce->propagate()); // keeps failing until a widening

      // Recovery: the emptied variable is relaxed before the reset is told.
      log.clear();
      y->reset();
      EXPECT_EQ(log, Log({"R:x:RELAXED", "R:y:RESET"}));
      EXPECT_EQ(eq->getViolation(), 0.0);
      EXPECT_TRUE(ce->propagate());
    }

    TEST_F(Reports, InactiveConstraintsHearNothing) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      ConstrainedVariableId y = intVar(0, 10, "y");
      make("eq", makeScope(x, y));
      Recorder* r = record("R", makeScope(x, y));
      x->specify(5);
      EXPECT_TRUE(ce->propagate());
      log.clear();

      // Deactivating relaxes what the constraint's scope had been narrowed to.
      r->deactivate();
      EXPECT_EQ(log, Log({"R:deactivate"}));
      EXPECT_EQ(ub(y), 10);
      x->specify(6);
      x->reset();
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(log, Log({"R:deactivate"}));

      r->undoDeactivation();
      EXPECT_TRUE(ce->pending());
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(log, Log({"R:deactivate", "R:activate", "R:exec"}));
    }

    TEST_F(Reports, NothingExecutesOverAnEmptyDomain) {
      EnumeratedDomain none(true, LabelStr("nums")); // open and empty: not inconsistent
      ConstrainedVariableId o = ce->createVariable(LabelStr("nums"), none);
      ConstrainedVariableId x = intVar(0, 10, "x");
      record("R", makeScope(o, x));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(log, Log());
      o->insert(3);
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(log, Log({"R:$NO_NAME:RELAXED", "R:exec"}));
      log.clear();
      o->remove(3);
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(log, Log({"R:$NO_NAME:VALUE_REMOVED"}));
      EXPECT_TRUE(ce->constraintConsistent());
    }

    TEST_F(Reports, TheExecutingConstraintIsNotToldOfItsOwnChanges) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      ConstrainedVariableId y = intVar(0, 10, "y");
      Recorder* narrower = record("N", makeScope(x, y));
      Recorder* watcher = record("W", makeScope(y, y));
      narrower->onExecute = [&]() { narrower->domain(y).intersect(0, 4); };
      EXPECT_TRUE(ce->propagate());
      // W is told once per scope position; N never hears of its own narrowing.
      EXPECT_EQ(log, Log({"N:exec", "W:y:UPPER_BOUND_DECREASED", "W:y:UPPER_BOUND_DECREASED", "W:exec"}));
      (void) watcher;
    }

    TEST_F(Reports, ConstraintsDiscardedAndCreatedInsideCanIgnore) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      ConstrainedVariableId y = intVar(0, 10, "y");
      Recorder* a = record("A", makeScope(x, y));
      Recorder* b = record("B", makeScope(x, y));
      ConstraintId prec = make("precedes", makeScope(x, y));
      const ConstraintId aId = a->getId();
      const ConstraintId bId = b->getId();
      EXPECT_TRUE(ce->propagate());
      log.clear();

      // A discards B and the precedence while being told; B is not told after.
      ConstraintId created;
      a->onReport = [&](const ConstrainedVariableId&, int, DL::ChangeType) {
        if (bId.isValid())
          ce->deleteConstraint(bId);
        if (prec.isValid())
          ce->deleteConstraint(prec);
        if (created.isNoId())
          created = make("eq", makeScope(x, y));
        return false;
      };
      x->specify(4);
      EXPECT_EQ(log, Log({"A:x:SET_TO_SINGLETON"}));
      EXPECT_FALSE(bId.isValid() || prec.isValid());
      EXPECT_EQ(x->constraintCount(), 2u);
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(lb(y), 4);

      // A constraint may discard itself while it is being told.
      a->onReport = [&](const ConstrainedVariableId&, int, DL::ChangeType) {
        ce->deleteConstraint(aId);
        return false;
      };
      x->reset();
      EXPECT_FALSE(aId.isValid());
      EXPECT_EQ(x->constraintCount(), 1u);
      EXPECT_TRUE(ce->propagate());
    }

    TEST_F(Reports, PropagateInsideAWaveRunsNothing) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      ConstrainedVariableId y = intVar(0, 10, "y");
      make("eq", makeScope(x, y));
      Recorder* r = record("R", makeScope(x, y));
      x->specify(2);
      EXPECT_TRUE(ce->propagate());
      std::vector<bool> nested;
      r->onReport = [&](const ConstrainedVariableId&, int, DL::ChangeType type) {
        if (type == DL::RESET || type == DL::RELAXED)
          nested.push_back(ce->propagate());
        return false;
      };
      log.clear();
      x->reset();
      EXPECT_EQ(nested, std::vector<bool>({true, true}));
      EXPECT_EQ(log, Log({"R:x:RESET", "R:y:RELAXED"})); // nothing executed inside
      EXPECT_TRUE(ce->pending());
    }

    // ------------------------------------------------------------------ relaxation

    class Relaxation : public EngineFixture {};

    // Keeps a restriction of its own that relaxation must re-apply.
    class CappedVariable : public Variable<IntervalIntDomain> {
    public:
      CappedVariable(const ConstraintEngineId& ce, double lb, double ub, double cap)
        : Variable<IntervalIntDomain>(ce, IntervalIntDomain(lb, ub), false, true, LabelStr("capped")),
          m_cap(cap) {
        derived()->intersect(lb, cap);
      }
      void relax() override {
        ++relaxations;
        Variable<IntervalIntDomain>::relax();
        derived()->intersect(derived()->getLowerBound(), m_cap);
      }
      int relaxations = 0;

    private:
      double m_cap;
    };

    TEST_F(Relaxation, WavesRelaxThroughTheVirtual) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      CappedVariable* capped = new CappedVariable(ce->getId(), 0, 10, 8);
      ConstrainedVariableId y = capped->getId();
      make("eq", makeScope(x, y));
      Recorder* r = record("R", makeScope(y, y));
      r->ignoreAll = true;
      EXPECT_TRUE(ce->propagate());
      x->specify(2);
      EXPECT_TRUE(ce->propagate());
      log.clear();
      x->reset();
      EXPECT_EQ(capped->relaxations, 1);
      EXPECT_EQ(ub(y), 8); // its own cap survives
      EXPECT_EQ(log, Log({"R:capped:RELAXED", "R:capped:RELAXED"})); // once per scope position
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(ub(x), 8);
    }

    TEST_F(Relaxation, RespecifyingWidensFirst) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      ConstrainedVariableId y = intVar(0, 10, "y");
      make("eq", makeScope(x, y));
      record("R", makeScope(x, x));
      x->specify(3);
      EXPECT_TRUE(ce->propagate());
      log.clear();
      x->specify(3); // the same value: nothing happens
      EXPECT_TRUE(log.empty());
      x->specify(7); // stale narrowing of y must not make this inconsistent
      EXPECT_EQ(log, Log({"R:x:RESET", "R:x:RESET", "R:x:SET_TO_SINGLETON", "R:x:SET_TO_SINGLETON"}));
      EXPECT_TRUE(ce->propagate());
    }

    TEST_F(Relaxation, InsertAndOpenOnEnumeratedVariables) {
      EnumeratedDomain open(true, LabelStr("nums"));
      open.insert(1);
      open.insert(2);
      ConstrainedVariableId e = ce->createVariable(LabelStr("nums"), open);
      ConstrainedVariableId f = enumVar({1, 2, 3}, "f");
      make("eq", makeScope(e, f));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(f->lastDomain().getSize(), 3u); // skipped while e is open
      e->close();
      EXPECT_TRUE(ce->propagate());
      e->open();
      EXPECT_EQ(f->lastDomain().getSize(), 3u); // opening relaxes the neighbours
      e->insert(3);
      e->close();
      // remove works on closed domains and ignores non-members
      e->remove(1);
      e->remove(42);
      EXPECT_TRUE(ce->propagate());
      EXPECT_FALSE(f->lastDomain().isMember(1));
      EXPECT_THROW(e->insert(9), Error); // closed now
    }

    TEST_F(Relaxation, DeactivationOfVariablesAndConstraints) {
      ConstrainedVariableId a = intVar(5, 10, "a");
      ConstrainedVariableId b = intVar(0, 10, "b");
      ConstraintId c = make("precedes", makeScope(a, b));
      // Results are checked by the oracle; here, the counts: the constraint's own
      // deactivation outlives the variable's, and undoing one too many fails.
      a->deactivate();
      c->deactivate();
      a->undoDeactivation();
      EXPECT_FALSE(c->isActive());
      c->undoDeactivation();
      EXPECT_THROW(c->undoDeactivation(), Error);
      EXPECT_THROW(a->undoDeactivation(), Error);
    }

    // ------------------------------------------------------------------ deletion

    class Deletion : public EngineFixture {};

    TEST_F(Deletion, DeletedVariableTakesItsConstraints) {
      ConstrainedVariableId a = intVar(5, 10, "a");
      ConstrainedVariableId b = intVar(0, 10, "b");
      // A variable takes its constraints with it, also one holding it twice.
      ConstraintId e = make("eq", makeScope(a, b));
      ConstraintId twice = make("concurrent", makeScope(a, a));
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(lb(b), 5);
      const unsigned int aSlot = ce->getIndex(a);
      delete static_cast<ConstrainedVariable*>(a);
      EXPECT_FALSE(e.isValid() || twice.isValid());
      EXPECT_TRUE(ce->getVariable(aSlot).isNoId());
      EXPECT_EQ(lb(b), 0);
    }

    class CountingListener : public ConstrainedVariableListener {
    public:
      CountingListener(const ConstrainedVariableId& var, Log& log, const std::string& tag)
        : ConstrainedVariableListener(var), m_log(log), m_tag(tag) {}
      void notifyDiscard() override {
        m_log.push_back(m_tag + ":discard");
        if (victim != nullptr) {
          CountingListener* v = victim;
          victim = nullptr;
          delete v;
        }
        if (deleteSelf)
          delete this;
      }
      void notifyConstraintAdded(const ConstraintId& c, int argIndex) override {
        m_log.push_back(m_tag + ":added:" + c->getName().toString() + ":" + std::to_string(argIndex));
      }
      void notifyConstraintRemoved(const ConstraintId& c, int argIndex) override {
        m_log.push_back(m_tag + ":removed:" + c->getName().toString() + ":" + std::to_string(argIndex));
      }
      CountingListener* victim = nullptr;
      bool deleteSelf = false;

    private:
      Log& m_log;
      std::string m_tag;
    };

    TEST_F(Deletion, ListenersMayDeleteThemselvesAndEachOther) {
      ConstrainedVariableId v = intVar(0, 10, "v");
      ConstrainedVariableId w = intVar(0, 10, "w");
      std::vector<CountingListener*> l;
      for (const char* tag : {"L1", "L2", "L3", "L4"})
        l.push_back(new CountingListener(v, log, tag));
      l[0]->deleteSelf = true;
      l[1]->victim = l[2];
      delete new CountingListener(v, log, "gone"); // detaches cleanly

      ConstraintId c = make("precedes", makeScope(w, v));
      EXPECT_EQ(log, Log({"L1:added:precedes:1", "L2:added:precedes:1", "L3:added:precedes:1",
                          "L4:added:precedes:1"}));
      log.clear();
      ce->deleteConstraint(c);
      EXPECT_EQ(log.size(), 4u);
      EXPECT_EQ(log[3], "L4:removed:precedes:1");
      log.clear();

      v->discard(true);
      EXPECT_EQ(log, Log({"L1:discard", "L2:discard", "L4:discard"}));
      delete l[1]; // outlive the variable: must not touch it
      delete l[3];
    }

    TEST_F(Deletion, PurgeModeAndEngineDestructionCallNobody) {
      ConstrainedVariableId v = intVar(0, 10, "v");
      ConstrainedVariableId w = intVar(0, 10, "w");
      CountingListener* l = new CountingListener(v, log, "L");
      Recorder* r = record("R", makeScope(v, w));
      make("eq", makeScope(v, w));
      v->specify(3);
      EXPECT_TRUE(ce->propagate());
      log.clear();

      Entity::purgeStart();
      w->discard(true);
      Entity::purgeEnd();
      EXPECT_TRUE(log.empty());
      (void) r;

      // Everything left goes with the engine, without hooks or listeners.
      ConstrainedVariableId x = intVar(0, 10, "x");
      record("S", makeScope(x, v));
      make("precedes", makeScope(x, v));
      log.clear();
      delete ce;
      ce = nullptr;
      EXPECT_EQ(log, Log());
      EXPECT_FALSE(v.isValid());
      delete l;
      ce = new ConstraintEngine(schema->getId());
    }

    // ------------------------------------------------------------------ indexes

    class Indexes : public EngineFixture {};

    TEST_F(Indexes, FreedSlotsAreReusedLastInFirstOut) {
      std::vector<ConstrainedVariableId> v;
      for (int i = 0; i < 5; ++i)
        v.push_back(intVar(0, 10, "v" + std::to_string(i)));
      // Constraints count separately.
      make("eq", makeScope(v[0], v[1]));
      ConstraintId c1 = make("eq", makeScope(v[1], v[2]));
      ConstraintId c2 = make("eq", makeScope(v[2], v[3]));
      EXPECT_EQ(ce->getIndex(c2), 2u);

      // Deleting 2 then 4 and rewinding in reverse order restores both indexes.
      v[2]->discard(true);
      v[4]->discard(true);
      EXPECT_FALSE(c1.isValid());
      ConstrainedVariableId again4 = intVar(0, 10, "v4");
      ConstrainedVariableId again2 = intVar(0, 10, "v2");
      EXPECT_EQ(ce->getIndex(again4), 4u);
      EXPECT_EQ(ce->getIndex(again2), 2u);
      EXPECT_EQ(ce->getIndex(intVar(0, 1, "new")), 5u);

      ConstraintId d1 = make("eq", makeScope(v[0], again2));
      ConstraintId d2 = make("eq", makeScope(v[0], again4));
      EXPECT_EQ(ce->getIndex(d1), 2u); // c2 went with v2 last
      EXPECT_EQ(ce->getIndex(d2), 1u);
      EXPECT_EQ(ce->getIndex(make("eq", makeScope(v[0], v[1]))), 3u);
    }

    TEST_F(Indexes, ForeignOrInvalidEntitiesFail) {
      CESchema otherSchema;
      ConstraintEngine other(otherSchema.getId());
      ConstrainedVariableId foreign =
          (new Variable<IntervalIntDomain>(other.getId(), IntervalIntDomain(0, 1)))->getId();
      EXPECT_THROW(ce->getIndex(foreign), Error);
      EXPECT_THROW(ce->getIndex(ConstraintId::noId()), Error);
      // A scope mixing engines is refused before anything is registered.
      ConstrainedVariableId mine = intVar(0, 1, "mine");
      EXPECT_THROW(make("eq", makeScope(mine, foreign)), Error);
      EXPECT_EQ(ce->constraintSlotCount(), 0u);
    }

    // ------------------------------------------------------------------ checks and inconsistency

    class EngineChecks : public EngineFixture {};

    TEST_F(EngineChecks, SpecifyAndRestrictRefuseBadInput) {
      ConstrainedVariableId x = intVar(0, 10, "x");
      EXPECT_NE(failureOf([&] { x->specify(11); }).getMessage().find("not in its base domain"),
                std::string::npos);
      EXPECT_THROW(x->getSpecifiedValue(), Error);

      ConstrainedVariableId fixed = (new Variable<IntervalIntDomain>(ce->getId(), IntervalIntDomain(0, 3),
                                                                     false, false, LabelStr("fixed")))
                                        ->getId();
      EXPECT_THROW(fixed->specify(1), Error);
      fixed->internalSpecify(1);
      EXPECT_EQ(fixed->getSpecifiedValue(), 1);

      EXPECT_EQ(failureOf([&] { x->restrictBaseDomain(IntervalIntDomain(20, 30)); })
                    .getMessage()
                    .find("Restriction would empty base domain of x"),
                0u);
      EXPECT_EQ(x->baseDomain().getUpperBound(), 10);
    }

    TEST_F(EngineChecks, InconsistentVariablesShareOneEmptyDomain) {
      ConstrainedVariableId x = intVar(5, 10, "x");
      ConstrainedVariableId y = intVar(0, 3, "y");
      ConstraintId c = make("precedes", makeScope(x, y));
      // The derived domain propagates on demand.
      EXPECT_TRUE(y->derivedDomain().isEmpty());
      EXPECT_EQ(ce->cycleCount(), 1u);
      EXPECT_FALSE(ce->propagate());
      EXPECT_EQ(&x->derivedDomain(), &y->derivedDomain());
      EXPECT_TRUE(x->derivedDomain().isClosed());
      EXPECT_FALSE(x->lastDomain().isEmpty()); // its own domain is untouched
      EXPECT_GT(y->getViolation(), 0.0);

      // Removing the culprit recovers.
      ce->deleteConstraint(c);
      EXPECT_TRUE(ce->propagate());
      EXPECT_EQ(&y->derivedDomain(), &y->lastDomain());
    }

    TEST_F(EngineChecks, CreationByNameAndFallbackVariables) {
      EXPECT_THROW(ce->createVariable(LabelStr("noSuchType")), Error);
      ConstrainedVariableId fromType = ce->createVariable(LabelStr("int"), false, true, LabelStr("n"));
      EXPECT_EQ(fromType->baseDomain().getTypeName(), LabelStr("int"));
      EXPECT_THROW(make("noSuchConstraint", makeScope(intVar(0, 1, "a"), intVar(0, 1, "b"))), Error);
      EXPECT_THROW(ce->deleteConstraint(ConstraintId::noId()), Error);

      // Unregistered type names are accepted with a base domain: its kind decides.
      ConstrainedVariableId set =
          ce->createVariable(LabelStr("set"), EnumeratedDomain({1, 2}, true, LabelStr("set")), true, false);
      EXPECT_TRUE(set->isEnumerated() && set->isInternal());
      ConstrainedVariableId span = ce->createVariable(LabelStr("span"), IntervalDomain(0, 2.5));
      EXPECT_TRUE(span->isInterval());
      EXPECT_THROW(make("eq", makeScope(set, span))->setSource(ConstraintId::noId()), Error);
    }

    TEST_F(EngineChecks, PublicViewListsEachConstraintOnce) {
      ConstrainedVariableId e = enumVar({1, 2, 3}, "e");
      make("eq", makeScope(e, intVar(0, 5, "i")));
      make("eq", makeScope(e, e));
      EXPECT_EQ(static_cast<PSVariable*>(static_cast<ConstrainedVariable*>(e))->getConstraints().size(), 2);
      EXPECT_EQ(
          (static_cast<ConstrainedVariable*>(ce->createVariable(LabelStr("t"), BoolDomain())))->getType(),
          BOOLEAN);
    }

  }
}
