#include "gfx/habitat_extensions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gfx/gfx_resources.h"
#include "gfx/select_ring.h"
#include "gfx/settings_mesh_node.h"
#include "support/null_device.h"

namespace habitat_extensions_test {
namespace {

using irr::core::vector3df;
using irr::scene::ISceneNode;
using irr::scene::ISceneNodeAnimator;

// What a fly-circle animator says of itself.
struct Circling {
  float radius = 0.0f;
  float speed = 0.0f;
  vector3df center;
  vector3df direction;
};

class HabitatExtensionsTest : public testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    const irr::scene::IGeometryCreator* shapes = scene()->getGeometryCreator();
    for (irr::u32 segments : {32u, 16u, 8u})
      meshes_.push_back(shapes->createSphereMesh(1.0f, segments, segments));
  }
  void TearDown() override {
    clearHabitatExtensions();
    for (irr::scene::IMesh* mesh : meshes_)
      mesh->drop();
    device_->drop();
  }
  irr::scene::ISceneManager* scene() const { return device_->getSceneManager(); }

  // The "moon" description of the session, on the test's meshes.
  habitat_extension* moon(const wchar_t* name = L"moon") {
    habitat_extension* made = createHabitatExtension(name);
    made->mesh = meshes_[0];
    made->secondMesh = meshes_[1];
    made->thirdMesh = meshes_[2];
    made->firstThreshold = 0.00125f;
    made->secondThreshold = 0.02f;
    made->orbits = true;
    made->randomScale = true;
    made->ignoreParentScale = true;
    made->orbitRadiusMin = 1.5f;
    made->orbitRadiusMax = 2.5f;
    made->scaleMin = 0.5f;
    made->scaleMax = 0.75f;
    return made;
  }

  ISceneNode* planet(float scale) {
    ISceneNode* node = scene()->addEmptySceneNode();
    node->setScale(vector3df(scale, scale, scale));
    return node;
  }

  Circling circlingOf(ISceneNode* node) {
    Circling out;
    irr::io::IAttributes* attributes = device_->getFileSystem()->createEmptyAttributes();
    for (ISceneNodeAnimator* animator : node->getAnimators()) {
      if (animator->getType() != irr::scene::ESNAT_FLY_CIRCLE)
        continue;
      animator->serializeAttributes(attributes);
      out.radius = attributes->getAttributeAsFloat("Radius");
      out.speed = attributes->getAttributeAsFloat("Speed");
      out.center = attributes->getAttributeAsVector3d("Center");
      out.direction = attributes->getAttributeAsVector3d("Direction");
    }
    attributes->drop();
    return out;
  }

  static irr::scene::LOD_Manager* lodOf(ISceneNode* node) {
    for (ISceneNodeAnimator* animator : node->getAnimators())
      if (auto* lod = dynamic_cast<irr::scene::LOD_Manager*>(animator))
        return lod;
    return nullptr;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  std::vector<irr::scene::IMesh*> meshes_;
};

TEST_F(HabitatExtensionsTest, AMoonCirclesAtTheGivenOrDrawnRadius) {
  struct Row {
    const char* what;
    float parentScale;
    bool ignoreParentScale;
    float radius, scale, speed;
    float radiusLow, radiusHigh;  // the orbit radius lies in [low, high)
    float nodeScaleLow, nodeScaleHigh;
  };
  const Row rows[] = {
      {"all given", 1.0f, true, 3.0f, 0.6f, 0.002f, 3.0f, 3.0001f, 0.6f, 0.6001f},
      {"drawn, scaled with the planet", 2.0f, false, -1.0f, -1.0f, -1.0f, 3.0f, 5.0f, 0.5f, 0.75f},
      {"given, planet scale undone", 2.0f, true, 3.0f, 0.6f, -1.0f, 3.0f, 3.0001f, 0.3f, 0.3001f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    clearHabitatExtensions();
    habitat_extension* description = moon();
    description->ignoreParentScale = row.ignoreParentScale;
    for (int draw = 0; draw < 20; ++draw) {
      ISceneNode* node = addExtensionGraphics(description, planet(row.parentScale), row.radius, row.scale, row.speed);
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(node->getID(), description->id);
      const Circling circle = circlingOf(node);
      EXPECT_GE(circle.radius, row.radiusLow);
      EXPECT_LT(circle.radius, row.radiusHigh);
      const float speed = row.speed > 0.0f ? row.speed : 0.001f / std::pow(circle.radius, 1.5f);
      EXPECT_FLOAT_EQ(circle.speed, speed);
      EXPECT_EQ(circle.center, vector3df(0, 0, 0));
      EXPECT_EQ(circle.direction, vector3df(0, 1, 0));
      const vector3df scale = node->getScale();
      EXPECT_GE(scale.X, row.nodeScaleLow);
      EXPECT_LT(scale.X, row.nodeScaleHigh);
      EXPECT_FLOAT_EQ(scale.X, scale.Z);
      ASSERT_NE(lodOf(node), nullptr);
      // The animator keeps the moon's own scale (squared).
      const float own = row.ignoreParentScale ? scale.X * row.parentScale : scale.X;
      EXPECT_NEAR(lodOf(node)->scaleSquared, own * own, 1e-5f);
      if (draw > 0 && row.radius > 0.0f)
        break;
    }
  }
}

TEST_F(HabitatExtensionsTest, MaterialsLevelsAndStaticExtensions) {
  habitat_extension* plain = moon(L"plain");
  plain->secondMesh = nullptr;
  habitat_extension* twoLevels = moon(L"two");
  twoLevels->thirdMesh = nullptr;
  irr::video::SMaterial dark;
  dark.Shininess = 3.0f;
  twoLevels->materials.push_back(dark);
  habitat_extension* ring = createHabitatExtension(L"ring");
  ring->mesh = meshes_[0];
  ring->randomScale = true;
  ring->scaleMin = 2.0f;
  ring->scaleMax = 3.0f;

  ISceneNode* bare = addExtensionGraphics(plain, planet(1.0f), 2.0f, 0.6f, 0.001f);
  EXPECT_EQ(lodOf(bare), nullptr) << "no second mesh, no level of detail";
  EXPECT_TRUE(bare->getMaterial(0).NormalizeNormals) << "the mesh's own material, renormalised";

  ISceneNode* dressed = addExtensionGraphics(twoLevels, planet(1.0f), 2.0f, 0.6f, 0.001f);
  ASSERT_NE(lodOf(dressed), nullptr);
  EXPECT_FALSE(lodOf(dressed)->hasThirdLevel);
  EXPECT_EQ(lodOf(dressed)->secondMesh, meshes_[1]);
  EXPECT_FLOAT_EQ(dressed->getMaterial(0).Shininess, 3.0f);
  EXPECT_TRUE(dressed->getMaterial(0).NormalizeNormals);

  // A static extension: drawn toward the camera, a fixed scale ignored.
  ISceneNode* fixed = addExtensionGraphics(ring, planet(1.0f), 5.0f, 0.6f, 0.1f);
  ASSERT_NE(fixed, nullptr);
  auto* carrier = dynamic_cast<irr::scene::CSettingsMeshSceneNode*>(fixed);
  ASSERT_NE(carrier, nullptr);
  auto* approach = dynamic_cast<approachCam*>(carrier->getUserSettings());
  ASSERT_NE(approach, nullptr);
  EXPECT_FLOAT_EQ(approach->distance, 0.5f);
  EXPECT_GE(fixed->getScale().X, 2.0f);
  EXPECT_LT(fixed->getScale().X, 3.0f);
  EXPECT_TRUE(fixed->getAnimators().empty());

  // Nothing to show: no node.
  habitat_extension* empty = createHabitatExtension(L"empty");
  EXPECT_EQ(addExtensionGraphics(empty, planet(1.0f), -1, -1, -1), nullptr);
  EXPECT_EQ(addExtensionGraphics(plain, nullptr, -1, -1, -1), nullptr);
  EXPECT_EQ(addExtensionGraphics(nullptr, planet(1.0f), -1, -1, -1), nullptr);
}

TEST_F(HabitatExtensionsTest, ANameIsRegisteredOnceAndIdsCountUp) {
  habitat_extension* first = createHabitatExtension(L"moon");
  ASSERT_NE(first, nullptr);
  habitat_extension* second = createHabitatExtension(L"ring");
  EXPECT_EQ(second->id, first->id + 1);
  EXPECT_GE(first->id, 100000);
  EXPECT_EQ(createHabitatExtension(L"moon"), nullptr);
  EXPECT_EQ(habitatExtensionAt(findHabitatExtension(L"moon")), first) << "the first stays";
  EXPECT_EQ(findHabitatExtension(L"Moon"), -1);
  EXPECT_EQ(habitatExtensionAt(-1), nullptr);
  clearHabitatExtensions();
  EXPECT_EQ(findHabitatExtension(L"moon"), -1);
}

TEST_F(HabitatExtensionsTest, TheSessionDescriptionsComeFromTheRegisteredModelsAndMaterials) {
  // The planet spheres, two moon materials (a gap ends the list) and no
  // ring models.
  std::vector<ModelRef*> models;
  const wchar_t* sphereNames[] = {L"sphereHi", L"sphereMd", L"sphereLo"};
  std::vector<irr::scene::SAnimatedMesh*> animated;
  for (int i = 0; i < 3; ++i) {
    animated.push_back(new irr::scene::SAnimatedMesh());
    animated.back()->addMesh(meshes_[i]);
    models.push_back(new ModelRef(animated.back()));
    NamedVar<ModelRef*>::getOrAdd(gfxResources.models, sphereNames[i]).value = models.back();
  }
  irr::video::SMaterial moonLooks[3];
  const wchar_t* moonNames[] = {L"moon_1", L"moon_2", L"moon_4"};
  for (int i = 0; i < 3; ++i) {
    moonLooks[i].Shininess = static_cast<float>(i + 1);
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, moonNames[i]).value = &moonLooks[i];
  }

  registerHabitatExtensions();
  const habitat_extension* made = habitatExtensionAt(findHabitatExtension(L"moon"));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->mesh, meshes_[0]);
  EXPECT_EQ(made->secondMesh, meshes_[1]);
  EXPECT_EQ(made->thirdMesh, meshes_[2]);
  EXPECT_FLOAT_EQ(made->firstThreshold, 0.00125f);
  EXPECT_FLOAT_EQ(made->secondThreshold, 0.02f);
  EXPECT_TRUE(made->orbits && made->randomScale && made->ignoreParentScale);
  EXPECT_FLOAT_EQ(made->orbitRadiusMin, 1.5f);
  EXPECT_FLOAT_EQ(made->orbitRadiusMax, 2.5f);
  EXPECT_FLOAT_EQ(made->scaleMin, 0.5f);
  EXPECT_FLOAT_EQ(made->scaleMax, 0.75f);
  ASSERT_EQ(made->materials.size(), 2u);
  EXPECT_FLOAT_EQ(made->materials[1].Shininess, 2.0f);
  for (const wchar_t* ring : {L"space_ring", L"natural_ring"}) {
    const habitat_extension* described = habitatExtensionAt(findHabitatExtension(ring));
    ASSERT_NE(described, nullptr);
    EXPECT_EQ(described->mesh, nullptr) << "its model is not registered: it shows nothing";
  }

  gfxResources.models.clear();
  gfxResources.materials.clear();
  for (ModelRef* model : models)
    delete model;
  for (irr::scene::SAnimatedMesh* mesh : animated)
    mesh->drop();
}

}  // namespace
}  // namespace habitat_extensions_test
