#ifndef KADRIX_CANDIDATE_TABLE_HH
#define KADRIX_CANDIDATE_TABLE_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"

#include <vector>

namespace KADRIX {

  /**
   * The active tokens filed under one predicate name, as a compact table for
   * merge-candidate scans: one row per token, in key order, with the derived
   * domains of its variables after the state variable. A scan reads the rows
   * and the domains themselves instead of walking a tree of handles and
   * reaching each domain through its token and variable.
   *
   * Rows live in a sorted run and a short unsorted tail of recent insertions
   * that are not the largest key so far; an erased row stays in the run as a
   * hole until the run is rebuilt. Between the operations of the database:
   *  - the keys of the run increase strictly; holes keep their keys;
   *  - the live rows of the run and the tail are exactly the filed tokens,
   *    each once; the tail has at most SLACK + sqrt(run) rows, the run at most
   *    SLACK + run / 2 holes, and the domains at most SLACK + domains / 2
   *    entries that no live row uses;
   *  - a live row's domains are those of its token's variables 1 to n - 1,
   *    where n is its variable count; they stay at the same address for the
   *    token's life (constraints hold references to them too), and a complete
   *    token's variables do not change.
   * sorted() brings the tail into the run, so that the live rows of the run
   * are the filed tokens in key order. PlanDatabase compares
   * the table with its set of filed tokens on every merge-candidate query in
   * builds with KADRIX_FULL_WALKS.
   */
  class CandidateTable {
  public:
    struct Row {
      int key;
      TokenId token; // no id for a hole
      unsigned int firstDomain; // into the domains
      unsigned int variableCount; // the token's, the state variable included
    };

    CandidateTable() : m_holes(0), m_unusedDomains(0) {}

    /** Files the token; it must not be filed. */
    void insert(const TokenId& token);
    /** Takes a filed token out. */
    void erase(const TokenId& token);

    /** The rows in key order; those with a token are the filed tokens. */
    const std::vector<Row>& sorted();
    /** The derived domain of the row's token's variable i (1 <= i < variableCount). */
    const AbstractDomain& domain(const Row& row, unsigned int i) const {
      return *m_domains[row.firstDomain + i - 1];
    }
    /** Asks the cache for the row's domains ahead of reading them. */
    void prefetch(const Row& row) const;

    /**
     * Checks the table against the filed tokens, in key order: the same
     * tokens, each with its own variable count and domains; true or a failed check.
     */
    bool matches(const TokenSet& tokens);

  private:
    static constexpr size_t SLACK = 64;

    /** Appends the token's domains; returns where they begin. */
    unsigned int addDomains(const TokenId& token);
    /** The row of the key in the run, or nullptr. */
    Row* findInRun(int key);
    /** Rebuilds the run from its live rows and the tail, in key order, with the domains in row order. */
    void rebuild();

    std::vector<Row> m_run;
    std::vector<Row> m_tail;
    std::vector<const AbstractDomain*> m_domains;
    size_t m_holes;
    size_t m_unusedDomains;
  };

}

#endif
