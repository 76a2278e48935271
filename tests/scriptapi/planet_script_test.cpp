// Planets in scripts: Conquer and its message, the server's structure
// queueing against the free slots, the requests a network client sends for
// structures and the governor (byte by byte), the planet members by table,
// and PlanetStructureList: its misuse, its one reference and one lock
// level, and a galaxy worker that waits while a script holds the list.
#include "scriptapi/planet_natives.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/locale.h"
#include "design/build/constructible.h"
#include "design/build/mimic_constructible.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/sent_messages.h"
#include "support/space_empire.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_locks.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "universe/worker_steps.h"

namespace planet_script_test {

using namespace AngelScript;
using Bytes = std::vector<uint8_t>;

namespace {

// "void fail(const string &in)": stops the script with the text.
void fail(const ScriptString& text) { raiseScriptException(irr::core::stringc(text.toStringw()).c_str()); }

const char kSubSystemFile[] = "System: Plate\nSize: 10\nDurability: 15\nMass: 5\n";

class PlanetScriptTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    // The galaxy and its systems take UIDs above the small ones that the
    // request tests claim.
    nextUid = std::max(nextUid.load(), 100u);
    ScriptedGalaxyTest::SetUp();
    std::filesystem::create_directories(root_ / "Game Data/Sub Systems");
    std::ofstream(root_ / "Game Data/Sub Systems/plate.txt", std::ios::binary) << kSubSystemFile;
    space_ = registerSpaceEmpire();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    system_ = addSystems(1).front();
    activeEmpire = red;
    const int index = findSubSystemDefByName(L"Plate");
    ASSERT_GE(index, 0);
    plate_ = subSystemDefRegistry[index].value;
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
      ASSERT_GE(engine->RegisterGlobalFunction("void fail(const string &in)", asFUNCTION(fail), asCALL_CDECL), 0);
  }
  void TearDown() override {
    stopCapturingSends();
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    networkManager->peerVersion = savedVersion_;
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
    clearSubSystemDefs();
    clearPlanetTypes();
  }

  // A planet of `owner` in the system (which keeps it), with `structures`
  // plates and room for `space`.
  objHabitation* makePlanet(empire* owner, float space = 0.0f, int structures = 0, uint32_t uid = 0) {
    objHabitation* planet = nullptr;
    if (uid != 0) {
      const ClaimedUid claim(uid);
      EXPECT_TRUE(claim.held());
      planet = new objHabitation(owner, nullptr);
    } else {
      planet = new objHabitation(owner, nullptr);
    }
    planet->setContainer(system_);
    planet->setStructureSpace(std::max(space, static_cast<float>(structures)));
    for (int i = 0; i < structures; ++i)
      EXPECT_TRUE(planet->addStructureFromDef(plate_));
    planet->setStructureSpace(space);
    return planet;
  }

  // Builds `code` (which defines "void test(Planet@ p)") in `engine` and runs
  // it on `planet`: the exception text, or "" when it finished.
  static std::string run(asIScriptEngine* engine, const std::string& code, objHabitation* planet) {
    LogCapture log;
    asIScriptModule* module = engine->GetModule("planet_test", asGM_ALWAYS_CREATE);
    module->AddScriptSection("planet_test", code.c_str(), code.size());
    if (module->Build() < 0)
      return "does not build: " + log.take();
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByDecl("void test(Planet@ p)"));
    context->SetArgObject(0, planet);
    const int result = context->Execute();
    std::string outcome;
    if (result == asEXECUTION_EXCEPTION)
      outcome = context->GetExceptionString() != nullptr ? context->GetExceptionString() : "?";
    else if (result != asEXECUTION_FINISHED)
      outcome = "result " + std::to_string(result);
    context->Release();
    return outcome;
  }
  static std::string body(const std::string& statements) {
    return "void test(Planet@ p) {\n  const subSystemDef@ plate = getSubSystemDefByName(\"Plate\");\n" + statements +
           "\n}\n";
  }
  std::string server(const std::string& statements, objHabitation* planet) {
    return run(serverScriptEngine, body(statements), planet);
  }
  std::string client(const std::string& statements, objHabitation* planet) {
    return run(clientScriptEngine, body(statements), planet);
  }

  void becomeNetworkClient(uint32_t version) {
    networkManager->isNetworked = true;
    networkManager->isConnected = true;
    networkManager->peerVersion = version;
    captureSends(sent_);
  }

  // Empties the queue directly: a network client's clearBuildQueue asks the
  // server instead.
  static void emptyQueue(objHabitation* planet) {
    for (irr::u32 i = 0; i < planet->buildQueue.size(); ++i)
      delete planet->buildQueue[i];
    planet->buildQueue.clear();
  }

  static unsigned queuedStructures(const objHabitation* planet) {
    unsigned count = 0;
    for (irr::u32 i = 0; i < planet->buildQueue.size(); ++i)
      if (dynamic_cast<StructureConstructible*>(planet->buildQueue[i]) != nullptr)
        ++count;
    return count;
  }

  solarSystem* system_ = nullptr;
  empire* space_ = nullptr;
  const SubSystemDef* plate_ = nullptr;
  std::vector<SentMessage> sent_;
  uint32_t savedVersion_ = networkManager->peerVersion;
};

Bytes wordBytes(uint32_t value) {
  return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value)};
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(PlanetScriptTest, ConquerTakesOnlyPlanetsOfNoValidEmpire) {
  objHabitation* owned = makePlanet(blue);
  const size_t blueMessages = blue->messages.size();
  EXPECT_EQ(server("p.Conquer(null);", owned), "");
  EXPECT_EQ(owned->getOwner(), blue);
  EXPECT_EQ(blue->messages.size(), blueMessages);

  objHabitation* wild = makePlanet(space_, 0.0f, 0, 7);
  wild->name = L"Alpha III";
  empire* fallback = defaultEmpire();
  const size_t before = fallback->messages.size();
  EXPECT_EQ(server("p.Conquer(null);", wild), "");
  EXPECT_EQ(wild->getOwner(), fallback);
  ASSERT_EQ(fallback->messages.size(), before + 1);
  const EmpireMessage& message = fallback->messages.back();
  irr::core::stringw expected = L"#link:o7#Alpha III";
  expected += getLocalizedText(L"#EM_Colonize");
  expected += L"#link#";
  EXPECT_TRUE(message.text == expected);
  ASSERT_NE(message.category, nullptr);
  EXPECT_TRUE(*message.category == L"misc");
  EXPECT_EQ(message.priority, 0);
}

TEST_F(PlanetScriptTest, ServerBuildStructureQueuesUpToTheFreeSlots) {
  const struct {
    const char* label;
    int structures;
    bool owned;
    int alreadyQueued;  // structure items waiting before the call
    unsigned expected;
  } cases[] = {
      {"one slot free", 3, true, 0, 1},
      {"full", 4, true, 0, 0},
      {"unowned", 0, false, 0, 0},
      {"queued items do not count", 3, true, 2, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    objHabitation* planet = makePlanet(red, 4.0f, c.structures);
    for (int i = 0; i < c.alreadyQueued; ++i)
      planet->addConstructible(new StructureConstructible(plate_, planet));
    if (!c.owned)
      planet->setOwner(nullptr);
    EXPECT_EQ(server("p.buildStructure(plate, 5);", planet), "");
    EXPECT_EQ(queuedStructures(planet), c.alreadyQueued + c.expected);
  }
}

TEST_F(PlanetScriptTest, NetworkClientAsksForStructuresAndShowsPlaceholders) {
  objHabitation* planet = makePlanet(red, 3.0f, 3, 7);
  const Bytes header = {0x75, 0x00, 0x00, 0x00, 0x07};
  const Bytes buildTwo = concat({header, {0x01}, wordBytes(plate_->id)});
  for (uint32_t version : {7u, 6u}) {
    SCOPED_TRACE(version);
    becomeNetworkClient(version);
    sent_.clear();
    emptyQueue(planet);
    EXPECT_EQ(client("p.buildStructure(plate, 2);", planet), "");
    if (version == 7) {
      ASSERT_EQ(sent_.size(), 1u);
      EXPECT_EQ(sent_[0].bytes, concat({buildTwo, {0x00, 0x02}}));
    } else {
      ASSERT_EQ(sent_.size(), 2u);
      EXPECT_EQ(sent_[0].bytes, buildTwo);
      EXPECT_EQ(sent_[1].bytes, buildTwo);
    }
    EXPECT_EQ(sent_[0].channel, 0);
    EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE_ORDERED);
    ASSERT_EQ(planet->buildQueue.size(), 2u);
    for (irr::u32 i = 0; i < 2; ++i) {
      auto* placeholder = dynamic_cast<mimic_constructible*>(planet->buildQueue[i]);
      ASSERT_NE(placeholder, nullptr);
      EXPECT_TRUE(placeholder->getName() == plate_->name);
    }
  }

  // A rebuild out of range goes to the server all the same, without a
  // placeholder; a null definition sends nothing.
  sent_.clear();
  emptyQueue(planet);
  EXPECT_EQ(client("p.rebuildStructure(9);", planet), "");
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].bytes, concat({header, {0x02}, wordBytes(9)}));
  EXPECT_EQ(planet->buildQueue.size(), 0u);
  EXPECT_EQ(client("p.rebuildStructure(1);", planet), "");
  ASSERT_EQ(planet->buildQueue.size(), 1u);
  EXPECT_TRUE(planet->buildQueue[0]->getName() == irr::core::stringw(L"Renovate ") + plate_->name);
  sent_.clear();
  EXPECT_EQ(client("p.buildStructure(null, 2);", planet), "Null subSystemDef@ when adding structure build order");
  EXPECT_TRUE(sent_.empty());
  // Removal only asks.
  EXPECT_EQ(client("p.removeStructure(2);", planet), "");
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].bytes, concat({header, {0x03}, wordBytes(2)}));
  EXPECT_EQ(planet->structures.size(), 3u);
}

TEST_F(PlanetScriptTest, BuildStructureCountIsCappedAtWhatTheRequestCarries) {
  objHabitation* planet = makePlanet(red, 0.0f, 0, 7);
  becomeNetworkClient(7);
  EXPECT_EQ(client("p.buildStructure(plate, 70000);", planet), "");
  ASSERT_EQ(sent_.size(), 1u);
  const Bytes& bytes = sent_[0].bytes;
  ASSERT_EQ(bytes.size(), 12u);
  EXPECT_EQ(bytes[10], 0xFF);
  EXPECT_EQ(bytes[11], 0xFF);
  EXPECT_EQ(planet->buildQueue.size(), 65535u);
}

TEST_F(PlanetScriptTest, GovernorOfTheClientEngine) {
  objHabitation* own = makePlanet(red, 0.0f, 0, 7);
  objHabitation* foreign = makePlanet(blue);
  becomeNetworkClient(7);
  EXPECT_EQ(client("p.setUseGovernor(true);", own), "");
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].bytes, (Bytes{0x76, 0x00, 0x07, 0x01, 0x80}));
  EXPECT_EQ(sent_[0].channel, 2);
  EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE);
  EXPECT_TRUE(own->usesGovernor());
  sent_.clear();
  EXPECT_EQ(client("p.setGovernorType(\"default\");", own), "");
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].bytes, (Bytes{0x76, 0x00, 0x07, 0x04, 0x07, 0x64, 0x00, 0x65, 0x00, 0x66, 0x00, 0x61, 0x00,
                                   0x75, 0x00, 0x6C, 0x00, 0x74, 0x00}));
  EXPECT_EQ(sent_[0].channel, 2);
  EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE_ORDERED);
  ASSERT_NE(own->getGovernorType(), nullptr);
  EXPECT_TRUE(*own->getGovernorType() == L"default");

  // Another empire's planet: nothing sent, nothing changed, and its type
  // reads as the default.
  sent_.clear();
  foreign->setGovernorType(L"mines");
  EXPECT_EQ(client("p.setUseGovernor(true); p.setGovernorType(\"farms\");\n"
                   "  if (p.getGovernorType() != \"default\") fail(\"shown\");",
                   foreign),
            "");
  EXPECT_TRUE(sent_.empty());
  EXPECT_FALSE(foreign->usesGovernor());
  EXPECT_TRUE(*foreign->getGovernorType() == L"mines");
}

TEST_F(PlanetScriptTest, PlanetMembersByTable) {
  auto* dry = new planetCondition;
  dry->id = L"Dry";
  PtrNamedVar<planetCondition*>::getOrAdd(planetConditionRegistry(), L"Dry", internCommonString).value = dry;
  const struct {
    const char* label;
    std::function<objHabitation*()> make;
    const char* statements;
    std::function<void(objHabitation*)> check;
  } cases[] = {
      {"removeAllStructures", [&] { return makePlanet(red, 5.0f, 5); }, "p.removeAllStructures();",
       [](objHabitation* planet) { EXPECT_EQ(planet->structures.size(), 0u); }},
      {"whole slots", [&] { return makePlanet(red, 3.9f); },
       "if (p.getMaxStructureCount() != 3.0f) fail(\"slots\");", nullptr},
      {"negative space", [&] { return makePlanet(red, -1.5f); },
       "if (p.getMaxStructureCount() != 0.0f) fail(\"slots\");", nullptr},
      {"no governor type", [&] { return makePlanet(red); },
       "if (p.getGovernorType() != \"default\") fail(\"type\");", nullptr},
      {"lower limit",
       [&] {
         objHabitation* planet = makePlanet(red);
         planet->population = planet->settledPopulation = 50.0f;
         planet->maxPopulation = 55.0f;
         return planet;
       },
       "p.modMaxPopulation(-10);",
       [](objHabitation* planet) {
         EXPECT_EQ(planet->maxPopulation, 45.0f);
         EXPECT_EQ(planet->population, 45.0f);
       }},
      {"default empire's population",
       [&] {
         objHabitation* planet = makePlanet(defaultEmpire());
         planet->population = 20.0f;
         return planet;
       },
       "if (p.getPopulation() != 0) fail(\"population\");", nullptr},
      {"a condition twice", [&] { return makePlanet(red); },
       "p.addCondition(\"Dry\"); p.addCondition(\"Dry\");\n"
       "  if (p.getConditionCount() != 2 || p.getCondition(1).get_id() != \"Dry\" || p.getCondition(2) !is null)"
       " fail(\"listed\");",
       nullptr},
      {"unknown condition removed",
       [&] {
         objHabitation* planet = makePlanet(red);
         planet->conditions.push_back(dry);
         return planet;
       },
       "p.removeCondition(\"Wet\");",
       [dry](objHabitation* planet) {
         ASSERT_EQ(planet->conditions.size(), 1u);
         EXPECT_EQ(planet->conditions[0], dry);
       }},
      {"misuse leaves the planet",
       [&] { return makePlanet(red, 3.0f, 2); },
       "p.rebuildStructure(2);",
       [](objHabitation* planet) {
         EXPECT_EQ(planet->buildQueue.size(), 0u);
         EXPECT_EQ(planet->structures.size(), 2u);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    objHabitation* planet = c.make();
    const std::string outcome = server(c.statements, planet);
    if (std::string(c.label) == "misuse leaves the planet")
      EXPECT_EQ(outcome, "Accessed structure out-of-range");
    else
      EXPECT_EQ(outcome, "");
    if (c.check)
      c.check(planet);
  }
}

TEST_F(PlanetScriptTest, RemoveStructureGoesThroughAnOrder) {
  objHabitation* planet = makePlanet(red, 3.0f, 2);
  subSystem* first = planet->structures[0].system;
  planet->ai->addOrder(new remove_struct_order(nullptr), false);  // an order already waiting
  EXPECT_EQ(server("p.removeStructure(0);", planet), "");
  ASSERT_EQ(planet->structures.size(), 2u) << "removed at once";
  ASSERT_GE(planet->ai->getOrderCount(), 2u);
  auto* order = dynamic_cast<remove_struct_order*>(planet->ai->getOrder(0));
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->structure, first);
  EXPECT_EQ(server("p.removeStructure(2);", planet), "Out of bounds index when removing structure");
  planet->tick(0.01f);  // its AI runs the order
  ASSERT_EQ(planet->structures.size(), 1u);
  EXPECT_NE(planet->structures[0].system, first);
}

TEST_F(PlanetScriptTest, StructureListMisuseReferenceAndLock) {
  objHabitation* planet = makePlanet(red, 3.0f, 2);
  // Whether another thread can take the planet's system now.
  static solarSystem* probed = nullptr;
  probed = system_;
  struct Probe {
    static bool othersCanLock() {
      bool taken = false;
      std::thread other([&] {
        initThreadLocals();
        taken = tryLockSolarSystem(probed);
        if (taken)
          unlockSolarSystem(probed);
        freeThreadLocals();
      });
      other.join();
      return taken;
    }
  };
  static objHabitation* counted = nullptr;
  counted = planet;
  struct Refs {
    static int refs() { return counted->refCount.load(); }
  };
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    ASSERT_GE(engine->RegisterGlobalFunction("bool othersCanLock()", asFUNCTION(Probe::othersCanLock), asCALL_CDECL),
              0);
    ASSERT_GE(engine->RegisterGlobalFunction("int planetRefs()", asFUNCTION(Refs::refs), asCALL_CDECL), 0);
  }
  for (bool serverEngine : {true, false}) {
    SCOPED_TRACE(serverEngine ? "server" : "client");
    asIScriptEngine* engine = serverEngine ? serverScriptEngine : clientScriptEngine;
    EXPECT_EQ(run(engine, body("PlanetStructureList list;\n  if (list.getCount() != 0) fail(\"count\");"), planet),
              "PlanetStructureList needs prepared before being used");
    EXPECT_EQ(run(engine, body(R"(
  PlanetStructureList list;
  int before = planetRefs();
  list.prepare(p);
  list.prepare(p);
  if (planetRefs() != before + 1) fail("one reference");
  if (othersCanLock()) fail("not locked");
  if (list.getCount() != 2 || list.getCount(plate) != 2) fail("count");
  if (list.getStructure(1) is null || list.getStructureState(1) is null) fail("entry");
  list.prepare(null);
  if (planetRefs() != before) fail("released");
  if (!othersCanLock()) fail("still locked");
  list.getCount();)"),
                  planet),
              "PlanetStructureList needs prepared before being used");
    EXPECT_EQ(run(engine, body("PlanetStructureList list; list.prepare(p); list.getStructureState(list.getCount());"),
                  planet),
              "Invalid index when accessing planet structure list");
    EXPECT_EQ(run(engine, body("PlanetStructureList list; list.prepare(p); list.getStructure(7);"), planet),
              "Invalid index when accessing planet structure list");
    // Given up on every way out of the script.
    EXPECT_TRUE(Probe::othersCanLock());
  }
}

// The state record that a list gives for a structure is the planet's own,
// and a new structure's reads SS_Active.
const SysRef* heldState = nullptr;
void keepState(const SysRef* state) { heldState = state; }

TEST_F(PlanetScriptTest, StructureStateOfANewStructureIsActive) {
  objHabitation* planet = makePlanet(red, 2.0f);
  ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("void keepState(const SysRef@)", asFUNCTION(keepState),
                                                       asCALL_CDECL),
            0);
  EXPECT_EQ(server(R"(
  p.addStructure(plate);
  PlanetStructureList list;
  list.prepare(p);
  keepState(list.getStructureState(0));)",
                   planet),
            "");
  ASSERT_EQ(planet->structures.size(), 1u);
  EXPECT_EQ(heldState, &planet->structures[0].record);
  EXPECT_EQ(planet->structures[0].record.state, static_cast<uint32_t>(SS_Active));
}

// A script that holds a prepared list keeps the planet's galaxy worker out
// of its system; the worker runs again once the list goes out of scope.
std::atomic<bool> stepDone{false};
std::atomic<int>* ticksSeen = nullptr;
std::thread* stepper = nullptr;

TEST_F(PlanetScriptTest, GalaxyWorkerWaitsWhileAScriptHoldsTheList) {
  auto* counting = static_cast<galaxytest::CountingSystem*>(system_);
  objHabitation* planet = makePlanet(red, 2.0f, 1);
  startSystemThreads(1);
  ASSERT_TRUE(stepWorkers(0.05));  // the worker runs
  const int ticksBefore = counting->ticks.load();
  ASSERT_GT(ticksBefore, 0);
  ticksSeen = &counting->ticks;
  struct Step {
    // Starts a worker step on another thread; true while the system has
    // not ticked by the time the step would have reached it.
    static bool startStepAndSeeItWait() {
      stepDone = false;
      const int ticks = ticksSeen->load();
      stepper = new std::thread([] {
        stepDone = workersteps::stepWorkers(0.05);
      });
      // The worker is held at the system lock: it cannot tick the system
      // however long it is given. A short look only gives it a chance.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return ticksSeen->load() == ticks && !stepDone.load();
    }
  };
  ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("bool startStepAndSeeItWait()",
                                                       asFUNCTION(Step::startStepAndSeeItWait), asCALL_CDECL),
            0);
  EXPECT_EQ(server(R"(
  PlanetStructureList list;
  list.prepare(p);
  if (!startStepAndSeeItWait()) fail("the worker ran");)",
                   planet),
            "");
  ASSERT_NE(stepper, nullptr);
  stepper->join();
  delete stepper;
  stepper = nullptr;
  EXPECT_TRUE(stepDone.load());
  EXPECT_GT(counting->ticks.load(), ticksBefore);
  pauseSystemThreads();
}

}  // namespace
}  // namespace planet_script_test
