#include "PlanDatabase/ModulePlanDatabase/ModulePlanDatabase.hh"
#include "PlanDatabase/base/CommonAncestorConstraint.hh"
#include "PlanDatabase/base/HasAncestorConstraint.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  bool& planDatabaseInitialized() {
    static bool sl_initialized = false;
    return sl_initialized;
  }

  ModulePlanDatabase::ModulePlanDatabase() : Module("PlanDatabase") {}

  ModulePlanDatabase::~ModulePlanDatabase() noexcept(false) {}

  void ModulePlanDatabase::initialize() {
    if (!planDatabaseInitialized())
      planDatabaseInitialized() = true;
  }

  void ModulePlanDatabase::uninitialize() { planDatabaseInitialized() = false; }

  void ModulePlanDatabase::initialize(Id<Engine> engine) {
    KADRIX_CHECK(engine.isValid());
    ConstraintEngine* ce = dynamic_cast<ConstraintEngine*>(engine->getComponent("ConstraintEngine"));
    KADRIX_CHECK_MSG(ce != 0, "The host engine has no component \"ConstraintEngine\": "
                                  << "install the constraint engine before the plan database.");
    CESchema* ces = dynamic_cast<CESchema*>(engine->getComponent("CESchema"));
    KADRIX_CHECK_MSG(ces != 0, "The host engine has no component \"CESchema\": "
                                   << "install the constraint engine before the plan database.");

    ces->registerConstraintFactory(
        new ConcreteConstraintFactory<CommonAncestorConstraint>("commonAncestor", "Default", true));
    ces->registerConstraintFactory(
        new ConcreteConstraintFactory<HasAncestorConstraint>("hasAncestor", "Default", true));
    ces->registerConstraintFactory(
        new ConcreteConstraintFactory<ObjectTokenRelation>("ObjectTokenRelation", "Default", true));

    // The schema is a component before its first object type is declared.
    Schema* schema = new Schema("EngineSchema", ces->getId());
    engine->addComponent("Schema", schema);
    schema->addObjectType("Timeline");

    PlanDatabase* db = new PlanDatabase(ce->getId(), schema->getId());
    engine->addComponent("PlanDatabase", db);

    // The XML transaction interpreter over the database's client; the host
    // engine owns it from here on.
    engine->addLanguageInterpreter("zorl-xml-txn", new ZorlXmlTxnInterpreter(db->getClient()));
  }

  void ModulePlanDatabase::uninitialize(Id<Engine> engine) {
    KADRIX_CHECK(engine.isValid());
    engine->removeLanguageInterpreter("zorl-xml-txn");
    // The database goes first: purging it still reads the schema.
    delete engine->removeComponent("PlanDatabase");
    delete engine->removeComponent("Schema");
  }

}
