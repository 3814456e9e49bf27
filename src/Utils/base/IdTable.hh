#ifndef KADRIX_UTILS_IDTABLE_HH
#define KADRIX_UTILS_IDTABLE_HH

#include <cstddef>
#include <cstdint>
#include <iosfwd>

namespace KADRIX {

  /**
   * The process-wide handle registry: maps a registered address to its key and
   * the type name under which it was registered. Keys come from one counter,
   * so a new registration of an address never gets the key of an earlier one.
   * All operations are O(1).
   *
   * Two indexes are kept in step: a hash table from address to key and type,
   * and a table from key to address in pages of s_pageSize keys, which answers
   * holds() with one read near the keys of entities made at the same time. A
   * page is freed once every key of it was issued and has been removed; a
   * missing page holds no key.
   */
  class IdTable {
  public:
    /**
     * Registers the address under a fresh non-zero key and returns the key;
     * returns 0 and changes nothing while the address is registered. The type
     * name must be a string that lives for the rest of the process (such as
     * what std::type_info::name() returns).
     */
    static unsigned int insert(std::uintptr_t address, const char* typeName);

    /** The current key of the address, or 0 when it is not registered. */
    static unsigned int getKey(std::uintptr_t address);

    /** Whether key is the current key of address (false for key 0). */
    static bool holds(unsigned int key, std::uintptr_t address) {
      const std::size_t page = key >> s_pageBits;
      return page < s_pageCount && s_pages[page] != nullptr &&
             s_pages[page][key & (s_pageSize - 1)] == address;
    }

    /** Ends the registration of the address; returns false when it was not registered. */
    static bool remove(std::uintptr_t address);

    /** The type name the address was registered under, or null when it is not registered. */
    static const char* getTypeName(std::uintptr_t address);

    /** The number of registered addresses. */
    static std::size_t size();

    /** Writes one line per registered address: address, key and type name. */
    static void output(std::ostream& os);

    static constexpr unsigned int s_pageBits = 12;
    static constexpr unsigned int s_pageSize = 1u << s_pageBits;

  private:
    IdTable() = delete;

    friend struct IdTablePages;
    // The page table's array and length, kept in step by the registry.
    static std::uintptr_t* const* s_pages;
    static std::size_t s_pageCount;
  };

}

#endif
