#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/TypeFactory.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "Utils/base/Debug.hh"
#include "Utils/base/Utils.hh"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <typeinfo>
#include <unordered_map>

namespace KADRIX {

  const std::string& g_noVarName() {
    static const std::string sl_name("$NO_NAME");
    return sl_name;
  }

  std::vector<ConstrainedVariableId> makeScope(const ConstrainedVariableId& first,
                                               const ConstrainedVariableId& second) {
    std::vector<ConstrainedVariableId> scope;
    scope.reserve(2);
    scope.push_back(first);
    scope.push_back(second);
    return scope;
  }

  namespace {
    // Agenda size from which propagation first sweeps the temporal constraints.
    const size_t SWEEP_THRESHOLD = 64;

    // Restores a flag or counter when an operation leaves, normally or by a failed check.
    template <class T> class Restore {
    public:
      Restore(T& ref, T value) : m_ref(ref), m_old(ref) { m_ref = value; }
      ~Restore() { m_ref = m_old; }

    private:
      T& m_ref;
      T m_old;
    };

    bool isWidening(const DomainListener::ChangeType& changeType) {
      return changeType == DomainListener::RESET || changeType == DomainListener::RELAXED ||
             changeType == DomainListener::OPENED;
    }

    bool isNarrowing(const DomainListener::ChangeType& changeType) {
      return changeType <= DomainListener::SET_TO_SINGLETON;
    }

    // Bounds as bits of a mask, and the side of a bound as 0 (lower) or 1 (upper).
    const unsigned int LOWER = 1;
    const unsigned int UPPER = 2;
    const unsigned int BOTH = LOWER | UPPER;
    unsigned int boundBit(int side) { return side == 0 ? LOWER : UPPER; }
  }

  ConstraintEngine::ConstraintEngine(const CESchemaId& schema)
    : EngineComponent(), m_schema(schema), m_queuedCount(0), m_inconsistencies(0), m_current(0),
      m_worklistHead(0), m_waveTarget(0), m_wave(0), m_waveSincePropagation(false), m_waveBySupport(false),
      m_settled(true), m_creditDomains(0), m_creditSize(0), m_moved{0, 0, 0}, m_anyMoved(false),
      m_movedLost(false), m_cycle(0), m_lastRepropagation(0), m_removals(0), m_variableRemovals(0),
      m_deciding(0), m_deliveryDepth(0), m_sweeps(0), m_propagating(false), m_relaxing(false),
      m_deleting(false), m_autoPropagation(false) {
    KADRIX_CHECK_MSG(schema.isValid(), "A constraint engine needs a valid constraint schema.");
    m_id = ConstraintEngineId(this);
  }

  ConstraintEngine::~ConstraintEngine() noexcept(false) {
    // Everything still registered goes at once: constraints first, then
    // variables. No hooks, listeners or relaxation run from here on.
    m_deleting = true;
    // A slot is cleared when its entity goes, also when another one takes it along.
    for (size_t i = m_constraints.size(); i-- > 0;)
      if (m_constraints[i] != 0)
        delete m_constraints[i];
    for (size_t i = m_variables.size(); i-- > 0;)
      if (m_variables[i] != 0)
        delete m_variables[i];
    m_id.remove();
  }

  // ---------------------------------------------------------------- creation

  ConstrainedVariableId ConstraintEngine::createVariable(const LabelStr& typeName, bool internal,
                                                         bool canBeSpecified, const LabelStr& name,
                                                         const EntityId& parent, int index) {
    KADRIX_CHECK_MSG(m_schema->isType(typeName), "Unknown type name " << typeName.toString());
    const Id<TypeFactory> factory = m_schema->getFactory(typeName);
    return factory->createVariable(m_id, factory->baseDomain(), internal, canBeSpecified, name, parent,
                                   index);
  }

  ConstrainedVariableId ConstraintEngine::createVariable(const LabelStr& typeName,
                                                         const AbstractDomain& baseDomain, bool internal,
                                                         bool canBeSpecified, const LabelStr& name,
                                                         const EntityId& parent, int index) {
    if (m_schema->isType(typeName)) {
      const Id<TypeFactory> factory = m_schema->getFactory(typeName);
      return factory->createVariable(m_id, baseDomain, internal, canBeSpecified, name, parent, index);
    }
    // A type without a factory: a generic variable of the domain's kind.
    return TypeFactory::createGenericVariable(m_id, baseDomain, internal, canBeSpecified, name, parent,
                                              index);
  }

  ConstraintId ConstraintEngine::createConstraint(const LabelStr& name,
                                                  const std::vector<ConstrainedVariableId>& scope) {
    KADRIX_CHECK_MSG(m_schema->isConstraintType(name), "Unknown constraint name " << name.toString());
    return m_schema->getConstraintFactory(name)->createConstraint(m_id, scope);
  }

  void ConstraintEngine::deleteConstraint(const ConstraintId& constraint) {
    KADRIX_CHECK(constraint.isValid());
    KADRIX_CHECK_MSG(!constraint->isOwned(), constraint->toString()
                                                 << " is kept by its owner and cannot be deleted directly.");
    constraint->discard(true);
  }

  double ConstraintEngine::createValue(const std::string& typeName, const std::string& text) {
    return m_schema->createValue(typeName, text);
  }

  // ---------------------------------------------------------------- indexes

  unsigned int ConstraintEngine::add(ConstrainedVariable* var) {
    unsigned int slot;
    if (!m_freeVariableSlots.empty()) {
      slot = m_freeVariableSlots.back();
      m_freeVariableSlots.pop_back();
      m_variables[slot] = var;
    } else {
      slot = static_cast<unsigned int>(m_variables.size());
      m_variables.push_back(var);
      m_entitySlots.push_back(0);
    }
    return slot;
  }

  unsigned int ConstraintEngine::nextEntitySlot(unsigned int from) const {
    if (from >= m_entitySlots.size())
      return variableSlotCount();
    const void* found = std::memchr(&m_entitySlots[from], 1, m_entitySlots.size() - from);
    return found == nullptr ? variableSlotCount()
                            : static_cast<unsigned int>(static_cast<const unsigned char*>(found) - m_entitySlots.data());
  }

  void ConstraintEngine::remove(ConstrainedVariable* var) {
    ++m_variableRemovals;
    for (size_t i = 0; i < m_creditSize; ++i)
      if (m_moved[i] == var) {
        m_moved[i] = 0;
        m_movedLost = true;
      }
    forgetEmptied(var);
    const unsigned int slot = var->m_slot;
    if (slot < m_variables.size() && m_variables[slot] == var) {
      m_variables[slot] = 0;
      m_entitySlots[slot] = 0;
      m_freeVariableSlots.push_back(slot);
    }
  }

  unsigned int ConstraintEngine::add(Constraint* constraint) {
    unsigned int slot;
    if (!m_freeConstraintSlots.empty()) {
      slot = m_freeConstraintSlots.back();
      m_freeConstraintSlots.pop_back();
      m_constraints[slot] = constraint;
    } else {
      slot = static_cast<unsigned int>(m_constraints.size());
      m_constraints.push_back(constraint);
    }
    return slot;
  }

  void ConstraintEngine::remove(Constraint* constraint) {
    ++m_removals;
    // Supports it still holds (a wave gives them up by marks, or none runs while quiet) go with it.
    for (const ConstrainedVariableId& id : constraint->m_variables)
      for (int side = 0; side < 2; ++side)
        if (id->m_support[side] == constraint)
          id->m_support[side] = 0;
    // Its agenda entries stay; they are recognised by address and skipped.
    if (constraint->m_agendaEntries != 0) {
      m_graveyard[constraint] += constraint->m_agendaEntries;
      constraint->m_agendaEntries = 0;
    }
    const unsigned int slot = constraint->m_slot;
    if (slot < m_constraints.size() && m_constraints[slot] == constraint) {
      m_constraints[slot] = 0;
      m_freeConstraintSlots.push_back(slot);
    }
  }

  const ConstrainedVariableId& ConstraintEngine::getVariable(unsigned int index) const {
    if (index >= m_variables.size() || m_variables[index] == 0)
      return ConstrainedVariableId::noId();
    return m_variables[index]->getId();
  }

  const ConstraintId& ConstraintEngine::getConstraint(unsigned int index) const {
    if (index >= m_constraints.size() || m_constraints[index] == 0)
      return ConstraintId::noId();
    return m_constraints[index]->getId();
  }

  unsigned int ConstraintEngine::getIndex(const ConstrainedVariableId& var) const {
    KADRIX_CHECK_MSG(var.isValid() && var->getConstraintEngine() == m_id,
                     "Variable " << var << " is not a variable of this engine.");
    return var->m_slot;
  }

  unsigned int ConstraintEngine::getIndex(const ConstraintId& constraint) const {
    KADRIX_CHECK_MSG(constraint.isValid() && constraint->getConstraintEngine() == m_id,
                     "Constraint " << constraint << " is not a constraint of this engine.");
    return constraint->m_slot;
  }

  // ---------------------------------------------------------------- links

  void ConstraintEngine::link(Constraint* c) {
    const std::vector<ConstrainedVariableId>& scope = c->m_variables;
    for (size_t i = 0; i < scope.size(); ++i) {
      ConstrainedVariable* var = scope[i].get();
      for (size_t j = 0; j < i && c->m_distinct; ++j)
        c->m_distinct = scope[j].get() != var;
      noteEmptiness(var);
      if (var->m_empty)
        ++c->m_emptyScope;
      if (var->m_tainted)
        ++c->m_taintedScope;
      c->m_linkPositions.at(i) = var->m_links.attach(c, static_cast<unsigned int>(i));
    }
    c->m_linked = true;
  }

  void ConstraintEngine::unlink(Constraint* c) {
    if (!c->m_linked)
      return;
    c->m_linked = false;
    const std::vector<ConstrainedVariableId>& scope = c->m_variables;
    for (size_t i = 0; i < scope.size(); ++i) {
      const unsigned int position = c->m_linkPositions[i];
      const ConstraintLinks::Link moved = scope[i]->m_links.detach(position);
      if (moved.constraint != 0)
        moved.constraint->m_linkPositions.at(moved.argIndex) = position;
    }
  }

  void ConstraintEngine::announce(Constraint* c, bool added) {
    if (quiet())
      return;
    const ConstraintId& id = c->getId();
    const std::vector<ConstrainedVariableId>& scope = c->m_variables;
    for (size_t i = 0; i < scope.size(); ++i) {
      ConstrainedVariable* var = scope[i].get();
      bool first = true;
      for (size_t j = 0; j < i && first; ++j)
        first = scope[j].get() != var;
      const int argIndex = static_cast<int>(i);
      if (added) {
        if (first)
          var->handleConstraintAdded(id);
        if (var->m_listeners)
          tellListeners(*var->m_listeners, [&id, argIndex](const ConstrainedVariableListenerId& l) {
            l->notifyConstraintAdded(id, argIndex);
          });
      } else {
        if (first)
          var->handleConstraintRemoved(id);
        if (var->m_listeners)
          tellListeners(*var->m_listeners, [&id, argIndex](const ConstrainedVariableListenerId& l) {
            l->notifyConstraintRemoved(id, argIndex);
          });
      }
    }
  }

  void ConstraintEngine::deactivateConstraints(ConstrainedVariable* var, bool deactivate) {
    // Hooks may discard constraints: work from the handles.
    std::vector<ConstraintId> constraints;
    constraints.reserve(var->m_links.size());
    for (const ConstraintLinks::Link& l : var->m_links)
      constraints.push_back(l.constraint->getId());
    for (const ConstraintId& c : constraints) {
      if (!c.isValid())
        continue;
      if (deactivate)
        addDeactivation(c.get());
      else
        removeDeactivation(c.get());
    }
  }

  void ConstraintEngine::addDeactivation(Constraint* c) {
    ++c->m_deactivation;
    if (c->m_deactivation != 1)
      return;
    c->handleDeactivate();
    dequeue(c);
    if (!quiet())
      relaxScope(c);
  }

  void ConstraintEngine::removeDeactivation(Constraint* c) {
    --c->m_deactivation;
    if (c->m_deactivation != 0)
      return;
    c->handleActivate();
    enqueue(c);
  }

  AbstractDomain& ConstraintEngine::currentDomain(ConstrainedVariable* var) {
    return var->getCurrentDomain();
  }

  bool ConstraintEngine::hasEmptiedScopeVariable(const Constraint* c) {
    for (const ConstrainedVariableId& var : c->m_variables)
      if (var->m_emptied)
        return true;
    return false;
  }

  // ---------------------------------------------------------------- reports

  void ConstraintEngine::notifyChange(ConstrainedVariable* var,
                                      const DomainListener::ChangeType& changeType) {
    if (var->m_dying)
      return;
    noteEmptiness(var);
    if (quiet())
      return;
    if (changeType == DomainListener::EMPTIED) {
      // Never delivered: the network is inconsistent until a widening restores var.
      var->m_narrowed = true;
      taint(var);
      recordEmptied(var);
      return;
    }
    if (var == m_waveTarget)
      return; // the wave relaxing var reports for it
    if (isWidening(changeType)) {
      if (var->m_emptied && !var->isEmptied())
        forgetEmptied(var);
      joinWave(var, changeType, true);
      runWave();
      return;
    }
    if (isNarrowing(changeType)) {
      if (m_current != 0 || m_deciding != 0) {
        var->m_narrowed = true;
        // A credited constraint's own moves get their supports once it has run.
        if (m_creditSize == 0 || m_deciding != 0)
          taint(var);
        else
          noteMoved(var);
      } else
        noteCallerNarrowing(var, changeType);
    }
    deliver(var, changeType, false);
  }

  void ConstraintEngine::noteCallerNarrowing(ConstrainedVariable* var,
                                             const DomainListener::ChangeType& changeType) {
    if (var->m_support[0] == 0 && var->m_support[1] == 0)
      return;
    // Specifying, restricting the base domain and the like move a bound only to
    // its new reset value: it needs no support any more.
    switch (changeType) {
      case DomainListener::LOWER_BOUND_INCREASED:
        var->m_support[0] = 0;
        break;
      case DomainListener::UPPER_BOUND_DECREASED:
        var->m_support[1] = 0;
        break;
      case DomainListener::BOUNDS_RESTRICTED:
      case DomainListener::SET_TO_SINGLETON:
        var->m_support[0] = var->m_support[1] = 0;
        break;
      default:
        // Which bound moved is not told.
        taint(var);
        break;
    }
  }

  void ConstraintEngine::deliver(ConstrainedVariable* var, const DomainListener::ChangeType& changeType,
                                 bool inWave) {
    const size_t count = var->m_links.size();
    if (count == 0)
      return;
    // canIgnore may create and discard constraints: work from a snapshot and
    // re-check each handle once anything was removed. A few links fit on the
    // stack; longer lists use a reusable vector per delivery depth.
    const unsigned int SMALL = 8;
    if (count <= SMALL) {
      std::pair<ConstraintId, unsigned int> entries[SMALL];
      for (size_t i = 0; i < count; ++i)
        entries[i] = std::make_pair(var->m_links[i].constraint->getId(), var->m_links[i].argIndex);
      deliver(var, changeType, inWave, entries, count);
      return;
    }
    const unsigned int depth = m_deliveryDepth;
    if (m_snapshots.size() <= depth)
      m_snapshots.resize(depth + 1);
    m_snapshots[depth].clear();
    for (const ConstraintLinks::Link& l : var->m_links)
      m_snapshots[depth].push_back(std::make_pair(l.constraint->getId(), l.argIndex));
    Restore<unsigned int> nested(m_deliveryDepth, depth + 1);
    deliver(var, changeType, inWave, m_snapshots[depth].data(), count);
  }

  void ConstraintEngine::deliver(ConstrainedVariable* var, const DomainListener::ChangeType& changeType,
                                 bool inWave, const std::pair<ConstraintId, unsigned int>* entries,
                                 size_t count) {
    const unsigned int removals = m_removals;
    const ConstrainedVariableId varId = var->getId();
    for (size_t i = 0; i < count; ++i) {
      const ConstraintId id = entries[i].first;
      const int argIndex = static_cast<int>(entries[i].second);
      if (removals != m_removals && !id.isValid())
        continue;
      Constraint* c = static_cast<Constraint*>(id);
      if (!c->isActive() || (!inWave && c == m_current))
        continue;
      // While inconsistent, a constraint over an emptied variable hears
      // nothing; the wave that restores the variable tells it.
      if (!m_emptied.empty() && hasEmptiedScopeVariable(c))
        continue;
      bool ignored;
      {
        Restore<unsigned int> deciding(m_deciding, m_deciding + 1);
        ignored = c->canIgnore(varId, argIndex, changeType);
      }
      if (!ignored && (removals == m_removals || id.isValid()) && c->isActive())
        enqueue(c);
    }
  }

  void ConstraintEngine::noteEmptiness(ConstrainedVariable* var) {
    const bool empty = var->currentDomain().isEmpty();
    if (empty == var->m_empty)
      return;
    var->m_empty = empty;
    for (const ConstraintLinks::Link& l : var->m_links) {
      if (empty)
        ++l.constraint->m_emptyScope;
      else
        --l.constraint->m_emptyScope;
    }
  }

  void ConstraintEngine::recordEmptied(ConstrainedVariable* var) {
    if (var->m_emptied)
      return;
    var->m_emptied = true;
    if (m_emptied.empty())
      ++m_inconsistencies;
    m_emptied.push_back(var->getId());
    if (m_current != 0)
      m_current->m_violationMark = m_inconsistencies;
    KADRIX_DEBUG("ConstraintEngine:inconsistent", var->getName().toString() << " emptied");
  }

  void ConstraintEngine::forgetEmptied(ConstrainedVariable* var) {
    if (!var->m_emptied)
      return;
    var->m_emptied = false;
    for (size_t i = 0; i < m_emptied.size(); ++i)
      if (static_cast<ConstrainedVariable*>(m_emptied[i]) == var) {
        m_emptied.erase(m_emptied.begin() + i);
        return;
      }
  }

  // ---------------------------------------------------------------- agenda

  void ConstraintEngine::enqueue(Constraint* constraint) {
    if (constraint->m_queued)
      return;
    constraint->m_queued = true;
    ++m_queuedCount;
    ++constraint->m_agendaEntries;
    m_agenda.push_back(constraint);
  }

  void ConstraintEngine::dequeue(Constraint* constraint) {
    // The agenda entry stays and is skipped when it comes up.
    if (!constraint->m_queued)
      return;
    constraint->m_queued = false;
    --m_queuedCount;
  }

  bool ConstraintEngine::propagate() {
    if (m_propagating || m_relaxing)
      return m_emptied.empty();
    if (!m_emptied.empty())
      return false;
    Restore<bool> propagating(m_propagating, true);
    ++m_cycle;
    if (m_waveSincePropagation) {
      m_lastRepropagation = m_cycle;
      m_waveSincePropagation = false;
    }
    m_settled = false;
    if (m_agenda.size() >= SWEEP_THRESHOLD)
      sweepTemporal();
    while (!m_agenda.empty() && m_emptied.empty()) {
      Constraint* c = m_agenda.front();
      m_agenda.pop_front();
      if (!m_graveyard.empty()) {
        const auto dead = m_graveyard.find(c);
        if (dead != m_graveyard.end()) {
          // An entry older than anything a new constraint at this address queued.
          if (--dead->second == 0)
            m_graveyard.erase(dead);
          continue;
        }
      }
      --c->m_agendaEntries;
      if (c->m_queued)
        execute(c);
    }
    m_settled = m_emptied.empty() && m_queuedCount == 0;
#ifdef KADRIX_FULL_WALKS
    if (m_settled)
      checkSupport();
#endif
    return m_emptied.empty();
  }

  inline size_t ConstraintEngine::creditedScope(Constraint* c) {
    if (c->m_creditable < 0) {
      // Fixed once the constraint is built: the class and the domain types never change.
      bool creditable = c->m_linear && c->m_distinct && c->m_variables.size() <= CREDITED_SCOPE;
      for (ConstrainedVariable* var : c->m_variables)
        creditable = creditable && hasIntegerBounds(var);
      c->m_creditable = static_cast<signed char>(creditable ? c->m_variables.size() : 0);
    }
    return c->m_taintedScope == 0 ? static_cast<size_t>(c->m_creditable) : 0;
  }

  bool ConstraintEngine::execute(Constraint* c) {
    dequeue(c);
    if (!c->isActive() || c->hasEmptyScopeDomain())
      return m_emptied.empty();
    Restore<Constraint*> current(m_current, c);
    const size_t credited = creditedScope(c);
    if (credited != 0)
      executeCrediting(c, credited);
    else
      c->handleExecute();
    return m_emptied.empty();
  }

  bool ConstraintEngine::hasIntegerBounds(ConstrainedVariable* var) {
    if (var->m_boundsTracked < 0) {
      const AbstractDomain& domain = var->currentDomain();
      var->m_boundsTracked = typeid(domain) == typeid(IntervalIntDomain) ? 1 : 0;
    }
    return var->m_boundsTracked > 0;
  }

  bool ConstraintEngine::tracksBounds(ConstrainedVariable* var) {
    return !var->m_tainted && hasIntegerBounds(var);
  }

  void ConstraintEngine::taint(ConstrainedVariable* var) {
    if (var->m_tainted)
      return;
    var->m_tainted = true;
    for (const ConstraintLinks::Link& l : var->m_links)
      ++l.constraint->m_taintedScope;
  }

  void ConstraintEngine::executeCrediting(Constraint* c, size_t n) {
    static_assert(CREDITED_SCOPE <= Constraint::LINEAR_SCOPE, "a credited constraint keeps its domains");
    // The bounds before, read from the domains the constraint keeps: a run
    // that moves nothing touches no variable.
    const AbstractDomain* const* doms = c->m_linearDomains;
    double lbs[CREDITED_SCOPE], ubs[CREDITED_SCOPE];
    for (size_t i = 0; i < n; ++i) {
      lbs[i] = static_cast<const IntervalDomain*>(doms[i])->IntervalDomain::getLowerBound();
      ubs[i] = static_cast<const IntervalDomain*>(doms[i])->IntervalDomain::getUpperBound();
      m_moved[i] = 0;
    }
    const unsigned int removals = m_removals;
    const unsigned int wave = m_wave;
    m_anyMoved = false;
    m_movedLost = false;
    // notifyChange() notes the variables the run narrows.
    m_creditDomains = doms;
    m_creditSize = n;
    try {
      c->handleExecute();
    } catch (...) {
      m_creditSize = 0;
      for (size_t i = 0; i < n; ++i)
        if (m_moved[i] != 0)
          taint(m_moved[i]);
      throw;
    }
    m_creditSize = 0;
    if (!m_anyMoved)
      return;
    // Nothing is credited to a constraint that went, or whose scope was
    // relaxed, while it ran: what moved is tainted instead.
    const bool undisturbed = removals == m_removals && wave == m_wave && !m_movedLost;
    for (size_t i = 0; i < n; ++i) {
      ConstrainedVariable* var = m_moved[i];
      if (var == 0)
        continue;
      if (!undisturbed) {
        taint(var);
        continue;
      }
      const IntervalDomain* dom = static_cast<const IntervalDomain*>(doms[i]);
      const double lb = dom->IntervalDomain::getLowerBound();
      const double ub = dom->IntervalDomain::getUpperBound();
      if (lb > ub)
        continue; // emptied: inconsistent, and relaxed as a whole on recovery
      if (lb > lbs[i])
        credit(var, 0, lb, c);
      if (ub < ubs[i])
        credit(var, 1, ub, c);
    }
  }

  inline void ConstraintEngine::noteMoved(ConstrainedVariable* var) {
    // Its position in the running constraint's scope, by its current domain.
    const AbstractDomain* dom = &var->currentDomain();
    for (size_t i = 0; i < m_creditSize; ++i)
      if (m_creditDomains[i] == dom) {
        m_moved[i] = var;
        m_anyMoved = true;
        return;
      }
    taint(var); // outside the scope: no support to state
  }

  inline void ConstraintEngine::credit(ConstrainedVariable* var, int side, double value, Constraint* c) {
    if (var->m_tainted)
      return; // narrowed by someone else meanwhile
    // A bound pushed to infinity no longer grows with what it rests on.
    if (isInfinite(value))
      taint(var);
    else
      var->m_support[side] = c;
  }

  void ConstraintEngine::sweepTemporal() {
    // The precedence graph of the queued temporal constraints: an edge from
    // the earlier timepoint to the later one.
    ++m_sweeps;
    std::vector<ConstraintId> edges;
    std::vector<int> from, to;
    std::vector<int> inDegree;
    const auto node = [&](ConstrainedVariable* var) {
      if (var->m_sweepStamp != m_sweeps) {
        var->m_sweepStamp = m_sweeps;
        var->m_sweepNode = static_cast<int>(inDegree.size());
        inDegree.push_back(0);
      }
      return var->m_sweepNode;
    };
    for (Constraint* c : m_agenda) {
      if (!m_graveyard.empty() && m_graveyard.count(c) != 0)
        continue;
      if (!c->m_queued || !c->isActive() || c->m_sweepMark == m_sweeps)
        continue;
      c->m_sweepMark = m_sweeps;
      if (c->m_earlier < 0)
        continue;
      ConstrainedVariable* earlier = c->scopeVariable(static_cast<size_t>(c->m_earlier));
      ConstrainedVariable* later = c->scopeVariable(static_cast<size_t>(c->m_later));
      if (earlier == later)
        continue;
      edges.push_back(c->getId());
      from.push_back(node(earlier));
      to.push_back(node(later));
      ++inDegree[to.back()];
    }
    if (edges.size() < SWEEP_THRESHOLD / 2)
      return;

    // Kahn's order. Edges leaving a cycle never come up: the agenda keeps them.
    std::vector<int> outStart(inDegree.size() + 1, 0);
    for (int f : from)
      ++outStart[f + 1];
    for (size_t i = 1; i < outStart.size(); ++i)
      outStart[i] += outStart[i - 1];
    std::vector<int> out(edges.size());
    std::vector<int> fill(outStart.begin(), outStart.end() - 1);
    for (size_t e = 0; e < edges.size(); ++e)
      out[fill[from[e]]++] = static_cast<int>(e);
    std::vector<int> ready;
    for (size_t n = 0; n < inDegree.size(); ++n)
      if (inDegree[n] == 0)
        ready.push_back(static_cast<int>(n));
    std::vector<int> order;
    order.reserve(edges.size());
    for (size_t head = 0; head < ready.size(); ++head) {
      const int n = ready[head];
      for (int i = outStart[n]; i < outStart[n + 1]; ++i) {
        const int e = out[i];
        order.push_back(e);
        if (--inDegree[to[e]] == 0)
          ready.push_back(to[e]);
      }
    }

    // Lower bounds forwards, upper bounds backwards.
    const unsigned int removals = m_removals;
    const auto run = [&](const ConstraintId& c) {
      return !(removals == m_removals || c.isValid()) || execute(static_cast<Constraint*>(c));
    };
    for (int e : order)
      if (!run(edges[e]))
        return;
    for (size_t i = order.size(); i-- > 0;)
      if (!run(edges[order[i]]))
        return;
  }

  // ---------------------------------------------------------------- relaxation

  void ConstraintEngine::openWave() {
    if (!m_relaxing && m_worklist.empty())
      m_waveBySupport = m_settled && m_emptied.empty();
  }

  void ConstraintEngine::joinWave(ConstrainedVariable* var, DomainListener::ChangeType tag, bool origin) {
    openWave();
    WaveEntry entry;
    entry.var = var->getId();
    entry.tag = tag;
    entry.origin = origin;
    entry.bounds = false;
    entry.removals = m_variableRemovals;
    m_worklist.push_back(entry);
  }

  void ConstraintEngine::markBound(ConstrainedVariable* var, int side) {
    // One entry relaxes all the bounds of the variable marked by then.
    if (var->m_invalid == 0) {
      joinWave(var, DomainListener::RELAXED, false);
      m_worklist.back().bounds = true;
    }
    var->m_invalid = static_cast<unsigned char>(var->m_invalid | boundBit(side));
  }

  void ConstraintEngine::relaxScope(Constraint* constraint) {
    openWave();
    // A constraint that states no supports gives up all it may have narrowed.
    const bool bySupport = m_waveBySupport && constraint->m_linear;
    for (ConstrainedVariable* var : constraint->m_variables) {
      if (var->m_dying)
        continue;
      if (bySupport && tracksBounds(var)) {
        for (int side = 0; side < 2; ++side)
          if (var->m_support[side] == constraint)
            markBound(var, side);
      } else if (var->m_narrowed)
        joinWave(var, DomainListener::RELAXED, false);
#ifdef KADRIX_FULL_WALKS
      if (m_waveBySupport)
        m_relaxedBySupport.push_back(var->getId());
#endif
    }
  }

  void ConstraintEngine::dropWorklist() {
    for (size_t i = m_worklistHead; i < m_worklist.size(); ++i) {
      const WaveEntry& entry = m_worklist[i];
      if (entry.bounds && alive(entry.var, entry.removals))
        static_cast<ConstrainedVariable*>(entry.var)->m_invalid = 0;
    }
    m_worklist.clear();
    m_worklistHead = 0;
  }

  void ConstraintEngine::runWave() {
    // A nested widening only adds to the wave; the outermost call drains it.
    if (m_relaxing || m_worklistHead >= m_worklist.size())
      return;
    if (quiet()) {
      dropWorklist();
      return;
    }
    struct Drain {
      ConstraintEngine& ce;
      ~Drain() {
        ce.m_relaxing = false;
        ce.m_waveTarget = 0;
        ce.dropWorklist();
      }
    } drain = {*this};
    m_relaxing = true;
    ++m_wave;
    m_waveSincePropagation = true;
    if (!m_emptied.empty()) {
      // Recovery: the emptied variables are relaxed before anything is told,
      // and everything connected to them with them.
      m_waveBySupport = false;
      std::vector<WaveEntry> recovery;
      for (const ConstrainedVariableId& v : m_emptied) {
        WaveEntry entry;
        entry.var = v;
        entry.tag = DomainListener::RELAXED;
        entry.origin = false;
        entry.bounds = false;
        entry.removals = m_variableRemovals;
        recovery.push_back(entry);
      }
      m_worklist.insert(m_worklist.begin() + m_worklistHead, recovery.begin(), recovery.end());
    }
    while (m_worklistHead < m_worklist.size()) {
      const WaveEntry entry = m_worklist[m_worklistHead++];
      visit(entry);
    }
  }

  void ConstraintEngine::visit(const WaveEntry& entry) {
    if (!alive(entry.var, entry.removals))
      return;
    ConstrainedVariable* var = static_cast<ConstrainedVariable*>(entry.var);
    if (entry.bounds) {
      const unsigned int bounds = var->m_invalid;
      var->m_invalid = 0;
      if (bounds == 0 || var->m_dying)
        return;
      if (m_waveBySupport && tracksBounds(var)) {
        visitBounds(var, bounds, entry);
        return;
      }
      // Tainted since it was marked, or the wave relaxes everything connected.
    }
    if (var->m_dying)
      return;
    if (!entry.origin) {
      // Relaxed already, or wide again by a widening of its own.
      if (var->m_waveStamp == m_wave || (!var->m_narrowed && !var->m_emptied))
        return;
    }
    var->m_waveStamp = m_wave;
    if (var->m_narrowed || var->m_emptied) {
      // Through the virtual, so subclasses re-apply their own restrictions.
      Restore<ConstrainedVariable*> target(m_waveTarget, var);
      var->relax();
    }
    var->m_narrowed = false;
    forgetSupport(var);
    if (var->m_emptied && !var->isEmptied())
      forgetEmptied(var);
#ifdef KADRIX_FULL_WALKS
    if (m_waveBySupport)
      m_relaxedBySupport.push_back(entry.var);
#endif
    deliver(var, entry.origin ? entry.tag : DomainListener::RELAXED, true);
    if (!alive(entry.var, entry.removals) || var->m_dying)
      return;
    if (m_waveBySupport) {
      spread(var, BOTH);
      return;
    }
    // Onwards through every active constraint to the narrowed neighbours.
    for (size_t i = 0; i < var->m_links.size(); ++i) {
      Constraint* c = var->m_links[i].constraint;
      if (!c->isActive())
        continue;
      for (ConstrainedVariable* other : c->m_variables)
        if (other != var && other->m_narrowed && other->m_waveStamp != m_wave && !other->m_dying)
          joinWave(other, DomainListener::RELAXED, false);
    }
  }

  void ConstraintEngine::visitBounds(ConstrainedVariable* var, unsigned int bounds, const WaveEntry& entry) {
    relaxBounds(var, bounds);
#ifdef KADRIX_FULL_WALKS
    m_relaxedBySupport.push_back(entry.var);
#endif
    deliver(var, DomainListener::RELAXED, true);
    if (!alive(entry.var, entry.removals) || var->m_dying)
      return;
    spread(var, bounds);
  }

  void ConstraintEngine::relaxBounds(ConstrainedVariable* var, unsigned int bounds) {
    IntervalDomain& dom = static_cast<IntervalDomain&>(var->currentDomain());
    const double lb = dom.getLowerBound();
    const double ub = dom.getUpperBound();
    {
      Restore<ConstrainedVariable*> target(m_waveTarget, var);
      // The reset domain through the virtual, then the bounds that stay.
      var->relax();
      if (bounds != BOTH && !dom.isEmpty())
        dom.intersect((bounds & LOWER) != 0 ? minusInfinity() : lb,
                      (bounds & UPPER) != 0 ? plusInfinity() : ub);
    }
    if ((bounds & LOWER) != 0)
      var->m_support[0] = 0;
    if ((bounds & UPPER) != 0)
      var->m_support[1] = 0;
    var->m_narrowed = var->m_narrowed || var->m_support[0] != 0 || var->m_support[1] != 0;
  }

  void ConstraintEngine::spread(ConstrainedVariable* var, unsigned int bounds) {
    for (size_t i = 0; i < var->m_links.size(); ++i) {
      Constraint* c = var->m_links[i].constraint;
      if (!c->isActive())
        continue;
      const unsigned int from = static_cast<unsigned int>(var->m_links[i].argIndex);
      for (size_t to = 0; to < c->m_variables.size(); ++to) {
        ConstrainedVariable* other = c->scopeVariable(to);
        if (other == var || !other->m_narrowed || other->m_dying)
          continue;
        if (!tracksBounds(other)) {
          // Its narrowing may rest on anything of its neighbours.
          if (other->m_waveStamp != m_wave)
            joinWave(other, DomainListener::RELAXED, false);
          continue;
        }
        if (!c->m_linear)
          continue;
        // A bound of `other` rests on the same bound of `var` when their signs
        // in the linear relation differ, on the opposite bound when they agree.
        const bool signsDiffer = (((c->m_negative >> from) ^ (c->m_negative >> to)) & 1u) != 0;
        for (int side = 0; side < 2; ++side)
          if (other->m_support[side] == c && (bounds & boundBit(signsDiffer ? side : 1 - side)) != 0)
            markBound(other, side);
      }
    }
  }

  void ConstraintEngine::forgetSupport(ConstrainedVariable* var) {
    var->m_support[0] = 0;
    var->m_support[1] = 0;
    var->m_invalid = 0;
    if (var->m_tainted) {
      var->m_tainted = false;
      for (const ConstraintLinks::Link& l : var->m_links)
        --l.constraint->m_taintedScope;
    }
  }

#ifdef KADRIX_FULL_WALKS
  void ConstraintEngine::checkSupport() {
    if (m_relaxedBySupport.empty())
      return;
    std::vector<ConstrainedVariableId> roots;
    roots.swap(m_relaxedBySupport);

    // The tracked variables connected to the roots through the active linear
    // constraints that credit bounds, and those constraints. Other scope
    // variables keep their bounds.
    std::unordered_map<ConstrainedVariable*, size_t> index;
    std::vector<ConstrainedVariable*> vars;
    std::vector<Constraint*> constraints;
    std::vector<std::vector<size_t> > users; // the constraints of each tracked variable
    std::unordered_map<Constraint*, size_t> seen;
    const auto add = [&](ConstrainedVariable* var) {
      if (index.emplace(var, vars.size()).second) {
        vars.push_back(var);
        users.emplace_back();
      }
    };
    for (const ConstrainedVariableId& id : roots)
      if (id.isValid() && !id->m_dying && tracksBounds(static_cast<ConstrainedVariable*>(id)))
        add(static_cast<ConstrainedVariable*>(id));
    const auto usable = [&](Constraint* c) {
      if (!c->isActive() || !c->m_linear || !c->m_distinct || c->m_variables.size() > CREDITED_SCOPE)
        return false;
      // As propagation does, leave constraints over empty or open domains alone.
      for (ConstrainedVariable* var : c->m_variables)
        if (!tracksBounds(var) && (var->currentDomain().isEmpty() || var->currentDomain().isOpen()))
          return false;
      return true;
    };
    for (size_t k = 0; k < vars.size(); ++k)
      for (const ConstraintLinks::Link& l : vars[k]->m_links) {
        Constraint* c = l.constraint;
        if (seen.count(c) != 0 || !usable(c))
          continue;
        seen.emplace(c, constraints.size());
        constraints.push_back(c);
        for (ConstrainedVariable* var : c->m_variables)
          if (tracksBounds(var))
            add(var);
      }
    for (size_t k = 0; k < constraints.size(); ++k)
      for (ConstrainedVariable* var : constraints[k]->m_variables) {
        const auto it = index.find(var);
        if (it != index.end())
          users[it->second].push_back(k);
      }

    // Every supported bound relaxed all the way.
    std::vector<double> lo(vars.size()), hi(vars.size());
    for (size_t k = 0; k < vars.size(); ++k) {
      const AbstractDomain& dom = vars[k]->currentDomain();
      lo[k] = vars[k]->m_support[0] != 0 ? minusInfinity() : dom.getLowerBound();
      hi[k] = vars[k]->m_support[1] != 0 ? plusInfinity() : dom.getUpperBound();
    }
    const auto bound = [&](ConstrainedVariable* var, bool upper) {
      const auto it = index.find(var);
      if (it != index.end())
        return upper ? hi[it->second] : lo[it->second];
      return upper ? var->currentDomain().getUpperBound() : var->currentDomain().getLowerBound();
    };

    // Bounds propagation of the linear relations, as the constraints do it.
    std::deque<size_t> agenda;
    std::vector<char> queued(constraints.size(), 1);
    for (size_t k = 0; k < constraints.size(); ++k)
      agenda.push_back(k);
    size_t steps = 0;
    const size_t limit = 1000 + 100 * constraints.size();
    while (!agenda.empty()) {
      const size_t k = agenda.front();
      agenda.pop_front();
      queued[k] = 0;
      KADRIX_CHECK_MSG(++steps <= limit, "Relaxing every supported bound around "
                                             << vars.front()->toString()
                                             << " and propagating again does not settle.");
      const Constraint* c = constraints[k];
      const std::vector<ConstrainedVariableId>& scope = c->m_variables;
      for (size_t j = 0; j < scope.size(); ++j) {
        const auto it = index.find(scope[j]);
        if (it == index.end())
          continue;
        const size_t v = it->second;
        const bool negative = ((c->m_negative >> j) & 1u) != 0;
        double newLo = lo[v], newHi = hi[v];
        // The bound of scope[j] that the other variables' bounds imply.
        const auto implied = [&](bool upper) {
          double sum = 0;
          for (size_t i = 0; i < scope.size(); ++i) {
            if (i == j)
              continue;
            const bool differ = (((c->m_negative >> i) & 1u) != 0) != negative;
            const double term = differ ? bound(scope[i], upper) : -bound(scope[i], !upper);
            sum = (i == (j == 0 ? 1u : 0u)) ? term
                  : upper                   ? upperBoundSum(sum, term)
                                            : lowerBoundSum(sum, term);
          }
          return sum;
        };
        if (negative || c->m_equality)
          newLo = std::max(newLo, std::ceil(implied(false)));
        if (!negative || c->m_equality)
          newHi = std::min(newHi, std::floor(implied(true)));
        if (newLo == lo[v] && newHi == hi[v])
          continue;
        KADRIX_CHECK_MSG(newLo <= newHi, "Relaxing every supported bound and propagating again empties "
                                             << vars[v]->toString()
                                             << ", which propagation left consistent.");
        lo[v] = newLo;
        hi[v] = newHi;
        for (size_t u : users[v])
          if (u != k && !queued[u]) {
            queued[u] = 1;
            agenda.push_back(u);
          }
      }
    }

    for (size_t k = 0; k < vars.size(); ++k) {
      const AbstractDomain& dom = vars[k]->currentDomain();
      KADRIX_CHECK_MSG(dom.getLowerBound() == lo[k] && dom.getUpperBound() == hi[k],
                       "Relaxing by support left "
                           << vars[k]->toString()
                           << "; relaxing every supported bound and propagating again gives ["
                           << dom.toString(lo[k]) << ", " << dom.toString(hi[k]) << "].");
    }
  }
#endif

}
