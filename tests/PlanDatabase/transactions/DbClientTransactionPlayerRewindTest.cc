#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/component/Timeline.hh"
#include "PlanDatabase/model/ClientRecorder.hh"
#include "PlanDatabase/model/TestModel.hh"
#include "PlanDatabase/transactions/RewindFixture.hh"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace KADRIX {
  namespace TestModel {
    namespace {

      const char* const TWO_ACTIVE =
          "<goal><predicateinstance name=\"a\" type=\"Rover.At\"/></goal>"
          "<goal><predicateinstance name=\"b\" type=\"Rover.At\"/></goal>"
          "<activate><token name=\"a\"/></activate><activate><token name=\"b\"/></activate>";
      const char* const TWO_VARIABLES =
          "<var type=\"int\" name=\"v\"><interval type=\"int\" min=\"0\" max=\"10\"/></var>"
          "<var type=\"int\" name=\"w\"><interval type=\"int\" min=\"0\" max=\"10\"/></var>";

      // Every row of the inverse table, as the log records it: after the change
      // is played and rewound the plan is what it was before. A retraction is
      // followed by a further change, so that no change undoes itself.
      struct UndoCase {
        const char* label;
        const char* setup;
        const char* change;
        std::function<void(PlayedPlan&)> more; // further changes, made after the change
      };

      /** Deletes the constraint that the last recorded element created, then makes another. */
      void recreateConstraint(PlayedPlan& plan) {
        const char* index = plan.log().getBufferedTransactions().back()->Attribute("index");
        plan.play(std::string("<deleteconstraint name=\"eq\" index=\"") + index +
                  "\"><id name=\"v\"/><id name=\"w\"/></deleteconstraint>"
                  "<invoke name=\"eq\"><id name=\"w\"/><id name=\"v\"/></invoke>");
      }

      const char* const GOAL_A = "<goal><predicateinstance name=\"a\" type=\"Rover.At\"/></goal>";

      const UndoCase UNDO_CASES[] = {
          {"goal", "", GOAL_A, nullptr},
          {"fact", "", "<fact><predicateinstance name=\"f\" type=\"Rover.Go\"/></fact>", nullptr},
          {"deletetoken", "",
           "<goal><predicateinstance name=\"z\" type=\"Rover.At\"/></goal>"
           "<deletetoken><predicateinstance name=\"z\"/></deletetoken>"
           "<goal><predicateinstance name=\"y\" type=\"Rover.Go\"/></goal>",
           nullptr},
          {"activate", GOAL_A, "<activate><token name=\"a\"/></activate>", nullptr},
          {"reject", GOAL_A, "<reject><token name=\"a\"/></reject>", nullptr},
          {"merge", TWO_ACTIVE,
           "<goal><predicateinstance name=\"c\" type=\"Rover.At\"/></goal>"
           "<merge><token name=\"c\"/><token name=\"a\"/></merge>",
           nullptr},
          {"cancel", GOAL_A,
           "<activate><token name=\"a\"/></activate><cancel><token name=\"a\"/></cancel>"
           "<reject><token name=\"a\"/></reject>",
           nullptr},
          {"constrain", TWO_ACTIVE,
           "<constrain><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></constrain>", nullptr},
          {"free", TWO_ACTIVE,
           "<constrain><object name=\"spirit\"/><token name=\"b\"/><token name=\"a\"/></constrain>"
           "<free><object name=\"spirit\"/><token name=\"b\"/><token name=\"a\"/></free>"
           "<constrain><object name=\"opportunity\"/><token name=\"a\"/><token name=\"b\"/></constrain>",
           nullptr},
          {"specify and reset", "<goal><predicateinstance name=\"g\" type=\"Rover.Go\"/></goal>",
           "<specify><id name=\"g.speed\"/><value type=\"int\" name=\"3\"/></specify>"
           "<reset><id name=\"g.speed\"/></reset>"
           "<specify><id name=\"g.speed\"/><value type=\"int\" name=\"4\"/></specify>",
           nullptr},
          {"var and deletevar", "",
           "<var type=\"int\" name=\"v\"><interval type=\"int\" min=\"1\" max=\"8\"/></var>"
           "<deletevar name=\"v\"/>"
           "<var type=\"int\" name=\"v\"><interval type=\"int\" min=\"2\" max=\"3\"/></var>",
           nullptr},
          {"new and deleteobject", "",
           "<new name=\"hill\" type=\"Location\"><value type=\"int\" name=\"2\"/><value type=\"int\" "
           "name=\"7\"/></new>"
           "<deleteobject name=\"hill\"/>"
           "<new name=\"hill\" type=\"Location\"><value type=\"int\" name=\"5\"/><value type=\"int\" "
           "name=\"5\"/></new>",
           nullptr},
          {"invoke", TWO_VARIABLES, "<invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke>", nullptr},
          {"deleteconstraint", TWO_VARIABLES, "<invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke>",
           recreateConstraint},
      };

      enum class Rewinding { LOG, CHRONOLOGICAL_LOG, STREAM };

      class UndoTest : public ::testing::TestWithParam<std::tuple<UndoCase, Rewinding>> {};

      TEST_P(UndoTest, restoresThePlanBeforeTheChange) {
        const UndoCase& undo = std::get<0>(GetParam());
        const Rewinding how = std::get<1>(GetParam());
        PlayedPlan plan;
        plan.play(roverWorld() + undo.setup);
        const std::string before = plan.state();

        DbClientTransactionLog& log = plan.attachLog(how == Rewinding::CHRONOLOGICAL_LOG);
        plan.play(undo.change);
        if (undo.more)
          undo.more(plan);
        ASSERT_NE(plan.state(), before);
        if (how == Rewinding::STREAM) {
          const std::string recorded = plan.flush();
          plan.detachLog();
          plan.rewind(recorded);
        } else {
          // The log listens on the player's own client: it must not record the undoing.
          plan.player().rewind(DbClientTransactionLogId(log.getId()), false);
          EXPECT_TRUE(log.getBufferedTransactions().empty());
        }
        EXPECT_EQ(plan.state(), before);
      }

      std::string undoCaseName(const ::testing::TestParamInfo<UndoTest::ParamType>& info) {
        static const char* const s_how[] = {"_log", "_chronological", "_stream"};
        std::string name = std::get<0>(info.param).label;
        for (char& c : name)
          if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
        return name + s_how[static_cast<int>(std::get<1>(info.param))];
      }

      INSTANTIATE_TEST_SUITE_P(EveryInverse, UndoTest,
                               ::testing::Combine(::testing::ValuesIn(UNDO_CASES),
                                                  ::testing::Values(Rewinding::LOG,
                                                                    Rewinding::CHRONOLOGICAL_LOG,
                                                                    Rewinding::STREAM)),
                               undoCaseName);

      // The searches, each on the newest element of a stream rewound down to
      // its breakpoint: the older elements are only searched, never undone.
      struct SearchCase {
        const char* label;
        std::string setup; // played first
        std::string stream; // older elements, a breakpoint, the element undone
        const char* condition; // of the failed check, or null when the undo succeeds
        const char* message;
        std::function<void(PlayedPlan&)> expect;
      };

      std::string globalDomain(PlayedPlan& plan, const char* name) {
        std::ostringstream os;
        os << plan.client().getGlobalVariable(name)->lastDomain();
        return os.str();
      }

      std::string onlyTokenType(PlayedPlan& plan) {
        EXPECT_EQ(plan.db()->getTokens().size(), 1u);
        return plan.db()->getTokens().empty()
                   ? ""
                   : (*plan.db()->getTokens().begin())->getPredicateName().toString();
      }

      /** How many tokens the timeline of the name orders. */
      std::size_t sequenced(PlayedPlan& plan, const char* timeline) {
        const Timeline* tl = dynamic_cast<const Timeline*>(static_cast<Object*>(plan.db()->getObject(timeline)));
        EXPECT_NE(tl, nullptr);
        return tl == nullptr ? 0 : tl->getTokenSequence().size();
      }

      std::vector<SearchCase> searchCases() {
        const std::string goal0 = "<goal><predicateinstance name=\"0\" type=\"Rover.Go\" path=\"0\"/></goal>";
        const std::string goal1 = "<goal><predicateinstance name=\"1\" type=\"Rover.At\" path=\"1\"/></goal>";
        const std::string world = roverWorld();
        return {
            {"deletetoken: the newest goal that no deletion since took", "",
             goal0 + goal1 + "<deletetoken type=\"Rover.At\" path=\"1\"/><breakpoint/>"
                             "<deletetoken type=\"Rover.Go\" path=\"0\"/>",
             nullptr, nullptr, [](PlayedPlan& p) { EXPECT_EQ(onlyTokenType(p), "Rover.Go"); }},
            {"deletetoken when every goal was taken", "",
             goal0 + "<deletetoken type=\"Rover.Go\" path=\"0\"/><breakpoint/>"
                     "<deletetoken type=\"Rover.At\" path=\"0\"/>",
             "ALWAYS_FAIL", "No creation transaction to complement <deletetoken type=\"Rover.At\" path=\"0\" />",
             nullptr},
            {"deletetoken: neither its type nor a goal's path, which playing did not read, is compared", "",
             goal0 + "<goal><predicateinstance type=\"Rover.At\" path=\"_x\"/></goal>"
                     "<breakpoint/><deletetoken type=\"Rover.Go\" path=\"1\"/>",
             nullptr, nullptr, [](PlayedPlan& p) { EXPECT_EQ(onlyTokenType(p), "Rover.At"); }},
            {"deletetoken named matches a goal without path", "",
             "<goal><predicateinstance name=\"t\" type=\"Rover.At\"/></goal><breakpoint/>"
             "<deletetoken type=\"Rover.At\" path=\"4\" name=\"t\"/>",
             nullptr, nullptr, [](PlayedPlan& p) { EXPECT_EQ(onlyTokenType(p), "Rover.At"); }},
            {"relation goals are never candidates", "",
             goal1 + "<goal relation=\"before\" origin=\"x\" target=\"y\">"
                     "<predicateinstance name=\"1\" type=\"Rover.At\" path=\"1\"/></goal>"
                     "<breakpoint/><deletetoken type=\"Rover.At\" path=\"1\"/>",
             nullptr, nullptr, [](PlayedPlan& p) { EXPECT_EQ(onlyTokenType(p), "Rover.At"); }},
            {"deletevar: the newest var of that name, whatever its index and type", "",
             "<var type=\"int\" name=\"v\" index=\"3\"><interval type=\"int\" min=\"0\" max=\"1\"/></var>"
             "<var type=\"int\" name=\"v\" index=\"03\"><interval type=\"int\" min=\"7\" max=\"8\"/></var>"
             "<var type=\"float\" name=\"w\" index=\"3\"><interval type=\"float\" min=\"5\" max=\"6\"/></var>"
             "<breakpoint/><deletevar name=\"v\" index=\"3\" type=\"float\"/>",
             nullptr, nullptr, [](PlayedPlan& p) { EXPECT_EQ(globalDomain(p, "v"), "int:CLOSED[7, 8]"); }},
            {"deletevar without index", "",
             "<var type=\"int\" name=\"v\"/><breakpoint/><deletevar name=\"v\"/>", nullptr, nullptr,
             [](PlayedPlan& p) { EXPECT_TRUE(p.client().isGlobalVariable("v")); }},
            {"deleteobject: the new inside a var", "",
             "<var type=\"Location\" name=\"hill\"><new name=\"hill\" type=\"Location\">"
             "<value type=\"int\" name=\"1\"/><value type=\"int\" name=\"2\"/></new></var>"
             "<breakpoint/><deleteobject name=\"hill\"/>",
             nullptr, nullptr,
             [](PlayedPlan& p) {
               EXPECT_TRUE(p.client().getObject("hill").isValid());
               EXPECT_FALSE(p.client().isGlobalVariable("hill"));
             }},
            {"deleteobject: a new without name never passes", "",
             "<new type=\"Rover\"/><breakpoint/><deleteobject name=\"$OBJECT[0]\"/>", "ALWAYS_FAIL",
             "No creation transaction to complement <deleteobject name=\"$OBJECT[0]\" />", nullptr},
            {"reset: the newest older specify of that variable", TWO_VARIABLES,
             "<specify><id name=\"v\"/><value type=\"int\" name=\"3\"/></specify>"
             "<invoke name=\"specify\" identifier=\"v\"><value type=\"int\" name=\"4\"/></invoke>"
             "<specify><id name=\"w\"/><value type=\"int\" name=\"5\"/></specify>"
             "<breakpoint/><reset><id name=\"v\"/></reset>",
             nullptr, nullptr,
             [](PlayedPlan& p) {
               EXPECT_EQ(globalDomain(p, "v"), "int:CLOSED[4, 4]");
               EXPECT_EQ(globalDomain(p, "w"), "int:CLOSED[0, 10]");
             }},
            {"reset without an older specify reset nothing", TWO_VARIABLES,
             "<specify><id name=\"w\"/><value type=\"int\" name=\"5\"/></specify>"
             "<breakpoint/><invoke name=\"reset\" identifier=\"v\"/>",
             nullptr, nullptr, [](PlayedPlan& p) { EXPECT_EQ(globalDomain(p, "v"), "int:CLOSED[0, 10]"); }},
            {"reset after a reset reset nothing", TWO_VARIABLES,
             "<specify><id name=\"v\"/><value type=\"int\" name=\"3\"/></specify><reset><id name=\"v\"/></reset>"
             "<breakpoint/><reset><id name=\"v\"/></reset>",
             nullptr, nullptr, [](PlayedPlan& p) { EXPECT_EQ(globalDomain(p, "v"), "int:CLOSED[0, 10]"); }},
            {"free of a token from itself after an older one: it freed nothing", TWO_ACTIVE,
             "<constrain><object name=\"spirit\"/><token name=\"a\"/></constrain>"
             "<free><object name=\"spirit\"/><token name=\"a\"/></free>"
             "<breakpoint/><free><object name=\"spirit\"/><token name=\"a\"/></free>",
             nullptr, nullptr,
             [](PlayedPlan& p) { EXPECT_EQ(sequenced(p, "spirit"), 0u); }},
            {"free of two tokens never ordered so, each held by another ordering: it freed nothing",
             std::string(TWO_ACTIVE) + "<goal><predicateinstance name=\"c\" type=\"Rover.At\"/></goal>"
                                       "<activate><token name=\"c\"/></activate>"
                                       "<constrain><object name=\"spirit\"/><token name=\"b\"/><token "
                                       "name=\"c\"/></constrain>"
                                       "<constrain><object name=\"spirit\"/><token name=\"a\"/><token "
                                       "name=\"c\"/></constrain>"
                                       "<free><object name=\"spirit\"/><token name=\"a\"/><token "
                                       "name=\"b\"/></free>",
             "<breakpoint/><free><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></free>",
             nullptr, nullptr,
             [](PlayedPlan& p) { EXPECT_EQ(sequenced(p, "spirit"), 3u); }},
            {"free without an older constrain of the same tokens", TWO_ACTIVE,
             "<constrain><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></constrain>"
             "<breakpoint/><free><object name=\"spirit\"/><token name=\"b\"/><token name=\"a\"/></free>",
             "ALWAYS_FAIL",
             "No constrain transaction prior to <free><object name=\"spirit\" /><token name=\"b\" />"
             "<token name=\"a\" /></free>",
             nullptr},
            {"cancel without an older activation", TWO_ACTIVE,
             "<activate><token name=\"a\"/></activate><breakpoint/><cancel><token name=\"b\"/></cancel>",
             "ALWAYS_FAIL",
             "No activate, merge, or reject transaction prior to <cancel><token name=\"b\" /></cancel>",
             nullptr},
            {"deleteconstraint without scope: what it deleted cannot be told", TWO_VARIABLES,
             "<invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke><breakpoint/>"
             "<deleteconstraint name=\"eq\" index=\"3\"/>",
             "!vars.empty()", "", nullptr},
            {"deleteconstraint without name", TWO_VARIABLES,
             "<invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke><breakpoint/>"
             "<deleteconstraint index=\"3\"/>",
             "name != NULL", "", nullptr},
            {"deletevar past a deleteconstraint without scope: what went with the variable cannot be told",
             "<var type=\"int\" name=\"w\"/>",
             "<var type=\"int\" name=\"v\"/><invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke>"
             "<deleteconstraint name=\"eq\" index=\"0\"/><breakpoint/><deletevar name=\"v\"/>",
             "!vars.empty()", "", nullptr},
            {"reset: a specify whose new made an object named by the counter is not played again",
             "<var type=\"Location\" name=\"l\"/>",
             "<specify><id name=\"l\"/><new type=\"Location\"><value type=\"int\" name=\"1\"/></new></specify>"
             "<breakpoint/><reset><id name=\"l\"/></reset>",
             "objectName != NULL || m_rewindIndex == nullptr",
             "A rewind does not make again the object of a \"new\" without name: <new type=\"Location\">"
             "<value type=\"int\" name=\"1\" /></new>",
             nullptr},
            {"an invoke that names a constraint is no transaction", "",
             "<breakpoint/><invoke name=\"eq\" identifier=\"v\"/>", "ALWAYS_FAILS",
             "unexpected transaction invoked: 'eq'", nullptr},
            {"an unknown tag", "", "<breakpoint/><bogus/>", "strcmp(tagname, \"zorl\") == 0",
             "Unknown tag name bogus", nullptr},
        };
      }

      TEST(RewindSearchTest, findsTheNewestOlderMatchOrFails) {
        for (const SearchCase& search : searchCases()) {
          SCOPED_TRACE(search.label);
          PlayedPlan plan;
          plan.play(roverWorld());
          if (!search.setup.empty())
            plan.play(search.setup);
          if (search.condition == nullptr) {
            plan.rewind(search.stream, true);
            search.expect(plan);
          } else {
            EXPECT_CHECK_FAILS(plan.rewind(search.stream, true), search.condition, search.message);
          }
        }
      }

      const char* const ACTIVATE_A = "<activate><token name=\"a\"/></activate>";

      std::size_t activeTokens(PlayedPlan& plan) {
        std::size_t count = 0;
        for (const TokenId& token : plan.db()->getTokens())
          count += token->isActive() ? 1 : 0;
        return count;
      }

      /** A plan holding the rover world. */
      class RewindTest : public ::testing::Test {
      protected:
        RewindTest() { plan.play(roverWorld()); }
        PlayedPlan plan;
      };

      TEST_F(RewindTest, aLogRewoundToItsBreakpointKeepsIt) {
        const std::string initially = plan.state();
        DbClientTransactionLog& log = plan.attachLog();
        const DbClientTransactionLogId id(log.getId());
        plan.player().rewind(id, true); // an empty log
        plan.play(GOAL_A);
        const std::string atBreakpoint = plan.state();
        log.insertBreakpoint();
        plan.play(ACTIVATE_A);
        for (int twice = 0; twice < 2; ++twice) {
          plan.player().rewind(id, true);
          EXPECT_EQ(plan.state(), atBreakpoint);
          ASSERT_EQ(log.getBufferedTransactions().size(), 2u);
          EXPECT_STREQ(log.getBufferedTransactions().back()->Value(), "breakpoint");
        }
        plan.player().rewind(id, false);
        EXPECT_TRUE(log.getBufferedTransactions().empty());
        EXPECT_EQ(plan.state(), initially);
        EXPECT_CHECK_FAILS(plan.player().rewind(DbClientTransactionLogId::noId(), false), "txLog.isValid()",
                           "No transaction log to rewind.");
      }

      TEST_F(RewindTest, aStreamRewoundToItsNewestBreakpoint) {
        const std::string initially = plan.state();
        plan.play(std::string(GOAL_A) + ACTIVATE_A);
        const std::string atBreakpoint = plan.state();
        const std::string b =
            "<goal><predicateinstance name=\"b\" type=\"Rover.Go\"/></goal>\n text between elements\n"
            "<reject><token name=\"b\"/></reject>";
        plan.play(b);
        plan.rewind(std::string(GOAL_A) + "<breakpoint/>" + ACTIVATE_A + "<breakpoint/>" + b, true);
        EXPECT_EQ(plan.state(), atBreakpoint);
        plan.rewind(std::string(GOAL_A) + "<breakpoint/>" + ACTIVATE_A, false);
        EXPECT_EQ(plan.state(), initially);
        plan.rewind("no element at all"); // nothing to undo, and no failure

        std::istringstream failed("<breakpoint/>");
        failed.setstate(std::ios::failbit);
        EXPECT_CHECK_FAILS(plan.player().rewind(failed, false), "is",
                           "Invalid input sream for playing transactions.");
      }

      /** Gives its text, then fails as a broken device does. */
      class BrokenInput : public std::streambuf {
      public:
        explicit BrokenInput(const std::string& text) : m_text(text) {
          setg(&m_text[0], &m_text[0], &m_text[0] + m_text.size());
        }

      protected:
        int_type underflow() override { throw std::runtime_error("device gone"); }

      private:
        std::string m_text;
      };

      TEST_F(RewindTest, aStreamThatBreaksWhileReadUndoesNothing) {
        plan.play(std::string() + GOAL_A + ACTIVATE_A);
        BrokenInput buffer(std::string(GOAL_A) + ACTIVATE_A + "<goal><predicateinst");
        std::istream is(&buffer);
        EXPECT_CHECK_FAILS(plan.player().rewind(is, false), "!is.bad()",
                           "The input stream failed while transactions were read from it.");
        EXPECT_EQ(activeTokens(plan), 1u);
      }

      TEST_F(RewindTest, theChildrenOfARootAreUndoneNewestFirst) {
        const std::string initially = plan.state();
        const std::string root = std::string("<zorl>") + GOAL_A + ACTIVATE_A + "</zorl>";
        plan.play(root);
        plan.rewind(root);
        EXPECT_EQ(plan.state(), initially);
      }

      TEST_F(RewindTest, aSearchSkipsOlderElementsThatNoLongerResolve) {
        // The activation of b names a token deleted since: the cancel of a is
        // still undone by the activation of a, further back.
        const std::string older =
            std::string(GOAL_A) + ACTIVATE_A +
            "<goal><predicateinstance name=\"b\" type=\"Rover.At\"/></goal><activate><token "
            "name=\"b\"/></activate>"
            "<cancel><token name=\"b\"/></cancel><deletetoken><predicateinstance name=\"b\"/></deletetoken>";
        const std::string cancelA = "<cancel><token name=\"a\"/></cancel>";
        plan.play(older + cancelA);
        EXPECT_EQ(activeTokens(plan), 0u);
        plan.rewind(older + "<breakpoint/>" + cancelA, true);
        EXPECT_EQ(activeTokens(plan), 1u);
      }

      TEST_F(RewindTest, invokedTransactionsAssignAndRestrict) {
        plan.play(std::string() + TWO_ACTIVE + TWO_VARIABLES);
        const std::string before = plan.state();
        const std::string invoked =
            "<goal><predicateinstance name=\"c\" type=\"Rover.At\"/></goal>"
            "<invoke name=\"merge\" identifier=\"c\"><token name=\"a\"/></invoke>"
            "<invoke name=\"specify\" identifier=\"v\"><value type=\"int\" name=\"2\"/></invoke>"
            "<invoke name=\"constrain\" identifier=\"spirit\"><token name=\"a\"/><token name=\"b\"/></invoke>"
            "<invoke name=\"free\" identifier=\"spirit\"><token name=\"a\"/><token name=\"b\"/></invoke>"
            "<invoke name=\"close\" identifier=\"Location\"/>";
        plan.play(invoked);
        DebugCapture debug("DbClientTransactionPlayer:playUninvokeTransaction");
        plan.rewind(invoked);
        EXPECT_EQ(plan.state(), before);
        EXPECT_EQ(debug.text(),
                  "[DbClientTransactionPlayer:playUninvokeTransaction]Warning:  can't un-close the "
                  "database or a type.\n");

        // None of these is undone.
        const std::string unchanged =
            "<class_decl/><class/><enum/><typedef/><compat/><assign name=\"v\"><interval type=\"int\" "
            "min=\"0\" max=\"6\"/></assign>"
            "<restrict><id name=\"w\"/><interval type=\"int\" min=\"0\" max=\"7\"/></restrict>";
        plan.play(unchanged);
        const std::string restricted = plan.state();
        plan.rewind(unchanged);
        EXPECT_EQ(plan.state(), restricted);
        EXPECT_NE(restricted, before);

        // A filtered element is not undone.
        plan.player().setFilter(std::set<std::string>{"activate"});
        plan.rewind(ACTIVATE_A);
        EXPECT_EQ(activeTokens(plan), 2u);
      }

      TEST_F(RewindTest, aChronologicalLogKeepsTheOrderingJournalInStep) {
        plan.play(std::string(TWO_ACTIVE) + "<goal><predicateinstance name=\"c\" type=\"Rover.At\"/></goal>"
                                            "<activate><token name=\"c\"/></activate>");
        const std::string before = plan.state();
        const std::size_t entries = plan.client().getOrderingJournal().size();
        DbClientTransactionLog& log = plan.attachLog(true);
        // The log drops the free with the ordering it took back; the journal forgets both too.
        plan.play("<constrain><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></constrain>"
                  "<constrain><object name=\"spirit\"/><token name=\"b\"/><token name=\"c\"/></constrain>"
                  "<free><object name=\"spirit\"/><token name=\"b\"/><token name=\"c\"/></free>");
        ASSERT_EQ(log.getBufferedTransactions().size(), 1u);
        EXPECT_EQ(plan.client().getOrderingJournal().size(), entries + 1);
        plan.player().rewind(DbClientTransactionLogId(log.getId()), false);
        EXPECT_EQ(plan.state(), before);
        EXPECT_EQ(plan.client().getOrderingJournal().size(), entries);
      }

      TEST_F(RewindTest, theClientsListenersHearWhatEachUndoGivesBack) {
        plan.play(std::string(TWO_ACTIVE) +
                  "<goal><predicateinstance name=\"c\" type=\"Rover.At\"/></goal>"
                  "<activate><token name=\"c\"/></activate>");
        const auto key = [&](const char* name) {
          return ClientRecorder::key(plan.player().parseToken(name));
        };
        const std::string a = key("a"), b = key("b"), c = key("c");
        const std::string orderings =
            "<constrain><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></constrain>"
            "<constrain><object name=\"spirit\"/><token name=\"b\"/><token name=\"c\"/></constrain>"
            "<free><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></free>";
        const std::string before = plan.state();
        plan.play(orderings);
        ClientRecorder heard(plan.db()->getClient());
        plan.rewind(orderings);
        EXPECT_EQ(plan.state(), before);
        EXPECT_EQ(heard.heard(),
                  (std::vector<std::string>{"constrained spirit " + a + " " + b,
                                            "freed spirit " + b + " " + c, "freed spirit " + a + " " + b}));

        // A cancel given back from a log: the activation, then the ordering it ended.
        DbClientTransactionLog& log = plan.attachLog();
        plan.play(
            "<goal><predicateinstance name=\"d\" type=\"Rover.At\"/></goal><activate><token name=\"d\"/>"
            "</activate><constrain><object name=\"spirit\"/><token name=\"a\"/><token "
            "name=\"d\"/></constrain>"
            "<cancel><token name=\"d\"/></cancel>");
        const std::string d = key("d");
        heard.heard();
        plan.player().rewind(DbClientTransactionLogId(log.getId()), false);
        EXPECT_EQ(plan.state(), before);
        EXPECT_EQ(heard.heard(),
                  (std::vector<std::string>{"activated " + d, "constrained spirit " + a + " " + d,
                                            "freed spirit " + a + " " + d, "cancelled " + d,
                                            "tokenDeleted " + d + " ''"}));
        EXPECT_TRUE(log.getBufferedTransactions().empty()); // the log rewound records none of its own undo
      }

      TEST_F(RewindTest, debugOutputNamesWhatIsUndone) {
        plan.play(TWO_ACTIVE);
        const std::string stream =
            "<constrain><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></constrain>"
            "<free><object name=\"spirit\"/><token name=\"a\"/><token name=\"b\"/></free>"
            "<cancel><token name=\"b\"/></cancel>";
        plan.play(stream);
        DebugCapture debug("DbClientTransactionPlayer:p");
        plan.rewind(std::string(ACTIVATE_A) + "<activate><token name=\"b\"/></activate>" + stream);
        const std::string text = debug.text();
        for (const char* line :
             {"[DbClientTransactionPlayer:processTransactionInverse]Processing inverse of transaction "
              "'cancel'\n",
              "[DbClientTransactionPlayer:playUncancelled]Processing inverse of <cancel><token name=\"b\" "
              "/></cancel>\n",
              "[DbClientTransactionPlayer:playUncancelled]Looking for a prior restriction transaction.\n",
              "[DbClientTransactionPlayer:playUncancelled]Transaction is the proper inverse.  Playing.\n",
              "[DbClientTransactionPlayer:playUnfreed]Rewinding transaction <free><object name=\"spirit\" />"
              "<token name=\"a\" /><token name=\"b\" /></free>\n"})
          EXPECT_NE(text.find(line), std::string::npos) << line << " not in\n" << text;
      }

      TEST_F(RewindTest, objectsThatNestedNewsMadeStay) {
        plan.play("<var type=\"Location\" name=\"l\"/>");
        const std::pair<unsigned int, unsigned int> before = plan.engineCounts();
        const std::string location =
            "<new type=\"Location\"><value type=\"int\" name=\"5\"/><value type=\"int\" name=\"6\"/></new>";
        const std::string stream = "<specify><id name=\"l\"/>" + location + "</specify><invoke name=\"eq\">"
                                   "<id name=\"l\"/>" + location + "</invoke>";
        plan.play(stream);
        plan.rewind(stream);
        // The constraint and the variable made for its value went; nothing names the objects.
        EXPECT_EQ(plan.engineCounts().second, before.second);
        EXPECT_FALSE(plan.client().getGlobalVariable("l")->isSpecified());
        for (const char* name : {"$OBJECT[0]", "$OBJECT[1]"})
          EXPECT_TRUE(plan.client().getObject(name).isValid()) << name;
      }

      TEST_F(RewindTest, undoingAGoalGivesItsNameBackToTheTokenThatHadItBefore) {
        const std::string second = "<goal><predicateinstance name=\"a\" type=\"Rover.Go\"/></goal>";
        plan.play(GOAL_A + second);
        plan.rewind(second);
        ASSERT_TRUE(plan.player().parseToken("a").isValid());
        EXPECT_EQ(plan.player().parseToken("a")->getPredicateName().toString(), "Rover.At");
      }

      TEST_F(RewindTest, undoingACreationTakesWhatItMadeWhateverIndexItHoldsNow) {
        // The elements carry the index of the other constraint and variable:
        // undoing them must not take that one.
        DbClientTransactionLog& log = plan.attachLog();
        plan.play(std::string(TWO_VARIABLES) +
                  "<invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke>"
                  "<invoke name=\"eq\"><id name=\"w\"/><id name=\"v\"/></invoke>");
        std::vector<std::unique_ptr<TiXmlElement>> recorded;
        for (const TiXmlElement* element : log.getBufferedTransactions())
          recorded.emplace_back(element->Clone()->ToElement());
        plan.detachLog();
        recorded[0]->SetAttribute("index", recorded[1]->Attribute("index"));
        recorded[2]->SetAttribute("index", recorded[3]->Attribute("index"));
        std::ostringstream stream;
        for (int i : {0, 2})
          stream << *recorded[i];
        plan.rewind(stream.str());

        EXPECT_FALSE(plan.client().isGlobalVariable("v"));
        ASSERT_TRUE(plan.client().isGlobalVariable("w"));
        const ConstrainedVariableId w = plan.client().getGlobalVariable("w");
        std::set<ConstraintId> left;
        w->constraints(left);
        EXPECT_TRUE(left.empty()); // the eq over (w, v) went with v
        EXPECT_EQ(plan.engineCounts().second, 0u);
      }
    }
  }
}
