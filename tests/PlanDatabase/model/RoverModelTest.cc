#include "rover/RoverModel.hh"

#include "PlanDatabase/base/Token.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace RoverModel {

    TEST(RoverModelTest, FactoriesBuildTheModel) {
      Plan plan;
      ObjectId crater = plan.location("crater", 4, 3);
      ObjectId spirit = plan.rover("spirit");
      const Location* place = dynamic_cast<const Location*>(static_cast<Object*>(crater));
      ASSERT_TRUE(place != 0);
      EXPECT_EQ(place->x(), 4);
      EXPECT_EQ(place->y(), 3);
      EXPECT_TRUE(dynamic_cast<Timeline*>(static_cast<Object*>(spirit)) != 0);

      TokenId go = plan.db()->createToken("Rover.Go", true, false);
      ASSERT_EQ(go->parameters().size(), 3u);
      EXPECT_TRUE(go->parameters()[0]->lastDomain().isMember(static_cast<double>(crater)));
      TokenId at = plan.db()->createToken("Rover.At", true, false);
      go->activate();
      at->activate();
      spirit->constrain(at, go);
      EXPECT_TRUE(plan.engine()->propagate());
      EXPECT_GE(go->start()->lastDomain().getLowerBound(), 1);
      EXPECT_NE(plan.db()->toString().find("Rover:spirit"), std::string::npos);
    }

  }
}
