// The player's object, variable and constraint transactions: "new",
// "deleteobject", "var", "deletevar", "specify", "restrict", "assign",
// "reset", "invoke" (a constraint, or a transaction by name) and
// "deleteconstraint". Every change but "assign" goes through the client.

#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/transactions/ScopeText.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Error.hh"

#include <tinyxml.h>

#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>

// Part of DbClientTransactionPlayer: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/transactions/DbClientTransactionPlayer.cc"

namespace KADRIX {

  namespace {

    /** An engine index written as a decimal number; anything else fails a check. */
    unsigned int decimalIndex(const char* text) {
      unsigned long value = 0;
      bool decimal = *text != '\0';
      for (const char* c = text; decimal && *c != '\0'; ++c) {
        decimal = *c >= '0' && *c <= '9';
        value = value * 10 + static_cast<unsigned long>((*c - '0'));
        decimal = decimal && value <= UINT_MAX;
      }
      KADRIX_CHECK_MSG(decimal, "Index '" << text << "' is not a decimal number.");
      return static_cast<unsigned int>(value);
    }

    /**
     * The element that names the variable a "restrict" or "reset" changes: a
     * reference, since a value would make a variable that nothing else knows.
     * An "ident" goes on to the reader, which refuses it as deprecated.
     */
    const TiXmlElement& variableReference(const TiXmlElement* var_el, const TiXmlElement& element) {
      KADRIX_CHECK(var_el != NULL);
      if (strcmp(var_el->Value(), "ident") != 0)
        KADRIX_CHECK_MSG(strcmp(var_el->Value(), "variable") == 0 || strcmp(var_el->Value(), "id") == 0,
                         "A variable to change is named by a \"variable\" or an \"id\" element: " << element);
      return *var_el;
    }

    /** The object an element names by its "name". */
    ObjectId namedObject(DbClient& client, const TiXmlElement& element) {
      const char* name = element.Attribute("name");
      KADRIX_CHECK(name != NULL);
      ObjectId obj = client.getObject(name);
      KADRIX_CHECK(obj.isValid());
      return obj;
    }

    /** "v1,v2," from the variables' text forms: the scope of a constraint in debug output. */
    std::string scopeText(const std::vector<ConstrainedVariableId>& scope) {
      std::string text;
      for (const ConstrainedVariableId& var : scope)
        text += var->toString() + ",";
      return text;
    }

  }

  void DbClientTransactionPlayer::playObjectCreated(const TiXmlElement& element) {
    xmlAsValue(element, element.Attribute("name"));
  }

  void DbClientTransactionPlayer::playObjectDeleted(const TiXmlElement& element) {
    deleteObject(namedObject(*m_client, element));
  }

  void DbClientTransactionPlayer::deleteObject(const ObjectId& obj) {
    std::vector<ObjectId> tree;
    obj->collectTree(tree);
    std::vector<ConstrainedVariableId> members;
    for (const ObjectId& part : tree)
      members.insert(members.end(), part->getVariables().begin(), part->getVariables().end());
    // A refused deletion changes nothing: checked before the constraints go,
    // else by the client (the check visits every variable of the engine).
    const MadeConstraints made = constraintsMadeOn(members);
    if (!made.empty()) {
      obj->checkDiscard();
      deleteConstraints(made);
    }
    m_client->deleteObject(obj);
  }

  void DbClientTransactionPlayer::playVariableCreated(const TiXmlElement& element) {
    const char* type = element.Attribute("type");
    KADRIX_CHECK(type != NULL);
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    ConstrainedVariableId variable = xmlAsCreateVariable(type, name, element.FirstChildElement());
    KADRIX_CHECK(variable.isValid());
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableCreated",
                 "after xmlAsCreateVariable var = " << name << " type = " << type << " domain typeName =  "
                                                    << variable->baseDomain().getTypeName().toString());
    m_variables[name] = variable;
  }

  void DbClientTransactionPlayer::playVariableDeleted(const TiXmlElement& element) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableDeleted",
                 "Playing (possibly the inverse of) " << element);
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    ConstrainedVariableId var;
    if (element.Attribute("index") != NULL) {
      const char* index = element.Attribute("index");
      var = m_client->getVariableByIndex(decimalIndex(index));
      // Only the global variable of that name may go: a token's or an
      // object's own variable would be deleted again by its owner.
      KADRIX_CHECK_MSG(
          !var.isValid() || (m_client->isGlobalVariable(name) && m_client->getGlobalVariable(name) == var),
          "The variable at index " << index << " is not the global variable '" << name << "'.");
    } else {
      KADRIX_CHECK(m_client->isGlobalVariable(name));
      var = m_client->getGlobalVariable(name);
    }
    KADRIX_CHECK(var.isValid());
    // A "deletevar" names the object to delete in a "new" child; a "var"
    // being undone made one, named after itself, when its domain, its first
    // child, was a "new". A child that names no object fails before anything goes.
    const TiXmlElement* child = element.FirstChildElement("new");
    const TiXmlElement* naming = child == NULL                        ? NULL
                                 : strcmp(element.Value(), "var") != 0 ? child
                                 : child == element.FirstChildElement() ? &element
                                                                        : NULL;
    const ObjectId object = naming == NULL ? ObjectId::noId() : namedObject(*m_client, *naming);
    // The variable goes before the object it may hold, after what constrains it.
    deleteConstraintsOn({var});
    m_client->deleteVariable(var);
    m_variables.erase(name);
    if (naming != NULL)
      deleteObject(object);
  }

  void DbClientTransactionPlayer::playVariableSpecified(const TiXmlElement& element) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableSpecified", "Playing " << element);
    ConstrainedVariableId var;
    const TiXmlElement* value_el;
    if (isInvoke(element)) {
      KADRIX_CHECK(element.Attribute("identifier") != NULL);
      var = parseVariable(element.Attribute("identifier"));
      value_el = element.FirstChildElement();
    } else {
      const TiXmlElement* var_el = element.FirstChildElement("variable");
      if (var_el == NULL)
        var_el = element.FirstChildElement("id");
      KADRIX_CHECK(var_el != NULL);
      var = xmlAsVariable(*var_el);
      value_el = var_el->NextSiblingElement();
    }
    KADRIX_CHECK(var.isValid());
    KADRIX_CHECK(value_el != NULL);
    std::unique_ptr<const AbstractDomain> domain(xmlAsAbstractDomain(*value_el, NULL, NULL));
    if (domain->isSingleton())
      m_client->specify(var, domain->getSingletonValue());
    else
      m_client->restrict(var, *domain);
  }

  void DbClientTransactionPlayer::playVariableRestricted(const TiXmlElement& element) {
    const TiXmlElement* var_el = &variableReference(element.FirstChildElement(), element);
    ConstrainedVariableId variable = xmlAsVariable(*var_el);
    KADRIX_CHECK(variable.isValid());
    const TiXmlElement* value_el = var_el->NextSiblingElement();
    KADRIX_CHECK(value_el != NULL);
    std::unique_ptr<const AbstractDomain> domain(xmlAsAbstractDomain(*value_el, NULL, NULL));
    m_client->restrict(variable, *domain);
  }

  void DbClientTransactionPlayer::playVariableAssigned(const TiXmlElement& element) {
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableAssigned", "assigning for " << name);
    ConstrainedVariableId var = parseVariable(name);
    KADRIX_CHECK(var.isValid());
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableAssigned", "found variable " << var->getKey());
    const TiXmlElement* value_el = element.FirstChildElement();
    KADRIX_CHECK(value_el != NULL);
    std::unique_ptr<const AbstractDomain> domain(xmlAsAbstractDomain(*value_el, NULL, NULL));
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableAssigned", "specifying to " << domain->toString());
    // Straight to the variable: no listener of the client hears of it.
    var->restrictBaseDomain(*domain);
  }

  ConstrainedVariableId DbClientTransactionPlayer::resetVariable(const TiXmlElement& element) {
    if (isInvoke(element)) {
      KADRIX_CHECK(element.Attribute("identifier") != NULL);
      return parseVariable(element.Attribute("identifier"));
    }
    return xmlAsVariable(variableReference(element.FirstChildElement(), element));
  }

  void DbClientTransactionPlayer::playVariableReset(const TiXmlElement& element) {
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableReset", "Playing " << element);
    const ConstrainedVariableId var = resetVariable(element);
    KADRIX_CHECK(var.isValid());
    // A variable that is not specified has nothing to reset: no call, as for
    // activating an active token, so that undoing the element changes nothing either.
    if (!var->isSpecified())
      return;
    m_client->reset(var);
    KADRIX_DEBUG("DbClientTransactionPlayer:playVariableReset", "Played " << element);
  }

  void DbClientTransactionPlayer::playInvokeConstraint(const TiXmlElement& element) {
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    if (element.Attribute("identifier") != NULL || element.FirstChildElement() == NULL) {
      playInvokeTransaction(element);
      return;
    }
    std::vector<ConstrainedVariableId> scope, made;
    try {
      for (const TiXmlElement* child = element.FirstChildElement(); child != NULL;
           child = child->NextSiblingElement()) {
        const ConstrainedVariableId var = xmlAsVariable(*child);
        // A variable made for a value belongs to the one constraint it was made
        // for, which takes it when it goes: no other scope may name it.
        if (ScopeText::namesVariable(*child))
          KADRIX_CHECK_MSG(
              !var.isValid() || !var->isInternal() || var->parent().isValid(),
              "A variable made for a value of another constraint cannot be in a scope: " << element);
        else
          made.push_back(var);
        KADRIX_CHECK(var.isValid());
        scope.push_back(var);
      }
    } catch (const Error&) {
      // The variables made for the values read so far would belong to nothing.
      for (std::vector<ConstrainedVariableId>::reverse_iterator var = made.rbegin(); var != made.rend(); ++var)
        m_client->deleteVariable(*var);
      throw;
    }
    KADRIX_DEBUG("DbClientTransactionPlayer:playInvokeConstraint",
                 "Adding constraint " << name << " args: " << scopeText(scope));
    m_client->createConstraint(name, scope);
    KADRIX_DEBUG("DbClientTransactionPlayer:playInvokeConstraint",
                 "Added constraint " << name << " args: " << scopeText(scope));
  }

  void DbClientTransactionPlayer::playUninvokeConstraint(const TiXmlElement& element) {
    const char* index = element.Attribute("index");
    KADRIX_CHECK(index != NULL);
    ConstraintId constraint = m_client->getConstraintByIndex(decimalIndex(index));
    KADRIX_CHECK_MSG(constraint.isValid(), "No constraint at index " << index << ".");
    // A name and a scope, where given, are the constraint's: undoing the
    // deletion makes the constraint again from them (the log writes both).
    const char* name = element.Attribute("name");
    KADRIX_CHECK_MSG(
        name == NULL || constraint->getName() == LabelStr(name),
        "The constraint at index " << index << " is " << constraint->toString() << ", not " << name << ".");
    if (element.FirstChildElement() != NULL)
      KADRIX_CHECK_MSG(ScopeText(*this, element).describes(constraint),
                       "The constraint at index " << index << " is " << constraint->toString()
                                                  << ", not the one over the scope of " << element);
    deleteMadeConstraint(constraint);
  }

  void DbClientTransactionPlayer::deleteMadeConstraint(const ConstraintId& constraint) {
    // Reading a value where a scope names a variable made an internal
    // variable without parent, which only this constraint uses.
    std::vector<ConstrainedVariableId> values;
    for (const ConstrainedVariableId& var : constraint->getScope())
      if (var->isInternal() && var->parent().isNoId())
        values.push_back(var);
    m_client->deleteConstraint(constraint);
    // Newest first, so that the engine's freed indexes are reused as they were
    // taken: a variable made again by a rewind then gets its index back.
    for (std::vector<ConstrainedVariableId>::reverse_iterator var = values.rbegin(); var != values.rend(); ++var)
      if (var->isValid() && (*var)->constraintCount() == 0)
        m_client->deleteVariable(*var);
  }

  void DbClientTransactionPlayer::deleteConstraintsOn(const std::vector<ConstrainedVariableId>& variables) {
    // Deleting the variables would take these constraints silently: deleted
    // first through the client, newest first, a log records them and a
    // rewind makes them again.
    deleteConstraints(constraintsMadeOn(variables));
  }

  DbClientTransactionPlayer::MadeConstraints DbClientTransactionPlayer::constraintsMadeOn(
      const std::vector<ConstrainedVariableId>& variables) {
    MadeConstraints made;
    for (const ConstrainedVariableId& var : variables) {
      std::set<ConstraintId> constraints;
      var->constraints(constraints);
      for (const ConstraintId& constraint : constraints)
        if (!constraint->isOwned())
          made[constraint->getKey()] = constraint;
    }
    return made;
  }

  void DbClientTransactionPlayer::deleteConstraints(const MadeConstraints& made) {
    for (const std::pair<const int, ConstraintId>& constraint : made)
      if (constraint.second.isValid())
        deleteMadeConstraint(constraint.second);
  }

}
