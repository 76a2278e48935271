// The strategic view over a small galaxy for the picking, box-selection and
// move-to-point tests: the session's scripts (set up by the test when it
// needs them), the interface harness with a hand-moved engine timer, a real
// camera on the null scene, the galaxy's render group as the view's group,
// and game objects with graphics objects made by the test (a server makes
// none).
#pragma once

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <memory>
#include <string>
#include <vector>

#include "gfx/game_camera.h"
#include "gfx/graphics_object.h"
#include "gfx/render_group.h"
#include "scriptapi/scripted_galaxy.h"
#include "support/interface_harness.h"
#include "support/manual_timer.h"
#include "ui/move_to_point.h"
#include "ui/object_picking.h"
#include "ui/selection.h"
#include "universe/objects/galaxy.h"
#include "universe/orders/unit_ai.h"

namespace viewpicking {

using irr::core::vector3df;

// A mover of the mobile kind that moves nothing.
class StillMover : public MoveHandler {
 public:
  int getKind() const override { return 2; }
  void tick(float, generic_object&) override {}
  void write(SaveStream&) override {}
};

// An object of a chosen kind that writes down where it is sent.
class Thing : public TestObject {
 public:
  using TestObject::TestObject;
  using generic_object::setDestination;
  void setDestination(const vector3df& point) override { destinations.push_back(point); }
  std::vector<vector3df> destinations;
};

class ViewPickingTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    ui = std::make_unique<InterfaceHarness>();
    ASSERT_NE(ui->device(), nullptr);
    engine.timer = &timer;
    galaxy->radius = 200000.0f;
    activeEmpire = red;
    camera = engine.scene->addCameraSceneNode(nullptr, vector3df(0, 40000, -30000), vector3df(0, 0, 0));
    camera->setFarValue(300000.0f);
    camera->setNearValue(10.0f);
    engine.scene->setActiveCamera(camera);
    galaxyGroup = createGalaxyRenderGroup(galaxy);
    galaxy->graphics = galaxyGroup;  // the creator's reference
    setCurrentViewGroup(galaxyGroup);
    system = new solarSystem();
    system->radius = 2000.0f;
    system->setContainer(galaxy);  // destroyed with the galaxy
    galaxy->objectTree.insert({system, system->radius, 0.0f, 0.0f, 0.0f});
    systemGroup = new renderGroup(system);
    systemGroup->setRadius(system->radius);
    system->graphics = systemGroup;  // the creator's reference: the system removes it
    aimCamera(vector3df(0, 40000, -30000), vector3df(0, 0, 0));
  }

  void TearDown() override {
    releasePickingState();
    releaseMoveToPoint();
    setSelection(nullptr);
    shiftKeyDown = controlKeyDown = altKeyDown = false;
    setCurrentViewGroup(nullptr);
    for (graphicsObject* made : made_)
      made->remove(false);
    made_.clear();
    destroyGalaxy();
    clearRenderGroups();
    activeEmpire = nullptr;
    gameCamera.lastPosition.set(1.0f, 1.0f, 1.0f);
    ui.reset();
    ScriptedGalaxyTest::TearDown();
  }

  // Places the camera (and the game camera's idea of it) and brings its
  // view up to date.
  void aimCamera(const vector3df& at, const vector3df& target) {
    camera->setPosition(at);
    camera->setTarget(target);
    camera->updateAbsolutePosition();
    gameCamera.lastPosition = at;
    engine.scene->drawAll();
  }

  // An object of `owner` of `type` in `where` (a system, or the galaxy for
  // open space) at `position` relative to it, with a graphics object whose
  // node stands there.
  Thing* thing(empire* owner, int type, generic_object* where, const vector3df& position, float radius = 50.0f) {
    auto* object = new Thing(owner, type);
    object->radius = radius;
    object->position = position;
    object->setContainer(where);  // destroyed with its container
    auto* graphics = new graphicsObject(object, engine.scene->addEmptySceneNode());
    graphics->radius = radius;
    object->graphics = graphics;
    graphics->grab();  // the object's reference
    made_.push_back(graphics);
    irr::scene::ISceneNode* node = graphics->getNode();
    node->updateAbsolutePosition();
    const vector3df parentAt = node->getParent() != nullptr ? node->getParent()->getAbsolutePosition() : vector3df();
    node->setPosition(object->getPosition() - parentAt);
    node->updateAbsolutePosition();
    return object;
  }

  // A ship of `owner` that can be ordered: a mobile mover and an order queue.
  Thing* ship(empire* owner, generic_object* where, const vector3df& position) {
    Thing* made = thing(owner, OT_Hulled, where, position);
    made->mover = new StillMover;
    auto* queue = new UnitAI(made, false);
    made->setAI(queue);
    queue->release();  // the ship holds it
    return made;
  }

  // Builds `code` as the client's "gui" module; false when it does not
  // build.
  static bool useGuiModule(const std::string& code) {
    AngelScript::asIScriptModule* module =
        clientScriptEngine->GetModule("gui", AngelScript::asGM_ALWAYS_CREATE);
    module->AddScriptSection("gui", code.c_str(), code.size());
    return module->Build() >= 0;
  }

  // The screen point where `at` shows.
  irr::core::position2di screenOf(const vector3df& at) const {
    return engine.scene->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(at, camera);
  }

  ManualTimer timer;
  std::unique_ptr<InterfaceHarness> ui;
  irr::scene::ICameraSceneNode* camera = nullptr;
  renderGroup* galaxyGroup = nullptr;
  solarSystem* system = nullptr;
  renderGroup* systemGroup = nullptr;

 private:
  std::vector<graphicsObject*> made_;
};

}  // namespace viewpicking
