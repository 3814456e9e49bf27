#include "PlanDatabase/base/CandidateTable.hh"

#include "PlanDatabase/base/Token.hh"
#include "Utils/base/Debug.hh"

#include <algorithm>
#include <cmath>

namespace KADRIX {

  namespace {
    bool byKey(const CandidateTable::Row& a, const CandidateTable::Row& b) { return a.key < b.key; }
  }

  void CandidateTable::insert(const TokenId& token) {
    const int key = token->getKey();
    const unsigned int count = static_cast<unsigned int>(token->getVariables().size());
    if (m_run.empty() || key > m_run.back().key) {
      m_run.push_back(Row{key, token, addDomains(token), count});
      return;
    }
    Row* row = findInRun(key);
    if (row != nullptr) {
      KADRIX_CHECK_MSG(row->token.isNoId(), token->toString() << " is filed already");
      // A hole of the same key takes the token back.
      if (row->variableCount == count) {
        for (unsigned int i = 1; i < count; ++i)
          m_domains[row->firstDomain + i - 1] = &token->getVariables()[i]->lastDomain();
        m_unusedDomains -= count - 1;
      } else
        row->firstDomain = addDomains(token);
      row->token = token;
      row->variableCount = count;
      --m_holes;
      return;
    }
    m_tail.push_back(Row{key, token, addDomains(token), count});
    if (m_tail.size() > SLACK + static_cast<size_t>(std::sqrt(static_cast<double>(m_run.size()))))
      rebuild();
  }

  void CandidateTable::erase(const TokenId& token) {
    const int key = token->getKey();
    Row* row = findInRun(key);
    if (row != nullptr && row->token.isId()) {
      row->token = TokenId::noId();
      m_unusedDomains += row->variableCount - 1;
      ++m_holes;
    } else {
      std::vector<Row>::iterator it =
          std::find_if(m_tail.begin(), m_tail.end(), [key](const Row& r) { return r.key == key; });
      KADRIX_CHECK_MSG(it != m_tail.end(), token->toString() << " is not filed");
      m_unusedDomains += it->variableCount - 1;
      *it = m_tail.back();
      m_tail.pop_back();
    }
    if (m_holes > SLACK + m_run.size() / 2 || m_unusedDomains > SLACK + m_domains.size() / 2)
      rebuild();
  }

  const std::vector<CandidateTable::Row>& CandidateTable::sorted() {
    if (!m_tail.empty())
      rebuild();
    return m_run;
  }

  void CandidateTable::prefetch(const Row& row) const {
    // A domain's own members follow the part every domain has: both lines are read.
    for (unsigned int i = 1; i < row.variableCount; ++i) {
      const char* domain = reinterpret_cast<const char*>(m_domains[row.firstDomain + i - 1]);
      __builtin_prefetch(domain);
      __builtin_prefetch(domain + sizeof(AbstractDomain));
    }
  }

  bool CandidateTable::matches(const TokenSet& tokens) {
    const std::vector<Row>& rows = sorted();
    TokenSet::const_iterator it = tokens.begin();
    for (std::vector<Row>::const_iterator row = rows.begin(); row != rows.end(); ++row) {
      if (row->token.isNoId())
        continue;
      KADRIX_CHECK_MSG(it != tokens.end(), "The table has " << row->token->toString() << " in excess");
      const TokenId& token = *it;
      KADRIX_CHECK_MSG(
          row->token == token && row->key == token->getKey(),
          "The table has " << row->token->toString() << " where " << token->toString() << " is filed");
      const std::vector<ConstrainedVariableId>& variables = token->getVariables();
      KADRIX_CHECK_MSG(row->variableCount == variables.size(),
                       token->toString()
                           << " has " << variables.size() << " variables, not " << row->variableCount);
      for (unsigned int i = 1; i < row->variableCount; ++i)
        KADRIX_CHECK_MSG(&domain(*row, i) == &variables[i]->lastDomain(),
                         "The table does not hold the domain of " << variables[i]->toString());
      ++it;
    }
    KADRIX_CHECK_MSG(it == tokens.end(), "The table misses " << (*it)->toString());
    return true;
  }

  unsigned int CandidateTable::addDomains(const TokenId& token) {
    const unsigned int first = static_cast<unsigned int>(m_domains.size());
    const std::vector<ConstrainedVariableId>& variables = token->getVariables();
    for (size_t i = 1; i < variables.size(); ++i)
      m_domains.push_back(&variables[i]->lastDomain());
    return first;
  }

  CandidateTable::Row* CandidateTable::findInRun(int key) {
    const Row probe{key, TokenId::noId(), 0, 0};
    std::vector<Row>::iterator it = std::lower_bound(m_run.begin(), m_run.end(), probe, byKey);
    return it != m_run.end() && it->key == key ? &*it : nullptr;
  }

  void CandidateTable::rebuild() {
    std::sort(m_tail.begin(), m_tail.end(), byKey);
    std::vector<Row> rows;
    rows.reserve(m_run.size() - m_holes + m_tail.size());
    std::vector<const AbstractDomain*> domains;
    domains.reserve(m_domains.size() - m_unusedDomains);
    std::vector<Row>::const_iterator run = m_run.begin(), tail = m_tail.begin();
    while (run != m_run.end() || tail != m_tail.end()) {
      const bool fromTail = run == m_run.end() || (tail != m_tail.end() && tail->key < run->key);
      const Row& row = fromTail ? *tail++ : *run++;
      if (row.token.isNoId())
        continue;
      rows.push_back(Row{row.key, row.token, static_cast<unsigned int>(domains.size()), row.variableCount});
      for (unsigned int i = 1; i < row.variableCount; ++i)
        domains.push_back(&domain(row, i));
    }
    m_run.swap(rows);
    m_domains.swap(domains);
    m_tail.clear();
    m_holes = 0;
    m_unusedDomains = 0;
  }

}
