// The system search of server scripts over a galaxy of five systems at
// x = 0, 1000, ... 4000, threaded and single-threaded. The scoring
// functions read each system's statistic of the first empire of the
// settings (Red), which a case sets per system: "score" in the calling
// module reads "score", "ai::score" reads "aiScore".
#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "scriptapi/system_search.h"
#include "universe/objects/solar_system.h"

namespace system_search_test {

using namespace AngelScript;

namespace {

const char kAiModule[] = R"(
float score(SysSearchSettings& s, const SysStats& stats) {
  return stats.getStat(s.getEmpire(0), "aiScore");
}
)";

const char kCallerFunctions[] = R"(
float score(SysSearchSettings& s, const SysStats& stats) {
  return stats.getStat(s.getEmpire(0), "score");
}
float probe(SysSearchSettings& s, const SysStats& stats) {
  return stats.getStat(s.getEmpire(1), "x");
}
float gated(SysSearchSettings& s, const SysStats& stats) {
  gate();
  return 1;
}
string@ best(SysSearchSettings& s) {
  if (!awaitSearch(s))
    return "unfinished";
  System@ found = s.getBestSystem();
  for (uint i = 0; i < getSystemCount(); ++i)
    if (found is getSystem(i))
      return "system " + i;
  return found is null ? "none" : "another";
}
string@ search(const string &in callback, int avoid, bool positioned, float x) {
  SysSearchSettings s;
  s.addEmpire(getEmpireByID(1));
  s.addEmpire(getEmpireByID(2));
  if (callback != "")
    s.setCallback(callback);
  if (avoid >= 0)
    s.setAvoidSystem(getSystem(avoid));
  if (positioned)
    s.setSearchPos(vector(x, 0, 0));
  s.findBestSystem();
  return best(s);
}
string@ probed() { return search("probe", -1, false, 0); }
string@ weights() {
  SysSearchSettings s;
  s[0] = 1;
  s[1] = 1;
  s[2] = 1;
  s[3] = 2.0;
  return s[0] == 1 && s[1] == 1 && s[2] == 1 && s[3] == 2 ? "the last only" : "others changed";
}
string@ fifthWeight() {
  SysSearchSettings s;
  s[4] = 1;
  return "written";
}
string@ copied() {
  SysSearchSettings s;
  s.addEmpire(getEmpireByID(1));
  s.setCallback("score");
  s.findBestSystem();
  string@ own = best(s);
  SysSearchSettings copy;
  copy = s;
  return own + ", copy: " + (copy.searchFinished ? "finished" : "no search") +
         (copy.getBestSystem() is null ? ", no best, " : ", a best, ") + copy.empireCount;
}
string@ replaced() {
  SysSearchSettings s;
  s.addEmpire(getEmpireByID(1));
  s.setCallback("gated");
  s.findBestSystem();
  if (!awaitGateEntered())
    return "never gated";
  s.setCallback("score");
  s.findBestSystem();
  openGate();
  return best(s);
}
string@ waitingLock() {
  SysObjList list;
  list.prepare(getSystem(0));
  {
    SysSearchSettings s;
    s.addEmpire(getEmpireByID(1));
    s.setCallback("score");
    s.findBestSystem();
    if (!awaitWaiter(getSystem(0)))
      return "the worker never waited";
    startClock();
  }
  stopClock();
  return "left the scope";
}
)";

struct SearchCase {
  const char* callback;  // "" for none
  int avoid;             // -1 for none
  bool positioned;
  float x;
  float scores[5];  // "score" of each system
  const char* expected;
};

const SearchCase kCases[] = {
    {"", -1, false, 0, {1, 1, 1, 1, 1}, "none"},
    {"score", -1, false, 0, {0, -1, 0, -2, 0}, "none"},
    {"score", -1, false, 0, {1, 3, 0, 3, 2}, "system 1"},  // a tie: the lower index
    {"score", -1, true, 2900, {1, 1, 1, 1, 1}, "system 3"},
    {"score", -1, true, 2000, {1, 1, 1, 1, 1e30f}, "system 2"},  // right at the point
    {"score", 2, false, 0, {0, 0, 5, 0, 0}, "none"},
    {"score", 2, false, 0, {1, 0, 5, 0, 0}, "system 0"},
    {"ai::score", -1, false, 0, {1, 0, 0, 0, 0}, "system 3"},
    {"missing", -1, false, 0, {1, 1, 1, 1, 1}, "none"},
    {"nomodule::score", -1, false, 0, {1, 1, 1, 1, 1}, "none"},
};
constexpr float kAiScores[5] = {0, 0, 0, 4, 0};

// The gate of "gated": the worker waits in it until the test opens it.
std::atomic<int> gateEntries{0};
std::atomic<bool> gateOpen{false};
std::chrono::steady_clock::time_point clockStart;
std::chrono::steady_clock::duration scopeExit{};

void gate() {
  gateEntries.fetch_add(1);
  workersteps::waitFor([] { return gateOpen.load(); });
}
bool awaitGateEntered() {
  return workersteps::waitFor([] { return gateEntries.load() > 0; });
}
void openGate() { gateOpen.store(true); }
bool awaitSearch(const void* slot) {
  const SysSearchSettings& settings = settingsInSlot(slot);
  return workersteps::waitFor([&settings] { return settings.searchFinished(); });
}
bool awaitWaiter(solarSystem* system) {
  return workersteps::waitFor([system] { return system->waiters.load() > 0; });
}
void startClock() { clockStart = std::chrono::steady_clock::now(); }
void stopClock() { scopeExit = std::chrono::steady_clock::now() - clockStart; }

std::string callerModule() {
  std::ostringstream code;
  code << kCallerFunctions;
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    const SearchCase& c = kCases[i];
    code << "string@ case" << i << "() { return search(\"" << c.callback << "\", " << c.avoid << ", "
         << (c.positioned ? "true" : "false") << ", " << c.x << "); }\n";
  }
  return code.str();
}

class SystemSearchTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    systems_ = addSystems(5);
    for (size_t i = 0; i < systems_.size(); ++i)
      setScore(i, L"aiScore", kAiScores[i]);
    gateEntries.store(0);
    gateOpen.store(false);

    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    const struct {
      const char* declaration;
      asSFuncPtr function;
    } globals[] = {
        {"void gate()", asFUNCTION(gate)},
        {"bool awaitGateEntered()", asFUNCTION(awaitGateEntered)},
        {"void openGate()", asFUNCTION(openGate)},
        {"bool awaitSearch(SysSearchSettings&)", asFUNCTION(awaitSearch)},
        {"bool awaitWaiter(System@+)", asFUNCTION(awaitWaiter)},
        {"void startClock()", asFUNCTION(startClock)},
        {"void stopClock()", asFUNCTION(stopClock)},
    };
    for (const auto& global : globals)
      ASSERT_GE(serverScriptEngine->RegisterGlobalFunction(global.declaration, global.function, asCALL_CDECL), 0)
          << global.declaration;
    ASSERT_NE(build("ai", kAiModule), nullptr);
    caller_ = build("caller", callerModule());
    ASSERT_NE(caller_, nullptr);
  }
  void TearDown() override {
    gateOpen.store(true);
    singleThreaded = false;
    ScriptedGalaxyTest::TearDown();
  }

  static asIScriptModule* build(const char* name, const std::string& code) {
    asIScriptModule* module = serverScriptEngine->GetModule(name, asGM_ALWAYS_CREATE);
    module->AddScriptSection(name, code.c_str(), code.size());
    return module->Build() >= 0 ? module : nullptr;
  }

  void setScore(size_t system, const wchar_t* name, float value) {
    statValue(getEmpireStats(*systems_[system]->systemStats, red), name) = value;
  }

  std::vector<galaxytest::CountingSystem*> systems_;
  asIScriptModule* caller_ = nullptr;
};

class SystemSearchModesTest : public SystemSearchTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    SystemSearchTest::SetUp();
    singleThreaded = GetParam();
  }
};

TEST_P(SystemSearchModesTest, FindsTheBestSystemByTable) {
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    const SearchCase& c = kCases[i];
    SCOPED_TRACE("case " + std::to_string(i) + ": " + c.callback);
    for (size_t s = 0; s < systems_.size(); ++s)
      setScore(s, L"score", c.scores[s]);
    const std::string declaration = "string@ case" + std::to_string(i) + "()";
    EXPECT_EQ(scriptapitest::call(caller_, declaration.c_str()), c.expected);
  }
}

TEST_P(SystemSearchModesTest, AStatisticOfAnEmpireWithoutARecordIsZeroAndLeavesAnEmptyRecord) {
  // The probe reads Blue's "x", which no system records.
  EXPECT_EQ(scriptapitest::call(caller_, "string@ probed()"), "none");
  for (galaxytest::CountingSystem* system : systems_) {
    StatsList& table = *system->systemStats;
    bool found = false;
    for (irr::u32 k = 0; k < table.size(); ++k)
      if (table[k].emp == blue) {
        found = true;
        EXPECT_EQ(table[k].values->size(), 0u);
      }
    EXPECT_TRUE(found) << "no record for Blue";
  }
}

TEST_P(SystemSearchModesTest, WeightsAndCopies) {
  for (size_t s = 0; s < systems_.size(); ++s)
    setScore(s, L"score", s == 4 ? 1.0f : 0.0f);
  EXPECT_EQ(scriptapitest::call(caller_, "string@ weights()"), "the last only");
  EXPECT_EQ(scriptapitest::call(caller_, "string@ fifthWeight()"),
            "exception: Out-of-bounds when accessing SysSearchSettings value set");
  EXPECT_EQ(scriptapitest::call(caller_, "string@ copied()"), "system 4, copy: no search, no best, 1");
}

INSTANTIATE_TEST_SUITE_P(Modes, SystemSearchModesTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "SingleThreaded" : "Threaded";
                         });

// A second search while the first runs: the first worker stops at its next
// system and only the second result is seen.
TEST_F(SystemSearchTest, ASecondSearchCancelsTheFirst) {
  for (size_t s = 0; s < systems_.size(); ++s)
    setScore(s, L"score", s == 4 ? 1.0f : 0.0f);
  EXPECT_EQ(scriptapitest::call(caller_, "string@ replaced()"), "system 4");
  EXPECT_EQ(gateEntries.load(), 1);
}

// The script holds the lock of the system the worker waits for when its
// settings value goes: the worker gives up and the scope ends.
TEST_F(SystemSearchTest, ASettingsValueGoesWhileItsWorkerWaitsForALockTheScriptHolds) {
  for (size_t s = 0; s < systems_.size(); ++s)
    setScore(s, L"score", 1.0f);
  workersteps::Watchdog watchdog("the waiting-lock search", std::chrono::seconds(120));
  EXPECT_EQ(scriptapitest::call(caller_, "string@ waitingLock()"), "left the scope");
  EXPECT_EQ(systems_[0]->lock->depth(), 0u);
  std::printf("The settings value went %.1f ms after the scope ended.\n",
              std::chrono::duration<double, std::milli>(scopeExit).count());
}

}  // namespace

}  // namespace system_search_test
