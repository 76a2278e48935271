// The work order: the standing job made by "Work", its timer, the full and
// partial scans of the ship's system, the pick by weight over distance and
// the use-tool order it hands the winner, and its records.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/random.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "movement_fixture.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "universe/objects/galaxy.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace work_order_test {

namespace {

using OrderPtr = std::unique_ptr<Order>;

// The weights the test's "AutoAttack" function gives (0 for objects not
// listed), and the objects it was asked about, in order.
std::map<const generic_object*, float> toolWeights;
std::vector<const generic_object*> weighed;

float workTestWeight(const generic_object*, const generic_object* target, const effector*) {
  weighed.push_back(target);
  const auto found = toolWeights.find(target);
  return found != toolWeights.end() ? found->second : 0.0f;
}
void workTestFire(EffectEvent*, const effector*, interactor_data*) {}
const bool registeredFunctions = [] {
  registerTargetFunction(L"WorkTestWeight").value = workTestWeight;
  registerFireFunction(L"WorkTestFire").value = workTestFire;
  return true;
}();

// A drill that goes where its weights send it, and a probe without weights.
const char kEffectors[] =
    "Effector: Drill\nValue: Reach\nRange: Reach\nCanAttack: Any\nAutoAttack: "
    "WorkTestWeight\nOnFire: WorkTestFire\n"
    "Effector: Probe\nValue: Reach\nRange: Reach\nCanAttack: Any\nOnFire: "
    "WorkTestFire\n";

const char kSubSystems[] =
    "System: Drill\nTags: Mine\nSize: 1\nDurability: "
    "10\nProvides: Drill with Reach[50]\n\n"
    "System: Probe\nTags: Survey\nSize: 1\nDurability: "
    "10\nProvides: Probe with Reach[50]\n";

class WorkOrderTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    ASSERT_TRUE(registeredFunctions);
    initThreadLocals();
    singleThreaded = true;
    toolWeights.clear();
    weighed.clear();
    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effectors.txt", std::ios::binary) << kEffectors;
    {
      LogCapture log;
      loadEffectors((folder / "effectors.txt").string().c_str());
      const std::string text = log.take();
      EXPECT_EQ(text.find(" error"), std::string::npos) << text;
    }
    subsystemtest::loadDefinition(folder, kSubSystems, L"Drill");
    system = makeSystem();
  }

  void TearDown() override {
    // The ships go before their layouts and definitions.
    clearPostObjectTreeSteps();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      (*it)->destroyNow(false);
    made_.clear();
    for (hull_list* layout : layouts_)
      layout->drop();
    clearSubSystemDefs();
    clearEffectors();
    freeThreadLocals();
    singleThreaded = false;
    UniverseTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // A ship of red with the listed parts at the origin of `place`.
  objHulled* ship(std::initializer_list<const wchar_t*> parts, generic_object* place = nullptr) {
    layout_desc desc;
    float y = 0.0f;
    for (const wchar_t* part : parts) {
      desc.systems.push_back({def(part), 1.0f, 0.0f, y, -1});
      y += 1.0f;
    }
    auto* layout = new hull_list(desc, red, true);
    layout->name = L"Test";
    layouts_.push_back(layout);
    auto* made = new objHulled(red, layout, nullptr);
    made->radius = 1.0f;
    made->setContainer(place != nullptr ? place : system);
    made_.push_back(made);
    return made;
  }

  // A plain object at (0, y, 0) in `place` that the drill weighs `weight`.
  TestObject* rock(float y, float weight = 0.0f, generic_object* place = nullptr) {
    auto* made = new TestObject(blue);
    made->radius = 1.0f;
    made->position.set(0.0f, y, 0.0f);
    made->setContainer(place != nullptr ? place : system);
    made_.push_back(made);
    toolWeights[made] = weight;
    return made;
  }

  // Queues a work order on `worker` and sets the clock to its check.
  static work_order* workOn(generic_object* worker, const wchar_t* tool = L"Mine") {
    auto* order = new work_order(tool, 1000);
    worker->ai->appendOrder(order);
    setObjectTestClock(order->nextCheck);
    return order;
  }

  static std::vector<int> queueTypes(generic_object* object) {
    std::vector<int> types;
    for (uint32_t i = 0; i < object->ai->getOrderCount(); ++i)
      types.push_back(object->ai->getOrder(i)->getType());
    return types;
  }

  solarSystem* system = nullptr;
  std::vector<hull_list*> layouts_;
};

// A save's common strings section listing "Mine" at index 4.
std::vector<const irr::core::stringw*> section() {
  std::vector<const irr::core::stringw*> names;
  for (const wchar_t* name : {L"Alpha", L"Bravo", L"Charlie", L"Delta", L"Mine"})
    names.push_back(internCommonString(name));
  return names;
}

TEST_F(WorkOrderTest, WorkIsAStandingJobMadeByName) {
  setObjectTestClock(500);
  const irr::core::stringw mine(L"Mine");
  OrderPtr made(createAutomationOrder(L"Work", &mine, nullptr));
  auto* order = dynamic_cast<work_order*>(made.get());
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->tool, internCommonString(L"Mine")) << "the tool is a common string";
  EXPECT_EQ(order->interval, 1000u);
  EXPECT_EQ(order->nextCheck, 1500u) << "one interval from now";
  EXPECT_EQ(order->getType(), OrdT_Work);
  EXPECT_TRUE(order->runsInBackground());
  EXPECT_TRUE(order->isAutomation());
  EXPECT_TRUE(order->isNotRepeatable());
  EXPECT_EQ(order->describe(), irr::core::stringw(L"Work with Mine"));
  EXPECT_EQ(createAutomationOrder(L"Work", nullptr, nullptr), nullptr) << "the job must be named";

  order->scanIndex = 7;
  order->lastSystem = system;
  OrderPtr copy(order->clone());
  auto* workCopy = dynamic_cast<work_order*>(copy.get());
  ASSERT_NE(workCopy, nullptr);
  EXPECT_EQ(workCopy->tool, order->tool);
  EXPECT_EQ(workCopy->interval, 1000u);
  EXPECT_EQ(workCopy->nextCheck, 1500u);
  EXPECT_EQ(workCopy->scanIndex, 7u);
  EXPECT_EQ(workCopy->lastSystem, system);
}

TEST_F(WorkOrderTest, EnteringASystemScansItAllThenFifteenChildrenAtATime) {
  constexpr uint32_t kChildren = 40;
  objHulled* worker = ship({L"Drill"});
  for (uint32_t i = 1; i < kChildren; ++i)
    rock(static_cast<float>(i));
  ASSERT_EQ(system->children.size(), kChildren);
  seedProcessRandom(42);
  const uint32_t start = static_cast<uint32_t>(processRandom() >> 2) % (kChildren / 2);
  seedProcessRandom(42);

  work_order* order = workOn(worker);
  EXPECT_EQ(order->execute(*worker), Running);
  EXPECT_EQ(weighed.size(), kChildren - 1) << "the full scan weighs every other child";
  EXPECT_EQ(order->lastSystem, system);
  EXPECT_EQ(order->scanIndex, start);

  uint32_t first = start;
  for (int scan = 0; scan < 5; ++scan) {
    SCOPED_TRACE(scan);
    weighed.clear();
    setObjectTestClock(order->nextCheck);
    EXPECT_EQ(order->execute(*worker), Running);
    std::vector<const generic_object*> expected;
    for (uint32_t i = first; i < std::min(kChildren, first + 15); ++i)
      if (system->children[i].get() != worker)
        expected.push_back(system->children[i].get());
    EXPECT_EQ(weighed, expected);
    first = first + 15 >= kChildren ? 0 : first + 15;
    EXPECT_EQ(order->scanIndex, first);
  }

  // A partial scan passes over a child that is no longer valid.
  TestObject* dying = static_cast<TestObject*>(system->children[first + 1].get());
  toolWeights[dying] = 5.0f;
  dying->clearFlag(FLAG_VALID);
  weighed.clear();
  setObjectTestClock(order->nextCheck);
  EXPECT_EQ(order->execute(*worker), Running);
  dying->setFlag(FLAG_VALID);
  const uint32_t window = std::min(kChildren, first + 15) - first - (first == 0 ? 1 : 0);  // less the worker
  EXPECT_EQ(weighed.size(), window - 1);
  EXPECT_EQ(std::find(weighed.begin(), weighed.end(), dying), weighed.end());
  EXPECT_EQ(queueTypes(worker), std::vector<int>{OrdT_Work});

  EXPECT_EQ(work_order(L"Mine", 1000).execute(*rock(1.0f)), Done) << "not a ship";
}

TEST_F(WorkOrderTest, TheLargestValueOverDistanceGetsAUseToolOrder) {
  struct Rock {
    float weight;
    float distance;
  };
  const struct {
    const char* what;
    std::vector<Rock> rocks;
    int winner;  // -1: none
  } cases[] = {
      {"value / distance", {{1, 10}, {4, 20}, {16, 200}}, 1},
      {"the first of equal scores", {{1, 10}, {2, 20}}, 0},
      {"a value not above the best score so far is not looked at", {{1, 0.5f}, {1.5f, 0.1f}}, 0},
      {"value 0 is never picked", {{0, 1}}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    solarSystem* place = makeSystem();
    objHulled* worker = ship({L"Drill"}, place);
    std::vector<TestObject*> rocks;
    for (const Rock& r : c.rocks)
      rocks.push_back(rock(r.distance, r.weight, place));
    work_order* order = workOn(worker);
    EXPECT_EQ(order->execute(*worker), c.winner >= 0 ? Yielded : Running);
    if (c.winner < 0) {
      EXPECT_EQ(queueTypes(worker), std::vector<int>{OrdT_Work});
      continue;
    }
    ASSERT_EQ(queueTypes(worker), (std::vector<int>{OrdT_Use_Tool, OrdT_Work})) << "in front of the work order";
    const auto* use = static_cast<use_tool_order*>(worker->ai->getOrder(0));
    EXPECT_EQ(use->target, rocks[static_cast<size_t>(c.winner)]);
    EXPECT_EQ(use->getTool(), irr::core::stringw(L"Mine"));
    EXPECT_FALSE(use->keepUsing);
    EXPECT_EQ(use->homeContainer, place) << "the use stays in the system";
    EXPECT_EQ(use->colonizing, nullptr);
  }
}

TEST_F(WorkOrderTest, AToolWithoutAutoAttackWeightsNeverPicks) {
  objHulled* surveyor = ship({L"Probe"});
  TestObject* target = rock(10.0f, 1.0f);
  EXPECT_FLOAT_EQ(surveyor->getEffectorTargetWeight(target, L"Survey"), 1.0f) << "without the flag: 1";
  EXPECT_FLOAT_EQ(surveyor->getEffectorTargetWeight(target, L"Survey", true), 0.0f);
  EXPECT_EQ(workOn(surveyor, L"Survey")->execute(*surveyor), Running);
  EXPECT_EQ(queueTypes(surveyor), std::vector<int>{OrdT_Work});

  objHulled* driller = ship({L"Drill"});
  EXPECT_FLOAT_EQ(driller->getEffectorTargetWeight(target, L"Mine", true), 1.0f);
  EXPECT_EQ(workOn(driller, L"Survey")->execute(*driller), Running) << "no sub-system with the tool";
  EXPECT_EQ(queueTypes(driller), std::vector<int>{OrdT_Work});
}

TEST_F(WorkOrderTest, OutsideAStarSystemNothingIsPicked) {
  auto* galaxyRoot = new objGalaxy();
  made_.insert(made_.begin(), galaxyRoot);
  objHulled* drifter = ship({L"Drill"}, galaxyRoot);
  rock(10.0f, 1.0f, galaxyRoot);
  work_order* order = workOn(drifter);
  EXPECT_EQ(order->execute(*drifter), Running) << "the first system found is the galaxy";
  EXPECT_EQ(order->lastSystem, nullptr);
  EXPECT_EQ(queueTypes(drifter), std::vector<int>{OrdT_Work});

  objHulled* loose = ship({L"Drill"});
  loose->setContainer(nullptr);
  work_order alone(L"Mine", 1000);
  setObjectTestClock(alone.nextCheck);
  EXPECT_EQ(alone.execute(*loose), Running) << "no system above the ship";
}

TEST_F(WorkOrderTest, BeforeItsNextCheckAWorkerWaitsOnlyInAnotherSystem) {
  solarSystem* other = makeSystem(vector3df(5000, 0, 0));
  objHulled* worker = ship({L"Drill"});
  auto* order = new work_order(L"Mine", 1000);
  worker->ai->appendOrder(order);
  EXPECT_EQ(order->execute(*worker), Waiting) << "never scanned";

  setObjectTestClock(order->nextCheck);
  EXPECT_EQ(order->execute(*worker), Running);
  EXPECT_EQ(order->nextCheck, 2000u);
  setObjectTestClock(1999);
  EXPECT_EQ(order->execute(*worker), Running) << "the system scanned last";
  worker->setContainer(other);
  EXPECT_EQ(order->execute(*worker), Waiting) << "another system";
  EXPECT_EQ(order->lastSystem, system);
}

TEST_F(WorkOrderTest, SavedRecordsHoldTheToolAndTheInterval) {
  work_order order(L"Mine", 1000);
  auto writer = SaveStream::createInMemory();
  writer->commonStrings() = section();
  order.save(*writer);
  EXPECT_EQ(hexText(writtenBody(*writer)), hex("0B 01 04 E8 03 00 00"));

  const Bytes file = withHeader(hexBytes("0B 01 04 10 27 00 00"));
  auto reader = readerOver(file);
  reader->commonStrings() = section();
  objHulled* holder = ship({L"Drill"});
  readOrderFromSave(*reader, *static_cast<UnitAI*>(holder->ai));
  ASSERT_EQ(queueTypes(holder), std::vector<int>{OrdT_Work});
  const auto* loaded = static_cast<work_order*>(holder->ai->getOrder(0));
  EXPECT_EQ(loaded->tool, internCommonString(L"Mine"));
  EXPECT_EQ(loaded->interval, 10000u);
  EXPECT_EQ(reader->remaining(), 0u);

  auto unlisted = SaveStream::createInMemory();
  EXPECT_EQ(saveErrorOf([&] { order.save(*unlisted); }), (SaveFileError{5, "Invalid Common String reference"}));
}

TEST_F(WorkOrderTest, CutOrUnlistedSavedRecordsThrow) {
  const struct {
    const char* record;  // after the type byte
    SaveFileError error;
  } cases[] = {
      {"", {4, "Unexpected EOF"}},
      {"01", {4, "Unexpected EOF"}},
      {"01 04", {4, "Unexpected EOF"}},
      {"01 04 E8 03 00", {4, "Unexpected EOF"}},
      {"01 05 E8 03 00 00", {5, "Invalid Common String reference"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    const Bytes file = withHeader(hexBytes(c.record));
    auto reader = readerOver(file);
    reader->commonStrings() = section();
    EXPECT_EQ(saveErrorOf([&] { delete readWorkOrderSave(*reader); }), c.error);
  }
}

TEST_F(WorkOrderTest, NetworkRecordsCarryToolNamesShorterThan256Characters) {
  objHulled* receiver = ship({L"Drill"});
  for (const irr::core::stringw& tool :
       {irr::core::stringw(L"Mine"), irr::core::stringw(std::wstring(255, L'x').c_str())}) {
    SCOPED_TRACE(tool.size());
    work_order sent(tool, 5000);
    RakNet::BitStream stream;
    sent.writeNetwork(stream);
    OrderPtr received(readOrderFromNetwork(stream, receiver));
    auto* work = dynamic_cast<work_order*>(received.get());
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->tool, sent.tool);
    EXPECT_EQ(work->interval, 1000u) << "the record has no interval";
  }

  work_order tooLong(std::wstring(256, L'x').c_str(), 1000);
  RakNet::BitStream nothing;
  tooLong.writeNetwork(nothing);
  EXPECT_EQ(nothing.GetNumberOfBitsUsed(), 0) << "nothing at all is written";

  RakNet::BitStream cut;
  cut.Write(static_cast<uint8_t>(OrdT_Work));
  EXPECT_EQ(readOrderFromNetwork(cut, receiver), nullptr);
}

}  // namespace

}  // namespace work_order_test
