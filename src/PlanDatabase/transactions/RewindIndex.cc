#include "PlanDatabase/transactions/RewindIndex.hh"

#include "PlanDatabase/transactions/TransactionName.hh"

#include <tinyxml.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>

namespace KADRIX {

  namespace {

    bool hasTag(const TiXmlElement& element, const char* tag) {
      return std::strcmp(element.Value(), tag) == 0;
    }

    /** A decimal number as it is written: digits only, no leading zero. */
    bool plainNumber(const char* text, std::size_t length) {
      if (length == 0 || length > 9 || (text[0] == '0' && length > 1))
        return false;
      for (std::size_t i = 0; i < length; ++i)
        if (text[i] < '0' || text[i] > '9')
          return false;
      return true;
    }

    bool plainNumber(const char* text) { return text != NULL && plainNumber(text, std::strlen(text)); }

    /** A token path as it is written: plain numbers joined by ".". */
    bool plainPath(const char* path) {
      if (path == NULL)
        return false;
      for (const char* piece = path;;) {
        const char* dot = std::strchr(piece, '.');
        const std::size_t length = dot == NULL ? std::strlen(piece) : static_cast<std::size_t>((dot - piece));
        if (!plainNumber(piece, length))
          return false;
        if (dot == NULL)
          return true;
        piece = dot + 1;
      }
    }

    /** The key of a token reference, or "" for one by name or of another shape. */
    std::string tokenReferenceKey(const TiXmlElement* token) {
      if (token == NULL || !hasTag(*token, "token") || !plainPath(token->Attribute("path")))
        return std::string();
      return RewindIndex::tokenKey(token->Attribute("path"));
    }

    /** The key of a variable reference, or "" for one by name or of another shape. */
    std::string variableReferenceKey(const TiXmlElement* variable) {
      if (variable == NULL || !hasTag(*variable, "variable") || !plainNumber(variable->Attribute("index")))
        return std::string();
      const int index = std::atoi(variable->Attribute("index"));
      if (variable->Attribute("token") != NULL)
        return plainPath(variable->Attribute("token"))
                   ? RewindIndex::variableKey('T', variable->Attribute("token"), index)
                   : std::string();
      if (variable->Attribute("object") != NULL)
        return RewindIndex::variableKey('O', variable->Attribute("object"), index);
      return RewindIndex::variableKey(static_cast<unsigned int>(index));
    }

    typedef TransactionName Name;

    /** An element as the index reads it: its names, each told once. */
    struct Read : ElementNames {
      explicit Read(const TiXmlElement& read) : ElementNames(read), element(read) {}

      /** A "goal", "fact" or "deletetoken" that makes or deletes a token, not a relation. */
      bool tokenCreationOrDeletion() const {
        return (tag == Name::GOAL || tag == Name::FACT || tag == Name::DELETETOKEN) &&
               element.Attribute("relation") == NULL;
      }
      /** What RewindIndex::madeObjectName says. */
      const char* madeObjectName() const {
        if (tag == Name::NEW)
          return element.Attribute("name");
        const TiXmlElement* domain = element.FirstChildElement();
        return tag == Name::VAR && domain != NULL && hasTag(*domain, "new") ? element.Attribute("name")
                                                                            : NULL;
      }

      const TiXmlElement& element;
    };

    enum Keyed { NOT_A_CANDIDATE, KEYED, UNKEYED };

    /** Adds the key of a reference that a search reads with `keyOf`; false when it has none. */
    bool addKey(const TiXmlElement* reference, std::string (*keyOf)(const TiXmlElement*),
                std::vector<std::string>& keys) {
      if (reference == NULL)
        return true; // resolves to nothing: names no entity
      keys.push_back(keyOf(reference));
      return !keys.back().empty();
    }

    /** The keys of a scope's children that name variables (values name none). */
    bool addScopeKeys(const TiXmlElement& element, std::vector<std::string>& keys) {
      bool keyed = true;
      for (const TiXmlElement* child = element.FirstChildElement(); child != NULL;
           child = child->NextSiblingElement())
        if (hasTag(*child, "variable") || hasTag(*child, "id"))
          keyed = addKey(child, variableReferenceKey, keys) && keyed;
      return keyed;
    }

    /** A state change's or an ordering's token references (see tokenReferences); null where there is none. */
    typedef std::array<const TiXmlElement*, 2> TokenReferences;

    /**
     * The token references of a state change or an ordering, as playing reads
     * them: the changed token (a merge's first "token", else the first child)
     * and a merge's active token; an ordering's two tokens. False where the
     * element names a token by name.
     */
    bool tokenReferences(const Read& read, TokenReferences& references) {
      if (read.tag == Name::INVOKE)
        return false;
      const TiXmlElement* first = read.element.FirstChildElement("token");
      const TiXmlElement* second = first == NULL ? NULL : first->NextSiblingElement("token");
      if (read.orders() || read.tag == Name::MERGE)
        references = {first, second};
      else
        references = {read.element.FirstChildElement(), NULL};
      return !read.orders() || first != NULL || read.element.FirstChildElement("id") == NULL;
    }

    /**
     * Whether the element is a MENTION candidate, and its keys: each token and
     * variable reference read as the search for dependents reads it, in the
     * branch that takes the element there (an "invoke" standing for a state
     * change, an ordering or a "specify" names its subject by name). A
     * state change is filed under its token's state as well, a cancel under
     * its token's cancels too.
     */
    Keyed mentionKeys(const Read& read, std::vector<std::string>& keys) {
      const TiXmlElement& element = read.element;
      const bool invoke = read.tag == Name::INVOKE;
      bool keyed = true;
      if (read.changesState() || read.orders()) {
        TokenReferences tokens;
        if (!tokenReferences(read, tokens))
          return UNKEYED;
        for (const TiXmlElement* token : tokens)
          keyed = addKey(token, tokenReferenceKey, keys) && keyed;
        const char* path =
            keyed && read.changesState() && tokens.front() != NULL ? tokens.front()->Attribute("path") : NULL;
        if (path != NULL)
          keys.push_back(RewindIndex::stateKey(path));
        if (path != NULL && read.tag == Name::CANCEL)
          keys.push_back(RewindIndex::cancelKey(path));
      } else if (read.transaction == Name::SPECIFY || read.transaction == Name::RESET) {
        if (invoke)
          return UNKEYED;
        const TiXmlElement* variable =
            read.tag == Name::RESET ? element.FirstChildElement() : element.FirstChildElement("variable");
        if (variable == NULL && read.tag != Name::RESET)
          variable = element.FirstChildElement("id");
        if (variable != NULL && (hasTag(*variable, "variable") || hasTag(*variable, "id")))
          keyed = addKey(variable, variableReferenceKey, keys);
      } else if (read.madeObjectName() != NULL || read.tag == Name::NEW) {
        keys.push_back(RewindIndex::MADE_OBJECTS);
      } else if (read.tag == Name::RESTRICT) {
        const TiXmlElement* variable = element.FirstChildElement();
        if (variable != NULL && (hasTag(*variable, "variable") || hasTag(*variable, "id")))
          keyed = addKey(variable, variableReferenceKey, keys);
      } else if (read.tag == Name::ASSIGN && element.Attribute("name") != NULL) {
        return UNKEYED; // a variable by name
      } else if (read.tag == Name::DELETECONSTRAINT &&
                 (element.Attribute("name") == NULL || element.FirstChildElement() == NULL)) {
        keys.push_back(RewindIndex::UNTOLD);
      } else if ((read.tag == Name::DELETECONSTRAINT || (invoke && element.Attribute("identifier") == NULL &&
                                                         element.FirstChildElement() != NULL)) &&
                 element.Attribute("name") != NULL) {
        keyed = addScopeKeys(element, keys);
      } else if ((read.tag == Name::GOAL || read.tag == Name::DELETETOKEN) &&
                 element.Attribute("relation") != NULL) {
        keys.push_back(RewindIndex::RELATIONS);
      }
      if (read.tokenCreationOrDeletion())
        keys.push_back(RewindIndex::CREATIONS);
      if (const char* path = RewindIndex::createdPath(element))
        keys.push_back(RewindIndex::creationKey(path));
      if (std::find(keys.begin(), keys.end(), RewindIndex::MADE_OBJECTS) == keys.end() &&
          RewindIndex::unnamedObjects(element) > 0)
        keys.push_back(RewindIndex::MADE_OBJECTS);
      if (!keyed)
        return UNKEYED;
      return keys.empty() ? NOT_A_CANDIDATE : KEYED;
    }

    /** Whether the element is a candidate of the kind, and its keys when it has them. */
    Keyed keysOf(RewindIndex::Kind kind, const Read& read, std::vector<std::string>& keys) {
      if (kind == RewindIndex::MENTION)
        return mentionKeys(read, keys);
      const TiXmlElement& element = read.element;
      keys.emplace_back();
      std::string& key = keys.back();
      switch (kind) {
        case RewindIndex::CONSTRAIN: {
          if (!read.orders())
            return NOT_A_CANDIDATE;
          const char* object = NULL;
          if (read.tag == Name::INVOKE)
            object = element.Attribute("identifier");
          else if (element.FirstChildElement("object") != NULL)
            object = element.FirstChildElement("object")->Attribute("name");
          const TiXmlElement* first = element.FirstChildElement("token");
          const TiXmlElement* second = first == NULL ? NULL : first->NextSiblingElement("token");
          const std::string predecessor = tokenReferenceKey(first);
          const std::string successor = second == NULL ? predecessor : tokenReferenceKey(second);
          if (object == NULL || predecessor.empty() || successor.empty())
            return UNKEYED;
          key = RewindIndex::join(object, RewindIndex::join(predecessor, successor));
          return KEYED;
        }
        case RewindIndex::STATE:
          if ((read.tag == Name::GOAL || read.tag == Name::FACT) && element.Attribute("relation") == NULL) {
            // A token's creation ends the search for its states.
            const char* path = RewindIndex::createdPath(element);
            if (path == NULL)
              return UNKEYED;
            key = RewindIndex::tokenKey(path);
            return KEYED;
          }
          if (!read.changesState())
            return NOT_A_CANDIDATE;
          key = read.tag == Name::INVOKE ? std::string() : tokenReferenceKey(element.FirstChildElement());
          return key.empty() ? UNKEYED : KEYED;
        case RewindIndex::SPECIFY:
          // A creation that gives a path ends the search for what specified a variable of the token there.
          if (const char* path = RewindIndex::createdPath(element)) {
            key = RewindIndex::tokenKey(path);
            return KEYED;
          }
          if (read.transaction != Name::SPECIFY && read.transaction != Name::RESET)
            return NOT_A_CANDIDATE;
          key = read.tag == Name::INVOKE ? std::string()
                                         : variableReferenceKey(element.FirstChildElement("variable"));
          return key.empty() ? UNKEYED : KEYED;
        case RewindIndex::VAR:
        case RewindIndex::NEW:
        case RewindIndex::INVOKE: {
          static const Name s_tags[] = {Name::VAR, Name::NEW, Name::INVOKE};
          const char* name = kind == RewindIndex::NEW ? read.madeObjectName() : element.Attribute("name");
          if ((kind != RewindIndex::NEW && read.tag != s_tags[kind - RewindIndex::VAR]) || name == NULL ||
              (kind == RewindIndex::INVOKE && element.Attribute("identifier") != NULL))
            return NOT_A_CANDIDATE;
          key = name;
          return KEYED;
        }
        case RewindIndex::MENTION:
        case RewindIndex::KINDS:
          break;
      }
      return NOT_A_CANDIDATE;
    }

  }

  RewindIndex::RewindIndex(std::vector<const TiXmlElement*> elements)
    : m_elements(std::move(elements)), m_cursor(m_elements.empty() ? NONE : m_elements.size() - 1) {
    for (int kind = 0; kind < KINDS; ++kind)
      m_exact[kind] = false;
    m_recent.fill({nullptr, NONE});
  }

  std::size_t RewindIndex::position(const TiXmlElement* element) const {
    // The element being undone, or the one just older or newer, stands next to the last answer.
    if (m_cursor != NONE)
      for (std::size_t near : {m_cursor, m_cursor - 1, m_cursor + 1})
        if (near < m_elements.size() && m_elements[near] == element) // m_cursor - 1 wraps past the end at 0
          return m_cursor = near;
    const std::size_t found = lookUp(element);
    if (found != NONE && m_elements[found] == element) // not a root, which stands at its newest child
      m_cursor = found;
    return found;
  }

  std::size_t RewindIndex::lookUp(const TiXmlElement* element) const {
    Address& slot = recent(element);
    if (slot.first == element)
      return slot.second;
    const auto byAddress = [](const Address& a, const Address& b) {
      return std::less<const TiXmlElement*>()(a.first, b.first);
    };
    if (m_byAddress.empty()) {
      m_byAddress.reserve(m_elements.size() + m_roots.size());
      for (std::size_t i = 0; i < m_elements.size(); ++i)
        m_byAddress.emplace_back(m_elements[i], i);
      m_byAddress.insert(m_byAddress.end(), m_roots.begin(), m_roots.end());
      std::sort(m_byAddress.begin(), m_byAddress.end(), byAddress);
    }
    const std::vector<Address>::const_iterator found =
        std::lower_bound(m_byAddress.begin(), m_byAddress.end(), Address(element, 0), byAddress);
    slot = {element, found != m_byAddress.end() && found->first == element ? found->second : NONE};
    return slot.second;
  }

  bool RewindIndex::exact(Kind kind, std::size_t newest) {
    if (newest >= m_elements.size())
      return false;
    if (m_indexed == 0)
      build(newest);
    return m_exact[kind] && newest < m_indexed;
  }

  void RewindIndex::build(std::size_t newest) {
    m_indexed = newest + 1;
    for (int kind = 0; kind < KINDS; ++kind)
      m_exact[kind] = true;
    std::vector<std::string> keys;
    for (std::size_t i = 0; i <= newest; ++i) {
      const Read read(*m_elements[i]);
      for (int kind = 0; kind < KINDS; ++kind, keys.clear())
        if (m_exact[kind])
          switch (keysOf(static_cast<Kind>(kind), read, keys)) {
            case NOT_A_CANDIDATE:
              break;
            case KEYED:
              for (const std::string& key : keys) {
                std::vector<std::size_t>& bucket = m_buckets[kind][key];
                if (bucket.empty() || bucket.back() != i)
                  bucket.push_back(i);
              }
              break;
            case UNKEYED:
              m_exact[kind] = false;
              m_buckets[kind].clear();
              break;
          }
    }
  }

  void MentionKeys::settle() {
    for (std::vector<std::string>* keys : {&every, &newest}) {
      std::sort(keys->begin(), keys->end());
      keys->erase(std::unique(keys->begin(), keys->end()), keys->end());
    }
  }

  bool RewindIndex::deciders(const TiXmlElement& element, const std::string& sought, MentionKeys& keys) {
    const Read read(element);
    const bool merge = read.tag == Name::MERGE;
    TokenReferences tokens;
    if (!merge && !read.orders())
      return true;
    if (!tokenReferences(read, tokens))
      return false;
    const TiXmlElement* onto = merge ? tokens.back() : NULL;
    if (merge)
      tokens.back() = NULL; // the merged token; the active one only where the sought token is merged
    for (const TiXmlElement* token : tokens)
      if (token != NULL) {
        const char* path = token->Attribute("path");
        if (!hasTag(*token, "token") || !plainPath(path))
          return false; // as tokenReferenceKey, which gives such a reference no key
        if (tokenKey(path) != sought) {
          keys.newest.push_back(merge ? stateKey(path) : cancelKey(path));
          keys.every.push_back(creationKey(std::string(path, std::strcspn(path, "."))));
        } else if (onto != NULL) {
          // The sought token's own merge: a cancel of the token it went onto since split it off.
          const char* ontoPath = onto->Attribute("path");
          if (!hasTag(*onto, "token") || !plainPath(ontoPath))
            return false;
          keys.newest.push_back(cancelKey(ontoPath));
        }
      }
    return true;
  }

  const char* RewindIndex::madeObjectName(const TiXmlElement& element) {
    return Read(element).madeObjectName();
  }

  bool RewindIndex::isLogPath(const char* text) { return plainPath(text); }

  const char* RewindIndex::createdPath(const TiXmlElement& element) {
    if ((!hasTag(element, "goal") && !hasTag(element, "fact")) || element.Attribute("relation") != NULL)
      return NULL;
    const TiXmlElement* instance = element.FirstChildElement();
    const char* path = instance == NULL ? NULL : instance->Attribute("path");
    return plainPath(path) ? path : NULL;
  }

  namespace {

    /** RewindIndex::unnamedObjects; `named`: the element, a "new", is named by itself or by its variable. */
    int unnamedObjects(const TiXmlElement& element, bool named) {
      if (hasTag(element, "deletevar") || hasTag(element, "deleteconstraint"))
        return 0;
      int count = hasTag(element, "new") && !named ? 1 : 0;
      for (const TiXmlElement* child = element.FirstChildElement(); child != NULL;
           child = child->NextSiblingElement())
        count += unnamedObjects(*child, hasTag(element, "var") && child == element.FirstChildElement());
      return count;
    }

  }

  int RewindIndex::unnamedObjects(const TiXmlElement& element) {
    return KADRIX::unnamedObjects(element, element.Attribute("name") != NULL);
  }

  const std::string RewindIndex::CREATIONS = "C";
  const std::string RewindIndex::RELATIONS = "R";
  const std::string RewindIndex::MADE_OBJECTS = "M";
  const std::string RewindIndex::UNTOLD = "U";

  std::string RewindIndex::tokenKey(const std::string& path) { return "T" + path; }

  std::string RewindIndex::stateKey(const std::string& path) { return "S" + path; }

  std::string RewindIndex::cancelKey(const std::string& path) { return "X" + path; }

  std::string RewindIndex::creationKey(const std::string& path) { return "N" + path; }

  std::string RewindIndex::variableKey(unsigned int engineIndex) { return "E" + std::to_string(engineIndex); }

  std::string RewindIndex::variableKey(char parentKind, const std::string& parent, int index) {
    return std::string(1, parentKind) + join(parent, std::to_string(index));
  }

  std::string RewindIndex::join(const std::string& first, const std::string& second) {
    return first + '\n' + second;
  }

}
