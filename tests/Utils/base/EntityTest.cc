#include "Utils/base/Entity.hh"
#include "Utils/base/EntityIterator.hh"
#include "Utils/base/Utils.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <functional>
#include <list>
#include <set>
#include <vector>

namespace KADRIX {
  namespace {

    class Part;
    typedef Id<Part> PartId;

    // A typical entity: registers its own handle, removes it when destroyed.
    class Part : public Entity {
    public:
      explicit Part(const std::string& name = "part") : m_id(this), m_name(name) {}
      ~Part() noexcept(false) override {
        discard(false);
        ++s_destroyed;
        m_id.remove();
      }
      const PartId& getId() const { return m_id; }
      const LabelStr& getName() const override { return m_name; }

      void handleDiscard() override {
        ++m_discards;
        m_foundWhileDiscarding = Entity::getEntity(getKey()).isValid();
        if (onDiscard)
          onDiscard(*this);
        Entity::handleDiscard();
      }

      static int s_destroyed;
      int m_discards = 0;
      bool m_foundWhileDiscarding = false;
      std::function<void(Part&)> onDiscard;

    private:
      PartId m_id;
      LabelStr m_name;
    };
    int Part::s_destroyed = 0;

    class EntityTest : public testing::Test {
    protected:
      void SetUp() override { Part::s_destroyed = 0; }
    };

    std::vector<int> keysOf(const std::set<PartId, EntityComparator<PartId>>& parts) {
      std::vector<int> keys;
      for (const PartId& part : parts)
        keys.push_back(part->getKey());
      return keys;
    }
  }

  TEST_F(EntityTest, KeysAndLookUp) {
    Part* a = new Part("a");
    Part* b = new Part("b");
    EXPECT_EQ(b->getKey(), a->getKey() + 1);
    EXPECT_EQ(Entity::getEntity(0), Id<Entity>::noId());

    EXPECT_EQ(PartId(Entity::getEntity(a->getKey())), a->getId()) << "casts back to the part's handle";

    const int key = a->getKey();
    b->onDiscard = [](Part& p) { p.discard(true); }; // re-entrant: nothing more
    b->incRefCount(); // discard ignores the count
    b->discard(true);
    a->discard();
    EXPECT_EQ(Part::s_destroyed, 2);
    EXPECT_TRUE(Entity::getEntity(key).isNoId());

    Part* kept = new Part();
    kept->discard(false);
    kept->discard(true);
    EXPECT_EQ(kept->m_discards, 1);
    EXPECT_EQ(Part::s_destroyed, 2) << "only the first discard decides";
    EXPECT_TRUE(kept->m_foundWhileDiscarding) << "still found by key during its own discard";
    delete kept;
  }

  TEST_F(EntityTest, LookUpAcrossManyKeysAndExternalEntities) {
    // Enough entities to fill several pages of keys; most go again, in both orders.
    std::vector<Part*> parts;
    for (int i = 0; i < 10000; ++i)
      parts.push_back(new Part());
    const int first = parts.front()->getKey();
    const int last = parts.back()->getKey();
    EXPECT_TRUE(Entity::getEntity(-first).isNoId());
    EXPECT_TRUE(Entity::getEntity(last + 1).isNoId());
    parts[9000]->setExternalEntity(parts[5]->getId());
    parts[5]->setExternalEntity(parts[9000]->getId());
    for (size_t i = 0; i < parts.size(); ++i)
      if (i != 5 && i != 9000 && (i < 3000 || i % 7 != 0))
        delete parts[i];
    for (int key = first; key <= last; ++key) {
      const size_t i = static_cast<size_t>(key - first);
      const bool kept = i == 5 || i == 9000 || (i >= 3000 && i % 7 == 0);
      EXPECT_EQ(Entity::getEntity(key).isValid(), kept) << key;
      if (kept) {
        EXPECT_EQ(Entity::getEntity(key).get(), static_cast<Entity*>(parts[i])) << key;
        EXPECT_EQ(parts[i]->getExternalEntity().isNoId(), i != 5 && i != 9000) << key;
      }
    }
    EXPECT_EQ(parts[5]->getExternalEntity(), Id<Entity>(parts[9000]->getId()));
    parts[5]->setExternalEntity(Id<Entity>::noId());
    EXPECT_TRUE(parts[5]->getExternalEntity().isNoId());
    EXPECT_EQ(parts[9000]->getExternalEntity(), Id<Entity>(parts[5]->getId()));
    for (size_t i = 0; i < parts.size(); ++i)
      if (i == 5 || i == 9000 || (i >= 3000 && i % 7 == 0))
        delete parts[i];
    Part* next = new Part();
    EXPECT_EQ(next->getKey(), last + 1) << "keys are never reused";
    EXPECT_TRUE(Entity::getEntity(last).isNoId());
    EXPECT_TRUE(next->getExternalEntity().isNoId());
    delete next;
  }

  TEST_F(EntityTest, LastReferenceReleasedWhileDiscardingDoesNothingMore) {
    Part* once = new Part();
    once->incRefCount();
    EXPECT_FALSE(once->decRefCount());
    EXPECT_TRUE(once->decRefCount());
    EXPECT_EQ(Part::s_destroyed, 1);

    Part* part = new Part();
    part->incRefCount();
    int discardsSeen = 0;
    part->onDiscard = [&](Part& p) {
      EXPECT_FALSE(p.decRefCount());
      EXPECT_TRUE(p.decRefCount()); // reaches 0: the outer discard still owns the deletion
      EXPECT_TRUE(p.decRefCount()); // never below 0
      discardsSeen = p.m_discards;
    };
    part->discard(true);
    EXPECT_EQ(discardsSeen, 1);
    EXPECT_EQ(Part::s_destroyed, 2);

    // Released from the destructor: no second deletion either.
    Part* direct = new Part();
    direct->onDiscard = [](Part& p) { p.decRefCount(); };
    delete direct;

    // Reaching 0 through decRefCount from inside handleDiscard of a count-driven discard.
    Part* counted = new Part();
    counted->onDiscard = [](Part& p) {
      p.incRefCount();
      p.decRefCount();
    };
    EXPECT_TRUE(counted->decRefCount());
    EXPECT_EQ(Part::s_destroyed, 4);
  }

  TEST_F(EntityTest, ComparatorOrdersByKeyAndRejectsInvalidHandles) {
    std::vector<Part*> parts;
    for (int i = 0; i < 3; ++i)
      parts.push_back(new Part());
    std::set<PartId, EntityComparator<PartId>> keyed{parts[2]->getId(), parts[0]->getId(), parts[1]->getId(),
                                                     parts[1]->getId()};
    EXPECT_EQ(keysOf(keyed), (std::vector<int>{parts[0]->getKey(), parts[1]->getKey(), parts[2]->getKey()}));

    Error e = TestModel::failureOf([&] { keyed.insert(PartId::noId()); });
    EXPECT_TRUE(e.getCondition() == "t1.isValid()" || e.getCondition() == "t2.isValid()") << e.getCondition();
    EXPECT_EQ(e.getMessage(), "noId");
    EXPECT_EQ(e.getFile(), "Utils/base/Entity");

    Part* gone = new Part();
    PartId stale = gone->getId();
    std::string printed = "id_" + std::to_string(stale.getKey());
    gone->discard();
    e = TestModel::failureOf([&] { keyed.find(stale); });
    EXPECT_EQ(e.getMessage(), printed);
    Entity::discardAll(keyed);
    EXPECT_EQ(Part::s_destroyed, 4);
  }

  TEST_F(EntityTest, DiscardAllVariants) {
    std::vector<PartId> withStale{(new Part())->getId()};
    PartId stale = withStale.front();
    stale->discard();
    withStale.push_back((new Part())->getId());
    Error e = TestModel::failureOf([&] { Entity::discardAll(withStale); });
    EXPECT_EQ(e.getCondition(), "(*it).isValid()");
    Entity::discardAll(withStale = {withStale.back()});

    std::list<PartId> list{PartId::noId(), (new Part())->getId(), (new Part())->getId()};
    discardAll(list);
    EXPECT_EQ(Part::s_destroyed, 4);

    Part* lost = new Part();
    std::list<PartId> staleList{lost->getId()};
    lost->discard();
    e = TestModel::failureOf([&] { discardAll(staleList); });
    EXPECT_EQ(e.getCondition(), "object.isValid()");
    EXPECT_EQ(e.getFile(), "Utils/base/Utils");
  }

  TEST_F(EntityTest, Cleanup) {
    class Owned {
    public:
      explicit Owned(int& deleted) : m_id(this), m_deleted(deleted) {}
      virtual ~Owned() noexcept(false) {
        ++m_deleted;
        if (m_id.isValid())
          m_id.remove();
      }
      const Id<Owned>& getId() const { return m_id; }

    private:
      Id<Owned> m_id;
      int& m_deleted;
    };
    int deleted = 0;
    std::set<Id<Owned>> owned;
    for (int i = 0; i < 4; ++i)
      owned.insert((new Owned(deleted))->getId());
    cleanup(owned);
    EXPECT_EQ(deleted, 4);

    Owned* kept = new Owned(deleted);
    Id<Owned> stale = kept->getId();
    Id<Owned> remover = stale;
    remover.remove();
    std::set<Id<Owned>> withStale{stale};
    Error e = TestModel::failureOf([&] { cleanup(withStale); });
    EXPECT_EQ(e.getCondition(), "(*it).isValid()");
    EXPECT_EQ(deleted, 4) << "the object behind an invalid handle is not deleted";
    delete kept;
  }

  TEST_F(EntityTest, IteratorOverKeyedSet) {
    std::set<PartId, EntityComparator<PartId>> keyed;
    for (int i = 0; i < 3; ++i)
      keyed.insert((new Part())->getId());
    typedef std::set<PartId, EntityComparator<PartId>>::const_iterator It;

    EntityIterator<It>* it = new EntityIterator<It>(keyed.begin(), keyed.end());
    Id<Iterator> itId = it->getId();
    std::vector<int> keys;
    while (!it->done()) {
      keys.push_back(it->next()->getKey());
      EXPECT_EQ(it->visited(), keys.size());
    }
    EXPECT_EQ(keys, keysOf(keyed));
    EXPECT_CHECK_FAILS(it->next(), "!done()", "Cannot advance an item since the iterator is done.");
    delete it;
    EXPECT_FALSE(itId.isValid());
    Entity::discardAll(keyed);
  }

}
