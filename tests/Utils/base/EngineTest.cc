#include "Utils/base/Engine.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/IdTable.hh"
#include "Utils/base/Module.hh"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

using namespace KADRIX;

namespace {

  class TestComponent : public EngineComponent {};

  /** Counts its deletions, so tests see who deleted it. */
  class CountingInterpreter : public LanguageInterpreter {
  public:
    explicit CountingInterpreter(int& deletions) : m_deletions(deletions) {}
    ~CountingInterpreter() override { ++m_deletions; }
    std::string interpret(std::istream& input, const std::string& script) override {
      std::string word;
      input >> word;
      return script + ":" + word;
    }

  private:
    int& m_deletions;
  };

  class TestModule : public Module {
  public:
    TestModule() : Module("TestModule") {}
    void initialize() override {}
    void uninitialize() override {}
    void initialize(Id<Engine>) override {}
    void uninitialize(Id<Engine>) override {}
  };

} // namespace

TEST(EngineTest, ComponentsByName) {
  Engine engine;
  TestComponent schema, other;
  engine.addComponent("Schema", &schema);

  // A taken name and a null component are refused; the first component stays.
  EXPECT_THROW(engine.addComponent("Schema", &other), Error);
  EXPECT_THROW(engine.addComponent("Null", nullptr), Error);

  // Removal hands the component back alive; removing again gives null.
  EXPECT_EQ(&schema, engine.removeComponent("Schema"));
  EXPECT_EQ(nullptr, engine.removeComponent("Schema"));
}

TEST(EngineTest, InterpretersAreOwned) {
  int deletions = 0;
  CountingInterpreter refused(deletions);
  {
    Engine engine;
    CountingInterpreter* txn = new CountingInterpreter(deletions);
    engine.addLanguageInterpreter("zorl-xml-txn", txn);
    std::istringstream in("play");
    EXPECT_EQ("s:play", engine.getLanguageInterpreter("zorl-xml-txn")->interpret(in, "s"));

    // Refused: a taken name (the interpreter stays the caller's), one interpreter
    // under two names (it would be deleted twice), a null interpreter.
    EXPECT_THROW(engine.addLanguageInterpreter("zorl-xml-txn", &refused), Error);
    EXPECT_THROW(engine.addLanguageInterpreter("second", txn), Error);
    EXPECT_THROW(engine.addLanguageInterpreter("null", nullptr), Error);
    EXPECT_EQ(nullptr, engine.getLanguageInterpreter("second"));

    // Removal deletes; removing a missing name does nothing.
    engine.removeLanguageInterpreter("zorl-xml-txn");
    engine.removeLanguageInterpreter("zorl-xml-txn");
    EXPECT_EQ(1, deletions);
    engine.addLanguageInterpreter("a", new CountingInterpreter(deletions));
  }
  // The engine deleted the one it still held.
  EXPECT_EQ(2, deletions);
}

TEST(EngineTest, HandlesEndWithTheirObjects) {
  // Engines and modules give up their address when they go, so later objects
  // at the same address register again.
  Engine* engine = new Engine();
  const std::uintptr_t engineAddress = reinterpret_cast<std::uintptr_t>(engine);
  delete engine;
  EXPECT_EQ(0u, IdTable::getKey(engineAddress));

  for (int i = 0; i < 50; ++i) {
    TestModule* module = new TestModule();
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(module);
    ASSERT_TRUE(module->getId().isValid());
    delete module;
    ASSERT_EQ(0u, IdTable::getKey(address));
  }
}
