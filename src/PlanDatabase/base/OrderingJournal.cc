#include "PlanDatabase/base/OrderingJournal.hh"

#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "Utils/base/Error.hh"

#include <exception>

namespace KADRIX {

  OrderingJournal::OrderingJournal(const PlanDatabase& db) : m_db(db) {}

  OrderingJournal::ObjectSlot::ObjectSlot(const ObjectId& made) : object(made), name(made->getName()) {}

  OrderingJournal::CallRecord::CallRecord(OrderingJournal& journal, Call call, const TokenId& first,
                                          const TokenId& second, const ObjectId& object)
    : m_journal(journal), m_open(journal.m_recording && journal.m_paused == 0), m_index(0),
      m_exceptions(std::uncaught_exceptions()) {
    if (!m_open)
      return;
    m_index = m_journal.m_calls.size();
    const CallEntry entry = {call, false, m_journal.objectSlot(object), m_journal.tokenSlot(first),
                             m_journal.tokenSlot(second), static_cast<std::uint32_t>(m_journal.m_changes.size())};
    m_journal.m_calls.push_back(entry);
    ++m_journal.m_noting;
  }

  OrderingJournal::CallRecord::~CallRecord() {
    if (!m_open)
      return;
    --m_journal.m_noting;
    // A refused call that changed nothing is no call; one that changed part of
    // the plan before it failed keeps what it changed.
    std::vector<CallEntry>& calls = m_journal.m_calls;
    if (m_index + 1 != calls.size())
      return;
    if (std::uncaught_exceptions() > m_exceptions && calls.back().firstChange == m_journal.m_changes.size())
      m_journal.dropNewest();
    else if (calls.back().forgotten) {
      const CallEntry retraction = calls.back();
      m_journal.dropNewest();
      if (retraction.call == FREE && !calls.empty() && calls.back().call == CONSTRAIN &&
          calls.back().object == retraction.object && calls.back().first == retraction.first &&
          calls.back().second == retraction.second)
        m_journal.dropNewest();
    }
  }

  void OrderingJournal::forgetRetraction() {
    if (m_noting > 0 && m_paused == 0 && !m_calls.empty())
      m_calls.back().forgotten = true;
  }

  void OrderingJournal::dropNewest() {
    m_changes.resize(m_calls.back().firstChange);
    m_calls.pop_back();
  }

  void OrderingJournal::append(const ObjectId& object, Kind kind, const TokenId& first, const TokenId& second,
                               bool explicitMark, const TokenId& third) {
    const Noted change = {
        kind, explicitMark, objectSlot(object), tokenSlot(first), tokenSlot(second), tokenSlot(third)};
    m_changes.push_back(change);
  }

  namespace {
    /** The slot of the handle's key in the table, made from the handle on the first need; none for no handle. */
    template <class Slot, class Handle>
    std::uint32_t slotOf(std::unordered_map<unsigned int, std::uint32_t>& slots, std::vector<Slot>& table,
                         const Handle& handle, std::uint32_t none) {
      if (handle.isNoId())
        return none;
      const std::pair<std::unordered_map<unsigned int, std::uint32_t>::iterator, bool> slot =
          slots.emplace(handle.getKey(), static_cast<std::uint32_t>(table.size()));
      if (slot.second)
        table.push_back(Slot(handle));
      return slot.first->second;
    }
  }

  std::uint32_t OrderingJournal::tokenSlot(const TokenId& token) { return slotOf(m_tokenSlots, m_tokens, token, NONE); }

  std::uint32_t OrderingJournal::objectSlot(const ObjectId& object) {
    if (object.isNoId() || m_objectSlots.count(object.getKey()) != 0)
      return slotOf(m_objectSlots, m_objects, object, NONE);
    // An object made again by a rewind takes over the slot of the one deleted.
    const double name = object->getName().getKey();
    const std::unordered_map<double, std::uint32_t>::const_iterator named = m_objectSlotsByName.find(name);
    if (named != m_objectSlotsByName.end() && !m_objects[named->second].object.isValid()) {
      m_objects[named->second].object = object;
      m_objectSlots[object.getKey()] = named->second;
      return named->second;
    }
    const std::uint32_t slot = slotOf(m_objectSlots, m_objects, object, NONE);
    m_objectSlotsByName[name] = slot;
    return slot;
  }

  TokenId OrderingJournal::tokenIn(std::uint32_t slot) const {
    return slot == NONE ? TokenId::noId() : m_tokens[slot];
  }

  ObjectId OrderingJournal::objectIn(std::uint32_t slot) const {
    if (slot == NONE)
      return ObjectId::noId();
    // An object deleted and made again by a rewind is found by its name.
    const ObjectSlot& entry = m_objects[slot];
    return entry.object.isValid() ? entry.object : m_db.getObject(entry.name);
  }

  bool OrderingJournal::newestIs(Call call, const ObjectId& object, const TokenId& first,
                                 const TokenId& second) const {
    if (m_calls.empty())
      return false;
    const CallEntry& entry = m_calls.back();
    return entry.call == call && objectIn(entry.object) == object && tokenIn(entry.first) == first &&
           tokenIn(entry.second) == second;
  }

  bool OrderingJournal::newestIsDeletion() const {
    return !m_calls.empty() && m_calls.back().call == DELETE_TOKEN;
  }

  void OrderingJournal::madeAgain(const TokenId& token) {
    KADRIX_CHECK_MSG(!m_calls.empty() && m_calls.back().call == DELETE_TOKEN,
                     "No deletion of a token is recorded to be taken back.");
    KADRIX_CHECK_MSG(token.isValid(), "Taking back a deletion needs the token made again in its place.");
    const std::uint32_t slot = m_calls.back().first;
    m_tokens[slot] = token;
    m_tokenSlots[token.getKey()] = slot;
  }

  void OrderingJournal::takeBackNewest() {
    KADRIX_CHECK_MSG(!m_calls.empty(), "No ordering call is recorded to be taken back.");
    takeBackFrom(m_calls.back().firstChange);
    m_calls.pop_back();
  }

  void OrderingJournal::takeBackFrom(std::size_t first) {
    const Pause pause(*this);
    // Newest first, a run of changes of one object at a time.
    std::vector<Change> run;
    std::size_t end = m_changes.size();
    while (end > first) {
      const std::uint32_t slot = m_changes[end - 1].object;
      run.clear();
      for (; end > first && m_changes[end - 1].object == slot; --end) {
        const Noted& noted = m_changes[end - 1];
        const Change change = {noted.kind, noted.explicitMark, tokenIn(noted.first), tokenIn(noted.second)};
        KADRIX_CHECK_MSG(change.first.isValid() && (noted.second == NONE || change.second.isValid()),
                         "A token whose orderings a call changed is gone: the call cannot be taken back.");
        run.push_back(change);
      }
      const ObjectId object = objectIn(slot);
      KADRIX_CHECK_MSG(object.isValid(), "The object " << m_objects[slot].name.toString()
                                                       << " whose orderings a call changed is gone.");
      object->takeBack(run);
    }
    m_changes.resize(first);
  }
}
