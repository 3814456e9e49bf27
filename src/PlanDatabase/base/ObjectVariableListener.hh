#ifndef KADRIX_OBJECT_VARIABLE_LISTENER_HH
#define KADRIX_OBJECT_VARIABLE_LISTENER_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

namespace KADRIX {

  /**
   * Attached by the plan database to each object variable it keeps in step with
   * the objects of a still open type, so that it forgets the variable when the
   * variable is discarded. The database owns it.
   */
  class ObjectVariableListener : public ConstrainedVariableListener {
  public:
    ObjectVariableListener(const ConstrainedVariableId& objectVar, const PlanDatabaseId& planDb);
    virtual ~ObjectVariableListener() noexcept(false) {}

    /** Tells the database, which deletes this listener: nothing of it is touched afterwards. */
    void notifyDiscard() override;

  private:
    ObjectVariableListener(const ObjectVariableListener&) = delete;
    ObjectVariableListener& operator=(const ObjectVariableListener&) = delete;

    const PlanDatabaseId m_planDb;
  };

}

#endif
