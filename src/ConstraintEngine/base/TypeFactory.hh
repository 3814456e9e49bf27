#ifndef KADRIX_CONSTRAINTENGINE_TYPEFACTORY_HH
#define KADRIX_CONSTRAINTENGINE_TYPEFACTORY_HH

#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"

#include <string>

namespace KADRIX {

  class AbstractDomain;
  class ConstrainedVariable;
  class ConstraintEngine;
  class Entity;
  class TypeFactory;
  typedef Id<TypeFactory> TypeFactoryId;

  /**
 * Knows one value type of the constraint engine: its base domain, how its
 * values are written as text, and how variables of the type are made.
 */
  class TypeFactory {
  public:
    /** Ends the factory's registration. */
    virtual ~TypeFactory() noexcept(false);

    const Id<TypeFactory>& getId() const { return m_id; }
    const LabelStr& getTypeName() const { return m_typeName; }

    /** The domain a variable of this type starts from. */
    virtual const AbstractDomain& baseDomain() const = 0;

    /** The engine's numeric form of a value of this type written as text. */
    virtual double createValue(const std::string& text) const = 0;

    /**
   * A new variable of this type over the given base domain: an enumerated or an
   * interval variable, following the kind of the domain.
   */
    virtual Id<ConstrainedVariable> createVariable(const Id<ConstraintEngine>& engine,
                                                   const AbstractDomain& baseDomain, bool internal,
                                                   bool canBeSpecified, const LabelStr& name,
                                                   const Id<Entity>& parent, int index) const;

    /** What createVariable() makes by default: a variable of the kind of the base domain. */
    static Id<ConstrainedVariable> createGenericVariable(const Id<ConstraintEngine>& engine,
                                                         const AbstractDomain& baseDomain, bool internal,
                                                         bool canBeSpecified, const LabelStr& name,
                                                         const Id<Entity>& parent, int index);

    /**
   * Reads text as a value of a domain's kind, for the type typeName:
   * - a boolean domain: "true", "false", "TRUE", "FALSE", "1" or "0";
   * - a numeric domain: a decimal number, optionally with an exponent, the whole
   *   text consumed; "inf", "+inf", "-inf", "infinity" (any case) for the
   *   infinite bounds; beyond them a number is clamped; integral when the
   *   domain's minimum difference is 1 or more;
   * - an entity domain: through the domain's own conversion;
   * - any other symbolic domain: the key of the label of the text.
   * The value must be a member of the domain unless the domain is open.
   * Unreadable text and non-members fail a check.
   */
    static double readValue(const AbstractDomain& domain, const LabelStr& typeName, const std::string& text);

  protected:
    explicit TypeFactory(const LabelStr& typeName);

    Id<TypeFactory> m_id;
    const LabelStr m_typeName;

  private:
    TypeFactory(const TypeFactory&) = delete;
    TypeFactory& operator=(const TypeFactory&) = delete;
  };

  /**
 * The factory of an enumeration or object type, over a copy of its base
 * domain (for example SymbolDomain(values, "Color")).
 */
  class EnumeratedTypeFactory : public TypeFactory {
  public:
    EnumeratedTypeFactory(const LabelStr& typeName, const LabelStr& elementTypeName,
                          const AbstractDomain& baseDomain);
    virtual ~EnumeratedTypeFactory() noexcept(false);

    const LabelStr& getElementTypeName() const { return m_elementTypeName; }
    const AbstractDomain& baseDomain() const override;
    double createValue(const std::string& text) const override;

  private:
    const LabelStr m_elementTypeName;
    AbstractDomain* m_baseDomain; // owned copy
  };

  /**
 * The factory of a numeric or boolean interval type, over a copy of its base
 * domain (the built-in "int", "float" and "bool" types).
 */
  class IntervalTypeFactory : public TypeFactory {
  public:
    IntervalTypeFactory(const LabelStr& typeName, const AbstractDomain& baseDomain);
    virtual ~IntervalTypeFactory() noexcept(false);

    const AbstractDomain& baseDomain() const override;
    double createValue(const std::string& text) const override;

  private:
    AbstractDomain* m_baseDomain; // owned copy
  };

} // namespace KADRIX

#endif
