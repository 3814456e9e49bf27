#ifndef KADRIX_DOMAIN_LISTENER_HH
#define KADRIX_DOMAIN_LISTENER_HH

#include "Utils/base/Id.hh"

namespace KADRIX {

  class AbstractDomain;
  class DomainListener;
  typedef Id<DomainListener> DomainListenerId;

  /**
 * The observer of one domain. A domain with a listener tells it of every
 * change, after the change is made, with the kind of change.
 */
  class DomainListener {
  public:
    /**
   * Kinds of domain change. The numbers are fixed: callers store and compare
   * them. Narrowings are 0 to 5, widenings 6 and 7.
   */
    enum ChangeType {
      UPPER_BOUND_DECREASED = 0, // lost values only at the top
      LOWER_BOUND_INCREASED = 1, // lost values only at the bottom
      BOUNDS_RESTRICTED = 2, // lost values at both ends, none inside
      VALUE_REMOVED = 3, // lost values inside, or any values while open
      RESTRICT_TO_SINGLETON = 4, // narrowed to exactly one value (closed domain)
      SET_TO_SINGLETON = 5, // made {v} by set(v)
      RESET = 6, // reset by its variable (reported by the engine)
      RELAXED = 7, // widened: relax, insert
      CLOSED = 8, // closed
      OPENED = 9, // opened
      EMPTIED = 10, // became empty while closed, or closed while empty
      LAST_CHANGE_TYPE = 11
    };

    DomainListener();
    virtual ~DomainListener() noexcept(false);

    /** The listener's handle; a listener made unregistered registers on the first call. */
    const DomainListenerId& getId() const;

    virtual void notifyChange(const ChangeType& changeType) = 0;

    /** The name of a change type, such as "RELAXED"; "UNKNOWN" for other numbers. */
    static const char* getName(const ChangeType& changeType);

  protected:
    /** Passed to make a listener whose handle is registered only when asked for. */
    struct Unregistered {};
    explicit DomainListener(Unregistered);
    /** Listen to a domain, as its setListener() with this listener's handle does, without registering it. */
    void listenTo(AbstractDomain& domain);

  private:
    friend class AbstractDomain;

    void registerId() const;

    // The domains that report to this listener, chained through the domains.
    // The destructor detaches them, so a domain may call its listener through a
    // plain pointer and still recognise a listener that is gone.
    AbstractDomain* m_domains;
    // Most listeners (those of variables) never hand out a handle: handles live
    // in a table aside, keyed by the listener, and this flag says there is one.
    mutable bool m_registered;

    DomainListener(const DomainListener&) = delete;
    DomainListener& operator=(const DomainListener&) = delete;
  };

} // namespace KADRIX

#endif
