#ifndef KADRIX_CONSTRAINED_VARIABLE_HH
#define KADRIX_CONSTRAINED_VARIABLE_HH

#include "Utils/base/Id.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/LabelStr.hh"
#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstraintLinks.hh"
#include "ConstraintEngine/base/PSConstraintEngine.hh"

#include <memory>
#include <string>
#include <vector>

namespace KADRIX {

  class ConstraintEngine;
  class Constraint;
  class ConstrainedVariable;
  class ConstrainedVariableListener;
  class CESchema;

  typedef Id<ConstraintEngine> ConstraintEngineId;
  typedef Id<Constraint> ConstraintId;
  typedef Id<ConstrainedVariable> ConstrainedVariableId;
  typedef Id<ConstrainedVariableListener> ConstrainedVariableListenerId;
  typedef Id<Entity> EntityId;

  /**
   * Observes one variable: told when constraints are attached to or detached
   * from it and when it is discarded. Attaches itself on construction and
   * detaches itself on destruction if the variable still exists.
   */
  class ConstrainedVariableListener {
  public:
    ConstrainedVariableListener(const ConstrainedVariableId& var);
    virtual ~ConstrainedVariableListener() noexcept(false);

    const ConstrainedVariableListenerId& getId() const { return m_id; }

    /** The variable is being discarded. The listener may delete itself here. */
    virtual void notifyDiscard();
    /** Whether the listener keeps the variable: then only its keeper may discard it. */
    virtual bool keepsVariable() const { return false; }
    virtual void notifyConstraintAdded(const ConstraintId& /*constraint*/, int /*argIndex*/) {}
    virtual void notifyConstraintRemoved(const ConstraintId& /*constraint*/, int /*argIndex*/) {}

  protected:
    ConstrainedVariableListenerId m_id;
    ConstrainedVariableId m_var;
  };

  /**
   * Forwards the changes of a variable's current domain to its engine. It is a
   * private base of ConstrainedVariable, so it finds its variable without a
   * pointer of its own.
   */
  class VariableChangeListener : public DomainListener {
  public:
    using DomainListener::listenTo;
    VariableChangeListener() : DomainListener(Unregistered()) {}
    void notifyChange(const ChangeType& changeType) override;
  };

  class ConstrainedVariable : public Entity, private VariableChangeListener, public virtual PSVariable {
  public:
    static const int NO_INDEX = -1;

    virtual ~ConstrainedVariable() noexcept(false);

    // Entity and public-interface texts.
    const std::string& getEntityType() const override;
    std::string toString() const override;
    std::string toLongString() const override;
    const LabelStr& entityType() const override;
    const LabelStr& getName() const override;
    void handleDiscard() override;

    // Domains; the subclass stores them.
    virtual const AbstractDomain& lastDomain() const = 0;
    virtual const AbstractDomain& derivedDomain() = 0;
    virtual const AbstractDomain& baseDomain() const = 0;

    // Operations that widen or narrow the variable.
    void reset() override;
    virtual void relax();
    virtual void insert(double value);
    /** Inserts each of the values as insert() does, one pass over each domain; overridden along with insert(). */
    virtual void insertAll(const std::vector<double>& values);
    virtual void remove(double value);
    virtual void specify(double value);
    virtual void close();
    virtual void open();

    // Hooks for subclasses and merge records; the engine never calls these three.
    virtual void handleBase(const AbstractDomain& /*domain*/) {}
    virtual void handleSpecified(double /*value*/) {}
    virtual void handleReset() {}

    virtual std::string toString(double value) const;
    double getViolation() const override;
    std::string getViolationExpl() const override;

  protected:
    virtual void handleRestrictBaseDomain(const AbstractDomain& newBaseDomain) = 0;

  public:
    /** Cheap self test, called by every domain access. */
    virtual bool validate() const;

  protected:
    virtual AbstractDomain& internal_baseDomain() = 0;

  private:
    virtual AbstractDomain& getCurrentDomain() = 0;

  public:
    virtual void handleConstraintAdded(const ConstraintId& /*constraint*/) {}
    virtual void handleConstraintRemoved(const ConstraintId& /*constraint*/) {}

    // Public interface.
    PSVarType getType() const override;
    bool isEnumerated() const override;
    bool isInterval() const override;
    bool isNull() const override;
    bool isSingleton() const override;
    PSVarValue getSingletonValue() const override;
    PSList<PSVarValue> getValues() const override;
    PSList<PSConstraint*> getConstraints() const override;
    double getLowerBound() const override;
    double getUpperBound() const override;
    void specifyValue(PSVarValue& value) override;
    PSEntity* getParent() const override;

    // Non-virtual operations.
    const ConstrainedVariableId& getId() const { return m_id; }
    const ConstraintEngineId& getConstraintEngine() const;
    int getIndex() const { return m_index; }
    const EntityId& parent() const { return m_parent; }
    bool isInternal() const { return m_internal; }
    bool canBeSpecified() const { return m_canBeSpecified; }
    bool isSpecified() const { return m_specified; }
    /** Specified by its owner itself (a token variable: by its own token, not through a merged one). */
    bool isLocallySpecified() const { return m_specifiedByOwner; }
    double getSpecifiedValue() const;
    /** The base domain is closed. */
    bool isClosed() const;
    /** Not deactivated. */
    bool isActive() const { return m_deactivation == 0; }

    /** Specify without the can-be-specified test. */
    void internalSpecify(double value);
    /** Reset, with a subset of the base domain as the new derived domain. */
    void reset(const AbstractDomain& domain);
    /** Intersect the base domain (and with it the derived domain) with a domain. */
    void restrictBaseDomain(const AbstractDomain& domain);

    /** Deactivation count: constraints on an inactive variable are inactive. */
    void deactivate();
    void undoDeactivation();

    /** Insert every constraint on this variable, active or not, into a set. */
    template <class S> void constraints(S& results) const {
      for (const ConstraintLinks::Link& l : m_links)
        results.insert(idOf(l.constraint));
    }
    unsigned int constraintCount() const { return static_cast<unsigned int>(m_links.size()); }

    /** The engine has work queued. */
    bool pending() const;
    /** Let the engine bring the variable up to date. */
    void update();
    /** The engine is inconsistent. */
    bool provenInconsistent() const;

    static const LabelStr& entityTypeName();
    static const LabelStr& NO_NAME();

  protected:
    ConstrainedVariable(const ConstraintEngineId& constraintEngine, bool internal, bool canBeSpecified,
                        const LabelStr& name, const EntityId& parent = EntityId::noId(),
                        int index = NO_INDEX);

    /**
     * Makes the variable's listener the listener of its derived domain: it
     * forwards the domain's changes to the engine. The listener is the
     * variable's own; its handle is registered only when someone asks for it.
     */
    void listenTo(AbstractDomain& derivedDomain) { VariableChangeListener::listenTo(derivedDomain); }

    /** For a subclass, once its base domain is set: tells the engine whether its values are entities. */
    void noteBaseDomain(const AbstractDomain& baseDomain);

    /**
     * For a subclass that keeps its derived domain in one place for the
     * variable's life: records where, so that the variable keeps one pointer to
     * it. Other subclasses are asked through getCurrentDomain() when needed.
     */
    void holdCurrentDomain(AbstractDomain& derivedDomain) { m_currentDomain = &derivedDomain; }
    /** The domain given to holdCurrentDomain(). */
    AbstractDomain* heldCurrentDomain() const { return m_currentDomain; }

  private:
    friend class ConstraintEngine;
    friend class ConstrainedVariableListener;
    friend class VariableChangeListener;

    ConstrainedVariable(const ConstrainedVariable&) = delete;
    ConstrainedVariable& operator=(const ConstrainedVariable&) = delete;

    static const ConstraintId& idOf(const Constraint* constraint);

    void addListener(ConstrainedVariableListener* listener);
    void removeListener(ConstrainedVariableListener* listener);
    /** The shared part of both resets. */
    void resetTo(const AbstractDomain* domain);
    /**
     * Runs change() on the current domain with the domain's own reports muted,
     * then reports it to the engine as one change of the given type, or as
     * EMPTIED when the change may empty the domain and left it closed and empty.
     */
    template <class Change>
    void changeCurrentDomain(Change change, DomainListener::ChangeType type, bool mayEmpty);
    /** Whether the current domain is closed and empty. */
    bool isEmptied();
    /** The current domain, through a cached pointer: the object never moves. */
    AbstractDomain& currentDomain() {
      if (m_currentDomain == 0)
        m_currentDomain = &getCurrentDomain();
      return *m_currentDomain;
    }

    // Hot during propagation first: reports, links and the current domain. The
    // first flags fill the space behind the listener part.
    bool m_narrowed; // propagation narrowed it since it was last relaxed
    bool m_tainted; // propagation narrowed it in a way no constraint credits per bound: relaxed as a whole
    bool m_emptied; // listed by the engine as emptied
    bool m_muted; // reports of the current domain operation are dropped
    bool m_dying; // being discarded
    bool m_empty; // the current domain is empty (counted by its constraints)
    bool m_specified;
    // For the lower and the upper bound, the constraint whose propagation last
    // moved it in: its support (see ConstraintEngine). None at the reset value.
    Constraint* m_support[2];
    AbstractDomain* m_currentDomain; // cache of getCurrentDomain()
    ConstraintLinks m_links; // kept by the engine
    unsigned int m_deactivation;
    const int m_index;

    // Engine bookkeeping (see ConstraintEngine).
    unsigned int m_slot; // engine index
    unsigned int m_waveStamp; // the last relaxation wave that visited the variable
    unsigned int m_sweepStamp; // the last temporal sweep that numbered the variable
    int m_sweepNode; // its number in that sweep
    ConstraintEngine* const m_constraintEngine; // outlives its variables: it deletes them before it goes

    ConstrainedVariableId m_id;
    const LabelStr m_name;
    double m_specifiedValue;
    const EntityId m_parent;
    // Made by the first listener that attaches, kept until the variable goes:
    // listeners may detach while they are told.
    std::unique_ptr<std::vector<ConstrainedVariableListener*> > m_listeners;
    unsigned char m_invalid; // bounds the running relaxation wave is to relax (1 lower, 2 upper)
    signed char m_boundsTracked; // -1 not known yet, 1 when the current domain is an integer interval
    const bool m_internal;
    const bool m_canBeSpecified;

  protected:
    // Specified by its owner itself rather than through other variables (a token
    // variable: by its own token, not through a merged one). Kept here, where the
    // flags above leave room, for the subclasses that tell the two apart.
    bool m_specifiedByOwner;
  };

}

#endif
