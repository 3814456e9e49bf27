#include "PlanDatabase/base/UnifyMemento.hh"
#include "Utils/base/Debug.hh"

#include <cstdlib>
#include <cstring>

namespace KADRIX {

  const char* const UnifyMemento::TRUE_VALUE = "1";

  UnifyMemento::UnifyMemento() : m_method(mergeMethod) {}

  UnifyMemento::UnifyMethod UnifyMemento::chosenMethod() {
    const char* value = std::getenv("KADRIX_USE_STACK_METHOD");
    return value != 0 && std::strcmp(value, TRUE_VALUE) == 0 ? stackMethod : mergeMethod;
  }

  void UnifyMemento::checkMerge(const TokenId& inactiveToken, const TokenId& activeToken) {
    if (chosenMethod() == stackMethod)
      StackMemento::checkMerge(inactiveToken, activeToken);
    else
      MergeMemento::checkMerge(inactiveToken, activeToken);
  }

  UnifyMemento::UnifyMemento(const TokenId& inactiveToken, const TokenId& activeToken)
    : m_method(chosenMethod()) {
    if (m_method == mergeMethod)
      m_mm = MergeMementoId(new MergeMemento(inactiveToken, activeToken));
    else
      m_sm = StackMementoId(new StackMemento(inactiveToken, activeToken));
  }

  UnifyMemento::~UnifyMemento() noexcept(false) {
    if (!m_mm.isNoId())
      m_mm.release();
    if (!m_sm.isNoId())
      m_sm.release();
  }

  void UnifyMemento::undo(bool activeTokenDeleted) {
    KADRIX_CHECK(m_mm.isNoId() || m_sm.isNoId());
    KADRIX_CHECK(!m_mm.isNoId() || !m_sm.isNoId());
    if (!m_mm.isNoId())
      m_mm->undo(activeTokenDeleted);
    else {
      KADRIX_CHECK(m_sm.isValid());
      m_sm->undo(activeTokenDeleted);
    }
  }

  void UnifyMemento::handleAdditionOfInactiveConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK(m_mm.isNoId() || m_sm.isNoId());
    KADRIX_CHECK(!m_mm.isNoId() || !m_sm.isNoId());
    if (!m_mm.isNoId())
      m_mm->handleAdditionOfInactiveConstraint(constraint);
    else
      m_sm->handleAdditionOfInactiveConstraint(constraint);
  }

  void UnifyMemento::handleRemovalOfInactiveConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK(m_mm.isNoId() || m_sm.isNoId());
    KADRIX_CHECK(!m_mm.isNoId() || !m_sm.isNoId());
    if (!m_mm.isNoId())
      m_mm->handleRemovalOfInactiveConstraint(constraint);
    else
      m_sm->handleRemovalOfInactiveConstraint(constraint);
  }

}
