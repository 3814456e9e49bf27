#include "ConstraintEngine/base/ConstraintEngineModule.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "Utils/base/Debug.hh"

namespace KADRIX {

  ConstraintEngineModule::ConstraintEngineModule() : Module("ConstraintEngine") {}

  ConstraintEngineModule::~ConstraintEngineModule() noexcept(false) {}

  void ConstraintEngineModule::initialize() {}

  void ConstraintEngineModule::uninitialize() {}

  void ConstraintEngineModule::initialize(Id<Engine> engine) {
    KADRIX_CHECK(engine.isValid());
    KADRIX_CHECK_MSG(engine->getComponent("ConstraintEngine") == 0 && engine->getComponent("CESchema") == 0,
                     "The constraint engine is installed already.");
    CESchema* schema = new CESchema();
    registerEngineConstraints(schema->getId());
    ConstraintEngine* ce = new ConstraintEngine(schema->getId());
    engine->addComponent("CESchema", schema);
    engine->addComponent("ConstraintEngine", ce);
  }

  void ConstraintEngineModule::uninitialize(Id<Engine> engine) {
    KADRIX_CHECK(engine.isValid());
    // The engine goes before the schema it uses.
    delete engine->removeComponent("ConstraintEngine");
    delete engine->removeComponent("CESchema");
  }

}
