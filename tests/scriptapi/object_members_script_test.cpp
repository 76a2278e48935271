// Object's members, State and AIStance in scripts: State's add and consume
// with their cargo overflow, State handles that outlive later additions
// while another thread adds states too, the state lookups with their
// misuse and what the client engine hides of other empires' states; the
// stance in both engines; names, flags, attack time and statistics; the
// build queue with makeShip, and the requests a network client sends for
// them, byte by byte.
#include "scriptapi/object_natives.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <type_traits>
#include <string>
#include <thread>
#include <vector>

#include "core/common_strings.h"
#include "design/build/constructible.h"
#include "design/build/mimic_constructible.h"
#include "design/effects/resources.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_report.h"
#include "script/script_string.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/sent_messages.h"
#include "universe/galaxy_fixture.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace object_members_script_test {

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

class ObjectMembersScriptTest : public scriptapitest::ScriptedGalaxyTest {
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

  template <class T>
  static T& global(asIScriptModule* module, const char* name) {
    return *static_cast<T*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName(name)));
  }

  solarSystem* system_ = nullptr;
  cargoData cargo_;
  cargoData visible_;
};

TEST_F(ObjectMembersScriptTest, AddAndConsumeByTable) {
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
    EXPECT_FLOAT_EQ(global<float>(module, "result"), c.result);
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
TEST_F(ObjectMembersScriptTest, StateHandleOutlivesLaterAdditions) {
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
  auto* outcome = global<ScriptString*>(module, "outcome");
  ASSERT_NE(outcome, nullptr);
  EXPECT_EQ(irr::core::stringc(outcome->toStringw()), "kept");
  EXPECT_EQ(holder->states.size(), 61u);
  EXPECT_EQ(findObjectState(holder, L"A")->value.val, 8);
}

TEST_F(ObjectMembersScriptTest, LookupsAndTheirMisuse) {
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
  EXPECT_FALSE(global<bool>(module, "found"));
  const char* const outputs[] = {"a", "b", "c", "d"};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(global<float>(module, outputs[i]), static_cast<float>(i + 1)) << "left alone";

  // A C++ caller (no script running) gets null past the end.
  EXPECT_EQ(objectnatives::stateAt(holder, 5), nullptr);
}

// The client engine sees another empire's states only when their resource
// is visible to all; its first getState of the process logs a warning.
TEST_F(ObjectMembersScriptTest, ClientEngineHidesOtherEmpiresStates) {
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
    auto* seen = global<ScriptString*>(module, "seen");
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

TEST_F(ObjectMembersScriptTest, StanceInBothEngines) {
  const char code[] = R"(
AIStance stance;
void get(Object@ o) { stance = o.getStance(); }
void set(Object@ o, AIStance s) { o.setStance(s); }
)";
  asIScriptModule* server = build(serverScriptEngine, code);
  asIScriptModule* client = build(clientScriptEngine, code);
  const auto stanceOf = [&](asIScriptModule* module, generic_object* object) {
    EXPECT_EQ(run(module, "get", [&](asIScriptContext* context) { context->SetArgObject(0, object); }), "");
    return global<int>(module, "stance");
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
TEST_F(ObjectMembersScriptTest, ObjectMembersByTable) {
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
TEST_F(ObjectMembersScriptTest, StatisticsOfASystem) {
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
  const char* const names[] = {"a", "b", "none"};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(global<float>(module, names[i]), expected[i]) << names[i];
  EXPECT_EQ(getStatValue(getEmpireStats(*system_->systemStats, red), L"Ore"), 2);

  // A null name from C++ (scripts cannot pass one: the engine stops them).
  EXPECT_EQ(objectnatives::stat(system_, red, nullptr), 0.0f);
  objectnatives::setStat(system_, red, nullptr, 7);
  EXPECT_EQ(getStatValue(getEmpireStats(*system_->systemStats, red), L"Ore"), 2);
}

// A layout named `name` filed in `owner`'s table (which holds the
// reference).
hull_list* fileLayout(empire* owner, const wchar_t* name) {
  auto* layout = new hull_list(irr::core::stringw(name), owner);
  NamedVar<hull_list*>::getOrAdd(owner->hulls, layout->name).value = layout;
  return layout;
}

std::vector<std::string> queueNames(const generic_object* object) {
  std::vector<std::string> names;
  for (irr::u32 i = 0; i < object->buildQueue.size(); ++i)
    names.push_back(irr::core::stringc(object->buildQueue[i]->getName()).c_str());
  return names;
}

const char kQueueScript[] = R"(
void make(Object@ o, const HullLayout@ layout, uint count) { o.makeShip(layout, count); }
void makeOne(Object@ o, const HullLayout@ layout) { o.makeShip(layout); }
void remove(Object@ o, uint index) { o.removeConstruction(index); }
void move(Object@ o, uint from, uint to) { o.moveConstruction(from, to); }
void repeat(Object@ o, bool on) { o.setRepeatQueue(on); }
uint size;
float paid, total;
void count(Object@ o) { size = o.getConstructionQueueSize(); }
void cost(Object@ o, uint index, const string &in name) { o.getConstructionCost(index, name, paid, total); }
)";

// The requests of a network client for its own object of UID 5, byte by
// byte, and the placeholders that makeShip shows meanwhile.
TEST_F(ObjectMembersScriptTest, BuildQueueRequestsOfANetworkClient) {
  generic_object* own = nullptr;
  {
    const ClaimedUid claim(5);
    ASSERT_TRUE(claim.held());
    own = make(red);
  }
  ASSERT_EQ(own->uid, 5u);
  hull_list* scout = fileLayout(red, L"Scout");
  hull_list* foreign = fileLayout(blue, L"Raider");
  asIScriptModule* client = build(clientScriptEngine, kQueueScript);
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  const uint32_t savedVersion = networkManager->peerVersion;
  std::vector<SentMessage> sent;
  captureSends(sent);
  const auto call = [&](const char* function, auto... args) {
    return run(client, function, [&](asIScriptContext* context) {
      context->SetArgObject(0, own);
      asUINT at = 1;
      (
          [&](auto arg) {
            if constexpr (std::is_pointer_v<decltype(arg)>)
              context->SetArgAddress(at++, const_cast<void*>(static_cast<const void*>(arg)));
            else if constexpr (std::is_same_v<decltype(arg), bool>)
              context->SetArgByte(at++, arg ? 1 : 0);
            else
              context->SetArgDWord(at++, static_cast<asDWORD>(arg));
          }(args),
          ...);
    });
  };
  using Bytes = std::vector<uint8_t>;
  const Bytes scoutName = {0x05, 0x53, 0x00, 0x63, 0x00, 0x6F, 0x00, 0x75, 0x00, 0x74, 0x00};
  const auto makeShipMessage = [&](bool counted) {
    Bytes bytes = {0x75, 0x00, 0x00, 0x00, 0x05, 0x04};
    bytes.insert(bytes.end(), scoutName.begin(), scoutName.end());
    if (counted) {
      bytes.push_back(0x00);
      bytes.push_back(0x03);
    }
    return bytes;
  };

  for (uint32_t version : {7u, 6u}) {
    SCOPED_TRACE(version);
    networkManager->peerVersion = version;
    sent.clear();
    EXPECT_EQ(call("make", scout, 3u), "");
    const std::vector<Bytes> expected =
        version == 7 ? std::vector<Bytes>{makeShipMessage(true)} : std::vector<Bytes>(3, makeShipMessage(false));
    ASSERT_EQ(sent.size(), expected.size());
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].bytes, expected[i]);
      EXPECT_EQ(sent[i].channel, 0);
      EXPECT_EQ(sent[i].reliability, RakNet::RELIABLE_ORDERED);
    }
    ASSERT_EQ(own->buildQueue.size(), 3u);
    for (irr::u32 i = 0; i < 3; ++i) {
      EXPECT_EQ(own->buildQueue[i]->getName(), irr::core::stringw(L"Scout"));
      EXPECT_EQ(own->buildQueue[i]->getType(), irr::core::stringw());
      EXPECT_EQ(own->buildQueue[i]->getProgress(), 0.0f);
    }
    // Another empire's layout: nothing sent, nothing shown.
    sent.clear();
    EXPECT_EQ(call("make", foreign, 3u), "");
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(own->buildQueue.size(), 3u);
    for (irr::u32 i = 0; i < own->buildQueue.size(); ++i)
      delete own->buildQueue[i];
    own->buildQueue.clear();
  }

  // The count travels as a u16: at most 65,535, and as many placeholders.
  networkManager->peerVersion = 7;
  sent.clear();
  EXPECT_EQ(call("make", scout, 70000u), "");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ((Bytes(sent[0].bytes.end() - 2, sent[0].bytes.end())), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(own->buildQueue.size(), 65535u);
  for (irr::u32 i = 0; i < own->buildQueue.size(); ++i)
    delete own->buildQueue[i];
  own->buildQueue.clear();

  // Queue settings go on channel 2; the client's copy follows at once.
  const struct {
    const char* label;
    std::function<std::string()> call;
    Bytes bytes;
  } settings[] = {
      {"remove", [&] { return call("remove", 2u); }, {0x76, 0x00, 0x05, 0x03, 0x00, 0x00, 0x00, 0x02}},
      {"move", [&] { return call("move", 1u, 3u); },
       {0x76, 0x00, 0x05, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03}},
      {"repeat", [&] { return call("repeat", true); }, {0x76, 0x00, 0x05, 0x05, 0x80}},
  };
  for (const auto& setting : settings) {
    SCOPED_TRACE(setting.label);
    sent.clear();
    EXPECT_EQ(setting.call(), "");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, setting.bytes);
    EXPECT_EQ(sent[0].channel, 2);
    EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
  }
  EXPECT_TRUE(own->getRepeatQueue());

  // Another empire's object: the repeat flag is refused without a word.
  auto* theirs = make(blue);
  sent.clear();
  EXPECT_EQ(run(client, "repeat",
                [&](asIScriptContext* context) {
                  context->SetArgObject(0, theirs);
                  context->SetArgByte(1, 1);
                }),
            "");
  EXPECT_TRUE(sent.empty());
  EXPECT_FALSE(theirs->getRepeatQueue());
  networkManager->peerVersion = savedVersion;
}

// The server engine queues ships of the owner's newest layout, only for
// the active empire's objects.
TEST_F(ObjectMembersScriptTest, ServerMakeShipQueuesTheOwnersLayout) {
  hull_list* scout = fileLayout(red, L"Scout");
  hull_list* raider = fileLayout(blue, L"Raider");
  asIScriptModule* server = build(serverScriptEngine, kQueueScript);
  auto* ours = make(red);
  auto* theirs = make(blue);
  const struct {
    generic_object* object;
    hull_list* layout;
    size_t items;  // in the queue afterwards
  } cases[] = {{ours, scout, 3}, {theirs, raider, 0}, {ours, raider, 3}, {ours, nullptr, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(run(server, "make",
                  [&](asIScriptContext* context) {
                    context->SetArgObject(0, c.object);
                    context->SetArgAddress(1, c.layout);
                    context->SetArgDWord(2, 3);
                  }),
              "");
    EXPECT_EQ(c.object->buildQueue.size(), c.items);
    for (irr::u32 i = 0; i < c.object->buildQueue.size(); ++i) {
      auto* item = dynamic_cast<ShipConstructible*>(c.object->buildQueue[i]);
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item->layout, scout);
    }
  }
  EXPECT_EQ(run(server, "makeOne",
                [&](asIScriptContext* context) {
                  context->SetArgObject(0, ours);
                  context->SetArgAddress(1, scout);
                }),
            "");
  EXPECT_EQ(ours->buildQueue.size(), 4u);
}

TEST_F(ObjectMembersScriptTest, BuildQueueByTable) {
  asIScriptModule* server = build(serverScriptEngine, kQueueScript);
  auto* builder = make(red);
  const auto fill = [&] {
    for (irr::u32 i = 0; i < builder->buildQueue.size(); ++i)
      delete builder->buildQueue[i];
    builder->buildQueue.clear();
    for (const wchar_t* name : {L"a", L"b", L"c"})
      builder->buildQueue.push_back(new mimic_constructible(name));
  };
  const struct {
    uint32_t from, to;
    std::vector<std::string> after;
  } moves[] = {
      {0, 99, {"b", "c", "a"}}, {5, 0, {"a", "b", "c"}}, {1, 1, {"a", "b", "c"}}, {2, 0, {"c", "a", "b"}},
  };
  for (const auto& m : moves) {
    SCOPED_TRACE(std::to_string(m.from) + " to " + std::to_string(m.to));
    fill();
    EXPECT_EQ(run(server, "move",
                  [&](asIScriptContext* context) {
                    context->SetArgObject(0, builder);
                    context->SetArgDWord(1, m.from);
                    context->SetArgDWord(2, m.to);
                  }),
              "");
    EXPECT_EQ(queueNames(builder), m.after);
  }

  // Costs: found, unknown, past the queue.
  fill();
  auto& costs = builder->buildQueue[0]->costs;
  PtrNamedVar<constructible::cost>::getOrAdd(costs, L"Metals", internCommonString).value = {8.0f, 2.0f};
  const struct {
    uint32_t index;
    const char* name;
    float paid, total;
  } lookups[] = {{0, "Metals", 2, 8}, {0, "Nothing", 0, 0}, {7, "Metals", 0, 0}};
  for (const auto& l : lookups) {
    SCOPED_TRACE(l.name);
    float* paid = &global<float>(server, "paid");
    float* total = &global<float>(server, "total");
    *paid = -1;
    *total = -1;
    auto* name = new ScriptString(irr::core::stringw(l.name));
    EXPECT_EQ(run(server, "cost",
                  [&](asIScriptContext* context) {
                    context->SetArgObject(0, builder);
                    context->SetArgDWord(1, l.index);
                    context->SetArgObject(2, name);
                  }),
              "");
    name->release();
    EXPECT_EQ(*paid, l.paid);
    EXPECT_EQ(*total, l.total);
  }

  // The client engine hides other empires' queues.
  asIScriptModule* client = build(clientScriptEngine, kQueueScript);
  auto* theirs = make(blue);
  theirs->buildQueue.push_back(new mimic_constructible(L"x"));
  const struct {
    asIScriptModule* module;
    generic_object* object;
    uint32_t size;
  } sizes[] = {{server, theirs, 1}, {client, theirs, 0}, {client, builder, 3}};
  for (const auto& c : sizes) {
    EXPECT_EQ(run(c.module, "count", [&](asIScriptContext* context) { context->SetArgObject(0, c.object); }), "");
    EXPECT_EQ(global<uint32_t>(c.module, "size"), c.size);
  }
}

const char kMovementScript[] = R"(
vector to;
bool parked;
void destination(Object@ o) { to = o.getDestination(); }
void park(Object@ o, bool on) { o.setParked(on); parked = o.isParked(); }
)";

TEST_F(ObjectMembersScriptTest, DestinationByMover) {
  asIScriptModule* module = build(serverScriptEngine, kMovementScript);
  auto* beacon = make(blue);
  beacon->position.set(40, 50, 60);
  auto* chaser = make(red);
  auto* chaserMover = new MobileMover();
  chaser->mover = chaserMover;
  chaserMover->setTargetObject(beacon);
  auto* traveller = make(red);
  auto* travellerMover = new MobileMover();
  traveller->mover = travellerMover;
  travellerMover->setDestination(vector3df(7, 8, 9));
  auto* mirror = make(blue);
  mirror->mover = new FakeMobileMover();
  mirror->position.set(-3, 2, 1);
  auto* orbiter = make(red);
  orbiter->mover = new OrbitOtherMover();
  orbiter->position.set(5, 5, 5);
  const struct {
    const char* label;
    generic_object* object;
    vector3df expected;
  } cases[] = {
      {"moving to a target", chaser, {40, 50, 60}},
      {"moving to a point", traveller, {7, 8, 9}},
      {"a mirror whose client mover is inactive", mirror, {-3, 2, 1}},
      {"in orbit", orbiter, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const int references = beacon->refCount.load();
    EXPECT_EQ(run(module, "destination", [&](asIScriptContext* context) { context->SetArgObject(0, c.object); }), "");
    EXPECT_EQ(global<vector3df>(module, "to"), c.expected);
    EXPECT_EQ(beacon->refCount.load(), references) << "the target's reference is given back";
  }
}

// A network client asks the server to park and leaves its copy alone;
// alone, the mover parks.
TEST_F(ObjectMembersScriptTest, ParkingAsksTheServerFromANetworkClient) {
  generic_object* own = nullptr;
  {
    const ClaimedUid claim(5);
    ASSERT_TRUE(claim.held());
    own = make(red);
  }
  ASSERT_EQ(own->uid, 5u);
  auto* mover = new MobileMover();
  own->mover = mover;
  asIScriptModule* client = build(clientScriptEngine, kMovementScript);
  const auto park = [&] {
    return run(client, "park", [&](asIScriptContext* context) {
      context->SetArgObject(0, own);
      context->SetArgByte(1, 1);
    });
  };
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  std::vector<SentMessage> sent;
  captureSends(sent);
  EXPECT_EQ(park(), "");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{0x8B, 0x03, 0x00, 0x05, 0x80}));
  EXPECT_EQ(sent[0].channel, 0);
  EXPECT_FALSE(mover->parked);

  networkManager->isNetworked = false;
  networkManager->isConnected = false;
  sent.clear();
  EXPECT_EQ(park(), "");
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(mover->parked);
  EXPECT_TRUE(global<bool>(client, "parked"));
}

TEST_F(ObjectMembersScriptTest, CurrentSystemWalksUpTheContainers) {
  asIScriptModule* module = build(serverScriptEngine, R"(
string@ systemOf(Object@ o) {
  System@ s = o.getCurrentSystem();
  return s is null ? "null" : s.toObject().getName();
}
)");
  system_->name = L"Sol";
  auto* ship = make(red);
  auto* loose = new TestObject(red);  // in no container
  const struct {
    const char* label;
    generic_object* object;
    const char* expected;
  } cases[] = {
      {"a ship", ship, "Sol"}, {"a system", system_, "Sol"}, {"the galaxy", galaxy, "null"}, {"loose", loose, "null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const int references = system_->refCount.load();
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByName("systemOf"));
    context->SetArgObject(0, c.object);
    ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
    auto* text = static_cast<ScriptString*>(context->GetReturnObject());
    EXPECT_EQ(irr::core::stringc(text->toStringw()), c.expected);
    context->Release();
    EXPECT_EQ(system_->refCount.load(), references) << "the handle's reference is given back";
  }
  loose->destroyNow(true);
}

// The client engine finds only what the active empire can see; whether the
// object exists is no secret.
TEST_F(ObjectMembersScriptTest, ClientLookupByIDHidesUnseenObjects) {
  const char code[] = R"(
bool exists;
bool found;
void look(uint uid) { exists = objectExists(uid); found = getObjectByID(uid) !is null; }
)";
  asIScriptModule* server = build(serverScriptEngine, code);
  asIScriptModule* client = build(clientScriptEngine, code);
  auto* hidden = make(blue);
  auto* shown = make(blue);
  shown->setFlag(FLAG_ALWAYS_VISIBLE);
  const struct {
    asIScriptModule* module;
    generic_object* object;
    bool found;
  } cases[] = {{client, hidden, false}, {server, hidden, true}, {client, shown, true}};
  for (const auto& c : cases) {
    const int references = c.object->refCount.load();
    EXPECT_EQ(run(c.module, "look", [&](asIScriptContext* context) { context->SetArgDWord(0, c.object->uid); }), "");
    EXPECT_TRUE(global<bool>(c.module, "exists"));
    EXPECT_EQ(global<bool>(c.module, "found"), c.found) << (c.module == client ? "client" : "server");
    EXPECT_EQ(c.object->refCount.load(), references);
  }
}

// undockAll releases every docked object; the client form only the
// active empire's.
TEST_F(ObjectMembersScriptTest, UndockAllInBothEngines) {
  const char code[] = "void undock(Object@ o) { o.undockAll(); }";
  asIScriptModule* server = build(serverScriptEngine, code);
  asIScriptModule* client = build(clientScriptEngine, code);
  const struct {
    const char* label;
    asIScriptModule* module;
    empire* owner;
    unsigned left;
  } cases[] = {
      {"server, another empire's carrier", server, blue, 0},
      {"client, own carrier", client, red, 0},
      {"client, another empire's carrier", client, blue, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto* carrier = make(c.owner);
    carrier->dockSpace = 100;
    for (int i = 0; i < 2; ++i) {
      auto* fighter = make(c.owner);
      ASSERT_TRUE(carrier->dockObject(fighter));
    }
    ASSERT_EQ(carrier->docked.size(), 2u);
    EXPECT_EQ(run(c.module, "undock", [&](asIScriptContext* context) { context->SetArgObject(0, carrier); }), "");
    EXPECT_EQ(carrier->docked.size(), c.left);
  }
}

TEST_F(ObjectMembersScriptTest, PrinterShowsStatesByName) {
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
}  // namespace object_members_script_test
