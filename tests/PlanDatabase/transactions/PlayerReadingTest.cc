#include "PlanDatabase/transactions/PlayerFixture.hh"

#include "ConstraintEngine/base/ConstraintEngineModule.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "PlanDatabase/ModulePlanDatabase/ModulePlanDatabase.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "Utils/base/Engine.hh"

#include <functional>
#include <streambuf>
#include <vector>

namespace KADRIX {
  namespace test {
    namespace {

      /** Records the model-definition elements it is handed, and runs an action on "typedef". */
      class RecordingPlayer : public DbClientTransactionPlayer {
      public:
        explicit RecordingPlayer(const DbClientId& client) : DbClientTransactionPlayer(client) {}

        void playDeclareClass(const TiXmlElement& e) override { record("class_decl", e); }
        void playDefineClass(const TiXmlElement& e) override { record("class", e); }
        void playDefineCompat(const TiXmlElement& e) override { record("compat", e); }
        void playDefineEnumeration(const TiXmlElement& e) override { record("enum", e); }
        void playDefineType(const TiXmlElement& e) override {
          record("typedef", e);
          if (onTypedef)
            onTypedef();
        }

        std::vector<std::string> played;
        std::function<void()> onTypedef;

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
        std::vector<std::string> record(const std::string& text) {
          m_recorder.played.clear();
          std::istringstream is(text);
          m_recorder.play(is);
          return m_recorder.played;
        }

        RecordingPlayer m_recorder;
      };

      typedef std::vector<std::string> Names;

      TEST_F(PlayerReadingTest, PlaysEachElementInTurnAndPropagatesAfterEach) {
        const unsigned int before = propagations();
        EXPECT_EQ(Names({"class a", "enum b", "compat c"}),
                  record("text <class id='a'><x/></class>\n between <enum id='b'/>\n"
                         "<compat id='c'/> trailing"));
        EXPECT_EQ(before + 3, propagations());
      }

      TEST_F(PlayerReadingTest, DispatchTakesTheFirstMatchingRow) {
        struct Case {
          const char* stream;
          Names played;
        };
        const Case cases[] = {
          {"<breakpoint/>", {}},
          {"<class_decl id='1'/><class id='2'/><enum id='3'/><typedef id='4'/><compat id='5'/>",
           {"class_decl 1", "class 2", "enum 3", "typedef 4", "compat 5"}},
          // An invoke named like an earlier row is played by that row.
          {"<invoke name='class' id='6'/>", {"class 6"}},
          {"<invoke name='breakpoint' id='7'/>", {}},
          {"<zorl><enum id='8'/><zorl><class id='9'/></zorl></zorl>", {"enum 8", "class 9"}},
          {"<zorl/>", {}},
        };
        for (const Case& c : cases) {
          const unsigned int before = propagations();
          EXPECT_EQ(c.played, record(c.stream)) << c.stream;
          EXPECT_LT(before, propagations()) << c.stream;
        }
        // One propagation per element, one more per child of a root.
        unsigned int before = propagations();
        record("<breakpoint/><class/>");
        EXPECT_EQ(before + 2, propagations());
        // A child propagates as any element does, then once more for its root.
        before = propagations();
        record("<zorl><class/><enum/></zorl>");
        EXPECT_EQ(before + 5, propagations());
      }

      TEST_F(PlayerReadingTest, FiltersSkipMatchingElementsButStillPropagate) {
        const std::set<std::string>& state = DbClientTransactionPlayer::STATE_TRANSACTIONS();
        EXPECT_EQ(15u, state.size());
        EXPECT_EQ(0u, state.count("deletetoken") + state.count("breakpoint") + state.count("class"));
        EXPECT_EQ(std::set<std::string>({"breakpoint"}), DbClientTransactionPlayer::NO_TRANSACTIONS());

        m_recorder.setFilter(DbClientTransactionPlayer::MODEL_TRANSACTIONS());
        unsigned int before = propagations();
        EXPECT_EQ(Names(), record("<class id='1'/><invoke name='enum'/><typedef/>"));
        EXPECT_EQ(before + 3, propagations());

        // An invoke element counts as its own tag as well: "invoke" filters every one.
        m_recorder.setFilter(DbClientTransactionPlayer::STATE_TRANSACTIONS());
        EXPECT_EQ(Names({"class 1"}), record("<class id='1'/><invoke name='close'/>"));
        EXPECT_TRUE(client().getSchema().isValid());

        m_recorder.setFilter(DbClientTransactionPlayer::NO_TRANSACTIONS());
        before = propagations();
        record("<breakpoint/>");
        EXPECT_EQ(before + 1, propagations());

        m_recorder.setFilter(std::set<std::string>());
        EXPECT_EQ(Names({"enum 2"}), record("<invoke name='enum' id='2'/>"));
      }

      TEST_F(PlayerReadingTest, MatchingReadsTheNameOfInvokeElementsOnly) {
        struct Case {
          const char* element;
          const char* name;
          bool match;
        };
        const Case cases[] = {
          {"<activate/>", "activate", true},
          {"<invoke name='activate' identifier='t'/>", "activate", true},
          {"<invoke name='activate'/>", "invoke", true},
          {"<invoke/>", "activate", false},
          {"<specify name='activate'/>", "activate", false},
        };
        for (const Case& c : cases)
          EXPECT_EQ(c.match, player().transactionMatch(*xml(c.element), c.name)) << c.element;
      }

      TEST_F(PlayerReadingTest, AFailedPropagationInsideARootStopsItsOtherChildren) {
        ConstraintEngine& engine = *(ConstraintEngine*) m_plan.engine();
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
        EXPECT_CHECK_FAILURE(player().playInvokeTransaction(*xml("<invoke identifier='x'/>")),
                             "name != NULL", "");
        EXPECT_CHECK_FAILURE(player().playInvokeTransaction(*xml("<invoke name='fly'/>")),
                             "ALWAYS_FAILS", "unexpected transaction invoked: 'fly'");
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
        EXPECT_CHECK_FAILURE(player().processTransaction(*root), "m_zorlDepth < MAX_NESTING",
                             "\"zorl\" elements are nested deeper than 1000 levels.");
        // The depth count recovers: a shallow root plays again.
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
          EXPECT_CHECK_FAILURE(m_recorder.play(is), "!is.bad()",
                               "The input stream failed while transactions were read from it.");
          EXPECT_EQ(Names({"class 1"}), m_recorder.played);
          m_recorder.played.clear();
        }
      }

      /** Hostile streams: each fails a check with a clear message and plays nothing of the bad element. */
      TEST_F(PlayerReadingTest, HostileStreamsFailClearly) {
        std::string deep;
        for (int i = 0; i < 100000; ++i)
          deep += "<zorl>";
        std::string wide = "<class";
        for (int i = 0; i < 100000; ++i)
          wide += " a" + std::to_string(i) + "='1'";
        struct Case {
          std::string stream;
          const char* condition;
          std::string message;
        };
        const Case cases[] = {
          {"", "txCounter > 0", "Failed to find any transactions in stream."},
          {"no markup at all\n", "txCounter > 0", "Failed to find any transactions in stream."},
          {"<class id='1'", "!doc.Error()", "Malformed transaction element (Error parsing Element.): <class id='1'"},
          {"<zorl><class id='1'/><enum", "!doc.Error()",
           "Malformed transaction element (Failed to read Element name): <zorl><class id='1'/><enum"},
          {"<zorl><class id='1'/>", "!doc.Error()",
           "Malformed transaction element (Error reading Element value.): <zorl><class id='1'/>"},
          {"<zorl><class></zorl></class>", "!doc.Error()",
           "Malformed transaction element (Error reading end tag.): <zorl><class></zorl></class>"},
          {"<class id='1' id='2'/>", "!doc.Error()",
           "Malformed transaction element (Error parsing Element.): <class id='1' id='2'/>"},
          {"<class id=\"a>b\"", "!doc.Error()", "Malformed transaction element (Error parsing Element.): <class id=\"a>b\""},
          {deep, "depth <= MAX_NESTING",
           "Transaction element nested deeper than 1000 levels: " + deep.substr(0, 80) + "..."},
          {wide, "++attributes <= MAX_ATTRIBUTES",
           "Transaction element with more than 1000 attributes: " + wide.substr(0, 80) + "..."},
          {"<zorl><?xml version='1.0'?></zorl>", "item != ElementScanner::DECLARATION",
           "An XML declaration stands inside a transaction element: <zorl><?xml version='1.0'?>"},
          {std::string("<class id='a\0b'/>", 17), "in.text.find('\\0') == std::string::npos",
           "A transaction element holds a NUL character: " + std::string("<class id='a\0b'/>", 17)},
          {"<foo/>", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name foo"},
          {"<!-- a comment -->", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name "},
          {"<?xml version='1.0'?>", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name "},
          {"</class>", "strcmp(tagname, \"zorl\") == 0", "Unknown tag name "},
        };
        for (const Case& c : cases) {
          SCOPED_TRACE(c.stream.substr(0, 60));
          EXPECT_CHECK_FAILURE(record(c.stream), c.condition, c.message);
          EXPECT_EQ(Names(), m_recorder.played);
        }
        std::istringstream closed("<class/>");
        closed.setstate(std::ios::failbit);
        EXPECT_CHECK_FAILURE(player().play(closed), "is", "Invalid input stream for playing transactions.");
      }

      TEST_F(PlayerReadingTest, NestingUpToTheCapIsRead) {
        std::string stream;
        for (int i = 0; i < DbClientTransactionPlayer::MAX_NESTING - 1; ++i)
          stream += "<zorl>";
        stream += "<class id='deep'/>";
        for (int i = 0; i < DbClientTransactionPlayer::MAX_NESTING - 1; ++i)
          stream += "</zorl>";
        EXPECT_EQ(Names({"class deep"}), record(stream));
      }

      TEST_F(PlayerReadingTest, MarkupInsideQuotesCommentsAndSectionsIsNoNesting) {
        EXPECT_EQ(Names({"class a>b", "enum </enum>"}),
                  record("<zorl><class id='a>b'/><!-- <zorl> --><![CDATA[<zorl>]]>"
                         "<enum id=\"&lt;/enum&gt;\"/></zorl>"));
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
        EXPECT_CHECK_FAILURE(interpreter->interpret(none, ""), "txCounter > 0",
                             "Failed to find any transactions in stream.");
        module.uninitialize(host.getId());
        EXPECT_EQ(nullptr, host.getLanguageInterpreter("zorl-xml-txn"));
        engineModule.uninitialize(host.getId());
      }

    }
  }
}
