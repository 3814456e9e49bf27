#include "Utils/base/IdTable.hh"

#include <ostream>
#include <vector>
#include "Utils/base/HashTable.hh"

namespace KADRIX {

  namespace {
    // Kept to 16 bytes a slot with the address: the type name is stored by index.
    struct Entry {
      unsigned int key;
      unsigned int typeIndex;
    };

    struct Registry {
      HashTable<std::uintptr_t, Entry> entries;
      HashTable<std::uintptr_t, unsigned int> typeIndexes;
      std::vector<const char*> typeNames;
      unsigned int lastKey = 0;

      unsigned int nextKey() {
        ++lastKey;
        if (lastKey == 0) // wrapped around: 0 means "not registered"
          lastKey = 1;
        return lastKey;
      }

      unsigned int typeIndex(const char* typeName) {
        std::uintptr_t name = reinterpret_cast<std::uintptr_t>(typeName);
        if (const unsigned int* index = typeIndexes.find(name))
          return *index;
        typeNames.push_back(typeName);
        unsigned int index = static_cast<unsigned int>(typeNames.size() - 1);
        typeIndexes.insert(name, index);
        return index;
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
    Entry* entry = reg.entries.insert(address, Entry{0, 0});
    if (entry == nullptr) // still registered (or the null address, which never is)
      return 0;
    entry->key = reg.nextKey();
    entry->typeIndex = reg.typeIndex(typeName);
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
    const Registry& reg = registry();
    const Entry* entry = reg.entries.find(address);
    return entry == nullptr ? nullptr : reg.typeNames[entry->typeIndex];
  }

  std::size_t IdTable::size() {
    return registry().entries.size();
  }

  void IdTable::output(std::ostream& os) {
    const Registry& reg = registry();
    reg.entries.forEach([&os, &reg](std::uintptr_t address, const Entry& entry) {
      os << "0x" << std::hex << address << std::dec << " id_" << entry.key << " "
         << reg.typeNames[entry.typeIndex] << "\n";
    });
  }

}
