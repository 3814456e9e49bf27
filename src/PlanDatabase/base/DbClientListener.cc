#include "PlanDatabase/base/DbClientListener.hh"
#include "PlanDatabase/base/DbClient.hh"

namespace KADRIX {

  DbClientListener::DbClientListener(const DbClientId& client) : m_client(client) {
    // Checked before anything is registered: a failure leaves nothing behind.
    KADRIX_CHECK(m_client.isValid());
    m_id = DbClientListenerId(this);
    m_client->notifyAdded(m_id);
  }

  DbClientListener::~DbClientListener() noexcept(false) {
    // A client that is gone has forgotten its listeners already.
    if (m_client.isValid())
      m_client->notifyRemoved(m_id);
    if (m_id.isValid())
      m_id.remove();
  }

}
