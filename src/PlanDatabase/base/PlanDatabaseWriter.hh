#ifndef KADRIX_PLAN_DATABASE_WRITER_HH
#define KADRIX_PLAN_DATABASE_WRITER_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

#include <ostream>
#include <string>

namespace KADRIX {

  /**
   * Writes a whole plan database as indented text: every object with the
   * tokens on it (a timeline's in sequence order) and its member variables,
   * the global variables, then the tokens on no object, grouped by state.
   *
   * Two process-wide settings: whether tokens are named by entity key or by
   * their path in the client's numbering (the last value given to toString),
   * and the current indentation level (one tab per level).
   */
  class PlanDatabaseWriter {
  public:
    /** The text of the database; sets the standard-keys switch, which stays set. */
    static std::string toString(const PlanDatabaseId& db, bool useStandardKeys = true);
    /** Writes the text of the database; the database must not be proven inconsistent. */
    static void write(PlanDatabaseId db, std::ostream& os);
    /** Writes one group of tokens under its heading; nothing for an empty group. */
    static void printTokensHelper(std::ostream& os, const std::string& name, const TokenSet& tokens);
    /** Writes one token, one level deeper than the current level. */
    static void writeToken(const TokenId& t, std::ostream& os);
    /** Writes "name=domain", one level deeper than the current level. */
    static void writeVariable(const ConstrainedVariableId& var, std::ostream& os);
    /** The token's name in the text: its entity key. */
    static std::string getKey(const TokenId& t);

    /** One tab per level of indentation. */
    static std::string indentation();
    static int& indent();
    static bool& useStandardKeys();
  };

}

#endif
