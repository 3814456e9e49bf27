#include "PlanDatabase/base/PlanDatabaseListener.hh"
#include "PlanDatabase/base/PlanDatabase.hh"

#include <iostream>

namespace KADRIX {

  PlanDatabaseListener::PlanDatabaseListener() : m_id(this) {}

  PlanDatabaseListener::PlanDatabaseListener(const PlanDatabaseId& planDatabase) : m_id(this) {
    try {
      // The base binding: an override in a subclass is not constructed yet.
      PlanDatabaseListener::setPlanDatabase(planDatabase);
    } catch (...) {
      // The destructor will not run: leave no registration behind.
      if (m_id.isValid())
        m_id.remove();
      throw;
    }
  }

  PlanDatabaseListener::~PlanDatabaseListener() noexcept(false) {
    KADRIX_CHECK(m_id.isValid());
    // A database that is gone has forgotten its listeners already.
    if (!m_planDatabase.isNoId() && m_planDatabase.isValid())
      m_planDatabase->notifyRemoved(m_id);
    if (m_id.isValid())
      m_id.remove();
  }

  void PlanDatabaseListener::setPlanDatabase(const PlanDatabaseId& planDatabase) {
    KADRIX_CHECK_TEXT(planDatabase.isValid(), "m_planDatabase.isValid()", "");
    if (!planDatabase.isValid())
      return;
    // Bound elsewhere before: that database must stop calling this listener.
    if (m_planDatabase != planDatabase && !m_planDatabase.isNoId() && m_planDatabase.isValid())
      m_planDatabase->notifyRemoved(m_id);
    m_planDatabase = planDatabase;
    std::cout << "Notifying plan database of addition" << std::endl;
    m_planDatabase->notifyAdded(m_id);
  }

}
