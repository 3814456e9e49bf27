#ifndef KADRIX_UTILS_DEBUG_HH
#define KADRIX_UTILS_DEBUG_HH

#include "Utils/base/Error.hh"

#include <ios>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

/**
 * The source path that the checks and debug sites below report: the file they
 * stand in. A file that holds part of a class's code names the class's own
 * file instead, after its includes:
 *
 *   #undef KADRIX_SOURCE_FILE
 *   #define KADRIX_SOURCE_FILE "PlanDatabase/base/Token.cc"
 */
#ifndef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE __FILE__
#endif

/**
 * Checks. Each evaluates its condition; only when it is false is the message
 * built (its pieces are streamed, e.g. "Bad value " << x << ".") and an Error
 * with the condition text, message, label, source path and line reported
 * through Error::handleAssert().
 *
 *   KADRIX_CHECK(cond)                          condition text is #cond (may hold commas)
 *   KADRIX_CHECK_MSG(cond, pieces)
 *   KADRIX_CHECK_LABEL(cond, pieces, label)
 *   KADRIX_CHECK_TEXT(cond, "text", pieces)     condition text given explicitly
 *   KADRIX_FAIL(pieces)                         condition text "ALWAYS_FAILS"
 */
#define KADRIX_CHECK_REPORT_(text, pieces, label)                                                          \
  do {                                                                                                     \
    std::ostringstream kadrix_msg_;                                                                        \
    kadrix_msg_ << pieces;                                                                                 \
    (new KADRIX::Error((text), kadrix_msg_.str(), (label), KADRIX_SOURCE_FILE, __LINE__))->handleAssert(); \
  } while (0)

#define KADRIX_CHECK(...)                                                              \
  do {                                                                                 \
    if (!(__VA_ARGS__))                                                                \
      (new KADRIX::Error(#__VA_ARGS__, KADRIX_SOURCE_FILE, __LINE__))->handleAssert(); \
  } while (0)

#define KADRIX_CHECK_MSG(cond, pieces)                    \
  do {                                                    \
    if (!(cond))                                          \
      KADRIX_CHECK_REPORT_(#cond, pieces, std::string()); \
  } while (0)

#define KADRIX_CHECK_LABEL(cond, pieces, label)   \
  do {                                            \
    if (!(cond))                                  \
      KADRIX_CHECK_REPORT_(#cond, pieces, label); \
  } while (0)

#define KADRIX_CHECK_TEXT(cond, text, pieces)            \
  do {                                                   \
    if (!(cond))                                         \
      KADRIX_CHECK_REPORT_(text, pieces, std::string()); \
  } while (0)

#define KADRIX_FAIL(pieces) KADRIX_CHECK_TEXT(KADRIX::g_alwaysFails(), "ALWAYS_FAILS", pieces)

/**
 * Debug sites. A site registers itself once, on its first execution, under its
 * source path, line and marker; afterwards it costs one flag test while its
 * marker is disabled. When enabled it writes "[" marker "]" followed by the
 * pieces and a line end to the debug stream. A failure of the stream is
 * reported as a failed check "ALWAYS_FAIL" and the stream's own
 * std::ios_base::failure then leaves the operation.
 */
#define KADRIX_COND_DEBUG(cond, marker, pieces)                                                       \
  do {                                                                                                \
    static KADRIX::DebugMessage* const kadrix_dm_ =                                                   \
        KADRIX::DebugMessage::addMsg(KADRIX_SOURCE_FILE, __LINE__, (marker));                         \
    if (kadrix_dm_->isEnabled() && (cond)) {                                                          \
      try {                                                                                           \
        std::ostream& kadrix_os_ = KADRIX::DebugMessage::getStream();                                 \
        kadrix_os_.exceptions(std::ios::badbit);                                                      \
        kadrix_os_ << "[" << kadrix_dm_->getMarker() << "]" << pieces << std::endl;                   \
      } catch (const std::ios_base::failure& kadrix_failure_) {                                       \
        if (KADRIX::DebugMessage::reportStreamFailure(kadrix_failure_, KADRIX_SOURCE_FILE, __LINE__)) \
          throw;                                                                                      \
      }                                                                                               \
    }                                                                                                 \
  } while (0)

#define KADRIX_DEBUG(marker, pieces) KADRIX_COND_DEBUG(true, marker, pieces)

namespace KADRIX {

  /**
   * One registered debug site. Sites are registered once and live for the
   * whole process. Whether a site writes is decided here: enableAll() and
   * enableMatching() turn sites on (also sites registered later), disableAll()
   * turns every site off. Nothing is read from a file or the environment.
   */
  class DebugMessage {
  public:
    virtual ~DebugMessage();

    /**
     * The site registered under this source path (normalised like the paths
     * of checks), line and marker; registered now if there is none yet.
     */
    static DebugMessage* addMsg(const std::string& file, int line, const std::string& marker);

    bool isEnabled() const { return m_enabled; }
    void enable() { m_enabled = true; }
    void disable() { m_enabled = false; }

    const std::string& getFile() const { return m_file; }
    int getLine() const { return m_line; }
    const std::string& getMarker() const { return m_marker; }

    /** The process-wide debug stream pointer; it starts out at std::cerr. */
    static std::ostream*& streamPtr();
    static std::ostream& getStream() { return *streamPtr(); }
    static void setStream(std::ostream& os);

    /** Enables every site, now and later. */
    static void enableAll();
    /** Enables every site whose marker begins with the pattern, now and later. */
    static void enableMatching(const std::string& pattern);
    /** Disables every site and forgets the patterns. */
    static void disableAll();

    /** Every registered site, in order of registration. */
    static const std::vector<DebugMessage*>& allMsgs();

    /**
     * Reports a failure of the debug stream met at a site as the failed check
     * "ALWAYS_FAIL" with the failure's own text (written to std::cerr). Returns
     * whether the site should pass the failure on, which it should unless an
     * exception is already propagating.
     */
    static bool reportStreamFailure(const std::ios_base::failure& failure, const char* file, int line);

  private:
    DebugMessage(const std::string& file, int line, const std::string& marker, bool enabled);
    DebugMessage(const DebugMessage&) = delete;
    DebugMessage& operator=(const DebugMessage&) = delete;

    std::string m_file;
    int m_line;
    std::string m_marker;
    bool m_enabled;
  };

}

#endif
