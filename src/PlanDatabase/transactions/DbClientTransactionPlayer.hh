#ifndef KADRIX_DB_CLIENT_TRANSACTION_PLAYER_HH
#define KADRIX_DB_CLIENT_TRANSACTION_PLAYER_HH

#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "PlanDatabase/base/OrderingJournal.hh"
#include "PlanDatabase/base/PlanDatabaseDefs.hh"
#include "Utils/base/Engine.hh"
#include "Utils/base/Id.hh"

#include <functional>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class TiXmlDocument;
class TiXmlElement;

namespace KADRIX {

  class AbstractDomain;
  class CESchema;
  class EnumeratedDomain;
  class IntervalDomain;
  class DbClientTransactionLog;
  class RewindIndex;
  struct MentionKeys;
  struct RootRewind;
  typedef Id<DbClientTransactionLog> DbClientTransactionLogId;

  /** The numbers of a token path ("0.2.1" gives 0, 2, 1); every piece, empty ones too, gives one number. */
  std::vector<int> pathAsVector(const std::string& path);

  /**
   * Replays XML transactions (the elements a transaction log writes, and a few
   * forms that only people write) as calls on a database client, forwards, and
   * undoes them newest first when rewinding.
   *
   * Reading. A stream is a sequence of top-level elements with any text in
   * between, optionally wrapped in "zorl" roots. The reader treats it as
   * hostile: each element is parsed on its own, refused when the XML library
   * reports an error or when it nests deeper than a fixed cap, and played only
   * once it is complete. A log is played from its buffer, only the elements
   * buffered when the play started.
   *
   * Dispatch is a first-match scan of a fixed table of transaction names,
   * where an "invoke" element counts as the transaction its "name" attribute
   * names; every element, filtered or not, is followed by one propagation.
   *
   * Invariants:
   * - m_client is the client given at construction; the player owns nothing
   *   it creates through it (tokens, objects, variables, constraints outlive
   *   the player).
   * - m_tokens and m_variables hold exactly the names under which the player
   *   created something and has not deleted it; an entry whose entity went by
   *   other means keeps a handle that no longer validates. Look-ups never
   *   insert.
   * - m_objectCount and m_varCount only grow: each generated name
   *   "$OBJECT[n]" or "$VAR[n]" is used once.
   * - m_relations holds one entry per constraint made for a temporal
   *   relation, keyed by its two scope variables in scope order; a search
   *   drops the entries whose constraint or variables are gone.
   * - Every domain a reader returns is new and owned by its caller.
   *
   * Names. A later token or variable created under a name takes the name
   * over. A "deletetoken" that finds its token by name leaves the name to
   * nothing; undoing the later "goal" gives the name back to the token that
   * had it before (m_shadowedTokens), so that the names are as they were.
   * Logs name their tokens "0", "1", ... afresh, so one player that plays several logs gives their names to other
   * tokens: do not rewind such a player. Rewinding a "goal" deletes the token
   * found by its name.
   *
   * The member templates of the rewinding side are defined with the
   * rewinding sources, which instantiate them for the two sequences rewound
   * (a log's buffer read backwards, and a list read from a stream).
   */
  class DbClientTransactionPlayer {
  public:
    typedef std::pair<ConstrainedVariableId, ConstrainedVariableId> VariablePair;
    typedef std::multimap<VariablePair, ConstraintId> TemporalRelations;

    /** Elements nested deeper than this are refused before they are parsed. */
    static const int MAX_NESTING = 1000;

    explicit DbClientTransactionPlayer(const DbClientId& client);
    virtual ~DbClientTransactionPlayer();

    // Reading and dispatch.

    /** Plays every element of the stream, one by one as read; fails when it holds none. */
    void play(std::istream& is);

    /** Plays the elements buffered in the log when the call starts, oldest first. */
    void play(const DbClientTransactionLogId& txLog);

    /** The names of transactions to skip; an empty set plays everything. */
    void setFilter(const std::set<std::string>& filters);

    static const std::set<std::string>& NO_TRANSACTIONS();
    static const std::set<std::string>& STATE_TRANSACTIONS();
    static const std::set<std::string>& MODEL_TRANSACTIONS();

    /** The tag is the name, or the element is an "invoke" whose "name" is. */
    bool transactionMatch(const TiXmlElement& trans, const char* name) const;
    bool transactionMatch(const TiXmlElement& trans, const std::string& name) const {
      return transactionMatch(trans, name.c_str());
    }

    /** Some name of the filter set matches the element. */
    bool transactionFiltered(const TiXmlElement& trans) const;

    /** Plays one element by the dispatch table, then propagates. */
    virtual void processTransaction(const TiXmlElement& element);

    // Model-definition hooks; this player ignores them.
    virtual void playDeclareClass(const TiXmlElement& element);
    virtual void playDefineClass(const TiXmlElement& element);
    virtual void playDefineCompat(const TiXmlElement& element);
    virtual void playDefineEnumeration(const TiXmlElement& element);
    virtual void playDefineType(const TiXmlElement& element);

    /** Plays an "invoke" element standing for a transaction ("close", "activate", ...). */
    void playInvokeTransaction(const TiXmlElement& element);

    const Id<Schema>& getSchema() const;
    const Id<CESchema>& getCESchema() const;

    // Token transactions.
    void playTokenCreated(const TiXmlElement& element);
    void playFactCreated(const TiXmlElement& element);
    TokenId createToken(const char* name, const char* type, bool rejectable, bool isFact);
    void playTokenDeleted(const TiXmlElement& element);
    void playActivated(const TiXmlElement& element);
    void playRejected(const TiXmlElement& element);
    void playCancelled(const TiXmlElement& element);
    void playMerged(const TiXmlElement& element);
    void playConstrained(const TiXmlElement& element);
    void playFreed(const TiXmlElement& element);
    void getElementsFromConstrain(const TiXmlElement& element, ObjectId& object, TokenId& predecessor,
                                  TokenId& successor);

    // Values and domains.

    /** The engine value of a value element; a "new" element creates its object (named `name` when given). */
    double xmlAsValue(const TiXmlElement& value, const char* name);

    /** A new domain read from a domain element; the caller owns it. */
    const AbstractDomain* xmlAsAbstractDomain(const TiXmlElement& element, const char* name,
                                              const char* typeName);
    IntervalDomain* xmlAsIntervalDomain(const TiXmlElement& element, const char* typeName);
    EnumeratedDomain* xmlAsEnumeratedDomain(const TiXmlElement& element, const char* otherTypeName);

    // References and variable creation.
    TokenId parseToken(const char* tokString);
    TokenId xmlAsToken(const TiXmlElement& token);
    ConstrainedVariableId parseVariable(const char* varString);
    ConstrainedVariableId xmlAsVariable(const TiXmlElement& variable);
    const char* getObjectAndType(const DbClientId& client, const char* predicate, ObjectId& object) const;
    ConstrainedVariableId xmlAsCreateVariable(const char* type, const char* name, const TiXmlElement* value);

    // Object, variable and constraint transactions.
    void playObjectCreated(const TiXmlElement& element);
    void playObjectDeleted(const TiXmlElement& element);
    void playVariableCreated(const TiXmlElement& element);
    void playVariableDeleted(const TiXmlElement& element);
    void playVariableSpecified(const TiXmlElement& element);
    void playVariableRestricted(const TiXmlElement& element);
    void playVariableAssigned(const TiXmlElement& element);
    void playVariableReset(const TiXmlElement& element);
    void playInvokeConstraint(const TiXmlElement& element);
    void playUninvokeConstraint(const TiXmlElement& element);

    // Temporal relations.
    void playTemporalRelationCreated(const TiXmlElement& element);
    void playTemporalRelationDeleted(const TiXmlElement& element);
    TemporalRelations::iterator getTemporalConstraint(const ConstrainedVariableId& first,
                                                      const ConstrainedVariableId& second,
                                                      const std::string& name);
    void deleteTemporalConstraint(TemporalRelations::iterator entry);
    void removeTemporalConstraint(const ConstrainedVariableId& first, const ConstrainedVariableId& second,
                                  const std::string& name);

    // Rewinding.

    /** Undoes the log's buffered elements newest first, popping each; stops at a breakpoint when asked. */
    void rewind(const DbClientTransactionLogId& txLog, bool breakpoint);

    /** Reads the whole stream, then undoes its elements newest first; stops at a breakpoint when asked. */
    void rewind(std::istream& is, bool breakpoint);

    /** Undoes one element; `start` designates it in the newest-first sequence, `end` lies past the oldest. */
    template <class It> void processTransactionInverse(const TiXmlElement& element, It start, It end);

    template <class It> void playUnfreed(const TiXmlElement& element, It start, It end);
    template <class It> void playUncancelled(const TiXmlElement& element, It start, It end);
    template <class It> void playTokenUndeleted(const TiXmlElement& element, It start, It end);

    template <class It> void playUninvokeConstraint(const TiXmlElement& element, It start, It end);
    template <class It> void playUninvokeTransaction(const TiXmlElement& element, It start, It end);
    template <class It> void playReinvokeConstraint(const TiXmlElement& element, It start, It end);
    template <class It> void playVariableUndeleted(const TiXmlElement& element, It start, It end);
    template <class It> void playVariableUnreset(const TiXmlElement& element, It start, It end);
    template <class It> void playObjectUndeleted(const TiXmlElement& element, It start, It end);

    // Reading helpers.

    /**
     * Reads the next element of the stream into the document, skipping the
     * text before it, and answers it (owned by the document), or null when
     * the stream can give no further element. Refuses, as a failed check, an
     * element nested deeper than MAX_NESTING, a truncated or malformed one,
     * and anything but one element; a comment or a declaration reads as an
     * element with an empty tag.
     */
    static const TiXmlElement* readElement(std::istream& is, TiXmlDocument& doc);

    /** Whether the element is the "invoke" form of its transaction. */
    static bool isInvoke(const TiXmlElement& element);

  protected:
    /** The entry of a name table, or the empty handle; never inserts. */
    template <class T>
    static Id<T> lookUp(const std::map<std::string, Id<T> >& table, const std::string& name) {
      typename std::map<std::string, Id<T> >::const_iterator it = table.find(name);
      return it == table.end() ? Id<T>::noId() : it->second;
    }

    DbClientId m_client;
    int m_objectCount;
    int m_varCount;
    std::set<std::string> m_filters;
    std::map<std::string, TokenId> m_tokens;
    std::map<std::string, ConstrainedVariableId> m_variables;
    TemporalRelations m_relations;

  private:
    DbClientTransactionPlayer(const DbClientTransactionPlayer&) = delete;
    DbClientTransactionPlayer& operator=(const DbClientTransactionPlayer&) = delete;

    /** "$OBJECT[n]" or "$VAR[n]" from the counter, which then moves on. */
    static std::string generatedName(const char* prefix, int& counter);

    /** The token a "goal" or "fact" known by no name made: the newest root token, which must be of its type. */
    TokenId madeToken(const TiXmlElement& instance, const TiXmlElement& element);

    /** Deletes the object through the client, after the constraints on its members and its components'. */
    void deleteObject(const ObjectId& obj);

    /** Deletes the constraint through the client, and the internal variables made for values in its scope. */
    void deleteMadeConstraint(const ConstraintId& constraint);
    /** Deletes so every constraint on the variables that their owners did not make. */
    void deleteConstraintsOn(const std::vector<ConstrainedVariableId>& variables);
    /** Constraints by entity key, newest first. */
    typedef std::map<int, ConstraintId, std::greater<int> > MadeConstraints;
    /** The constraints on the variables that their owners did not make. */
    static MadeConstraints constraintsMadeOn(const std::vector<ConstrainedVariableId>& variables);
    /** Deletes so the constraints, newest first. */
    void deleteConstraints(const MadeConstraints& made);

    /**
     * Takes back, from the client's ordering journal, what the call on the
     * object and tokens changed, when the journal's newest call is that one;
     * false (nothing done) otherwise.
     */
    bool tookBackFromJournal(OrderingJournal::Call call, const ObjectId& object, const TokenId& predecessor,
                          const TokenId& successor);
    /**
     * The object of that name is made again by a rewind: where the journal's
     * newest call deleted it, it goes back into the tokens' object domains it left.
     */
    void tookBackObjectDeletion(const char* name);

    /**
     * Plays an older element again for an undo, through `play`, around what
     * the plan holds since that refuses it: a token merged since is split off
     * for a value given to its variable and merged again after, tokens
     * rejected since are reinstated for a constraint on their variables and
     * rejected again after, and a merge goes around what holds the active
     * token (mergeAround). Every step is a call of the client.
     */
    template <class Play> void playAround(const TiXmlElement& element, Play play);
    /**
     * Merges the token onto the active token through `merge`, after what
     * refuses the merge stepped aside (stepAside); that comes back after it:
     * as if the merge had come first.
     */
    template <class Merge> void mergeAround(const TokenId& token, const TokenId& active, Merge merge);
    /** What stepped aside for a merge, to be given back after it in this order. */
    struct MergeObstacles {
      std::vector<TokenId> merged; // tokens split off the active token, merged onto it again
      std::vector<std::pair<LabelStr, std::vector<ConstrainedVariableId> > >
          constraints; // deleted, made again
      std::vector<std::pair<ConstrainedVariableId, double> > values; // reset, specified again
    };
    /** Steps aside, through the client, what refuses merging the token onto the active token. */
    void stepAside(const TokenId& token, const TokenId& active, MergeObstacles& obstacles);
    /** A constraint a client made and can delete and make again (no owner keeps it, nor the player). */
    bool madeByClient(const ConstraintId& constraint) const;
    /** Gives back, through the client, what stepped aside for a merge onto the active token. */
    void stepBack(const TokenId& active, const MergeObstacles& obstacles);
    /** Resets the variables of values[from...] through the client. */
    void resetValues(const std::vector<std::pair<ConstrainedVariableId, double> >& values, std::size_t from);
    /**
     * The variables, reached from the active token's through constraints,
     * that their owners specified and a client can reset and specify again,
     * in the order met.
     */
    std::vector<ConstrainedVariableId> specifiedAround(const TokenId& token, const TokenId& active);

    /** The variable that a "reset" element, plain or invoked, names (checked valid by the caller). */
    ConstrainedVariableId resetVariable(const TiXmlElement& element);

    // What the undo handlers read of older elements: nothing fails, nothing is created or entered.

    /** The token an "activate", "merge" (the merged one), "reject" or "cancel" element names, or none. */
    TokenId stateToken(const TiXmlElement& element);
    /** The variable a "specify" or "reset" element names, or none. */
    ConstrainedVariableId specifiedVariable(const TiXmlElement& element);

    /** The element is the "goal" or "fact" that made the token (by its path, else by its name). */
    bool madeTheToken(const TiXmlElement& element, const TokenId& token);
    /** The newest older element that changed the token's state, or the one that made it, or null. */
    template <class It>
    const TiXmlElement* newestStateChange(const TiXmlElement& element, const TokenId& token, It start,
                                          It end);
    /** The newest older "specify" or "reset" of the variable, or null. */
    /** The activation of `token` that `newest`, found older than `element`, repeated (or `newest` itself). */
    template <class It>
    const TiXmlElement* firstOfActivations(const TiXmlElement& element, const TiXmlElement& newest,
                                           const TokenId& token, It start, It end);
    template <class It>
    const TiXmlElement* newestSpecification(const TiXmlElement& element, const ConstrainedVariableId& var,
                                            It start, It end);
    /**
     * What a retraction or a deletion took with it besides the entity: the
     * token's orderings and the tokens merged onto it (cancel), and what
     * changed its variables (deletion): specifications, restrictions,
     * constraints and temporal relations.
     */
    struct Dependents {
      TokenId token;
      std::set<ConstrainedVariableId> variables;
      bool activation = false; // the token's newest activation or merge is in force when it went
      bool merges = false;
      bool orderings = false; // what the client's ordering journal does not give back
      bool changes = false;
    };
    /**
     * Gives back what the element took with it: the older elements, down to
     * `origin` (which made or activated the entity again already), that were
     * still in force when the element was played, played again oldest first.
     */
    template <class It>
    void restoreDependents(const TiXmlElement& element, const Dependents& what, const TiXmlElement* origin,
                           It start, It end);
    /** What a search for dependents found: the elements to play again, and the objects made since the token. */
    struct DependentElements {
      std::vector<const TiXmlElement*> replay; // newest first
      std::vector<double> later; // objects made after the token, by name
      int unnamedLater = 0; // how many a "new" without name made after the token
      bool operator==(const DependentElements& other) const {
        return replay == other.replay && later == other.later && unnamedLater == other.unnamedLater;
      }
    };
    /**
     * The index keys of every element that findDependents acts on, older than
     * `start` and newer than `origin`: the references to the token, to the
     * tokens merged onto it or ordered with it and to the variables; false
     * when some cannot be told.
     */
    template <class It>
    bool dependentsSought(const Dependents& what, const TiXmlElement* origin, It start, It end,
                          MentionKeys& keys);
    /** The dependents among the elements older than `start`, down to `origin`, over `keys` (all when null). */
    template <class It>
    DependentElements findDependents(const Dependents& what, const TiXmlElement* origin, It start, It end,
                                     const MentionKeys* keys);
    /** Undoes the elements of a root, newest first. */
    template <class It> void rewindRoot(const TiXmlElement& root, It start, It end);

    /** For each name that a later token took over, the tokens that had it before, oldest first. */
    std::map<std::string, std::vector<TokenId> > m_shadowedTokens;

    /** How many "zorl" roots enclose the element being processed. */
    int m_zorlDepth;

    /** While a rewind runs: finds the older elements that a search can match. */
    RewindIndex* m_rewindIndex = nullptr;

    /** While a rewind runs: how many objects named by the counter the elements undone so far made. */
    int m_unnamedUndone = 0;

    /** While the children of a root are undone: the root's earlier elements, searched first. */
    RootRewind* m_root = nullptr;
  };

  /**
   * The player offered to a host engine as the language "zorl-xml-txn". Its
   * name tables last from one interpret call to the next.
   */
  class ZorlXmlTxnInterpreter : public LanguageInterpreter {
  public:
    explicit ZorlXmlTxnInterpreter(const DbClientId& client);
    ~ZorlXmlTxnInterpreter() noexcept(false) override;

    /** Plays the stream; answers "". The script text is not used. */
    std::string interpret(std::istream& input, const std::string& script) override;

  private:
    DbClientTransactionPlayer m_interpreter;
  };

}

#endif
