#include "PlanDatabase/base/TokenFactory.hh"

#include "PlanDatabase/base/Schema.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

namespace KADRIX {

  TokenFactory::TokenFactory(const LabelStr& signature) : m_id(this), m_signature(signature) {}

  TokenFactory::~TokenFactory() noexcept(false) { m_id.remove(); }

  TokenTypeMgr::TokenTypeMgr() : m_id(this) {}

  TokenTypeMgr::~TokenTypeMgr() noexcept(false) {
    cleanup(m_factories);
    m_id.remove();
  }

  void TokenTypeMgr::registerFactory(const TokenFactoryId& factory) {
    KADRIX_CHECK(factory.isValid());
    KADRIX_CHECK(m_factories.find(factory) == m_factories.end());
    m_factories.insert(factory);
    // Answers borrowed from ancestors may now have a nearer factory.
    forgetFallbacks();
    // The first own registration for a predicate keeps serving it.
    m_factoriesByPredicate.emplace(factory->getSignature().getKey(), factory);
  }

  void TokenTypeMgr::forgetFallbacks() {
    for (std::map<double, TokenFactoryId>::iterator it = m_factoriesByPredicate.begin();
         it != m_factoriesByPredicate.end();) {
      if (it->first != it->second->getSignature().getKey())
        it = m_factoriesByPredicate.erase(it);
      else
        ++it;
    }
  }

  TokenFactoryId TokenTypeMgr::getFactory(const Id<Schema>& schema, const LabelStr& predicateName) {
    KADRIX_CHECK_MSG(schema->isPredicate(predicateName), predicateName.toString() << " is undefined.");
    std::map<double, TokenFactoryId>::const_iterator it = m_factoriesByPredicate.find(predicateName.getKey());
    if (it != m_factoriesByPredicate.end())
      return it->second;
    if (schema->hasParent(predicateName)) {
      TokenFactoryId factory = getFactory(schema, schema->getParent(predicateName));
      KADRIX_CHECK_MSG(factory.isValid(), "No factory found for " << predicateName.toString());
      m_factoriesByPredicate.emplace(predicateName.getKey(), factory);
      return factory;
    }
    KADRIX_FAIL("Failed in TokenTypeMgr::getFactory for " << predicateName.toString());
    return TokenFactoryId::noId();
  }

  void TokenTypeMgr::purgeAll() {
    cleanup(m_factories);
    m_factoriesByPredicate.clear();
  }

} // namespace KADRIX
