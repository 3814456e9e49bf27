// Handlers of the player that are not built yet: each fails a check when called.
// Remove an entry here when its handler is defined in its own source.

#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "Utils/base/Debug.hh"

#define KADRIX_PENDING() KADRIX_CHECK_TEXT(KADRIX::g_alwaysFails(), "ALWAYS_FAIL", "not built yet")

namespace KADRIX {

  // Token transactions.
  void DbClientTransactionPlayer::playTokenCreated(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playFactCreated(const TiXmlElement&) { KADRIX_PENDING(); }
  TokenId DbClientTransactionPlayer::createToken(const char*, const char*, bool, bool) {
    KADRIX_PENDING();
    return TokenId::noId();
  }
  void DbClientTransactionPlayer::playTokenDeleted(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playActivated(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playRejected(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playCancelled(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playMerged(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playConstrained(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playFreed(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::getElementsFromConstrain(const TiXmlElement&, ObjectId&, TokenId&,
                                                           TokenId&) {
    KADRIX_PENDING();
  }

  // Object, variable and constraint transactions.
  void DbClientTransactionPlayer::playObjectCreated(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playObjectDeleted(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playVariableCreated(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playVariableDeleted(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playVariableSpecified(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playVariableRestricted(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playVariableAssigned(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playVariableReset(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playInvokeConstraint(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playUninvokeConstraint(const TiXmlElement&) { KADRIX_PENDING(); }

  // Temporal relations.
  void DbClientTransactionPlayer::playTemporalRelationCreated(const TiXmlElement&) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::playTemporalRelationDeleted(const TiXmlElement&) { KADRIX_PENDING(); }
  DbClientTransactionPlayer::TemporalRelations::iterator
  DbClientTransactionPlayer::getTemporalConstraint(const ConstrainedVariableId&,
                                                   const ConstrainedVariableId&, const std::string&) {
    KADRIX_PENDING();
    return m_relations.end();
  }
  void DbClientTransactionPlayer::deleteTemporalConstraint(TemporalRelations::iterator) {
    KADRIX_PENDING();
  }
  void DbClientTransactionPlayer::removeTemporalConstraint(const ConstrainedVariableId&,
                                                           const ConstrainedVariableId&,
                                                           const std::string&) {
    KADRIX_PENDING();
  }

  // Rewinding.
  void DbClientTransactionPlayer::rewind(const DbClientTransactionLogId&, bool) { KADRIX_PENDING(); }
  void DbClientTransactionPlayer::rewind(std::istream&, bool) { KADRIX_PENDING(); }

}
