#include "ui/actionmenu/context_entries.h"

#include <irrlicht.h>

#include <algorithm>
#include <set>
#include <vector>

#include "app/base/event_handler.h"
#include "core/locale.h"
#include "core/locks.h"
#include "core/net_encoders.h"
#include "core/threads.h"
#include "design/build/constructible.h"
#include "design/effects/resources.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/empire_commands.h"
#include "gfx/graphics_object.h"
#include "net/empire_messages.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "scriptapi/native_support.h"
#include "ui/actionmenu/action_list.h"
#include "ui/actionmenu/submenus.h"
#include "ui/menus/cargo_dialog.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/dock_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

using irr::gui::IGUIContextMenu;
using irr::core::stringw;

namespace contextentries {

solarSystem* systemOf(generic_object* object) {
  if (object == nullptr)
    return nullptr;
  if (object->getType() == OT_System)
    return static_cast<solarSystem*>(object);
  generic_object* outer = object->container.load();
  return outer != nullptr && outer->getType() == OT_System ? static_cast<solarSystem*>(outer) : nullptr;
}

hull_list* hullOf(generic_object* object) {
  if (object == nullptr || object->getType() != OT_Hulled)
    return nullptr;
  auto* ship = dynamic_cast<objHulled*>(object);
  return ship != nullptr ? ship->getHull() : nullptr;
}

}  // namespace contextentries

using contextentries::hullOf;
using contextentries::systemOf;

namespace {

constexpr uint8_t kClientRequestChannel = 0;
constexpr float kDriveThreshold = 0.0001f;

empire* player() { return activeEmpire.load(); }

bool owned(const generic_object* object) {
  empire* emp = player();
  return object != nullptr && emp != nullptr && object->getOwner() == emp;
}

// The newest revision of a design.
hull_list* newestRevision(hull_list* layout) {
  for (int guard = 0; layout != nullptr && layout->obsolete && layout->newer != nullptr && guard < 10000; ++guard)
    layout = layout->newer;
  return layout;
}

bool hasBuildBay(generic_object* object) {
  static const stringw kBuildBay(L"BuildBay");
  hull_list* layout = hullOf(object);
  return layout != nullptr && layout->hasSystemWithTag(kBuildBay);
}

bool isCombatRole(uint32_t role) { return role == HullRole_Combat || role == HullRole_Carrier; }

// The fleet the object belongs to: its own when it commands one.
FleetAI* fleetOf(generic_object* object) {
  if (object == nullptr || object->ai == nullptr)
    return nullptr;
  if (auto* fleet = dynamic_cast<FleetAI*>(object->ai))
    return fleet;
  if (auto* unit = dynamic_cast<UnitAI*>(object->ai))
    return unit->fleet;
  return nullptr;
}

// The order placement of the player interface.
void place(ObjectAI& ai, Order* order) {
  if (shiftKeyDown)
    ai.appendOrder(order);
  else
    ai.addOrder(order, true);
}

// Shift: behind the queue; Ctrl: before the first automation order; else at
// the front, keeping the other orders.
void placeStanding(ObjectAI& ai, Order* order) {
  if (shiftKeyDown)
    ai.appendOrder(order);
  else if (controlKeyDown)
    ai.insertBeforeAutomation(order);
  else
    ai.addOrder(order, false);
}

template <class Write>
void sendRequest(Write write) {
  if (networkManager == nullptr)
    return;
  RakNet::BitStream own;
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : own;
  stream.Reset();
  write(stream);
  networkManager->send(&stream, kClientRequestChannel, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

// One of the system's per-empire values; 0 when missing. Under the system's
// lock.
float systemStat(solarSystem* system, const empire* emp, const stringw& name) {
  if (system == nullptr || system->systemStats == nullptr || emp == nullptr)
    return 0.0f;
  lockSolarSystem(system);
  float value = 0.0f;
  for (irr::u32 i = 0; i < system->systemStats->size(); ++i)
    if ((*system->systemStats)[i].emp == emp) {
      value = getStatValue((*system->systemStats)[i], name);
      break;
    }
  unlockSolarSystem(system);
  return value;
}

// -- Selection actions --------------------------------------------------------

// The player's object behind a selected graphics object, with an AI.
generic_object* commandable(graphicsObject* graphics) {
  generic_object* object = graphics != nullptr ? graphics->getOwner() : nullptr;
  return owned(object) && object->ai != nullptr ? object : nullptr;
}

// Gives each selected object of the player the order `make` builds for it.
template <class Make>
class GiveOrderAction : public SelectedObjectAction {
 public:
  explicit GiveOrderAction(Make make) : make_(make) {}
  void act(graphicsObject* graphics) override {
    generic_object* object = commandable(graphics);
    if (object == nullptr)
      return;
    const ObjectLock lock(object);
    if (object->ai == nullptr)
      return;
    if (Order* order = make_(object))
      place(*object->ai, order);
  }

 private:
  Make make_;
};
template <class Make>
void giveToSelection(Make make) {
  GiveOrderAction<Make> action(make);
  forEachSelected(action);
}

// Collects the selection, then sends each object that may go, once, to the
// target: fleet members whose commander goes too stay with it.
class GotoAction : public SelectedObjectAction {
 public:
  explicit GotoAction(generic_object* target) : target_(target) {}
  void act(graphicsObject* graphics) override {
    generic_object* object = graphics != nullptr ? graphics->getOwner() : nullptr;
    if (object != nullptr && std::find(collected_.begin(), collected_.end(), object) == collected_.end()) {
      object->grab();
      collected_.push_back(object);
    }
  }
  ~GotoAction() override {
    for (generic_object* object : collected_)
      object->drop();
  }
  GotoAction(const GotoAction&) = delete;
  GotoAction& operator=(const GotoAction&) = delete;

  void finish() {
    std::set<FleetAI*> commanders;
    for (generic_object* object : collected_) {
      const ObjectLock lock(object);
      if (auto* fleet = dynamic_cast<FleetAI*>(object->ai))
        commanders.insert(fleet);
    }
    const bool toSystem = target_->getType() == OT_System;
    for (generic_object* object : collected_) {
      const ObjectLock lock(object);
      if (object->ai == nullptr || !owned(object) || object == target_)
        continue;
      if (auto* unit = dynamic_cast<UnitAI*>(object->ai))
        if (unit->fleet != nullptr && commanders.count(unit->fleet) != 0)
          continue;
      if (object->mover == nullptr || object->mover->getKind() != 2)
        continue;
      float distance = toSystem ? 0.9f * target_->radius : -1.0f;
      if (distance < 0.0f)
        distance = target_->radius;
      place(*object->ai, new goto_order(target_, true, distance));
    }
  }

 private:
  generic_object* target_;
  std::vector<generic_object*> collected_;
};

void goTo(generic_object* target) {
  if (target == nullptr)
    return;
  GotoAction action(target);
  forEachSelected(action);
  action.finish();
}

// Collects the systems of the selection (and of the clicked object), then
// colonises their free planets.
class AutoColonizeAction : public SelectedObjectAction {
 public:
  void add(generic_object* object) {
    solarSystem* system = systemOf(object);
    if (system == nullptr)
      return;
    for (solarSystem* known : systems_)
      if (known == system)
        return;
    system->grab();
    systems_.push_back(system);
  }
  void act(graphicsObject* graphics) override { add(graphics != nullptr ? graphics->getOwner() : nullptr); }
  ~AutoColonizeAction() override {
    for (solarSystem* system : systems_)
      system->drop();
  }
  AutoColonizeAction() = default;
  AutoColonizeAction(const AutoColonizeAction&) = delete;
  AutoColonizeAction& operator=(const AutoColonizeAction&) = delete;

  // Without a system lock held: a command's constructor walks systems.
  void finish() {
    empire* emp = player();
    for (solarSystem* system : systems_) {
      if (isNetworkClient()) {
        sendRequest([&](RakNet::BitStream& stream) { writeColonizeSystemRequest(stream, system, shiftKeyDown); });
        continue;
      }
      if (emp == nullptr)
        continue;
      std::vector<generic_object*> planets;
      lockSolarSystem(system);
      for (irr::u32 i = 0; i < system->children.size(); ++i) {
        generic_object* child = system->children[i].get();
        if (child == nullptr || child->getType() != OT_Planet)
          continue;
        empire* owner = child->getOwner();
        if (owner != nullptr && owner->isValid())
          continue;
        if (owner != nullptr) {
          empire::AreaGuard sets;
          owner->lockArea(sets, EA_ColonizationSets, false);
          if (owner->colonizing.count(child->uid) != 0)
            continue;
        }
        child->grab();
        planets.push_back(child);
      }
      unlockSolarSystem(system);
      for (generic_object* planet : planets) {
        try {
          emp->queueCommand(new ColonizePlanetCommand(planet, emp, shiftKeyDown));
        } catch (const EmpireCommandError&) {
          // Taken (or gone) since: nothing for this planet.
        }
        planet->drop();
      }
    }
  }

 private:
  std::vector<solarSystem*> systems_;
};

// Forms one new fleet of the selected ships of the player, led by the
// largest combat ship (else the largest other ship).
class FormFleetAction : public SelectedObjectAction {
 public:
  FormFleetAction() = default;
  FormFleetAction(const FormFleetAction&) = delete;
  FormFleetAction& operator=(const FormFleetAction&) = delete;
  ~FormFleetAction() override {
    for (generic_object* object : combat_)
      object->drop();
    for (generic_object* object : other_)
      object->drop();
  }

  void act(graphicsObject* graphics) override {
    generic_object* object = graphics != nullptr ? graphics->getOwner() : nullptr;
    if (!owned(object) || object->getType() != OT_Hulled || object->ai == nullptr)
      return;
    if (std::find(combat_.begin(), combat_.end(), object) != combat_.end() ||
        std::find(other_.begin(), other_.end(), object) != other_.end())
      return;
    const ObjectLock lock(object);
    hull_list* layout = hullOf(object);
    object->grab();
    if (layout != nullptr && isCombatRole(layout->role)) {
      combat_.push_back(object);
      if (combatLead_ == nullptr || object->radius > combatLead_->radius ||
          (fleetOf(combatLead_) == nullptr && fleetOf(object) != nullptr))
        combatLead_ = object;
    } else {
      other_.push_back(object);
      if (otherLead_ == nullptr || object->radius > otherLead_->radius)
        otherLead_ = object;
    }
  }

  void finish() {
    generic_object* commander = combatLead_ != nullptr ? combatLead_ : otherLead_;
    empire* emp = player();
    if (commander == nullptr || emp == nullptr)
      return;
    FleetAI* made = nullptr;
    {
      const ObjectLock lock(commander);
      if (commander->ai == nullptr)
        return;
      stringw keptName;
      int keptFormation = -1;
      if (auto* led = dynamic_cast<FleetAI*>(commander->ai)) {
        if (commander == combatLead_) {
          keptName = led->getName();
          keptFormation = led->getFormationType();
        }
        led->dropCommander();
      }
      auto* unit = dynamic_cast<UnitAI*>(commander->ai);
      if (unit == nullptr)
        return;
      if (FleetAI* former = unit->fleet) {
        former->grab();
        former->removeMember(commander);
        former->release();
      }
      made = new FleetAI(static_cast<UnitAI*>(commander->ai));
      commander->setAI(made);
      commander->setFlag(FLAG_IN_FLEET);
      made->release();  // the commander holds it
      emp->addFleet(made);
      if (keptFormation >= 0) {
        made->setName(keptName);
        made->setFormationType(keptFormation);
      }
    }
    made->grab();
    for (std::vector<generic_object*>* list : {&combat_, &other_})
      for (generic_object* object : *list) {
        if (object == commander)
          continue;
        const ObjectLock lock(object);
        if (auto* led = dynamic_cast<FleetAI*>(object->ai)) {
          if (led == made)
            continue;
          led->dropCommander();
          made->addMember(object);
        } else if (auto* unit = dynamic_cast<UnitAI*>(object->ai)) {
          if (unit->fleet == made)
            continue;
          if (FleetAI* former = unit->fleet) {
            former->grab();
            former->removeMember(object);
            former->release();
          }
          made->addMember(object);
        }
      }
    made->release();
    const SelectionGuard guard;
    const uint32_t count = getSelectedObjectCount();
    for (uint32_t i = 0; i < count; ++i) {
      graphicsObject* graphics = selectedObjectAt(i);
      if (graphics != nullptr && graphics->getOwner() == commander) {
        setSubSelection(i);
        break;
      }
    }
  }

 private:
  std::vector<generic_object*> combat_;
  std::vector<generic_object*> other_;
  generic_object* combatLead_ = nullptr;
  generic_object* otherLead_ = nullptr;
};

// Parks or unparks each object of the player.
class SetParkedAction : public SelectedObjectAction {
 public:
  explicit SetParkedAction(bool parked) : parked_(parked) {}
  void act(graphicsObject* graphics) override { apply(graphics != nullptr ? graphics->getOwner() : nullptr); }
  void apply(generic_object* object) {
    if (!owned(object))
      return;
    if (isNetworkClient()) {
      sendRequest([&](RakNet::BitStream& stream) { writeParkRequest(stream, object, parked_); });
      return;
    }
    const ObjectLock lock(object);
    MobileMover* mover = MobileMover::of(object);
    if (mover != nullptr && mover->thrust >= kDriveThreshold)
      mover->setParked(parked_);
  }

 private:
  bool parked_;
};

// -- Entry tests and actions --------------------------------------------------

void attackAction(generic_object*, generic_object* clicked) {
  if (clicked->getType() == OT_System) {
    goTo(clicked);
    return;
  }
  const bool force = controlKeyDown;
  giveToSelection([clicked, force](generic_object*) -> Order* { return new attack_order(clicked, force, true); });
}

void moveToAction(generic_object*, generic_object* clicked) { goTo(clicked); }

void moveToSystemAction(generic_object*, generic_object* clicked) { goTo(systemOf(clicked)); }

void guardAction(generic_object*, generic_object* clicked) {
  giveToSelection([clicked](generic_object* object) -> Order* { return new guard_order(clicked, object); });
}

void transferAction(generic_object* first, generic_object* clicked) { openCargoTransferDialog(first, clicked); }

bool planetOrBuildBay(generic_object*, generic_object* clicked) {
  return clicked->getType() == OT_Planet || hasBuildBay(clicked);
}
bool planetOrBuildBaySelf(generic_object* clicked) { return planetOrBuildBay(nullptr, clicked); }

void retrofitAction(generic_object*, generic_object* clicked) {
  giveToSelection([clicked](generic_object*) -> Order* { return new retrofit_order(clicked); });
}

void scuttleAction(generic_object*, generic_object* clicked) {
  giveToSelection([clicked](generic_object*) -> Order* { return new scuttle_order(clicked); });
}

void assaultAction(generic_object* first, generic_object* clicked) {
  auto* from = static_cast<solarSystem*>(first);
  float distance = 0.9f * clicked->radius;
  if (distance < 0.0f)
    distance = clicked->radius;
  lockSolarSystem(from);
  for (irr::u32 i = 0; i < from->children.size(); ++i) {
    generic_object* child = from->children[i].get();
    if (child == nullptr || child->getType() != OT_Hulled || !owned(child) || child->ai == nullptr)
      continue;
    hull_list* layout = hullOf(child);
    if (layout != nullptr && !isCombatRole(layout->role))
      continue;
    if (child->ai->hasOrderOfType(OrdT_Defend))
      child->ai->addOrder(new goto_order(clicked, false, distance), false);
  }
  unlockSolarSystem(from);
}

bool rallyChecked(generic_object* first, generic_object* clicked) { return first->linkedObject == clicked; }

void rallyAction(generic_object* first, generic_object* clicked) {
  if (isNetworkClient())
    sendRequest([&](RakNet::BitStream& stream) { writeRallyRequest(stream, first, clicked); });
  first->setLinkedObject(clicked);
}

bool hasRally(generic_object* clicked) { return clicked->linkedObject != nullptr; }

void deRallyAction(generic_object* clicked) {
  if (isNetworkClient())
    sendRequest([&](RakNet::BitStream& stream) { writeRallyRequest(stream, clicked, nullptr); });
  clicked->setLinkedObject(nullptr);
}

// Commands for the clicked object; made after its lock is let go.
void supplyAction(generic_object* clicked) {
  empire* emp = player();
  if (emp == nullptr)
    return;
  std::vector<stringw> wanted;
  {
    const ObjectLock lock(clicked);
    if (!clicked->buildQueue.empty() && clicked->buildQueue[0] != nullptr) {
      const constructible::CostList& costs = clicked->buildQueue[0]->costs;
      for (irr::u32 i = 0; i < costs.size(); ++i) {
        if (costs[i].value.amount - costs[i].value.paid <= 0.0f)
          continue;
        const cargoData* resource = findResource(costs[i].entryName());
        if (resource != nullptr && resource->canTransfer)
          wanted.push_back(costs[i].entryName());
      }
    }
    for (const wchar_t* name : {L"Fuel", L"Ammo"}) {
      const irr::s32 index = findStateIndex(clicked->states, name);
      if (index >= 0 && clicked->states[index]->value.val < clicked->states[index]->value.max)
        wanted.push_back(name);
    }
  }
  for (const stringw& resource : wanted) {
    try {
      emp->queueCommand(new GiveSuppliesCommand(clicked, resource, !controlKeyDown));
    } catch (const EmpireCommandError&) {
      return;  // the target is gone
    }
  }
}

bool moreFreePlanets(generic_object* clicked) {
  solarSystem* system = systemOf(clicked);
  if (system == nullptr)
    return false;
  static const stringw kPlanets(L"planets");
  return systemStat(system, getEmpireByID(kSpaceEmpireID), kPlanets) > systemStat(system, player(), kPlanets);
}

void autoColonizeSystemAction(generic_object* clicked) {
  AutoColonizeAction action;
  action.add(clicked);
  forEachSelected(action);
  action.finish();
}

// "void onManageQueue(Object@)" of the client module "gui".
void manageQueueAction(generic_object* clicked) {
  int32_t& id = contextScriptFunctions[CSF_ManageQueue];
  if (id == -50)
    id = getScriptFunctionId(clientScriptEngine, "gui", "void onManageQueue(Object@)");
  if (id < 0 || clientScriptEngine == nullptr)
    return;
  AngelScript::asIScriptFunction* function = clientScriptEngine->GetFunctionById(id);
  AngelScript::asIScriptContext* context = takeClientScriptContext();
  if (function == nullptr || context == nullptr)
    return;
  if (context->Prepare(function) >= 0) {
    clicked->grab();  // the handle's own reference
    if (context->SetArgObject(0, clicked) < 0)
      clicked->drop();
    context->Execute();
  }
  releaseScriptContext(context);
}

void selectSystemAction(generic_object* clicked) {
  solarSystem* system = systemOf(clicked);
  if (system != nullptr && system->graphics != nullptr)
    selectWithModifiers(system->graphics);
}

bool playerPresent(generic_object* clicked) {
  static const stringw kPresence(L"prs");
  solarSystem* system = systemOf(clicked);
  return system != nullptr && systemStat(system, player(), kPresence) > 0.0f;
}

bool noModifier() { return !shiftKeyDown && !controlKeyDown && !altKeyDown; }

void selectByRole(generic_object* clicked, std::initializer_list<uint32_t> roles) {
  solarSystem* system = systemOf(clicked);
  if (system == nullptr)
    return;
  const bool plain = noModifier();
  std::vector<graphicsObject*> picked;
  lockSolarSystem(system);
  for (irr::u32 i = 0; i < system->children.size(); ++i) {
    generic_object* child = system->children[i].get();
    if (child == nullptr || !owned(child) || child->getType() != OT_Hulled || child->graphics == nullptr)
      continue;
    hull_list* layout = hullOf(child);
    if (layout != nullptr && std::find(roles.begin(), roles.end(), layout->role) != roles.end()) {
      child->graphics->grab();
      picked.push_back(child->graphics);
    }
  }
  unlockSolarSystem(system);
  {
    const SelectionGuard guard;
    if (plain)
      setSelection(nullptr);
    for (graphicsObject* graphics : picked) {
      if (plain)
        addToSelection(graphics);
      else
        selectWithModifiers(graphics);
    }
  }
  for (graphicsObject* graphics : picked)
    graphics->drop();
}

void selectCombatAction(generic_object* clicked) { selectByRole(clicked, {HullRole_Combat, HullRole_Carrier}); }
void selectCivilAction(generic_object* clicked) {
  selectByRole(clicked, {HullRole_Civilian, HullRole_Cargo, HullRole_ColonyShip});
}

bool hasDocked(generic_object* clicked) { return clicked->dockUsed > 0.01f; }

void undockAllAction(generic_object* clicked) {
  if (isNetworkClient()) {
    sendRequest([&](RakNet::BitStream& stream) { writeUndockAllRequest(stream, clicked); });
    return;
  }
  const irr::u32 count = clicked->docked.size();
  for (irr::u32 i = 0; i < count; ++i)
    clicked->undockObject(0);
}

bool canDockAt(generic_object* first, generic_object* clicked) {
  return first->getType() != OT_Planet && clicked->dockUsed < clicked->dockSpace;
}

void dockAction(generic_object*, generic_object* clicked) {
  giveToSelection([clicked](generic_object* object) -> Order* {
    return object != clicked ? new dock_order(clicked) : nullptr;
  });
}

bool inNoFleet(generic_object* clicked) { return fleetOf(clicked) == nullptr; }

void createFleetAction(generic_object*) { formFleetOfSelection(); }

bool commandsFleet(generic_object* clicked) {
  FleetAI* fleet = fleetOf(clicked);
  return fleet != nullptr && fleet == clicked->ai;
}

void resignAction(generic_object* clicked) {
  if (auto* fleet = dynamic_cast<FleetAI*>(clicked->ai))
    fleet->dropCommander();
}

bool memberNotCommander(generic_object* clicked) {
  FleetAI* fleet = fleetOf(clicked);
  return fleet != nullptr && fleet != clicked->ai;
}

void leaveFleetAction(generic_object* clicked) {
  FleetAI* fleet = fleetOf(clicked);
  if (fleet == nullptr || fleet == clicked->ai)
    return;
  fleet->grab();
  fleet->removeMember(clicked);
  fleet->release();
}

bool inFleet(generic_object* clicked) { return fleetOf(clicked) != nullptr; }

// The commander and every member give up the fleet in turn. The fleet is
// held meanwhile: the last command handed on may release it, and a fleet
// left without a commander ends the walk.
void disbandFleetAction(generic_object* clicked) {
  FleetAI* fleet = fleetOf(clicked);
  if (fleet == nullptr)
    return;
  fleet->grab();
  const unsigned rounds = fleet->getMemberCount() + 1;
  for (unsigned i = 0; i < rounds; ++i)
    if (!fleet->dropCommander())
      break;
  fleet->release();
}

bool hasOrders(generic_object* clicked) { return clicked->ai != nullptr && clicked->ai->getOrderCount() > 0; }

// Each selected object is locked in turn by the action, with no other
// system's lock held meanwhile.
void clearOrdersAction(generic_object*) {
  ClearOrdersAction action(controlKeyDown);
  forEachSelected(action);
}

void defendAction(generic_object* clicked) {
  if (clicked->ai != nullptr)
    placeStanding(*clicked->ai, new defend_order());
}

bool colonyShip(generic_object* clicked) {
  hull_list* layout = hullOf(clicked);
  return layout != nullptr && layout->role == HullRole_ColonyShip;
}

void colonizeAction(generic_object* clicked) {
  if (clicked->ai != nullptr)
    placeStanding(*clicked->ai, new colonize_order());
}

bool hasAutomation(generic_object* clicked) {
  hull_list* layout = hullOf(clicked);
  return layout != nullptr && layout->orders.size() > 0;
}

void automationAction(generic_object* clicked) {
  hull_list* layout = hullOf(clicked);
  if (layout == nullptr || clicked->ai == nullptr)
    return;
  clicked->ai->clearOrders(true);
  for (irr::u32 i = layout->orders.size(); i-- > 0;) {
    const hull_list::orderEntry& entry = layout->orders[i];
    if (entry.order == nullptr)
      continue;
    if (Order* order = createAutomationOrder(*entry.order, entry.argument, entry.secondArgument))
      clicked->ai->addOrder(order, false);
  }
}

// -- Special pickers ------------------------------------------------------------

// Park and unpark, checked while the first object is parked.
class CGUIToggleParked : public IGUIActionPicker {
 public:
  void addEntries(generic_object* first, generic_object*, IGUIContextMenu*& menu) override {
    if (first == nullptr || !first->isValid() || !owned(first))
      return;
    const ObjectLock lock(first);
    bool shown = false;
    if (MobileMover* mover = MobileMover::of(first)) {
      shown = mover->thrust >= kDriveThreshold;
      parked_ = mover->parked;
    } else if (FakeMobileMover* mirror = FakeMobileMover::of(first)) {
      shown = mirror->thrust >= kDriveThreshold;
      parked_ = mirror->parked;
    }
    if (shown && ensureContextMenu(menu) != nullptr)
      menu->addItem(getLocalizedText(L"#RM_Park"), commandId, true, false, parked_);
  }
  void run(generic_object* first, generic_object* clicked) override {
    if (first == nullptr)
      return;
    const ObjectLock lock(first);
    SetParkedAction action(!parked_);
    action.apply(clicked);
    forEachSelected(action);
  }

 private:
  bool parked_ = false;
};

// Queues a free planet for colonisation, or takes it out of the queue.
class CGUISetAutoColonize : public IGUIActionPicker {
 public:
  void addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) override {
    if (clicked == nullptr || clicked->getType() != OT_Planet)
      return;
    empire* owner = clicked->getOwner();
    if (owner != nullptr && owner->isValid())
      return;
    if (ensureContextMenu(menu) != nullptr)
      menu->addItem(getLocalizedText(L"#RM_auto_colony"), commandId, true, false,
                    isQueuedForColonization(clicked->uid));
  }
  void run(generic_object*, generic_object* clicked) override {
    if (clicked == nullptr || !clicked->isValid())
      return;
    if (isQueuedForColonization(clicked->uid))
      unqueueColonization(clicked->uid);
    else if (empire* emp = player())
      emp->queueColonization(clicked->uid);
  }
};

// Selects the ships of the clicked ship's design in its system.
class CGUISelectType : public IGUIActionPicker {
 public:
  void addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) override {
    if (clicked == nullptr || !owned(clicked) || clicked->ai == nullptr || clicked->getType() != OT_Hulled)
      return;
    hull_list* design = newestRevision(hullOf(clicked));
    stringw text(getLocalizedText(L"#RM_SelectType"));
    text += L" ";
    if (design != nullptr)
      text += design->getName();
    if (ensureContextMenu(menu) != nullptr)
      menu->addItem(text.c_str(), commandId, true, false, false);
  }
  void run(generic_object*, generic_object* clicked) override {
    if (clicked == nullptr || !clicked->isValid() || clicked->getType() != OT_Hulled)
      return;
    hull_list* design = newestRevision(hullOf(clicked));
    generic_object* system = clicked->container.load();
    if (system == nullptr)
      return;
    const bool plain = noModifier();
    const SelectionGuard guard;
    if (plain)
      setSelection(nullptr);
    for (irr::u32 i = 0; i < system->children.size(); ++i) {
      generic_object* child = system->children[i].get();
      if (child == nullptr || child->getType() != OT_Hulled || child->graphics == nullptr)
        continue;
      if (newestRevision(hullOf(child)) != design)
        continue;
      if (plain)
        addToSelection(child->graphics);
      else
        selectWithModifiers(child->graphics);
    }
  }
};

using Targ = CGUIObjTargAction;
using Self = CGUIObjSelfAction;
constexpr int kAny = 0;

}  // namespace

void formFleetOfSelection() {
  FormFleetAction action;
  forEachSelected(action);
  action.finish();
}

void ClearOrdersAction::act(graphicsObject* graphics) {
  generic_object* object = graphics != nullptr ? graphics->getOwner() : nullptr;
  if (!owned(object))
    return;
  // The galaxy thread of the object's system changes its queue and mover
  // too: both are touched only under the system's lock.
  const ObjectLock lock(object);
  if (object->ai != nullptr)
    object->ai->clearOrders(all_);
  vector3df here;
  object->toAbsolutePosition(here, object->position);
  object->setDestination(here);
  if (object->getType() == OT_Hulled)
    if (auto* ship = dynamic_cast<objHulled*>(object))
      ship->clearEffectorTargets();
}

void writeRallyRequest(RakNet::BitStream& stream, const generic_object* planet, const generic_object* rally) {
  stream.Write(ID_PLANET_SETTING);
  writeNetObjectRef(stream, planet);
  stream.Write(static_cast<uint8_t>(PSK_RallyPoint));
  writeNetObjectRef(stream, rally);
}

void writeUndockAllRequest(RakNet::BitStream& stream, const generic_object* object) {
  stream.Write(ID_OBJECT_COMMAND);
  stream.Write(static_cast<uint8_t>(OCK_UndockAll));
  writeNetObjectRef(stream, object);
}

void writeColonizeSystemRequest(RakNet::BitStream& stream, const generic_object* system, bool toFront) {
  stream.Write(ID_EMPIRE_COMMAND);
  stream.Write(kEmpireCommandColonize);
  stream.Write(system != nullptr ? system->uid : 0u);
  stream.Write(toFront);
}

void addContextPickers(CGUIActionList& list, bool networkClient) {
  const uint32_t command = PC_Commandable;
  const uint32_t movable = PC_Movable | PC_Commandable;
  list.addPicker(new CGUISeparator);
  list.addPicker(new Targ(L"#RM_Attack", {kAny, POR_Own, command}, {kAny, POR_Any}, attackAction));
  list.addPicker(new Targ(L"#RM_MoveTo", {kAny, POR_Own, movable}, {kAny, POR_Any}, moveToAction));
  list.addPicker(new Targ(L"#RM_MoveToSys", {kAny, POR_Own, movable}, {kAny, POR_Any}, moveToSystemAction));
  list.addPicker(new Targ(L"#RM_Guard", {kAny, POR_Own, movable}, {kAny, POR_Own}, guardAction));
  list.addPicker(newUseToolPicker());
  list.addPicker(new Targ(L"#RM_Transfer", {kAny, POR_Own, command}, {kAny, POR_Own}, transferAction));
  list.addPicker(
      new Targ(L"#RM_Retrofit", {OT_Hulled, POR_Own, command}, {kAny, POR_Own}, retrofitAction, planetOrBuildBay));
  list.addPicker(
      new Targ(L"#RM_Scuttle", {OT_Hulled, POR_Own, command}, {kAny, POR_Own}, scuttleAction, planetOrBuildBay));
  list.addPicker(new Targ(L"#RM_Assault", {OT_System, POR_Any, PC_None}, {OT_System, POR_Any}, assaultAction));
  list.addPicker(
      new Targ(L"#RM_Rally", {OT_Planet, POR_Own, PC_None}, {kAny, POR_Any}, rallyAction, nullptr, rallyChecked));
  list.addPicker(new Self(L"#RM_DeRally", OT_Planet, POR_Own, PC_None, deRallyAction, hasRally));
  list.addPicker(new CGUIToggleParked);
  list.addPicker(new CGUISeparator);
  list.addPicker(new Self(L"#RM_Supply", kAny, POR_Own, PC_None, supplyAction, nullptr, false));
  list.addPicker(new CGUISetAutoColonize);
  list.addPicker(
      new Self(L"#RM_auto_colony_sys", kAny, POR_Any, PC_None, autoColonizeSystemAction, moreFreePlanets, false));
  list.addPicker(new CGUISeparator);
  list.addPicker(newGovernorPicker());
  list.addPicker(new CGUISeparator);
  list.addPicker(new Self(L"#RM_ManageQueue", kAny, POR_Own, PC_None, manageQueueAction, planetOrBuildBaySelf));
  list.addPicker(newBuildShipsPicker());
  list.addPicker(newBuildStructuresPicker());
  list.addPicker(new CGUISeparator);
  list.addPicker(new Self(L"#RM_select_sys", kAny, POR_Any, PC_None, selectSystemAction));
  list.addPicker(new Self(L"#RM_select_combat", kAny, POR_Any, PC_None, selectCombatAction, playerPresent));
  list.addPicker(new Self(L"#RM_select_civ", kAny, POR_Any, PC_None, selectCivilAction, playerPresent));
  list.addPicker(new CGUISelectType);
  list.addPicker(newSelectFleetPicker());
  list.addPicker(new CGUISeparator);
  list.addPicker(new Self(L"#RM_UndockAll", kAny, POR_Own, PC_None, undockAllAction, hasDocked));
  list.addPicker(new Targ(L"#RM_Dock", {kAny, POR_Own, command}, {kAny, POR_Own}, dockAction, canDockAt));
  if (!networkClient) {
    list.addPicker(new CGUISeparator);
    list.addPicker(newJoinFleetPicker());
    list.addPicker(new Self(L"#RM_CreateFleet", kAny, POR_Own, command, createFleetAction, inNoFleet));
    list.addPicker(new Self(L"#RM_Resign", kAny, POR_Own, command, resignAction, commandsFleet));
    list.addPicker(new Self(L"#RM_LeaveFleet", kAny, POR_Own, command, leaveFleetAction, memberNotCommander));
    list.addPicker(new Self(L"#RM_DisbandFleet", kAny, POR_Own, command, disbandFleetAction, inFleet));
  }
  list.addPicker(new CGUISeparator);
  list.addPicker(new Self(L"#RM_ClearOrders", kAny, POR_Own, command, clearOrdersAction, hasOrders, false));
  list.addPicker(new Self(L"#RM_DefendSys", kAny, POR_Own, command, defendAction));
  list.addPicker(new Self(L"#RM_Colonize", OT_Hulled, POR_Own, movable, colonizeAction, colonyShip));
  list.addPicker(new Self(L"#RM_Automation", OT_Hulled, POR_Own, command, automationAction, hasAutomation));
}
