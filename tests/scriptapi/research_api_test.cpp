// The research API of scripts over the shipped technologies: the web's
// rows, the descriptor and item readers, the client's view of link ends,
// and a main-thread script holding a prepared web while a galaxy worker
// changes the empire's research rate under its system's lock.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "script/script_engine.h"
#include "scripted_galaxy.h"
#include "universe/objects/system_threads.h"
#include "universe/worker_steps.h"

namespace research_api_test {

using namespace AngelScript;
using irr::core::stringw;
using scriptapitest::call;

namespace {

// Every row of ResearchWeb but prepare, on an unbound web.
const char* const kUnboundCalls[] = {
    "web.getVisibleCount();",
    "web.getResearchRate();",
    "web.setResearchRate(1);",
    "web.setActiveTech(\"Science\");",
    "web.setActiveTech(science);",
    "web.setActiveTech(\"Science\", 0);",
    "web.setActiveTech(science, 0);",
    "int link; web.getActiveTech(link);",
    "web.isTechVisible(\"Science\");",
    "web.isTechVisible(science);",
    "web.getItem(\"Science\");",
    "web.getItem(science);",
    "web.addPoints(\"Science\", 1);",
    "web.addPoints(science, 1);",
    "web.markAsVisible(\"Science\");",
};

std::string unboundModule() {
  std::string source;
  for (std::size_t i = 0; i < std::size(kUnboundCalls); ++i)
    source += "string@ unbound" + std::to_string(i) +
              "(Empire@ emp) {\n  const WebItemDesc@ science = getWebItemDesc(\"Science\");\n  ResearchWeb web;\n  " +
              kUnboundCalls[i] + "\n  return \"no exception\";\n}\n";
  return source;
}

const char kScript[] = R"(
string@ hiddenItem(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  return (web.isTechVisible("Industry") ? "visible " : "hidden ") +
         (web.getItem("Industry") is null ? "null" : "item");
}
string@ targets(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  const WebItemDesc@ science = getWebItemDesc("Science");
  web.setActiveTech(science, 0);
  int link = 7;
  const WebItem@ active = web.getActiveTech(link);
  string text = (active is web.getItem(science) ? "science " : "other ") + link;
  web.setActiveTech(science);
  @active = web.getActiveTech(link);
  return text + " " + link;
}
string@ addPoint(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  bool gained = web.addPoints("Science", 1);
  return (gained ? "gained " : "none ") + web.getItem("Science").level;
}
string@ reveal(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  web.markAsVisible("Industry");
  return web.isTechVisible("Industry") ? "visible" : "hidden";
}
string@ descriptor(Empire@ emp) {
  const WebItemDesc@ industry = getWebItemDesc("Industry");
  return industry.getLinkName(3) + " " + industry.getLinkName(0) + " " + industry.position.x + "," +
         industry.position.y + " " + industry.name + " " +
         (getWebItemDesc(getWebItemDescCount()) is null ? "past null" : "past found");
}
)";

const char kClientScript[] = R"(
string@ ends(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  const WebItem@ science = web.getItem("Science");
  const WebItem@ possible = science.getPossibleLinkEnd(0);
  return (science.getLinkEnd(0) is null ? "unpaid null" : "unpaid end") + " " +
         (possible is null ? "none" : possible.descriptor.id);
}
)";

// The main thread's side of the lock test.
const char kHolderScript[] = R"(
bool round(Empire@ emp, uint objectID) {
  ResearchWeb web;
  web.prepare(emp);
  double before = web.getResearchRate();
  awaitSystemTick();
  // The worker holds the system now, and changes the rate under it.
  Object@ probe = getObjectByID(objectID);
  return probe.getName() == "Probe" && web.getResearchRate() > before;
}
)";

// A system whose tick changes `target`'s research rate while its worker
// holds the system's lock, as the research effects do.
class ResearchingSystem : public solarSystem {
 public:
  void tick(float seconds) override {
    empire* emp = target.load();
    if (emp != nullptr) {
      ticksStarted.fetch_add(1);
      emp->modResearchRate(1.0f);
      ticksEnded.fetch_add(1);
    }
    solarSystem::tick(seconds);
  }

  std::atomic<empire*> target{nullptr};
  std::atomic<int> ticksStarted{0};
  std::atomic<int> ticksEnded{0};
};

ResearchingSystem* researching = nullptr;
std::atomic<bool> missedTick{false};

void awaitSystemTick() {
  const int before = researching->ticksStarted.load();
  gameTime = gameTime + 1.0;
  cutSystemThreadRests();
  if (!workersteps::waitFor([&] { return researching->ticksStarted.load() > before; }))
    missedTick = true;
}

class ResearchApiTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    const std::filesystem::path shipped = std::filesystem::path(CORVANE_SOURCE_DIR) / "data/Game Data/Technologies";
    std::filesystem::copy(shipped, root_ / "Game Data/Technologies");
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(research::getWebItemDesc(stringw(L"Industry")), nullptr);
    // Red's web, made again now that the technologies are loaded.
    delete red->researchWeb;
    red->researchWeb = research::createResearchWeb(red);
    red->researchWeb->initialise(red);
    activeEmpire = red;
    serverScriptEngine->RegisterGlobalFunction("void awaitSystemTick()", asFUNCTION(awaitSystemTick), asCALL_CDECL);
    module_ = build(serverScriptEngine, "research_api", (std::string(kScript) + unboundModule()).c_str());
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    researching = nullptr;
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
    research::clearWebItemDescs();
  }

  static asIScriptModule* build(asIScriptEngine* engine, const char* name, const char* source) {
    asIScriptModule* module = engine->GetModule(name, asGM_ALWAYS_CREATE);
    module->AddScriptSection(name, source);
    return module->Build() >= 0 ? module : nullptr;
  }

  research::IWebItem* item(const wchar_t* id) const {
    return red->researchWeb->getItem(research::getWebItemDesc(stringw(id)));
  }

  asIScriptModule* module_ = nullptr;
};

TEST_F(ResearchApiTest, EveryRowRefusesAnUnboundWeb) {
  for (std::size_t i = 0; i < std::size(kUnboundCalls); ++i) {
    SCOPED_TRACE(kUnboundCalls[i]);
    const std::string declaration = "string@ unbound" + std::to_string(i) + "(Empire@)";
    EXPECT_EQ(call(module_, declaration.c_str(), red), "exception: ResearchWeb needs prepared before use");
  }
  int link = 0;
  EXPECT_EQ(red->researchWeb->getActiveTech(link), nullptr);
  EXPECT_EQ(red->researchWeb->getResearchRate(), 0.0);
}

TEST_F(ResearchApiTest, TargetsItemsAndVisibility) {
  // Industry has an item, but is hidden.
  ASSERT_NE(item(L"Industry"), nullptr);
  EXPECT_EQ(call(module_, "string@ hiddenItem(Empire@)", red), "hidden null");
  EXPECT_EQ(call(module_, "string@ targets(Empire@)", red), "science 0 -1");

  // One point short of Science's next level.
  float level = 0, progress = 0, cost = 0, maxLevel = 0;
  item(L"Science")->getLevels(level, progress, cost, maxLevel);
  {
    empire::AreaGuard guard;
    red->lockArea(guard, EA_ResearchWeb, true);
    item(L"Science")->addPoints(cost - progress - 1.0f, red);
  }
  EXPECT_EQ(call(module_, "string@ addPoint(Empire@)", red), "gained " + std::to_string(int(level) + 1));

  EXPECT_EQ(call(module_, "string@ reveal(Empire@)", red), "visible");
}

TEST_F(ResearchApiTest, DescriptorReaders) {
  EXPECT_EQ(call(module_, "string@ descriptor(Empire@)", red), "Hunch Guess 4,-1 Industry past null");
}

TEST_F(ResearchApiTest, AClientSeesOnlyPaidLinkEnds) {
  asIScriptModule* client = build(clientScriptEngine, "research_client", kClientScript);
  ASSERT_NE(client, nullptr);
  research::IWebItem* science = item(L"Science");
  ASSERT_NE(science->getPossibleLinkEnd(0), nullptr);
  float paid = 1, cost = 0;
  science->getLinkLevels(0, paid, cost);
  ASSERT_LT(paid, cost);
  const std::string end = irr::core::stringc(science->getPossibleLinkEnd(0)->getDescriptor()->getId()).c_str();
  EXPECT_EQ(call(client, "string@ ends(Empire@)", red), "unpaid null " + end);
}

// The script keeps its web prepared while it waits for the worker's system;
// the worker takes the research-web area under that system's lock.
TEST_F(ResearchApiTest, AHeldWebBesideAWorkerThatChangesTheRate) {
  constexpr int kRounds = 1000;
  asIScriptModule* module = build(serverScriptEngine, "holder", kHolderScript);
  ASSERT_NE(module, nullptr);
  asIScriptFunction* round = module->GetFunctionByDecl("bool round(Empire@, uint)");
  ASSERT_NE(round, nullptr);

  auto* system = new ResearchingSystem();
  system->setContainer(galaxy);
  auto* probe = new TestObject(red, OT_Generic, L"Probe");
  probe->setContainer(system);
  researching = system;
  missedTick = false;
  gameTime = 0.0;
  startSystemThreads(1);
  ASSERT_TRUE(workersteps::waitForWorkersRunning());
  system->target = red;

  int failed = 0;
  for (int i = 0; i < kRounds && !missedTick.load(); ++i) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(round);
    context->SetArgObject(0, red);
    context->SetArgDWord(1, probe->uid);
    if (context->Execute() != asEXECUTION_FINISHED || context->GetReturnByte() == 0)
      ++failed;
    context->Release();
  }
  system->target = nullptr;

  EXPECT_FALSE(missedTick.load());
  EXPECT_EQ(failed, 0);
  EXPECT_GE(red->getResearchRate(), double(kRounds));
}

}  // namespace

}  // namespace research_api_test
