#include "Utils/base/Engine.hh"

#include "Utils/base/Debug.hh"
#include "Utils/base/LabelStr.hh"

namespace KADRIX {

  EngineComponent::EngineComponent() {}

  EngineComponent::~EngineComponent() noexcept(false) {}

  void EngineComponent::setEngine(const Id<Engine>& engine) { m_engine = engine; }

  Id<Engine>& EngineComponent::getEngine() { return m_engine; }

  const Id<Engine>& EngineComponent::getEngine() const { return m_engine; }

  LanguageInterpreter::~LanguageInterpreter() noexcept(false) {}

  Engine::Engine() : m_id(this) {}

  Engine::~Engine() noexcept(false) {
    // Take the interpreters out of the map before deleting them, so that an
    // interpreter whose destructor looks at the engine finds a consistent one.
    std::map<double, LanguageInterpreter*> interpreters;
    interpreters.swap(m_interpreters);
    for (std::map<double, LanguageInterpreter*>::iterator it = interpreters.begin(); it != interpreters.end();
         ++it)
      delete it->second;
    if (m_id.isValid())
      m_id.remove();
  }

  void Engine::addComponent(const std::string& name, EngineComponent* component) {
    KADRIX_CHECK_MSG(component != 0, "Cannot add a null component as '" << name << "'.");
    if (component == 0)
      return;
    const double key = LabelStr(name).getKey();
    const bool taken = m_components.find(key) != m_components.end();
    KADRIX_CHECK_MSG(!taken, "A component named '" << name << "' is already registered.");
    if (taken)
      return;
    m_components.insert(std::make_pair(key, component));
  }

  EngineComponent* Engine::removeComponent(const std::string& name) {
    std::map<double, EngineComponent*>::iterator it = m_components.find(LabelStr(name).getKey());
    if (it == m_components.end())
      return 0;
    EngineComponent* component = it->second;
    m_components.erase(it);
    return component;
  }

  EngineComponent* Engine::getComponent(const std::string& name) {
    std::map<double, EngineComponent*>::const_iterator it = m_components.find(LabelStr(name).getKey());
    return it == m_components.end() ? 0 : it->second;
  }

  const EngineComponent* Engine::getComponent(const std::string& name) const {
    std::map<double, EngineComponent*>::const_iterator it = m_components.find(LabelStr(name).getKey());
    return it == m_components.end() ? 0 : it->second;
  }

  const std::map<double, EngineComponent*>& Engine::getComponents() const { return m_components; }

  void Engine::addLanguageInterpreter(const std::string& name, LanguageInterpreter* interpreter) {
    // A refused interpreter stays with the caller.
    KADRIX_CHECK_MSG(interpreter != 0, "Cannot add a null language interpreter for '" << name << "'.");
    if (interpreter == 0)
      return;
    const double key = LabelStr(name).getKey();
    const bool taken = m_interpreters.find(key) != m_interpreters.end();
    KADRIX_CHECK_MSG(!taken, "A language interpreter for '" << name << "' is already registered.");
    if (taken)
      return;
    // The engine deletes what it holds, so one interpreter may not stand under two names.
    for (std::map<double, LanguageInterpreter*>::const_iterator it = m_interpreters.begin();
         it != m_interpreters.end(); ++it) {
      KADRIX_CHECK_MSG(it->second != interpreter, "The language interpreter for '"
                                                      << name << "' is already registered as '"
                                                      << LabelStr(it->first).toString() << "'.");
      if (it->second == interpreter)
        return;
    }
    m_interpreters.insert(std::make_pair(key, interpreter));
  }

  void Engine::removeLanguageInterpreter(const std::string& name) {
    std::map<double, LanguageInterpreter*>::iterator it = m_interpreters.find(LabelStr(name).getKey());
    if (it == m_interpreters.end())
      return;
    LanguageInterpreter* interpreter = it->second;
    m_interpreters.erase(it);
    delete interpreter;
  }

  LanguageInterpreter* Engine::getLanguageInterpreter(const std::string& name) {
    std::map<double, LanguageInterpreter*>::const_iterator it = m_interpreters.find(LabelStr(name).getKey());
    return it == m_interpreters.end() ? 0 : it->second;
  }

} // namespace KADRIX
