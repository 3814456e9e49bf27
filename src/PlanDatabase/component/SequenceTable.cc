#include "PlanDatabase/component/SequenceTable.hh"

#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  namespace {
    const IntervalDomain* domainOf(const TempVarId& var) {
      return &static_cast<const IntervalDomain&>(var->lastDomain());
    }

    std::string describe(const TokenId& token) {
      return token.isValid() ? token->toString() : std::string("a token gone");
    }
  }

  SequenceTable::Slot SequenceTable::insert(const TokenId& token, Slot successor) {
    Slot slot = m_free;
    if (slot == NONE) {
      slot = static_cast<Slot>(m_slots.size());
      m_slots.push_back(Entry());
    } else
      m_free = m_slots[slot].next;
    Entry& entry = m_slots[slot];
    entry.token = token;
    entry.start = domainOf(token->start());
    entry.end = domainOf(token->end());
    entry.next = successor;
    entry.prev = successor == NONE ? m_last : m_slots[successor].prev;
    if (entry.prev == NONE)
      m_first = slot;
    else
      m_slots[entry.prev].next = slot;
    if (successor == NONE)
      m_last = slot;
    else
      m_slots[successor].prev = slot;
    ++m_size;
    return slot;
  }

  void SequenceTable::erase(Slot slot) {
    Entry& entry = m_slots[slot];
    if (entry.prev == NONE)
      m_first = entry.next;
    else
      m_slots[entry.prev].next = entry.next;
    if (entry.next == NONE)
      m_last = entry.prev;
    else
      m_slots[entry.next].prev = entry.prev;
    entry = Entry();
    entry.next = m_free;
    m_free = slot;
    --m_size;
  }

  void SequenceTable::clear() {
    m_slots.clear();
    m_first = m_last = m_free = NONE;
    m_size = 0;
  }

  void SequenceTable::prefetch(Slot slot) const {
    // The bounds follow the part every domain has.
    const Entry& entry = m_slots[slot];
    __builtin_prefetch(reinterpret_cast<const char*>(entry.start) + sizeof(AbstractDomain));
    __builtin_prefetch(reinterpret_cast<const char*>(entry.end) + sizeof(AbstractDomain));
  }

  SequenceTable::Cursor::Cursor(const SequenceTable& table, Slot from)
    : m_table(table), m_slot(from), m_ahead(from) {
    for (int i = 0; i < DISTANCE && m_ahead != NONE; ++i) {
      m_table.prefetch(m_ahead);
      m_ahead = m_table.next(m_ahead);
    }
  }

  void SequenceTable::Cursor::advance() {
    m_slot = m_table.next(m_slot);
    if (m_ahead != NONE) {
      m_table.prefetch(m_ahead);
      m_ahead = m_table.next(m_ahead);
    }
  }

  bool SequenceTable::matches(const std::list<TokenId>& sequence) const {
    KADRIX_CHECK_MSG(m_size == sequence.size(), m_size << " slots for " << sequence.size() << " tokens");
    Slot slot = m_first;
    Slot previous = NONE;
    for (std::list<TokenId>::const_iterator it = sequence.begin(); it != sequence.end(); ++it) {
      KADRIX_CHECK_MSG(slot != NONE, "The table ends before " << (*it)->toString());
      const Entry& entry = m_slots[slot];
      KADRIX_CHECK_MSG(entry.token == *it, "Slot " << slot << " holds " << describe(entry.token) << " where "
                                                   << (*it)->toString() << " is sequenced");
      KADRIX_CHECK_MSG(entry.prev == previous, "Slot " << slot << " is not linked back to " << previous);
      KADRIX_CHECK_MSG(entry.start == domainOf((*it)->start()) && entry.end == domainOf((*it)->end()),
                       "Slot " << slot << " does not hold the domains of " << (*it)->toString());
      previous = slot;
      slot = entry.next;
    }
    KADRIX_CHECK_MSG(slot == NONE && m_last == previous, "The table goes on after the last token");
    return true;
  }

}
