#ifndef KADRIX_PS_PLAN_DATABASE_CLIENT_HH
#define KADRIX_PS_PLAN_DATABASE_CLIENT_HH

#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "Utils/base/PSUtils.hh"

#include <string>

namespace KADRIX {

  class PSVariable;
  class PSConstraint;
  class PSObject;
  class PSToken;

  /**
   * The client as the public interface shows it: public pointers and strings
   * instead of handles and labels. The plan database makes one over its
   * client and deletes it right after the client.
   */
  class PSPlanDatabaseClient {
  public:
    virtual ~PSPlanDatabaseClient() noexcept(false) {}

    virtual PSVariable* createVariable(const std::string& typeName, const std::string& name,
                                       bool isTmpVar) = 0;
    virtual void deleteVariable(PSVariable* var) = 0;
    virtual PSObject* createObject(const std::string& type, const std::string& name) = 0;
    virtual void deleteObject(PSObject* obj) = 0;
    virtual PSToken* createToken(const std::string& predicateName, bool rejectable, bool isFact) = 0;
    virtual void deleteToken(PSToken* token) = 0;
    virtual void constrain(PSObject* object, PSToken* predecessor, PSToken* successor) = 0;
    virtual void free(PSObject* object, PSToken* predecessor, PSToken* successor) = 0;
    virtual void activate(PSToken* token) = 0;
    virtual void merge(PSToken* token, PSToken* activeToken) = 0;
    virtual void reject(PSToken* token) = 0;
    virtual void cancel(PSToken* token) = 0;
    virtual PSConstraint* createConstraint(const std::string& name, PSList<PSVariable*>& scope) = 0;
    virtual void deleteConstraint(PSConstraint* c) = 0;
    virtual void specify(PSVariable* variable, double value) = 0;
    virtual void reset(PSVariable* variable) = 0;
    virtual void close(PSVariable* variable) = 0;
    virtual void close(const std::string& objectType) = 0;
    virtual void close() = 0;
  };

  /**
   * The public client over one DbClient, which it does not own: each
   * operation converts its public pointers to handles and calls the client
   * operation of the same name, so checks, notifications and the record of
   * created tokens are those of a direct call. A pointer that is null or not
   * an engine object of the expected class fails a check.
   */
  class PSPlanDatabaseClientImpl : public PSPlanDatabaseClient {
  public:
    PSPlanDatabaseClientImpl(const DbClientId& c);
    virtual ~PSPlanDatabaseClientImpl() noexcept(false);

    const DbClientId& getClient() const { return m_client; }

    PSVariable* createVariable(const std::string& typeName, const std::string& name, bool isTmpVar) override;
    void deleteVariable(PSVariable* var) override;
    PSObject* createObject(const std::string& type, const std::string& name) override;
    void deleteObject(PSObject* obj) override;
    PSToken* createToken(const std::string& predicateName, bool rejectable, bool isFact) override;
    /** Listeners are told of the deletion with an empty name. */
    void deleteToken(PSToken* token) override;
    void constrain(PSObject* object, PSToken* predecessor, PSToken* successor) override;
    void free(PSObject* object, PSToken* predecessor, PSToken* successor) override;
    void activate(PSToken* token) override;
    void merge(PSToken* token, PSToken* activeToken) override;
    void reject(PSToken* token) override;
    void cancel(PSToken* token) override;
    PSConstraint* createConstraint(const std::string& name, PSList<PSVariable*>& scope) override;
    void deleteConstraint(PSConstraint* c) override;
    void specify(PSVariable* variable, double value) override;
    void reset(PSVariable* variable) override;
    void close(PSVariable* variable) override;
    void close(const std::string& objectType) override;
    void close() override;

  private:
    PSPlanDatabaseClientImpl(const PSPlanDatabaseClientImpl&) = delete;
    PSPlanDatabaseClientImpl& operator=(const PSPlanDatabaseClientImpl&) = delete;

    static ConstrainedVariableId toId(PSVariable* var);
    static ConstraintId toId(PSConstraint* constraint);
    static ObjectId toId(PSObject* obj);
    static TokenId toId(PSToken* token);

    DbClientId m_client;
  };

}

#endif
