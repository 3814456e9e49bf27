#include "ConstraintEngine/base/PSVarValue.hh"

#include "Utils/base/Debug.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/IdTable.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Utils.hh"

#include <climits>
#include <cstdint>
#include <sstream>

namespace KADRIX {

  PSVarValue::PSVarValue(double value, PSVarType type) : m_val(value), m_type(type) {
    KADRIX_CHECK_MSG(type >= INTEGER && type <= OBJECT,
                     "Unknown value type " << static_cast<int>(type) << ".");
  }

  PSEntity* PSVarValue::asObject() const {
    KADRIX_CHECK_MSG(m_type == OBJECT, "The value " << m_val << " is not an object.");
    // Object values carry the address of an entity, whose Entity part starts the object.
    const std::uintptr_t address = (m_val > 0 ? static_cast<std::uintptr_t>(m_val) : 0);
    const bool alive = address != 0 && IdTable::getKey(address) != 0;
    KADRIX_CHECK_MSG(alive, "No entity lives at the address of the object value " << m_val << ".");
    if (m_type != OBJECT || !alive)
      return 0;
    return static_cast<PSEntity*>(reinterpret_cast<Entity*>(address));
  }

  int PSVarValue::asInt() const {
    KADRIX_CHECK_MSG(m_type == INTEGER, "The value " << m_val << " is not an integer.");
    KADRIX_CHECK_MSG(m_val >= static_cast<double>(INT_MIN) && m_val <= static_cast<double>(INT_MAX),
                     "The value " << m_val << " does not fit in an int.");
    if (!(m_val >= static_cast<double>(INT_MIN) && m_val <= static_cast<double>(INT_MAX)))
      return 0;
    return static_cast<int>(m_val);
  }

  double PSVarValue::asDouble() const { return m_val; }

  bool PSVarValue::asBoolean() const {
    KADRIX_CHECK_MSG(m_type == BOOLEAN, "The value " << m_val << " is not a boolean.");
    return m_val != 0;
  }

  std::string PSVarValue::asString() const {
    KADRIX_CHECK_MSG(m_type == STRING, "The value " << m_val << " is not a string.");
    KADRIX_CHECK_MSG(LabelStr::isString(m_val), "The value " << m_val << " is not a label key.");
    if (m_type != STRING || !LabelStr::isString(m_val))
      return std::string();
    return LabelStr(m_val).toString();
  }

  std::string PSVarValue::toString() const {
    switch (m_type) {
      case INTEGER: {
        std::ostringstream os;
        os << asInt();
        return os.str();
      }
      case DOUBLE:
        return KADRIX::toString(m_val);
      case BOOLEAN:
        return asBoolean() ? "true" : "false";
      case STRING:
        return asString();
      case OBJECT: {
        PSEntity* entity = asObject();
        return entity == 0 ? std::string() : entity->toString();
      }
    }
    return KADRIX::toString(m_val);
  }

} // namespace KADRIX
