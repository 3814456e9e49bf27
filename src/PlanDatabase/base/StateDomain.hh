#ifndef KADRIX_STATE_DOMAIN_HH
#define KADRIX_STATE_DOMAIN_HH

#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

#include <ostream>

namespace KADRIX {

  /**
   * The symbolic enumerated domain of a token's state variable. Its values are
   * the keys of the state labels ("ACTIVE", "MERGED", "REJECTED"); its type
   * name is always "TokenStates".
   */
  class StateDomain : public EnumeratedDomain {
  public:
    /** Empty and open. The name is not used: the type name is "TokenStates". */
    explicit StateDomain(const char* name = "States");
    /** A copy of an enumerated domain whose type name is "TokenStates". */
    explicit StateDomain(const AbstractDomain& org);
    StateDomain(const StateDomain& org);
    ~StateDomain() override;

    /** A new StateDomain with the same values, owned by the caller. */
    StateDomain* copy() const override;

    /** The generic prefix, then "{" + the labels sorted by text, joined by "," + "}". */
    void operator>>(std::ostream& os) const override;

    /** "TokenStates". */
    static const LabelStr& getDefaultTypeName();

  private:
    StateDomain& operator=(const StateDomain&) = delete;
  };

  template <> struct IsPlainDomain<StateDomain> : std::true_type {};

}

#endif
