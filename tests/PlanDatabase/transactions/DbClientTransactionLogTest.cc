#include "PlanDatabase/transactions/DbClientTransactionLog.hh"

#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/model/TestModel.hh"
#include "rover/RoverModel.hh"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace KADRIX {
  namespace {

    /** The compact text of an element, which is freed. */
    std::string text(TiXmlElement* element) {
      std::unique_ptr<TiXmlElement> owned(element);
      std::ostringstream os;
      os << *owned;
      return os.str();
    }

    /** Replaces each "#" in the pattern by the next number. */
    std::string fill(const std::string& pattern, const std::vector<unsigned int>& numbers) {
      std::string result;
      std::size_t next = 0;
      for (char c : pattern)
        if (c == '#' && next < numbers.size())
          result += std::to_string(numbers[next++]);
        else
          result += c;
      return result;
    }

    /** A stream buffer that refuses every character. */
    class BrokenBuffer : public std::streambuf {
    protected:
      int_type overflow(int_type) override { return traits_type::eof(); }
    };

    /** A rover plan with transaction logging on, a location and a rover, and a log over its client. */
    class TransactionLogTest : public ::testing::Test {
    protected:
      explicit TransactionLogTest(bool chronological = false) {
        client().enableTransactionLogging();
        m_location = m_plan.location("crater", 1, 2);
        m_rover = m_plan.rover("spirit");
        m_log.reset(new DbClientTransactionLog(m_plan.db()->getClient(), chronological));
      }

      DbClient& client() { return *(static_cast<DbClient*>(m_plan.db()->getClient())); }

      /** What flush writes, which empties the buffer. */
      std::string flushed() {
        std::ostringstream os;
        m_log->flush(os);
        return os.str();
      }

      /** The tags of the buffered elements, oldest first, joined by blanks. */
      std::string tags() const {
        std::string result;
        for (const TiXmlElement* element : m_log->getBufferedTransactions())
          result += (result.empty() ? "" : " ") + std::string(element->Value());
        return result;
      }

      unsigned int index(const ConstrainedVariableId& var) { return client().getIndexByVariable(var); }

      TokenId activeAt() {
        TokenId token = client().createToken("Rover.At", true, false);
        client().activate(token);
        return token;
      }

      RoverModel::Plan m_plan;
      ObjectId m_location;
      ObjectId m_rover;
      std::unique_ptr<DbClientTransactionLog> m_log;
    };

    class ChronologicalLogTest : public TransactionLogTest {
    protected:
      ChronologicalLogTest() : TransactionLogTest(true) {}
    };

    AbstractDomain* singleton(AbstractDomain* domain, double value) {
      domain->set(value);
      return domain;
    }

    TEST_F(TransactionLogTest, ValuesAndDomainsOfEveryBuiltInType) {
      const LabelStr first("logFirstSymbol"), second("logSecondSymbol");
      const struct {
        AbstractDomain* domain;
        const char* xml;
      } cases[] = {
          {singleton(new BoolDomain("bool"), 1), "<value type=\"bool\" name=\"true\" />"},
          {singleton(new BoolDomain("BOOL"), 0), "<value type=\"bool\" name=\"false\" />"},
          {singleton(new BoolDomain(), 1), "<value type=\"bool\" name=\"true\" />"},
          {new BoolDomain("bool"), "<interval type=\"bool\" min=\"false\" max=\"true\" />"},
          {new IntervalIntDomain(5, 5, "int"), "<value type=\"int\" name=\"5\" />"},
          {new IntervalIntDomain("int"), "<interval type=\"int\" min=\"-268435455\" max=\"268435455\" />"},
          {new IntervalIntDomain(-3, 40, "INT_INTERVAL"),
           "<interval type=\"INT_INTERVAL\" min=\"-3\" max=\"40\" />"},
          {new IntervalDomain(0.1, 1234567.5, "float"),
           "<interval type=\"float\" min=\"0.1\" max=\"1234567.5\" />"},
          {new IntervalDomain(1e-7, 1e-7, "REAL_INTERVAL"),
           "<value type=\"REAL_INTERVAL\" name=\"1e-07\" />"},
          {new IntervalDomain("float"), "<interval type=\"float\" min=\"-268435455\" max=\"268435455\" />"},
          {new EnumeratedDomain(std::list<double>{2, 1.5}, true, "float"),
           "<set type=\"float\"><value type=\"float\" name=\"1.5\" /><value type=\"float\" name=\"2\" "
           "/></set>"},
          {new StringDomain(std::list<double>{LabelStr("hello")}, "string"),
           "<symbol type=\"string\" value=\"hello\" />"},
          {new SymbolDomain(std::list<double>{second, first}, "symbol"),
           "<set type=\"symbol\"><symbol type=\"symbol\" value=\"logFirstSymbol\" />"
           "<symbol type=\"symbol\" value=\"logSecondSymbol\" /></set>"},
          {new ObjectDomain(m_location, "Location"), "<object value=\"crater\" />"},
      };
      for (const auto& c : cases) {
        std::unique_ptr<AbstractDomain> domain(c.domain);
        EXPECT_EQ(c.xml, text(m_log->abstractDomainAsXml(domain.get()))) << domain->toString();
      }

      // An object set comes out in address order: compare its members as a set.
      ObjectId other = m_plan.location("ridge", 3, 4);
      ObjectDomain objects(std::list<ObjectId>{other, m_location}, "Location");
      std::unique_ptr<TiXmlElement> set(m_log->abstractDomainAsXml(&objects));
      EXPECT_EQ(std::string("set"), set->Value());
      EXPECT_EQ(std::string("Location"), *set->Attribute(std::string("type")));
      std::set<std::string> names;
      for (TiXmlElement* child = set->FirstChildElement(); child; child = child->NextSiblingElement())
        names.insert(text(child->Clone()->ToElement()));
      EXPECT_EQ((std::set<std::string>{"<object value=\"crater\" />", "<object value=\"ridge\" />"}), names);

      IntervalDomain empty(1, 0);
      EXPECT_CHECK_FAILS(m_log->abstractDomainAsXml(&empty), "!domain->isEmpty()", "");
    }

    TEST_F(TransactionLogTest, EveryWrittenNumberReadsBackExactly) {
      std::mt19937_64 random(20261207);
      std::uniform_real_distribution<double> mantissa(-1, 1);
      std::uniform_int_distribution<int> exponent(-12, 8);
      std::uniform_int_distribution<int> integer(-268435455, 268435455);
      std::vector<double> reals = {0.1, 1e-7, 1234567.5, std::ldexp(1.0, 27) + 0.5, 268435455, -268435455,
                                   0,   -0.0, 1.0 / 3};
      std::vector<double> integers = {0, 1, -1, 268435455, -268435455};
      for (int i = 0; i < 2000; i++) {
        reals.push_back(mantissa(random) * std::pow(10.0, exponent(random)));
        integers.push_back(integer(random));
      }
      const struct {
        const char* type;
        bool integral;
      } types[] = {{"float", false}, {"FLOAT", false}, {"REAL_INTERVAL", false},
                   {"int", true},    {"INT", true},    {"INT_INTERVAL", true}};
      for (const auto& t : types) {
        const std::unique_ptr<AbstractDomain> domain(
            t.integral ? static_cast<AbstractDomain*>(new IntervalIntDomain(t.type))
                       : new IntervalDomain(t.type));
        for (double value : t.integral ? integers : reals) {
          const std::string written = m_log->domainValueAsString(domain.get(), value);
          ASSERT_EQ(value, client().createValue(t.type, written)) << t.type << " " << written;
        }
      }
      // Beyond the infinite bound the text is still exact; the engine reads it as infinity.
      IntervalDomain anyReal("float");
      EXPECT_EQ("1099511627776.5", m_log->domainValueAsString(&anyReal, std::ldexp(1.0, 40) + 0.5));
      EXPECT_EQ(268435455, client().createValue("float", "1099511627776.5"));
    }

    TEST_F(TransactionLogTest, EveryClientCallIsOneLine) {
      IntervalIntDomain x(7, 7, "int"), y(8, 8, "int");
      ObjectId mesa = client().createObject("Location", "mesa", std::vector<const AbstractDomain*>{&x, &y});
      client().createObject("Rover", "opportunity");
      client().deleteObject(mesa);
      client().close("Location");
      TokenId goal = client().createToken("Rover.At", true, false);
      TokenId fact = client().createToken("Rover.At", true, true);
      TokenId other = client().createToken("Rover.At", true, false);
      client().activate(goal);
      client().activate(fact);
      client().constrain(m_rover, goal, fact);
      client().free(m_rover, goal, fact);
      client().reject(other);
      client().cancel(other);
      client().deleteToken(other, "");
      client().deleteToken(fact, "named");
      client().merge(client().createToken("Rover.At", false, false), goal);
      m_log->notifyMerged(goal);
      ConstrainedVariableId v = client().createVariable("float", "speed", false);
      client().specify(v, 1234567.5);
      client().close(v);
      client().restrict(v, IntervalDomain(0, 1e7));
      client().reset(v);
      ConstraintId c = client().createConstraint("eq", std::vector<ConstrainedVariableId>{v, goal->start()});
      const unsigned int vi = index(v), ci = client().getIndexByConstraint(c);
      client().deleteConstraint(c);
      client().deleteVariable(v);
      client().close();
      m_log->insertBreakpoint();
      EXPECT_EQ(
          fill("<new name=\"mesa\" type=\"Location\"><value type=\"int\" name=\"7\" /><value type=\"int\" "
               "name=\"8\" /></new>\n"
               "<new name=\"opportunity\" type=\"Rover\" />\n"
               "<deleteobject name=\"mesa\" />\n"
               "<invoke name=\"close\" identifier=\"Location\" />\n"
               "<goal><predicateinstance name=\"0\" type=\"Rover.At\" path=\"0\" /></goal>\n"
               "<fact><predicateinstance name=\"1\" type=\"Rover.At\" path=\"1\" /></fact>\n"
               "<goal><predicateinstance name=\"2\" type=\"Rover.At\" path=\"2\" /></goal>\n"
               "<activate><token path=\"0\" /></activate>\n"
               "<activate><token path=\"1\" /></activate>\n"
               "<constrain><object name=\"spirit\" /><token path=\"0\" /><token path=\"1\" /></constrain>\n"
               "<free><object name=\"spirit\" /><token path=\"0\" /><token path=\"1\" /></free>\n"
               "<reject><token path=\"2\" /></reject>\n"
               "<cancel><token path=\"2\" /></cancel>\n"
               "<deletetoken type=\"Rover.At\" path=\"2\" />\n"
               "<deletetoken type=\"Rover.At\" path=\"1\" name=\"named\" />\n"
               "<goal mandatory=\"true\"><predicateinstance name=\"3\" type=\"Rover.At\" path=\"1\" /></goal>\n"
               "<merge><token path=\"1\" /><token path=\"0\" /></merge>\n"
               "<merge><token path=\"0\" /></merge>\n"
               "<var type=\"float\" name=\"speed\" index=\"#\"><interval type=\"float\" min=\"-268435455\" "
               "max=\"268435455\" /></var>\n"
               "<specify><variable index=\"#\" /><value type=\"float\" name=\"1234567.5\" /></specify>\n"
               "<restrict><variable index=\"#\" /><interval type=\"float\" min=\"0\" max=\"1e+07\" "
               "/></restrict>\n"
               "<reset><variable index=\"#\" /></reset>\n"
               "<invoke name=\"eq\" index=\"#\"><variable index=\"#\" /><variable token=\"0\" index=\"3\" "
               "/></invoke>\n"
               "<deleteconstraint name=\"eq\" index=\"#\"><variable index=\"#\" /><variable token=\"0\" "
               "index=\"3\" /></deleteconstraint>\n"
               "<deletevar index=\"#\" name=\"speed\" type=\"float\" />\n"
               "<invoke name=\"close\" />\n"
               "<breakpoint />\n",
               {vi, vi, vi, vi, ci, vi, ci, vi, vi}),
          flushed());
      EXPECT_EQ("", flushed());
    }

    TEST_F(TransactionLogTest, VariablesCarryTheirDeclaredTypeAndTheirSpecifiedValue) {
      // An object variable keeps its declared type, whatever the types of its
      // objects, and a type without objects is no failure.
      m_plan.schema()->addObjectType("Crane");
      ConstrainedVariableId timelines = client().createVariable("Timeline", "anyTimeline", false);
      ConstrainedVariableId cranes = client().createVariable("Crane", "anyCrane", false);
      // Propagation may empty the current domain: the specified value is still written.
      ConstrainedVariableId a =
          client().createVariable("int", IntervalIntDomain(0, 10, "int"), "a", false, true);
      ConstrainedVariableId b =
          client().createVariable("int", IntervalIntDomain(0, 3, "int"), "b", false, true);
      client().createConstraint("eq", std::vector<ConstrainedVariableId>{a, b});
      client().propagate();
      client().specify(a, 7);
      EXPECT_FALSE(a->lastDomain().isSingleton());
      std::vector<std::string> lines;
      std::istringstream is(flushed());
      for (std::string line; std::getline(is, line);)
        lines.push_back(line);
      ASSERT_EQ(6u, lines.size());
      // An open object variable follows its type: it is written without a domain.
      ASSERT_TRUE(timelines->baseDomain().isOpen());
      EXPECT_EQ(fill("<var type=\"Timeline\" name=\"anyTimeline\" index=\"#\" />", {index(timelines)}),
                lines[0]);
      EXPECT_EQ(fill("<var type=\"Crane\" name=\"anyCrane\" index=\"#\" />", {index(cranes)}), lines[1]);
      EXPECT_EQ(
          fill("<specify><variable index=\"#\" /><value type=\"int\" name=\"7\" /></specify>", {index(a)}),
          lines[5]);
      // A member variable is referred to by its object's name and its place in the object.
      EXPECT_EQ("<variable object=\"crater\" index=\"1\" />",
                text(m_log->variableAsXml(m_location->getVariables()[1])));
    }

    TEST_F(TransactionLogTest, InternalVariablesAreNeverWritten) {
      DbClientTransactionLog chronological(m_plan.db()->getClient(), true);
      ConstrainedVariableId tmp = client().createVariable("int", "log_tmp", true);
      ConstrainedVariableId global = client().createVariable("int", "log_global", false);
      ASSERT_TRUE(tmp->isInternal());
      flushed();
      std::ostringstream ignored;
      chronological.flush(ignored);
      client().specify(tmp, 3);
      client().restrict(tmp, IntervalIntDomain(0, 5));
      client().close(tmp);
      client().reset(tmp);
      EXPECT_EQ("", tags());
      EXPECT_TRUE(chronological.getBufferedTransactions().empty());
      // In a scope they stand as their domain, from which a replay makes them again.
      ConstraintId c = client().createConstraint("eq", std::vector<ConstrainedVariableId>{tmp, global});
      EXPECT_EQ(fill("<invoke name=\"eq\" index=\"#\"><interval type=\"int\" min=\"0\" max=\"5\" />"
                     "<variable index=\"#\" /></invoke>\n",
                     {client().getIndexByConstraint(c), index(global)}),
                flushed());
      client().deleteConstraint(c);
      client().deleteVariable(tmp);
      EXPECT_EQ("deleteconstraint", tags());
      EXPECT_EQ(2u, chronological.getBufferedTransactions().size());
    }

    TEST_F(ChronologicalLogTest, RetractionsTakeBackTheNewestAction) {
      const char* const cancelCondition =
          "(strcmp(m_bufferedTransactions.back()->Value(), \"activate\") == 0) || "
          "(strcmp(m_bufferedTransactions.back()->Value(), \"reject\") == 0) || "
          "(strcmp(m_bufferedTransactions.back()->Value(), \"merge\") == 0)";
      const char* const freeCondition = "strcmp(m_bufferedTransactions.back()->Value(), \"constrain\") == 0";
      const char* const resetCondition = "strcmp(m_bufferedTransactions.back()->Value(), \"specify\") == 0";
      const char* const violated = "Chronological backtracking assumption violated";
      TokenId first = activeAt();
      TokenId second = activeAt();
      TokenId idle = client().createToken("Rover.At", true, false);
      ConstrainedVariableId a = client().createVariable("int", "a", false);
      ConstrainedVariableId b = client().createVariable("int", "b", false);
      const std::string before = tags();
      ASSERT_EQ("goal activate goal activate goal var var", before);

      // Each action and its retraction leave the buffer as it was.
      const std::vector<std::pair<std::function<void()>, std::function<void()>>> pairs = {
          {[&] { client().activate(idle); }, [&] { client().cancel(idle); }},
          {[&] { client().reject(idle); }, [&] { client().cancel(idle); }},
          {[&] { m_log->notifyMerged(idle, first); }, [&] { m_log->notifyCancelled(idle); }},
          {[&] { client().constrain(m_rover, first, second); },
           [&] { client().free(m_rover, first, second); }},
          {[&] { client().specify(a, 1); }, [&] { client().reset(a); }},
          {[&] { client().specify(a, 2); }, [&] { client().reset(b); }},
      };
      for (const auto& pair : pairs) {
        pair.first();
        pair.second();
        EXPECT_EQ(before, tags());
      }

      // Refused retractions leave the buffer as it was.
      EXPECT_CHECK_FAILS(client().cancel(idle), cancelCondition, violated);
      client().constrain(m_rover, first, second);
      client().specify(a, 3);
      client().restrict(a, IntervalIntDomain(0, 5));
      EXPECT_CHECK_FAILS(client().reset(a), resetCondition, violated);
      EXPECT_CHECK_FAILS(client().free(m_rover, first, second), freeCondition, violated);
      EXPECT_EQ(before + " constrain specify restrict", tags());
      flushed();
      EXPECT_CHECK_FAILS(client().cancel(second), cancelCondition, violated);
      EXPECT_CHECK_FAILS(client().reset(a), resetCondition, violated);
      EXPECT_EQ("", tags());

      // Everything else is recorded as usual.
      client().deleteVariable(b);
      EXPECT_EQ("deletevar", tags());
    }

    TEST_F(TransactionLogTest, BreakpointsAndCancelsOfTheNormalMode) {
      TokenId token = activeAt();
      client().cancel(token);
      EXPECT_EQ("goal activate cancel", tags());
      m_log->insertBreakpoint();
      EXPECT_EQ("goal activate cancel breakpoint", tags());
      m_log->removeBreakpoint();
      client().activate(token);
      EXPECT_CHECK_FAILS(m_log->removeBreakpoint(),
                         "m_bufferedTransactions.back()->Value() == std::string(\"breakpoint\")",
                         "Last transaction is a activate, not a breakpoint.");
      EXPECT_EQ("goal activate cancel activate", tags());
      flushed();
      EXPECT_CHECK_FAILS(m_log->removeBreakpoint(), "!m_bufferedTransactions.empty()", "");
      EXPECT_CHECK_FAILS(m_log->popTransaction(), "!m_bufferedTransactions.empty()", "");
    }

    TEST_F(TransactionLogTest, FlushWritesLinesAndKeepsWhatAFailedStreamDidNotTake) {
      EXPECT_EQ("", flushed());
      client().createToken("Rover.At", true, false);
      client().createToken("Rover.At", true, false);
      EXPECT_EQ(
          "<goal><predicateinstance name=\"0\" type=\"Rover.At\" path=\"0\" /></goal>\n"
          "<goal><predicateinstance name=\"1\" type=\"Rover.At\" path=\"1\" /></goal>\n",
          flushed());
      // Tokens need paths: logging on, and a root created through the client.
      // A refused goal still takes its name.
      client().disableTransactionLogging();
      EXPECT_CHECK_FAILS(client().createToken("Rover.At", true, false), "isTransactionLoggingEnabled()", "");
      client().enableTransactionLogging();
      EXPECT_CHECK_FAILS(client().activate(m_plan.db()->createToken("Rover.At", true, false)),
                         "indexOfMaster >= 0", "");
      client().createToken("Rover.At", true, false);
      BrokenBuffer broken;
      std::ostream os(&broken);
      EXPECT_CHECK_FAILS(m_log->flush(os), "!os.fail()",
                         "The stream failed while 1 transactions were written to it; they stay buffered.");
      EXPECT_EQ("<goal><predicateinstance name=\"3\" type=\"Rover.At\" path=\"2\" /></goal>\n", flushed());
    }

    TEST_F(TransactionLogTest, RenderingWritesItsDebugLines) {
      TestModel::DebugCapture capture("notifyVariableCreated");
      DebugMessage::enableMatching("domainValueAsXml");
      client().createVariable("int", IntervalIntDomain(1, 1, "int"), "log_one", false, true);
      EXPECT_EQ(
          "[notifyVariableCreated] variable name = log_one typeName = int type = int\n"
          "[domainValueAsXml] domain type = int domain name = int\n",
          capture.text());
    }

    /** A log that counts the objects it hears of through the two-argument form. */
    class CountingLog : public DbClientTransactionLog {
    public:
      explicit CountingLog(const DbClientId& client) : DbClientTransactionLog(client, false) {}
      using DbClientTransactionLog::notifyObjectCreated;
      void notifyObjectCreated(const ObjectId& object,
                               const std::vector<const AbstractDomain*>& arguments) override {
        calls++;
        DbClientTransactionLog::notifyObjectCreated(object, arguments);
      }
      int calls = 0;
    };

    TEST_F(TransactionLogTest, ObjectsWithoutArgumentsReachTheTwoArgumentForm) {
      // The log keeps its own copy of the client handle it was given.
      CountingLog log(DbClientId(m_plan.db()->getClient()));
      client().createObject("Rover", "curiosity");
      EXPECT_EQ(1, log.calls);
      EXPECT_EQ(1u, log.getBufferedTransactions().size());
    }

  }
}
