#ifndef KADRIX_TOKEN_VARIABLE_HH
#define KADRIX_TOKEN_VARIABLE_HH

#include "ConstraintEngine/component/Variable.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

namespace KADRIX {

  /**
   * A variable of a token. Besides its own base and derived domains it holds
   * the integrated base domain: its base domain intersected with the base
   * domains of the variables at the same index of every token merged onto its
   * parent token. It remembers whether it was specified by its own token
   * (locally) or only through a merged token.
   *
   * Instantiated for StateDomain, ObjectDomain and IntervalIntDomain (the
   * built-in variables), and for IntervalDomain, BoolDomain,
   * EnumeratedDomain, SymbolDomain and StringDomain (model parameters).
   *
   * The state variable is made not specifiable: specify() and reset() refuse
   * it, and the token changes its state through setSpecified() and
   * resetSpecified(), which skip that test.
   */
  template <class DomainType> class TokenVariable : public Variable<DomainType> {
  public:
    TokenVariable(const TokenId& parent, int index, const ConstraintEngineId& constraintEngine,
                  const AbstractDomain& baseDomain, bool internal, bool canBeSpecified, const LabelStr& name);
    virtual ~TokenVariable() noexcept(false);

    using ConstrainedVariable::reset;

    /** Requires canBeSpecified(); then resetSpecified(). */
    void reset() override;
    /** Relaxes to the base domain, then narrows to the integrated base domain. */
    void relax() override;
    /** Inserts into the domains and into the integrated base domain. */
    void insert(double value) override;
    /** Inserts into the domains and into the integrated base domain. */
    void insertAll(const std::vector<double>& values) override;
    /** Removes from the domains, and from the integrated base domain when it holds the value. */
    void remove(double value) override;
    /** Requires canBeSpecified(); then setSpecified(value). */
    void specify(double value) override;
    /** Closes the domains and the integrated base domain. */
    void close() override;
    /** Opens the domains and the integrated base domain. */
    void open() override;

    /** Narrows the integrated base domain, then the derived domain, by a merging variable's base domain. */
    void handleBase(const AbstractDomain& domain) override;
    /** Takes over the value a merging variable was specified to. */
    void handleSpecified(double value) override;
    /** Recomputes what is left when a merged variable lost its value or its token left. */
    void handleReset() override;

    void handleConstraintAdded(const ConstraintId& constraint) override;
    void handleConstraintRemoved(const ConstraintId& constraint) override;

    /** Specifies the variable for its own token, without the can-be-specified test. */
    void setSpecified(double value);
    /**
     * Undoes what a local specify did, without the can-be-specified test: the
     * variable goes back to what the tokens merged onto its token hold it to.
     */
    void resetSpecified();
    /**
     * Rebuilds the integrated base domain from the base domain and the merged
     * tokens' variables at this index; true when one of those is specified,
     * to the value then given in `mergedValue`.
     */
    bool computeBaseDomain(double* mergedValue = nullptr);

    const TokenId& getParentToken() const;
    const DomainType& getIntegratedBaseDomain() const { return m_integratedBaseDomain.get(); }

  protected:
    void handleRestrictBaseDomain(const AbstractDomain& domain) override;

  private:
    /**
     * After a change of both: share the pooled equals of the base and the
     * integrated base domain. When they were the same pooled domain before,
     * only the base domain was changed, and the integrated one follows it.
     */
    void internDomains(bool sameAsBase);
    /** Opens or closes the domains and the integrated base domain alike. */
    void setOpen(bool open);
    /**
     * The parent token: the variable's parent, which deletes its variables
     * before its handle goes, so the variable keeps no handle of its own.
     */
    Token* parentToken() const;

    TokenVariable(const TokenVariable&) = delete;
    TokenVariable& operator=(const TokenVariable&) = delete;

    // Shares the base domain's pooled domain until either changes.
    SharedDomain<DomainType> m_integratedBaseDomain;
  };

}

#endif
