#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Utils.hh"

#include <sstream>

namespace KADRIX {

  namespace {
    // The first position at which a variable occurs in a scope.
    bool firstOccurrence(const std::vector<ConstrainedVariable*>& scope, size_t i) {
      for (size_t j = 0; j < i; ++j)
        if (scope[j] == scope[i])
          return false;
      return true;
    }
  }

  Constraint::Constraint(const LabelStr& name, const LabelStr& propagatorName,
                         const ConstraintEngineId& constraintEngine,
                         const std::vector<ConstrainedVariableId>& variables)
    : Entity(), m_isRedundant(false), m_deactivation(0), m_emptyScope(0), m_taintedScope(0),
      m_agendaEntries(0), m_queued(false), m_linked(false), m_temporalKind(-1),
      m_creditable(-1), m_linearDomains{0, 0, 0}, m_linear(false), m_equality(false), m_distinct(true),
      m_negative(0), m_sweepMark(0), m_slot(0), m_violationMark(0), m_name(name),
      m_propagatorName(propagatorName), m_constraintEngine(constraintEngine), m_variables(variables) {
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
    m_scope.reserve(variables.size());
    for (const ConstrainedVariableId& v : variables) {
      m_scope.push_back(static_cast<ConstrainedVariable*>(v));
      if (!v->isActive())
        ++m_deactivation;
    }

    m_linkPositions.reserve(m_scope.size());
    for (size_t i = 0; i < m_scope.size(); ++i) {
      ConstrainedVariable* var = m_scope[i];
      m_distinct = m_distinct && firstOccurrence(m_scope, i);
      engine->noteEmptiness(var);
      if (var->m_empty)
        ++m_emptyScope;
      if (var->m_tainted)
        ++m_taintedScope;
      m_linkPositions.push_back(static_cast<unsigned int>(var->m_links.size()));
      ConstrainedVariable::Link link;
      link.constraint = this;
      link.argIndex = static_cast<int>(i);
      link.id = m_id;
      var->m_links.push_back(link);
    }
    m_linked = true;

    try {
      if (!engine->quiet()) {
        for (size_t i = 0; i < m_scope.size(); ++i) {
          ConstrainedVariable* var = m_scope[i];
          if (firstOccurrence(m_scope, i))
            var->handleConstraintAdded(m_id);
          tellListeners(var->m_listeners, [this, i](const ConstrainedVariableListenerId& l) {
            l->notifyConstraintAdded(m_id, static_cast<int>(i));
          });
        }
      }
    } catch (...) {
      // A hook refused the constraint: the destructor will not run, so undo here.
      unlink();
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
    return var->getCurrentDomain();
  }

  void Constraint::unlink() {
    if (!m_linked)
      return;
    m_linked = false;
    for (size_t i = 0; i < m_scope.size(); ++i) {
      std::vector<ConstrainedVariable::Link>& links = m_scope[i]->m_links;
      const unsigned int pos = m_linkPositions[i];
      const ConstrainedVariable::Link last = links.back();
      links[pos] = last;
      last.constraint->m_linkPositions[last.argIndex] = pos;
      links.pop_back();
    }
  }

  void Constraint::handleDiscard() {
    ConstraintEngine* engine = static_cast<ConstraintEngine*>(m_constraintEngine);
    const bool quiet = engine->quiet();
    // Told while the constraint is still intact.
    if (!quiet && m_linked) {
      for (size_t i = 0; i < m_scope.size(); ++i) {
        ConstrainedVariable* var = m_scope[i];
        if (firstOccurrence(m_scope, i))
          var->handleConstraintRemoved(m_id);
        tellListeners(var->m_listeners, [this, i](const ConstrainedVariableListenerId& l) {
          l->notifyConstraintRemoved(m_id, static_cast<int>(i));
        });
      }
    }
    engine->dequeue(this);
    const bool wasActive = isActive();
    unlink();
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
    addDeactivation();
    ConstraintEngine* engine = static_cast<ConstraintEngine*>(m_constraintEngine);
    engine->runWave();
  }

  void Constraint::undoDeactivation() {
    KADRIX_CHECK_MSG(m_deactivation > 0, toString() << " is not deactivated.");
    removeDeactivation();
  }

  void Constraint::addDeactivation() {
    ++m_deactivation;
    if (m_deactivation != 1)
      return;
    handleDeactivate();
    ConstraintEngine* engine = static_cast<ConstraintEngine*>(m_constraintEngine);
    engine->dequeue(this);
    if (!engine->quiet())
      engine->relaxScope(this);
  }

  void Constraint::removeDeactivation() {
    --m_deactivation;
    if (m_deactivation != 0)
      return;
    handleActivate();
    ConstraintEngine* engine = static_cast<ConstraintEngine*>(m_constraintEngine);
    engine->enqueue(this);
  }

  void Constraint::setLinearBounds(unsigned int negativePositions, bool equality) {
    KADRIX_CHECK_MSG(
        m_scope.size() < 32 && negativePositions < (1u << m_scope.size()),
        toString() << " has no scope position for some of the minus signs " << negativePositions << ".");
    m_linear = true;
    m_equality = equality;
    m_negative = negativePositions;
    if (m_scope.size() <= LINEAR_SCOPE)
      for (size_t i = 0; i < m_scope.size(); ++i)
        m_linearDomains[i] = &getCurrentDomain(m_variables[i]);
  }

  // ---------------------------------------------------------------- state

  bool Constraint::hasEmptiedScopeVariable() const {
    for (ConstrainedVariable* var : m_scope)
      if (var->m_emptied)
        return true;
    return false;
  }

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
    for (ConstrainedVariable* var : m_scope)
      result.push_back(var);
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
