#include "PlanDatabase/base/PSPlanDatabaseClient.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  PSPlanDatabaseClientImpl::PSPlanDatabaseClientImpl(const DbClientId& c) : m_client(c) {}

  PSPlanDatabaseClientImpl::~PSPlanDatabaseClientImpl() noexcept(false) {}

  // The public interfaces are virtual bases of the engine classes: only a
  // dynamic cast finds the engine object, and it finds none for a foreign one.

  ConstrainedVariableId PSPlanDatabaseClientImpl::toId(PSVariable* var) {
    ConstrainedVariable* engineVar = dynamic_cast<ConstrainedVariable*>(var);
    KADRIX_CHECK_MSG(engineVar != 0,
                     "The public variable is null or not a variable of the constraint engine.");
    return engineVar->getId();
  }

  ConstraintId PSPlanDatabaseClientImpl::toId(PSConstraint* constraint) {
    Constraint* engineConstraint = dynamic_cast<Constraint*>(constraint);
    KADRIX_CHECK_MSG(engineConstraint != 0,
                     "The public constraint is null or not a constraint of the constraint engine.");
    return engineConstraint->getId();
  }

  ObjectId PSPlanDatabaseClientImpl::toId(PSObject* obj) {
    Object* object = dynamic_cast<Object*>(obj);
    KADRIX_CHECK_MSG(object != 0, "The public object is null or not an object of the plan database.");
    return object->getId();
  }

  TokenId PSPlanDatabaseClientImpl::toId(PSToken* token) {
    Token* engineToken = dynamic_cast<Token*>(token);
    KADRIX_CHECK_MSG(engineToken != 0, "The public token is null or not a token of the plan database.");
    return engineToken->getId();
  }

  PSVariable* PSPlanDatabaseClientImpl::createVariable(const std::string& typeName, const std::string& name,
                                                       bool isTmpVar) {
    const ConstrainedVariableId var = m_client->createVariable(typeName.c_str(), name.c_str(), isTmpVar);
    return static_cast<ConstrainedVariable*>(var);
  }

  void PSPlanDatabaseClientImpl::deleteVariable(PSVariable* var) { m_client->deleteVariable(toId(var)); }

  PSObject* PSPlanDatabaseClientImpl::createObject(const std::string& type, const std::string& name) {
    const ObjectId object = m_client->createObject(type.c_str(), name.c_str());
    return static_cast<Object*>(object);
  }

  void PSPlanDatabaseClientImpl::deleteObject(PSObject* obj) { m_client->deleteObject(toId(obj)); }

  PSToken* PSPlanDatabaseClientImpl::createToken(const std::string& predicateName, bool rejectable,
                                                 bool isFact) {
    const TokenId token = m_client->createToken(predicateName.c_str(), rejectable, isFact);
    return static_cast<Token*>(token);
  }

  void PSPlanDatabaseClientImpl::deleteToken(PSToken* token) { m_client->deleteToken(toId(token), ""); }

  void PSPlanDatabaseClientImpl::constrain(PSObject* object, PSToken* predecessor, PSToken* successor) {
    m_client->constrain(toId(object), toId(predecessor), toId(successor));
  }

  void PSPlanDatabaseClientImpl::free(PSObject* object, PSToken* predecessor, PSToken* successor) {
    m_client->free(toId(object), toId(predecessor), toId(successor));
  }

  void PSPlanDatabaseClientImpl::activate(PSToken* token) { m_client->activate(toId(token)); }

  void PSPlanDatabaseClientImpl::merge(PSToken* token, PSToken* activeToken) {
    m_client->merge(toId(token), toId(activeToken));
  }

  void PSPlanDatabaseClientImpl::reject(PSToken* token) { m_client->reject(toId(token)); }

  void PSPlanDatabaseClientImpl::cancel(PSToken* token) { m_client->cancel(toId(token)); }

  PSConstraint* PSPlanDatabaseClientImpl::createConstraint(const std::string& name,
                                                           PSList<PSVariable*>& scope) {
    std::vector<ConstrainedVariableId> vars;
    for (int i = 0; i < scope.size(); ++i)
      vars.push_back(toId(scope.get(i)));
    const ConstraintId constraint = m_client->createConstraint(name.c_str(), vars);
    return static_cast<Constraint*>(constraint);
  }

  void PSPlanDatabaseClientImpl::deleteConstraint(PSConstraint* c) { m_client->deleteConstraint(toId(c)); }

  void PSPlanDatabaseClientImpl::specify(PSVariable* variable, double value) {
    m_client->specify(toId(variable), value);
  }

  void PSPlanDatabaseClientImpl::reset(PSVariable* variable) { m_client->reset(toId(variable)); }

  void PSPlanDatabaseClientImpl::close(PSVariable* variable) { m_client->close(toId(variable)); }

  void PSPlanDatabaseClientImpl::close(const std::string& objectType) { m_client->close(objectType.c_str()); }

  void PSPlanDatabaseClientImpl::close() { m_client->close(); }

}
