#include "PlanDatabase/ModulePlanDatabase/ModulePlanDatabase.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintEngineModule.hh"
#include "Utils/base/Engine.hh"

#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <memory>

namespace KADRIX {
  namespace TestModel {
    namespace {

      /** Goes with its database and notes whether the schema was still there. */
      class WitnessAdvisor : public DefaultTemporalAdvisor {
      public:
        WitnessAdvisor(const ConstraintEngineId& ce, const Id<Schema>& schema, std::string& note)
          : DefaultTemporalAdvisor(ce), m_schema(schema), m_note(note) {}
        ~WitnessAdvisor() noexcept(false) { m_note = m_schema.isValid() ? "schema alive" : "schema gone"; }

      private:
        Id<Schema> m_schema;
        std::string& m_note;
      };

      class ModulePlanDatabaseTest : public ::testing::Test {
      protected:
        ModulePlanDatabaseTest() : host(new Engine()) { ceModule->initialize(host->getId()); }
        ~ModulePlanDatabaseTest() {
          ceModule->uninitialize(host->getId());
          delete host;
        }

        template <class T> T* component(const char* name) {
          return dynamic_cast<T*>(host->getComponent(name));
        }

        Engine* host;
        // Held by pointer: their destructors may throw, the fixture's may not.
        std::unique_ptr<ConstraintEngineModule> ceModule{new ConstraintEngineModule()};
        std::unique_ptr<ModulePlanDatabase> module{new ModulePlanDatabase()};
      };

      TEST_F(ModulePlanDatabaseTest, InstallsSchemaDatabaseAndFactories) {
        EXPECT_EQ("PlanDatabase", module->getName());
        module->initialize(host->getId());
        Schema* schema = component<Schema>("Schema");
        PlanDatabase* db = component<PlanDatabase>("PlanDatabase");
        CESchema* ces = component<CESchema>("CESchema");
        ASSERT_NE(schema, nullptr);
        ASSERT_NE(db, nullptr);
        EXPECT_EQ("EngineSchema", schema->getName().toString());
        EXPECT_TRUE(schema->isA("Timeline", "Object"));
        EXPECT_EQ(db->getSchema(), schema->getId());
        EXPECT_EQ(db->getConstraintEngine(), component<ConstraintEngine>("ConstraintEngine")->getId());
        for (const char* name : {"commonAncestor", "hasAncestor", "ObjectTokenRelation"})
          EXPECT_TRUE(ces->isConstraintType(name)) << name;

        // The database goes before the schema; the factories stay.
        std::string note;
        db->setTemporalAdvisor(
            (new WitnessAdvisor(db->getConstraintEngine(), schema->getId(), note))->getId());
        module->uninitialize(host->getId());
        EXPECT_EQ("schema alive", note);
        EXPECT_EQ(nullptr, host->getComponent("Schema"));
        EXPECT_EQ(nullptr, host->getComponent("PlanDatabase"));
        EXPECT_TRUE(ces->isConstraintType("hasAncestor"));
        // Nothing left to take out: nothing happens.
        module->uninitialize(host->getId());

        // Installs again into a fresh host.
        ceModule->uninitialize(host->getId());
        delete host;
        host = new Engine();
        ceModule->initialize(host->getId());
        module->initialize(host->getId());
        ASSERT_NE(nullptr, component<PlanDatabase>("PlanDatabase"));
        EXPECT_TRUE(component<Schema>("Schema")->isA("Timeline", "Object"));
        module->uninitialize(host->getId());
      }

      TEST_F(ModulePlanDatabaseTest, NeedsTheConstraintEngineInstalled) {
        delete host->removeComponent("ConstraintEngine");
        EXPECT_CHECK_FAILS(module->initialize(host->getId()), "ce != 0",
                           "The host engine has no component \"ConstraintEngine\": "
                           "install the constraint engine before the plan database.");
        delete host->removeComponent("CESchema");
        Engine other;
        ceModule->initialize(other.getId());
        delete other.removeComponent("CESchema");
        EXPECT_CHECK_FAILS(module->initialize(other.getId()), "ces != 0",
                           "The host engine has no component \"CESchema\": "
                           "install the constraint engine before the plan database.");
        ceModule->uninitialize(other.getId());
        EXPECT_TRUE(host->getComponents().empty());
      }

      TEST(ModulePlanDatabaseFlag, EngineLessPairSetsAndClearsTheFlag) {
        ModulePlanDatabase module;
        module.initialize();
        module.initialize();
        EXPECT_TRUE(planDatabaseInitialized());
        module.uninitialize();
        EXPECT_FALSE(planDatabaseInitialized());
        module.uninitialize();
        EXPECT_FALSE(planDatabaseInitialized());
      }

    }
  }
}
