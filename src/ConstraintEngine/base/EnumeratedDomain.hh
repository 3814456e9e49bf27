#ifndef KADRIX_ENUMERATED_DOMAIN_HH
#define KADRIX_ENUMERATED_DOMAIN_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/DomainPool.hh"

#include <vector>

namespace KADRIX {

  /**
 * A finite set of values, kept sorted. Numeric or symbolic (label keys,
 * entity handles); numeric values are clamped to the infinite bounds.
 *
 * Narrowing a closed domain reports, in this order of precedence: EMPTIED
 * (nothing left), RESTRICT_TO_SINGLETON (one value left), VALUE_REMOVED (a
 * value between the remaining least and greatest was lost),
 * BOUNDS_RESTRICTED (lost at both ends), LOWER_BOUND_INCREASED or
 * UPPER_BOUND_DECREASED. Narrowing an open domain reports VALUE_REMOVED.
 */
  class EnumeratedDomain : public AbstractDomain {
  public:
    /** Empty and open. */
    EnumeratedDomain(bool isNumeric, const LabelStr& typeName);
    /** The one value, closed. */
    EnumeratedDomain(double value, bool isNumeric, const LabelStr& typeName);
    /** The given values (duplicates kept once), closed. */
    EnumeratedDomain(const std::list<double>& values, bool isNumeric, const LabelStr& typeName);
    EnumeratedDomain(const EnumeratedDomain& org);
    /** Conversion of an enumerated domain of any class; any other domain fails "org.isEnumerated()". */
    explicit EnumeratedDomain(const AbstractDomain& org);

    ~EnumeratedDomain() override;

    EnumeratedDomain* copy() const override;

    bool isEmpty() const override { return m_values.empty(); }
    void empty() override;
    bool isSingleton() const override { return m_values.size() == 1; }
    double getSingletonValue() const override;
    unsigned int getSize() const override { return static_cast<unsigned int>(m_values.size()); }
    void getValues(std::list<double>& results) const override;
    double getLowerBound() const override;
    double getUpperBound() const override;
    bool isMember(double value) const override;

    void insert(double value) override;
    void remove(double value) override;
    void set(double value) override;
    bool intersect(const AbstractDomain& dom) override;
    bool intersect(double lb, double ub) override;
    bool relax(const AbstractDomain& dom) override;
    bool intersects(const AbstractDomain& dom) const override;
    bool isSubsetOf(const AbstractDomain& dom) const override;

    bool isBool() const override { return false; }
    bool isEnumerated() const override { return true; }
    bool isInterval() const override { return false; }

    void testPrecision(double) const {}

    /** Appends "{v1, v2}" to the generic prefix, each value through toString(double). */
    void operator>>(std::ostream& os) const override;

  protected:
    friend class DomainPoolAccess;

    /** The sorted values of an enumerated domain (buffer holds them when dom is not an EnumeratedDomain). */
    static const std::vector<double>& valuesOf(const AbstractDomain& dom, std::vector<double>& buffer);
    /** Index of the member equal to value, or m_values.size(). */
    std::size_t find(double value) const;
    /** Replaces the values (a sorted subset of the current ones) and reports the narrowing. */
    void narrowTo(std::vector<double>& kept);
    /** The value as stored: numeric values are clamped. */
    double normalize(double value) const;

    std::vector<double> m_values;
  };

  template <> struct IsPlainDomain<EnumeratedDomain> : std::true_type {};

} // namespace KADRIX

#endif
