// The active effect list and the billboard particle on the null driver: the
// list's update pass, its clear order, and a particle's life, fade, growth
// and straight-line motion.
#include "gfx/gfx_effects.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <vector>

#include "app/base/engine.h"
#include "support/null_device.h"

namespace active_effects_test {

namespace {

using irr::core::vector3df;
using irr::video::SColor;

// Deletion order of the recording effects.
std::vector<int> deleted;

// Counts its updates; finishes (deleting itself) on update `finishOn`, or
// never when that is 0.
class RecordingEffect : public gfx_base {
 public:
  RecordingEffect(int id, int finishOn, int* updates) : id_(id), finishOn_(finishOn), updates_(updates) {}
  ~RecordingEffect() override { deleted.push_back(id_); }
  bool update(float) override {
    ++*updates_;
    if (finishOn_ != 0 && *updates_ >= finishOn_) {
      delete this;
      return true;
    }
    return false;
  }

 private:
  int id_;
  int finishOn_;
  int* updates_;
};

class ActiveEffectsTest : public testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
    deleted.clear();
  }
  void TearDown() override {
    clearActiveGfxEffects();
    engine = EngineGlobals{};
    device_->drop();
  }

  irr::u32 rootChildren() const { return engine.scene->getRootSceneNode()->getChildren().size(); }

  irr::IrrlichtDevice* device_ = nullptr;
};

// A particle of 2 s life stepped by 0.5 s finishes on the fourth update and
// leaves the list in that pass; the effect after it is still updated in the
// same pass, and so is the one after a finished recording effect.
TEST_F(ActiveEffectsTest, FinishedEffectsLeaveTheListAndTheNextIsUpdatedInTheSamePass) {
  int afterParticle = 0;
  int quick = 0;
  int last = 0;
  auto* particle = new gfx_particle(1.0f, vector3df(0, 0, 0), vector3df(0, 0, 0), SColor(0xFFFFFFFF),
                                    SColor(0xFFFFFFFF), 2.0f, 1.0f, nullptr);
  addActiveGfxEffect(particle);
  addActiveGfxEffect(new RecordingEffect(1, 0, &afterParticle));
  addActiveGfxEffect(new RecordingEffect(2, 1, &quick));
  addActiveGfxEffect(new RecordingEffect(3, 0, &last));
  ASSERT_EQ(rootChildren(), 1u);

  updateActiveGfxEffects(0.5f);
  EXPECT_EQ(activeGfxEffectCount(), 3u);  // the quick one is gone
  EXPECT_EQ(last, 1);
  for (int pass = 2; pass <= 3; ++pass) {
    updateActiveGfxEffects(0.5f);
    EXPECT_EQ(activeGfxEffectCount(), 3u) << pass;
  }
  updateActiveGfxEffects(0.5f);
  EXPECT_EQ(activeGfxEffectCount(), 2u);
  EXPECT_EQ(afterParticle, 4);
  EXPECT_EQ(last, 4);
  EXPECT_EQ(rootChildren(), 0u);  // the billboard went with the particle
}

TEST_F(ActiveEffectsTest, NullChangesNothingAndClearDeletesFromLastToFirst) {
  int updates = 0;
  addActiveGfxEffect(nullptr);
  EXPECT_EQ(activeGfxEffectCount(), 0u);
  for (int id = 1; id <= 3; ++id)
    addActiveGfxEffect(new RecordingEffect(id, 0, &updates));
  addActiveGfxEffect(nullptr);
  EXPECT_EQ(activeGfxEffectCount(), 3u);
  clearActiveGfxEffects();
  EXPECT_EQ(activeGfxEffectCount(), 0u);
  EXPECT_EQ(deleted, (std::vector<int>{3, 2, 1}));
}

// t = remaining / total life: each channel start x t + end x (1 - t),
// truncated; the size end x (1 - t) + start x t; the billboard moves by the
// velocity times the step. Equal colours or sizes leave the billboard's own.
TEST_F(ActiveEffectsTest, AParticleFadesGrowsAndMovesOverItsLife) {
  struct Case {
    const char* name;
    SColor start, end;
    float startSize, endSize;
    SColor colorAfter;  // after 0.5 s of 2 s (t = 0.75)
    float sizeAfter;
  } const cases[] = {
      // 255 x 0.25 = 63.75: truncated, not rounded.
      {"fade and grow", SColor(0xFF000000), SColor(0xFFFFFFFF), 2.0f, 4.0f, SColor(0xFF3F3F3F), 2.5f},
      {"fade out", SColor(0xFF80FF00), SColor(0x00000000), 1.0f, 1.0f, SColor(0xBF60BF00), 9.0f},
      {"same colour, same size", SColor(0xFF102030), SColor(0xFF102030), 3.0f, 3.0f, SColor(0xFFABCDEF), 9.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* particle = new gfx_particle(c.startSize, vector3df(1, 2, 3), vector3df(2, 0, -4), c.start, c.end, 2.0f,
                                      c.endSize, nullptr);
    irr::scene::IBillboardSceneNode* node = particle->node();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getSize(), irr::core::dimension2df(c.startSize, c.startSize));
    SColor top;
    SColor bottom;
    node->getColor(top, bottom);
    EXPECT_EQ(top, c.start);
    EXPECT_EQ(bottom, c.start);
    // What the particle leaves alone shows as these marks.
    if (c.start == c.end)
      node->setColor(c.colorAfter);
    if (c.startSize == c.endSize)
      node->setSize(irr::core::dimension2df(c.sizeAfter, c.sizeAfter));

    addActiveGfxEffect(particle);
    updateActiveGfxEffects(0.5f);
    node->getColor(top, bottom);
    EXPECT_EQ(top.color, c.colorAfter.color);
    EXPECT_EQ(bottom.color, c.colorAfter.color);
    EXPECT_EQ(node->getSize(), irr::core::dimension2df(c.sizeAfter, c.sizeAfter));
    EXPECT_EQ(node->getAbsolutePosition(), vector3df(2, 2, 1));
    clearActiveGfxEffects();
  }
}

// A step longer than the remaining life ends the particle at once, without
// moving or recolouring its billboard first.
TEST_F(ActiveEffectsTest, AStepPastTheEndFinishesWithoutMoving) {
  auto* particle = new gfx_particle(1.0f, vector3df(5, 5, 5), vector3df(100, 0, 0), SColor(0xFF000000),
                                    SColor(0xFFFFFFFF), 1.0f, 3.0f, nullptr);
  irr::scene::IBillboardSceneNode* node = particle->node();
  node->grab();
  addActiveGfxEffect(particle);
  updateActiveGfxEffects(0.25f);
  const vector3df before = node->getPosition();
  EXPECT_EQ(before, vector3df(30, 5, 5));
  updateActiveGfxEffects(5.0f);
  EXPECT_EQ(activeGfxEffectCount(), 0u);
  EXPECT_EQ(node->getParent(), nullptr);  // removed from the scene
  EXPECT_EQ(node->getPosition(), before);
  EXPECT_EQ(node->getSize(), irr::core::dimension2df(1.5f, 1.5f));
  node->drop();
}

TEST_F(ActiveEffectsTest, TheBillboardTakesACopyOfTheMaterial) {
  irr::video::SMaterial material;
  material.MaterialType = irr::video::EMT_TRANSPARENT_ADD_COLOR;
  material.Lighting = false;
  auto* particle = new gfx_particle(1.0f, vector3df(0, 0, 0), vector3df(0, 0, 0), SColor(0xFFFFFFFF),
                                    SColor(0xFFFFFFFF), 1.0f, 1.0f, &material);
  EXPECT_EQ(particle->node()->getMaterial(0), material);
  EXPECT_NE(&particle->node()->getMaterial(0), &material);
  addActiveGfxEffect(particle);
}

}  // namespace

}  // namespace active_effects_test
