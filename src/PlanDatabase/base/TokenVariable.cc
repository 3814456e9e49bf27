#include "PlanDatabase/base/TokenVariable.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/StateDomain.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/base/UnifyMemento.hh"
#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  template <class DomainType>
  TokenVariable<DomainType>::TokenVariable(const TokenId& parent, int index,
                                           const ConstraintEngineId& constraintEngine,
                                           const AbstractDomain& baseDomain, bool internal,
                                           bool canBeSpecified, const LabelStr& name)
    : Variable<DomainType>(constraintEngine, baseDomain, internal, canBeSpecified, name, EntityId(parent),
                           index) {
    m_integratedBaseDomain.assign(this->m_baseDomain);
    KADRIX_CHECK_TEXT(this->parent().isValid(), "m_parentToken.isValid()", "");
    KADRIX_CHECK(this->getIndex() >= 0);
  }

  template <class DomainType> const TokenId& TokenVariable<DomainType>::getParentToken() const {
    return parentToken()->getId();
  }

  template <class DomainType> Token* TokenVariable<DomainType>::parentToken() const {
    return static_cast<Token*>(this->parent().get());
  }

  template <class DomainType> TokenVariable<DomainType>::~TokenVariable() noexcept(false) {
    // Discard first: constraints going with the variable may still ask it questions.
    this->discard(false);
    m_integratedBaseDomain.reset();
  }

  template <class DomainType> void TokenVariable<DomainType>::reset() {
    KADRIX_CHECK(this->canBeSpecified());
    resetSpecified();
  }

  template <class DomainType> void TokenVariable<DomainType>::relax() {
    ConstrainedVariable::relax();
    this->derived()->intersect(m_integratedBaseDomain.get());
  }

  template <class DomainType> void TokenVariable<DomainType>::insert(double value) {
    const bool sameAsBase = m_integratedBaseDomain.sameAs(this->m_baseDomain);
    ConstrainedVariable::insert(value);
    if (!sameAsBase)
      m_integratedBaseDomain.modify().insert(value);
    internDomains(sameAsBase);
  }

  template <class DomainType> void TokenVariable<DomainType>::insertAll(const std::vector<double>& values) {
    const bool sameAsBase = m_integratedBaseDomain.sameAs(this->m_baseDomain);
    ConstrainedVariable::insertAll(values);
    if (!sameAsBase)
      m_integratedBaseDomain.modify().insertAll(values);
    internDomains(sameAsBase);
  }

  template <class DomainType> void TokenVariable<DomainType>::remove(double value) {
    const bool sameAsBase = m_integratedBaseDomain.sameAs(this->m_baseDomain);
    ConstrainedVariable::remove(value);
    if (!sameAsBase && m_integratedBaseDomain->isMember(value))
      m_integratedBaseDomain.modify().remove(value);
    internDomains(sameAsBase);
  }

  template <class DomainType> void TokenVariable<DomainType>::specify(double value) {
    KADRIX_CHECK(this->canBeSpecified());
    setSpecified(value);
  }

  template <class DomainType> void TokenVariable<DomainType>::close() { setOpen(false); }

  template <class DomainType> void TokenVariable<DomainType>::open() { setOpen(true); }

  template <class DomainType> void TokenVariable<DomainType>::setOpen(bool open) {
    const bool sameAsBase = m_integratedBaseDomain.sameAs(this->m_baseDomain);
    if (open)
      ConstrainedVariable::open();
    else
      ConstrainedVariable::close();
    if (!sameAsBase && m_integratedBaseDomain->isOpen() != open) {
      if (open)
        m_integratedBaseDomain.modify().open();
      else
        m_integratedBaseDomain.modify().close();
    }
    internDomains(sameAsBase);
  }

  template <class DomainType> void TokenVariable<DomainType>::internDomains(bool sameAsBase) {
    this->m_baseDomain.intern();
    // Equal before, changed alike: equal again.
    if (sameAsBase)
      m_integratedBaseDomain.assign(this->m_baseDomain);
    else
      m_integratedBaseDomain.intern();
  }

  template <class DomainType> void TokenVariable<DomainType>::setSpecified(double value) {
    KADRIX_CHECK_TEXT(this->parent().isValid(), "this->m_parentToken.isValid()", "");
    KADRIX_CHECK_TEXT(!parentToken()->isMerged(), "!this->m_parentToken->isMerged()",
                      "Attempted to specify " << this->toString() << " of merged token "
                                              << parentToken()->toString() << ". ");
    this->internalSpecify(value);
    this->m_specifiedByOwner = true;
  }

  template <class DomainType> void TokenVariable<DomainType>::resetSpecified() {
    this->m_specifiedByOwner = false;
    // A token merged onto this one that specifies the variable holds it to
    // its value, whatever the variable's own was.
    double mergedValue = 0;
    if (computeBaseDomain(&mergedValue))
      this->internalSpecify(mergedValue);
    else
      ConstrainedVariable::reset(m_integratedBaseDomain.get());
    if (parentToken()->isMerged()) {
      KADRIX_CHECK_TEXT(parentToken()->getActiveToken().isValid(),
                        "this->m_parentToken->getActiveToken().isValid()", "");
      const TokenId& activeToken = parentToken()->getActiveToken();
      activeToken->getVariables()[this->getIndex()]->handleReset();
    }
  }

  template <class DomainType> bool TokenVariable<DomainType>::computeBaseDomain(double* mergedValue) {
    const TokenSet& mergedTokens = parentToken()->getMergedTokens();
    if (mergedTokens.empty() && m_integratedBaseDomain->isOpen() == this->m_baseDomain->isOpen()) {
      // The base domain itself: shared with it again.
      m_integratedBaseDomain.assign(this->m_baseDomain);
      return false;
    }
    DomainType& integrated = m_integratedBaseDomain.modify();
    integrated.relax(this->m_baseDomain.get());
    bool shouldBeSpecified = false;
    double specifiedValue = 0;
    for (TokenSet::const_iterator it = mergedTokens.begin(); it != mergedTokens.end(); ++it) {
      const TokenId& mergedToken = *it;
      KADRIX_CHECK(mergedToken->isMerged());
      KADRIX_CHECK_TEXT(mergedToken->getActiveToken() == getParentToken(),
                        "mergedToken->getActiveToken() == this->m_parentToken", "");
      KADRIX_CHECK_TEXT(mergedToken->getVariables().size() == parentToken()->getVariables().size(),
                        "mergedToken->getVariables().size() == this->m_parentToken->getVariables().size()",
                        "");
      const ConstrainedVariableId& var = mergedToken->getVariables()[this->getIndex()];
      integrated.intersect(var->baseDomain());
      KADRIX_CHECK_MSG(var->baseDomain().isOpen() || !integrated.isEmpty(), var->toString()
                                                                                << " cannot merge.");
      // The value it was specified to, also where an inconsistent network emptied its domain.
      if (var->isSpecified()) {
        KADRIX_CHECK_TEXT(!shouldBeSpecified || specifiedValue == var->getSpecifiedValue(),
                          "!shouldBeSpecified || specifiedValue == var->lastDomain().getSingletonValue()",
                          var->toString());
        if (!shouldBeSpecified) {
          shouldBeSpecified = true;
          specifiedValue = var->getSpecifiedValue();
        }
      }
    }
    m_integratedBaseDomain.intern();
    if (mergedValue != nullptr)
      *mergedValue = specifiedValue;
    return shouldBeSpecified;
  }

  template <class DomainType> void TokenVariable<DomainType>::handleBase(const AbstractDomain& domain) {
    m_integratedBaseDomain.modify().intersect(domain);
    m_integratedBaseDomain.intern();
    this->derived()->intersect(domain);
  }

  template <class DomainType> void TokenVariable<DomainType>::handleSpecified(double value) {
    KADRIX_CHECK_TEXT(parentToken()->isActive(), "this->m_parentToken->isActive()", "");
    KADRIX_CHECK_MSG(this->lastDomain().isMember(value), value << " is not in " << this->toString());
    if (!this->isSpecified())
      this->internalSpecify(value);
  }

  template <class DomainType> void TokenVariable<DomainType>::handleReset() {
    if (computeBaseDomain() || this->m_specifiedByOwner)
      return;
    if (this->isSpecified())
      ConstrainedVariable::reset(m_integratedBaseDomain.get());
    else {
      this->derived()->relax(this->m_baseDomain.get());
      this->derived()->intersect(m_integratedBaseDomain.get());
    }
  }

  template <class DomainType>
  void TokenVariable<DomainType>::handleRestrictBaseDomain(const AbstractDomain& domain) {
    Variable<DomainType>::handleRestrictBaseDomain(domain);
    if (m_integratedBaseDomain->isOpen() && domain.isClosed())
      m_integratedBaseDomain.modify().close();
    m_integratedBaseDomain.modify().intersect(domain);
    m_integratedBaseDomain.intern();
  }

  namespace {
    /**
     * Whether the token is merged and its merge record follows the constraints
     * of its variables: the merge method does, the stack method leaves them
     * active and alone, and while the record is being built there is none.
     */
    bool followedByMergeRecord(const TokenId& token) {
      if (!token->isMerged())
        return false;
      const UnifyMementoId& record = token->getUnifyMemento();
      return record.isValid() && record->getMethod() == UnifyMemento::mergeMethod;
    }
  }

  template <class DomainType>
  void TokenVariable<DomainType>::handleConstraintAdded(const ConstraintId& constraint) {
    // A re-stated constraint stands for one that already touched this token.
    if (!MergeMemento::isRestating())
      KADRIX_CHECK_TEXT(!parentToken()->isRejected(), "!this->m_parentToken->isRejected()", "");
    if (followedByMergeRecord(getParentToken())) {
      KADRIX_CHECK_MSG(!constraint->isActive(), "Constraint should be inactive if it is on a merged token.");
      parentToken()->handleAdditionOfInactiveConstraint(constraint);
    }
  }

  template <class DomainType>
  void TokenVariable<DomainType>::handleConstraintRemoved(const ConstraintId& constraint) {
    // While the token is discarded its variables go one by one.
    if (!this->parent().isValid() || parentToken()->isDeleted())
      return;
    if (followedByMergeRecord(getParentToken()) && !constraint->isActive())
      parentToken()->handleRemovalOfInactiveConstraint(constraint);
  }

  template class TokenVariable<StateDomain>;
  template class TokenVariable<ObjectDomain>;
  template class TokenVariable<IntervalIntDomain>;
  // Model parameters.
  template class TokenVariable<IntervalDomain>;
  template class TokenVariable<BoolDomain>;
  template class TokenVariable<EnumeratedDomain>;
  template class TokenVariable<SymbolDomain>;
  template class TokenVariable<StringDomain>;

}
