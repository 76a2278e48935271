// The GUI-side script globals in real engines: strings, the game speed with
// the engine timer following it, the pause and its remembered speed, the
// local clock behind its seam, random systems, the selection's modifier
// keys, object detail requests and the focus's screen square.
#include "scriptapi/client_globals.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <ITimer.h>
#include <IrrlichtDevice.h>
#include <angelscript.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/base/session_state.h"
#include "gfx/game_camera.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "ui/selection.h"
#include "universe/objects/oddity.h"

namespace client_globals_test {

using namespace AngelScript;

namespace {

class ClientGlobalsTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    setEngineDevice(device_);
    scriptapitest::setUpScriptsOfWorkingFolder();
    savedSpeed_ = gameSpeed;
    savedBeforePause_ = speedBeforePause;
    savedPending_ = pendingGameSpeed;
  }
  void TearDown() override {
    setLocalTimeSource(nullptr);
    setSelection(nullptr);
    shiftKeyDown = controlKeyDown = altKeyDown = false;
    gameCamera.clearFocus();
    gameSpeed = savedSpeed_;
    speedBeforePause = savedBeforePause_;
    pendingGameSpeed = savedPending_;
    ScriptedGalaxyTest::TearDown();
    setEngineDevice(nullptr);
    device_->drop();
  }

  // Runs `body` as "<result> f()" in the engine; the result's bytes land in
  // `result` (when given). An empty text when it finished, else the reason.
  std::string run(asIScriptEngine* engine, const std::string& declaration, const std::string& body,
                  void* result = nullptr, std::size_t size = 0) {
    const std::string code = declaration + " {\n" + body + "\n}\n";
    asIScriptModule* module = engine->GetModule("globals", asGM_ALWAYS_CREATE);
    module->AddScriptSection("globals", code.c_str(), code.size());
    LogCapture log;
    if (module->Build() < 0)
      return "does not build: " + log.take();
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByIndex(0));
    const int outcome = context->Execute();
    std::string failure;
    if (outcome != asEXECUTION_FINISHED)
      failure = context->GetExceptionString() != nullptr ? context->GetExceptionString() : "did not finish";
    else if (result != nullptr)
      std::memcpy(result, context->GetAddressOfReturnValue(), size);
    context->Release();
    return failure;
  }
  float runFloat(const std::string& body) {
    float value = -100.0f;
    EXPECT_EQ(run(clientScriptEngine, "float f()", body, &value, sizeof value), "") << body;
    return value;
  }
  uint32_t runUint(const std::string& body) {
    uint32_t value = 0xFFFFFFFFu;
    EXPECT_EQ(run(clientScriptEngine, "uint f()", body, &value, sizeof value), "") << body;
    return value;
  }
  bool runBool(asIScriptEngine* engine, const std::string& body) {
    bool value = false;
    EXPECT_EQ(run(engine, "bool f()", body, &value, sizeof value), "") << body;
    return value;
  }

  // An oddity in a system, with a graphics object of its own.
  generic_object* shownObject(solarSystem* system) {
    auto* object = new objOddity(nullptr, ODT_Comet);
    object->setContainer(system);
    object->graphics = new graphicsObject(object);
    shown_.push_back(object);
    return object;
  }
  void releaseShown() {
    setSelection(nullptr);
    gameCamera.clearFocus();
    for (generic_object* object : shown_) {
      graphicsObject* graphics = object->graphics;
      object->graphics = nullptr;
      graphics->drop();
    }
    shown_.clear();
  }

  irr::IrrlichtDevice* device_ = nullptr;
  std::vector<generic_object*> shown_;
  double savedSpeed_ = 1.0;
  double savedBeforePause_ = 1.0;
  double savedPending_ = -1.0;
};

TEST_F(ClientGlobalsTest, CombineCountsNullAsEmptyOnBothEngines) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    EXPECT_TRUE(runBool(engine, R"(string@ n = null; string@ r = combine(n, n, n); return r !is null && r == "";)"));
    EXPECT_TRUE(runBool(engine, R"(string@ n = null;
return combine("ab", n, "c", "") == "abc" && combine(n, "1", n, "2", "3") == "123";)"));
  }
}

TEST_F(ClientGlobalsTest, SpeedIsClampedAndTheTimerFollows) {
  ASSERT_NE(engine.timer, nullptr);
  const struct {
    const char* set;
    float speed;
  } rows[] = {{"-1", 0.0f}, {"12.5", 10.0f}, {"3.5", 3.5f}, {"0", 0.0f}, {"10", 10.0f}};
  for (const auto& row : rows) {
    const float speed = runFloat(std::string("setGameSpeedFactor(") + row.set + "); return getGameSpeedFactor();");
    EXPECT_EQ(speed, row.speed) << row.set;
    EXPECT_EQ(gameSpeed, row.speed) << row.set;
    EXPECT_EQ(engine.timer->getSpeed(), row.speed) << row.set;
  }
  // Not a number changes nothing.
  clientglobals::setGameSpeedFactor(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(gameSpeed, 10.0);

  // The server's speed once known, else the game's.
  pendingGameSpeed = -1.0;
  EXPECT_EQ(runFloat("return getRealGameSpeedFactor();"), 10.0f);
  pendingGameSpeed = 4.0;
  EXPECT_EQ(runFloat("return getRealGameSpeedFactor();"), 4.0f);
  pendingGameSpeed = 0.0;
  EXPECT_EQ(runFloat("return getRealGameSpeedFactor();"), 0.0f);
}

TEST_F(ClientGlobalsTest, PausingTwiceStillResumesTheSpeedBefore) {
  const struct {
    const char* calls;
    float speed;  // afterwards
  } rows[] = {
      {"pauseGame(true); pauseGame(true); pauseGame(false);", 2.5f},
      {"pauseGame(true);", 0.0f},
      {"pauseGame(true); pauseGame();", 2.5f},
      {"pauseGame(); pauseGame(); pauseGame();", 0.0f},
      {"pauseGame(); pauseGame(true); pauseGame();", 2.5f},
      // Resuming takes the remembered speed, paused or not.
      {"pauseGame(false);", 1.0f},
  };
  for (const auto& row : rows) {
    clientglobals::setGameSpeedFactor(2.5f);
    speedBeforePause = 1.0;
    EXPECT_EQ(runFloat(std::string(row.calls) + " return getGameSpeedFactor();"), row.speed) << row.calls;
    EXPECT_EQ(engine.timer->getSpeed(), row.speed) << row.calls;
  }
}

TEST_F(ClientGlobalsTest, ASpeedSetDuringTheFirstFramesRampWaitsForItsEnd) {
  clientglobals::setGameSpeedFactor(1.0f);
  speedRampActive = true;
  gameSpeed = 0.01;
  runFloat("setGameSpeedFactor(4); return 0;");
  speedRampActive = false;
  EXPECT_EQ(gameSpeed, 0.01);
  EXPECT_EQ(pendingGameSpeed, 4.0);
}

plat::LocalTime at1305() { return {2026, 4, 2, 13, 5}; }
plat::LocalTime atMidnight() { return {2026, 4, 2, 0, 0}; }
plat::LocalTime atLastMinute() { return {2026, 4, 2, 23, 59}; }

TEST_F(ClientGlobalsTest, CurrentTimeIsMinutesSinceMidnight) {
  const struct {
    LocalTimeSource source;
    uint32_t minutes;
  } rows[] = {{at1305, 785}, {atMidnight, 0}, {atLastMinute, 1439}};
  for (const auto& row : rows) {
    setLocalTimeSource(row.source);
    EXPECT_EQ(runUint("return getCurrentTime();"), row.minutes);
  }
}

TEST_F(ClientGlobalsTest, RandomSystemIsNullWithoutSystemsAndOneOfThemOtherwise) {
  EXPECT_TRUE(runBool(serverScriptEngine, "return getRandomSystem() is null;"));
  objGalaxy* kept = galaxy;
  galaxy = nullptr;
  EXPECT_TRUE(runBool(serverScriptEngine, "return getRandomSystem() is null;"));
  galaxy = kept;
  addSystems(3);
  EXPECT_TRUE(runBool(serverScriptEngine, R"(
for (int i = 0; i < 50; ++i)
  if (getRandomSystem() is null) return false;
return true;)"));
}

// The game object's handle for the script: "Object@ shown(uint)".
std::vector<generic_object*>* shownObjects = nullptr;
generic_object* shownAt(uint32_t index) {
  generic_object* object = (*shownObjects)[index];
  object->grab();
  return object;
}

TEST_F(ClientGlobalsTest, SelectionFollowsShiftAndControlButNotAlt) {
  solarSystem* system = addSystems(1).front();
  shownObject(system);
  shownObject(system);
  shownObjects = &shown_;
  ASSERT_GE(clientScriptEngine->RegisterGlobalFunction("Object@ shown(uint)", asFUNCTION(shownAt), asCALL_CDECL), 0);
  const int32_t refs = shown_[0]->refCount.load();
  const struct {
    bool shift, control, alt;
    const char* calls;
    uint32_t count;
    bool firstSelected;
  } rows[] = {
      {false, false, false, "selectObject(shown(0)); selectObject(shown(1));", 1, false},
      {true, false, false, "selectObject(shown(0)); selectObject(shown(1));", 2, true},
      {false, true, false, "selectObject(shown(0)); selectObject(shown(1)); selectObject(shown(0));", 1, false},
      {false, false, true, "selectObject(shown(0)); selectObject(shown(0));", 1, true},
      {false, false, false, "addSelectedObject(shown(0)); addSelectedObject(shown(1)); deselectObject(shown(1));", 1,
       true},
      {false, false, false, "selectObject(shown(0)); selectObject(null);", 0, false},
  };
  for (const auto& row : rows) {
    setSelection(nullptr);
    shiftKeyDown = row.shift;
    controlKeyDown = row.control;
    altKeyDown = row.alt;
    EXPECT_EQ(run(clientScriptEngine, "void f()", row.calls), "") << row.calls;
    EXPECT_EQ(getSelectedObjectCount(), row.count) << row.calls;
    EXPECT_EQ(runBool(clientScriptEngine, "return isSelected(shown(0)) && getSelectedObjectCount() > 0;"),
              row.firstSelected)
        << row.calls;
  }
  // Every handle given to the natives was given back.
  EXPECT_EQ(shown_[0]->refCount.load(), refs);
  shownObjects = nullptr;
  releaseShown();
}

TEST_F(ClientGlobalsTest, ObjectSyncWatchesOnAClientOnlyWithOneReference) {
  solarSystem* system = addSystems(1).front();
  generic_object* object = shownObject(system);
  shownObjects = &shown_;
  ASSERT_GE(clientScriptEngine->RegisterGlobalFunction("Object@ shown(uint)", asFUNCTION(shownAt), asCALL_CDECL), 0);
  const int32_t refs = object->refCount.load();
  const std::string twice = "requestObjectSync(shown(0)); requestObjectSync(shown(0)); requestObjectSync(null);";

  EXPECT_EQ(run(clientScriptEngine, "void f()", twice), "");  // no network session
  EXPECT_TRUE(networkManager->watchedObjects.empty());
  networkManager->isServer = true;
  EXPECT_EQ(run(clientScriptEngine, "void f()", twice), "");
  EXPECT_TRUE(networkManager->watchedObjects.empty());
  EXPECT_TRUE(runBool(clientScriptEngine, "return isServer() && !isClient();"));
  networkManager->isServer = false;

  networkManager->isNetworked = true;
  EXPECT_TRUE(runBool(clientScriptEngine, "return isClient() && !isServer();"));
  EXPECT_EQ(run(clientScriptEngine, "void f()", twice), "");
  networkManager->isNetworked = false;
  EXPECT_EQ(networkManager->watchedObjects.size(), 1u);
  EXPECT_EQ(object->refCount.load(), refs + 1);
  networkManager->watchedObjects.clear();
  object->drop();
  shownObjects = nullptr;
  releaseShown();
}

TEST_F(ClientGlobalsTest, FocusSquareNeedsAFocusInFrontAndAMeasurableView) {
  irr::core::recti untouched(1, 2, 3, 4);
  irr::core::recti out = untouched;
  EXPECT_FALSE(clientglobals::apparentFocusRect(out));  // no focus
  EXPECT_EQ(out, untouched);

  solarSystem* system = addSystems(1).front();
  generic_object* object = shownObject(system);
  irr::scene::ICameraSceneNode* camera = engine.scene->addCameraSceneNode(
      nullptr, object->getPosition() + irr::core::vector3df(0, 0, -100), object->getPosition());
  camera->updateAbsolutePosition();
  camera->OnAnimate(0);
  camera->render();  // the frustum follows the camera
  object->graphics->radius = 10.0f;
  gameCamera.focus = object->graphics;
  gameCamera.focus->grab();

  const struct {
    float distance;
    bool shown;
  } rows[] = {{100.0f, true}, {0.0f, false}, {-5.0f, false}, {std::numeric_limits<float>::quiet_NaN(), false},
              {1e-30f, false}};
  for (const auto& row : rows) {
    gameCamera.currentDistance = row.distance;
    out = untouched;
    EXPECT_EQ(clientglobals::apparentFocusRect(out), row.shown) << row.distance;
    if (!row.shown) {
      EXPECT_EQ(out, untouched) << row.distance;
    } else {
      // A square around the screen's centre.
      EXPECT_EQ(out.getCenter(), irr::core::position2di(320, 240));
      EXPECT_EQ(out.getWidth(), out.getHeight());
      EXPECT_GT(out.getWidth(), 0);
    }
  }
  // Behind the camera.
  gameCamera.currentDistance = 100.0f;
  camera->setTarget(object->getPosition() + irr::core::vector3df(0, 0, -200));
  camera->updateAbsolutePosition();
  EXPECT_FALSE(clientglobals::apparentFocusRect(out));
  camera->remove();
  releaseShown();
}

}  // namespace

}  // namespace client_globals_test
