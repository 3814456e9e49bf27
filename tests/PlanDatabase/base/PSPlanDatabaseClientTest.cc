#include "PlanDatabase/base/PSPlanDatabaseClient.hh"
#include "PlanDatabase/model/ClientRecorder.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {
    namespace {

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
        PSObject* rover = dynamic_cast<Object*>((Object*) r1);
        ps.constrain(rover, t, t);
        ps.free(rover, t, t);
        ps.deleteToken(u);
        ps.close("Wheel");
        ps.close();
        EXPECT_EQ((std::vector<std::string>{
                    "token " + kt, "token " + ku, "object w", "variable v", "variable rovers", "constraint eq",
                    "specified v", "reset v", "varClosed rovers", "constraintDeleted eq", "variableDeleted v",
                    "objectDeleted w", "activated " + kt, "merged " + ku + " " + kt, "cancelled " + ku,
                    "rejected " + ku, "cancelled " + ku, "constrained r1 " + kt + " " + kt,
                    "freed r1 " + kt + " " + kt, "tokenDeleted " + ku + " ''", "closed Wheel", "closed"}),
                  told.log);
        EXPECT_FALSE(client.isGlobalVariable("v"));
        EXPECT_EQ(TokenId::noId(), client.getTokenByPath({1}));
      }

      TEST_F(PSPlanDatabaseClientTest, ForeignOrNullPointersFailChecks) {
        EXPECT_CHECK_FAILURE(ps.activate(nullptr), "engineToken != 0",
                             "The public token is null or not a token of the plan database.");
        EXPECT_CHECK_FAILURE(ps.deleteObject(nullptr), "object != 0",
                             "The public object is null or not an object of the plan database.");
        EXPECT_CHECK_FAILURE(ps.reset(nullptr), "engineVar != 0",
                             "The public variable is null or not a variable of the constraint engine.");
        EXPECT_CHECK_FAILURE(ps.deleteConstraint(nullptr), "engineConstraint != 0",
                             "The public constraint is null or not a constraint of the constraint engine.");
        PSList<PSVariable*> scope;
        scope.push_back(nullptr);
        EXPECT_CHECK_FAILURE(ps.createConstraint("eq", scope), "engineVar != 0",
                             "The public variable is null or not a variable of the constraint engine.");
        EXPECT_TRUE(told.log.empty());
      }

    }
  }
}
