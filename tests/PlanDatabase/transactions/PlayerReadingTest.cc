#include "PlanDatabase/transactions/PlayerFixture.hh"

#include "ConstraintEngine/base/ConstraintEngineModule.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "PlanDatabase/ModulePlanDatabase/ModulePlanDatabase.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"
#include "Utils/base/Engine.hh"

#include <functional>
#include <streambuf>

namespace KADRIX {
  namespace TestModel {
    namespace {

      typedef std::vector<std::string> Names;

      /**
       * Records the model-definition elements it is handed (by tag and "id"),
       * counts every element, and runs hooks before an element and on "typedef".
       */
      class RecordingPlayer : public DbClientTransactionPlayer {
      public:
        explicit RecordingPlayer(const DbClientId& client) : DbClientTransactionPlayer(client) {}

        void processTransaction(const TiXmlElement& element) override {
          ++processed;
          if (beforeEach)
            beforeEach();
          DbClientTransactionPlayer::processTransaction(element);
        }
        void playDeclareClass(const TiXmlElement& e) override { record("class_decl", e); }
        void playDefineClass(const TiXmlElement& e) override { record("class", e); }
        void playDefineCompat(const TiXmlElement& e) override { record("compat", e); }
        void playDefineEnumeration(const TiXmlElement& e) override { record("enum", e); }
        void playDefineType(const TiXmlElement& e) override {
          record("typedef", e);
          if (onTypedef)
            onTypedef();
        }

        Names played;
        int processed = 0;
        std::function<void()> beforeEach, onTypedef;

      private:
        void record(const char* hook, const TiXmlElement& e) {
          const char* id = e.Attribute("id");
          played.push_back(std::string(hook) + (id != nullptr ? std::string(" ") + id : ""));
        }
      };

      class PlayerReadingTest : public PlayerFixture {
      protected:
        PlayerReadingTest() : m_recorder(clientId()) {}

        /** Plays the text with the recording player; answers what it played. */
        Names record(const std::string& text) {
          m_recorder.played.clear();
          std::istringstream is(text);
          m_recorder.play(is);
          return m_recorder.played;
        }

        RecordingPlayer m_recorder;
      };

      std::string repeated(const std::string& text, int times) {
        std::string result;
        for (int i = 0; i < times; ++i)
          result += text;
        return result;
      }

      TEST_F(PlayerReadingTest, DispatchTakesTheFirstMatchingRowAndPropagatesAfterEachElement) {
        const int cap = DbClientTransactionPlayer::MAX_NESTING;
        struct Case {
          std::string stream;
          Names played;
          unsigned int propagations;
        };
        const Case cases[] = {
            {"text <class id='a'><x/></class>\n between <enum id='b'/>\n<compat id='c'/> trailing",
             {"class a", "enum b", "compat c"},
             3},
            {"<breakpoint/>", {}, 1},
            {"<class_decl id='1'/><typedef id='2'/>", {"class_decl 1", "typedef 2"}, 2},
            // An invoke named like an earlier row is played by that row.
            {"<invoke name='class' id='3'/><invoke name='breakpoint' id='4'/>", {"class 3"}, 2},
            // A child propagates as any element does, then once more for its root.
            {"<zorl><enum id='5'/><zorl><class id='6'/></zorl></zorl>", {"enum 5", "class 6"}, 7},
            {"<zorl/>", {}, 1},
            {repeated("<zorl>", cap - 1) + "<class id='deep'/>" + repeated("</zorl>", cap - 1),
             {"class deep"},
             2 * (cap - 1) + 1},
            {"<zorl><class id='a>b'/><!-- <zorl> --><![CDATA[<zorl>]]><enum id=\"&lt;/enum&gt;\"/></zorl>",
             {"class a>b", "enum </enum>"},
             5},
        };
        for (const Case& c : cases) {
          const unsigned int before = propagations();
          EXPECT_EQ(c.played, record(c.stream)) << c.stream.substr(0, 60);
          EXPECT_EQ(before + c.propagations, propagations()) << c.stream.substr(0, 60);
        }
      }

      TEST_F(PlayerReadingTest, FiltersSkipMatchingElementsButStillPropagate) {
        const std::set<std::string>& state = DbClientTransactionPlayer::STATE_TRANSACTIONS();
        EXPECT_EQ(15u, state.size());
        EXPECT_EQ(0u, state.count("deletetoken") + state.count("breakpoint") + state.count("class"));
        EXPECT_EQ(std::set<std::string>({"breakpoint"}), DbClientTransactionPlayer::NO_TRANSACTIONS());
        struct Case {
          const std::set<std::string>& filter;
          const char* stream;
          Names played;
        };
        const std::set<std::string> none;
        const Case cases[] = {
            {DbClientTransactionPlayer::MODEL_TRANSACTIONS(),
             "<class id='1'/><invoke name='enum'/><typedef/>",
             {}},
            // An invoke element matches "invoke" too, whatever it names.
            {DbClientTransactionPlayer::STATE_TRANSACTIONS(),
             "<class id='2'/><invoke name='close'/>",
             {"class 2"}},
            {DbClientTransactionPlayer::NO_TRANSACTIONS(), "<breakpoint/>", {}},
            {none, "<invoke name='enum' id='3'/>", {"enum 3"}},
        };
        for (const Case& c : cases) {
          m_recorder.setFilter(c.filter);
          const unsigned int before = propagations();
          EXPECT_EQ(c.played, record(c.stream)) << c.stream;
          EXPECT_EQ(before + m_recorder.processed, propagations()) << c.stream;
          m_recorder.processed = 0;
        }
        EXPECT_FALSE(m_plan.db()->isClosed());
      }

      TEST_F(PlayerReadingTest, AFailedPropagationInsideARootStopsItsOtherChildren) {
        ConstraintEngine& engine = *static_cast<ConstraintEngine*>(m_plan.engine());
        const ConstrainedVariableId x = engine.createVariable("int", IntervalIntDomain(0, 5, "int"));
        const ConstrainedVariableId y = engine.createVariable("int", IntervalIntDomain(0, 5, "int"));
        engine.createConstraint("eq", std::vector<ConstrainedVariableId>{x, y});
        m_recorder.onTypedef = [&]() {
          x->specify(1);
          y->specify(2);
        };
        EXPECT_EQ(Names({"class 1", "typedef 2", "enum 4"}),
                  record("<zorl><class id='1'/><typedef id='2'/><enum id='3'/></zorl><enum id='4'/>"));
        x->reset();
        y->reset();
      }

      TEST_F(PlayerReadingTest, InvokedTransactionsCloseOrFail) {
        expectFailures({{"<invoke identifier='x'/>", "name != NULL", ""},
                        {"<invoke name='fly'/>", "ALWAYS_FAILS", "unexpected transaction invoked: 'fly'"}},
                       [this](const std::string& s) { player().playInvokeTransaction(*xml(s)); });
        player().playInvokeTransaction(*xml("<invoke name='close' identifier='Location'/>"));
        EXPECT_TRUE(m_plan.db()->isClosed("Location"));
        EXPECT_FALSE(m_plan.db()->isClosed());
        player().playInvokeTransaction(*xml("<invoke name='close'/>"));
        EXPECT_TRUE(m_plan.db()->isClosed());
      }

      TEST_F(PlayerReadingTest, RootsNestedBeyondTheCapAreRefused) {
        // Built in memory, not read: the recursion of roots is capped by itself.
        std::unique_ptr<TiXmlElement> root(new TiXmlElement("zorl"));
        TiXmlElement* inner = root.get();
        for (int i = 0; i < DbClientTransactionPlayer::MAX_NESTING; ++i)
          inner = inner->LinkEndChild(new TiXmlElement("zorl"))->ToElement();
        EXPECT_CHECK_FAILS(player().processTransaction(*root), "m_zorlDepth < MAX_NESTING",
                           "\"zorl\" elements are nested deeper than 1000 levels.");
        player().processTransaction(*xml("<zorl><zorl/></zorl>"));
      }

      /** A stream buffer that gives some text, then fails as a broken device does. */
      class BrokenBuffer : public std::streambuf {
      public:
        explicit BrokenBuffer(const std::string& text) : m_text(text) {
          setg(&m_text[0], &m_text[0], &m_text[0] + m_text.size());
        }

      protected:
        int_type underflow() override { throw std::runtime_error("device lost"); }

      private:
        std::string m_text;
      };

      TEST_F(PlayerReadingTest, ReadingEndsWhenTheStreamCanGiveNoMore) {
        // The device fails between elements, then inside one.
        for (const char* text : {"<class id='1'/> ", "<class id='1'/> <enum"}) {
          BrokenBuffer buffer(text);
          std::istream is(&buffer);
          m_recorder.played.clear();
          EXPECT_CHECK_FAILS(m_recorder.play(is), "!is.bad()",
                             "The input stream failed while transactions were read from it.");
          EXPECT_EQ(Names({"class 1"}), m_recorder.played);
        }
        std::istringstream closed("<class/>");
        closed.setstate(std::ios::failbit);
        EXPECT_CHECK_FAILS(player().play(closed), "is", "Invalid input stream for playing transactions.");
      }

      /** Hostile streams: each fails a check with a clear message and plays nothing of the bad element. */
      TEST_F(PlayerReadingTest, HostileStreamsFailClearly) {
        const std::string deep = repeated("<zorl>", 100000);
        std::string wide = "<class";
        for (int i = 0; i < 100000; ++i)
          wide += " a" + std::to_string(i) + "='1'";
        const std::string nul("<class id='a\0b'/>", 17);
        const std::string malformed = "Malformed transaction element (";
        expectFailures(
            {
                {"", "txCounter > 0", "Failed to find any transactions in stream."},
                {"no markup at all\n", "txCounter > 0", "Failed to find any transactions in stream."},
                {"<class id='1'", "!doc.Error()", malformed + "Error parsing Element.): <class id='1'"},
                {"<zorl><class id='1'/><enum", "!doc.Error()",
                 malformed + "Failed to read Element name): <zorl><class id='1'/><enum"},
                {"<zorl><class id='1'/>", "!doc.Error()",
                 malformed + "Error reading Element value.): <zorl><class id='1'/>"},
                {"<zorl><class></zorl></class>", "!doc.Error()",
                 malformed + "Error reading end tag.): <zorl><class></zorl></class>"},
                {"<class id='1' id='2'/>", "!doc.Error()",
                 malformed + "Error parsing Element.): <class id='1' id='2'/>"},
                {"<class id=\"a>b\"", "!doc.Error()",
                 malformed + "Error parsing Element.): <class id=\"a>b\""},
                {"<", "complete", "Transaction element truncated by the end of the stream: <"},
                {"<!-- no end", "complete",
                 "Transaction element truncated by the end of the stream: <!-- no end"},
                {deep, "depth <= MAX_NESTING",
                 "Transaction element nested deeper than 1000 levels: " + deep.substr(0, 80) + "..."},
                {wide, "++attributes <= MAX_ATTRIBUTES",
                 "Transaction element with more than 1000 attributes: " + wide.substr(0, 80) + "..."},
                {"<zorl><?xml version='1.0'?></zorl>", "item != ElementScanner::DECLARATION",
                 "An XML declaration stands inside a transaction element: <zorl><?xml version='1.0'?>"},
                {nul, "in.text.find('\\0') == std::string::npos",
                 "A transaction element holds a NUL character: " + nul},
                {"<foo/>", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name foo"},
                {"<!-- a comment -->", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name "},
                {"<?xml version='1.0'?>", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name "},
                {"</class>", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name "},
            },
            [this](const std::string& s) {
              record(s);
              EXPECT_EQ(Names(), m_recorder.played);
            });
      }

      TEST_F(PlayerReadingTest, PlaysWhatALogHeldWhenThePlayStarted) {
        DbClientTransactionLog* log = new DbClientTransactionLog(clientId(), false);
        m_recorder.play(log->getId());
        EXPECT_EQ(0, m_recorder.processed);
        // Each element played adds one to the log, which a play must not chase.
        log->insertBreakpoint();
        m_recorder.beforeEach = [log]() { log->insertBreakpoint(); };
        m_recorder.play(log->getId());
        EXPECT_EQ(1, m_recorder.processed);
        EXPECT_EQ(2u, log->getBufferedTransactions().size());
        // Elements the log drops while they are played stay readable.
        m_recorder.beforeEach = [log]() { log->popTransaction(); };
        m_recorder.play(log->getId());
        EXPECT_EQ(3, m_recorder.processed);
        EXPECT_TRUE(log->getBufferedTransactions().empty());
        delete log;
      }

      TEST(ZorlXmlTxnInterpreter, PlaysThroughAHostEngineWithTheModuleInstalled) {
        Engine host;
        ConstraintEngineModule engineModule;
        ModulePlanDatabase module;
        engineModule.initialize(host.getId());
        module.initialize(host.getId());
        LanguageInterpreter* interpreter = host.getLanguageInterpreter("zorl-xml-txn");
        ASSERT_NE(nullptr, interpreter);
        std::istringstream is("<invoke name='breakpoint'/>");
        EXPECT_EQ("", interpreter->interpret(is, "ignored"));
        std::istringstream none("nothing");
        EXPECT_CHECK_FAILS(interpreter->interpret(none, ""), "txCounter > 0",
                           "Failed to find any transactions in stream.");
        module.uninitialize(host.getId());
        EXPECT_EQ(nullptr, host.getLanguageInterpreter("zorl-xml-txn"));
        engineModule.uninitialize(host.getId());
      }

      TEST_F(PlayerReadingTest, ChecksReportThePlayersFile) {
        // The player's code is split over several files by theme.
        const char* const inputs[] = {
            "<wobble/>", // reading and dispatch
            "<deleteobject/>", // objects
            "<goal relation=\"before\"/>", // relations
            "<activate/>", // tokens
            "<var type=\"int\" name=\"v\"><value type=\"int\"/></var>", // values
        };
        for (const char* input : inputs) {
          SCOPED_TRACE(input);
          EXPECT_EQ("PlanDatabase/transactions/DbClientTransactionPlayer",
                    failureOf([&] { play(input); }).getFile());
        }
        std::istringstream unknown("<wobble/>"); // rewinding
        EXPECT_EQ("PlanDatabase/transactions/DbClientTransactionPlayer",
                  failureOf([&] { player().rewind(unknown, false); }).getFile());
      }
    }
  }
}
