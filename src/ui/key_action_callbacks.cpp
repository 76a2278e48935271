#include "ui/key_action_callbacks.h"

#include <irrlicht.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "gfx/game_camera.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "scriptapi/client_globals.h"
#include "ui/actionmenu/context_entries.h"
#include "ui/selection.h"
#include "ui/selection_actions.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

namespace {

bool pressed(uint8_t flags) { return (flags & KF_Pressed) != 0; }
bool anyModifier(uint8_t flags) { return (flags & (KF_Control | KF_Shift | KF_Alt)) != 0; }

// -- Explore ---------------------------------------------------------------

struct ExploreContext {
  irr::core::vector3df from;
  empire* emp;
};

// 0 for a system where the empire is present, else nearer is heavier.
float exploreWeight(solarSystem* system, void* argument) {
  static const irr::core::stringw kPresence(L"prs");
  const auto& context = *static_cast<const ExploreContext*>(argument);
  lockSolarSystem(system);
  float presence = 0.0f;
  if (system->systemStats != nullptr)
    for (irr::u32 i = 0; i < system->systemStats->size(); ++i)
      if ((*system->systemStats)[i].emp == context.emp) {
        presence = getStatValue((*system->systemStats)[i], kPresence);
        break;
      }
  const irr::core::vector3df at = system->getPosition();
  unlockSolarSystem(system);
  if (presence != 0.0f)
    return 0.0f;
  return 1.0f / static_cast<float>(at.getDistanceFromSQ(context.from));
}

bool unitExplore(uint8_t flags) {
  if (!pressed(flags))
    return false;
  const SelectionGuard guard;
  const uint32_t count = getSelectedObjectCount();
  if (count == 0)
    return false;
  graphicsObject* first = selectedObjectAt(0);
  generic_object* leader = first != nullptr ? first->getOwner() : nullptr;
  empire* emp = activeEmpire.load();
  if (leader == nullptr || galaxy == nullptr || emp == nullptr)
    return true;
  ExploreContext context{leader->getPosition(), emp};
  lockSolarSystem(galaxy);
  const std::vector<std::pair<solarSystem*, float>> systems = galaxy->findBestSystems(exploreWeight, &context, count);
  for (const auto& entry : systems)
    entry.first->grab();
  unlockSolarSystem(galaxy);

  size_t handed = 0;
  for (uint32_t i = 0; i < count && handed < systems.size(); ++i) {
    graphicsObject* graphics = selectedObjectAt(i);
    generic_object* object = graphics != nullptr ? graphics->getOwner() : nullptr;
    if (object == nullptr || object->getOwner() != emp || object->getType() != OT_Hulled)
      continue;
    const ObjectLock lock(object);
    if (object->ai == nullptr)
      continue;
    const auto& [system, weight] = systems[handed];
    if (!(weight > 0.0f))
      break;
    float distance = system->radius * 0.9f;
    if (distance < 0.0f)
      distance = system->radius;
    object->ai->addOrder(new goto_order(system, true, distance), true);
    ++handed;
  }
  for (const auto& entry : systems)
    entry.first->drop();
  return true;
}

// -- Orders for the selection ------------------------------------------------

bool unitColonize(uint8_t flags) {
  if (!pressed(flags))
    return false;
  giveColonizeOrd action;
  forEachSelected(action);
  return true;
}

bool unitDefend(uint8_t flags) {
  if (!pressed(flags))
    return false;
  giveDefendOrd action;
  forEachSelected(action);
  return true;
}

bool cancelOrders(uint8_t flags) {
  if (!pressed(flags) || (flags & (KF_Shift | KF_Alt)) != 0)
    return false;
  clearSelectedOrders action;
  forEachSelected(action);
  return true;
}

// A network client leaves its fleets to the server.
bool makeFleet(uint8_t flags) {
  if (!pressed(flags) || isNetworkClient())
    return false;
  formFleetOfSelection();
  return true;
}

// -- Fleets --------------------------------------------------------------------

// The player's fleet whose commander is nearest to the camera, with a
// reference the caller releases; null when there is none (or every one is
// 1e35 or more away, squared).
FleetAI* nearestFleet(empire& emp) {
  irr::core::vector3df camera;
  if (gameCamera.node != nullptr)
    camera = gameCamera.node->getAbsolutePosition();
  else if (engine.scene != nullptr && engine.scene->getActiveCamera() != nullptr)
    camera = engine.scene->getActiveCamera()->getAbsolutePosition();

  // The fleets are collected under the fleets area, and each commander is
  // read under its own lock afterwards: an object's lock comes before the
  // fleets area.
  std::vector<FleetAI*> fleets;
  {
    empire::AreaGuard area;
    emp.lockArea(area, EA_Fleets, false);
    for (irr::u32 i = 0; i < emp.fleets.size(); ++i)
      if (FleetAI* fleet = emp.fleets[i].value) {
        fleet->grab();
        fleets.push_back(fleet);
      }
  }
  FleetAI* nearest = nullptr;
  double best = 1e35;
  for (FleetAI* fleet : fleets) {
    generic_object* commander = fleet->commander;
    if (commander == nullptr)
      continue;
    irr::core::vector3df at;
    {
      const ObjectLock lock(commander);
      at = commander->getPosition();
    }
    const double distance = static_cast<double>(at.getDistanceFromSQ(camera));
    if (distance < best) {
      best = distance;
      nearest = fleet;
    }
  }
  for (FleetAI* fleet : fleets)
    if (fleet != nearest)
      fleet->release();
  return nearest;
}

bool joinNearestFleet(uint8_t flags) {
  if (!pressed(flags))
    return false;
  empire* emp = activeEmpire.load();
  if (emp == nullptr)
    return false;
  if (FleetAI* fleet = nearestFleet(*emp)) {
    {
      joinToFleet action(fleet);
      forEachSelected(action);
    }
    fleet->release();
  }
  return true;
}

bool selectNearestFleet(uint8_t flags) {
  if (!pressed(flags))
    return false;
  empire* emp = activeEmpire.load();
  if (emp == nullptr)
    return false;
  if (FleetAI* fleet = nearestFleet(*emp)) {
    generic_object* commander = fleet->commander;
    if (commander != nullptr && commander->graphics != nullptr)
      setSelection(commander->graphics);
    fleet->release();
  }
  return true;
}

// -- Selection -------------------------------------------------------------------

bool deselectAll(uint8_t flags) {
  if (!pressed(flags) || anyModifier(flags))
    return false;
  setSelection(nullptr);
  return true;
}

// Steps on the press and on the release alike. With no member the index
// stays at 0.
bool nextSubselection(uint8_t) {
  const uint32_t count = getSelectedObjectCount();
  const uint32_t index = getSubSelection();
  setSubSelection(count == 0 || index + 1 >= count ? 0 : index + 1);
  return true;
}

// -- Camera ------------------------------------------------------------------------

bool zoomToObject(uint8_t flags) {
  if (!pressed(flags) || anyModifier(flags))
    return false;
  const SelectionGuard guard;
  if (graphicsObject* first = selectedObjectAt(0))
    gameCamera.setFocus(first, true);
  return true;
}

bool cameraReset(uint8_t flags) {
  if (!pressed(flags))
    return false;
  gameCamera.resetView(false);
  return true;
}

const wchar_t* const kCameraActions[] = {
    L"camera_up",          L"camera_down",          L"camera_left",           L"camera_right",
    L"camera_forward",     L"camera_backward",      L"camera_world_up",       L"camera_world_down",
    L"camera_world_left",  L"camera_world_right",   L"camera_world_forward",  L"camera_world_backward",
    L"camera_rot_up",      L"camera_rot_down",      L"camera_rot_left",       L"camera_rot_right",
    L"camera_rot_left_roll", L"camera_rot_right_roll",
};
constexpr size_t kCameraActionCount = sizeof(kCameraActions) / sizeof(kCameraActions[0]);

// One callback per held camera input: the press sets its axis, the release
// clears it only while it still holds this action's value.
template <size_t N>
bool cameraAxis(uint8_t flags) {
  gameCamera.holdInput(kCameraActions[N], pressed(flags));
  return true;
}

template <size_t... N>
constexpr std::array<NativeKeyAction::Callback, sizeof...(N)> cameraCallbacks(std::index_sequence<N...>) {
  return {&cameraAxis<N>...};
}
constexpr auto kCameraCallbacks = cameraCallbacks(std::make_index_sequence<kCameraActionCount>());

// -- Game, console, screen -----------------------------------------------------------

bool pauseKey(uint8_t flags) {
  if (pressed(flags))
    clientglobals::togglePause();
  return false;
}

bool consoleKey(uint8_t flags) {
  if (!pressed(flags))
    return false;
  if (Console* shown = console())
    shown->toggleVisible();
  return true;
}

bool screenshotKey(uint8_t flags) { return pressed(flags) && writeScreenshot(); }

irr::video::IImage* driverScreenshot() {
  return engine.driver != nullptr ? engine.driver->createScreenShot() : nullptr;
}

ScreenshotSource screenshotSource = &driverScreenshot;

struct NamedCallback {
  const wchar_t* name;
  NativeKeyAction::Callback callback;
};

const NamedCallback kCallbacks[] = {
    {L"screenshot", &screenshotKey},
    {L"console", &consoleKey},
    {L"pause", &pauseKey},
    {L"unit_explore", &unitExplore},
    {L"unit_colonize", &unitColonize},
    {L"unit_defend", &unitDefend},
    {L"cancel_orders", &cancelOrders},
    {L"make_fleet", &makeFleet},
    {L"join_nearest_fleet", &joinNearestFleet},
    {L"deselect_all", &deselectAll},
    {L"next_subselection", &nextSubselection},
    {L"select_nearest_fleet", &selectNearestFleet},
    {L"zoom_to_object", &zoomToObject},
    {L"camera_reset", &cameraReset},
};

}  // namespace

NativeKeyAction::Callback keyActionCallback(const irr::core::stringw& name) {
  for (const NamedCallback& entry : kCallbacks)
    if (name == entry.name)
      return entry.callback;
  for (size_t i = 0; i < kCameraActionCount; ++i)
    if (name == kCameraActions[i])
      return kCameraCallbacks[i];
  return nullptr;
}

void setScreenshotSource(ScreenshotSource source) {
  screenshotSource = source != nullptr ? source : &driverScreenshot;
}

bool writeScreenshot() {
  irr::video::IImage* image = screenshotSource();
  if (image == nullptr)
    return false;
  bool written = false;
  if (engine.driver != nullptr) {
    for (int number = 1; number <= 9999; ++number) {
      char name[32];
      std::snprintf(name, sizeof(name), "ScreenShot%04d.png", number);
      irr::core::stringc path = userFolders.screenshots;
      path += name;
      std::error_code error;
      if (std::filesystem::exists(path.c_str(), error) || error)
        continue;
      written = engine.driver->writeImageToFile(image, irr::io::path(path.c_str()));
      if (written) {
        if (Console* shown = console())
          shown->print(irr::core::stringw(L"Wrote out screenshot: ") + irr::core::stringw(path.c_str()));
      }
      break;
    }
  }
  image->drop();
  return written;
}
