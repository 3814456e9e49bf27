#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/base/DbClientListener.hh"
#include "PlanDatabase/base/PSPlanDatabaseClient.hh"
#include "PlanDatabase/model/TestObjects.hh"

#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace {

    using namespace TestModel;

    class DbClientTest : public DatabaseFixture {
    protected:
      DbClient& client() { return *((DbClient*) m_db->getClient()); }
    };

    class CountingListener : public DbClientListener {
    public:
      explicit CountingListener(const DbClientId& client) : DbClientListener(client) {}
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
      CountingListener* listener = new CountingListener(m_db->getClient());
      const DbClientListenerId id = listener->getId();
      EXPECT_CHECK_FAILS(client().notifyAdded(id), "m_listeners.find(listener) == m_listeners.end()", "");
      delete listener;
      CountingListener other(m_db->getClient());
      EXPECT_CHECK_FAILS(client().notifyRemoved(id), "m_listeners.find(listener) != m_listeners.end()", "");
      const std::size_t handles = IdTable::size();
      EXPECT_CHECK_FAILS((void) CountingListener(DbClientId::noId()), "m_client.isValid()", "");
      EXPECT_EQ(handles, IdTable::size());
    }

    TEST_F(DbClientTest, ListenerOutlivingItsClientGoesQuietly) {
      DbClient* own = new DbClient(db());
      CountingListener* listener = new CountingListener(own->getId());
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

  }
}
