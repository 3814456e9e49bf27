#ifndef KADRIX_TOKEN_FACTORY_HH
#define KADRIX_TOKEN_FACTORY_HH

#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"

#include <map>
#include <set>

namespace KADRIX {

  class PlanDatabase;
  class Token;
  class Schema;
  class TokenFactory;
  class TokenTypeMgr;
  typedef Id<TokenFactory> TokenFactoryId;
  typedef Id<TokenTypeMgr> TokenTypeMgrId;

  /**
   * Builds the tokens of one predicate ("<objectType>.<predicate>"). Model code subclasses it and
   * registers instances with the schema, which owns them from then on.
   */
  class TokenFactory {
  public:
    TokenFactory(const LabelStr& signature);
    virtual ~TokenFactory() noexcept(false);

    /** Builds a free token of the predicate in planDb. */
    virtual Id<Token> createInstance(const Id<PlanDatabase>& planDb, const LabelStr& name, bool rejectable,
                                     bool isFact) const = 0;

    /** Builds a slave token of master, related to it by relation. */
    virtual Id<Token> createInstance(const Id<Token>& master, const LabelStr& name,
                                     const LabelStr& relation) const = 0;

    const TokenFactoryId& getId() const { return m_id; }
    const LabelStr& getSignature() const { return m_signature; }

  protected:
    TokenFactoryId m_id;
    LabelStr m_signature;

  private:
    TokenFactory(const TokenFactory&) = delete;
    TokenFactory& operator=(const TokenFactory&) = delete;
  };

  /**
   * The registry of token factories, owned by the schema. It owns every factory registered with
   * it. A predicate without a factory of its own is served by the factory of its nearest ancestor
   * predicate that has one; that answer is remembered until the next registration.
   */
  class TokenTypeMgr {
  public:
    TokenTypeMgr();
    ~TokenTypeMgr() noexcept(false);

    const TokenTypeMgrId& getId() const { return m_id; }

    /**
     * Takes ownership of the factory. The first factory registered for a predicate is the one
     * that serves it; a later one for the same predicate is kept, owned and never used.
     */
    void registerFactory(const TokenFactoryId& factory);

    /** The factory of the predicate or of its nearest ancestor predicate that has one. */
    TokenFactoryId getFactory(const Id<Schema>& schema, const LabelStr& predicateName);

    bool hasFactory() const { return !m_factories.empty(); }

    /** Deletes every registered factory and empties the registry. */
    void purgeAll();

  private:
    friend class Schema;

    TokenTypeMgr(const TokenTypeMgr&) = delete;
    TokenTypeMgr& operator=(const TokenTypeMgr&) = delete;

    /** Drops every entry that stands under a predicate other than its factory's own. */
    void forgetFallbacks();

    TokenTypeMgrId m_id;
    std::map<double, TokenFactoryId> m_factoriesByPredicate;
    std::set<TokenFactoryId> m_factories;
  };

} // namespace KADRIX

#endif
