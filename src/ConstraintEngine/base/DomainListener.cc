#include "ConstraintEngine/base/DomainListener.hh"
#include "ConstraintEngine/base/AbstractDomain.hh"

#include <unordered_map>

namespace KADRIX {

  namespace {
    /** The handles of the listeners that have one. */
    std::unordered_map<const DomainListener*, DomainListenerId>& handles() {
      static std::unordered_map<const DomainListener*, DomainListenerId> sl_handles;
      return sl_handles;
    }
  }

  DomainListener::DomainListener() : m_domains(nullptr), m_registered(false) { registerId(); }

  DomainListener::DomainListener(Unregistered) : m_domains(nullptr), m_registered(false) {}

  void DomainListener::registerId() const {
    DomainListenerId id(const_cast<DomainListener*>(this));
    handles()[this] = id;
    m_registered = true;
  }

  const DomainListenerId& DomainListener::getId() const {
    if (!m_registered)
      registerId();
    return handles().find(this)->second;
  }

  void DomainListener::listenTo(AbstractDomain& domain) {
    domain.detachListener();
    domain.m_lostListener = false;
    domain.attachListener(this);
  }

  DomainListener::~DomainListener() noexcept(false) {
    while (m_domains != nullptr) {
      AbstractDomain* dom = m_domains;
      m_domains = dom->m_nextListened;
      dom->m_listenerPtr = nullptr;
      dom->m_nextListened = nullptr;
      dom->m_lostListener = true;
    }
    if (m_registered) {
      std::unordered_map<const DomainListener*, DomainListenerId>::iterator it = handles().find(this);
      it->second.remove();
      handles().erase(it);
    }
  }

  const char* DomainListener::getName(const ChangeType& changeType) {
    static const char* const sl_names[LAST_CHANGE_TYPE] = {"UPPER_BOUND_DECREASED",
                                                           "LOWER_BOUND_INCREASED",
                                                           "BOUNDS_RESTRICTED",
                                                           "VALUE_REMOVED",
                                                           "RESTRICT_TO_SINGLETON",
                                                           "SET_TO_SINGLETON",
                                                           "RESET",
                                                           "RELAXED",
                                                           "CLOSED",
                                                           "OPENED",
                                                           "EMPTIED"};
    if (changeType < 0 || changeType >= LAST_CHANGE_TYPE)
      return "UNKNOWN";
    return sl_names[changeType];
  }

} // namespace KADRIX
