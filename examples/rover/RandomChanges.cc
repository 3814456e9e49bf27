#include "rover/RandomChanges.hh"

#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "PlanDatabase/base/Token.hh"

#include <algorithm>

namespace KADRIX {
  namespace RoverModel {

    namespace {

      bool isInactiveGoal(const TokenId& t) { return t->isInactive() && !t->isFact(); }
      bool isActive(const TokenId& t) { return t->isActive(); }
      bool isMergedOrRejected(const TokenId& t) { return t->isMerged() || t->isRejected(); }
      bool isInactiveOrActive(const TokenId& t) { return t->isInactive() || t->isActive(); }

      bool hasSpecifiedParameter(const TokenId& t) {
        for (const ConstrainedVariableId& parameter : t->parameters())
          if (parameter->isSpecified())
            return true;
        return false;
      }

      /** At most this many "eq" constraints, twice as many global variables: propagation stays cheap. */
      const std::size_t CAP = 10;

      template <class T> void forget(std::vector<T>& items, const T& item) {
        items.erase(std::remove(items.begin(), items.end(), item), items.end());
      }

    }

    RandomChanges::RandomChanges(const PlanDatabaseId& db, unsigned int seed, unsigned int tokenCap)
      : m_db(db), m_random(seed), m_tokenCap(tokenCap), m_names(0), m_restrictAll(true) {}

    void RandomChanges::world() {
      const int coordinates[][2] = {{0, 0}, {4, 3}, {9, 1}};
      const char* const places[] = {"base", "crater", "ridge"};
      for (int i = 0; i < 3; ++i) {
        IntervalIntDomain x(coordinates[i][0], coordinates[i][0], "int");
        IntervalIntDomain y(coordinates[i][1], coordinates[i][1], "int");
        client().createObject("Location", places[i], std::vector<const AbstractDomain*>{&x, &y});
      }
      client().createObject("Rover", "spirit");
      client().createObject("Rover", "opportunity");
    }

    bool RandomChanges::step() {
      typedef bool (RandomChanges::*Change)();
      static const std::pair<Change, int> s_changes[] = {
          {&RandomChanges::activate, 4},         {&RandomChanges::merge, 2},
          {&RandomChanges::reject, 1},           {&RandomChanges::cancel, 3},
          {&RandomChanges::constrain, 3},        {&RandomChanges::free, 2},
          {&RandomChanges::specify, 3},          {&RandomChanges::reset, 2},
          {&RandomChanges::createVariable, 2},   {&RandomChanges::restrict, 1},
          {&RandomChanges::deleteVariable, 1},   {&RandomChanges::createConstraint, 2},
          {&RandomChanges::deleteConstraint, 1}, {&RandomChanges::deleteToken, 2},
          {&RandomChanges::location, 1}};
      static const int s_goals = 5, s_facts = 1;
      int total = s_goals + s_facts;
      for (const std::pair<Change, int>& change : s_changes)
        total += change.second;
      int draw = static_cast<int>(pick(static_cast<std::size_t>(total)));
      if (draw < s_goals + s_facts)
        return goal(draw >= s_goals);
      draw -= s_goals + s_facts;
      for (const std::pair<Change, int>& change : s_changes) {
        if (draw < change.second)
          return (this->*change.first)();
        draw -= change.second;
      }
      return false;
    }

    void RandomChanges::steps(unsigned int count) {
      for (unsigned int made = 0; made < count;)
        made += step() ? 1 : 0;
    }

    void RandomChanges::restrictOnlyNewVariables() {
      m_restrictAll = false;
      m_restrictable.clear();
    }

    std::vector<TokenId> RandomChanges::tokens(bool (*which)(const TokenId&)) const {
      std::vector<TokenId> result;
      for (const TokenId& token : m_db->getTokens())
        if (which(token))
          result.push_back(token);
      return result;
    }

    TokenId RandomChanges::newestToken() const {
      TokenId newest;
      int newestIndex = -1;
      for (const TokenId& token : m_db->getTokens()) {
        const int index = (static_cast<DbClient*>(m_db->getClient()))->getPathByToken(token)[0];
        if (index > newestIndex) {
          newestIndex = index;
          newest = token;
        }
      }
      return newest;
    }

    bool RandomChanges::goal(bool fact) {
      if (m_db->getTokens().size() >= m_tokenCap)
        return false;
      client().createToken(pick(2) == 0 ? "Rover.At" : "Rover.Go", !fact, fact);
      return true;
    }

    bool RandomChanges::activate() {
      const std::vector<TokenId> inactive = tokens(isInactiveGoal);
      if (inactive.empty())
        return false;
      client().activate(inactive[pick(inactive.size())]);
      return true;
    }

    bool RandomChanges::merge() {
      const std::vector<TokenId> inactive = tokens(isInactiveGoal);
      if (inactive.empty())
        return false;
      const TokenId token = inactive[pick(inactive.size())];
      std::vector<TokenId> active;
      m_db->getCompatibleTokens(token, active, 8, false);
      if (active.empty())
        return false;
      client().merge(token, active[pick(active.size())]);
      return true;
    }

    bool RandomChanges::reject() {
      const std::vector<TokenId> inactive = tokens(isInactiveGoal);
      if (inactive.empty())
        return false;
      client().reject(inactive[pick(inactive.size())]);
      return true;
    }

    bool RandomChanges::cancel() {
      // A rejected or merged token, or an active one with nothing merged onto
      // it and no ordering (the client would not hear of that being undone).
      std::vector<TokenId> candidates = tokens(isMergedOrRejected);
      for (const TokenId& token : tokens(isActive)) {
        bool ordered = false;
        for (const Ordering& ordering : m_orderings)
          ordered = ordered || std::get<1>(ordering) == token || std::get<2>(ordering) == token;
        if (!ordered && token->getMergedTokens().empty())
          candidates.push_back(token);
      }
      if (candidates.empty())
        return false;
      client().cancel(candidates[pick(candidates.size())]);
      return true;
    }

    bool RandomChanges::constrain() {
      std::vector<TokenId> active;
      client().propagate();
      for (const PlanDatabase::TokensToOrder::value_type& entry : m_db->getTokensToOrder())
        active.push_back(entry.second.first);
      if (active.empty())
        return false;
      std::vector<PlanDatabase::OrderingChoice> choices;
      m_db->getOrderingChoices(active[pick(active.size())], choices, 8);
      if (choices.empty())
        return false;
      const PlanDatabase::OrderingChoice& choice = choices[pick(choices.size())];
      client().constrain(choice.first, choice.second.first, choice.second.second);
      m_orderings.push_back(Ordering(choice.first, choice.second.first, choice.second.second));
      return true;
    }

    bool RandomChanges::free() {
      if (m_orderings.empty())
        return false;
      const Ordering newest = m_orderings.back();
      m_orderings.pop_back();
      client().free(std::get<0>(newest), std::get<1>(newest), std::get<2>(newest));
      return true;
    }

    bool RandomChanges::specify() {
      const std::vector<TokenId> candidates = tokens(isInactiveOrActive);
      if (candidates.empty())
        return false;
      const TokenId token = candidates[pick(candidates.size())];
      const ConstrainedVariableId parameter = token->parameters()[pick(token->parameters().size())];
      const AbstractDomain& domain = parameter->lastDomain();
      if (parameter->isSpecified() || !parameter->isActive() || domain.isEmpty() || domain.isOpen())
        return false;
      client().specify(parameter, domain.getLowerBound());
      m_specified.push_back(parameter);
      return true;
    }

    bool RandomChanges::reset() {
      if (m_specified.empty())
        return false;
      const ConstrainedVariableId parameter = m_specified[pick(m_specified.size())];
      if (!parameter->isActive())
        return false;
      forget(m_specified, parameter);
      client().reset(parameter);
      return true;
    }

    bool RandomChanges::createVariable() {
      if (m_variables.size() >= 2 * CAP)
        return false;
      const std::string name = "g" + std::to_string(m_names++);
      const ConstrainedVariableId variable =
          client().createVariable("int", IntervalIntDomain(0, 10, "int"), name.c_str(), false, true);
      m_variables.push_back(variable);
      m_restrictable.push_back(variable);
      return true;
    }

    bool RandomChanges::restrict() {
      if (m_restrictable.empty())
        return false;
      const ConstrainedVariableId variable = m_restrictable[pick(m_restrictable.size())];
      const int upper = static_cast<int>(variable->baseDomain().getUpperBound());
      if (upper == 0)
        return false;
      // Every restriction keeps 0, so "eq" constraints stay satisfiable.
      client().restrict(variable, IntervalIntDomain(0, upper - 1, "int"));
      return true;
    }

    bool RandomChanges::deleteVariable() {
      // A variable made again takes the domain it was made with, not its restrictions.
      const std::vector<ConstrainedVariableId>& deletable = m_restrictAll ? m_variables : m_restrictable;
      if (deletable.empty())
        return false;
      const ConstrainedVariableId variable = deletable[pick(deletable.size())];
      if (variable->constraintCount() != 0)
        return false;
      forget(m_variables, variable);
      forget(m_restrictable, variable);
      client().deleteVariable(variable);
      return true;
    }

    bool RandomChanges::createConstraint() {
      if (m_variables.size() < 2 || m_constraints.size() >= CAP)
        return false;
      const unsigned int first = pick(m_variables.size());
      const unsigned int second = (first + 1 + pick(m_variables.size() - 1)) % m_variables.size();
      m_constraints.push_back(client().createConstraint(
          "eq", std::vector<ConstrainedVariableId>{m_variables[first], m_variables[second]}));
      return true;
    }

    bool RandomChanges::deleteConstraint() {
      if (m_constraints.empty())
        return false;
      const ConstraintId constraint = m_constraints[pick(m_constraints.size())];
      forget(m_constraints, constraint);
      client().deleteConstraint(constraint);
      return true;
    }

    bool RandomChanges::deleteToken() {
      // Recorded tokens go newest first, and only unchanged ones, so that
      // rewinding, which makes the token again from its goal, restores it.
      const TokenId token = newestToken();
      if (token.isNoId() || !(token->isInactive() || token->isFact()) || token->isMerged() ||
          hasSpecifiedParameter(token))
        return false;
      client().deleteToken(token, "");
      return true;
    }

    bool RandomChanges::location() {
      const std::string name = "spot" + std::to_string(m_names++);
      IntervalIntDomain x(1, 1, "int"), y(2, 2, "int");
      const ObjectId spot =
          client().createObject("Location", name.c_str(), std::vector<const AbstractDomain*>{&x, &y});
      client().deleteObject(spot);
      return true;
    }

  }
}
