// The scoped walkers EmpireObjects and TreatyList, the fleet commander
// lookups of Empire and the clause descriptors, in server scripts; and a
// script on a galaxy worker that prepares EmpireObjects while it holds its
// system's lock, beside empire commands that walk the same empire's objects
// and take their systems' locks.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "core/locks.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/empire_commands.h"
#include "empire/treaty.h"
#include "empire/treaty_clause.h"
#include "script/script_engine.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "universe/objects/system_threads.h"
#include "universe/worker_steps.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/unit_ai.h"

namespace empire_objects_test {

using namespace AngelScript;

namespace {

const char kScript[] = R"(
string@ walk(Empire@ emp) {
  EmpireObjects objects;
  objects.prepare(emp);
  string names;
  for (Object@ obj = objects.getObject(); obj !is null; @obj = objects.getObject()) {
    names += obj.getName() + ";";
    objects.nextObject();
  }
  return names + "count " + objects.getCount() + (objects.nextObject() ? " more" : " end");
}
string@ commanders(Empire@ emp) {
  Object@ second = emp.getFleetCommander("Fleet 2");
  return (second is null ? "none" : second.getName()) + " " + emp.getFleetsCount() + " " +
         (emp.getFleetCommander(emp.getFleetsCount()) is null ? "past" : "found") + " " +
         (emp.getFleetCommander("Fleet 9") is null ? "absent" : "found") + " " +
         emp.getFleetCommander(0).getName();
}
string@ unprepared(Empire@ emp) {
  EmpireObjects objects;
  objects.getObject();
  return "no exception";
}
string@ messages(Empire@ emp) {
  TreatyList list;
  list.prepare(emp);
  string topics;
  for (DiploMsg@ msg = list.getMessage(); msg !is null; @msg = list.getMessage()) {
    topics += int(msg.getTopic()) + ";";
    list.advanceMessage();
  }
  return topics;
}
string@ answer(Empire@ emp) {
  TreatyList list;
  list.prepare(emp);
  list.setAcceptance(getEmpire(0) is emp ? getEmpire(1) : getEmpire(0), true);
  return "answered";
}
string@ retract(Empire@ emp) {
  TreatyList list;
  list.prepare(emp);
  list.retract(getEmpire(0) is emp ? getEmpire(1) : getEmpire(0));
  return "retracted";
}
string@ lookups(Empire@ emp) {
  TreatyList list;
  list.prepare(emp);
  return (list.getProposedTreaty(emp) is null ? "self null" : "self found") + " " +
         (list.getTreaty(list.getTreatyCount()) is null ? "past null" : "past found");
}
string@ clauses(Empire@ emp) {
  string ids;
  for (uint i = 0; i < getClauseDescCount(); ++i)
    ids += getClauseDesc(i).id + ";";
  const ClauseDesc@ peace = getClauseDesc("peace");
  return ids + " " + peace.name + " " + (getClauseDesc("nothing") is null ? "unknown null" : "unknown found");
}
// A galaxy worker's hook: prepares the owner's objects and reads them.
bool hook(Empire@ owner) {
  EmpireObjects objects;
  objects.prepare(owner);
  uint seen = 0;
  for (Object@ obj = objects.getObject(); obj !is null; @obj = objects.getObject()) {
    if (obj.getName().length() > 0)
      ++seen;
    objects.nextObject();
  }
  return seen == objects.getCount();
}
string@ clausePastCount(Empire@ emp) {
  getClauseDesc(getClauseDescCount());
  return "no exception";
}
)";

std::string readSource(const char* relative) {
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class EmpireObjectsTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    std::filesystem::copy_file(std::string(CORVANE_SOURCE_DIR) + "/data/Game Data/treaties.xml",
                               root_ / "Game Data/treaties.xml");
    std::ofstream(root_ / "Game Data/scripts/server/treaty_clauses.as", std::ios::binary)
        << readSource("data/Game Data/scripts/server/treaty_clauses.as");
    scriptapitest::setUpScriptsOfWorkingFolder();
    module_ = serverScriptEngine->GetModule("walkers", asGM_ALWAYS_CREATE);
    module_->AddScriptSection("walkers", kScript);
    ASSERT_GE(module_->Build(), 0);
  }
  void TearDown() override {
    ScriptedGalaxyTest::TearDown();
    clearTreatyClauses();
  }

  std::string run(const char* declaration, empire* emp) { return scriptapitest::call(module_, declaration, emp); }

  // An object of `emp` in `system`, listed among the empire's objects.
  generic_object* place(empire* emp, solarSystem* system, int type, const wchar_t* name) {
    auto* object = new TestObject(emp, type, name);
    object->setContainer(system);
    emp->registerObject(object);
    return object;
  }

  // A treaty from `from` to `to`, proposed to both.
  ITreaty* propose(empire* from, empire* to) {
    auto* treaty = new CTreaty(from, to);
    EXPECT_TRUE(from->setProposedTreaty(to, treaty));
    EXPECT_TRUE(to->setProposedTreaty(from, treaty));
    treaty->release();
    return treaty;
  }

  asIScriptModule* module_ = nullptr;
};

TEST_F(EmpireObjectsTest, AWalkGivesEachObjectOnce) {
  EXPECT_EQ(run("string@ walk(Empire@)", blue), "count 0 end");

  solarSystem* system = addSystems(1).front();
  place(red, system, OT_Planet, L"Home");
  place(red, system, OT_Hulled, L"First");
  place(red, system, OT_Hulled, L"Second");
  const std::string walked = run("string@ walk(Empire@)", red);
  std::multiset<std::string> names;
  std::string::size_type from = 0;
  for (std::string::size_type at; (at = walked.find(';', from)) != std::string::npos; from = at + 1)
    names.insert(walked.substr(from, at - from));
  EXPECT_EQ(names, (std::multiset<std::string>{"Home", "First", "Second"}));
  EXPECT_EQ(walked.substr(from), "count 3 end");

  EXPECT_EQ(run("string@ unprepared(Empire@)", red), "exception: Attempted to access invalid object list");
}

TEST_F(EmpireObjectsTest, FleetCommandersByNameAndIndex) {
  solarSystem* system = addSystems(1).front();
  for (const wchar_t* name : {L"Flagship", L"Escort"}) {
    generic_object* ship = place(red, system, OT_Hulled, name);
    auto* unit = new UnitAI(ship, false);
    auto* fleet = new FleetAI(unit);
    unit->drop();
    red->addFleet(fleet);
    ship->setAI(fleet);
    fleet->release();  // the making reference: the ship and the table hold it
  }
  EXPECT_EQ(run("string@ commanders(Empire@)", red), "Escort 2 past absent Flagship");
}

TEST_F(EmpireObjectsTest, TreatyListMessagesOldestFirst) {
  {
    ScopedWriteLock guard(red->locks[EA_Treaties]);
    red->diplomacyMessages.push_back(new DiploMsg(DT_Peace, blue));
    red->diplomacyMessages.push_back(new DiploMsg(DT_War, blue));
  }
  EXPECT_EQ(run("string@ messages(Empire@)", red),
            std::to_string(int(DT_Peace)) + ";" + std::to_string(int(DT_War)) + ";");
  EXPECT_EQ(run("string@ messages(Empire@)", blue), "");
}

TEST_F(EmpireObjectsTest, TreatyListAnswersAndRetractsOnlyItsOwnSide) {
  ITreaty* offer = propose(red, blue);
  // Red cannot answer its own proposal, nor can blue retract it.
  EXPECT_EQ(run("string@ answer(Empire@)", red), "answered");
  EXPECT_EQ(offer->getState(), uint32_t(TS_Proposed));
  EXPECT_EQ(run("string@ retract(Empire@)", blue), "retracted");
  EXPECT_EQ(red->getProposedTreaty(blue), offer);
  // Blue answers it.
  EXPECT_EQ(run("string@ answer(Empire@)", blue), "answered");
  EXPECT_EQ(offer->getState(), uint32_t(TS_Accepted));
  EXPECT_EQ(run("string@ lookups(Empire@)", red), "self null past null");

  // Red withdraws a proposal of its own.
  blue->setProposedTreaty(red, nullptr);
  red->setProposedTreaty(blue, nullptr);
  propose(red, blue);
  EXPECT_EQ(run("string@ retract(Empire@)", red), "retracted");
  EXPECT_EQ(red->getProposedTreaty(blue), nullptr);
}

TEST_F(EmpireObjectsTest, ShippedClauseDescriptors) {
  std::string ids;
  for (uint32_t i = 0; i < getClauseDescriptorCount(); ++i)
    ids += irr::core::stringc(getClauseDescriptor(i)->id->toStringw()).c_str() + std::string(";");
  ASSERT_FALSE(ids.empty());
  // The script walks the ids in sorted order.
  std::vector<std::string> walked;
  for (std::string::size_type from = 0, at; (at = ids.find(';', from)) != std::string::npos; from = at + 1)
    walked.push_back(ids.substr(from, at - from));
  EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end())) << ids;
  EXPECT_EQ(run("string@ clauses(Empire@)", red), ids + " Peace unknown null");
  EXPECT_NE(ids.find("peace;"), std::string::npos);
  EXPECT_EQ(run("string@ clausePastCount(Empire@)", red),
            "exception: Out-of-bounds index when getting clause descriptor");
}

// A system whose tick, while its worker holds the system's lock, runs the
// hook for `owner` once the main thread holds the owner's objects area, as
// an empire command does while it waits for this system.
class HookedSystem : public solarSystem {
 public:
  void tick(float seconds) override {
    empire* emp = owner.load();
    if (emp != nullptr) {
      ticksStarted.fetch_add(1);
      workersteps::waitFor([&] { return emp->locks[EA_Objects].readers.load() > 0 || stop.load(); }, 60);
      asIScriptContext* context = createScriptContext(serverScriptEngine);
      context->Prepare(hookFunction);
      context->SetArgObject(0, emp);
      if (context->Execute() != asEXECUTION_FINISHED || context->GetReturnByte() == 0)
        failed.fetch_add(1);
      context->Release();
      ticksEnded.fetch_add(1);
    }
    solarSystem::tick(seconds);
  }

  std::atomic<empire*> owner{nullptr};
  asIScriptFunction* hookFunction = nullptr;
  std::atomic<bool> stop{false};
  std::atomic<int> ticksStarted{0};
  std::atomic<int> ticksEnded{0};
  std::atomic<int> failed{0};
};

TEST_F(EmpireObjectsTest, AWorkerHookPreparesObjectsBesideEmpireCommands) {
  constexpr int kRounds = 1000;
  auto* system = new HookedSystem();
  system->setContainer(galaxy);
  generic_object* planet = place(red, system, OT_Planet, L"Home");
  place(red, system, OT_Hulled, L"Scout");
  system->hookFunction = module_->GetFunctionByDecl("bool hook(Empire@)");
  ASSERT_NE(system->hookFunction, nullptr);
  gameTime = 0.0;
  startSystemThreads(1);
  ASSERT_TRUE(workersteps::waitForWorkersRunning());
  system->owner = red;

  bool missedTick = false;
  for (int i = 0; i < kRounds && !missedTick; ++i) {
    const int before = system->ticksStarted.load();
    gameTime = gameTime + 1.0;
    cutSystemThreadRests();
    missedTick = !workersteps::waitFor([&] { return system->ticksStarted.load() > before; });
    // The objects area, then each object's system: the worker holds it.
    GiveSuppliesCommand command(planet, L"Metals", false);
    command.execute(red);
  }
  system->stop = true;
  system->owner = nullptr;

  EXPECT_FALSE(missedTick);
  EXPECT_EQ(system->failed.load(), 0);
  EXPECT_TRUE(workersteps::waitFor([&] { return system->ticksEnded.load() >= kRounds; }));
}

}  // namespace

}  // namespace empire_objects_test
