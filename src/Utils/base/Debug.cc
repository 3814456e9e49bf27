#include "Utils/base/Debug.hh"

#include <exception>
#include <iostream>
#include <map>
#include <tuple>

namespace KADRIX {

  namespace {
    struct DebugRegistry {
      std::vector<DebugMessage*> messages;
      std::map<std::tuple<std::string, int, std::string>, DebugMessage*> bySite;
      std::vector<std::string> patterns;
      bool all = false;

      bool matches(const std::string& marker) const {
        if (all)
          return true;
        for (const std::string& pattern : patterns)
          if (marker.compare(0, pattern.size(), pattern) == 0)
            return true;
        return false;
      }
    };

    // Never destroyed, so sites work during static initialisation and destruction.
    DebugRegistry& registry() {
      static DebugRegistry* const s_registry = new DebugRegistry();
      return *s_registry;
    }
  }

  DebugMessage::DebugMessage(const std::string& file, int line, const std::string& marker, bool enabled)
    : m_file(file), m_line(line), m_marker(marker), m_enabled(enabled) {}

  DebugMessage::~DebugMessage() {}

  DebugMessage* DebugMessage::addMsg(const std::string& file, int line, const std::string& marker) {
    DebugRegistry& reg = registry();
    std::string path = Error::sourcePath(file);
    auto site = std::make_tuple(path, line, marker);
    auto it = reg.bySite.find(site);
    if (it != reg.bySite.end())
      return it->second;
    DebugMessage* msg = new DebugMessage(path, line, marker, reg.matches(marker));
    reg.messages.push_back(msg);
    reg.bySite.emplace(std::move(site), msg);
    return msg;
  }

  std::ostream*& DebugMessage::streamPtr() {
    static std::ostream* s_debugStream = &std::cerr;
    return s_debugStream;
  }

  void DebugMessage::setStream(std::ostream& os) { streamPtr() = &os; }

  void DebugMessage::enableAll() {
    DebugRegistry& reg = registry();
    reg.all = true;
    for (DebugMessage* msg : reg.messages)
      msg->enable();
  }

  void DebugMessage::enableMatching(const std::string& pattern) {
    DebugRegistry& reg = registry();
    reg.patterns.push_back(pattern);
    for (DebugMessage* msg : reg.messages)
      if (msg->m_marker.compare(0, pattern.size(), pattern) == 0)
        msg->enable();
  }

  void DebugMessage::disableAll() {
    DebugRegistry& reg = registry();
    reg.all = false;
    reg.patterns.clear();
    for (DebugMessage* msg : reg.messages)
      msg->disable();
  }

  const std::vector<DebugMessage*>& DebugMessage::allMsgs() { return registry().messages; }

  bool DebugMessage::reportStreamFailure(const std::ios_base::failure& failure, const char* file, int line) {
    bool passOn = std::uncaught_exceptions() == 0;
    try {
      (new Error("ALWAYS_FAIL", failure.what(), file, line))->handleAssert();
    } catch (const Error& report) {
      // The report itself: the site passes the stream's failure on instead.
      if (!Error::displayingErrors()) // otherwise handleAssert() has shown it already
        std::cerr << report << std::endl;
    }
    return passOn;
  }

}
