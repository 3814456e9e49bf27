#include "PlanDatabase/component/Timeline.hh"

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

#include <algorithm>
#include <iterator>
#include <typeinfo>

namespace KADRIX {

  namespace {
    std::string text(const TokenId& token) { return token->toString(); }
  }

  Timeline::Timeline(const ObjectId& parent, const LabelStr& type, const LabelStr& localName, bool open)
    : Object(parent, type, localName, true) {
    commonInit(open);
  }

  Timeline::Timeline(const PlanDatabaseId& planDatabase, const LabelStr& type, const LabelStr& name,
                     bool open)
    : Object(planDatabase, type, name, true) {
    commonInit(open);
  }

  void Timeline::commonInit(bool open) {
    if (!open)
      close();
  }

  Timeline::~Timeline() noexcept(false) { Entity::discard(false); }

  bool Timeline::hasToken(const TokenId& token) const {
    KADRIX_CHECK(token.isValid());
    return m_tokenIndex.find(token->getKey()) != m_tokenIndex.end();
  }

  bool Timeline::orderingRequired(const TokenId& token) const {
    return !token->isDeleted() && !hasToken(token);
  }

  bool Timeline::atStart(const TokenId& token) const {
    return !m_tokenSequence.empty() && m_tokenSequence.front() == token;
  }

  bool Timeline::atEnd(const TokenId& token) const {
    return !m_tokenSequence.empty() && m_tokenSequence.back() == token;
  }

  void Timeline::insertToIndex(const TokenId& token, const Position& position) {
    const Position next = std::next(position);
    const Slot successor = next == m_tokenSequence.end() ? SequenceTable::NONE
                                                         : m_tokenIndex.find((*next)->getKey())->second.slot;
    const Place place = {position, m_table.insert(token, successor)};
    m_tokenIndex.insert(std::make_pair(token->getKey(), place));
    notePlace(token->getKey());
    touchNeighbours(position);
    note(OrderingJournal::SEQUENCED, token, next == m_tokenSequence.end() ? TokenId::noId() : *next, false,
         position == m_tokenSequence.begin() ? TokenId::noId() : *std::prev(position));
  }

  void Timeline::erase(const Place& place) {
    const Position next = std::next(place.position);
    note(OrderingJournal::UNSEQUENCED, *place.position,
         next == m_tokenSequence.end() ? TokenId::noId() : *next, false,
         place.position == m_tokenSequence.begin() ? TokenId::noId() : *std::prev(place.position));
    touchNeighbours(place.position);
    m_tokenSequence.erase(place.position);
    m_table.erase(place.slot);
  }

  void Timeline::touchNeighbours(Position position) {
    if (position != m_tokenSequence.begin())
      notePlace((*std::prev(position))->getKey());
    if (std::next(position) != m_tokenSequence.end())
      notePlace((*std::next(position))->getKey());
  }

  void Timeline::notePlace(int tokenKey) {
    // Between checks the list is kept within a bound: repeats and tokens gone are dropped.
    if (m_uncheckedPlaces.size() > 64 + 2 * m_tokenIndex.size()) {
      std::sort(m_uncheckedPlaces.begin(), m_uncheckedPlaces.end());
      m_uncheckedPlaces.erase(std::unique(m_uncheckedPlaces.begin(), m_uncheckedPlaces.end()),
                              m_uncheckedPlaces.end());
      m_uncheckedPlaces.erase(std::remove_if(m_uncheckedPlaces.begin(), m_uncheckedPlaces.end(),
                                             [this](int key) { return m_tokenIndex.count(key) == 0; }),
                              m_uncheckedPlaces.end());
    }
    m_uncheckedPlaces.push_back(tokenKey);
  }

  void Timeline::entriesChanged(int tokenKey) { notePlace(tokenKey); }

  void Timeline::removeFromIndex(const TokenId& token) {
    m_tokenIndex.erase(token->getKey());
    m_deferredPlaces.erase(token->getKey());
    Object::notifyOrderingRequired(token);
  }

  bool Timeline::adjacent(const TokenId& x, const TokenId& y) const {
    if (x.isNoId() || y.isNoId())
      return false;
    std::map<int, Place>::const_iterator it = m_tokenIndex.find(x->getKey());
    if (it == m_tokenIndex.end())
      return false;
    std::list<TokenId>::const_iterator next = it->second.position;
    ++next;
    return next != m_tokenSequence.end() && *next == y;
  }

  std::pair<TokenId, TokenId> Timeline::neighbours(const TokenId& token) const {
    std::pair<TokenId, TokenId> result;
    std::map<int, Place>::const_iterator it = m_tokenIndex.find(token->getKey());
    if (it == m_tokenIndex.end())
      return result;
    std::list<TokenId>::const_iterator position = it->second.position;
    if (position != m_tokenSequence.begin()) {
      std::list<TokenId>::const_iterator previous = position;
      result.first = *(--previous);
    }
    std::list<TokenId>::const_iterator next = position;
    if (++next != m_tokenSequence.end())
      result.second = *next;
    return result;
  }

  void Timeline::add(const TokenId& token) {
    Object::add(token);
    // As remove() tells no more of a token being discarded: what it is added
    // to while it goes (its domain relaxed as its merged tokens split) needs
    // no ordering.
    if (orderingRequired(token))
      Object::notifyOrderingRequired(token);
  }

  void Timeline::remove(const TokenId& token) {
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK(isValid(CLEANING_UP));

    if (orderingRequired(token))
      Object::notifyOrderingNoLongerRequired(token);

    std::map<int, Place>::iterator it = m_tokenIndex.find(token->getKey());
    if (it == m_tokenIndex.end()) {
      Object::remove(token);
      return;
    }

    const std::pair<TokenId, TokenId> around = neighbours(token);
    erase(it->second);
    m_tokenIndex.erase(it);
    m_deferredPlaces.erase(token->getKey());

    // The neighbours that meet are linked as if the caller had ordered them.
    if (around.first.isId() && around.second.isId() && !isConstrainedToPrecede(around.first, around.second))
      constrain(around.first, around.second);

    Object::remove(token);
    KADRIX_CHECK(isValid(CLEANING_UP));
  }

  void Timeline::constrain(const TokenId& predecessor, const TokenId& successor) {
    KADRIX_CHECK(predecessor.isValid());
    KADRIX_CHECK(successor.isValid());
    KADRIX_CHECK_MSG(getPrecedenceConstraint(predecessor, successor).isNoId(),
                     "At least one of predecessor and successor should not be sequenced yet."
                         << text(predecessor) << " before " << text(successor));
    // Every check runs before the plan changes, so that a refusal leaves it as it was.
    KADRIX_CHECK_MSG(
        m_tokenSequence.empty() || m_tokenIndex.find(predecessor->getKey()) != m_tokenIndex.end() ||
            m_tokenIndex.find(successor->getKey()) != m_tokenIndex.end(),
        "At least one of predecessor or successor should be already sequenced in a non empty sequence."
            << text(predecessor) << " before " << text(successor));
    KADRIX_CHECK_MSG(m_tokenSequence.empty() || predecessor != successor,
                     "Can only constrain with respect to yourself on an empty timeline."
                         << text(predecessor) << " before " << text(successor));

    Object::constrain(predecessor, successor, true);

    if (orderingRequired(predecessor))
      Object::notifyOrderingNoLongerRequired(predecessor);
    if (predecessor != successor && orderingRequired(successor))
      Object::notifyOrderingNoLongerRequired(successor);

    if (m_tokenSequence.empty()) {
      insertToIndex(successor, m_tokenSequence.insert(m_tokenSequence.end(), successor));
      if (predecessor != successor)
        insertToIndex(predecessor, m_tokenSequence.insert(m_tokenSequence.begin(), predecessor));
      return;
    }

    std::map<int, Place>::iterator p = m_tokenIndex.find(predecessor->getKey());
    std::map<int, Place>::iterator s = m_tokenIndex.find(successor->getKey());
    if (p == m_tokenIndex.end()) {
      // The predecessor goes right before the successor.
      Position position = m_tokenSequence.insert(s->second.position, predecessor);
      insertToIndex(predecessor, position);
      if (position != m_tokenSequence.begin()) {
        Position previous = position;
        --previous;
        Object::constrain(*previous, predecessor, false);
      }
    } else if (s == m_tokenIndex.end()) {
      // The successor goes right after the predecessor.
      Position next = p->second.position;
      ++next;
      Position position = m_tokenSequence.insert(next, successor);
      insertToIndex(successor, position);
      if (next != m_tokenSequence.end())
        Object::constrain(successor, *next, false);
    }
  }

  void Timeline::free(const TokenId& predecessor, const TokenId& successor) {
    KADRIX_CHECK(predecessor.isValid());
    KADRIX_CHECK(successor.isValid());
    KADRIX_CHECK_MSG(m_tokenIndex.find(predecessor->getKey()) != m_tokenIndex.end() &&
                         m_tokenIndex.find(successor->getKey()) != m_tokenIndex.end(),
                     "Predecessor and successor must both be sequenced if they are to be freed");
    KADRIX_CHECK(isValid());

    const ConstraintId constraint = getPrecedenceConstraint(predecessor, successor);
    if (constraint.isId() && m_explicitConstraints.erase(constraint->getKey()) != 0)
      note(OrderingJournal::UNMARKED, predecessor, successor);
    if (predecessor == successor && m_explicitConstraints.erase(predecessor->getKey()) != 0)
      note(OrderingJournal::UNMARKED, predecessor, predecessor);

    const bool predecessorRequired = hasExplicitConstraint(predecessor);
    const bool successorRequired = hasExplicitConstraint(successor);
    if (predecessorRequired && successorRequired)
      return;

    {
      const Leaving leaving(*this, predecessor, successor);
      Object::free(predecessor, successor, false);
    }

    if (predecessor == successor) {
      unlink(predecessor);
      return;
    }

    // Each token taken out leaves its two neighbours to be joined.
    std::vector<std::pair<TokenId, TokenId> > gaps;
    TokenId startTok = predecessor;
    TokenId endTok = successor;
    if (!successorRequired) {
      gaps.push_back(neighbours(successor));
      endTok = removeSuccessor(successor);
    }
    if (!predecessorRequired) {
      gaps.push_back(neighbours(predecessor));
      startTok = removePredecessor(predecessor);
    }
    if (adjacent(startTok, endTok) && !isConstrainedToPrecede(startTok, endTok))
      Object::constrain(startTok, endTok, false);
    for (std::vector<std::pair<TokenId, TokenId> >::const_iterator it = gaps.begin(); it != gaps.end();
         ++it) {
      const TokenId& earlier = it->first;
      const TokenId& later = it->second;
      if (earlier.isValid() && later.isValid() && hasToken(earlier) && hasToken(later) &&
          adjacent(earlier, later) && !isConstrainedToPrecede(earlier, later))
        Object::constrain(earlier, later, false);
    }
    KADRIX_CHECK(isValid());
  }

  void Timeline::unlink(const TokenId& token) {
    {
      const Leaving leaving(*this, token, token);
      Object::freeImplicitConstraints(token);
    }
    const Place place = m_tokenIndex.find(token->getKey())->second;
    removeFromIndex(token);
    if (atStart(token) || atEnd(token))
      erase(place);
    else {
      const TokenId earlier = *std::prev(place.position);
      const TokenId later = *std::next(place.position);
      erase(place);
      if (!isConstrainedToPrecede(earlier, later))
        Object::constrain(earlier, later, false);
    }
  }

  TokenId Timeline::removePredecessor(const TokenId& token) { return removeWithNeighbour(token, true); }

  TokenId Timeline::removeSuccessor(const TokenId& token) { return removeWithNeighbour(token, false); }

  TokenId Timeline::removeWithNeighbour(const TokenId& token, bool predecessor) {
    {
      const Leaving leaving(*this, token, token);
      Object::freeImplicitConstraints(token);
    }
    const Place place = m_tokenIndex.find(token->getKey())->second;
    removeFromIndex(token);
    if (m_tokenIndex.empty()) {
      note(OrderingJournal::UNSEQUENCED, token);
      m_tokenSequence.clear();
      m_table.clear();
      return TokenId::noId();
    }
    // At the end of the sequence on the asked side, the neighbour on the other side answers.
    const bool first = place.position == m_tokenSequence.begin();
    const bool last = std::next(place.position) == m_tokenSequence.end();
    const bool before = predecessor ? !first : last;
    const TokenId result = before ? *std::prev(place.position) : *std::next(place.position);
    erase(place);
    return result;
  }

  void Timeline::takeBack(const std::vector<OrderingJournal::Change>& changes) {
    for (const OrderingJournal::Change& change : changes)
      if (change.kind == OrderingJournal::SEQUENCED)
        unsequence(change.first);
      else if (change.kind == OrderingJournal::UNSEQUENCED)
        sequenceBefore(change.first, change.second);
      else
        Object::takeBack(change);
    KADRIX_CHECK(isValid());
  }

  void Timeline::unsequence(const TokenId& token) {
    const std::map<int, Place>::iterator it = m_tokenIndex.find(token->getKey());
    KADRIX_CHECK_MSG(it != m_tokenIndex.end(), token->toString()
                                                   << " is not in the sequence of " << getName().toString());
    erase(it->second);
    m_tokenIndex.erase(it);
    m_deferredPlaces.erase(token->getKey());
    if (orderingRequired(token))
      Object::notifyOrderingRequired(token);
  }

  void Timeline::sequenceBefore(const TokenId& token, const TokenId& next) {
    KADRIX_CHECK_MSG(!hasToken(token),
                     token->toString() << " is in the sequence of " << getName().toString() << " already.");
    Position position = m_tokenSequence.end();
    if (next.isId()) {
      const std::map<int, Place>::const_iterator it = m_tokenIndex.find(next->getKey());
      KADRIX_CHECK_MSG(it != m_tokenIndex.end(),
                       next->toString() << " is not in the sequence of " << getName().toString());
      position = it->second.position;
    }
    holdAgain(token);
    if (orderingRequired(token))
      Object::notifyOrderingNoLongerRequired(token);
    insertToIndex(token, m_tokenSequence.insert(position, token));
  }

  Timeline::Leaving::Leaving(Timeline& timeline, const TokenId& first, const TokenId& second)
    : m_timeline(timeline), m_outer(timeline.m_leaving), m_outerFreeing(timeline.m_freeing) {
    m_timeline.m_leaving = std::make_pair(first, second);
    m_timeline.m_freeing = true;
  }

  Timeline::Leaving::~Leaving() {
    m_timeline.m_leaving = m_outer;
    m_timeline.m_freeing = m_outerFreeing;
  }

  bool Timeline::keepsBinding(const TokenId& token) const {
    return m_freeing && token != m_leaving.first && token != m_leaving.second && hasToken(token);
  }

  void Timeline::notifyMerged(const TokenId& /*token*/) {}

  void Timeline::notifyRejected(const TokenId& /*token*/) {}

  void Timeline::notifyDeleted(const TokenId& token) { remove(token); }

  namespace {

    typedef SequenceTable::Slot Slot;
    typedef DefaultTemporalAdvisor::Time Time;

    /** Answers the questions of the scan through whatever advisor the plan database has. */
    class AdvisorJudge {
    public:
      AdvisorJudge(const TemporalAdvisorId& advisor, const TokenId& token, const SequenceTable& table)
        : m_advisor(advisor), m_token(token), m_table(table) {}

      /** The token can precede the slot's token. */
      bool precedes(Slot slot) { return m_advisor->canPrecede(m_token, m_table.token(slot)); }
      /** The slot's token can precede the token. */
      bool follows(Slot slot) { return m_advisor->canPrecede(m_table.token(slot), m_token); }
      bool fitsBetween(Slot predecessor, Slot successor) {
        return m_advisor->canFitBetween(m_token, m_table.token(predecessor), m_table.token(successor));
      }
      /** The advisor is handed the tokens of the gap: they must be sound. */
      void checkGap(Slot before, Slot after) const {
        const TokenId& predecessor = m_table.token(before);
        const TokenId& successor = m_table.token(after);
        KADRIX_CHECK(predecessor.isValid() && predecessor->isActive());
        KADRIX_CHECK(successor.isValid() && successor->isActive());
      }

    private:
      const TemporalAdvisorId& m_advisor;
      const TokenId& m_token;
      const SequenceTable& m_table;
    };

    /**
     * The default advisor's answers, from the bounds in the table and the
     * token's own bounds read once. Only for a propagated network: derived
     * domains are then the current ones. The tokens of the table are those
     * isValid() checked.
     */
    class BoundsJudge {
    public:
      BoundsJudge(const TokenId& token, const SequenceTable& table)
        : m_table(table),
          m_earliestEnd(DefaultTemporalAdvisor::whole(token->end()->lastDomain().getLowerBound())),
          m_latestStart(DefaultTemporalAdvisor::whole(token->start()->lastDomain().getUpperBound())),
          m_minimumDuration(token->duration()->lastDomain().getLowerBound()) {}

      bool precedes(Slot slot) const {
        return DefaultTemporalAdvisor::boundsPrecede(m_earliestEnd, latestStart(slot));
      }
      bool follows(Slot slot) const {
        return DefaultTemporalAdvisor::boundsPrecede(earliestEnd(slot), m_latestStart);
      }
      bool fitsBetween(Slot predecessor, Slot successor) const {
        return DefaultTemporalAdvisor::boundsFit(m_minimumDuration, earliestEnd(predecessor),
                                                 latestStart(successor));
      }
      void checkGap(Slot /*before*/, Slot /*after*/) const {}

    private:
      Time earliestEnd(Slot slot) const { return DefaultTemporalAdvisor::whole(m_table.earliestEnd(slot)); }
      Time latestStart(Slot slot) const { return DefaultTemporalAdvisor::whole(m_table.latestStart(slot)); }

      const SequenceTable& m_table;
      const Time m_earliestEnd;
      const Time m_latestStart;
      const double m_minimumDuration;
    };

    /**
     * The three scans of getOrderingChoices over a non-empty table: to the first
     * token the token can precede, then over the gaps while the token can follow
     * each predecessor, then after the last token.
     */
    template <class Judge> class ChoiceScan {
    public:
      ChoiceScan(const TokenId& token, const SequenceTable& table, Judge& judge,
                 std::vector<std::pair<TokenId, TokenId> >& results, unsigned int limit)
        : m_token(token), m_table(table), m_judge(judge), m_results(results), m_limit(limit), m_count(0) {}

      void run() {
        SequenceTable::Cursor current(m_table, m_table.first());
        toFirstSuccessor(current);
        if (current.slot() == m_table.first()) {
          KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede", text(m_token)
                                                                     << " precedes the beginning token "
                                                                     << text(m_table.token(current.slot())));
          add(m_token, m_table.token(current.slot()));
          current.advance();
        }
        if (overGaps(current) && m_count < m_limit)
          afterLast();
      }

    private:
      void add(const TokenId& predecessor, const TokenId& successor) {
        m_results.push_back(std::make_pair(predecessor, successor));
        ++m_count;
      }

      /** Moves to the first token the token can precede; to the end when there is none. */
      void toFirstSuccessor(SequenceTable::Cursor& current) {
        for (; !current.atEnd(); current.advance()) {
          const TokenId& successor = m_table.token(current.slot());
          if (m_judge.precedes(current.slot())) {
            KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                         "At first position: " << text(m_token) << " precedes " << text(successor));
            return;
          }
          KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                       " at first position: " << text(m_token) << " cannot precede " << text(successor));
        }
      }

      /**
       * Adds the gaps the token fits, before each token from current on, while
       * the token can follow each predecessor and fewer than limit choices are
       * found. False when a predecessor the token cannot follow ended the scan.
       */
      bool overGaps(SequenceTable::Cursor& current) {
        for (; !current.atEnd() && m_count < m_limit; current.advance()) {
          const Slot after = current.slot();
          const Slot before = m_table.prev(after);
          m_judge.checkGap(before, after);
          const TokenId& predecessor = m_table.token(before);
          const TokenId& successor = m_table.token(after);
          if (!m_judge.follows(before)) {
            KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                         text(predecessor) << " cannot precede " << text(m_token));
            return false;
          }
          if (m_judge.fitsBetween(before, after)) {
            add(m_token, successor);
            KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                         text(m_token) << "can be inserted between " << text(predecessor) << " and "
                                       << text(successor));
          } else
            KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                         text(m_token) << "cannot be inserted between " << text(predecessor) << " and "
                                       << text(successor));
        }
        return true;
      }

      /** Adds (last, token) when the last token can precede the token. */
      void afterLast() {
        const TokenId& lastToken = m_table.token(m_table.last());
        if (m_judge.follows(m_table.last())) {
          add(lastToken, m_token);
          KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                       "last entry " << text(lastToken) << " precedes " << text(m_token));
        } else
          KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                       "last entry " << text(lastToken) << " cannot precede " << text(m_token));
      }

      const TokenId& m_token;
      const SequenceTable& m_table;
      Judge& m_judge;
      std::vector<std::pair<TokenId, TokenId> >& m_results;
      const unsigned int m_limit;
      unsigned int m_count;
    };

    template <class Judge>
    void scanChoices(const TokenId& token, const SequenceTable& table, Judge& judge,
                     std::vector<std::pair<TokenId, TokenId> >& results, unsigned int limit) {
      ChoiceScan<Judge>(token, table, judge, results, limit).run();
    }

  }

  void Timeline::getOrderingChoices(const TokenId& token, std::vector<std::pair<TokenId, TokenId> >& results,
                                    unsigned int limit) {
    KADRIX_CHECK(results.empty());
    KADRIX_CHECK(token.isValid());
    KADRIX_CHECK_MSG(limit > 0, "Cannot set limit to less than 1.");
    KADRIX_DEBUG("Timeline:getOrderingChoices", "Getting ordering choices for token ("
                                                    << token->getKey() << ") "
                                                    << token->getName().toString());

    const ConstraintEngineId& engine = getPlanDatabase()->getConstraintEngine();
    if (!engine->propagate())
      return;

    KADRIX_CHECK(isValid());
    KADRIX_CHECK_MSG(m_tokenIndex.find(token->getKey()) == m_tokenIndex.end(),
                     "Attempted to query for choices to constrain token "
                         << token->getPredicateName().toString() << " which has already been constrained.");

    if (m_tokenSequence.empty()) {
      KADRIX_DEBUG("Timeline:getOrderingChoices:canPrecede",
                   "Token sequence is empty, returning a single pair with same token");
      results.push_back(std::make_pair(token, token));
      return;
    }

    // The default advisor answers from bounds alone: those can come from the table.
    const TemporalAdvisorId& advisor = getPlanDatabase()->getTemporalAdvisor();
    const TemporalAdvisor& advising = *advisor;
    if (typeid(advising) == typeid(DefaultTemporalAdvisor) && engine->constraintConsistent()) {
      BoundsJudge judge(token, m_table);
      scanChoices(token, m_table, judge, results, limit);
    } else {
      AdvisorJudge judge(advisor, token, m_table);
      scanChoices(token, m_table, judge, results, limit);
    }
  }

  void Timeline::getTokensToOrder(std::vector<TokenId>& results) {
    KADRIX_CHECK(results.empty());
    getPlanDatabase()->getConstraintEngine()->propagate();
    KADRIX_CHECK_MSG(getPlanDatabase()->getConstraintEngine()->constraintConsistent(),
                     "Should be consistent to continue here. Should have checked before you called the "
                     "method in the first place.");
    KADRIX_CHECK(isValid());
    for (TokenSet::const_iterator it = tokens().begin(); it != tokens().end(); ++it)
      if (!hasToken(*it) && (*it)->isActive())
        results.push_back(*it);
  }

  bool Timeline::hasTokensToOrder() const {
    for (TokenSet::const_iterator it = tokens().begin(); it != tokens().end(); ++it)
      if ((*it)->isActive() && !hasToken(*it))
        return true;
    return false;
  }

  bool Timeline::isValid(bool cleaningUp) const {
    KADRIX_CHECK(Object::isValid());
    KADRIX_CHECK_MSG(m_tokenIndex.size() == m_tokenSequence.size(), m_tokenIndex.size()
                                                                        << " != " << m_tokenSequence.size());
    const bool consistent = getPlanDatabase()->getConstraintEngine()->constraintConsistent();
    const bool complete = !cleaningUp && consistent;
    for (std::vector<int>::const_iterator key = m_uncheckedPlaces.begin(); key != m_uncheckedPlaces.end();
         ++key) {
      const std::map<int, Place>::const_iterator entry = m_tokenIndex.find(*key);
      if (entry == m_tokenIndex.end())
        continue; // left the sequence: its neighbours were noted
      // With the sizes equal, index entries that point at their own tokens make the index exact.
      KADRIX_CHECK_TEXT((*entry->second.position)->getKey() == *key,
                        "allTokens.size() == m_tokenSequence.size()", "");
      checkPlace(entry->second, cleaningUp, consistent);
      if (!complete)
        m_deferredPlaces.insert(*key);
    }
    m_uncheckedPlaces.clear();
    // Places checked while cleaning up or inconsistent get the rest of their check later.
    if (complete && !m_deferredPlaces.empty()) {
      for (std::set<int>::const_iterator key = m_deferredPlaces.begin(); key != m_deferredPlaces.end();
           ++key) {
        const std::map<int, Place>::const_iterator entry = m_tokenIndex.find(*key);
        if (entry != m_tokenIndex.end())
          checkPlace(entry->second, cleaningUp, consistent);
      }
      m_deferredPlaces.clear();
    }
#ifdef KADRIX_FULL_WALKS
    checkWholeSequence(cleaningUp, consistent);
#endif
    return true;
  }

  void Timeline::checkPlace(const Place& place, bool cleaningUp, bool consistent) const {
    const Position position = place.position;
    const TokenId& token = *position;
    KADRIX_CHECK_MSG(m_table.token(place.slot) == token,
                     "The table's slot " << place.slot << " does not hold " << text(token));
    KADRIX_CHECK(cleaningUp || token->isActive());
    if (cleaningUp || !consistent)
      return;
    checkOrdered(position == m_tokenSequence.begin() ? TokenId::noId() : *std::prev(position), token);
    if (std::next(position) != m_tokenSequence.end())
      checkOrdered(token, *std::next(position));
  }

  void Timeline::checkOrdered(const TokenId& predecessor, const TokenId& token) const {
    const Time PLUS_INFINITY = g_infiniteTime();
    const Time MINUS_INFINITY = -PLUS_INFINITY;
    KADRIX_CHECK(predecessor.isNoId() || isConstrainedToPrecede(predecessor, token));
    Time prior_earliest_start = MINUS_INFINITY - 1;
    Time prior_earliest_end = MINUS_INFINITY - 1;
    Time prior_latest_end = MINUS_INFINITY;
    if (predecessor.isId()) {
      prior_earliest_start = static_cast<Time>(predecessor->start()->lastDomain().getLowerBound());
      prior_earliest_end = static_cast<Time>(predecessor->end()->lastDomain().getLowerBound());
      prior_latest_end = static_cast<Time>(predecessor->end()->lastDomain().getUpperBound());
    }
    const Time earliest_start = static_cast<Time>(token->start()->lastDomain().getLowerBound());
    const Time latest_start = static_cast<Time>(token->start()->lastDomain().getUpperBound());
    // Equal earliest starts are fine: a neighbour may last no time at all.
    KADRIX_CHECK(earliest_start == MINUS_INFINITY || earliest_start == PLUS_INFINITY ||
                 earliest_start >= prior_earliest_start);
    KADRIX_CHECK(prior_earliest_end <= earliest_start);
    KADRIX_CHECK(prior_latest_end <= latest_start);
  }

  void Timeline::checkWholeSequence(bool cleaningUp, bool consistent) const {
    // Each token must sit where the index says: a token listed twice cannot.
    std::size_t allTokens = 0;
    for (std::list<TokenId>::const_iterator it = m_tokenSequence.begin(); it != m_tokenSequence.end(); ++it) {
      const std::map<int, Place>::const_iterator entry = m_tokenIndex.find((*it)->getKey());
      KADRIX_CHECK_TEXT(entry != m_tokenIndex.end(),
                        "m_tokenIndex.find(token->getKey()) != m_tokenIndex.end()", "");
      if (entry != m_tokenIndex.end() && entry->second.position == it) {
        ++allTokens;
        KADRIX_CHECK_MSG(m_table.token(entry->second.slot) == *it,
                         "The table's slot " << entry->second.slot << " does not hold " << text(*it));
      }
      KADRIX_CHECK(cleaningUp || (*it)->isActive());
      if (!cleaningUp && consistent)
        checkOrdered(it == m_tokenSequence.begin() ? TokenId::noId() : *std::prev(it), *it);
    }
    KADRIX_CHECK_TEXT(allTokens == m_tokenSequence.size(), "allTokens.size() == m_tokenSequence.size()", "");
    KADRIX_CHECK(m_table.matches(m_tokenSequence));
  }

}
