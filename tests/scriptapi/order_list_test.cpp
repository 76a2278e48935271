// Orders in scripts: OrderList's preparation, queue reads and give natives
// with the queue placement each makes, the standing orders of a layout, the
// fleet natives, the system lock a prepared list holds; one order given to
// the selection (giveOrderToSelection) and the console's give_order.
#include "scriptapi/order_list.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/base/startup.h"
#include "app/console_commands.h"
#include "core/common_strings.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "script/script_engine.h"
#include "scripted_galaxy.h"
#include "scriptapi/order_selection.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "ui/selection.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/repeat_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace order_list_test {

using namespace AngelScript;
using irr::core::stringw;

namespace {

const stringw kOre = L"Ore";

UnitAI& queueOf(generic_object* object) { return *dynamic_cast<UnitAI*>(object->ai); }

std::vector<int> typesOf(generic_object* object) {
  std::vector<int> types;
  const ObjectAI* ai = object->ai;
  for (uint32_t i = 0; i < ai->getOrderCount(); ++i)
    types.push_back(ai->getOrder(i)->getType());
  return types;
}

// An AI without a queue of its own: its object cannot lead a fleet.
class QueuelessAI : public ObjectAI {
 public:
  void addOrder(Order* order, bool) override { delete order; }
  void insertBeforeAutomation(Order* order) override { delete order; }
  void appendOrder(Order* order) override { delete order; }
  void clearOrders(bool) override {}
  bool hasOrderOfType(int) const override { return false; }
  bool hasOrder(const Order*) const override { return false; }
  void removeOrder(Order*) override {}
  uint32_t getOrderCount() const override { return 0; }
  Order* getOrder(uint32_t) const override { return nullptr; }
  void tick() override {}
  float getTargetWeight(generic_object*) override { return 1.0f; }
  bool orbitTargets(generic_object*) override { return false; }
};

// A graphics object made by the test, for the selection.
class TestGraphics : public graphicsObject {
 public:
  using graphicsObject::graphicsObject;
};

class OrderListTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    systems_ = addSystems(2);
    system_ = systems_[0];
    system_->radius = 200.0f;
    activeEmpire = red;
    shiftKeyDown = false;
  }
  void TearDown() override {
    setSelection(nullptr);
    repeatRecording = nullptr;
    shiftKeyDown = false;
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
  }

  objHulled* ship(empire* owner, hull_list* layout = nullptr, solarSystem* where = nullptr) {
    auto* made = new objHulled(owner, layout, nullptr);
    made->radius = 3.0f;
    made->setContainer(where != nullptr ? where : system_);
    return made;
  }

  static asIScriptModule* build(const std::string& code) {
    LogCapture log;
    asIScriptModule* module = serverScriptEngine->GetModule("test", asGM_ALWAYS_CREATE);
    module->AddScriptSection("test", code.c_str(), code.size());
    EXPECT_GE(module->Build(), 0) << log.take();
    return module;
  }

  // Runs `function(Object@, Object@)` with the objects (each handle given
  // its own reference): the exception text, or "" when it finished.
  static std::string run(asIScriptModule* module, const char* function, generic_object* a,
                         generic_object* b = nullptr) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByName(function));
    for (asUINT i = 0; i < context->GetFunction()->GetParamCount() && i < 2; ++i) {
      generic_object* object = i == 0 ? a : b;
      context->SetArgObject(i, object);
    }
    const int result = context->Execute();
    std::string outcome;
    if (result == asEXECUTION_EXCEPTION)
      outcome = context->GetExceptionString();
    else if (result != asEXECUTION_FINISHED)
      outcome = "result " + std::to_string(result);
    context->Release();
    return outcome;
  }

  std::vector<galaxytest::CountingSystem*> systems_;
  solarSystem* system_ = nullptr;
};

TEST_F(OrderListTest, PreparingByTable) {
  asIScriptModule* module = build(R"(
bool ok;
void newCount(Object@ o, Object@ p) { OrderList l; l.getOrderCount(); }
void newOrder(Object@ o, Object@ p) { OrderList l; l.getOrder(0); }
void prepareNull(Object@ o, Object@ p) { OrderList l; ok = l.prepare(null); }
void withoutAI(Object@ o, Object@ p) { OrderList l; ok = l.prepare(o); l.getOrderCount(); }
void twice(Object@ o, Object@ p) { OrderList l; ok = l.prepare(o) && l.prepare(o); }
void nullAttack(Object@ o, Object@ p) { OrderList l; l.giveAttackOrder(null, false); }
void pastEnd(Object@ o, Object@ p) { OrderList l; l.prepare(o); l.getOrder(l.getOrderCount()); }
)");
  generic_object* plain = new TestObject(red);
  plain->setContainer(system_);
  objHulled* unit = ship(red);
  const int unitRefs = unit->refCount.load();
  const struct {
    const char* function;
    generic_object* object;
    const char* exception;
    bool ok;
  } cases[] = {
      {"newCount", nullptr, "OrderList needs to be prepare()d with a valid object first", false},
      {"newOrder", nullptr, "OrderList needs to be prepare()d with an object first", false},
      {"prepareNull", nullptr, "", false},
      {"withoutAI", plain, "OrderList needs to be prepare()d with a valid object first", false},
      {"twice", unit, "", true},
      {"nullAttack", nullptr, "Null Object@ when giving attack order", false},
      {"pastEnd", unit, "Out-of-bounds index when accessing order list", false},
  };
  bool& ok = *static_cast<bool*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("ok")));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    ok = !c.ok;
    EXPECT_EQ(run(module, c.function, c.object), c.exception);
    if (c.exception[0] == '\0') {
      EXPECT_EQ(ok, c.ok);
    }
    // Every reference the list took is given back with it.
    EXPECT_EQ(unit->refCount.load(), unitRefs);
    EXPECT_TRUE(unit->ai->getOrderCount() == 0);
    EXPECT_EQ(heldSolarSystem(), nullptr);
  }
}

TEST_F(OrderListTest, GotoStopDistances) {
  asIScriptModule* module = build(R"(
void standard(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.giveGotoOrder(t, false); }
void fifty(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.giveGotoOrder(t, false, 50); }
)");
  objHulled* unit = ship(red);
  objHulled* other = ship(blue);
  other->radius = 7.0f;
  const struct {
    const char* function;
    generic_object* target;
    float distance;
  } cases[] = {
      {"standard", system_, 180.0f},  // 0.9 x 200
      {"standard", other, 7.0f},
      {"fifty", other, 50.0f},
      {"fifty", system_, 50.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " " + std::to_string(c.distance));
    ASSERT_EQ(run(module, c.function, unit, c.target), "");
    ASSERT_EQ(unit->ai->getOrderCount(), 1u);
    auto* order = dynamic_cast<goto_order*>(unit->ai->getOrder(0));
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->target, c.target);
    EXPECT_FLOAT_EQ(order->distance, c.distance);
  }
}

TEST_F(OrderListTest, QueuePlacementByTable) {
  asIScriptModule* module = build(R"(
void moveFront(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.giveMoveOrder(vector(1, 2, 3), false); }
void moveBack(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.giveMoveOrder(vector(1, 2, 3), true); }
void collect(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.giveOrder("Collect", "Ore", null, false); }
void nothing(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.giveOrder("Nothing", null, null, false); }
void dropFront(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.clearOrder(); }
void dropPlain(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.clearOrders(false); }
bool readOk;
void readBack(Object@ o, Object@ t) {
  OrderList l; l.prepare(o);
  readOk = l.getOrderCount() == 2 && l.getOrder(0).getType() == OrdT_Collect && l.getOrder(0).isAutomation()
      && !l.getOrder(1).isAutomation() && l.getOrder(1).getName() == "Moving";
}
)");
  const vector3df far(500, 0, 0);
  auto move = [&] { return new move_order(far, 1.0f); };
  auto standing = [] { return createAutomationOrder(L"Collect", &kOre, nullptr); };
  const struct {
    const char* function;
    int queued;  // move orders queued first
    bool standingFirst;
    std::vector<int> after;
  } cases[] = {
      {"moveFront", 3, false, {OrdT_Move}},
      {"moveBack", 3, false, {OrdT_Move, OrdT_Move, OrdT_Move, OrdT_Move}},
      {"moveFront", 1, true, {OrdT_Move, OrdT_Collect}},  // the standing order stays behind
      {"collect", 1, false, {OrdT_Collect, OrdT_Move}},
      {"nothing", 1, false, {OrdT_Move}},
      {"dropPlain", 2, true, {OrdT_Collect}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    objHulled* unit = ship(red);
    if (c.standingFirst)
      queueOf(unit).appendOrder(standing());
    for (int i = 0; i < c.queued; ++i)
      queueOf(unit).appendOrder(move());
    ASSERT_EQ(run(module, c.function, unit), "");
    EXPECT_EQ(typesOf(unit), c.after);
    if (std::string(c.function) == "moveBack") {
      EXPECT_EQ(queueOf(unit).orders.back()->getDestination(), vector3df(1, 2, 3));
    }
  }
  // The front order of goto, move is the goto: clearOrder removes it.
  objHulled* unit = ship(red);
  queueOf(unit).appendOrder(new goto_order(system_, true, 1.0f));
  queueOf(unit).appendOrder(move());
  ASSERT_EQ(run(module, "dropFront", unit), "");
  EXPECT_EQ(typesOf(unit), std::vector<int>{OrdT_Move});
  // The order handles read back what the give natives queued.
  queueOf(unit).addOrder(standing(), false);
  EXPECT_EQ(run(module, "readBack", unit), "");
}

TEST_F(OrderListTest, RefreshAutomationPutsTheLayoutsStandingOrdersFirst) {
  auto* layout = new hull_list(stringw(L"Hauler"), red);
  NamedVar<hull_list*>::getOrAdd(red->hulls, layout->name).value = layout;
  const stringw* collect = internCommonString(L"Collect");
  const stringw* defend = internCommonString(L"Defend");
  layout->orders.push_back({defend, nullptr, nullptr});
  layout->orders.push_back({collect, internCommonString(L"Ore"), nullptr});
  layout->orders.push_back({nullptr, nullptr, nullptr});  // a blank entry gives nothing
  objHulled* unit = ship(red, layout);
  queueOf(unit).appendOrder(new move_order(vector3df(9, 0, 0), 1.0f));
  asIScriptModule* module = build(R"(
void refresh(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.refreshAutomation(); }
)");
  ASSERT_EQ(run(module, "refresh", unit), "");
  EXPECT_EQ(typesOf(unit), (std::vector<int>{OrdT_Defend, OrdT_Collect, OrdT_Move}));
}

TEST_F(OrderListTest, FleetsThroughTheList) {
  asIScriptModule* module = build(R"(
uint size;
string name;
bool joined;
bool commands;
void make(Object@ o, Object@ t) {
  OrderList l; l.prepare(o); l.makeFleet(); size = l.getFleetSize(); name = l.getFleetName();
  commands = l.isFleetCommander() && l.isInFleet();
}
void join(Object@ o, Object@ t) { OrderList l; l.prepare(o); joined = l.joinFleet(t); }
void joinNull(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.joinFleet(null); }
void leave(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.leaveFleet(); }
void makeOnly(Object@ o, Object@ t) { OrderList l; l.prepare(o); l.makeFleet(); }
void forfeit(Object@ o, Object@ t) {
  OrderList l; l.prepare(o); l.forfeitFleetCommand();
  commands = l.isFleetCommander() || l.isInFleet() || l.getFleetSize() != 0 || l.getFleetName() !is null;
}
)");
  auto global = [&](const char* name) {
    return module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName(name));
  };
  uint32_t& size = *static_cast<uint32_t*>(global("size"));
  bool& joined = *static_cast<bool*>(global("joined"));
  bool& commands = *static_cast<bool*>(global("commands"));
  objHulled* lead = ship(red);
  objHulled* member = ship(red);
  objHulled* loner = ship(red);

  ASSERT_EQ(run(module, "make", lead), "");
  auto* fleet = dynamic_cast<FleetAI*>(lead->ai);
  ASSERT_NE(fleet, nullptr);
  EXPECT_EQ(size, 1u);
  EXPECT_TRUE(commands);
  EXPECT_EQ(irr::core::stringc(static_cast<ScriptString*>(global("name"))->toStringw()).c_str(),
            std::string(irr::core::stringc(fleet->getName()).c_str()));
  // A commander stays the commander of the same fleet.
  ASSERT_EQ(run(module, "make", lead), "");
  EXPECT_EQ(lead->ai, fleet);

  // Joining a fleet; joining an object that commands none is refused.
  ASSERT_EQ(run(module, "join", member, lead), "");
  EXPECT_TRUE(joined);
  EXPECT_EQ(fleet->getMemberCount(), 1u);
  ASSERT_EQ(run(module, "join", member, loner), "");
  EXPECT_FALSE(joined);
  EXPECT_EQ(run(module, "joinNull", member), "Null Object@ when adding to a fleet");

  // A member that makes a fleet of its own leaves the first one.
  ASSERT_EQ(run(module, "make", member), "");
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(fleet->getMemberCount(), 0u);
  EXPECT_NE(member->ai, fleet);

  // Leaving and giving up command.
  ASSERT_EQ(run(module, "join", loner, lead), "");
  ASSERT_EQ(run(module, "leave", loner), "");
  EXPECT_EQ(fleet->getMemberCount(), 0u);
  EXPECT_EQ(run(module, "forfeit", member), "");
  EXPECT_FALSE(commands);
  EXPECT_NE(dynamic_cast<UnitAI*>(member->ai), nullptr);

  // Only an object with a unit's queue may lead a fleet.
  generic_object* station = new TestObject(red);
  station->setContainer(system_);
  auto* ai = new QueuelessAI;
  station->setAI(ai);
  ai->release();
  EXPECT_EQ(run(module, "makeOnly", station), "Object may not be a fleet commander");
  EXPECT_EQ(station->ai, ai);
}

// Whether another thread could take `system`'s lock at this moment.
bool lockableElsewhere(solarSystem* system) {
  bool taken = false;
  std::thread probe([&] {
    initThreadLocals();
    taken = tryLockSolarSystem(system);
    if (taken)
      unlockSolarSystem(system);
    freeThreadLocals();
  });
  probe.join();
  return taken;
}

TEST_F(OrderListTest, APreparedListHoldsItsObjectsSystem) {
  solarSystem* x = systems_[0];
  solarSystem* y = systems_[1];
  objHulled* unit = ship(red, nullptr, x);
  objHulled* traveller = ship(red, nullptr, x);
  {
    ordernatives::OrderList list;
    unit->grab();
    ASSERT_TRUE(list.prepare(unit));
    EXPECT_FALSE(lockableElsewhere(x));
    EXPECT_TRUE(lockableElsewhere(y));
    // Another ship moves on to Y before the list is prepared with it.
    traveller->setContainer(y);
    traveller->grab();
    ASSERT_TRUE(list.prepare(traveller));
    EXPECT_EQ(list.system(), y);
    EXPECT_TRUE(lockableElsewhere(x));
    EXPECT_FALSE(lockableElsewhere(y));
  }
  EXPECT_TRUE(lockableElsewhere(y));
  EXPECT_EQ(heldSolarSystem(), nullptr);
}

TEST_F(OrderListTest, OneOrderToTheSelectionByTable) {
  const vector3df point(40, 0, 0);
  auto standing = [] { return createAutomationOrder(L"Collect", &kOre, nullptr); };
  struct Selected {
    empire* owner;
    bool hasAI;
  };
  const struct {
    const char* label;
    std::vector<Selected> selected;
    bool shift;
    bool recording;
    bool standingTemplate;
    // Per selected object: its queue afterwards (it starts with a goto and
    // a standing collect order behind it).
    std::vector<std::vector<int>> after;
    size_t recorded;
  } cases[] = {
      {"one of another empire", {{blue, true}}, false, false, false, {{OrdT_Move, OrdT_Collect}}, 0},
      {"own and foreign",
       {{blue, true}, {red, true}},
       false,
       false,
       false,
       {{OrdT_Goto, OrdT_Collect}, {OrdT_Move, OrdT_Collect}},
       0},
      {"shift appends", {{red, true}}, true, false, false, {{OrdT_Goto, OrdT_Collect, OrdT_Move}}, 0},
      {"recording a move", {{red, true}}, false, true, false, {{OrdT_Goto, OrdT_Collect}}, 1},
      {"recording a standing order", {{red, true}}, false, true, true, {{OrdT_Goto, OrdT_Collect}}, 0},
      {"one without an AI", {{red, false}, {red, true}}, false, false, false, {{}, {OrdT_Move, OrdT_Collect}}, 0},
      {"nothing selected", {}, false, false, false, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<generic_object*> objects;
    std::vector<TestGraphics*> graphics;
    setSelection(nullptr);
    for (const Selected& s : c.selected) {
      generic_object* object = s.hasAI ? static_cast<generic_object*>(ship(s.owner)) : new TestObject(s.owner);
      if (!s.hasAI)
        object->setContainer(system_);
      if (s.hasAI) {
        queueOf(object).appendOrder(new goto_order(system_, true, 1.0f));
        queueOf(object).appendOrder(standing());
      }
      auto* made = new TestGraphics(object);
      addToSelection(made);
      made->drop();  // the selection holds it now
      objects.push_back(object);
    }
    repeat_orders recording;
    repeatRecording = c.recording ? &recording : nullptr;
    shiftKeyDown = c.shift;
    giveOrderToSelection(c.standingTemplate ? standing() : new move_order(point, 1.0f));
    repeatRecording = nullptr;
    shiftKeyDown = false;
    EXPECT_EQ(recording.orders.size(), c.recorded);
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i]->ai == nullptr)
        continue;
      EXPECT_EQ(typesOf(objects[i]), c.after[i]) << i;
    }
    setSelection(nullptr);
  }
}

TEST_F(OrderListTest, SelectionLookupsAndTheLastReleaseOfAGraphicsObject) {
  objHulled* unit = ship(red);
  unit->name = L"Lookout";
  auto* made = new TestGraphics(unit);
  setSelection(made);
  const uint32_t id = getSelectionId();
  EXPECT_EQ(getSingleSelectedObject(), made);
  EXPECT_EQ(selectedObjectAt(1), nullptr);
  generic_object* found = selectedGameObject();
  EXPECT_EQ(found, unit);
  found->drop();
  EXPECT_EQ(selectedGameObjectAt(1), nullptr);
  // An unattached object changes nothing.
  auto* gone = new TestGraphics(unit);
  gone->attached = false;
  addToSelection(gone);
  EXPECT_EQ(getSelectionId(), id);
  gone->drop();

  debugInfo = true;
  LogCapture log;
  made->drop();  // the selection's reference is the last one after this
  setSelection(nullptr);
  debugInfo = false;
  const std::string text = log.take();
  EXPECT_NE(text.find("Deleting graphics object for 'Lookout'"), std::string::npos) << text;
  EXPECT_EQ(getSingleSelectedObject(), nullptr);
}

TEST_F(OrderListTest, ConsoleGiveOrder) {
  const ConsoleCommandTable saved = Console::commands();
  irr::IrrlichtDevice* device = createTestDevice();
  ASSERT_NE(device, nullptr);
  setEngineDevice(device);
  Console* target = createConsole(device->getGUIEnvironment());
  registerConsoleCommands();
  static std::wstring printed;
  printed.clear();
  target->setMirror([](const wchar_t* text, std::size_t length) { printed.append(text, length); });

  target->execute(L"give_order Collect Ore", false);
  EXPECT_NE(printed.find(L"  Must have an object selected"), std::wstring::npos);

  objHulled* unit = ship(red);
  queueOf(unit).appendOrder(new move_order(vector3df(9, 0, 0), 1.0f));
  auto* made = new TestGraphics(unit);
  setSelection(made);
  made->drop();
  target->execute(L"give_order Collect Ore", false);
  EXPECT_EQ(typesOf(unit), std::vector<int>{OrdT_Collect});

  setSelection(nullptr);
  setConsole(nullptr);
  setEngineDevice(nullptr);
  device->drop();
  const_cast<ConsoleCommandTable&>(Console::commands()) = saved;
}

}  // namespace

}  // namespace order_list_test
