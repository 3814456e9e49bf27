#include "PlanDatabase/transactions/ScopeText.hh"

#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "Utils/base/Error.hh"

#include <tinyxml.h>

#include <cstring>

namespace KADRIX {

  ScopeText::ScopeText(DbClientTransactionPlayer& player, const TiXmlElement& element) {
    for (const TiXmlElement* child = element.FirstChildElement(); child != NULL && m_readable;
         child = child->NextSiblingElement()) {
      const bool named = std::strcmp(child->Value(), "variable") == 0 || std::strcmp(child->Value(), "id") == 0;
      try {
        m_variables.push_back(named ? player.xmlAsVariable(*child) : ConstrainedVariableId::noId());
        m_values.emplace_back(named ? nullptr : player.xmlAsAbstractDomain(*child, NULL, NULL));
      } catch (const Error&) {
        m_readable = false;
      }
      m_readable = m_readable && (named ? m_variables.back().isValid() : m_values.back() != nullptr);
    }
  }

  ConstrainedVariableId ScopeText::anyVariable() const {
    for (const ConstrainedVariableId& var : m_variables)
      if (var.isValid())
        return var;
    return ConstrainedVariableId::noId();
  }

  bool ScopeText::describes(const ConstraintId& constraint) const {
    if (!m_readable || !constraint.isValid() || constraint->getScope().size() != m_variables.size())
      return false;
    for (std::size_t i = 0; i < m_variables.size(); ++i) {
      const ConstrainedVariableId& var = constraint->getScope()[i];
      if (m_values[i] == nullptr ? var != m_variables[i]
                                 : !var->isInternal() || !var->parent().isNoId() || var->baseDomain() != *m_values[i])
        return false;
    }
    return true;
  }

  bool ScopeText::sameAs(const ScopeText& other) const {
    if (!m_readable || !other.m_readable || m_variables.size() != other.m_variables.size())
      return false;
    for (std::size_t i = 0; i < m_variables.size(); ++i) {
      const bool value = m_values[i] != nullptr;
      if (value != (other.m_values[i] != nullptr) ||
          (value ? *m_values[i] != *other.m_values[i] : m_variables[i] != other.m_variables[i]))
        return false;
    }
    return true;
  }

}
