#include "gfx/fleet_icon.h"

#include <gtest/gtest.h>

#include "empire/empire.h"
#include "gfx/gfx_resources.h"
#include "graphics_object_fixture.h"

namespace gfxobjtest {
namespace {

using irr::core::vector3df;

class FleetIconTest : public GraphicsObjectTest {
 protected:
  void SetUp() override {
    GraphicsObjectTest::SetUp();
    local_.color = 0xFF3366CCu;
    other_.color = 0xFFCC3300u;
    activeEmpire = &local_;
    camera_ = scene()->addCameraSceneNode(nullptr, vector3df(0, 0, 0), vector3df(0, 0, 1));
    camera_->setUpVector(vector3df(0, 1, 0));
    camera_->updateAbsolutePosition();
    gameCamera.node = camera_;
  }
  void TearDown() override {
    gameCamera.node = nullptr;
    activeEmpire = nullptr;
    GraphicsObjectTest::TearDown();
  }

  // A fleet leader of `owner` at `at`, its graphics with an icon.
  CountingGraphics* leader(empire* owner, const vector3df& at) {
    PlainObject* ship = object(L"leader", OT_Hulled);
    ship->owner = owner;
    CountingGraphics* g = graphics(ship);
    g->getNode()->setPosition(at);
    g->getNode()->updateAbsolutePosition();
    addFleetIcon(*g);
    return g;
  }
  static fleet_icon* iconOf(graphicsObject* g) { return dynamic_cast<fleet_icon*>(g->getExtensions()[0]); }

  empire local_;
  empire other_;
  irr::scene::ICameraSceneNode* camera_ = nullptr;
};

TEST_F(FleetIconTest, ANewIconIsAHiddenBillboardWithTheLeaderMaterial) {
  for (bool registered : {true, false}) {
    SCOPED_TRACE(registered);
    auto* look = new irr::video::SMaterial();
    look->Shininess = 7.0f;
    if (registered)
      NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"fleet_leader").value = look;
    CountingGraphics* g = leader(&local_, vector3df(0, 0, 100));
    irr::scene::IBillboardSceneNode* board = iconOf(g)->getBillboard();
    ASSERT_NE(board, nullptr);
    EXPECT_FALSE(board->isVisible());
    EXPECT_EQ(board->getParent(), g->getNode()->getParent());
    EXPECT_EQ(board->getSize(), irr::core::dimension2df(10, 10));
    // Unregistered, the error material stands in.
    EXPECT_TRUE(board->getMaterial(0) == (registered ? *look : gfxResources.errorMaterial));
    if (registered)
      gfxResources.materials.erase(static_cast<irr::u32>(
          NamedVar<irr::video::SMaterial*>::find(gfxResources.materials, L"fleet_leader")));
    delete look;
  }
}

// Size = min(distance x 0.06, 128), placed that far up from the node.
TEST_F(FleetIconTest, OnlyTheLocalEmpiresFleetsShowScaledWithTheDistance) {
  struct Row {
    empire* owner;
    float distance;
    bool shown;
    float size;
  };
  const Row rows[] = {
      {&local_, 100.0f, true, 6.0f},
      {&local_, 2000.0f, true, 120.0f},
      {&local_, 5000.0f, true, 128.0f},
      {&other_, 100.0f, false, 0.0f},
      {nullptr, 100.0f, false, 0.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.distance);
    CountingGraphics* g = leader(row.owner, vector3df(0, 0, row.distance));
    fleet_icon* icon = iconOf(g);
    icon->update(*g);
    irr::scene::IBillboardSceneNode* board = icon->getBillboard();
    EXPECT_EQ(board->isVisible(), row.shown);
    if (!row.shown)
      continue;
    EXPECT_FLOAT_EQ(board->getSize().Width, row.size);
    EXPECT_TRUE(board->getPosition().equals(vector3df(0, row.size, row.distance)));
    irr::video::SColor top;
    irr::video::SColor bottom;
    board->getColor(top, bottom);
    EXPECT_EQ(top.color, local_.color);
  }
}

TEST_F(FleetIconTest, HidingTheObjectHidesTheIconAtOnce) {
  CountingGraphics* g = leader(&local_, vector3df(0, 0, 100));
  fleet_icon* icon = iconOf(g);
  icon->update(*g);
  ASSERT_TRUE(icon->getBillboard()->isVisible());
  g->setHidden(false, kHiddenUnseen);
  EXPECT_FALSE(icon->getBillboard()->isVisible());
  icon->update(*g);
  EXPECT_FALSE(icon->getBillboard()->isVisible()) << "a hidden object's icon stays hidden";
  g->setHidden(true, kHiddenUnseen);
  EXPECT_TRUE(icon->getBillboard()->isVisible()) << "shown before the next update decides";

  activeEmpire = &other_;
  g->setHidden(false, kHiddenUnseen);
  g->setHidden(true, kHiddenUnseen);
  icon->update(*g);
  EXPECT_FALSE(icon->getBillboard()->isVisible());
}

TEST_F(FleetIconTest, RemovingTheIconsTakesTheBillboardsOutAndKeepsOtherExtensions) {
  CountingGraphics* g = leader(&local_, vector3df(0, 0, 100));
  int otherDeleted = 0;
  g->addExtension(new RecordingExtension(&otherDeleted));
  addFleetIcon(*g);
  irr::scene::ISceneNode* parent = g->getNode()->getParent();
  const irr::u32 before = parent->getChildren().size();
  removeFleetIcons(*g);
  ASSERT_EQ(g->getExtensions().size(), 1u);
  EXPECT_EQ(otherDeleted, 0);
  EXPECT_EQ(parent->getChildren().size(), before - 2) << "both billboards left the scene";
  g->removeExtension(g->getExtensions()[0]);
  EXPECT_EQ(otherDeleted, 1);
}

TEST_F(FleetIconTest, AnObjectWithoutANodeGetsAnIconThatShowsNothing) {
  PlainObject* ship = object(L"bare", OT_Hulled);
  ship->owner = &local_;
  auto* bare = new CountingGraphics(ship, nullptr);
  made_.emplace_back(bare);
  addFleetIcon(*bare);
  fleet_icon* icon = iconOf(bare);
  EXPECT_EQ(icon->getBillboard(), nullptr);
  icon->update(*bare);
  bare->setHidden(false, 1);
  removeFleetIcons(*bare);
  EXPECT_EQ(bare->getExtensions().size(), 0u);
}

}  // namespace
}  // namespace gfxobjtest
