// Our particle stages: the hit rotation turns (0,0,1) onto the offset, the
// random sphere keeps its points in its shell, and the two flags through a
// chain of stages.
#include "gfx/particle_stages.h"

#include <gtest/gtest.h>

#include <cmath>

namespace particle_stages_test {

namespace {

using irr::core::vector3df;

// Where the rotation (degrees) takes (0,0,1).
vector3df turnedForward(const vector3df& degrees) {
  irr::core::matrix4 turn;
  turn.setRotationDegrees(degrees);
  vector3df forward(0.0f, 0.0f, 1.0f);
  turn.rotateVect(forward);
  return forward;
}

TEST(HitOffsetTest, TheRotationTurnsForwardOntoTheOffset) {
  const vector3df offsets[] = {{1.0f, 0.0f, 0.0f},   {0.0f, 3.0f, 0.0f},  {0.0f, 0.0f, 2.0f},
                               {0.0f, 0.0f, -1.0f},  {-4.0f, 0.0f, 0.0f}, {1.0f, -2.0f, 0.5f},
                               {-0.3f, 0.7f, -0.2f}, {0.0f, -1.0f, 0.0f}};
  for (const vector3df& offset : offsets) {
    SCOPED_TRACE(testing::Message() << offset.X << ", " << offset.Y << ", " << offset.Z);
    const HitOffset stage(offset, 2.0f, nullptr);
    vector3df direction = offset;
    direction.normalize();
    const vector3df forward = turnedForward(stage.rotation);
    EXPECT_NEAR(forward.X, direction.X, 1e-4);
    EXPECT_NEAR(forward.Y, direction.Y, 1e-4);
    EXPECT_NEAR(forward.Z, direction.Z, 1e-4);

    vector3df out;
    stage.getPosition(out);
    EXPECT_EQ(out, offset);
    stage.getScale(out);
    EXPECT_EQ(out, vector3df(2.0f, 2.0f, 2.0f));
    stage.getVelocity(out);
    EXPECT_EQ(out, vector3df(0.0f, 0.0f, 0.0f));
  }
  // The one turn onto +X that comes from the quaternion: a quarter turn
  // about Y.
  const vector3df plusX = HitOffset(vector3df(5.0f, 0.0f, 0.0f), 1.0f, nullptr).rotation;
  EXPECT_NEAR(plusX.X, 0.0f, 1e-3);
  EXPECT_NEAR(plusX.Y, 90.0f, 1e-3);
  EXPECT_NEAR(plusX.Z, 0.0f, 1e-3);
}

TEST(HitOffsetTest, AZeroOffsetHasNoRotation) {
  const HitOffset stage(vector3df(0.0f, 0.0f, 0.0f), 1.0f, nullptr);
  EXPECT_EQ(stage.rotation, vector3df(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(hitRotationDegrees(vector3df(0.0f, 0.0f, 0.0f)), vector3df(0.0f, 0.0f, 0.0f));
}

TEST(RandomSphereStageTest, PointsStayInTheShellAroundTheCentreAndSpread) {
  const vector3df centre(100.0f, -50.0f, 25.0f);
  RandomSphereStage stage(2.0f, 10.0f, centre);
  float nearest = 1e9f;
  float farthest = 0.0f;
  vector3df sum;
  constexpr int kDraws = 4000;
  for (int i = 0; i < kDraws; ++i) {
    vector3df point;
    stage.getPosition(point);
    const float distance = point.getDistanceFrom(centre);
    ASSERT_GE(distance, 2.0f - 1e-3f);
    ASSERT_LE(distance, 10.0f + 1e-3f);
    nearest = std::min(nearest, distance);
    farthest = std::max(farthest, distance);
    sum += point - centre;
  }
  // Uniform radii reach both ends of the shell; the points surround the
  // centre.
  EXPECT_LT(nearest, 2.5f);
  EXPECT_GT(farthest, 9.5f);
  EXPECT_LT((sum / static_cast<float>(kDraws)).getLength(), 1.0f);

  vector3df out;
  stage.getScale(out);
  EXPECT_EQ(out, vector3df(1.0f, 1.0f, 1.0f));
  stage.getRotation(out);
  EXPECT_EQ(out, vector3df(0.0f, 0.0f, 0.0f));
}

TEST(StageChainTest, FlagsComeFromTheStageOrItsParent) {
  // A parent that answers true to both.
  class BothTrue : public ps::IParticleStage {
   public:
    bool getFirstFlag() const override { return false; }
    bool getSecondFlag() const override { return true; }
  };
  struct Case {
    const char* what;
    ps::IParticleStage* stage;
    ps::IParticleStage* parent;
    bool first;
    bool second;
  };
  const Case cases[] = {
      {"hit, no parent", new HitOffset(vector3df(), 1.0f, nullptr), nullptr, true, true},
      {"hit under a parent", new HitOffset(vector3df(), 1.0f, nullptr), new BothTrue(), false, true},
      {"sphere, no parent", new RandomSphereStage(1.0f, 2.0f), nullptr, true, false},
      {"sphere under a parent", new RandomSphereStage(1.0f, 2.0f), new BothTrue(), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.parent != nullptr) {
      c.stage->setParent(c.parent);
      c.parent->drop();  // the child holds it now
    }
    EXPECT_EQ(c.stage->getFirstFlag(), c.first);
    EXPECT_EQ(c.stage->getSecondFlag(), c.second);
    EXPECT_TRUE(c.stage->drop());
  }
}

}  // namespace

}  // namespace particle_stages_test
