#include "Utils/base/IdTable.hh"

#include <ostream>
#include "Utils/base/HashTable.hh"

namespace KADRIX {

  namespace {
    struct Entry {
      unsigned int key;
      const char* typeName;
    };

    struct Registry {
      HashTable<std::uintptr_t, Entry> entries;
      unsigned int lastKey = 0;

      unsigned int nextKey() {
        ++lastKey;
        if (lastKey == 0) // wrapped around: 0 means "not registered"
          lastKey = 1;
        return lastKey;
      }
    };

    // Never destroyed, so handles work during static initialisation and destruction.
    Registry& registry() {
      static Registry* const s_registry = new Registry();
      return *s_registry;
    }
  }

  unsigned int IdTable::insert(std::uintptr_t address, const char* typeName) {
    Registry& reg = registry();
    Entry* entry = reg.entries.insert(address, Entry{0, typeName});
    if (entry == nullptr) // still registered (or the null address, which never is)
      return 0;
    entry->key = reg.nextKey();
    return entry->key;
  }

  unsigned int IdTable::getKey(std::uintptr_t address) {
    const Entry* entry = registry().entries.find(address);
    return entry == nullptr ? 0 : entry->key;
  }

  bool IdTable::remove(std::uintptr_t address) {
    return registry().entries.erase(address);
  }

  const char* IdTable::getTypeName(std::uintptr_t address) {
    const Entry* entry = registry().entries.find(address);
    return entry == nullptr ? nullptr : entry->typeName;
  }

  std::size_t IdTable::size() {
    return registry().entries.size();
  }

  void IdTable::output(std::ostream& os) {
    registry().entries.forEach([&os](std::uintptr_t address, const Entry& entry) {
      os << "0x" << std::hex << address << std::dec << " id_" << entry.key << " " << entry.typeName << "\n";
    });
  }

}
