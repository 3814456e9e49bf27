#ifndef KADRIX_TIMELINE_HH
#define KADRIX_TIMELINE_HH

#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/component/SequenceTable.hh"

#include <list>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace KADRIX {

  class Timeline;
  typedef Id<Timeline> TimelineId;

  /**
   * An object that keeps the tokens placed on it in one total order, its token
   * sequence. A token added to the timeline waits for ordering until constrain()
   * sequences it; free() and remove() take it out again. Every two neighbours
   * of the sequence are linked by a precedence constraint of the object: the
   * caller's explicit ones, and implicit ones the timeline makes by itself
   * between tokens that become neighbours.
   *
   * The sequence is held three ways, changed together by every operation: the
   * list getTokenSequence() returns, an index by token key of each token's
   * place in the list and in the table, and a SequenceTable that the scans of
   * getOrderingChoices() read.
   */
  class Timeline : public Object {
  public:
    /** What remove() passes to isValid(): a token on its way out may be inactive. */
    static const bool CLEANING_UP = true;

    /** A component timeline of parent. */
    Timeline(const ObjectId& parent, const LabelStr& type, const LabelStr& localName, bool open = false);
    /** A root timeline. */
    Timeline(const PlanDatabaseId& planDatabase, const LabelStr& type, const LabelStr& name,
             bool open = false);
    virtual ~Timeline() noexcept(false);

    /** The sequence, first token first. */
    const std::list<TokenId>& getTokenSequence() const { return m_tokenSequence; }

    /** Whether the token is in the sequence. */
    bool hasToken(const TokenId& token) const override;

    /**
     * The places where a waiting token can go, as (predecessor, successor)
     * pairs ready for constrain(): (token, token) on an empty timeline,
     * (token, s) for the gap just before s, (last, token) after the last.
     * At most limit pairs; none when propagation finds the plan inconsistent.
     */
    void getOrderingChoices(const TokenId& token, std::vector<std::pair<TokenId, TokenId> >& results,
                            unsigned int limit) override;
    /** The active tokens on the timeline that are not sequenced, by key. */
    void getTokensToOrder(std::vector<TokenId>& results) override;
    bool hasTokensToOrder() const override;

    /**
     * Orders predecessor before successor (explicitly) and sequences both: on an
     * empty timeline as the first pair (or one token alone), otherwise the one
     * not yet sequenced goes right next to the other.
     */
    void constrain(const TokenId& predecessor, const TokenId& successor) override;
    /**
     * Undoes constrain(): a token that keeps no explicit constraint leaves the
     * sequence and waits for ordering again; tokens that become neighbours are
     * linked implicitly.
     */
    void free(const TokenId& predecessor, const TokenId& successor) override;

    void notifyMerged(const TokenId& token) override;
    void notifyRejected(const TokenId& token) override;
    void notifyDeleted(const TokenId& token) override;

    /**
     * Checks the sequence against its index and, unless cleaning up and while
     * the network is consistent, that neighbours are linked and ordered in time.
     * Returns true or fails a check.
     *
     * Only the places changed since they were last checked are checked: a
     * place changes when a token enters or leaves the sequence next to it or
     * when the object's entries for its token change. Neighbours stay ordered
     * in time between changes because propagation keeps their precedence
     * constraint satisfied. Builds with KADRIX_FULL_WALKS also walk the whole
     * sequence on every call, so that the two verdicts are compared.
     */
    bool isValid(bool cleaningUp = false) const;

  protected:
    using Object::add;
    using Object::remove;

    /**
     * A token that stays in the sequence while orderings of tokens leaving it
     * are freed keeps its binding: what is sequenced here stays bound here, so
     * that no propagation takes it off the timeline behind the caller's back.
     */
    bool keepsBinding(const TokenId& token) const override;

    /** Puts the token on the timeline, waiting for ordering. */
    void add(const TokenId& token) override;
    /** Takes the token off; its neighbours are then linked explicitly. */
    void remove(const TokenId& token) override;
    /** Takes back changes of the sequence too: a token leaves it, or goes back before the token it preceded. */
    void takeBack(const std::vector<OrderingJournal::Change>& changes) override;

  private:
    typedef std::list<TokenId>::iterator Position;
    typedef SequenceTable::Slot Slot;
    /** Where a sequenced token is: its list position and its slot in the table. */
    struct Place {
      Position position;
      Slot slot;
    };

    Timeline(const Timeline&) = delete;
    Timeline& operator=(const Timeline&) = delete;

    void commonInit(bool open);

    /** Not deleted and not sequenced. */
    bool orderingRequired(const TokenId& token) const;
    bool atStart(const TokenId& token) const;
    bool atEnd(const TokenId& token) const;
    void insertToIndex(const TokenId& token, const Position& position);
    /** Takes the token at place out of the sequence and the table (not out of the index). */
    void erase(const Place& place);
    /** Notes the places on both sides of position as changed. */
    void touchNeighbours(Position position);
    /** Notes the place of the token as changed. */
    void notePlace(int tokenKey);
    void entriesChanged(int tokenKey) override;
    /** Checks one token's place: in the index, active, and ordered after predecessor. */
    void checkPlace(const Place& place, bool cleaningUp, bool consistent) const;
    /** Checks that token comes after predecessor (no id: token is first) in the plan. */
    void checkOrdered(const TokenId& predecessor, const TokenId& token) const;
    /** Checks every place of the sequence. */
    void checkWholeSequence(bool cleaningUp, bool consistent) const;
    /** Forgets the token's position; it waits for ordering again. */
    void removeFromIndex(const TokenId& token);
    /** Takes a token out of the sequence without linking anything; it waits for ordering again. */
    void unsequence(const TokenId& token);
    /** Puts a token back into the sequence right before next (last for no id); it waits no more. */
    void sequenceBefore(const TokenId& token, const TokenId& next);
    /** Whether y comes right after x in the sequence. */
    bool adjacent(const TokenId& x, const TokenId& y) const;
    /** Takes a token freed from itself out of the sequence, linking its neighbours. */
    void unlink(const TokenId& token);
    /** Takes the token out; the new first token, the one before it, or no id. */
    TokenId removePredecessor(const TokenId& token);
    /** Takes the token out; the new last token, the one after it, or no id. */
    TokenId removeSuccessor(const TokenId& token);
    /** Takes the token out and returns its neighbour on the asked side (the other side at an end). */
    TokenId removeWithNeighbour(const TokenId& token, bool predecessor);
    /** The neighbours of a sequenced token (no id at either end). */
    std::pair<TokenId, TokenId> neighbours(const TokenId& token) const;

    /** Names the tokens that may leave the sequence while it lives: the others keep their bindings. */
    class Leaving {
    public:
      Leaving(Timeline& timeline, const TokenId& first, const TokenId& second);
      ~Leaving();
      Leaving(const Leaving&) = delete;
      Leaving& operator=(const Leaving&) = delete;

    private:
      Timeline& m_timeline;
      // What an enclosing scope named, given back at the end (propagation may free orderings within).
      const std::pair<TokenId, TokenId> m_outer;
      const bool m_outerFreeing;
    };

    std::list<TokenId> m_tokenSequence;
    // While orderings are freed: the tokens that may leave the sequence (none outside).
    std::pair<TokenId, TokenId> m_leaving;
    bool m_freeing = false;
    std::map<int, Place> m_tokenIndex;
    // The sequence again, compact, for the scans of getOrderingChoices().
    SequenceTable m_table;
    // Keys of the tokens whose places changed since the last isValid(); may repeat.
    mutable std::vector<int> m_uncheckedPlaces;
    // Keys of the sequenced tokens whose places were last checked while cleaning up
    // or inconsistent: their activity and order are still to be checked.
    mutable std::set<int> m_deferredPlaces;
  };

}

#endif
