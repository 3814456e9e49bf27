#ifndef KADRIX_UTILS_ENTITYITERATOR_HH
#define KADRIX_UTILS_ENTITYITERATOR_HH

#include "Utils/base/Debug.hh"
#include "Utils/base/Entity.hh"
#include "Utils/base/Iterator.hh"

namespace KADRIX {

  /**
   * An iterator over a half-open range of a container of entity handles. It
   * does not own the container, which must outlive it and stay unchanged
   * while it is used.
   */
  template <class ConstIterator> class EntityIterator : public Iterator {
  public:
    EntityIterator(const ConstIterator& begin_it, const ConstIterator& end_it)
      : m_iterator(begin_it), m_end(end_it), m_visited(0) {}

    ~EntityIterator() noexcept(false) override {}

    bool done() const override { return m_iterator == m_end; }

    /** The current element as an entity handle; counts it and advances. */
    const Id<Entity> next() override {
      KADRIX_CHECK_MSG(!done(), "Cannot advance an item since the iterator is done.");
      if (done())
        return Id<Entity>::noId();
      ++m_visited;
      Id<Entity> entity(*m_iterator);
      ++m_iterator;
      return entity;
    }

    unsigned int visited() const override { return m_visited; }

  private:
    ConstIterator m_iterator;
    const ConstIterator m_end;
    unsigned int m_visited;
  };

}

#endif
