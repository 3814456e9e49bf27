#include "Utils/base/Entity.hh"

#include <limits>
#include <sstream>
#include "Utils/base/HashTable.hh"

namespace KADRIX {

  namespace {
    struct EntityRegistry {
      HashTable<int, Entity*> byKey;
      int lastKey = 0;
      bool purging = false;
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

  Entity::Entity() : m_key(nextEntityKey()), m_refCount(1), m_discarded(false), m_deleting(false) {
    registry().byKey.insert(m_key, this);
  }

  Entity::~Entity() noexcept(false) {
    m_deleting = true;
    discard(false);
    registry().byKey.erase(m_key);
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
    Entity* const* found = registry().byKey.find(key);
    if (found == nullptr)
      return Id<Entity>::noId();
    Entity* entity = *found;
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
