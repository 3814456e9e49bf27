#include "ConstraintEngine/base/ConstraintFactory.hh"
#include "Utils/base/Error.hh"
#include "Utils/base/IdTable.hh"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace KADRIX;

namespace {

/** A factory of no constraint class: it keeps the base createConstraint. */
class PlainFactory : public ConstraintFactory {
public:
  PlainFactory(const LabelStr& name, bool systemDefined) : ConstraintFactory(name, "Default", systemDefined) {}
};

/** Stands in for a constraint class; the failure paths under test never construct it. */
class UnbuiltConstraint {
public:
  UnbuiltConstraint(const LabelStr&, const LabelStr&, const Id<ConstraintEngine>&,
                    const std::vector<Id<ConstrainedVariable> >&) {
    ++constructed;
  }
  const Id<Constraint>& getId() const { return Id<Constraint>::noId(); }
  static int constructed;
};
int UnbuiltConstraint::constructed = 0;

} // namespace

TEST(ConstraintFactoryTest, BaseFactoryMakesNothing) {
  PlainFactory factory("hasAncestor", true);
  EXPECT_EQ("hasAncestor", factory.getName().toString());
  EXPECT_TRUE(factory.isSystemDefined());
  EXPECT_FALSE(PlainFactory("other", false).isSystemDefined());
  try {
    factory.createConstraint(Id<ConstraintEngine>(), std::vector<Id<ConstrainedVariable> >());
    FAIL() << "the base factory made a constraint";
  } catch (const Error& e) {
    EXPECT_EQ("ALWAYS_FAILS", e.getCondition());
    EXPECT_EQ("", e.getMessage());
    EXPECT_EQ("ConstraintEngine/base/ConstraintFactory", e.getFile());
  }
}

TEST(ConstraintFactoryTest, InvalidEngineIsRefusedBeforeConstruction) {
  ConcreteConstraintFactory<UnbuiltConstraint> factory("eq", "Default", false);
  try {
    factory.createConstraint(Id<ConstraintEngine>::noId(), std::vector<Id<ConstrainedVariable> >());
    FAIL() << "an invalid engine was accepted";
  } catch (const Error& e) {
    EXPECT_EQ("constraintEngine.isValid()", e.getCondition());
    EXPECT_EQ("ConstraintEngine/base/ConstraintFactory", e.getFile());
  }
  EXPECT_EQ(0, UnbuiltConstraint::constructed);
}

TEST(ConstraintFactoryTest, DeletedFactoryGivesUpItsAddress) {
  PlainFactory* factory = new PlainFactory("commonAncestor", true);
  Id<ConstraintFactory> id = factory->getId();
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(factory);
  EXPECT_TRUE(id.isValid());
  delete factory;
  EXPECT_FALSE(id.isValid());
  EXPECT_EQ(0u, IdTable::getKey(address));
  // Factories made and deleted in turn land on freed addresses again.
  for (int i = 0; i < 100; ++i) {
    PlainFactory* f = new PlainFactory("commonAncestor", true);
    EXPECT_TRUE(f->getId().isValid());
    delete f;
  }
}
