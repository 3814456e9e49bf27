#ifndef KADRIX_DOMAIN_POOL_HH
#define KADRIX_DOMAIN_POOL_HH

#include "ConstraintEngine/base/AbstractDomain.hh"

#include <cstdint>
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
   * release() calls for it, and a little longer while it is among the last
   * few released. Single-threaded, like the engine.
   */
  class DomainPool {
  public:
    /** The pooled domain equal to dom, held once more; dom must be of a plain class and have no listener. */
    static const AbstractDomain* acquire(const AbstractDomain& dom);
    /** Lets go of a domain acquire() gave; the last release deletes it. */
    static void release(const AbstractDomain* dom);
    /** The number of pooled domains that something holds. */
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
    SharedDomain() : m_bits(0) {}
    ~SharedDomain() { reset(); }

    /** Hold a copy of dom: the pooled one when its class is plain, else an own copy. */
    void assign(const AbstractDomain& dom) {
      reset();
      if (IsPlainDomain<DomainType>::value && typeid(dom) == typeid(DomainType))
        hold(static_cast<const DomainType*>(DomainPool::acquire(dom)), true);
      else
        hold(static_cast<DomainType*>(dom.copy()), false);
    }

    /** Hold what other holds: the same pooled domain, or a copy of its own. */
    void assign(const SharedDomain& other) {
      if (!other.shared()) {
        assign(static_cast<const AbstractDomain&>(other.get()));
        return;
      }
      if (sameAs(other))
        return;
      reset();
      DomainPool::acquire(other.get());
      m_bits = other.m_bits;
    }

    const DomainType& get() const { return *domain(); }
    const DomainType* operator->() const { return domain(); }
    /** The domain, for changing it: an own copy is made first if it is shared. */
    DomainType& modify() {
      if (shared()) {
        const DomainType* pooled = domain();
        hold(static_cast<DomainType*>(pooled->copy()), false);
        DomainPool::release(pooled);
      }
      return *domain();
    }
    /** Shares the pooled domain equal to an own copy of a plain class (after it changed). */
    void intern() {
      if (shared() || m_bits == 0 || !IsPlainDomain<DomainType>::value || typeid(get()) != typeid(DomainType))
        return;
      DomainType* own = domain();
      hold(static_cast<const DomainType*>(DomainPool::acquire(*own)), true);
      delete own;
    }
    bool shared() const { return (m_bits & SHARED) != 0; }
    /** Both hold the same pooled domain. */
    bool sameAs(const SharedDomain& other) const { return shared() && m_bits == other.m_bits; }

    void reset() {
      if (m_bits == 0)
        return;
      if (shared())
        DomainPool::release(domain());
      else
        delete domain();
      m_bits = 0;
    }

  private:
    SharedDomain(const SharedDomain&) = delete;
    SharedDomain& operator=(const SharedDomain&) = delete;

    static const std::uintptr_t SHARED = 1;

    DomainType* domain() const { return reinterpret_cast<DomainType*>(m_bits & ~SHARED); }
    void hold(const DomainType* dom, bool pooled) {
      m_bits = reinterpret_cast<std::uintptr_t>(dom) | (pooled ? SHARED : 0);
    }

    // The domain's address, with SHARED set when it is pooled (and never
    // changed through here); domains are aligned, so the bit is free.
    std::uintptr_t m_bits;
  };

}

#endif
