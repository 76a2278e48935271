// Our engine layer on the null driver: user settings on our scene nodes,
// the texture size table, the beam's materials.
#include <gtest/gtest.h>

#include <irrlicht.h>

#include "platform/engine/beam_scene_node.h"
#include "platform/engine/engine_textures.h"
#include "platform/engine/node_settings.h"
#include "platform/engine/rotating_billboard.h"
#include "support/null_device.h"

namespace engine_layer_test {

namespace {

using irr::core::vector3df;

// Moves whatever carries it by a fixed offset; counts how often it ran and
// notes when it is gone.
class OffsetSettings : public irr::scene::INodeUserSettings {
 public:
  OffsetSettings(const vector3df& offset, bool& gone) : offset_(offset), gone_(gone) {}
  ~OffsetSettings() override { gone_ = true; }
  void OnTransformation(irr::scene::ISceneNode*, irr::core::matrix4& transformation) override {
    transformation.setTranslation(transformation.getTranslation() + offset_);
    ++calls;
  }
  int calls = 0;

 private:
  vector3df offset_;
  bool& gone_;
};

class EngineLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    scene_ = device_->getSceneManager();
    driver_ = device_->getVideoDriver();
  }
  void TearDown() override { device_->drop(); }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::scene::ISceneManager* scene_ = nullptr;
  irr::video::IVideoDriver* driver_ = nullptr;
};

TEST_F(EngineLayerTest, TheSettingsHookMovesTheAbsoluteTransformationOfEachOfOurNodes) {
  const vector3df kPosition(1, 2, 3);
  const vector3df kOffset(0, 0, 5);
  irr::scene::ISceneNode* parent = scene_->addEmptySceneNode();
  parent->setPosition(vector3df(10, 0, 0));
  parent->updateAbsolutePosition();

  irr::scene::ISceneNode* nodes[] = {
      irr::scene::addSettingsEmptySceneNode(scene_, parent, 1),
      irr::scene::addBeamSceneNode(scene_, parent, vector3df(0, 0, 0), vector3df(0, 0, 1), 2, 0.5f),
      irr::scene::addRotatingBillboardSceneNode(scene_, parent, irr::core::dimension2df(1, 1), kPosition, 3),
  };
  for (irr::scene::ISceneNode* node : nodes) {
    SCOPED_TRACE(node->getID());
    ASSERT_NE(node, nullptr);
    node->setPosition(kPosition);
    node->updateAbsolutePosition();
    EXPECT_EQ(node->getAbsolutePosition(), vector3df(11, 2, 3));
    EXPECT_EQ(irr::scene::getNodeUserSettings(node), nullptr);

    bool gone = false;
    auto* settings = new OffsetSettings(kOffset, gone);
    auto* carrier = dynamic_cast<irr::scene::IUserSettingsNode*>(node);
    ASSERT_NE(carrier, nullptr);
    carrier->setUserSettings(settings);
    settings->drop();  // the node holds it now
    EXPECT_EQ(irr::scene::getNodeUserSettings(node), settings);
    node->updateAbsolutePosition();
    EXPECT_EQ(node->getAbsolutePosition(), vector3df(11, 2, 8));
    // The engine's animation pass computes it the same way.
    node->OnAnimate(0);
    EXPECT_EQ(node->getAbsolutePosition(), vector3df(11, 2, 8));
    EXPECT_EQ(settings->calls, 2);

    // The node lets go of its settings when it goes.
    node->remove();
    EXPECT_TRUE(gone);
  }
  // Stock engine nodes carry none.
  EXPECT_EQ(irr::scene::getNodeUserSettings(parent), nullptr);
}

TEST_F(EngineLayerTest, TheSizeTableKnowsWhatTheNullDriverDoesNot) {
  irr::video::IImage* image = driver_->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(16, 16));
  irr::video::ITexture* texture = plat::addImageTexture(driver_, "sixteen", image);
  image->drop();
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->getOriginalSize(), irr::core::dimension2du(0, 0));
  EXPECT_EQ(plat::textureSize(texture), irr::core::dimension2du(16, 16));

  // A texture made elsewhere has the engine's size until one is recorded.
  irr::video::IImage* other = driver_->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(8, 4));
  irr::video::ITexture* plain = driver_->addTexture("plain", other);
  other->drop();
  EXPECT_EQ(plat::textureSize(plain), irr::core::dimension2du(0, 0));
  plat::recordTextureSize(plain, irr::core::dimension2du(8, 4));
  EXPECT_EQ(plat::textureSize(plain), irr::core::dimension2du(8, 4));

  plat::removeTexture(driver_, texture);
  EXPECT_EQ(driver_->findTexture("sixteen"), nullptr);
  EXPECT_EQ(plat::textureSize(nullptr), irr::core::dimension2du(0, 0));
  EXPECT_EQ(plat::loadTextureFile(driver_, "no such file.png"), nullptr);
}

TEST_F(EngineLayerTest, TheBeamHasTwoMaterialsUntilToldItHasOne) {
  irr::scene::CBeamSceneNode* beam =
      irr::scene::addBeamSceneNode(scene_, nullptr, vector3df(0, 0, 0), vector3df(0, 0, 10), -1, 2.0f);
  ASSERT_NE(beam, nullptr);
  EXPECT_EQ(beam->getMaterialCount(), 2u);
  EXPECT_NE(&beam->getMaterial(0), &beam->getMaterial(1));
  EXPECT_EQ(&beam->getMaterial(7), &beam->getMaterial(0));
  beam->setSecondMaterial(false);
  EXPECT_EQ(beam->getMaterialCount(), 1u);

  // The box follows the moved end, widened by half the width.
  beam->setEnd(vector3df(4, 0, 0));
  EXPECT_EQ(beam->getBoundingBox().MinEdge, vector3df(-1, -1, -1));
  EXPECT_EQ(beam->getBoundingBox().MaxEdge, vector3df(5, 1, 1));

  // Drawing with a camera runs on the null driver, and marks the node being
  // drawn only while it draws.
  scene_->addCameraSceneNode(nullptr, vector3df(0, 10, 0), vector3df(0, 0, 0));
  irr::scene::CRotatingBillboardSceneNode* billboard = irr::scene::addRotatingBillboardSceneNode(
      scene_, nullptr, irr::core::dimension2df(2, 2), vector3df(0, 0, 0), -1);
  billboard->setRotationAngle(45.0f);
  scene_->drawAll();
  EXPECT_EQ(irr::scene::getNodeBeingDrawn(), nullptr);
}

}  // namespace

}  // namespace engine_layer_test
