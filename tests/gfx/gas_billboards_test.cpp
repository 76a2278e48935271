// The gas sprites' fading billboards on the null driver: hidden near the
// camera, fading in between one and two fade distances, and made for every
// sprite (new, loaded or sent) while gas display is on.
#include <gtest/gtest.h>

#include <irrlicht.h>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "gfx/game_camera.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "gfx/gfx_resources.h"
#include "platform/bit_stream.h"
#include "support/null_device.h"

namespace gas_billboards_test {

namespace {

using irr::core::vector3df;
using irr::video::SColor;

class GasBillboardsTest : public testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
    savedDisplay_ = bDisplayGas;
    savedCamera_ = gameCamera.lastPosition;
  }
  void TearDown() override {
    clearGalaxyGasSprites();
    clearActiveGfxEffects();
    bDisplayGas = savedDisplay_;
    gameCamera.lastPosition = savedCamera_;
    engine = EngineGlobals{};
    device_->drop();
  }

  irr::u32 rootChildren() const { return engine.scene->getRootSceneNode()->getChildren().size(); }

  irr::IrrlichtDevice* device_ = nullptr;
  bool savedDisplay_ = true;
  vector3df savedCamera_;
};

TEST_F(GasBillboardsTest, TheCameraDistanceFadesTheSpriteIn) {
  const struct {
    SColor color;
    float fade;
    float size;
    float distance;  // of the camera, along X
    bool shown;
    irr::u32 alpha;  // when shown
  } cases[] = {
      {SColor(0xFFFF0000), 100.0f, 10.0f, 100.0f, false, 0},
      {SColor(0xFFFF0000), 100.0f, 10.0f, 99.0f, false, 0},
      {SColor(0xFFFF0000), 100.0f, 10.0f, 150.0f, true, 127},
      {SColor(0xFFFF0000), 100.0f, 10.0f, 200.0f, true, 255},
      {SColor(0xFFFF0000), 100.0f, 10.0f, 5000.0f, true, 255},
      {SColor(0xFFFF0000), 100.0f, 10.0f, 100.5f, false, 0},  // level 1
      {SColor(0x01FF0000), 100.0f, 10.0f, 5000.0f, false, 0},
      {SColor(0x80FF0000), 100.0f, 10.0f, 5000.0f, true, 0x80},
      {SColor(0x80FF0000), 100.0f, 10.0f, 150.0f, true, 0x3F},
      // Without a fade distance: fully shown anywhere but at the sprite.
      {SColor(0x80FF0000), 0.0f, 10.0f, 0.0f, false, 0},
      {SColor(0x80FF0000), 0.0f, 10.0f, 0.001f, true, 0x80},
      // No width: no cursor fade to measure.
      {SColor(0x80FF0000), 100.0f, 0.0f, 5000.0f, true, 0x80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.color.color << std::dec << " fade " << c.fade << " at "
                                    << c.distance);
    gfx_fading_bboard board(c.size, vector3df(0, 0, 0), c.color, c.fade, c.fade > 0.0f, nullptr);
    ASSERT_NE(board.node(), nullptr);
    gameCamera.lastPosition.set(c.distance, 0, 0);
    EXPECT_FALSE(board.update(0.1f));
    EXPECT_EQ(board.node()->isVisible(), c.shown);
    if (!c.shown)
      continue;
    SColor top;
    SColor bottom;
    board.node()->getColor(top, bottom);
    EXPECT_EQ(top.getAlpha(), c.alpha);
    EXPECT_EQ(top.color & 0x00FFFFFFu, c.color.color & 0x00FFFFFFu);
    EXPECT_EQ(bottom, top);
  }
}

TEST_F(GasBillboardsTest, GasDisplayShowsEverySpriteUntilTheEffectsAreCleared) {
  const irr::u32 before = rootChildren();
  bDisplayGas = false;
  createGalaxyGasSprite(L"nosuch", 50.0f, vector3df(1, 2, 3), SColor(0xFF00FF00), 10.0f);
  EXPECT_EQ(activeGfxEffectCount(), 0u);
  EXPECT_EQ(rootChildren(), before);
  EXPECT_EQ(galaxyGasSprites().size(), 1u);

  bDisplayGas = true;
  createGalaxyGasSprite(L"nosuch", 50.0f, vector3df(1, 2, 3), SColor(0xFF00FF00), 10.0f);
  EXPECT_EQ(activeGfxEffectCount(), 1u);
  ASSERT_EQ(rootChildren(), before + 1);
  irr::scene::ISceneNode* node = *engine.scene->getRootSceneNode()->getChildren().getLast();
  EXPECT_EQ(node->getType(), irr::scene::ESNT_BILLBOARD);
  EXPECT_EQ(node->getAbsolutePosition(), vector3df(1, 2, 3));
  // An unknown material shows as the error material.
  EXPECT_TRUE(node->getMaterial(0) == *getMaterial(L"nosuch"));

  // A list sent to a joining player: each sprite read gets its billboard.
  RakNet::BitStream sent;
  writeGalaxyGasSprites(sent);
  clearGalaxyGasSprites();
  clearActiveGfxEffects();
  EXPECT_EQ(rootChildren(), before);
  EXPECT_EQ(readGalaxyGasSprites(sent), 2u);
  EXPECT_EQ(activeGfxEffectCount(), 2u);
  EXPECT_EQ(rootChildren(), before + 2);
  updateActiveGfxEffects(0.1f);  // never finished
  EXPECT_EQ(activeGfxEffectCount(), 2u);
  clearActiveGfxEffects();
  EXPECT_EQ(rootChildren(), before);
}

}  // namespace

}  // namespace gas_billboards_test
