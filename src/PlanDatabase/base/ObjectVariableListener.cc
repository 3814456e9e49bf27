#include "PlanDatabase/base/ObjectVariableListener.hh"
#include "PlanDatabase/base/PlanDatabase.hh"

namespace KADRIX {

  ObjectVariableListener::ObjectVariableListener(const ConstrainedVariableId& objectVar,
                                                 const PlanDatabaseId& planDb)
    : ConstrainedVariableListener(objectVar), m_planDb(planDb) {}

  void ObjectVariableListener::notifyDiscard() {
    KADRIX_CHECK(m_var.isValid());
    KADRIX_CHECK(m_planDb.isValid());
    ConstrainedVariableId var(m_var);
    m_planDb->handleObjectVariableDeletion(var);
  }

}
