#ifndef KADRIX_SCOPE_TEXT_HH
#define KADRIX_SCOPE_TEXT_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"

#include <memory>
#include <string>
#include <vector>

class TiXmlElement;

namespace KADRIX {

  class DbClientTransactionPlayer;

  /**
   * A constraint's scope as the children of an "invoke" or "deleteconstraint"
   * element give it: at each place a variable ("variable" or "id", resolved
   * when read), an object a "new" makes (by its type: reading makes nothing),
   * or a value (any other child, read as a domain). For a value or a "new"
   * the player makes an internal variable of its own.
   *
   * Reading never fails a check: a child that does not resolve or read makes
   * the text unreadable, and an unreadable text describes nothing.
   *
   * Invariants: m_variables, m_values and m_madeTypes have one entry per
   * child read (reading stops after the first unreadable one); while the text
   * is readable, exactly one of the three is set at each place.
   */
  class ScopeText {
  public:
    ScopeText(DbClientTransactionPlayer& player, const TiXmlElement& element);

    /** Whether a child of a scope names a variable ("variable", "id"); the others stand for values. */
    static bool namesVariable(const TiXmlElement& child);

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
    /** The internal variable was made for what stands at the place: an equal value, or an object of the type. */
    bool madeForValue(const ConstrainedVariableId& var, std::size_t place) const;

    std::vector<ConstrainedVariableId> m_variables; // no handle where a value stands
    std::vector<std::unique_ptr<const AbstractDomain> > m_values; // null where no value stands
    std::vector<std::string> m_madeTypes; // the type of a "new"; empty where none stands
    bool m_readable = true;
  };

}

#endif
