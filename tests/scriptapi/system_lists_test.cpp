// The system lists of scripts (SysObjList, SystemStats, GalaxySystemList)
// and the galaxy globals, over two star systems: the first holds a star and
// a comet, and the active empire Red sees it or not as a case says. A list
// holds its system's lock while it is prepared, so that system's galaxy
// worker waits for it.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "empire/empire.h"
#include "script/script_engine.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "scriptapi/system_lists.h"
#include "support/log_capture.h"
#include "universe/objects/oddity.h"
#include "universe/objects/star.h"
#include "universe/objects/system_threads.h"

namespace system_lists_test {

using namespace AngelScript;

namespace {

const char kListsModule[] = R"(
string@ listed() {
  SysObjList list;
  list.prepare(getSystem(0));
  list.prepare(getSystem(0));
  uint depth = lockDepth(getSystem(0));
  string@ text = "children " + list.childCount + ":";
  for (uint i = 0; i < list.childCount; ++i)
    text += " " + list.getChild(i).uid;
  SystemStats stats;
  stats.prepare(getSystem(0));
  stats.prepare(getSystem(0));
  text += stats.visible ? ", visible" : ", unexplored";
  text += ", depth " + depth;
  return text;
}
string@ firstChild() {
  SysObjList list;
  list.prepare(getSystem(0));
  Object@ child = list.getChild(0);
  return "a child";
}
string@ stats() {
  SystemStats stats;
  stats.prepare(getSystem(0));
  bool read = stats.getStat(getEmpireByID(1), "Prs") == 2.5 && stats.getStat(null, "Prs") == 7;
  return read && stats.getStat(getEmpireByID(1), "Never") == 0 ? "stats read" : "stats wrong";
}
string@ removedChild() {
  SysObjList list;
  list.prepare(getSystem(0));
  moveLastChildAway(getSystem(0), getSystem(1));
  Object@ child = list.getChild(list.childCount - 1);
  return "the moved child";
}
string@ held() {
  SysObjList list;
  list.prepare(getSystem(0));
  return workerWaitsFor(getSystem(0), getSystem(1)) ? "waited" : "ran";
}
string@ galaxyGlobals() {
  Galaxy@ g = getGalaxy();
  return (g is null ? "no galaxy" : "a galaxy") + ", " + getSystemCount() + " systems";
}
string@ systemPastTheEnd() {
  System@ s = getSystem(getSystemCount());
  return s is null ? "null" : "a system";
}
string@ galaxySystemPastTheEnd() {
  System@ s = getGalaxy().getSystem(getSystemCount());
  return s is null ? "null" : "a system";
}
string@ deprecatedLists() {
  GalaxySystemList first;
  GalaxySystemList second;
  first.prepare(getGalaxy());
  return first.childCount + " " + second.childCount + (second.getChild(1) is getSystem(1) ? " same" : " other");
}
)";

uint32_t lockDepth(solarSystem* system) { return system->lock->depth(); }

void moveLastChildAway(solarSystem* from, solarSystem* to) {
  generic_object* child = from->children[from->children.size() - 1];
  child->setContainer(to);
}

// While the caller holds `held`: the game moves on and the worker ticks
// `other` (after `held` in its share) but not `held`.
bool workerWaitsFor(solarSystem* held, solarSystem* other) {
  auto* waiting = static_cast<galaxytest::CountingSystem*>(held);
  auto* running = static_cast<galaxytest::CountingSystem*>(other);
  const int heldTicks = waiting->ticks.load();
  const int otherTicks = running->ticks.load();
  gameTime = gameTime + 0.0625;
  cutSystemThreadRests();
  const bool otherRan = workersteps::waitFor([&] { return running->ticks.load() > otherTicks; });
  return otherRan && waiting->ticks.load() == heldTicks;
}

class SystemListsTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    systems_ = addSystems(2);
    star_ = new objStar(systems_[0], nullptr);
    star_->setContainer(systems_[0]);
    comet_ = new objOddity(nullptr, ODT_Comet);
    comet_->setContainer(systems_[0]);
    activeEmpire = red;
    statValue(getEmpireStats(*systems_[0]->systemStats, red), L"Prs") = 2.5f;
    statValue(getEmpireStats(*systems_[0]->systemStats, getEmpireByID(static_cast<EmpireID>(-1))), L"Prs") = 7.0f;

    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    const struct {
      const char* declaration;
      asSFuncPtr function;
    } globals[] = {
        {"uint lockDepth(System@+)", asFUNCTION(lockDepth)},
        {"void moveLastChildAway(System@+, System@+)", asFUNCTION(moveLastChildAway)},
        {"bool workerWaitsFor(System@+, System@+)", asFUNCTION(workerWaitsFor)},
    };
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
      for (const auto& global : globals)
        ASSERT_GE(engine->RegisterGlobalFunction(global.declaration, global.function, asCALL_CDECL), 0);
      modules_.push_back(build(engine, "lists", kListsModule));
      ASSERT_NE(modules_.back(), nullptr);
    }
  }
  void TearDown() override {
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
  }

  asIScriptModule* module(bool server) const { return modules_[server ? 0 : 1]; }

  static asIScriptModule* build(asIScriptEngine* engine, const char* name, const std::string& code) {
    asIScriptModule* built = engine->GetModule(name, asGM_ALWAYS_CREATE);
    built->AddScriptSection(name, code.c_str(), code.size());
    return built->Build() >= 0 ? built : nullptr;
  }

  std::string allChildren() const {
    return "children 2: " + std::to_string(star_->uid) + " " + std::to_string(comet_->uid);
  }

  std::vector<galaxytest::CountingSystem*> systems_;
  generic_object* star_ = nullptr;
  generic_object* comet_ = nullptr;
  std::vector<asIScriptModule*> modules_;
};

// What each engine's lists show of a system that Red has explored or not.
TEST_F(SystemListsTest, EachEngineShowsWhatItShould) {
  const char* const kUnexploredChild = "exception: Out-of-bounds index when getting system child";
  const char* const kUnexploredStats = "exception: Cannot access stats for unexplored system";
  const struct {
    bool server;
    bool explored;
    bool childrenShown;
    const char* firstChild;
    const char* stats;
  } cases[] = {
      {false, false, false, kUnexploredChild, kUnexploredStats},
      {false, true, true, "a child", "stats read"},
      {true, false, true, "a child", "stats read"},
      {true, true, true, "a child", "stats read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.server ? "server" : "client") + (c.explored ? ", explored" : ", unexplored"));
    systems_[0]->visibilityMask.store(c.explored ? red->ownBit : 0u);
    const std::string children = c.childrenShown ? allChildren() : "children 0:";
    EXPECT_EQ(scriptapitest::call(module(c.server), "string@ listed()"),
              children + (c.explored ? ", visible" : ", unexplored") + ", depth 1");
    EXPECT_EQ(systems_[0]->lock->depth(), 0u) << "the lists let the lock go";
    EXPECT_EQ(scriptapitest::call(module(c.server), "string@ firstChild()"), c.firstChild);
    EXPECT_EQ(scriptapitest::call(module(c.server), "string@ stats()"), c.stats);
  }
  // A value that was never recorded is added at 0.
  const Stats& record = getEmpireStats(*systems_[0]->systemStats, red);
  EXPECT_GE(PtrNamedVar<float>::find(*record.values, L"Never"), 0);
}

TEST_F(SystemListsTest, AChildMovedAwayMeanwhileIsPastTheEnd) {
  EXPECT_EQ(scriptapitest::call(module(true), "string@ removedChild()"),
            "exception: Out-of-bounds index when getting system child");
  EXPECT_EQ(systems_[1]->children.size(), 1u);
}

TEST_F(SystemListsTest, APreparedListHoldsItsSystemsWorkerUntilItGoes) {
  createEnvironment(galaxy, false);
  startSystemThreads(1);
  ASSERT_TRUE(stepWorkers(0.0625));
  const int ticks = systems_[0]->ticks.load();
  EXPECT_EQ(scriptapitest::call(module(true), "string@ held()"), "waited");
  EXPECT_TRUE(waitFor([&] { return systems_[0]->ticks.load() > ticks; })) << "the system never ran again";
}

TEST_F(SystemListsTest, GalaxyGlobalsAndTheDeprecatedList) {
  asIScriptModule* server = module(true);
  EXPECT_EQ(scriptapitest::call(server, "string@ galaxyGlobals()"), "a galaxy, 2 systems");
  EXPECT_EQ(scriptapitest::call(server, "string@ systemPastTheEnd()"),
            "exception: Out-of-bounds index when getting galaxy child");
  EXPECT_EQ(scriptapitest::call(server, "string@ galaxySystemPastTheEnd()"),
            "exception: Out-of-bounds index when getting galaxy child");

  systemlists::galaxySystemListLogged.store(false);
  LogCapture log;
  EXPECT_EQ(scriptapitest::call(server, "string@ deprecatedLists()"), "2 2 same");
  EXPECT_EQ(scriptapitest::call(module(false), "string@ deprecatedLists()"), "2 2 same");
  const std::string text = log.take();
  const std::string line = kGalaxySystemListDeprecation;
  EXPECT_EQ(text.find(line), text.rfind(line)) << text;
  EXPECT_NE(text.find(line), std::string::npos) << text;

  destroyGalaxy();
  EXPECT_EQ(scriptapitest::call(server, "string@ galaxyGlobals()"), "no galaxy, 0 systems");
  EXPECT_EQ(scriptapitest::call(server, "string@ systemPastTheEnd()"),
            "exception: Out-of-bounds index when getting galaxy child");
}

}  // namespace

}  // namespace system_lists_test
