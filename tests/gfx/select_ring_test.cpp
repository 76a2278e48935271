#include "gfx/select_ring.h"

#include <gtest/gtest.h>

#include "app/base/config.h"
#include "gfx/game_camera.h"
#include "gfx/settings_mesh_node.h"
#include "support/null_device.h"

namespace select_ring_test {
namespace {

using irr::core::vector3df;
using irr::scene::LOD_Manager;

class SceneExtensionsTest : public testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    savedWidth_ = screenWidth;
    savedHeight_ = screenHeight;
    screenWidth = 1024;
    screenHeight = 768;
  }
  void TearDown() override {
    gameCamera.node = nullptr;
    screenWidth = savedWidth_;
    screenHeight = savedHeight_;
    device_->drop();
  }
  irr::scene::ISceneManager* scene() const { return device_->getSceneManager(); }

  irr::IrrlichtDevice* device_ = nullptr;
  int32_t savedWidth_ = 0;
  int32_t savedHeight_ = 0;
};

TEST_F(SceneExtensionsTest, ARingLiesFlatWithItsCornersAtTheRadius) {
  irr::scene::ISceneNode* parent = scene()->addEmptySceneNode();
  auto* ring = new irr::scene::CSelectRing(parent, 2.0f, irr::video::SColor(255, 0, 255, 0));
  ring->drop();  // the parent holds it
  ASSERT_EQ(ring->getParent(), parent);
  EXPECT_EQ(ring->getVertices()[0].Pos, vector3df(-2, 0, -2));
  EXPECT_EQ(ring->getVertices()[3].Pos, vector3df(2, 0, 2));
  EXPECT_EQ(ring->getVertices()[1].TCoords, irr::core::vector2df(1, 0));
  EXPECT_EQ(ring->getVertices()[2].Color, irr::video::SColor(255, 0, 255, 0));
  EXPECT_FLOAT_EQ(ring->getBoundingBox().getExtent().Y, 0.02f);
  EXPECT_FLOAT_EQ(ring->getBoundingBox().getExtent().X, 4.0f);
  EXPECT_EQ(&ring->getMaterial(5), &ring->getMaterial(0));

  ring->setRadius(0.5f, irr::video::SColor(255, 255, 0, 0));
  EXPECT_EQ(ring->getVertices()[0].Pos, vector3df(-0.5f, 0, -0.5f));
  EXPECT_EQ(ring->getVertices()[0].Color, irr::video::SColor(255, 255, 0, 0));
  EXPECT_FLOAT_EQ(ring->getBoundingBox().MaxEdge.X, 0.5f);

  // Drawn only while visible, on the null driver without complaint.
  scene()->addCameraSceneNode(nullptr, vector3df(0, 10, -10), vector3df(0, 0, 0));
  device_->getVideoDriver()->beginScene();
  scene()->drawAll();
  device_->getVideoDriver()->endScene();
}

// Value = distance squared / (1024 x 768 x 10 x scale squared).
TEST_F(SceneExtensionsTest, TheLevelFollowsTheScaledCameraDistance) {
  struct Row {
    float scale;
    float distance;
    bool third;
    irr::s32 level;
  };
  const Row rows[] = {
      {1.0f, 100.0f, false, 1},   // 0.00127 > 0.00125
      {1.0f, 98.0f, false, 0},    // 0.00122
      {2.0f, 100.0f, false, 0},   // a quarter of it
      {1.0f, 1000.0f, false, 1},  // no third level to go to
      {1.0f, 1000.0f, true, 2},   // 0.127 > 0.02
      {1.0f, 300.0f, true, 1},    // 0.0114
      {0.0f, 1.0f, true, 2},      // no scale: the coarsest level
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.scale << " " << row.distance << " " << row.third);
    LOD_Manager lod(row.scale);
    lod.firstThreshold = 0.00125f;
    lod.secondThreshold = 0.02f;
    lod.hasThirdLevel = row.third;
    EXPECT_EQ(lod.levelFor(lod.levelValue(row.distance * row.distance)), row.level);
  }
}

TEST_F(SceneExtensionsTest, TheMeshIsSwappedOnlyOnALevelChangeAndMaterialZeroSurvives) {
  const irr::scene::IGeometryCreator* shapes = scene()->getGeometryCreator();
  irr::scene::IMesh* meshes[3] = {shapes->createCubeMesh(), shapes->createSphereMesh(1.0f, 8, 8),
                                  shapes->createCubeMesh(vector3df(2, 2, 2))};
  irr::scene::IMeshSceneNode* node = scene()->addMeshSceneNode(meshes[0]);
  node->getMaterial(0).Shininess = 42.0f;
  irr::scene::ICameraSceneNode* camera = scene()->addCameraSceneNode(nullptr, vector3df(0, 0, 100));
  camera->updateAbsolutePosition();
  auto* lod = new LOD_Manager(1.0f);
  lod->firstMesh = meshes[0];
  lod->secondMesh = meshes[1];
  lod->thirdMesh = meshes[2];
  lod->firstThreshold = 0.00125f;
  lod->secondThreshold = 0.02f;
  lod->hasThirdLevel = true;
  node->addAnimator(lod);
  lod->drop();

  lod->animateNode(node, 0);
  EXPECT_EQ(lod->currentLevel, 1);
  EXPECT_EQ(node->getMesh(), meshes[1]);
  EXPECT_FLOAT_EQ(node->getMaterial(0).Shininess, 42.0f) << "material 0 survives the swap";

  node->setMesh(meshes[0]);  // no swap follows while the level stays
  lod->animateNode(node, 0);
  EXPECT_EQ(node->getMesh(), meshes[0]);

  camera->setPosition(vector3df(0, 0, 1000));
  camera->updateAbsolutePosition();
  lod->animateNode(node, 0);
  EXPECT_EQ(lod->currentLevel, 2);
  EXPECT_EQ(node->getMesh(), meshes[2]);
  EXPECT_EQ(lod->createClone(node), nullptr);
  for (irr::scene::IMesh* mesh : meshes)
    mesh->drop();
}

TEST_F(SceneExtensionsTest, ApproachCamDrawsTheNodeTowardTheCameraUnlessItsParentIsThere) {
  irr::scene::ICameraSceneNode* camera = scene()->addCameraSceneNode(nullptr, vector3df(10, 0, 10));
  camera->updateAbsolutePosition();
  gameCamera.node = camera;
  struct Row {
    vector3df parentAt;
    vector3df drawnAt;
  };
  const Row rows[] = {{{10, 0, 0}, {10, 0, 0.5f}}, {{10, 0, 10}, {10, 0, 10}}};
  for (const Row& row : rows) {
    irr::scene::ISceneNode* parent = scene()->addEmptySceneNode();
    parent->setPosition(row.parentAt);
    parent->updateAbsolutePosition();
    irr::scene::IMesh* mesh = scene()->getGeometryCreator()->createCubeMesh();
    auto* node = irr::scene::addSettingsMeshSceneNode(scene(), mesh, parent, -1, vector3df(0, 0, 0),
                                                      vector3df(0, 0, 0), vector3df(1, 1, 1));
    mesh->drop();
    auto* approach = new approachCam(0.5f);
    node->setUserSettings(approach);
    approach->drop();
    node->updateAbsolutePosition();
    EXPECT_TRUE(node->getAbsolutePosition().equals(row.drawnAt)) << row.parentAt.Z;
  }
}

}  // namespace
}  // namespace select_ring_test
