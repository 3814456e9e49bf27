#ifndef KADRIX_UTILS_ENTITY_HH
#define KADRIX_UTILS_ENTITY_HH

#include "Utils/base/Debug.hh"
#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/PSUtils.hh"

#include <string>

namespace KADRIX {

  class Entity;
  typedef Id<Entity> EntityId;

  /**
   * The base of tokens, objects, variables and constraints. Every entity gets
   * a unique integer key at construction (from a counter starting at 1) and can
   * be found by it until its destructor runs.
   *
   * An entity that is referred to by handle must have Entity as its first,
   * non-virtual base, so that the handles of the subclass and of Entity share
   * one registered address; Entity::getEntity() relies on that registration.
   *
   * Discarding: the first discard() runs the virtual handleDiscard(); later
   * calls do nothing. A handleDiscard() that fails a check before changing
   * anything leaves the entity undiscarded. discard(true) then deletes the entity at once;
   * destructors call discard(false), which only runs handleDiscard().
   *
   * Reference counts start at 1. decRefCount() discards the entity when it
   * releases the last reference; when the entity is already being discarded or
   * destroyed, reaching 0 does nothing more.
   */
  class Entity : public virtual PSEntity {
  public:
    Entity();
    virtual ~Entity() noexcept(false);

    PSEntityKey getKey() const override { return m_key; }
    /** getName()'s text. */
    const std::string& getEntityName() const override;
    /** "ENTITY"; subclasses name their kind. */
    const std::string& getEntityType() const override;
    /** One line: the name and the key in parentheses. */
    std::string toString() const override;
    std::string toLongString() const override;

    static const LabelStr& entityTypeName();
    virtual const LabelStr& entityType() const;
    /** The entity's name; the base gives its entity type. */
    virtual const LabelStr& getName() const;
    virtual bool canBeCompared(const Id<Entity>& entity) const;
    /** The base step of discarding; an override calls it last. */
    virtual void handleDiscard();
    virtual void notifyDiscarded(const Entity* entity);

    /**
     * The live entity with this key, or the null handle. An entity is found
     * until its destructor runs (also while it is being discarded), provided
     * its address is registered as a handle.
     */
    static Id<Entity> getEntity(int key);

    /**
     * The first call runs handleDiscard(); with pool true the entity is then
     * deleted (only by the outermost such call). The reference count is not
     * looked at. Callers that pass true hold no handle to it afterwards.
     */
    void discard(bool pool = true);
    bool isDiscarded() const { return m_discarded; }

    void incRefCount();
    /** Releases one reference; returns true when it was the last one (then the entity is discarded). */
    bool decRefCount();
    unsigned int refCount() const { return m_refCount; }

    /** True while the entity layer purges: tokens and objects then skip their cascades. */
    static bool isPurging();
    static void purgeStart();
    static void purgeEnd();
    /** Deletes entities discarded into a pool; discard(true) deletes at once, so nothing is left. */
    static void garbageCollect();

    /** The entity set with setExternalEntity(), or the null handle. Kept aside: few entities have one. */
    const Id<Entity>& getExternalEntity() const {
      return m_hasExternalEntity ? externalEntity() : Id<Entity>::noId();
    }
    void setExternalEntity(const Id<Entity>& entity);

    /** Discards every entity of a container of valid entity handles, then empties it. */
    template <class C> static void discardAll(C& objects);

    Entity(const Entity&) = delete;
    Entity& operator=(const Entity&) = delete;

  private:
    const Id<Entity>& externalEntity() const;

    const PSEntityKey m_key;
    unsigned int m_refCount;
    bool m_discarded;
    bool m_deleting;
    bool m_hasExternalEntity; // an entry in the registry's table of external entities
  };

  /** Orders handles of entities by entity key; both handles must be valid. */
  template <class T> class EntityComparator {
  public:
    bool operator()(const T& t1, const T& t2) const {
      KADRIX_CHECK_MSG(t1.isValid(), t1);
      KADRIX_CHECK_MSG(t2.isValid(), t2);
      if (!t1.isValid() || !t2.isValid())
        return false;
      return t1->getKey() < t2->getKey();
    }
  };

  template <class C> void Entity::discardAll(C& objects) {
    for (typename C::iterator it = objects.begin(); it != objects.end(); ++it) {
      KADRIX_CHECK((*it).isValid());
      if (!(*it).isValid())
        continue;
      Entity* entity = static_cast<Entity*>((*it).operator->());
      entity->discard(true);
    }
    objects.clear();
  }

}

#endif
