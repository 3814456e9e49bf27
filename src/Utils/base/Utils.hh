#ifndef KADRIX_UTILS_UTILS_HH
#define KADRIX_UTILS_UTILS_HH

#include "Utils/base/Debug.hh"
#include "Utils/base/Id.hh"

#include <algorithm>
#include <list>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace KADRIX {

  /**
   * The integer for infinite time and for "no limit": 2^28 - 1. Its negation is
   * minus infinity; twice its value still fits an int.
   */
  constexpr int g_infiniteTime() { return 268435455; }

  /**
   * The text of a number: an integral value within +/-2^53 as an integer
   * ("42"), anything else with 15 significant digits.
   */
  std::string toString(double value);

  /**
   * Splits the text at each of the delimiter characters and appends the
   * pieces in order; empty pieces are kept, so n delimiters give n + 1 pieces.
   */
  void tokenize(const std::string& text, std::vector<std::string>& pieces, const std::string& delimiters);

  /**
   * Discards every entity behind a non-null handle of the list (null handles
   * are passed over), then empties the list.
   */
  template <class T> void discardAll(std::list<Id<T>>& objects) {
    for (typename std::list<Id<T>>::const_iterator it = objects.begin(); it != objects.end(); ++it) {
      Id<T> object = *it;
      if (object.isNoId())
        continue;
      KADRIX_CHECK(object.isValid());
      if (!object.isValid())
        continue;
      object->discard(true);
    }
    objects.clear();
  }

  /** Deletes every object of a set of valid handles of owned objects, then empties the set. */
  template <class T> void cleanup(std::set<Id<T>>& objects) {
    typename std::set<Id<T>>::const_iterator it = objects.begin();
    while (it != objects.end()) {
      KADRIX_CHECK((*it).isValid());
      bool valid = (*it).isValid();
      T* object = static_cast<T*>(*it);
      ++it; // advance first: the deletion may end the handle's registration
      if (valid && object != nullptr)
        delete object;
    }
    objects.clear();
  }

  /** Deletes every non-null element of a list of owned objects, then empties the list. */
  template <class T> void cleanup(std::list<T*>& objects) {
    for (typename std::list<T*>::const_iterator it = objects.begin(); it != objects.end(); ++it)
      if (*it != nullptr)
        delete *it;
    objects.clear();
  }

  /** The handle of a listener registered by handle. */
  template <class T> const Id<T>& listenerHandle(const Id<T>& listener) { return listener; }
  /** The handle of a listener registered by address: its own. */
  template <class T> Id<T> listenerHandle(T* listener) { return listener->getId(); }

  template <class T> bool isRegistered(const std::set<Id<T>>& registry, const Id<T>& listener) {
    return registry.find(listener) != registry.end();
  }
  template <class T> bool isRegistered(const std::vector<T*>& registry, const Id<T>& listener) {
    return std::find(registry.begin(), registry.end(), listener.get()) != registry.end();
  }

  /**
   * Tells each listener of a registry through fn(handle). Works on a copy of
   * the handles taken first, so a listener may unregister or delete itself or
   * another one while it is told; one that is gone or has left the registry
   * is not told any more, and one that joined meanwhile is not told this time.
   */
  template <class Registry, class Fn> void tellListeners(const Registry& registry, Fn fn) {
    typedef typename std::decay<decltype(listenerHandle(*registry.begin()))>::type Handle;
    if (registry.empty())
      return;
    std::vector<Handle> snapshot;
    snapshot.reserve(registry.size());
    for (const auto& listener : registry)
      snapshot.push_back(listenerHandle(listener));
    for (const Handle& listener : snapshot)
      if (listener.isValid() && isRegistered(registry, listener))
        fn(listener);
  }

}

#endif
