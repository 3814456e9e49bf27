#include "ConstraintEngine/base/EngineFixture.hh"
#include "ConstraintEngine/base/ConstrainedVariable.hh"
#include "ConstraintEngine/base/Constraint.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "ConstraintEngine/base/EnumeratedDomain.hh"
#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "ConstraintEngine/component/Variable.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/IdTable.hh"
#include "Utils/base/CheckHelpers.hh"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <list>
#include <vector>

using namespace KADRIX;
using TestModel::NoOpConstraint;

namespace {

/** A factory of no constraint class: it keeps the base createConstraint. */
class PlainFactory : public ConstraintFactory {
public:
  PlainFactory(const LabelStr& name, bool systemDefined) : ConstraintFactory(name, "Default", systemDefined) {}
};

std::string conditionOf(const std::function<void()>& f) {
  Error e = TestModel::failureOf(f);
  EXPECT_EQ("ConstraintEngine/base/ConstraintFactory", e.getFile());
  return e.getCondition();
}

} // namespace

TEST(ConstraintFactoryTest, ConcreteFactoryMakesNamedConstraints) {
  CESchema schema;
  ConstraintEngine engine(schema.getId());
  ConcreteConstraintFactory<NoOpConstraint> factory("hasAncestor", "Default", true);
  ConstrainedVariableId x = engine.createVariable("int");
  ConstrainedVariableId y = engine.createVariable("int");
  const int constructed = NoOpConstraint::constructed;
  ConstraintId c = factory.createConstraint(engine.getId(), makeScope(x, y));
  EXPECT_EQ("hasAncestor", c->getName().toString());
  EXPECT_EQ(constructed + 1, NoOpConstraint::constructed);

  // Refused before any constraint is constructed.
  EXPECT_EQ("scope.size() >= 1",
            conditionOf([&] { factory.createConstraint(engine.getId(), std::vector<ConstrainedVariableId>()); }));
  EXPECT_EQ("constraintEngine.isValid()",
            conditionOf([&] { factory.createConstraint(ConstraintEngineId::noId(), makeScope(x, y)); }));
  EXPECT_EQ(constructed + 1, NoOpConstraint::constructed);

  // The base class makes nothing.
  PlainFactory plain("commonAncestor", false);
  EXPECT_EQ("ALWAYS_FAILS", conditionOf([&] { plain.createConstraint(engine.getId(), makeScope(x, y)); }));
}

TEST(ConstraintFactoryTest, DeletedFactoryGivesUpItsAddress) {
  // Factories made and deleted in turn land on freed addresses again.
  for (int i = 0; i < 50; ++i) {
    PlainFactory* factory = new PlainFactory("commonAncestor", true);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(factory);
    delete factory;
    ASSERT_EQ(0u, IdTable::getKey(address));
  }
}
