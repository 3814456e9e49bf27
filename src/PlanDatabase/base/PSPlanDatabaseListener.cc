#include "PlanDatabase/base/PSPlanDatabase.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"

namespace KADRIX {

  // Each handle is seen through its public base; a null handle gives null.

  void PSPlanDatabaseListener::notifyAdded(const ObjectId& object) {
    notifyAdded(static_cast<PSObject*>(object));
  }

  void PSPlanDatabaseListener::notifyRemoved(const ObjectId& object) {
    notifyRemoved(static_cast<PSObject*>(object));
  }

  void PSPlanDatabaseListener::notifyActivated(const TokenId& token) {
    notifyActivated(static_cast<PSToken*>(token));
  }

  void PSPlanDatabaseListener::notifyDeactivated(const TokenId& token) {
    notifyDeactivated(static_cast<PSToken*>(token));
  }

  void PSPlanDatabaseListener::notifyMerged(const TokenId& token) {
    notifyMerged(static_cast<PSToken*>(token));
  }

  void PSPlanDatabaseListener::notifySplit(const TokenId& token) {
    notifySplit(static_cast<PSToken*>(token));
  }

  void PSPlanDatabaseListener::notifyRejected(const TokenId& token) {
    notifyRejected(static_cast<PSToken*>(token));
  }

  void PSPlanDatabaseListener::notifyAdded(const ObjectId& object, const TokenId& token) {
    notifyAdded(static_cast<PSObject*>(object), static_cast<PSToken*>(token));
  }

  void PSPlanDatabaseListener::notifyRemoved(const ObjectId& object, const TokenId& token) {
    notifyRemoved(static_cast<PSObject*>(object), static_cast<PSToken*>(token));
  }

}
