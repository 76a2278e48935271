// Game objects with graphics objects made by the test, on the null driver.
#pragma once

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "gfx/game_camera.h"
#include "gfx/graphic_extension.h"
#include "gfx/graphics_object.h"
#include "support/null_device.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"

namespace gfxobjtest {

// A plain game object of a chosen kind.
class PlainObject : public generic_object {
 public:
  explicit PlainObject(const wchar_t* objectName = L"", int type = OT_Generic)
      : generic_object(nullptr, nullptr, nullptr), type_(type) {
    name = objectName;
  }
  int getType() const override { return type_; }

 private:
  int type_;
};

// A graphics object that counts its updates and its deletion.
class CountingGraphics : public graphicsObject {
 public:
  CountingGraphics(generic_object* owner, irr::scene::ISceneNode* node, int* deleted = nullptr)
      : graphicsObject(owner, node), deleted_(deleted) {}
  bool update() override {
    ++updates;
    return graphicsObject::update();
  }
  int updates = 0;

 protected:
  ~CountingGraphics() override {
    if (deleted_ != nullptr)
      ++*deleted_;
  }

 private:
  int* deleted_;
};

// An extension that records what it is told.
class RecordingExtension : public graphicExtension {
 public:
  explicit RecordingExtension(int* deleted = nullptr) : deleted_(deleted) {}
  ~RecordingExtension() override {
    if (deleted_ != nullptr)
      ++*deleted_;
  }
  void update(graphicsObject&) override { ++updates; }
  void setVisible(bool shown) override { visible = shown; }
  bool visible = true;
  int updates = 0;

 private:
  int* deleted_;
};

class GraphicsObjectTest : public testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
    engine.driver = device_->getVideoDriver();
    savedShaders_ = shadersEnabled;
    gameCamera.lastPosition.set(0.0f, 0.0f, 0.0f);
  }
  void TearDown() override {
    // The test's objects go first: their graphics objects hold them.
    for (auto& made : made_)
      made->remove(false);
    made_.clear();
    renderGroupMap.clear();
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it)
      (*it)->destroyNow(true);
    objects_.clear();
    shadersEnabled = savedShaders_;
    debugInfo = false;
    gameCamera.lastPosition.set(1.0f, 1.0f, 1.0f);
    engine = EngineGlobals{};
    device_->drop();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
    clearObjectRegistry();
  }

  irr::scene::ISceneManager* scene() const { return device_->getSceneManager(); }

  // A game object that the fixture destroys at the end (the last made first).
  PlainObject* object(const wchar_t* name = L"", int type = OT_Generic) {
    auto* made = new PlainObject(name, type);
    objects_.push_back(made);
    return made;
  }

  // A star system that the fixture destroys at the end.
  solarSystem* system() {
    auto* made = new solarSystem();
    objects_.push_back(made);
    return made;
  }

  // A graphics object for `owner` with an empty node; the fixture holds a
  // reference and removes it at the end.
  CountingGraphics* graphics(generic_object* owner, int* deleted = nullptr) {
    return graphicsOn(owner, scene()->addEmptySceneNode(), deleted);
  }
  CountingGraphics* graphicsOn(generic_object* owner, irr::scene::ISceneNode* node, int* deleted = nullptr) {
    auto* made = new CountingGraphics(owner, node, deleted);
    made_.emplace_back(made);
    return made;
  }

  // A graphics object entered in renderGroupMap as `owner`'s render group.
  CountingGraphics* group(generic_object* owner) {
    CountingGraphics* made = graphics(owner);
    renderGroupMap[owner] = made;
    return made;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  bool savedShaders_ = false;
  std::vector<heldPointer<graphicsObject>> made_;
  std::vector<generic_object*> objects_;
};

}  // namespace gfxobjtest
