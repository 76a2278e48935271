// The selection over real game objects: the rings the members show (size,
// colour, material, one per member, gone with the member) and the actions
// applied to every selected object (stop, colonise, defend, join a fleet),
// which touch only the player's objects.
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <vector>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "core/save_stream.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "gfx/select_ring.h"
#include "support/null_device.h"
#include "ui/selection.h"
#include "ui/selection_actions.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/universe_fixture.h"

namespace selected_objects_test {

namespace {

using irr::core::vector3df;

constexpr uint32_t kRed = 0xFFC01010;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// Writes down where it is sent.
class Unit : public TestObject {
 public:
  using TestObject::TestObject;
  using generic_object::setDestination;
  void setDestination(const vector3df& point) override { destinations.push_back(point); }
  std::vector<vector3df> destinations;
};

// An order queue that writes down each clear.
class RecordingQueue : public UnitAI {
 public:
  explicit RecordingQueue(generic_object* owner) : UnitAI(owner, false) {}
  void clearOrders(bool all) override {
    clears.push_back(all);
    UnitAI::clearOrders(all);
  }
  std::vector<bool> clears;
};

class SelectedObjectsTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    red->color = kRed;
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
    engine.driver = device_->getVideoDriver();
    ringMaterial_.Thickness = 3.0f;
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"selectRing").value = &ringMaterial_;
    activeEmpire = red;
    setSelection(nullptr);
  }
  void TearDown() override {
    setSelection(nullptr);
    shiftKeyDown = controlKeyDown = altKeyDown = false;
    activeEmpire = nullptr;
    for (graphicsObject* made : graphics_)
      made->drop();
    for (generic_object* object : objects_)
      object->destroyNow(false);
    gfxResources.materials.clear();
    engine = EngineGlobals{};
    device_->drop();
    UniverseTest::TearDown();
  }

  // An object of `owner`'s (may be null), with an order queue when asked.
  Unit* unit(empire* owner, bool withQueue = true, int type = OT_Hulled) {
    auto* object = new Unit(owner, type);
    if (withQueue) {
      auto* queue = new RecordingQueue(object);
      object->setAI(queue);
      queue->release();  // the object holds it
    }
    objects_.push_back(object);
    return object;
  }
  static RecordingQueue& queueOf(generic_object* object) { return *dynamic_cast<RecordingQueue*>(object->ai); }

  // `commander` leads a new fleet.
  static FleetAI* lead(generic_object* commander) {
    auto* fleet = new FleetAI(static_cast<UnitAI*>(commander->ai));
    commander->setAI(fleet);
    fleet->release();  // the commander holds it
    return fleet;
  }

  // A graphics object of `owner`, on a scene node of its own unless asked
  // otherwise; the fixture holds the creator's reference.
  graphicsObject* graphics(generic_object* owner, bool withNode = true) {
    irr::scene::ISceneNode* node = withNode ? engine.scene->addEmptySceneNode() : nullptr;
    auto* made = new graphicsObject(owner, node);
    graphics_.push_back(made);
    return made;
  }
  graphicsObject* select(generic_object* owner) {
    graphicsObject* made = graphics(owner);
    addToSelection(made);
    return made;
  }

  // The rings hung under the object's node.
  static std::vector<irr::scene::CSelectRing*> ringsOf(graphicsObject* object) {
    std::vector<irr::scene::CSelectRing*> rings;
    for (irr::scene::ISceneNode* child : object->getNode()->getChildren())
      if (auto* ring = dynamic_cast<irr::scene::CSelectRing*>(child))
        rings.push_back(ring);
    return rings;
  }

  static std::vector<int> typesOf(generic_object* object) {
    std::vector<int> types;
    for (uint32_t i = 0; i < object->ai->getOrderCount(); ++i)
      types.push_back(object->ai->getOrder(i)->getType());
    return types;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::video::SMaterial ringMaterial_;
  std::vector<generic_object*> objects_;
  std::vector<graphicsObject*> graphics_;
};

TEST_F(SelectedObjectsTest, RingsBySizeColourAndWayOfAdding) {
  const struct {
    const char* label;
    empire* owner;
    int type;
    bool valid;
    bool bySetSelection;  // else addToSelection
    bool ring;
    float size;
    uint32_t colour;
  } rows[] = {
      {"a ship of red's", red, OT_Hulled, true, true, true, 1.5f, kRed},
      {"a ship of red's, added", red, OT_Hulled, true, false, true, 1.5f, kRed},
      {"a star system of radius 40", red, OT_System, true, true, true, 60.0f, kRed},
      {"an unowned planet", nullptr, OT_Planet, true, true, true, 1.5f, kWhite},
      {"an invalid object, picked alone", red, OT_Hulled, false, true, false, 0, 0},
      {"an invalid object, added", red, OT_Hulled, false, false, true, 1.5f, kRed},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    Unit* object = unit(row.owner, false, row.type);
    object->radius = 40.0f;
    if (!row.valid)
      object->clearFlag(FLAG_VALID);
    graphicsObject* shown = graphics(object);
    if (row.bySetSelection) {
      setSelection(shown);
    } else {
      setSelection(nullptr);
      addToSelection(shown);
    }
    EXPECT_TRUE(shown->selected);
    EXPECT_EQ(getSingleSelectedObject(), shown);
    const auto rings = ringsOf(shown);
    ASSERT_EQ(rings.size(), row.ring ? 1u : 0u);
    if (row.ring) {
      EXPECT_FLOAT_EQ(rings[0]->getVertices()[3].Pos.X, row.size);
      EXPECT_EQ(rings[0]->getVertices()[0].Color.color, row.colour);
      EXPECT_FLOAT_EQ(rings[0]->getMaterial(0).Thickness, 3.0f);  // "selectRing"
    }
    // Added again, a member keeps the ring it has, or gets its first one.
    const uint32_t id = getSelectionId();
    addToSelection(shown);
    EXPECT_GT(getSelectionId(), id);
    const auto again = ringsOf(shown);
    ASSERT_EQ(again.size(), 1u);
    if (row.ring) {
      EXPECT_EQ(again[0], rings[0]);
    }
    // The ring leaves with the member.
    removeFromSelection(shown);
    EXPECT_TRUE(ringsOf(shown).empty());
    EXPECT_FALSE(shown->selected);
    object->setFlag(FLAG_VALID);
  }
  // Without a scene node a member shows no ring.
  graphicsObject* bare = graphics(unit(red, false), false);
  setSelection(bare);
  EXPECT_EQ(getSingleSelectedObject(), bare);
  setSelection(nullptr);
  EXPECT_FALSE(bare->selected);
}

TEST_F(SelectedObjectsTest, ClearingStopsThePlayersObjectsOnly) {
  for (const bool control : {false, true}) {
    SCOPED_TRACE(control ? "with Control" : "without Control");
    setSelection(nullptr);
    Unit* queued = unit(red);
    queued->position.set(3, 4, 5);
    queueOf(queued).appendOrder(new colonize_order());  // an automation order
    queueOf(queued).appendOrder(new move_order(vector3df(9, 0, 0), 1.0f));
    Unit* foreign = unit(blue);
    queueOf(foreign).appendOrder(new move_order(vector3df(9, 0, 0), 1.0f));
    Unit* bare = unit(red, false);
    bare->position.set(-1, 0, 2);
    for (generic_object* object : {queued, foreign, bare})
      select(object);

    controlKeyDown = control;
    clearSelectedOrders clear;
    forEachSelected(clear);
    controlKeyDown = false;

    EXPECT_EQ(queueOf(queued).clears, std::vector<bool>{control});
    EXPECT_EQ(typesOf(queued), control ? std::vector<int>{} : std::vector<int>{OrdT_Colonize});
    EXPECT_EQ(queued->destinations, std::vector<vector3df>{vector3df(3, 4, 5)});
    EXPECT_TRUE(queueOf(foreign).clears.empty());
    EXPECT_EQ(typesOf(foreign).size(), 1u);
    EXPECT_TRUE(foreign->destinations.empty());
    // Without an AI, still stopped where it stands.
    EXPECT_EQ(bare->destinations, std::vector<vector3df>{vector3df(-1, 0, 2)});
  }
}

TEST_F(SelectedObjectsTest, ColoniseAndDefendGoInFrontOfThePlayersQueues) {
  const struct {
    const char* label;
    SelectedObjectAction* (*make)();
    int type;
  } rows[] = {
      {"colonise", [] { return static_cast<SelectedObjectAction*>(new giveColonizeOrd); }, OrdT_Colonize},
      {"defend", [] { return static_cast<SelectedObjectAction*>(new giveDefendOrd); }, OrdT_Defend},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    setSelection(nullptr);
    Unit* mine = unit(red);
    queueOf(mine).appendOrder(new move_order(vector3df(9, 0, 0), 1.0f));
    Unit* foreign = unit(blue);
    Unit* bare = unit(red, false);
    for (generic_object* object : {mine, foreign, bare})
      select(object);
    SelectedObjectAction* action = row.make();
    forEachSelected(*action);
    delete action;
    EXPECT_EQ(typesOf(mine), (std::vector<int>{row.type, OrdT_Move}));
    EXPECT_TRUE(queueOf(mine).clears.empty());
    EXPECT_TRUE(typesOf(foreign).empty());
    EXPECT_EQ(bare->ai, nullptr);
  }
}

TEST_F(SelectedObjectsTest, JoiningAFleetMovesThePlayersShips) {
  for (const bool shift : {false, true}) {
    SCOPED_TRACE(shift ? "with Shift" : "without Shift");
    setSelection(nullptr);
    Unit* flagship = unit(red);
    FleetAI* target = lead(flagship);
    Unit* otherFlagship = unit(red);
    FleetAI* other = lead(otherFlagship);
    Unit* loose = unit(red);
    Unit* elsewhere = unit(red);
    other->addMember(elsewhere);
    Unit* foreign = unit(blue);
    Unit* bare = unit(red, false);
    for (generic_object* object : {static_cast<generic_object*>(flagship), static_cast<generic_object*>(otherFlagship),
                                   static_cast<generic_object*>(loose), static_cast<generic_object*>(elsewhere),
                                   static_cast<generic_object*>(foreign), static_cast<generic_object*>(bare)})
      select(object);

    shiftKeyDown = shift;
    {
      joinToFleet join(target);
      forEachSelected(join);
    }
    shiftKeyDown = false;

    EXPECT_EQ(queueOf(loose).fleet, target);
    EXPECT_EQ(queueOf(elsewhere).fleet, shift ? other : target);
    EXPECT_EQ(target->getMemberCount(), shift ? 1u : 2u);
    EXPECT_EQ(other->getMemberCount(), shift ? 1u : 0u);
    // The fleet itself and another fleet's commander lead on; another
    // empire's ship is not taken.
    EXPECT_EQ(flagship->ai, target);
    EXPECT_EQ(otherFlagship->ai, other);
    EXPECT_EQ(queueOf(foreign).fleet, nullptr);
  }
}

}  // namespace

}  // namespace selected_objects_test
