#ifndef KADRIX_TESTS_TRANSACTIONS_REWIND_FIXTURE_HH
#define KADRIX_TESTS_TRANSACTIONS_REWIND_FIXTURE_HH

// A rover plan with transaction logging on, a player and a log over its
// client, and the canonical text of a plan, for tests that play and rewind.

#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/PlanDatabaseWriter.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "rover/PlanText.hh"
#include "rover/RoverModel.hh"

#include <memory>
#include <sstream>
#include <string>

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

      /** The plan as text, independent of entity keys and addresses. */
      std::string text() const { return RoverModel::canonicalText(m_plan.db()); }

      /** The plan's text and the number of variables and constraints in the engine. */
      std::string state() const {
        const std::pair<unsigned int, unsigned int> counts = engineCounts();
        return text() + "engine: " + std::to_string(counts.first) + " variables, " +
               std::to_string(counts.second) + " constraints\n";
      }

      /** The variables and constraints alive in the engine. */
      std::pair<unsigned int, unsigned int> engineCounts() const { return RoverModel::engineCounts(engine()); }

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
