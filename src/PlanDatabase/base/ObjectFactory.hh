#ifndef KADRIX_OBJECT_FACTORY_HH
#define KADRIX_OBJECT_FACTORY_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"

#include <map>
#include <vector>

namespace KADRIX {

  class PlanDatabase;
  class Object;
  class Schema;
  class ObjectFactory;
  class ObjectTypeMgr;
  typedef Id<ObjectFactory> ObjectFactoryId;
  typedef Id<ObjectTypeMgr> ObjectTypeMgrId;

  /** Separates the parts of a factory signature and of a requested factory name. */
  constexpr const char* TYPE_DELIMITER = ":";

  /**
   * Builds the objects of one object type through one constructor signature: the type name
   * followed by the type name of each constructor argument, joined by ":" (for example
   * "Rover:int:float"; a constructor without arguments has the bare type name).
   * Model code subclasses it and registers instances with the schema, which owns them from then on.
   */
  class ObjectFactory {
  public:
    ObjectFactory(const LabelStr& signature);

    /** Builds the object of type objectType named objectName in planDb from the argument domains. */
    virtual Id<Object> createInstance(const Id<PlanDatabase>& planDb, const LabelStr& objectType,
                                      const LabelStr& objectName,
                                      const std::vector<const AbstractDomain*>& arguments) const = 0;

    /** Extension point for model code: builds the bare object. Answers the empty handle. */
    virtual Id<Object> makeNewObject(const Id<PlanDatabase>& planDb, const LabelStr& objectType,
                                     const LabelStr& objectName,
                                     const std::vector<const AbstractDomain*>& arguments) const;

    /** Extension point for model code: runs the constructor body on a bare object. */
    virtual void evalConstructorBody(Id<Object>& instance,
                                     const std::vector<const AbstractDomain*>& arguments) const;

    virtual ~ObjectFactory() noexcept(false);

    const ObjectFactoryId& getId() const { return m_id; }
    const LabelStr& getSignature() const { return m_signature; }
    const std::vector<LabelStr>& getSignatureTypes() const { return m_signatureTypes; }

  protected:
    ObjectFactoryId m_id;
    LabelStr m_signature;
    std::vector<LabelStr> m_signatureTypes;

  private:
    ObjectFactory(const ObjectFactory&) = delete;
    ObjectFactory& operator=(const ObjectFactory&) = delete;
  };

  /**
   * The registry of object factories, owned by the schema. It owns every factory registered with
   * it. A request for a type and argument types without a factory of exactly that signature is
   * served by a factory whose type is an ancestor and whose argument types accept the given
   * ones; that answer is remembered under the requested name until the next registration.
   */
  class ObjectTypeMgr {
  public:
    ObjectTypeMgr();
    virtual ~ObjectTypeMgr() noexcept(false);

    const ObjectTypeMgrId& getId() const { return m_id; }

    /** The requested factory name: the object type, then ":" and each argument's type name. */
    static LabelStr makeFactoryName(const LabelStr& objectType,
                                    const std::vector<const AbstractDomain*>& arguments);

    /** Registers the factory under its signature, deleting a different one registered there. */
    void registerFactory(const ObjectFactoryId& factory);

    /** The factory that fits; reports a failure and answers the empty handle when none does. */
    ObjectFactoryId getFactory(const Id<Schema>& schema, const LabelStr& objectType,
                               const std::vector<const AbstractDomain*>& arguments);

    /** Deletes every registered factory once and empties the registry. */
    void purgeAll();

  private:
    friend class Schema;

    ObjectTypeMgr(const ObjectTypeMgr&) = delete;
    ObjectTypeMgr& operator=(const ObjectTypeMgr&) = delete;

    /** Drops every entry that stands under a requested name rather than a signature. */
    void forgetFallbacks();

    ObjectTypeMgrId m_id;
    std::map<double, ObjectFactoryId> m_factories;
  };

} // namespace KADRIX

#endif
