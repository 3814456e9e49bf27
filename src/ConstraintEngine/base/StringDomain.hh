#ifndef KADRIX_STRING_DOMAIN_HH
#define KADRIX_STRING_DOMAIN_HH

#include "ConstraintEngine/base/LabelDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

namespace KADRIX {

  /** A symbolic enumerated domain of strings; each value is the key of a label. */
  class StringDomain : public LabelDomain {
  public:
    /** Empty and open. */
    StringDomain() : LabelDomain(getDefaultTypeName()) {}
    /** Empty and open. */
    explicit StringDomain(const LabelStr& typeName) : LabelDomain(typeName) {}
    /** The one value (a label key), closed. */
    StringDomain(double value, const LabelStr& typeName) : LabelDomain(value, typeName) {}
    /** The given values (label keys), closed. */
    StringDomain(const std::list<double>& values, const LabelStr& typeName = getDefaultTypeName())
      : LabelDomain(values, typeName) {}
    StringDomain(const StringDomain& org) = default;

    /** "STRING". */
    static const LabelStr& getDefaultTypeName();

    StringDomain* copy() const override { return new StringDomain(*this); }
  };

  template <> struct IsPlainDomain<StringDomain> : std::true_type {};

} // namespace KADRIX

#endif
