// Giving a call back by calls of the client: the calls a rewind tries in
// place of taking a call back from the journal alone, and the probe that
// carries them out and tells, by fingerprints, whether they give back
// exactly what the call changed.
//
// A call of the client can only be given back by calls whose effects the
// objects' own rules decide: a free takes a token that no explicit ordering
// holds out of its sequence, a cancel links the neighbours it leaves, an
// ordering is explicit only when made so. The candidates below are the
// calls that give back each kind of call where those rules allow it; where
// none does, the journal takes the call back alone.

#include "PlanDatabase/base/OrderingJournal.hh"

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Error.hh"

#include <initializer_list>

// Part of OrderingJournal: checks report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/base/OrderingJournal.cc"

namespace KADRIX {

  namespace {
    /** Sets the flag while it lives. */
    class Probing {
    public:
      explicit Probing(bool& flag) : m_flag(flag) { m_flag = true; }
      ~Probing() { m_flag = false; }
      Probing(const Probing&) = delete;
      Probing& operator=(const Probing&) = delete;

    private:
      bool& m_flag;
    };

    /** A mix of the fields of one fact into 64 bits (the finaliser of splitmix64). */
    std::uint64_t fact(std::uint64_t kind, std::uint64_t object, std::uint64_t a, std::uint64_t b = 0,
                       std::uint64_t c = 0) {
      std::uint64_t h = kind;
      for (std::uint64_t field : {object, a, b, c}) {
        h = (h ^ field) + 0x9e3779b97f4a7c15ULL;
        h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
        h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
        h ^= h >> 31;
      }
      return h;
    }
  }

  std::uint64_t OrderingJournal::fingerprint(std::size_t first, std::size_t last) const {
    enum { BINDING = 1, PRECEDENCE, OWN_MARK, NEIGHBOURS, DOMAIN };
    std::uint64_t facts = 0;
    for (std::size_t i = first; i < last; ++i) {
      const Noted& n = m_changes[i];
      switch (n.kind) {
        case BOUND:
        case UNBOUND:
          facts ^= fact(BINDING, n.object, n.first);
          break;
        case PRECEDED:
        case UNPRECEDED:
          facts ^= fact(PRECEDENCE, n.object, n.first, n.second, n.explicitMark);
          break;
        case MARKED:
        case UNMARKED:
          if (n.first == n.second)
            facts ^= fact(OWN_MARK, n.object, n.first);
          else
            facts ^= fact(PRECEDENCE, n.object, n.first, n.second, 0) ^
                     fact(PRECEDENCE, n.object, n.first, n.second, 1);
          break;
        case SEQUENCED:
        case UNSEQUENCED:
          // The token stands between third and second, or they are neighbours.
          facts ^= fact(NEIGHBOURS, n.object, n.third, n.second) ^
                   fact(NEIGHBOURS, n.object, n.third, n.first) ^
                   fact(NEIGHBOURS, n.object, n.first, n.second);
          break;
        case LEFT_DOMAIN:
          facts ^= fact(DOMAIN, n.object, n.first);
          break;
      }
    }
    return facts;
  }

  bool OrderingJournal::giveBackNewest(std::vector<OrderingCall>& calls) {
    const std::vector<std::vector<OrderingCall> > candidates = callsGivingBackNewest();
    const std::vector<OrderingCall>* nearest = nullptr;
    for (const std::vector<OrderingCall>& candidate : candidates) {
      const Replacement replacement = replaceNewest(candidate);
      if (replacement == REPLACED) {
        calls = candidate;
        return true;
      }
      if (replacement == GAVE_OTHER && nearest == nullptr)
        nearest = &candidate;
    }
    takeBackNewest();
    calls = nearest != nullptr ? *nearest : std::vector<OrderingCall>();
    return false;
  }

  std::vector<std::vector<OrderingJournal::OrderingCall> > OrderingJournal::callsGivingBackNewest() const {
    KADRIX_CHECK_MSG(!m_calls.empty(), "No ordering call is recorded to be taken back.");
    const CallEntry& entry = m_calls.back();
    // A call that changed nothing is given back by no calls at all.
    std::vector<std::vector<OrderingCall> > candidates;
    if (entry.firstChange == m_changes.size()) {
      candidates.emplace_back();
      return candidates;
    }
    if (entry.call == CONSTRAIN || entry.call == FREE) {
      const OrderingCall inverse = {entry.call == CONSTRAIN ? OrderingCall::FREE : OrderingCall::ORDER,
                                    objectIn(entry.object), tokenIn(entry.first), tokenIn(entry.second)};
      candidates.push_back(std::vector<OrderingCall>(1, inverse));
      // A token the constrain placed comes off again by a cancel, where a
      // free would take the token it was placed next to with it.
      if (entry.call == CONSTRAIN)
        for (std::size_t i = entry.firstChange; i < m_changes.size(); ++i)
          if (m_changes[i].kind == SEQUENCED && reactivates(tokenIn(m_changes[i].first))) {
            candidates.emplace_back();
            reactivate(tokenIn(m_changes[i].first), candidates.back());
          }
      // A mark or a precedence between two tokens that stay sequenced goes
      // only with one of them: it is placed again as it was before the call.
      for (const TokenId& token : {inverse.predecessor, inverse.successor})
        if (reactivates(token) && inverse.object->hasToken(token))
          candidates.push_back(placedAgain(entry, inverse.object, token));
      if (entry.call == FREE)
        leftAloneAgain(entry, candidates);
      return candidates;
    }
    // A cancel or a deletion took a token off its objects: it linked the
    // token's neighbours, which are freed, and the token is ordered again by
    // its own mark and its explicit orderings, oldest first. Tokens that
    // those orderings held and that are left in a sequence with none of
    // their own are freed first, so that they are placed again with it.
    std::vector<OrderingCall> frees, orders, loose;
    for (std::size_t i = entry.firstChange; i < m_changes.size(); ++i) {
      const Noted& n = m_changes[i];
      const ObjectId object = objectIn(n.object);
      if (n.kind == LEFT_DOMAIN)
        return candidates;
      if (n.kind == PRECEDED && n.explicitMark)
        frees.push_back({OrderingCall::FREE, object, tokenIn(n.first), tokenIn(n.second)});
      else if (n.kind == UNMARKED && n.first == n.second)
        orders.insert(orders.begin(), {OrderingCall::ORDER, object, tokenIn(n.first), tokenIn(n.second)});
      else if (n.kind == UNPRECEDED && n.explicitMark) {
        orders.push_back({OrderingCall::ORDER, object, tokenIn(n.first), tokenIn(n.second)});
        for (const TokenId& other : {tokenIn(n.first), tokenIn(n.second)})
          if (other != tokenIn(entry.first) && object->hasToken(other) &&
              object->isConstrainedToThisObject(other) && !object->hasExplicitConstraint(other))
            loose.push_back({OrderingCall::FREE, object, other, other});
      }
    }
    const auto run = [](std::initializer_list<const std::vector<OrderingCall>*> parts) {
      std::vector<OrderingCall> calls;
      for (const std::vector<OrderingCall>* part : parts)
        calls.insert(calls.end(), part->begin(), part->end());
      return calls;
    };
    leftAloneAgain(entry, candidates);
    candidates.push_back(run({&frees, &orders}));
    if (!frees.empty())
      candidates.push_back(run({&orders, &frees}));
    if (!loose.empty())
      candidates.push_back(run({&loose, &frees, &orders}));
    return candidates;
  }

  std::vector<OrderingJournal::OrderingCall> OrderingJournal::placedAgain(const CallEntry& entry,
                                                                          const ObjectId& object,
                                                                          const TokenId& token) const {
    // The token's orderings before the call: those it has, oldest first, less
    // what the call made and with the marks it changed, and those it ended.
    std::vector<std::pair<std::pair<TokenId, TokenId>, bool> > orderings;
    std::vector<ConstraintId> precedences;
    object->getPrecedenceConstraints(token, precedences);
    for (const ConstraintId& precedence : precedences) {
      const TokenId predecessor(precedence->getScope()[0]->parent()),
          successor(precedence->getScope()[1]->parent());
      orderings.push_back({{predecessor, successor}, object->isExplicitOrdering(predecessor, successor)});
    }
    bool ownMark = object->isExplicitOrdering(token, token);
    for (std::size_t i = entry.firstChange; i < m_changes.size(); ++i) {
      const Noted& n = m_changes[i];
      const std::pair<TokenId, TokenId> pair(tokenIn(n.first), tokenIn(n.second));
      if (objectIn(n.object) != object || (pair.first != token && pair.second != token))
        continue;
      if (pair.first == pair.second && (n.kind == MARKED || n.kind == UNMARKED))
        ownMark = n.kind == UNMARKED;
      for (std::size_t k = 0; k < orderings.size(); ++k)
        if (orderings[k].first == pair && n.kind == PRECEDED)
          orderings.erase(orderings.begin() + k--);
        else if (orderings[k].first == pair && (n.kind == MARKED || n.kind == UNMARKED))
          orderings[k].second = n.kind == UNMARKED;
      if (n.kind == UNPRECEDED)
        orderings.push_back({pair, n.explicitMark});
    }
    std::vector<OrderingCall> calls;
    reactivate(token, calls);
    if (ownMark)
      calls.push_back({OrderingCall::ORDER, object, token, token});
    for (const std::pair<std::pair<TokenId, TokenId>, bool>& ordering : orderings)
      if (ordering.second)
        calls.push_back({OrderingCall::ORDER, object, ordering.first.first, ordering.first.second});
    return calls;
  }

  void OrderingJournal::leftAloneAgain(const CallEntry& entry,
                                       std::vector<std::vector<OrderingCall> >& candidates) const {
    // The call took a token that was alone in a sequence, held by nothing but
    // its binding: the only calls that leave a token so order it next to
    // another, which a cancel then takes off again. Any active token waiting
    // on the object serves.
    const std::size_t count = m_changes.size() - entry.firstChange;
    if (count != 2 || m_changes[entry.firstChange].object != m_changes.back().object)
      return;
    const Noted* unsequenced = nullptr;
    for (std::size_t i = entry.firstChange; i < m_changes.size(); ++i)
      if (m_changes[i].kind == UNSEQUENCED && m_changes[i].second == NONE && m_changes[i].third == NONE)
        unsequenced = &m_changes[i];
      else if (m_changes[i].kind != UNBOUND)
        return;
    if (unsequenced == nullptr)
      return;
    const ObjectId object = objectIn(unsequenced->object);
    const TokenId token = tokenIn(unsequenced->first);
    const double here = static_cast<double>(object);
    for (const TokenId& other : object->tokens())
      if (other != token && reactivates(other) && !object->hasToken(other) &&
          other->getObject()->lastDomain().isMember(here)) {
        candidates.push_back({{OrderingCall::ORDER, object, token, other}});
        reactivate(other, candidates.back());
        return;
      }
    // Else an inactive token that could go on the object, activated for it.
    for (const TokenId& other : m_db.getTokens())
      if (other->isInactive() && other->getState()->lastDomain().isMember(Token::ACTIVE.getKey()) &&
          other->getObject()->lastDomain().isMember(here)) {
        candidates.push_back({{OrderingCall::ACTIVATE, ObjectId::noId(), other, TokenId::noId()},
                              {OrderingCall::ORDER, object, token, other},
                              {OrderingCall::CANCEL, ObjectId::noId(), other, TokenId::noId()}});
        return;
      }
  }

  void OrderingJournal::reactivate(const TokenId& token, std::vector<OrderingCall>& calls) {
    calls.push_back({OrderingCall::CANCEL, ObjectId::noId(), token, TokenId::noId()});
    calls.push_back({OrderingCall::ACTIVATE, ObjectId::noId(), token, TokenId::noId()});
  }

  bool OrderingJournal::reactivates(const TokenId& token) {
    // Nothing else comes off with it, and activated again it is as it was.
    return token.isValid() && token->isActive() && token->getMergedTokens().empty() &&
           token->slaves().empty();
  }

  void OrderingJournal::carryOut(const OrderingCall& call) const {
    switch (call.action) {
      case OrderingCall::ORDER:
        call.object->constrain(call.predecessor, call.successor);
        break;
      case OrderingCall::FREE:
        call.object->free(call.predecessor, call.successor);
        break;
      case OrderingCall::ACTIVATE:
        call.predecessor->activate();
        break;
      case OrderingCall::CANCEL:
        call.predecessor->cancel();
        break;
    }
  }

  void OrderingJournal::takeBackCalls(const std::vector<OrderingCall>& calls,
                                      const std::vector<std::size_t>& firsts, std::size_t completed) {
    // What a refused call changed before its check failed goes first; it
    // changed no token's state.
    if (completed < firsts.size())
      takeBackFrom(firsts[completed]);
    // A token's state goes back around what the calls changed while it held:
    // a token cancelled is active again before its orderings come back.
    for (std::size_t i = completed; i-- > 0;) {
      if (calls[i].action == OrderingCall::CANCEL)
        calls[i].predecessor->activate();
      takeBackFrom(firsts[i]);
      if (calls[i].action == OrderingCall::ACTIVATE)
        calls[i].predecessor->cancel();
      m_db.getConstraintEngine()->propagate();
    }
  }

  OrderingJournal::Replacement OrderingJournal::replaceNewest(const std::vector<OrderingCall>& calls) {
    KADRIX_CHECK_MSG(!m_calls.empty(), "No ordering call is recorded to be replaced.");
    KADRIX_CHECK_MSG(!m_probing, "Calls are probed already.");
    const std::size_t made = m_calls.back().firstChange;
    const std::size_t first = m_changes.size();
    std::vector<std::size_t> firsts; // where the changes of each call begin
    std::size_t completed = 0;
    {
      const Probing probing(m_probing);
      try {
        // Each call after a propagation, as a player propagates each element
        // it plays (the last one's, the rewind's own).
        for (const OrderingCall& call : calls) {
          if (completed > 0)
            m_db.getConstraintEngine()->propagate();
          firsts.push_back(m_changes.size());
          carryOut(call);
          ++completed;
        }
      } catch (const Error&) {
        // Refused: what the calls changed is taken back below.
      }
    }
    const bool carriedOut = completed == calls.size();
    if (carriedOut && fingerprint(first, m_changes.size()) == fingerprint(made, first)) {
      m_changes.resize(made);
      m_calls.pop_back();
      return REPLACED;
    }
    takeBackCalls(calls, firsts, completed);
    return carriedOut ? GAVE_OTHER : REFUSED;
  }

}
