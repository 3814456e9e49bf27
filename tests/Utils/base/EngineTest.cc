#include "Utils/base/Engine.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/IdTable.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Module.hh"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>

using namespace KADRIX;

namespace {

class TestComponent : public EngineComponent {};

/** Counts its destructions so tests can see who deleted it. */
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

std::string conditionOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.getCondition();
  }
  return "no failure";
}

} // namespace

TEST(EngineTest, ComponentsByName) {
  Engine engine;
  TestComponent schema, database;
  EXPECT_TRUE(schema.getEngine().isNoId());

  engine.addComponent("Schema", &schema);
  engine.addComponent("PlanDatabase", &database);
  EXPECT_EQ(&schema, engine.getComponent("Schema"));
  EXPECT_EQ(&database, static_cast<const Engine&>(engine).getComponent("PlanDatabase"));
  EXPECT_EQ(nullptr, engine.getComponent("Missing"));
  EXPECT_EQ(2u, engine.getComponents().size());
  EXPECT_EQ(&schema, engine.getComponents().at(LabelStr("Schema").getKey()));

  // A name is taken once; the refused component leaves the first in place.
  TestComponent other;
  EXPECT_EQ("!taken", conditionOf([&] { engine.addComponent("Schema", &other); }));
  EXPECT_EQ(&schema, engine.getComponent("Schema"));
  EXPECT_EQ("component != 0", conditionOf([&] { engine.addComponent("Null", nullptr); }));

  // Removal hands the component back and leaves it alive; removing again gives null.
  EXPECT_EQ(&schema, engine.removeComponent("Schema"));
  EXPECT_EQ(nullptr, engine.removeComponent("Schema"));
  EXPECT_EQ(nullptr, engine.getComponent("Schema"));
  EXPECT_EQ(1u, engine.getComponents().size());
  engine.addComponent("Schema", &other);
  EXPECT_EQ(&other, engine.getComponent("Schema"));

  schema.setEngine(engine.getId());
  EXPECT_EQ(engine.getId(), schema.getEngine());
}

TEST(EngineTest, InterpretersAreOwned) {
  int deletions = 0;
  {
    Engine engine;
    CountingInterpreter* txn = new CountingInterpreter(deletions);
    engine.addLanguageInterpreter("zorl-xml-txn", txn);
    EXPECT_EQ(txn, engine.getLanguageInterpreter("zorl-xml-txn"));
    EXPECT_EQ(nullptr, engine.getLanguageInterpreter("other"));
    std::istringstream in("play");
    EXPECT_EQ("s:play", engine.getLanguageInterpreter("zorl-xml-txn")->interpret(in, "s"));

    // A second interpreter under the same name is refused and stays the caller's.
    CountingInterpreter refused(deletions);
    EXPECT_EQ("!taken", conditionOf([&] { engine.addLanguageInterpreter("zorl-xml-txn", &refused); }));
    // One interpreter under two names would be deleted twice.
    EXPECT_EQ("it->second != interpreter",
              conditionOf([&] { engine.addLanguageInterpreter("second", txn); }));
    EXPECT_EQ(nullptr, engine.getLanguageInterpreter("second"));
    EXPECT_EQ("interpreter != 0", conditionOf([&] { engine.addLanguageInterpreter("null", nullptr); }));

    // Removal deletes; removing a missing name does nothing.
    engine.removeLanguageInterpreter("zorl-xml-txn");
    EXPECT_EQ(1, deletions);
    EXPECT_EQ(nullptr, engine.getLanguageInterpreter("zorl-xml-txn"));
    engine.removeLanguageInterpreter("zorl-xml-txn");
    EXPECT_EQ(1, deletions);

    engine.addLanguageInterpreter("a", new CountingInterpreter(deletions));
    engine.addLanguageInterpreter("b", new CountingInterpreter(deletions));
  }
  // The engine deleted the two it still held, and the refused one died on the stack.
  EXPECT_EQ(4, deletions);
}

TEST(EngineTest, HandlesEndWithTheirObjects) {
  // Engines and modules give up their address when they go, so a later object
  // at the same address can register again.
  Engine* engine = new Engine();
  Id<Engine> engineId = engine->getId();
  const std::uintptr_t engineAddress = reinterpret_cast<std::uintptr_t>(engine);
  EXPECT_TRUE(engineId.isValid());
  delete engine;
  EXPECT_FALSE(engineId.isValid());
  EXPECT_EQ(0u, IdTable::getKey(engineAddress));

  TestModule* module = new TestModule();
  EXPECT_EQ("TestModule", module->getName());
  Id<Module> moduleId = module->getId();
  const std::uintptr_t moduleAddress = reinterpret_cast<std::uintptr_t>(module);
  EXPECT_TRUE(moduleId.isValid());
  delete module;
  EXPECT_FALSE(moduleId.isValid());
  EXPECT_EQ(0u, IdTable::getKey(moduleAddress));

  // Many short-lived modules reuse addresses without tripping registration.
  for (int i = 0; i < 100; ++i) {
    TestModule* m = new TestModule();
    EXPECT_TRUE(m->getId().isValid());
    delete m;
  }
}
