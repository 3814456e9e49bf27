// Rewinding: the backward dispatch and the undo handlers of the transaction
// player.
//
// An element that created or changed something is undone by the forward
// handler of the opposite transaction. An element that deleted or retracted
// something is undone by searching the older elements, newest first, for the
// transaction it took back and playing that again. A search sees the range
// [start, end) of the sequence being rewound: `start` designates the
// top-level element being undone (never a candidate in the forms the log
// writes), and each step moves one element older. While the children of a
// root element are undone, a search first looks at the root's earlier
// elements, newest first.
//
// An element that changed nothing when it was played changes nothing when it
// is undone: an "activate" of a token that was active already, a "reset" of a
// variable that was not specified. Undoing a "specify" or a "reset" gives the
// variable back the value it was specified to before; undoing the "cancel" of an
// active token also merges again the tokens that the cancel split off it.
//
// Searches resolve the references of a candidate without failing and without
// entering names into the player's tables: a candidate whose references no
// longer resolve (a token deleted since, say) is skipped, so that an older
// element can still match. Checks on the shape of a candidate still fail.
//
// A search goes through the rewind index where it files exactly what the
// search can stop at or act on; else it walks every older element, with the
// same test. Each walk over what went with an entity (restoreDependents, the
// activations of a token, the creations of root tokens) reads only the
// elements that the index files under the keys it names; builds that
// cross-check against full walks repeat each such walk over every element and
// fail unless both find the same.

#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/base/UnifyMemento.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "PlanDatabase/transactions/RewindIndex.hh"
#include "PlanDatabase/transactions/ScopeText.hh"
#include "PlanDatabase/transactions/TransactionName.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/Utils.hh"

#include <tinyxml.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <istream>
#include <list>
#include <memory>
#include <set>
#include <vector>

// Part of DbClientTransactionPlayer: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/transactions/DbClientTransactionPlayer.cc"

namespace KADRIX {

  namespace {

    typedef std::list<TiXmlElement*> ElementList;
    typedef ElementList::const_reverse_iterator LogPosition;
    typedef ElementList::iterator StreamPosition;

    bool hasTag(const TiXmlElement& element, const char* tag) {
      return std::strcmp(element.Value(), tag) == 0;
    }

    /** The element has the attribute, with exactly this text. */
    bool hasAttribute(const TiXmlElement& element, const char* attribute, const char* text) {
      const char* value = element.Attribute(attribute);
      return value != NULL && std::strcmp(value, text) == 0;
    }

    /**
     * Whether a "deletetoken" took a root token: only a path of more than one
     * step leads to a slave (the names a player knows are its roots' names).
     * One that gives a name beside a path that no log writes, which leads
     * nowhere, took the token of that name.
     */
    bool deletesRoot(const TiXmlElement& deletion) {
      const TiXmlElement* instance = deletion.FirstChildElement("predicateinstance");
      const TiXmlElement& named = instance != NULL ? *instance : deletion;
      const char* path = named.Attribute("path");
      return path == NULL || std::strchr(path, '.') == NULL ||
             (named.Attribute("name") != NULL && !RewindIndex::isLogPath(path));
    }

    /** What a reference resolves to, or an empty value where resolving it fails a check. */
    template <class Resolve> auto quietly(Resolve resolve) -> decltype(resolve()) {
      try {
        return resolve();
      } catch (const Error&) {
        return decltype(resolve())();
      }
    }

    /** The active token of a "merge" element, either form; none when it does not resolve. */
    TokenId mergeTarget(DbClientTransactionPlayer& player, const TiXmlElement& merge) {
      const TiXmlElement* first =
          DbClientTransactionPlayer::isInvoke(merge) ? NULL : merge.FirstChildElement("token");
      const TiXmlElement* active_el =
          first == NULL ? merge.FirstChildElement("token") : first->NextSiblingElement("token");
      return active_el == NULL ? TokenId::noId() : quietly([&]() { return player.xmlAsToken(*active_el); });
    }

    /** The token whose variable it is, or none. */
    TokenId tokenOf(const ConstrainedVariableId& var) {
      return var.isValid() && Id<Token>::convertable(var->parent()) ? TokenId(var->parent())
                                                                    : TokenId::noId();
    }

    /** Whether an "invoke" element makes a constraint (the test by which playing it chooses). */
    bool makesConstraint(const TiXmlElement& invoke) {
      return invoke.Attribute("identifier") == NULL && invoke.FirstChildElement() != NULL;
    }

    /**
     * Whether the element names by path, in the token it changes (the first
     * token reference, or either of an ordering's two), a root token that a
     * creation since gave the path again: it named another token.
     */
    bool namesRegiven(const TiXmlElement& element, bool both, const std::set<std::string>& regiven) {
      for (const TiXmlElement* token = element.FirstChildElement("token"); token != NULL;
           token = both ? token->NextSiblingElement("token") : NULL) {
        const char* path = token->Attribute("path");
        if (path != NULL && regiven.count(std::string(path, std::strcspn(path, "."))) != 0)
          return true;
      }
      return false;
    }

    /** Owns the elements read by a stream rewind and deletes them however the rewind ends. */
    struct OwnedElements {
      ElementList elements;
      OwnedElements() = default;
      OwnedElements(const OwnedElements&) = delete;
      OwnedElements& operator=(const OwnedElements&) = delete;
      ~OwnedElements() { cleanup(elements); }
    };

    /** What undoes one transaction name, by the row of the inverse table that names it. */
    enum class Inverse {
      NOTHING,
      DELETE_VARIABLE,
      UNDELETE_VARIABLE,
      DELETE_OBJECT,
      UNDELETE_OBJECT,
      DELETE_TOKEN,
      UNDELETE_TOKEN,
      FREE,
      UNFREE,
      CANCEL,
      UNCANCEL,
      RESET,
      UNRESET,
      UNINVOKE,
      REINVOKE
    };

    struct InverseRow {
      TransactionName name;
      Inverse inverse;
    };

    // Tested in order; an "invoke" element counts as the transaction that it names.
    const InverseRow s_inverses[] = {
        {TransactionName::BREAKPOINT, Inverse::NOTHING},
        {TransactionName::CLASS_DECL, Inverse::NOTHING},
        {TransactionName::CLASS, Inverse::NOTHING},
        {TransactionName::ENUM, Inverse::NOTHING},
        {TransactionName::TYPEDEF, Inverse::NOTHING},
        {TransactionName::COMPAT, Inverse::NOTHING},
        {TransactionName::VAR, Inverse::DELETE_VARIABLE},
        {TransactionName::DELETEVAR, Inverse::UNDELETE_VARIABLE},
        {TransactionName::NEW, Inverse::DELETE_OBJECT},
        {TransactionName::DELETEOBJECT, Inverse::UNDELETE_OBJECT},
        {TransactionName::GOAL, Inverse::DELETE_TOKEN},
        {TransactionName::FACT, Inverse::DELETE_TOKEN},
        {TransactionName::DELETETOKEN, Inverse::UNDELETE_TOKEN},
        {TransactionName::CONSTRAIN, Inverse::FREE},
        {TransactionName::FREE, Inverse::UNFREE},
        {TransactionName::ACTIVATE, Inverse::CANCEL},
        {TransactionName::MERGE, Inverse::CANCEL},
        {TransactionName::REJECT, Inverse::CANCEL},
        {TransactionName::CANCEL, Inverse::UNCANCEL},
        {TransactionName::SPECIFY, Inverse::RESET},
        {TransactionName::ASSIGN, Inverse::NOTHING},
        {TransactionName::RESTRICT, Inverse::NOTHING},
        {TransactionName::RESET, Inverse::UNRESET},
        {TransactionName::INVOKE, Inverse::UNINVOKE},
        {TransactionName::DELETECONSTRAINT, Inverse::REINVOKE},
    };

    /** Points a slot of the player at a value while it lives, then back at what it held. */
    template <class T> class Installed {
    public:
      Installed(T*& slot, T* value) : m_slot(slot), m_previous(slot) { m_slot = value; }
      ~Installed() { m_slot = m_previous; }
      Installed(const Installed&) = delete;
      Installed& operator=(const Installed&) = delete;

    private:
      T*& m_slot;
      T* const m_previous;
    };

    /**
     * The newest of the index's elements at or below `newest` that `match`
     * accepts, offered newest first, or null. Where the index answers exactly
     * for the kind and `keys` can name what is sought, only the candidates
     * under those keys are offered.
     */
    template <class Keys, class Match>
    const TiXmlElement* newestIn(RewindIndex& index, RewindIndex::Kind kind, std::size_t newest, Keys& keys,
                                 Match& match) {
      std::vector<std::string> sought;
      if (index.exact(kind, newest) && keys(sought))
        return index.newestMatch(kind, sought, newest, match);
      for (std::size_t i = newest + 1; i-- > 0;)
        if (match(&index.elements()[i]))
          return index.elements()[i];
      return NULL;
    }

    /**
     * The newest older element that `match` accepts, or null: among the
     * earlier elements of the root being undone, then in [start, end).
     * `keys` returns false when it cannot name what is sought.
     */
    template <class It, class Keys, class Match>
    const TiXmlElement* findOlder(RewindIndex* index, RootRewind* root, RewindIndex::Kind kind, It start,
                                  It end, Keys keys, Match match) {
      if (root != NULL && root->before > 0)
        if (const TiXmlElement* found = newestIn(root->index, kind, root->before - 1, keys, match))
          return found;
      if (index != NULL && start != end) {
        const std::size_t newest = index->position(*start);
        if (newest != RewindIndex::NONE)
          return newestIn(*index, kind, newest, keys, match);
      }
      for (It it = start; it != end; ++it) {
        const TiXmlElement* const* candidate = &*it;
        if (match(candidate))
          return *it;
      }
      return NULL;
    }

    /** The position in the index of the newest element a walk from `start` sees, or NONE. */
    template <class It> std::size_t newestOf(const RewindIndex* index, It start, It end) {
      return index != NULL && start != end ? index->position(*start) : RewindIndex::NONE;
    }

    /**
     * Whether the index files every MENTION candidate of each part of the
     * sequence that a walk from `start` sees, so that a walk over keys sees
     * every element that names them.
     */
    template <class It> bool filedExactly(RewindIndex* index, RootRewind* root, It start, It end) {
      if (root != NULL && root->before > 0 && !root->index.exact(RewindIndex::MENTION, root->before - 1))
        return false;
      const std::size_t newest = newestOf(index, start, end);
      return newest == RewindIndex::NONE ? start == end : index->exact(RewindIndex::MENTION, newest);
    }

    /** One part of a walk (see walkOlder); false when `visit` stopped it. */
    template <class Visit>
    bool walkPart(RewindIndex& index, std::size_t newest, const MentionKeys* keys, const TiXmlElement* last,
                  Visit& visit) {
      if (keys != NULL && index.exact(RewindIndex::MENTION, newest))
        return index.visitFiled(RewindIndex::MENTION, keys->every, keys->newest, newest, last,
                                [&](const TiXmlElement* const* element) { return visit(**element); });
      for (std::size_t i = newest + 1; i-- > 0;)
        if (!visit(*index.elements()[i]))
          return false;
      return true;
    }

    /**
     * Hands the older elements to `visit`, newest first, as findOlder sees
     * them, until it returns false. Given `keys`, a part whose index files
     * every MENTION candidate hands only the elements filed under the keys,
     * then `last`, where the visit stops: for a visit that acts on no other
     * element, the same visit as a walk of every element.
     */
    template <class It, class Visit>
    void walkOlder(RewindIndex* index, RootRewind* root, It start, It end, const MentionKeys* keys,
                   const TiXmlElement* last, Visit visit) {
      if (root != NULL && root->before > 0 && !walkPart(root->index, root->before - 1, keys, last, visit))
        return;
      const std::size_t newest = newestOf(index, start, end);
      if (newest != RewindIndex::NONE) {
        walkPart(*index, newest, keys, last, visit);
        return;
      }
      for (It it = start; it != end; ++it)
        if (!visit(**it))
          return;
    }

    /**
     * The answer of a search that walks over `keys` (every element when
     * null). Builds that cross-check incremental work against full walks
     * check it against the answer of a walk of every element.
     */
    template <class Search>
    auto keyedSearch(const MentionKeys* keys, Search search) -> decltype(search(keys)) {
      auto found = search(keys);
#ifdef KADRIX_FULL_WALKS
      KADRIX_CHECK_MSG(keys == NULL || found == search(NULL),
                       "A search over the index found other elements than a walk of every element.");
#endif
      return found;
    }

    /** The position after the element being undone when it stands at `start` (not inside a root). */
    template <class It> It pastItself(const TiXmlElement& element, It start, It end) {
      if (start != end && *start == &element)
        ++start;
      return start;
    }

    /** The transaction elements of a root, in document order, nested roots (unless filtered) flattened. */
    void flatten(const DbClientTransactionPlayer& player, const TiXmlElement& root,
                 std::vector<const TiXmlElement*>& elements) {
      for (const TiXmlElement* child = root.FirstChildElement(); child != NULL;
           child = child->NextSiblingElement())
        if (!hasTag(*child, "zorl"))
          elements.push_back(child);
        else if (!player.transactionFiltered(*child))
          flatten(player, *child, elements);
    }

    /**
     * The scope a "deleteconstraint" gives its constraint. Playing one reads
     * only its index; what it deleted is known only from its name and scope.
     */
    ScopeText deletedScope(DbClientTransactionPlayer& player, const TiXmlElement& deletion) {
      const char* name = deletion.Attribute("name");
      KADRIX_CHECK(name != NULL);
      ScopeText scope(player, deletion);
      const std::vector<ConstrainedVariableId>& vars = scope.variables();
      KADRIX_CHECK(!vars.empty());
      return scope;
    }


    /** A search that has no key but the text of the element undone. */
    std::function<bool(std::vector<std::string>&)> keyed(const std::string& key) {
      return [key](std::vector<std::string>& keys) {
        keys.push_back(key);
        return true;
      };
    }

    // The engine reuses freed indexes last in, first out, so an entity made
    // again by a rewind usually has its old index;
    // where it has not, the element that made it is read with its current one,
    // so that undoing the element never takes another entity that holds the
    // recorded index now.

    /** A copy of the element with another "index". */
    const TiXmlElement& reindexed(const TiXmlElement& element, unsigned int index,
                                  std::unique_ptr<TiXmlElement>& copy) {
      copy.reset(element.Clone()->ToElement());
      copy->SetAttribute("index", static_cast<int>(index));
      return *copy;
    }

    /** The "var" element, with the index of the global variable that it made. */
    const TiXmlElement& madeVariable(DbClient& client, const TiXmlElement& element,
                                     std::unique_ptr<TiXmlElement>& copy) {
      const char* name = element.Attribute("name");
      const char* index = element.Attribute("index");
      if (name == NULL || index == NULL || !client.isGlobalVariable(name))
        return element;
      const unsigned int current = client.getIndexByVariable(client.getGlobalVariable(name));
      return std::to_string(current) == index ? element : reindexed(element, current, copy);
    }

    /**
     * The "invoke" element, with the index of the constraint that it made:
     * the constraint at its "index" when that one has its name and scope,
     * else one that has. Where the element gave a value, the constraint
     * holds an internal variable made for it.
     */
    const TiXmlElement& madeConstraint(DbClientTransactionPlayer& player, DbClient& client,
                                       const TiXmlElement& element, std::unique_ptr<TiXmlElement>& copy) {
      const char* name = element.Attribute("name");
      const char* index = element.Attribute("index");
      const ScopeText scope(player, element);
      const ConstrainedVariableId named = scope.anyVariable();
      if (name == NULL || !scope.readable())
        return element;
      // A constraint that an owner keeps (a merge re-states one) was made by no "invoke".
      const auto madeHere = [&](const ConstraintId& constraint) {
        return constraint.isValid() && !constraint->isOwned() && constraint->getName() == LabelStr(name) &&
               scope.describes(constraint);
      };
      // Playing did not read the "index": one that is no plain number names nothing.
      if (index != NULL && std::to_string(std::atoi(index)) == index && madeHere(quietly([&]() {
            return client.getConstraintByIndex(static_cast<unsigned int>(std::atoi(index)));
          })))
        return element;
      if (named.isNoId())
        return element;
      std::set<ConstraintId> candidates;
      named->constraints(candidates);
      for (const ConstraintId& constraint : candidates)
        if (madeHere(constraint))
          return reindexed(element, client.getIndexByConstraint(constraint), copy);
      return element;
    }

  }

  // Entry points.

  void DbClientTransactionPlayer::rewind(const DbClientTransactionLogId& txLog, bool breakpoint) {
    KADRIX_CHECK_MSG(txLog.isValid(), "No transaction log to rewind.");
    const ElementList& transactions = txLog->getBufferedTransactions();
    // A log on this player's own client would otherwise record each undo.
    DbClientTransactionLog::Suspension quiet(*txLog);
    RewindIndex index(std::vector<const TiXmlElement*>(transactions.begin(), transactions.end()));
    Installed<RewindIndex> indexed(m_rewindIndex, &index);
    m_unnamedUndone = 0;
    while (!transactions.empty()) {
      const TiXmlElement* tx = transactions.back();
      index.reach(tx);
      processTransactionInverse(*tx, transactions.rbegin(), transactions.rend());
      if (breakpoint && hasTag(*tx, "breakpoint"))
        return;
      txLog->popTransaction();
    }
  }

  void DbClientTransactionPlayer::rewind(std::istream& is, bool breakpoint) {
    KADRIX_CHECK_MSG(is, "Invalid input sream for playing transactions.");
    OwnedElements read;
    TiXmlDocument doc;
    // Newest first: each element goes to the front. Reading stops wherever the
    // stream can give no further element.
    while (const TiXmlElement* element = readElement(is, doc)) {
      read.elements.push_front(element->Clone()->ToElement());
      doc.Clear();
    }
    KADRIX_CHECK_MSG(!is.bad(), "The input stream failed while transactions were read from it.");
    // The searches see the children of the roots that were played, in their place.
    std::vector<const TiXmlElement*> played;
    std::vector<std::pair<const TiXmlElement*, std::size_t> > roots;
    for (auto it = read.elements.rbegin(); it != read.elements.rend(); ++it)
      if (!hasTag(**it, "zorl"))
        played.push_back(*it);
      else if (!transactionFiltered(**it)) {
        flatten(*this, **it, played);
        if (!played.empty())
          roots.emplace_back(*it, played.size() - 1);
      }
    RewindIndex index(std::move(played));
    for (const auto& root : roots)
      index.placeRoot(root.first, root.second);
    Installed<RewindIndex> indexed(m_rewindIndex, &index);
    m_unnamedUndone = 0;
    for (StreamPosition it = read.elements.begin(); it != read.elements.end(); ++it) {
      const TiXmlElement& tx = **it;
      index.reach(&tx);
      processTransactionInverse(tx, it, read.elements.end());
      if (breakpoint && hasTag(tx, "breakpoint"))
        break;
    }
  }

  // Playing older elements again, around what changed since.

  // Each call of the client is propagated, as a player propagates each
  // element it plays: a log that records these calls replays to the same plan.

  namespace {
    /** Whether the merge of the token onto the active token passes the checks of its record. */
    bool mergeable(const TokenId& token, const TokenId& active) {
      return quietly([&]() {
        UnifyMemento::checkMerge(token, active);
        return true;
      });
    }
  }

  template <class Merge>
  void DbClientTransactionPlayer::mergeAround(const TokenId& token, const TokenId& active, Merge merge) {
    MergeObstacles obstacles;
    if (token.isValid() && active.isValid() && token->isInactive() && active->isActive())
      stepAside(token, active, obstacles);
    // Where stepping aside does not make way, what stepped aside comes back
    // first, and the merge fails as it would have.
    if (!obstacles.merged.empty() || !obstacles.constraints.empty() || !obstacles.values.empty())
      if (!mergeable(token, active)) {
        stepBack(active, obstacles);
        obstacles = MergeObstacles();
      }
    merge();
    m_client->propagate();
    stepBack(active, obstacles);
  }

  void DbClientTransactionPlayer::stepBack(const TokenId& active, const MergeObstacles& obstacles) {
    for (const TokenId& other : obstacles.merged) {
      m_client->merge(other, active);
      m_client->propagate();
    }
    for (const std::pair<LabelStr, std::vector<ConstrainedVariableId> >& constraint : obstacles.constraints) {
      m_client->createConstraint(constraint.first.c_str(), constraint.second);
      m_client->propagate();
    }
    for (const std::pair<ConstrainedVariableId, double>& value : obstacles.values) {
      m_client->specify(value.first, value.second);
      m_client->propagate();
    }
  }

  void DbClientTransactionPlayer::stepAside(const TokenId& token, const TokenId& active,
                                            MergeObstacles& obstacles) {
    // What refuses the merge now came after it, in this order of likelihood:
    // the active token's own values that the token's disagree with, the
    // tokens merged onto it (those merged since among them), values
    // specified since elsewhere that reach its variables through constraints,
    // and those constraints themselves.
    if (mergeable(token, active))
      return;
    for (std::size_t i = 1; i < token->getVariables().size() && i < active->getVariables().size(); ++i) {
      const ConstrainedVariableId& merging = token->getVariables()[i];
      const ConstrainedVariableId& var = active->getVariables()[i];
      if (merging->isSpecified() && var->isLocallySpecified() &&
          var->getSpecifiedValue() != merging->getSpecifiedValue())
        obstacles.values.emplace_back(var, var->getSpecifiedValue());
    }
    resetValues(obstacles.values, 0);
    if (mergeable(token, active))
      return;
    for (const TokenId& other : TokenSet(active->getMergedTokens())) {
      obstacles.merged.push_back(other);
      m_client->cancel(other);
      m_client->propagate();
    }
    if (mergeable(token, active))
      return;
    const std::size_t reset = obstacles.values.size();
    for (const ConstrainedVariableId& var : specifiedAround(token, active))
      obstacles.values.emplace_back(var, var->getSpecifiedValue());
    resetValues(obstacles.values, reset);
    if (mergeable(token, active))
      return;
    // In a plan that was inconsistent, constraints on the active token's
    // variables may hold them elsewhere than propagation did then: the ones
    // a client made step aside too.
    std::set<ConstraintId> seen;
    for (std::size_t i = 1; i < token->getVariables().size() && i < active->getVariables().size(); ++i) {
      if (!token->getVariables()[i]->isSpecified())
        continue;
      std::set<ConstraintId, EntityComparator<ConstraintId> > constraints;
      active->getVariables()[i]->constraints(constraints);
      for (const ConstraintId& constraint : constraints)
        if (seen.insert(constraint).second && madeByClient(constraint)) {
          obstacles.constraints.emplace_back(constraint->getName(), constraint->getScope());
          m_client->deleteConstraint(constraint);
          m_client->propagate();
        }
    }
  }

  bool DbClientTransactionPlayer::madeByClient(const ConstraintId& constraint) const {
    if (constraint->isOwned())
      return false;
    for (const ConstrainedVariableId& var : constraint->getScope()) {
      const TokenId owner = tokenOf(var);
      if (owner.isValid() && owner->isStandardConstraint(constraint))
        return false;
    }
    // A temporal relation is kept by the player, which finds it by its variables.
    for (const TemporalRelations::value_type& relation : m_relations)
      if (relation.second == constraint)
        return false;
    return true;
  }

  void DbClientTransactionPlayer::resetValues(const std::vector<std::pair<ConstrainedVariableId, double> >& values,
                                              std::size_t from) {
    for (std::size_t i = from; i < values.size(); ++i) {
      m_client->reset(values[i].first);
      m_client->propagate();
    }
  }

  std::vector<ConstrainedVariableId> DbClientTransactionPlayer::specifiedAround(const TokenId& token,
                                                                                const TokenId& active) {
    // The variables that constraints link to the active token's, and so on,
    // that their owners specified: every one of them can be reset and
    // specified again through the client (not a merged token's, nor the
    // merging token's own).
    std::vector<ConstrainedVariableId> specified;
    std::set<ConstrainedVariableId> seen(active->getVariables().begin(), active->getVariables().end());
    seen.insert(token->getVariables().begin(), token->getVariables().end());
    std::vector<ConstrainedVariableId> frontier(active->getVariables().begin() + 1,
                                                active->getVariables().end());
    while (!frontier.empty()) {
      const ConstrainedVariableId var = frontier.back();
      frontier.pop_back();
      std::set<ConstraintId, EntityComparator<ConstraintId> > constraints;
      var->constraints(constraints);
      for (const ConstraintId& constraint : constraints)
        for (const ConstrainedVariableId& other : constraint->getScope()) {
          if (!seen.insert(other).second || Token::isStateVariable(other))
            continue;
          frontier.push_back(other);
          const TokenId owner = tokenOf(other);
          if (owner.isNoId() ? other->isSpecified() && other->canBeSpecified()
                             : other->isLocallySpecified() && !owner->isMerged())
            specified.push_back(other);
        }
    }
    return specified;
  }

  template <class Play> void DbClientTransactionPlayer::playAround(const TiXmlElement& element, Play play) {
    const ElementNames names(element);
    if (names.transaction == TransactionName::MERGE) {
      mergeAround(stateToken(element), mergeTarget(*this, element), play);
      return;
    }
    TokenId merged;
    std::vector<TokenId> rejected;
    if (names.transaction == TransactionName::SPECIFY) {
      const TokenId owner = tokenOf(specifiedVariable(element));
      if (owner.isValid() && owner->isMerged())
        merged = owner;
    } else if (names.tag == TransactionName::INVOKE && makesConstraint(element)) {
      const ScopeText scope(*this, element);
      for (const ConstrainedVariableId& var : scope.variables()) {
        const TokenId owner = tokenOf(var);
        if (owner.isValid() && owner->isRejected() &&
            std::find(rejected.begin(), rejected.end(), owner) == rejected.end())
          rejected.push_back(owner);
      }
    }
    const TokenId active = merged.isValid() ? merged->getActiveToken() : TokenId::noId();
    if (merged.isValid())
      m_client->cancel(merged);
    for (const TokenId& token : rejected)
      m_client->cancel(token);
    if (merged.isValid() || !rejected.empty())
      m_client->propagate();
    play();
    if (merged.isNoId() && rejected.empty())
      return;
    m_client->propagate();
    for (const TokenId& token : rejected) {
      m_client->reject(token);
      m_client->propagate();
    }
    if (merged.isValid())
      mergeAround(merged, active, [&]() { m_client->merge(merged, active); });
  }

  // The backward dispatch.

  template <class It>
  void DbClientTransactionPlayer::processTransactionInverse(const TiXmlElement& element, It start, It end) {
    const char* tagname = element.Value();
    KADRIX_DEBUG("DbClientTransactionPlayer:processTransactionInverse",
                 "Processing inverse of transaction '" << tagname << "'");
    // What an undo does is taken back, not recorded.
    const OrderingJournal::Pause pause(m_client->getOrderingJournal());
    if (!transactionFiltered(element)) {
      // The first row that transactionMatch would accept: its tag, or the transaction an "invoke" names.
      const ElementNames names(element);
      const InverseRow* row = NULL;
      for (const InverseRow& candidate : s_inverses)
        if (candidate.name == names.tag || candidate.name == names.transaction) {
          row = &candidate;
          break;
        }
      if (row == NULL) {
        KADRIX_CHECK_MSG(strcmp(tagname, "zorl") == 0, "Unknown tag name " << tagname);
        rewindRoot(element, start, end);
      } else {
        switch (row->inverse) {
          case Inverse::NOTHING:
            break;
          case Inverse::DELETE_VARIABLE: {
            std::unique_ptr<TiXmlElement> copy;
            playVariableDeleted(madeVariable(*static_cast<DbClient*>(m_client), element, copy));
            break;
          }
          case Inverse::UNDELETE_VARIABLE:
            playVariableUndeleted(element, start, end);
            break;
          case Inverse::DELETE_OBJECT:
            playObjectDeleted(element);
            break;
          case Inverse::UNDELETE_OBJECT:
            playObjectUndeleted(element, start, end);
            break;
          case Inverse::DELETE_TOKEN:
            playTokenDeleted(element);
            break;
          case Inverse::UNDELETE_TOKEN:
            if (element.Attribute("relation") != NULL)
              playTemporalRelationCreated(element);
            else
              playTokenUndeleted(element, start, end);
            break;
          case Inverse::FREE: {
            // The journal gives back what the ordering changed beside it; else a free.
            ObjectId object;
            TokenId predecessor, successor;
            getElementsFromConstrain(element, object, predecessor, successor);
            if (!tookBackFromJournal(OrderingJournal::CONSTRAIN, object, predecessor, successor))
              m_client->free(object, predecessor, successor);
            break;
          }
          case Inverse::UNFREE:
            playUnfreed(element, start, end);
            break;
          case Inverse::CANCEL: {
            // An "activate" of a token that was active already changed nothing.
            const TiXmlElement* before = NULL;
            if (names.transaction == TransactionName::ACTIVATE) {
              const TokenId token = stateToken(element);
              before = token.isValid() ? newestStateChange(element, token, start, end) : NULL;
            }
            if (before == NULL || !transactionMatch(*before, "activate"))
              playCancelled(element);
            break;
          }
          case Inverse::UNCANCEL:
            playUncancelled(element, start, end);
            break;
          case Inverse::RESET: {
            // The value the variable was specified to before, if any.
            // The variable as playing read it; one that does not resolve fails as a reset would.
            const ConstrainedVariableId var = specifiedVariable(element);
            const TiXmlElement* before = var.isValid() ? newestSpecification(element, var, start, end) : NULL;
            if (before != NULL && transactionMatch(*before, "specify"))
              playVariableSpecified(*before);
            else if (!var.isValid())
              playVariableReset(element);
            else if (var->isSpecified())
              m_client->reset(var);
            break;
          }
          case Inverse::UNRESET:
            playVariableUnreset(element, start, end);
            break;
          case Inverse::UNINVOKE:
            playUninvokeConstraint(element, start, end);
            break;
          case Inverse::REINVOKE:
            playReinvokeConstraint(element, start, end);
            break;
        }
        m_unnamedUndone += RewindIndex::unnamedObjects(element);
      }
    }
    m_client->propagate();
  }

  template <class It> void DbClientTransactionPlayer::rewindRoot(const TiXmlElement& root, It start, It end) {
    // Newest first, like the stream itself, so nothing is deleted before what uses it.
    std::vector<const TiXmlElement*> elements;
    flatten(*this, root, elements);
    RootRewind scope(elements);
    Installed<RootRewind> installed(m_root, &scope);
    // Its children search it through `scope`, then what is older than the root.
    const It older = pastItself(root, start, end);
    // Every child played is undone, also while the plan is inconsistent on
    // the way (a token made again may be, until it goes).
    for (std::size_t i = elements.size(); i-- > 0;) {
      scope.before = i;
      processTransactionInverse(*elements[i], older, end);
    }
  }

  namespace {

    // Keys under which the index finds the elements that name what a search seeks.

    /** The key of a token by its path, or "" when it has none. */
    std::string tokenSought(const DbClientId& client, const TokenId& token) {
      const std::string path = quietly([&]() { return client->getPathAsString(token); });
      return path.empty() ? path : RewindIndex::tokenKey(path);
    }

    /** The keys of every reference that names the variable; false when they cannot be told. */
    bool variableSought(const DbClientId& client, const ConstrainedVariableId& var,
                        std::vector<std::string>& keys) {
      if (!var.isValid())
        return false;
      keys.push_back(RewindIndex::variableKey(client->getIndexByVariable(var)));
      const EntityId& parent = var->parent();
      const int index = var->getIndex();
      if (Id<Token>::convertable(parent)) {
        const TokenId token(parent);
        const std::string path = tokenSought(client, token);
        if (path.empty() || index < 0 || static_cast<unsigned>(index) >= token->getVariables().size() ||
            token->getVariables()[index] != var)
          return false;
        keys.push_back(RewindIndex::variableKey('T', path.substr(1), index));
      } else if (Id<Object>::convertable(parent)) {
        const ObjectId object(parent);
        if (index < 0 || static_cast<unsigned>(index) >= object->getVariables().size() ||
            object->getVariables()[index] != var)
          return false;
        keys.push_back(RewindIndex::variableKey('O', object->getName().toString(), index));
      }
      return true;
    }

  }

  // Token transactions.

  template <class It>
  void DbClientTransactionPlayer::playUnfreed(const TiXmlElement& element, It start, It end) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playUnfreed", "Rewinding transaction " << element);
    ObjectId object;
    TokenId predecessor, successor;
    getElementsFromConstrain(element, object, predecessor, successor);
    // The journal tells what the free changed, marks and neighbours too.
    if (tookBackFromJournal(OrderingJournal::FREE, object, predecessor, successor))
      return;
    const TiXmlElement* found = findOlder(
        m_rewindIndex, m_root, RewindIndex::CONSTRAIN, pastItself(element, start, end), end,
        [&](std::vector<std::string>& keys) {
          const std::string first = tokenSought(m_client, predecessor),
                            second = tokenSought(m_client, successor);
          keys.push_back(RewindIndex::join(object->getName().toString(), RewindIndex::join(first, second)));
          return !first.empty() && !second.empty();
        },
        [&](const TiXmlElement* const* it) {
          KADRIX_DEBUG("DbClientTransactionPlayer:playUnfreed", "Iterating backwards over " << **it);
          if (!transactionMatch(**it, "constrain") && (predecessor != successor || !transactionMatch(**it, "free")))
            return false;
          ObjectId object2;
          TokenId predecessor2, successor2;
          const bool resolved = quietly([&]() {
                                  getElementsFromConstrain(**it, object2, predecessor2, successor2);
                                  return ObjectId(object2);
                                }).isValid();
          return resolved && object2 == object && predecessor2 == predecessor && successor2 == successor;
        });
    // Freeing a token from itself frees only what constraining it to itself
    // placed: without such a constrain since it was last freed so, the free
    // changed nothing.
    if (predecessor == successor && (found == NULL || transactionMatch(*found, "free")))
      return;
    // Two tokens never ordered so, both still on the object: the free found
    // each held there by another ordering, and changed nothing.
    if (found == NULL && object->isConstrainedToThisObject(predecessor) &&
        object->isConstrainedToThisObject(successor))
      return;
    KADRIX_CHECK_TEXT(found != NULL, "ALWAYS_FAIL", "No constrain transaction prior to " << element);
    processTransaction(*found);
  }

  bool DbClientTransactionPlayer::tookBackFromJournal(OrderingJournal::Call call, const ObjectId& object,
                                                   const TokenId& predecessor, const TokenId& successor) {
    OrderingJournal& journal = m_client->getOrderingJournal();
    if (!journal.newestIs(call, object, predecessor, successor))
      return false;
    m_client->takeBackOrdering();
    return true;
  }

  void DbClientTransactionPlayer::tookBackObjectDeletion(const char* name) {
    const ObjectId object = m_client->getObject(name);
    if (object.isValid())
      tookBackFromJournal(OrderingJournal::DELETE_OBJECT, object, TokenId::noId(), TokenId::noId());
  }

  template <class It>
  void DbClientTransactionPlayer::playUncancelled(const TiXmlElement& element, It start, It end) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playUncancelled", "Processing inverse of " << element);
    TokenId token;
    if (hasTag(element, "invoke")) {
      KADRIX_CHECK(element.Attribute("identifier") != NULL);
      token = lookUp(m_tokens, element.Attribute("identifier"));
    } else {
      const TiXmlElement* token_el = element.FirstChildElement();
      KADRIX_CHECK(token_el != NULL);
      token = xmlAsToken(*token_el);
    }
    KADRIX_CHECK(token.isValid());
    KADRIX_DEBUG("DbClientTransactionPlayer:playUncancelled", "Looking for a prior restriction transaction.");
    const TiXmlElement* found = findOlder(
        m_rewindIndex, m_root, RewindIndex::STATE, start, end,
        [&](std::vector<std::string>& keys) {
          keys.push_back(tokenSought(m_client, token));
          return !keys.back().empty();
        },
        [&](const TiXmlElement* const* it) {
          KADRIX_DEBUG("DbClientTransactionPlayer:playUncancelled", "Checking " << **it);
          // Older than the token's creation, a path or a name meant another token.
          if (madeTheToken(**it, token))
            return true;
          if (!transactionMatch(**it, "activate") && !transactionMatch(**it, "merge") &&
              !transactionMatch(**it, "reject"))
            return false;
          TokenId transToken;
          if (hasTag(**it, "invoke")) {
            KADRIX_CHECK((*it)->Attribute("identifier") != NULL);
            transToken = lookUp(m_tokens, (*it)->Attribute("identifier"));
          } else {
            // A merge names its merged token in its first "token", as playing it reads it.
            const TiXmlElement* token_el =
                hasTag(**it, "merge") ? (*it)->FirstChildElement("token") : (*it)->FirstChildElement();
            KADRIX_CHECK(token_el != NULL);
            transToken = quietly([&]() { return xmlAsToken(*token_el); });
          }
          return transToken.isValid() && transToken == token;
        });
    if (found != NULL && madeTheToken(*found, token))
      found = NULL;
    KADRIX_CHECK_TEXT(found != NULL, "ALWAYS_FAIL",
                      "No activate, merge, or reject transaction prior to " << element);
    KADRIX_DEBUG("DbClientTransactionPlayer:playUncancelled", "Transaction is the proper inverse.  Playing.");
    OrderingJournal& journal = m_client->getOrderingJournal();
    const bool journaled = journal.newestIs(OrderingJournal::CANCEL, ObjectId::noId(), token, TokenId::noId());
    playAround(*found, [&]() { processTransaction(*found); });
    // Deactivating the token split the tokens merged onto it and took it off
    // its objects, with its orderings: the journal tells how.
    if (transactionMatch(*found, "activate")) {
      Dependents what;
      what.token = token;
      what.merges = true;
      what.orderings = !journaled;
      restoreDependents(element, what, firstOfActivations(element, *found, token, start, end), start, end);
    }
    if (journaled)
      m_client->takeBackOrdering();
  }

  template <class It>
  const TiXmlElement* DbClientTransactionPlayer::firstOfActivations(const TiXmlElement& element,
                                                                    const TiXmlElement& newest,
                                                                    const TokenId& token, It start, It end) {
    // Of activations in a row, the oldest activated the token: the later ones
    // changed nothing, and what was merged onto it or ordered since is its own.
    const It older = pastItself(element, start, end);
    // The walk reads the token's state changes and the creations of tokens.
    const MentionKeys keys{{tokenSought(m_client, token), RewindIndex::CREATIONS}, {}};
    const bool keyed = !keys.every.front().empty() && filedExactly(m_rewindIndex, m_root, older, end);
    return keyedSearch(keyed ? &keys : NULL, [&](const MentionKeys* sought) {
      const TiXmlElement* first = &newest;
      bool reached = false;
      walkOlder(m_rewindIndex, m_root, older, end, sought, NULL, [&](const TiXmlElement& candidate) {
        reached = reached || &candidate == &newest;
        if (!reached || &candidate == &newest)
          return true;
        if (madeTheToken(candidate, token))
          return false;
        const ElementNames names(candidate);
        if (!names.changesState() || stateToken(candidate) != token)
          return true;
        if (names.transaction != TransactionName::ACTIVATE)
          return false;
        first = &candidate;
        return true;
      });
      return first;
    });
  }

  template <class It>
  void DbClientTransactionPlayer::playTokenUndeleted(const TiXmlElement& element, It start, It end) {
    // The client deletes root tokens newest first, so the token that playing
    // took, by name or by path, was made by the newest creation before it that
    // no deletion in between took. What the elements say of paths is not
    // read: playing a goal does not read it either.
    const It older = pastItself(element, start, end);
    const MentionKeys keys{{RewindIndex::CREATIONS}, {}};
    const TiXmlElement* found = keyedSearch(
        filedExactly(m_rewindIndex, m_root, older, end) ? &keys : NULL, [&](const MentionKeys* sought) {
          const TiXmlElement* creation = NULL;
          std::size_t taken = 0; // deletions of roots met, not yet matched with their creations
          walkOlder(m_rewindIndex, m_root, older, end, sought, NULL, [&](const TiXmlElement& candidate) {
            if (candidate.Attribute("relation") != NULL)
              return true;
            if (hasTag(candidate, "deletetoken") && deletesRoot(candidate))
              ++taken;
            else if (hasTag(candidate, "goal") || hasTag(candidate, "fact")) {
              if (taken == 0) {
                creation = &candidate;
                return false;
              }
              --taken;
            }
            return true;
          });
          return creation;
        });
    KADRIX_CHECK_TEXT(found != NULL, "ALWAYS_FAIL", "No creation transaction to complement " << element);
    OrderingJournal& journal = m_client->getOrderingJournal();
    const bool journaled = journal.newestIsDeletion();
    // A fact comes back as a fact, then with what went with the token.
    if (hasTag(*found, "fact"))
      playFactCreated(*found);
    else
      playTokenCreated(*found);
    Dependents what;
    what.token = m_client->getNewestRootToken();
    if (what.token.isValid()) {
      what.variables.insert(what.token->getVariables().begin(), what.token->getVariables().end());
      what.activation = what.merges = what.changes = true;
      what.orderings = !journaled;
      restoreDependents(element, what, found, start, end);
    }
    // The token made again stands for the deleted one in the journal.
    if (journaled)
      m_client->takeBackOrdering(what.token);
  }

  // Object, variable and constraint transactions.

  template <class It>
  void DbClientTransactionPlayer::playUninvokeConstraint(const TiXmlElement& element, It start, It end) {
    // The same test by which playing chose between creating a constraint and invoking a transaction.
    if (element.Attribute("identifier") == NULL && element.FirstChildElement() != NULL) {
      std::unique_ptr<TiXmlElement> copy;
      const TiXmlElement& made = madeConstraint(*this, *static_cast<DbClient*>(m_client), element, copy);
      // Without an index, a constraint over a variable that is gone went with
      // it (a rewind brings it back with the variable): nothing is left to undo.
      if (made.Attribute("index") == NULL && !ScopeText(*this, element).readable())
        return;
      playUninvokeConstraint(made);
    } else
      playUninvokeTransaction(element, start, end);
  }

  template <class It>
  void DbClientTransactionPlayer::playUninvokeTransaction(const TiXmlElement& element, It start, It end) {
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    const std::string transaction(name);
    if (transaction == "close")
      KADRIX_DEBUG("DbClientTransactionPlayer:playUninvokeTransaction",
                   "Warning:  can't un-close the database or a type.");
    else if (transaction == "constrain")
      playFreed(element);
    else if (transaction == "free")
      playUnfreed(element, start, end);
    else if (transaction == "activate" || transaction == "merge" || transaction == "reject")
      playCancelled(element);
    else if (transaction == "cancel")
      playUncancelled(element, start, end);
    else if (transaction == "specify")
      playVariableReset(element);
    else
      KADRIX_FAIL("unexpected transaction invoked: '" << name << "'");
  }

  template <class It>
  void DbClientTransactionPlayer::playReinvokeConstraint(const TiXmlElement& element, It start, It end) {
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    // Every variable the scope names is back: a failure says which is not.
    for (const TiXmlElement* child = element.FirstChildElement(); child != NULL;
         child = child->NextSiblingElement())
      if (ScopeText::namesVariable(*child))
        KADRIX_CHECK(xmlAsVariable(*child).isValid());
    // Playing checked that a scope is the deleted constraint's: an older
    // "invoke" that gives the same one made an equal constraint (its "index"
    // was not read when played).
    const ScopeText deleted = deletedScope(*this, element);
    const auto madeIt = [&](const TiXmlElement& candidate) {
      return hasTag(candidate, "invoke") && candidate.Attribute("identifier") == NULL &&
             hasAttribute(candidate, "name", name) && ScopeText(*this, candidate).sameAs(deleted);
    };
    // Such an "invoke" names every variable of the scope: where the index
    // files every scope, only the elements that name one of them are read.
    MentionKeys keys;
    const ConstrainedVariableId named = deleted.anyVariable();
    const TiXmlElement* found = NULL;
    if (deleted.readable() && named.isValid() && filedExactly(m_rewindIndex, m_root, start, end) &&
        variableSought(m_client, named, keys.every))
      found = keyedSearch(&keys, [&](const MentionKeys* sought) {
        const TiXmlElement* made = NULL;
        walkOlder(m_rewindIndex, m_root, start, end, sought, NULL, [&](const TiXmlElement& candidate) {
          made = madeIt(candidate) ? &candidate : NULL;
          return made == NULL;
        });
        return made;
      });
    else
      found = findOlder(m_rewindIndex, m_root, RewindIndex::INVOKE, start, end, keyed(name),
                        [&](const TiXmlElement* const* it) { return madeIt(**it); });
    KADRIX_CHECK_TEXT(found != NULL, "ALWAYS_FAIL", "No creation transaction to complement " << element);
    playAround(*found, [&]() { playInvokeConstraint(*found); });
  }

  template <class It>
  void DbClientTransactionPlayer::playVariableUndeleted(const TiXmlElement& element, It start, It end) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableUndeleted", "Playing inverse of " << element);
    // Playing found the global by its name alone (an "index" only confirms it): so does undoing.
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableUndeleted",
                 "Searching backwards for a creation transaction.");
    const TiXmlElement* found = findOlder(
        m_rewindIndex, m_root, RewindIndex::VAR, start, end, keyed(name), [&](const TiXmlElement* const* it) {
          KADRIX_DEBUG("DbClientTransactionPlayer:playVariableUndeleted", "Checking " << **it);
          return hasTag(**it, "var") && hasAttribute(**it, "name", name);
        });
    KADRIX_CHECK_TEXT(found != NULL, "ALWAYS_FAIL", "No creation transaction to complement " << element);
    // The object that playing deleted after the variable comes back first,
    // unless the variable's creation makes it.
    const TiXmlElement* object = element.FirstChildElement("new");
    const char* made = RewindIndex::madeObjectName(*found);
    if (object != NULL && made == NULL)
      playObjectUndeleted(*object, start, end);
    if (made == NULL || m_client->getObject(made).isNoId())
      playVariableCreated(*found);
    else {
      // The object the variable made is there still: the variable comes back holding it.
      std::unique_ptr<TiXmlElement> copy(found->Clone()->ToElement());
      TiXmlElement holding("object");
      holding.SetAttribute("value", made);
      copy->ReplaceChild(copy->FirstChildElement(), holding);
      playVariableCreated(*copy);
    }
    if (object != NULL && made != NULL && object->Attribute("name") != NULL)
      tookBackObjectDeletion(object->Attribute("name"));
    Dependents what;
    what.variables.insert(lookUp(m_variables, name));
    what.changes = true;
    restoreDependents(element, what, found, start, end);
  }

  template <class It>
  void DbClientTransactionPlayer::playObjectUndeleted(const TiXmlElement& element, It start, It end) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playObjectUndeleted", "Playing inverse of " << element);
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    KADRIX_DEBUG("DbClientTransactionPlayer:playObjectUndeleted",
                 "Searching backwards for a creation transaction.");
    const TiXmlElement* found = findOlder(
        m_rewindIndex, m_root, RewindIndex::NEW, start, end, keyed(name), [&](const TiXmlElement* const* it) {
          KADRIX_DEBUG("DbClientTransactionPlayer:playObjectUndeleted", "Checking " << **it);
          // An object may have been created inside the "var" element that holds it.
          const char* made = RewindIndex::madeObjectName(**it);
          return made != NULL && std::strcmp(made, name) == 0;
        });
    KADRIX_CHECK_TEXT(found != NULL, "ALWAYS_FAIL", "No creation transaction to complement " << element);
    // Only the object comes back, named as playing named it, into the object
    // domains of the tokens that it left.
    xmlAsValue(hasTag(*found, "var") ? *found->FirstChildElement() : *found, name);
    tookBackObjectDeletion(name);
    // The member variables come back from the object's construction; what changed them, from the elements.
    Dependents what;
    std::vector<ObjectId> tree;
    m_client->getObject(name)->collectTree(tree);
    for (const ObjectId& part : tree)
      what.variables.insert(part->getVariables().begin(), part->getVariables().end());
    what.changes = true;
    restoreDependents(element, what, found, start, end);
  }

  template <class It>
  void DbClientTransactionPlayer::playVariableUnreset(const TiXmlElement& element, It start, It end) {
    // A variable named by an engine index that no longer leads to one (made
    // for a value, say) was not specified: its reset changed nothing.
    const TiXmlElement* var_el = element.FirstChildElement();
    if (!isInvoke(element) && var_el != NULL && hasTag(*var_el, "variable") &&
        quietly([&]() { return xmlAsVariable(*var_el); }).isNoId())
      return;
    const ConstrainedVariableId var = resetVariable(element);
    KADRIX_CHECK(var.isValid());
    // A variable that was not specified was left alone by the reset.
    const TiXmlElement* found = newestSpecification(element, var, start, end);
    if (found != NULL && transactionMatch(*found, "specify"))
      playAround(*found, [&]() { playVariableSpecified(*found); });
  }

  // What the undo handlers read of older elements.

  TokenId DbClientTransactionPlayer::stateToken(const TiXmlElement& element) {
    if (isInvoke(element)) {
      const char* identifier = element.Attribute("identifier");
      return identifier == NULL ? TokenId::noId() : lookUp(m_tokens, identifier);
    }
    const TiXmlElement* token_el =
        hasTag(element, "merge") ? element.FirstChildElement("token") : element.FirstChildElement();
    return token_el == NULL ? TokenId::noId() : quietly([&]() { return xmlAsToken(*token_el); });
  }

  ConstrainedVariableId DbClientTransactionPlayer::specifiedVariable(const TiXmlElement& element) {
    if (isInvoke(element)) {
      const char* identifier = element.Attribute("identifier");
      return identifier == NULL ? ConstrainedVariableId::noId()
                                : quietly([&]() { return parseVariable(identifier); });
    }
    // A reference only: reading a value element would make a variable.
    const TiXmlElement* var_el =
        hasTag(element, "reset") ? element.FirstChildElement() : element.FirstChildElement("variable");
    if (var_el == NULL && !hasTag(element, "reset"))
      var_el = element.FirstChildElement("id");
    if (var_el == NULL || (!hasTag(*var_el, "variable") && !hasTag(*var_el, "id")))
      return ConstrainedVariableId::noId();
    return quietly([&]() { return xmlAsVariable(*var_el); });
  }

  bool DbClientTransactionPlayer::madeTheToken(const TiXmlElement& element, const TokenId& token) {
    if ((!hasTag(element, "goal") && !hasTag(element, "fact")) || element.Attribute("relation") != NULL)
      return false;
    const TiXmlElement* instance = element.FirstChildElement();
    if (instance == NULL)
      return false;
    // Playing a goal reads no path: one is believed only beside a name that
    // this player does not know (a log names and places its tokens itself).
    const char* name = instance->Attribute("name");
    if (name == NULL)
      return false;
    const TokenId named = lookUp(m_tokens, name);
    if (named.isValid())
      return named == token;
    const char* path = instance->Attribute("path");
    return path != NULL && quietly([&]() { return m_client->getPathAsString(token); }) == path;
  }

  template <class It>
  const TiXmlElement* DbClientTransactionPlayer::newestStateChange(const TiXmlElement& element,
                                                                   const TokenId& token, It start, It end) {
    return findOlder(
        m_rewindIndex, m_root, RewindIndex::STATE, pastItself(element, start, end), end,
        [&](std::vector<std::string>& keys) {
          keys.push_back(tokenSought(m_client, token));
          return !keys.back().empty();
        },
        [&](const TiXmlElement* const* it) {
          // Older than the token's creation, a path or a name meant another token.
          return (ElementNames(**it).changesState() && stateToken(**it) == token) ||
                 madeTheToken(**it, token);
        });
  }

  template <class It>
  const TiXmlElement* DbClientTransactionPlayer::newestSpecification(const TiXmlElement& element,
                                                                     const ConstrainedVariableId& var,
                                                                     It start, It end) {
    // The creation of the variable's token, where it gives a path, ends the
    // search: an older element that names that path named another token.
    const TokenId owner = tokenOf(var);
    const TiXmlElement* found = findOlder(
        m_rewindIndex, m_root, RewindIndex::SPECIFY, pastItself(element, start, end), end,
        [&](std::vector<std::string>& keys) {
          if (owner.isId())
            keys.push_back(tokenSought(m_client, owner));
          return variableSought(m_client, var, keys);
        },
        [&](const TiXmlElement* const* it) {
          if (RewindIndex::createdPath(**it) != NULL)
            return owner.isId() && madeTheToken(**it, owner);
          if (transactionMatch(**it, "specify")) {
            // A "specify" that cannot be read stops the search.
            ConstrainedVariableId transVar;
            if (hasTag(**it, "invoke")) {
              KADRIX_CHECK((*it)->Attribute("identifier") != NULL);
              transVar = quietly([&]() { return parseVariable((*it)->Attribute("identifier")); });
            } else {
              const TiXmlElement* var_el = (*it)->FirstChildElement("variable");
              if (var_el == NULL)
                var_el = (*it)->FirstChildElement("id");
              KADRIX_CHECK(var_el != NULL);
              transVar = quietly([&]() { return xmlAsVariable(*var_el); });
            }
            return transVar.isValid() && transVar == var;
          }
          return transactionMatch(**it, "reset") && specifiedVariable(**it) == var;
        });
    return found != NULL && RewindIndex::createdPath(*found) != NULL ? NULL : found;
  }

  template <class It>
  void DbClientTransactionPlayer::restoreDependents(const TiXmlElement& element, const Dependents& what,
                                                    const TiXmlElement* origin, It start, It end) {
    const It older = pastItself(element, start, end);
    MentionKeys keys;
    const bool keyed =
        filedExactly(m_rewindIndex, m_root, older, end) && dependentsSought(what, origin, older, end, keys);
    DependentElements found = keyedSearch(keyed ? &keys : NULL, [&](const MentionKeys* sought) {
      return findDependents(what, origin, older, end, sought);
    });
    // Objects named by the counter stay when their element is undone (nothing
    // names them to delete them): those made since the token were numbered
    // just before the ones that the elements undone so far made.
    for (int i = 1; i <= found.unnamedLater; ++i) {
      const int number = m_objectCount - m_unnamedUndone - i;
      const ObjectId object = m_client->getObject(("$OBJECT[" + std::to_string(number) + "]").c_str());
      if (object.isValid())
        found.later.push_back(static_cast<double>(object));
    }
    // A token made again took the objects there are now into its closed
    // domains: the client restricts them to those made before it. One that
    // had none (they were all made after it) is emptied, where it was empty
    // from its making, which no client call does: the plan is inconsistent
    // until it goes.
    if (what.token.isValid())
      for (const ConstrainedVariableId& var : what.token->getVariables()) {
        if (!var->isClosed() || !var->baseDomain().isEntity())
          continue;
        std::unique_ptr<AbstractDomain> earlier(var->baseDomain().copy());
        for (double value : found.later)
          if (earlier->isMember(value))
            earlier->remove(value);
        if (!earlier->isEmpty()) {
          if (*earlier != var->baseDomain())
            m_client->restrict(var, *earlier);
          continue;
        }
        for (double value : found.later)
          if (var->baseDomain().isMember(value))
            var->remove(value);
        m_client->noteUntoldChange();
      }
    for (std::vector<const TiXmlElement*>::reverse_iterator it = found.replay.rbegin();
         it != found.replay.rend(); ++it)
      playAround(**it, [&]() { processTransaction(**it); });
  }

  template <class It>
  bool DbClientTransactionPlayer::dependentsSought(const Dependents& what, const TiXmlElement* origin,
                                                   It start, It end, MentionKeys& keys) {
    for (const ConstrainedVariableId& var : what.variables)
      if (var.isValid() && !variableSought(m_client, var, keys.every))
        return false;
    if (what.changes)
      keys.every.push_back(RewindIndex::UNTOLD);
    if (what.token.isNoId()) {
      keys.settle();
      return true;
    }
    const MentionKeys token{{tokenSought(m_client, what.token)}, {}};
    if (token.every.front().empty())
      return false;
    // Whether a token merged onto the token comes back depends on whether
    // its state changed since, which its newest state change tells; whether
    // an ordering does, on whether its tokens were cancelled since, which
    // their newest cancels tell.
    bool told = true;
    walkOlder(m_rewindIndex, m_root, start, end, &token, origin, [&](const TiXmlElement& candidate) {
      if (&candidate == origin)
        return false;
      told = RewindIndex::deciders(candidate, token.every.front(), keys) && told;
      return true;
    });
    keys.every.push_back(token.every.front());
    if (what.changes) {
      keys.every.push_back(RewindIndex::MADE_OBJECTS);
      keys.every.push_back(RewindIndex::RELATIONS);
    }
    keys.settle();
    return told;
  }

  template <class It>
  DbClientTransactionPlayer::DependentElements DbClientTransactionPlayer::findDependents(
      const Dependents& what, const TiXmlElement* origin, It start, It end, const MentionKeys* keys) {
    // Newest first, the first element found for a thing decides whether it
    // was still in force: a token's state, an ordering, a specified value. A
    // cancel ends the orderings of its token before it. A temporal relation
    // or a constraint made twice is two: each later removal takes one, and
    // what no removal took is made again.
    DependentElements found;
    std::set<TokenId> stated, cancelled;
    std::set<std::array<EntityId, 3> > ordered;
    std::set<ConstrainedVariableId> specified;
    std::map<std::string, int> unrelated; // relations removed since, by how many removals not yet matched
    std::vector<std::pair<std::string, ScopeText> > deleted; // constraints deleted since, not yet matched
    std::vector<const TiXmlElement*>& replay = found.replay;
    const auto ours = [&](const ConstrainedVariableId& var) {
      return var.isValid() && what.variables.count(var) != 0;
    };
    std::set<std::string> regiven; // root paths that creations since gave again
    walkOlder(m_rewindIndex, m_root, start, end, keys, origin, [&](const TiXmlElement& older) {
      if (&older == origin)
        return false;
      if (what.changes && what.token.isValid())
        found.unnamedLater += RewindIndex::unnamedObjects(older);
      if (const char* path = RewindIndex::createdPath(older)) {
        regiven.insert(path);
        return true;
      }
      const ElementNames names(older);
      if ((names.changesState() || names.orders()) && namesRegiven(older, names.orders(), regiven))
        return true;
      if (names.changesState()) {
        const TokenId changed = stateToken(older);
        if (names.transaction == TransactionName::CANCEL)
          cancelled.insert(changed);
        if (!changed.isValid() || !stated.insert(changed).second)
          return true;
        // A fact, which may be deleted while merged, comes back merged, unless
        // the token it went onto is gone or a cancel of it split it off since.
        if ((what.activation && changed == what.token &&
             (names.transaction == TransactionName::ACTIVATE ||
              (names.transaction == TransactionName::MERGE && what.token->isFact() &&
               mergeTarget(*this, older).isValid() && cancelled.count(mergeTarget(*this, older)) == 0))) ||
            (what.merges && changed != what.token && names.transaction == TransactionName::MERGE &&
             changed->isInactive() && cancelled.count(what.token) == 0 &&
             mergeTarget(*this, older) == what.token))
          replay.push_back(&older);
      } else if (what.orderings && names.orders()) {
        ObjectId object;
        TokenId predecessor, successor;
        quietly([&]() {
          getElementsFromConstrain(older, object, predecessor, successor);
          return 0;
        });
        // An ordering with a token that is not back yet comes back with that token.
        if ((predecessor == what.token || successor == what.token) && object.isValid() &&
            predecessor.isValid() && successor.isValid() &&
            ordered.insert({object, predecessor, successor}).second &&
            names.transaction == TransactionName::CONSTRAIN && cancelled.count(predecessor) == 0 &&
            cancelled.count(successor) == 0)
          replay.push_back(&older);
      } else if (what.changes && (names.transaction == TransactionName::SPECIFY ||
                                  names.transaction == TransactionName::RESET)) {
        // The newest decides, a reset too: a variable made again may come specified.
        const ConstrainedVariableId var = specifiedVariable(older);
        if (ours(var) && specified.insert(var).second)
          replay.push_back(&older);
      } else if (what.changes && what.token.isValid() && RewindIndex::madeObjectName(older) != NULL) {
        // An object made after the token: its closed domains did not hold it.
        const ObjectId object = m_client->getObject(RewindIndex::madeObjectName(older));
        if (object.isValid())
          found.later.push_back(static_cast<double>(object));
      } else if (what.changes && names.tag == TransactionName::RESTRICT) {
        const TiXmlElement* var_el = older.FirstChildElement();
        if (var_el != NULL && (hasTag(*var_el, "variable") || hasTag(*var_el, "id")) &&
            ours(quietly([&]() { return xmlAsVariable(*var_el); })))
          replay.push_back(&older);
      } else if (what.changes && names.tag == TransactionName::ASSIGN && older.Attribute("name") != NULL) {
        if (ours(quietly([&]() { return parseVariable(older.Attribute("name")); })))
          replay.push_back(&older);
      } else if (what.changes && names.tag == TransactionName::DELETECONSTRAINT) {
        deleted.emplace_back(older.Attribute("name") != NULL ? older.Attribute("name") : "",
                             deletedScope(*this, older));
      } else if (what.changes && names.tag == TransactionName::INVOKE &&
                 older.Attribute("identifier") == NULL && older.FirstChildElement() != NULL &&
                 older.Attribute("name") != NULL) {
        // Each deletion since took one constraint of that name and scope.
        const ScopeText scope(*this, older);
        const auto deletedSince =
            std::find_if(deleted.begin(), deleted.end(), [&](const std::pair<std::string, ScopeText>& deletion) {
              return deletion.first == older.Attribute("name") && deletion.second.sameAs(scope);
            });
        if (deletedSince != deleted.end())
          deleted.erase(deletedSince);
        else if (scope.readable() && std::any_of(scope.variables().begin(), scope.variables().end(), ours))
          replay.push_back(&older);
      } else if (what.changes && what.token.isValid() && older.Attribute("relation") != NULL &&
                 (names.tag == TransactionName::GOAL || names.tag == TransactionName::DELETETOKEN)) {
        const char* origin_name = older.Attribute("origin");
        const char* target_name = older.Attribute("target");
        if (origin_name == NULL || target_name == NULL)
          return true;
        // A name that no longer resolves (its token is gone) names nothing.
        const TokenId origin_token = quietly([&]() { return parseToken(origin_name); });
        const TokenId target_token = quietly([&]() { return parseToken(target_name); });
        // A relation with a token that is not back yet comes back with that token.
        if ((origin_token != what.token && target_token != what.token) || !origin_token.isValid() ||
            !target_token.isValid())
          return true;
        const std::string relation =
            std::string(older.Attribute("relation")) + "\n" + origin_name + "\n" + target_name;
        // Each removal since took away one making of the relation.
        int& removals = unrelated[relation];
        if (names.tag == TransactionName::DELETETOKEN)
          ++removals;
        else if (removals > 0)
          --removals;
        else
          replay.push_back(&older);
      }
      return true;
    });
    return found;
  }

  // The two sequences rewound: a log's buffer read backwards, and the list a
  // stream rewind reads, newest first.
#define KADRIX_REWIND_INSTANTIATE(It)                                                                  \
  template void DbClientTransactionPlayer::processTransactionInverse<It>(const TiXmlElement&, It, It); \
  template void DbClientTransactionPlayer::playUnfreed<It>(const TiXmlElement&, It, It);               \
  template void DbClientTransactionPlayer::playUncancelled<It>(const TiXmlElement&, It, It);           \
  template void DbClientTransactionPlayer::playTokenUndeleted<It>(const TiXmlElement&, It, It);        \
  template void DbClientTransactionPlayer::playUninvokeConstraint<It>(const TiXmlElement&, It, It);    \
  template void DbClientTransactionPlayer::playUninvokeTransaction<It>(const TiXmlElement&, It, It);   \
  template void DbClientTransactionPlayer::playReinvokeConstraint<It>(const TiXmlElement&, It, It);    \
  template void DbClientTransactionPlayer::playVariableUndeleted<It>(const TiXmlElement&, It, It);     \
  template void DbClientTransactionPlayer::playVariableUnreset<It>(const TiXmlElement&, It, It);       \
  template void DbClientTransactionPlayer::playObjectUndeleted<It>(const TiXmlElement&, It, It);

  KADRIX_REWIND_INSTANTIATE(LogPosition)
  KADRIX_REWIND_INSTANTIATE(StreamPosition)

#undef KADRIX_REWIND_INSTANTIATE

}
