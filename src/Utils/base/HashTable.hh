#ifndef KADRIX_UTILS_HASHTABLE_HH
#define KADRIX_UTILS_HASHTABLE_HH

#include <cstddef>
#include <cstdint>
#include <vector>

namespace KADRIX {

  /**
   * An open-addressing hash table from non-zero integral keys (addresses,
   * entity keys) to small values: one array of slots, linear probing and
   * backward-shift deletion, so a look-up usually touches one cache line and
   * the cost per operation does not grow with the number of entries. The key
   * 0 marks an empty slot and cannot be stored.
   */
  template <class K, class V> class HashTable {
  public:
    HashTable()
      : m_slots(s_initialCapacity), m_mask(s_initialCapacity - 1), m_shift(64 - s_initialBits), m_size(0) {}

    std::size_t size() const { return m_size; }

    /** The value stored under the key, or null. */
    V* find(K key) {
      if (key == 0)
        return nullptr;
      for (std::size_t i = home(key);; i = (i + 1) & m_mask) {
        Slot& slot = m_slots[i];
        if (slot.key == key)
          return &slot.value;
        if (slot.key == 0)
          return nullptr;
      }
    }

    const V* find(K key) const { return const_cast<HashTable*>(this)->find(key); }

    /** Stores the value unless the key is present; returns the stored value, or null when it was present. */
    V* insert(K key, const V& value) {
      if (key == 0)
        return nullptr;
      if (4 * (m_size + 1) > 3 * m_slots.size()) // at most three quarters full
        grow();
      std::size_t i = home(key);
      for (; m_slots[i].key != 0; i = (i + 1) & m_mask)
        if (m_slots[i].key == key)
          return nullptr;
      m_slots[i].key = key;
      m_slots[i].value = value;
      ++m_size;
      return &m_slots[i].value;
    }

    /** Removes the key; returns false when it was not present. */
    bool erase(K key) {
      if (key == 0)
        return false;
      std::size_t i = home(key);
      for (; m_slots[i].key != key; i = (i + 1) & m_mask)
        if (m_slots[i].key == 0)
          return false;
      // Shift later members of the probe run back so that no look-up stops early.
      for (std::size_t j = (i + 1) & m_mask; m_slots[j].key != 0; j = (j + 1) & m_mask) {
        std::size_t h = home(m_slots[j].key);
        bool stays = i <= j ? (i < h && h <= j) : (i < h || h <= j);
        if (!stays) {
          m_slots[i] = m_slots[j];
          i = j;
        }
      }
      m_slots[i] = Slot();
      --m_size;
      return true;
    }

    template <class F> void forEach(F f) const {
      for (const Slot& slot : m_slots)
        if (slot.key != 0)
          f(slot.key, slot.value);
    }

  private:
    struct Slot {
      K key = 0;
      V value = V();
    };

    static const std::size_t s_initialBits = 6;
    static const std::size_t s_initialCapacity = std::size_t(1) << s_initialBits;

    std::size_t home(K key) const {
      // Fibonacci hashing: the top bits of the product spread aligned addresses and counters alike.
      return static_cast<std::size_t>((static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> m_shift);
    }

    void grow() {
      std::vector<Slot> old;
      old.swap(m_slots);
      m_slots.assign(old.size() * 2, Slot());
      m_mask = m_slots.size() - 1;
      --m_shift;
      m_size = 0;
      for (const Slot& slot : old)
        if (slot.key != 0)
          insert(slot.key, slot.value);
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask;
    unsigned int m_shift;
    std::size_t m_size;
  };

}

#endif
