#ifndef KADRIX_CONSTRAINT_ENGINE_MODULE_HH
#define KADRIX_CONSTRAINT_ENGINE_MODULE_HH

#include "Utils/base/Module.hh"
#include "Utils/base/Engine.hh"

namespace KADRIX {

  /**
   * Installs the constraint engine in a host engine: a constraint schema with
   * the built-in types and the engine's named constraints, as component
   * "CESchema", and a constraint engine over it, as component
   * "ConstraintEngine". Uninstalling deletes both, the engine first.
   */
  class ConstraintEngineModule : public Module {
  public:
    ConstraintEngineModule();
    virtual ~ConstraintEngineModule() noexcept(false);

    void initialize() override;
    void uninitialize() override;
    void initialize(Id<Engine> engine) override;
    void uninitialize(Id<Engine> engine) override;
  };

}

#endif
