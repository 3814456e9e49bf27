// Queries over tokens: merge candidates and archiving of finished tokens.
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/TemporalAdvisor.hh"
#include "PlanDatabase/base/Token.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "Utils/base/Utils.hh"

#include <limits>

// Part of PlanDatabase: checks and debug sites report the class's own file.
#undef KADRIX_SOURCE_FILE
#define KADRIX_SOURCE_FILE "PlanDatabase/base/PlanDatabase.cc"

namespace KADRIX {

  // ------------------------------------------------------------------ merge candidates

  namespace {
    /** Whether two domains can meet: two empty or two open ones are taken to; otherwise the smaller one tests. */
    bool canIntersect(const AbstractDomain& domA, const AbstractDomain& domB) {
      if (domA.getSize() == 0 && domB.getSize() == 0)
        return true;
      if (domA.isOpen() && domB.isOpen())
        return true;
      if (domA.getSize() < domB.getSize())
        return domA.intersects(domB);
      return domB.intersects(domA);
    }

    /** How many rows ahead a scan asks for the domains it will read. */
    const size_t PREFETCH_ROWS = 2;
  }

  void PlanDatabase::getCompatibleTokens(const TokenId& inactiveToken, std::vector<TokenId>& results,
                                         unsigned int limit, bool useExactTest) {
    KADRIX_CHECK(inactiveToken.isValid());
    if (limit == 0)
      return;
    if (!m_constraintEngine->propagate())
      return;
    const std::map<double, Filing>::iterator filing =
        m_activeTokensByPredicate.find(inactiveToken->getPredicateName().getKey());
    KADRIX_COND_DEBUG(filing == m_activeTokensByPredicate.end() || filing->second.tokens.empty(),
                      "PlanDatabase:getCompatibleTokens",
                      "No candidates to evaluate for " << inactiveToken->toString());
    const TemporalAdvisorId& temporalAdvisor = getTemporalAdvisor();
    if (filing == m_activeTokensByPredicate.end())
      return;
#ifdef KADRIX_FULL_WALKS
    checkCandidates(inactiveToken, filing->second);
#endif
    CandidateTable& table = filing->second.candidates;
    const std::vector<CandidateTable::Row>& rows = table.sorted();
    const std::vector<ConstrainedVariableId>& inactiveTokenVariables = inactiveToken->getVariables();
    const int variableCount = static_cast<int>(inactiveTokenVariables.size());
    // The inactive token's domains, read once; the candidates' come from the table.
    std::vector<const AbstractDomain*> inactiveDomains(inactiveTokenVariables.size());
    for (int i = 1; i < variableCount; ++i)
      inactiveDomains[i] = &inactiveTokenVariables[i]->lastDomain();
    unsigned int choiceCount = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
      if (r + PREFETCH_ROWS < rows.size() && rows[r + PREFETCH_ROWS].token.isId())
        table.prefetch(rows[r + PREFETCH_ROWS]);
      const CandidateTable::Row& row = rows[r];
      if (row.token.isNoId())
        continue;
      const TokenId& candidate = row.token;
      KADRIX_DEBUG("PlanDatabase:getCompatibleTokens", "Evaluating candidate token ("
                                                           << candidate->getKey() << ") for token ("
                                                           << inactiveToken->getKey() << ")");
      KADRIX_CHECK_TEXT(row.variableCount == static_cast<unsigned int>(variableCount),
                        "candidateTokenVariables.size() == (unsigned int) variableCount",
                        "Candidate token (" << row.key << ") has " << row.variableCount
                                            << " variables, while inactive token (" << inactiveToken->getKey()
                                            << ") has " << variableCount);
      bool isCompatible = true;
      KADRIX_CHECK_MSG(inactiveTokenVariables[0] == inactiveToken->getState(),
                       "We expect the first var to be the state var, which we must skip.");
      for (int i = 1; i < variableCount; ++i) {
        const AbstractDomain& domA = *inactiveDomains[i];
        const AbstractDomain& domB = table.domain(row, static_cast<unsigned int>(i));
        KADRIX_CHECK_MSG(AbstractDomain::canBeCompared(domA, domB),
                         domA.toString() << " cannot be compared to " << domB.toString() << ".");
        if (canIntersect(domA, domB)) {
          KADRIX_DEBUG("PlanDatabase:getCompatibleTokens",
                       "VAR=" << candidate->getVariables()[i]->getName().toString() << "("
                              << candidate->getVariables()[i]->getKey() << ") "
                              << "Can intersect " << domA.toString() << " with " << domB.toString());
          continue;
        }
        isCompatible = false;
        KADRIX_DEBUG("PlanDatabase:getCompatibleTokens",
                     "EXCLUDING (" << candidate->getKey() << ")"
                                   << "VAR=" << candidate->getVariables()[i]->getName().toString() << "("
                                   << candidate->getVariables()[i]->getKey() << ") "
                                   << "Cannot intersect " << domA.toString() << " with " << domB.toString());
        break;
      }
      if (isCompatible && (!useExactTest || temporalAdvisor->canBeConcurrent(inactiveToken, candidate))) {
        results.push_back(candidate);
        KADRIX_DEBUG("PlanDatabase:getCompatibleTokens", "EXACT=" << (useExactTest ? 1 : 0) << ". Adding "
                                                                  << candidate->getKey() << " for token "
                                                                  << inactiveToken->getKey());
        ++choiceCount;
      }
      if (choiceCount == limit)
        return;
    }
  }

  void PlanDatabase::checkCandidates(const TokenId& inactiveToken, Filing& filing) const {
    KADRIX_CHECK(filing.candidates.matches(filing.tokens));
    for (TokenSet::const_iterator it = filing.tokens.begin(); it != filing.tokens.end(); ++it) {
      const TokenId& candidate = *it;
      KADRIX_CHECK_MSG(m_schema->isA(candidate->getPredicateName(), inactiveToken->getPredicateName()),
                       candidate->getPredicateName().toString()
                           << " is not a " << inactiveToken->getPredicateName().toString());
      KADRIX_CHECK_MSG(candidate->isActive(), "Should not be trying to merge an active token.");
    }
  }

  void PlanDatabase::getCompatibleTokens(const TokenId& inactiveToken, std::vector<TokenId>& results) {
    getCompatibleTokens(inactiveToken, results, static_cast<unsigned int>(g_infiniteTime()), false);
  }

  unsigned int PlanDatabase::countCompatibleTokens(const TokenId& inactiveToken, unsigned int limit,
                                                   bool useExactTest) {
    std::vector<TokenId> results;
    getCompatibleTokens(inactiveToken, results, limit, useExactTest);
    return static_cast<unsigned int>(results.size());
  }

  bool PlanDatabase::hasCompatibleTokens(const TokenId& inactiveToken) {
    return countCompatibleTokens(inactiveToken, 1, false) != 0;
  }

  // ------------------------------------------------------------------ archiving

  namespace {
    /** An end bound as a tick: negative bounds count as 0, bounds past the range as the last tick. */
    unsigned int asTick(double bound) {
      if (bound <= 0)
        return 0;
      if (bound >= 4294967295.0)
        return 4294967295u;
      return static_cast<unsigned int>(bound);
    }

    /** A start bound as a signed 32-bit number, saturating at both ends. */
    int asStart(double bound) {
      if (bound <= -2147483648.0)
        return std::numeric_limits<int>::min();
      if (bound >= 2147483647.0)
        return std::numeric_limits<int>::max();
      return static_cast<int>(bound);
    }
  }

  unsigned int PlanDatabase::archive(unsigned int tick) {
    KADRIX_CHECK_MSG(getConstraintEngine()->constraintConsistent(),
                     "Must be propagated to a consistent state before archiving.");
    const unsigned int initialCount = static_cast<unsigned int>(getTokens().size());
    // Equal starts keep the walk's key order.
    std::multimap<int, TokenId> tokensToRemove;
    for (TokenSet::const_iterator it = m_tokens.begin(); it != m_tokens.end(); ++it) {
      const TokenId& token = *it;
      if (token->isMerged())
        continue;
      const unsigned int latestEndTime = asTick(token->end()->lastDomain().getUpperBound());
      if (latestEndTime <= tick && token->canBeTerminated(tick)) {
        KADRIX_DEBUG("PlanDatabase:archive:remove",
                     token->toString() << " ending by " << latestEndTime << " for tick " << tick);
        tokensToRemove.insert(std::make_pair(asStart(token->start()->lastDomain().getLowerBound()), token));
      } else
        KADRIX_DEBUG("PlanDatabase:archive:skip", token->toString()
                                                      << " with end time " << token->end()->toString()
                                                      << " for tick " << tick);
    }
    for (std::multimap<int, TokenId>::const_iterator it = tokensToRemove.begin(); it != tokensToRemove.end();
         ++it) {
      const TokenId& token = it->second;
      // An earlier discard may have taken this one along.
      if (!token.isValid())
        continue;
      token->terminate();
      token->discard(true);
    }
    return initialCount - static_cast<unsigned int>(m_tokens.size());
  }

}
