#ifndef KADRIX_TRANSACTION_NAME_HH
#define KADRIX_TRANSACTION_NAME_HH

class TiXmlElement;

namespace KADRIX {

  /**
   * The names of tags and transactions that rewinding tells apart. A name is
   * told by a scan of a fixed table that compares first letters before texts;
   * every name the table does not hold is OTHER.
   */
  enum class TransactionName : unsigned char {
    BREAKPOINT,
    CLASS_DECL,
    CLASS,
    ENUM,
    TYPEDEF,
    COMPAT,
    ACTIVATE,
    MERGE,
    REJECT,
    CANCEL,
    CONSTRAIN,
    FREE,
    SPECIFY,
    RESET,
    RESTRICT,
    ASSIGN,
    VAR,
    DELETEVAR,
    NEW,
    DELETEOBJECT,
    GOAL,
    FACT,
    DELETETOKEN,
    DELETECONSTRAINT,
    INVOKE,
    OTHER
  };

  /** The name of a text; OTHER for null. */
  TransactionName transactionName(const char* text);

  /**
   * An element's tag and the transaction that it stands for: its tag, or an
   * "invoke" element's "name" (as DbClientTransactionPlayer::transactionMatch
   * tells it), each told once.
   */
  struct ElementNames {
    explicit ElementNames(const TiXmlElement& element);

    /** "activate", "merge", "reject" or "cancel". */
    bool changesState() const {
      return transaction == TransactionName::ACTIVATE || transaction == TransactionName::MERGE ||
             transaction == TransactionName::REJECT || transaction == TransactionName::CANCEL;
    }
    /** "constrain" or "free". */
    bool orders() const {
      return transaction == TransactionName::CONSTRAIN || transaction == TransactionName::FREE;
    }

    TransactionName tag;
    TransactionName transaction;
  };

}

#endif
