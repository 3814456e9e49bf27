#include "PlanDatabase/base/MergeMemento.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <memory>
#include <set>

namespace KADRIX {

  namespace {
    unsigned int s_restating = 0;

    /** Marks the creation of a re-stated constraint, also when it fails. */
    class RestatingScope {
    public:
      RestatingScope() { ++s_restating; }
      ~RestatingScope() { --s_restating; }
    };
  }

  bool MergeMemento::isRestating() { return s_restating != 0; }

  ConstrainedVariableId checkForReplacement(const std::map<double, ConstrainedVariableId>& lookup,
                                            const ConstrainedVariableId& var) {
    std::map<double, ConstrainedVariableId>::const_iterator it = lookup.find(static_cast<double>(var));
    if (it == lookup.end())
      return var;
    return it->second;
  }

  void MergeMemento::checkBaseDomains(const ConstrainedVariableId& var, const TokenId& activeToken,
                                      size_t index) {
    if (var->baseDomain().isOpen())
      return;
    // The base domains of the active token and of every token merged onto it
    // must meet: a later split recomputes their intersection from any subset
    // of them, and must never find it empty.
    std::unique_ptr<AbstractDomain> integrated(var->baseDomain().copy());
    integrated->intersect(activeToken->getVariables()[index]->baseDomain());
    const TokenSet& merged = activeToken->getMergedTokens();
    for (TokenSet::const_iterator it = merged.begin(); it != merged.end(); ++it)
      integrated->intersect((*it)->getVariables()[index]->baseDomain());
    KADRIX_CHECK_TEXT(!integrated->isEmpty(),
                      "var->baseDomain().isOpen() || !this->m_integratedBaseDomain->isEmpty()",
                      var->toString() << " cannot merge.");
  }

  void MergeMemento::checkSpecified(const ConstrainedVariableId& var) {
    // Propagation that proved the network inconsistent may have emptied the
    // domain; the value the variable was specified to is still its value.
    KADRIX_CHECK_TEXT(var->lastDomain().isSingleton() || var->lastDomain().isEmpty(),
                      "inactiveVariables[i]->lastDomain().isSingleton()",
                      var->toString() << " is specified but not a singleton. Pas possible!");
  }

  void MergeMemento::checkMerge(const TokenId& inactiveToken, const TokenId& activeToken) {
    KADRIX_CHECK_MSG(inactiveToken.isValid(), inactiveToken);
    KADRIX_CHECK_MSG(activeToken.isValid(), activeToken);
    const std::vector<ConstrainedVariableId>& inactiveVariables = inactiveToken->getVariables();
    const std::vector<ConstrainedVariableId>& activeVariables = activeToken->getVariables();
    KADRIX_CHECK(inactiveVariables.size() == activeVariables.size());

    std::set<double> seen;
    for (size_t i = 1; i < inactiveVariables.size(); ++i) {
      KADRIX_CHECK_TEXT(seen.insert(static_cast<double>(inactiveVariables[i])).second,
                        "varMap.find((double) inactiveVariables[i]) == varMap.end()", "");
      checkBaseDomains(inactiveVariables[i], activeToken, i);
      if (!inactiveVariables[i]->isSpecified())
        continue;
      checkSpecified(inactiveVariables[i]);
      // The active variable takes the specified value after it has taken in
      // the merged variable's base domain.
      const double value = inactiveVariables[i]->getSpecifiedValue();
      const ConstrainedVariableId& activeVar = activeVariables[i];
      KADRIX_CHECK_TEXT(activeToken->isActive(), "this->m_parentToken->isActive()", "");
      std::unique_ptr<AbstractDomain> narrowed(activeVar->lastDomain().copy());
      narrowed->intersect(inactiveVariables[i]->baseDomain());
      KADRIX_CHECK_TEXT(narrowed->isMember(value), "this->lastDomain().isMember(value)",
                        value << " is not in " << activeVar->getName().toString() << "("
                              << activeVar->getKey() << ") " << narrowed->toString());
      // Each token merged onto the active one holds the variable to its own
      // value: a value of the active token's own may hide one that disagrees.
      for (const TokenId& merged : activeToken->getMergedTokens()) {
        const ConstrainedVariableId& other = merged->getVariables()[i];
        KADRIX_CHECK_TEXT(!other->isSpecified() || other->getSpecifiedValue() == value,
                          "!shouldBeSpecified || specifiedValue == var->lastDomain().getSingletonValue()",
                          inactiveVariables[i]->toString() << " cannot merge: " << other->toString()
                                                           << " of a merged token holds another value.");
      }
    }
  }

  MergeMemento::MergeMemento(const TokenId& inactiveToken, const TokenId& activeToken)
    : m_inactiveToken(inactiveToken), m_activeToken(activeToken), m_undoing(false) {
    KADRIX_CHECK_MSG(inactiveToken.isValid(), inactiveToken);
    KADRIX_CHECK_MSG(activeToken.isValid(), activeToken);
    const std::vector<ConstrainedVariableId>& inactiveVariables = inactiveToken->getVariables();
    const std::vector<ConstrainedVariableId>& activeVariables = activeToken->getVariables();
    KADRIX_CHECK(inactiveVariables.size() == activeVariables.size());

    std::map<double, ConstrainedVariableId> varMap;
    // By key: the constraints are stated again in the order they were made,
    // so the engine gives their copies the same indexes in every run.
    std::set<ConstraintId, EntityComparator<ConstraintId> > deactivatedConstraints;
    // Index 0 is the state variable, which is never mapped.
    for (size_t i = 1; i < inactiveVariables.size(); ++i) {
      KADRIX_CHECK_TEXT(varMap.find(static_cast<double>(inactiveVariables[i])) == varMap.end(),
                        "varMap.find((double) inactiveVariables[i]) == varMap.end()", "");
      varMap.insert(std::make_pair(static_cast<double>(inactiveVariables[i]), activeVariables[i]));
      inactiveVariables[i]->constraints(deactivatedConstraints);
      activeVariables[i]->handleBase(inactiveVariables[i]->baseDomain());
      if (inactiveVariables[i]->isSpecified()) {
        checkSpecified(inactiveVariables[i]);
        activeVariables[i]->handleSpecified(inactiveVariables[i]->getSpecifiedValue());
      }
      inactiveVariables[i]->deactivate();
    }

    // The standard constraints stay behind, inactive with the variables.
    for (std::set<ConstraintId, EntityComparator<ConstraintId> >::const_iterator it =
             deactivatedConstraints.begin();
         it != deactivatedConstraints.end(); ++it)
      if (!inactiveToken->isStandardConstraint(*it))
        migrateConstraint(*it);
  }

  MergeMemento::~MergeMemento() {}

  void MergeMemento::migrateConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK_MSG(constraint.isValid(), constraint);
    KADRIX_CHECK_MSG(m_activeToken.isValid(), m_activeToken);
    KADRIX_CHECK_MSG(m_activeToken->isActive(), m_activeToken->toString());

    const EntityId inactiveEntity(m_inactiveToken);
    const std::vector<ConstrainedVariableId>& activeVariables = m_activeToken->getVariables();
    const std::vector<ConstrainedVariableId>& scope = constraint->getScope();
    std::vector<ConstrainedVariableId> newScope;
    newScope.reserve(scope.size());
    for (size_t i = 0; i < scope.size(); ++i) {
      const ConstrainedVariableId& var = scope[i];
      if (var->parent() != inactiveEntity) {
        newScope.push_back(var);
        continue;
      }
      // A constraint on the state is not the active token's business.
      if (var == ConstrainedVariableId(m_inactiveToken->getState()))
        return;
      const int index = var->getIndex();
      ConstrainedVariableId newVar;
      if (index >= 0 && index < static_cast<int>(activeVariables.size()))
        newVar = activeVariables[index];
      KADRIX_CHECK_MSG(newVar.isValid(), newVar << " is invalid for index " << index << " in "
                                                << m_activeToken->toString() << " from parent "
                                                << var->parent()->toString() << " and constraint "
                                                << constraint->toString());
      newScope.push_back(newVar);
    }

    ConstraintId newConstraint;
    if (!m_inactiveToken->isStandardConstraint(constraint)) {
      RestatingScope restating;
      newConstraint = m_activeToken->getPlanDatabase()->getConstraintEngine()->createConstraint(
          constraint->getName(), newScope);
      newConstraint->setSource(constraint);
      newConstraint->setOwned();
    }
    m_deactivatedConstraints.push_back(constraint);
    m_newConstraints.push_back(newConstraint);
  }

  void MergeMemento::handleAdditionOfInactiveConstraint(const ConstraintId& constraint) {
    // Each variable of the merged token in its scope tells of it: it is re-stated once.
    if (std::find(m_deactivatedConstraints.begin(), m_deactivatedConstraints.end(), constraint) ==
        m_deactivatedConstraints.end())
      migrateConstraint(constraint);
  }

  void MergeMemento::handleRemovalOfInactiveConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK(m_deactivatedConstraints.size() + m_inactiveToken->getVariables().size() >=
                 m_newConstraints.size());
    KADRIX_CHECK_MSG(!constraint->isActive(), constraint->toString());
    if (m_undoing)
      return;
    for (size_t k = 0; k < m_deactivatedConstraints.size(); ++k) {
      if (m_deactivatedConstraints[k] != constraint)
        continue;
      const ConstraintId newConstraint = m_newConstraints[k];
      // A created constraint that someone else deleted already is simply forgotten.
      const bool live = newConstraint.isValid();
      KADRIX_CHECK_TEXT(
          newConstraint.isNoId() || !live ||
              newConstraint->getScope().size() == constraint->getScope().size(),
          "newConstraint.isNoId() || (newConstraint->getScope().size() == constraint->getScope().size())",
          (live ? newConstraint->toString() : std::string("?"))
              << " does not match " << constraint->toString());
      m_deactivatedConstraints.erase(m_deactivatedConstraints.begin() + k);
      m_newConstraints.erase(m_newConstraints.begin() + k);
      if (live)
        newConstraint->discard(true);
      return;
    }
  }

  void MergeMemento::undo(bool activeTokenDeleted) {
    KADRIX_CHECK_MSG(activeTokenDeleted || m_activeToken.isValid(), m_activeToken);
    // A terminated token keeps what its merge made.
    if (m_inactiveToken->isTerminated())
      return;
    m_undoing = true;

    // Created constraints may be gone already: with the active token's
    // variables, or deleted by a client.
    std::vector<ConstraintId> created;
    created.swap(m_newConstraints);
    for (size_t k = 0; k < created.size(); ++k)
      if (created[k].isValid())
        created[k]->discard(true);
    m_deactivatedConstraints.clear();

    if (!activeTokenDeleted) {
      const std::vector<ConstrainedVariableId>& activeVariables = m_activeToken->getVariables();
      for (size_t i = 1; i < activeVariables.size(); ++i)
        activeVariables[i]->handleReset();
    }

    const std::vector<ConstrainedVariableId>& inactiveVariables = m_inactiveToken->getVariables();
    for (size_t i = 1; i < inactiveVariables.size(); ++i) {
      inactiveVariables[i]->undoDeactivation();
      inactiveVariables[i]->handleReset();
    }
    m_undoing = false;
  }

}
