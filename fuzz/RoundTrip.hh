#ifndef KADRIX_FUZZ_ROUND_TRIP_HH
#define KADRIX_FUZZ_ROUND_TRIP_HH

// The round trip of one transaction stream, shared by the round-trip fuzz
// target and by the test that replays its corpus. A stream that plays must
// then be written, replayed from what a log recorded into a second database
// to the same plan, and rewound, from the log and from the stream, to any
// breakpoint (the plan as it was when the breakpoint was played) and to the
// start (nothing the stream made remains); a log kept on the client across a
// rewind to the breakpoint replays to the plan the rewind gave back. Each broken promise is reported
// as a RoundTripFailure that names its stage; what the README lists as not
// done is excused, and only that.

#include "PlayerFuzzInput.hh"

#include "PlanDatabase/base/PlanDatabaseWriter.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "rover/PlanText.hh"

#include <tinyxml.h>

#include <cstring>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace KADRIX {
  namespace fuzz {

    /** A stage of the round trip that broke its promise. */
    class RoundTripFailure : public std::runtime_error {
    public:
      RoundTripFailure(const std::string& stage, const std::string& what)
        : std::runtime_error(stage + ": " + what) {}
    };

    /**
     * The plan's canonical text and the engine's counts. The writer refuses a
     * plan that propagation proved inconsistent: such a plan is only counted.
     */
    inline std::string planState(PlanDatabase& db) {
      const ConstraintEngineId& engine = db.getConstraintEngine();
      const std::pair<unsigned int, unsigned int> counts = RoverModel::engineCounts(engine);
      const std::string text = engine->provenInconsistent()
                                   ? "inconsistent: " + std::to_string(db.getObjects().size()) +
                                         " objects, " + std::to_string(db.getTokens().size()) + " tokens, " +
                                         std::to_string(db.getGlobalVariables().size()) +
                                         " global variables\n"
                                   : RoverModel::canonicalText(db.getId());
      return text + "engine: " + std::to_string(counts.first) + " variables, " +
             std::to_string(counts.second) + " constraints\n";
    }

    /** Runs one stage; a failed check becomes a failure of that stage. */
    template <class F> void stage(const char* name, F f) {
      try {
        f();
      } catch (const Error& e) {
        throw RoundTripFailure(name, e.what());
      }
    }

    /**
     * A token made while a type of its object parameters had no objects: the
     * plan is consistent, but made again by a rewind, its emptied parameter
     * makes it inconsistent.
     */
    inline bool hadNoObjects(const std::string& plan) {
      static const std::regex s_empty("\t[^\t=]+=[A-Za-z_][A-Za-z0-9_]*:CLOSED\\{\\}\n");
      return std::regex_search(plan, s_empty);
    }

    /**
     * The plan is the one expected; where a rewind made tokens again
     * (`madeAgain`), one made while a type of its parameters had no objects
     * may differ.
     */
    inline void expectPlan(const char* name, const std::string& expected, PlanDatabase& db,
                           bool madeAgain = false) {
      std::string actual;
      stage(name, [&] { actual = planState(db); });
      if (expected != actual && !(madeAgain && hadNoObjects(expected)))
        throw RoundTripFailure(name,
                               "the plans differ\n--- expected:\n" + expected + "--- found:\n" + actual);
    }

    /**
     * What of a stream the README lists as not done. Each flag excuses one
     * stage; everything else must hold.
     */
    struct Excuses {
      /** "assign" changes a variable without telling the client: no log records it. */
      bool unrecorded = false;
      /** After the newest breakpoint, an element that a rewind does not undo ("assign", "restrict", "close"). */
      bool notUndoneAfterBreakpoint = false;
      /** A token named as a log names its tokens ("0", "1", ...): the player cannot rewind that log. */
      bool logNames = false;
      /** Closing is not undone: an object deleted before its type was closed cannot be made again. */
      bool closes = false;
      /** An object made by a "new" without name cannot be deleted by a rewind, nor made again. */
      bool unnamedObjects = false;
      /**
       * One name given to two tokens, or a token named by a path that a
       * deletion gave back to another token: the stream's older elements that
       * name the first may find the second.
       */
      bool renamed = false;
      /** A constraint over values alone: only a true "index" finds it to undo it. */
      bool valuesOnly = false;
      /** A "deleteconstraint" without name or scope: what it deleted cannot be told to make it again. */
      bool unscopedDeletions = false;
      /**
       * A "new" inside another element, named by the counter: a rewind of the
       * stream leaves its object, and does not make it again.
       */
      bool nestedObjects = false;
      /** Such a "new" after the newest breakpoint. */
      bool nestedObjectsAfterBreakpoint = false;
      /** A deleted token that a rewind makes again: a parameter over a type without objects comes back empty. */
      bool tokensMadeAgain = false;
    };

    /** A name made of digits alone, as a log gives its tokens. */
    inline bool isLogName(const char* name) {
      if (name == nullptr || *name == '\0')
        return false;
      for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9')
          return false;
      return true;
    }

    /** A failed rewind that the README lists as not done. */
    inline bool excused(const Excuses& excuses, const Error& e) {
      const std::string& message = e.getMessage();
      const bool madeInClosedType = message.rfind("Cannot add object ", 0) == 0 &&
                                    message.find(" is already closed.") != std::string::npos;
      const bool unnamed = (e.getCondition() == "name != NULL" && message.empty()) ||
                           message.rfind("No creation transaction to complement <deleteobject ", 0) == 0;
      // A variable made again after its type was closed holds the type's objects.
      const bool heldAfterClose = e.getCondition() == "holder.first.isNoId()";
      const bool tokensCouldBeOn = e.getCondition() == "tokens().empty()";
      const bool unfound = e.getCondition() == "index != NULL" || e.getCondition() == "decimal" ||
                           message.rfind("No constraint at index ", 0) == 0 ||
                           message.rfind("The constraint at index ", 0) == 0;
      const bool unscoped =
          e.getCondition() == "!vars.empty()" || (e.getCondition() == "name != NULL" && message.empty());
      const bool madeAgain = message.rfind("A rewind does not make again the object of a \"new\" without name", 0) == 0;
      return (excuses.closes && (madeInClosedType || heldAfterClose)) ||
             (excuses.unnamedObjects && unnamed) || tokensCouldBeOn || (excuses.valuesOnly && unfound) ||
             (excuses.unscopedDeletions && unscoped) || (excuses.nestedObjects && madeAgain);
    }

    /** Runs a rewinding stage; false when it failed as the excuses allow (the rewind is then given up). */
    template <class F> bool rewindStage(const char* name, const Excuses& excuses, F f) {
      try {
        f();
        return true;
      } catch (const Error& e) {
        if (excused(excuses, e))
          return false;
        throw RoundTripFailure(name, e.what());
      }
    }

    /**
     * The transaction names of the element and of every element inside it;
     * token names as "#" + name. `named`: the element, a "new", is named by
     * itself or by its variable; `nested`: it stands inside another element.
     */
    inline void collectNames(const TiXmlElement& element, std::vector<std::string>& names, bool named = true,
                             bool nested = false) {
      names.push_back(element.Value());
      const bool deletion =
          std::strcmp(element.Value(), "deletevar") == 0 || std::strcmp(element.Value(), "deleteconstraint") == 0;
      if (std::strcmp(element.Value(), "new") == 0 && (nested ? !named : element.Attribute("name") == nullptr))
        names.push_back(nested ? "nested new" : "unnamed new");
      if (std::strcmp(element.Value(), "deleteconstraint") == 0 &&
          (element.Attribute("name") == nullptr || element.FirstChildElement() == nullptr))
        names.push_back("unscoped deletion");
      if (std::strcmp(element.Value(), "invoke") == 0 && element.Attribute("identifier") == nullptr &&
          element.FirstChildElement() != nullptr &&
          element.FirstChildElement("variable") == nullptr && element.FirstChildElement("id") == nullptr)
        names.push_back("values only");
      if (std::strcmp(element.Value(), "invoke") == 0 && element.Attribute("name") != nullptr)
        names.push_back(element.Attribute("name"));
      if ((std::strcmp(element.Value(), "token") == 0 && element.Attribute("path") != nullptr) ||
          (std::strcmp(element.Value(), "variable") == 0 && element.Attribute("token") != nullptr))
        names.push_back("path reference");
      const TiXmlElement* instance = element.FirstChildElement();
      if ((std::strcmp(element.Value(), "goal") == 0 || std::strcmp(element.Value(), "fact") == 0) &&
          instance != nullptr && element.Attribute("relation") == nullptr)
        names.push_back(instance->Attribute("name") != nullptr ? std::string("#") + instance->Attribute("name")
                                                               : std::string("unnamed token"));
      for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
           child = child->NextSiblingElement())
        collectNames(*child, names,
                     deletion || (std::strcmp(element.Value(), "var") == 0 && child == element.FirstChildElement()),
                     std::strcmp(element.Value(), "zorl") != 0); // a root's children are transactions
    }

    /** The top-level elements of a stream that played, as they were read. */
    inline std::vector<std::unique_ptr<TiXmlElement> > readAll(const std::string& text) {
      std::vector<std::unique_ptr<TiXmlElement> > elements;
      std::istringstream is(text);
      for (;;) {
        TiXmlDocument doc;
        const TiXmlElement* element = DbClientTransactionPlayer::readElement(is, doc);
        if (element == nullptr)
          return elements;
        elements.emplace_back(element->Clone()->ToElement());
      }
    }

    inline bool isBreakpoint(const TiXmlElement& element) {
      return std::strcmp(element.Value(), "breakpoint") == 0;
    }

    inline Excuses excusesOf(const std::vector<std::unique_ptr<TiXmlElement> >& elements) {
      Excuses excuses;
      bool afterBreakpoint = false;
      bool pathReferences = false;
      bool unnamedAfterDeletion = false; // an unnamed token made after a deletion may take a path back
      bool unnamedNewer = false; // walking newest first: an unnamed token was met
      std::set<std::string> tokenNames;
      for (std::size_t i = elements.size(); i-- > 0;) {
        if (isBreakpoint(*elements[i]))
          afterBreakpoint = true;
        std::vector<std::string> names;
        collectNames(*elements[i], names);
        for (const std::string& name : names) {
          excuses.unrecorded = excuses.unrecorded || name == "assign";
          excuses.closes = excuses.closes || name == "close";
          excuses.unnamedObjects = excuses.unnamedObjects || name == "unnamed new";
          excuses.valuesOnly = excuses.valuesOnly || name == "values only";
          excuses.unscopedDeletions = excuses.unscopedDeletions || name == "unscoped deletion";
          excuses.nestedObjects = excuses.nestedObjects || name == "nested new";
          excuses.tokensMadeAgain = excuses.tokensMadeAgain || name == "deletetoken";
          excuses.logNames = excuses.logNames || (name[0] == '#' && isLogName(name.c_str() + 1));
          excuses.renamed = excuses.renamed || (name[0] == '#' && !tokenNames.insert(name).second);
          pathReferences = pathReferences || name == "path reference";
          unnamedAfterDeletion = unnamedAfterDeletion || (name == "deletetoken" && unnamedNewer);
          unnamedNewer = unnamedNewer || name == "unnamed token";
          if (!afterBreakpoint && (name == "assign" || name == "restrict" || name == "close"))
            excuses.notUndoneAfterBreakpoint = true;
          excuses.nestedObjectsAfterBreakpoint = excuses.nestedObjectsAfterBreakpoint ||
                                                 (!afterBreakpoint && name == "nested new");
        }
      }
      excuses.renamed = excuses.renamed || (pathReferences && unnamedAfterDeletion);
      return excuses;
    }

    /**
     * Plays a stream and notes the plan at each top-level breakpoint, where
     * it also marks the log that will be rewound.
     */
    class BreakpointPlayer : public DbClientTransactionPlayer {
    public:
      BreakpointPlayer(PlanDatabase& db, DbClientTransactionLog* log)
        : DbClientTransactionPlayer(db.getClient()), m_db(db), m_log(log) {}

      void processTransaction(const TiXmlElement& element) override {
        if (!m_played.empty())
          ++m_played.back();
        m_played.push_back(0);
        try {
          DbClientTransactionPlayer::processTransaction(element);
        } catch (...) {
          m_played.pop_back();
          throw;
        }
        // A root whose propagation failed part-way played only its first children.
        std::size_t children = 0;
        for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement())
          ++children;
        m_cutRoot = m_cutRoot || (std::strcmp(element.Value(), "zorl") == 0 && m_played.back() < children);
        m_played.pop_back();
        if (m_played.empty() && isBreakpoint(element)) {
          stage("write at the breakpoint", [&] { m_atBreakpoint = planState(m_db); });
          if (m_log != nullptr)
            m_log->insertBreakpoint();
        }
      }

      /** The plan when the newest top-level breakpoint was played, or "" when none was. */
      const std::string& atBreakpoint() const { return m_atBreakpoint; }
      /** Some root stopped before its last child: a rewind of the stream undoes them all. */
      bool cutRoot() const { return m_cutRoot; }

    private:
      PlanDatabase& m_db;
      DbClientTransactionLog* m_log;
      std::vector<std::size_t> m_played; // per element being played, how many of its children were
      std::string m_atBreakpoint;
      bool m_cutRoot = false;
    };

    /** The text of the elements, one per line, as a log writes them. */
    inline std::string asText(const std::vector<std::unique_ptr<TiXmlElement> >& elements,
                              std::size_t count) {
      std::ostringstream os;
      for (std::size_t i = 0; i < count; ++i)
        os << *elements[i] << "\n";
      return os.str();
    }

    /**
     * The stream with a breakpoint after one of its top-level elements, or
     * before them all, where it has none of its own: every stream that plays
     * is then also rewound to a point inside it. The place follows from the
     * text's length; the text is otherwise kept byte for byte.
     */
    inline std::string withBreakpoint(const std::string& text) {
      std::vector<std::size_t> ends; // the offset after each top-level element
      try {
        std::istringstream is(text);
        for (;;) {
          TiXmlDocument doc;
          const TiXmlElement* element = DbClientTransactionPlayer::readElement(is, doc);
          if (element == nullptr)
            break;
          if (isBreakpoint(*element))
            return text;
          const std::streamoff end = is.tellg();
          ends.push_back(end < 0 ? text.size() : static_cast<std::size_t>(end));
        }
      } catch (const Error&) {
        return text; // it does not play either
      }
      if (ends.empty())
        return text;
      const std::size_t after = text.size() % (ends.size() + 1);
      const std::size_t at = after == 0 ? 0 : ends[after - 1];
      return text.substr(0, at) + "<breakpoint/>" + text.substr(at);
    }

    /** The number of top-level elements before the newest breakpoint. */
    inline std::size_t beforeBreakpoint(const std::vector<std::unique_ptr<TiXmlElement> >& elements) {
      std::size_t before = elements.size();
      while (before > 0 && !isBreakpoint(*elements[before - 1]))
        --before;
      return before == 0 ? 0 : before - 1;
    }

    /** A fresh rover plan with transaction logging on. */
    class LoggedPlan : public FreshPlan {
    public:
      LoggedPlan() : m_empty(planState(db())) {
        static_cast<DbClient*>(db().getClient())->enableTransactionLogging();
      }
      /** The state of the plan before anything was played. */
      const std::string& empty() const { return m_empty; }

    private:
      const std::string m_empty;
    };

    /**
     * A log kept on the client across a rewind, written out and played into a
     * fresh database, gives the rewound plan; excused where the rewind made
     * changes that no calls of the client make (the client counts them), or
     * where the stream changed a variable without telling the client.
     */
    inline void expectKeptLogReplays(const char* name, DbClientTransactionLog& kept, PlanDatabase& db,
                                     const Excuses& excuses) {
      if (excuses.unrecorded ||
          static_cast<DbClient*>(db.getClient())->untoldChanges() > 0)
        return;
      std::string text;
      stage(name, [&] {
        std::ostringstream os;
        kept.flush(os);
        text = os.str();
      });
      LoggedPlan fresh;
      DbClientTransactionPlayer player(fresh.db().getClient());
      stage(name, [&] {
        std::istringstream is(text);
        if (text.find('<') != std::string::npos)
          player.play(is);
      });
      std::string rewound;
      stage(name, [&] { rewound = planState(db); });
      expectPlan(name, rewound, fresh.db());
    }

    /** Deletes the objects named by a player's counter ("$OBJECT[n]"), which a stream rewind leaves. */
    inline void deleteCounterObjects(PlanDatabase& db) {
      DbClient& client = *static_cast<DbClient*>(db.getClient());
      std::vector<ObjectId> left;
      for (const ObjectId& object : db.getObjects())
        if (object->getParent().isNoId() && object->getName().toString().rfind("$OBJECT[", 0) == 0)
          left.push_back(object);
      for (const ObjectId& object : left)
        client.deleteObject(object);
    }

    /**
     * Plays the text, with a breakpoint placed in it where it has none, and,
     * when it plays, checks every promise of the round trip.
     */
    inline void roundTrip(const std::string& input) {
      const std::string text = withBreakpoint(input);
      LoggedPlan a;
      std::string recorded, atEnd, atBreakpoint;
      std::vector<std::unique_ptr<TiXmlElement> > elements;
      Excuses excuses;
      bool cutRoot = false;
      {
        DbClientTransactionLog forReplay(a.db().getClient(), false);
        DbClientTransactionLog forRewind(a.db().getClient(), false);
        DbClientTransactionLog keptAcross(a.db().getClient(), false);
        BreakpointPlayer player(a.db(), &forRewind);
        try {
          std::istringstream is(text);
          player.play(is);
        } catch (const Error&) {
          return; // a stream that does not play promises nothing
        }
        atBreakpoint = player.atBreakpoint();
        cutRoot = player.cutRoot();
        elements = readAll(text);
        excuses = excusesOf(elements);

        // What was played up to the breakpoint plays to the same plan on its own.
        if (!atBreakpoint.empty() && !cutRoot) {
          LoggedPlan alone;
          DbClientTransactionPlayer prefixPlayer(alone.db().getClient());
          const std::string before = asText(elements, beforeBreakpoint(elements));
          stage("play to the breakpoint", [&] {
            std::istringstream is(before);
            if (before.find('<') != std::string::npos)
              prefixPlayer.play(is);
          });
          expectPlan("play to the breakpoint", atBreakpoint, alone.db());
        }

        stage("write", [&] {
          if (!a.db().getConstraintEngine()->provenInconsistent()) {
            PlanDatabaseWriter::toString(a.db().getId(), true);
            PlanDatabaseWriter::toString(a.db().getId(), false);
          }
          atEnd = planState(a.db());
        });
        stage("flush", [&] {
          std::ostringstream os;
          forReplay.flush(os);
          recorded = os.str();
        });

        // The recording replays into a fresh database to the same plan.
        if (!excuses.unrecorded) {
          LoggedPlan b;
          DbClientTransactionPlayer replayer(b.db().getClient());
          stage("replay", [&] {
            if (recorded.find('<') != std::string::npos) {
              std::istringstream is(recorded);
              replayer.play(is);
            }
          });
          expectPlan("replay", atEnd, b.db());
        }

        // The log rewinds to the breakpoint, then to the start.
        const DbClientTransactionLogId log(forRewind.getId());
        if (!excuses.logNames &&
            (atBreakpoint.empty() || rewindStage("log rewind to the breakpoint", excuses, [&] {
               player.rewind(log, true);
               // What the log did not record, its rewind cannot give back either.
               if (!excuses.notUndoneAfterBreakpoint && !excuses.unrecorded)
                 expectPlan("log rewind to the breakpoint", atBreakpoint, a.db(), excuses.tokensMadeAgain);
               expectKeptLogReplays("a log kept across the log rewind", keptAcross, a.db(), excuses);
             })))
          if (rewindStage("log rewind", excuses, [&] { player.rewind(log, false); }))
            expectPlan("log rewind", a.empty(), a.db(), excuses.tokensMadeAgain);
      }

      // The stream rewinds, by the player that played it, to its breakpoint and to the start.
      if (excuses.renamed || cutRoot)
        return;
      LoggedPlan c;
      DbClientTransactionLog keptAcross(c.db().getClient(), false);
      BreakpointPlayer player(c.db(), nullptr);
      stage("play again", [&] {
        std::istringstream is(text);
        player.play(is);
      });
      std::size_t before = elements.size();
      if (!atBreakpoint.empty()) {
        if (!rewindStage("stream rewind to the breakpoint", excuses, [&] {
              std::istringstream is(text);
              player.rewind(is, true);
            }))
          return;
        if (!excuses.notUndoneAfterBreakpoint && !excuses.nestedObjectsAfterBreakpoint)
          expectPlan("stream rewind to the breakpoint", atBreakpoint, c.db(), excuses.tokensMadeAgain);
        expectKeptLogReplays("a log kept across the stream rewind", keptAcross, c.db(), excuses);
        before = beforeBreakpoint(elements);
      }
      if (rewindStage("stream rewind", excuses, [&] {
            std::istringstream is(asText(elements, before));
            player.rewind(is, false);
          })) {
        if (excuses.nestedObjects)
          stage("delete what nested news made", [&] { deleteCounterObjects(c.db()); });
        expectPlan("stream rewind", c.empty(), c.db(), excuses.tokensMadeAgain);
      }
    }
  }
}

#endif
