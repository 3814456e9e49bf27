#ifndef KADRIX_DOMAIN_POOL_HH
#define KADRIX_DOMAIN_POOL_HH

#include "ConstraintEngine/base/AbstractDomain.hh"

#include <type_traits>
#include <typeinfo>

namespace KADRIX {

  /**
   * Whether every bit of state of a domain class lies in the library's domain
   * bases (AbstractDomain, IntervalDomain, EnumeratedDomain): then two
   * domains of the class with equal base state are interchangeable, and
   * variables may share one. Each such library class says so next to its
   * declaration; any other class (a model's own domain) is copied as before.
   */
  template <class DomainType> struct IsPlainDomain : std::false_type {};

  /**
   * The immutable domains that variables share: most variables of a type
   * start from the same base domain and never change it, so they hold one
   * pooled copy and copy it only on their first change (copy on write).
   *
   * Invariants: a pooled domain is never changed and has no listener; it is
   * of a plain class (IsPlainDomain) and no other pooled domain is equal to
   * it (same class, type name, open or closed state, minimum difference and
   * values, compared bit for bit); it lives while acquire() calls outnumber
   * release() calls for it. Single-threaded, like the engine.
   */
  class DomainPool {
  public:
    /** The pooled domain equal to dom, held once more; dom must be of a plain class and have no listener. */
    static const AbstractDomain* acquire(const AbstractDomain& dom);
    /** Lets go of a domain acquire() gave; the last release deletes it. */
    static void release(const AbstractDomain* dom);
    /** The number of pooled domains. */
    static size_t size();

  private:
    DomainPool() = delete;
  };

  /**
   * A domain held either as a pooled one (shared, immutable) or as an own
   * copy on the heap, made at the first change; intern() shares the pooled
   * equal of a changed copy again. Holds nothing after reset().
   */
  template <class DomainType> class SharedDomain {
  public:
    SharedDomain() : m_domain(nullptr), m_shared(false) {}
    ~SharedDomain() { reset(); }

    /** Hold a copy of dom: the pooled one when its class is plain, else an own copy. */
    void assign(const AbstractDomain& dom) {
      reset();
      if (IsPlainDomain<DomainType>::value && typeid(dom) == typeid(DomainType)) {
        m_domain = static_cast<DomainType*>(const_cast<AbstractDomain*>(DomainPool::acquire(dom)));
        m_shared = true;
      } else
        m_domain = static_cast<DomainType*>(dom.copy());
    }

    /** Hold what other holds: the same pooled domain, or a copy of its own. */
    void assign(const SharedDomain& other) {
      if (other.m_shared) {
        if (m_domain == other.m_domain)
          return;
        reset();
        DomainPool::acquire(*other.m_domain);
        m_domain = other.m_domain;
        m_shared = true;
      } else
        assign(static_cast<const AbstractDomain&>(*other.m_domain));
    }

    const DomainType& get() const { return *m_domain; }
    const DomainType* operator->() const { return m_domain; }
    /** The domain, for changing it: an own copy is made first if it is shared. */
    DomainType& modify() {
      if (m_shared) {
        DomainType* own = static_cast<DomainType*>(m_domain->copy());
        DomainPool::release(m_domain);
        m_domain = own;
        m_shared = false;
      }
      return *m_domain;
    }
    /** Shares the pooled domain equal to an own copy of a plain class (after it changed). */
    void intern() {
      if (m_shared || m_domain == nullptr || !IsPlainDomain<DomainType>::value ||
          typeid(*m_domain) != typeid(DomainType))
        return;
      DomainType* pooled =
          static_cast<DomainType*>(const_cast<AbstractDomain*>(DomainPool::acquire(*m_domain)));
      delete m_domain;
      m_domain = pooled;
      m_shared = true;
    }
    bool shared() const { return m_shared; }
    /** Both hold the same pooled domain. */
    bool sameAs(const SharedDomain& other) const {
      return m_shared && other.m_shared && m_domain == other.m_domain;
    }

    void reset() {
      if (m_domain == nullptr)
        return;
      if (m_shared)
        DomainPool::release(m_domain);
      else
        delete m_domain;
      m_domain = nullptr;
      m_shared = false;
    }

  private:
    SharedDomain(const SharedDomain&) = delete;
    SharedDomain& operator=(const SharedDomain&) = delete;

    DomainType* m_domain; // pooled (never changed through here) when m_shared
    bool m_shared;
  };

}

#endif
