#include "PlanDatabase/base/ObjectDomain.hh"

#include "Utils/base/Debug.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/IdTable.hh"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <climits>
#include <cstdint>

namespace KADRIX {

  namespace {
    // An object's entity part lies at the object's own address (Entity is its first base), so
    // a domain value, the object's address, is also the address of its entity.
    Id<Entity> entityOf(double value) { return Id<Entity>(value); }

    /** Whether the value is the number of an address registered as a handle. */
    bool isRegisteredAddress(double value) {
      if (!(value > 0) || value >= 18446744073709551616.0 || value != std::floor(value))
        return false;
      return IdTable::getKey(static_cast<std::uintptr_t>(value)) != 0;
    }

    /**
     * Reads an entity key as atoi would (leading blanks, an optional sign, the digits up to the
     * first other character; no digits read as 0), but refuses a number out of the key range.
     */
    bool parseKey(const std::string& text, int& key) {
      std::string::size_type i = 0;
      while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        i++;
      bool negative = false;
      if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        i++;
      }
      long long magnitude = 0;
      for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); i++) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
          return false;
      }
      long long number = negative ? -magnitude : magnitude;
      if (number > INT_MAX || number < INT_MIN)
        return false;
      key = static_cast<int>(number);
      return true;
    }
  }

  const LabelStr& ObjectDomain::getDefaultTypeName() {
    static const LabelStr sl_typeName("Objects");
    return sl_typeName;
  }

  ObjectDomain::ObjectDomain(const char* typeName) : EnumeratedDomain(false, typeName) {
    KADRIX_CHECK(!isNumeric());
  }

  ObjectDomain::ObjectDomain(const AbstractDomain& org) : EnumeratedDomain(org) {
    KADRIX_CHECK_TEXT(org.isEmpty() || isRegisteredAddress(org.getLowerBound()),
                      "org.isEmpty() || ObjectId(org.getLowerBound()).isValid()",
                      "Attempted to construct an object domain with values of non-object type "
                          << org.getTypeName().toString());
  }

  ObjectDomain::ObjectDomain(const ObjectDomain& org) : EnumeratedDomain(org) {}

  ObjectDomain::~ObjectDomain() {}

  bool ObjectDomain::isEntity() const { return true; }

  bool ObjectDomain::convertToMemberValue(const std::string& strValue, double& dblValue) const {
    int key = 0;
    if (!parseKey(strValue, key))
      return false;
    Id<Entity> entity = Entity::getEntity(key);
    if (entity.isNoId())
      return false;
    const double value = static_cast<double>(entity);
    if (!isMember(value))
      return false;
    dblValue = value;
    return true;
  }

  void ObjectDomain::insertAll(const std::vector<double>& values) {
    if (values.empty())
      return;
    KADRIX_CHECK_MSG(isOpen(), "Cannot insert " << toString(values.front()) << " into the closed domain "
                                                << toString() << ".");
    for (double value : values)
      KADRIX_CHECK_MSG(!std::isnan(value), "Cannot insert NaN into " << toString() << ".");
    std::vector<double> sorted;
    const std::vector<double>* added = &values;
    if (!std::is_sorted(values.begin(), values.end())) {
      sorted = values;
      std::sort(sorted.begin(), sorted.end());
      added = &sorted;
    }
    // Values pairwise apart, into an empty domain (a new object variable), are
    // taken as they are.
    bool distinct = m_values.empty();
    for (std::size_t i = 1; distinct && i < added->size(); ++i)
      distinct = !compareEqual((*added)[i - 1], (*added)[i]);
    if (distinct) {
      m_values = *added;
      notifyChange(DomainListener::RELAXED);
      return;
    }
    // A value is new unless it equals the greatest value kept below it or the
    // least member not below it, as insert() would find.
    std::vector<double> merged;
    merged.reserve(m_values.size() + added->size());
    std::size_t next = 0;
    bool grew = false;
    for (double value : *added) {
      while (next < m_values.size() && m_values[next] < value)
        merged.push_back(m_values[next++]);
      if ((!merged.empty() && compareEqual(merged.back(), value)) ||
          (next < m_values.size() && compareEqual(m_values[next], value)))
        continue;
      merged.push_back(value);
      grew = true;
    }
    if (!grew)
      return;
    merged.insert(merged.end(), m_values.begin() + static_cast<std::ptrdiff_t>(next), m_values.end());
    m_values.swap(merged);
    notifyChange(DomainListener::RELAXED);
  }

  ObjectDomain* ObjectDomain::copy() const {
    ObjectDomain* ptr = new ObjectDomain(*this);
    KADRIX_CHECK(ptr != 0);
    return ptr;
  }

  std::string ObjectDomain::toString() const { return "OBJECT-" + EnumeratedDomain::toString(); }

  std::string ObjectDomain::toString(double value) const {
    KADRIX_CHECK_MSG(isMember(value), "Caught an invalid attempt to display a value not in this domain");
    if (Entity::isPurging())
      return "Object data unavailable while purging (might no longer exist)";
    return entityOf(value)->toString();
  }

  ObjectDomain& asObjectDomain(AbstractDomain& domain) {
    ObjectDomain* objects = dynamic_cast<ObjectDomain*>(&domain);
    KADRIX_CHECK_MSG(objects != 0, "Expected a domain of objects, not " << domain.toString());
    return *objects;
  }

} // namespace KADRIX
