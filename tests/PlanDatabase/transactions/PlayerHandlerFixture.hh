#ifndef KADRIX_TESTS_PLAYER_HANDLER_FIXTURE_HH
#define KADRIX_TESTS_PLAYER_HANDLER_FIXTURE_HH

// The player fixture with a listener that notes what the client was asked to
// do, for the tests of the player's handlers.

#include "PlanDatabase/component/Timeline.hh"
#include "PlanDatabase/model/ClientRecorder.hh"
#include "PlanDatabase/transactions/PlayerFixture.hh"

#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    /** A client recorder that also keeps the constraints made and deleted. */
    class ConstraintRecorder : public ClientRecorder {
    public:
      explicit ConstraintRecorder(const DbClientId& client) : ClientRecorder(client) {}

      /** What was heard since the last take, first words only ("token activated ..."). */
      std::string take() {
        std::string text;
        for (const std::string& line : log)
          text += (text.empty() ? "" : " ") + line.substr(0, line.find(' '));
        log.clear();
        return text;
      }

      void notifyConstraintCreated(const ConstraintId& c) override {
        ClientRecorder::notifyConstraintCreated(c);
        created.push_back(c);
      }
      void notifyConstraintDeleted(const ConstraintId& c) override {
        ClientRecorder::notifyConstraintDeleted(c);
        deleted.push_back(c);
      }

      std::vector<ConstraintId> created;
      std::vector<ConstraintId> deleted;
    };

    /** Two locations and a rover, as a stream. */
    inline const std::string ROVER_WORLD =
        "<new type=\"Rover\" name=\"rover1\"/>"
        "<new type=\"Location\" name=\"rock1\"><value type=\"int\" name=\"3\"/><value type=\"int\" "
        "name=\"4\"/></new>"
        "<new type=\"Location\" name=\"rock2\"><value type=\"int\" name=\"10\"/><value type=\"int\" "
        "name=\"0\"/></new>";

    /** A goal element for a named token of the predicate. */
    inline std::string goal(const char* name, const char* predicate) {
      return std::string("<goal><predicateinstance name=\"") + name + "\" type=\"" + predicate +
             "\"/></goal>";
    }

    class PlayerHandlerFixture : public PlayerFixture {
    protected:
      PlayerHandlerFixture() : m_calls(clientId()) {}
      ~PlayerHandlerFixture() noexcept override {}

      /** Plays the text as the set-up of a test: its client calls are not heard. */
      void given(const std::string& text) {
        play(text);
        m_calls.take();
      }

      /** The scope of a constraint as "variable" elements by engine index, as a deletion names it. */
      std::string scopeText(const ConstraintId& constraint) {
        std::string text;
        for (const ConstrainedVariableId& var : constraint->getScope())
          text += "<variable index=\"" + std::to_string(client().getIndexByVariable(var)) + "\"/>";
        return text;
      }

      /** The token the player created under the name. */
      TokenId token(const char* name) { return player().parseToken(name); }

      /** A variable as the player names it: a global's name, or token or object name "." member. */
      ConstrainedVariableId variable(const char* name) { return player().parseVariable(name); }

      /** The tokens in order on the timeline of the name. */
      std::vector<TokenId> sequence(const char* timeline) {
        const Timeline* tl =
            dynamic_cast<const Timeline*>(static_cast<Object*>(m_plan.db()->getObject(timeline)));
        return std::vector<TokenId>(tl->getTokenSequence().begin(), tl->getTokenSequence().end());
      }

      /** Expects each input to fail to play as its case says, with no client call made. */
      void expectPlayFailures(const std::vector<Failure>& cases) {
        expectFailures(cases, [this](const std::string& input) { play(input); });
        EXPECT_EQ(m_calls.take(), "");
      }

      ConstraintRecorder m_calls;
    };

  }
}

#endif
