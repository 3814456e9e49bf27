#ifndef KADRIX_UTILS_ERROR_HH
#define KADRIX_UTILS_ERROR_HH

#include <exception>
#include <iosfwd>
#include <string>

namespace KADRIX {

  /**
   * The report of a failed check: the condition text, an optional message and
   * label, and the source path and line of the check.
   *
   * A failed check creates an Error on the heap and calls handleAssert(), which
   * takes ownership of it. handleAssert() throws a copy of the Error; when an
   * exception is already propagating it writes the report to std::cerr and
   * returns instead, so a check in a destructor never terminates the process
   * during stack unwinding.
   */
  class Error : public std::exception {
  public:
    Error(const std::string& condition, const std::string& message, const std::string& label,
          const std::string& file, int line);
    Error(const std::string& condition, const std::string& message, const std::string& file, int line);
    Error(const std::string& condition, const std::string& file, int line);

    Error(const Error&) = default;
    Error& operator=(const Error&) = default;
    ~Error() override;

    const std::string& getCondition() const { return m_condition; }
    const std::string& getMessage() const { return m_message; }
    const std::string& getLabel() const { return m_label; }
    /** The source path relative to the source root, without extension, e.g. "Utils/base/Id". */
    const std::string& getFile() const { return m_file; }
    int getLine() const { return m_line; }

    /** "path:line: condition [label]: message"; the label part and the message part are left out when empty. */
    const char* what() const noexcept override;

    /** Writes what() to the stream. */
    void print(std::ostream& os) const;

    /**
     * Reports this Error, which must have been created with new; this call owns
     * and deletes it. Throws a copy unless an exception is already propagating,
     * in which case the report goes to std::cerr and the call returns.
     */
    void handleAssert();

    /** Whether handleAssert() also writes each report to std::cerr before throwing (off by default). */
    static void displayErrors(bool on);
    static bool displayingErrors();

    /**
     * Normalises a source file name to the form used in reports: the part from
     * the last "Utils/", "ConstraintEngine/" or "PlanDatabase/" directory on,
     * without the extension. Other paths keep everything but the extension.
     */
    static std::string sourcePath(const std::string& file);

  private:
    void buildText();

    std::string m_condition;
    std::string m_message;
    std::string m_label;
    std::string m_file;
    int m_line;
    std::string m_text;
  };

  std::ostream& operator<<(std::ostream& os, const Error& error);

  /** Always false; the condition of checks on branches that must never be reached ("ALWAYS_FAILS"). */
  bool g_alwaysFails();

}

#endif
