// Token decisions: activation, rejection, cancellation and merging.
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/base/UnifyMemento.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "Utils/base/Debug.hh"

// Part of Token: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/base/Token.cc"

namespace KADRIX {

  void Token::activate() {
    KADRIX_CHECK_MSG(isInactive(),
                     "Token " << toString() << " is not INACTIVE. Only inactive tokens may be activated.");
    KADRIX_CHECK(isValid());
    // A terminated token has left the plan: no object would take it.
    KADRIX_CHECK_MSG(!isTerminated(),
                     "Token " << toString() << " is terminated. Only tokens in the plan may be activated.");
    activateInternal();
  }

  void Token::activateInternal() {
    m_state->setSpecified(ACTIVE.getKey());
    m_planDatabase->notifyActivated(m_id);
  }

  void Token::reject() {
    KADRIX_CHECK(isValid());
    KADRIX_CHECK(isInactive());
    KADRIX_CHECK(m_master.isNoId());
    m_state->setSpecified(REJECTED.getKey());
    std::vector<ObjectId> objects;
    liveObjects(objects);
    for (size_t i = 0; i < objects.size(); ++i)
      objects[i]->notifyRejected(m_id);
    m_planDatabase->notifyRejected(m_id);
  }

  void Token::reinstate() {
    KADRIX_CHECK(isRejected());
    m_state->resetSpecified();
    m_planDatabase->notifyReinstated(m_id);
  }

  void Token::deactivate() {
    KADRIX_CHECK(isActive());
    KADRIX_CHECK(isValid());
    // Whoever holds this token may let it go while it splits its merged tokens;
    // it must outlive its own deactivation.
    incRefCount();
    while (!m_mergedTokens.empty()) {
      const TokenId tokenToSplit = *m_mergedTokens.begin();
      KADRIX_CHECK(tokenToSplit.isValid());
      KADRIX_CHECK(tokenToSplit->m_activeToken == m_id);
      KADRIX_CHECK(tokenToSplit->isMerged());
      tokenToSplit->split();
    }
    while (!m_slaves.empty()) {
      const TokenId slave = *m_slaves.begin();
      slave->removeMaster(m_id);
    }
    m_state->resetSpecified();
    m_planDatabase->notifyDeactivated(m_id);
    // May discard the token: nothing may touch it after this.
    decRefCount();
  }

  void Token::cancel() {
    KADRIX_CHECK_MSG(!isIncomplete() && !isInactive(), m_state->toString());
    KADRIX_CHECK(!Entity::isPurging());
    const LabelStr state(m_state->getSpecifiedValue());
    if (state == ACTIVE)
      deactivate();
    else if (state == MERGED)
      split();
    else if (state == REJECTED)
      reinstate();
    else
      KADRIX_FAIL("");
  }

  void Token::split() {
    KADRIX_CHECK(isValid());
    KADRIX_CHECK(isMerged());
    KADRIX_CHECK(m_unifyMemento.isValid());
    // Letting go of the active token may discard it and, with it, its slaves,
    // this token among them: it must outlive its own split and undo.
    incRefCount();
    m_state->resetSpecified();
    const TokenId activeToken = m_activeToken;
    UnifyMementoId record = m_unifyMemento;
    m_activeToken = TokenId::noId();
    m_unifyMemento = UnifyMementoId::noId();
    // The active token forgets this one before the record resets its variables.
    const bool activeTokenDeleted = activeToken->removeMergedToken(m_id);
    record->undo(activeTokenDeleted);
    record.release();
    m_planDatabase->notifySplit(m_id);
    // May discard the token: nothing may touch it after this.
    decRefCount();
  }

  void Token::doMerge(const TokenId& activeToken) {
    KADRIX_CHECK(isValid());
    KADRIX_CHECK(isInactive());
    KADRIX_CHECK(activeToken.isValid());
    KADRIX_CHECK(activeToken->isActive());
    KADRIX_CHECK_MSG(
        activeToken->getPlanDatabase() == m_planDatabase,
        "Cannot merge " << toString() << " onto " << activeToken->toString() << " of another plan database.");
    KADRIX_CHECK_MSG(m_state->lastDomain().isMember(MERGED), "Not permitted to merge." << toString());
    KADRIX_CHECK_MSG(getPlanDatabase()->getSchema()->isA(activeToken->getPredicateName(), m_predicateName),
                     "Cannot merge tokens with different predicates: "
                         << m_predicateName.toString() << ", " << activeToken->getPredicateName().toString());
    // The record's own checks run before anything changes, so that a refused
    // merge leaves both tokens as they were.
    UnifyMemento::checkMerge(m_id, activeToken);
    m_state->setSpecified(MERGED.getKey());
    m_unifyMemento = UnifyMementoId(new UnifyMemento(m_id, activeToken));
    m_activeToken = activeToken;
    activeToken->addMergedToken(m_id);
    std::vector<ObjectId> objects;
    liveObjects(objects);
    for (size_t i = 0; i < objects.size(); ++i)
      objects[i]->notifyMerged(m_id);
    m_planDatabase->notifyMerged(m_id);
  }

  void Token::merge(PSToken* activeToken) {
    KADRIX_CHECK_MSG(activeToken != NULL, "Can't merge on NULL token");
    const TokenId token(m_planDatabase->getEntityByKey(activeToken->getKey()));
    doMerge(token);
  }

  void Token::addMergedToken(const TokenId& token) {
    KADRIX_CHECK_MSG(isActive(), "Must be ative to merge onto it.");
    m_mergedTokens.insert(token);
    incRefCount();
  }

  bool Token::removeMergedToken(const TokenId& token) {
    KADRIX_CHECK_MSG(isActive(), "Must be ative to merge onto it.");
    m_mergedTokens.erase(token);
    // May discard this token: nothing may touch it after this.
    return decRefCount();
  }

  PSList<PSToken*> Token::getCompatibleTokens(unsigned int limit, bool useExactTest) {
    std::vector<TokenId> tokens;
    m_planDatabase->getCompatibleTokens(m_id, tokens, limit, useExactTest);
    PSList<PSToken*> result;
    for (size_t i = 0; i < tokens.size(); ++i)
      result.push_back(static_cast<Token*>(tokens[i]));
    return result;
  }

}
