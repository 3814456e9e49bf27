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

    /** Ends the registration of the address; returns false when it was not registered. */
    static bool remove(std::uintptr_t address);

    /** The type name the address was registered under, or null when it is not registered. */
    static const char* getTypeName(std::uintptr_t address);

    /** The number of registered addresses. */
    static std::size_t size();

    /** Writes one line per registered address: address, key and type name. */
    static void output(std::ostream& os);

  private:
    IdTable() = delete;
  };

}

#endif
