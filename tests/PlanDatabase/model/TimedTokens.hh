#ifndef KADRIX_TESTS_TIMED_TOKENS_HH
#define KADRIX_TESTS_TIMED_TOKENS_HH

// Tokens with chosen time bounds, for objects of type Timeline:
//   Timeline.busy  interval token, no parameters
//   Timeline.mark  event token, no parameters

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/component/EventToken.hh"
#include "PlanDatabase/component/IntervalToken.hh"
#include "PlanDatabase/model/TestTokens.hh"

namespace KADRIX {
  namespace TestModel {

    /** An interval token of Timeline.busy with chosen bounds. */
    class BusyToken : public IntervalToken {
    public:
      BusyToken(const PlanDatabaseId& db, const IntervalIntDomain& start, const IntervalIntDomain& end,
                const IntervalIntDomain& duration)
        : IntervalToken(db, "Timeline.busy", true, false, start, end, duration, Token::noObject(),
                        true) {}
    };

    /** An event token of Timeline.mark at a chosen time. */
    class MarkToken : public EventToken {
    public:
      MarkToken(const PlanDatabaseId& db, const IntervalIntDomain& time)
        : EventToken(db, "Timeline.mark", true, false, time, Token::noObject(), true) {}
    };

    /** The token fixture with the type Timeline and its two predicates declared. */
    class TimedTokenFixture : public TokenFixture {
    protected:
      TimedTokenFixture() {
        if (!m_schema->isObjectType("Timeline"))
          m_schema->addObjectType("Timeline");
        m_schema->addPredicate("Timeline.busy");
        m_schema->addPredicate("Timeline.mark");
      }

      /** An inactive busy token. */
      TokenId busy(int startLb = 0, int startUb = 1000, int endLb = 1, int endUb = 1000,
                   int durationLb = 1, int durationUb = 1000) {
        return (new BusyToken(db(), IntervalIntDomain(startLb, startUb),
                              IntervalIntDomain(endLb, endUb),
                              IntervalIntDomain(durationLb, durationUb)))->getId();
      }

      /** An active busy token that every object it can be on has been told of. */
      TokenId active(int startLb = 0, int startUb = 1000, int endLb = 1, int endUb = 1000,
                     int durationLb = 1, int durationUb = 1000) {
        TokenId token = busy(startLb, startUb, endLb, endUb, durationLb, durationUb);
        activate(token);
        return token;
      }

      /** An active token that lies exactly in [start, end]. */
      TokenId fixed(int start, int end) {
        return active(start, start, end, end, end - start, end - start);
      }

      /** An active event token at the time. */
      TokenId mark(int time) {
        TokenId token = (new MarkToken(db(), IntervalIntDomain(time, time)))->getId();
        activate(token);
        return token;
      }

      void activate(const TokenId& token) {
        token->activate();
        m_ce->propagate();
      }
    };

  }
}

#endif
