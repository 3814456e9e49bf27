// The client's operations on objects, variables and constraints, and closing.
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  ObjectId DbClient::createObject(const char* type, const char* name) {
    static const std::vector<const AbstractDomain*> noArguments;
    const ObjectId object = m_planDb->createObject(LabelStr(type), LabelStr(name), noArguments);
    KADRIX_DEBUG("DbClient:createObject", object->toString());
    publish([&](const DbClientListenerId& l) { l->notifyObjectCreated(object); });
    return object;
  }

  ObjectId DbClient::createObject(const char* type, const char* name,
                                  const std::vector<const AbstractDomain*>& arguments) {
    const ObjectId object = m_planDb->createObject(LabelStr(type), LabelStr(name), arguments);
    KADRIX_DEBUG("DbClient:createObject", object->toString());
    publish([&](const DbClientListenerId& l) { l->notifyObjectCreated(object, arguments); });
    return object;
  }

  void DbClient::deleteObject(const ObjectId& obj) {
    KADRIX_CHECK(obj.isValid());
    publish([&](const DbClientListenerId& l) { l->notifyObjectDeleted(obj); });
    obj->discard();
  }

  void DbClient::close() {
    m_planDb->close();
    KADRIX_DEBUG("DbClient:close", "CLOSE ALL TYPES");
    publish([&](const DbClientListenerId& l) { l->notifyClosed(); });
  }

  void DbClient::close(const char* objectType) {
    const LabelStr type(objectType);
    m_planDb->close(type);
    KADRIX_DEBUG("DbClient:close", objectType);
    publish([&](const DbClientListenerId& l) { l->notifyClosed(type); });
  }

  namespace {
    /**
     * A global name must be free before the engine makes the variable: a
     * refused name leaves no variable behind.
     */
    void checkGlobalNameFree(const PlanDatabaseId& db, const char* name, bool isTmpVar) {
      if (isTmpVar)
        return;
      const LabelStr varName(name);
      KADRIX_CHECK_TEXT(!db->isGlobalVariable(varName), "!isGlobalVariable(varName)",
                        varName.toString() << " is not unique.");
    }
  }

  ConstrainedVariableId DbClient::createVariable(const char* typeName, const char* name, bool isTmpVar) {
    checkGlobalNameFree(m_planDb, name, isTmpVar);
    const LabelStr type(typeName);
    const ConstrainedVariableId variable = getConstraintEngine()->createVariable(
      type, isTmpVar, true, LabelStr(name), EntityId::noId(), ConstrainedVariable::NO_INDEX);
    if (getSchema()->isObjectType(type))
      m_planDb->makeObjectVariableFromType(type, variable, false);
    if (!isTmpVar)
      m_planDb->registerGlobalVariable(variable);
    publish([&](const DbClientListenerId& l) { l->notifyVariableCreated(variable); });
    return variable;
  }

  ConstrainedVariableId DbClient::createVariable(const char* typeName, const AbstractDomain& baseDomain,
                                                 const char* name, bool isTmpVar, bool canBeSpecified) {
    checkGlobalNameFree(m_planDb, name, isTmpVar);
    const LabelStr type(typeName);
    const ConstrainedVariableId variable = getConstraintEngine()->createVariable(
      type, baseDomain, isTmpVar, canBeSpecified, LabelStr(name), EntityId::noId(),
      ConstrainedVariable::NO_INDEX);
    if (getSchema()->isObjectType(type) && !variable->isClosed())
      m_planDb->makeObjectVariableFromType(type, variable, false);
    if (!isTmpVar)
      m_planDb->registerGlobalVariable(variable);
    publish([&](const DbClientListenerId& l) { l->notifyVariableCreated(variable); });
    return variable;
  }

  void DbClient::deleteVariable(const ConstrainedVariableId& var) {
    KADRIX_CHECK(var.isValid());
    KADRIX_CHECK_MSG(var->parent().isNoId(),
                     "Cannot delete " << var->toString()
                     << ": it belongs to its parent, which deletes it.");
    // Only the global registered under the name is this variable; a temporary
    // variable may share its name.
    const LabelStr varName = var->getName();
    if (isGlobalVariable(varName) && getGlobalVariable(varName) == var)
      m_planDb->unregisterGlobalVariable(var);
    publish([&](const DbClientListenerId& l) { l->notifyVariableDeleted(var); });
    var->discard();
  }

  ConstraintId DbClient::createConstraint(const char* name, const std::vector<ConstrainedVariableId>& scope) {
    const ConstraintId constraint = getConstraintEngine()->createConstraint(LabelStr(name), scope);
    KADRIX_DEBUG("DbClient:createConstraint", constraint->toString());
    publish([&](const DbClientListenerId& l) { l->notifyConstraintCreated(constraint); });
    return constraint;
  }

  void DbClient::deleteConstraint(const ConstraintId& c) {
    KADRIX_CHECK(c.isValid());
    // A token's own constraints sit on its variables and go with the token.
    const std::vector<ConstrainedVariableId>& scope = c->getScope();
    for (std::size_t i = 0; i < scope.size(); ++i) {
      const TokenId owner = TokenId::convertable(scope[i]->parent()) ? TokenId(scope[i]->parent()) : TokenId::noId();
      KADRIX_CHECK_MSG(owner.isNoId() || !owner->isStandardConstraint(c),
                       "Cannot delete " << c->toString() << ": it belongs to token "
                       << owner->toString() << ", which deletes it.");
    }
    publish([&](const DbClientListenerId& l) { l->notifyConstraintDeleted(c); });
    getConstraintEngine()->deleteConstraint(c);
  }

  void DbClient::restrict(const ConstrainedVariableId& variable, const AbstractDomain& domain) {
    KADRIX_CHECK(variable.isValid());
    KADRIX_DEBUG("DbClient:restrict", variable->toString() << " to " << domain.toString());
    variable->restrictBaseDomain(domain);
    publish([&](const DbClientListenerId& l) { l->notifyVariableRestricted(variable); });
  }

  void DbClient::specify(const ConstrainedVariableId& variable, double value) {
    KADRIX_CHECK(variable.isValid());
    KADRIX_DEBUG("DbClient:specify", "before:" << variable->toString() << " to " << variable->toString(value));
    variable->specify(value);
    KADRIX_DEBUG("DbClient:specify", "after:" << variable->toString());
    publish([&](const DbClientListenerId& l) { l->notifyVariableSpecified(variable); });
  }

  void DbClient::close(const ConstrainedVariableId& variable) {
    KADRIX_CHECK(variable.isValid());
    variable->close();
    KADRIX_DEBUG("DbClient:close", variable->toString());
    publish([&](const DbClientListenerId& l) { l->notifyVariableClosed(variable); });
  }

  void DbClient::reset(const ConstrainedVariableId& variable) {
    KADRIX_CHECK(variable.isValid());
    KADRIX_DEBUG("DbClient:reset", "before:" << variable->toString());
    variable->reset();
    KADRIX_DEBUG("DbClient:reset", "after:" << variable->toString());
    publish([&](const DbClientListenerId& l) { l->notifyVariableReset(variable); });
  }

}
