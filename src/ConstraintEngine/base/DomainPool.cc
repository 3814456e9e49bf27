#include "ConstraintEngine/base/DomainPool.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace KADRIX {

  namespace {
    struct Pooled {
      std::unique_ptr<AbstractDomain> domain;
      size_t hash;
      size_t holders;
    };

    // Domains no variable holds stay pooled while they are among the last
    // SPARES released: variables often pass through the same few domains one
    // after the other (made open, then closed), and a domain dropped at once
    // would be made again for the next variable. Once nothing holds any
    // domain (the plans are gone), the spares go too: the pool keeps no
    // memory between plans.
    const size_t SPARES = 64;

    struct Pool {
      std::unordered_multimap<size_t, Pooled*> byHash;
      std::unordered_map<const AbstractDomain*, Pooled*> byDomain;
      std::deque<Pooled*> spares; // held by nobody, oldest first; may hold revived ones
      size_t held = 0; // pooled domains with holders
    };

    // Never destroyed: variables may let go of their domains during static destruction.
    Pool& pool() {
      static Pool* const s_pool = new Pool();
      return *s_pool;
    }

    std::uint64_t bits(double value) {
      std::uint64_t result;
      std::memcpy(&result, &value, sizeof(result));
      return result;
    }

    size_t mix(size_t hash, std::uint64_t value) {
      return (hash ^ value) * 0x9E3779B97F4A7C15ull + (hash >> 29);
    }
  }

  /** Reads the values of enumerated domains for the pool. */
  class DomainPoolAccess {
  public:
    static const std::vector<double>& values(const AbstractDomain& dom) {
      return static_cast<const EnumeratedDomain&>(dom).m_values;
    }
  };

  namespace {
    size_t hashOf(const AbstractDomain& dom) {
      size_t hash = typeid(dom).hash_code();
      hash = mix(hash, bits(dom.getTypeName().getKey()));
      hash = mix(hash, bits(dom.minDelta()));
      hash = mix(hash, (dom.isClosed() ? 1u : 0u) | (dom.isNumeric() ? 2u : 0u));
      if (dom.isEnumerated()) {
        for (double value : DomainPoolAccess::values(dom))
          hash = mix(hash, bits(value));
      } else {
        hash = mix(hash, bits(dom.getLowerBound()));
        hash = mix(hash, bits(dom.getUpperBound()));
      }
      return hash;
    }

    bool sameDomain(const AbstractDomain& a, const AbstractDomain& b) {
      if (typeid(a) != typeid(b) || bits(a.getTypeName().getKey()) != bits(b.getTypeName().getKey()) ||
          bits(a.minDelta()) != bits(b.minDelta()) || a.isClosed() != b.isClosed() ||
          a.isNumeric() != b.isNumeric())
        return false;
      if (!a.isEnumerated())
        return bits(a.getLowerBound()) == bits(b.getLowerBound()) &&
               bits(a.getUpperBound()) == bits(b.getUpperBound());
      const std::vector<double>& x = DomainPoolAccess::values(a);
      const std::vector<double>& y = DomainPoolAccess::values(b);
      if (x.size() != y.size())
        return false;
      for (size_t i = 0; i < x.size(); ++i)
        if (bits(x[i]) != bits(y[i]))
          return false;
      return true;
    }
  }

  namespace {
    void drop(Pool& p, Pooled* pooled) {
      p.byDomain.erase(pooled->domain.get());
      const auto range = p.byHash.equal_range(pooled->hash);
      for (auto it = range.first; it != range.second; ++it)
        if (it->second == pooled) {
          p.byHash.erase(it);
          break;
        }
      delete pooled;
    }
  }

  const AbstractDomain* DomainPool::acquire(const AbstractDomain& dom) {
    Pool& p = pool();
    const auto known = p.byDomain.find(&dom);
    if (known != p.byDomain.end()) {
      p.held += known->second->holders++ == 0 ? 1 : 0;
      return &dom;
    }
    const size_t hash = hashOf(dom);
    const auto range = p.byHash.equal_range(hash);
    for (auto it = range.first; it != range.second; ++it)
      if (sameDomain(*it->second->domain, dom)) {
        p.held += it->second->holders++ == 0 ? 1 : 0;
        return it->second->domain.get();
      }
    std::unique_ptr<Pooled> pooled(new Pooled{std::unique_ptr<AbstractDomain>(dom.copy()), hash, 1});
    const AbstractDomain* result = pooled->domain.get();
    p.byDomain.emplace(result, pooled.get());
    p.byHash.emplace(hash, pooled.get());
    pooled.release();
    ++p.held;
    return result;
  }

  void DomainPool::release(const AbstractDomain* dom) {
    Pool& p = pool();
    const auto known = p.byDomain.find(dom);
    KADRIX_CHECK_MSG(known != p.byDomain.end(), "Releasing a domain that is not pooled.");
    Pooled* pooled = known->second;
    if (--pooled->holders != 0)
      return;
    p.spares.push_back(pooled);
    const size_t keep = --p.held == 0 ? 0 : SPARES;
    while (p.spares.size() > keep) {
      Pooled* oldest = p.spares.front();
      p.spares.pop_front();
      // Revived ones are held again; one released twice is listed twice.
      if (oldest->holders == 0 && std::find(p.spares.begin(), p.spares.end(), oldest) == p.spares.end())
        drop(p, oldest);
    }
  }

  size_t DomainPool::size() {
    return pool().held;
  }

}
