#ifndef KADRIX_OBJECT_DOMAIN_HH
#define KADRIX_OBJECT_DOMAIN_HH

#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"

#include <list>
#include <string>
#include <vector>

namespace KADRIX {

  class Object;
  typedef Id<Object> ObjectId;

  /**
   * The enumerated, non-numeric domain whose values are objects, held as the numeric form of their
   * handles (their addresses). Values are therefore ordered by address, not by creation.
   * The type name is the object type the domain ranges over; "Objects" by default.
   */
  class ObjectDomain : public EnumeratedDomain {
  public:
    /** An empty, open domain. */
    ObjectDomain(const char* typeName = getDefaultTypeName().c_str());

    /**
     * The domain of the given objects (a std::list<ObjectId>), closed. Every handle must be
     * valid; an object listed twice is held once.
     */
    template <class O>
    explicit ObjectDomain(const std::list<Id<O>>& initialValues,
                          const char* typeName = getDefaultTypeName().c_str())
      : EnumeratedDomain(false, typeName) {
      KADRIX_CHECK(!isNumeric());
      std::vector<double> values;
      values.reserve(initialValues.size());
      for (typename std::list<Id<O>>::const_iterator it = initialValues.begin(); it != initialValues.end();
           ++it) {
        const Id<O>& object = *it;
        KADRIX_CHECK(object.isValid());
        if (object.isValid())
          values.push_back(static_cast<double>(object));
      }
      insertAll(values);
      close();
    }

    /** The domain of exactly one object (an ObjectId). */
    template <class O>
    explicit ObjectDomain(const Id<O>& initialValue, const char* typeName = getDefaultTypeName().c_str())
      : EnumeratedDomain(static_cast<double>(initialValue), false, typeName) {
      KADRIX_CHECK(!isNumeric());
    }

    /** Conversion of another enumerated domain whose values are objects (or that is empty). */
    explicit ObjectDomain(const AbstractDomain& org);

    ObjectDomain(const ObjectDomain& org);

    virtual ~ObjectDomain();

    bool isEntity() const override;

    /**
     * Reads the text as an entity key. True, with the value in dblValue, when the entity with
     * that key is an object of this domain; otherwise false and dblValue is untouched.
     */
    bool convertToMemberValue(const std::string& strValue, double& dblValue) const override;

    ObjectDomain* copy() const override;

    /**
     * Merges the values in one pass (they are sorted first unless they are): as many
     * insert() calls would, but reporting RELAXED once, when any value was new.
     */
    void insertAll(const std::vector<double>& values) override;

    std::string toString() const override;

    /** The text of the object behind a member value. */
    std::string toString(double value) const override;

    static const LabelStr& getDefaultTypeName();

    /** One handle per value, in ascending order of the values. */
    template <class O = Object> std::list<Id<O>> makeObjectList() const {
      std::list<double> values;
      getValues(values);
      return makeObjectList<O>(values);
    }

    /** One handle per given value, in the order given. */
    template <class O = Object> static std::list<Id<O>> makeObjectList(const std::list<double>& inputs) {
      std::list<Id<O>> result;
      for (std::list<double>::const_iterator it = inputs.begin(); it != inputs.end(); ++it)
        result.push_back(Id<O>(*it));
      return result;
    }

  private:
    ObjectDomain& operator=(const ObjectDomain&) = delete;
  };

  /** The domain as a domain of objects; fails "Expected a domain of objects" for any other. */
  ObjectDomain& asObjectDomain(AbstractDomain& domain);

  template <> struct IsPlainDomain<ObjectDomain> : std::true_type {};

} // namespace KADRIX

#endif
