#include "PlanDatabase/base/StateDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/model/TestModel.hh"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

namespace KADRIX {

  TEST(StateDomainTest, CopiesAndText) {
    // Labels made in an order whose keys differ from the order of the texts.
    StateDomain states("States");
    EXPECT_EQ("TokenStates:OPEN{}", states.toString());
    for (const char* name : {"REJECTED_X", "MERGED_X", "ACTIVE_X"})
      states.insert(LabelStr(name).getKey());
    EXPECT_EQ("TokenStates:OPEN{ACTIVE_X,MERGED_X,REJECTED_X}", states.toString());
    states.close();

    // A copy is a StateDomain again, not a plain enumerated domain.
    std::unique_ptr<AbstractDomain> copy(states.copy());
    EXPECT_EQ(typeid(StateDomain), typeid(*copy));
    EXPECT_TRUE(*copy == states);
    EXPECT_TRUE(StateDomain(static_cast<const AbstractDomain&>(states)) == states);

    SymbolDomain other(LabelStr("Colors"));
    EXPECT_CHECK_FAILS(StateDomain bad(other), "org.getTypeName().toString() == \"TokenStates\"",
                         "Attempted to construct a StateDomain with invalid type Colors");
  }

}
