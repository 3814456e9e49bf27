#include "PlanDatabase/transactions/DbClientTransactionLog.hh"

#include "ConstraintEngine/base/BoolDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/IdTable.hh"
#include "Utils/base/Utils.hh"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace KADRIX {

  namespace {

    typedef std::unique_ptr<TiXmlElement> Element;

    const char* const CHRONOLOGICAL_MESSAGE = "Chronological backtracking assumption violated";

    /**
     * The shortest decimal text that reads back to exactly this double: the
     * "%f" or "%e" form, whichever is shorter ("0.1", "1e-07", "1234567.5").
     */
    std::string shortestText(double value) {
      char buffer[64];
      const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
      return std::string(buffer, result.ptr);
    }

    /** The live object whose handle's numeric form is the value, or no handle. */
    ObjectId objectAt(double value) {
      // Only the numbers of registered addresses are handles at all.
      if (!(value > 0) || value >= 18446744073709551616.0 || value != std::floor(value) ||
          IdTable::getKey(static_cast<std::uintptr_t>(value)) == 0)
        return ObjectId::noId();
      return ObjectId(value);
    }

  }

  DbClientTransactionLog::DbClientTransactionLog(const DbClientId& client, bool chronologicalBacktracking)
    : DbClientListener(client), m_chronologicalBacktracking(chronologicalBacktracking), m_tokensCreated(0) {}

  DbClientTransactionLog::~DbClientTransactionLog() noexcept(false) { cleanup(m_bufferedTransactions); }

  // Objects and closing.

  void DbClientTransactionLog::notifyObjectCreated(const ObjectId& object) {
    notifyObjectCreated(object, std::vector<const AbstractDomain*>());
  }

  void DbClientTransactionLog::notifyObjectCreated(const ObjectId& object,
                                                   const std::vector<const AbstractDomain*>& arguments) {
    Element element(allocateXmlElement("new"));
    if (LabelStr::isString(object->getName()))
      element->SetAttribute("name", object->getName().toString());
    element->SetAttribute("type", object->getType().toString());
    for (std::vector<const AbstractDomain*>::const_iterator it = arguments.begin(); it != arguments.end();
         ++it)
      element->LinkEndChild(abstractDomainAsXml(*it));
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyObjectDeleted(const ObjectId& object) {
    Element element(allocateXmlElement("deleteobject"));
    element->SetAttribute("name", object->getName().toString());
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyClosed() {
    Element element(allocateXmlElement("invoke"));
    element->SetAttribute("name", "close");
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyClosed(const LabelStr& objectType) {
    Element element(allocateXmlElement("invoke"));
    element->SetAttribute("name", "close");
    element->SetAttribute("identifier", objectType.toString());
    pushTransaction(element.release());
  }

  // Tokens.

  void DbClientTransactionLog::notifyTokenCreated(const TokenId& token) {
    const int name = m_tokensCreated++;
    KADRIX_CHECK(LabelStr::isString(token->getName()));
    Element element(allocateXmlElement(token->isFact() ? "fact" : "goal"));
    // A goal that cannot be rejected is played back as one.
    if (!token->isFact() && !token->getState()->baseDomain().isMember(Token::REJECTED.getKey()))
      element->SetAttribute("mandatory", "true");
    Element instance(allocateXmlElement("predicateinstance"));
    instance->SetAttribute("name", name);
    instance->SetAttribute("type", token->getName().toString());
    instance->SetAttribute("path", getClient()->getPathAsString(token));
    element->LinkEndChild(instance.release());
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyTokenDeleted(const TokenId& token, const std::string& name) {
    Element element(allocateXmlElement("deletetoken"));
    element->SetAttribute("type", token->getName().toString());
    element->SetAttribute("path", getClient()->getPathAsString(token));
    if (!name.empty())
      element->SetAttribute("name", name);
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyConstrained(const ObjectId& object, const TokenId& predecessor,
                                                 const TokenId& successor) {
    pushTransaction(orderingAsXml("constrain", object, predecessor, successor));
  }

  void DbClientTransactionLog::notifyFreed(const ObjectId& object, const TokenId& predecessor,
                                           const TokenId& successor) {
    if (m_chronologicalBacktracking)
      popRetracted({"constrain"}, "strcmp(m_bufferedTransactions.back()->Value(), \"constrain\") == 0");
    else
      pushTransaction(orderingAsXml("free", object, predecessor, successor));
  }

  void DbClientTransactionLog::notifyActivated(const TokenId& token) {
    pushTransaction(tokensAsXml("activate", token));
  }

  void DbClientTransactionLog::notifyMerged(const TokenId& token, const TokenId& activeToken) {
    pushTransaction(tokensAsXml("merge", token, activeToken));
  }

  void DbClientTransactionLog::notifyMerged(const TokenId& token) {
    pushTransaction(tokensAsXml("merge", token));
  }

  void DbClientTransactionLog::notifyRejected(const TokenId& token) {
    pushTransaction(tokensAsXml("reject", token));
  }

  void DbClientTransactionLog::notifyCancelled(const TokenId& token) {
    if (m_chronologicalBacktracking)
      popRetracted({"activate", "reject", "merge"},
                   "(strcmp(m_bufferedTransactions.back()->Value(), \"activate\") == 0) || "
                   "(strcmp(m_bufferedTransactions.back()->Value(), \"reject\") == 0) || "
                   "(strcmp(m_bufferedTransactions.back()->Value(), \"merge\") == 0)");
    else
      pushTransaction(tokensAsXml("cancel", token));
  }

  // Constraints and variables.

  void DbClientTransactionLog::notifyConstraintCreated(const ConstraintId& constraint) {
    pushTransaction(constraintAsXml("invoke", constraint));
  }

  void DbClientTransactionLog::notifyConstraintDeleted(const ConstraintId& constraint) {
    pushTransaction(constraintAsXml("deleteconstraint", constraint));
  }

  void DbClientTransactionLog::notifyVariableCreated(const ConstrainedVariableId& variable) {
    if (variable->isInternal())
      return;
    // The declared type, which reads back the same on replay; an object
    // variable's objects need not share their exact type with it.
    const AbstractDomain& baseDomain = variable->baseDomain();
    const LabelStr& typeName = baseDomain.getTypeName();
    KADRIX_DEBUG("notifyVariableCreated",
                 " variable name = " << variable->getName().toString()
                                     << " typeName = " << typeName.toString()
                                     << " type = " << baseDomain.getTypeName().toString());
    Element element(allocateXmlElement("var"));
    element->SetAttribute("type", typeName.toString());
    if (LabelStr::isString(variable->getName()))
      element->SetAttribute("name", variable->getName().toString());
    element->SetAttribute("index", static_cast<int>(getClient()->getIndexByVariable(variable)));
    // An open domain follows its type (an object variable gains and loses the
    // type's objects): a replay makes it from the type to do the same.
    if (!baseDomain.isEmpty() && !baseDomain.isOpen())
      element->LinkEndChild(abstractDomainAsXml(&baseDomain));
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyVariableDeleted(const ConstrainedVariableId& variable) {
    if (variable->isInternal())
      return;
    Element element(allocateXmlElement("deletevar"));
    element->SetAttribute("index", static_cast<int>(getClient()->getIndexByVariable(variable)));
    element->SetAttribute("name", variable->getName().toString());
    element->SetAttribute("type", variable->baseDomain().getTypeName().toString());
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyVariableSpecified(const ConstrainedVariableId& variable) {
    if (variable->isInternal())
      return;
    // The specified value is what was asked for, whatever propagation has
    // made of the current domain since.
    double value = 0;
    if (variable->isSpecified())
      value = variable->getSpecifiedValue();
    else {
      KADRIX_CHECK_MSG(variable->lastDomain().isSingleton(), variable->toString() << " is not a singleton.");
      value = variable->lastDomain().getSingletonValue();
    }
    Element element(allocateXmlElement("specify"));
    element->LinkEndChild(variableAsXml(variable));
    element->LinkEndChild(domainValueAsXml(&variable->baseDomain(), value));
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyVariableRestricted(const ConstrainedVariableId& variable) {
    if (variable->isInternal())
      return;
    Element element(allocateXmlElement("restrict"));
    element->LinkEndChild(variableAsXml(variable));
    element->LinkEndChild(abstractDomainAsXml(&variable->baseDomain()));
    pushTransaction(element.release());
  }

  void DbClientTransactionLog::notifyVariableReset(const ConstrainedVariableId& variable) {
    if (variable->isInternal())
      return;
    if (m_chronologicalBacktracking) {
      popRetracted({"specify"}, "strcmp(m_bufferedTransactions.back()->Value(), \"specify\") == 0");
      return;
    }
    Element element(allocateXmlElement("reset"));
    element->LinkEndChild(variableAsXml(variable));
    pushTransaction(element.release());
  }

  // The buffer.

  void DbClientTransactionLog::insertBreakpoint() { pushTransaction(allocateXmlElement("breakpoint")); }

  void DbClientTransactionLog::removeBreakpoint() {
    KADRIX_CHECK(!m_bufferedTransactions.empty());
    if (m_bufferedTransactions.empty())
      return;
    const bool isBreakpoint = m_bufferedTransactions.back()->Value() == std::string("breakpoint");
    KADRIX_CHECK_TEXT(
        isBreakpoint, "m_bufferedTransactions.back()->Value() == std::string(\"breakpoint\")",
        "Last transaction is a " << m_bufferedTransactions.back()->Value() << ", not a breakpoint.");
    if (isBreakpoint)
      popTransaction();
  }

  void DbClientTransactionLog::flush(std::ostream& os) {
    for (std::list<TiXmlElement*>::const_iterator it = m_bufferedTransactions.begin();
         it != m_bufferedTransactions.end(); ++it)
      os << **it << std::endl;
    // What a failed stream did not take must not be lost.
    KADRIX_CHECK_MSG(!os.fail(), "The stream failed while "
                                     << m_bufferedTransactions.size()
                                     << " transactions were written to it; they stay buffered.");
    if (os.fail())
      return;
    cleanup(m_bufferedTransactions);
  }

  void DbClientTransactionLog::popTransaction() {
    KADRIX_CHECK(!m_bufferedTransactions.empty());
    if (m_bufferedTransactions.empty())
      return;
    TiXmlElement* element = m_bufferedTransactions.back();
    m_bufferedTransactions.pop_back();
    delete element;
  }

  void DbClientTransactionLog::pushTransaction(TiXmlElement* element) {
    m_bufferedTransactions.push_back(element);
  }

  void DbClientTransactionLog::popRetracted(const std::vector<const char*>& tags, const char* condition) {
    bool retracts = false;
    if (!m_bufferedTransactions.empty())
      for (std::vector<const char*>::const_iterator it = tags.begin(); it != tags.end(); ++it)
        retracts = retracts || std::strcmp(m_bufferedTransactions.back()->Value(), *it) == 0;
    KADRIX_CHECK_TEXT(retracts, condition, CHRONOLOGICAL_MESSAGE);
    if (retracts) {
      popTransaction();
      // The client's ordering journal keeps in step: neither the retraction nor what it took back stays.
      getClient()->getOrderingJournal().forgetRetraction();
    }
  }

  // Rendering.

  TiXmlElement* DbClientTransactionLog::allocateXmlElement(const std::string& tag) {
    return new TiXmlElement(tag);
  }

  TiXmlElement* DbClientTransactionLog::tokenAsXml(const TokenId& token) const {
    Element element(allocateXmlElement("token"));
    element->SetAttribute("path", getClient()->getPathAsString(token));
    return element.release();
  }

  TiXmlElement* DbClientTransactionLog::tokensAsXml(const char* tag, const TokenId& token,
                                                    const TokenId& other) const {
    Element element(allocateXmlElement(tag));
    element->LinkEndChild(tokenAsXml(token));
    if (!other.isNoId())
      element->LinkEndChild(tokenAsXml(other));
    return element.release();
  }

  TiXmlElement* DbClientTransactionLog::orderingAsXml(const char* tag, const ObjectId& object,
                                                      const TokenId& predecessor,
                                                      const TokenId& successor) const {
    Element element(allocateXmlElement(tag));
    TiXmlElement* objectElement = element->LinkEndChild(allocateXmlElement("object"))->ToElement();
    objectElement->SetAttribute("name", object->getName().toString());
    element->LinkEndChild(tokenAsXml(predecessor));
    element->LinkEndChild(tokenAsXml(successor));
    return element.release();
  }

  TiXmlElement* DbClientTransactionLog::constraintAsXml(const char* tag,
                                                        const ConstraintId& constraint) const {
    Element element(allocateXmlElement(tag));
    element->SetAttribute("name", constraint->getName().toString());
    element->SetAttribute("index", static_cast<int>(getClient()->getIndexByConstraint(constraint)));
    // An internal variable has no element of its own to refer to: it is
    // written as its value, from which a replay makes it again.
    const std::vector<ConstrainedVariableId>& scope = constraint->getScope();
    for (std::vector<ConstrainedVariableId>::const_iterator it = scope.begin(); it != scope.end(); ++it)
      element->LinkEndChild((*it)->isInternal() && !(*it)->baseDomain().isEmpty()
                                ? abstractDomainAsXml(&(*it)->baseDomain())
                                : variableAsXml(*it));
    return element.release();
  }

  TiXmlElement* DbClientTransactionLog::variableAsXml(const ConstrainedVariableId& variable) const {
    Element element(allocateXmlElement("variable"));
    const EntityId& parent = variable->parent();
    const int engineIndex = static_cast<int>(getClient()->getIndexByVariable(variable));
    const int ownIndex =
        variable->getIndex() == ConstrainedVariable::NO_INDEX ? engineIndex : variable->getIndex();
    if (TokenId::convertable(parent)) {
      TokenId token(parent);
      KADRIX_CHECK(token.isValid());
      element->SetAttribute("token", getClient()->getPathAsString(token));
      element->SetAttribute("index", ownIndex);
    } else if (ObjectId::convertable(parent)) {
      ObjectId object(parent);
      KADRIX_CHECK(object.isValid());
      element->SetAttribute("object", object->getName().toString());
      element->SetAttribute("index", ownIndex);
    } else
      element->SetAttribute("index", engineIndex);
    return element.release();
  }

  TiXmlElement* DbClientTransactionLog::domainValueAsXml(const AbstractDomain* domain, double value) const {
    const LabelStr& typeName = domain->getTypeName();
    if (getClient()->getSchema()->isObjectType(typeName)) {
      Element element(allocateXmlElement("object"));
      element->SetAttribute("value", domainValueAsString(domain, value));
      return element.release();
    }
    KADRIX_DEBUG("domainValueAsXml",
                 " domain type = " << typeName.toString() << " domain name = " << typeName.toString());
    if (isBool(typeName) || domain->isNumeric()) {
      Element element(allocateXmlElement("value"));
      element->SetAttribute("type", isBool(typeName) ? std::string("bool") : typeName.toString());
      element->SetAttribute("name", domainValueAsString(domain, value));
      return element.release();
    }
    Element element(allocateXmlElement("symbol"));
    element->SetAttribute("type", typeName.toString());
    element->SetAttribute("value", domainValueAsString(domain, value));
    return element.release();
  }

  TiXmlElement* DbClientTransactionLog::abstractDomainAsXml(const AbstractDomain* domain) const {
    KADRIX_CHECK(!domain->isEmpty());
    if (domain->isSingleton())
      return domainValueAsXml(domain, domain->getSingletonValue());
    if (domain->isEnumerated()) {
      Element element(allocateXmlElement("set"));
      element->SetAttribute("type", domain->getTypeName().toString());
      std::list<double> values;
      domain->getValues(values);
      for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it)
        element->LinkEndChild(domainValueAsXml(domain, *it));
      return element.release();
    }
    if (domain->isInterval()) {
      Element element(allocateXmlElement("interval"));
      element->SetAttribute("type", domain->getTypeName().toString());
      element->SetAttribute("min", domainValueAsString(domain, domain->getLowerBound()));
      element->SetAttribute("max", domainValueAsString(domain, domain->getUpperBound()));
      return element.release();
    }
    KADRIX_FAIL("");
    return allocateXmlElement("set");
  }

  std::string DbClientTransactionLog::domainValueAsString(const AbstractDomain* domain, double value) const {
    const LabelStr& typeName = domain->getTypeName();
    if (isBool(typeName))
      return value == 0 ? "false" : "true";
    if (domain->isNumeric()) {
      // An integer beyond 32 bits would not survive truncation: it keeps its
      // exact number text instead.
      if (isInt(typeName) && value >= INT_MIN && value <= INT_MAX)
        return std::to_string(static_cast<int>(value));
      return shortestText(value);
    }
    if (LabelStr::isString(domain->getUpperBound()))
      return LabelStr(value).toString();
    const ObjectId object = objectAt(value);
    KADRIX_CHECK(object.isValid());
    if (!object.isValid())
      return std::string();
    return object->getName().toString();
  }

  bool DbClientTransactionLog::isBool(const LabelStr& typeName) {
    static const LabelStr sl_bool("bool");
    static const LabelStr sl_BOOL("BOOL");
    return typeName == sl_bool || typeName == sl_BOOL || typeName == BoolDomain::getDefaultTypeName();
  }

  bool DbClientTransactionLog::isInt(const LabelStr& typeName) {
    static const LabelStr sl_int("int");
    static const LabelStr sl_intInterval("INT_INTERVAL");
    return typeName == sl_int || typeName == sl_intInterval;
  }

  // Suspension.

  DbClientTransactionLog::Suspension::Suspension(DbClientTransactionLog& log) : m_log(log) {
    if (m_log.m_suspensions++ == 0 && m_log.m_client.isValid())
      m_log.m_client->notifyRemoved(m_log.getId());
  }

  DbClientTransactionLog::Suspension::~Suspension() noexcept(false) {
    if (--m_log.m_suspensions == 0 && m_log.m_client.isValid())
      m_log.m_client->notifyAdded(m_log.getId());
  }

}
