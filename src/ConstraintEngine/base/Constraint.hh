#ifndef KADRIX_CONSTRAINT_HH
#define KADRIX_CONSTRAINT_HH

#include "Utils/base/Id.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Debug.hh"
#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/ConstraintLinks.hh"
#include "ConstraintEngine/base/PSConstraintEngine.hh"

#include <string>
#include <vector>

namespace KADRIX {

  /**
   * A constraint over an ordered scope of variables. Subclasses bind references
   * to the current domains of their scope at construction and narrow them in
   * place when executed; the engine never replaces a domain object.
   *
   * Construction registers the constraint with its engine, links it into its
   * variables and queues it (when active). Discarding, or deleting it directly,
   * undoes all of that and relaxes what it had narrowed.
   */
  class Constraint : public Entity, public virtual PSConstraint {
  public:
    Constraint(const LabelStr& name, const LabelStr& propagatorName,
               const ConstraintEngineId& constraintEngine,
               const std::vector<ConstrainedVariableId>& variables);
    virtual ~Constraint() noexcept(false);

    const ConstraintId& getId() const { return m_id; }
    const LabelStr& getName() const override { return m_name; }
    const LabelStr& getPropagatorName() const { return m_propagatorName; }
    const std::vector<ConstrainedVariableId>& getScope() const { return m_variables; }
    const ConstraintEngineId& getConstraintEngine() const { return m_constraintEngine; }

    const std::string& getEntityType() const override;
    const LabelStr& entityType() const override;
    std::string toString() const override;
    void handleDiscard() override;

    bool isActive() const override { return m_deactivation == 0; }
    bool isRedundant() const { return m_isRedundant; }
    void deactivate() override;
    void undoDeactivation() override;
    /** 1 while the network is inconsistent because this constraint emptied a domain. */
    double getViolation() const override;
    std::string getViolationExpl() const override;
    PSList<PSVariable*> getVariables() const override;

    /**
     * Marks the constraint as kept by an owner (an object, a token or a merge
     * record) that discards it itself: the engine refuses to delete it.
     */
    void setOwned() { m_owned = true; }
    bool isOwned() const { return m_owned; }

    void setSource(const ConstraintId& sourceConstraint) { KADRIX_CHECK(sourceConstraint.isValid()); }

    /**
     * Told at once of every change of a scope variable's current domain.
     * Return true when the change needs no execution.
     */
    virtual bool canIgnore(const ConstrainedVariableId& /*variable*/, int /*argIndex*/,
                           const DomainListener::ChangeType& /*changeType*/) {
      return false;
    }
    /** Narrow the scope to the local fixpoint. */
    virtual void handleExecute() = 0;
    virtual void handleExecute(const ConstrainedVariableId& /*variable*/, int /*argIndex*/,
                               const DomainListener::ChangeType& /*changeType*/) {
      handleExecute();
    }

    static const LabelStr& entityTypeName();

    /**
     * The variables, once checked to be arity many: the one scope-size check
     * of the constraints of fixed arity, made before their base is built.
     * Fails "variables.size() == <arity>"; the message names the constraint
     * and both sizes when a name is given, and is empty otherwise.
     */
    static const std::vector<ConstrainedVariableId>& checkedScope(
        const std::vector<ConstrainedVariableId>& variables, size_t arity,
        const std::string& name = std::string());

  protected:
    virtual void handleActivate() {}
    virtual void handleDeactivate() {}

    /**
     * Declares that the constraint narrows nothing but interval bounds, as
     * bounds reasoning on  s_0 x_0 + s_1 x_1 + ... <= 0  (= 0 when equality)
     * does, with s_i = -1 at the positions in negativePositions (bit i for
     * position i) and +1 elsewhere. Each bound it moves in is then the sum of
     * one bound of each other scope variable, and grows strictly with each of
     * them. While every scope domain is an integer interval the engine credits
     * each bound it moves to it, and when it goes relaxes only the bounds that
     * rest on it (see ConstraintEngine).
     */
    void setLinearBounds(unsigned int negativePositions, bool equality);

    /**
     * Declares that the constraint keeps the variable at scope position
     * `earlier` no later than the one at `later`, as a precedence does. With
     * many such constraints queued, propagation runs them in the order of the
     * graph they make (see ConstraintEngine::sweepTemporal).
     */
    void setTemporalOrder(unsigned int earlier, unsigned int later);

    /** The current (derived) domain of a variable, for narrowing in place. */
    AbstractDomain& getCurrentDomain(const ConstrainedVariableId& var);

    bool m_isRedundant;

  private:
    friend class ConstraintEngine;

    Constraint(const Constraint&) = delete;
    Constraint& operator=(const Constraint&) = delete;

    /** A scope variable as a pointer, without a handle check. */
    ConstrainedVariable* scopeVariable(size_t argIndex) const { return m_variables[argIndex].get(); }
    /** A scope variable's current domain is empty. */
    bool hasEmptyScopeDomain() const { return m_emptyScope != 0; }

    // Engine bookkeeping first: deliveries, the agenda and runs read it together
    // with the object's vtable pointer.
    unsigned int m_deactivation;
    unsigned int m_emptyScope; // scope positions whose current domain is empty
    unsigned int m_taintedScope; // scope positions whose variable is tainted
    unsigned int m_agendaEntries; // entries in the engine's agenda
    bool m_queued; // on the engine's agenda
    bool m_linked; // links into the variables exist
    // For sweeps: the scope positions of the earlier and the later timepoint
    // (setTemporalOrder), -1 when the constraint orders none.
    signed char m_earlier;
    signed char m_later;
    // The scope size when credited with the bounds it moves (while no scope
    // variable is tainted), 0 when never; -1 not known yet.
    signed char m_creditable;
    bool m_linear; // declared by setLinearBounds()
    bool m_equality; // the linear relation is an equality, not an upper limit
    bool m_distinct; // no variable is twice in the scope
    bool m_owned = false; // only its owner discards it
    static const size_t LINEAR_SCOPE = 3; // the largest linear scope whose current domains are kept here
    // The scope's current domains when linear (none past LINEAR_SCOPE): the engine
    // reads their bounds around a run without touching the variables.
    const AbstractDomain* m_linearDomains[LINEAR_SCOPE];
    unsigned int m_negative; // positions of the linear relation with a minus sign (bit i for position i)
    unsigned int m_sweepMark; // the last temporal sweep that saw it
    unsigned int m_slot; // engine index
    unsigned int m_violationMark; // inconsistency this constraint caused
    ConstraintId m_id;
    const std::vector<ConstrainedVariableId> m_variables;
    LinkPositions m_linkPositions; // kept by the engine
    const LabelStr m_name;
    const LabelStr m_propagatorName;
    const ConstraintEngineId m_constraintEngine;
  };

}

#endif
