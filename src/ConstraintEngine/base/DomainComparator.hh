#ifndef KADRIX_DOMAIN_COMPARATOR_HH
#define KADRIX_DOMAIN_COMPARATOR_HH

namespace KADRIX {

  class AbstractDomain;

  /**
 * Decides whether values of two domains may be compared (equated, intersected).
 *
 * There is one current comparator per process. Constructing a comparator makes
 * it the current one; destroying the current one restores the default rule.
 * AbstractDomain::canBeCompared asks the current comparator.
 */
  class DomainComparator {
  public:
    DomainComparator();
    virtual ~DomainComparator();

    /**
   * The default rule: true when both domains are numeric, or both are
   * symbolic and both or neither hold entities.
   */
    virtual bool canCompare(const AbstractDomain& domx, const AbstractDomain& domy) const;

    /** The current comparator, or null while the default rule applies. */
    static const DomainComparator* getComparator();

  private:
    friend class AbstractDomain;

    DomainComparator(const DomainComparator&) = delete;
    DomainComparator& operator=(const DomainComparator&) = delete;

    static bool defaultRule(const AbstractDomain& domx, const AbstractDomain& domy);
    static const DomainComparator*& current();
  };

} // namespace KADRIX

#endif
