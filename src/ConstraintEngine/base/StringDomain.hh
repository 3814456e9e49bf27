#ifndef KADRIX_STRING_DOMAIN_HH
#define KADRIX_STRING_DOMAIN_HH

#include "ConstraintEngine/base/EnumeratedDomain.hh"

namespace KADRIX {

/** A symbolic enumerated domain of strings; each value is the key of a label. */
class StringDomain : public EnumeratedDomain {
public:
  /** Empty and open. */
  StringDomain();
  /** Empty and open. */
  explicit StringDomain(const LabelStr& typeName);
  /** The one value (a label key), closed. */
  StringDomain(double value, const LabelStr& typeName);
  /** The given values (label keys), closed. */
  StringDomain(const std::list<double>& values, const LabelStr& typeName = getDefaultTypeName());
  StringDomain(const StringDomain& org);

  ~StringDomain() override;

  /** "STRING". */
  static const LabelStr& getDefaultTypeName();

  StringDomain* copy() const override;

  /** Fails for a value that is not a label key. */
  void insert(double value) override;
};

} // namespace KADRIX

#endif
