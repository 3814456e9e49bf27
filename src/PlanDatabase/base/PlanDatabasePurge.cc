// Purge: the database discards its tokens, objects and global variables once.
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Utils.hh"

// Part of PlanDatabase: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/base/PlanDatabase.cc"

namespace KADRIX {

  void PlanDatabase::purge() {
    KADRIX_CHECK(m_constraintEngine.isValid());
    KADRIX_CHECK(m_state != PURGED);
    m_state = PURGED;
    purgeTokens();
    m_objectsOfTypeCache.clear();
    if (Entity::isPurging())
      Entity::discardAll(m_objects);
    else {
      // Discarding an object unregisters it, so walk a copy, in key order;
      // components go with their parents. Repeat until none is left, skipping
      // objects gone meanwhile.
      while (!m_objects.empty()) {
        ObjectSet roots;
        for (ObjectSet::const_iterator it = m_objects.begin(); it != m_objects.end(); ++it) {
          const ObjectId& object = *it;
          KADRIX_CHECK(object.isValid());
          if (object->getParent().isNoId())
            roots.insert(object);
        }
        if (roots.empty())
          roots.insert(m_objects.begin(), m_objects.end());
        const size_t before = m_objects.size();
        for (ObjectSet::const_iterator it = roots.begin(); it != roots.end(); ++it) {
          const ObjectId object = *it;
          if (object.isValid())
            object->discard(true);
        }
        KADRIX_CHECK_MSG(m_objects.size() < before, "Objects survive their discard.");
        if (m_objects.size() >= before)
          break;
      }
    }
    for (std::map<int, ConstrainedVariableListener*>::iterator it = m_globalVariableKeepers.begin();
         it != m_globalVariableKeepers.end(); ++it)
      delete it->second;
    m_globalVariableKeepers.clear();
    Entity::discardAll(m_globalVariables);
    // The variables are gone: their names must not find them any more.
    m_globalVarsByName.clear();
    Entity::garbageCollect();
  }

  void PlanDatabase::purgeTokens() {
    if (Entity::isPurging()) {
      Entity::discardAll(m_tokens);
      return;
    }
    // A token's discard takes its slaves along, but a slave that something
    // else holds survives its master without one: collect and discard, in key
    // order, until no token is left.
    while (!m_tokens.empty()) {
      TokenSet roots;
      for (TokenSet::const_iterator it = m_tokens.begin(); it != m_tokens.end(); ++it) {
        const TokenId& token = *it;
        KADRIX_CHECK(token.isValid());
        if (token->master().isNoId())
          roots.insert(token);
      }
      // Tokens whose masters are not in the database go as they are.
      if (roots.empty())
        roots.insert(m_tokens.begin(), m_tokens.end());
      const size_t before = m_tokens.size();
      for (TokenSet::const_iterator it = roots.begin(); it != roots.end(); ++it) {
        const TokenId token = *it;
        if (token.isValid() && !token->isDeleted())
          token->discard(true);
      }
      KADRIX_CHECK_MSG(m_tokens.size() < before, "Tokens survive their discard.");
      if (m_tokens.size() >= before)
        break;
    }
  }

}
