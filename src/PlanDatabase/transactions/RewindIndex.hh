#ifndef KADRIX_REWIND_INDEX_HH
#define KADRIX_REWIND_INDEX_HH

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class TiXmlElement;

namespace KADRIX {

  /**
   * What a walk over the MENTION kind of a RewindIndex reads: every candidate
   * filed under a key of `every`, and only the newest one filed under each key
   * of `newest` (where the newest alone can decide, as a token's last cancel).
   */
  struct MentionKeys {
    std::vector<std::string> every;
    std::vector<std::string> newest;

    /** Leaves each key once in each list. */
    void settle();
  };

  /**
   * Finds, for the searches of one rewind, the older elements that can match
   * without walking the whole sequence: an inverted index from a key that
   * every match must carry (a name, a token path, a variable reference) to
   * the positions of the elements that carry it.
   *
   * A search walks the elements of its buckets newest first and applies the
   * same test as a walk of the whole sequence, so both find the same element,
   * provided that every element the walk could stop at is in a bucket. That
   * holds when every candidate of the kind has a key in plain text: a kind
   * with one candidate that refers by name, or that a walk would refuse for
   * its shape, is not exact, and its searches walk the sequence.
   *
   * The MENTION kind files every element that a search for what went with a
   * token or variables can act on under each reference that it carries, so
   * that such a search reads only the elements that name the entity, or the
   * tokens that those name, instead of every element since the entity was made.
   *
   * Invariants:
   * - m_elements holds the elements of the sequence, oldest first, with the
   *   children of its roots in place of the roots; m_roots holds each root
   *   with the index of its newest child (the searches from a root see its
   *   children). Once a position is first looked up by address,
   *   m_byAddress holds both, sorted by address.
   * - The buckets of every kind are built together on the first search, in
   *   one pass over the m_indexed oldest elements; m_buckets[kind] then
   *   holds, for each key, the positions of the candidates that carry it,
   *   ascending (a MENTION candidate carries one key per reference);
   *   m_exact[kind] says whether every candidate of the kind among them has
   *   its keys.
   * - Positions never change: elements undone (popped from a log) keep
   *   theirs, and a search only looks below the element being undone.
   */
  class RewindIndex {
  public:
    enum Kind {
      CONSTRAIN, // "constrain" and "free", by object name and the paths of the two tokens
      STATE, // "activate", "merge", "reject", "cancel", by the path of the (merged) token; "goal", "fact" by path
      SPECIFY, // "specify" and "reset", by the variable reference; "goal", "fact" by the path they give
      VAR, // "var", by name
      NEW, // "new", also inside a "var", by name
      INVOKE, // "invoke" without identifier, by name
      // What a search for the dependents of a token or variables reads: state
      // changes and orderings by the path of each token they name (a state
      // change by its token's state too, a cancel by its token's cancels too),
      // specifications, restrictions and constraint scopes by each variable
      // reference; token creations and root deletions, temporal relations and
      // object creations each under one key of their own (CREATIONS,
      // RELATIONS, MADE_OBJECTS), a creation that gives a path by that path too.
      MENTION,
      KINDS
    };

    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);

    /** Over the top-level elements of a rewind, oldest first; nothing is read until a search asks. */
    explicit RewindIndex(std::vector<const TiXmlElement*> elements);

    /** A root of the sequence, whose children end at `newestChild`, stands there for a search. */
    void placeRoot(const TiXmlElement* root, std::size_t newestChild) {
      m_roots.emplace_back(root, newestChild);
      m_byAddress.clear();
      m_recent.fill({nullptr, NONE});
    }

    /** The elements of the sequence, oldest first. */
    const std::vector<const TiXmlElement*>& elements() const { return m_elements; }

    /** The position of an element of the sequence (0 for the oldest), or NONE. */
    std::size_t position(const TiXmlElement* element) const;

    /** The rewind undoes the element now: the positions asked next lie beside it. */
    void reach(const TiXmlElement* element) const { position(element); }

    /**
     * Every candidate of the kind at or below `newest` has a key, so the index
     * answers as a walk from there would. The first call indexes, for every
     * kind, the elements at or below `newest` (those above may be gone, popped
     * from a log); a later call from further up answers false.
     */
    bool exact(Kind kind, std::size_t newest);

    /**
     * Offers match, newest first, the candidates of the kind under any of the
     * keys that lie at or below `newest`, until it accepts one; returns that
     * one, or null.
     */
    template <class Match>
    const TiXmlElement* newestMatch(Kind kind, const std::vector<std::string>& keys, std::size_t newest,
                                    Match match);

    /**
     * Offers visit, newest first and each once, the candidates of the kind
     * that lie at or below `newest` and above `last`: those under any of the
     * keys `every`, and the newest under each of the keys `newestOnly`; then
     * `last` itself where it lies at or below `newest`; until visit returns
     * false, and answers false then. The keys' candidates are merged lazily,
     * so a visit that stops early reads little.
     */
    template <class Visit>
    bool visitFiled(Kind kind, const std::vector<std::string>& every,
                    const std::vector<std::string>& newestOnly, std::size_t newest, const TiXmlElement* last,
                    Visit visit);

    /**
     * The MENTION keys of what decides whether a merge or an ordering, met
     * newest first, was still in force, added as keys of which the newest
     * candidate alone decides: the merged token's newest state change (any
     * since ended the merge), or, where the merged token is `sought`, the
     * newest cancel of the token it went onto; each ordered token's newest
     * cancel (any since ended the ordering); none of the token `sought` (by
     * its token key), all of whose elements the search reads. Beside them,
     * as keys of which every candidate counts, the creations of those tokens'
     * root paths: one since gave the path to another token. False when one of
     * its references has no key.
     */
    static bool deciders(const TiXmlElement& element, const std::string& sought, MentionKeys& keys);

    /**
     * The name of the object an element made when it was played: a "new"
     * element's "name"; a "var" element's own "name" when its domain, its
     * first child, is a "new" (the object is named after the variable); else null.
     */
    static const char* madeObjectName(const TiXmlElement& element);

    /**
     * How many objects playing the element named by the player's counter:
     * every "new" in it but one that its element or its variable names (a
     * top-level "new" with a name, the "new" that is a "var"'s domain); none
     * in a deletion, whose children only name what goes.
     */
    static int unnamedObjects(const TiXmlElement& element);

    /**
     * The path that a "goal" or "fact" (not a relation) gives its token, when
     * it gives one as a log writes it; else null. A log names its tokens by
     * paths, and a path given again after a deletion names another token:
     * searches by path stop at such a creation.
     */
    static const char* createdPath(const TiXmlElement& element);
    /** Whether the text is a token path as a log writes it: decimal numbers joined by ".". */
    static bool isLogPath(const char* text);

    // Keys, as the candidates carry them and as a search builds them.

    /** A token by path: "T" and the path. */
    static std::string tokenKey(const std::string& path);
    /** The state of a token by path, under which MENTION files what changed it: "S" and the path. */
    static std::string stateKey(const std::string& path);
    /** The cancels of a token by path, under which MENTION files them: "X" and the path. */
    static std::string cancelKey(const std::string& path);
    /** The creations of root tokens by path, under which MENTION files them too: "N" and the path. */
    static std::string creationKey(const std::string& path);
    /** A variable by engine index: "E" and the index. */
    static std::string variableKey(unsigned int engineIndex);
    /** A variable by its parent and its index in it: "P", the token path or object name, the index. */
    static std::string variableKey(char parentKind, const std::string& parent, int index);
    /** Fields joined by a separator no name holds. */
    static std::string join(const std::string& first, const std::string& second);
    // MENTION keys of whole classes of elements; no reference key is this short.
    static const std::string CREATIONS; // "goal", "fact" and "deletetoken" without relation
    static const std::string RELATIONS; // "goal" and "deletetoken" with relation
    static const std::string MADE_OBJECTS; // every element that madeObjectName names or that makes unnamed objects
    static const std::string UNTOLD; // "deleteconstraint" without name or scope: it tells not what it deleted

  private:
    typedef std::unordered_map<std::string, std::vector<std::size_t> > Buckets;

    void build(std::size_t newest);
    /** The position of an element or a root, by its address. */
    std::size_t lookUp(const TiXmlElement* element) const;

    typedef std::pair<const TiXmlElement*, std::size_t> Address; // an element and its position
    std::vector<const TiXmlElement*> m_elements;
    std::vector<Address> m_roots;
    mutable std::vector<Address> m_byAddress;
    // The position of the element asked for last, at first the newest: one
    // undo asks for the same element, where its searches start, or the one
    // next to it, again and again, and the next undo for the one just older.
    mutable std::size_t m_cursor;
    // Positions looked up or offered lately, each in the slot its address
    // picks: a search often ends at an element that another search offered.
    mutable std::array<Address, 64> m_recent;
    Address& recent(const TiXmlElement* element) const {
      return m_recent[(reinterpret_cast<std::uintptr_t>(element) / sizeof(void*)) % m_recent.size()];
    }
    Buckets m_buckets[KINDS];
    std::size_t m_indexed = 0; // how many elements, from the oldest, the buckets cover
    bool m_exact[KINDS];
  };

  /**
   * While the children of a root element are undone, newest first: the
   * root's elements in document order, nested roots flattened, and how many
   * of them precede the one being undone. A search looks at those first.
   */
  struct RootRewind {
    explicit RootRewind(std::vector<const TiXmlElement*> elements) : index(std::move(elements)) {}
    RewindIndex index;
    std::size_t before = 0;
  };

  template <class Match>
  const TiXmlElement* RewindIndex::newestMatch(Kind kind, const std::vector<std::string>& keys,
                                               std::size_t newest, Match match) {
    const TiXmlElement* found = nullptr;
    visitFiled(kind, keys, {}, newest, nullptr, [&](const TiXmlElement* const* candidate) {
      if (!match(candidate))
        return true;
      found = *candidate;
      return false;
    });
    return found;
  }

  template <class Visit>
  bool RewindIndex::visitFiled(Kind kind, const std::vector<std::string>& every,
                               const std::vector<std::string>& newestOnly, std::size_t newest,
                               const TiXmlElement* last, Visit visit) {
    const std::size_t floor = last == nullptr ? NONE : lookUp(last);
    const bool floored = floor != NONE && floor <= newest;
    // A merge of the buckets, newest first: the heap holds, for each bucket
    // not yet exhausted, the index of its next position, the index it stops
    // at, and the bucket.
    struct Next {
      std::size_t next;
      std::size_t stop;
      const std::vector<std::size_t>* bucket;
    };
    std::vector<Next> heap;
    for (const std::vector<std::string>* keys : {&every, &newestOnly})
      for (const std::string& key : *keys) {
        Buckets::const_iterator found = m_buckets[kind].find(key);
        if (found == m_buckets[kind].end())
          continue;
        const std::vector<std::size_t>& bucket = found->second;
        const std::size_t next = std::upper_bound(bucket.begin(), bucket.end(), newest) - bucket.begin();
        if (next > 0)
          heap.push_back({next - 1, keys == &every ? 0 : next - 1, &bucket});
      }
    const auto older = [](const Next& a, const Next& b) { return (*a.bucket)[a.next] < (*b.bucket)[b.next]; };
    std::make_heap(heap.begin(), heap.end(), older);
    std::size_t offered = NONE;
    while (!heap.empty()) {
      std::pop_heap(heap.begin(), heap.end(), older);
      Next& top = heap.back();
      const std::size_t position = (*top.bucket)[top.next];
      if (floored && position <= floor)
        break;
      if (top.next > top.stop) {
        --top.next;
        std::push_heap(heap.begin(), heap.end(), older);
      } else
        heap.pop_back();
      if (position == offered) // the same element under two keys is offered once
        continue;
      offered = position;
      recent(m_elements[position]) = {m_elements[position], position};
      if (!visit(&m_elements[position]))
        return false;
    }
    return !floored || visit(&m_elements[floor]);
  }

}

#endif
