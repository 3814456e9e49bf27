#ifndef KADRIX_BOOL_DOMAIN_HH
#define KADRIX_BOOL_DOMAIN_HH

#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

namespace KADRIX {

  /** The integer interval [0, 1], false and true. Its values print as "false" and "true". */
  class BoolDomain : public IntervalIntDomain {
  public:
    /** {false, true}. */
    BoolDomain();
    /** {false, true}. */
    explicit BoolDomain(const LabelStr& typeName);
    /** {value}. */
    BoolDomain(bool value, const LabelStr& typeName);
    BoolDomain(const BoolDomain& org);

    ~BoolDomain() override;

    /** "BOOL". */
    static const LabelStr& getDefaultTypeName();

    BoolDomain* copy() const override;

    bool isBool() const override { return true; }

    /** Fails when dom reaches outside [0, 1]. */
    bool relax(const AbstractDomain& dom) override;

    using IntervalIntDomain::toString;
    /** "false" for 0, "true" for 1, a number otherwise. */
    std::string toString(double value) const override;
  };

  template <> struct IsPlainDomain<BoolDomain> : std::true_type {};

} // namespace KADRIX

#endif
