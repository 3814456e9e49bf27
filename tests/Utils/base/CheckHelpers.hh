#ifndef KADRIX_TESTS_UTILS_CHECKHELPERS_HH
#define KADRIX_TESTS_UTILS_CHECKHELPERS_HH

#include "Utils/base/Error.hh"

#include <gtest/gtest.h>

#include <string>

namespace KADRIX {
  namespace test {

    /** Runs the function and returns the Error it raises (a test failure when it raises none). */
    template <class F>
    Error failureOf(F f) {
      try {
        f();
      } catch (const Error& e) {
        return e;
      }
      ADD_FAILURE() << "no check failed";
      return Error("(no failure)", "", 0);
    }

  }
}

/** Expects the statement to fail a check with this condition text and message. */
#define EXPECT_CHECK_FAILS(statement, condition, message)                      \
  do {                                                                         \
    KADRIX::Error kadrix_e_ = KADRIX::test::failureOf([&]() { statement; });   \
    EXPECT_EQ(kadrix_e_.getCondition(), condition);                           \
    EXPECT_EQ(kadrix_e_.getMessage(), message);                               \
  } while (0)

#endif
