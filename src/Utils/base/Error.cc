#include "Utils/base/Error.hh"

#include <iostream>

namespace KADRIX {

  namespace {
    bool& displayFlag() {
      static bool s_display = false;
      return s_display;
    }

    // The start of the last layer directory ("Utils/", ...) that begins a path component.
    std::string::size_type layerStart(const std::string& file) {
      static const char* const s_layers[] = {"Utils/", "ConstraintEngine/", "PlanDatabase/"};
      std::string::size_type best = std::string::npos;
      for (const char* layer : s_layers) {
        for (std::string::size_type pos = file.find(layer); pos != std::string::npos;
             pos = file.find(layer, pos + 1))
          if ((pos == 0 || file[pos - 1] == '/') && (best == std::string::npos || pos > best))
            best = pos;
      }
      return best;
    }
  }

  Error::Error(const std::string& condition, const std::string& message, const std::string& label,
               const std::string& file, int line)
    : m_condition(condition), m_message(message), m_label(label), m_file(sourcePath(file)), m_line(line) {
    buildText();
  }

  Error::Error(const std::string& condition, const std::string& message, const std::string& file, int line)
    : Error(condition, message, std::string(), file, line) {}

  Error::Error(const std::string& condition, const std::string& file, int line)
    : Error(condition, std::string(), std::string(), file, line) {}

  Error::~Error() {}

  void Error::buildText() {
    m_text = m_file + ":" + std::to_string(m_line) + ": " + m_condition;
    if (!m_label.empty())
      m_text += " [" + m_label + "]";
    if (!m_message.empty())
      m_text += ": " + m_message;
  }

  const char* Error::what() const noexcept { return m_text.c_str(); }

  void Error::print(std::ostream& os) const { os << m_text; }

  std::ostream& operator<<(std::ostream& os, const Error& error) {
    error.print(os);
    return os;
  }

  void Error::handleAssert() {
    Error report(*this);
    delete this;
    if (std::uncaught_exceptions() > 0) {
      // Throwing now would terminate the process: report and let the caller go on.
      std::cerr << report << std::endl;
      return;
    }
    if (displayFlag())
      std::cerr << report << std::endl;
    throw report;
  }

  void Error::displayErrors(bool on) { displayFlag() = on; }

  bool Error::displayingErrors() { return displayFlag(); }

  std::string Error::sourcePath(const std::string& file) {
    std::string::size_type start = layerStart(file);
    std::string path = start == std::string::npos ? file : file.substr(start);
    std::string::size_type nameStart = path.rfind('/');
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    std::string::size_type dot = path.rfind('.');
    if (dot != std::string::npos && dot > nameStart)
      path.erase(dot);
    return path;
  }

  bool g_alwaysFails() { return false; }

}
