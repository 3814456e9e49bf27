#ifndef KADRIX_FUZZ_PLAYER_FUZZ_INPUT_HH
#define KADRIX_FUZZ_PLAYER_FUZZ_INPUT_HH

// One hostile input for the transaction player, shared by the fuzz target and
// by the test that replays the fuzz corpus.

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "Utils/base/Error.hh"
#include "rover/RoverModel.hh"

#include <tinyxml.h>

#include <memory>
#include <sstream>
#include <string>

namespace KADRIX {
  namespace fuzz {

    /** Elements of an input whose children are read directly, beyond playing it. */
    const int READ_ELEMENTS = 8;

    /**
     * Plays the text into a fresh rover plan (locations l1 and l2, rover r1,
     * and a token at path 0 named "t"), then reads every child of the text's
     * first elements as a domain, a value, a token and a variable. A failed
     * check (KADRIX::Error) is the expected end of bad input; anything else
     * escapes. The plan is destroyed afterwards.
     */
    inline void playHostileInput(const std::string& text) {
      RoverModel::Plan plan;
      plan.location("l1", 1, 2);
      plan.location("l2", 3, 4);
      plan.rover("r1");
      DbClient& client = *(DbClient*) plan.db()->getClient();
      client.enableTransactionLogging();
      client.createToken("Rover.At", true, false);

      DbClientTransactionPlayer player(plan.db()->getClient());
      {
        std::istringstream is(text);
        try {
          player.play(is);
        } catch (const Error&) {
        }
      }

      std::istringstream is(text);
      for (int i = 0; i < READ_ELEMENTS; ++i) {
        TiXmlDocument doc;
        const TiXmlElement* element = nullptr;
        try {
          element = DbClientTransactionPlayer::readElement(is, doc);
        } catch (const Error&) {
          return;
        }
        if (element == nullptr)
          return;
        for (const TiXmlElement* child = element->FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
          try {
            std::unique_ptr<const AbstractDomain>(player.xmlAsAbstractDomain(*child, nullptr, nullptr));
          } catch (const Error&) {
          }
          try {
            player.xmlAsValue(*child, nullptr);
          } catch (const Error&) {
          }
          try {
            player.xmlAsToken(*child);
          } catch (const Error&) {
          }
          try {
            player.xmlAsVariable(*child);
          } catch (const Error&) {
          }
        }
      }
    }

  }
}

#endif
