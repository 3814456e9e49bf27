#ifndef KADRIX_TESTS_PLAYER_FIXTURE_HH
#define KADRIX_TESTS_PLAYER_FIXTURE_HH

// A rover plan with a transaction player on its client, and helpers that play
// and parse XML text.

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/model/TestModel.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "rover/RoverModel.hh"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    /** The element that the text holds (one element, well formed). */
    inline std::unique_ptr<TiXmlElement> xml(const std::string& text) {
      TiXmlDocument doc;
      doc.Parse(text.c_str());
      EXPECT_FALSE(doc.Error()) << doc.ErrorDesc() << " in " << text;
      return std::unique_ptr<TiXmlElement>(doc.RootElement()->Clone()->ToElement());
    }

    /** The type name and the values (objects by name) of a domain, e.g. "int [0,10]" or "Location objects {l1,l2}". */
    inline std::string describe(const AbstractDomain& d) {
      std::ostringstream os;
      os << d.getTypeName().toString() << (d.isEntity() ? " objects " : " ");
      if (d.isEnumerated()) {
        std::list<double> values;
        d.getValues(values);
        // Labels and objects are ordered by key and address: members are listed by name instead.
        std::vector<std::string> members;
        for (double v : values)
          members.push_back(d.isEntity() ? ObjectId(v)->getName().toString() : d.toString(v));
        if (!d.isNumeric())
          std::sort(members.begin(), members.end());
        os << "{";
        const char* separator = "";
        for (const std::string& member : members) {
          os << separator << member;
          separator = ",";
        }
        os << "}";
      } else
        os << "[" << d.toString(d.getLowerBound()) << "," << d.toString(d.getUpperBound()) << "]";
      return os.str();
    }

    /** A player whose name tables a test can fill, as the creating transactions do. */
    class TestPlayer : public DbClientTransactionPlayer {
    public:
      explicit TestPlayer(const DbClientId& client) : DbClientTransactionPlayer(client) {}
      using DbClientTransactionPlayer::m_tokens;
      using DbClientTransactionPlayer::m_variables;
    };

    /** An input, and the condition and message of the check it must fail. */
    struct Failure {
      std::string input;
      const char* condition;
      std::string message;
    };

    /** Expects read(input) to fail as each case says. */
    template <class Read> void expectFailures(const std::vector<Failure>& cases, Read read) {
      for (const Failure& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 60));
        EXPECT_CHECK_FAILS(read(c.input), c.condition, c.message);
      }
    }

    class PlayerFixture : public ::testing::Test {
    protected:
      PlayerFixture() : m_player(new TestPlayer(clientId())) {}

      const DbClientId& clientId() const { return m_plan.db()->getClient(); }
      DbClient& client() { return *static_cast<DbClient*>(clientId()); }
      TestPlayer& player() { return *m_player; }
      unsigned int propagations() const { return m_plan.engine()->cycleCount(); }

      void play(const std::string& text) {
        std::istringstream is(text);
        m_player->play(is);
      }

      RoverModel::Plan m_plan;
      std::unique_ptr<TestPlayer> m_player;
    };

  }
}

#endif
