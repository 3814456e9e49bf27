#ifndef KADRIX_CONSTRAINTENGINE_CONSTRAINTFACTORY_HH
#define KADRIX_CONSTRAINTENGINE_CONSTRAINTFACTORY_HH

#include "Utils/base/Debug.hh"
#include "Utils/base/Id.hh"
#include "Utils/base/LabelStr.hh"

#include <vector>

namespace KADRIX {

  class Constraint;
  class ConstrainedVariable;
  class ConstraintEngine;
  class ConstraintFactory;
  typedef Id<ConstraintFactory> ConstraintFactoryId;

  /**
 * Makes constraints of one class under one name for the constraint engine,
 * which looks factories up by that name.
 */
  class ConstraintFactory {
  public:
    /** Ends the factory's registration, so the address can be used again. */
    virtual ~ConstraintFactory() noexcept(false);

    /**
   * Makes a constraint named getName() over the scope. A factory that does not
   * override this makes nothing: the call fails and gives the empty handle.
   */
    virtual Id<Constraint> createConstraint(Id<ConstraintEngine> constraintEngine,
                                            const std::vector<Id<ConstrainedVariable> >& scope);

    const LabelStr& getName() const { return m_name; }
    bool isSystemDefined() const { return m_systemDefined; }
    const Id<ConstraintFactory>& getId() const { return m_id; }

  protected:
    ConstraintFactory(const LabelStr& name, const LabelStr& propagatorName, bool systemDefined);

    Id<ConstraintFactory> m_id;
    const LabelStr m_name;
    const LabelStr m_propagatorName;
    const bool m_systemDefined;

  private:
    ConstraintFactory(const ConstraintFactory&) = delete;
    ConstraintFactory& operator=(const ConstraintFactory&) = delete;
  };

  /**
 * The factory of one constraint class. ConstraintType is constructed with
 * (name, propagator name, engine, scope) and offers getId().
 */
  template <class ConstraintType> class ConcreteConstraintFactory : public ConstraintFactory {
  public:
    ConcreteConstraintFactory(const LabelStr& name, const LabelStr& propagatorName, bool systemDefined)
      : ConstraintFactory(name, propagatorName, systemDefined) {}

    Id<Constraint> createConstraint(Id<ConstraintEngine> constraintEngine,
                                    const std::vector<Id<ConstrainedVariable> >& scope) override {
      KADRIX_CHECK(constraintEngine.isValid());
      if (!constraintEngine.isValid())
        return Id<Constraint>::noId();
      KADRIX_CHECK(scope.size() >= 1);
      if (scope.empty())
        return Id<Constraint>::noId();
      ConstraintType* constraint = new ConstraintType(m_name, m_propagatorName, constraintEngine, scope);
      KADRIX_CHECK(constraint != 0);
      KADRIX_CHECK(constraint->getId().isValid());
      return constraint->getId();
    }
  };

} // namespace KADRIX

#endif
