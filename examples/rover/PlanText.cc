#include "rover/PlanText.hh"

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/component/Timeline.hh"

#include <algorithm>
#include <list>
#include <vector>

namespace KADRIX {
  namespace RoverModel {

    namespace {

      /** The lines, sorted, as one text. */
      std::string sorted(std::vector<std::string> lines) {
        std::sort(lines.begin(), lines.end());
        std::string text;
        for (const std::string& line : lines)
          text += line;
        return text;
      }

      /** A domain as text; the objects of an object domain by name, in name order. */
      std::string domainText(const AbstractDomain& domain) {
        if (!domain.isEntity() || !domain.isEnumerated())
          return domain.toString();
        std::list<double> values;
        domain.getValues(values);
        std::vector<std::string> names;
        for (double value : values)
          names.push_back(ObjectId(value)->getName().toString());
        std::sort(names.begin(), names.end());
        std::string text = domain.getTypeName().toString() + (domain.isOpen() ? ":OPEN{" : ":CLOSED{");
        for (std::size_t i = 0; i < names.size(); ++i)
          text += (i == 0 ? "" : ", ") + names[i];
        return text + "}";
      }

      std::string variableText(const ConstrainedVariableId& var) {
        return var->getName().toString() + "=" + domainText(var->lastDomain());
      }

      /** A token by its path in the client's numbering. */
      std::string tokenName(const PlanDatabaseId& db, const TokenId& token) {
        return db->getClient()->getPathAsString(token);
      }

      std::string stateText(const TokenId& token) {
        return token->isMerged()     ? "merged"
               : token->isActive()   ? "active"
               : token->isRejected() ? "rejected"
               : token->isInactive() ? "inactive"
                                     : "incomplete";
      }

      /**
       * What holds the tokens on the object: each binding and each precedence,
       * explicit (asked for by a caller) or implicit (made by the object).
       */
      std::string orderingText(const PlanDatabaseId& db, const ObjectId& object) {
        std::vector<std::string> lines;
        const auto how = [&](const TokenId& predecessor, const TokenId& successor) {
          return std::string(object->isExplicitOrdering(predecessor, successor) ? " explicit\n"
                                                                                : " implicit\n");
        };
        for (const TokenId& token : object->tokens()) {
          if (!object->isConstrainedToThisObject(token))
            continue;
          lines.push_back("\tbound " + tokenName(db, token) + how(token, token));
          std::vector<ConstraintId> precedences;
          object->getPrecedenceConstraints(token, precedences);
          for (const ConstraintId& precedence : precedences) {
            const TokenId predecessor(precedence->getScope()[0]->parent());
            const TokenId successor(precedence->getScope()[1]->parent());
            if (predecessor == token)
              lines.push_back("\tprecedes " + tokenName(db, predecessor) + " " + tokenName(db, successor) +
                              how(predecessor, successor));
          }
        }
        return sorted(lines);
      }

      std::string objectText(const PlanDatabaseId& db, const ObjectId& object) {
        std::string text =
            "object " + object->getType().toString() + ":" + object->getName().toString() + "\n";
        for (const ConstrainedVariableId& var : object->getVariables())
          text += "\t" + variableText(var) + "\n";
        text += orderingText(db, object);
        std::vector<std::string> placed;
        if (const Timeline* timeline = dynamic_cast<const Timeline*>(static_cast<const Object*>(object))) {
          std::string sequence;
          for (const TokenId& token : timeline->getTokenSequence())
            sequence += " " + tokenName(db, token);
          return text + "\tsequence" + sequence + "\n";
        }
        for (const TokenId& token : object->tokens())
          placed.push_back(" " + tokenName(db, token));
        return text + "\ttokens" + sorted(placed) + "\n";
      }

      std::string tokenText(const PlanDatabaseId& db, const TokenId& token) {
        std::vector<std::string> merged;
        for (const TokenId& other : token->getMergedTokens())
          merged.push_back(" " + tokenName(db, other));
        std::string text = "token " + tokenName(db, token) + " " + stateText(token) + " " +
                           token->getPredicateName().toString() + (token->isFact() ? " fact" : "") +
                           " master " +
                           (token->master().isNoId() ? std::string("NONE") : tokenName(db, token->master())) +
                           " merged" + sorted(merged) + "\n";
        for (const ConstrainedVariableId& var : token->getVariables())
          text += "\t" + variableText(var) + "\n";
        return text;
      }

    }

    std::string canonicalText(const PlanDatabaseId& db) {
      std::vector<std::string> objects, globals, tokens;
      for (const ObjectId& object : db->getObjects())
        objects.push_back(objectText(db, object));
      for (const ConstrainedVariableId& var : db->getGlobalVariables())
        globals.push_back("global " + variableText(var) + "\n");
      for (const TokenId& token : db->getTokens())
        tokens.push_back(tokenText(db, token));
      return sorted(objects) + sorted(globals) + sorted(tokens);
    }

    std::pair<unsigned int, unsigned int> engineCounts(const ConstraintEngineId& engine) {
      unsigned int variables = 0, constraints = 0;
      for (unsigned int i = 0; i < engine->variableSlotCount(); ++i)
        variables += engine->getVariable(i).isNoId() ? 0 : 1;
      for (unsigned int i = 0; i < engine->constraintSlotCount(); ++i)
        constraints += engine->getConstraint(i).isNoId() ? 0 : 1;
      return std::make_pair(variables, constraints);
    }

  }
}
