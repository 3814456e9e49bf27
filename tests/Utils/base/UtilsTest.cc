#include "Utils/base/Utils.hh"
#include "Utils/base/PSUtils.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace KADRIX {

  TEST(UtilsTest, NumbersAsText) {
    EXPECT_EQ(toString(-0.0), "0");
    EXPECT_EQ(toString(9007199254740992.0), "9007199254740992");
    EXPECT_EQ(toString(1e300), "1e+300");
    EXPECT_EQ(toString(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(toString(-std::numeric_limits<double>::infinity()), "-inf");
  }

  TEST(UtilsTest, TokenizeKeepsEmptyPieces) {
    std::vector<std::string> pieces;
    tokenize("1.0.2", pieces, ".");
    EXPECT_EQ(pieces, (std::vector<std::string>{"1", "0", "2"}));
    pieces.clear();
    tokenize(".a..b.", pieces, ".");
    EXPECT_EQ(pieces, (std::vector<std::string>{"", "a", "", "b", ""}));
    pieces.assign(1, "kept");
    tokenize("a:b.c", pieces, ":.");
    EXPECT_EQ(pieces, (std::vector<std::string>{"kept", "a", "b", "c"}));
  }

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
