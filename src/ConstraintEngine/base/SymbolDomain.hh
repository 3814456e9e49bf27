#ifndef KADRIX_SYMBOL_DOMAIN_HH
#define KADRIX_SYMBOL_DOMAIN_HH

#include "ConstraintEngine/base/LabelDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

namespace KADRIX {

  /** A symbolic enumerated domain of symbols; each value is the key of a label. */
  class SymbolDomain : public LabelDomain {
  public:
    /** Empty and open. */
    SymbolDomain() : LabelDomain(getDefaultTypeName()) {}
    /** Empty and open. */
    explicit SymbolDomain(const LabelStr& typeName) : LabelDomain(typeName) {}
    /** The one value (a label key), closed. */
    SymbolDomain(double value, const LabelStr& typeName) : LabelDomain(value, typeName) {}
    /** The given values (label keys), closed. */
    SymbolDomain(const std::list<double>& values, const LabelStr& typeName = getDefaultTypeName())
      : LabelDomain(values, typeName) {}
    SymbolDomain(const SymbolDomain& org) = default;

    /** "SYMBOL". */
    static const LabelStr& getDefaultTypeName();

    SymbolDomain* copy() const override { return new SymbolDomain(*this); }
  };

  template <> struct IsPlainDomain<SymbolDomain> : std::true_type {};

} // namespace KADRIX

#endif
