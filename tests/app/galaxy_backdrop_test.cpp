// The distant-galaxy backdrop on a headless scene.
#include "app/galaxy_backdrop.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include "app/base/config.h"
#include "core/random.h"
#include "support/null_device.h"

namespace galaxy_backdrop_test {

namespace {

using irr::video::SColor;

class GalaxyBackdropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    scene_ = device_->getSceneManager();
  }
  void TearDown() override {
    removeGalaxyBackdrop();
    bDisplayBackground = true;
    device_->drop();
  }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::scene::ISceneManager* scene_ = nullptr;
};

// The material each "dist_glx_<n>" name finds: its parameter is n.
std::set<std::string> asked;
const irr::video::SMaterial* findMaterial(const irr::core::stringc& name) {
  static irr::video::SMaterial materials[10];
  asked.insert(name.c_str());
  const int number = std::atoi(name.c_str() + 9);
  if (number < 1 || number > 9)
    return nullptr;
  materials[number].MaterialTypeParam = static_cast<float>(number);
  return &materials[number];
}

bool isTint(SColor colour) {
  const irr::u32 r = colour.getRed(), g = colour.getGreen(), b = colour.getBlue();
  const bool red = r == 255 && g == b && g >= 136 && g <= 235;
  const bool blue = b == 255 && r == g && r >= 136 && r <= 235;
  const bool grey = r == g && g == b && r >= 206;
  return colour.getAlpha() == 255 && (red || blue || grey);
}

TEST_F(GalaxyBackdropTest, ScattersTintedGalaxiesOverAFarShell) {
  setThreadRandomSeed(7);
  freeThreadRandom();
  seedProcessRandom(11);
  asked.clear();
  irr::scene::ISceneNode* parent = createGalaxyBackdrop(scene_, findMaterial);
  ASSERT_NE(parent, nullptr);
  const irr::core::list<irr::scene::ISceneNode*>& children = parent->getChildren();
  ASSERT_EQ(children.size(), 250u);

  for (irr::scene::ISceneNode* node : children) {
    ASSERT_EQ(node->getType(), irr::scene::ESNT_BILLBOARD);
    auto* billboard = static_cast<irr::scene::IBillboardSceneNode*>(node);
    const float distance = node->getPosition().getLength();
    EXPECT_GE(distance, 999999.0f);
    EXPECT_LE(distance, 50000001.0f);
    const irr::core::dimension2df size = billboard->getSize();
    EXPECT_TRUE(size.Width >= 150000.0f && size.Width <= 600000.0f) << size.Width;
    EXPECT_TRUE(size.Height >= 150000.0f && size.Height <= 600000.0f) << size.Height;
    const irr::video::SMaterial& material = billboard->getMaterial(0);
    EXPECT_TRUE(material.MaterialTypeParam >= 1.0f && material.MaterialTypeParam <= 9.0f);
    EXPECT_TRUE(isTint(material.DiffuseColor)) << std::hex << material.DiffuseColor.color;
  }
  EXPECT_EQ(asked, (std::set<std::string>{"dist_glx_1", "dist_glx_2", "dist_glx_3", "dist_glx_4", "dist_glx_5",
                                          "dist_glx_6", "dist_glx_7", "dist_glx_8", "dist_glx_9"}));

  // A second session's backdrop replaces the first.
  irr::scene::ISceneNode* again = createGalaxyBackdrop(scene_, nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(scene_->getRootSceneNode()->getChildren().size(), 1u);
}

TEST_F(GalaxyBackdropTest, NothingWithoutTheBackground) {
  bDisplayBackground = false;
  EXPECT_EQ(createGalaxyBackdrop(scene_, nullptr), nullptr);
  EXPECT_TRUE(scene_->getRootSceneNode()->getChildren().empty());
}

}  // namespace

}  // namespace galaxy_backdrop_test
