#include "PlanDatabase/base/PlanDatabaseWriter.hh"

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/component/Timeline.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

#include <list>
#include <sstream>
#include <vector>

namespace KADRIX {

  namespace {
    const char* const STARS = "*************************";
    const char* const END_STARS = "*********************";

    /** One level deeper while it lives: a write that fails leaves the level where it was. */
    class Deeper {
    public:
      Deeper() { ++PlanDatabaseWriter::indent(); }
      ~Deeper() { --PlanDatabaseWriter::indent(); }
      Deeper(const Deeper&) = delete;
      Deeper& operator=(const Deeper&) = delete;
    };
  }

  bool& PlanDatabaseWriter::useStandardKeys() {
    static bool s_useStandardKeys = true;
    return s_useStandardKeys;
  }

  int& PlanDatabaseWriter::indent() {
    static int s_indent = 0;
    return s_indent;
  }

  std::string PlanDatabaseWriter::indentation() { return std::string(indent() > 0 ? indent() : 0, '\t'); }

  std::string PlanDatabaseWriter::toString(const PlanDatabaseId& db, bool _useStandardKeys) {
    useStandardKeys() = _useStandardKeys;
    KADRIX_CHECK_MSG(useStandardKeys() == _useStandardKeys,
                     "Failed to set standardKeys to method's input values");
    std::stringstream os;
    write(db, os);
    return os.str();
  }

  std::string PlanDatabaseWriter::getKey(const TokenId& t) {
    if (useStandardKeys())
      return KADRIX::toString(static_cast<double>(t->getKey()));
    return t->getPlanDatabase()->getClient()->getPathAsString(t);
  }

  void PlanDatabaseWriter::write(PlanDatabaseId db, std::ostream& os) {
    KADRIX_CHECK(!db->getConstraintEngine()->provenInconsistent());

    const ObjectSet objects(db->getObjects());
    TokenSet tokens(db->getTokens());

    os << "Objects " << STARS << std::endl;
    for (ObjectSet::const_iterator it = objects.begin(); it != objects.end(); ++it) {
      Deeper deeper;
      const ObjectId& object = *it;
      const std::string name = object->getType().toString() + ":" + object->getName().toString();
      os << indentation() << name << STARS << std::endl;

      std::vector<TokenId> onObject;
      Timeline* timeline = dynamic_cast<Timeline*>(static_cast<Object*>(object));
      if (timeline != 0)
        onObject.assign(timeline->getTokenSequence().begin(), timeline->getTokenSequence().end());
      else
        onObject.assign(object->tokens().begin(), object->tokens().end());
      if (!onObject.empty()) {
        Deeper tokensLevel;
        os << indentation() << "Tokens " << STARS << std::endl;
        for (std::vector<TokenId>::const_iterator t = onObject.begin(); t != onObject.end(); ++t) {
          tokens.erase(*t);
          writeToken(*t, os);
        }
        os << indentation() << "End Tokens " << END_STARS << std::endl;
      }

      const std::vector<ConstrainedVariableId>& variables = object->getVariables();
      if (!variables.empty()) {
        Deeper variablesLevel;
        os << indentation() << "Variables " << STARS << std::endl;
        for (std::vector<ConstrainedVariableId>::const_iterator v = variables.begin(); v != variables.end();
             ++v)
          writeVariable(*v, os);
        os << indentation() << "End Variables " << END_STARS << std::endl;
      }
      os << indentation() << "End " << name << STARS << std::endl;
    }

    const ConstrainedVariableSet globals(db->getGlobalVariables());
    if (!globals.empty()) {
      os << "Global Variables" << STARS << std::endl;
      for (ConstrainedVariableSet::const_iterator it = globals.begin(); it != globals.end(); ++it) {
        const ConstrainedVariableId& var = *it;
        KADRIX_CHECK(var.isValid());
        writeVariable(var, os);
      }
    }

    if (tokens.empty())
      return;

    TokenSet merged, active, rejected, inactive, incomplete;
    for (TokenSet::const_iterator it = tokens.begin(); it != tokens.end(); ++it) {
      const TokenId& t = *it;
      KADRIX_CHECK_MSG(t.isValid(), t);
      // A terminated token still has a state: it is written in that state's group.
      if (t->isMerged())
        merged.insert(t);
      else if (t->isActive())
        active.insert(t);
      else if (t->isRejected())
        rejected.insert(t);
      else if (t->isInactive())
        inactive.insert(t);
      else if (t->isIncomplete())
        incomplete.insert(t);
      else
        KADRIX_CHECK_MSG(false, "Token with unknown status");
    }
    printTokensHelper(os, "Active", active);
    printTokensHelper(os, "Merged", merged);
    printTokensHelper(os, "Rejected", rejected);
    printTokensHelper(os, "Inactive", inactive);
    printTokensHelper(os, "Incomplete", incomplete);
  }

  void PlanDatabaseWriter::printTokensHelper(std::ostream& os, const std::string& name,
                                             const TokenSet& tokens) {
    if (tokens.empty())
      return;
    os << name << " Tokens: " << STARS << std::endl;
    for (TokenSet::const_iterator it = tokens.begin(); it != tokens.end(); ++it) {
      const TokenId& tok = *it;
      KADRIX_CHECK_MSG(tok.isValid(), tok);
      writeToken(tok, os);
    }
  }

  void PlanDatabaseWriter::writeToken(const TokenId& t, std::ostream& os) {
    Deeper deeper;
    KADRIX_CHECK(t.isValid());
    os << indentation() << "[ " << t->start()->lastDomain() << " ]" << std::endl;

    os << indentation() << "\t" << t->getPredicateName().toString() << "(";
    const std::vector<ConstrainedVariableId>& parameters = t->parameters();
    for (std::vector<ConstrainedVariableId>::const_iterator it = parameters.begin(); it != parameters.end();
         ++it) {
      const ConstrainedVariableId& v = *it;
      KADRIX_CHECK_MSG(v.isValid(), v);
      const AbstractDomain& domain = v->lastDomain();
      if (domain.isNumeric() && domain.minDelta() < 1.0)
        os.setf(std::ios::fixed);
      else
        os.unsetf(std::ios::fixed);
      os << v->getName().toString() << "=" << domain;
      os.unsetf(std::ios::fixed);
    }
    os << ")" << std::endl;

    os << indentation() << "\tKey=" << getKey(t) << "  Master=";
    if (t->master().isNoId())
      os << "NONE";
    else
      os << getKey(t->master());
    os << std::endl;

    const TokenSet& mergedTokens = t->getMergedTokens();
    for (TokenSet::const_iterator it = mergedTokens.begin(); it != mergedTokens.end(); ++it)
      os << indentation() << "\t\tMerged Key=" << getKey(*it) << std::endl;

    os << indentation() << "[ " << t->end()->lastDomain() << " ]" << std::endl;
  }

  void PlanDatabaseWriter::writeVariable(const ConstrainedVariableId& var, std::ostream& os) {
    KADRIX_CHECK(var.isValid());
    Deeper deeper;
    os << indentation() << var->getName().toString() << "=" << var->lastDomain() << std::endl;
  }

}
