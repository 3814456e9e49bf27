#include "Utils/base/Utils.hh"

#include <gtest/gtest.h>

#include <limits>

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

}
