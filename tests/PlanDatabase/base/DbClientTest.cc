#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/DbClientListener.hh"
#include "PlanDatabase/base/PSPlanDatabaseClient.hh"
#include "PlanDatabase/model/ClientRecorder.hh"

#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {
    namespace {

      class DbClientTest : public DatabaseFixture {
      protected:
        DbClient& client() { return *(static_cast<DbClient*>(m_db->getClient())); }
      };

      TEST_F(DbClientTest, ClientsAreMadeAndDeletedByTheirDatabase) {
        PSPlanDatabaseClientImpl* ps = dynamic_cast<PSPlanDatabaseClientImpl*>(m_db->getPDBClient());
        ASSERT_NE(nullptr, ps);
        EXPECT_EQ(m_db->getClient(), ps->getClient());
        EXPECT_CHECK_FAILS(client().disableTransactionLogging(), "isTransactionLoggingEnabled()", "");
        client().enableTransactionLogging();
        EXPECT_CHECK_FAILS(client().enableTransactionLogging(), "!isTransactionLoggingEnabled()", "");
        const DbClientId id = m_db->getClient();
        delete m_db;
        m_db = nullptr;
        EXPECT_FALSE(id.isValid());
      }

      TEST_F(DbClientTest, ListenersRegisterForTheirLifetime) {
        ClientRecorder* listener = new ClientRecorder(m_db->getClient());
        const DbClientListenerId id = listener->getId();
        EXPECT_CHECK_FAILS(client().notifyAdded(id), "m_listeners.find(listener) == m_listeners.end()", "");
        delete listener;
        ClientRecorder other(m_db->getClient());
        EXPECT_CHECK_FAILS(client().notifyRemoved(id), "m_listeners.find(listener) != m_listeners.end()", "");
        const std::size_t handles = IdTable::size();
        EXPECT_CHECK_FAILS((void) ClientRecorder(DbClientId::noId()), "m_client.isValid()", "");
        EXPECT_EQ(handles, IdTable::size());
      }

      TEST_F(DbClientTest, ListenerOutlivingItsClientGoesQuietly) {
        DbClient* own = new DbClient(db());
        ClientRecorder* listener = new ClientRecorder(own->getId());
        delete own;
        delete listener;
      }

      TEST_F(DbClientTest, QueriesAnswerFromTheDatabaseAndTheEngine) {
        EXPECT_FALSE(client().supportsAutomaticAllocation());
        m_schema->registerTokenFactory((new StubTokenFactory("Vehicle.move"))->getId());
        EXPECT_TRUE(client().supportsAutomaticAllocation());

        // Propagation answers the consistency after propagating.
        registerEngineConstraints(m_ces->getId());
        ConstrainedVariableId x = m_ce->createVariable("int", IntervalIntDomain(0, 5, "int"));
        ConstrainedVariableId y = m_ce->createVariable("int", IntervalIntDomain(3, 9, "int"));
        ConstraintId eq = m_ce->createConstraint("eq", makeScope(x, y));
        EXPECT_EQ(eq, client().getConstraintByIndex(client().getIndexByConstraint(eq)));
        EXPECT_FALSE(client().constraintConsistent());
        EXPECT_TRUE(client().propagate());
        x->specify(1);
        EXPECT_FALSE(client().propagate());
        EXPECT_FALSE(client().constraintConsistent());
      }

      class PSPlanDatabaseClientTest : public ClientFixture {
      protected:
        PSPlanDatabaseClientTest() : ps(*m_db->getPDBClient()) {
          m_schema->registerObjectFactory((new TestObjectFactory("Wheel"))->getId());
        }
        PSPlanDatabaseClient& ps;
        static std::string key(PSToken* t) { return std::to_string(t->getKey()); }
      };

      TEST_F(PSPlanDatabaseClientTest, EveryOperationReachesTheClient) {
        client.enableTransactionLogging();
        PSToken* t = ps.createToken("Rover.drive", true, false);
        PSToken* u = ps.createToken("Rover.drive", true, false);
        const std::string kt = key(t), ku = key(u);
        EXPECT_EQ("1", client.getPathAsString(TokenId(dynamic_cast<Token*>(u)->getId())));
        PSObject* w = ps.createObject("Wheel", "w");
        PSVariable* v = ps.createVariable("int", "v", false);
        PSVariable* rovers = ps.createVariable("Rover", "rovers", true);
        PSList<PSVariable*> scope;
        scope.push_back(v);
        scope.push_back(v);
        PSConstraint* eq = ps.createConstraint("eq", scope);
        ps.specify(v, 3);
        ps.reset(v);
        ps.close(rovers);
        ps.deleteConstraint(eq);
        ps.deleteVariable(v);
        ps.deleteObject(w);
        ps.activate(t);
        ps.merge(u, t);
        ps.cancel(u);
        ps.reject(u);
        ps.cancel(u);
        m_ce->propagate();
        PSObject* rover = dynamic_cast<Object*>(static_cast<Object*>(r1));
        ps.constrain(rover, t, t);
        ps.free(rover, t, t);
        ps.deleteToken(u);
        ps.close("Wheel");
        ps.close();
        EXPECT_EQ((std::vector<std::string>{"token " + kt,
                                            "token " + ku,
                                            "object w",
                                            "variable v",
                                            "variable rovers",
                                            "constraint eq",
                                            "specified v",
                                            "reset v",
                                            "varClosed rovers",
                                            "constraintDeleted eq",
                                            "variableDeleted v",
                                            "objectDeleted w",
                                            "activated " + kt,
                                            "merged " + ku + " " + kt,
                                            "cancelled " + ku,
                                            "rejected " + ku,
                                            "cancelled " + ku,
                                            "constrained r1 " + kt + " " + kt,
                                            "freed r1 " + kt + " " + kt,
                                            "tokenDeleted " + ku + " ''",
                                            "closed Wheel",
                                            "closed"}),
                  told.log);
        EXPECT_FALSE(client.isGlobalVariable("v"));
        EXPECT_EQ(TokenId::noId(), client.getTokenByPath({1}));
      }

      TEST_F(PSPlanDatabaseClientTest, ForeignOrNullPointersFailChecks) {
        EXPECT_CHECK_FAILS(ps.activate(nullptr), "engineToken != 0",
                           "The public token is null or not a token of the plan database.");
        EXPECT_CHECK_FAILS(ps.deleteObject(nullptr), "object != 0",
                           "The public object is null or not an object of the plan database.");
        EXPECT_CHECK_FAILS(ps.reset(nullptr), "engineVar != 0",
                           "The public variable is null or not a variable of the constraint engine.");
        EXPECT_CHECK_FAILS(ps.deleteConstraint(nullptr), "engineConstraint != 0",
                           "The public constraint is null or not a constraint of the constraint engine.");
        PSList<PSVariable*> scope;
        scope.push_back(nullptr);
        EXPECT_CHECK_FAILS(ps.createConstraint("eq", scope), "engineVar != 0",
                           "The public variable is null or not a variable of the constraint engine.");
        EXPECT_TRUE(told.log.empty());
      }

    }
  }
}
