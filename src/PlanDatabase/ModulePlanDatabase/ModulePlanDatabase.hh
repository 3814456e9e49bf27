#ifndef KADRIX_PLANDATABASE_MODULEPLANDATABASE_HH
#define KADRIX_PLANDATABASE_MODULEPLANDATABASE_HH

#include "Utils/base/Module.hh"
#include "Utils/base/Engine.hh"

namespace KADRIX {

  /** Process-wide flag of the engine-less set-up pair; false until initialize(). */
  bool& planDatabaseInitialized();

  /**
   * Installs the plan database in a host engine that already holds the
   * constraint engine ("ConstraintEngine", "CESchema"): registers the
   * ancestor and object-token constraint factories, and adds a schema
   * ("Schema", declaring "Timeline") and a plan database over it
   * ("PlanDatabase") as components. Uninstalling asks the host to drop the
   * transaction interpreter, then deletes the database before the schema it
   * uses; the factories stay registered. The module itself owns nothing
   * between the two calls.
   */
  class ModulePlanDatabase : public Module {
  public:
    ModulePlanDatabase();
    virtual ~ModulePlanDatabase() noexcept(false);

    void initialize() override;
    void uninitialize() override;
    void initialize(Id<Engine> engine) override;
    void uninitialize(Id<Engine> engine) override;
  };

}

#endif
