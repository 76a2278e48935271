// What the simulation does to the graphics objects of its game objects:
// docking hides them and undocking shows them under the new container,
// destruction releases a ship's and removes a system's, and a fleet
// commander carries the fleet-leader icon. Without graphics objects (a
// server as shipped) the same paths run unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "gfx/fleet_icon.h"
#include "gfx/graphics_object.h"
#include "movement_fixture.h"
#include "support/null_device.h"
#include "universe/movement/mobile_mover.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/unit_ai.h"

namespace graphics_hooks_test {

namespace {

class GraphicsHooksTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
  }
  void TearDown() override {
    // The objects let go of their graphics first (a system's reference is
    // the one that remove gives up), then the graphics leave the scene.
    for (auto& mirror : held_) {
      generic_object* owner = mirror->getOwner();
      if (owner->graphics == mirror.get()) {
        owner->graphics = nullptr;
        if (owner->getType() != OT_System)
          mirror->drop();
      }
      mirror->remove(false);
    }
    held_.clear();
    renderGroupMap.clear();
    MadeObjectsTest::TearDown();
    engine = EngineGlobals{};
    device_->drop();
  }

  // A ship of red's with an order queue, in `place`.
  TestObject* makeShip(generic_object* place, float radius = 1.0f) {
    auto* ship = new TestObject(red, OT_Hulled);
    ship->radius = radius;
    ship->mover = new MobileMover();
    auto* queue = new UnitAI(ship, false);
    ship->setAI(queue);
    queue->release();
    ship->setContainer(place);
    made_.push_back(ship);
    return ship;
  }

  // Gives `object` a graphics object when `withGraphics`: the object holds
  // one reference, the test another. A system's is its render group.
  graphicsObject* mirror(generic_object* object, bool withGraphics) {
    if (!withGraphics)
      return nullptr;
    auto* made = new graphicsObject(object, engine.scene->addEmptySceneNode());
    held_.emplace_back(made);
    if (object->getType() == OT_System) {
      renderGroupMap[object] = made;  // the creator's reference is the system's
    } else {
      made->grab();  // the object's
    }
    object->graphics = made;
    return made;
  }

  // Destroyed by the test itself.
  void forget(generic_object* object) { made_.erase(std::find(made_.begin(), made_.end(), object)); }

  static unsigned icons(const graphicsObject* mirror) {
    unsigned count = 0;
    for (irr::u32 i = 0; i < mirror->getExtensions().size(); ++i)
      count += dynamic_cast<fleet_icon*>(mirror->getExtensions()[i]) != nullptr ? 1 : 0;
    return count;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  std::vector<heldPointer<graphicsObject>> held_;
};

TEST_F(GraphicsHooksTest, DockingHidesAndUndockingShowsUnderTheNewContainer) {
  for (bool withGraphics : {true, false}) {
    SCOPED_TRACE(withGraphics);
    solarSystem* from = makeSystem();
    solarSystem* to = makeSystem(vector3df(500, 0, 0));
    graphicsObject* fromGroup = mirror(from, withGraphics);
    graphicsObject* toGroup = mirror(to, withGraphics);
    TestObject* host = makeShip(from, 3.0f);
    host->dockSpace = 100.0f;
    TestObject* guest = makeShip(from);
    graphicsObject* guestGraphics = mirror(guest, withGraphics);
    if (withGraphics) {
      ASSERT_EQ(guestGraphics->getParent(), fromGroup);
    }

    ASSERT_TRUE(host->dockObject(guest));
    if (withGraphics) {
      EXPECT_FALSE(guestGraphics->getNode()->isVisible());
      guestGraphics->update();  // a docked object stays hidden however near
      EXPECT_FALSE(guestGraphics->getNode()->isVisible());
    }
    host->setContainer(to);
    host->undockObject(0);
    EXPECT_EQ(guest->container.load(), to);
    if (withGraphics) {
      EXPECT_TRUE(guestGraphics->getNode()->isVisible());
      EXPECT_EQ(guestGraphics->getHideMask(), 0);
      EXPECT_EQ(guestGraphics->getParent(), toGroup);
      EXPECT_EQ(guestGraphics->getNode()->getParent(), toGroup->getNode());
      EXPECT_EQ(fromGroup->getChildren().size(), 0u);
    }
  }
}

TEST_F(GraphicsHooksTest, DestructionReleasesAShipsGraphicsAndRemovesASystems) {
  for (bool withGraphics : {true, false}) {
    SCOPED_TRACE(withGraphics);
    solarSystem* system = makeSystem();
    graphicsObject* group = mirror(system, withGraphics);
    TestObject* ship = makeShip(system);
    graphicsObject* shipGraphics = mirror(ship, withGraphics);
    const int32_t before = withGraphics ? shipGraphics->refCount.load() : 0;

    const heldPointer<generic_object> keepShip(ship);
    const heldPointer<generic_object> keepSystem(system);
    forget(ship);
    forget(system);
    ship->destroyNow(false);
    EXPECT_EQ(ship->graphics, nullptr);
    if (withGraphics) {
      EXPECT_EQ(shipGraphics->refCount.load(), before - 1) << "the ship's own reference";
      EXPECT_TRUE(shipGraphics->attached.load()) << "removed by its next update, not here";
      group->update();
      EXPECT_FALSE(shipGraphics->attached.load());
    }

    system->destroyNow(false);
    EXPECT_EQ(system->graphics, nullptr);
    if (withGraphics) {
      EXPECT_FALSE(group->attached.load());
      EXPECT_EQ(group->refCount.load(), 1) << "only the test's reference is left";
    }
  }
}

TEST_F(GraphicsHooksTest, AFleetCommanderCarriesTheFleetIcon) {
  solarSystem* system = makeSystem();
  for (bool withGraphics : {true, false}) {
    SCOPED_TRACE(withGraphics);
    TestObject* ship = makeShip(system);
    graphicsObject* shipGraphics = mirror(ship, withGraphics);
    auto* fleet = new FleetAI(static_cast<UnitAI*>(ship->ai));
    ship->setAI(fleet);
    ship->setFlag(FLAG_IN_FLEET);
    red->addFleet(fleet);
    fleet->release();
    if (withGraphics) {
      EXPECT_EQ(icons(shipGraphics), 1u);
    }
    ship->setAI(nullptr);  // the command goes
    if (withGraphics) {
      EXPECT_EQ(icons(shipGraphics), 0u);
      EXPECT_EQ(shipGraphics->getExtensions().size(), 0u);
    }
  }
}

}  // namespace
}  // namespace graphics_hooks_test
