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
   * it. The journal is a trail in the manner of a backtracking solver's: while a
   * client call runs, each object notes every elementary change of its
   * ordering tables (a binding, a precedence constraint with its explicit
   * mark, a mark alone, a place in a timeline's sequence), and taking a call
   * back undoes its changes newest first, which leaves the tables as they
   * were before the call. A rewind takes back the newest call first, so the
   * plan is always the one that the changes were noted against.
   *
   * A rewind gives a call back through calls of the client where it can (a
   * free for a constrain, a constrain for a free, frees and constrains for
   * what a cancel or a deletion took, OrderingJournalCalls.cc): they are
   * carried out on the plan as a probe, noted like a call, and where the
   * changes they make undo exactly those of the call they stand, and the
   * client tells its listeners of them, so that a log kept across the rewind
   * replays to the same plan. Whether they do is read off fingerprints: each
   * change toggles the facts of an object's ordering tables that it makes or
   * ends (a binding, a precedence with its mark, a token's own mark, two
   * neighbours of a sequence, a token in an object domain), and two runs of
   * changes that toggle the same facts by exclusive or leave the same tables.
   * Where no calls do, the call is taken back from the journal alone.
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
   *   when a rewind makes a deleted token again (madeAgain); an object made
   *   again takes over the slot of the one of its name whose handle went.
   * - m_probing is set only while replaceNewest carries calls out; their
   *   changes are then noted, paused or not, and end up forgotten or taken
   *   back before it returns.
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
      SEQUENCED, // first entered the timeline's sequence between third and second (none at an end)
      UNSEQUENCED, // first left it from between third and second
      LEFT_DOMAIN // the object, deleted, left the object domain of token first
    };

    /** A change with the current handles of its tokens, as an object takes it back. */
    struct Change {
      Kind kind;
      bool explicitMark;
      TokenId first;
      TokenId second;
    };

    /**
     * Calls of the client that a rewind can make in place of taking a call
     * back: order two tokens on an object, free them, or activate or cancel a
     * token (the predecessor).
     */
    struct OrderingCall {
      enum Action : std::uint8_t { ORDER, FREE, ACTIVATE, CANCEL };
      Action action;
      ObjectId object;
      TokenId predecessor;
      TokenId successor;
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

    /**
     * Notes one change of the object's ordering tables, while a call is
     * recorded or calls are probed; `third` is the token before one entering
     * or leaving a sequence.
     */
    void note(const ObjectId& object, Kind kind, const TokenId& first, const TokenId& second,
              bool explicitMark = false, const TokenId& third = TokenId::noId()) {
      if ((m_noting > 0 && m_paused == 0) || m_probing)
        append(object, kind, first, second, explicitMark, third);
    }

    /** The newest call recorded is this one (by the current handles of what it named, none for none). */
    bool newestIs(Call call, const ObjectId& object, const TokenId& first, const TokenId& second) const;
    /** The newest call recorded deleted a token. */
    bool newestIsDeletion() const;

    /**
     * The newest call deleted a token: `madeAgain`, the token a rewind made
     * again in its place, takes over the deleted token's slot, so that the
     * changes of this and older calls that named the deleted token name it.
     */
    void madeAgain(const TokenId& token);

    /** Takes back the changes of the newest call, newest first, and forgets the call. */
    void takeBackNewest();

    /**
     * Gives back what the newest call changed, and forgets the call: by calls
     * of the client where some give it back exactly (carried out; `calls`
     * holds them and the answer is true), else from the journal alone
     * (`calls` then holds the likeliest calls that the client carries out
     * from this plan, or none, and the answer is false).
     */
    bool giveBackNewest(std::vector<OrderingCall>& calls);


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
      std::uint32_t third;
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
                bool explicitMark, const TokenId& third);
    /** Drops the newest call and its changes, taking nothing back. */
    void dropNewest();
    /** Takes back the changes from `first` on, newest first, and forgets them. */
    void takeBackFrom(std::size_t first);

    // Giving a call back by calls of the client (OrderingJournalCalls.cc).

    /**
     * The calls of the client, each run in order, that may give back what
     * the newest call changed, the likeliest first; none where no calls can
     * (an object deleted left object domains).
     */
    std::vector<std::vector<OrderingCall> > callsGivingBackNewest() const;
    /** What carrying calls out in place of the newest call came to. */
    enum Replacement { REPLACED, GAVE_OTHER, REFUSED };
    /**
     * Carries the calls out on their objects in place of taking back the
     * newest call, and forgets that call, where they give back exactly what
     * it changed (REPLACED). Otherwise takes back what they changed, with
     * nothing changed in the end: they gave back other orderings, or one of
     * them was refused.
     */
    Replacement replaceNewest(const std::vector<OrderingCall>& calls);
    /**
     * The calls that take the token off and place it again on the object with
     * the orderings it had before the call of the entry.
     */
    std::vector<OrderingCall> placedAgain(const CallEntry& entry, const ObjectId& object,
                                          const TokenId& token) const;
    /** Adds the calls that leave a token alone in a sequence again where the call of the entry took it. */
    void leftAloneAgain(const CallEntry& entry, std::vector<std::vector<OrderingCall> >& candidates) const;
    /** Whether a cancel takes the token off its objects alone, and an activation gives it back as it was. */
    static bool reactivates(const TokenId& token);
    /** Appends the calls that cancel the token and activate it again. */
    static void reactivate(const TokenId& token, std::vector<OrderingCall>& calls);
    /** Carries out one call on the plan. */
    void carryOut(const OrderingCall& call) const;
    /**
     * Takes back what calls carried out changed, newest first: the changes of
     * call i begin at firsts[i]; the first `completed` calls ended, and a
     * further one was refused part-way.
     */
    void takeBackCalls(const std::vector<OrderingCall>& calls, const std::vector<std::size_t>& firsts,
                       std::size_t completed);
    /** The exclusive or of the facts that the changes in [first, last) toggle. */
    std::uint64_t fingerprint(std::size_t first, std::size_t last) const;
    std::uint32_t tokenSlot(const TokenId& token);
    std::uint32_t objectSlot(const ObjectId& object);
    TokenId tokenIn(std::uint32_t slot) const;
    ObjectId objectIn(std::uint32_t slot) const;

    const PlanDatabase& m_db;
    bool m_recording = false;
    int m_noting = 0; // calls open
    int m_paused = 0;
    bool m_probing = false; // calls are carried out in place of the newest call
    std::vector<CallEntry> m_calls;
    std::vector<Noted> m_changes;
    std::vector<TokenId> m_tokens;
    std::unordered_map<unsigned int, std::uint32_t> m_tokenSlots; // by handle key
    std::vector<ObjectSlot> m_objects;
    std::unordered_map<unsigned int, std::uint32_t> m_objectSlots; // by handle key
    std::unordered_map<double, std::uint32_t> m_objectSlotsByName; // by name key: made again, found again
  };

}

#endif
