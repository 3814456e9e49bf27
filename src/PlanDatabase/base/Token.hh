#ifndef KADRIX_TOKEN_HH
#define KADRIX_TOKEN_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "PlanDatabase/base/StateDomain.hh"
#include "PlanDatabase/base/TokenVariable.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/PSUtils.hh"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace KADRIX {

  class UnifyMemento;
  typedef Id<UnifyMemento> UnifyMementoId;

  typedef std::set<ConstrainedVariableId, EntityComparator<ConstrainedVariableId> > ConstrainedVariableSet;

  /**
   * A set of tokens that most tokens leave empty (their slaves, the tokens
   * merged onto them): one pointer until the first insert, then a TokenSet
   * kept until the holder goes. Reads of a holder never filled see one shared
   * empty set.
   */
  class LazyTokenSet {
  public:
    LazyTokenSet() = default;
    LazyTokenSet(const LazyTokenSet&) = delete;
    LazyTokenSet& operator=(const LazyTokenSet&) = delete;

    const TokenSet& get() const { return m_set ? *m_set : emptySet(); }
    bool empty() const { return !m_set || m_set->empty(); }
    size_t size() const { return m_set ? m_set->size() : 0; }
    TokenSet::const_iterator begin() const { return get().begin(); }
    TokenSet::const_iterator end() const { return get().end(); }
    TokenSet::const_iterator find(const TokenId& token) const { return get().find(token); }

    void insert(const TokenId& token) {
      if (!m_set)
        m_set.reset(new TokenSet());
      m_set->insert(token);
    }
    void erase(const TokenId& token) {
      if (m_set)
        m_set->erase(token);
    }
    void clear() {
      if (m_set)
        m_set->clear();
    }

  private:
    static const TokenSet& emptySet();

    std::unique_ptr<TokenSet> m_set;
  };

  typedef Id<TokenVariable<StateDomain> > StateVarId;
  typedef Id<TokenVariable<ObjectDomain> > ObjectVarId;
  typedef Id<TokenVariable<IntervalIntDomain> > TempVarId;

  /**
   * The public view of a token.
   */
  class PSToken : public virtual PSEntity {
  public:
    enum PSTokenState { INACTIVE = 0, ACTIVE = 1, MERGED = 2, REJECTED = 3 };

    PSToken() {}
    virtual ~PSToken() noexcept(false) {}

    /** The predicate name without its object type. */
    virtual std::string getTokenType() const = 0;
    virtual bool isFact() const = 0;
    virtual PSTokenState getTokenState() const = 0;
    virtual PSVariable* getStart() const = 0;
    virtual PSVariable* getEnd() const = 0;
    virtual PSVariable* getDuration() const = 0;
    /** The object the token is assigned to, or null. */
    virtual PSObject* getOwner() const = 0;
    /** The master, or null. */
    virtual PSToken* getMaster() const = 0;
    /** The slaves, by entity key. */
    virtual PSList<PSToken*> getSlaves() const = 0;
    /** The active token this one is merged onto, or null. */
    virtual PSToken* getActive() const = 0;
    /** The tokens merged onto this one, by entity key. */
    virtual PSList<PSToken*> getMerged() const = 0;
    virtual double getViolation() const = 0;
    virtual std::string getViolationExpl() const = 0;
    /** Every variable of the token, in index order. */
    virtual PSList<PSVariable*> getParameters() const = 0;
    /** The first variable of that name, or null. */
    virtual PSVariable* getParameter(const std::string& name) const = 0;
    virtual void activate() = 0;
    virtual void reject() = 0;
    virtual void merge(PSToken* activeToken) = 0;
    virtual void cancel() = 0;
    /** The active tokens this one could be merged onto. */
    virtual PSList<PSToken*> getCompatibleTokens(unsigned int limit, bool useExactTest) = 0;
  };

  /**
   * A predicate instance of a plan: the abstract base of event and interval
   * tokens and of the model's token classes.
   *
   * Variables, in index order: "state" (0), "object" (1), "duration" (2),
   * then the time variables of the concrete kind, then the model's
   * parameters. The token owns them and its standard constraints: the
   * "ObjectTokenRelation" over (state, object), plus whatever the concrete
   * kind adds.
   *
   * State: INCOMPLETE until close(), which registers the token with its plan
   * database; then INACTIVE, and ACTIVE, MERGED or REJECTED by decision. The
   * state is read off the state variable only.
   *
   * Note for model writers: a constructor given closed == true calls close()
   * from within Token's constructor, where a derived class's override of
   * close() is not yet in effect. A derived class that needs its own close()
   * passes closed == false and closes the token itself when it is complete.
   *
   * Every check of a constructor runs before anything is registered: a
   * constructor that fails leaves no trace in the handle registry, the
   * constraint engine, the master or the database.
   */
  class Token : public Entity, public virtual PSToken {
    // Declared first, so that they fill the space behind the Entity part.
    bool m_isFact;
    bool m_committed;
    bool m_deleted;
    bool m_terminated;
    bool m_abandoned;

  public:
    static const LabelStr INCOMPLETE;
    static const LabelStr INACTIVE;
    static const LabelStr ACTIVE;
    static const LabelStr MERGED;
    static const LabelStr REJECTED;

    virtual ~Token() noexcept(false);

    // Entity and public view.
    const std::string& getEntityType() const override;
    std::string toLongString() const override;
    static const LabelStr& entityTypeName();
    const LabelStr& entityType() const override;
    /** The predicate name. */
    const LabelStr& getName() const override;
    /** True when the entity is a token. */
    bool canBeCompared(const EntityId& entity) const override;

    virtual const TempVarId& start() const = 0;
    virtual const TempVarId& end() const = 0;

    double getViolation() const override;
    std::string getViolationExpl() const override;
    bool isFact() const override { return m_isFact; }
    /** Closes an incomplete token and registers it with its database. */
    virtual void close();
    void activate() override;
    void reject() override;
    void cancel() override;
    std::string getTokenType() const override;
    PSTokenState getTokenState() const override;
    PSVariable* getStart() const override;
    PSVariable* getEnd() const override;
    PSVariable* getDuration() const override;
    PSObject* getOwner() const override;
    PSToken* getMaster() const override;
    PSList<PSToken*> getSlaves() const override;
    PSToken* getActive() const override;
    PSList<PSToken*> getMerged() const override;
    PSList<PSVariable*> getParameters() const override;
    PSVariable* getParameter(const std::string& name) const override;
    void merge(PSToken* activeToken) override;
    PSList<PSToken*> getCompatibleTokens(unsigned int limit, bool useExactTest) override;

    // States.
    bool isIncomplete() const;
    bool isInactive() const;
    bool isActive() const;
    bool isMerged() const;
    bool isRejected() const;
    /** Closed, not committed and not terminated. */
    bool isPending() const;
    static bool isStateVariable(const ConstrainedVariableId& var);

    // Decisions.
    /** Activation without its checks. */
    void activateInternal();
    /** REJECTED to INACTIVE. */
    void reinstate();
    /** ACTIVE to INACTIVE: splits the merged tokens, releases the slaves, then resets. */
    void deactivate();
    /** MERGED to INACTIVE: undoes and deletes the merge record. */
    void split();
    /** INACTIVE to MERGED onto an active token of this predicate or of one derived from it. */
    void doMerge(const TokenId& activeToken);
    /** On the active token: records a token merged onto it and takes a reference for it. */
    void addMergedToken(const TokenId& token);
    /**
     * On the active token: forgets a merged token and releases its reference;
     * true when that was the last reference, so that this token is discarded.
     */
    bool removeMergedToken(const TokenId& token);
    /** Narrows every variable's base domain but the state variable's to its current domain. */
    void restrictBaseDomains();
    void handleAdditionOfInactiveConstraint(const ConstraintId& constraint);
    void handleRemovalOfInactiveConstraint(const ConstraintId& constraint);

    // Master/slave links.
    void add(const TokenId& slave);
    void remove(const TokenId& slave);
    /** Cuts the link to the master and releases the master's reference; true when that was the last. */
    bool removeMaster(const TokenId& token);

    // Commit and termination.
    /** Pending and active. */
    bool canBeCommitted() const;
    /** Fixes an active token for good: its state can be nothing but ACTIVE, and it holds one more reference. */
    void commit();
    /** Whether the token may be retired; tick is not consulted. */
    bool canBeTerminated(unsigned int tick) const;
    /** Deactivates every variable the token owns and tells the database; once only. */
    void terminate();
    /** True when no constraint on the token's variables reaches a variable of another token. */
    bool noExternalConstraints() const;

    // Accessors.
    const TokenId& getId() const;
    const TokenId& master() const;
    const LabelStr& getRelation() const;
    const PlanDatabaseId& getPlanDatabase() const;
    const LabelStr& getBaseObjectType() const { return m_baseObjectType; }
    const LabelStr& getPredicateName() const { return m_predicateName; }
    const LabelStr& getUnqualifiedPredicateName() const;
    const StateVarId& getState() const;
    const ObjectVarId& getObject() const;
    const TempVarId& duration() const;
    const std::vector<ConstrainedVariableId>& parameters() const { return m_parameters; }
    const std::vector<ConstrainedVariableId>& getVariables() const { return m_allVariables; }
    /** The token's variable of that name, else the database's global of that name, else the null handle. */
    ConstrainedVariableId getVariable(const LabelStr& name) const;
    const TokenSet& slaves() const { return m_slaves.get(); }
    const TokenSet& getMergedTokens() const { return m_mergedTokens.get(); }
    const TokenId& getActiveToken() const { return m_activeToken; }
    /** The merge record of a merged token; the null handle otherwise. */
    const UnifyMementoId& getUnifyMemento() const { return m_unifyMemento; }
    const std::set<ConstraintId>& getStandardConstraints() const { return m_standardConstraints; }
    const ConstrainedVariableSet& getLocalVariables() const;
    /** The slave at this position in key order, or the null handle. */
    const TokenId& getSlave(int index) const;
    /** The position of the slave in key order, or -1. */
    int getSlavePosition(const TokenId& slave) const;
    bool isStandardConstraint(const ConstraintId& constraint) const;
    /** Active, its object variable a singleton, and that object holds it. */
    bool isAssigned() const;
    bool isCommitted() const { return m_committed; }
    bool isTerminated() const { return m_terminated; }
    bool isDeleted() const { return m_deleted; }
    void addLocalVariable(const ConstrainedVariableId& var);
    void removeLocalVariable(const ConstrainedVariableId& var);
    void makeFact() { m_isFact = true; }

    /** A fresh name "PSEUDO_VARIABLE_<n>"; the counter is never reset. */
    static LabelStr makePseudoVarName();
    /** "NO_OBJECT_ASSIGNED": no named object. */
    static const LabelStr& noObject();

    /** The structural self-check; writes why under "Token:isValid" when false. */
    bool isValid() const;

  protected:
    /** A master token in a plan database. */
    Token(const PlanDatabaseId& planDatabase, const LabelStr& predicateName, bool rejectable, bool isFact,
          const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName, bool closed);

    /** A slave of an active master. */
    Token(const TokenId& master, const LabelStr& relation, const LabelStr& predicateName,
          const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName, bool closed);

    void handleDiscard() override;

    /** Appends a variable made by a derived class; its index must be the next one. */
    void addVariable(const ConstrainedVariableId& var);
    /**
     * Makes a model parameter over the base domain, named name, at the next
     * index; only while the token is incomplete. The parameter is a token
     * variable over the closest domain class the token variables come in
     * (see TokenVariable); a domain of no such class is refused.
     */
    ConstrainedVariableId addParameter(const AbstractDomain& baseDomain, const LabelStr& name);
    /** Adds a constraint made by a derived class to the standard constraints. */
    void addStandardConstraint(const ConstraintId& constraint);

    StateVarId m_state;
    ObjectVarId m_object;
    TempVarId m_duration;
    std::vector<ConstrainedVariableId> m_parameters;
    std::vector<ConstrainedVariableId> m_pseudoVariables;
    TokenId m_master;
    LazyTokenSet m_slaves;
    LazyTokenSet m_mergedTokens;
    TokenId m_activeToken;
    UnifyMementoId m_unifyMemento;

  private:
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;

    /**
     * The checks of construction, made before anything is registered. Sets the
     * base object type and gives the object named by objectName, or the null
     * handle when none is named.
     */
    ObjectId checkConstruction(const LabelStr& predicateName, const LabelStr& objectName);
    void commonInit(const LabelStr& predicateName, bool rejectable, bool isFact,
                    const IntervalIntDomain& durationBaseDomain, const LabelStr& objectName,
                    const ObjectId& object, bool closed);
    /** The objects named by the object variable's base domain that still exist. */
    void liveObjects(std::vector<ObjectId>& results) const;

    /** Undoes what a failed construction built; the token is then left alone by its discard. */
    void abandon();

    TokenId m_id;
    LabelStr m_relation;
    LabelStr m_baseObjectType;
    LabelStr m_predicateName;
    std::vector<ConstrainedVariableId> m_allVariables;
    std::set<ConstraintId> m_standardConstraints;
    const PlanDatabaseId m_planDatabase;
    // Few tokens have local variables: the set is made by the first one.
    std::unique_ptr<ConstrainedVariableSet> m_localVariables;
  };

}

#endif
