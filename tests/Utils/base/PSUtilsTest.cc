#include "Utils/base/PSUtils.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <memory>

namespace KADRIX {

  TEST(PSUtilsTest, ListHoldsButDoesNotOwnPointers) {
    std::unique_ptr<int> one(new int(1)), two(new int(2));
    {
      PSList<int*> list;
      list.push_back(one.get());
      list.push_back(one.get());
      list.get(1) = two.get();
      list.remove(one.get());
      EXPECT_EQ(list.size(), 1);
      EXPECT_EQ(list.get(0), two.get());
      EXPECT_CHECK_FAILS(list.get(1), "index >= 0 && index < size()",
                         "Index 1 is out of range for a list of 1 elements.");
    }
    EXPECT_EQ(*one, 1) << "destroying the list leaves the elements alone";
    EXPECT_EQ(*two, 2);
  }

}
