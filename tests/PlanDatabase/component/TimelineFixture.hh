#ifndef KADRIX_TESTS_TIMELINE_FIXTURE_HH
#define KADRIX_TESTS_TIMELINE_FIXTURE_HH

// Timelines of the test model with tokens of chosen time bounds on them:
//   Timeline.busy  interval token, no parameters
//   Timeline.mark  event token, no parameters

#include "PlanDatabase/component/EventToken.hh"
#include "PlanDatabase/component/IntervalToken.hh"
#include "PlanDatabase/component/Timeline.hh"
#include "PlanDatabase/model/TestTokens.hh"

#include <utility>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    /** An interval token of Timeline.busy with chosen bounds. */
    class BusyToken : public IntervalToken {
    public:
      BusyToken(const PlanDatabaseId& db, const IntervalIntDomain& start, const IntervalIntDomain& end,
                const IntervalIntDomain& duration)
        : IntervalToken(db, "Timeline.busy", true, false, start, end, duration, Token::noObject(), true) {}
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
      TokenId busy(int startLb = 0, int startUb = 1000, int endLb = 1, int endUb = 1000, int durationLb = 1,
                   int durationUb = 1000) {
        return (new BusyToken(db(), IntervalIntDomain(startLb, startUb), IntervalIntDomain(endLb, endUb),
                              IntervalIntDomain(durationLb, durationUb)))
            ->getId();
      }

      /** An active busy token that every object it can be on has been told of. */
      TokenId active(int startLb = 0, int startUb = 1000, int endLb = 1, int endUb = 1000, int durationLb = 1,
                     int durationUb = 1000) {
        TokenId token = busy(startLb, startUb, endLb, endUb, durationLb, durationUb);
        activate(token);
        return token;
      }

      /** An active token that lies exactly in [start, end]. */
      TokenId fixed(int start, int end) { return active(start, start, end, end, end - start, end - start); }

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

    /** A timeline that lets tests see its explicit marks and reach its notifications. */
    class TestTimeline : public Timeline {
    public:
      TestTimeline(const PlanDatabaseId& db, const char* name) : Timeline(db, "Timeline", name) {}
      using Object::hasExplicitConstraint;
      using Object::notifyOrderingNoLongerRequired;
      using Timeline::add;
    };

    typedef std::pair<TokenId, TokenId> Choice;
    typedef std::vector<Choice> Choices;

    class TimelineFixture : public TimedTokenFixture {
    protected:
      /** A closed root timeline. */
      TestTimeline* timeline(const char* name) { return new TestTimeline(db(), name); }

      static std::vector<TokenId> sequence(const Timeline* tl) {
        return std::vector<TokenId>(tl->getTokenSequence().begin(), tl->getTokenSequence().end());
      }

      static Choices choices(Timeline* tl, const TokenId& token, unsigned int limit = 100) {
        Choices results;
        tl->getOrderingChoices(token, results, limit);
        return results;
      }

      /** Whether the database lists the token as needing ordering on the object. */
      bool waits(const TokenId& token, const ObjectId& object) const {
        const PlanDatabase::TokensToOrder& toOrder = m_db->getTokensToOrder();
        PlanDatabase::TokensToOrder::const_iterator it = toOrder.find(token->getKey());
        return it != toOrder.end() && it->second.second.count(object) != 0;
      }
    };

  }
}

#endif
