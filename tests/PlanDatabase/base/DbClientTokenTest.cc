#include "PlanDatabase/model/ClientRecorder.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {
    namespace {

      class DbClientTokenTest : public ClientFixture {
      protected:
        TokenId create(const char* predicate = "Rover.drive") {
          return client.createToken(predicate, true, false);
        }
        /** A new slave of the master, which is activated first when it is not active. */
        TokenId slave(const TokenId& master) {
          if (!master->isActive())
            master->activate();
          return (new DriveToken(master, "Rover.drive", "before"))->getId();
        }
        std::string path(const TokenId& t) { return client.getPathAsString(t); }
        static std::string key(const TokenId& t) { return ClientRecorder::key(t); }
      };

      TEST_F(DbClientTokenTest, CreationRecordsKeysOnlyWithLoggingOn) {
        TokenId unrecorded = create();
        client.enableTransactionLogging();
        DebugCapture capture("DbClient:");
        int made = 0; // listeners can already name the new token by its path
        told.probe = [&]() { return path(client.getTokenByPath({made++})); };
        TokenId a = create(), b = create("Battery.charge");
        EXPECT_EQ((std::vector<std::string>{"token " + key(unrecorded), "token " + key(a) + " | 0",
                                            "token " + key(b) + " | 1"}),
                  told.heard());
        EXPECT_EQ("[DbClient:allocateToken]Saving token key " + key(a) + "\n[DbClient:createToken]" +
                      a->toString() + "\n[DbClient:allocateToken]Saving token key " + key(b) +
                      "\n[DbClient:createToken]" + b->toString() + "\n",
                  capture.text());
        EXPECT_CHECK_FAILS(path(unrecorded), "indexOfMaster >= 0", "");

        // The record survives switching logging off.
        told.probe = nullptr;
        client.disableTransactionLogging();
        create();
        client.enableTransactionLogging();
        EXPECT_EQ(b, client.getTokenByPath({1}));
        EXPECT_EQ(TokenId::noId(), client.getTokenByPath({2}));
      }

      TEST_F(DbClientTokenTest, RecordedTokensAreDeletedNewestFirst) {
        DebugCapture capture("DbClient:deleteToken");
        client.enableTransactionLogging();
        TokenId a = create(), b = create(), c = create();
        const std::string kc = key(c);
        told.log.clear();
        told.probe = [&]() { return client.getPathAsString(c.isValid() ? c : b); };

        // Refused before anyone is told.
        EXPECT_CHECK_FAILS(client.deleteToken(a, "a"),
                           "std::find(m_keysOfTokensCreated.begin(), m_keysOfTokensCreated.end(), "
                           "token->getKey()) == m_keysOfTokensCreated.end()",
                           "Attempted to delete " + a->toString() + " out of order.");
        EXPECT_TRUE(told.log.empty());

        // Listeners see the token with its path; then the key goes.
        client.deleteToken(c, "c");
        EXPECT_FALSE(c.isValid());
        EXPECT_EQ((std::vector<std::string>{"tokenDeleted " + kc + " 'c' | 2"}), told.heard());
        EXPECT_EQ("[DbClient:deleteToken]Removing token key " + kc + "\n", capture.text());

        // Logging off: the order is still enforced and the last key still goes.
        told.probe = nullptr;
        client.disableTransactionLogging();
        EXPECT_CHECK_FAILS(client.deleteToken(a, ""),
                           "std::find(m_keysOfTokensCreated.begin(), "
                           "m_keysOfTokensCreated.end(), token->getKey()) == m_keysOfTokensCreated.end()",
                           "Attempted to delete " + a->toString() + " out of order.");
        client.deleteToken(b, "");
        client.enableTransactionLogging();
        EXPECT_EQ(TokenId::noId(), client.getTokenByPath({1}));
        // The next root takes the freed index.
        EXPECT_EQ("1", path(create()));
      }

      TEST_F(DbClientTokenTest, UnrecordedAndDeadTokensDoNotBlockDeletion) {
        TokenId unrecorded = create();
        client.enableTransactionLogging();
        TokenId a = create(), b = create();
        client.deleteToken(unrecorded, "");
        // b goes without the client: its stale key must not block a.
        b->discard();
        client.deleteToken(a, "");
        EXPECT_FALSE(a.isValid());
        EXPECT_EQ("0", path(create()));
      }

      TEST_F(DbClientTokenTest, OnlyInactiveTokensOrFactsAreDeleted) {
        TokenId t = create();
        t->activate();
        EXPECT_CHECK_FAILS(client.deleteToken(t, ""), "token->isInactive() || token->isFact()",
                           "Attempted to delete active, non-fact token " + t->toString());
        EXPECT_CHECK_FAILS(client.deleteToken(TokenId::noId(), ""), "token.isValid()", "");
        TokenId fact = client.createToken("Rover.drive", true, true);
        fact->activate();
        told.log.clear();
        client.deleteToken(fact, "f");
        EXPECT_EQ(1u, told.log.size());
        EXPECT_FALSE(fact.isValid());
      }

      TEST_F(DbClientTokenTest, AllocationNeedsTokenFactories) {
        Schema bare("Bare", m_ces->getId());
        ConstraintEngine ce(m_ces->getId());
        PlanDatabase* db = new PlanDatabase(ce.getId(), bare.getId());
        EXPECT_CHECK_FAILS(db->getClient()->createToken("Rover.drive", true, false),
                           "supportsAutomaticAllocation()", "Cannot allocate tokens from the schema.");
        delete db;
      }

      TEST_F(DbClientTokenTest, ChangesAreMadeThenAnnounced) {
        TokenId t = create(), r = create();
        told.log.clear();
        DebugCapture capture("DbClient:");
        told.probe = [&]() {
          return std::string(t->isActive() ? "t active" : "t inactive") +
                 (r->isRejected() ? " r rejected" : "");
        };
        client.activate(t);
        client.reject(r);
        m_ce->propagate();
        client.constrain(r1, t, t);
        client.free(r1, t, t);
        EXPECT_EQ((std::vector<std::string>{
                      "activated " + key(t) + " | t active", "rejected " + key(r) + " | t active r rejected",
                      "constrained r1 " + key(t) + " " + key(t) + " | t active r rejected",
                      "freed r1 " + key(t) + " " + key(t) + " | t active r rejected"}),
                  told.heard());
        EXPECT_EQ("[DbClient:activate]" + t->toString() + "\n[DbClient:reject]" + r->toString() +
                      "\n[DbClient:constrain]" + t->toString() + " before " + t->toString() +
                      "\n[DbClient:free]" + t->toString() + " before " + t->toString() + "\n",
                  capture.text());

        // Cancel is announced first: listeners see the token still rejected.
        client.cancel(r);
        EXPECT_EQ((std::vector<std::string>{"cancelled " + key(r) + " | t active r rejected"}), told.heard());
        EXPECT_TRUE(r->isInactive());
        EXPECT_CHECK_FAILS(client.reject(TokenId::noId()), "token.isValid()", "");
        EXPECT_CHECK_FAILS(client.cancel(TokenId::noId()), "token.isValid()", "");
      }

      TEST_F(DbClientTokenTest, MergeCountsEveryCallInItsMessage) {
        TokenId active = create(), inactive = create();
        client.activate(active);
        std::string first;
        try {
          client.merge(TokenId::noId(), active);
        } catch (const Error& e) {
          EXPECT_EQ("token.isValid()", e.getCondition());
          first = e.getMessage();
        }
        ASSERT_EQ(0u, first.find("noId:"));
        const unsigned long n = std::stoul(first.substr(5));
        told.log.clear();
        client.merge(inactive, active);
        EXPECT_TRUE(inactive->isMerged());
        EXPECT_EQ((std::vector<std::string>{"merged " + key(inactive) + " " + key(active)}), told.heard());
        EXPECT_CHECK_FAILS(client.merge(TokenId::noId(), active), "token.isValid()",
                           "noId:" + std::to_string(n + 2));
      }

      TEST_F(DbClientTokenTest, PathsNameNestedSlavesAndRoundTrip) {
        TokenId unrecorded = create();
        client.enableTransactionLogging();
        TokenId a = create(), b = create();
        TokenId s0 = slave(b), s1 = slave(b), s10 = slave(s1), s11 = slave(s1);
        const std::pair<TokenId, std::string> expected[] = {{a, "0"},    {b, "1"},       {s0, "1.0"},
                                                            {s1, "1.1"}, {s10, "1.1.0"}, {s11, "1.1.1"}};
        for (const auto& e : expected) {
          EXPECT_EQ(e.second, path(e.first));
          EXPECT_EQ(e.first, client.getTokenByPath(client.getPathByToken(e.first))) << e.second;
        }
        EXPECT_CHECK_FAILS(path(slave(unrecorded)), "indexOfMaster >= 0", "");

        // Well formed but leading nowhere: no handle, no failure.
        const std::vector<int> nowhere[] = {{2}, {1, 2}, {1, -1}, {1, 1, 5}, {0, 0}};
        for (const std::vector<int>& p : nowhere)
          EXPECT_EQ(TokenId::noId(), client.getTokenByPath(p)) << p.size();
        a->discard(); // a dead root keeps its place in the record
        EXPECT_EQ(TokenId::noId(), client.getTokenByPath({0}));
        EXPECT_EQ(s10, client.getTokenByPath({1, 1, 0}));

        // Malformed: checked in this order.
        EXPECT_CHECK_FAILS(client.getTokenByPath({}), "!relativePath.empty()", "");
        EXPECT_CHECK_FAILS(client.getTokenByPath({-1}), "relativePath[0] >= 0", "");
        client.disableTransactionLogging();
        EXPECT_CHECK_FAILS(client.getTokenByPath({0}), "isTransactionLoggingEnabled()", "");
        EXPECT_CHECK_FAILS(client.getPathByToken(b), "isTransactionLoggingEnabled()", "");
        EXPECT_CHECK_FAILS(client.getPathAsString(b), "isTransactionLoggingEnabled()", "");
      }

      TEST_F(DbClientTokenTest, AnEmptyRecordResolvesNoPath) {
        client.enableTransactionLogging();
        EXPECT_CHECK_FAILS(client.getTokenByPath({-1}), "!m_keysOfTokensCreated.empty()", "");
      }

      /**
       * Cancelling the merge onto an active token that only the merged token
       * still holds (reference count 1) takes the active token's key off the
       * record when it is the newest recorded key, and refuses the cancel
       * only when the key is recorded earlier.
       */
      struct CancelCase {
        const char* what;
        bool activeRecorded, mergedRecorded, onlyHolder, fails;
        const char* nextPath; // of a root created after the cancel
      };

      class DbClientCancelTest : public DbClientTokenTest,
                                 public ::testing::WithParamInterface<CancelCase> {};

      TEST_P(DbClientCancelTest, CancelledMergeKeepsTheRecordInOrder) {
        const CancelCase& c = GetParam();
        auto make = [&](bool recorded) {
          if (recorded != client.isTransactionLoggingEnabled())
            recorded ? client.enableTransactionLogging() : client.disableTransactionLogging();
          return create();
        };
        TokenId active = make(c.activeRecorded), merged = make(c.mergedRecorded);
        if (!client.isTransactionLoggingEnabled())
          client.enableTransactionLogging();
        client.activate(active);
        client.merge(merged, active);
        if (c.onlyHolder)
          active->decRefCount();
        told.log.clear();
        told.probe = [&]() { return std::string(merged->isMerged() ? "merged" : "split"); };
        if (c.fails) {
          EXPECT_CHECK_FAILS(client.cancel(merged),
                             "!isTransactionLoggingEnabled() || m_keysOfTokensCreated.back() == "
                             "activeToken->getKey()",
                             "If transaction logging enabled then we require chronological retraction. " +
                                 active->toString());
          EXPECT_TRUE(told.log.empty());
          active->incRefCount();
        } else {
          client.cancel(merged);
          EXPECT_EQ((std::vector<std::string>{"cancelled " + key(merged) + " | merged"}), told.heard());
          EXPECT_TRUE(merged->isInactive());
        }
        told.probe = nullptr;
        EXPECT_EQ(c.nextPath, path(create()));
      }

      INSTANTIATE_TEST_SUITE_P(
          Record, DbClientCancelTest,
          ::testing::Values(CancelCase{"ActiveLast", true, false, true, false, "0"},
                            CancelCase{"ActiveHeldElsewhere", true, false, false, false, "1"},
                            CancelCase{"ActiveNotRecorded", false, true, true, false, "1"},
                            CancelCase{"EmptyRecord", false, false, true, false, "0"},
                            CancelCase{"ActiveRecordedEarlier", true, true, true, true, "2"}),
          [](const ::testing::TestParamInfo<CancelCase>& c) { return std::string(c.param.what); });

    }
  }
}
