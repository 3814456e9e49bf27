#include "Utils/base/Debug.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <stdexcept>

namespace KADRIX {
  namespace {
    int g_built = 0;

    std::string counted(const std::string& text) {
      ++g_built;
      return text;
    }

    // Fails a check in its destructor, as an entity destructor may.
    struct FailsWhenDestroyed {
      ~FailsWhenDestroyed() noexcept(false) { KADRIX_CHECK_MSG(1 + 1 == 3, "broken while unwinding"); }
    };
  }

  TEST(ErrorTest, FieldsAndReport) {
    Error full("x > 0", "Bad value 3.", "SomeLabel", "/src/tree/src/PlanDatabase/base/Token.cc", 12);
    EXPECT_EQ(full.getFile(), "PlanDatabase/base/Token");
    EXPECT_STREQ(full.what(), "PlanDatabase/base/Token:12: x > 0 [SomeLabel]: Bad value 3.");

    Error plain("ALWAYS_FAILS", "Utils/base/Utils", 3);
    EXPECT_STREQ(plain.what(), "Utils/base/Utils:3: ALWAYS_FAILS");

    Error message("c", "m", "ConstraintEngine/base/Domain.hh", 5);
    EXPECT_STREQ(message.what(), "ConstraintEngine/base/Domain:5: c: m");
  }

  TEST(ErrorTest, SourcePaths) {
    EXPECT_EQ(Error::sourcePath("Utils/base/Id.hh"), "Utils/base/Id");
    EXPECT_EQ(Error::sourcePath("/home/me/kadrix/src/ConstraintEngine/base/Domain.cc"),
              "ConstraintEngine/base/Domain");
    EXPECT_EQ(Error::sourcePath("/usr/include/kadrix/Utils/base/Entity.hh"), "Utils/base/Entity");
    EXPECT_EQ(Error::sourcePath("/a/MyUtils/b.v2/file"), "/a/MyUtils/b.v2/file");
  }

  TEST(ErrorTest, ChecksReportTheirConditionMessageAndSite) {
    int x = -2;
    int line = __LINE__ + 1;
    Error e = TestModel::failureOf([&] { KADRIX_CHECK_MSG(x > 0, "Bad value " << x << "."); });
    EXPECT_EQ(e.getCondition(), "x > 0");
    EXPECT_EQ(e.getMessage(), "Bad value -2.");
    EXPECT_EQ(e.getFile(), "Utils/base/ErrorTest");
    EXPECT_EQ(e.getLine(), line);

    EXPECT_CHECK_FAILS(KADRIX_CHECK(x >= 0), "x >= 0", "");
    EXPECT_CHECK_FAILS(KADRIX_CHECK_TEXT(x > 0, "m_id", "no id"), "m_id", "no id");
    EXPECT_CHECK_FAILS(KADRIX_FAIL("never " << 1), "ALWAYS_FAILS", "never 1");
    EXPECT_EQ(TestModel::failureOf([&] { KADRIX_CHECK_LABEL(x == 1, "label " << x, "L"); }).getLabel(), "L");

    g_built = 0;
    KADRIX_CHECK_MSG(x < 0, counted("unused"));
    KADRIX_CHECK_TEXT(x < 0, "t", counted("unused"));
    EXPECT_EQ(g_built, 0) << "messages are built only on failure";
  }

  TEST(ErrorTest, NoTerminationWhileUnwinding) {
    testing::internal::CaptureStderr();
    try {
      FailsWhenDestroyed guard;
      throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "first");
    }
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("1 + 1 == 3: broken while unwinding"), std::string::npos) << report;

    // Without an exception in flight the same check raises.
    EXPECT_CHECK_FAILS({ FailsWhenDestroyed guard; }, "1 + 1 == 3", "broken while unwinding");
  }

}
