#ifndef KADRIX_FUZZ_PLAYER_FUZZ_INPUT_HH
#define KADRIX_FUZZ_PLAYER_FUZZ_INPUT_HH

// One hostile input for the transaction player, shared by the fuzz target and
// by the test that replays the fuzz corpus.

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "Utils/base/Error.hh"
#include "rover/RoverModel.hh"

#include <tinyxml.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

namespace KADRIX {
  namespace fuzz {

    /** Elements of an input whose children are read directly, beyond playing it. */
    const int READ_ELEMENTS = 8;

    /**
     * The rover model, declared once: inputs change plans, never the model,
     * so each input only needs a fresh engine and database over it.
     */
    inline const Id<Schema>& roverSchema() {
      static Schema* s_schema = [] {
        CESchema* ces = new CESchema();
        registerEngineConstraints(ces->getId());
        ces->registerConstraintFactory(
            new ConcreteConstraintFactory<ObjectTokenRelation>("ObjectTokenRelation", "Default", true));
        Schema* schema = new Schema("RoverModel", ces->getId());
        RoverModel::declare(*schema);
        RoverModel::registerFactories(*schema);
        return schema;
      }();
      return s_schema->getId();
    }

    /** A constraint engine and a plan database over the rover model, purged and deleted at the end. */
    class FreshPlan {
    public:
      FreshPlan()
        : m_engine(new ConstraintEngine(roverSchema()->getCESchema())),
          m_db(new PlanDatabase(m_engine->getId(), roverSchema())) {}
      ~FreshPlan() {
        if (!m_db->isPurged())
          m_db->purge();
        m_db.reset();
        m_engine.reset();
      }
      PlanDatabase& db() { return *m_db; }

    private:
      std::unique_ptr<ConstraintEngine> m_engine;
      std::unique_ptr<PlanDatabase> m_db;
    };

    /** A player whose name tables the harness fills, as creating transactions would. */
    class FuzzPlayer : public DbClientTransactionPlayer {
    public:
      explicit FuzzPlayer(const DbClientId& client) : DbClientTransactionPlayer(client) {}
      using DbClientTransactionPlayer::m_tokens;
      using DbClientTransactionPlayer::m_variables;
    };

    /** Runs f; a failed check is an expected end. */
    template <class F> void attempt(F f) {
      try {
        f();
      } catch (const Error&) {
      }
    }

    /**
     * Plays the text into a fresh rover plan (locations l1 and l2, rover r1,
     * a token at path 0 known as "t", and variables known as "v" and "l1"),
     * then reads every child of the text's first elements as a domain, a
     * value, a token, a variable, a token type and an invoked transaction. A
     * failed check (KADRIX::Error) is the expected end of bad input; anything
     * else escapes. The plan is destroyed afterwards.
     */
    inline void playHostileInput(const std::string& text) {
      FreshPlan plan;
      IntervalIntDomain one(1, 1, "int"), two(2, 2, "int");
      const std::vector<const AbstractDomain*> coordinates{&one, &two};
      const ObjectId l1 = plan.db().createObject("Location", "l1", coordinates);
      plan.db().createObject("Location", "l2", coordinates);
      plan.db().createObject("Rover", "r1", std::vector<const AbstractDomain*>());
      DbClient& client = *static_cast<DbClient*>(plan.db().getClient());
      client.enableTransactionLogging();

      FuzzPlayer player(plan.db().getClient());
      player.m_tokens["t"] = client.createToken("Rover.At", true, false);
      player.m_variables["v"] = client.createVariable("int", one, "v", false, true);
      player.m_variables["l1"] =
          client.createVariable("Location", ObjectDomain(l1, "Location"), "l1", false, true);
      {
        std::istringstream is(text);
        attempt([&] { player.play(is); });
      }

      std::istringstream is(text);
      for (int i = 0; i < READ_ELEMENTS; ++i) {
        TiXmlDocument doc;
        const TiXmlElement* element = nullptr;
        attempt([&] { element = DbClientTransactionPlayer::readElement(is, doc); });
        if (element == nullptr)
          return;
        for (const TiXmlElement* child = element->FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
          attempt([&] {
            std::unique_ptr<const AbstractDomain>(player.xmlAsAbstractDomain(*child, nullptr, nullptr));
          });
          attempt([&] { player.xmlAsValue(*child, nullptr); });
          attempt([&] { player.xmlAsToken(*child); });
          attempt([&] { player.xmlAsVariable(*child); });
          if (const char* type = child->Attribute("type")) {
            ObjectId object;
            attempt([&] { player.getObjectAndType(plan.db().getClient(), type, object); });
          }
          if (strcmp(child->Value(), "invoke") == 0)
            attempt([&] { player.playInvokeTransaction(*child); });
        }
      }
    }

  }
}

#endif
