#ifndef KADRIX_TESTS_TEST_MODEL_HH
#define KADRIX_TESTS_TEST_MODEL_HH

// A small domain model shared by the plan-database tests.
//
//   Object
//     Vehicle              predicate Vehicle.move()
//       Rover              members battery:Battery, color:Color
//                          predicate Rover.drive(speed:int, distance:float)
//         Car              member seats:int
//     Battery              member level:float
//                          predicate Battery.charge(amount:float)
//     Wheel                (no members, no predicates)
//   enumeration Color { Red, Green, Blue }
//
// Car.drive, Car.move and Rover.move are predicates by inheritance only.

#include "ConstraintEngine/base/CESchema.hh"
#include "PlanDatabase/base/ObjectFactory.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/TokenFactory.hh"
#include "Utils/base/CheckHelpers.hh"
#include "Utils/base/LabelStr.hh"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace KADRIX {
  namespace TestModel {

    inline void declare(Schema& schema) {
      schema.addEnum("Color");
      schema.addValue("Color", LabelStr("Red"));
      schema.addValue("Color", LabelStr("Green"));
      schema.addValue("Color", LabelStr("Blue"));

      schema.addObjectType("Battery");
      schema.addMember("Battery", "float", "level");
      schema.addPredicate("Battery.charge");
      schema.addMember("Battery.charge", "float", "amount");

      schema.addObjectType("Vehicle");
      schema.addPredicate("Vehicle.move");

      schema.addObjectType("Rover", "Vehicle");
      schema.addMember("Rover", "Battery", "battery");
      schema.addMember("Rover", "Color", "color");
      schema.addPredicate("Rover.drive");
      schema.addMember("Rover.drive", "int", "speed");
      schema.addMember("Rover.drive", "float", "distance");

      schema.addObjectType("Car", "Rover");
      schema.addMember("Car", "int", "seats");

      schema.addObjectType("Wheel");
    }

    /** A constraint schema and a schema over it, the model declared unless asked otherwise. */
    class Fixture : public ::testing::Test {
    protected:
      Fixture(bool declareModel = true)
        : m_ces(new CESchema()), m_schema(new Schema("TestSchema", m_ces->getId())) {
        if (declareModel)
          declare(*m_schema);
      }
      ~Fixture() {
        m_schema.reset();
        m_ces.reset();
      }

      std::unique_ptr<CESchema> m_ces;
      std::unique_ptr<Schema> m_schema;
    };

    /** An object factory that builds nothing: for tests that only look factories up. */
    class StubObjectFactory : public ObjectFactory {
    public:
      explicit StubObjectFactory(const LabelStr& signature) : ObjectFactory(signature) {}
      Id<Object> createInstance(const Id<PlanDatabase>&, const LabelStr&, const LabelStr&,
                                const std::vector<const AbstractDomain*>&) const override {
        return Id<Object>::noId();
      }
    };

    /** A token factory that builds nothing: for tests that only look factories up. */
    class StubTokenFactory : public TokenFactory {
    public:
      explicit StubTokenFactory(const LabelStr& predicate) : TokenFactory(predicate) {}
      Id<Token> createInstance(const Id<PlanDatabase>&, const LabelStr&, bool, bool) const override {
        return Id<Token>::noId();
      }
      Id<Token> createInstance(const Id<Token>&, const LabelStr&, const LabelStr&) const override {
        return Id<Token>::noId();
      }
    };

  } // namespace TestModel
} // namespace KADRIX

#endif
