#ifndef KADRIX_TESTS_UTILS_CHECKHELPERS_HH
#define KADRIX_TESTS_UTILS_CHECKHELPERS_HH

#include "Utils/base/Debug.hh"
#include "Utils/base/Error.hh"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

namespace KADRIX {
  namespace TestModel {

    /** Runs the function and returns the Error it raises (a test failure when it raises none). */
    template <class F> Error failureOf(F f) {
      try {
        f();
      } catch (const Error& e) {
        return e;
      }
      ADD_FAILURE() << "no check failed";
      return Error("(no failure)", "", 0);
    }

    /** Enables the debug sites whose marker begins with a pattern and collects what they write. */
    class DebugCapture {
    public:
      explicit DebugCapture(const std::string& pattern) {
        DebugMessage::setStream(m_os);
        DebugMessage::enableMatching(pattern);
      }
      ~DebugCapture() {
        DebugMessage::disableAll();
        DebugMessage::setStream(std::cerr);
      }
      std::string text() const { return m_os.str(); }

    private:
      std::ostringstream m_os;
    };

  }
}

/** Expects the statement to fail a check with this condition text and message. */
#define EXPECT_CHECK_FAILS(statement, condition, message)                         \
  do {                                                                            \
    KADRIX::Error kadrix_e_ = KADRIX::TestModel::failureOf([&]() { statement; }); \
    EXPECT_EQ(std::string(condition), kadrix_e_.getCondition());                  \
    EXPECT_EQ(std::string(message), kadrix_e_.getMessage());                      \
  } while (0)

#endif
