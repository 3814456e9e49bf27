#ifndef KADRIX_UTILS_ITERATOR_HH
#define KADRIX_UTILS_ITERATOR_HH

#include "Utils/base/Id.hh"

namespace KADRIX {

  class Entity;

  /** The abstract iterator over entity handles; registered as a handle for its lifetime. */
  class Iterator {
  public:
    Iterator() : m_id(this) {}
    virtual ~Iterator() noexcept(false) { m_id.remove(); }

    virtual bool done() const = 0;
    virtual const Id<Entity> next() = 0;
    virtual unsigned int visited() const = 0;

    const Id<Iterator>& getId() const { return m_id; }

    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;

  private:
    Id<Iterator> m_id;
  };

}

#endif
