#include "Utils/base/IdTable.hh"

#include <memory>
#include <ostream>
#include <vector>
#include "Utils/base/HashTable.hh"

namespace KADRIX {

  std::uintptr_t* const* IdTable::s_pages = nullptr;
  std::size_t IdTable::s_pageCount = 0;

  /**
   * The table from key to address, in pages. Invariant: slot k holds the
   * address registered under key k, or 0; live[p] counts the non-zero slots of
   * page p, and a page whose keys were all issued is freed when live[p] drops
   * to 0. IdTable::s_pages and s_pageCount always describe pages.
   */
  struct IdTablePages {
    std::vector<std::uintptr_t*> pages;
    std::vector<unsigned int> live;

    void publish() {
      IdTable::s_pages = pages.data();
      IdTable::s_pageCount = pages.size();
    }

    bool occupied(unsigned int key) const { return slot(key) != 0; }

    std::uintptr_t slot(unsigned int key) const {
      const std::size_t page = key >> IdTable::s_pageBits;
      return page < pages.size() && pages[page] != nullptr ? pages[page][key & (IdTable::s_pageSize - 1)] : 0;
    }

    void set(unsigned int key, std::uintptr_t address) {
      const std::size_t page = key >> IdTable::s_pageBits;
      if (page >= pages.size()) {
        pages.resize(page + 1, nullptr);
        live.resize(page + 1, 0);
        publish();
      }
      if (pages[page] == nullptr)
        pages[page] = new std::uintptr_t[IdTable::s_pageSize]();
      pages[page][key & (IdTable::s_pageSize - 1)] = address;
      ++live[page];
    }

    /** Clears the slot of key; frees its page when nothing is left there to issue or hold. */
    void clear(unsigned int key, unsigned int lastKey) {
      const std::size_t page = key >> IdTable::s_pageBits;
      pages[page][key & (IdTable::s_pageSize - 1)] = 0;
      const bool allIssued = ((std::uint64_t(lastKey) + 1) >> IdTable::s_pageBits) > page;
      if (--live[page] == 0 && allIssued) {
        delete[] pages[page];
        pages[page] = nullptr;
      }
    }
  };

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
      IdTablePages byKey;
      unsigned int lastKey = 0;

      unsigned int nextKey() {
        // After a wrap around, keys still in use are skipped; 0 means "not registered".
        do
          ++lastKey;
        while (lastKey == 0 || byKey.occupied(lastKey));
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
    reg.byKey.set(entry->key, address);
    return entry->key;
  }

  unsigned int IdTable::getKey(std::uintptr_t address) {
    const Entry* entry = registry().entries.find(address);
    return entry == nullptr ? 0 : entry->key;
  }

  bool IdTable::remove(std::uintptr_t address) {
    Registry& reg = registry();
    const Entry* entry = reg.entries.find(address);
    if (entry == nullptr)
      return false;
    reg.byKey.clear(entry->key, reg.lastKey);
    return reg.entries.erase(address);
  }

  const char* IdTable::getTypeName(std::uintptr_t address) {
    const Registry& reg = registry();
    const Entry* entry = reg.entries.find(address);
    return entry == nullptr ? nullptr : reg.typeNames[entry->typeIndex];
  }

  std::size_t IdTable::size() { return registry().entries.size(); }

  void IdTable::output(std::ostream& os) {
    const Registry& reg = registry();
    reg.entries.forEach([&os, &reg](std::uintptr_t address, const Entry& entry) {
      os << "0x" << std::hex << address << std::dec << " id_" << entry.key << " "
         << reg.typeNames[entry.typeIndex] << "\n";
    });
  }

}
