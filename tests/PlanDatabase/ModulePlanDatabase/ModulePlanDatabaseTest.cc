#include "PlanDatabase/ModulePlanDatabase/ModulePlanDatabase.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintEngineModule.hh"
#include "Utils/base/Engine.hh"

#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

namespace KADRIX {
namespace test {

  TEST(ModulePlanDatabase, InstallsSchemaDatabaseAndFactories) {
    Engine host;
    ConstraintEngineModule ceModule;
    ModulePlanDatabase module;
    EXPECT_EQ("PlanDatabase", module.getName());
    ceModule.initialize(host.getId());
    module.initialize(host.getId());

    Schema* schema = dynamic_cast<Schema*>(host.getComponent("Schema"));
    PlanDatabase* db = dynamic_cast<PlanDatabase*>(host.getComponent("PlanDatabase"));
    CESchema* ces = dynamic_cast<CESchema*>(host.getComponent("CESchema"));
    ASSERT_NE(schema, nullptr);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ("EngineSchema", schema->getName().toString());
    EXPECT_TRUE(schema->isA("Timeline", "Object"));
    EXPECT_EQ(db->getSchema(), schema->getId());
    for (const char* name : {"commonAncestor", "hasAncestor", "ObjectTokenRelation"})
      EXPECT_TRUE(ces->isConstraintType(name)) << name;

    module.uninitialize(host.getId());
    EXPECT_EQ(nullptr, host.getComponent("Schema"));
    EXPECT_EQ(nullptr, host.getComponent("PlanDatabase"));
    // The factories stay with the constraint schema.
    EXPECT_TRUE(ces->isConstraintType("hasAncestor"));
    ceModule.uninitialize(host.getId());
  }

}
}
