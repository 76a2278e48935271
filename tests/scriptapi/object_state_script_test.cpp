// Resource states and combat stances in scripts: State's add and consume
// with their cargo overflow, State handles that outlive later additions
// while a galaxy thread adds states too, the state lookups by name and
// index with their misuse, what the client engine hides of other empires'
// states, and the stance in both engines (with the request a network
// client sends).
#include "scriptapi/object_natives.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "design/effects/resources.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_report.h"
#include "script/script_string.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/sent_messages.h"
#include "universe/galaxy_fixture.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace object_state_script_test {

using namespace AngelScript;

namespace {

// A ship that counts the releases of its weapons' targets.
class CountingShip : public objHulled {
 public:
  explicit CountingShip(empire* shipOwner) : objHulled(shipOwner, nullptr, nullptr) {}
  void clearEffectorTargets() override {
    ++targetReleases;
    objHulled::clearEffectorTargets();
  }
  int targetReleases = 0;
};

class ObjectStateScriptTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    system_ = addSystems(1).front();
    cargo_.canBeCargo = true;
    visible_.alwaysVisible = true;
    activeEmpire = red;
  }
  void TearDown() override {
    stopCapturingSends();
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
  }

  // An object in the system; it goes with the galaxy (which drops the
  // creator's reference).
  template <class T = TestObject, class... Args>
  T* make(Args... args) {
    T* object = new T(args...);
    object->setContainer(system_);
    return object;
  }

  static asIScriptModule* build(asIScriptEngine* engine, const std::string& code) {
    LogCapture log;
    asIScriptModule* module = engine->GetModule("test", asGM_ALWAYS_CREATE);
    module->AddScriptSection("test", code.c_str(), code.size());
    EXPECT_GE(module->Build(), 0) << log.take();
    return module;
  }

  // Runs `function` of `module` with the arguments set by `setArgs`: the
  // exception text, or "" when it finished.
  template <class SetArgs>
  static std::string run(asIScriptModule* module, const char* function, SetArgs setArgs) {
    asIScriptContext* context = createScriptContext(module->GetEngine());
    context->Prepare(module->GetFunctionByName(function));
    setArgs(context);
    const int result = context->Execute();
    std::string outcome;
    if (result == asEXECUTION_EXCEPTION)
      outcome = context->GetExceptionString() != nullptr ? context->GetExceptionString() : "?";
    else if (result != asEXECUTION_FINISHED)
      outcome = "result " + std::to_string(result);
    context->Release();
    return outcome;
  }

  solarSystem* system_ = nullptr;
  cargoData cargo_;
  cargoData visible_;
};

TEST_F(ObjectStateScriptTest, AddAndConsumeByTable) {
  asIScriptModule* module = build(serverScriptEngine, R"(
float result;
void add(State@ s, float amount, Object@ o) { result = s.add(amount, o); }
void consume(State@ s, float amount, Object@ o) { result = s.consume(amount, o); }
)");
  struct Amounts {
    float val, inCargo, cargoUsed;
  };
  const struct {
    const char* label;
    const char* function;
    float amount;
    bool cargo;            // the resource may be cargo
    Amounts before;        // max is 12, the hold's capacity `capacity`
    float capacity;
    Amounts after;
    float result;
  } cases[] = {
      {"add with room in the hold", "add", 5, true, {10, 0, 0}, 100, {12, 3, 3}, 5},
      {"add to a nearly full hold", "add", 5, true, {10, 0, 0}, 2, {12, 2, 2}, 4},
      {"add of what may not be cargo", "add", 5, false, {10, 0, 0}, 100, {12, 0, 0}, 2},
      {"add within the state", "add", 1.5f, true, {10, 0, 0}, 100, {11.5f, 0, 0}, 1.5f},
      {"consume from the cargo share", "consume", 4, true, {5, 10, 10}, 100, {5, 6, 6}, 4},
      {"consume the whole cargo share", "consume", 10, true, {5, 10, 10}, 100, {5, 0, 0}, 10},
      {"consume beyond everything", "consume", 20, true, {5, 10, 10}, 100, {-5, 0, 0}, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto* holder = make(red);
    holder->cargoSpace = c.capacity;
    holder->cargoUsed = c.before.cargoUsed;
    State* state = getOrAddObjectState(holder, L"Ore");
    state->value = {c.before.val, 12, 0, c.before.inCargo, c.cargo ? &cargo_ : defaultResource()};
    const int references = holder->refCount.load();
    EXPECT_EQ(run(module, c.function,
                  [&](asIScriptContext* context) {
                    context->SetArgObject(0, state);
                    context->SetArgFloat(1, c.amount);
                    context->SetArgObject(2, holder);
                  }),
              "");
    EXPECT_FLOAT_EQ(state->value.val, c.after.val);
    EXPECT_FLOAT_EQ(state->value.inCargo, c.after.inCargo);
    EXPECT_FLOAT_EQ(holder->cargoUsed, c.after.cargoUsed);
    EXPECT_FLOAT_EQ(*static_cast<float*>(module->GetAddressOfGlobalVar(0)), c.result);
    EXPECT_EQ(holder->refCount.load(), references) << "the handle's reference is given back";
  }

  // A null object stops the script and changes nothing.
  auto* holder = make(red);
  holder->cargoSpace = 100;
  State* state = getOrAddObjectState(holder, L"Ore");
  state->value = {10, 12, 0, 5, &cargo_};
  holder->cargoUsed = 5;
  for (const auto& [function, text] : {std::pair<const char*, const char*>{"add", "Null Object@ when adding a resource"},
                                       {"consume", "Null Object@ when consuming a resource"}}) {
    EXPECT_EQ(run(module, function,
                  [&](asIScriptContext* context) {
                    context->SetArgObject(0, state);
                    context->SetArgFloat(1, 1);
                    context->SetArgObject(2, nullptr);
                  }),
              text);
    EXPECT_EQ(state->value.val, 10);
    EXPECT_EQ(state->value.inCargo, 5);
    EXPECT_EQ(holder->cargoUsed, 5);
  }
}

// A handle taken first still reaches its own state after many additions
// that move the list's entries, while another thread adds states to the
// same object under the system's lock, as a galaxy worker would.
TEST_F(ObjectStateScriptTest, StateHandleOutlivesLaterAdditions) {
  asIScriptModule* module = build(serverScriptEngine, R"(
string@ outcome;
void grow(Object@ o) {
  State@ first = o.getState("A");
  first.val = 7;
  for (uint i = 0; i < 30; ++i)
    o.getState("S" + i).val = i;
  first.val += 1;
  @outcome = first.val == 8 && o.getState("A") is first ? "kept" : "moved";
}
)");
  auto* holder = make(red);
  std::atomic<bool> go{false};
  std::thread galaxyThread([&] {
    while (!go.load())
      std::this_thread::yield();
    for (int i = 0; i < 30; ++i) {
      holder->lockContainer();
      getOrAddObjectState(holder, irr::core::stringw(L"T") + irr::core::stringw(i));
      holder->unlockContainer();
    }
  });
  go = true;
  const std::string result = run(module, "grow", [&](asIScriptContext* context) { context->SetArgObject(0, holder); });
  galaxyThread.join();
  EXPECT_EQ(result, "");
  auto* outcome = *static_cast<ScriptString**>(module->GetAddressOfGlobalVar(0));
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(irr::core::stringc(outcome->toStringw()), "kept");
  EXPECT_EQ(holder->states.size(), 61u);
  EXPECT_EQ(findObjectState(holder, L"A")->value.val, 8);
}

TEST_F(ObjectStateScriptTest, LookupsAndTheirMisuse) {
  asIScriptModule* module = build(serverScriptEngine, R"(
float a = 1, b = 2, c = 3, d = 4;
bool found = true;
void pastTheEnd(Object@ o) { o.getStateN(o.getStateCount()); }
void nameOfPastTheEnd(Object@ o) { o.getStateName(o.getStateCount()); }
void missing(Object@ o) { found = o.getStateVals("Missing", a, b, c, d); }
)");
  auto* holder = make(red);
  for (const char* function : {"pastTheEnd", "nameOfPastTheEnd"})
    EXPECT_EQ(run(module, function, [&](asIScriptContext* context) { context->SetArgObject(0, holder); }),
              "Accessed storage out-of-bounds")
        << function << " without states";
  getOrAddObjectState(holder, L"Ore");
  for (const char* function : {"pastTheEnd", "nameOfPastTheEnd"})
    EXPECT_EQ(run(module, function, [&](asIScriptContext* context) { context->SetArgObject(0, holder); }),
              "Accessed storage out-of-bounds")
        << function;
  EXPECT_EQ(run(module, "missing", [&](asIScriptContext* context) { context->SetArgObject(0, holder); }), "");
  EXPECT_FALSE(*static_cast<bool*>(module->GetAddressOfGlobalVar(4)));
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(*static_cast<float*>(module->GetAddressOfGlobalVar(i)), static_cast<float>(i + 1)) << "left alone";

  // A C++ caller (no script running) gets null past the end.
  EXPECT_EQ(objectnatives::stateAt(holder, 5), nullptr);
}

// The client engine sees another empire's states only when their resource
// is visible to all; its first getState of the process logs a warning.
TEST_F(ObjectStateScriptTest, ClientEngineHidesOtherEmpiresStates) {
  asIScriptModule* module = build(clientScriptEngine, R"(
string@ seen;
void look(Object@ o) {
  const Object@ c = o;
  float val = -1, top = -1, required = -1, inCargo = -1;
  @seen = (c.getState("Ore") !is null ? "1" : "0") + (c.getState("Light") !is null ? "1" : "0") +
          (o.hasState("Ore") ? "1" : "0") + (o.hasState("Light") ? "1" : "0") +
          (o.getStateVals("Ore", val, top, required, inCargo) ? "1" : "0") + (val == -1 ? "-" : "+");
}
)");
  auto* theirs = make(blue);
  auto* ours = make(red);
  for (generic_object* object : {static_cast<generic_object*>(theirs), static_cast<generic_object*>(ours)}) {
    getOrAddObjectState(object, L"Ore")->value.val = 3;
    getOrAddObjectState(object, L"Light")->value.resource = &visible_;
  }
  const struct {
    generic_object* object;
    const char* expected;
  } cases[] = {{theirs, "01010-"}, {ours, "11111+"}};
  std::string logged;
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(run(module, "look", [&](asIScriptContext* context) { context->SetArgObject(0, c.object); }), "");
    logged += log.take();
    auto* seen = *static_cast<ScriptString**>(module->GetAddressOfGlobalVar(0));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(irr::core::stringc(seen->toStringw()), c.expected);
  }
  // Once in the whole process: none here when an earlier test of the same
  // process logged it already.
  size_t warnings = 0;
  for (size_t at = logged.find(objectnatives::kClientGetStateWarning); at != std::string::npos;
       at = logged.find(objectnatives::kClientGetStateWarning, at + 1))
    ++warnings;
  EXPECT_LE(warnings, 1u) << logged;
}

TEST_F(ObjectStateScriptTest, StanceInBothEngines) {
  const char code[] = R"(
AIStance stance;
void get(Object@ o) { stance = o.getStance(); }
void set(Object@ o, AIStance s) { o.setStance(s); }
)";
  asIScriptModule* server = build(serverScriptEngine, code);
  asIScriptModule* client = build(clientScriptEngine, code);
  const auto stanceOf = [&](asIScriptModule* module, generic_object* object) {
    EXPECT_EQ(run(module, "get", [&](asIScriptContext* context) { context->SetArgObject(0, object); }), "");
    return *static_cast<int*>(module->GetAddressOfGlobalVar(0));
  };
  const auto set = [&](asIScriptModule* module, generic_object* object, int stance) {
    EXPECT_EQ(run(module, "set",
                  [&](asIScriptContext* context) {
                    context->SetArgObject(0, object);
                    context->SetArgDWord(1, static_cast<asDWORD>(stance));
                  }),
              "");
  };

  // The object of UID 5 (made first, while that UID is free).
  generic_object* own = nullptr;
  {
    const ClaimedUid claim(5);
    ASSERT_TRUE(claim.held());
    own = make<CountingShip>(red);
  }
  ASSERT_EQ(own->uid, 5u);

  // Without an AI: AIS_Engage; hold fire still clears a ship's targets.
  auto* plain = make(red);
  auto* ship = make<CountingShip>(red);
  ship->setAI(nullptr);
  EXPECT_EQ(stanceOf(server, plain), AIS_Engage);
  EXPECT_EQ(stanceOf(client, ship), AIS_Engage);
  set(server, ship, AIS_HoldFire);
  EXPECT_EQ(ship->targetReleases, 1);
  set(server, ship, AIS_Defend);
  EXPECT_EQ(ship->targetReleases, 1);

  // With an AI the stance is kept; the client form acts on own objects.
  auto* armed = make<CountingShip>(red);
  auto* foreign = make<CountingShip>(blue);
  set(server, armed, AIS_HoldPosition);
  EXPECT_EQ(stanceOf(client, armed), AIS_HoldPosition);
  set(client, armed, AIS_HoldFire);
  EXPECT_EQ(stanceOf(server, armed), AIS_HoldFire);
  EXPECT_EQ(armed->targetReleases, 1);
  set(client, foreign, AIS_HoldFire);
  EXPECT_EQ(stanceOf(server, foreign), AIS_Engage);
  EXPECT_EQ(foreign->targetReleases, 0);
  set(server, armed, 7);  // no stance
  EXPECT_EQ(stanceOf(server, armed), AIS_HoldFire);

  // A network client asks the server, and keeps the stance locally.
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  std::vector<SentMessage> sent;
  captureSends(sent);
  set(client, own, AIS_HoldFire);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{0x8B, 0x02, 0x00, 0x05, 0x02}));
  EXPECT_EQ(sent[0].channel, 0);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(stanceOf(client, own), AIS_HoldFire);
  EXPECT_EQ(static_cast<CountingShip*>(own)->targetReleases, 0) << "the server clears the targets";
  sent.clear();
  set(client, foreign, AIS_HoldFire);
  EXPECT_TRUE(sent.empty());
}

// Object's own members: each script line against the flags or fields it
// changes, and the misuse that changes nothing.
TEST_F(ObjectStateScriptTest, ObjectMembersByTable) {
  asIScriptModule* module = build(serverScriptEngine, R"(
void rename(Object@ o) { o.setName("Vega Prime"); }
void unname(Object@ o) { o.setName(""); }
void destroyLoudly(Object@ o) { o.destroy(); }
void destroyQuietly(Object@ o) { o.destroy(true); }
void reparent(Object@ o) { o.reparent(); }
void showToAll(Object@ o) { o.setGlobalVisibility(true); }
void attack(Object@ o) { o.setUnderAttack(); }
)");
  const struct {
    const char* function;
    const char* exception;
    uint32_t flagsSet;
    uint32_t flagsClear;
    const wchar_t* name;
  } cases[] = {
      {"rename", "", 0, 0, L"Vega Prime"},
      {"unname", "Empty strings are not valid object names", 0, 0, L"Start"},
      {"destroyLoudly", "", FLAG_DESTROY, FLAG_QUIET_DESTROY, L"Start"},
      {"destroyQuietly", "", FLAG_DESTROY | FLAG_QUIET_DESTROY, 0, L"Start"},
      {"reparent", "", FLAG_REPARENT, 0, L"Start"},
      {"showToAll", "", FLAG_ALWAYS_VISIBLE, 0, L"Start"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    auto* object = make(red);
    object->name = L"Start";
    object->setFlag(c.flagsClear);
    EXPECT_EQ(run(module, c.function, [&](asIScriptContext* context) { context->SetArgObject(0, object); }),
              c.exception);
    EXPECT_EQ(object->flags.load() & (c.flagsSet | c.flagsClear), c.flagsSet);
    EXPECT_EQ(object->name, irr::core::stringw(c.name));
  }

  // Under attack for 4000 ms of the object clock after the attack.
  auto* target = make(red);
  setObjectTestClock(10000);
  EXPECT_EQ(run(module, "attack", [&](asIScriptContext* context) { context->SetArgObject(0, target); }), "");
  const struct {
    uint32_t clock;
    bool attacked;
  } times[] = {{10000, true}, {13999, true}, {14000, false}, {20000, false}};
  for (const auto& t : times) {
    setObjectTestClock(t.clock);
    EXPECT_EQ(objectnatives::underAttack(target), t.attacked) << t.clock;
  }
  setObjectTestClock(0);
}

// Statistics live in a star system's table, per empire; a null empire is
// the default empire, and objects without a table read 0.
TEST_F(ObjectStateScriptTest, StatisticsOfASystem) {
  asIScriptModule* module = build(serverScriptEngine, R"(
float a, b, none;
void stats(Object@ sys, Object@ plain, Empire@ emp) {
  sys.setStat(emp, "Ore", 2);
  sys.setStat(null, "Ore", 5);
  plain.setStat(emp, "Ore", 9);
  a = sys.getStat(emp, "Ore");
  b = sys.getStat(null, "Ore");
  none = plain.getStat(emp, "Ore");
}
)");
  auto* plain = make(red);
  EXPECT_EQ(run(module, "stats",
                [&](asIScriptContext* context) {
                  context->SetArgObject(0, system_);
                  context->SetArgObject(1, plain);
                  context->SetArgObject(2, red);
                }),
            "");
  const float expected[] = {2, 5, 0};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(*static_cast<float*>(module->GetAddressOfGlobalVar(i)), expected[i]) << i;
  EXPECT_EQ(getStatValue(getEmpireStats(*system_->systemStats, red), L"Ore"), 2);

  // A null name from C++ (scripts cannot pass one: the engine stops them).
  EXPECT_EQ(objectnatives::stat(system_, red, nullptr), 0.0f);
  objectnatives::setStat(system_, red, nullptr, 7);
  EXPECT_EQ(getStatValue(getEmpireStats(*system_->systemStats, red), L"Ore"), 2);
}

TEST_F(ObjectStateScriptTest, PrinterShowsStatesByName) {
  auto* holder = make(red);
  State* state = getOrAddObjectState(holder, L"Ore");
  const State* none = nullptr;
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    const int typeId = engine->GetTypeIdByDecl("State@");
    ASSERT_GE(typeId, 0);
    LogCapture log;
    printScriptValue(&state, engine, typeId);
    EXPECT_EQ(log.take(), "Ore");
    printScriptValue(&none, engine, typeId);
    EXPECT_EQ(log.take(), "<Null Handle>");
  }
}

}  // namespace
}  // namespace object_state_script_test
