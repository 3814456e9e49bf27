#ifndef KADRIX_VARIABLE_HH
#define KADRIX_VARIABLE_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/DomainPool.hh"
#include "Utils/base/Debug.hh"

#include <new>
#include <type_traits>
#include <typeinfo>

namespace KADRIX {

  /**
   * A constrained variable over one domain type. Holds two copies of the domain
   * it was built from: the base domain (what the variable may ever take) and
   * the derived domain (its current values). The derived domain lives in the
   * variable as long as it does (on the heap when the given domain is of a
   * class derived from DomainType); constraints hold references to it. The
   * base domain is the pooled one of its value (see DomainPool) until the
   * variable first changes it, when it gets a copy of its own.
   */
  template <class DomainType> class Variable : public ConstrainedVariable {
  public:
    Variable(const ConstraintEngineId& constraintEngine, const AbstractDomain& baseDomain,
             bool internal = false, bool canBeSpecified = true,
             const LabelStr& name = ConstrainedVariable::NO_NAME(), const EntityId& parent = EntityId::noId(),
             int index = ConstrainedVariable::NO_INDEX);

    virtual ~Variable() noexcept(false);

    const AbstractDomain& lastDomain() const override;
    const AbstractDomain& derivedDomain() override;
    const AbstractDomain& baseDomain() const override;

    /** The derived domain, brought up to date first. */
    const DomainType& getDerivedDomain();
    const DomainType& getBaseDomain() const { return m_baseDomain.get(); }

  protected:
    AbstractDomain& internal_baseDomain() override { return m_baseDomain.modify(); }
    void handleRestrictBaseDomain(const AbstractDomain& newBaseDomain) override;

    SharedDomain<DomainType> m_baseDomain;
    /** The derived domain, which lives in the variable (or on the heap for a class of its own). */
    DomainType* derived() const { return static_cast<DomainType*>(this->heldCurrentDomain()); }

  private:
    AbstractDomain& getCurrentDomain() override;

    /**
     * A copy of dom. When dom is exactly a DomainType the copy lives in the
     * variable itself, next to the data propagation reads with it; otherwise
     * it is dom.copy() on the heap.
     */
    DomainType* copyDomain(const AbstractDomain& dom);
    void deleteDomain(DomainType* dom);

    // Storage for the derived domain.
    alignas(DomainType) unsigned char m_storage[sizeof(DomainType)];

    Variable(const Variable&) = delete;
    Variable& operator=(const Variable&) = delete;
  };

  template <class DomainType>
  Variable<DomainType>::Variable(const ConstraintEngineId& constraintEngine, const AbstractDomain& baseDomain,
                                 bool internal, bool canBeSpecified, const LabelStr& name,
                                 const EntityId& parent, int index)
    : ConstrainedVariable(constraintEngine, internal, canBeSpecified, name, parent, index) {
    holdCurrentDomain(*copyDomain(baseDomain));
    m_baseDomain.assign(baseDomain);
    noteBaseDomain(baseDomain);
    KADRIX_DEBUG("Variable:Variable", "Base Domain = " << baseDomain.toString());
    KADRIX_DEBUG("Variable:Variable", "Name " << name.getKey());
    KADRIX_COND_DEBUG(baseDomain.isSingleton(), "Variable:Variable",
                      "Base domain singleton; " << baseDomain.getSingletonValue());
    listenTo(*derived());
  }

  template <class DomainType> Variable<DomainType>::~Variable() noexcept(false) {
    // Discard while the domains still exist: constraints going with the
    // variable may read them.
    discard(false);
    m_baseDomain.reset();
    deleteDomain(derived());
  }

  template <class DomainType> DomainType* Variable<DomainType>::copyDomain(const AbstractDomain& dom) {
    if constexpr (std::is_copy_constructible<DomainType>::value) {
      if (typeid(dom) == typeid(DomainType))
        return new (static_cast<void*>(m_storage)) DomainType(static_cast<const DomainType&>(dom));
    }
    return static_cast<DomainType*>(dom.copy());
  }

  template <class DomainType> void Variable<DomainType>::deleteDomain(DomainType* dom) {
    if (static_cast<void*>(dom) == static_cast<void*>(m_storage))
      dom->~DomainType();
    else
      delete dom;
  }

  template <class DomainType> const AbstractDomain& Variable<DomainType>::lastDomain() const {
    KADRIX_CHECK(validate());
    return *derived();
  }

  template <class DomainType> const AbstractDomain& Variable<DomainType>::derivedDomain() {
    KADRIX_CHECK(validate());
    return getDerivedDomain();
  }

  template <class DomainType> const AbstractDomain& Variable<DomainType>::baseDomain() const {
    KADRIX_CHECK(validate());
    return m_baseDomain.get();
  }

  template <class DomainType> AbstractDomain& Variable<DomainType>::getCurrentDomain() {
    KADRIX_CHECK(validate());
    return *derived();
  }

  template <class DomainType> const DomainType& Variable<DomainType>::getDerivedDomain() {
    if (!getConstraintEngine()->isPropagating() && pending())
      update();
    if (provenInconsistent()) {
      // One closed empty domain per instantiation, shared and never deleted.
      static DomainType* sl_emptyDomain = 0;
      static bool sl_initialized = false;
      if (!sl_initialized) {
        sl_emptyDomain = static_cast<DomainType*>(derived()->copy());
        if (sl_emptyDomain->isOpen())
          sl_emptyDomain->close();
        sl_emptyDomain->empty();
        sl_initialized = true;
      }
      return *sl_emptyDomain;
    }
    return *derived();
  }

  template <class DomainType>
  void Variable<DomainType>::handleRestrictBaseDomain(const AbstractDomain& newBaseDomain) {
    KADRIX_CHECK(validate());
    // Restricting by the base domain itself changes nothing; a shared one must
    // not be let go of while it is read.
    if (&newBaseDomain == &m_baseDomain.get())
      return;
    DomainType& base = m_baseDomain.modify();
    if (newBaseDomain.isClosed() && base.isOpen())
      base.close();
    const bool narrowed = base.intersect(newBaseDomain);
    m_baseDomain.intern();
    if (!narrowed)
      return;
    derived()->intersect(m_baseDomain.get());
    if (m_baseDomain->isClosed() && m_baseDomain->isSingleton() && !isSpecified())
      internalSpecify(m_baseDomain->getSingletonValue());
  }

}

#endif
