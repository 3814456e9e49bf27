#ifndef KADRIX_SCHEMA_HH
#define KADRIX_SCHEMA_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/DomainComparator.hh"
#include "PlanDatabase/base/PSPlanDatabase.hh"
#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"

#include <iosfwd>
#include <list>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace KADRIX {

  class Schema;
  typedef Id<Schema> SchemaId;

  class ObjectTypeMgr;
  typedef Id<ObjectTypeMgr> ObjectTypeMgrId;
  class ObjectFactory;
  typedef Id<ObjectFactory> ObjectFactoryId;
  class TokenTypeMgr;
  typedef Id<TokenTypeMgr> TokenTypeMgrId;
  class TokenFactory;
  typedef Id<TokenFactory> TokenFactoryId;

  /**
   * The domain model of the plan database: object types in one single-inheritance tree under
   * "Object", predicates "<objectType>.<predicate>" inherited along that tree, the ordered typed
   * members of types and predicates, enumerations and primitive types. The schema also owns the
   * object-factory and token-factory registries, and decides which domains may be compared.
   *
   * Every container is keyed by label keys and iterates in ascending key order.
   */
  class Schema : public DomainComparator, public PSSchema {
  public:
    typedef std::pair<LabelStr, LabelStr> NameTypePair;
    typedef std::vector<NameTypePair> NameTypeList;

    Schema(const LabelStr& name, const Id<CESchema>& ces);
    /**
     * Deletes the registries and their factories. Non-throwing: the engine's comparator base
     * destructor is, and nothing here fails while the schema's own handle is intact.
     */
    virtual ~Schema() noexcept;

    /** Empties the model and re-adds the root and the primitives. Registries are kept. */
    void reset();

    // Declaring the model.
    void addObjectType(const LabelStr& objectType);
    void addObjectType(const LabelStr& objectType, const LabelStr& parent);
    void declareObjectType(const LabelStr& objectType);
    void addPredicate(const LabelStr& predicate);
    unsigned int addMember(const LabelStr& parentType, const LabelStr& memberType,
                           const LabelStr& memberName);
    void addEnum(const LabelStr& enumName);
    void addValue(const LabelStr& enumName, double enumValue);
    void addPrimitive(const LabelStr& primitiveName);

    void write(std::ostream& os) const;

    const SchemaId& getId() const { return m_id; }
    const LabelStr& getName() const { return m_name; }
    const Id<CESchema>& getCESchema() const { return m_ceSchema; }

    // Factories.
    void registerObjectFactory(const ObjectFactoryId& of);
    ObjectFactoryId getObjectFactory(const LabelStr& objectType,
                                     const std::vector<const AbstractDomain*>& arguments);
    void registerTokenFactory(const TokenFactoryId& f);
    TokenFactoryId getTokenFactory(const LabelStr& type);
    bool hasTokenFactories() const;

    // Constants shared by every schema.
    static const char* getDelimiter();
    static const LabelStr& rootObject();
    static LabelStr makeQualifiedName(const LabelStr& objectType, const LabelStr& unqualifiedPredicateName);
    static const std::set<LabelStr>& getBuiltInVariableNames();

    // Kinds of names.
    bool isObjectType(const LabelStr& str) const;
    bool isPrimitive(const LabelStr& str) const;
    bool isEnum(const LabelStr& str) const;
    bool isPredicate(const LabelStr& predicateName) const;
    bool isType(const LabelStr& type) const;

    // The type tree.
    bool hasParent(const LabelStr& type) const;
    LabelStr getParent(const LabelStr& type) const;
    bool makeParentPredicateString(const LabelStr& predicate, std::string& predStr) const;
    bool isA(const LabelStr& descendant, const LabelStr& ancestor) const;
    const std::set<double>& getAllObjectTypes() const;
    const std::vector<LabelStr>& getAllObjectTypes(const LabelStr& objectType);
    LabelStr getObjectType(const LabelStr& predicate) const;
    bool canBeAssigned(const LabelStr& objectType, const LabelStr& predicate) const;

    // Members.
    const NameTypeList& getMembers(const LabelStr& objectType) const;
    bool hasMember(const LabelStr& parentType, const LabelStr& memberName) const;
    bool canContain(const LabelStr& parentType, const LabelStr& memberType, const LabelStr& memberName) const;
    LabelStr getMemberType(const LabelStr& parentType, const LabelStr& memberName) const;
    unsigned int getIndexFromName(const LabelStr& parentType, const LabelStr& memberName) const;
    LabelStr getNameFromIndex(const LabelStr& parentType, unsigned int index) const;
    unsigned int getParameterCount(const LabelStr& predicate) const;
    LabelStr getParameterType(const LabelStr& predicate, unsigned int paramIndex) const;

    // Enumerations.
    const std::set<double>& getEnumValues(const LabelStr& enumName) const;
    bool isEnumValue(const LabelStr& enumName, double value) const;
    LabelStr getEnumFromMember(const LabelStr& member) const;
    void getEnumerations(std::list<LabelStr>& results) const;

    // Predicates of object types.
    bool hasPredicates(const LabelStr& objectType);
    void getPredicates(const LabelStr& objectType, std::set<LabelStr>& results) const;
    void getPredicates(std::set<LabelStr>& results) const;

    /** Object domains compare only with object domains. */
    virtual bool canCompare(const AbstractDomain& domx, const AbstractDomain& domy) const;

  private:
    Schema(const Schema&) = delete;
    Schema& operator=(const Schema&) = delete;

    /** The own member list of a type or predicate, or 0 when it has none. */
    const NameTypeList* ownMembers(const LabelStr& type) const;
    /** Forgets every cached ancestor list in which the type appears. */
    void forgetAncestorLists(const LabelStr& objectType);

    SchemaId m_id;
    const Id<CESchema> m_ceSchema;
    const ObjectTypeMgrId m_objectTypeMgr;
    const TokenTypeMgrId m_tokenTypeMgr;
    const LabelStr m_name;

    std::map<double, std::set<double>> enumValues;
    std::set<double> objectTypes;
    std::set<double> predicates;
    std::set<double> primitives;
    std::map<double, NameTypeList> membershipRelation;
    std::map<double, LabelStr> childOfRelation;
    std::map<double, std::set<double>> objectPredicates;
    std::set<double> typesWithNoPredicates;
    std::map<double, std::vector<LabelStr>> allObjectTypes;
    /** Keys of names found to have a parent in this schema. */
    mutable std::set<double> m_hasParentCache;
  };

} // namespace KADRIX

#endif
