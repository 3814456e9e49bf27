#ifndef KADRIX_CONSTRAINTENGINE_CESCHEMA_HH
#define KADRIX_CONSTRAINTENGINE_CESCHEMA_HH

#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/TypeFactory.hh"
#include "Utils/base/Engine.hh"
#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"

#include <map>
#include <string>

namespace KADRIX {

  class AbstractDomain;
  class CESchema;
  typedef Id<CESchema> CESchemaId;

  /**
 * The value types and the constraint names of a constraint engine.
 *
 * Built when constructed with the types "int", "INT", "INT_INTERVAL" (integer
 * intervals), "float", "FLOAT", "REAL_INTERVAL" (real intervals), "bool",
 * "BOOL", "string", "STRING", "symbol" and "SYMBOL"; each base domain carries
 * the name it is registered under. The schema owns every type factory and
 * constraint factory registered with it; registering under a name already
 * taken replaces the old factory and deletes it.
 */
  class CESchema : public EngineComponent {
  public:
    CESchema();
    virtual ~CESchema() noexcept(false);

    const Id<CESchema>& getId() const { return m_id; }

    /** Takes ownership of the factory, under its type name. */
    void registerFactory(const Id<TypeFactory>& factory);

    /** The factory of the type, or the empty handle. */
    Id<TypeFactory> getFactory(const LabelStr& typeName) const;

    bool isType(const LabelStr& typeName) const;

    /** The base domain of the type; an unknown type fails a check. */
    const AbstractDomain& baseDomain(const LabelStr& typeName) const;

    /** The engine's numeric form of a value of the type written as text. */
    double createValue(const LabelStr& typeName, const std::string& text) const;

    /** Takes ownership of the factory, under its constraint name. */
    void registerConstraintFactory(ConstraintFactory* factory);

    /** The factory that makes constraints of that name, or the empty handle. */
    Id<ConstraintFactory> getConstraintFactory(const LabelStr& name) const;

    bool isConstraintType(const LabelStr& name) const;

  private:
    CESchema(const CESchema&) = delete;
    CESchema& operator=(const CESchema&) = delete;

    Id<CESchema> m_id;
    std::map<double, Id<TypeFactory> > m_typeFactories; // by the key of the type name
    std::map<double, ConstraintFactory*> m_constraintFactories; // by the key of the constraint name
  };

} // namespace KADRIX

#endif
