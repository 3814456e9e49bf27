#include "PlanDatabase/transactions/DbClientTransactionPlayer.hh"

#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "Utils/base/Debug.hh"

#include <tinyxml.h>

#include <cctype>
#include <cstring>
#include <istream>
#include <list>
#include <memory>
#include <vector>

namespace KADRIX {

  namespace {

    typedef void (DbClientTransactionPlayer::*Handler)(const TiXmlElement&);

    /** One row of the dispatch table: a transaction name and its handler (none: nothing to play). */
    struct DispatchRow {
      const char* name;
      Handler handler;
    };

    /** Tested in order; the first row whose name the element matches plays it. */
    const DispatchRow s_dispatch[] = {
        {"breakpoint", nullptr},
        {"class_decl", &DbClientTransactionPlayer::playDeclareClass},
        {"class", &DbClientTransactionPlayer::playDefineClass},
        {"enum", &DbClientTransactionPlayer::playDefineEnumeration},
        {"typedef", &DbClientTransactionPlayer::playDefineType},
        {"compat", &DbClientTransactionPlayer::playDefineCompat},
        {"var", &DbClientTransactionPlayer::playVariableCreated},
        {"deletevar", &DbClientTransactionPlayer::playVariableDeleted},
        {"new", &DbClientTransactionPlayer::playObjectCreated},
        {"deleteobject", &DbClientTransactionPlayer::playObjectDeleted},
        {"goal", &DbClientTransactionPlayer::playTokenCreated},
        {"fact", &DbClientTransactionPlayer::playFactCreated},
        {"deletetoken", &DbClientTransactionPlayer::playTokenDeleted},
        {"constrain", &DbClientTransactionPlayer::playConstrained},
        {"free", &DbClientTransactionPlayer::playFreed},
        {"activate", &DbClientTransactionPlayer::playActivated},
        {"merge", &DbClientTransactionPlayer::playMerged},
        {"reject", &DbClientTransactionPlayer::playRejected},
        {"cancel", &DbClientTransactionPlayer::playCancelled},
        {"specify", &DbClientTransactionPlayer::playVariableSpecified},
        {"assign", &DbClientTransactionPlayer::playVariableAssigned},
        {"restrict", &DbClientTransactionPlayer::playVariableRestricted},
        {"reset", &DbClientTransactionPlayer::playVariableReset},
        {"invoke", &DbClientTransactionPlayer::playInvokeConstraint},
        {"deleteconstraint", &DbClientTransactionPlayer::playUninvokeConstraint},
    };

    /** The transactions that playInvokeTransaction hands on (besides "close"). */
    const DispatchRow s_invoked[] = {
        {"constrain", &DbClientTransactionPlayer::playConstrained},
        {"free", &DbClientTransactionPlayer::playFreed},
        {"activate", &DbClientTransactionPlayer::playActivated},
        {"merge", &DbClientTransactionPlayer::playMerged},
        {"reject", &DbClientTransactionPlayer::playRejected},
        {"cancel", &DbClientTransactionPlayer::playCancelled},
        {"specify", &DbClientTransactionPlayer::playVariableSpecified},
    };

    /** Counts the "zorl" roots around the element being processed, also when a handler fails. */
    class DepthGuard {
    public:
      explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
      ~DepthGuard() { --m_depth; }

    private:
      int& m_depth;
    };

    /**
     * Attributes one element may carry: TinyXML looks each new attribute up
     * among the earlier ones, so their number must stay small.
     */
    const int MAX_ATTRIBUTES = 1000;

    /** The start of a text for messages: long texts are cut. */
    std::string excerpt(const std::string& text) {
      const std::string::size_type limit = 80;
      return text.size() <= limit ? text : text.substr(0, limit) + "...";
    }

    /**
     * Reads the text of one element from a stream without parsing it, the way
     * TinyXML will cut it into markup items (start tags with quoted attribute
     * values, end tags, comments, CDATA sections, declarations and other "<"
     * items that end at the next ">"), so that its depth is known before
     * TinyXML, which parses recursively, sees it. Characters go through the
     * stream buffer; the end of input sets the stream's end-of-file flag.
     */
    class ElementScanner {
    public:
      enum Item { START, EMPTY, END, DECLARATION, OTHER, TRUNCATED };

      explicit ElementScanner(std::istream& is) : m_is(is) {}

      std::string text;

      /**
       * Moves up to the next "<", taking the characters passed (an element's
       * content) or dropping them (text between elements); false at the end of input.
       */
      bool advanceToMarkup(bool keep) {
        for (int c = peek(); c != EOF; c = peek()) {
          if (c == '<')
            return true;
          if (keep)
            take();
          else
            skip();
        }
        return false;
      }

      /** Takes one markup item, standing at its "<". */
      Item readMarkup() {
        take();
        const int c = peek();
        if (c == EOF)
          return TRUNCATED;
        if (c == '/')
          return readUntil(">") ? END : TRUNCATED;
        if (c == '!') {
          take();
          // A prefix taken in part holds no ">": the item is then one that ends at the next ">".
          const int next = peek();
          if (next == '-' && takePrefix("--", false))
            return readUntil("-->") ? OTHER : TRUNCATED;
          if (next == '[' && takePrefix("[CDATA[", false))
            return readUntil("]]>") ? OTHER : TRUNCATED;
          return readUntil(">") ? OTHER : TRUNCATED;
        }
        if (c == '?') {
          take();
          const Item kind = takePrefix("xml", true) ? DECLARATION : OTHER;
          return readUntil(">") ? kind : TRUNCATED;
        }
        if (std::isalpha(c) || c == '_' || c >= 127)
          return readTag();
        return readUntil(">") ? OTHER : TRUNCATED;
      }

    private:
      /** The next character, or EOF when the stream can give no more (its state then says why). */
      int peek() {
        if (!m_is.good())
          return EOF;
        int c = EOF;
        try {
          c = m_is.rdbuf()->sgetc();
        } catch (...) {
          m_is.setstate(std::ios::badbit); // as the stream's own reading does
          return EOF;
        }
        if (c == EOF)
          m_is.setstate(std::ios::eofbit);
        return c;
      }

      /** Moves past the character that peek() gave. */
      void skip() { m_is.rdbuf()->sbumpc(); }

      /** Moves the character that peek() gave into the text. */
      void take() {
        text.push_back(static_cast<char>(m_is.rdbuf()->sgetc()));
        skip();
      }

      /** Takes the characters of the prefix while they come; true when all came. */
      bool takePrefix(const char* prefix, bool ignoreCase) {
        for (; *prefix != 0; ++prefix) {
          const int c = peek();
          if (c == EOF || (ignoreCase ? std::tolower(c) != *prefix : c != *prefix))
            return false;
          take();
        }
        return true;
      }

      /** Takes characters up to and including the terminator; false at the end of input. */
      bool readUntil(const std::string& terminator) {
        const std::string::size_type from = text.size();
        const int last = static_cast<unsigned char>(terminator.back());
        for (int c = peek(); c != EOF; c = peek()) {
          take();
          if (c == last && text.size() - from >= terminator.size() &&
              text.compare(text.size() - terminator.size(), terminator.size(), terminator) == 0)
            return true;
        }
        return false;
      }

      /**
       * A start tag: ends at the first ">" outside a quoted attribute value;
       * "/>" ends an empty one. Each "=" outside a value starts one attribute.
       */
      Item readTag() {
        bool afterEquals = false;
        int previous = 0;
        int attributes = 0;
        for (int c = peek(); c != EOF; c = peek()) {
          take();
          if (c == '>')
            return previous == '/' ? EMPTY : START;
          if (afterEquals && (c == '"' || c == '\'')) {
            if (!readUntil(std::string(1, static_cast<char>(c))))
              return TRUNCATED;
            afterEquals = false;
          } else if (c == '=') {
            afterEquals = true;
            KADRIX_CHECK_MSG(++attributes <= MAX_ATTRIBUTES, "Transaction element with more than "
                                                                 << MAX_ATTRIBUTES
                                                                 << " attributes: " << excerpt(text));
          } else if (!std::isspace(c))
            afterEquals = false;
          previous = c;
        }
        return TRUNCATED;
      }

      std::istream& m_is;
    };

  }

  DbClientTransactionPlayer::DbClientTransactionPlayer(const DbClientId& client)
    : m_client(client), m_objectCount(0), m_varCount(0), m_zorlDepth(0) {}

  DbClientTransactionPlayer::~DbClientTransactionPlayer() {}

  const std::set<std::string>& DbClientTransactionPlayer::NO_TRANSACTIONS() {
    static const std::set<std::string> s_names{"breakpoint"};
    return s_names;
  }

  const std::set<std::string>& DbClientTransactionPlayer::STATE_TRANSACTIONS() {
    static const std::set<std::string> s_names{"var",     "new",      "goal",     "fact",   "constrain",
                                               "free",    "activate", "merge",    "reject", "cancel",
                                               "specify", "assign",   "restrict", "reset",  "invoke"};
    return s_names;
  }

  const std::set<std::string>& DbClientTransactionPlayer::MODEL_TRANSACTIONS() {
    static const std::set<std::string> s_names{"class_decl", "class", "enum", "typedef", "compat"};
    return s_names;
  }

  void DbClientTransactionPlayer::setFilter(const std::set<std::string>& filters) { m_filters = filters; }

  bool DbClientTransactionPlayer::isInvoke(const TiXmlElement& element) {
    return strcmp(element.Value(), "invoke") == 0;
  }

  bool DbClientTransactionPlayer::transactionMatch(const TiXmlElement& trans, const char* name) const {
    if (strcmp(name, trans.Value()) == 0)
      return true;
    if (strcmp(trans.Value(), "invoke") != 0)
      return false;
    const char* invoked = trans.Attribute("name");
    return invoked != nullptr && strcmp(name, invoked) == 0;
  }

  bool DbClientTransactionPlayer::transactionFiltered(const TiXmlElement& trans) const {
    for (std::set<std::string>::const_iterator it = m_filters.begin(); it != m_filters.end(); ++it)
      if (transactionMatch(trans, *it))
        return true;
    return false;
  }

  const Id<Schema>& DbClientTransactionPlayer::getSchema() const { return m_client->getSchema(); }

  const Id<CESchema>& DbClientTransactionPlayer::getCESchema() const { return m_client->getCESchema(); }

  const TiXmlElement* DbClientTransactionPlayer::readElement(std::istream& is, TiXmlDocument& doc) {
    ElementScanner in(is);
    if (!in.advanceToMarkup(false))
      return nullptr;
    int depth = 0;
    bool complete = false;
    for (;;) {
      const ElementScanner::Item item = in.readMarkup();
      if (item == ElementScanner::TRUNCATED)
        break;
      if (depth == 0 && item != ElementScanner::START && item != ElementScanner::EMPTY)
        // A comment, a declaration or a stray end tag between elements: no transaction.
        return doc.LinkEndChild(new TiXmlElement(""))->ToElement();
      KADRIX_CHECK_MSG(item != ElementScanner::DECLARATION,
                       "An XML declaration stands inside a transaction element: " << excerpt(in.text));
      if (item == ElementScanner::START) {
        ++depth;
        KADRIX_CHECK_MSG(depth <= MAX_NESTING, "Transaction element nested deeper than "
                                                   << MAX_NESTING << " levels: " << excerpt(in.text));
      } else if (item == ElementScanner::END)
        --depth;
      if (depth == 0) {
        complete = true;
        break;
      }
      if (!in.advanceToMarkup(true))
        break;
    }
    KADRIX_CHECK_MSG(!is.bad(), "The input stream failed while transactions were read from it.");
    KADRIX_CHECK_MSG(in.text.find('\0') == std::string::npos,
                     "A transaction element holds a NUL character: " << excerpt(in.text));
    doc.Parse(in.text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    KADRIX_CHECK_MSG(!doc.Error(),
                     "Malformed transaction element (" << doc.ErrorDesc() << "): " << excerpt(in.text));
    KADRIX_CHECK_MSG(complete,
                     "Transaction element truncated by the end of the stream: " << excerpt(in.text));
    const TiXmlElement* element = doc.RootElement();
    KADRIX_CHECK_MSG(element != nullptr && doc.FirstChild() == element && doc.LastChild() == element,
                     "Expected exactly one transaction element in: " << excerpt(in.text));
    return element;
  }

  void DbClientTransactionPlayer::play(std::istream& is) {
    int txCounter = 0;
    KADRIX_CHECK_MSG(is, "Invalid input stream for playing transactions.");
    for (;;) {
      TiXmlDocument doc;
      const TiXmlElement* element = readElement(is, doc);
      if (element == nullptr)
        break;
      processTransaction(*element);
      txCounter++;
    }
    KADRIX_CHECK_MSG(!is.bad(), "The input stream failed while transactions were read from it.");
    KADRIX_CHECK_MSG(txCounter > 0, "Failed to find any transactions in stream.");
  }

  void DbClientTransactionPlayer::play(const DbClientTransactionLogId& txLog) {
    KADRIX_CHECK_MSG(txLog.isValid(), "No transaction log to play.");
    // A log may listen on this player's client, or drop elements as they are
    // played: play copies of what it holds now.
    const std::list<TiXmlElement*>& buffered = txLog->getBufferedTransactions();
    std::vector<std::unique_ptr<TiXmlNode> > copies;
    copies.reserve(buffered.size());
    for (std::list<TiXmlElement*>::const_iterator it = buffered.begin(); it != buffered.end(); ++it)
      copies.emplace_back((*it)->Clone());
    for (std::size_t i = 0; i < copies.size(); ++i)
      processTransaction(*copies[i]->ToElement());
  }

  void DbClientTransactionPlayer::processTransaction(const TiXmlElement& element) {
    const char* tagname = element.Value();
    KADRIX_DEBUG("DbClientTransactionPlayer:processTransaction", "Processing transaction " << element);
    if (!transactionFiltered(element)) {
      const DispatchRow* row = nullptr;
      for (const DispatchRow& candidate : s_dispatch)
        if (transactionMatch(element, candidate.name)) {
          row = &candidate;
          break;
        }
      if (row != nullptr) {
        if (row->handler != nullptr)
          (this->*(row->handler))(element);
      } else {
        KADRIX_CHECK_MSG(strcmp(tagname, "zorl") == 0, "Unknown tag name " << tagname);
        KADRIX_CHECK_MSG(m_zorlDepth < MAX_NESTING,
                         "\"zorl\" elements are nested deeper than " << MAX_NESTING << " levels.");
        DepthGuard guard(m_zorlDepth);
        for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
          processTransaction(*child);
          if (!m_client->propagate())
            return;
        }
      }
    }
    m_client->propagate();
  }

  void DbClientTransactionPlayer::playDeclareClass(const TiXmlElement&) {}
  void DbClientTransactionPlayer::playDefineClass(const TiXmlElement&) {}
  void DbClientTransactionPlayer::playDefineCompat(const TiXmlElement&) {}
  void DbClientTransactionPlayer::playDefineEnumeration(const TiXmlElement&) {}
  void DbClientTransactionPlayer::playDefineType(const TiXmlElement&) {}

  void DbClientTransactionPlayer::playInvokeTransaction(const TiXmlElement& element) {
    const char* name = element.Attribute("name");
    KADRIX_CHECK(name != NULL);
    const char* identifier = element.Attribute("identifier");
    if (strcmp(name, "close") == 0) {
      if (identifier == nullptr)
        m_client->close();
      else
        m_client->close(identifier);
      return;
    }
    for (const DispatchRow& row : s_invoked)
      if (strcmp(name, row.name) == 0) {
        (this->*(row.handler))(element);
        return;
      }
    KADRIX_FAIL("unexpected transaction invoked: '" << name << "'");
  }

  ZorlXmlTxnInterpreter::ZorlXmlTxnInterpreter(const DbClientId& client)
    : LanguageInterpreter(), m_interpreter(client) {}

  ZorlXmlTxnInterpreter::~ZorlXmlTxnInterpreter() noexcept(false) {}

  std::string ZorlXmlTxnInterpreter::interpret(std::istream& input, const std::string&) {
    m_interpreter.play(input);
    return "";
  }

}
