#include "ConstraintEngine/base/DomainListener.hh"
#include "ConstraintEngine/base/AbstractDomain.hh"

namespace KADRIX {

  DomainListener::DomainListener() : m_id(this), m_domains(nullptr) {}

  DomainListener::DomainListener(Unregistered) : m_id(), m_domains(nullptr) {}

  void DomainListener::registerId() const { m_id = DomainListenerId(const_cast<DomainListener*>(this)); }

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
    if (!m_id.isNoId())
      m_id.remove();
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
