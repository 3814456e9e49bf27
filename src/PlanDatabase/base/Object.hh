#ifndef KADRIX_OBJECT_HH
#define KADRIX_OBJECT_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/OrderingJournal.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "PlanDatabase/base/PSPlanDatabase.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/LabelStr.hh"

#include <list>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

namespace KADRIX {

  /**
   * An instance of an object type of the schema in a plan: a type, a name that
   * is unique in its database, a place in a tree of parents and components,
   * member variables, and the tokens that are on it.
   *
   * An object is built incomplete; close() completes it and registers it with
   * its plan database. A constructor given open == false closes it at once,
   * through Object::close() itself (a subclass that completes itself passes
   * true and closes later). A component is named after its parent: the
   * parent's name, ".", and its local name.
   *
   * Member variables are named and found by their full name: the object's
   * name, ".", and the member's name.
   *
   * Discarding an object discards its variables, deletes its components depth
   * first and unregisters it from its database; in the entity layer's purge
   * mode the database takes care of everything and nothing is done here.
   */
  class Object : public Entity, public virtual PSObject {
  public:
    enum State { INCOMPLETE = 0, COMPLETE = 1 };

    /** A root object. */
    Object(const PlanDatabaseId& planDatabase, const LabelStr& type, const LabelStr& name, bool open = false);
    /** A component of parent, named parent name + "." + localName. */
    Object(const ObjectId& parent, const LabelStr& type, const LabelStr& localName, bool open = false);
    virtual ~Object() noexcept(false);

    // Entity.
    const std::string& getEntityType() const override;
    std::string toString() const override;
    std::string toLongString() const override;
    const LabelStr& entityType() const override;
    const LabelStr& getName() const override;
    /** Whether the entity is an object. */
    bool canBeCompared(const EntityId& entity) const override;

  protected:
    void handleDiscard() override;

  public:
    /** Receives the construction arguments; nothing to do here. */
    virtual void constructor(const std::vector<const AbstractDomain*>& arguments);

    /**
     * Adds a member variable named name (made full: object name + "." + name)
     * over baseDomain; only while incomplete. A singleton base domain
     * specifies it at once.
     */
    virtual ConstrainedVariableId addVariable(const AbstractDomain& baseDomain, const char* name);

    /** Completes the object and registers it with its database. */
    virtual void close();

    // Public view.
    std::string getObjectType() const override;
    PSList<PSVariable*> getMemberVariables() override;
    PSVariable* getMemberVariable(const std::string& name) override;
    PSList<PSToken*> getTokens() const override;
    PSVarValue asPSVarValue() const override;
    void addPrecedence(PSToken* pred, PSToken* succ) override;
    void removePrecedence(PSToken* pred, PSToken* succ) override;

    // Tokens on the object and their ordering.

    /** Whether the token is on this object and its object variable holds this object alone. */
    virtual bool hasToken(const TokenId& token) const;
    /** Orders predecessor before successor on this object, as the caller's explicit choice. */
    virtual void constrain(const TokenId& predecessor, const TokenId& successor);
    /** Lifts the ordering of predecessor before successor. */
    virtual void free(const TokenId& predecessor, const TokenId& successor);
    virtual void notifyMerged(const TokenId& token);
    virtual void notifyRejected(const TokenId& token);
    /** The token is being discarded: takes it off. */
    virtual void notifyDeleted(const TokenId& token);

    /** Appends the ways the token can be ordered here, at most limit of them: (token, token). */
    virtual void getOrderingChoices(const TokenId& token, std::vector<std::pair<TokenId, TokenId> >& results,
                                    unsigned int limit);
    /** Counts the choices, remembers and returns the count. */
    unsigned int countOrderingChoices(const TokenId& token, unsigned int limit);
    /** The count of the last countOrderingChoices, whatever token it was for. */
    unsigned int lastOrderingChoiceCount(const TokenId& token) const;
    /** Appends the tokens still to be ordered here: none on a plain object. */
    virtual void getTokensToOrder(std::vector<TokenId>& results);
    virtual bool hasTokensToOrder() const;

    /** The precedence constraint of the pair, or the null handle. */
    ConstraintId getPrecedenceConstraint(const TokenId& predecessor, const TokenId& successor) const;
    /** Appends the token's precedence constraints in the order they were made; results must be empty. */
    void getPrecedenceConstraints(const TokenId& token, std::vector<ConstraintId>& results) const;
    bool isConstrainedToPrecede(const TokenId& predecessor, const TokenId& successor) const;
    /** Whether the object holds any constraint for the token. */
    bool isConstrainedToThisObject(const TokenId& token) const;
    /**
     * Whether a caller asked for the ordering: the precedence constraint of
     * the pair is explicit or, for a token with itself, the token is
     * explicitly bound here.
     */
    bool isExplicitOrdering(const TokenId& predecessor, const TokenId& successor) const;

  protected:
    /** Puts the token on the object. */
    virtual void add(const TokenId& token);
    /** Takes the token off, with every constraint the object made for it. */
    virtual void remove(const TokenId& token);

    /**
     * Orders predecessor before successor: binds both to this object and, for
     * two different tokens, makes a "precedes" constraint from predecessor's
     * end to successor's start. An explicit ordering is marked as such.
     */
    void constrain(const TokenId& predecessor, const TokenId& successor, bool isExplicit);
    /** Removes the ordering made by constrain, explicit or not, and unbinds what nothing holds. */
    void free(const TokenId& predecessor, const TokenId& successor, bool isExplicit);
    /** Whether the token is explicitly bound here or takes part in an explicit precedence. */
    bool hasExplicitConstraint(const TokenId& token) const;
    /** Whether the token keeps its binding when nothing else holds it (a timeline keeps what it sequences). */
    virtual bool keepsBinding(const TokenId& token) const;
    /** Frees every precedence constraint of the token; none may be explicit. */
    void freeImplicitConstraints(const TokenId& token);
    void notifyOrderingRequired(const TokenId& token);
    void notifyOrderingNoLongerRequired(const TokenId& token);
    /** The key of an ordered pair of tokens; distinct pairs may share it. */
    static int makeKey(const TokenId& a, const TokenId& b);
    /** Drops a precedence constraint from every table and discards it. */
    void removePrecedenceConstraint(const ConstraintId& constraint);

    /** Notes a change of the ordering tables in the plan's journal (OrderingJournal). */
    void note(OrderingJournal::Kind kind, const TokenId& first, const TokenId& second = TokenId::noId(),
              bool explicitMark = false, const TokenId& third = TokenId::noId()) const;
    /**
     * Takes back changes that the journal noted of this object, newest first;
     * the tables are then as they were before the first of them.
     */
    virtual void takeBack(const std::vector<OrderingJournal::Change>& changes);
    /** Takes back one change of the bindings, precedences and marks. */
    void takeBack(const OrderingJournal::Change& change);
    /** Holds the token again where propagation had taken it off after the changes taken back. */
    void holdAgain(const TokenId& token);

  private:
    /** The checks of binding the token here: valid, active and, unless bound here already, able to be on this object. */
    void checkAssignable(const TokenId& token) const;
    void constrainToThisObjectAsNeeded(const TokenId& token);
    /** Makes the token's binding constraint "eq" and files it. */
    void makeBinding(const TokenId& token);
    /** Makes the precedence constraint of the pair and files it; marks it when explicit. */
    ConstraintId makePrecedence(const TokenId& predecessor, const TokenId& successor, bool isExplicit);
    /** Drops the token's binding constraint, whatever else holds the token. */
    void dropBinding(const TokenId& token);
    /** Drops the token's binding constraint when nothing else holds the token. */
    void clean(const TokenId& token);
    /** Erases the token's entry for the constraint. */
    void clean(const ConstraintId& constraint, int tokenKey);

  protected:
    /** Records a component; it must name this object as its parent. */
    virtual void add(const ObjectId& component);
    /** Forgets a component. */
    virtual void remove(const ObjectId& component);

  public:
    bool isComplete() const { return m_state == COMPLETE; }

    const ObjectId& getId() const { return m_id; }
    const ObjectId& getParent() const { return m_parent; }
    const LabelStr& getType() const { return m_type; }
    const PlanDatabaseId& getPlanDatabase() const { return m_planDatabase; }
    /** The self variable: its domain holds this object alone. */
    const ConstrainedVariableId& getThis() const { return m_thisVar; }
    const ObjectSet& getComponents() const { return m_components; }
    /** The member variables; a member's position is its index. */
    const std::vector<ConstrainedVariableId>& getVariables() const { return m_variables; }
    const TokenSet& tokens() const { return m_tokens; }

    /** The topmost ancestor type of the object's type. */
    LabelStr getRootType() const;
    /** Appends the parent, its parent and so on: nearest first. */
    void getAncestors(std::list<ObjectId>& results) const;
    /**
     * Makes parent the parent of this object, removing it from a different
     * previous parent first. The name stays as it is.
     */
    void setParent(const ObjectId& parent);

    /** Fails a check where discarding the object would, changing nothing. */
    void checkDiscard() const;
    /**
     * Discards the object right after its checkDiscard passed: what holds its
     * objects is not searched for again (the search visits every variable).
     */
    void discardChecked();
    /** This object and its components, depth first. */
    void collectTree(std::vector<ObjectId>& tree) const;

    /** The member variable of this full name, or the null handle. */
    ConstrainedVariableId getVariable(const LabelStr& name) const;
    /**
     * Follows a path of member indexes: the first indexes this object's
     * members; each further one the members of the object the previous
     * member holds.
     */
    ConstrainedVariableId getVariable(const std::vector<unsigned int>& path) const;

    static const LabelStr& entityTypeName();

  protected:
    /**
     * Checks the key tables of the object's constraints; true or a failed check.
     * Only the entries changed since the last call are checked: the tables are
     * changed by this class alone, which notes every token key and key pair it
     * touches. Builds with KADRIX_FULL_WALKS also check every entry, so that
     * the two verdicts are compared on every call.
     */
    bool isValid() const;
    /** The object's entries for the token changed; a timeline rechecks its place too. */
    virtual void entriesChanged(int tokenKey);
    /**
     * The checks of discarding this object and its whole component tree, run
     * before the first change: a component's refusal must not come from its
     * destructor.
     */
    void checkDiscardable() const;
    /** Deletes this component after clearing its parent link. */
    void cascadeDelete();
    /**
     * Refuses the discard while a variable would keep the value of this object
     * or of a component once they are gone (PlanDatabase::holderOf).
     */
    void checkNotHeld() const;

  private:
    friend class PlanDatabase;
    friend class ObjectTokenRelation;
    friend class OrderingJournal;
    friend class Timeline;

    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    /** The part of the constructors after the checks: handle, self variable, closing. */
    void commonInit(bool open);
    /** Undoes what commonInit and the parent did when a constructor fails. */
    void undoConstruction();

    /** Notes a token key whose entries changed since the last isValid(). */
    void touchToken(int tokenKey);
    /** Notes a key pair whose entries changed since the last isValid(). */
    void touchPair(int keyPair) { m_uncheckedPairs.push_back(keyPair); }
    /** Checks the constraints listed for the token key and that the token exists. */
    void checkTokenEntries(int tokenKey) const;
    /** Checks one key pair entry: a valid constraint that maps back to its key pair. */
    void checkPairEntry(std::multimap<int, ConstraintId>::const_iterator entry) const;
    /** Checks every entry of the tables. */
    void checkAllEntries() const;

    ObjectId m_id;
    ObjectId m_parent;
    LabelStr m_type;
    LabelStr m_name;
    const PlanDatabaseId m_planDatabase;
    State m_state;
    ObjectSet m_components;
    TokenSet m_tokens;
    std::vector<ConstrainedVariableId> m_variables;
    std::set<int> m_explicitConstraints;
    unsigned int m_lastOrderingChoiceCount;
    std::multimap<int, ConstraintId> m_constraintsByTokenKey;
    std::multimap<int, ConstraintId> m_constraintsByKeyPair;
    std::map<int, int> m_keyPairsByConstraintKey;
    ConstrainedVariableId m_thisVar;
    // A component discarded with its parent, whose tree the parent checked.
    bool m_heldChecked = false;
    // Token keys and key pairs changed since the last isValid(); may repeat.
    mutable std::vector<int> m_uncheckedTokens;
    mutable std::vector<int> m_uncheckedPairs;
  };

}

#endif
