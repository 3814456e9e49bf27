#include "ConstraintEngine/base/ConstraintFactory.hh"

namespace KADRIX {

  ConstraintFactory::ConstraintFactory(const LabelStr& name, const LabelStr& propagatorName,
                                       bool systemDefined)
    : m_id(this), m_name(name), m_propagatorName(propagatorName), m_systemDefined(systemDefined) {}

  ConstraintFactory::~ConstraintFactory() noexcept(false) {
    if (m_id.isValid())
      m_id.remove();
  }

  Id<Constraint> ConstraintFactory::createConstraint(Id<ConstraintEngine>,
                                                     const std::vector<Id<ConstrainedVariable> >&) {
    KADRIX_FAIL("");
    return Id<Constraint>::noId();
  }

} // namespace KADRIX
