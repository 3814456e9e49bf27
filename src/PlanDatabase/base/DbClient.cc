#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/Schema.hh"

namespace KADRIX {

  const char* DELIMITER = ":";

  DbClient::DbClient(const PlanDatabaseId& db)
    : m_deleted(false), m_transactionLoggingEnabled(false) {
    // Checked before the handle is made: a failure leaves nothing registered.
    KADRIX_CHECK(db.isValid());
    m_id = DbClientId(this);
    m_planDb = db;
  }

  DbClient::~DbClient() noexcept(false) {
    m_deleted = true;
    m_id.remove();
  }

  void DbClient::notifyAdded(const DbClientListenerId& listener) {
    KADRIX_CHECK(m_listeners.find(listener) == m_listeners.end());
    m_listeners.insert(listener);
  }

  void DbClient::notifyRemoved(const DbClientListenerId& listener) {
    KADRIX_CHECK(m_listeners.find(listener) != m_listeners.end());
    if (!m_deleted)
      m_listeners.erase(listener);
  }

  const ConstraintEngineId& DbClient::getConstraintEngine() const {
    return m_planDb->getConstraintEngine();
  }

  const Id<CESchema>& DbClient::getCESchema() const {
    return getConstraintEngine()->getCESchema();
  }

  const Id<Schema>& DbClient::getSchema() const {
    return m_planDb->getSchema();
  }

  ObjectId DbClient::getObject(const char* name) const {
    return m_planDb->getObject(LabelStr(name));
  }

  ConstrainedVariableId DbClient::getGlobalVariable(const LabelStr& varName) const {
    return m_planDb->getGlobalVariable(varName);
  }

  bool DbClient::isGlobalVariable(const LabelStr& varName) const {
    return m_planDb->isGlobalVariable(varName);
  }

  ConstrainedVariableId DbClient::getVariableByIndex(unsigned int index) {
    return getConstraintEngine()->getVariable(index);
  }

  unsigned int DbClient::getIndexByVariable(const ConstrainedVariableId& var) {
    return getConstraintEngine()->getIndex(var);
  }

  ConstraintId DbClient::getConstraintByIndex(unsigned int index) {
    return getConstraintEngine()->getConstraint(index);
  }

  unsigned int DbClient::getIndexByConstraint(const ConstraintId& constr) {
    return getConstraintEngine()->getIndex(constr);
  }

  bool DbClient::constraintConsistent() const {
    return getConstraintEngine()->constraintConsistent();
  }

  bool DbClient::supportsAutomaticAllocation() const {
    return m_planDb->hasTokenFactories();
  }

  double DbClient::createValue(const char* typeName, const std::string& value) {
    return getConstraintEngine()->createValue(typeName, value);
  }

  bool DbClient::propagate() {
    getConstraintEngine()->propagate();
    return getConstraintEngine()->constraintConsistent();
  }

  void DbClient::enableTransactionLogging() {
    KADRIX_CHECK(!isTransactionLoggingEnabled());
    m_transactionLoggingEnabled = true;
  }

  void DbClient::disableTransactionLogging() {
    KADRIX_CHECK(isTransactionLoggingEnabled());
    m_transactionLoggingEnabled = false;
  }

}
