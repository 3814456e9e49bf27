// Handlers of the player that are not built yet: each fails a check when called.
// Remove an entry here when its handler is defined in its own source.

#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "Utils/base/Debug.hh"

#define KADRIX_PENDING() KADRIX_CHECK_TEXT(KADRIX::g_alwaysFails(), "ALWAYS_FAIL", "not built yet")

namespace KADRIX {

  // Rewinding.
  void DbClientTransactionPlayer::rewind(const DbClientTransactionLogId&, bool) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::rewind(std::istream&, bool) { KADRIX_PENDING(); }

}
