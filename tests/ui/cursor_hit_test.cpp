// The normal under the cursor on a real camera over the null scene, the
// triangle normal itself, and the menu planet's shader constants.
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/interface_harness.h"
#include "ui/cursor_hit_normal.h"
#include "ui/menu_planet_shader.h"

namespace cursor_hit_test {

using irr::core::triangle3df;
using irr::core::vector3df;

TEST(TriangleNormal, UnitLengthUnlessDegenerate) {
  struct {
    const char* what;
    triangle3df triangle;
    vector3df expected;
  } cases[] = {
      {"counter-clockwise in the xy plane", {{0, 0, 0}, {3, 0, 0}, {0, 5, 0}}, {0, 0, 1}},
      {"clockwise in the xz plane", {{1, 1, 1}, {1, 1, 4}, {3, 1, 1}}, {0, 1, 0}},
      {"corners on a line", {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {0, 0, 0}},
      {"two corners alike", {{4, 4, 4}, {4, 4, 4}, {9, 0, 0}}, {0, 0, 0}},
      // |n|^2 = 1e-10: too small to make unit length, left as it is.
      {"a tiny triangle", {{0, 0, 0}, {1e-5f, 0, 0}, {0, 1e-5f, 0}}, {0, 0, 1e-10f}},
  };
  for (const auto& row : cases) {
    const vector3df n = triangleNormal(row.triangle);
    EXPECT_NEAR(n.X, row.expected.X, 1e-6) << row.what;
    EXPECT_NEAR(n.Y, row.expected.Y, 1e-6) << row.what;
    EXPECT_NEAR(n.Z, row.expected.Z, 1e-6) << row.what;
  }
}

class CursorHitTest : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    camera = engine.scene->addCameraSceneNode(nullptr, vector3df(0, 0, -100), vector3df(0, 0, 0));
    engine.scene->setActiveCamera(camera);
    cube = engine.scene->addCubeSceneNode(10.0f, nullptr, -1, vector3df(0, 0, 0), vector3df(0, 0, 0),
                                          vector3df(2, 3, 4));
    engine.scene->drawAll();
    selector = engine.scene->createTriangleSelectorFromBoundingBox(cube);
  }
  void TearDown() override {
    releaseCursorPickTarget();
    selector->drop();
    InterfaceTest::TearDown();
  }

  irr::scene::ICameraSceneNode* camera = nullptr;
  irr::scene::ISceneNode* cube = nullptr;
  irr::scene::ITriangleSelector* selector = nullptr;
};

TEST_F(CursorHitTest, HitGivesTheFaceNormalAndTheNodeScale) {
  struct {
    const char* what;
    bool target;
    irr::s32 x, y;
    bool hits;
  } cases[] = {
      {"no pick target", false, 320, 240, false},
      {"the cube's front face", true, 320, 240, true},
      {"beside the cube", true, 10, 10, false},
  };
  for (const auto& row : cases) {
    setCursorPickTarget(row.target ? selector : nullptr);
    engine.cursor->setPosition(row.x, row.y);
    vector3df normal(7, 7, 7);
    vector3df scale(1, 0.5f, 2);
    EXPECT_EQ(cursorHitNormal(normal, scale), row.hits) << row.what;
    if (row.hits) {
      EXPECT_NEAR(std::fabs(normal.Z), 1.0f, 1e-5) << row.what;
      EXPECT_NEAR(normal.getLength(), 1.0f, 1e-5) << row.what;
      EXPECT_EQ(scale, vector3df(2, 1.5f, 8)) << row.what;
    } else {
      EXPECT_EQ(normal, vector3df(7, 7, 7)) << row.what;
      EXPECT_EQ(scale, vector3df(1, 0.5f, 2)) << row.what;
    }
  }
}

TEST_F(CursorHitTest, ThePickTargetIsHeldUntilReleased) {
  const irr::s32 before = selector->getReferenceCount();
  setCursorPickTarget(selector);
  setCursorPickTarget(selector);
  EXPECT_EQ(selector->getReferenceCount(), before + 1);
  releaseCursorPickTarget();
  EXPECT_EQ(getCursorPickTarget(), nullptr);
  EXPECT_EQ(selector->getReferenceCount(), before);
}

// Writes down the constants it is given.
class RecordingServices : public irr::video::IMaterialRendererServices {
 public:
  void setBasicRenderStates(const irr::video::SMaterial&, const irr::video::SMaterial&, bool) override {}
  bool setVertexShaderConstant(const irr::c8* name, const irr::f32*, int count) override {
    return record("vertex floats", name, count);
  }
  bool setVertexShaderConstant(const irr::c8* name, const bool*, int count) override {
    return record("vertex bools", name, count);
  }
  bool setVertexShaderConstant(const irr::c8* name, const irr::s32*, int count) override {
    return record("vertex ints", name, count);
  }
  void setVertexShaderConstant(const irr::f32*, irr::s32, irr::s32) override { calls.push_back("vertex registers"); }
  bool setPixelShaderConstant(const irr::c8* name, const irr::f32* floats, int count) override {
    for (int i = 0; i < count; ++i) {
      irr::s32 bits;
      std::memcpy(&bits, &floats[i], sizeof bits);
      values.push_back(bits);
    }
    return record("pixel floats", name, count);
  }
  bool setPixelShaderConstant(const irr::c8* name, const bool*, int count) override {
    return record("pixel bools", name, count);
  }
  bool setPixelShaderConstant(const irr::c8* name, const irr::s32*, int count) override {
    return record("pixel ints", name, count);
  }
  void setPixelShaderConstant(const irr::f32*, irr::s32, irr::s32) override { calls.push_back("pixel registers"); }
  irr::video::IVideoDriver* getVideoDriver() override { return nullptr; }

  bool record(const char* kind, const irr::c8* name, int count) {
    calls.push_back(std::string(kind) + " " + name + " " + std::to_string(count));
    return true;
  }
  std::vector<std::string> calls;
  std::vector<irr::s32> values;
};

TEST(MenuPlanetShader, SetsTheTwoTextureUnits) {
  auto* shader = new MenuPlanetShader;
  RecordingServices services;
  shader->OnSetMaterial(irr::video::SMaterial());
  shader->OnSetConstants(&services, 0);
  shader->OnSetConstants(nullptr, 0);
  EXPECT_EQ(services.calls, std::vector<std::string>{"pixel floats texture 2"});
  EXPECT_EQ(services.values, (std::vector<irr::s32>{0, 1}));
  shader->drop();
}

}  // namespace cursor_hit_test
