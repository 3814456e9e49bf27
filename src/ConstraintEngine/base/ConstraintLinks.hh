#ifndef KADRIX_CONSTRAINT_LINKS_HH
#define KADRIX_CONSTRAINT_LINKS_HH

#include <cstddef>

namespace KADRIX {

  class Constraint;
  class ConstraintEngine;

  /**
   * The constraints attached to one variable: one entry for each scope
   * position at which the variable occurs, holding the constraint and that
   * position. Every variable has one; only the engine changes it (linking and
   * unlinking a constraint), everyone else reads it.
   *
   * Invariant: the entries are dense and in no particular order. attach()
   * appends an entry and returns its position; detach(position) moves the
   * last entry into the hole and returns it, so that the engine can tell that
   * entry's constraint its new position (see LinkPositions). The first entry
   * lives in the list itself, as many variables have one constraint; beyond
   * it the entries are on the heap, whose storage doubles as it grows and goes
   * with the list.
   */
  class ConstraintLinks {
  public:
    struct Link {
      Constraint* constraint;
      unsigned int argIndex;
    };

    ConstraintLinks() : m_one{nullptr, 0}, m_size(0), m_capacity(1) {}
    ~ConstraintLinks() {
      if (m_capacity > 1)
        delete[] m_data;
    }

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Link& operator[](size_t position) const { return data()[position]; }
    const Link* begin() const { return data(); }
    const Link* end() const { return data() + m_size; }

  private:
    friend class ConstraintEngine;

    ConstraintLinks(const ConstraintLinks&) = delete;
    ConstraintLinks& operator=(const ConstraintLinks&) = delete;

    unsigned int attach(Constraint* constraint, unsigned int argIndex) {
      if (m_size == m_capacity)
        grow();
      data()[m_size] = Link{constraint, argIndex};
      return m_size++;
    }

    /** Removes the entry at position; the entry moved there, or one without a constraint when none moved. */
    Link detach(unsigned int position) {
      Link* links = data();
      const Link last = links[--m_size];
      if (position == m_size)
        return Link{nullptr, 0};
      links[position] = last;
      return last;
    }

    Link* data() { return m_capacity > 1 ? m_data : &m_one; }
    const Link* data() const { return m_capacity > 1 ? m_data : &m_one; }

    void grow() {
      const unsigned int capacity = m_capacity == 1 ? 4 : 2 * m_capacity;
      Link* grown = new Link[capacity];
      const Link* old = data();
      for (unsigned int i = 0; i < m_size; ++i)
        grown[i] = old[i];
      if (m_capacity > 1)
        delete[] m_data;
      m_data = grown;
      m_capacity = capacity;
    }

    union {
      Link* m_data; // while m_capacity > 1
      Link m_one; // while m_capacity == 1
    };
    unsigned int m_size;
    unsigned int m_capacity;
  };

  /**
   * For each scope position of a constraint, the position of its entry in the
   * ConstraintLinks of the variable there. Written by the engine only, which
   * keeps it equal to where attach() put the entry and detach() moved it.
   * Scopes of up to three variables need no memory of their own.
   */
  class LinkPositions {
  public:
    explicit LinkPositions(size_t scopeSize)
      : m_inline{0, 0, 0}, m_more(scopeSize > INLINE ? new unsigned int[scopeSize - INLINE] : nullptr) {}
    ~LinkPositions() { delete[] m_more; }

    unsigned int operator[](size_t argIndex) const {
      return argIndex < INLINE ? m_inline[argIndex] : m_more[argIndex - INLINE];
    }

  private:
    friend class ConstraintEngine;

    LinkPositions(const LinkPositions&) = delete;
    LinkPositions& operator=(const LinkPositions&) = delete;

    unsigned int& at(size_t argIndex) {
      return argIndex < INLINE ? m_inline[argIndex] : m_more[argIndex - INLINE];
    }

    static const size_t INLINE = 3;
    unsigned int m_inline[INLINE];
    unsigned int* m_more;
  };

}

#endif
