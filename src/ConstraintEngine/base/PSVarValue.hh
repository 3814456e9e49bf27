#ifndef KADRIX_CONSTRAINTENGINE_PSVARVALUE_HH
#define KADRIX_CONSTRAINTENGINE_PSVARVALUE_HH

#include <string>

namespace KADRIX {

  class PSEntity;

  /** The kind of a variable's values, as the public interface sees it. */
  enum PSVarType { INTEGER = 0, DOUBLE = 1, BOOLEAN = 2, STRING = 3, OBJECT = 4 };

  /**
 * One value of a variable: the engine's numeric form (a number, 0 or 1, a
 * label key, or the address of an entity) together with its kind.
 */
  class PSVarValue {
  public:
    PSVarValue(double value, PSVarType type);

    PSVarType getType() const { return m_type; }

    /** The entity the value stands for; the type must be OBJECT and the entity alive. */
    PSEntity* asObject() const;
    /** The integer; the type must be INTEGER. */
    int asInt() const;
    /** The engine's numeric form, for every type (how a value is handed back to the engine). */
    double asDouble() const;
    /** The truth value; the type must be BOOLEAN. */
    bool asBoolean() const;
    /** The text of the label; the type must be STRING. */
    std::string asString() const;

    /** Text of the value in the form of its type. */
    std::string toString() const;

  private:
    double m_val;
    PSVarType m_type;
  };

} // namespace KADRIX

#endif
