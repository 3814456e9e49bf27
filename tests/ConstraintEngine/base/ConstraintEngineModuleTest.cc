#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintEngineModule.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "Utils/base/Engine.hh"
#include "Utils/base/Error.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {

    TEST(HostEngine, ModuleInstallsAndRemovesTheConstraintEngine) {
      Engine host;
      ConstraintEngineModule module;
      module.initialize(host.getId());

      CESchema* schema = dynamic_cast<CESchema*>(host.getComponent("CESchema"));
      ConstraintEngine* ce = dynamic_cast<ConstraintEngine*>(host.getComponent("ConstraintEngine"));
      ASSERT_NE(schema, nullptr);
      ASSERT_NE(ce, nullptr);
      EXPECT_EQ(ce->getCESchema(), schema->getId());
      for (const char* name : {"eq", "precedes", "concurrent", "temporalDistance"})
        EXPECT_TRUE(schema->isConstraintType(LabelStr(name))) << name;

      // Leftovers go with the engine.
      ConstrainedVariableId a = ce->createVariable(LabelStr("span"), IntervalIntDomain(3, 9));
      ce->createConstraint(LabelStr("precedes"), makeScope(a, a));

      EXPECT_THROW(module.initialize(host.getId()), Error); // installed already
      module.uninitialize(host.getId());
      EXPECT_TRUE(host.getComponents().empty());
      EXPECT_FALSE(a.isValid());

      // And it can be installed again.
      module.initialize(host.getId());
      EXPECT_NE(host.getComponent("ConstraintEngine"), nullptr);
      module.uninitialize(host.getId());
    }

  }
}
