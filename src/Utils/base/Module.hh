#ifndef KADRIX_UTILS_MODULE_HH
#define KADRIX_UTILS_MODULE_HH

#include "Utils/base/Id.hh"

#include <string>

namespace KADRIX {

  class Engine;
  class Module;
  typedef Id<Module> ModuleId;

  /**
 * An installable unit: it sets itself up in a host engine and takes itself
 * out again. The engine-less pair is for process-wide set-up only.
 */
  class Module {
  public:
    explicit Module(const std::string& name);

    /** Ends the module's registration, so the address can be used again. */
    virtual ~Module() noexcept(false);

    virtual void initialize() = 0;
    virtual void uninitialize() = 0;
    virtual void initialize(Id<Engine> engine) = 0;
    virtual void uninitialize(Id<Engine> engine) = 0;

    Id<Module>& getId() { return m_id; }
    const std::string& getName() const { return m_name; }

  protected:
    Id<Module> m_id;
    std::string m_name;

  private:
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
  };

} // namespace KADRIX

#endif
