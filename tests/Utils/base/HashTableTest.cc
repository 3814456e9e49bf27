#include "Utils/base/HashTable.hh"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>

namespace KADRIX {

  TEST(HashTableTest, AgreesWithAnOrderedMapUnderRandomChurn) {
    HashTable<std::uintptr_t, int> table;
    std::map<std::uintptr_t, int> reference;
    std::mt19937 random(7);
    // Few distinct, clustered keys so that probe runs collide, wrap and shift.
    std::uniform_int_distribution<std::uintptr_t> keys(1, 3000);
    for (int step = 0; step < 200000; ++step) {
      std::uintptr_t key = keys(random) * 16;
      switch (random() % 3) {
        case 0: {
          bool fresh = reference.emplace(key, step).second;
          int* stored = table.insert(key, step);
          ASSERT_EQ(stored != nullptr, fresh) << step;
          break;
        }
        case 1:
          ASSERT_EQ(table.erase(key), reference.erase(key) == 1) << step;
          break;
        default: {
          auto it = reference.find(key);
          int* found = table.find(key);
          ASSERT_EQ(found != nullptr, it != reference.end()) << step;
          if (found != nullptr) {
            ASSERT_EQ(*found, it->second) << step;
          }
        }
      }
      ASSERT_EQ(table.size(), reference.size());
    }
    std::size_t visited = 0;
    table.forEach([&](std::uintptr_t key, int value) {
      ++visited;
      EXPECT_EQ(reference.at(key), value);
    });
    EXPECT_EQ(visited, reference.size());
  }

  TEST(HashTableTest, ZeroIsNeverAKey) {
    HashTable<int, int> table;
    EXPECT_EQ(table.insert(0, 1), nullptr);
    EXPECT_EQ(table.find(0), nullptr);
    EXPECT_FALSE(table.erase(0));
    ASSERT_NE(table.insert(-5, 2), nullptr);
    EXPECT_EQ(*table.find(-5), 2);
    EXPECT_EQ(table.find(0), nullptr);
    EXPECT_EQ(table.size(), 1u);
  }

}
