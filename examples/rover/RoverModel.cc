#include "rover/RoverModel.hh"

#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/component/Constraints.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/ObjectFactory.hh"
#include "PlanDatabase/base/ObjectTokenRelation.hh"
#include "PlanDatabase/base/TokenFactory.hh"
#include "Utils/base/Debug.hh"

#include <list>

namespace KADRIX {
  namespace RoverModel {

    namespace {

      IntervalIntDomain horizon() { return IntervalIntDomain(0, HORIZON); }

      /** Every location of the plan, as the domain of a parameter. */
      ObjectDomain locations(const PlanDatabaseId& db) {
        std::list<ObjectId> objects;
        db->getObjectsByType(LabelStr("Location"), objects);
        return ObjectDomain(objects, "Location");
      }

      int coordinate(const AbstractDomain* argument) {
        KADRIX_CHECK_MSG(argument != 0 && argument->isSingleton(),
                         "A location needs two single integer coordinates.");
        return static_cast<int>(argument->getSingletonValue());
      }

      class LocationFactory : public ObjectFactory {
      public:
        LocationFactory() : ObjectFactory("Location:int:int") {}
        ObjectId createInstance(const PlanDatabaseId& db, const LabelStr& /*type*/, const LabelStr& name,
                                const std::vector<const AbstractDomain*>& arguments) const override {
          KADRIX_CHECK(arguments.size() == 2);
          return (new Location(db, name, coordinate(arguments[0]), coordinate(arguments[1])))->getId();
        }
      };

      class RoverFactory : public ObjectFactory {
      public:
        RoverFactory() : ObjectFactory("Rover") {}
        ObjectId createInstance(const PlanDatabaseId& db, const LabelStr& /*type*/, const LabelStr& name,
                                const std::vector<const AbstractDomain*>& /*arguments*/) const override {
          return (new Rover(db, name))->getId();
        }
      };

      template <class T> class Factory : public TokenFactory {
      public:
        explicit Factory(const LabelStr& predicate) : TokenFactory(predicate) {}
        TokenId createInstance(const PlanDatabaseId& db, const LabelStr& name, bool rejectable,
                               bool isFact) const override {
          return (new T(db, name, rejectable, isFact))->getId();
        }
        TokenId createInstance(const TokenId& master, const LabelStr& name,
                               const LabelStr& relation) const override {
          return (new T(master, name, relation))->getId();
        }
      };

    }

    Location::Location(const PlanDatabaseId& db, const LabelStr& name, int x, int y)
      : Object(db, "Location", name, true) {
      addVariable(IntervalIntDomain(x, x, "int"), "x");
      addVariable(IntervalIntDomain(y, y, "int"), "y");
      close();
    }

    int Location::x() const { return static_cast<int>(getVariables()[0]->lastDomain().getSingletonValue()); }
    int Location::y() const { return static_cast<int>(getVariables()[1]->lastDomain().getSingletonValue()); }

    Rover::Rover(const PlanDatabaseId& db, const LabelStr& name) : Timeline(db, "Rover", name) {}

    AtToken::AtToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact)
      : IntervalToken(db, name, rejectable, isFact, horizon(), horizon(), IntervalIntDomain(1, 100),
                      Token::noObject(), false) {
      addParameters();
    }

    AtToken::AtToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
      : IntervalToken(master, relation, name, horizon(), horizon(), IntervalIntDomain(1, 100),
                      Token::noObject(), false) {
      addParameters();
    }

    void AtToken::addParameters() {
      addParameter(locations(getPlanDatabase()), "at");
      close();
    }

    GoToken::GoToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact)
      : IntervalToken(db, name, rejectable, isFact, horizon(), horizon(), IntervalIntDomain(10, 200),
                      Token::noObject(), false) {
      addParameters();
    }

    GoToken::GoToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
      : IntervalToken(master, relation, name, horizon(), horizon(), IntervalIntDomain(10, 200),
                      Token::noObject(), false) {
      addParameters();
    }

    void GoToken::addParameters() {
      addParameter(locations(getPlanDatabase()), "from");
      addParameter(locations(getPlanDatabase()), "to");
      addParameter(IntervalIntDomain(1, 5, "int"), "speed");
      close();
    }

    DriveToken::DriveToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact)
      : IntervalToken(db, name, rejectable, isFact, horizon(), horizon(), IntervalIntDomain(10, 200),
                      Token::noObject(), false) {
      addParameters();
    }

    DriveToken::DriveToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
      : IntervalToken(master, relation, name, horizon(), horizon(), IntervalIntDomain(10, 200),
                      Token::noObject(), false) {
      addParameters();
    }

    void DriveToken::addParameters() {
      addParameter(locations(getPlanDatabase()), "to");
      addParameter(IntervalIntDomain(0, 100, "int"), "speed");
      close();
    }

    SampleToken::SampleToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact)
      : IntervalToken(db, name, rejectable, isFact, horizon(), horizon(), IntervalIntDomain(1, 50),
                      Token::noObject(), false) {
      addParameters();
    }

    SampleToken::SampleToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
      : IntervalToken(master, relation, name, horizon(), horizon(), IntervalIntDomain(1, 50),
                      Token::noObject(), false) {
      addParameters();
    }

    void SampleToken::addParameters() {
      addParameter(locations(getPlanDatabase()), "target");
      close();
    }

    ArriveToken::ArriveToken(const PlanDatabaseId& db, const LabelStr& name, bool rejectable, bool isFact)
      : EventToken(db, name, rejectable, isFact, horizon(), Token::noObject(), false) {
      addParameters();
    }

    ArriveToken::ArriveToken(const TokenId& master, const LabelStr& name, const LabelStr& relation)
      : EventToken(master, relation, name, horizon(), Token::noObject(), false) {
      addParameters();
    }

    void ArriveToken::addParameters() {
      addParameter(locations(getPlanDatabase()), "at");
      close();
    }

    void declare(Schema& schema) {
      if (!schema.isObjectType("Timeline"))
        schema.addObjectType("Timeline");
      schema.addObjectType("Location");
      schema.addMember("Location", "int", "x");
      schema.addMember("Location", "int", "y");
      schema.addObjectType("Rover", "Timeline");
      schema.addPredicate("Rover.At");
      schema.addMember("Rover.At", "Location", "at");
      schema.addPredicate("Rover.Go");
      schema.addMember("Rover.Go", "Location", "from");
      schema.addMember("Rover.Go", "Location", "to");
      schema.addMember("Rover.Go", "int", "speed");
      schema.addPredicate("Rover.drive");
      schema.addMember("Rover.drive", "Location", "to");
      schema.addMember("Rover.drive", "int", "speed");
      schema.addPredicate("Rover.sample");
      schema.addMember("Rover.sample", "Location", "target");
      schema.addPredicate("Rover.arrive");
      schema.addMember("Rover.arrive", "Location", "at");
    }

    void registerFactories(Schema& schema) {
      schema.registerObjectFactory((new LocationFactory())->getId());
      schema.registerObjectFactory((new RoverFactory())->getId());
      schema.registerTokenFactory((new Factory<AtToken>("Rover.At"))->getId());
      schema.registerTokenFactory((new Factory<GoToken>("Rover.Go"))->getId());
      schema.registerTokenFactory((new Factory<DriveToken>("Rover.drive"))->getId());
      schema.registerTokenFactory((new Factory<SampleToken>("Rover.sample"))->getId());
      schema.registerTokenFactory((new Factory<ArriveToken>("Rover.arrive"))->getId());
    }

    Plan::Plan()
      : m_ces(new CESchema()), m_schema(new Schema("RoverModel", m_ces->getId())),
        m_ce(new ConstraintEngine(m_ces->getId())), m_db(new PlanDatabase(m_ce->getId(), m_schema->getId())) {
      registerEngineConstraints(m_ces->getId());
      m_ces->registerConstraintFactory(
          new ConcreteConstraintFactory<ObjectTokenRelation>("ObjectTokenRelation", "Default", true));
      declare(*m_schema);
      registerFactories(*m_schema);
    }

    Plan::~Plan() {
      if (!m_db->isPurged())
        m_db->purge();
      m_db.reset();
      m_ce.reset();
      m_schema.reset();
      m_ces.reset();
    }

    ObjectId Plan::location(const char* name, int x, int y) {
      IntervalIntDomain xs(x, x, "int"), ys(y, y, "int");
      std::vector<const AbstractDomain*> arguments{&xs, &ys};
      return m_db->createObject("Location", name, arguments);
    }

    ObjectId Plan::rover(const char* name) {
      return m_db->createObject("Rover", name, std::vector<const AbstractDomain*>());
    }

  }
}
