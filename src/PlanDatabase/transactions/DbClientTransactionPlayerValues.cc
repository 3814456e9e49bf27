// Reading values, domains and references from transaction elements.

#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

#include <tinyxml.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <list>
#include <memory>
#include <sstream>
#include <string_view>

// Part of DbClientTransactionPlayer: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/transactions/DbClientTransactionPlayer.cc"

namespace KADRIX {

  namespace {

    /**
     * Reads a decimal integer: an optional sign, then digits only, within the
     * range of int. Answers false for anything else and leaves value alone.
     */
    bool readInt(std::string_view text, int& value) {
      std::string_view::size_type i = 0;
      const bool negative = !text.empty() && text[0] == '-';
      if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        ++i;
      if (i == text.size())
        return false;
      long long result = 0;
      for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
          return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1)
          return false;
      }
      if (negative)
        result = -result;
      if (result > INT_MAX || result < INT_MIN)
        return false;
      value = static_cast<int>(result);
      return true;
    }

    /** The pieces of the text between dots, empty ones included. */
    std::vector<std::string> splitAtDots(const std::string& text) {
      std::vector<std::string> pieces;
      std::string::size_type start = 0;
      for (;;) {
        const std::string::size_type dot = text.find('.', start);
        pieces.push_back(text.substr(start, dot == std::string::npos ? dot : dot - start));
        if (dot == std::string::npos)
          return pieces;
        start = dot + 1;
      }
    }

    /** The copy of a type's base domain set to the value of the text, inserted first when the copy is open. */
    AbstractDomain* singletonDomain(DbClient& client, const char* type, const char* text) {
      std::unique_ptr<AbstractDomain> domain(client.getCESchema()->baseDomain(type).copy());
      KADRIX_CHECK_TEXT(domain != nullptr, "domain != 0",
                        "unknown type, lack of memory, or other problem with domain in transaction XML");
      const double value = client.createValue(type, text);
      if (domain->isOpen() && !domain->isMember(value))
        domain->insert(value);
      domain->set(value);
      return domain.release();
    }

    // Type texts of the members of an enumerated set.

    bool isBoolText(const std::string& text) {
      return text == "bool" || text == "BOOL" || text == BoolDomain::getDefaultTypeName().toString();
    }

    bool isIntText(const std::string& text) {
      return text == "int" || text == "INT" || text == IntervalIntDomain::getDefaultTypeName().toString();
    }

    bool isFloatText(const std::string& text) {
      return text == "float" || text == "FLOAT" || text == IntervalDomain::getDefaultTypeName().toString();
    }

    bool isStringText(const std::string& text) {
      return text == "string" || text == "STRING" || text == StringDomain::getDefaultTypeName().toString();
    }

  }

  std::vector<int> pathAsVector(const std::string& path) {
    std::vector<int> result;
    // The pieces between dots, empty ones included, read where they stand.
    const std::string_view text(path);
    for (std::string_view::size_type start = 0;;) {
      const std::string_view::size_type dot = text.find('.', start);
      const std::string_view piece = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
      int number = 0;
      KADRIX_CHECK_MSG(piece.empty() || readInt(piece, number),
                       "Token path '" << path << "' holds '" << piece
                                      << "', which is no decimal integer in the range of int.");
      result.push_back(number);
      if (dot == std::string_view::npos)
        return result;
      start = dot + 1;
    }
  }

  std::string DbClientTransactionPlayer::generatedName(const char* prefix, int& counter) {
    std::ostringstream name;
    name << prefix << counter++ << "]";
    return name.str();
  }

  double DbClientTransactionPlayer::xmlAsValue(const TiXmlElement& value, const char* name) {
    const char* tag = value.Value();
    if (strcmp(tag, "new") == 0) {
      const std::string objectName = name != nullptr ? name : generatedName("$OBJECT[", m_objectCount);
      const char* type = value.Attribute("type");
      KADRIX_CHECK(type != NULL);
      std::vector<std::unique_ptr<const AbstractDomain> > owned;
      std::vector<const AbstractDomain*> arguments;
      for (const TiXmlElement* child = value.FirstChildElement(); child != nullptr;
           child = child->NextSiblingElement()) {
        owned.emplace_back(xmlAsAbstractDomain(*child, NULL, NULL));
        arguments.push_back(owned.back().get());
      }
      const ObjectId object = m_client->createObject(type, objectName.c_str(), arguments);
      KADRIX_CHECK(object.isValid());
      return static_cast<double>(object);
    }
    if (strcmp(tag, "value") == 0) {
      const char* type_st = value.Attribute("type");
      KADRIX_CHECK_MSG(type_st != NULL, "missing type for value in transaction XML");
      const char* name_st = value.Attribute("name");
      KADRIX_CHECK_MSG(name_st != NULL, "missing name for value in transaction XML");
      return m_client->createValue(type_st, name_st);
    }
    const char* value_st = value.Attribute("value");
    KADRIX_CHECK_MSG(value_st != NULL, "missing value in transaction xml");
    if (strcmp(tag, "symbol") == 0) {
      const char* type_st = value.Attribute("type");
      KADRIX_CHECK_MSG(type_st != NULL, "missing type for symbol '" << value_st << "' in transaction xml");
      return m_client->createValue(type_st, value_st);
    }
    const ObjectId object = m_client->getObject(value_st);
    if (strcmp(tag, "object") == 0)
      KADRIX_CHECK(object.isValid());
    else if (!object.isValid())
      KADRIX_FAIL("");
    return static_cast<double>(object);
  }

  const AbstractDomain* DbClientTransactionPlayer::xmlAsAbstractDomain(const TiXmlElement& element,
                                                                       const char* objectName,
                                                                       const char* typeName) {
    const char* tag = element.Value();
    KADRIX_CHECK_MSG(strcmp(tag, "ident") != 0, "ident in transaction xml is deprecated");
    if (strcmp(tag, "new") == 0) {
      const char* type = element.Attribute("type");
      KADRIX_CHECK(type != NULL);
      // An object named by the counter is named by no element: what a rewind
      // plays again must not make a second one.
      KADRIX_CHECK_MSG(objectName != NULL || m_rewindIndex == nullptr,
                       "A rewind does not make again the object of a \"new\" without name: " << element);
      const ObjectId object(xmlAsValue(element, objectName));
      return new ObjectDomain(object, type);
    }
    if (strcmp(tag, "id") == 0) {
      const ConstrainedVariableId var = parseVariable(element.Attribute("name"));
      KADRIX_CHECK(var.isValid());
      return var->baseDomain().copy();
    }
    if (strcmp(tag, "set") == 0)
      return xmlAsEnumeratedDomain(element, typeName);
    if (strcmp(tag, "interval") == 0)
      return xmlAsIntervalDomain(element, typeName);
    if (strcmp(tag, "value") == 0) {
      const char* type = element.Attribute("type");
      KADRIX_CHECK_MSG(type != NULL, "missing type for domain in transaction XML");
      const char* name = element.Attribute("name");
      KADRIX_CHECK_MSG(name != NULL, "missing name for domain in transaction XML");
      return singletonDomain(*m_client, type, name);
    }
    const char* value_st = element.Attribute("value");
    KADRIX_CHECK(value_st != NULL);
    if (strcmp(tag, "symbol") == 0) {
      const char* type = element.Attribute("type");
      KADRIX_CHECK(type != NULL);
      return singletonDomain(*m_client, type, value_st);
    }
    KADRIX_CHECK(strcmp(tag, "object") == 0);
    const ObjectId object = m_client->getObject(value_st);
    KADRIX_CHECK(object.isValid());
    return new ObjectDomain(object, object->getType().c_str());
  }

  IntervalDomain* DbClientTransactionPlayer::xmlAsIntervalDomain(const TiXmlElement& element,
                                                                 const char* typeName) {
    const char* type_st = element.Attribute("type");
    const char* min_st = element.Attribute("min");
    const char* max_st = element.Attribute("max");
    KADRIX_CHECK(type_st != NULL);
    KADRIX_CHECK(min_st != NULL);
    KADRIX_CHECK(max_st != NULL);
    const AbstractDomain& base = getCESchema()->baseDomain(type_st);
    std::unique_ptr<IntervalDomain> domain;
    if (typeName == NULL) {
      std::unique_ptr<AbstractDomain> copy(base.copy());
      if (dynamic_cast<IntervalDomain*>(copy.get()) != nullptr)
        domain.reset(static_cast<IntervalDomain*>(copy.release()));
    } else if (base.minDelta() == 1.0)
      domain.reset(new IntervalIntDomain(typeName));
    else if (base.minDelta() > 0.0 && base.minDelta() < 1.0)
      domain.reset(new IntervalDomain(typeName));
    else
      KADRIX_CHECK_TEXT(g_alwaysFails(), "ALWAYS_FAIL",
                        "Having trouble trying to duplicate type " << type_st);
    KADRIX_CHECK_TEXT(domain != nullptr, "domain != NULL",
                      "type '" << type_st << "' should indicate an interval domain type");
    const double min = m_client->createValue(type_st, min_st);
    const double max = m_client->createValue(type_st, max_st);
    domain->intersect(min, max);
    KADRIX_DEBUG("DbClientTransactionPlayer:xmlAsIntervalDomain",
                 "For " << element << ", created domain " << domain->toString());
    return domain.release();
  }

  EnumeratedDomain* DbClientTransactionPlayer::xmlAsEnumeratedDomain(const TiXmlElement& element,
                                                                     const char* otherTypeName) {
    // The kind of value the set holds; int and float mix into float.
    enum SetKind { SET_ANY = 0, SET_BOOL, SET_INT, SET_FLOAT, SET_STRING, SET_SYMBOL, SET_OBJECT };
    SetKind type = SET_ANY;
    std::string typeName;
    for (const TiXmlElement* child_el = element.FirstChildElement(); child_el != nullptr;
         child_el = child_el->NextSiblingElement()) {
      const char* typeText =
          strcmp(child_el->Value(), "value") == 0 ? child_el->Attribute("type") : child_el->Value();
      const std::string thisType(typeText != nullptr ? typeText : "");
      KADRIX_DEBUG("DbClientTransactionPlayer:xmlAsEnumeratedDomain", " thisType= " << thisType);
      KADRIX_CHECK_MSG(thisType != "", "no type for domain in XML");
      if (isBoolText(thisType) && (type == SET_ANY || type == SET_BOOL)) {
        if (type == SET_ANY)
          typeName = "bool";
        type = SET_BOOL;
        continue;
      }
      if (isIntText(thisType) && (type == SET_ANY || type == SET_INT || type == SET_FLOAT)) {
        if (type == SET_ANY) {
          type = SET_INT;
          typeName = "int";
        }
        continue;
      }
      if (isFloatText(thisType) && (type == SET_ANY || type == SET_INT || type == SET_FLOAT)) {
        type = SET_FLOAT;
        typeName = "float";
        continue;
      }
      if (isStringText(thisType) && (type == SET_ANY || type == SET_STRING)) {
        if (type == SET_ANY)
          typeName = "string";
        type = SET_STRING;
        continue;
      }
      if (thisType == "symbol") {
        const char* symbolType = child_el->Attribute("type");
        KADRIX_CHECK_MSG(symbolType != NULL, "missing type for a symbol in an enumerated set");
        if (type == SET_ANY) {
          type = SET_SYMBOL;
          typeName = symbolType;
          continue;
        }
        if (type == SET_SYMBOL) {
          KADRIX_CHECK_MSG(strcmp(typeName.c_str(), child_el->Attribute("type")) == 0,
                           "symbols from different types in the same enumerated set");
        }
        KADRIX_DEBUG("DbClientTransactionPlayer:xmlAsEnumeratedDomain:symbol",
                     " thisType= " << thisType << " typeName = " << typeName);
        if (type == SET_SYMBOL)
          continue;
      }
      if (thisType == "object" && (type == SET_ANY || type == SET_OBJECT)) {
        if (type == SET_ANY) {
          // Object sets carry their type name themselves, as the log writes them.
          const char* setType = element.Attribute("type");
          typeName = setType != nullptr ? setType : ObjectDomain::getDefaultTypeName().toString();
        }
        type = SET_OBJECT;
        continue;
      }
      KADRIX_FAIL("unknown or inappropriately mixed type(s) for value(s) in an enumerated set");
    }
    KADRIX_CHECK_TEXT(type != SET_ANY, "type != ANY", "");

    std::list<double> values;
    std::list<ObjectId> objects;
    for (const TiXmlElement* child_el = element.FirstChildElement(); child_el != nullptr;
         child_el = child_el->NextSiblingElement()) {
      const char* value_st = child_el->Attribute("value");
      if (value_st == nullptr)
        value_st = child_el->Attribute("name");
      KADRIX_CHECK(value_st != NULL);
      if (type == SET_OBJECT) {
        const ObjectId object = m_client->getObject(value_st);
        KADRIX_CHECK_MSG(object.isValid(), "No object named '" << value_st << "' for an enumerated set");
        objects.push_back(object);
      } else
        values.push_back(m_client->createValue(typeName.c_str(), value_st));
    }
    if (otherTypeName != NULL)
      typeName = otherTypeName;

    switch (type) {
      case SET_STRING:
        return new StringDomain(values, typeName);
      case SET_SYMBOL:
        return new SymbolDomain(values, typeName);
      case SET_OBJECT:
        return new ObjectDomain(objects, typeName.c_str());
      default:
        return new EnumeratedDomain(values, true, typeName);
    }
  }

  TokenId DbClientTransactionPlayer::parseToken(const char* tokString) {
    KADRIX_CHECK(tokString != NULL);
    return lookUp(m_tokens, tokString);
  }

  TokenId DbClientTransactionPlayer::xmlAsToken(const TiXmlElement& token) {
    KADRIX_CHECK_MSG(strcmp(token.Value(), "ident") != 0, "ident in transaction xml is deprecated");
    if (strcmp(token.Value(), "id") == 0) {
      const TokenId tok = parseToken(token.Attribute("name"));
      KADRIX_CHECK(tok.isValid());
      return tok;
    }
    if (strcmp(token.Value(), "token") == 0) {
      const char* path = token.Attribute("path");
      if (path != nullptr)
        return m_client->getTokenByPath(pathAsVector(path));
      const char* name = token.Attribute("name");
      if (name != nullptr) {
        const TokenId tok = parseToken(name);
        KADRIX_CHECK(tok.isValid());
        return tok;
      }
    }
    KADRIX_FAIL("");
    return TokenId::noId();
  }

  ConstrainedVariableId DbClientTransactionPlayer::parseVariable(const char* varString) {
    KADRIX_CHECK(varString != NULL);
    const char* dot = strchr(varString, '.');
    if (dot == nullptr)
      return lookUp(m_variables, varString);
    const std::string ident(varString, dot);
    const std::string rest(dot + 1);
    const TokenId token = lookUp(m_tokens, ident);
    if (token.isValid()) {
      const std::vector<ConstrainedVariableId>& variables = token->getVariables();
      for (const ConstrainedVariableId& variable : variables)
        if (variable->getName().toString() == rest)
          return variable;
      KADRIX_FAIL("Failed to process transaction for " << ident << ":" << rest);
    }
    ConstrainedVariableId var = lookUp(m_variables, ident);
    KADRIX_CHECK_MSG(var.isValid(), "Invalid id for " << ident);
    // Only a variable holding exactly one object names that object.
    const AbstractDomain& held = var->lastDomain();
    const ObjectId object =
        held.isEntity() && held.isSingleton() ? ObjectId(held.getSingletonValue()) : ObjectId::noId();
    KADRIX_CHECK_MSG(object.isValid(), "Invalid object for " << ident);
    var = object->getVariable(LabelStr(varString));
    KADRIX_CHECK_MSG(var.isValid(), varString << " not found on " << object->toString());
    return var;
  }

  ConstrainedVariableId DbClientTransactionPlayer::xmlAsVariable(const TiXmlElement& variable) {
    KADRIX_CHECK_MSG(strcmp(variable.Value(), "ident") != 0, "ident in transaction xml is deprecated");
    if (strcmp(variable.Value(), "id") == 0) {
      const char* name = variable.Attribute("name");
      const ConstrainedVariableId var = parseVariable(name);
      KADRIX_CHECK_MSG(var.isValid(), "No variable named " << name);
      return var;
    }
    if (strcmp(variable.Value(), "variable") != 0) {
      const ConstrainedVariableId var = xmlAsCreateVariable(NULL, NULL, &variable);
      KADRIX_CHECK(var.isValid());
      return var;
    }
    // Text that is no decimal integer in range leaves the index at -1.
    const char* indexText = variable.Attribute("index");
    int index = -1;
    if (indexText != nullptr)
      readInt(indexText, index);
    KADRIX_CHECK_TEXT(indexText != NULL, "variable.Attribute(\"index\", &index) != NULL", "");
    KADRIX_CHECK(0 <= index);
    if (const char* path = variable.Attribute("token")) {
      const TokenId token = m_client->getTokenByPath(pathAsVector(path));
      KADRIX_CHECK(token.isValid());
      KADRIX_CHECK_TEXT(static_cast<unsigned>(index) < token->getVariables().size(),
                        "(unsigned)index < token->getVariables().size()", "");
      return token->getVariables()[index];
    }
    if (const char* name = variable.Attribute("object")) {
      const ObjectId object = m_client->getObject(name);
      KADRIX_CHECK(object.isValid());
      KADRIX_CHECK_TEXT(static_cast<unsigned>(index) < object->getVariables().size(),
                        "(unsigned)index < object->getVariables().size()", "");
      return object->getVariables()[index];
    }
    const ConstrainedVariableId var = m_client->getVariableByIndex(index);
    KADRIX_CHECK_MSG(var.isValid(), "No variable with index " << index);
    return var;
  }

  const char* DbClientTransactionPlayer::getObjectAndType(const DbClientId& client, const char* predicate,
                                                          ObjectId& object) const {
    const Id<Schema>& schema = client->getSchema();
    if (schema->isPredicate(predicate))
      return predicate;
    const std::vector<std::string> elements = splitAtDots(predicate);
    KADRIX_CHECK_MSG(elements.size() >= 2,
                     "'" << predicate << "' is neither a predicate nor an object path ending in a predicate");
    object = client->getObject(elements[0].c_str());
    KADRIX_CHECK_MSG(object.isValid(), "Failed to find an object named " << elements[0]);
    LabelStr type = object->getType();
    std::string last = elements[1];
    for (std::size_t i = 2; i < elements.size(); ++i) {
      type = schema->getMemberType(type, last);
      last = elements[i];
    }
    const std::string text(predicate);
    const std::string objectPath = text.substr(0, text.size() - last.size() - 1);
    object = client->getObject(objectPath.c_str());
    KADRIX_CHECK_MSG(object.isValid(), "Failed to find an object named " << objectPath);
    return LabelStr(type.toString() + "." + last).c_str();
  }

  ConstrainedVariableId DbClientTransactionPlayer::xmlAsCreateVariable(const char* type, const char* name,
                                                                       const TiXmlElement* value) {
    bool isTmpVar = false;
    bool canBeSpecified = true;
    const std::string varName = name != nullptr ? name : generatedName("$VAR[", m_varCount);
    if (name == NULL) {
      isTmpVar = true;
      canBeSpecified = false;
    }
    std::unique_ptr<const AbstractDomain> domain;
    if (value != nullptr) {
      domain.reset(xmlAsAbstractDomain(*value, isTmpVar ? NULL : varName.c_str(), NULL));
      if (type == NULL) {
        const char* tag = value->Value();
        const bool typed = strcmp(tag, "value") == 0 || strcmp(tag, "new") == 0 ||
                           strcmp(tag, "symbol") == 0 || strcmp(tag, "interval") == 0;
        type = typed ? value->Attribute("type") : tag;
      }
      KADRIX_DEBUG("DbClientTransactionPlayer:xmlAsCreateVariable",
                   " type = " << (type != nullptr ? type : "") << " name = " << varName
                              << " domain type = " << domain->getTypeName().toString());
    }
    KADRIX_CHECK(type != NULL);
    if (domain == nullptr)
      return m_client->createVariable(type, varName.c_str(), false);
    return m_client->createVariable(type, *domain, varName.c_str(), isTmpVar, canBeSpecified);
  }

}
