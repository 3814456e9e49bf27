#ifndef KADRIX_TESTS_TEST_TOKENS_HH
#define KADRIX_TESTS_TEST_TOKENS_HH

// Tokens of the test model (see TestModel.hh), their factories, a listener
// that records every database notification, and a fixture with objects.
//
//   Rover.drive   interval token, parameters speed:int [0, 10], distance:float [0, 100]
//   Vehicle.move  interval token, no parameters
//   Battery.charge event token, parameter amount:float [0, 50]

#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/component/EventToken.hh"
#include "PlanDatabase/component/IntervalToken.hh"
#include "PlanDatabase/model/TestObjects.hh"

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    inline IntervalIntDomain horizon() { return IntervalIntDomain(0, 1000); }
    inline IntervalIntDomain positive() { return IntervalIntDomain(1, 1000); }

    /** An interval token with the two parameters of Rover.drive. */
    class DriveToken : public IntervalToken {
    public:
      DriveToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact,
                 const LabelStr& object = Token::noObject(), bool close = true)
        : IntervalToken(db, name, rejectable, isFact, horizon(), horizon(), positive(), object, false) {
        addParameters(close);
      }
      DriveToken(const TokenId& master, const LabelStr& name, const LabelStr& relation, bool close = true)
        : IntervalToken(master, relation, name, horizon(), horizon(), positive(), Token::noObject(), false) {
        addParameters(close);
      }

    private:
      void addParameters(bool close) {
        addParameter(IntervalIntDomain(0, 10), "speed");
        addParameter(IntervalDomain(0, 100), "distance");
        if (close)
          this->close();
      }
    };

    /** An event token with the parameter of Battery.charge. */
    class ChargeToken : public EventToken {
    public:
      ChargeToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact)
        : EventToken(db, name, rejectable, isFact, horizon(), Token::noObject(), false) {
        addParameter(IntervalDomain(0, 50), "amount");
        close();
      }
      ChargeToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
        : EventToken(master, relation, name, horizon(), Token::noObject(), false) {
        addParameter(IntervalDomain(0, 50), "amount");
        close();
      }
    };

    /** A plain interval token, for predicates without parameters. */
    class PlainToken : public IntervalToken {
    public:
      PlainToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact,
                 const LabelStr& object = Token::noObject())
        : IntervalToken(db, name, rejectable, isFact, horizon(), horizon(), positive(), object, true) {}
      PlainToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
        : IntervalToken(master, relation, name, horizon(), horizon(), positive(), Token::noObject(), true) {}
    };

    /** Sets an environment variable (unset for a null value) and restores it when it goes. */
    class EnvSetting {
    public:
      EnvSetting(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = (old != 0);
        if (m_had)
          m_old = old;
        set(value);
      }
      ~EnvSetting() { set(m_had ? m_old.c_str() : 0); }
      void set(const char* value) {
        if (value == 0)
          ::unsetenv(m_name.c_str());
        else
          ::setenv(m_name.c_str(), value, 1);
      }

    private:
      std::string m_name;
      std::string m_old;
      bool m_had;
    };

    /** The factory of one token class. */
    template <class T> class TestTokenFactory : public TokenFactory {
    public:
      explicit TestTokenFactory(const LabelStr& predicate) : TokenFactory(predicate) {}
      TokenId createInstance(const PlanDatabaseId& db, const LabelStr& name, bool rejectable,
                             bool isFact) const override {
        return (new T(db, name, rejectable, isFact))->getId();
      }
      TokenId createInstance(const TokenId& master, const LabelStr& name,
                             const LabelStr& relation) const override {
        return (new T(master, name, relation))->getId();
      }
    };

    /** Records every database notification as one line: "<what> <token key>[ <object name>]". */
    class TokenRecorder : public PlanDatabaseListener {
    public:
      explicit TokenRecorder(const PlanDatabaseId& db) : PlanDatabaseListener(db) {}

      void notifyAdded(const ObjectId& object) override { log.push_back("object " + name(object)); }
      void notifyRemoved(const ObjectId& object) override { log.push_back("gone " + name(object)); }
      void notifyAdded(const TokenId& token) override { record("added", token); }
      void notifyRemoved(const TokenId& token) override { record("removed", token); }
      void notifyActivated(const TokenId& token) override { record("activated", token); }
      void notifyDeactivated(const TokenId& token) override { record("deactivated", token); }
      void notifyMerged(const TokenId& token) override { record("merged", token); }
      void notifySplit(const TokenId& token) override { record("split", token); }
      void notifyRejected(const TokenId& token) override { record("rejected", token); }
      void notifyReinstated(const TokenId& token) override { record("reinstated", token); }
      void notifyCommitted(const TokenId& token) override { record("committed", token); }
      void notifyTerminated(const TokenId& token) override { record("terminated", token); }
      void notifyAdded(const ObjectId& object, const TokenId& token) override {
        record("placed", token, object);
      }
      void notifyRemoved(const ObjectId& object, const TokenId& token) override {
        record("lifted", token, object);
      }

      /** Called after each record, when set. */
      std::function<void(const std::string&, const TokenId&)> onRecord;
      std::vector<std::string> log;

      /** The entries that begin with a prefix. */
      std::vector<std::string> with(const std::string& prefix) const {
        std::vector<std::string> result;
        for (size_t i = 0; i < log.size(); ++i)
          if (log[i].compare(0, prefix.size(), prefix) == 0)
            result.push_back(log[i]);
        return result;
      }

      static std::string entry(const std::string& what, const TokenId& token) {
        std::ostringstream os;
        os << what << " " << token->getKey();
        return os.str();
      }
      static std::string entry(const std::string& what, const TokenId& token, const ObjectId& object) {
        return entry(what, token) + " " + name(object);
      }

    private:
      static std::string name(const ObjectId& object) { return object->getName().toString(); }

      void record(const std::string& what, const TokenId& token) {
        log.push_back(entry(what, token));
        if (onRecord)
          onRecord(what, token);
      }
      void record(const std::string& what, const TokenId& token, const ObjectId& object) {
        log.push_back(entry(what, token, object));
        if (onRecord)
          onRecord(what, token);
      }
    };

    /**
     * The database fixture with the engine's constraints, the object-token
     * relation and the token factories registered, a recorder, and objects:
     * rovers r1, r2, r3, a car c1 and a battery b1.
     */
    class TokenFixture : public DatabaseFixture {
    protected:
      TokenFixture() : DatabaseFixture() {
        registerEngineConstraints(m_ces->getId());
        m_ces->registerConstraintFactory(
            new ConcreteConstraintFactory<ObjectTokenRelation>("ObjectTokenRelation", "Default", true));
        m_schema->registerTokenFactory((new TestTokenFactory<DriveToken>("Rover.drive"))->getId());
        m_schema->registerTokenFactory((new TestTokenFactory<PlainToken>("Vehicle.move"))->getId());
        m_schema->registerTokenFactory((new TestTokenFactory<ChargeToken>("Battery.charge"))->getId());
        r1 = make("Rover", "r1");
        r2 = make("Rover", "r2");
        r3 = make("Rover", "r3");
        c1 = make("Car", "c1");
        b1 = make("Battery", "b1");
        recorder = new TokenRecorder(db());
      }

      ~TokenFixture() {
        delete recorder;
        if (!m_db->isPurged())
          m_db->purge();
      }

      TokenId drive(bool rejectable = true) { return m_db->createToken("Rover.drive", rejectable, false); }
      TokenId charge() { return m_db->createToken("Battery.charge", true, false); }
      TokenId active(const char* predicate = "Rover.drive") {
        TokenId token = m_db->createToken(predicate, true, false);
        token->activate();
        return token;
      }
      ConstraintId precedes(const ConstrainedVariableId& a, const ConstrainedVariableId& b) {
        return m_ce->createConstraint("precedes", std::vector<ConstrainedVariableId>{a, b});
      }

      /** The objects the token has been placed on, by the recorder's account. */
      std::vector<std::string> placements(const TokenId& token) const {
        return recorder->with(TokenRecorder::entry("placed", token));
      }

      ObjectId r1, r2, r3, c1, b1;
      TokenRecorder* recorder;
    };

  }
}

#endif
