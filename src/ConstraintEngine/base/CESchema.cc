#include "ConstraintEngine/base/CESchema.hh"

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  namespace {

    /** What baseDomain() hands back after a failed check that returned. */
    const AbstractDomain& noDomain() {
      static const SymbolDomain* const sl_domain = new SymbolDomain("");
      return *sl_domain;
    }

  } // namespace

  CESchema::CESchema() : m_id(this) {
    static const char* const sl_intNames[] = {"int", "INT", "INT_INTERVAL"};
    static const char* const sl_floatNames[] = {"float", "FLOAT", "REAL_INTERVAL"};
    static const char* const sl_boolNames[] = {"bool", "BOOL"};
    static const char* const sl_stringNames[] = {"string", "STRING"};
    static const char* const sl_symbolNames[] = {"symbol", "SYMBOL"};
    for (const char* name : sl_intNames)
      registerFactory((new IntervalTypeFactory(name, IntervalIntDomain(name)))->getId());
    for (const char* name : sl_floatNames)
      registerFactory((new IntervalTypeFactory(name, IntervalDomain(name)))->getId());
    for (const char* name : sl_boolNames)
      registerFactory((new IntervalTypeFactory(name, BoolDomain(name)))->getId());
    for (const char* name : sl_stringNames)
      registerFactory((new EnumeratedTypeFactory(name, name, StringDomain(name)))->getId());
    for (const char* name : sl_symbolNames)
      registerFactory((new EnumeratedTypeFactory(name, name, SymbolDomain(name)))->getId());
  }

  CESchema::~CESchema() noexcept(false) {
    std::map<double, ConstraintFactory*> constraintFactories;
    constraintFactories.swap(m_constraintFactories);
    for (std::map<double, ConstraintFactory*>::iterator it = constraintFactories.begin();
         it != constraintFactories.end(); ++it)
      delete it->second;
    std::map<double, Id<TypeFactory> > typeFactories;
    typeFactories.swap(m_typeFactories);
    for (std::map<double, Id<TypeFactory> >::iterator it = typeFactories.begin(); it != typeFactories.end();
         ++it)
      delete static_cast<TypeFactory*>(it->second);
    if (m_id.isValid())
      m_id.remove();
  }

  void CESchema::registerFactory(const Id<TypeFactory>& factory) {
    KADRIX_CHECK_MSG(factory.isValid(), "Cannot register an invalid type factory.");
    if (!factory.isValid())
      return;
    const double key = factory->getTypeName().getKey();
    std::map<double, Id<TypeFactory> >::iterator it = m_typeFactories.find(key);
    if (it == m_typeFactories.end()) {
      m_typeFactories.insert(std::make_pair(key, factory));
      return;
    }
    if (it->second == factory)
      return;
    TypeFactory* old = static_cast<TypeFactory*>(it->second);
    it->second = factory;
    delete old;
  }

  Id<TypeFactory> CESchema::getFactory(const LabelStr& typeName) const {
    std::map<double, Id<TypeFactory> >::const_iterator it = m_typeFactories.find(typeName.getKey());
    return it == m_typeFactories.end() ? Id<TypeFactory>::noId() : it->second;
  }

  bool CESchema::isType(const LabelStr& typeName) const {
    return m_typeFactories.find(typeName.getKey()) != m_typeFactories.end();
  }

  const AbstractDomain& CESchema::baseDomain(const LabelStr& typeName) const {
    std::map<double, Id<TypeFactory> >::const_iterator it = m_typeFactories.find(typeName.getKey());
    const bool known = it != m_typeFactories.end();
    KADRIX_CHECK_MSG(known, "Unknown type name " << typeName.toString());
    return known ? it->second->baseDomain() : noDomain();
  }

  double CESchema::createValue(const LabelStr& typeName, const std::string& text) const {
    std::map<double, Id<TypeFactory> >::const_iterator it = m_typeFactories.find(typeName.getKey());
    const bool known = it != m_typeFactories.end();
    KADRIX_CHECK_MSG(known, "Unknown type name " << typeName.toString());
    return known ? it->second->createValue(text) : 0;
  }

  void CESchema::registerConstraintFactory(ConstraintFactory* factory) {
    KADRIX_CHECK_MSG(factory != 0, "Cannot register a null constraint factory.");
    if (factory == 0)
      return;
    const double key = factory->getName().getKey();
    std::map<double, ConstraintFactory*>::iterator it = m_constraintFactories.find(key);
    if (it == m_constraintFactories.end()) {
      m_constraintFactories.insert(std::make_pair(key, factory));
      return;
    }
    if (it->second == factory)
      return;
    ConstraintFactory* old = it->second;
    it->second = factory;
    delete old;
  }

  Id<ConstraintFactory> CESchema::getConstraintFactory(const LabelStr& name) const {
    std::map<double, ConstraintFactory*>::const_iterator it = m_constraintFactories.find(name.getKey());
    return it == m_constraintFactories.end() ? Id<ConstraintFactory>::noId() : it->second->getId();
  }

  bool CESchema::isConstraintType(const LabelStr& name) const {
    return m_constraintFactories.find(name.getKey()) != m_constraintFactories.end();
  }

} // namespace KADRIX
