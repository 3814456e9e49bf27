#ifndef KADRIX_OBJECT_TOKEN_RELATION_HH
#define KADRIX_OBJECT_TOKEN_RELATION_HH

#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

#include <set>
#include <vector>

namespace KADRIX {

  /**
   * Keeps the objects of a plan told which tokens may lie on them. Scope:
   * (state variable, object variable) of one token. While the token is active
   * every object in the object variable's domain holds the token; an object
   * that leaves the domain, and every object once the token stops being
   * active, is told to remove it. An object that holds the token by a binding
   * (the token was ordered on it) is the exception while the token is active:
   * the binding keeps the object in the domain of a consistent network, so
   * the object leaves it only while propagation finds the network
   * inconsistent, and the binding stays, with what ordered the token there,
   * until a caller takes it back.
   *
   * All work is done when the engine reports a change (canIgnore, which
   * always answers true); the relation never narrows a domain. Placing a token
   * on an object, or taking it off, therefore happens inside the engine's
   * delivery of a report, and the objects told may create or discard
   * constraints there; that is why the engine delivers each report from a
   * snapshot of the variable's constraints. An open or
   * empty object domain is left alone: an empty one is an inconsistency for
   * propagation to report.
   */
  class ObjectTokenRelation : public Constraint {
  public:
    static const int STATE_VAR = 0;
    static const int OBJECT_VAR = 1;

    ObjectTokenRelation(const LabelStr& name, const LabelStr& propagatorName,
                        const ConstraintEngineId& constraintEngine,
                        const std::vector<ConstrainedVariableId>& variables);
    virtual ~ObjectTokenRelation() noexcept(false);

    void handleExecute() override;
    void handleExecute(const ConstrainedVariableId& variable, int argIndex,
                       const DomainListener::ChangeType& changeType) override;
    bool canIgnore(const ConstrainedVariableId& variable, int argIndex,
                   const DomainListener::ChangeType& changeType) override;

    /** The objects told to hold the token and not told to remove it since. */
    const std::set<ObjectId>& getNotifiedObjects() const { return m_notifiedObjects; }

    /** The relation of the token, or null. */
    static ObjectTokenRelation* of(const TokenId& token);

    /**
     * Tells the object to hold the active token again: a rewind that gives an
     * ordering back places its token where propagation had taken it off.
     */
    void holdOn(const ObjectId& object);

  protected:
    void handleDiscard() override;

  private:
    void notifyAdditions();
    void notifyRemovals();
    /** The token is active exactly when some object holds it. */
    bool isValid() const;

    const TokenId m_token;
    std::set<ObjectId> m_notifiedObjects;
    const AbstractDomain& m_currentDomain;
  };

}

#endif
