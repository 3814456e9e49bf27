#include "rover/PlanText.hh"

#include "PlanDatabase/base/PlanDatabaseWriter.hh"

#include <algorithm>
#include <cstring>
#include <regex>
#include <sstream>
#include <vector>

namespace KADRIX {
  namespace RoverModel {

    namespace {

      /** Sorts the members of every "{...}" set, with the "(key)" after each object name dropped. */
      std::string sortSets(const std::string& written) {
        static const std::regex s_set("\\{([^{}]*)\\}"), s_key("\\([0-9]+\\)");
        std::string result;
        std::sregex_iterator last;
        std::size_t from = 0;
        for (std::sregex_iterator it(written.begin(), written.end(), s_set); it != last; ++it) {
          std::vector<std::string> members;
          std::istringstream items(std::regex_replace((*it)[1].str(), s_key, ""));
          for (std::string item; std::getline(items >> std::ws, item, ',');)
            members.push_back(item);
          std::sort(members.begin(), members.end());
          std::string set;
          for (const std::string& member : members)
            set += (set.empty() ? "" : ", ") + member;
          result += written.substr(from, it->position() - from) + "{" + set + "}";
          from = it->position() + it->length();
        }
        return result + written.substr(from);
      }

      /** Whether the line is indented by exactly one tab and begins with the text. */
      bool entryLine(const std::string& line, const char* text) {
        return line.size() > 1 && line[0] == '\t' && line[1] != '\t' &&
               line.compare(1, std::strlen(text), text) == 0;
      }

      /**
       * Sorts the entries of the sections whose order follows entity keys: an
       * object runs from its first line to its "End" line, a global variable is
       * one line, a token runs from its start bound to its end bound.
       */
      std::string sortSections(const std::string& written) {
        enum Section { UNSORTED, OBJECTS, VARIABLES, TOKENS };
        std::istringstream lines(written);
        std::string result;
        std::vector<std::string> entries;
        std::string entry;
        Section section = UNSORTED;
        const auto flush = [&]() {
          std::sort(entries.begin(), entries.end());
          for (const std::string& sorted : entries)
            result += sorted;
          entries.clear();
          result += entry;
          entry.clear();
        };
        for (std::string line; std::getline(lines, line);) {
          if (line.empty() || line[0] != '\t') {
            flush();
            section = line.rfind("Objects", 0) == 0                 ? OBJECTS
                      : line.rfind("Global Variables", 0) == 0      ? VARIABLES
                      : line.find(" Tokens: ") != std::string::npos ? TOKENS
                                                                    : UNSORTED;
            result += line + "\n";
            continue;
          }
          entry += line + "\n";
          const bool ends = section == OBJECTS     ? entryLine(line, "End ")
                            : section == VARIABLES ? true
                            : section == TOKENS    ? entryLine(line, "[") && entry != line + "\n"
                                                   : false;
          if (section == UNSORTED) {
            result += entry;
            entry.clear();
          } else if (ends) {
            entries.push_back(entry);
            entry.clear();
          }
        }
        flush();
        return result;
      }

    }

    std::string canonicalText(const PlanDatabaseId& db) {
      return sortSections(sortSets(PlanDatabaseWriter::toString(db, false)));
    }

    std::pair<unsigned int, unsigned int> engineCounts(const ConstraintEngineId& engine) {
      unsigned int variables = 0, constraints = 0;
      for (unsigned int i = 0; i < engine->variableSlotCount(); ++i)
        variables += engine->getVariable(i).isNoId() ? 0 : 1;
      for (unsigned int i = 0; i < engine->constraintSlotCount(); ++i)
        constraints += engine->getConstraint(i).isNoId() ? 0 : 1;
      return std::make_pair(variables, constraints);
    }

  }
}
