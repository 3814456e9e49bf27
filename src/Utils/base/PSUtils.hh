#ifndef KADRIX_UTILS_PSUTILS_HH
#define KADRIX_UTILS_PSUTILS_HH

#include "Utils/base/Debug.hh"

#include <string>
#include <vector>

namespace KADRIX {

  typedef int PSEntityKey;

  /** The public view of every entity. */
  class PSEntity {
  public:
    PSEntity() {}
    virtual ~PSEntity() noexcept(false) {}

    virtual PSEntityKey getKey() const = 0;
    virtual const std::string& getEntityName() const = 0;
    virtual const std::string& getEntityType() const = 0;
    virtual std::string toString() const = 0;
    virtual std::string toLongString() const = 0;
  };

  /**
   * An ordered list returned by the public interface. It owns its elements'
   * storage, not what pointer elements point to.
   */
  template <class T> class PSList {
  public:
    PSList() {}

    int size() const { return static_cast<int>(m_elements.size()); }

    /** The element at index (0 to size() - 1), replaceable through the reference. */
    T& get(int index) {
      KADRIX_CHECK_MSG(index >= 0 && index < size(),
                       "Index " << index << " is out of range for a list of " << size() << " elements.");
      return m_elements.at(static_cast<std::size_t>(index));
    }

    const T& get(int index) const {
      KADRIX_CHECK_MSG(index >= 0 && index < size(),
                       "Index " << index << " is out of range for a list of " << size() << " elements.");
      return m_elements.at(static_cast<std::size_t>(index));
    }

    void push_back(const T& element) { m_elements.push_back(element); }

    /** Removes the element at index (0 to size() - 1). */
    void remove(int index) {
      KADRIX_CHECK_MSG(index >= 0 && index < size(),
                       "Index " << index << " is out of range for a list of " << size() << " elements.");
      if (index >= 0 && index < size())
        m_elements.erase(m_elements.begin() + index);
    }

    /** Removes the first element equal to the given one, if any. */
    void remove(const T& element) {
      for (typename std::vector<T>::iterator it = m_elements.begin(); it != m_elements.end(); ++it)
        if (*it == element) {
          m_elements.erase(it);
          return;
        }
    }

  private:
    std::vector<T> m_elements;
  };

}

#endif
