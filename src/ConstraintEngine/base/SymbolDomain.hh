#ifndef KADRIX_SYMBOL_DOMAIN_HH
#define KADRIX_SYMBOL_DOMAIN_HH

#include "ConstraintEngine/base/EnumeratedDomain.hh"

namespace KADRIX {

/** A symbolic enumerated domain of symbols; each value is the key of a label. */
class SymbolDomain : public EnumeratedDomain {
public:
  /** Empty and open. */
  SymbolDomain();
  /** Empty and open. */
  explicit SymbolDomain(const LabelStr& typeName);
  /** The given values (label keys), closed. */
  SymbolDomain(const std::list<double>& values, const LabelStr& typeName = getDefaultTypeName());
  SymbolDomain(const SymbolDomain& org);

  ~SymbolDomain() override;

  /** "SYMBOL". */
  static const LabelStr& getDefaultTypeName();

  SymbolDomain* copy() const override;

  /** Fails for a value that is not a label key. */
  void insert(double value) override;
};

} // namespace KADRIX

#endif
