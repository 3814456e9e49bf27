#include "PlanDatabase/base/Schema.hh"

#include "ConstraintEngine/base/TypeFactory.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/ObjectFactory.hh"
#include "PlanDatabase/base/TokenFactory.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

#include <ostream>

namespace KADRIX {

  Schema::Schema(const LabelStr& name, const Id<CESchema>& ces)
    : DomainComparator(), PSSchema(), m_id(this), m_ceSchema(ces),
      m_objectTypeMgr((new ObjectTypeMgr())->getId()), m_tokenTypeMgr((new TokenTypeMgr())->getId()),
      m_name(name) {
    reset();
    KADRIX_DEBUG("Schema:constructor", "created Schema:" << m_name.toString());
  }

  Schema::~Schema() noexcept {
    delete static_cast<TokenTypeMgr*>(m_tokenTypeMgr);
    delete static_cast<ObjectTypeMgr*>(m_objectTypeMgr);
    m_id.remove();
  }

  void Schema::reset() {
    primitives.clear();
    enumValues.clear();
    objectTypes.clear();
    predicates.clear();
    membershipRelation.clear();
    childOfRelation.clear();
    objectPredicates.clear();
    typesWithNoPredicates.clear();
    // Remembered answers describe the model that is being dropped; so do the factories'
    // answers found through that model's type tree. The factories themselves stay.
    allObjectTypes.clear();
    m_hasParentCache.clear();
    m_objectTypeMgr->forgetFallbacks();
    m_tokenTypeMgr->forgetFallbacks();

    addObjectType(rootObject());
    addPrimitive("int");
    addPrimitive("float");
    addPrimitive("bool");
    addPrimitive("string");
  }

  const char* Schema::getDelimiter() { return "."; }

  const LabelStr& Schema::rootObject() {
    static const LabelStr sl_rootObject("Object");
    return sl_rootObject;
  }

  LabelStr Schema::makeQualifiedName(const LabelStr& objectType, const LabelStr& unqualifiedPredicateName) {
    return LabelStr(objectType.toString() + getDelimiter() + unqualifiedPredicateName.toString());
  }

  const std::set<LabelStr>& Schema::getBuiltInVariableNames() {
    static const std::set<LabelStr> sl_names{LabelStr("start"), LabelStr("end"), LabelStr("duration"),
                                             LabelStr("object"), LabelStr("state")};
    return sl_names;
  }

  /* ---------------------------------------------------------------- declaring */

  void Schema::addObjectType(const LabelStr& objectType) {
    if (objectType != rootObject()) {
      addObjectType(objectType, rootObject());
      return;
    }
    objectTypes.insert(objectType.getKey());
    membershipRelation.emplace(objectType.getKey(), NameTypeList());
  }

  void Schema::addObjectType(const LabelStr& objectType, const LabelStr& parent) {
    KADRIX_CHECK_MSG(isObjectType(parent), parent.toString() << " is undefined.");
    // The root never gets a parent: it would close a cycle through every type.
    KADRIX_CHECK_TEXT(
        objectType != rootObject() && childOfRelation.find(objectType.getKey()) == childOfRelation.end(),
        "childOfRelation.find(objectType) == childOfRelation.end()",
        objectType.toString() << " is already defined.");
    // A forward-declared type may have received children already; hanging it below one of
    // them would make the chain of ancestors endless.
    bool closesCycle = false;
    for (LabelStr ancestor = parent;;) {
      if (ancestor == objectType) {
        closesCycle = true;
        break;
      }
      std::map<double, LabelStr>::const_iterator it = childOfRelation.find(ancestor.getKey());
      if (it == childOfRelation.end())
        break;
      ancestor = it->second;
    }
    KADRIX_CHECK_TEXT(!closesCycle, "!isA(parent, objectType)",
                      objectType.toString()
                          << " is an ancestor of " << parent.toString() << " and cannot extend it.");

    objectTypes.insert(objectType.getKey());
    membershipRelation.emplace(objectType.getKey(), NameTypeList());
    childOfRelation.emplace(objectType.getKey(), parent);
    forgetAncestorLists(objectType);

    TypeFactory* factory =
        new EnumeratedTypeFactory(objectType.c_str(), objectType.c_str(), ObjectDomain(objectType.c_str()));
    getCESchema()->registerFactory(factory->getId());

    KADRIX_DEBUG("Schema:addObjectType", "[" << m_name.toString() << "] "
                                             << "Added object type " << objectType.toString()
                                             << " that extends " << parent.toString());
  }

  void Schema::declareObjectType(const LabelStr& objectType) {
    KADRIX_DEBUG("Schema:declareObjectType", "[" << m_name.toString() << "] "
                                                 << "Declaring object type " << objectType.toString());
    objectTypes.insert(objectType.getKey());
  }

  void Schema::addPredicate(const LabelStr& predicate) {
    KADRIX_CHECK_MSG(predicate.countElements(getDelimiter()) == 2,
                     "Expect predicate names to be structured as <objectType>.<predicate>. "
                     "Not found in "
                         << predicate.toString());
    KADRIX_CHECK_MSG(isObjectType(predicate.getElement(0, getDelimiter())),
                     "Object Type not defined for " << predicate.toString() << ".");
    KADRIX_CHECK_MSG(predicates.find(predicate) == predicates.end(), predicate.toString()
                                                                         << " already defined.");
    KADRIX_DEBUG("Schema:addPredicate", "[" << m_name.toString() << "] "
                                            << "Added predicate " << predicate.toString());
    predicates.insert(predicate.getKey());
    membershipRelation.emplace(predicate.getKey(), NameTypeList());
    // A type remembered as having no predicates may have one now.
    typesWithNoPredicates.clear();
  }

  unsigned int Schema::addMember(const LabelStr& parentType, const LabelStr& memberType,
                                 const LabelStr& memberName) {
    KADRIX_CHECK_MSG(isType(parentType), parentType.toString() << " is undefined.");
    KADRIX_CHECK_MSG(!canContain(parentType, memberType, memberName),
                     parentType.toString() << " already contains " << memberName.toString());
    // Only a predicate known through an ancestor gets here without a list of its own; its
    // members are those of the ancestor until it is added itself.
    std::map<double, NameTypeList>::iterator it = membershipRelation.find(parentType.getKey());
    KADRIX_CHECK_TEXT(
        it != membershipRelation.end(), "membershipRelation.find(parentType) != membershipRelation.end()",
        parentType.toString() << " is only inherited; add it as a predicate before adding members.");
    KADRIX_DEBUG("Schema:addMember", "[" << m_name.toString() << "] "
                                         << "Added to " << parentType.toString() << ": "
                                         << memberType.toString() << " " << memberName.toString());
    it->second.push_back(NameTypePair(memberType, memberName));
    return static_cast<unsigned int>((it->second.size() - 1));
  }

  void Schema::addEnum(const LabelStr& enumName) {
    KADRIX_CHECK_MSG(!isEnum(enumName), enumName.toString() << " is already defined as an enumeration.");
    KADRIX_CHECK_MSG(!isObjectType(enumName), enumName.toString()
                                                  << " is already defined as an object type.");
    KADRIX_DEBUG("Schema:addEnum", "[" << m_name.toString() << "] "
                                       << "Added enumeration " << enumName.toString());
    enumValues.emplace(enumName.getKey(), std::set<double>());
  }

  void Schema::addValue(const LabelStr& enumName, double enumValue) {
    KADRIX_CHECK_MSG(isEnum(enumName), enumName.toString() << " is undefined.");
    KADRIX_DEBUG("Schema:addValue", "[" << m_name.toString() << "] "
                                        << "Added "
                                        << (LabelStr::isString(enumValue) ? LabelStr(enumValue).toString()
                                                                          : KADRIX::toString(enumValue))
                                        << " to " << enumName.toString());
    enumValues.find(enumName.getKey())->second.insert(enumValue);
  }

  void Schema::addPrimitive(const LabelStr& primitiveName) {
    KADRIX_CHECK_MSG(!isPrimitive(primitiveName), primitiveName.toString() << " is already defined.");
    KADRIX_DEBUG("Schema:addPrimitive", "[" << m_name.toString() << "] "
                                            << "Adding primitive type " << primitiveName.toString());
    primitives.insert(primitiveName.getKey());
  }

  void Schema::write(std::ostream& os) const {
    os << "SCHEMA RULES:" << std::endl;
    for (std::map<double, std::set<double>>::const_iterator it = objectPredicates.begin();
         it != objectPredicates.end(); ++it) {
      os << LabelStr(it->first).toString() << ":{";
      for (std::set<double>::const_iterator p = it->second.begin(); p != it->second.end(); ++p)
        os << LabelStr(*p).toString() << " ";
      os << "}" << std::endl;
    }
  }

  /* ---------------------------------------------------------------- factories */

  void Schema::registerObjectFactory(const ObjectFactoryId& of) { m_objectTypeMgr->registerFactory(of); }

  ObjectFactoryId Schema::getObjectFactory(const LabelStr& objectType,
                                           const std::vector<const AbstractDomain*>& arguments) {
    return m_objectTypeMgr->getFactory(getId(), objectType, arguments);
  }

  void Schema::registerTokenFactory(const TokenFactoryId& f) { m_tokenTypeMgr->registerFactory(f); }

  TokenFactoryId Schema::getTokenFactory(const LabelStr& type) {
    return m_tokenTypeMgr->getFactory(getId(), type);
  }

  bool Schema::hasTokenFactories() const { return m_tokenTypeMgr->hasFactory(); }

  /* ---------------------------------------------------------------- kinds of names */

  bool Schema::isObjectType(const LabelStr& str) const {
    return objectTypes.find(str.getKey()) != objectTypes.end();
  }

  bool Schema::isPrimitive(const LabelStr& str) const {
    return primitives.find(str.getKey()) != primitives.end();
  }

  bool Schema::isEnum(const LabelStr& str) const { return enumValues.find(str.getKey()) != enumValues.end(); }

  bool Schema::isPredicate(const LabelStr& predicateName) const {
    if (predicates.find(predicateName.getKey()) != predicates.end())
      return true;
    if (predicateName.countElements(getDelimiter()) != 2)
      return false;
    std::string predStr;
    if (makeParentPredicateString(predicateName, predStr))
      return isPredicate(LabelStr(predStr));
    return false;
  }

  bool Schema::isType(const LabelStr& type) const {
    return isPrimitive(type) || isObjectType(type) || isEnum(type) || isPredicate(type);
  }

  /* ---------------------------------------------------------------- the type tree */

  bool Schema::makeParentPredicateString(const LabelStr& predicate, std::string& predStr) const {
    KADRIX_CHECK_MSG(predicate.countElements(getDelimiter()) == 2,
                     "Invalid format for predicate " << predicate.toString());
    LabelStr objectType = predicate.getElement(0, getDelimiter());
    if (isObjectType(objectType) && hasParent(objectType)) {
      predStr = getParent(objectType).toString() + getDelimiter() +
                predicate.getElement(1, getDelimiter()).toString();
      return true;
    }
    return false;
  }

  bool Schema::hasParent(const LabelStr& type) const {
    if (m_hasParentCache.find(type.getKey()) != m_hasParentCache.end())
      return true;
    bool result = false;
    if (isPrimitive(type) || isEnum(type))
      result = false;
    else if (isObjectType(type))
      result = childOfRelation.find(type.getKey()) != childOfRelation.end();
    else {
      std::string predStr;
      if (makeParentPredicateString(type, predStr)) {
        LabelStr parent(predStr);
        result = predicates.find(parent.getKey()) != predicates.end() || hasParent(parent);
      }
    }
    if (result)
      m_hasParentCache.insert(type.getKey());
    return result;
  }

  LabelStr Schema::getParent(const LabelStr& type) const {
    KADRIX_CHECK_MSG(hasParent(type), type.toString() << " does not have a parent.");
    if (isObjectType(type)) {
      std::map<double, LabelStr>::const_iterator it = childOfRelation.find(type.getKey());
      if (it != childOfRelation.end())
        return it->second;
    }
    std::string predStr;
    makeParentPredicateString(type, predStr);
    KADRIX_CHECK_MSG(predStr != std::string(),
                     "Attempted to get a parent predicate for " << type.toString() << " failed.");
    return LabelStr(predStr);
  }

  bool Schema::isA(const LabelStr& descendant, const LabelStr& ancestor) const {
    KADRIX_DEBUG("Schema:isA", "Checking if " << descendant.toString() << " is a " << ancestor.toString());
    if (descendant == ancestor)
      return true;
    KADRIX_CHECK_MSG(isType(descendant), descendant.toString() << " is not defined.");
    KADRIX_CHECK_MSG(isType(ancestor), "Ancestor of '" << descendant.toString() << "' is '"
                                                       << ancestor.toString() << "' which is not defined.");
    if (hasParent(descendant))
      return isA(getParent(descendant), ancestor);
    // Any primitive converts to any other.
    return isPrimitive(descendant) && isPrimitive(ancestor);
  }

  const std::set<double>& Schema::getAllObjectTypes() const { return objectTypes; }

  const std::vector<LabelStr>& Schema::getAllObjectTypes(const LabelStr& objectType) {
    std::map<double, std::vector<LabelStr>>::const_iterator it = allObjectTypes.find(objectType.getKey());
    if (it != allObjectTypes.end())
      return it->second;
    std::vector<LabelStr> result(1, objectType);
    while (hasParent(result.back()))
      result.push_back(getParent(result.back()));
    return allObjectTypes.emplace(objectType.getKey(), result).first->second;
  }

  void Schema::forgetAncestorLists(const LabelStr& objectType) {
    for (std::map<double, std::vector<LabelStr>>::iterator it = allObjectTypes.begin();
         it != allObjectTypes.end();) {
      bool holds = false;
      for (const LabelStr& type : it->second)
        holds = holds || type == objectType;
      if (holds)
        it = allObjectTypes.erase(it);
      else
        ++it;
    }
  }

  LabelStr Schema::getObjectType(const LabelStr& predicate) const {
    KADRIX_CHECK_MSG(isPredicate(predicate),
                     "Predicate " << predicate.toString()
                                  << " is not defined, but we expect all predicates to be defined. "
                                     "See 'isPredicate'");
    return predicate.getElement(0, getDelimiter());
  }

  bool Schema::canBeAssigned(const LabelStr& objectType, const LabelStr& predicate) const {
    KADRIX_CHECK_MSG(isObjectType(objectType), objectType.toString() << " is not defined as an ObjectType");
    KADRIX_CHECK_MSG(isPredicate(predicate), predicate.toString() << " is not defined as a Predicate");
    return isA(objectType, getObjectType(predicate));
  }

  /* ---------------------------------------------------------------- members */

  const Schema::NameTypeList* Schema::ownMembers(const LabelStr& type) const {
    std::map<double, NameTypeList>::const_iterator it = membershipRelation.find(type.getKey());
    return it == membershipRelation.end() ? 0 : &it->second;
  }

  const Schema::NameTypeList& Schema::getMembers(const LabelStr& objectType) const {
    std::map<double, NameTypeList>::const_iterator it = membershipRelation.find(objectType.getKey());
    KADRIX_CHECK_MSG(it != membershipRelation.end(),
                     "Unable to find members for object type:" << objectType.toString());
    return it->second;
  }

  bool Schema::hasMember(const LabelStr& parentType, const LabelStr& memberName) const {
    KADRIX_CHECK_MSG(isType(parentType), parentType.toString() << " is undefined.");
    const NameTypeList* own = ownMembers(parentType);
    if (own == 0)
      return hasMember(getParent(parentType), memberName);
    for (const NameTypePair& member : *own)
      if (member.second == memberName)
        return true;
    if (hasParent(parentType))
      return hasMember(getParent(parentType), memberName);
    return isPredicate(parentType) &&
           getBuiltInVariableNames().find(memberName) != getBuiltInVariableNames().end();
  }

  bool Schema::canContain(const LabelStr& parentType, const LabelStr& memberType,
                          const LabelStr& memberName) const {
    KADRIX_CHECK_MSG(isType(parentType), parentType.toString() << " is not defined.");
    const NameTypeList* own = ownMembers(parentType);
    if (own == 0)
      return canContain(getParent(parentType), memberType, memberName);
    for (const NameTypePair& member : *own)
      if (isA(memberType, member.first) && member.second == memberName)
        return true;
    if (hasParent(parentType) && canContain(getParent(parentType), memberType, memberName))
      return true;
    if (isObjectType(memberType) && hasParent(memberType) &&
        canContain(parentType, getParent(memberType), memberName))
      return true;
    return false;
  }

  LabelStr Schema::getMemberType(const LabelStr& parentType, const LabelStr& memberName) const {
    KADRIX_CHECK_MSG(hasMember(parentType, memberName),
                     memberName.toString() << " is not a member of " << parentType.toString());
    const NameTypeList* own = ownMembers(parentType);
    if (own == 0 && hasParent(parentType))
      return getMemberType(getParent(parentType), memberName);
    if (own != 0)
      for (const NameTypePair& member : *own)
        if (member.second == memberName)
          return member.first;
    return getMemberType(getParent(parentType), memberName);
  }

  unsigned int Schema::getIndexFromName(const LabelStr& parentType, const LabelStr& memberName) const {
    KADRIX_CHECK_MSG(hasMember(parentType, memberName),
                     memberName.toString() << " is not a member of " << parentType.toString());
    const NameTypeList* own = ownMembers(parentType);
    if (own == 0 && hasParent(parentType))
      return getIndexFromName(getParent(parentType), memberName);
    if (own != 0)
      for (unsigned int i = 0; i < own->size(); ++i)
        if ((*own)[i].second == memberName)
          return i;
    return getIndexFromName(getParent(parentType), memberName);
  }

  LabelStr Schema::getNameFromIndex(const LabelStr& parentType, unsigned int index) const {
    const NameTypeList* own = ownMembers(parentType);
    if (own == 0 && hasParent(parentType))
      return getNameFromIndex(getParent(parentType), index);
    if (own != 0 && index < own->size())
      return (*own)[index].second;
    KADRIX_CHECK_MSG(hasParent(parentType), parentType.toString() << " has no member with index " << index);
    return getNameFromIndex(getParent(parentType), index);
  }

  unsigned int Schema::getParameterCount(const LabelStr& predicate) const {
    KADRIX_CHECK_MSG(isPredicate(predicate), predicate.toString() << " is not defined as a Predicate");
    std::map<double, NameTypeList>::const_iterator membershipRelation_it =
        membershipRelation.find(predicate.getKey());
    KADRIX_CHECK_MSG(membershipRelation_it != membershipRelation.end(),
                     predicate.toString() << " not found in the membership relation");
    return static_cast<unsigned int>(membershipRelation_it->second.size());
  }

  LabelStr Schema::getParameterType(const LabelStr& predicate, unsigned int paramIndex) const {
    KADRIX_CHECK_MSG(isPredicate(predicate), predicate.toString() << " is not defined as a Predicate");
    KADRIX_CHECK_MSG(paramIndex < getParameterCount(predicate), paramIndex << " is not a valid index");
    return membershipRelation.find(predicate.getKey())->second[paramIndex].first;
  }

  /* ---------------------------------------------------------------- enumerations */

  const std::set<double>& Schema::getEnumValues(const LabelStr& enumName) const {
    KADRIX_CHECK_MSG(isEnum(enumName), enumName.toString() << " is not a defined enumeration.");
    return enumValues.find(enumName.getKey())->second;
  }

  bool Schema::isEnumValue(const LabelStr& enumName, double value) const {
    KADRIX_CHECK_MSG(isEnum(enumName), enumName.toString() << " is not defined.");
    const std::set<double>& values = enumValues.find(enumName.getKey())->second;
    return values.find(value) != values.end();
  }

  LabelStr Schema::getEnumFromMember(const LabelStr& member) const {
    for (std::map<double, std::set<double>>::const_iterator it = enumValues.begin(); it != enumValues.end();
         ++it)
      if (it->second.find(member.getKey()) != it->second.end())
        return LabelStr(it->first);
    KADRIX_FAIL(member.toString() << " is not a member of any enumeration.");
    return LabelStr("error");
  }

  void Schema::getEnumerations(std::list<LabelStr>& results) const {
    for (std::map<double, std::set<double>>::const_iterator it = enumValues.begin(); it != enumValues.end();
         ++it)
      results.push_back(LabelStr(it->first));
  }

  /* ---------------------------------------------------------------- predicates of types */

  bool Schema::hasPredicates(const LabelStr& objectType) {
    KADRIX_CHECK_MSG(isType(objectType), objectType.toString() << " is undefined");
    if (typesWithNoPredicates.find(objectType.getKey()) != typesWithNoPredicates.end())
      return false;
    for (std::set<double>::const_iterator it = predicates.begin(); it != predicates.end(); ++it) {
      LabelStr owner = LabelStr(*it).getElement(0, getDelimiter());
      if (owner == objectType || isA(objectType, owner))
        return true;
    }
    typesWithNoPredicates.insert(objectType.getKey());
    return false;
  }

  void Schema::getPredicates(const LabelStr& objectType, std::set<LabelStr>& results) const {
    KADRIX_CHECK_MSG(isType(objectType), objectType.toString() << " is undefined");
    for (std::set<double>::const_iterator it = predicates.begin(); it != predicates.end(); ++it) {
      LabelStr predicate(*it);
      LabelStr owner = predicate.getElement(0, getDelimiter());
      if (owner == objectType || isA(objectType, owner))
        results.insert(predicate.getElement(1, getDelimiter()));
    }
  }

  void Schema::getPredicates(std::set<LabelStr>& results) const {
    for (std::set<double>::const_iterator it = predicates.begin(); it != predicates.end(); ++it)
      results.insert(LabelStr(*it));
  }

  bool Schema::canCompare(const AbstractDomain& domx, const AbstractDomain& domy) const {
    bool xIsObject = isObjectType(domx.getTypeName());
    bool yIsObject = isObjectType(domy.getTypeName());
    if (xIsObject || yIsObject)
      return xIsObject && yIsObject;
    return DomainComparator::canCompare(domx, domy);
  }

} // namespace KADRIX
