#include "PlanDatabase/base/PlanDatabaseWriter.hh"

#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/component/IntervalToken.hh"
#include "PlanDatabase/component/Timeline.hh"
#include "PlanDatabase/model/TestTokens.hh"
#include "Utils/base/Utils.hh"

#include <gtest/gtest.h>

#include <sstream>

namespace KADRIX {
  namespace TestModel {

    /** A Timeline.busy token with one parameter, x in [0, 10], and one real parameter y when asked. */
    class ParamToken : public IntervalToken {
    public:
      ParamToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact,
                 bool withReal = false)
        : IntervalToken(db, name, rejectable, isFact, IntervalIntDomain(0, 100), IntervalIntDomain(1, 110),
                        IntervalIntDomain(1, 10), Token::noObject(), false) {
        addParameters(withReal);
      }
      ParamToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
        : IntervalToken(master, relation, name, IntervalIntDomain(0, 100), IntervalIntDomain(1, 110),
                        IntervalIntDomain(1, 10), Token::noObject(), false) {
        addParameters(false);
      }

    private:
      void addParameters(bool withReal) {
        addParameter(IntervalIntDomain(0, 10), "x");
        if (withReal)
          addParameter(IntervalDomain(0.5, 2.5), "y");
        close();
      }
    };

    class PlanDatabaseWriterTest : public DatabaseFixture {
    protected:
      PlanDatabaseWriterTest() {
        registerEngineConstraints(m_ces->getId());
        m_ces->registerConstraintFactory(
            new ConcreteConstraintFactory<ObjectTokenRelation>("ObjectTokenRelation", "Default", true));
        m_schema->addObjectType("Timeline");
        m_schema->addPredicate("Timeline.busy");
        m_schema->addMember("Timeline.busy", "int", "x");
        m_schema->addMember("Timeline.busy", "float", "y");
      }
      ~PlanDatabaseWriterTest() { m_db->purge(); }

      TokenId token(bool withReal = false) {
        return (new ParamToken(db(), "Timeline.busy", true, false, withReal))->getId();
      }

      static std::string text(const AbstractDomain& domain) {
        std::ostringstream os;
        os << domain;
        return os.str();
      }
      static std::string key(const TokenId& t) { return toString(static_cast<double>(t->getKey())); }

      /** The lines of one token at the given number of tabs. */
      static std::string lines(const TokenId& t, int tabs, const std::string& master = "NONE") {
        const std::string in(tabs, '\t');
        std::string params;
        for (const ConstrainedVariableId& p : t->parameters())
          params += p->getName().toString() + "=" + text(p->lastDomain());
        return in + "[ " + text(t->start()->lastDomain()) + " ]\n" + in + "\t" +
               t->getPredicateName().toString() + "(" + params + ")\n" + in + "\tKey=" + key(t) +
               "  Master=" + master + "\n" + in + "[ " + text(t->end()->lastDomain()) + " ]\n";
      }
    };

    TEST_F(PlanDatabaseWriterTest, EmptyDatabaseIsOneLine) {
      EXPECT_EQ(m_db->toString(), "Objects *************************\n");
      make("Wheel", "w");
      EXPECT_EQ(m_db->toString(),
                "Objects *************************\n"
                "\tWheel:w*************************\n"
                "\tEnd Wheel:w*************************\n");
    }

    TEST_F(PlanDatabaseWriterTest, TimelineTokensThenUnplacedTokensByState) {
      Timeline* tl = new Timeline(db(), "Timeline", "tl");
      TokenId busy = token();
      busy->activate();
      m_ce->propagate();
      tl->constrain(busy, busy);
      TokenId slave = (new ParamToken(busy, "Timeline.busy", "before"))->getId();
      m_ce->propagate();

      EXPECT_EQ(m_db->toString(),
                "Objects *************************\n"
                "\tTimeline:tl*************************\n"
                "\t\tTokens *************************\n" +
                    lines(busy, 3) +
                    "\t\tEnd Tokens *********************\n"
                    "\tEnd Timeline:tl*************************\n"
                    "Inactive Tokens: *************************\n" +
                    lines(slave, 1, key(busy)));
      EXPECT_EQ(PlanDatabaseWriter::indent(), 0);

      // On the timeline but not sequenced: written in its state's group.
      TokenId waiting = token();
      waiting->activate();
      m_ce->propagate();
      const std::string all = m_db->toString();
      EXPECT_NE(all.find("Active Tokens: *************************\n" + lines(waiting, 1)),
                std::string::npos);
      EXPECT_LT(all.find("Active Tokens"), all.find("Inactive Tokens"));
      EXPECT_EQ(all.find("Rejected"), std::string::npos);
    }

    TEST_F(PlanDatabaseWriterTest, MergedAndTerminatedTokens) {
      Timeline* tl = new Timeline(db(), "Timeline", "tl");
      TokenId a = token();
      a->activate();
      m_ce->propagate();
      tl->constrain(a, a);
      TokenId m = token();
      m->doMerge(a);
      m_ce->propagate();
      std::string withMerged = lines(a, 3);
      withMerged.insert(withMerged.rfind("\t\t\t["), "\t\t\t\t\tMerged Key=" + key(m) + "\n");
      EXPECT_EQ(m_db->toString(),
                "Objects *************************\n"
                "\tTimeline:tl*************************\n"
                "\t\tTokens *************************\n" +
                    withMerged +
                    "\t\tEnd Tokens *********************\n"
                    "\tEnd Timeline:tl*************************\n"
                    "Merged Tokens: *************************\n" +
                    lines(m, 1));

      // A terminated token is written in its state's group, not refused.
      TokenId t = token();
      t->terminate();
      EXPECT_NE(m_db->toString().find("Inactive Tokens: *************************\n" + lines(t, 1)),
                std::string::npos);
    }

    TEST_F(PlanDatabaseWriterTest, PlainObjectsListEveryTokenOnThem) {
      m_schema->addObjectType("Depot", "Timeline");
      ObjectId d1 = make("Depot", "d1"), d2 = make("Depot", "d2");
      TokenId t = token();
      t->activate();
      m_ce->propagate();
      const std::string all = m_db->toString();
      const std::string block =
          "\t\tTokens *************************\n" + lines(t, 3) + "\t\tEnd Tokens *********************\n";
      EXPECT_EQ(all,
                "Objects *************************\n"
                "\tDepot:d1*************************\n" +
                    block +
                    "\tEnd Depot:d1*************************\n"
                    "\tDepot:d2*************************\n" +
                    block + "\tEnd Depot:d2*************************\n");
      (void) d1;
      (void) d2;
    }

    TEST_F(PlanDatabaseWriterTest, VariablesAndGlobals) {
      TestObject* battery = new TestObject(db(), "Battery", "b", true);
      ConstrainedVariableId level = battery->addVariable(IntervalDomain(0, 100, "float"), "level");
      battery->close();
      ConstrainedVariableId g = intVariable(1, 2, "g");
      m_db->registerGlobalVariable(g);
      EXPECT_EQ(m_db->toString(),
                "Objects *************************\n"
                "\tBattery:b*************************\n"
                "\t\tVariables *************************\n"
                "\t\t\tb.level=" +
                    text(level->lastDomain()) +
                    "\n"
                    "\t\tEnd Variables *********************\n"
                    "\tEnd Battery:b*************************\n"
                    "Global Variables*************************\n"
                    "\tg=" +
                    text(g->lastDomain()) + "\n");
      m_db->unregisterGlobalVariable(g);
      g->discard();
    }

    TEST_F(PlanDatabaseWriterTest, RealParametersAloneAreFixedPoint) {
      new Timeline(db(), "Timeline", "tl");
      TokenId t = token(true);
      std::ostringstream os;
      os.setf(std::ios::fixed);
      PlanDatabaseWriter::writeToken(t, os);
      EXPECT_FALSE(os.flags() & std::ios::fixed);
      EXPECT_EQ(os.str(), lines(t, 1));
    }

    TEST_F(PlanDatabaseWriterTest, AFailedWriteLeavesTheIndentationAsItWas) {
      new Timeline(db(), "Timeline", "tl");
      TokenId t = token();
      std::ostringstream os;
      EXPECT_CHECK_FAILS(PlanDatabaseWriter::writeToken(TokenId(), os), "t.isValid()", "");
      EXPECT_EQ(0, PlanDatabaseWriter::indent());
      PlanDatabaseWriter::writeToken(t, os);
      EXPECT_EQ(os.str(), lines(t, 1));
    }

    TEST_F(PlanDatabaseWriterTest, StandardKeysSwitchPersists) {
      PlanDatabaseWriter::toString(db(), false);
      EXPECT_FALSE(PlanDatabaseWriter::useStandardKeys());
      std::ostringstream os;
      PlanDatabaseWriter::write(db(), os);
      EXPECT_FALSE(PlanDatabaseWriter::useStandardKeys());
      m_db->toString();
      EXPECT_TRUE(PlanDatabaseWriter::useStandardKeys());
    }

    TEST_F(PlanDatabaseWriterTest, WithoutStandardKeysTokensAreNamedByPath) {
      m_schema->registerTokenFactory((new TestTokenFactory<ParamToken>("Timeline.busy"))->getId());
      new Timeline(db(), "Timeline", "tl");
      const DbClientId& client = m_db->getClient();
      client->enableTransactionLogging();
      TokenId first = client->createToken("Timeline.busy", true, false);
      TokenId busy = client->createToken("Timeline.busy", true, false);
      busy->activate();
      TokenId slave = (new ParamToken(busy, "Timeline.busy", "before"))->getId();
      m_ce->propagate();

      const std::string byPath = PlanDatabaseWriter::toString(db(), false);
      for (const char* line : {"\tKey=0  Master=NONE\n", "\tKey=1  Master=NONE\n", "\tKey=1.0  Master=1\n"})
        EXPECT_NE(std::string::npos, byPath.find(line)) << line;
      EXPECT_EQ(std::string::npos, byPath.find("Key=" + key(first)));
      EXPECT_NE(std::string::npos, m_db->toString().find("Key=" + key(slave) + "  Master=" + key(busy)));
    }

    TEST_F(PlanDatabaseWriterTest, InconsistentPlansAreNotWritten) {
      breakPlan();
      m_ce->propagate();
      EXPECT_CHECK_FAILS(m_db->toString(), "!db->getConstraintEngine()->provenInconsistent()", "");
      PlanDatabaseWriter::indent() = 0;
    }

  }
}
