// rover_plan: plays a transaction stream against the rover model, prints the
// plan and the transactions recorded meanwhile, rewinds the stream to its
// newest breakpoint and prints the plan again; or, with --tokens, builds a
// plan of N tokens for two rovers in code and writes it out.
//
//   rover_plan [--debug PATTERN] STREAM
//   rover_plan [--debug PATTERN] --tokens N
//
// STREAM is a file of XML transactions (examples/rover_plan.xml is one). The
// rover model (examples/rover) declares Location(x, y), Rover (a timeline) and
// its predicates At, Go, drive, sample and arrive. A stream that cannot be
// read or played is reported as one line on standard error, with exit status
// 1. --tokens creates N tokens (At and Go alternately), activates them, orders
// all but the last on the rovers' timelines by the first ordering choice the
// database offers on the wanted rover, and writes the plan. --debug enables
// the debug output of every marker that begins with PATTERN (on standard
// error).

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/PlanDatabaseWriter.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "rover/RoverModel.hh"
#include "Utils/base/Debug.hh"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace KADRIX;

namespace {

  int usage(const char* program) {
    std::cerr << "usage: " << program << " [--debug PATTERN] STREAM | --tokens N" << std::endl;
    return 2;
  }

  std::ifstream open(const std::string& path) {
    std::ifstream in(path);
    if (!in.good())
      throw std::runtime_error("cannot open the file");
    return in;
  }

  std::string describe(const TokenId& token) {
    return token->getPredicateName().toString() + " (" + std::to_string(token->getKey()) + ")";
  }

  /** Orders token at the place on the wanted rover (else the last place offered). */
  bool order(RoverModel::Plan& plan, const TokenId& token, const ObjectId& wanted) {
    std::vector<PlanDatabase::OrderingChoice> choices;
    plan.db()->getOrderingChoices(token, choices, 100);
    if (choices.empty()) {
      std::cout << describe(token) << ": no place left" << std::endl;
      return true;
    }
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
    return plan.engine()->propagate();
  }

  int build(int tokenCount) {
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
      parameters[0]->specify(static_cast<double>(places[(i / 2) % places.size()]));
      if (!at)
        parameters[1]->specify(static_cast<double>(places[(i / 2 + 1) % places.size()]));
      token->activate();
      tokens.push_back(token);
    }
    plan.engine()->propagate();
    std::cout << tokens.size() << " tokens active, " << db->getTokensToOrder().size()
              << " waiting to be ordered" << std::endl;

    // Every token but the last: each pair of At and Go goes to the next rover in turn.
    for (size_t i = 0; i + 1 < tokens.size(); ++i)
      if (!order(plan, tokens[i], rovers[(i / 2) % rovers.size()])) {
        std::cout << "the plan became inconsistent" << std::endl;
        return 1;
      }
    std::cout << db->getTokensToOrder().size() << " waiting to be ordered" << std::endl << std::endl;
    std::cout << PlanDatabaseWriter::toString(db);
    return 0;
  }

  void run(const std::string& path) {
    RoverModel::Plan plan;
    const DbClientId& client = plan.db()->getClient();
    client->enableTransactionLogging();
    DbClientTransactionLog log(client, false);
    DbClientTransactionPlayer player(client);

    std::ifstream stream = open(path);
    player.play(stream);
    std::cout << "Plan after playing " << path << ":" << std::endl
              << PlanDatabaseWriter::toString(plan.db(), false) << std::endl;

    std::cout << "Transactions recorded (tokens named by path):" << std::endl;
    log.flush(std::cout);

    std::ifstream again = open(path);
    player.rewind(again, true);
    std::cout << std::endl
              << "Plan after rewinding to the breakpoint:" << std::endl
              << PlanDatabaseWriter::toString(plan.db(), false);
  }

}

int main(int argc, char** argv) {
  std::string path;
  int tokenCount = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--debug") == 0 && i + 1 < argc)
      DebugMessage::enableMatching(argv[++i]);
    else if (std::strcmp(argv[i], "--tokens") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 0 || value > 100000)
        return usage(argv[0]);
      tokenCount = static_cast<int>(value);
    } else if (path.empty() && argv[i][0] != '-')
      path = argv[i];
    else
      return usage(argv[0]);
  }
  if (path.empty() == (tokenCount < 0))
    return usage(argv[0]);
  try {
    if (tokenCount >= 0)
      return build(tokenCount);
    run(path);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << argv[0] << ": " << (path.empty() ? "--tokens" : path) << ": " << e.what() << std::endl;
    return 1;
  }
}
