#include "PlanDatabase/base/CommonAncestorConstraint.hh"

#include "PlanDatabase/base/Object.hh"
#include "Utils/base/Debug.hh"

#include <list>

namespace KADRIX {

  namespace {

    /** The object itself and all its ancestors, as a domain typed by its root type. */
    ObjectDomain selfAndAncestors(const ObjectId& object) {
      std::list<ObjectId> objects;
      object->getAncestors(objects);
      objects.push_back(object);
      return ObjectDomain(objects, object->getRootType().c_str());
    }

  }

  CommonAncestorConstraint::CommonAncestorConstraint(const LabelStr& name, const LabelStr& propagatorName,
                                                     const ConstraintEngineId& constraintEngine,
                                                     const std::vector<ConstrainedVariableId>& variables)
    : AncestorConstraint(name, propagatorName, constraintEngine, variables, 3), m_first(objectsAt(0)),
      m_second(objectsAt(1)), m_restrictions(objectsAt(2)) {}

  bool CommonAncestorConstraint::waiting() const { return !m_first.isSingleton() && !m_second.isSingleton(); }

  void CommonAncestorConstraint::handleExecute() {
    // An emptied domain is the engine's to report; there is nothing to narrow.
    if (m_first.isEmpty() || m_second.isEmpty() || m_restrictions.isEmpty())
      return;
    if (waiting())
      return;
    if (m_first.isSingleton())
      apply(m_first, m_second);
    else
      apply(m_second, m_first);
  }

  void CommonAncestorConstraint::apply(ObjectDomain& singleton, ObjectDomain& other) {
    KADRIX_CHECK(singleton.isSingleton());
    ObjectId object(singleton.getSingletonValue());
    ObjectDomain allowed = selfAndAncestors(object);
    allowed.intersect(m_restrictions);
    if (allowed.isEmpty()) {
      other.empty();
      return;
    }
    std::list<double> values;
    other.getValues(values);
    for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it) {
      ObjectId candidate(*it);
      KADRIX_CHECK(candidate.isValid());
      ObjectDomain shared = selfAndAncestors(candidate);
      shared.intersect(allowed);
      if (shared.isEmpty()) {
        other.remove(*it);
        if (other.isEmpty())
          return;
      }
    }
  }

}
