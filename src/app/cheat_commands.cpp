#include "app/cheat_commands.h"

#include <cmath>
#include <cwchar>
#include <limits>
#include <stdexcept>

#include "app/base/session_state.h"
#include "app/console_commands.h"
#include "app/view_commands.h"
#include "core/log.h"
#include "design/base/numbers.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "gfx/base/color.h"
#include "gfx/game_camera.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "ui/selection.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/game_object.h"
#include "universe/objects/held_pointer.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/object_states.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

using irr::core::stringw;

const wchar_t* const kCheatsGateMessage = L"  sv_cheats must be enabled to use this command";

namespace {

constexpr wchar_t kNoActiveEmpire[] = L"No active empire";
constexpr wchar_t kNotDecimal[] = L"  The 2nd argument must be a decimal number";

// Where a ship goes when the selected object stands at the origin.
const vector3df kShipAtOrigin(100.0f, 0.0f, 0.0f);
// The gap between the selected object and the new ship.
constexpr float kShipGap = 5.0f;

void print(const stringw& text) {
  if (Console* out = console())
    out->print(text);
}

void write(const stringw& text) {
  if (Console* out = console())
    out->write(text);
}

void printHelp(const ConsoleArgs& args) {
  if (Console* out = console())
    out->printHelp(args);
}

bool cheatsOn() { return svCheats.load(); }

// The gate: false, with its message printed, while cheats are off.
bool passGate() {
  if (cheatsOn())
    return true;
  print(kCheatsGateMessage);
  return false;
}

// A wrong count: the help, and the gate's message while cheats are off.
void refuseCount(const ConsoleArgs& args) {
  printHelp(args);
  if (!cheatsOn())
    print(kCheatsGateMessage);
}

// The game object of the selection's member (the single one, or the first),
// with a reference held: the selection may let go of it meanwhile.
heldPointer<generic_object> selectedGameObject(bool first) {
  const SelectionGuard guard;
  graphicsObject* graphics = first ? selectedObjectAt(0) : getSingleSelectedObject();
  return heldPointer<generic_object>(graphics != nullptr ? graphics->getOwner() : nullptr);
}

// The single selected object of a cheat, or null once the refusal is
// printed: a wrong count (`countOk` false: help and the gate's message),
// the gate, then `noSelection` when nothing is selected.
heldPointer<generic_object> gatedSelection(const ConsoleArgs& args, bool countOk, const wchar_t* noSelection) {
  if (!countOk) {
    refuseCount(args);
    return heldPointer<generic_object>(nullptr);
  }
  if (!passGate())
    return heldPointer<generic_object>(nullptr);
  heldPointer<generic_object> selected = selectedGameObject(false);
  if (selected.get() == nullptr)
    print(noSelection);
  return selected;
}

// A decimal that a float holds.
bool readAmount(const stringw& text, float& value) {
  double number = 0.0;
  if (!readDecimalNumber(text, number) || !(std::fabs(number) <= std::numeric_limits<float>::max()))
    return false;
  value = static_cast<float>(number);
  return true;
}

bool readColor(const stringw& text, irr::video::SColor& color) {
  try {
    color = parseHexColor(text);
    return true;
  } catch (const std::invalid_argument& bad) {
    print(stringw(L"Bad color '") + text + L"': " + stringw(bad.what()));
    return false;
  }
}

// The layout named `name` of `owner`'s, with a reference held; null when it
// has none of that name.
hull_list* findLayout(empire* owner, const stringw& name) {
  // Writing: the lookup sorts the table when it is not sorted yet.
  empire::AreaGuard guard;
  owner->lockArea(guard, EA_HullLayouts, true);
  const irr::s32 index = NamedVar<hull_list*>::find(owner->hulls, name);
  if (index < 0)
    return nullptr;
  hull_list* layout = owner->hulls[static_cast<irr::u32>(index)].value;
  if (layout != nullptr)
    layout->grab();
  return layout;
}

// The star system (or galaxy) that will hold a ship made at `place`.
generic_object* shipContainer(generic_object* place) {
  for (generic_object* at = place; at != nullptr; at = at->container.load())
    if (at->getType() == OT_System || at->getType() == OT_Galaxy)
      return at;
  return nullptr;
}

}  // namespace

// Where create_ship puts a ship of `layoutRadius` beside `object`.
vector3df createShipPlacement(const generic_object& object, float layoutRadius) {
  // A star system's position is no place inside it, where the ship goes.
  const vector3df p = object.getType() == OT_System ? vector3df() : object.position;
  const float d = p.getLength();
  if (d == 0.0f)
    return kShipAtOrigin;
  return p * ((object.radius + d + layoutRadius + kShipGap) / d);
}

void svCheatsCommand(const ConsoleArgs& args) {
  if (args.size() == 1) {
    wchar_t line[32];
    std::swprintf(line, sizeof line / sizeof line[0], L"sv_cheats %i", cheatsOn() ? 1 : 0);
    print(line);
    printHelp(args);
    return;
  }
  if (isNetworkClient()) {
    print(L"sv_cheats is server-mandated");
    return;
  }
  if (args.size() != 2) {
    printHelp(args);
    return;
  }
  int32_t value = -1;
  if (!readWholeToggle(args[1], value) || (value != 0 && value != 1)) {
    print(L"sv_cheats only takes the values 0 and 1");
    return;
  }
  svCheats = value == 1;
}

void empSeeAllCommand(const ConsoleArgs& args) {
  if (args.size() > 2) {
    refuseCount(args);
    return;
  }
  if (args.size() == 2 && !passGate())
    return;
  empire* local = activeEmpire.load();
  if (local == nullptr) {
    print(kNoActiveEmpire);
    return;
  }
  if (args.size() == 1) {
    wchar_t line[32];
    std::swprintf(line, sizeof line / sizeof line[0], L"emp_see_all %i\n", local->seeAll ? 1 : 0);
    write(line);
    printHelp(args);
    return;
  }
  int32_t value = -1;
  if (!readWholeToggle(args[1], value) || (value != 0 && value != 1)) {
    write(L"emp_see_all only takes the values 0 and 1\n");
    return;
  }
  local->seeAll = value == 1;
}

void createShipCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    printHelp(args);
    return;
  }
  if (!passGate())
    return;
  const heldPointer<generic_object> selected = selectedGameObject(false);
  if (selected.get() == nullptr) {
    print(L"  May only be used with an object selected.");
    return;
  }
  empire* owner = selected->getOwner();
  if (owner == nullptr || !owner->isValid())
    owner = activeEmpire.load();
  if (owner == nullptr) {
    print(kNoActiveEmpire);
    return;
  }
  hull_list* layout = findLayout(owner, args[1]);
  if (layout == nullptr) {
    print(L"  Specified hull layout did not exist.");
    return;
  }
  Hull_Desc desc;
  desc.Owner = owner;
  desc.set_hull(layout);
  layout->drop();  // the descriptor holds it
  desc.Position = createShipPlacement(*selected.get(), layout->scale);
  solarSystem* system = asSystemLock(shipContainer(selected.get()));
  lockSolarSystem(system);
  createShipObject(desc, selected.get());
  unlockSolarSystem(system);
}

void addResourceCommand(const ConsoleArgs& args) {
  const heldPointer<generic_object> selected =
      gatedSelection(args, args.size() != 1, L"add_resource may only be used with an object selected");
  if (selected.get() == nullptr)
    return;
  if (args.size() != 3) {
    print(L"add_resource requires a resource name and amount");
    return;
  }
  float amount = 0.0f;
  if (!readAmount(args[2], amount)) {
    print(kNotDecimal);
    return;
  }
  generic_object* object = selected.get();
  const ObjectLock lock(object);
  if (State* state = getOrAddObjectState(object, args[1]))
    addToState(*state, object, amount);
}

void addEmpStatCommand(const ConsoleArgs& args) {
  if (args.size() == 1) {
    refuseCount(args);
    return;
  }
  if (!passGate())
    return;
  empire* local = activeEmpire.load();
  if (local == nullptr) {
    print(kNoActiveEmpire);
    return;
  }
  if (args.size() != 3) {
    print(L"add_emp_stat requires a stat name and amount");
    return;
  }
  float amount = 0.0f;
  if (!readAmount(args[2], amount)) {
    print(kNotDecimal);
    return;
  }
  local->modStat(args[1], ESO_Add, amount);  // under the empire's stats lock
}

void destroyCommand(const ConsoleArgs& args) {
  if (args.size() > 2) {
    refuseCount(args);
    return;
  }
  if (!passGate())
    return;
  if (args.size() == 1) {
    const heldPointer<generic_object> selected = selectedGameObject(true);
    if (selected.get() == nullptr) {
      print(L"destroy may only be used with an object selected");
      return;
    }
    selected->destroy(false);
    return;
  }
  const HeldObject target(parseWideInteger(args[1]));
  if (target.get() != nullptr)
    target.get()->destroy(false);
}

void setOwnerCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    print(L"dbg_set_owner takes exactly one argument, the new owner empire's ID.");
    return;
  }
  const heldPointer<generic_object> selected = selectedGameObject(false);
  if (selected.get() == nullptr) {
    print(L"dbg_set_owner may only be used with an object selected.");
    return;
  }
  const int32_t id = parseSignedWideInt(args[1]);
  // A number no empire ID can be names no empire, as an unused ID does.
  empire* owner = id >= 0 && id <= std::numeric_limits<EmpireID>::max() ? getEmpireByID(static_cast<EmpireID>(id))
                                                                          : defaultEmpire();
  generic_object* object = selected.get();
  const ObjectLock lock(object);
  object->setOwner(owner);
}

void setEmpColCommand(const ConsoleArgs& args) {
  if (args.size() == 1) {
    refuseCount(args);
    return;
  }
  if (!passGate())
    return;
  empire* named = findEmpireByName(args[1]);
  if (named == nullptr || named == defaultEmpire()) {
    print(L"Invalid empire");
    return;
  }
  if (args.size() != 3) {
    print(L"set_emp_color requires a stat name and a color");
    return;
  }
  irr::video::SColor color;
  if (readColor(args[2], color))
    named->color = color.color;
}

void listStatsCommand(const ConsoleArgs& args) {
  const heldPointer<generic_object> selected =
      gatedSelection(args, args.size() == 1, L"list_stats may only be used with an object selected");
  if (selected.get() == nullptr)
    return;
  generic_object* object = selected.get();
  if (object->systemStats == nullptr) {
    print(L"No stat manager associated with the object");
    return;
  }
  const ObjectLock lock(object);
  dumpSystemStats(*object->systemStats);
}

void listStatesCommand(const ConsoleArgs& args) {
  const heldPointer<generic_object> selected =
      gatedSelection(args, args.size() == 1, L"list_states may only be used with an object selected");
  if (selected.get() == nullptr)
    return;
  generic_object* object = selected.get();
  const ObjectLock lock(object);
  for (irr::u32 i = 0; i < object->states.size(); ++i) {
    const State* state = object->states[i];
    if (state == nullptr)
      continue;
    logPrint("%ls: val = %f, max = %f, req = %f, cargo = %f\n", state->entryName().c_str(),
             static_cast<double>(state->value.val), static_cast<double>(state->value.max),
             static_cast<double>(state->value.required), static_cast<double>(state->value.inCargo));
  }
}

void zoomToCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    refuseCount(args);
    return;
  }
  if (!passGate())
    return;
  const HeldObject target(parseWideInteger(args[1]));
  if (target.get() == nullptr) {
    print(L"No object found with that UID");
    return;
  }
  // Objects without graphics (all of them on a server without a view) give
  // the camera nothing to follow.
  if (graphicsObject* graphics = target.get()->graphics)
    gameCamera.setFocus(graphics, true);
}
