#ifndef KADRIX_DB_CLIENT_TRANSACTION_LOG_HH
#define KADRIX_DB_CLIENT_TRANSACTION_LOG_HH

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/DbClientListener.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "Utils/base/LabelStr.hh"

#include <tinyxml.h>

#include <list>
#include <ostream>
#include <string>
#include <vector>

namespace KADRIX {

  class DbClientTransactionLog;
  typedef Id<DbClientTransactionLog> DbClientTransactionLogId;

  /**
   * Records every call made through one client as an element of the XML
   * transaction language, oldest first, until flush() writes the elements to a
   * stream, one per line.
   *
   * Invariants:
   * - m_bufferedTransactions owns each element in it; elements under
   *   construction are owned by the handler building them, so a failed check
   *   while an element is built leaves neither a leak nor a half element.
   * - m_tokensCreated only grows: it is the name of the next token's
   *   "predicateinstance", taken before anything about the token is checked.
   * - In chronological-backtracking mode a retraction (reset, cancel, free)
   *   removes the newest element, which must be the action it retracts (by
   *   tag), so the buffer holds just the actions still in force.
   *
   * Tokens are named by their path in the client's numbering, so the client
   * must have transaction logging on. Internal variables are never written,
   * though constraint scopes still refer to them.
   */
  class DbClientTransactionLog : public DbClientListener {
  public:
    DbClientTransactionLog(const DbClientId& client, bool chronologicalBacktracking);
    /** Frees the elements not flushed; writes nothing. */
    ~DbClientTransactionLog() noexcept(false);

    void notifyObjectCreated(const ObjectId& object) override;
    void notifyObjectCreated(const ObjectId& object,
                             const std::vector<const AbstractDomain*>& arguments) override;
    void notifyObjectDeleted(const ObjectId& object) override;
    void notifyClosed() override;
    void notifyClosed(const LabelStr& objectType) override;
    void notifyTokenCreated(const TokenId& token) override;
    void notifyTokenDeleted(const TokenId& token, const std::string& name) override;
    void notifyConstrained(const ObjectId& object, const TokenId& predecessor,
                           const TokenId& successor) override;
    void notifyFreed(const ObjectId& object, const TokenId& predecessor, const TokenId& successor) override;
    void notifyActivated(const TokenId& token) override;
    void notifyMerged(const TokenId& token, const TokenId& activeToken) override;
    void notifyMerged(const TokenId& token) override;
    void notifyRejected(const TokenId& token) override;
    void notifyCancelled(const TokenId& token) override;
    void notifyConstraintCreated(const ConstraintId& constraint) override;
    void notifyConstraintDeleted(const ConstraintId& constraint) override;
    void notifyVariableCreated(const ConstrainedVariableId& variable) override;
    void notifyVariableDeleted(const ConstrainedVariableId& variable) override;
    void notifyVariableSpecified(const ConstrainedVariableId& variable) override;
    void notifyVariableRestricted(const ConstrainedVariableId& variable) override;
    void notifyVariableReset(const ConstrainedVariableId& variable) override;

    /** Appends a "breakpoint" element. */
    void insertBreakpoint();
    /** Removes the newest element, which must be a "breakpoint". */
    void removeBreakpoint();

    /**
     * Writes each element in its compact form on a line of its own, oldest
     * first, then empties the buffer. When the stream fails, a check fails and
     * every element stays buffered.
     */
    void flush(std::ostream& os);

    /** The elements not flushed yet, oldest first; they stay the log's. */
    const std::list<TiXmlElement*>& getBufferedTransactions() const { return m_bufferedTransactions; }
    /** Removes and deletes the newest element; the buffer must not be empty. */
    void popTransaction();
    /** Appends an element; the log takes ownership. */
    void pushTransaction(TiXmlElement* element);

    /**
     * While one lives, the log hears nothing of its client, so it records
     * (and, chronologically, pops) nothing: a player rewinding the log undoes
     * its elements through that client. Suspensions nest.
     */
    class Suspension {
    public:
      explicit Suspension(DbClientTransactionLog& log);
      ~Suspension() noexcept(false);

    private:
      Suspension(const Suspension&) = delete;
      Suspension& operator=(const Suspension&) = delete;

      DbClientTransactionLog& m_log;
    };

    // Rendering. Each returns a new element that the caller owns.

    static TiXmlElement* allocateXmlElement(const std::string& tag);
    /** <token path=.../> */
    TiXmlElement* tokenAsXml(const TokenId& token) const;
    /**
     * <variable .../>: by engine index, or by its parent token's path or its
     * parent object's name, and its own index there.
     */
    TiXmlElement* variableAsXml(const ConstrainedVariableId& variable) const;
    /** The element of one value of the domain: "object", "value" or "symbol". */
    TiXmlElement* domainValueAsXml(const AbstractDomain* domain, double value) const;
    /** The element of a whole domain, which must not be empty: a value, a "set" or an "interval". */
    TiXmlElement* abstractDomainAsXml(const AbstractDomain* domain) const;
    /**
     * The text of one value: "true"/"false" for a bool type, a decimal integer
     * for an integer type, the shortest text that reads back to the same double
     * for any other number, a label's text, or an object's name.
     */
    std::string domainValueAsString(const AbstractDomain* domain, double value) const;

    /** "bool", "BOOL" and the bool domain's default type name. */
    static bool isBool(const LabelStr& typeName);
    /** "int" and "INT_INTERVAL". */
    static bool isInt(const LabelStr& typeName);

  private:
    /** Checks that the newest element has one of the tags, then pops it. */
    void popRetracted(const std::vector<const char*>& tags, const char* condition);
    /** <tag><object name=.../>predecessor successor</tag> */
    TiXmlElement* orderingAsXml(const char* tag, const ObjectId& object, const TokenId& predecessor,
                                const TokenId& successor) const;
    /** <tag>token...</tag> */
    TiXmlElement* tokensAsXml(const char* tag, const TokenId& token,
                              const TokenId& other = TokenId::noId()) const;
    /** <tag name=... index=...>variable references of the scope</tag> */
    TiXmlElement* constraintAsXml(const char* tag, const ConstraintId& constraint) const;

    std::list<TiXmlElement*> m_bufferedTransactions;
    const bool m_chronologicalBacktracking;
    int m_tokensCreated;
    /** How many suspensions live: while any does, the log is not among its client's listeners. */
    int m_suspensions = 0;
  };

}

#endif
