// Labels, numbers as text, splitting text, and the public list.

#include "Utils/base/LabelStr.hh"
#include "Utils/base/PSUtils.hh"
#include "Utils/base/Utils.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>

namespace KADRIX {

  TEST(LabelStrTest, InterningAndKeys) {
    LabelStr a("LabelStrTest:alpha");
    LabelStr b(std::string("LabelStrTest:alpha"));
    EXPECT_EQ(a.getKey(), b.getKey());
    EXPECT_EQ(&a.toString(), &b.toString()) << "one stable text per label";
    EXPECT_EQ(LabelStr(a.getKey()), a);
    EXPECT_NE(a, LabelStr("LabelStrTest:beta"));
  }

  TEST(LabelStrTest, KeysFollowCreationOrderAndAvoidOrdinaryNumbers) {
    LabelStr zulu("LabelStrTest:zulu");
    LabelStr alpha("LabelStrTest:alpha-later");
    EXPECT_LT(zulu, alpha) << "keys follow creation, not the alphabet";
    EXPECT_EQ(alpha.getKey() - zulu.getKey(), 1.0);

    EXPECT_GE(zulu.getKey(), std::ldexp(1.0, 52));
    EXPECT_TRUE(LabelStr::isString(zulu.getKey()));
    for (double number :
         {0.0, -zulu.getKey(), std::ldexp(1.0, 52) - 0.5, std::ldexp(1.0, 53), std::nan(""), 268435455.0})
      EXPECT_FALSE(LabelStr::isString(number)) << number;

    EXPECT_CHECK_FAILS(LabelStr bad(1.0), "isString(key)", "The number 1 is not the key of a label.");
  }

  TEST(LabelStrTest, Elements) {
    LabelStr predicate("Rover.Navigate");
    EXPECT_EQ(predicate.countElements("."), 2u);
    EXPECT_EQ(predicate.getElement(1, std::string(".")), LabelStr("Navigate"));
    EXPECT_EQ(predicate.getElement(0, ":"), predicate);

    LabelStr empties("a..b");
    EXPECT_EQ(empties.countElements("."), 3u);
    EXPECT_EQ(LabelStr("Rover.").getElement(1, ".").toString(), "");
    EXPECT_EQ(LabelStr("").countElements("."), 1u);
    EXPECT_EQ(LabelStr("a.b:c").countElements(".:"), 3u);

    Error e = TestModel::failureOf([&] { predicate.getElement(2, "."); });
    EXPECT_EQ(e.getCondition(), "pos != std::string::npos");
    EXPECT_EQ(e.getMessage(), "Cannot get element 2 of \"Rover.Navigate\": it has only 2 elements.");
  }

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
