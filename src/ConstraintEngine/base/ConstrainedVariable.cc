#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

#include <list>
#include <memory>
#include <set>
#include <sstream>

namespace KADRIX {

  void VariableChangeListener::notifyChange(const ChangeType& changeType) {
    ConstrainedVariable* var = static_cast<ConstrainedVariable*>(this);
    if (var->m_muted)
      return;
    var->m_constraintEngine->notifyChange(var, changeType);
  }

  // ---------------------------------------------------------------- listener

  ConstrainedVariableListener::ConstrainedVariableListener(const ConstrainedVariableId& var) {
    KADRIX_CHECK(var.isValid());
    m_id = ConstrainedVariableListenerId(this);
    m_var = var;
    m_var->addListener(this);
  }

  ConstrainedVariableListener::~ConstrainedVariableListener() noexcept(false) {
    // The variable may be gone already (deleted in purge mode).
    if (m_var.isValid())
      m_var->removeListener(this);
    m_id.remove();
  }

  void ConstrainedVariableListener::notifyDiscard() {}

  // ---------------------------------------------------------------- variable

  ConstrainedVariable::ConstrainedVariable(const ConstraintEngineId& constraintEngine, bool internal,
                                           bool canBeSpecified, const LabelStr& name, const EntityId& parent,
                                           int index)
    : Entity(), m_narrowed(false), m_tainted(false), m_emptied(false), m_muted(false), m_dying(false),
      m_empty(false), m_specified(false), m_support{0, 0}, m_currentDomain(0), m_deactivation(0),
      m_index(index), m_slot(0), m_waveStamp(0), m_sweepStamp(0), m_sweepNode(0),
      m_constraintEngine(static_cast<ConstraintEngine*>(constraintEngine)), m_name(name), m_specifiedValue(0),
      m_parent(parent), m_invalid(0), m_boundsTracked(-1), m_internal(internal),
      m_canBeSpecified(canBeSpecified), m_specifiedByOwner(false) {
    KADRIX_CHECK_MSG(constraintEngine.isValid(),
                     "Cannot create variable " << name.toString() << " without a valid constraint engine.");
    m_id = ConstrainedVariableId(this);
    m_slot = m_constraintEngine->add(this);
  }

  void ConstrainedVariable::noteBaseDomain(const AbstractDomain& baseDomain) {
    m_constraintEngine->m_entitySlots[m_slot] = baseDomain.isEntity() ? 1 : 0;
  }

  ConstrainedVariable::~ConstrainedVariable() noexcept(false) {
    // Safe without a prior discard: only engine-level data is used from here.
    discard(false);
    m_id.remove();
  }

  const LabelStr& ConstrainedVariable::entityTypeName() {
    static const LabelStr sl_type("ConstrainedVariable");
    return sl_type;
  }

  const LabelStr& ConstrainedVariable::entityType() const { return entityTypeName(); }

  const LabelStr& ConstrainedVariable::NO_NAME() {
    static const LabelStr sl_noName(g_noVarName());
    return sl_noName;
  }

  const std::string& ConstrainedVariable::getEntityType() const {
    static const std::string sl_type("VARIABLE");
    return sl_type;
  }

  const LabelStr& ConstrainedVariable::getName() const { return m_name; }

  std::string ConstrainedVariable::toString() const {
    std::ostringstream os;
    os << m_name.toString() << "(" << getKey() << ")";
    // Once discarding has started the subclass may have released its domains.
    if (!m_dying)
      os << " " << lastDomain().toString();
    return os.str();
  }

  std::string ConstrainedVariable::toLongString() const {
    std::ostringstream os;
    os << toString();
    if (!m_dying)
      os << " base " << baseDomain().toString();
    if (m_specified)
      os << " specified " << toString(m_specifiedValue);
    return os.str();
  }

  std::string ConstrainedVariable::toString(double value) const { return baseDomain().toString(value); }

  bool ConstrainedVariable::validate() const { return m_id.isId() && m_constraintEngine != nullptr; }

  const ConstraintEngineId& ConstrainedVariable::getConstraintEngine() const {
    return m_constraintEngine->getId();
  }

  double ConstrainedVariable::getSpecifiedValue() const {
    KADRIX_CHECK_MSG(isSpecified(), toString() << " is not specified.");
    return m_specifiedValue;
  }

  bool ConstrainedVariable::isClosed() const { return baseDomain().isClosed(); }

  bool ConstrainedVariable::isEmptied() {
    const AbstractDomain& dom = getCurrentDomain();
    return dom.isEmpty() && dom.isClosed();
  }

  // ---------------------------------------------------------------- narrowing

  void ConstrainedVariable::specify(double value) {
    KADRIX_CHECK_MSG(canBeSpecified(), toString() << " cannot be specified.");
    internalSpecify(value);
  }

  void ConstrainedVariable::internalSpecify(double value) {
    // Read first: the base domain is copied only when it changes.
    if (!baseDomain().isMember(value) && baseDomain().isOpen())
      internal_baseDomain().insert(value);
    const AbstractDomain& base = baseDomain();
    KADRIX_CHECK_MSG(base.isMember(value), "Cannot specify " << toString() << " to " << toString(value)
                                                             << ": not in its base domain.");
    if (m_specified) {
      if (base.compareEqual(m_specifiedValue, value))
        return;
      // Widen first, so that narrowing derived from the old value cannot
      // fake an inconsistency.
      resetTo(0);
    }
    // Marked before the domain changes: constraints told of the change read
    // the new state.
    m_specified = true;
    m_specifiedValue = value;
    changeCurrentDomain(
        [value](AbstractDomain& current) {
          if (current.isOpen() && !current.isMember(value))
            current.insert(value);
          current.set(value);
        },
        DomainListener::SET_TO_SINGLETON, true);
  }

  void ConstrainedVariable::remove(double value) {
    internal_baseDomain().remove(value);
    getCurrentDomain().remove(value);
  }

  void ConstrainedVariable::close() {
    if (baseDomain().isOpen())
      internal_baseDomain().close();
    getCurrentDomain().close();
  }

  void ConstrainedVariable::restrictBaseDomain(const AbstractDomain& domain) {
    // Refuse a restriction that would leave an empty closed base domain before
    // anything changes: no relaxation could ever recover from it.
    // The trial copy is owned here: intersecting a domain of another kind fails a check.
    std::unique_ptr<AbstractDomain> result(baseDomain().copy());
    if (domain.isClosed() && result->isOpen())
      result->close();
    result->intersect(domain);
    const bool empties = result->isEmpty() && result->isClosed();
    KADRIX_CHECK_MSG(!empties, "Restriction would empty base domain of " << toString());
    handleRestrictBaseDomain(domain);
  }

  // ---------------------------------------------------------------- widening

  void ConstrainedVariable::reset() { resetTo(0); }

  void ConstrainedVariable::reset(const AbstractDomain& domain) { resetTo(&domain); }

  void ConstrainedVariable::resetTo(const AbstractDomain* domain) {
    // The specified value goes first: constraints told of the reset see it gone.
    m_specified = false;
    m_narrowed = false;
    const AbstractDomain& target = domain != 0 ? *domain : baseDomain();
    changeCurrentDomain([&target](AbstractDomain& current) { current.relax(target); }, DomainListener::RESET,
                        false);
  }

  void ConstrainedVariable::relax() {
    m_narrowed = false;
    changeCurrentDomain(
        [this](AbstractDomain& current) {
          current.relax(baseDomain());
          if (m_specified)
            current.set(m_specifiedValue);
        },
        DomainListener::RELAXED, true);
  }

  template <class Change>
  void ConstrainedVariable::changeCurrentDomain(Change change, DomainListener::ChangeType type,
                                                bool mayEmpty) {
    AbstractDomain& current = getCurrentDomain();
    m_muted = true;
    try {
      change(current);
    } catch (...) {
      m_muted = false;
      throw;
    }
    m_muted = false;
    if (mayEmpty && current.isEmpty() && current.isClosed())
      type = DomainListener::EMPTIED;
    m_constraintEngine->notifyChange(this, type);
  }

  void ConstrainedVariable::insert(double value) {
    KADRIX_CHECK_MSG(baseDomain().isOpen(),
                     "Cannot insert " << toString(value) << " into the closed domain of " << toString());
    internal_baseDomain().insert(value);
    // A specified variable keeps its single value.
    if (!m_specified)
      getCurrentDomain().insert(value);
  }

  void ConstrainedVariable::insertAll(const std::vector<double>& values) {
    if (values.empty())
      return;
    KADRIX_CHECK_MSG(baseDomain().isOpen(), "Cannot insert " << toString(values.front())
                                                             << " into the closed domain of " << toString());
    internal_baseDomain().insertAll(values);
    if (!m_specified)
      getCurrentDomain().insertAll(values);
  }

  void ConstrainedVariable::open() {
    internal_baseDomain().open();
    getCurrentDomain().open();
  }

  // ---------------------------------------------------------------- activation

  void ConstrainedVariable::deactivate() {
    ++m_deactivation;
    if (m_deactivation != 1)
      return;
    ConstraintEngine* engine = m_constraintEngine;
    engine->deactivateConstraints(this, true);
    engine->runWave();
  }

  void ConstrainedVariable::undoDeactivation() {
    KADRIX_CHECK_MSG(m_deactivation > 0, toString() << " is not deactivated.");
    --m_deactivation;
    if (m_deactivation != 0)
      return;
    m_constraintEngine->deactivateConstraints(this, false);
  }

  // ---------------------------------------------------------------- engine state

  bool ConstrainedVariable::pending() const { return m_constraintEngine->pending(); }

  void ConstrainedVariable::update() { m_constraintEngine->propagate(); }

  bool ConstrainedVariable::provenInconsistent() const { return m_constraintEngine->provenInconsistent(); }

  const ConstraintId& ConstrainedVariable::idOf(const Constraint* constraint) { return constraint->getId(); }

  double ConstrainedVariable::getViolation() const {
    std::set<ConstraintId> seen;
    double violation = 0;
    for (const ConstraintLinks::Link& l : m_links)
      if (seen.insert(l.constraint->getId()).second)
        violation += l.constraint->getViolation();
    return violation;
  }

  std::string ConstrainedVariable::getViolationExpl() const {
    std::set<ConstraintId> seen;
    std::string result;
    for (const ConstraintLinks::Link& l : m_links) {
      if (!seen.insert(l.constraint->getId()).second)
        continue;
      const std::string expl = l.constraint->getViolationExpl();
      if (expl.empty())
        continue;
      if (!result.empty())
        result += "\n";
      result += expl;
    }
    return result;
  }

  // ---------------------------------------------------------------- listeners

  void ConstrainedVariable::addListener(ConstrainedVariableListener* listener) {
    if (!m_listeners)
      m_listeners.reset(new std::vector<ConstrainedVariableListener*>());
    m_listeners->push_back(listener);
  }

  void ConstrainedVariable::removeListener(ConstrainedVariableListener* listener) {
    if (!m_listeners)
      return;
    for (size_t i = 0; i < m_listeners->size(); ++i)
      if ((*m_listeners)[i] == listener) {
        m_listeners->erase(m_listeners->begin() + i);
        return;
      }
  }

  void ConstrainedVariable::handleDiscard() {
    ConstraintEngine* engine = m_constraintEngine;
    // Refused before anything changes while a keeper (a plan database holding
    // a global variable) has not let go.
    if (!engine->quiet() && m_listeners)
      for (ConstrainedVariableListener* l : *m_listeners)
        KADRIX_CHECK_MSG(!l->keepsVariable(),
                         toString() << " is kept by its owner and cannot be discarded directly.");
    m_dying = true;
    if (!engine->quiet()) {
      if (m_listeners)
        tellListeners(*m_listeners, [](const ConstrainedVariableListenerId& l) { l->notifyDiscard(); });
    }
    // Each distinct constraint goes with the variable.
    std::vector<ConstraintId> links;
    links.reserve(m_links.size());
    for (const ConstraintLinks::Link& l : m_links)
      links.push_back(l.constraint->getId());
    for (const ConstraintId& c : links)
      if (c.isValid())
        c->discard(true);
    engine->remove(this);
    Entity::handleDiscard();
  }

  // ---------------------------------------------------------------- public interface

  PSVarType ConstrainedVariable::getType() const {
    const AbstractDomain& base = baseDomain();
    if (base.isEntity())
      return OBJECT;
    if (base.isBool())
      return BOOLEAN;
    if (base.isSymbolic())
      return STRING;
    if (base.minDelta() == 1.0)
      return INTEGER;
    return DOUBLE;
  }

  bool ConstrainedVariable::isEnumerated() const { return baseDomain().isEnumerated(); }

  bool ConstrainedVariable::isInterval() const { return baseDomain().isInterval(); }

  bool ConstrainedVariable::isNull() const { return lastDomain().isEmpty(); }

  bool ConstrainedVariable::isSingleton() const { return lastDomain().isSingleton(); }

  PSVarValue ConstrainedVariable::getSingletonValue() const {
    return PSVarValue(lastDomain().getSingletonValue(), getType());
  }

  PSList<PSVarValue> ConstrainedVariable::getValues() const {
    PSList<PSVarValue> result;
    const AbstractDomain& dom = lastDomain();
    KADRIX_CHECK_MSG(dom.isEnumerated(), "Cannot list the values of " << toString() << ": not enumerated.");
    std::list<double> values;
    dom.getValues(values);
    const PSVarType type = getType();
    for (double v : values)
      result.push_back(PSVarValue(v, type));
    return result;
  }

  PSList<PSConstraint*> ConstrainedVariable::getConstraints() const {
    PSList<PSConstraint*> result;
    std::set<ConstraintId> seen;
    for (const ConstraintLinks::Link& l : m_links)
      if (seen.insert(l.constraint->getId()).second)
        result.push_back(l.constraint);
    return result;
  }

  double ConstrainedVariable::getLowerBound() const { return lastDomain().getLowerBound(); }

  double ConstrainedVariable::getUpperBound() const { return lastDomain().getUpperBound(); }

  void ConstrainedVariable::specifyValue(PSVarValue& value) { specify(value.asDouble()); }

  PSEntity* ConstrainedVariable::getParent() const {
    if (!m_parent.isValid())
      return 0;
    Entity* parent = static_cast<Entity*>(m_parent);
    return parent;
  }

}
