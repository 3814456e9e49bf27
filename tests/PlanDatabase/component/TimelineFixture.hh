#ifndef KADRIX_TESTS_TIMELINE_FIXTURE_HH
#define KADRIX_TESTS_TIMELINE_FIXTURE_HH

// Timelines of the test model with the timed tokens of TimedTokens.hh on them.

#include "PlanDatabase/component/Timeline.hh"
#include "PlanDatabase/model/TimedTokens.hh"

#include <utility>
#include <vector>

namespace KADRIX {
  namespace TestModel {

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
