#ifndef KADRIX_CONSTRAINT_ENGINE_HH
#define KADRIX_CONSTRAINT_ENGINE_HH

#include "Utils/base/Id.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Engine.hh"
#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"

#include <deque>
#include <unordered_map>
#include <string>
#include <vector>

namespace KADRIX {

  typedef Id<CESchema> CESchemaId;

  /** The text of the label that names variables without a name. */
  const std::string& g_noVarName();

  /** A scope of two variables, in the given order. */
  std::vector<ConstrainedVariableId> makeScope(const ConstrainedVariableId& first,
                                               const ConstrainedVariableId& second);

  /**
   * Holds variables and constraints, tells constraints of changes, propagates
   * and relaxes.
   *
   * Reports. Every change of a variable's current domain reaches notifyChange()
   * at once. Narrowing reports are delivered to the active constraints of the
   * variable (canIgnore), and those that do not ignore them go on the agenda.
   * EMPTIED is never delivered: it makes the network inconsistent until a
   * widening restores the emptied variable. canIgnore may change the network
   * while a report is delivered: the plan database places tokens on objects
   * and takes them off there (ObjectTokenRelation), and those objects create
   * and discard precedence constraints and variables. Delivery therefore works
   * on a snapshot of the variable's constraints and re-checks each handle once
   * a constraint has gone.
   *
   * Support. Propagation keeps, for each bound it moves in, what moved it:
   * a support forest, as decremental shortest-path algorithms keep their
   * shortest-path trees (Ramalingam-Reps) and clause-learning solvers keep
   * the reasons of their assignments. A constraint that reasons on bounds as a
   * linear relation does (Constraint::setLinearBounds) is credited with each
   * bound it moves of a variable whose domain is an integer interval: that
   * bound's support is the constraint, and through it the bounds of the other
   * scope variables its value was computed from. Any other narrowing by
   * propagation (other constraints, enumerated or real domains, canIgnore, a
   * credited constraint over a variable that is itself uncredited) taints the
   * variable: a tainted variable is relaxed as a whole, as every variable was
   * before supports were kept. Invariants, between waves:
   *  - a bound with a support is narrowed (the variable's m_narrowed is set)
   *    and the supporting constraint is active and has the variable in scope;
   *  - an untainted variable that propagation narrowed has a support on each
   *    bound it moved, and its bounds without one are at their reset values;
   *  - after a propagation that reached a consistent fixpoint (settled), each
   *    supported bound equals the linear relation's bound computed from the
   *    current bounds it rests on, which were moved earlier: the supports are
   *    acyclic. This holds because the credited bound grows strictly with each
   *    bound it rests on, so any later move of those re-moves it.
   *
   * Relaxation. Every widening (reset, relax, insert, open, removal or
   * deactivation of a constraint or variable) starts a wave, run synchronously
   * with an explicit worklist. While settled and consistent the wave relaxes by
   * support: a constraint that goes gives up the bounds it supports (one that
   * states no supports, the narrowed variables of its scope as a whole), a
   * widened variable all bounds resting on its own; each bound given up is
   * relaxed to its reset value and gives up in turn the bounds resting on it,
   * and a tainted narrowed neighbour of anything relaxed is relaxed as a whole.
   * Otherwise (during propagation, after an inconsistent one, or while
   * inconsistent) the wave relaxes everything connected: each visited variable
   * that propagation had narrowed is relaxed to its reset domain, and the wave
   * moves on to its narrowed neighbours. Either way relaxed variables are
   * reported RELAXED (or their own widening) to their constraints, which go on
   * the agenda, and propagation brings the relaxed bounds back from their
   * unaffected neighbours; a variable the wave does not relax is not reported.
   * Nested widenings join the running wave. Builds with KADRIX_FULL_WALKS check,
   * after each propagation that follows relaxation by support, that relaxing
   * every supported bound of the part touched and propagating again on a
   * shadow copy of the bounds gives the same bounds.
   *
   * Propagation runs the agenda in FIFO order until it is empty or the network
   * is inconsistent. A constraint is skipped while a scope domain is empty.
   *
   * Links. The engine alone attaches constraints to variables and detaches
   * them: each variable keeps a ConstraintLinks, one entry (constraint, scope
   * position) per scope position at which it occurs, and each constraint
   * keeps in its LinkPositions where each of its entries lies. Invariant: for
   * every linked constraint c and scope position i, the entry at
   * c.m_linkPositions[i] in the links of c's i-th variable is (c, i), and
   * every entry is such an entry of a linked constraint. Linking appends
   * (attach); unlinking swaps the last entry into the hole (detach) and
   * updates the moved entry's position, so both are O(scope). Variables and
   * constraints reach each other only through the engine. A constraint that
   * orders two timepoints says so itself (Constraint::setTemporalOrder), so
   * that sweeps need not know constraint classes.
   *
   * Indexes. Variables and constraints get engine indexes from separate slot
   * vectors; freed slots are reused last-in first-out, so undoing a sequence
   * of deletions in reverse order gives every entity its old index back.
   */
  class ConstraintEngine : public EngineComponent {
  public:
    ConstraintEngine(const CESchemaId& schema);
    virtual ~ConstraintEngine() noexcept(false);

    const ConstraintEngineId& getId() const { return m_id; }
    const CESchemaId& getCESchema() const { return m_schema; }

    ConstrainedVariableId createVariable(const LabelStr& typeName, bool internal = false,
                                         bool canBeSpecified = true,
                                         const LabelStr& name = ConstrainedVariable::NO_NAME(),
                                         const EntityId& parent = EntityId::noId(),
                                         int index = ConstrainedVariable::NO_INDEX);
    /** Accepts type names without a registered factory: the domain decides the variable class. */
    ConstrainedVariableId createVariable(const LabelStr& typeName, const AbstractDomain& baseDomain,
                                         bool internal = false, bool canBeSpecified = true,
                                         const LabelStr& name = ConstrainedVariable::NO_NAME(),
                                         const EntityId& parent = EntityId::noId(),
                                         int index = ConstrainedVariable::NO_INDEX);
    ConstraintId createConstraint(const LabelStr& name, const std::vector<ConstrainedVariableId>& scope);
    void deleteConstraint(const ConstraintId& constraint);
    double createValue(const std::string& typeName, const std::string& text);

    /** Run the agenda to a fixpoint; false when the network is inconsistent. */
    virtual bool propagate();
    /** Not inconsistent, and nothing pending. */
    bool constraintConsistent() const { return m_emptied.empty() && m_queuedCount == 0; }
    bool provenInconsistent() const { return !m_emptied.empty(); }
    bool pending() const { return m_queuedCount != 0; }
    bool isPropagating() const { return m_propagating; }
    bool isRelaxing() const { return m_relaxing; }

    bool getAutoPropagation() const { return m_autoPropagation; }
    void setAutoPropagation(bool enabled) { m_autoPropagation = enabled; }
    /** The number of the last propagation that followed a relaxation. */
    unsigned int mostRecentRepropagation() const { return m_lastRepropagation; }
    /** The number of propagations run so far. */
    unsigned int cycleCount() const { return m_cycle; }

    const ConstrainedVariableId& getVariable(unsigned int index) const;
    const ConstraintId& getConstraint(unsigned int index) const;
    unsigned int getIndex(const ConstrainedVariableId& var) const;
    unsigned int getIndex(const ConstraintId& constraint) const;
    unsigned int variableSlotCount() const { return static_cast<unsigned int>(m_variables.size()); }
    /**
     * The first index from `from` on whose variable has a base domain of
     * entities (objects), or variableSlotCount(): told from a byte per slot, so
     * that a scan for such variables touches no other variable.
     */
    unsigned int nextEntitySlot(unsigned int from) const;
    unsigned int constraintSlotCount() const { return static_cast<unsigned int>(m_constraints.size()); }

  private:
    friend class ConstrainedVariable;
    friend class Constraint;
    friend class VariableChangeListener;

    ConstraintEngine(const ConstraintEngine&) = delete;
    ConstraintEngine& operator=(const ConstraintEngine&) = delete;

    // Registration.
    unsigned int add(ConstrainedVariable* var);
    void remove(ConstrainedVariable* var);
    unsigned int add(Constraint* constraint);
    void remove(Constraint* constraint);

    // Links (see ConstraintLinks): the engine alone attaches and detaches them.
    /** Attach the constraint to each scope variable, and count the scope's empty and tainted domains. */
    void link(Constraint* constraint);
    /** Detach the constraint from its scope variables (O(scope)); nothing when not linked. */
    void unlink(Constraint* constraint);
    /** Tell the scope variables and their listeners that the constraint was added or is being removed. */
    void announce(Constraint* constraint, bool added);
    /** Count one deactivation of each constraint of the variable (or take one back). */
    void deactivateConstraints(ConstrainedVariable* var, bool deactivate);
    void addDeactivation(Constraint* constraint);
    void removeDeactivation(Constraint* constraint);
    /** The variable's current domain, as the variable hands it out (checked). */
    static AbstractDomain& currentDomain(ConstrainedVariable* var);
    /** A scope variable of the constraint is listed as emptied. */
    static bool hasEmptiedScopeVariable(const Constraint* constraint);

    /** No hooks, listeners, reports or relaxation: purging or destroying. */
    bool quiet() const { return m_deleting || Entity::isPurging(); }

    // Reports.
    void notifyChange(ConstrainedVariable* var, const DomainListener::ChangeType& changeType);
    void deliver(ConstrainedVariable* var, const DomainListener::ChangeType& changeType, bool inWave);
    void deliver(ConstrainedVariable* var, const DomainListener::ChangeType& changeType, bool inWave,
                 const std::pair<ConstraintId, unsigned int>* entries, size_t count);
    void recordEmptied(ConstrainedVariable* var);
    /** Keep the constraints' counts of empty scope domains up to date. */
    void noteEmptiness(ConstrainedVariable* var);
    void forgetEmptied(ConstrainedVariable* var);

    // Agenda.
    void enqueue(Constraint* constraint);
    void dequeue(Constraint* constraint);
    /** Run one queued constraint now; false when the network is inconsistent. */
    bool execute(Constraint* constraint);
    /** The variable's current domain is exactly an integer interval. */
    bool hasIntegerBounds(ConstrainedVariable* var);
    /** The variable's bounds are kept with supports: an untainted integer interval. */
    bool tracksBounds(ConstrainedVariable* var);
    /** From now until it is relaxed as a whole, the variable's narrowing has no supports. */
    void taint(ConstrainedVariable* var);
    /** The size of the scope when the constraint is credited with the bounds it moves if it runs now; else 0. */
    size_t creditedScope(Constraint* constraint);
    /** Run the constraint over a scope of the size and make it the support of each bound it moved in. */
    void executeCrediting(Constraint* constraint, size_t size);
    /** The crediting run narrowed the variable. */
    void noteMoved(ConstrainedVariable* var);
    /** Record the support of a bound (0 lower, 1 upper) moved in to value. */
    void credit(ConstrainedVariable* var, int side, double value, Constraint* constraint);
    /** A narrowing by a caller, not by propagation: the moved bounds are at their reset values. */
    void noteCallerNarrowing(ConstrainedVariable* var, const DomainListener::ChangeType& changeType);
    /**
     * With many temporal constraints queued, run them once in topological
     * order of their precedence graph and once in reverse, so that bounds
     * travel the graph in one pass each way instead of one wave per source.
     */
    void sweepTemporal();

    // Relaxation.
    struct WaveEntry {
      ConstrainedVariableId var;
      DomainListener::ChangeType tag;
      bool origin;
      bool bounds; // relax the variable's bounds marked in m_invalid, not the whole variable
      unsigned int removals; // variable removals when the entry was made
    };
    /** The variable is still there (cheap while no variable was removed since `removals`). */
    bool alive(const ConstrainedVariableId& var, unsigned int removals) const {
      return removals == m_variableRemovals || var.isValid();
    }
    /** Before adding to a wave: a new wave relaxes by support when settled and consistent. */
    void openWave();
    void joinWave(ConstrainedVariable* var, DomainListener::ChangeType tag, bool origin);
    /** Give up a supported bound (0 lower, 1 upper) in the running wave. */
    void markBound(ConstrainedVariable* var, int side);
    void runWave();
    /** Give up what a constraint that was removed or went inactive had narrowed. */
    void relaxScope(Constraint* constraint);
    void visit(const WaveEntry& entry);
    /** Relax the marked bounds of a variable kept with supports. */
    void visitBounds(ConstrainedVariable* var, unsigned int bounds, const WaveEntry& entry);
    /** Relax the given bounds (1 lower, 2 upper) to their reset values, keeping the others. */
    void relaxBounds(ConstrainedVariable* var, unsigned int bounds);
    /** The variable relaxed the given bounds: give up what rests on them. */
    void spread(ConstrainedVariable* var, unsigned int bounds);
    /** The variable is at its reset domain: no supports, no taint. */
    void forgetSupport(ConstrainedVariable* var);
    /** Clears the marks of the entries not visited and empties the worklist. */
    void dropWorklist();
#ifdef KADRIX_FULL_WALKS
    /**
     * Relaxes every supported bound connected to the variables relaxed by
     * support since the last check, on a shadow copy, and propagates the
     * linear relations there again: fails unless that gives the current bounds.
     */
    void checkSupport();
#endif

    ConstraintEngineId m_id;
    const CESchemaId m_schema;

    std::vector<ConstrainedVariable*> m_variables; // by engine index; null in a free slot
    std::vector<unsigned int> m_freeVariableSlots; // LIFO
    std::vector<unsigned char> m_entitySlots; // by engine index: 1 where the variable's base domain holds entities
    std::vector<Constraint*> m_constraints; // by engine index; null in a free slot
    std::vector<unsigned int> m_freeConstraintSlots; // LIFO

    std::deque<Constraint*> m_agenda; // FIFO; entries of dequeued constraints are skipped
    std::unordered_map<Constraint*, unsigned int> m_graveyard; // agenda entries of removed constraints
    unsigned int m_queuedCount; // constraints flagged as queued

    std::vector<ConstrainedVariableId> m_emptied; // closed and empty: inconsistent while any
    unsigned int m_inconsistencies; // counts entries into inconsistency
    Constraint* m_current; // the constraint executing now

    std::vector<WaveEntry> m_worklist;
    size_t m_worklistHead;
    ConstrainedVariable* m_waveTarget; // the variable the wave relaxes now
    unsigned int m_wave;
    bool m_waveSincePropagation;
    bool m_waveBySupport; // the running (or gathering) wave relaxes by support
    bool m_settled; // the last propagation reached a consistent fixpoint and none ran since
    // While a constraint credited with the bounds it moves runs: the current
    // domains of its scope and their number (0 otherwise), and at each scope
    // position the variable if the run narrowed it (cleared, and m_movedLost
    // set, when it is removed meanwhile).
    static const size_t CREDITED_SCOPE = 3; // the largest scope credited with the bounds it moves
    const AbstractDomain* const* m_creditDomains;
    size_t m_creditSize;
    ConstrainedVariable* m_moved[CREDITED_SCOPE];
    bool m_anyMoved;
    bool m_movedLost;
    // Since the last check (only builds with KADRIX_FULL_WALKS check; the
    // member is there in every build, so that the layout never depends on it).
    std::vector<ConstrainedVariableId> m_relaxedBySupport;

    unsigned int m_cycle;
    unsigned int m_lastRepropagation;
    unsigned int m_removals; // counts constraint removals
    unsigned int m_variableRemovals; // counts variable removals
    unsigned int m_deciding; // depth of canIgnore calls

    std::vector<std::vector<std::pair<ConstraintId, unsigned int> > > m_snapshots; // one per delivery depth
    unsigned int m_deliveryDepth;
    unsigned int m_sweeps; // marks constraints seen by a sweep

    bool m_propagating;
    bool m_relaxing;
    bool m_deleting;
    bool m_autoPropagation;
  };

}

#endif
