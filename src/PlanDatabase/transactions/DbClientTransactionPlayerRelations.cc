// Temporal relations between two named tokens: a "goal" (or, rewinding,
// "deletetoken") element with the attributes "relation", "origin" and
// "target" stands for one or two "precedes" or "concurrent" constraints over
// the tokens' start and end timepoints. The player creates them through the
// client and records each under its two scope variables, so that removing the
// relation finds them again.

#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

#include <tinyxml.h>

#include <cstring>

// Part of DbClientTransactionPlayer: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/transactions/DbClientTransactionPlayer.cc"

namespace KADRIX {

  namespace {

    enum Timepoint { ORIGIN_START, ORIGIN_END, TARGET_START, TARGET_END };

    /** One constraint of a relation: its name and its two scope variables, in scope order. */
    struct Link {
      const char* constraint;
      Timepoint first;
      Timepoint second;
    };

    /** A relation and the constraints it stands for, in the order they are made and removed. */
    struct Relation {
      const char* name;
      int count;
      Link links[2];
    };

    const char* const PRECEDES = "precedes";
    const char* const CONCURRENT = "concurrent";

    // "ends_before" is the same as "before", and "ends_after" the same as
    // "ends_after_start": streams rely on it. "any" stands for no constraint
    // and is not listed.
    const Relation RELATIONS[] = {
        {"before", 1, {{PRECEDES, ORIGIN_END, TARGET_START}, {}}},
        {"after", 1, {{PRECEDES, TARGET_END, ORIGIN_START}, {}}},
        {"meets", 1, {{CONCURRENT, ORIGIN_END, TARGET_START}, {}}},
        {"met_by", 1, {{CONCURRENT, ORIGIN_START, TARGET_END}, {}}},
        {"equal", 2, {{CONCURRENT, ORIGIN_START, TARGET_START}, {CONCURRENT, ORIGIN_END, TARGET_END}}},
        {"equals", 2, {{CONCURRENT, ORIGIN_START, TARGET_START}, {CONCURRENT, ORIGIN_END, TARGET_END}}},
        {"contains", 2, {{PRECEDES, ORIGIN_START, TARGET_START}, {PRECEDES, TARGET_END, ORIGIN_END}}},
        {"contained_by", 2, {{PRECEDES, TARGET_START, ORIGIN_START}, {PRECEDES, ORIGIN_END, TARGET_END}}},
        {"paralleled_by", 2, {{PRECEDES, TARGET_START, ORIGIN_START}, {PRECEDES, TARGET_END, ORIGIN_END}}},
        {"parallels", 2, {{PRECEDES, ORIGIN_START, TARGET_START}, {PRECEDES, ORIGIN_END, TARGET_END}}},
        {"starts", 1, {{CONCURRENT, ORIGIN_START, TARGET_START}, {}}},
        {"ends", 1, {{CONCURRENT, ORIGIN_END, TARGET_END}, {}}},
        {"ends_after", 1, {{PRECEDES, TARGET_START, ORIGIN_END}, {}}},
        {"ends_before", 1, {{PRECEDES, ORIGIN_END, TARGET_START}, {}}},
        {"ends_after_start", 1, {{PRECEDES, TARGET_START, ORIGIN_END}, {}}},
        {"starts_before_end", 1, {{PRECEDES, ORIGIN_START, TARGET_END}, {}}},
        {"starts_during", 2, {{PRECEDES, TARGET_START, ORIGIN_START}, {PRECEDES, ORIGIN_START, TARGET_END}}},
        {"contains_start", 2, {{PRECEDES, ORIGIN_START, TARGET_START}, {PRECEDES, TARGET_START, ORIGIN_END}}},
        {"ends_during", 2, {{PRECEDES, TARGET_START, ORIGIN_END}, {PRECEDES, ORIGIN_END, TARGET_END}}},
        {"contains_end", 2, {{PRECEDES, ORIGIN_START, TARGET_END}, {PRECEDES, TARGET_END, ORIGIN_END}}},
        {"starts_after", 1, {{PRECEDES, TARGET_START, ORIGIN_START}, {}}},
        {"starts_before", 1, {{PRECEDES, ORIGIN_START, TARGET_START}, {}}},
    };

    /** The relation of that exact name, or null ("any" included). */
    const Relation* findRelation(const char* name) {
      for (const Relation& relation : RELATIONS)
        if (strcmp(relation.name, name) == 0)
          return &relation;
      return NULL;
    }

    /** The relation element read and its two tokens found and checked. */
    struct RelationElement {
      const char* relation;
      TokenId origin;
      TokenId target;

      ConstrainedVariableId timepoint(Timepoint point) const {
        switch (point) {
          case ORIGIN_START:
            return origin->start();
          case ORIGIN_END:
            return origin->end();
          case TARGET_START:
            return target->start();
          default:
            return target->end();
        }
      }
    };

    RelationElement readRelation(DbClientTransactionPlayer& player, const TiXmlElement& element) {
      const char* relation = element.Attribute("relation");
      KADRIX_CHECK(relation != NULL);
      const char* origin = element.Attribute("origin");
      KADRIX_CHECK(origin != NULL);
      const char* target = element.Attribute("target");
      KADRIX_CHECK(target != NULL);
      TokenId origin_token = player.parseToken(origin);
      TokenId target_token = player.parseToken(target);
      KADRIX_CHECK_MSG(origin_token.isValid(), "Invalid token for label '" << origin << "'");
      KADRIX_CHECK_MSG(target_token.isValid(), "Invalid token for label '" << target << "'");
      return RelationElement{relation, origin_token, target_token};
    }

  }

  void DbClientTransactionPlayer::playTemporalRelationCreated(const TiXmlElement& element) {
    const RelationElement read = readRelation(*this, element);
    const char* relation = read.relation;
    KADRIX_DEBUG("DbClientTransactionPlayer:playTemporalRelationCreated",
                 "got token " << read.origin->getKey() << " and " << read.target->getKey()
                              << " for relation '" << relation << "'");
    const Relation* row = findRelation(relation);
    if (row == NULL) {
      KADRIX_CHECK_MSG(strcmp(relation, "any") == 0, "unknown temporal relation name '" << relation << "'");
      return;
    }
    for (int i = 0; i < row->count; ++i) {
      const Link& link = row->links[i];
      const VariablePair key(read.timepoint(link.first), read.timepoint(link.second));
      const std::vector<ConstrainedVariableId> scope{key.first, key.second};
      ConstraintId constraint = m_client->createConstraint(link.constraint, scope);
      m_relations.insert(std::make_pair(key, constraint));
    }
  }

  void DbClientTransactionPlayer::playTemporalRelationDeleted(const TiXmlElement& element) {
    const RelationElement read = readRelation(*this, element);
    const char* relation = read.relation;
    KADRIX_DEBUG("DbClientTransactionPlayer:playTemporalRelationDeleted",
                 "got token " << read.origin->getKey() << " and " << read.target->getKey() << " for relation "
                              << relation);
    const Relation* row = findRelation(relation);
    if (row == NULL) {
      KADRIX_CHECK_MSG(strcmp(relation, "any") == 0, "unknown temporal relation name " << relation);
      return;
    }
    for (int i = 0; i < row->count; ++i) {
      const Link& link = row->links[i];
      removeTemporalConstraint(read.timepoint(link.first), read.timepoint(link.second), link.constraint);
    }
  }

  DbClientTransactionPlayer::TemporalRelations::iterator DbClientTransactionPlayer::getTemporalConstraint(
      const ConstrainedVariableId& first, const ConstrainedVariableId& second, const std::string& name) {
    // Entries are keyed by address alone: drop those whose constraint is gone
    // or whose variables went and left their addresses to others, so that no
    // dead constraint is read.
    const VariablePair key(first, second);
    std::pair<TemporalRelations::iterator, TemporalRelations::iterator> range = m_relations.equal_range(key);
    for (TemporalRelations::iterator it = range.first; it != range.second;) {
      if (it->second.isValid() && it->first == key)
        ++it;
      else if (it == range.first)
        range.first = it = m_relations.erase(it);
      else
        it = m_relations.erase(it);
    }
    KADRIX_CHECK_TEXT(
        range.first != range.second, "range.first != m_relations.end()",
        "No saved temporal constraints between " << first->toString() << " and " << second->toString());
    const LabelStr label(name);
    for (TemporalRelations::iterator it = range.first; it != range.second; ++it)
      if (it->second->getName() == label)
        return it;
    return m_relations.end();
  }

  void DbClientTransactionPlayer::deleteTemporalConstraint(TemporalRelations::iterator it) {
    KADRIX_CHECK(it != m_relations.end());
    ConstraintId constr = it->second;
    KADRIX_CHECK(constr.isValid());
    // Forgotten only once deleted: a refused deletion keeps the entry.
    m_client->deleteConstraint(constr);
    m_relations.erase(it);
  }

  void DbClientTransactionPlayer::removeTemporalConstraint(const ConstrainedVariableId& first,
                                                           const ConstrainedVariableId& second,
                                                           const std::string& name) {
    deleteTemporalConstraint(getTemporalConstraint(first, second, name));
  }

}
