#include "PlanDatabase/base/HasAncestorConstraint.hh"

#include "PlanDatabase/base/Object.hh"
#include "Utils/base/Debug.hh"

#include <list>
#include <set>

namespace KADRIX {

  HasAncestorConstraint::HasAncestorConstraint(const LabelStr& name, const LabelStr& propagatorName,
                                               const ConstraintEngineId& constraintEngine,
                                               const std::vector<ConstrainedVariableId>& variables)
    : AncestorConstraint(name, propagatorName, constraintEngine, variables, 2), m_first(objectsAt(0)),
      m_restrictions(objectsAt(1)) {}

  bool HasAncestorConstraint::waiting() const { return m_first.isOpen() || m_restrictions.isOpen(); }

  void HasAncestorConstraint::handleExecute() {
    if (!waiting())
      apply();
  }

  void HasAncestorConstraint::apply() {
    // An emptied domain is the engine's to report; there is nothing to narrow.
    if (m_first.isEmpty() || m_restrictions.isEmpty())
      return;

    std::list<double> values;
    m_first.getValues(values);

    // Every proper ancestor of any candidate, held once each.
    std::set<ObjectId> combined;
    for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it) {
      std::list<ObjectId> ancestors;
      ObjectId(*it)->getAncestors(ancestors);
      combined.insert(ancestors.begin(), ancestors.end());
    }

    // The ancestors that the restrictions allow; none when no candidate has an ancestor.
    std::set<double> allowed;
    if (!combined.empty()) {
      std::list<ObjectId> ancestors(combined.begin(), combined.end());
      ObjectDomain all(ancestors, (*combined.begin())->getRootType().c_str());
      all.intersect(m_restrictions);
      std::list<double> allowedValues;
      all.getValues(allowedValues);
      allowed.insert(allowedValues.begin(), allowedValues.end());
    }

    for (std::list<double>::const_iterator it = values.begin(); it != values.end(); ++it) {
      std::list<ObjectId> ancestors;
      ObjectId(*it)->getAncestors(ancestors);
      bool found = false;
      for (std::list<ObjectId>::const_iterator a = ancestors.begin(); a != ancestors.end() && !found; ++a)
        found = allowed.count(static_cast<double>(*a)) != 0;
      if (!found) {
        m_first.remove(*it);
        if (m_first.isEmpty())
          return;
      }
    }
  }

}
