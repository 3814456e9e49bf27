#ifndef KADRIX_UTILS_ID_HH
#define KADRIX_UTILS_ID_HH

#include "Utils/base/Debug.hh"
#include "Utils/base/IdTable.hh"

#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>
#include <typeinfo>

namespace KADRIX {

  class Entity;

  /** The error label of every failed handle check. */
  class IdErr {
  public:
    static const std::string& IdMgrInvalidItemPtrError();
  };

  /**
   * A handle: the address of an object of class T and the key under which that
   * address is registered in the IdTable. A handle is valid while the table
   * still maps its address to its key; every copy becomes detectably invalid
   * once the registration ends through remove() or release() on any copy.
   *
   * Copying, comparing, dereferencing and converting to a pointer or a number
   * never consult the table; isValid(), the constructors from a pointer or a
   * number, the casting copy, remove() and release() do.
   */
  template <class T> class Id {
  public:
    /** The null handle. */
    Id() : m_ptr(nullptr), m_key(0) {}

    /** Registers the object; made once per object, from its constructor. */
    explicit Id(T* ptr) : m_ptr(nullptr), m_key(0) {
      KADRIX_CHECK_LABEL(ptr != 0, "Cannot generate an Id<" << typeName() << "> for 0 pointer.",
                         IdErr::IdMgrInvalidItemPtrError());
      if (ptr == nullptr)
        return; // the null address is never registered
      m_key = IdTable::insert(address(ptr), typeName());
      KADRIX_CHECK_LABEL(
          m_key != 0,
          "Cannot generate an Id<" << typeName() << "> for a pointer that has not been cleaned up.",
          IdErr::IdMgrInvalidItemPtrError());
      m_ptr = ptr;
    }

    /**
     * Rebuilds a handle from its numeric form (operator double()). 0 gives the
     * null handle without consulting the table. A value that is not a finite,
     * non-negative integer below 2^64 is not the number of any registered
     * address and fails like an unregistered one.
     */
    explicit Id(double value) : m_ptr(nullptr), m_key(0) {
      if (value == 0)
        return;
      std::uintptr_t addr = 0;
      bool isAddress = numberToAddress(value, addr);
      if (isAddress)
        m_key = IdTable::getKey(addr);
      KADRIX_CHECK_LABEL(
          m_key != 0, "Cannot instantiate an Id<" << typeName() << "> for this address. No instance present.",
          IdErr::IdMgrInvalidItemPtrError());
      if (isAddress)
        m_ptr = reinterpret_cast<T*>(addr);
    }

    Id(const Id& org) = default;
    Id& operator=(const Id& org) = default;
    ~Id() = default;

    /** Casting copy from a handle of a related type (see copyAndCastFromId). */
    template <class X> Id(const Id<X>& org) : m_ptr(nullptr), m_key(0) { copyAndCastFromId(org); }

    template <class X> Id& operator=(const Id<X>& org) {
      copyAndCastFromId(org);
      return *this;
    }

    /**
     * Sets this handle from org, cast to T: a plain conversion when T is X or
     * a base of X, a run-time downcast otherwise. The null handle casts to the
     * null handle without any check. A stale org is never dereferenced: it
     * fails like an address that is not registered.
     */
    template <class X> void copyAndCastFromId(const Id<X>& org) {
      m_ptr = nullptr;
      m_key = 0;
      if (org.isNoId())
        return;
      if (!org.isValid()) {
        // The object behind org is gone or replaced: never look at it.
        reportNoInstance<X>();
        return;
      }
      m_ptr = castFrom(org.m_ptr);
      if (m_ptr == nullptr) {
        KADRIX_CHECK_REPORT_("Id<T>::convertable(org)",
                             "Invalid cast from Id<" << Id<X>::typeName() << "> to Id<" << typeName() << ">.",
                             IdErr::IdMgrInvalidItemPtrError());
        return;
      }
      if (address(m_ptr) == Id<X>::address(org.m_ptr))
        m_key = org.m_key;
      else
        m_key = IdTable::getKey(address(m_ptr));
      if (m_key == 0)
        reportNoInstance<X>();
    }

    /** Whether org's object is a T (false for a null handle and for a stale one). */
    template <class X> static bool convertable(const Id<X>& org) {
      return org.isValid() && castFrom(org.m_ptr) != nullptr;
    }

    /** The one shared null handle of this type. */
    static const Id& noId() {
      static const Id* const s_noId = new Id();
      return *s_noId;
    }

    bool isNoId() const { return m_ptr == nullptr && m_key == 0; }
    bool isId() const { return m_ptr != nullptr && m_key != 0; }
    bool isValid() const { return isId() && IdTable::holds(m_key, address(m_ptr)); }
    bool isInvalid() const { return !isValid(); }

    bool operator==(const Id& other) const { return m_ptr == other.m_ptr && m_key == other.m_key; }
    bool operator!=(const Id& other) const { return !(*this == other); }
    /** Orders by address; keys take no part. */
    bool operator<(const Id& other) const { return address(m_ptr) < address(other.m_ptr); }
    bool operator>(const Id& other) const { return address(m_ptr) > address(other.m_ptr); }

    T* operator->() const { return m_ptr; }
    /** The stored pointer, as it is; null for the null handle. */
    T* get() const { return m_ptr; }
    T& operator*() const { return *m_ptr; }

    /**
     * The stored pointer converted at compile time: to T, to a base of T
     * (adjusted to a virtual base; null stays null), or down to a class derived
     * from T without any run-time test.
     */
    template <class X> operator X*() const { return static_cast<X*>(m_ptr); }

    /** The address as a number, exactly; 0 for the null handle. */
    operator double() const { return static_cast<double>(address(m_ptr)); }

    /** The registry key; 0 for the null handle. */
    unsigned int getKey() const { return m_key; }

    /** "noId" for the null handle, else "id_" and the key. */
    void print(std::ostream& os) const {
      if (isNoId())
        os << "noId";
      else
        os << "id_" << m_key;
    }

    /** Ends the registration; the object stays. */
    void remove() {
      if (!isValid()) {
        KADRIX_CHECK_REPORT_("isValid()", "Cannot remove an invalid Id<" << typeName() << ">.",
                             IdErr::IdMgrInvalidItemPtrError());
        return; // another object's registration of this address must survive
      }
      IdTable::remove(address(m_ptr));
      m_key = 0;
      m_ptr = nullptr;
    }

    /** Ends the registration and deletes the object. */
    void release() {
      T* ptr = m_ptr;
      if (!isValid()) {
        KADRIX_CHECK_REPORT_("isValid()", "Cannot release an invalid Id<" << typeName() << ">.",
                             IdErr::IdMgrInvalidItemPtrError());
        return; // never delete an object that is no longer registered
      }
      m_key = 0;
      IdTable::remove(address(ptr));
      m_ptr = nullptr;
      delete ptr;
    }

    /** The run-time type name under which handles of T register, e.g. "N6KADRIX5TokenE". */
    static const char* typeName() { return typeid(T).name(); }

  private:
    template <class X> friend class Id;
    friend class Entity;

    /** A handle of an already registered object; used where the key is known. */
    Id(T* ptr, unsigned int key) : m_ptr(ptr), m_key(key) {}

    static std::uintptr_t address(const volatile void* ptr) { return reinterpret_cast<std::uintptr_t>(ptr); }

    static bool numberToAddress(double value, std::uintptr_t& addr) {
      // Exactly the values that operator double() can produce.
      constexpr double s_limit =
          sizeof(std::uintptr_t) >= 8 ? 18446744073709551616.0 : 4294967296.0; // 2^64 or 2^32
      if (!std::isfinite(value) || value < 0 || value >= s_limit || value != std::floor(value))
        return false;
      addr = static_cast<std::uintptr_t>(value);
      return true;
    }

    template <class X> static T* castFrom(X* ptr) {
      if (ptr == nullptr)
        return nullptr;
      if constexpr (std::is_base_of<T, X>::value || std::is_same<T, X>::value)
        return ptr;
      else
        return dynamic_cast<T*>(ptr);
    }

    template <class X> void reportNoInstance() {
      KADRIX_CHECK_LABEL(
          m_key != 0,
          "Cannot create an Id<" << Id<X>::typeName() << "> for this address since no instance is present.",
          IdErr::IdMgrInvalidItemPtrError());
    }

    T* m_ptr;
    unsigned int m_key;
  };

  template <class T> std::ostream& operator<<(std::ostream& os, const Id<T>& id) {
    id.print(os);
    return os;
  }

}

#endif
