#ifndef KADRIX_TESTS_TRANSACTIONS_REWIND_FIXTURE_HH
#define KADRIX_TESTS_TRANSACTIONS_REWIND_FIXTURE_HH

// A rover plan with transaction logging on, a player and a log over its
// client, and the canonical text of a plan, for tests that play and rewind.

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/PlanDatabaseWriter.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "rover/RoverModel.hh"

#include <algorithm>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    /** One rover plan with logging on, its player, and optionally a log on its client. */
    class PlayedPlan {
    public:
      PlayedPlan() : m_player(m_plan.db()->getClient()) { client().enableTransactionLogging(); }

      DbClient& client() { return *(static_cast<DbClient*>(m_plan.db()->getClient())); }
      const PlanDatabaseId& db() const { return m_plan.db(); }
      const ConstraintEngineId& engine() const { return m_plan.engine(); }
      DbClientTransactionPlayer& player() { return m_player; }

      /** A log recording this plan's client from now on. */
      DbClientTransactionLog& attachLog(bool chronological = false) {
        m_log.reset(new DbClientTransactionLog(m_plan.db()->getClient(), chronological));
        return *m_log;
      }
      DbClientTransactionLog& log() { return *m_log; }
      void detachLog() { m_log.reset(); }

      void play(const std::string& xml) {
        std::istringstream is(xml);
        m_player.play(is);
      }
      void rewind(const std::string& xml, bool breakpoint = false) {
        std::istringstream is(xml);
        m_player.rewind(is, breakpoint);
      }

      /** What the log has recorded since it was attached or last flushed. */
      std::string flush() {
        std::ostringstream os;
        m_log->flush(os);
        return os.str();
      }

      /**
       * The plan as text, independent of entity keys and addresses: tokens
       * named by path, the keys after object names dropped, the members of
       * object sets sorted by name, and the global variables and each group
       * of tokens on no object sorted by their text.
       */
      std::string text() const {
        return sortSections(sortSets(PlanDatabaseWriter::toString(m_plan.db(), false)));
      }
      static std::string sortSets(const std::string& written) {
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

      /** Sorts the entries of the sections whose order follows entity keys. */
      static std::string sortSections(const std::string& written) {
        std::istringstream lines(written);
        std::string result;
        std::vector<std::string> entries;
        std::string entry;
        bool sorting = false;
        const auto flush = [&]() {
          std::sort(entries.begin(), entries.end());
          for (const std::string& sorted : entries)
            result += sorted;
          entries.clear();
        };
        for (std::string line; std::getline(lines, line);) {
          if (line.empty() || line[0] != '\t') {
            flush();
            sorting = line.rfind("Global Variables", 0) == 0 || line.find(" Tokens: ") != std::string::npos;
            result += line + "\n";
          } else if (!sorting) {
            result += line + "\n";
          } else if (line.rfind("\t[", 0) != 0 || entry.empty()) {
            // A variable is one line; a token runs from its start bound to its end bound.
            entry += line + "\n";
            if (line.rfind("\t[", 0) != 0 && line.rfind("\t\t", 0) != 0) {
              entries.push_back(entry);
              entry.clear();
            }
          } else {
            entries.push_back(entry + line + "\n");
            entry.clear();
          }
        }
        flush();
        return result;
      }

      /** The plan's text and the number of variables and constraints in the engine. */
      std::string state() const {
        const std::pair<unsigned int, unsigned int> counts = engineCounts();
        return text() + "engine: " + std::to_string(counts.first) + " variables, " +
               std::to_string(counts.second) + " constraints\n";
      }

      /** The variables and constraints alive in the engine. */
      std::pair<unsigned int, unsigned int> engineCounts() const {
        unsigned int variables = 0, constraints = 0;
        for (unsigned int i = 0; i < engine()->variableSlotCount(); ++i)
          variables += engine()->getVariable(i).isNoId() ? 0 : 1;
        for (unsigned int i = 0; i < engine()->constraintSlotCount(); ++i)
          constraints += engine()->getConstraint(i).isNoId() ? 0 : 1;
        return std::make_pair(variables, constraints);
      }

    private:
      RoverModel::Plan m_plan;
      DbClientTransactionPlayer m_player;
      std::unique_ptr<DbClientTransactionLog> m_log;
    };

    /** Locations base, crater, ridge and rovers spirit, opportunity. */
    inline std::string roverWorld() {
      return "<new name=\"base\" type=\"Location\"><value type=\"int\" name=\"0\"/><value type=\"int\" "
             "name=\"0\"/></new>"
             "<new name=\"crater\" type=\"Location\"><value type=\"int\" name=\"4\"/><value type=\"int\" "
             "name=\"3\"/></new>"
             "<new name=\"ridge\" type=\"Location\"><value type=\"int\" name=\"9\"/><value type=\"int\" "
             "name=\"1\"/></new>"
             "<new name=\"spirit\" type=\"Rover\"/><new name=\"opportunity\" type=\"Rover\"/>";
    }

  }
}

#endif
