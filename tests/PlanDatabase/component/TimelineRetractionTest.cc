// Random plans on two timelines under additions and retractions: tokens come,
// are sequenced, freed, cancelled, specified, reset and discarded. After every
// propagation each variable holds what the same constraints give when built
// again from scratch in a fresh engine, and each token lies on exactly the
// timelines its object variable allows while it is active, and on none else.
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/component/TimelineFixture.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class TimelineRetraction : public TimelineFixture, public ::testing::WithParamInterface<unsigned int> {
    protected:
      TimelineRetraction() : m_rng(GetParam()) {
        m_timelines.push_back(timeline("t1"));
        m_timelines.push_back(timeline("t2"));
      }

      unsigned int pick(size_t n) {
        return std::uniform_int_distribution<unsigned int>(0, static_cast<unsigned int>(n) - 1)(m_rng);
      }
      int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

      /** One random change; returns its description. */
      std::string step() {
        std::ostringstream os;
        unsigned int op = pick(10);
        // While inconsistent, mostly take something back.
        if (m_ce->provenInconsistent() && pick(2) == 0)
          op = 5 + pick(3);
        switch (op) {
          case 0:
          case 1:
            addToken(os);
            break;
          case 2:
          case 3:
            sequence(os);
            break;
          case 4:
          case 5:
            freePair(os);
            break;
          case 6: {
            const TokenId t = someToken(true);
            if (t.isId()) {
              os << "cancel " << t->getKey();
              t->cancel();
            }
            break;
          }
          case 7: {
            const TokenId t = someToken(false);
            if (t.isId()) {
              os << "discard " << t->getKey();
              m_tokens.erase(std::find(m_tokens.begin(), m_tokens.end(), t));
              t->discard();
            }
            break;
          }
          default:
            specifyOrReset(os);
            break;
        }
        return os.str();
      }

      /** Propagates and compares; returns a failure text or "". */
      std::string check() {
        if (!m_ce->propagate())
          return "";
        ++m_consistent;
        ConstraintEngine fresh(m_ces->getId());
        std::map<ConstrainedVariable*, ConstrainedVariableId> copies;
        for (unsigned int i = 0; i < m_ce->variableSlotCount(); ++i) {
          const ConstrainedVariableId v = m_ce->getVariable(i);
          if (v.isValid())
            copies[static_cast<ConstrainedVariable*>(v)] = copyOf(fresh, v);
        }
        for (unsigned int i = 0; i < m_ce->constraintSlotCount(); ++i) {
          const ConstraintId c = m_ce->getConstraint(i);
          if (!c.isValid() || !c->isActive() || !rebuilt(c->getName()))
            continue;
          std::vector<ConstrainedVariableId> scope;
          for (const ConstrainedVariableId& v : c->getScope())
            scope.push_back(copies[static_cast<ConstrainedVariable*>(v)]);
          fresh.createConstraint(c->getName(), scope);
        }
        std::ostringstream os;
        if (!fresh.propagate())
          return "consistent, but inconsistent from scratch";
        int mismatches = 0;
        for (const auto& entry : copies) {
          const AbstractDomain& got = entry.first->lastDomain();
          const AbstractDomain& want = entry.second->lastDomain();
          if (got != want && ++mismatches <= 4)
            os << entry.first->toString() << " is " << got.toString() << ", from scratch " << want.toString()
               << "; ";
        }
        for (const TokenId& t : m_tokens)
          for (TestTimeline* tl : m_timelines) {
            const bool on = tl->tokens().count(t) != 0;
            const bool allowed = t->isActive() && t->getObject()->lastDomain().isMember(tl->getId());
            if (on != allowed)
              os << t->toString() << (on ? " lies on " : " is missing from ") << tl->getName().toString()
                 << "; ";
          }
        for (TestTimeline* tl : m_timelines)
          tl->isValid();
        return os.str();
      }

      unsigned int m_consistent = 0;

    private:
      static bool rebuilt(const LabelStr& name) {
        return name == LabelStr("eq") || name == LabelStr("precedes") || name == LabelStr("concurrent") ||
               name == LabelStr("temporalDistance");
      }

      /** A fresh variable of the same base domain, specified alike. */
      static ConstrainedVariableId copyOf(ConstraintEngine& fresh, const ConstrainedVariableId& v) {
        const AbstractDomain& base = v->baseDomain();
        ConstrainedVariable* copy;
        if (base.isEnumerated())
          copy = new Variable<EnumeratedDomain>(fresh.getId(), base);
        else if (typeid(base) == typeid(IntervalIntDomain))
          copy = new Variable<IntervalIntDomain>(fresh.getId(), base);
        else
          copy = new Variable<IntervalDomain>(fresh.getId(), base);
        if (v->isSpecified())
          copy->internalSpecify(v->getSpecifiedValue());
        return copy->getId();
      }

      void addToken(std::ostream& os) {
        const int start = between(0, 150);
        const int end = start + between(1, 40);
        const TokenId t = busy(start, start + between(0, 60), end, end + between(0, 80), between(1, 5), 60);
        m_tokens.push_back(t);
        os << "token " << t->getKey();
        if (pick(5) != 0) {
          os << " active";
          t->activate();
        }
      }

      /** A live token, active only when asked; no id when there is none. */
      TokenId someToken(bool active) {
        std::vector<TokenId> found;
        for (const TokenId& t : m_tokens)
          if (!active || t->isActive())
            found.push_back(t);
        return found.empty() ? TokenId() : found[pick(found.size())];
      }

      void sequence(std::ostream& os) {
        std::vector<std::pair<TokenId, TestTimeline*> > waiting;
        for (const TokenId& t : m_tokens) {
          if (!t->isActive() || m_timelines[0]->hasToken(t) || m_timelines[1]->hasToken(t))
            continue;
          for (TestTimeline* tl : m_timelines)
            if (t->getObject()->lastDomain().isMember(tl->getId()))
              waiting.push_back(std::make_pair(t, tl));
        }
        if (waiting.empty())
          return;
        const std::pair<TokenId, TestTimeline*> chosen = waiting[pick(waiting.size())];
        const Choices options = choices(chosen.second, chosen.first);
        if (options.empty())
          return;
        const Choice c = options[pick(options.size())];
        os << "constrain " << c.first->getKey() << " " << c.second->getKey() << " on "
           << chosen.second->getName().toString();
        chosen.second->constrain(c.first, c.second);
        m_ordered.push_back(std::make_tuple(chosen.second, c.first, c.second));
      }

      void freePair(std::ostream& os) {
        if (m_ordered.empty())
          return;
        const size_t i = pick(m_ordered.size());
        TestTimeline* tl = std::get<0>(m_ordered[i]);
        const TokenId p = std::get<1>(m_ordered[i]), s = std::get<2>(m_ordered[i]);
        m_ordered.erase(m_ordered.begin() + static_cast<long>(i));
        // Only what is still ordered so, explicitly, can be freed.
        if (!p.isValid() || !s.isValid() || !tl->hasToken(p) || !tl->hasToken(s) || !m_ce->propagate())
          return;
        if (p == s ? !tl->hasExplicitConstraint(p) : tl->getPrecedenceConstraint(p, s).isNoId())
          return;
        os << "free " << p->getKey() << " " << s->getKey() << " on " << tl->getName().toString();
        tl->free(p, s);
      }

      void specifyOrReset(std::ostream& os) {
        const TokenId t = someToken(true);
        if (t.isNoId())
          return;
        const ConstrainedVariableId start = t->start();
        if (start->isSpecified()) {
          os << "reset start of " << t->getKey();
          start->reset();
          return;
        }
        const AbstractDomain& now = start->lastDomain();
        if (now.isEmpty())
          return;
        const double value =
            between(static_cast<int>(now.getLowerBound()),
                    static_cast<int>(std::min(now.getUpperBound(), now.getLowerBound() + 20)));
        os << "specify start of " << t->getKey() << " " << value;
        start->specify(value);
      }

      std::mt19937 m_rng;
      std::vector<TestTimeline*> m_timelines;
      std::vector<TokenId> m_tokens; // the live tokens
      std::vector<std::tuple<TestTimeline*, TokenId, TokenId> > m_ordered; // pairs this test ordered
    };

    TEST_P(TimelineRetraction, PlansEqualARebuiltNetwork) {
      std::vector<std::string> trail;
      for (int i = 0; i < 60; ++i) {
        trail.push_back(step());
        const std::string failure = check();
        if (!failure.empty()) {
          std::ostringstream os;
          for (size_t j = trail.size() > 10 ? trail.size() - 10 : 0; j < trail.size(); ++j)
            os << "  " << trail[j] << "\n";
          FAIL() << "step " << i << ": " << failure << "\nlast operations:\n" << os.str();
        }
      }
      EXPECT_GT(m_consistent, 20u);
    }

    INSTANTIATE_TEST_SUITE_P(Seeds, TimelineRetraction, ::testing::Range(0u, 200u));

  }
}
