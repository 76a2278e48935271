#include "gfx/graphics_object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/log.h"
#include "gfx/object_render_state.h"
#include "graphics_object_fixture.h"
#include "platform/engine/node_settings.h"
#include "support/log_capture.h"

namespace gfxobjtest {
namespace {

using irr::core::line3df;
using irr::core::vector3df;

// Each row changes the hide mask from the state the previous rows left.
TEST_F(GraphicsObjectTest, HideMaskShowsTheNodeAndExtensionsOnlyWhenEveryReasonIsGone) {
  CountingGraphics* g = graphics(object());
  auto* first = new RecordingExtension();
  auto* second = new RecordingExtension();
  g->addExtension(first);
  g->addExtension(second);
  struct Step {
    bool show;
    uint8_t bits;
    uint8_t mask;
    bool visible;
  };
  const Step steps[] = {
      {false, 2, 2, false},  // hidden by the empire's sight
      {false, 1, 3, false},  // a second reason: nothing visible changes
      {true, 2, 1, false},   // one reason left: still hidden
      {true, 1, 0, true},    // the last one gone
      {true, 4, 0, true},    // clearing a bit not set changes nothing
  };
  for (const Step& step : steps) {
    first->visible = !step.visible;  // a change must be told again
    second->visible = !step.visible;
    const bool toldBefore = g->getHideMask() != 0;
    g->setHidden(step.show, step.bits);
    SCOPED_TRACE(testing::Message() << "show " << step.show << " bits " << int(step.bits));
    EXPECT_EQ(g->getHideMask(), step.mask);
    EXPECT_EQ(g->getNode()->isVisible(), step.visible);
    const bool changed = toldBefore != (step.mask != 0);
    // Extensions hear only of a change between hidden and shown.
    EXPECT_EQ(first->visible, changed ? step.visible : !step.visible);
    EXPECT_EQ(second->visible, changed ? step.visible : !step.visible);
  }
}

// Siblings of one render group: the invalid one goes, the moved one goes to
// the other group, and each remaining one is updated exactly once.
TEST_F(GraphicsObjectTest, UpdateRemovesInvalidObjectsAndReparentsMovedOnesWithoutSkippingSiblings) {
  solarSystem* systemA = system();
  solarSystem* systemB = system();
  CountingGraphics* groupA = group(systemA);
  CountingGraphics* groupB = group(systemB);
  PlainObject* owners[4];
  CountingGraphics* children[4];
  int deleted = 0;
  for (int i = 0; i < 4; ++i) {
    owners[i] = object(L"child");
    owners[i]->setContainer(systemA);
    // Made without a fixture reference, so removal deletes it.
    children[i] = new CountingGraphics(owners[i], scene()->addEmptySceneNode(), &deleted);
  }
  ASSERT_EQ(groupA->getChildren().size(), 4u);
  EXPECT_EQ(children[0]->getParent(), groupA);
  EXPECT_EQ(children[0]->getNode()->getParent(), groupA->getNode());

  owners[1]->clearFlag(FLAG_VALID);  // as destroyNow leaves it
  owners[2]->setContainer(systemB);

  EXPECT_FALSE(groupA->update());
  EXPECT_EQ(deleted, 1) << "the invalid object gave up its creator's reference";
  EXPECT_EQ(children[0]->updates, 1);
  EXPECT_EQ(children[2]->updates, 1);
  EXPECT_EQ(children[3]->updates, 1) << "the sibling after a leaving one is not skipped";
  ASSERT_EQ(groupA->getChildren().size(), 2u);
  EXPECT_EQ(groupA->getChildren()[0].get(), children[0]);
  EXPECT_EQ(groupA->getChildren()[1].get(), children[3]);
  ASSERT_EQ(groupB->getChildren().size(), 1u);
  EXPECT_EQ(groupB->getChildren()[0].get(), children[2]);
  EXPECT_EQ(children[2]->getParent(), groupB);
  EXPECT_EQ(children[2]->getNode()->getParent(), groupB->getNode());

  owners[1]->setFlag(FLAG_VALID);  // so that the fixture can destroy it
  for (int i : {0, 2, 3})
    children[i]->remove(false);
  EXPECT_EQ(deleted, 4);
}

TEST_F(GraphicsObjectTest, UpdatePlacesTheNodeAndShowsItOnlyWithinItsVisibleDistance) {
  PlainObject* owner = object();
  owner->position.set(10.0f, 0.0f, 0.0f);
  CountingGraphics* g = graphics(owner);
  g->radius = 0.01f;  // visible up to sqrt(700) (about 26.5) away
  struct Row {
    vector3df camera;
    bool visible;
  };
  const Row rows[] = {{{10, 0, 26}, true}, {{10, 0, 27}, false}, {{0, 0, 0}, true}};
  for (const Row& row : rows) {
    gameCamera.lastPosition = row.camera;
    g->update();
    EXPECT_EQ(g->getNode()->getAbsolutePosition(), vector3df(10, 0, 0));
    EXPECT_EQ(g->getNode()->isVisible(), row.visible) << row.camera.Z;
  }
  g->setHidden(false, 2);
  g->update();
  EXPECT_FALSE(g->getNode()->isVisible()) << "a hidden object stays hidden near the camera";
}

TEST_F(GraphicsObjectTest, TheLastReleaseLogsWithDebugInfoAndDeletesExtensionsStillListed) {
  for (bool debug : {true, false}) {
    SCOPED_TRACE(debug);
    debugInfo = debug;
    const int savedLevel = logLevel;
    logLevel = 0;
    LogCapture log;
    int deleted = 0;
    int extensionsDeleted = 0;
    {
      auto* g = new CountingGraphics(object(L"Kestrel"), scene()->addEmptySceneNode(), &deleted);
      g->addExtension(new RecordingExtension(&extensionsDeleted));
      heldPointer<graphicsObject> held(g);
      g->drop();  // the creator's reference, without remove
      EXPECT_EQ(deleted, 0);
      EXPECT_EQ(log.take(), "");
    }
    logLevel = savedLevel;
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(extensionsDeleted, 1) << "the destructor deletes extensions still listed";
    const std::string text = log.take();
    EXPECT_EQ(text, debug ? "Deleting graphics object for 'Kestrel'\n" : "");
  }
}

TEST_F(GraphicsObjectTest, RemoveDetachesChildrenDeletesExtensionsAndRunsOnce) {
  solarSystem* star = system();
  CountingGraphics* parentGroup = group(star);
  PlainObject* owner = object();
  owner->setContainer(star);
  int deleted = 0;
  int extensionsDeleted = 0;
  auto* g = new CountingGraphics(owner, scene()->addEmptySceneNode(), &deleted);
  g->addExtension(new RecordingExtension(&extensionsDeleted));
  heldPointer<graphicsObject> keep(g);
  g->remove(false);
  EXPECT_FALSE(g->attached.load());
  EXPECT_EQ(extensionsDeleted, 1);
  EXPECT_EQ(parentGroup->getChildren().size(), 0u);
  EXPECT_EQ(g->getParent(), nullptr);
  EXPECT_EQ(g->getNode()->getParent(), scene()->getRootSceneNode());
  EXPECT_FALSE(g->getNode()->isVisible());
  EXPECT_EQ(g->refCount.load(), 1) << "the creator's reference went";
  g->remove(false);
  EXPECT_EQ(g->refCount.load(), 1) << "a second remove does nothing";
  keep = nullptr;
  EXPECT_EQ(deleted, 1);
}

TEST_F(GraphicsObjectTest, RemoveExtensionDeletesOnlyAListedOne) {
  CountingGraphics* g = graphics(object());
  int deleted = 0;
  auto* listed = new RecordingExtension(&deleted);
  g->addExtension(listed);
  RecordingExtension stranger;
  g->removeExtension(&stranger);
  EXPECT_EQ(g->getExtensions().size(), 1u);
  g->removeExtension(listed);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(g->getExtensions().size(), 0u);
}

TEST_F(GraphicsObjectTest, HitTestRejectsHiddenObjectsAndObjectsBehindTheRayStart) {
  CountingGraphics* g = graphics(object());
  g->getNode()->setPosition(vector3df(0, 0, 10));
  g->getNode()->updateAbsolutePosition();
  g->radius = 1.0f;
  struct Row {
    const char* what;
    line3df ray;
    bool hit;
    double distance;
  };
  const Row rows[] = {
      {"straight at it", line3df(0, 0, 0, 0, 0, 100), true, 9.0},
      {"away from it, outside", line3df(0, 0, 0, 0, 0, -100), false, 0.0},
      {"away from it, inside", line3df(0, 0, 10.5f, 0, 0, 100), true, -1.5},  // the far side behind
      {"passing beside it", line3df(5, 0, 0, 5, 0, 100), false, 0.0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    double best = 1000.0;
    double distance = 0.0;
    graphicsObject* hit = g->hitTest(row.ray, &best, &distance);
    EXPECT_EQ(hit, row.hit ? g : nullptr);
    if (row.hit) {
      EXPECT_NEAR(best, row.distance, 1e-4);
    }
  }
  double best = 5.0;  // a nearer hit is already known
  double distance = 0.0;
  EXPECT_EQ(g->hitTest(line3df(0, 0, 0, 0, 0, 100), &best, &distance), nullptr);
  best = 1000.0;
  g->setHidden(false, 1);
  EXPECT_EQ(g->hitTest(line3df(0, 0, 0, 0, 0, 100), &best, &distance), nullptr);
}

TEST_F(GraphicsObjectTest, HitTestTreePicksTheBestRatioAndNeverDividesItsWayToAHit) {
  solarSystem* star = system();
  CountingGraphics* root = group(star);  // at the ray start: `along` is 0
  root->radius = 1.0f;
  CountingGraphics* children[2];
  for (int i = 0; i < 2; ++i) {
    PlainObject* owner = object();
    owner->setContainer(star);
    children[i] = graphics(owner);
    children[i]->radius = 1.0f;
    children[i]->getNode()->setPosition(vector3df(0.5f, 0, 10.0f * (i + 1)));
    children[i]->getNode()->updateAbsolutePosition();
  }
  const line3df ray(0, 0, 0, 0, 0, 100);
  float best = 1e30f;
  EXPECT_EQ(root->hitTestTree(ray, 0.1f, &best), children[1]) << "0.5 / 2 beats 0.5 / 1";
  EXPECT_FLOAT_EQ(best, 0.25f);

  // `along` 0 (a spread of 0, or the centre at the ray start) never hits.
  best = 1e30f;
  EXPECT_EQ(root->hitTestTree(ray, 0.0f, &best), nullptr);
  best = std::numeric_limits<float>::infinity();
  EXPECT_EQ(root->hitTestTree(line3df(0, 0, 0, 0, 0, 0), 1.0f, &best), nullptr) << "a ray of no length";

  children[1]->setHidden(false, 1);
  best = 1e30f;
  EXPECT_EQ(root->hitTestTree(ray, 0.1f, &best), children[0]);
  root->setHidden(false, 1);
  best = 1e30f;
  EXPECT_EQ(root->hitTestTree(ray, 0.1f, &best), nullptr) << "a hidden subtree is not searched";
}

TEST_F(GraphicsObjectTest, SurfacePointsLieOnTheBoundingSphere) {
  CountingGraphics* g = graphics(object());
  g->getNode()->setPosition(vector3df(1, 2, 3));
  g->getNode()->setScale(vector3df(2, 2, 2));
  g->getNode()->updateAbsolutePosition();
  g->radius = 2.0f;
  EXPECT_EQ(g->surfacePoint(vector3df(1, 2, 3)), vector3df(1, 2, 3)) << "toward its own centre";
  EXPECT_EQ(g->surfacePoint(vector3df(1, 2, 13)), vector3df(1, 2, 5));
  EXPECT_EQ(g->surfacePointAlt(vector3df(11, 2, 3)), vector3df(3, 2, 3));
  // Local frame: (0, 0, 2) / 4 through the scale-2 block gives (0, 0, 1).
  EXPECT_TRUE(g->localSurfacePoint(vector3df(1, 2, 13)).equals(vector3df(0, 0, 1)));
  EXPECT_TRUE(g->localSurfacePointAlt(vector3df(1, 2, 13)).equals(vector3df(0, 0, 1)));
}

TEST_F(GraphicsObjectTest, ASettingsNodeGetsTheOwnersRenderStateOnlyWithShaders) {
  PlainObject* owner = object();
  for (bool shaders : {true, false}) {
    SCOPED_TRACE(shaders);
    shadersEnabled = shaders;
    auto* node = irr::scene::addSettingsEmptySceneNode(scene(), nullptr, -1);
    graphicsOn(owner, node);
    auto* access = dynamic_cast<CObjectRenderStateAccess*>(irr::scene::getNodeUserSettings(node));
    EXPECT_EQ(access != nullptr, shaders);
    if (access != nullptr) {
      EXPECT_EQ(access->owner, owner);
      EXPECT_EQ(access->getReferenceCount(), 1) << "the node holds the only reference";
    }
    // A stock engine node carries no settings: nothing attached, nothing leaked.
    EXPECT_EQ(irr::scene::getNodeUserSettings(graphics(owner)->getNode()), nullptr);
  }
}

}  // namespace
}  // namespace gfxobjtest
