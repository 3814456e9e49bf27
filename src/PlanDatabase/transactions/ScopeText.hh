#ifndef KADRIX_SCOPE_TEXT_HH
#define KADRIX_SCOPE_TEXT_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"

#include <memory>
#include <vector>

class TiXmlElement;

namespace KADRIX {

  class DbClientTransactionPlayer;

  /**
   * A constraint's scope as the children of an "invoke" or "deleteconstraint"
   * element give it: at each place a variable ("variable" or "id", resolved
   * when read) or a value (any other child, read as a domain), for which the
   * player makes an internal variable of its own.
   *
   * Reading never fails a check: a child that does not resolve or read makes
   * the text unreadable, and an unreadable text describes nothing.
   *
   * Invariants: while the text is readable, m_variables and m_values have
   * one entry per child, and exactly one of the two is set at each place.
   */
  class ScopeText {
  public:
    ScopeText(DbClientTransactionPlayer& player, const TiXmlElement& element);

    bool readable() const { return m_readable; }

    /** The variable at each place; no handle where a value stands. */
    const std::vector<ConstrainedVariableId>& variables() const { return m_variables; }

    /** A variable the text names, or no handle when it names none. */
    ConstrainedVariableId anyVariable() const;

    /** The text gives the constraint's scope, place by place (its name is not compared). */
    bool describes(const ConstraintId& constraint) const;

    /** Both give the same variables and equal values at the same places. */
    bool sameAs(const ScopeText& other) const;

  private:
    std::vector<ConstrainedVariableId> m_variables; // no handle where a value stands
    std::vector<std::unique_ptr<const AbstractDomain> > m_values; // null where a variable stands
    bool m_readable = true;
  };

}

#endif
