#include "PlanDatabase/transactions/ScopeText.hh"

#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"
#include "Utils/base/Error.hh"

#include <tinyxml.h>

#include <cstring>
#include <utility>

namespace KADRIX {

  ScopeText::ScopeText(DbClientTransactionPlayer& player, const TiXmlElement& element) {
    for (const TiXmlElement* child = element.FirstChildElement(); child != NULL && m_readable;
         child = child->NextSiblingElement()) {
      const bool named = namesVariable(*child);
      const bool made = std::strcmp(child->Value(), "new") == 0;
      const char* madeType = made ? child->Attribute("type") : "";
      m_madeTypes.emplace_back(madeType != NULL ? madeType : "");
      ConstrainedVariableId var;
      std::unique_ptr<const AbstractDomain> value;
      try {
        if (named)
          var = player.xmlAsVariable(*child);
        else if (!made)
          value.reset(player.xmlAsAbstractDomain(*child, NULL, NULL));
      } catch (const Error&) {
        m_readable = false;
      }
      m_readable = m_readable && (named ? var.isValid() : made ? !m_madeTypes.back().empty() : value != nullptr);
      m_variables.push_back(var);
      m_values.push_back(std::move(value));
    }
  }

  bool ScopeText::namesVariable(const TiXmlElement& child) {
    return std::strcmp(child.Value(), "variable") == 0 || std::strcmp(child.Value(), "id") == 0;
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
      if (m_variables[i].isValid() ? var != m_variables[i] : !madeForValue(var, i))
        return false;
    }
    return true;
  }

  bool ScopeText::madeForValue(const ConstrainedVariableId& var, std::size_t place) const {
    if (!var->isInternal() || !var->parent().isNoId())
      return false;
    const AbstractDomain& domain = var->baseDomain();
    return m_values[place] != nullptr ? domain == *m_values[place]
                                      : domain.isEntity() && domain.isSingleton() &&
                                            domain.getTypeName().toString() == m_madeTypes[place];
  }

  bool ScopeText::sameAs(const ScopeText& other) const {
    if (!m_readable || !other.m_readable || m_variables.size() != other.m_variables.size())
      return false;
    for (std::size_t i = 0; i < m_variables.size(); ++i) {
      const bool value = m_values[i] != nullptr;
      if (value != (other.m_values[i] != nullptr) || m_madeTypes[i] != other.m_madeTypes[i] ||
          (value ? *m_values[i] != *other.m_values[i] : m_variables[i] != other.m_variables[i]))
        return false;
    }
    return true;
  }

}
