#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintEngineModule.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "Utils/base/Engine.hh"
#include "Utils/base/Error.hh"

#include <gtest/gtest.h>

#include <sstream>

namespace KADRIX {
namespace test {

  namespace {
    class CountingInterpreter : public LanguageInterpreter {
    public:
      explicit CountingInterpreter(int& deleted) : m_deleted(deleted) {}
      ~CountingInterpreter() noexcept(false) override { ++m_deleted; }
      std::string interpret(std::istream&, const std::string& script) override { return "ran " + script; }

    private:
      int& m_deleted;
    };
  }

  TEST(HostEngine, ModuleInstallsAndRemovesTheConstraintEngine) {
    Engine host;
    ConstraintEngineModule module;
    EXPECT_EQ(module.getName(), "ConstraintEngine");
    module.initialize(host.getId());

    CESchema* schema = dynamic_cast<CESchema*>(host.getComponent("CESchema"));
    ConstraintEngine* ce = dynamic_cast<ConstraintEngine*>(host.getComponent("ConstraintEngine"));
    ASSERT_NE(schema, nullptr);
    ASSERT_NE(ce, nullptr);
    EXPECT_EQ(ce->getCESchema(), schema->getId());
    EXPECT_EQ(host.getComponents().size(), 2u);
    EXPECT_FALSE(ce->getAutoPropagation());
    for (const char* name : {"eq", "precedes", "concurrent", "temporalDistance"})
      EXPECT_TRUE(schema->isConstraintType(LabelStr(name))) << name;

    // The installed engine works, and leftovers go with it.
    ConstrainedVariableId a = ce->createVariable(LabelStr("span"), IntervalIntDomain(3, 9));
    ConstrainedVariableId b = ce->createVariable(LabelStr("span"), IntervalIntDomain(0, 5));
    ce->createConstraint(LabelStr("precedes"), makeScope(a, b));
    EXPECT_TRUE(ce->propagate());
    EXPECT_EQ(b->lastDomain().getLowerBound(), 3);

    EXPECT_THROW(module.initialize(host.getId()), Error); // installed already
    module.uninitialize(host.getId());
    EXPECT_EQ(host.getComponent("ConstraintEngine"), nullptr);
    EXPECT_EQ(host.getComponent("CESchema"), nullptr);
    EXPECT_FALSE(a.isValid());

    // And it can be installed again.
    module.initialize(host.getId());
    EXPECT_NE(host.getComponent("ConstraintEngine"), nullptr);
    module.uninitialize(host.getId());
  }

  TEST(HostEngine, OwnsItsInterpretersButNotItsComponents) {
    int deleted = 0;
    {
      Engine host;
      host.addLanguageInterpreter("a", new CountingInterpreter(deleted));
      host.addLanguageInterpreter("b", new CountingInterpreter(deleted));
      EXPECT_THROW(host.addLanguageInterpreter("a", nullptr), Error);
      std::istringstream in;
      EXPECT_EQ(host.getLanguageInterpreter("a")->interpret(in, "x"), "ran x");
      EXPECT_EQ(host.getLanguageInterpreter("none"), nullptr);
      host.removeLanguageInterpreter("a");
      EXPECT_EQ(deleted, 1);
      EXPECT_EQ(host.getLanguageInterpreter("a"), nullptr);

      CESchema* schema = new CESchema();
      host.addComponent("CESchema", schema);
      EXPECT_THROW(host.addComponent("CESchema", schema), Error);
      EXPECT_EQ(host.removeComponent("CESchema"), schema);
      EXPECT_EQ(host.removeComponent("CESchema"), nullptr);
      delete schema;
    }
    EXPECT_EQ(deleted, 2); // the one left went with the host
  }

}
}
