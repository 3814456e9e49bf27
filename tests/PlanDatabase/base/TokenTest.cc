#include "PlanDatabase/model/TestTokens.hh"

#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/base/PSPlanDatabase.hh"
#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <list>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class TokenTest : public TokenFixture {
    protected:
      /** Position of the first entry that is, or begins with, the entry and a space; else the log's size. */
      size_t at(const std::string& entry) const {
        size_t found = recorder->log.size();
        for (size_t i = 0; i < recorder->log.size(); ++i)
          if (recorder->log[i] == entry || recorder->log[i].compare(0, entry.size() + 1, entry + " ") == 0) {
            found = i;
            break;
          }
        return found;
      }

      TokenId activeWithSlave(const char* relation = "any") {
        TokenId master = drive();
        master->activate();
        m_db->createSlaveToken(master, "Vehicle.move", relation);
        return master;
      }
    };

    static std::vector<std::string> names(const Token& token) {
      std::vector<std::string> result;
      for (size_t i = 0; i < token.getVariables().size(); ++i)
        result.push_back(token.getVariables()[i]->getName().toString());
      return result;
    }

    static std::multiset<std::string> asSet(const std::vector<std::string>& log) {
      return std::multiset<std::string>(log.begin(), log.end());
    }

    TEST_F(TokenTest, ConstructionBuildsVariablesInIndexOrder) {
      TokenId token = drive();
      EXPECT_EQ(
          (std::vector<std::string>{"state", "object", "duration", "start", "end", "speed", "distance"}),
          names(*token));
      for (size_t i = 0; i < token->getVariables().size(); ++i)
        EXPECT_EQ(static_cast<int>(i), token->getVariables()[i]->getIndex());
      EXPECT_EQ(2u, token->getStandardConstraints().size());
      // The object variable: every rover and car, closed; a later rover does not join it.
      const AbstractDomain& objects = token->getObject()->lastDomain();
      EXPECT_TRUE(token->getObject()->isClosed());
      EXPECT_EQ(4u, objects.getSize());
      EXPECT_FALSE(objects.isMember(static_cast<double>(b1)));
      EXPECT_FALSE(objects.isMember(static_cast<double>(make("Rover", "r4"))));

      TokenId event = charge();
      EXPECT_EQ((std::vector<std::string>{"state", "object", "duration", "time", "amount"}), names(*event));
      EXPECT_EQ(event->start(), event->end());
      EXPECT_EQ(1u, event->getStandardConstraints().size());
      const std::string text = event->toLongString();
      EXPECT_EQ(0u, text.find("Token(" + event->toString() + ") {\n    isFact:0\n    state : "));
      EXPECT_NE(std::string::npos, text.find("\n    time : " + event->start()->toString() + "\n"));
    }

    TEST_F(TokenTest, StatesFollowTheStateVariable) {
      DriveToken* open = new DriveToken(db(), "Rover.drive", true, false, Token::noObject(), false);
      EXPECT_TRUE(open->isIncomplete());
      EXPECT_FALSE(open->isInactive() || open->isActive() || open->isMerged() || open->isRejected());
      EXPECT_CHECK_FAILS(open->getTokenState(), "ALWAYS_FAIL", "Unknown token state");
      EXPECT_TRUE(m_db->getTokens().empty());

      open->close();
      EXPECT_EQ(PSToken::INACTIVE, open->getTokenState());
      EXPECT_EQ(std::vector<std::string>{TokenRecorder::entry("added", open->getId())}, recorder->log);
      EXPECT_CHECK_FAILS(open->close(), "isIncomplete()", "");

      // Rejectable tokens can take REJECTED; others cannot.
      EXPECT_EQ(3u, open->getState()->baseDomain().getSize());
      EXPECT_FALSE(drive(false)->getState()->baseDomain().isMember(Token::REJECTED.getKey()));

      open->activate();
      EXPECT_EQ(PSToken::ACTIVE, open->getTokenState());
      EXPECT_TRUE(Token::isStateVariable(open->getState()));
      // A variable merely named "state" is refused.
      ConstrainedVariableId impostor = intVariable(0, 5, "state");
      EXPECT_CHECK_FAILS(Token::isStateVariable(impostor),
                         "!result || (var->getIndex() == 0 && TokenId::convertable(var->parent()))",
                         impostor->toString() + " is not really a token state variable.");
      impostor->discard();
    }

    TEST_F(TokenTest, NamedObjectAndNameResolution) {
      DriveToken* token = new DriveToken(db(), "Rover.drive", true, false, "r2");
      EXPECT_EQ(static_cast<double>(r2), token->getObject()->lastDomain().getSingletonValue());
      EXPECT_EQ(nullptr, token->getOwner()); // inactive, although a singleton

      ConstrainedVariableId global = intVariable(0, 5, "g");
      m_db->registerGlobalVariable(global);
      EXPECT_EQ(global, token->getVariable("g"));
      EXPECT_EQ(nullptr, token->getParameter("g"));
      EXPECT_TRUE(token->getVariable("nothing").isNoId());
      EXPECT_EQ(token->getParameter("speed"), token->getParameters().get(5));
      m_db->unregisterGlobalVariable(global);
      global->discard();
    }

    TEST_F(TokenTest, FailedConstructionLeavesNothingBehind) {
      const size_t handles = IdTable::size();
      const unsigned int slots = m_ce->variableSlotCount();
      EXPECT_CHECK_FAILS(new PlainToken(db(), "Rover.fly", true, false),
                         "m_planDatabase->getSchema().isNoId() || "
                         "m_planDatabase->getSchema()->isPredicate(predicateName)",
                         "Invalid predicate: Rover.fly");
      EXPECT_CHECK_FAILS(new IntervalToken(db(), "Rover.drive", true, false, horizon(), horizon(),
                                           IntervalIntDomain(0, 10), Token::noObject(), true),
                         "m_duration->getBaseDomain().getLowerBound() > 0", "");
      EXPECT_CHECK_FAILS(new PlainToken(db(), "Rover.drive", true, false, "b1"),
                         "m_object->baseDomain().isMember(object)", "");
      EXPECT_CHECK_FAILS(new PlainToken(db(), "Rover.drive", true, false, "nobody"), "object.isValid()", "");
      EXPECT_EQ(handles, IdTable::size());
      EXPECT_EQ(slots, m_ce->variableSlotCount());
      EXPECT_TRUE(recorder->log.empty());

      // A slave under an inactive master: the master's slaves stay as they were.
      TokenId master = drive();
      EXPECT_CHECK_FAILS(new PlainToken(master, "Vehicle.move", "before"), "m_master->isActive()", "");
      EXPECT_TRUE(master->slaves().empty());

      // No object of the type at all.
      m_schema->addObjectType("Drone");
      m_schema->addPredicate("Drone.fly");
      EXPECT_CHECK_FAILS(new PlainToken(db(), "Drone.fly", true, false),
                         "!m_planDatabase->getObjectsByType(m_baseObjectType).empty()",
                         "Allocated a token with no object instance available of type Drone");
    }

    TEST_F(TokenTest, ActivationPlacesBeforeItAnnounces) {
      TokenId token = drive();
      recorder->log.clear();
      bool indexedWhenAnnounced = false;
      recorder->onRecord = [&](const std::string& what, const TokenId&) {
        if (what == "activated")
          indexedWhenAnnounced = m_db->getActiveTokens("Rover.drive").count(token) == 1;
      };
      token->activate();
      ASSERT_EQ(5u, recorder->log.size());
      EXPECT_EQ(4u, placements(token).size());
      EXPECT_EQ(TokenRecorder::entry("activated", token), recorder->log.back());
      EXPECT_TRUE(indexedWhenAnnounced);

      // A second activation fails with the message and changes nothing.
      recorder->log.clear();
      EXPECT_CHECK_FAILS(
          token->activate(), "isInactive()",
          "Token " + token->toString() + " is not INACTIVE. Only inactive tokens may be activated.");
      EXPECT_TRUE(recorder->log.empty());
      EXPECT_TRUE(token->isActive());
    }

    TEST_F(TokenTest, RejectAndCancel) {
      TokenId token = drive();
      // Narrow the current domain: every object of the base domain is still told.
      token->getObject()->specify(static_cast<double>(r1));
      recorder->log.clear();
      token->reject();
      token->cancel();
      EXPECT_EQ((std::vector<std::string>{TokenRecorder::entry("rejected", token),
                                          TokenRecorder::entry("reinstated", token)}),
                recorder->log);
      EXPECT_TRUE(token->isInactive());
      EXPECT_CHECK_FAILS(token->cancel(), "!isIncomplete() && !isInactive()", token->getState()->toString());

      // Neither a token that is not rejectable nor a slave: refused before any notice.
      TokenId fixed = drive(false);
      token->activate();
      TokenId slave = m_db->createSlaveToken(token, "Vehicle.move", "before");
      recorder->log.clear();
      EXPECT_THROW(fixed->reject(), Error);
      EXPECT_CHECK_FAILS(slave->reject(), "m_master.isNoId()", "");
      EXPECT_TRUE(recorder->log.empty());
    }

    TEST_F(TokenTest, DeactivationRemovesSlavesFirst) {
      TokenId master = activeWithSlave("meets");
      TokenId slave = *master->slaves().begin();
      const int slaveKey = slave->getKey();
      const std::string slaveRemoved = TokenRecorder::entry("removed", slave);
      recorder->log.clear();
      master->cancel();
      // The slave's removal, then the objects, then the deactivation.
      EXPECT_LT(at(slaveRemoved), at(TokenRecorder::entry("lifted", master)));
      EXPECT_EQ(4u, recorder->with(TokenRecorder::entry("lifted", master)).size());
      EXPECT_EQ(TokenRecorder::entry("deactivated", master), recorder->log.back());
      EXPECT_TRUE(master->slaves().empty());
      EXPECT_TRUE(Entity::getEntity(slaveKey).isNoId());
    }

    TEST_F(TokenTest, SlavePositions) {
      TokenId master = drive();
      master->activate();
      std::vector<TokenId> slaves;
      for (int i = 0; i < 3; ++i)
        slaves.push_back(m_db->createSlaveToken(master, "Vehicle.move", "any"));
      EXPECT_EQ(slaves[2], master->getSlave(2));
      EXPECT_TRUE(master->getSlave(3).isNoId() && master->getSlave(-1).isNoId());
      EXPECT_EQ(-1, master->getSlavePosition(master));
      EXPECT_CHECK_FAILS(master->add(slaves[0]), "m_slaves.find(slave) == m_slaves.end()", "");

      slaves[1]->discard();
      EXPECT_EQ(1, master->getSlavePosition(slaves[2]));

      EXPECT_CHECK_FAILS(slaves[0]->removeMaster(slaves[2]), "m_master == token",
                         "Trying to remove " + slaves[2]->toString() + " instead of " + master->toString());

      // A slave held elsewhere survives its master's release, without a master.
      slaves[2]->incRefCount();
      EXPECT_FALSE(slaves[2]->removeMaster(master));
      EXPECT_EQ(1u, slaves[2]->refCount());
      EXPECT_CHECK_FAILS(slaves[2]->removeMaster(master), "m_master.isValid()",
                         "Master is not present or not valid.");
      // A slave held by nothing else goes.
      const int key = slaves[0]->getKey();
      EXPECT_TRUE(slaves[0]->removeMaster(master));
      EXPECT_TRUE(Entity::getEntity(key).isNoId());
      EXPECT_TRUE(master->slaves().empty());
    }

    TEST_F(TokenTest, DiscardInOrder) {
      TokenId master = activeWithSlave();
      const int masterKey = master->getKey();
      const std::string deactivated = TokenRecorder::entry("deactivated", master);
      const std::string removed = TokenRecorder::entry("removed", master);
      recorder->log.clear();
      master->discard();
      // Deactivated (slave gone first) before the objects forget it and the database lets it go.
      EXPECT_TRUE(Entity::getEntity(masterKey).isNoId());
      EXPECT_LT(at(deactivated), at(removed));
      EXPECT_EQ(recorder->log.size() - 1, at(removed));
      EXPECT_TRUE(static_cast<Object*>(r1)->tokens().empty());

      // Discarding a slave: its master forgets it.
      TokenId other = activeWithSlave();
      (*other->slaves().begin())->discard();
      EXPECT_TRUE(other->slaves().empty());

      // Deleting through the destructor discards exactly once.
      recorder->log.clear();
      const std::string otherRemoved = TokenRecorder::entry("removed", other);
      const std::string otherDeactivated = TokenRecorder::entry("deactivated", other);
      delete static_cast<Token*>(other);
      EXPECT_EQ(1u, recorder->with(otherRemoved).size());
      EXPECT_EQ(1u, recorder->with(otherDeactivated).size());

      // An incomplete token cannot be discarded outside a purge; its owner may delete it, and
      // what it built goes with it.
      const size_t handles = IdTable::size();
      DriveToken* open = new DriveToken(db(), "Rover.drive", true, false, Token::noObject(), false);
      EXPECT_CHECK_FAILS(open->discard(false), "!isIncomplete()", "");
      delete open;
      EXPECT_EQ(handles, IdTable::size());
    }

    TEST_F(TokenTest, DiscardSkipsDeletedObjects) {
      ObjectId spare = make("Rover", "spare");
      m_db->close("Rover");
      TokenId token = drive();
      EXPECT_TRUE(token->getObject()->baseDomain().isMember(static_cast<double>(spare)));
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
        void clear() {
          m_activeToken = TokenId::noId();
          m_master = TokenId::noId();
          m_mergedTokens.clear();
        }
      };
      DebugCapture capture("Token:isValid");
      Probe* probe = new Probe(db());
      Probe* other = new Probe(db());
      Probe* gone = new Probe(db());
      TokenId stale = gone->getId();
      gone->discard();
      EXPECT_TRUE(probe->isValid());
      // Merged ids while inactive, an active token while active, a master that is gone.
      for (const std::function<void()>& corrupt :
           std::vector<std::function<void()>>{[&] { probe->addMerged(other->getId()); },
                                              [&] {
                                                probe->activate();
                                                probe->setActiveToken(other->getId());
                                              },
                                              [&] { probe->setMaster(stale); }}) {
        corrupt();
        EXPECT_FALSE(probe->isValid());
        probe->clear();
      }

      probe->getState()->resetSpecified();
      probe->getState()->setSpecified(Token::MERGED.getKey());
      EXPECT_FALSE(probe->isValid());
      probe->getState()->resetSpecified();
      EXPECT_TRUE(probe->isValid());
      const std::string text = capture.text();
      for (const char* message : {"Invalid rejected or inactive token.", "Cannot have merged ids if active.",
                                  "Bad id or master id.", "Not correctly merged"})
        EXPECT_NE(std::string::npos, text.find(std::string("[Token:isValid]") + message)) << message;
    }

    TEST_F(TokenTest, DeactivationSurvivesLosingItsLastHolder) {
      // Something that held the token lets it go while the token deactivates
      // (here: when its slave is removed): the token finishes its own
      // deactivation and goes afterwards.
      TokenId master = activeWithSlave();
      TokenId slave = *master->slaves().begin();
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
      const std::string removed = TokenRecorder::entry("removed", master);
      const std::string deactivated = TokenRecorder::entry("deactivated", master);
      master->cancel();
      recorder->onRecord = nullptr;
      EXPECT_TRUE(released);
      EXPECT_TRUE(Entity::getEntity(key).isNoId());
      EXPECT_EQ(1u, recorder->with(deactivated).size());
      EXPECT_EQ(1u, recorder->with(removed).size());
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
      EXPECT_EQ(1u, m_db->getActiveTokens("FastWalker.walk").size());
      EXPECT_EQ(2u, m_db->getActiveTokens("Walker.walk").size());
      EXPECT_TRUE(m_db->getActiveTokens("Timeline.walk").empty());

      // Filed once, however often the database is told.
      race->cancel();
      race->activate();
      race->activateInternal();
      race->cancel();
      EXPECT_TRUE(m_db->getActiveTokens("FastWalker.walk").empty());

      // The walk reaches a predicate the schema gained since: no entry to remove from.
      m_schema->addPredicate("Timeline.walk");
      EXPECT_CHECK_FAILS(plain->cancel(), "it != m_activeTokensByPredicate.end()",
                         plain->toString() + " must be present but isn't.");
    }

    TEST_F(TokenTest, PurgeReleasesEverything) {
      TokenId master = activeWithSlave();
      // Held by something else: the slave outlives its master's release.
      (*master->slaves().begin())->incRefCount();
      charge()->reject();
      recorder->log.clear();
      m_db->purge();
      EXPECT_TRUE(m_db->getTokens().empty());
      EXPECT_TRUE(m_db->getObjects().empty());
      // Every token goes before any object.
      const std::vector<std::string> removed = recorder->with("removed ");
      ASSERT_EQ(3u, removed.size());
      const std::vector<std::string> gone = recorder->with("gone ");
      ASSERT_FALSE(gone.empty());
      EXPECT_LT(std::find(recorder->log.begin(), recorder->log.end(), removed.back()),
                std::find(recorder->log.begin(), recorder->log.end(), gone.front()));
    }

    TEST_F(TokenTest, EachTokenIsPlacedOnTheObjectsItMayUse) {
      TokenId drive1 = m_db->createToken("Rover.drive", true, false);
      TokenId drive2 = m_db->createToken("Car.drive", true, true);
      TokenId charge1 = m_db->createToken("Battery.charge", true, false);
      recorder->log.clear();
      drive1->activate();
      drive2->activate();
      charge1->activate();
      EXPECT_EQ(asSet({TokenRecorder::entry("placed", drive1, r1), TokenRecorder::entry("placed", drive1, r2),
                       TokenRecorder::entry("placed", drive1, r3), TokenRecorder::entry("placed", drive1, c1),
                       TokenRecorder::entry("activated", drive1), TokenRecorder::entry("placed", drive2, c1),
                       TokenRecorder::entry("activated", drive2), TokenRecorder::entry("placed", charge1, b1),
                       TokenRecorder::entry("activated", charge1)}),
                asSet(recorder->log));
      // The car's token is filed under its own predicate and under Rover's, and owned by the car.
      EXPECT_EQ(2u, m_db->getActiveTokens("Rover.drive").size());
      EXPECT_EQ(1u, m_db->getActiveTokens("Car.drive").size());
      EXPECT_EQ(c1->getKey(), drive2->getOwner()->getKey());
      EXPECT_FALSE(drive1->isAssigned());
    }

    TEST_F(TokenTest, EventTokenIsWholeWhenAnnounced) {
      // A listener that reads the time variable of every token it is told of.
      std::vector<std::string> times;
      recorder->onRecord = [&](const std::string& what, const TokenId& token) {
        if (what == "added")
          times.push_back(token->start()->getName().toString());
      };
      TokenId event =
          (new EventToken(db(), "Battery.charge", true, false, horizon(), Token::noObject(), true))->getId();
      recorder->onRecord = nullptr;
      EXPECT_EQ(std::vector<std::string>{"time"}, times);
      EXPECT_EQ(4u, event->getVariables().size());
    }

    /** Logs the public operations in the recorder's words, so that the two logs compare. */
    class PublicRecorder : public PSPlanDatabaseListener {
    public:
      using PSPlanDatabaseListener::notifyAdded;
      using PSPlanDatabaseListener::notifyRemoved;
      void notifyAdded(PSObject* object) override { log.push_back("object " + object->getEntityName()); }
      void notifyRemoved(PSObject* object) override { log.push_back("gone " + object->getEntityName()); }
      void notifyActivated(PSToken* token) override { record("activated", token); }
      void notifyDeactivated(PSToken* token) override { record("deactivated", token); }
      void notifyRejected(PSToken* token) override { record("rejected", token); }
      void notifyMerged(PSToken* token) override { record("merged", token); }
      void notifySplit(PSToken* token) override { record("split", token); }
      void notifyAdded(PSObject* object, PSToken* token) override {
        record("placed", token, " " + object->getEntityName());
      }
      void notifyRemoved(PSObject* object, PSToken* token) override {
        record("lifted", token, " " + object->getEntityName());
      }
      std::vector<std::string> log;

    private:
      void record(const std::string& what, PSToken* token, const std::string& tail = "") {
        log.push_back(what + " " + std::to_string(token->getKey()) + tail);
      }
    };

    TEST_F(TokenTest, PublicListenerHearsEveryForwardedChange) {
      PublicRecorder viewer;
      viewer.setPlanDatabase(db());
      recorder->log.clear();
      make("Rover", "r4");
      TokenId t = active(), m = drive(), r = drive();
      m->merge(t);
      m->cancel();
      r->reject();
      r->cancel();
      t->getObject()->specify(static_cast<double>(r2));
      t->cancel();
      m_db->purge();

      // Exactly the handle-based notifications of the forwarded kinds, in order.
      const std::vector<std::string> kinds{"object", "gone",  "activated", "deactivated", "rejected",
                                           "merged", "split", "placed",    "lifted"};
      std::vector<std::string> expected;
      for (const std::string& entry : recorder->log)
        if (std::find(kinds.begin(), kinds.end(), entry.substr(0, entry.find(' '))) != kinds.end())
          expected.push_back(entry);
      EXPECT_EQ(expected, viewer.log);
      for (const std::string& kind : kinds)
        EXPECT_FALSE(recorder->with(kind + " ").empty()) << kind;
    }

    typedef TokenFixture TokenVariableTest;

    TEST_F(TokenVariableTest, LocalSpecificationAndReset) {
      TokenId token = drive();
      const TempVarId& start = token->start();
      start->specify(5);
      EXPECT_TRUE(start->isLocallySpecified());
      start->reset();
      EXPECT_FALSE(start->isSpecified() || start->isLocallySpecified());
      EXPECT_TRUE(start->lastDomain() == start->getBaseDomain());

      // The state variable is changed by the token only; its domains stay StateDomains.
      const StateVarId& state = token->getState();
      const AbstractDomain& stateBase = state->getIntegratedBaseDomain();
      EXPECT_EQ(typeid(StateDomain), typeid(stateBase));
      EXPECT_CHECK_FAILS(state->specify(Token::ACTIVE.getKey()), "this->canBeSpecified()", "");
      EXPECT_CHECK_FAILS(state->reset(), "this->canBeSpecified()", "");

      // Agreement with an earlier value: the membership check names value and variable.
      token->activate();
      start->specify(7);
      EXPECT_CHECK_FAILS(start->handleSpecified(9), "this->lastDomain().isMember(value)",
                         "9 is not in " + start->toString());
      start->handleSpecified(7);
      // A locally specified variable keeps its value when a merged one lets go.
      start->handleReset();
      EXPECT_TRUE(start->isLocallySpecified());
    }

    TEST_F(TokenVariableTest, IntegratedBaseDomainFollowsEdits) {
      TokenId token = drive();
      const ObjectVarId& object = token->getObject();
      object->remove(static_cast<double>(r3));
      EXPECT_FALSE(object->lastDomain().isMember(static_cast<double>(r3)));
      // Removing what the integrated domain does not hold leaves it alone.
      object->remove(static_cast<double>(b1));
      EXPECT_EQ(3u, object->getIntegratedBaseDomain().getSize());

      // Narrowing the base domain narrows the integrated domain; relaxing returns to it.
      const TempVarId& end = token->end();
      end->restrictBaseDomain(IntervalIntDomain(10, 20));
      end->relax();
      EXPECT_TRUE(end->lastDomain() == IntervalIntDomain(10, 20));

      // A merging variable's base domain narrows the integrated and derived domains; without
      // merged tokens the next recomputation returns to the base domain.
      end->handleBase(IntervalIntDomain(12, 30));
      EXPECT_TRUE(end->getIntegratedBaseDomain() == IntervalIntDomain(12, 20));
      EXPECT_TRUE(end->lastDomain() == IntervalIntDomain(12, 20));
      end->handleReset();
      EXPECT_TRUE(end->lastDomain() == IntervalIntDomain(10, 20));

      // Every variable but the state variable keeps its current domain for good.
      end->specify(15);
      token->restrictBaseDomains();
      EXPECT_TRUE(end->getBaseDomain() == IntervalIntDomain(15, 15));
      EXPECT_EQ(3u, token->getState()->baseDomain().getSize());
    }

    TEST_F(TokenVariableTest, NoConstraintOnARejectedToken) {
      TokenId token = drive();
      token->reject();
      ConstrainedVariableId other = intVariable(0, 10);
      EXPECT_CHECK_FAILS(m_ce->createConstraint("eq", makeScope(token->start(), other)),
                         "!this->m_parentToken->isRejected()", "");
      token->cancel();
      EXPECT_TRUE(m_ce->createConstraint("eq", makeScope(token->start(), other)).isValid());
      other->discard();
    }

    namespace {
      /** A Rover.drive token with one parameter "p" per domain given. */
      class MixedToken : public IntervalToken {
      public:
        MixedToken(const PlanDatabaseId& db, const std::vector<const AbstractDomain*>& domains)
          : IntervalToken(db, "Rover.drive", true, false, horizon(), horizon(), positive(), Token::noObject(),
                          false) {
          for (const AbstractDomain* domain : domains)
            addParameter(*domain, "p");
          close();
        }
      };

      /** The parent token of var when it is a token variable over D; none otherwise. */
      template <class D> TokenId parentOf(const ConstrainedVariableId& var) {
        TokenVariable<D>* tokenVariable =
            dynamic_cast<TokenVariable<D>*>(static_cast<ConstrainedVariable*>(var));
        return tokenVariable != 0 ? tokenVariable->getParentToken() : TokenId();
      }
    }

    TEST_F(TokenVariableTest, ParametersAreTokenVariablesOverTheirDomainsClass) {
      const std::list<double> labels{LabelStr("red").getKey(), LabelStr("blue").getKey()};
      const BoolDomain flag;
      const SymbolDomain colour(labels, "Colour");
      const StringDomain text(labels);
      const EnumeratedDomain numbers(std::list<double>{1, 2}, true, "nums");
      const IntervalDomain real(0.5, 2.5);
      const IntervalIntDomain whole(0, 3);
      const std::vector<const AbstractDomain*> domains{
          &flag, &colour, &text, &numbers, &drive()->getObject()->baseDomain(), &real, &whole};
      TokenId token = (new MixedToken(db(), domains))->getId();

      const std::vector<ConstrainedVariableId>& parameters = token->parameters();
      ASSERT_EQ(domains.size(), parameters.size());
      for (size_t i = 0; i < parameters.size(); ++i) {
        const ConstrainedVariableId& p = parameters[i];
        EXPECT_EQ(token->getVariables()[5 + i], p);
        EXPECT_EQ(5 + static_cast<int>(i), p->getIndex());
        EXPECT_EQ(EntityId(token), p->parent());
        EXPECT_EQ(LabelStr("p"), p->getName());
        EXPECT_TRUE(p->canBeSpecified() && !p->isInternal());
        const AbstractDomain &given = *domains[i], &base = p->baseDomain(), &last = p->lastDomain();
        EXPECT_EQ(typeid(given), typeid(base)) << i;
        EXPECT_EQ(typeid(given), typeid(last)) << i;
      }
      EXPECT_EQ(token, parentOf<BoolDomain>(parameters[0]));
      EXPECT_EQ(token, parentOf<SymbolDomain>(parameters[1]));
      EXPECT_EQ(token, parentOf<StringDomain>(parameters[2]));
      EXPECT_EQ(token, parentOf<EnumeratedDomain>(parameters[3]));
      EXPECT_EQ(token, parentOf<ObjectDomain>(parameters[4]));
      EXPECT_EQ(token, parentOf<IntervalDomain>(parameters[5]));
      EXPECT_EQ(token, parentOf<IntervalIntDomain>(parameters[6]));
    }

    TEST_F(TokenTest, ChecksReportTheFileOfTheirClass) {
      // The code of Token and of PlanDatabase is split over several files.
      TokenId token = drive();
      std::vector<TokenId> tokens;
      std::vector<PlanDatabase::OrderingChoice> choices;
      struct Case {
        std::function<void()> call;
        const char* file;
      };
      const Case cases[] = {
          {[&] {
             token->reject();
             token->reject();
           },
           "PlanDatabase/base/Token"},
          {[&] { token->commit(); }, "PlanDatabase/base/Token"},
          {[&] { token->split(); }, "PlanDatabase/base/Token"},
          {[&] { m_db->getOrderingChoices(TokenId(), choices, 1); }, "PlanDatabase/base/PlanDatabase"},
          {[&] { m_db->getCompatibleTokens(TokenId(), tokens); }, "PlanDatabase/base/PlanDatabase"},
          {[&] { m_db->makeObjectVariableFromType("Rover", ConstrainedVariableId(), false); },
           "PlanDatabase/base/PlanDatabase"},
          {[&] {
             m_db->purge();
             m_db->purge();
           },
           "PlanDatabase/base/PlanDatabase"},
      };
      for (const Case& c : cases)
        EXPECT_EQ(c.file, failureOf(c.call).getFile());
    }

  }
}
