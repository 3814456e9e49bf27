#include "PlanDatabase/base/StateDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

namespace KADRIX {

  TEST(StateDomainTest, TypeNameAndCopies) {
    StateDomain states("States");
    EXPECT_EQ("TokenStates", states.getTypeName().toString());
    EXPECT_TRUE(states.isOpen());
    EXPECT_TRUE(states.isEmpty());
    EXPECT_FALSE(states.isNumeric());

    states.insert(LabelStr("ACTIVE").getKey());
    states.close();
    // A copy is a StateDomain again, not a plain enumerated domain.
    std::unique_ptr<AbstractDomain> copy(states.copy());
    EXPECT_EQ(typeid(StateDomain), typeid(*copy));
    EXPECT_TRUE(*copy == states);

    StateDomain converted(static_cast<const AbstractDomain&>(states));
    EXPECT_TRUE(converted == states);

    SymbolDomain other(LabelStr("Colors"));
    EXPECT_CHECK_FAILURE(StateDomain bad(other), "org.getTypeName().toString() == \"TokenStates\"",
                         "Attempted to construct a StateDomain with invalid type Colors");
  }

  TEST(StateDomainTest, PrintsLabelsInTextOrder) {
    // Made in an order whose keys differ from the order of the texts.
    const LabelStr rejected("REJECTED_X");
    const LabelStr merged("MERGED_X");
    const LabelStr active("ACTIVE_X");
    StateDomain states;
    states.insert(rejected.getKey());
    states.insert(merged.getKey());
    states.insert(active.getKey());
    const std::string text = states.toString();
    const std::string prefix = "TokenStates:OPEN";
    EXPECT_EQ(prefix + "{ACTIVE_X,MERGED_X,REJECTED_X}", text);
    EXPECT_EQ(prefix + "{}", StateDomain().toString());
  }

}
