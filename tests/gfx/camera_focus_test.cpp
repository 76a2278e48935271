// The game camera following graphics objects: the focus reference, the zoom
// around a focus, the Object modes, a focus that leaves the scene between
// frame steps, and the focus in the camera's saved record.
#include <gtest/gtest.h>

#include "gfx/game_camera.h"
#include "gfx/graphics_object_fixture.h"
#include "support/save_bytes.h"

namespace camera_focus_test {

namespace {

using irr::core::vector3df;

void expectNear(const vector3df& actual, const vector3df& expected, float tolerance = 1e-3f) {
  EXPECT_NEAR(actual.X, expected.X, tolerance);
  EXPECT_NEAR(actual.Y, expected.Y, tolerance);
  EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

class CameraFocusTest : public gfxobjtest::GraphicsObjectTest {
 protected:
  void TearDown() override {
    camera.attachNode(nullptr);  // gives the focus back
    gfxobjtest::GraphicsObjectTest::TearDown();
  }

  // A scene camera at `position` looking at `target`, bound to the camera.
  void attach(const vector3df& position, const vector3df& target) {
    irr::scene::ICameraSceneNode* node = scene()->addCameraSceneNode(nullptr, position, target);
    node->updateAbsolutePosition();
    camera.attachNode(node);
    place(position, target);
  }

  void place(const vector3df& position, const vector3df& target) {
    camera.node->setPosition(position);
    camera.node->setTarget(target);
    camera.node->updateAbsolutePosition();
  }

  // A graphics object of radius `radius` whose node stands at `position`.
  graphicsObject* shown(const vector3df& position, float radius) {
    graphicsObject* made = graphics(object());
    made->getNode()->setPosition(position);
    made->getNode()->updateAbsolutePosition();
    made->radius = radius;
    return made;
  }

  GameCamera camera;
};

TEST_F(CameraFocusTest, TheFocusHoldsOneReferenceAndTurnsTheViewOntoItsDistance) {
  attach(vector3df(0, 0, 0), vector3df(0, 0, 10));
  graphicsObject* planet = shown(vector3df(30, 0, 40), 10.0f);
  const int32_t held = planet->refCount.load();

  camera.zoomDistance = 1000.0f;
  camera.targetOffset.set(1, 2, 3);
  camera.setFocus(planet, false);  // 1000 is beyond 2.5 radii: kept
  EXPECT_EQ(camera.focus, planet);
  EXPECT_EQ(planet->refCount.load(), held + 1);
  EXPECT_EQ(camera.zoomDistance, 1000.0f);
  EXPECT_EQ(camera.focusAnchor, vector3df(30, 0, 40));
  EXPECT_EQ(camera.targetOffset, vector3df(0, 0, 0));
  // Same direction, the object's distance (50).
  expectNear(camera.node->getTarget(), vector3df(0, 0, 50));

  camera.zoomDistance = 5.0f;
  camera.setFocus(planet, false);  // raised to 2.5 radii
  EXPECT_EQ(camera.zoomDistance, 25.0f);
  EXPECT_EQ(planet->refCount.load(), held + 1) << "focusing it again takes no second reference";
  camera.setFocus(planet, true);
  EXPECT_EQ(camera.zoomDistance, 50.0f);

  // Another object: the first one's reference goes back.
  graphicsObject* moon = shown(vector3df(0, 5, 0), 1.0f);
  camera.setFocus(moon, true);
  EXPECT_EQ(planet->refCount.load(), held);
  EXPECT_EQ(moon->refCount.load(), held + 1);
  camera.setFocus(moon, true);
  camera.clearFocus();
  EXPECT_EQ(camera.focus, nullptr);
  EXPECT_EQ(moon->refCount.load(), held);
  EXPECT_EQ(camera.focusAnchor, vector3df(0, 0, 0));
  EXPECT_EQ(camera.targetOffset, camera.node->getTarget());
  camera.clearFocus();  // nothing to give back
  EXPECT_EQ(moon->refCount.load(), held);

  // The camera's reference alone keeps a focus alive that left the scene.
  int deleted = 0;
  graphicsObject* gone = graphics(object(), &deleted);
  camera.setFocus(gone, true);
  made_.pop_back();
  gone->remove(false);
  EXPECT_EQ(deleted, 0);
  camera.setFocus(nullptr, true);
  EXPECT_EQ(deleted, 1);
}

TEST_F(CameraFocusTest, ZoomAroundAFocusAndEveryMoveLetsItGo) {
  attach(vector3df(0, 0, 0), vector3df(0, 0, 10));
  graphicsObject* planet = shown(vector3df(0, 0, 100), 10.0f);
  const int32_t held = planet->refCount.load();
  camera.setFocus(planet, true);
  for (float steps : {1.0f, 5.0f, 100.0f, 1e9f}) {
    camera.zoomDistance = 50.0f;
    camera.zoom(steps);
    EXPECT_GE(camera.zoomDistance, 15.0f) << steps;
  }
  EXPECT_EQ(camera.zoomDistance, 15.0f);
  camera.zoom(-1e9f);
  EXPECT_EQ(camera.zoomDistance, 3000000.0f);
  EXPECT_EQ(camera.focus, planet) << "a plain zoom keeps the focus";

  // A ray zoom that would end below 2.5: only the focus goes.
  camera.zoomDistance = 3.0f;
  const vector3df target = camera.node->getTarget();
  camera.zoomAlongRay(1.0f, irr::core::line3df(vector3df(0, 0, 0), vector3df(1, 0, 0)));
  EXPECT_EQ(camera.focus, nullptr);
  EXPECT_EQ(planet->refCount.load(), held);
  EXPECT_EQ(camera.zoomDistance, 3.0f);
  EXPECT_EQ(camera.targetOffset, target);

  using Operation = void (*)(GameCamera&);
  const Operation letGo[] = {
      [](GameCamera& c) { c.zoomTowardPoint(1.0f, 0.0f, vector3df(1, 1, 1)); },
      [](GameCamera& c) { c.moveForward(1.0f); },
      [](GameCamera& c) { c.moveInViewPlane(1.0f, 0.0f); },
      [](GameCamera& c) { c.attachNode(c.node); },
  };
  for (Operation operation : letGo) {
    camera.setFocus(planet, true);
    operation(camera);
    EXPECT_EQ(camera.focus, nullptr);
    EXPECT_EQ(planet->refCount.load(), held);
  }
}

TEST_F(CameraFocusTest, ObjectModesStandAndLookByTheFocus) {
  attach(vector3df(0, 0, 0), vector3df(0, 0, 10));
  graphicsObject* ship = shown(vector3df(100, 0, 0), 1.0f);
  ship->getNode()->setRotation(vector3df(0, 90, 0));
  camera.setFocus(ship, true);
  camera.objectOffset.set(0, 0, 10);

  camera.positionMode = CM_Object;
  camera.targetMode = CM_Object;
  camera.update(0.01f);
  EXPECT_EQ(camera.node->getTarget(), vector3df(100, 0, 0));
  EXPECT_EQ(camera.node->getAbsolutePosition(), vector3df(100, 0, 10));
  EXPECT_EQ(camera.lastPosition, vector3df(100, 0, 10));

  // Turned with the object: a quarter turn about Y takes -Z to -X, +Z to +X.
  camera.positionMode = CM_ObjectForward;
  camera.targetMode = CM_ObjectForward;
  camera.update(0.01f);
  expectNear(camera.node->getTarget(), vector3df(99, 0, 0));
  expectNear(camera.node->getAbsolutePosition(), vector3df(110, 0, 0));

  // Normal: the target follows the object, the anchor is where it was.
  camera.positionMode = CM_Normal;
  camera.targetMode = CM_Normal;
  camera.update(0.01f);
  EXPECT_EQ(camera.focusAnchor, vector3df(100, 0, 0));
  ship->getNode()->setPosition(vector3df(100, 0, 50));
  ship->getNode()->updateAbsolutePosition();
  const vector3df before = camera.node->getTarget();
  camera.update(0.01f);
  // The target moves with the object, then a share toward the anchor.
  const float t = 1.0f - std::pow(0.0004f, 0.01f);
  expectNear(camera.node->getTarget(), vector3df(100, 0, 50) + (before - vector3df(100, 0, 0)) * (1.0f - t));
  EXPECT_EQ(camera.focusAnchor, vector3df(100, 0, 50));
  EXPECT_EQ(camera.focus, ship);
}

// A focus whose graphics object left the scene between two steps: the
// first of the target and position steps that meets it lets it go; an
// Object or ObjectForward mode of that step becomes Normal.
TEST_F(CameraFocusTest, AFocusThatLeftTheSceneIsLetGoByTheFirstStepThatMeetsIt) {
  const struct {
    int32_t targetMode;
    int32_t positionMode;
    int32_t targetAfter;
    int32_t positionAfter;
  } cases[] = {
      {CM_Normal, CM_Normal, CM_Normal, CM_Normal},
      {CM_Object, CM_Normal, CM_Normal, CM_Normal},
      {CM_ObjectForward, CM_Normal, CM_Normal, CM_Normal},
      {CM_Normal, CM_Object, CM_Normal, CM_Object},
      {CM_Object, CM_Object, CM_Normal, CM_Object},
      {CM_ObjectForward, CM_ObjectForward, CM_Normal, CM_ObjectForward},
      {CM_Static, CM_Object, CM_Static, CM_Normal},
      {CM_Static, CM_ObjectForward, CM_Static, CM_Normal},
  };
  attach(vector3df(0, 0, 0), vector3df(0, 0, 10));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.targetMode << " " << c.positionMode);
    int deleted = 0;
    graphicsObject* ship = graphics(object(), &deleted);
    ship->getNode()->setPosition(vector3df(40, 0, 0));
    ship->getNode()->updateAbsolutePosition();
    camera.targetMode = CM_Normal;
    camera.positionMode = CM_Normal;
    camera.setFocus(ship, true);
    camera.update(0.01f);
    camera.targetMode = c.targetMode;
    camera.positionMode = c.positionMode;
    place(vector3df(-20, 0, 0), vector3df(5, 6, 7));

    made_.pop_back();
    ship->remove(false);
    camera.update(0.01f);
    EXPECT_EQ(camera.focus, nullptr);
    EXPECT_EQ(deleted, 1) << "the camera gave its reference back";
    EXPECT_EQ(camera.targetMode, c.targetAfter);
    EXPECT_EQ(camera.positionMode, c.positionAfter);
    expectNear(camera.node->getTarget(), vector3df(5, 6, 7));
    if (c.positionMode != CM_Normal) {
      EXPECT_EQ(camera.node->getAbsolutePosition(), vector3df(-20, 0, 0));
    }
  }
}

TEST_F(CameraFocusTest, TheSavedRecordNamesTheFocusAndLoadingFocusesItClose) {
  attach(vector3df(0, 0, 0), vector3df(0, 0, 10));
  gfxobjtest::PlainObject* planet = object(L"Planet");
  graphicsObject* planetGraphics = graphics(planet);
  planetGraphics->radius = 10.0f;
  planet->graphics = planetGraphics;
  camera.setFocus(planetGraphics, false);
  camera.zoomDistance = 777.0f;

  auto stream = SaveStream::createInMemory();
  camera.save(*stream);
  const Bytes body = writtenBody(*stream);
  ASSERT_EQ(body.size(), GameCamera::kRecordSize);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(body[84 + i], static_cast<uint8_t>(planet->uid >> (8 * i)));

  // Read back: the planet is focused close, not at the saved zoom.
  GameCamera loaded;
  loaded.node = camera.node;
  const Bytes file = withHeader(body);
  auto reader = readerOver(file);
  loaded.load(*reader);
  EXPECT_EQ(loaded.focus, planetGraphics);
  EXPECT_EQ(loaded.zoomDistance, 50.0f);
  loaded.clearFocus();
  loaded.node = nullptr;

  // A record cut short, or holding a NaN, changes nothing of the camera.
  Bytes withNan = body;
  withNan[76] = 0x00;
  withNan[77] = 0x00;
  withNan[78] = 0xC0;
  withNan[79] = 0x7F;
  const Bytes cut(body.begin(), body.end() - 1);
  const struct {
    const Bytes* record;
    SaveFileError error;
  } damaged[] = {{&cut, kSaveErrorEOF}, {&withNan, kSaveErrorBadCamera}};
  for (const auto& d : damaged) {
    const Bytes damagedFile = withHeader(*d.record);
    auto damagedReader = readerOver(damagedFile);
    EXPECT_EQ(saveErrorOf([&] { camera.load(*damagedReader); }), d.error);
    EXPECT_EQ(camera.focus, planetGraphics);
    EXPECT_EQ(camera.zoomDistance, 777.0f);
  }
  planet->graphics = nullptr;
}

}  // namespace

}  // namespace camera_focus_test
