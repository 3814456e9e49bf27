#include "Utils/base/IdTable.hh"

#include <ostream>
#include <unordered_map>

namespace KADRIX {

  namespace {
    struct Entry {
      unsigned int key;
      const char* typeName;
    };

    struct Registry {
      std::unordered_map<std::uintptr_t, Entry> entries;
      unsigned int lastKey = 0;

      Registry() { entries.max_load_factor(0.5f); }

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
    auto result = reg.entries.try_emplace(address, Entry{0, typeName});
    if (!result.second)
      return 0;
    result.first->second.key = reg.nextKey();
    return result.first->second.key;
  }

  unsigned int IdTable::getKey(std::uintptr_t address) {
    const Registry& reg = registry();
    auto it = reg.entries.find(address);
    return it == reg.entries.end() ? 0 : it->second.key;
  }

  bool IdTable::remove(std::uintptr_t address) {
    return registry().entries.erase(address) > 0;
  }

  const char* IdTable::getTypeName(std::uintptr_t address) {
    const Registry& reg = registry();
    auto it = reg.entries.find(address);
    return it == reg.entries.end() ? nullptr : it->second.typeName;
  }

  std::size_t IdTable::size() {
    return registry().entries.size();
  }

  void IdTable::output(std::ostream& os) {
    for (const auto& entry : registry().entries)
      os << "0x" << std::hex << entry.first << std::dec << " id_" << entry.second.key
         << " " << entry.second.typeName << "\n";
  }

}
