// rover_plan: plays a transaction stream against the rover model, prints the
// plan and the transactions recorded meanwhile, rewinds the stream to its
// newest breakpoint and prints the plan again.
//
//   rover_plan [--debug PATTERN] STREAM
//
// STREAM is a file of XML transactions (examples/rover_plan.xml is one). The
// rover model (examples/rover) declares Location(x, y), Rover (a timeline) and
// its predicates At, Go, drive, sample and arrive. A stream that cannot be
// read or played is reported as one line on standard error, with exit status
// 1. --debug enables the debug output of every marker that begins with
// PATTERN (on standard error).

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/PlanDatabaseWriter.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "rover/RoverModel.hh"
#include "Utils/base/Debug.hh"

#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

using namespace KADRIX;

namespace {

  int usage(const char* program) {
    std::cerr << "usage: " << program << " [--debug PATTERN] STREAM" << std::endl;
    return 2;
  }

  std::ifstream open(const std::string& path) {
    std::ifstream in(path);
    if (!in.good())
      throw std::runtime_error("cannot open the file");
    return in;
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
    std::cout << std::endl << "Plan after rewinding to the breakpoint:" << std::endl
              << PlanDatabaseWriter::toString(plan.db(), false);
  }

}

int main(int argc, char** argv) {
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--debug") == 0 && i + 1 < argc)
      DebugMessage::enableMatching(argv[++i]);
    else if (path.empty() && argv[i][0] != '-')
      path = argv[i];
    else
      return usage(argv[0]);
  }
  if (path.empty())
    return usage(argv[0]);
  try {
    run(path);
    return 0;
  }
  catch (const std::exception& e) {
    std::cerr << argv[0] << ": " << path << ": " << e.what() << std::endl;
    return 1;
  }
}
