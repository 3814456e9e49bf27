#ifndef KADRIX_LABEL_DOMAIN_HH
#define KADRIX_LABEL_DOMAIN_HH

#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

namespace KADRIX {

  /**
 * A symbolic enumerated domain whose every value is the key of a label: the
 * common part of strings and symbols. Each value that enters is checked.
 */
  class LabelDomain : public EnumeratedDomain {
  public:
    /** Fails for a value that is not a label key. */
    void insert(double value) override;

  protected:
    /** Empty and open. */
    explicit LabelDomain(const LabelStr& typeName);
    /** The one value (a label key), closed. */
    LabelDomain(double value, const LabelStr& typeName);
    /** The given values (label keys), closed. */
    LabelDomain(const std::list<double>& values, const LabelStr& typeName);
    LabelDomain(const LabelDomain& org) = default;

  private:
    LabelDomain& operator=(const LabelDomain&) = delete;

    void checkLabel(double value, const LabelStr& typeName) const;
  };

  template <> struct IsPlainDomain<LabelDomain> : std::true_type {};

} // namespace KADRIX

#endif
