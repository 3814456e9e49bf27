#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Utils.hh"

#include <sstream>

namespace KADRIX {

  Constraint::Constraint(const LabelStr& name, const LabelStr& propagatorName,
                         const ConstraintEngineId& constraintEngine,
                         const std::vector<ConstrainedVariableId>& variables)
    : Entity(), m_isRedundant(false), m_deactivation(0), m_emptyScope(0), m_taintedScope(0),
      m_agendaEntries(0), m_queued(false), m_linked(false), m_earlier(-1), m_later(-1), m_creditable(-1),
      m_linear(false), m_equality(false), m_distinct(true), m_linearDomains{0, 0, 0}, m_negative(0),
      m_sweepMark(0), m_slot(0), m_violationMark(0), m_variables(variables),
      m_linkPositions(variables.size()), m_name(name), m_propagatorName(propagatorName),
      m_constraintEngine(constraintEngine) {
    // Everything is checked before anything is registered.
    KADRIX_CHECK_MSG(constraintEngine.isValid(),
                     "Cannot create constraint " << name.toString() << " without a valid constraint engine.");
    for (size_t i = 0; i < variables.size(); ++i)
      KADRIX_CHECK_MSG(variables[i].isValid() && variables[i]->getConstraintEngine() == constraintEngine,
                       "Variable " << i << " in the scope of constraint " << name.toString()
                                   << " is invalid or belongs to another engine.");
    m_id = ConstraintId(this);
    ConstraintEngine* engine = static_cast<ConstraintEngine*>(m_constraintEngine);
    m_slot = engine->add(this);
    // Inactive from the start when a scope variable is: hooks below may rely on it.
    for (const ConstrainedVariableId& v : variables)
      if (!v->isActive())
        ++m_deactivation;
    engine->link(this);
    try {
      engine->announce(this, true);
    } catch (...) {
      // A hook refused the constraint: the destructor will not run, so undo here.
      engine->unlink(this);
      engine->remove(this);
      m_id.remove();
      throw;
    }
    if (isActive())
      engine->enqueue(this);
  }

  Constraint::~Constraint() noexcept(false) {
    // Safe without a prior discard: only this class's own data is used.
    discard(false);
    m_id.remove();
  }

  const LabelStr& Constraint::entityTypeName() {
    static const LabelStr sl_type("Constraint");
    return sl_type;
  }

  const LabelStr& Constraint::entityType() const { return entityTypeName(); }

  const std::string& Constraint::getEntityType() const {
    static const std::string sl_type("CONSTRAINT");
    return sl_type;
  }

  std::string Constraint::toString() const {
    std::ostringstream os;
    os << m_name.toString() << "(" << getKey() << ") [";
    for (size_t i = 0; i < m_variables.size(); ++i) {
      if (i > 0)
        os << ", ";
      if (m_variables[i].isValid())
        os << m_variables[i]->getName().toString() << "(" << m_variables[i]->getKey() << ")";
      else
        os << "?";
    }
    os << "]";
    return os.str();
  }

  AbstractDomain& Constraint::getCurrentDomain(const ConstrainedVariableId& var) {
    return ConstraintEngine::currentDomain(var.get());
  }

  void Constraint::handleDiscard() {
    ConstraintEngine* engine = static_cast<ConstraintEngine*>(m_constraintEngine);
    const bool quiet = engine->quiet();
    // Told while the constraint is still intact.
    if (m_linked)
      engine->announce(this, false);
    engine->dequeue(this);
    const bool wasActive = isActive();
    engine->unlink(this);
    // The bounds it supported are found before the engine forgets it.
    if (!quiet && wasActive)
      engine->relaxScope(this);
    engine->remove(this);
    if (!quiet && wasActive)
      engine->runWave();
    Entity::handleDiscard();
  }

  // ---------------------------------------------------------------- activation

  void Constraint::deactivate() {
    ConstraintEngine* engine = static_cast<ConstraintEngine*>(m_constraintEngine);
    engine->addDeactivation(this);
    engine->runWave();
  }

  void Constraint::undoDeactivation() {
    KADRIX_CHECK_MSG(m_deactivation > 0, toString() << " is not deactivated.");
    static_cast<ConstraintEngine*>(m_constraintEngine)->removeDeactivation(this);
  }

  void Constraint::setLinearBounds(unsigned int negativePositions, bool equality) {
    KADRIX_CHECK_MSG(
        m_variables.size() < 32 && negativePositions < (1u << m_variables.size()),
        toString() << " has no scope position for some of the minus signs " << negativePositions << ".");
    m_linear = true;
    m_equality = equality;
    m_negative = negativePositions;
    if (m_variables.size() <= LINEAR_SCOPE)
      for (size_t i = 0; i < m_variables.size(); ++i)
        m_linearDomains[i] = &getCurrentDomain(m_variables[i]);
  }

  void Constraint::setTemporalOrder(unsigned int earlier, unsigned int later) {
    KADRIX_CHECK_MSG(
        earlier < m_variables.size() && later < m_variables.size() && earlier < 128 && later < 128,
        toString() << " has no scope position " << earlier << " or " << later << ".");
    m_earlier = static_cast<signed char>(earlier);
    m_later = static_cast<signed char>(later);
  }

  // ---------------------------------------------------------------- state

  double Constraint::getViolation() const {
    const ConstraintEngine* engine = static_cast<const ConstraintEngine*>(m_constraintEngine);
    if (engine->provenInconsistent() && m_violationMark == engine->m_inconsistencies)
      return 1.0;
    return 0.0;
  }

  std::string Constraint::getViolationExpl() const {
    if (getViolation() == 0)
      return "";
    return toString();
  }

  PSList<PSVariable*> Constraint::getVariables() const {
    PSList<PSVariable*> result;
    for (const ConstrainedVariableId& var : m_variables)
      result.push_back(var.get());
    return result;
  }

  const std::vector<ConstrainedVariableId>& Constraint::checkedScope(
      const std::vector<ConstrainedVariableId>& variables, size_t arity, const std::string& name) {
    if (variables.size() != arity) {
      std::ostringstream message;
      if (!name.empty())
        message << "Constraint " << name << " takes " << arity << " variables, not " << variables.size()
                << ".";
      const std::string condition = arity == 2   ? "variables.size() == 2"
                                    : arity == 3 ? "variables.size() == 3"
                                                 : "variables.size() == " + std::to_string(arity);
      KADRIX_CHECK_REPORT_(condition, message.str(), std::string());
    }
    return variables;
  }

}
