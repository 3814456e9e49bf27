#include "PlanDatabase/base/ObjectFactory.hh"

#include "PlanDatabase/base/Schema.hh"
#include "Utils/base/Debug.hh"

#include <set>
#include <string>

namespace KADRIX {

  ObjectFactory::ObjectFactory(const LabelStr& signature) : m_id(this), m_signature(signature) {
    KADRIX_DEBUG("ObjectFactory:ObjectFactory", "Creating factory " << signature.toString());
    unsigned int count = m_signature.countElements(TYPE_DELIMITER);
    for (unsigned int i = 0; i < count; i++)
      m_signatureTypes.push_back(m_signature.getElement(i, TYPE_DELIMITER));
  }

  ObjectFactory::~ObjectFactory() noexcept(false) { m_id.remove(); }

  Id<Object> ObjectFactory::makeNewObject(const Id<PlanDatabase>&, const LabelStr&, const LabelStr&,
                                          const std::vector<const AbstractDomain*>&) const {
    return Id<Object>::noId();
  }

  void ObjectFactory::evalConstructorBody(Id<Object>&, const std::vector<const AbstractDomain*>&) const {}

  ObjectTypeMgr::ObjectTypeMgr() : m_id(this) {}

  ObjectTypeMgr::~ObjectTypeMgr() noexcept(false) {
    purgeAll();
    m_id.remove();
  }

  LabelStr ObjectTypeMgr::makeFactoryName(const LabelStr& objectType,
                                          const std::vector<const AbstractDomain*>& arguments) {
    std::string name = objectType.toString();
    KADRIX_DEBUG("ObjectFactory:makeFactoryName", "Making factory name " << name);
    for (size_t i = 0; i < arguments.size(); ++i) {
      const AbstractDomain* argument = arguments[i];
      KADRIX_CHECK_MSG(argument != nullptr, "Argument " << i + 1 << " for an object of type "
                                                        << objectType.toString() << " has no domain.");
      name += std::string(TYPE_DELIMITER) + argument->getTypeName().toString();
    }
    return LabelStr(name);
  }

  void ObjectTypeMgr::registerFactory(const ObjectFactoryId& factory) {
    KADRIX_CHECK(factory.isValid());
    KADRIX_DEBUG("ObjectFactory:registerFactory",
                 "Registering factory with signature " << factory->getSignature().toString());
    const double key = factory->getSignature().getKey();
    std::map<double, ObjectFactoryId>::iterator pos = m_factories.find(key);
    if (pos != m_factories.end() && pos->second == factory)
      return; // already registered: nothing to replace, nothing to delete
    // Names answered by fallback may deserve a more specific factory from now on.
    forgetFallbacks();
    pos = m_factories.find(key);
    if (pos != m_factories.end()) {
      ObjectFactoryId old = pos->second;
      m_factories.erase(pos);
      if (static_cast<ObjectFactory*>(old) != 0)
        delete static_cast<ObjectFactory*>(old);
      KADRIX_DEBUG("ObjectFactory:registerFactory", "Over-riding registeration for factory with signature "
                                                        << factory->getSignature().toString());
    }
    KADRIX_CHECK(m_factories.find(factory->getSignature().getKey()) == m_factories.end());
    m_factories.emplace(key, factory);
  }

  void ObjectTypeMgr::forgetFallbacks() {
    for (std::map<double, ObjectFactoryId>::iterator it = m_factories.begin(); it != m_factories.end();) {
      if (it->first != it->second->getSignature().getKey())
        it = m_factories.erase(it);
      else
        ++it;
    }
  }

  ObjectFactoryId ObjectTypeMgr::getFactory(const Id<Schema>& schema, const LabelStr& objectType,
                                            const std::vector<const AbstractDomain*>& arguments) {
    const LabelStr factoryName = makeFactoryName(objectType, arguments);
    KADRIX_DEBUG("ObjectFactory:getFactory", "looking for factory " << factoryName.toString());

    std::map<double, ObjectFactoryId>::const_iterator exact = m_factories.find(factoryName.getKey());
    if (exact != m_factories.end())
      return exact->second;

    for (std::map<double, ObjectFactoryId>::const_iterator it = m_factories.begin(); it != m_factories.end();
         ++it) {
      const ObjectFactoryId& factory = it->second;
      const std::vector<LabelStr>& types = factory->getSignatureTypes();
      if (!schema->isA(objectType, types[0]))
        continue;
      if (types.size() != arguments.size() + 1)
        continue;
      bool accepts = true;
      for (unsigned int j = 1; j <= arguments.size() && accepts; j++) {
        const LabelStr& argType = arguments[j - 1]->getTypeName();
        if (schema->isType(argType) && schema->isType(types[j]))
          accepts = schema->isA(argType, types[j]);
        else
          accepts = argType == types[j];
      }
      if (accepts) {
        m_factories.emplace(factoryName.getKey(), factory);
        return factory;
      }
    }

    KADRIX_FAIL("Factory '" << factoryName.toString() << "' is not registered.");
    return ObjectFactoryId::noId();
  }

  void ObjectTypeMgr::purgeAll() {
    KADRIX_DEBUG("ObjectFactory:purgeAll", "Purging all");
    std::set<double> deleted;
    for (std::map<double, ObjectFactoryId>::iterator it = m_factories.begin(); it != m_factories.end();
         ++it) {
      const double address = static_cast<double>(it->second);
      if (deleted.find(address) != deleted.end())
        continue;
      deleted.insert(address);
      if (static_cast<ObjectFactory*>(it->second) != 0)
        delete static_cast<ObjectFactory*>(it->second);
    }
    m_factories.clear();
  }

} // namespace KADRIX
