#include "scriptapi/client_globals.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <ITimer.h>
#include <IVideoDriver.h>
#include <SViewFrustum.h>
#include <angelscript.h>

#include <cmath>
#include <limits>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "core/random.h"
#include "gfx/game_camera.h"
#include "gfx/gas_sprites.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "ui/selection.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/solar_system.h"

using namespace AngelScript;

namespace {

LocalTimeSource localTimeSource = nullptr;

constexpr double kFastestSpeed = 10.0;

// --- strings ---

ScriptString* combineTexts(std::initializer_list<const ScriptString*> parts) {
  auto* result = new ScriptString();
  for (const ScriptString* part : parts)
    if (part != nullptr)
      result->text += part->text;
  return result;
}

ScriptString* combine3(const ScriptString* a, const ScriptString* b, const ScriptString* c) {
  return combineTexts({a, b, c});
}
ScriptString* combine4(const ScriptString* a, const ScriptString* b, const ScriptString* c, const ScriptString* d) {
  return combineTexts({a, b, c, d});
}
ScriptString* combine5(const ScriptString* a, const ScriptString* b, const ScriptString* c, const ScriptString* d,
                       const ScriptString* e) {
  return combineTexts({a, b, c, d, e});
}

// --- the game camera ---

// Focuses the camera on the object's graphics object; nothing for an object
// without one.
void focusOn(generic_object* object, bool close) {
  const ObjectLock lock(object);
  if (graphicsObject* graphics = object->graphics)
    gameCamera.setFocus(graphics, close);
}

void setCameraFocus(generic_object* object) {
  const HeldHandle<generic_object> held(object);
  if (object == nullptr)
    gameCamera.clearFocus();
  else
    focusOn(object, true);
}

generic_object* getCameraFocus() {
  generic_object* owner = gameCamera.focus != nullptr ? gameCamera.focus->getOwner() : nullptr;
  if (owner != nullptr)
    owner->grab();
  return owner;
}

void cameraZoomTo(generic_object* object, bool, bool close) {
  if (object != nullptr)
    focusOn(object, close);
}

void cameraResetView() { gameCamera.resetView(false); }

// --- the selection ---

void selectObject(generic_object* object) {
  const HeldHandle<generic_object> held(object);
  const SelectionGuard selection;
  if (object == nullptr) {
    setSelection(nullptr);
    return;
  }
  const ObjectLock lock(object);
  graphicsObject* graphics = object->graphics;
  if (graphics == nullptr)
    return;
  if (shiftKeyDown)
    addToSelection(graphics);
  else if (controlKeyDown && graphics->selected)
    removeFromSelection(graphics);
  else if (controlKeyDown)
    addToSelection(graphics);
  else
    setSelection(graphics);
}

template <void (*change)(graphicsObject*)>
void changeSelection(generic_object* object) {
  const HeldHandle<generic_object> held(object);
  if (object == nullptr)
    return;
  const SelectionGuard selection;
  const ObjectLock lock(object);
  if (graphicsObject* graphics = object->graphics)
    change(graphics);
}

bool isSelected(generic_object* object) {
  const HeldHandle<generic_object> held(object);
  if (object == nullptr)
    return false;
  const SelectionGuard selection;
  const ObjectLock lock(object);
  return object->graphics != nullptr && object->graphics->selected;
}

bool getApparentPos(irr::core::recti& out) { return clientglobals::apparentFocusRect(out); }

// --- clocks and speed ---

// The speed as it will run: during the first-frame ramp a change waits for
// the ramp's end, which restores it.
void applyGameSpeed(double speed) {
  if (speedRampActive) {
    pendingGameSpeed = speed;
    return;
  }
  gameSpeed = speed;
  if (engine.timer != nullptr)
    engine.timer->setSpeed(static_cast<float>(speed));
}

float getCurrentGameTime() { return static_cast<float>(gameTime.load()); }
float getGameSpeedFactor() { return static_cast<float>(gameSpeed); }

bool getShigatsu() { return shigatsu; }
bool isClient() { return networkManager != nullptr && networkManager->isNetworked; }
bool isServer() { return networkManager != nullptr && networkManager->isServer; }

// The set keeps one reference per object under the manager's lock
// (watchObject); only a client's set is filled.
void requestObjectSync(generic_object* object) {
  const HeldHandle<generic_object> held(object);
  if (object == nullptr || networkManager == nullptr || networkManager->isServer)
    return;
  networkManager->watchObject(object);
}

void createGasSprite(const ScriptString& material, float size, const irr::core::vector3df& position,
                     irr::video::SColor color, float fade) {
  createGalaxyGasSprite(material.toStringw(), size, position, color, fade);
}

solarSystem* getRandomSystem() {
  if (galaxy == nullptr)
    return nullptr;
  const unsigned count = galaxy->getSystemCount();
  if (count == 0)
    return nullptr;
  return galaxy->getSystem(threadRandom().randUpTo(count - 1));
}

enum class Engines { Server, Client, Both };

void add(Engines on, const char* declaration, const asSFuncPtr& function) {
  if (on != Engines::Client && serverScriptEngine != nullptr)
    checked(serverScriptEngine).RegisterGlobalFunction(declaration, function, asCALL_CDECL);
  if (on != Engines::Server && clientScriptEngine != nullptr)
    checked(clientScriptEngine).RegisterGlobalFunction(declaration, function, asCALL_CDECL);
}

}  // namespace

namespace clientglobals {

uint32_t currentTimeMinutes() {
  const plat::LocalTime now = localTimeSource != nullptr ? localTimeSource() : plat::localTimeNow();
  return now.hour * 60 + now.minute;
}

float realGameSpeedFactor() {
  return static_cast<float>(pendingGameSpeed >= -0.5 ? pendingGameSpeed : gameSpeed);
}

void setGameSpeedFactor(float factor) {
  if (std::isnan(factor))
    return;
  applyGameSpeed(std::min(std::max(static_cast<double>(factor), 0.0), kFastestSpeed));
}

// Pausing a paused game keeps the speed remembered before it, so that
// resuming restores that speed and not 0.
void pauseGame(bool pause) {
  if (pause) {
    if (gameSpeed > 0.0)
      speedBeforePause = gameSpeed;
    applyGameSpeed(0.0);
  } else {
    applyGameSpeed(speedBeforePause);
  }
}

void togglePause() { pauseGame(gameSpeed > 0.0); }

bool apparentFocusRect(irr::core::recti& out) {
  graphicsObject* focus = gameCamera.focus;
  irr::scene::ICameraSceneNode* camera = engine.scene != nullptr ? engine.scene->getActiveCamera() : nullptr;
  if (focus == nullptr || camera == nullptr || engine.driver == nullptr)
    return false;
  const irr::core::vector3df position = camera->getAbsolutePosition();
  const irr::core::vector3df toFocus = focus->getAbsolutePosition() - position;
  if (!(toFocus.dotProduct(camera->getTarget() - position) >= 0.1f))
    return false;
  const irr::core::dimension2du screen = engine.driver->getScreenSize();
  const irr::core::position2di centre(static_cast<int>(screen.Width / 2), static_cast<int>(screen.Height / 2));
  const irr::scene::SViewFrustum* frustum = camera->getViewFrustum();
  if (frustum == nullptr)
    return false;
  const float farHeight = frustum->getFarLeftUp().getDistanceFrom(frustum->getFarLeftDown());
  const irr::core::vector3df farCentre = (frustum->getFarLeftUp() + frustum->getFarRightDown()) * 0.5f;
  const float farDistance = position.getDistanceFrom(farCentre);
  const float cameraDistance = gameCamera.currentDistance;
  if (!(farHeight > 0.0f) || !(cameraDistance > 0.0f))
    return false;
  const double size = static_cast<double>(focus->radius) * (static_cast<double>(screen.Height) / farHeight) *
                      (static_cast<double>(farDistance) / cameraDistance);
  // The square's corners stay within the int range around the centre.
  if (!std::isfinite(size) || std::fabs(size) > std::numeric_limits<int>::max() / 4)
    return false;
  const int r = static_cast<int>(size);
  out = irr::core::recti(centre.X - r, centre.Y - r, centre.X + r, centre.Y + r);
  return true;
}

}  // namespace clientglobals

void setLocalTimeSource(LocalTimeSource source) { localTimeSource = source; }

void registerClientGlobals() {
  using namespace clientglobals;
  add(Engines::Both, "string@ combine(const string@+,const string@+,const string@+)", asFUNCTION(combine3));
  add(Engines::Both, "string@ combine(const string@+,const string@+,const string@+,const string@+)",
      asFUNCTION(combine4));
  add(Engines::Both, "string@ combine(const string@+,const string@+,const string@+,const string@+,const string@+)",
      asFUNCTION(combine5));
  add(Engines::Client, "void setCameraFocus(const Object@)", asFUNCTION(setCameraFocus));
  add(Engines::Client, "Object@ getCameraFocus()", asFUNCTION(getCameraFocus));
  add(Engines::Client, "void selectObject(const Object@)", asFUNCTION(selectObject));
  add(Engines::Client, "void deselectObject(const Object@)", asFUNCTION(changeSelection<removeFromSelection>));
  add(Engines::Client, "void addSelectedObject(const Object@)", asFUNCTION(changeSelection<addToSelection>));
  add(Engines::Client, "bool isSelected(Object@)", asFUNCTION(isSelected));
  add(Engines::Client, "bool getApparentPos(recti &out)", asFUNCTION(getApparentPos));
  add(Engines::Client, "void cameraZoomTo(const Object@+, bool, bool)", asFUNCTION(cameraZoomTo));
  add(Engines::Client, "void cameraResetView()", asFUNCTION(cameraResetView));
  add(Engines::Client, "uint getSelectedObjectCount()", asFUNCTION(getSelectedObjectCount));
  add(Engines::Client, "uint getSelectionId()", asFUNCTION(getSelectionId));
  add(Engines::Client, "uint getSubSelection()", asFUNCTION(getSubSelection));
  add(Engines::Client, "void setSubSelection(uint)", asFUNCTION(setSubSelection));
  add(Engines::Client, "uint getCurrentTime()", asFUNCTION(currentTimeMinutes));
  add(Engines::Client, "float getCurrentGameTime()", asFUNCTION(getCurrentGameTime));
  add(Engines::Client, "float getGameSpeedFactor()", asFUNCTION(getGameSpeedFactor));
  add(Engines::Client, "float getRealGameSpeedFactor()", asFUNCTION(realGameSpeedFactor));
  add(Engines::Client, "void setGameSpeedFactor(float)", asFUNCTION(clientglobals::setGameSpeedFactor));
  add(Engines::Client, "void pauseGame(bool)", asFUNCTION(clientglobals::pauseGame));
  add(Engines::Client, "void pauseGame()", asFUNCTION(togglePause));
  add(Engines::Both, "bool get_shigatsu()", asFUNCTION(getShigatsu));
  add(Engines::Both, "bool isClient()", asFUNCTION(isClient));
  add(Engines::Both, "bool isServer()", asFUNCTION(isServer));
  add(Engines::Client, "void requestObjectSync(const Object@)", asFUNCTION(requestObjectSync));
  add(Engines::Server, "void createGalaxyGasSprite(const string &, float, const vector &in, Color, float)",
      asFUNCTION(createGasSprite));
  add(Engines::Server, "System@+ getRandomSystem()", asFUNCTION(getRandomSystem));
}
