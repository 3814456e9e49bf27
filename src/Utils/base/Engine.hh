#ifndef KADRIX_UTILS_ENGINE_HH
#define KADRIX_UTILS_ENGINE_HH

#include "Utils/base/Id.hh"

#include <iosfwd>
#include <map>
#include <string>

namespace KADRIX {

  class Engine;
  typedef Id<Engine> EngineId;

  /**
 * Something a host engine holds under a name (a schema, a plan database,
 * a constraint engine). The engine does not own its components.
 */
  class EngineComponent {
  public:
    virtual ~EngineComponent() noexcept(false);

    void setEngine(const Id<Engine>& engine);
    Id<Engine>& getEngine();
    const Id<Engine>& getEngine() const;

  protected:
    EngineComponent();

    Id<Engine> m_engine; // empty until setEngine is called
  };

  /**
 * An interpreter the host offers under a language name.
 */
  class LanguageInterpreter {
  public:
    virtual ~LanguageInterpreter() noexcept(false);
    virtual std::string interpret(std::istream& input, const std::string& script) = 0;
  };

  /**
 * The host engine: components and language interpreters by name.
 * Components stay owned by whoever added them; interpreters are owned by the
 * engine from the moment they are added.
 */
  class Engine {
  public:
    Engine();
    virtual ~Engine() noexcept(false);

    const Id<Engine>& getId() const { return m_id; }

    /** Registers a component under a name that is not yet taken. */
    virtual void addComponent(const std::string& name, EngineComponent* component);

    /** Unregisters the component and hands it back (null when there is none). */
    virtual EngineComponent* removeComponent(const std::string& name);

    /** The component registered under the name, or null. */
    virtual EngineComponent* getComponent(const std::string& name);
    virtual const EngineComponent* getComponent(const std::string& name) const;

    /** Every component, keyed by the label key of its name. */
    virtual const std::map<double, EngineComponent*>& getComponents() const;

    /** Registers an interpreter under a name that is not yet taken; the engine takes ownership. */
    virtual void addLanguageInterpreter(const std::string& name, LanguageInterpreter* interpreter);

    /** Unregisters and deletes the interpreter of that language; no interpreter, nothing happens. */
    virtual void removeLanguageInterpreter(const std::string& name);

    /** The interpreter of that language, or null. */
    virtual LanguageInterpreter* getLanguageInterpreter(const std::string& name);

  private:
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    Id<Engine> m_id;
    std::map<double, EngineComponent*> m_components;
    std::map<double, LanguageInterpreter*> m_interpreters;
  };

} // namespace KADRIX

#endif
