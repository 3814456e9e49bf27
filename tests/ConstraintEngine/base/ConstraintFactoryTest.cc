#include "ConstraintEngine/base/CESchema.hh"
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

namespace {

/** A factory of no constraint class: it keeps the base createConstraint. */
class PlainFactory : public ConstraintFactory {
public:
  PlainFactory(const LabelStr& name, bool systemDefined) : ConstraintFactory(name, "Default", systemDefined) {}
};

/** Does nothing when executed; counts its constructions. */
class IdleConstraint : public Constraint {
public:
  IdleConstraint(const LabelStr& name, const LabelStr& propagatorName, const ConstraintEngineId& engine,
                 const std::vector<ConstrainedVariableId>& scope)
    : Constraint(name, propagatorName, engine, scope) {
    ++constructed;
  }
  void handleExecute() override {}
  static int constructed;
};
int IdleConstraint::constructed = 0;

std::string conditionOf(const std::function<void()>& f) {
  Error e = test::failureOf(f);
  EXPECT_EQ("ConstraintEngine/base/ConstraintFactory", e.getFile());
  return e.getCondition();
}

} // namespace

TEST(ConstraintFactoryTest, ConcreteFactoryMakesNamedConstraints) {
  CESchema schema;
  ConstraintEngine engine(schema.getId());
  ConcreteConstraintFactory<IdleConstraint> factory("hasAncestor", "Default", true);
  ConstrainedVariableId x = engine.createVariable("int");
  ConstrainedVariableId y = engine.createVariable("int");
  ConstraintId c = factory.createConstraint(engine.getId(), makeScope(x, y));
  EXPECT_EQ("hasAncestor", c->getName().toString());
  EXPECT_EQ(1, IdleConstraint::constructed);

  // Refused before any constraint is constructed.
  EXPECT_EQ("scope.size() >= 1",
            conditionOf([&] { factory.createConstraint(engine.getId(), std::vector<ConstrainedVariableId>()); }));
  EXPECT_EQ("constraintEngine.isValid()",
            conditionOf([&] { factory.createConstraint(ConstraintEngineId::noId(), makeScope(x, y)); }));
  EXPECT_EQ(1, IdleConstraint::constructed);

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
