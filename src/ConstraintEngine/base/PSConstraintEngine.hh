#ifndef KADRIX_PS_CONSTRAINT_ENGINE_HH
#define KADRIX_PS_CONSTRAINT_ENGINE_HH

// The public view of the constraint engine's variables and constraints.

#include "Utils/base/PSUtils.hh"
#include "ConstraintEngine/base/PSVarValue.hh"

#include <string>

namespace KADRIX {

  class PSConstraint;

  // A constrained variable as callers outside the library see it.
  class PSVariable : public virtual PSEntity {
  public:
    PSVariable() {}
    virtual ~PSVariable() {}

    virtual const std::string& getEntityType() const = 0;
    virtual std::string toString() const = 0;
    virtual std::string toLongString() const = 0;

    virtual PSVarType getType() const = 0;
    virtual bool isEnumerated() const = 0;
    virtual bool isInterval() const = 0;
    virtual bool isNull() const = 0;
    virtual bool isSingleton() const = 0;
    virtual PSVarValue getSingletonValue() const = 0;
    virtual PSList<PSVarValue> getValues() const = 0;
    virtual PSList<PSConstraint*> getConstraints() const = 0;
    virtual double getLowerBound() const = 0;
    virtual double getUpperBound() const = 0;
    virtual void specifyValue(PSVarValue& value) = 0;
    virtual void reset() = 0;
    virtual double getViolation() const = 0;
    virtual std::string getViolationExpl() const = 0;
    virtual PSEntity* getParent() const = 0;
  };

  // A constraint as callers outside the library see it.
  class PSConstraint : public virtual PSEntity {
  public:
    PSConstraint() {}
    virtual ~PSConstraint() {}

    virtual const std::string& getEntityType() const = 0;

    virtual bool isActive() const = 0;
    virtual void deactivate() = 0;
    virtual void undoDeactivation() = 0;
    virtual double getViolation() const = 0;
    virtual std::string getViolationExpl() const = 0;
    virtual PSList<PSVariable*> getVariables() const = 0;
  };

}

#endif
