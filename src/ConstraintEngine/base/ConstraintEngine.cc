#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/CESchema.hh"
#include "ConstraintEngine/base/TypeFactory.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "ConstraintEngine/component/Variable.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>

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
  }

  ConstraintEngine::ConstraintEngine(const CESchemaId& schema)
    : EngineComponent(), m_schema(schema), m_queuedCount(0), m_inconsistencies(0), m_current(0),
      m_worklistHead(0), m_waveTarget(0), m_wave(0), m_waveSincePropagation(false), m_cycle(0),
      m_lastRepropagation(0), m_removals(0), m_variableRemovals(0), m_deciding(0), m_deliveryDepth(0),
      m_sweeps(0), m_propagating(false), m_relaxing(false), m_deleting(false), m_autoPropagation(false) {
    KADRIX_CHECK_MSG(schema.isValid(), "A constraint engine needs a valid constraint schema.");
    m_id = ConstraintEngineId(this);
  }

  ConstraintEngine::~ConstraintEngine() noexcept(false) {
    // Everything still registered goes at once: constraints first, then
    // variables. No hooks, listeners or relaxation run from here on.
    m_deleting = true;
    for (size_t i = m_constraints.size(); i-- > 0;) {
      const ConstraintId c = m_constraints[i];
      if (c.isValid())
        delete static_cast<Constraint*>(c);
    }
    for (size_t i = m_variables.size(); i-- > 0;) {
      const ConstrainedVariableId v = m_variables[i];
      if (v.isValid())
        delete static_cast<ConstrainedVariable*>(v);
    }
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
    ConstrainedVariable* var;
    if (baseDomain.isEnumerated())
      var = new Variable<EnumeratedDomain>(m_id, baseDomain, internal, canBeSpecified, name, parent, index);
    else
      var = new Variable<IntervalDomain>(m_id, baseDomain, internal, canBeSpecified, name, parent, index);
    return var->getId();
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
      m_variables[slot] = var->getId();
    } else {
      slot = static_cast<unsigned int>(m_variables.size());
      m_variables.push_back(var->getId());
    }
    return slot;
  }

  void ConstraintEngine::remove(ConstrainedVariable* var) {
    ++m_variableRemovals;
    forgetEmptied(var);
    const unsigned int slot = var->m_slot;
    if (slot < m_variables.size() && m_variables[slot] == var->getId()) {
      m_variables[slot] = ConstrainedVariableId::noId();
      m_freeVariableSlots.push_back(slot);
    }
  }

  unsigned int ConstraintEngine::add(Constraint* constraint) {
    unsigned int slot;
    if (!m_freeConstraintSlots.empty()) {
      slot = m_freeConstraintSlots.back();
      m_freeConstraintSlots.pop_back();
      m_constraints[slot] = constraint->getId();
    } else {
      slot = static_cast<unsigned int>(m_constraints.size());
      m_constraints.push_back(constraint->getId());
    }
    return slot;
  }

  void ConstraintEngine::remove(Constraint* constraint) {
    ++m_removals;
    // Its agenda entries stay; they are recognised by address and skipped.
    if (constraint->m_agendaEntries != 0) {
      m_graveyard[constraint] += constraint->m_agendaEntries;
      constraint->m_agendaEntries = 0;
    }
    const unsigned int slot = constraint->m_slot;
    if (slot < m_constraints.size() && m_constraints[slot] == constraint->getId()) {
      m_constraints[slot] = ConstraintId::noId();
      m_freeConstraintSlots.push_back(slot);
    }
  }

  const ConstrainedVariableId& ConstraintEngine::getVariable(unsigned int index) const {
    if (index >= m_variables.size())
      return ConstrainedVariableId::noId();
    return m_variables[index];
  }

  const ConstraintId& ConstraintEngine::getConstraint(unsigned int index) const {
    if (index >= m_constraints.size())
      return ConstraintId::noId();
    return m_constraints[index];
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
    if (isNarrowing(changeType) && (m_current != 0 || m_deciding != 0))
      var->m_narrowed = true;
    deliver(var, changeType, false);
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
      std::pair<ConstraintId, int> entries[SMALL];
      for (size_t i = 0; i < count; ++i)
        entries[i] = std::make_pair(var->m_links[i].id, var->m_links[i].argIndex);
      deliver(var, changeType, inWave, entries, count);
      return;
    }
    const unsigned int depth = m_deliveryDepth;
    if (m_snapshots.size() <= depth)
      m_snapshots.resize(depth + 1);
    m_snapshots[depth].clear();
    for (const ConstrainedVariable::Link& l : var->m_links)
      m_snapshots[depth].push_back(std::make_pair(l.id, l.argIndex));
    Restore<unsigned int> nested(m_deliveryDepth, depth + 1);
    deliver(var, changeType, inWave, m_snapshots[depth].data(), count);
  }

  void ConstraintEngine::deliver(ConstrainedVariable* var, const DomainListener::ChangeType& changeType,
                                 bool inWave, const std::pair<ConstraintId, int>* entries, size_t count) {
    const unsigned int removals = m_removals;
    const ConstrainedVariableId varId = var->getId();
    for (size_t i = 0; i < count; ++i) {
      const ConstraintId id = entries[i].first;
      const int argIndex = entries[i].second;
      if (removals != m_removals && !id.isValid())
        continue;
      Constraint* c = static_cast<Constraint*>(id);
      if (!c->isActive() || (!inWave && c == m_current))
        continue;
      // While inconsistent, a constraint over an emptied variable hears
      // nothing; the wave that restores the variable tells it.
      if (!m_emptied.empty() && c->hasEmptiedScopeVariable())
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
    for (const ConstrainedVariable::Link& l : var->m_links) {
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
    return m_emptied.empty();
  }

  bool ConstraintEngine::execute(Constraint* c) {
    dequeue(c);
    if (!c->isActive() || c->hasEmptyScopeDomain())
      return m_emptied.empty();
    Restore<Constraint*> current(m_current, c);
    c->handleExecute();
    return m_emptied.empty();
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
      if (c->m_temporalKind < 0) {
        // The class never changes: look it up once.
        if (dynamic_cast<PrecedesConstraint*>(c) != 0)
          c->m_temporalKind = 1;
        else if (dynamic_cast<TemporalDistanceConstraint*>(c) != 0)
          c->m_temporalKind = 2;
        else
          c->m_temporalKind = 0;
      }
      if (c->m_temporalKind == 0)
        continue;
      const int first = 0;
      const int last = c->m_temporalKind;
      if (c->m_scope[first] == c->m_scope[last])
        continue;
      edges.push_back(c->getId());
      from.push_back(node(c->m_scope[first]));
      to.push_back(node(c->m_scope[last]));
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

  void ConstraintEngine::joinWave(ConstrainedVariable* var, DomainListener::ChangeType tag, bool origin) {
    WaveEntry entry;
    entry.var = var->getId();
    entry.tag = tag;
    entry.origin = origin;
    entry.removals = m_variableRemovals;
    m_worklist.push_back(entry);
  }

  void ConstraintEngine::relaxScope(Constraint* constraint) {
    for (ConstrainedVariable* var : constraint->m_scope)
      if (!var->m_dying && var->m_narrowed)
        joinWave(var, DomainListener::RELAXED, false);
  }

  void ConstraintEngine::runWave() {
    // A nested widening only adds to the wave; the outermost call drains it.
    if (m_relaxing || m_worklistHead >= m_worklist.size())
      return;
    if (quiet()) {
      m_worklist.clear();
      m_worklistHead = 0;
      return;
    }
    struct Drain {
      ConstraintEngine& ce;
      ~Drain() {
        ce.m_relaxing = false;
        ce.m_waveTarget = 0;
        ce.m_worklist.clear();
        ce.m_worklistHead = 0;
      }
    } drain = {*this};
    m_relaxing = true;
    ++m_wave;
    m_waveSincePropagation = true;
    if (!m_emptied.empty()) {
      // Recovery: the emptied variables are relaxed before anything is told.
      std::vector<WaveEntry> recovery;
      for (const ConstrainedVariableId& v : m_emptied) {
        WaveEntry entry;
        entry.var = v;
        entry.tag = DomainListener::RELAXED;
        entry.origin = false;
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
    if (var->m_emptied && !var->isEmptied())
      forgetEmptied(var);
    deliver(var, entry.origin ? entry.tag : DomainListener::RELAXED, true);
    if (!alive(entry.var, entry.removals) || var->m_dying)
      return;
    // Onwards through every active constraint to the narrowed neighbours.
    for (size_t i = 0; i < var->m_links.size(); ++i) {
      Constraint* c = var->m_links[i].constraint;
      if (!c->isActive())
        continue;
      for (ConstrainedVariable* other : c->m_scope)
        if (other != var && other->m_narrowed && other->m_waveStamp != m_wave && !other->m_dying)
          joinWave(other, DomainListener::RELAXED, false);
    }
  }

}
