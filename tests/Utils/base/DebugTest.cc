#include "Utils/base/Debug.hh"

#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <streambuf>

namespace KADRIX {
  namespace {

    // A buffer that fails every write.
    class BrokenBuffer : public std::streambuf {
    protected:
      int_type overflow(int_type) override { return traits_type::eof(); }
      std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
    };

    class DebugTest : public testing::Test {
    protected:
      void SetUp() override {
        DebugMessage::disableAll();
        m_saved = DebugMessage::streamPtr();
        DebugMessage::setStream(m_out);
      }
      void TearDown() override {
        DebugMessage::disableAll();
        DebugMessage::streamPtr() = m_saved;
      }

      std::ostringstream m_out;
      std::ostream* m_saved = nullptr;
    };

    int g_lastLine = 0;
    int g_evaluated = 0;

    void schemaSite(const std::string& schemaName, const std::string& typeName) {
      g_lastLine = __LINE__ + 1;
      KADRIX_DEBUG("Schema:declareObjectType", "[" << schemaName << "] "
                                                   << "Declaring object type " << typeName);
    }

    void conditionalSite(bool condition) {
      KADRIX_COND_DEBUG((++g_evaluated, condition), "Test:conditional", "shown");
    }

    struct WritesWhenDestroyed {
      ~WritesWhenDestroyed() noexcept(false) { KADRIX_DEBUG("Test:destructor", "gone"); }
    };

    const DebugMessage* findSite(const std::string& marker) {
      const DebugMessage* found = nullptr;
      int count = 0;
      for (const DebugMessage* msg : DebugMessage::allMsgs())
        if (msg->getMarker() == marker) {
          found = msg;
          ++count;
        }
      EXPECT_LE(count, 1) << marker << " registered more than once";
      return found;
    }
  }

  TEST_F(DebugTest, SitesRegisterOnceAndWriteOnlyWhenEnabled) {
    m_out.exceptions(std::ios::failbit);
    schemaSite("EngineSchema", "Rover");
    EXPECT_EQ(m_out.str(), "");
    EXPECT_EQ(m_out.exceptions(), std::ios::failbit) << "the mask stays as it was";
    const DebugMessage* site = findSite("Schema:declareObjectType");
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->getLine(), g_lastLine);
    EXPECT_EQ(DebugMessage::addMsg(__FILE__, g_lastLine, "Schema:declareObjectType"), site);

    // Enabled by prefix: only matching sites write, one line each.
    g_evaluated = 0;
    conditionalSite(true);
    EXPECT_EQ(g_evaluated, 0) << "the condition is evaluated only when enabled";
    DebugMessage::enableMatching("Test");
    schemaSite("S", "T");
    conditionalSite(true);
    conditionalSite(false);
    EXPECT_EQ(g_evaluated, 2);
    EXPECT_EQ(m_out.str(), "[Test:conditional]shown\n");
    EXPECT_EQ(m_out.exceptions(), std::ios::badbit);
    m_out.str("");
    DebugMessage::enableAll();
    schemaSite("EngineSchema", "Rover");
    EXPECT_EQ(m_out.str(), "[Schema:declareObjectType][EngineSchema] Declaring object type Rover\n");
    DebugMessage::disableAll();
    m_out.str("");
    // Patterns also apply to sites registered later.
    DebugMessage::enableMatching("Late:");
    KADRIX_DEBUG("Late:site", "x=" << 1);
    EXPECT_EQ(m_out.str(), "[Late:site]x=1\n");
  }

  TEST_F(DebugTest, StreamFailureIsReportedAndPassedOn) {
    BrokenBuffer broken;
    std::ostream bad(&broken);
    DebugMessage::setStream(bad);
    DebugMessage::enableMatching("Schema:declareObjectType");
    testing::internal::CaptureStderr();
    EXPECT_THROW(schemaSite("S", "T"), std::ios_base::failure);
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("Utils/base/DebugTest:" + std::to_string(g_lastLine) + ": ALWAYS_FAIL: "),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("ALWAYS_FAILS"), std::string::npos);

    // Reported once, also when every error is displayed anyway.
    Error::displayErrors(true);
    testing::internal::CaptureStderr();
    EXPECT_THROW(schemaSite("S", "T"), std::ios_base::failure);
    report = testing::internal::GetCapturedStderr();
    Error::displayErrors(false);
    EXPECT_EQ(report.find("ALWAYS_FAIL"), report.rfind("ALWAYS_FAIL")) << report;
    EXPECT_NE(report.find("ALWAYS_FAIL"), std::string::npos);
  }

  TEST_F(DebugTest, StreamFailureWhileUnwindingDoesNotTerminate) {
    std::ostringstream bad;
    bad.setstate(std::ios::badbit);
    DebugMessage::setStream(bad);
    DebugMessage::enableMatching("Test:destructor");
    testing::internal::CaptureStderr();
    try {
      WritesWhenDestroyed writer;
      throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "first");
    }
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ALWAYS_FAIL"), std::string::npos);
  }

}
