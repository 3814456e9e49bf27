#ifndef KADRIX_ORDERING_JOURNAL_HH
#define KADRIX_ORDERING_JOURNAL_HH

#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "Utils/base/LabelStr.hh"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace KADRIX {

  /**
   * What each ordering call of the client changed on the objects of its plan,
   * so that a rewind can take the changes back exactly.
   *
   * A call changes more than it names: a timeline that takes a token out
   * links its neighbours, a free can leave an ordering implicit or a token
   * alone in its sequence, a cancel drops every ordering of its token, and a
   * deleted object leaves the object domains of the tokens that could be on
   * it. The
   * journal is a trail in the manner of a backtracking solver's: while a
   * client call runs, each object notes every elementary change of its
   * ordering tables (a binding, a precedence constraint with its explicit
   * mark, a mark alone, a place in a timeline's sequence), and taking a call
   * back undoes its changes newest first, which leaves the tables as they
   * were before the call. A rewind takes back the newest call first, so the
   * plan is always the one that the changes were noted against.
   *
   * Invariants:
   * - m_calls holds one entry per call recorded and not taken back, oldest
   *   first; the changes of call i are m_changes[m_calls[i].firstChange,
   *   m_calls[i + 1].firstChange), the last call's run to the end.
   * - Changes are noted only while a call is open and the journal is not
   *   paused: a rewind pauses it, since what it does is taken back, not done.
   *   A call refused before it changed anything, and a retraction that a
   *   chronological log forgets (forgetRetraction), leave no entry.
   * - A token or object is noted by a slot, its own across being deleted
   *   and made again: m_tokens[slot] is the token's current handle, rebound
   *   when a rewind makes a deleted token again (takeBackNewest); an object
   *   whose handle went is found again by its name.
   */
  class OrderingJournal {
  public:
    /** The client calls that the journal records. */
    enum Call : std::uint8_t { CONSTRAIN, FREE, CANCEL, DELETE_TOKEN, DELETE_OBJECT };

    /** An elementary change of an object's ordering tables. */
    enum Kind : std::uint8_t {
      BOUND, // first was bound to the object ("eq")
      UNBOUND, // first's binding went
      PRECEDED, // a precedence constraint from first to second was made, explicit or not
      UNPRECEDED, // that constraint went; explicitMark tells whether it was explicit
      MARKED, // the ordering of first before second (first alone: second is first) became explicit
      UNMARKED, // it is explicit no more
      SEQUENCED, // first entered the timeline's sequence
      UNSEQUENCED, // first left it; second was the token after it (none at the end)
      LEFT_DOMAIN // the object, deleted, left the object domain of token first
    };

    /** A change with the current handles of its tokens, as an object takes it back. */
    struct Change {
      Kind kind;
      bool explicitMark;
      TokenId first;
      TokenId second;
    };

    explicit OrderingJournal(const PlanDatabase& db);

    /** Whether calls are recorded (while the client logs transactions). */
    bool isRecording() const { return m_recording; }
    void setRecording(bool recording) { m_recording = recording; }

    /**
     * Records the changes that objects note while it lives as those of one
     * call. A call refused before it changed anything leaves no entry.
     */
    class CallRecord {
    public:
      CallRecord(OrderingJournal& journal, Call call, const TokenId& first, const TokenId& second,
                 const ObjectId& object);
      ~CallRecord();
      CallRecord(const CallRecord&) = delete;
      CallRecord& operator=(const CallRecord&) = delete;

    private:
      OrderingJournal& m_journal;
      bool m_open;
      std::size_t m_index; // of its entry in m_calls
      int m_exceptions;
    };

    /** Notes nothing while it lives: what a rewind does is taken back, not recorded. */
    class Pause {
    public:
      explicit Pause(OrderingJournal& journal) : m_journal(journal) { ++m_journal.m_paused; }
      ~Pause() { --m_journal.m_paused; }
      Pause(const Pause&) = delete;
      Pause& operator=(const Pause&) = delete;

    private:
      OrderingJournal& m_journal;
    };

    /** Notes one change of the object's ordering tables, while a call is recorded. */
    void note(const ObjectId& object, Kind kind, const TokenId& first, const TokenId& second,
              bool explicitMark = false) {
      if (m_noting > 0 && m_paused == 0)
        append(object, kind, first, second, explicitMark);
    }

    /** The newest call recorded is this one (by the current handles of what it named, none for none). */
    bool newestIs(Call call, const ObjectId& object, const TokenId& first, const TokenId& second) const;
    /** The newest call recorded deleted a token. */
    bool newestIsDeletion() const;

    /**
     * Takes back the changes of the newest call, newest first, and forgets
     * the call. `madeAgain`, for a deletion, is the token made again in place
     * of the deleted one: it takes over the deleted token's slot, so that the
     * changes of older calls that named the deleted token name it.
     */
    void takeBackNewest(const TokenId& madeAgain = TokenId::noId());

    /**
     * The call being made retracts the newest action, as a log in the
     * chronological-backtracking mode takes it: when the call ends it is
     * forgotten, and so is the constrain that it frees, with nothing taken
     * back, so that the calls recorded stay those of the actions in force.
     */
    void forgetRetraction();

    /** The calls recorded and not taken back. */
    std::size_t size() const { return m_calls.size(); }

  private:
    static const std::uint32_t NONE = ~0u;

    struct Noted {
      Kind kind;
      bool explicitMark;
      std::uint32_t object;
      std::uint32_t first;
      std::uint32_t second;
    };
    struct CallEntry {
      Call call;
      bool forgotten;
      std::uint32_t object;
      std::uint32_t first;
      std::uint32_t second;
      std::uint32_t firstChange;
    };
    struct ObjectSlot {
      explicit ObjectSlot(const ObjectId& made);
      ObjectId object;
      LabelStr name;
    };

    void append(const ObjectId& object, Kind kind, const TokenId& first, const TokenId& second,
                bool explicitMark);
    /** Drops the newest call and its changes, taking nothing back. */
    void dropNewest();
    std::uint32_t tokenSlot(const TokenId& token);
    std::uint32_t objectSlot(const ObjectId& object);
    TokenId tokenIn(std::uint32_t slot) const;
    ObjectId objectIn(std::uint32_t slot) const;

    const PlanDatabase& m_db;
    bool m_recording = false;
    int m_noting = 0; // calls open
    int m_paused = 0;
    std::vector<CallEntry> m_calls;
    std::vector<Noted> m_changes;
    std::vector<TokenId> m_tokens;
    std::unordered_map<unsigned int, std::uint32_t> m_tokenSlots; // by handle key
    std::vector<ObjectSlot> m_objects;
    std::unordered_map<unsigned int, std::uint32_t> m_objectSlots; // by handle key
  };

}

#endif
