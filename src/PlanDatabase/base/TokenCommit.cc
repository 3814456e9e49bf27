// Commit and termination of tokens, and the constraints an inactive token keeps.
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/base/UnifyMemento.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Debug.hh"

// Part of Token: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/base/Token.cc"

namespace KADRIX {

  bool Token::canBeCommitted() const { return isPending() && isActive(); }

  void Token::commit() {
    // Shared by every token; filled on the first commit.
    static StateDomain sl_activeOnly("States");
    static bool sl_initialized = false;
    if (!sl_initialized) {
      sl_activeOnly.insert(ACTIVE.getKey());
      sl_activeOnly.close();
      sl_initialized = true;
    }
    KADRIX_CHECK(false == m_committed);
    KADRIX_CHECK_MSG(canBeCommitted(), "Attempt to commit a token that cannot be committed.");
    m_committed = true;
    incRefCount();
    m_state->restrictBaseDomain(sl_activeOnly);
    m_planDatabase->notifyCommitted(m_id);
  }

  bool Token::canBeTerminated(unsigned int /*tick*/) const {
    if (isTerminated())
      return false;
    if (isRejected())
      return true;
    if (!m_mergedTokens.empty()) {
      KADRIX_DEBUG("Token:canBeTerminated", "Cannot terminate " << toString()
                                                                << " because of remaining supported token "
                                                                << (*m_mergedTokens.begin())->toString());
      return false;
    }
    if (isMerged()) {
      const TokenId& activeToken = getActiveToken();
      if (!activeToken->isCommitted()) {
        KADRIX_DEBUG("Token:canBeTerminated",
                     "Cannot terminate "
                         << toString() << " which is a slave of "
                         << (m_master.isValid() ? m_master->toString() : std::string("no master")));
        return false;
      }
      if (activeToken->isTerminated())
        return true;
      const std::vector<ConstrainedVariableId>& activeVariables = activeToken->getVariables();
      for (size_t i = 1; i < m_allVariables.size(); ++i) {
        const ConstrainedVariableId& activeVar = activeVariables[i];
        const ConstrainedVariableId& var = m_allVariables[i];
        if (!activeVar->baseDomain().isSubsetOf(var->lastDomain())) {
          KADRIX_DEBUG("Token:canBeTerminated", "Cannot terminate "
                                                    << toString() << activeVar->baseDomain().toString()
                                                    << " can be further restricted by "
                                                    << var->lastDomain().toString() << std::endl
                                                    << "Active Variable: " << activeVar->toString()
                                                    << " Inactive Variable: " << var->toString());
          return false;
        }
      }
      return true;
    }

    // Gathered first, so that a constraint shared by several variables is looked at once.
    std::set<ConstraintId, EntityComparator<ConstraintId> > constraints;
    std::set<int> ownKeys;
    for (size_t i = 0; i < m_allVariables.size(); ++i) {
      m_allVariables[i]->constraints(constraints);
      ownKeys.insert(m_allVariables[i]->getKey());
    }
    for (ConstrainedVariableSet::const_iterator it = getLocalVariables().begin();
         it != getLocalVariables().end(); ++it) {
      (*it)->constraints(constraints);
      ownKeys.insert((*it)->getKey());
    }
    for (std::set<ConstraintId, EntityComparator<ConstraintId> >::const_iterator it = constraints.begin();
         it != constraints.end(); ++it) {
      const ConstraintId& constraint = *it;
      KADRIX_CHECK_MSG(constraint.isValid(), constraint);
      if (!constraint->isActive() || constraint->isRedundant())
        continue;
      const std::vector<ConstrainedVariableId>& scope = constraint->getScope();
      for (size_t i = 0; i < scope.size(); ++i) {
        const ConstrainedVariableId& var = scope[i];
        if (!var->parent().isNoId() && ownKeys.count(var->getKey()) == 0 &&
            !var->baseDomain().isSingleton()) {
          KADRIX_DEBUG("Token:canBeTerminated", "Cannot terminate " << toString() << ". " << var->toString()
                                                                    << " has an active external constraint "
                                                                    << constraint->toString() << ".");
          return false;
        }
      }
    }
    return true;
  }

  void Token::terminate() {
    // A slave its master's discard terminated may be reached again by archiving.
    if (m_terminated)
      return;
    m_terminated = true;
    for (size_t i = 0; i < m_allVariables.size(); ++i) {
      const ConstrainedVariableId& var = m_allVariables[i];
      KADRIX_CHECK_MSG(var.isValid(), var << " is not valid for token " << getKey());
      var->deactivate();
    }
    for (size_t i = 0; i < m_pseudoVariables.size(); ++i) {
      const ConstrainedVariableId& var = m_pseudoVariables[i];
      KADRIX_CHECK_MSG(var.isValid(), var << " is not valid for token " << getKey());
      var->deactivate();
    }
    for (ConstrainedVariableSet::const_iterator it = getLocalVariables().begin();
         it != getLocalVariables().end(); ++it) {
      const ConstrainedVariableId& var = *it;
      KADRIX_CHECK_MSG(var.isValid(), var << " is not valid for token " << getKey());
      var->deactivate();
    }
    m_planDatabase->notifyTerminated(m_id);
  }

  bool Token::noExternalConstraints() const {
    for (size_t i = 0; i < m_allVariables.size(); ++i) {
      std::set<ConstraintId> constraints;
      m_allVariables[i]->constraints(constraints);
      for (std::set<ConstraintId>::const_iterator it = constraints.begin(); it != constraints.end(); ++it) {
        const ConstraintId& constraint = *it;
        KADRIX_CHECK(constraint.isValid());
        const std::vector<ConstrainedVariableId>& scope = constraint->getScope();
        for (size_t j = 0; j < scope.size(); ++j) {
          const EntityId& parent = scope[j]->parent();
          if (!parent.isNoId() && parent != EntityId(m_id) && TokenId::convertable(parent)) {
            KADRIX_DEBUG("Token:noExternalConstraints",
                         "Found external constraint " << constraint->toString());
            return false;
          }
        }
      }
    }
    return true;
  }

  void Token::restrictBaseDomains() {
    for (size_t i = 1; i < m_allVariables.size(); ++i) {
      const ConstrainedVariableId& var = m_allVariables[i];
      KADRIX_CHECK_MSG(var.isValid(), var);
      var->restrictBaseDomain(var->lastDomain());
    }
    for (ConstrainedVariableSet::const_iterator it = getLocalVariables().begin();
         it != getLocalVariables().end(); ++it) {
      const ConstrainedVariableId& var = *it;
      KADRIX_CHECK_MSG(var.isValid(), var);
      var->restrictBaseDomain(var->lastDomain());
    }
  }

  void Token::handleAdditionOfInactiveConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK(constraint.isValid());
    KADRIX_CHECK(isMerged());
    m_unifyMemento->handleAdditionOfInactiveConstraint(constraint);
  }

  void Token::handleRemovalOfInactiveConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK(constraint.isValid());
    KADRIX_CHECK(isMerged());
    if (isTerminated())
      return;
    m_unifyMemento->handleRemovalOfInactiveConstraint(constraint);
  }

}
