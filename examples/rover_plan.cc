// rover_plan: builds a small plan for two rovers and writes it out.
//
//   rover_plan [--tokens N] [--debug PATTERN]
//
// Declares the rover model, creates locations, rovers and N tokens (At and Go
// alternately), activates them, orders all but the last on the rovers'
// timelines by asking the plan database for ordering choices and applying the
// first one offered, and writes the whole plan as text. --debug enables the
// debug output of every marker that begins with PATTERN (on standard error).

#include "PlanDatabase/base/PlanDatabaseWriter.hh"
#include "PlanDatabase/base/Token.hh"
#include "rover/RoverModel.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Error.hh"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace KADRIX;

namespace {

  int usage(const char* program) {
    std::cerr << "usage: " << program << " [--tokens N] [--debug PATTERN]" << std::endl;
    return 2;
  }

  std::string describe(const TokenId& token) {
    return token->getPredicateName().toString() + " (" + std::to_string(token->getKey()) + ")";
  }

  int run(int tokenCount) {
    RoverModel::Plan plan;
    const PlanDatabaseId& db = plan.db();

    std::vector<ObjectId> places{plan.location("base", 0, 0), plan.location("crater", 4, 3),
                                 plan.location("ridge", 9, 1)};
    std::vector<ObjectId> rovers{plan.rover("spirit"), plan.rover("opportunity")};

    // At and Go tokens, each pinned to its locations, all activated.
    std::vector<TokenId> tokens;
    for (int i = 0; i < tokenCount; ++i) {
      const bool at = i % 2 == 0;
      TokenId token = db->createToken(at ? "Rover.At" : "Rover.Go", true, false);
      const std::vector<ConstrainedVariableId>& parameters = token->parameters();
      parameters[0]->specify((double) places[(i / 2) % places.size()]);
      if (!at)
        parameters[1]->specify((double) places[(i / 2 + 1) % places.size()]);
      token->activate();
      tokens.push_back(token);
    }
    plan.engine()->propagate();
    std::cout << tokens.size() << " tokens active, " << db->getTokensToOrder().size()
              << " waiting to be ordered" << std::endl;

    // Order every token but the last: each pair of At and Go goes to the next
    // rover in turn, at the latest place that rover's timeline offers.
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
      const TokenId& token = tokens[i];
      std::vector<PlanDatabase::OrderingChoice> choices;
      db->getOrderingChoices(token, choices, 100);
      if (choices.empty()) {
        std::cout << describe(token) << ": no place left" << std::endl;
        continue;
      }
      const ObjectId& wanted = rovers[(i / 2) % rovers.size()];
      PlanDatabase::OrderingChoice choice = choices.back();
      for (size_t c = 0; c < choices.size(); ++c)
        if (choices[c].first == wanted)
          choice = choices[c];
      const TokenId& predecessor = choice.second.first;
      const TokenId& successor = choice.second.second;
      std::cout << describe(token) << ": " << choices.size() << " choices; ";
      if (predecessor == successor)
        std::cout << "first on " << choice.first->getName().toString();
      else
        std::cout << predecessor->getKey() << " before " << successor->getKey() << " on "
                  << choice.first->getName().toString();
      std::cout << std::endl;
      choice.first->constrain(predecessor, successor);
      if (!plan.engine()->propagate()) {
        std::cout << "the plan became inconsistent" << std::endl;
        return 1;
      }
    }
    std::cout << db->getTokensToOrder().size() << " waiting to be ordered" << std::endl << std::endl;

    std::cout << PlanDatabaseWriter::toString(db);
    return 0;
  }

}

int main(int argc, char** argv) {
  int tokenCount = 4;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tokens") == 0 && i + 1 < argc) {
      char* end = 0;
      const long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 0 || value > 100000)
        return usage(argv[0]);
      tokenCount = (int) value;
    }
    else if (std::strcmp(argv[i], "--debug") == 0 && i + 1 < argc)
      DebugMessage::enableMatching(argv[++i]);
    else
      return usage(argv[0]);
  }
  try {
    return run(tokenCount);
  }
  catch (const Error& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
}
