#include "Utils/base/Entity.hh"

#include <limits>
#include <sstream>
#include <vector>
#include "Utils/base/HashTable.hh"

namespace KADRIX {

  namespace {
    /**
     * The live entities by key. Keys come from a counter, so the table is an
     * array indexed by key, in pages of PAGE_SIZE keys. Invariant: slot k of
     * a page holds the live entity of key k, or null; live[p] counts the
     * entities in page p, and a page whose keys were all issued is freed when
     * live[p] drops to 0. Entities with an external entity have it in
     * `external` under their key.
     */
    struct EntityRegistry {
      static const unsigned int PAGE_BITS = 12;
      static const unsigned int PAGE_SIZE = 1u << PAGE_BITS;

      std::vector<Entity**> pages;
      std::vector<unsigned int> live;
      HashTable<int, Id<Entity> > external;
      int lastKey = 0;
      bool purging = false;

      void insert(int key, Entity* entity) {
        const size_t page = static_cast<size_t>(key) >> PAGE_BITS;
        if (page >= pages.size()) {
          pages.resize(page + 1, nullptr);
          live.resize(page + 1, 0);
        }
        if (pages[page] == nullptr)
          pages[page] = new Entity*[PAGE_SIZE]();
        pages[page][key & (PAGE_SIZE - 1)] = entity;
        ++live[page];
      }

      Entity* find(int key) const {
        if (key <= 0)
          return nullptr;
        const size_t page = static_cast<size_t>(key) >> PAGE_BITS;
        return page < pages.size() && pages[page] != nullptr ? pages[page][key & (PAGE_SIZE - 1)] : nullptr;
      }

      void erase(int key) {
        const size_t page = static_cast<size_t>(key) >> PAGE_BITS;
        pages[page][key & (PAGE_SIZE - 1)] = nullptr;
        const bool allIssued = ((static_cast<size_t>(lastKey) + 1) >> PAGE_BITS) > page;
        if (--live[page] == 0 && allIssued) {
          delete[] pages[page];
          pages[page] = nullptr;
        }
      }
    };

    // Never destroyed, so entities can be made and found during static initialisation and destruction.
    EntityRegistry& registry() {
      static EntityRegistry* const s_registry = new EntityRegistry();
      return *s_registry;
    }
  }

  namespace {
    int nextEntityKey() {
      EntityRegistry& reg = registry();
      KADRIX_CHECK_MSG(reg.lastKey < std::numeric_limits<int>::max(),
                       "No entity key is left: " << reg.lastKey << " entities were made.");
      return ++reg.lastKey;
    }
  }

  Entity::Entity()
    : m_key(nextEntityKey()), m_refCount(1), m_discarded(false), m_deleting(false),
      m_hasExternalEntity(false) {
    registry().insert(m_key, this);
  }

  Entity::~Entity() noexcept(false) {
    m_deleting = true;
    discard(false);
    EntityRegistry& reg = registry();
    reg.erase(m_key);
    if (m_hasExternalEntity)
      reg.external.erase(m_key);
  }

  void Entity::setExternalEntity(const Id<Entity>& entity) {
    EntityRegistry& reg = registry();
    if (m_hasExternalEntity)
      reg.external.erase(m_key);
    m_hasExternalEntity = !entity.isNoId();
    if (m_hasExternalEntity)
      reg.external.insert(m_key, entity);
  }

  const Id<Entity>& Entity::externalEntity() const {
    const Id<Entity>* entity = registry().external.find(m_key);
    return entity != nullptr ? *entity : Id<Entity>::noId();
  }

  const std::string& Entity::getEntityName() const { return getName().toString(); }

  const std::string& Entity::getEntityType() const {
    static const std::string* const s_type = new std::string("ENTITY");
    return *s_type;
  }

  std::string Entity::toString() const {
    std::ostringstream os;
    os << getName().toString() << "(" << m_key << ")";
    return os.str();
  }

  std::string Entity::toLongString() const { return toString(); }

  const LabelStr& Entity::entityTypeName() {
    static const LabelStr sl_type("Entity");
    return sl_type;
  }

  const LabelStr& Entity::entityType() const { return entityTypeName(); }

  const LabelStr& Entity::getName() const { return entityType(); }

  bool Entity::canBeCompared(const Id<Entity>&) const { return true; }

  void Entity::handleDiscard() {}

  void Entity::notifyDiscarded(const Entity*) {}

  Id<Entity> Entity::getEntity(int key) {
    Entity* entity = registry().find(key);
    if (entity == nullptr)
      return Id<Entity>::noId();
    unsigned int idKey = IdTable::getKey(reinterpret_cast<std::uintptr_t>(entity));
    if (idKey == 0)
      return Id<Entity>::noId();
    return Id<Entity>(entity, idKey);
  }

  void Entity::discard(bool pool) {
    if (m_discarded)
      return;
    m_discarded = true;
    try {
      handleDiscard();
    } catch (...) {
      // A refused discard changes nothing: the entity may be discarded later.
      m_discarded = false;
      throw;
    }
    if (pool && !m_deleting) {
      m_deleting = true;
      delete this;
    }
  }

  void Entity::incRefCount() { ++m_refCount; }

  bool Entity::decRefCount() {
    if (m_refCount > 0)
      --m_refCount;
    if (m_refCount > 0)
      return false;
    if (!m_discarded && !m_deleting)
      discard(true);
    return true;
  }

  bool Entity::isPurging() { return registry().purging; }

  void Entity::purgeStart() { registry().purging = true; }

  void Entity::purgeEnd() { registry().purging = false; }

  void Entity::garbageCollect() {}

}
