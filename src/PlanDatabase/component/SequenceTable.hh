#ifndef KADRIX_SEQUENCE_TABLE_HH
#define KADRIX_SEQUENCE_TABLE_HH

#include "ConstraintEngine/base/IntervalDomain.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

#include <list>
#include <vector>

namespace KADRIX {

  /**
   * A timeline's token sequence as a compact table for the scans of ordering
   * queries: one slot per sequenced token with its handle and the derived
   * domains of its start and end. A scan reads this small array and the
   * bounds themselves instead of chasing list nodes, tokens and variables.
   *
   * The slots form an array-backed doubly linked list in sequence order;
   * freed slots are reused last-in first-out. The timeline keeps the table in
   * step with every change of its sequence, through insert() and erase(), so
   * that between its operations:
   *  - next() from first() visits each used slot once, in the order of the
   *    sequence, and ends at NONE after last(); prev() retraces the same path;
   *  - a used slot holds its token's start and end derived domains, which stay
   *    at the same address for the token's life (constraints hold references
   *    to them too).
   * Timeline::isValid() checks the slot of each changed place, and in builds
   * with KADRIX_FULL_WALKS the whole table against the sequence.
   */
  class SequenceTable {
  public:
    typedef unsigned int Slot;
    /** No slot: before the first and after the last. */
    static constexpr Slot NONE = ~0u;

    SequenceTable() : m_first(NONE), m_last(NONE), m_free(NONE), m_size(0) {}

    Slot first() const { return m_first; }
    Slot last() const { return m_last; }
    Slot next(Slot slot) const { return m_slots[slot].next; }
    Slot prev(Slot slot) const { return m_slots[slot].prev; }
    size_t size() const { return m_size; }
    const TokenId& token(Slot slot) const { return m_slots[slot].token; }
    const IntervalDomain& start(Slot slot) const { return *m_slots[slot].start; }
    const IntervalDomain& end(Slot slot) const { return *m_slots[slot].end; }
    /**
     * The latest start and earliest end of the slot's token. Read as the
     * interval domain holds them (no interval domain class redefines its
     * bounds), so that only the line of the bounds is touched.
     */
    double latestStart(Slot slot) const { return m_slots[slot].start->IntervalDomain::getUpperBound(); }
    double earliestEnd(Slot slot) const { return m_slots[slot].end->IntervalDomain::getLowerBound(); }

    /** Puts the token in a new slot right before successor, or last for NONE; returns the slot. */
    Slot insert(const TokenId& token, Slot successor);
    /** Frees a used slot, joining its neighbours. */
    void erase(Slot slot);
    void clear();

    /**
     * The slots in sequence order from a given one, asking the cache for the
     * bounds of the slots some places ahead: the loads of a scan then overlap
     * instead of waiting for one another.
     */
    class Cursor {
    public:
      Cursor(const SequenceTable& table, Slot from);
      Slot slot() const { return m_slot; }
      bool atEnd() const { return m_slot == NONE; }
      void advance();

    private:
      static constexpr int DISTANCE = 8;
      const SequenceTable& m_table;
      Slot m_slot;
      Slot m_ahead;
    };

    /**
     * Checks the table against the sequence: the same tokens in the same
     * order, linked both ways, each with its own domains; true or a failed check.
     */
    bool matches(const std::list<TokenId>& sequence) const;

  private:
    struct Entry {
      TokenId token;
      const IntervalDomain* start;
      const IntervalDomain* end;
      Slot prev;
      Slot next; // the next free slot while free
    };

    /** Prefetches the bounds of the slot's domains. */
    void prefetch(Slot slot) const;

    std::vector<Entry> m_slots;
    Slot m_first;
    Slot m_last;
    Slot m_free; // LIFO list of freed slots, through next
    size_t m_size;
  };

}

#endif
