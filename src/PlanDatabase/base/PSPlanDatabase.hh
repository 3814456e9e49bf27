#ifndef KADRIX_PS_PLAN_DATABASE_HH
#define KADRIX_PS_PLAN_DATABASE_HH

#include "ConstraintEngine/base/PSConstraintEngine.hh"
#include "ConstraintEngine/base/PSVarValue.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "PlanDatabase/base/PlanDatabaseListener.hh"
#include "Utils/base/Engine.hh"
#include "Utils/base/PSUtils.hh"

#include <string>

namespace KADRIX {

  /**
   * The public face of the schema: what the host engine holds as the component "Schema".
   */
  class PSSchema : public EngineComponent {
  public:
    PSSchema() : EngineComponent() {}
    virtual ~PSSchema() {}
  };

  /**
   * The public view of an object. Every operation is answered by Object.
   */
  class PSObject : public virtual PSEntity {
  public:
    PSObject() {}
    virtual ~PSObject() noexcept(false) {}

    /** The object's type name. */
    virtual std::string getObjectType() const = 0;
    /** The member variables, in the order they were added. */
    virtual PSList<PSVariable*> getMemberVariables() = 0;
    /** The first member variable whose full name (object name, ".", member) is name, or null. */
    virtual PSVariable* getMemberVariable(const std::string& name) = 0;
    /** The tokens on the object, by entity key. */
    virtual PSList<PSToken*> getTokens() const = 0;
    /** The object as a value of type OBJECT. */
    virtual PSVarValue asPSVarValue() const = 0;
    /** Orders pred before succ on the object, as an explicit choice. */
    virtual void addPrecedence(PSToken* pred, PSToken* succ) = 0;
    /** Lifts the ordering of pred before succ on the object. */
    virtual void removePrecedence(PSToken* pred, PSToken* succ) = 0;

    /** The entity as an object; null for null and for an entity that is not an object. */
    static PSObject* asPSObject(PSEntity* entity) { return dynamic_cast<PSObject*>(entity); }
  };

  /**
   * The public view of a plan database: the component "PlanDatabase" of the host engine.
   */
  class PSPlanDatabase : public EngineComponent {
  public:
    PSPlanDatabase() : EngineComponent() {}
    virtual ~PSPlanDatabase() noexcept(false) {}

    /** The objects whose type is objectType or one of its descendants, by entity key. */
    virtual PSList<PSObject*> getObjectsByType(const std::string& objectType) const = 0;
    /** The object with this entity key; it must exist. */
    virtual PSObject* getObjectByKey(int id) const = 0;
    /** The object of this name; it must exist. */
    virtual PSObject* getObjectByName(const std::string& name) const = 0;
    /** Every token, by entity key. */
    virtual PSList<PSToken*> getAllTokens() const = 0;
    /** The token with this entity key; it must exist. */
    virtual PSToken* getTokenByKey(int id) const = 0;
    /** Every global variable, by entity key. */
    virtual PSList<PSVariable*> getAllGlobalVariables() const = 0;
  };

  /**
   * The database listener of the public interface: it passes changes on to
   * operations over the public views. Object additions and removals,
   * activations, deactivations, rejections, merges, splits and the placement
   * of tokens on objects and their removal are passed on, each as exactly one
   * call of the public operation; token additions and removals,
   * reinstatements, orderings, freeings, commits and terminations never reach
   * the public view.
   *
   * It is built unbound; its creator binds it with setPlanDatabase().
   */
  class PSPlanDatabaseListener : public PlanDatabaseListener {
  public:
    PSPlanDatabaseListener() : PlanDatabaseListener() {}
    virtual ~PSPlanDatabaseListener() noexcept(false) {}

    using PlanDatabaseListener::notifyActivated;
    using PlanDatabaseListener::notifyAdded;
    using PlanDatabaseListener::notifyDeactivated;
    using PlanDatabaseListener::notifyMerged;
    using PlanDatabaseListener::notifyRejected;
    using PlanDatabaseListener::notifyRemoved;
    using PlanDatabaseListener::notifySplit;

    // The public operations.
    virtual void notifyAdded(PSObject* /*object*/) {}
    virtual void notifyRemoved(PSObject* /*object*/) {}
    virtual void notifyActivated(PSToken* /*token*/) {}
    virtual void notifyDeactivated(PSToken* /*token*/) {}
    virtual void notifyRejected(PSToken* /*token*/) {}
    virtual void notifyMerged(PSToken* /*token*/) {}
    virtual void notifySplit(PSToken* /*token*/) {}
    virtual void notifyAdded(PSObject* /*object*/, PSToken* /*token*/) {}
    virtual void notifyRemoved(PSObject* /*object*/, PSToken* /*token*/) {}

    // The handle-based operations, passed on or dropped.
    void notifyAdded(const ObjectId& object) override;
    void notifyRemoved(const ObjectId& object) override;
    void notifyActivated(const TokenId& token) override;
    void notifyDeactivated(const TokenId& token) override;
    void notifyMerged(const TokenId& token) override;
    void notifySplit(const TokenId& token) override;
    void notifyRejected(const TokenId& token) override;
    void notifyAdded(const ObjectId& object, const TokenId& token) override;
    void notifyRemoved(const ObjectId& object, const TokenId& token) override;
    void notifyAdded(const TokenId& /*token*/) override {}
    void notifyRemoved(const TokenId& /*token*/) override {}
    void notifyReinstated(const TokenId& /*token*/) override {}
    void notifyConstrained(const ObjectId& /*object*/, const TokenId& /*predecessor*/,
                           const TokenId& /*successor*/) override {}
    void notifyFreed(const ObjectId& /*object*/, const TokenId& /*predecessor*/,
                     const TokenId& /*successor*/) override {}
    void notifyCommitted(const TokenId& /*token*/) override {}
    void notifyTerminated(const TokenId& /*token*/) override {}
  };

} // namespace KADRIX

#endif
