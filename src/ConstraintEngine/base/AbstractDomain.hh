#ifndef KADRIX_ABSTRACT_DOMAIN_HH
#define KADRIX_ABSTRACT_DOMAIN_HH

#include "ConstraintEngine/base/DomainListener.hh"
#include "Utils/base/LabelStr.hh"
#include "Utils/base/Utils.hh"

#include <iosfwd>
#include <list>
#include <string>
#include <vector>

namespace KADRIX {

  /*
 * Infinity. Every numeric domain's infinite bounds are exactly
 * +g_infiniteTime() and -g_infiniteTime(); anything at or beyond them is
 * clamped to them. Bound arithmetic saturates: an infinite operand gives an
 * infinite result, and opposite infinities give the one that does not narrow
 * (minus infinity for a lower bound, plus infinity for an upper bound).
 */

  /** The infinite bound, +g_infiniteTime(). */
  constexpr double plusInfinity() { return static_cast<double>(g_infiniteTime()); }
  /** The infinite lower bound, -g_infiniteTime(). */
  constexpr double minusInfinity() { return -static_cast<double>(g_infiniteTime()); }

  /** True when the value lies at or beyond either infinite bound. */
  inline bool isInfinite(double value) { return value >= plusInfinity() || value <= minusInfinity(); }

  /** The value, clamped into [minusInfinity(), plusInfinity()]. NaN stays NaN. */
  inline double clampToInfinity(double value) {
    if (value >= plusInfinity())
      return plusInfinity();
    if (value <= minusInfinity())
      return minusInfinity();
    return value;
  }

  /** a + b, both lower bounds (or a lower bound and an offset): saturating. */
  inline double lowerBoundSum(double a, double b) {
    if (a <= minusInfinity() || b <= minusInfinity())
      return minusInfinity();
    if (a >= plusInfinity() || b >= plusInfinity())
      return plusInfinity();
    return clampToInfinity(a + b);
  }

  /** a + b, both upper bounds (or an upper bound and an offset): saturating. */
  inline double upperBoundSum(double a, double b) {
    if (a >= plusInfinity() || b >= plusInfinity())
      return plusInfinity();
    if (a <= minusInfinity() || b <= minusInfinity())
      return minusInfinity();
    return clampToInfinity(a + b);
  }

  /** a - b as a lower bound (typically x.lb - y.ub): saturating. */
  inline double lowerBoundDifference(double a, double b) { return lowerBoundSum(a, -b); }

  /** a - b as an upper bound (typically x.ub - y.lb): saturating. */
  inline double upperBoundDifference(double a, double b) { return upperBoundSum(a, -b); }

  /**
 * A set of values, each a double: a number, the key of a label, or the
 * numeric form of an entity handle.
 *
 * Enumerated domains hold a finite set and may be open (more values may be
 * inserted) or closed. Interval domains hold every value between two bounds
 * and are always closed.
 *
 * A domain tells its listener, if it has one, of every change it makes (see
 * DomainListener::ChangeType), after the change. Narrowing a closed domain to
 * nothing reports EMPTIED; an open domain that loses values reports
 * VALUE_REMOVED, even when it becomes empty, since it may still grow.
 *
 * Operations that narrow or widen return true when the domain changed.
 */
  class AbstractDomain {
  public:
    /** Minimum difference of real values; below it two reals are equal. */
    static constexpr double EPSILON = 0.00001;

    virtual ~AbstractDomain();

    /**
   * A new domain of the same dynamic class holding the same values, open or
   * closed state, type name and minimum difference, but no listener. The
   * caller owns it.
   */
    virtual AbstractDomain* copy() const = 0;

    const LabelStr& getTypeName() const { return m_typeName; }

    bool isOpen() const { return !m_closed; }
    bool isClosed() const { return m_closed; }
    /** Closes an open domain (reports CLOSED, or EMPTIED when it is empty). */
    virtual void close();
    /** Opens a closed enumerated domain (reports OPENED). Intervals cannot be opened. */
    virtual void open();

    virtual bool isEmpty() const = 0;
    /** Removes every value. */
    virtual void empty() = 0;
    virtual bool isSingleton() const = 0;
    /** The one value; checks "isSingleton()". */
    virtual double getSingletonValue() const = 0;
    /**
   * Enumerated: the number of values. Integer interval: ub - lb + 1. Real
   * interval: 0 when empty, 1 when a singleton, otherwise UINT_MAX.
   */
    virtual unsigned int getSize() const = 0;
    /** Replaces results with the values in ascending order (enumerated domains; intervals only when singleton or empty). */
    virtual void getValues(std::list<double>& results) const = 0;
    /** Least value. An empty interval gives +inf; an empty enumerated domain fails "!isEmpty()". */
    virtual double getLowerBound() const = 0;
    /** Greatest value. An empty interval gives -inf; an empty enumerated domain fails "!isEmpty()". */
    virtual double getUpperBound() const = 0;
    /** Membership, with the tolerance of compareEqual. */
    virtual bool isMember(double value) const = 0;

    /** Adds a value to an open enumerated domain (reports RELAXED); a member is ignored. */
    virtual void insert(double value) = 0;
    /**
   * Adds each of the values as insert() would. Domains that can merge them in
   * one pass (domains of objects) report RELAXED once, when any was new.
   */
    virtual void insertAll(const std::vector<double>& values);
    /** Removes a value; a value that is not a member is ignored. */
    virtual void remove(double value) = 0;
    /**
   * Makes the domain {value}, reporting SET_TO_SINGLETON even when it already
   * was {value}. A value that is not a member empties the domain instead.
   */
    virtual void set(double value) = 0;
    /** Narrows to the values shared with dom. Never changes open or closed. */
    virtual bool intersect(const AbstractDomain& dom) = 0;
    /** Narrows to the values in [lb, ub]. */
    virtual bool intersect(double lb, double ub) = 0;
    /**
   * Makes the domain hold the values of dom (meant for a wider dom), keeping
   * its own open or closed state. Reports RELAXED.
   */
    virtual bool relax(const AbstractDomain& dom) = 0;
    /** True when the two domains share a value. */
    virtual bool intersects(const AbstractDomain& dom) const = 0;
    /** True when every value of this domain is a member of dom. */
    virtual bool isSubsetOf(const AbstractDomain& dom) const = 0;

    /** Same values (and, for enumerated domains, same open or closed state). */
    bool operator==(const AbstractDomain& dom) const;
    bool operator!=(const AbstractDomain& dom) const { return !operator==(dom); }

    /** The minimum difference between two distinct values. */
    double minDelta() const { return m_minDelta; }
    /** True when a and b are closer than minDelta(). */
    bool compareEqual(double a, double b) const {
      double dist = (a < b ? b - a : a - b);
      return dist < m_minDelta;
    }

    bool isNumeric() const { return m_numeric; }
    bool isSymbolic() const { return !isNumeric(); }
    virtual bool isEntity() const { return false; }
    virtual bool isBool() const = 0;
    virtual bool isEnumerated() const = 0;
    virtual bool isInterval() const = 0;

    /**
   * Reads text as a value of this domain: a number for numeric domains, a
   * label for symbolic ones. Returns false, leaving dblValue unchanged, when
   * the text does not parse or the value is not a member.
   */
    virtual bool convertToMemberValue(const std::string& strValue, double& dblValue) const;

    /** The same text as the printer: type name, state and values. */
    virtual std::string toString() const;
    /** The text of one value: a number ("+inf", "-inf" at infinity) or a label's text. */
    virtual std::string toString(double value) const;
    /** Writes the generic prefix "<type name>:OPEN" or "<type name>:CLOSED"; subclasses append their values. */
    virtual void operator>>(std::ostream& os) const;

    /** The listener to tell of changes; noId() for none. */
    void setListener(const DomainListenerId& listener);
    /** The listener while it exists; noId() for none, and once it is gone. */
    const DomainListenerId& getListener() const;

    /** Asks the current DomainComparator whether the two domains may be compared. */
    static bool canBeCompared(const AbstractDomain& domx, const AbstractDomain& domy);

  protected:
    AbstractDomain(bool closed, bool numeric, double minDelta, const LabelStr& typeName);
    /** Copies everything but the listener. */
    AbstractDomain(const AbstractDomain& org);

    /** Tells the listener, if any. */
    void notifyChange(DomainListener::ChangeType changeType) {
      if (m_listenerPtr != nullptr)
        m_listenerPtr->notifyChange(changeType);
      else if (m_lostListener)
        notifyLostListener(changeType);
    }

    /** Text of a number: integral values without a fraction, infinities as "+inf"/"-inf". */
    static std::string numberText(double value);

    // The flags come last, so that a subclass's first small members fill the space behind them.
    double m_minDelta;
    LabelStr m_typeName;

  private:
    friend class DomainListener;

    /** Joins the chain of the listener's domains. */
    void attachListener(DomainListener* listener);
    /** The listener is set but not attached: it is gone. */
    void notifyLostListener(DomainListener::ChangeType changeType);
    /** Leaves the chain of the listener's domains. */
    void detachListener();

    DomainListener* m_listenerPtr; // the listener while it exists (attached)
    AbstractDomain* m_nextListened; // next domain of the same listener
    bool m_lostListener; // a listener was set and is gone (or was set gone)

  protected:
    bool m_closed;
    bool m_numeric;

    AbstractDomain& operator=(const AbstractDomain&) = delete;
  };

  /** Writes the domain through its virtual printer. */
  std::ostream& operator<<(std::ostream& os, const AbstractDomain& dom);

} // namespace KADRIX

#endif
