#include "PlanDatabase/model/TestTokens.hh"

#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    typedef TokenFixture TokenTest;

    static std::vector<std::string> names(const Token& token) {
      std::vector<std::string> result;
      for (size_t i = 0; i < token.getVariables().size(); ++i)
        result.push_back(token.getVariables()[i]->getName().toString());
      return result;
    }

    TEST_F(TokenTest, ConstructionBuildsVariablesInIndexOrder) {
      TokenId token = drive();
      EXPECT_EQ((std::vector<std::string>{"state", "object", "duration", "start", "end", "speed",
                                          "distance"}),
                names(*token));
      for (size_t i = 0; i < token->getVariables().size(); ++i)
        EXPECT_EQ((int) i, token->getVariables()[i]->getIndex());
      EXPECT_EQ(2u, token->parameters().size());
      EXPECT_EQ("drive", token->getTokenType());
      EXPECT_EQ(LabelStr("Rover"), token->getBaseObjectType());
      EXPECT_EQ(LabelStr("none"), token->getRelation());
      EXPECT_TRUE(token->master().isNoId());
      EXPECT_EQ(2u, token->getStandardConstraints().size());

      // The object variable: every rover and car, closed, unspecified.
      const AbstractDomain& objects = token->getObject()->lastDomain();
      EXPECT_TRUE(token->getObject()->isClosed());
      EXPECT_FALSE(token->getObject()->isSpecified());
      EXPECT_EQ(4u, objects.getSize());
      EXPECT_TRUE(objects.isMember((double) c1));
      EXPECT_FALSE(objects.isMember((double) b1));

      // A later rover does not join it.
      ObjectId r4 = make("Rover", "r4");
      EXPECT_FALSE(token->getObject()->lastDomain().isMember((double) r4));

      TokenId event = charge();
      EXPECT_EQ((std::vector<std::string>{"state", "object", "duration", "time", "amount"}),
                names(*event));
      EXPECT_EQ(event->start(), event->end());
      EXPECT_EQ(IntervalIntDomain(0, 0), event->duration()->getBaseDomain());
      EXPECT_EQ(1u, event->getStandardConstraints().size());
    }

    TEST_F(TokenTest, StatesFollowTheStateVariable) {
      DriveToken* open = new DriveToken(db(), "Rover.drive", true, false, Token::noObject(), false);
      EXPECT_TRUE(open->isIncomplete());
      EXPECT_FALSE(open->isInactive() || open->isActive() || open->isMerged() || open->isRejected());
      EXPECT_TRUE(open->isValid());
      EXPECT_CHECK_FAILURE(open->getTokenState(), "ALWAYS_FAIL", "Unknown token state");
      EXPECT_TRUE(m_db->getTokens().empty());
      EXPECT_TRUE(recorder->log.empty());

      open->close();
      EXPECT_TRUE(open->isInactive());
      EXPECT_EQ(PSToken::INACTIVE, open->getTokenState());
      EXPECT_EQ(1u, m_db->getTokens().count(open->getId()));
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("added", open->getId())}, recorder->log);
      EXPECT_CHECK_FAILURE(open->close(), "isIncomplete()", "");

      // Rejectable tokens can take REJECTED; others cannot.
      EXPECT_EQ(3u, open->getState()->baseDomain().getSize());
      TokenId fixed = drive(false);
      EXPECT_EQ(2u, fixed->getState()->baseDomain().getSize());
      EXPECT_FALSE(fixed->getState()->baseDomain().isMember(Token::REJECTED.getKey()));

      open->activate();
      EXPECT_EQ(PSToken::ACTIVE, open->getTokenState());
      EXPECT_TRUE(Token::isStateVariable(open->getState()));
      EXPECT_FALSE(Token::isStateVariable(open->getObject()));
    }

    TEST_F(TokenTest, StateVariableNameOutsideATokenFails) {
      ConstrainedVariableId impostor =
        (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(0, 1), false, true, "state"))
          ->getId();
      try {
        Token::isStateVariable(impostor);
        ADD_FAILURE() << "no failure";
      } catch (const Error& e) {
        EXPECT_EQ("!result || (var->getIndex() == 0 && TokenId::convertable(var->parent()))",
                  e.getCondition());
        EXPECT_EQ(impostor->toString() + " is not really a token state variable.", e.getMessage());
      }
      impostor->discard();
    }

    TEST_F(TokenTest, NamedObjectAndNameResolution) {
      DriveToken* token = new DriveToken(db(), "Rover.drive", true, false, "r2");
      EXPECT_TRUE(token->getObject()->isSpecified());
      EXPECT_EQ((double) r2, token->getObject()->lastDomain().getSingletonValue());

      ConstrainedVariableId global =
        (new Variable<IntervalIntDomain>(m_ce->getId(), IntervalIntDomain(0, 5), false, true, "g"))
          ->getId();
      m_db->registerGlobalVariable(global);
      EXPECT_EQ(ConstrainedVariableId(token->getState()), token->getVariable("state"));
      EXPECT_EQ(global, token->getVariable("g"));
      EXPECT_EQ(nullptr, token->getParameter("g"));
      EXPECT_TRUE(token->getVariable("nothing").isNoId());
      EXPECT_EQ(nullptr, token->getParameter("nothing"));
      EXPECT_EQ(7, token->getParameters().size());
      EXPECT_EQ(token->getParameter("speed"), token->getParameters().get(5));

      const unsigned long before = std::stoul(Token::makePseudoVarName().toString().substr(16));
      EXPECT_EQ("PSEUDO_VARIABLE_" + std::to_string(before + 1), Token::makePseudoVarName().toString());
      EXPECT_EQ(0.0, token->getViolation());
      EXPECT_EQ("", token->getViolationExpl());
      EXPECT_EQ(nullptr, token->getOwner()); // inactive, although a singleton
      m_db->unregisterGlobalVariable(global);
      global->discard();
    }

    TEST_F(TokenTest, FailedConstructionLeavesNothingBehind) {
      const size_t handles = IdTable::size();
      const unsigned int slots = m_ce->variableSlotCount();
      EXPECT_CHECK_FAILURE(new PlainToken(db(), "Rover.fly", true, false),
                           "m_planDatabase->getSchema().isNoId() || "
                           "m_planDatabase->getSchema()->isPredicate(predicateName)",
                           "Invalid predicate: Rover.fly");
      EXPECT_CHECK_FAILURE(new IntervalToken(db(), "Rover.drive", true, false, horizon(), horizon(),
                                             IntervalIntDomain(0, 10), Token::noObject(), true),
                           "m_duration->getBaseDomain().getLowerBound() > 0", "");
      EXPECT_CHECK_FAILURE(new PlainToken(db(), "Rover.drive", true, false, "b1"),
                           "m_object->baseDomain().isMember(object)", "");
      EXPECT_CHECK_FAILURE(new PlainToken(db(), "Rover.drive", true, false, "nobody"),
                           "object.isValid()", "");
      EXPECT_EQ(handles, IdTable::size());
      EXPECT_EQ(slots, m_ce->variableSlotCount());
      EXPECT_TRUE(m_db->getTokens().empty());
      EXPECT_TRUE(recorder->log.empty());

      // A slave under an inactive master: the master's slaves stay as they were.
      TokenId master = drive();
      EXPECT_CHECK_FAILURE(new PlainToken(master, "Vehicle.move", "before"), "m_master->isActive()", "");
      EXPECT_TRUE(master->slaves().empty());
      EXPECT_EQ(1u, m_db->getTokens().size());

      // No object of the type at all.
      m_schema->addObjectType("Drone");
      m_schema->addPredicate("Drone.fly");
      EXPECT_CHECK_FAILURE(new PlainToken(db(), "Drone.fly", true, false),
                           "!m_planDatabase->getObjectsByType(m_baseObjectType).empty()",
                           "Allocated a token with no object instance available of type Drone");
      PlainToken* good = new PlainToken(db(), "Vehicle.move", true, false);
      EXPECT_TRUE(good->isInactive());
    }

    TEST_F(TokenTest, ActivationPlacesBeforeItAnnounces) {
      TokenId token = drive();
      recorder->log.clear();
      std::set<int> seenActive;
      recorder->onRecord = [&](const std::string& what, const TokenId& t) {
        if (what == "activated")
          for (const TokenId& a : m_db->getActiveTokens("Rover.drive"))
            seenActive.insert(a->getKey());
        (void) t;
      };
      token->activate();
      ASSERT_EQ(5u, recorder->log.size());
      EXPECT_EQ(TokenRecorder::entry("activated", token), recorder->log.back());
      EXPECT_EQ(4u, placements(token).size());
      EXPECT_EQ(1u, seenActive.count(token->getKey()));
      EXPECT_EQ(4, ((Object*) r1)->getTokens().size() + ((Object*) r2)->getTokens().size() +
                   ((Object*) r3)->getTokens().size() + ((Object*) c1)->getTokens().size());

      // A second activation fails with the message and changes nothing.
      recorder->log.clear();
      EXPECT_CHECK_FAILURE(token->activate(), "isInactive()",
                           "Token " + token->toString() +
                           " is not INACTIVE. Only inactive tokens may be activated.");
      EXPECT_TRUE(recorder->log.empty());
      EXPECT_TRUE(token->isActive());
    }

    TEST_F(TokenTest, RejectAndCancel) {
      TokenId token = drive();
      // Narrow the current domain: every object of the base domain is still told.
      token->getObject()->specify((double) r1);
      recorder->log.clear();
      token->reject();
      EXPECT_TRUE(token->isRejected());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("rejected", token)}, recorder->log);
      EXPECT_CHECK_FAILURE(token->activate(), "isInactive()",
                           "Token " + token->toString() +
                           " is not INACTIVE. Only inactive tokens may be activated.");

      recorder->log.clear();
      token->cancel();
      EXPECT_TRUE(token->isInactive());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("reinstated", token)}, recorder->log);
      EXPECT_CHECK_FAILURE(token->cancel(), "!isIncomplete() && !isInactive()",
                           token->getState()->toString());

      // Not rejectable: refused before any notice.
      TokenId fixed = drive(false);
      recorder->log.clear();
      EXPECT_THROW(fixed->reject(), Error);
      EXPECT_TRUE(recorder->log.empty());

      // A slave cannot be rejected.
      token->activate();
      TokenId slave = m_db->createSlaveToken(token, "Vehicle.move", "before");
      EXPECT_CHECK_FAILURE(slave->reject(), "m_master.isNoId()", "");
      EXPECT_TRUE(slave->isInactive());
    }

    TEST_F(TokenTest, DeactivationOrder) {
      TokenId master = drive();
      master->activate();
      TokenId slave = m_db->createSlaveToken(master, "Vehicle.move", "meets");
      EXPECT_EQ(LabelStr("meets"), slave->getRelation());
      EXPECT_FALSE(slave->getState()->baseDomain().isMember(Token::REJECTED.getKey()));
      const int slaveKey = slave->getKey();
      recorder->log.clear();
      master->cancel();

      // The slave's removal, then the objects, then the deactivation.
      ASSERT_FALSE(recorder->log.empty());
      EXPECT_EQ("removed " + std::to_string(slaveKey), recorder->with("removed").front());
      EXPECT_EQ(TokenRecorder::entry("deactivated", master), recorder->log.back());
      const std::vector<std::string> lifted = recorder->with(TokenRecorder::entry("lifted", master));
      EXPECT_EQ(4u, lifted.size());
      size_t removedAt = 0, firstLift = recorder->log.size();
      for (size_t i = 0; i < recorder->log.size(); ++i) {
        if (recorder->log[i] == "removed " + std::to_string(slaveKey))
          removedAt = i;
        if (recorder->log[i].compare(0, 6, "lifted") == 0 &&
            recorder->log[i].find(" " + std::to_string(master->getKey()) + " ") != std::string::npos)
          firstLift = std::min(firstLift, i);
      }
      EXPECT_LT(removedAt, firstLift);
      EXPECT_TRUE(master->slaves().empty());
      EXPECT_TRUE(m_db->getActiveTokens("Rover.drive").empty());
      EXPECT_TRUE(Entity::getEntity(slaveKey).isNoId());
    }

    TEST_F(TokenTest, SlavePositions) {
      TokenId master = drive();
      master->activate();
      std::vector<TokenId> slaves;
      for (int i = 0; i < 3; ++i)
        slaves.push_back(m_db->createSlaveToken(master, "Vehicle.move", "any"));
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(i, master->getSlavePosition(slaves[i]));
        EXPECT_EQ(slaves[i], master->getSlave(i));
      }
      EXPECT_TRUE(master->getSlave(3).isNoId());
      EXPECT_TRUE(master->getSlave(-1).isNoId());
      EXPECT_EQ(-1, master->getSlavePosition(master));
      EXPECT_CHECK_FAILURE(master->add(slaves[0]), "m_slaves.find(slave) == m_slaves.end()", "");

      slaves[1]->discard();
      EXPECT_EQ(1, master->getSlavePosition(slaves[2]));
      EXPECT_TRUE(master->getSlave(2).isNoId());
      EXPECT_EQ(2, master->getSlaves().size());

      EXPECT_CHECK_FAILURE(slaves[0]->removeMaster(slaves[2]), "m_master == token",
                           "Trying to remove " + slaves[2]->toString() + " instead of " +
                           master->toString());

      // A slave held elsewhere survives its master's release, without a master.
      slaves[2]->incRefCount();
      EXPECT_FALSE(slaves[2]->removeMaster(master));
      EXPECT_TRUE(slaves[2]->master().isNoId());
      EXPECT_EQ(1u, slaves[2]->refCount());
      EXPECT_CHECK_FAILURE(slaves[2]->removeMaster(master), "m_master.isValid()",
                           "Master is not present or not valid.");
      // A slave held by nothing else goes.
      const int key = slaves[0]->getKey();
      EXPECT_TRUE(slaves[0]->removeMaster(master));
      EXPECT_TRUE(Entity::getEntity(key).isNoId());
      EXPECT_TRUE(master->slaves().empty());
    }

    TEST_F(TokenTest, DiscardInOrder) {
      TokenId master = drive();
      master->activate();
      TokenId slave = m_db->createSlaveToken(master, "Vehicle.move", "any");
      const int masterKey = master->getKey();
      recorder->log.clear();
      master->discard();
      EXPECT_TRUE(Entity::getEntity(masterKey).isNoId());
      // Deactivated (slave gone first) before the objects forget it and the database lets it go.
      size_t deactivatedAt = 0, removedAt = 0;
      for (size_t i = 0; i < recorder->log.size(); ++i) {
        if (recorder->log[i] == "deactivated " + std::to_string(masterKey))
          deactivatedAt = i;
        if (recorder->log[i] == "removed " + std::to_string(masterKey))
          removedAt = i;
      }
      EXPECT_LT(deactivatedAt, removedAt);
      EXPECT_EQ(recorder->log.size() - 1, removedAt);
      EXPECT_TRUE(m_db->getTokens().empty());
      EXPECT_TRUE(((Object*) r1)->tokens().empty());

      // Discarding a slave: its master forgets it.
      TokenId other = drive();
      other->activate();
      TokenId s2 = m_db->createSlaveToken(other, "Vehicle.move", "any");
      s2->discard();
      EXPECT_TRUE(other->slaves().empty());

      // Deleting through the destructor discards exactly once.
      recorder->log.clear();
      const int otherKey = other->getKey();
      delete (Token*) other;
      EXPECT_EQ(1u, recorder->with("removed " + std::to_string(otherKey)).size());
      EXPECT_EQ(1u, recorder->with("deactivated " + std::to_string(otherKey)).size());

      // An incomplete token cannot be discarded outside a purge.
      DriveToken* open = new DriveToken(db(), "Rover.drive", true, false, Token::noObject(), false);
      EXPECT_CHECK_FAILURE(open->discard(false), "!isIncomplete()", "");
      delete open;
      // Its owner may delete an incomplete token: what it built goes with it.
      const size_t handles = IdTable::size();
      delete new DriveToken(db(), "Rover.drive", true, false, Token::noObject(), false);
      EXPECT_EQ(handles, IdTable::size());
    }

    TEST_F(TokenTest, DiscardSkipsDeletedObjects) {
      ObjectId spare = make("Rover", "spare");
      m_db->close("Rover");
      TokenId token = drive();
      EXPECT_TRUE(token->getObject()->baseDomain().isMember((double) spare));
      spare->discard();
      // Reject and discard walk the base domain: the deleted rover is skipped.
      token->reject();
      recorder->log.clear();
      const std::string removed = TokenRecorder::entry("removed", token);
      token->discard();
      EXPECT_EQ(removed, recorder->log.back());
      EXPECT_EQ(4u, recorder->with("lifted").size());
    }

    TEST_F(TokenTest, ValidityRules) {
      class Probe : public PlainToken {
      public:
        Probe(const PlanDatabaseId& db) : PlainToken(db, "Vehicle.move", true, false) {}
        void setActiveToken(const TokenId& t) { m_activeToken = t; }
        void setMaster(const TokenId& t) { m_master = t; }
        void addMerged(const TokenId& t) { m_mergedTokens.insert(t); }
        void clear() { m_activeToken = TokenId::noId(); m_master = TokenId::noId(); m_mergedTokens.clear(); }
      };
      DebugCapture capture("Token:isValid");
      Probe* probe = new Probe(db());
      Probe* other = new Probe(db());
      EXPECT_TRUE(probe->isValid());

      probe->addMerged(other->getId());
      EXPECT_FALSE(probe->isValid());
      probe->clear();

      probe->activate();
      probe->setActiveToken(other->getId());
      EXPECT_FALSE(probe->isValid());
      probe->clear();

      Probe* gone = new Probe(db());
      TokenId stale = gone->getId();
      gone->discard();
      probe->setMaster(stale);
      EXPECT_FALSE(probe->isValid());
      probe->clear();

      probe->getState()->resetSpecified();
      probe->getState()->setSpecified(Token::MERGED.getKey());
      EXPECT_FALSE(probe->isValid());
      probe->getState()->resetSpecified();
      EXPECT_TRUE(probe->isValid());
      const std::string text = capture.text();
      EXPECT_NE(std::string::npos, text.find("[Token:isValid]Invalid rejected or inactive token."));
      EXPECT_NE(std::string::npos, text.find("[Token:isValid]Cannot have merged ids if active."));
      EXPECT_NE(std::string::npos, text.find("[Token:isValid]Bad id or master id."));
      EXPECT_NE(std::string::npos, text.find("[Token:isValid]Not correctly merged"));
    }

    TEST_F(TokenTest, DeactivationSurvivesLosingItsLastHolder) {
      // Something that held the token lets it go while the token deactivates
      // (here: when its slave is removed): the token finishes its own
      // deactivation and goes afterwards.
      TokenId master = drive();
      master->activate();
      TokenId slave = m_db->createSlaveToken(master, "Vehicle.move", "any");
      master->incRefCount();
      bool released = false;
      recorder->onRecord = [&](const std::string& what, const TokenId& t) {
        if (what == "removed" && t == slave && !released) {
          released = true;
          master->decRefCount();
          master->decRefCount();
        }
      };
      const int key = master->getKey();
      master->cancel();
      recorder->onRecord = nullptr;
      EXPECT_TRUE(released);
      EXPECT_TRUE(Entity::getEntity(key).isNoId());
      EXPECT_EQ(1u, recorder->with("deactivated " + std::to_string(key)).size());
      EXPECT_EQ(1u, recorder->with("removed " + std::to_string(key)).size());
    }

    TEST_F(TokenTest, ActiveTokenIndexWalksAncestorPredicates) {
      m_schema->addObjectType("Timeline");
      m_schema->addObjectType("Walker", "Timeline");
      m_schema->addObjectType("FastWalker", "Walker");
      m_schema->addObjectType("RaceWalker", "FastWalker");
      m_schema->addPredicate("Walker.walk");
      m_schema->addPredicate("FastWalker.walk");
      m_schema->registerTokenFactory((new TestTokenFactory<PlainToken>("Walker.walk"))->getId());
      make("RaceWalker", "race");
      make("Walker", "walker");

      TokenId race = m_db->createToken("RaceWalker.walk", true, false);
      TokenId plain = m_db->createToken("Walker.walk", true, false);
      plain->activate();
      race->activate();
      EXPECT_EQ(1u, m_db->getActiveTokens("RaceWalker.walk").size());
      EXPECT_EQ(1u, m_db->getActiveTokens("FastWalker.walk").size());
      const TokenSet& walkers = m_db->getActiveTokens("Walker.walk");
      ASSERT_EQ(2u, walkers.size());
      EXPECT_LT((*walkers.begin())->getKey(), (*walkers.rbegin())->getKey());
      EXPECT_TRUE(m_db->getActiveTokens("Timeline.walk").empty());
      EXPECT_TRUE(m_db->getActiveTokens("Nothing.at.all").empty());

      race->cancel();
      EXPECT_TRUE(m_db->getActiveTokens("FastWalker.walk").empty());
      EXPECT_EQ(1u, m_db->getActiveTokens("Walker.walk").size());
      {
        DebugCapture capture("PlanDatabase:notify");
        race->activate();
        // Filed once, however often the database is told.
        race->activateInternal();
        EXPECT_NE(std::string::npos,
                  capture.text().find("[PlanDatabase:notifyActivated]RaceWalker.walk(" +
                                      std::to_string(race->getKey()) + ")"));
      }
      EXPECT_EQ(2u, m_db->getActiveTokens("Walker.walk").size());

      // The walk reaches a predicate the schema gained since: no entry to remove from.
      race->cancel();
      m_schema->addPredicate("Timeline.walk");
      EXPECT_CHECK_FAILURE(plain->cancel(), "it != m_activeTokensByPredicate.end()",
                           plain->toString() + " must be present but isn't.");
    }

    TEST_F(TokenTest, PurgeReleasesEverything) {
      TokenId master = drive();
      master->activate();
      TokenId slave = m_db->createSlaveToken(master, "Vehicle.move", "any");
      // Held by something else: it outlives its master's release.
      slave->incRefCount();
      TokenId free = charge();
      free->reject();
      recorder->log.clear();
      m_db->purge();
      EXPECT_TRUE(m_db->getTokens().empty());
      EXPECT_TRUE(m_db->getObjects().empty());
      // Every token goes before any object.
      size_t lastToken = 0, firstObject = recorder->log.size();
      for (size_t i = 0; i < recorder->log.size(); ++i) {
        if (recorder->log[i].compare(0, 8, "removed ") == 0)
          lastToken = i;
        if (recorder->log[i].compare(0, 5, "gone ") == 0)
          firstObject = std::min(firstObject, i);
      }
      EXPECT_EQ(3u, recorder->with("removed ").size());
      EXPECT_LT(lastToken, firstObject);
    }

    TEST_F(TokenTest, LongText) {
      TokenId token = charge();
      const std::string text = token->toLongString();
      EXPECT_EQ(0u, text.find("Token(" + token->toString() + ") {\n    isFact:0\n    state : "));
      EXPECT_NE(std::string::npos, text.find("\n    time : " + token->start()->toString() + "\n"));
      EXPECT_EQ(text.size() - 2, text.rfind("}\n"));
    }

  }
}
