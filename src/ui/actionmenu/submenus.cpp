#include "ui/actionmenu/submenus.h"

#include <angelscript.h>
#include <irrlicht.h>

#include <vector>

#include "app/base/event_handler.h"
#include "core/locale.h"
#include "core/threads.h"
#include "design/build/constructible.h"
#include "design/effectors/effector.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "platform/bit_stream.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "scriptapi/order_selection.h"
#include "ui/actionmenu/context_entries.h"
#include "ui/selection.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

using irr::core::stringw;
using irr::gui::IGUIContextMenu;

using contextentries::hullOf;
using contextentries::systemOf;

namespace {

constexpr uint8_t kBuildRequestChannel = 0;

empire* player() { return activeEmpire.load(); }

bool owned(const generic_object* object) {
  empire* emp = player();
  return object != nullptr && emp != nullptr && object->getOwner() == emp;
}

bool isSystemOrStar(const generic_object* object) {
  return object->getType() == OT_System || object->getType() == OT_Star;
}

objHabitation* planetOf(generic_object* object) {
  return object != nullptr && object->getType() == OT_Planet ? dynamic_cast<objHabitation*>(object) : nullptr;
}

FleetAI* fleetOf(generic_object* object) {
  if (object == nullptr || object->ai == nullptr)
    return nullptr;
  if (auto* fleet = dynamic_cast<FleetAI*>(object->ai))
    return fleet;
  if (auto* unit = dynamic_cast<UnitAI*>(object->ai))
    return unit->fleet;
  return nullptr;
}

uint32_t buildCount() { return shiftKeyDown ? kShiftBuildCount : 1; }

template <class Write>
void sendToServer(uint8_t channel, RakNet::PacketReliability reliability, Write write) {
  if (networkManager == nullptr)
    return;
  RakNet::BitStream own;
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : own;
  stream.Reset();
  write(stream);
  networkManager->send(&stream, channel, reliability, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}
template <class Write>
void sendBuildRequest(Write write) {
  sendToServer(kBuildRequestChannel, RakNet::RELIABLE_ORDERED, write);
}
template <class Write>
void sendPlanetSetting(RakNet::PacketReliability reliability, Write write) {
  sendToServer(kPlanetSettingChannel, reliability, write);
}

// "void multiBuild(...)" of the client module "gui" with a game object and
// a design or definition. The function id is cached until the menu opens
// again; a missing module or function calls nothing.
void callMultiBuild(ContextScriptFunction slot, const char* declaration, generic_object* object, const void* what) {
  int32_t& id = contextScriptFunctions[slot];
  if (id == -50)
    id = getScriptFunctionId(clientScriptEngine, "gui", declaration);
  if (id < 0 || clientScriptEngine == nullptr)
    return;
  AngelScript::asIScriptFunction* function = clientScriptEngine->GetFunctionById(id);
  if (function == nullptr)
    return;
  AngelScript::asIScriptContext* context = takeClientScriptContext();
  if (context == nullptr)
    return;
  // The engine takes the handles' own references on the objects it counts.
  if (context->Prepare(function) >= 0 && context->SetArgObject(0, object) >= 0 &&
      context->SetArgObject(1, const_cast<void*>(what)) >= 0)
    context->Execute();
  releaseScriptContext(context);
}

// A counted reference on the clicked object, kept from the menu's opening
// to the choice.
class HeldObject {
 public:
  HeldObject() = default;
  ~HeldObject() { reset(); }
  HeldObject(const HeldObject&) = delete;
  HeldObject& operator=(const HeldObject&) = delete;

  void hold(generic_object* object) {
    if (object == object_)
      return;
    if (object != nullptr)
      object->grab();
    reset();
    object_ = object;
  }
  void reset() {
    generic_object* object = object_;
    object_ = nullptr;
    if (object != nullptr)
      object->drop();
  }
  generic_object* get() const { return object_; }

 private:
  generic_object* object_ = nullptr;
};

// What every sub-menu picker shares: its sub-menu's id bound to itself, the
// held object, and the event pattern (a close lets the object go; a choice
// is made, then lets it go).
class SubMenuPicker : public IGUIActionPicker, public GuiCallback {
 public:
  explicit SubMenuPicker(int32_t menuId, bool closeDrops = true) : menuId_(menuId), closeDrops_(closeDrops) {}
  ~SubMenuPicker() override { removeGuiCallback(menuId_); }
  SubMenuPicker(const SubMenuPicker&) = delete;
  SubMenuPicker& operator=(const SubMenuPicker&) = delete;

  bool OnEvent(const irr::SEvent& event) override {
    if (event.EventType != irr::EET_GUI_EVENT)
      return true;
    if (event.GUIEvent.EventType == irr::gui::EGET_ELEMENT_CLOSED && closeDrops_) {
      held.reset();
    } else if (event.GUIEvent.EventType == irr::gui::EGET_MENU_ITEM_SELECTED && event.GUIEvent.Caller != nullptr &&
               event.GUIEvent.Caller->getType() == irr::gui::EGUIET_CONTEXT_MENU) {
      choose(*static_cast<IGUIContextMenu*>(event.GUIEvent.Caller));
      held.reset();
    }
    return true;
  }

 protected:
  // Adds the item `label` with a sub-menu of this picker's id, bound to
  // this picker; the sub-menu, or null without a menu.
  IGUIContextMenu* addSubMenu(IGUIContextMenu*& menu, const wchar_t* label) {
    if (ensureContextMenu(menu) == nullptr)
      return nullptr;
    const irr::u32 index = menu->addItem(label, -1, true, true, false);
    IGUIContextMenu* sub = menu->getSubMenu(index);
    if (sub == nullptr)
      return nullptr;
    sub->setID(menuId_);
    bindGuiCallbackObject(this, menuId_);
    return sub;
  }

  // The chosen item's text and command id.
  static bool chosenItem(IGUIContextMenu& sub, stringw& text, int32_t& command) {
    const irr::s32 item = sub.getSelectedItem();
    if (item < 0 || static_cast<irr::u32>(item) >= sub.getItemCount())
      return false;
    text = sub.getItemText(static_cast<irr::u32>(item));
    command = sub.getItemCommandId(static_cast<irr::u32>(item));
    return true;
  }

  virtual void choose(IGUIContextMenu& sub) = 0;

  HeldObject held;

 private:
  int32_t menuId_;
  bool closeDrops_;
};

// -- Build ships ---------------------------------------------------------------

class CGUIBuildShipsMenu : public SubMenuPicker {
 public:
  CGUIBuildShipsMenu() : SubMenuPicker(kBuildShipsMenuId) {}

  void addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) override {
    held.reset();
    empire* emp = player();
    if (clicked == nullptr || emp == nullptr)
      return;
    {
      const ObjectLock lock(clicked);
      const bool atSystem = isSystemOrStar(clicked);
      if (!atSystem && !owned(clicked))
        return;
      if (clicked->getType() == OT_Hulled) {
        static const stringw kBuildBay(L"BuildBay");
        hull_list* layout = hullOf(clicked);
        if (layout == nullptr || !layout->hasSystemWithTag(kBuildBay))
          return;
      }
    }
    empire::AreaGuard hulls;
    emp->lockArea(hulls, EA_HullLayouts, false);
    if (emp->hulls.empty())
      return;
    const wchar_t* label = getLocalizedText(isSystemOrStar(clicked) ? L"#RM_BuildShipsBest" : L"#RM_BuildShips");
    IGUIContextMenu* sub = addSubMenu(menu, label);
    if (sub == nullptr)
      return;
    held.hold(clicked);
    for (irr::u32 i = 0; i < emp->hulls.size(); ++i) {
      hull_list* layout = emp->hulls[i].value;
      if (layout != nullptr && !layout->obsolete)
        sub->addItem(layout->getName().c_str(), static_cast<irr::s32>(i), true, false, false);
    }
  }

 protected:
  void choose(IGUIContextMenu& sub) override {
    generic_object* clicked = held.get();
    empire* emp = player();
    const irr::s32 position = sub.getSelectedItem();
    if (clicked == nullptr || emp == nullptr || position < 0 || static_cast<irr::u32>(position) >= sub.getItemCount())
      return;
    const stringw text = sub.getItemText(static_cast<irr::u32>(position));
    // The item's place in the list first, else its name.
    stringw name;
    {
      empire::AreaGuard hulls;
      emp->lockArea(hulls, EA_HullLayouts, false);
      const auto index = static_cast<irr::u32>(position);
      if (index < emp->hulls.size() && emp->hulls[index].value != nullptr && emp->hulls[index].value->getName() == text)
        name = emp->hulls[index].value->getName();
      else
        for (irr::u32 i = 0; i < emp->hulls.size(); ++i)
          if (emp->hulls[i].value != nullptr && emp->hulls[i].value->getName() == text) {
            name = emp->hulls[i].value->getName();
            break;
          }
    }
    if (name.empty())
      return;
    const uint32_t count = buildCount();
    if (isSystemOrStar(clicked)) {
      solarSystem* system = systemOf(clicked);
      hull_list* layout = emp->updateHullByName(name, -1.0f);
      if (system == nullptr || layout == nullptr)
        return;
      if (controlKeyDown)
        callMultiBuild(CSF_MultiBuildSystem, "void multiBuild(System@, const HullLayout@)", system, layout);
      else
        distributeShipsToBestPlanets(system, count, layout);
      return;
    }
    if (controlKeyDown) {
      if (hull_list* layout = emp->updateHullByName(name, -1.0f))
        callMultiBuild(CSF_MultiBuildObject, "void multiBuild(Object@, const HullLayout@)", clicked, layout);
      return;
    }
    if (isNetworkClient()) {
      for (uint32_t i = 0; i < count; ++i)
        sendBuildRequest([&](RakNet::BitStream& stream) { writeShipBuildRequest(stream, clicked->uid, name); });
      return;
    }
    hull_list* layout = emp->updateHullByName(name, -1.0f);
    if (layout == nullptr)
      return;
    const ObjectLock lock(clicked);
    if (!owned(clicked))
      return;
    for (uint32_t i = 0; i < count; ++i)
      clicked->addConstructible(new ShipConstructible(layout));
  }
};

// -- Build structures ------------------------------------------------------------

class CGUIBuildStructsMenu : public SubMenuPicker {
 public:
  CGUIBuildStructsMenu() : SubMenuPicker(kBuildStructuresMenuId) {}

  void addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) override {
    held.reset();
    empire* emp = player();
    objHabitation* planet = planetOf(clicked);
    if (planet == nullptr || emp == nullptr)
      return;
    {
      const ObjectLock lock(planet);
      if (!owned(planet) || static_cast<int>(planet->structures.size()) == planet->getMaxStructureCount())
        return;
    }
    // Whether a definition may be built is asked outside the planet's lock:
    // the test may evaluate the planet's values itself.
    std::vector<std::pair<irr::u32, const SubSystemDef*>> definitions;
    {
      empire::AreaGuard levels;
      emp->lockArea(levels, EA_SubSystemLevels, false);
      if (emp->subSysLevels.empty())
        return;
      for (irr::u32 i = 0; i < emp->subSysLevels.size(); ++i)
        definitions.emplace_back(i, emp->subSysLevels[i].type);
    }
    IGUIContextMenu* sub = addSubMenu(menu, getLocalizedText(L"#RM_BuildStructs"));
    if (sub == nullptr)
      return;
    held.hold(planet);
    for (const auto& [index, def] : definitions)
      if (def != nullptr && def->allowsBuildOn(planet))
        sub->addItem(def->name.c_str(), static_cast<irr::s32>(index), true, false, false);
  }

 protected:
  void choose(IGUIContextMenu& sub) override {
    objHabitation* planet = planetOf(held.get());
    empire* emp = player();
    stringw text;
    int32_t index = -1;
    if (planet == nullptr || emp == nullptr || !chosenItem(sub, text, index) || index < 0)
      return;
    const uint32_t count = buildCount();
    const SubSystemDef* def = nullptr;
    {
      const ObjectLock lock(planet);
      if (planet->getOwner() != emp)
        return;
      empire::AreaGuard levels;
      emp->lockArea(levels, EA_SubSystemLevels, false);
      if (static_cast<irr::u32>(index) >= emp->subSysLevels.size())
        return;
      def = emp->subSysLevels[static_cast<irr::u32>(index)].type;
    }
    if (def == nullptr)
      return;
    if (controlKeyDown) {
      callMultiBuild(CSF_MultiBuildStructure, "void multiBuild(Planet@, const subSystemDef@)", planet, def);
      return;
    }
    if (isNetworkClient()) {
      for (uint32_t i = 0; i < count; ++i)
        sendBuildRequest([&](RakNet::BitStream& stream) { writeStructureBuildRequest(stream, planet->uid, def->id); });
      return;
    }
    const ObjectLock lock(planet);
    if (planet->getOwner() != emp)
      return;
    for (uint32_t i = 0; i < count; ++i) {
      try {
        planet->addConstructible(new StructureConstructible(def, planet));
      } catch (const InvalidConstruct&) {
        return;
      }
    }
  }
};

// -- Fleets --------------------------------------------------------------------------

// Moves each selected object of `emp` with an order queue into `fleet`, out
// of the fleet it is in first. An object's lock comes before the fleets
// area, as in every fleet change.
class JoinFleetAction : public SelectedObjectAction {
 public:
  JoinFleetAction(FleetAI* fleet, empire* emp) : fleet_(fleet), emp_(emp) {}
  void act(graphicsObject* graphics) override {
    generic_object* object = graphics != nullptr ? graphics->getOwner() : nullptr;
    if (object == nullptr)
      return;
    const ObjectLock lock(object);
    if (object->getOwner() != emp_ || object->ai == nullptr)
      return;
    empire::AreaGuard fleets;
    emp_->lockArea(fleets, EA_Fleets, true);
    auto* unit = dynamic_cast<UnitAI*>(object->ai);
    if (unit == nullptr)
      return;  // a commander leads its own fleet
    FleetAI* former = unit->fleet;
    if (former == fleet_)
      return;
    if (former != nullptr) {
      former->grab();
      former->removeMember(object);
      former->release();
    }
    fleet_->addMember(object);
  }

 private:
  FleetAI* fleet_;
  empire* emp_;
};

class CGUIJoinFleet : public SubMenuPicker {
 public:
  CGUIJoinFleet() : SubMenuPicker(kJoinFleetMenuId, false) {}

  void addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) override {
    empire* emp = player();
    if (clicked == nullptr || emp == nullptr)
      return;
    const ObjectLock lock(clicked);
    if (!owned(clicked) || clicked->ai == nullptr)
      return;
    held.reset();
    FleetAI* own = fleetOf(clicked);
    empire::AreaGuard fleets;
    emp->lockArea(fleets, EA_Fleets, false);
    const irr::u32 count = emp->fleets.size();
    if (count == 0 || (own != nullptr && count == 1))
      return;
    IGUIContextMenu* sub = addSubMenu(menu, getLocalizedText(L"#RM_JoinFleet"));
    if (sub == nullptr)
      return;
    held.hold(clicked);
    for (irr::u32 i = 0; i < count; ++i) {
      FleetAI* fleet = emp->fleets[i].value;
      if (fleet != nullptr && fleet != own)
        sub->addItem(fleet->getName().c_str(), static_cast<irr::s32>(i), true, false, false);
    }
  }

 protected:
  void choose(IGUIContextMenu& sub) override {
    generic_object* object = held.get();
    stringw text;
    int32_t index = -1;
    if (object == nullptr || !chosenItem(sub, text, index) || index < 0)
      return;
    empire* emp = object->getOwner();
    if (emp == nullptr)
      return;
    FleetAI* fleet = nullptr;
    {
      empire::AreaGuard fleets;
      emp->lockArea(fleets, EA_Fleets, false);
      if (static_cast<irr::u32>(index) < emp->fleets.size())
        fleet = emp->fleets[static_cast<irr::u32>(index)].value;
      if (fleet != nullptr)
        fleet->grab();
    }
    if (fleet == nullptr)
      return;
    JoinFleetAction action(fleet, emp);
    forEachSelected(action);
    fleet->release();
  }
};

class CGUISelectFleet : public SubMenuPicker {
 public:
  CGUISelectFleet() : SubMenuPicker(kSelectFleetMenuId, false) {}

  void addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) override {
    empire* emp = player();
    if (clicked == nullptr || emp == nullptr)
      return;
    {
      const ObjectLock lock(clicked);
      if (!owned(clicked) || clicked->getType() != OT_Planet || clicked->ai == nullptr)
        return;
    }
    empire::AreaGuard fleets;
    emp->lockArea(fleets, EA_Fleets, false);
    if (emp->fleets.empty())
      return;
    IGUIContextMenu* sub = addSubMenu(menu, getLocalizedText(L"#RM_SelectFleet"));
    if (sub == nullptr)
      return;
    for (irr::u32 i = 0; i < emp->fleets.size(); ++i)
      if (FleetAI* fleet = emp->fleets[i].value)
        sub->addItem(fleet->getName().c_str(), static_cast<irr::s32>(i), true, false, false);
  }

 protected:
  void choose(IGUIContextMenu& sub) override {
    empire* emp = player();
    stringw text;
    int32_t index = -1;
    if (emp == nullptr || !chosenItem(sub, text, index))
      return;
    generic_object* commander = nullptr;
    {
      empire::AreaGuard fleets;
      emp->lockArea(fleets, EA_Fleets, false);
      for (irr::u32 i = 0; i < emp->fleets.size(); ++i) {
        FleetAI* fleet = emp->fleets[i].value;
        if (fleet != nullptr && fleet->getName() == text) {
          commander = fleet->commander;
          break;
        }
      }
      if (commander != nullptr)
        commander->grab();
    }
    if (commander == nullptr)
      return;
    graphicsObject* graphics = commander->graphics;
    if (graphics != nullptr) {
      const SelectionGuard guard;
      if (shiftKeyDown) {
        addToSelection(graphics);
      } else if (controlKeyDown) {
        bool selected = false;
        for (uint32_t i = 0, n = getSelectedObjectCount(); i < n && !selected; ++i)
          selected = selectedObjectAt(i) == graphics;
        if (selected)
          removeFromSelection(graphics);
        else
          addToSelection(graphics);
      } else {
        setSelection(graphics);
      }
    }
    commander->drop();
  }
};

// -- Governor ----------------------------------------------------------------------

class CGUISetGovernor : public SubMenuPicker {
 public:
  CGUISetGovernor() : SubMenuPicker(kGovernorMenuId) {}

  void addEntries(generic_object*, generic_object* clicked, IGUIContextMenu*& menu) override {
    held.reset();
    empire* emp = player();
    objHabitation* planet = planetOf(clicked);
    if (planet == nullptr || emp == nullptr || !owned(planet))
      return;
    const unsigned count = emp->getBuildListCount();
    if (count == 0)
      return;
    std::vector<stringw> names;
    names.reserve(count);
    for (unsigned i = 0; i < count; ++i)
      names.push_back(emp->getBuildListName(i));
    bool uses = false;
    stringw current;
    {
      const ObjectLock lock(planet);
      uses = planet->usesGovernor();
      if (const stringw* type = planet->getGovernorType())
        current = *type;
    }
    IGUIContextMenu* sub = addSubMenu(menu, getLocalizedText(L"#RM_Governor"));
    if (sub == nullptr)
      return;
    held.hold(planet);
    sub->addItem(getLocalizedText(L"#RM_Enabled"), kGovernorToggleCommand, true, false, uses);
    sub->addSeparator();
    for (unsigned i = 0; i < names.size(); ++i) {
      stringw key(L"#PG_");
      key += names[i];
      sub->addItem(getLocalizedText(key), static_cast<irr::s32>(i), true, false, names[i] == current);
    }
  }

 protected:
  void choose(IGUIContextMenu& sub) override {
    objHabitation* planet = planetOf(held.get());
    empire* emp = player();
    stringw text;
    int32_t command = -1;
    if (planet == nullptr || emp == nullptr || !chosenItem(sub, text, command))
      return;
    stringw listName;
    if (command >= 0) {
      if (static_cast<unsigned>(command) >= emp->getBuildListCount())
        return;
      listName = emp->getBuildListName(static_cast<unsigned>(command));
      if (listName.empty())
        return;
    } else if (command != kGovernorToggleCommand) {
      return;
    }
    const ObjectLock lock(planet);
    if (planet->getOwner() != emp)
      return;
    // A network client tells its server and shows the change at once.
    const bool client = isNetworkClient();
    if (command == kGovernorToggleCommand) {
      const bool use = !planet->usesGovernor();
      if (client)
        sendPlanetSetting(RakNet::RELIABLE, [&](RakNet::BitStream& stream) { writeUseGovernorRequest(stream, planet, use); });
      planet->setUseGovernor(use);
      return;
    }
    if (client) {
      sendPlanetSetting(RakNet::RELIABLE_ORDERED,
                        [&](RakNet::BitStream& stream) { writeGovernorTypeRequest(stream, planet, listName); });
      sendPlanetSetting(RakNet::RELIABLE, [&](RakNet::BitStream& stream) { writeUseGovernorRequest(stream, planet, true); });
    }
    planet->setGovernorType(listName);
    planet->setUseGovernor(true);
  }
};

// -- Tools -------------------------------------------------------------------------

// The tool the filter below looks for: set only while one order is handed
// out, on the main thread.
const stringw* filteredTool = nullptr;

// Only ships whose layout has an entry under the tool's name use it.
bool carriesFilteredTool(generic_object* object) {
  hull_list* layout = hullOf(object);
  return layout != nullptr && filteredTool != nullptr && layout->hasSystemWithTag(*filteredTool);
}

void useToolOnHeld(const stringw& tool, generic_object* target) {
  if (tool.empty() || target == nullptr || !target->isValid())
    return;
  Order* order = new use_tool_order(tool, target, nullptr, controlKeyDown, false);
  filteredTool = &tool;
  giveOrderToSelection(order, carriesFilteredTool);
  filteredTool = nullptr;
}

class CGUIUseTool : public SubMenuPicker {
 public:
  CGUIUseTool() : SubMenuPicker(kUseToolMenuId) {}

  void addEntries(generic_object* first, generic_object* clicked, IGUIContextMenu*& menu) override {
    singleTool_ = L"";
    if (clicked == nullptr || first == nullptr || clicked == first || first->getType() != OT_Hulled || !owned(first))
      return;
    std::vector<stringw> tools;
    {
      const ObjectLock firstLock(first);
      const ObjectLock clickedLock(clicked);
      hull_list* layout = hullOf(first);
      if (first->ai == nullptr || layout == nullptr)
        return;
      held.hold(clicked);
      static const stringw kToolPrefix(L"Tool:");
      for (uint32_t i = 0; i < layout->systemCount; ++i) {
        const subSystem* system = layout->systems[i].system;
        if (system == nullptr || system->def == nullptr)
          continue;
        const SubSystemDef& def = *system->def;
        for (irr::u32 t = 0; t < def.tags.size(); ++t) {
          const stringw& tag = def.tags[t].entryName();
          if (!tag.equalsn(kToolPrefix, kToolPrefix.size()))
            continue;
          bool usable = true;
          for (irr::u32 e = 0; e < system->effectors.size() && usable; ++e)
            usable = effectorCanTarget(system->effectors[e].def, first, clicked, &system->effectors[e]);
          if (usable)
            tools.push_back(tag.subString(kToolPrefix.size(), tag.size() - kToolPrefix.size()));
          break;
        }
      }
    }
    if (tools.empty())
      return;
    if (tools.size() == 1) {
      singleTool_ = tools.front();
      stringw label(getLocalizedText(L"#RM_UseTool"));
      label += L" ";
      label += singleTool_;
      if (ensureContextMenu(menu) != nullptr)
        menu->addItem(label.c_str(), commandId, true, false, false);
      return;
    }
    IGUIContextMenu* sub = addSubMenu(menu, getLocalizedText(L"#RM_UseTool"));
    if (sub == nullptr)
      return;
    for (const stringw& tool : tools)
      sub->addItem(tool.c_str(), -1, true, false, false);
  }

  void run(generic_object*, generic_object* clicked) override {
    if (clicked == nullptr || singleTool_.empty())
      return;
    generic_object* target = held.get() != nullptr ? held.get() : clicked;
    useToolOnHeld(singleTool_, target);
  }

 protected:
  void choose(IGUIContextMenu& sub) override {
    stringw tool;
    int32_t command = -1;
    if (!chosenItem(sub, tool, command))
      return;
    useToolOnHeld(tool, held.get());
  }

 private:
  stringw singleTool_;
};

// The score of a planet in the distribution: structures over queued items
// plus one.
double planetScore(const generic_object* planet) {
  const auto* habitat = static_cast<const objHabitation*>(planet);
  return static_cast<double>(habitat->structures.size()) / (static_cast<double>(planet->buildQueue.size()) + 1.0);
}

// Queues one ship, or asks the server to on a network client.
void queueShip(generic_object* planet, hull_list* layout) {
  if (isNetworkClient()) {
    const stringw name = layout->getName();
    sendBuildRequest([&](RakNet::BitStream& stream) { writeShipBuildRequest(stream, planet->uid, name); });
    return;
  }
  planet->addConstructible(new ShipConstructible(layout));
}

}  // namespace

void distributeShipsToBestPlanets(solarSystem* system, uint32_t count, hull_list* layout) {
  empire* emp = player();
  if (system == nullptr || layout == nullptr || emp == nullptr)
    return;
  lockSolarSystem(system);
  uint32_t left = count;
  while (left > 0) {
    --left;
    generic_object* best = nullptr;
    generic_object* runnerUp = nullptr;
    double bestScore = 0.0;
    double runnerUpScore = 0.0;
    for (irr::u32 i = 0; i < system->children.size(); ++i) {
      generic_object* child = system->children[i].get();
      if (child == nullptr || child->getType() != OT_Planet || child->getOwner() != emp ||
          dynamic_cast<objHabitation*>(child) == nullptr)
        continue;
      const double score = planetScore(child);
      if (score > bestScore) {
        runnerUp = best;
        runnerUpScore = bestScore;
        best = child;
        bestScore = score;
      }
    }
    if (best == nullptr)
      continue;
    queueShip(best, layout);
    if (runnerUp == nullptr) {
      for (; left > 0; --left)
        queueShip(best, layout);
      break;
    }
    while (left > 0) {
      const double score = planetScore(best);
      --left;
      if (score <= runnerUpScore) {
        queueShip(runnerUp, layout);
        break;
      }
      queueShip(best, layout);
    }
  }
  unlockSolarSystem(system);
}

IGUIActionPicker* newBuildShipsPicker() { return new CGUIBuildShipsMenu; }
IGUIActionPicker* newBuildStructuresPicker() { return new CGUIBuildStructsMenu; }
IGUIActionPicker* newJoinFleetPicker() { return new CGUIJoinFleet; }
IGUIActionPicker* newSelectFleetPicker() { return new CGUISelectFleet; }
IGUIActionPicker* newGovernorPicker() { return new CGUISetGovernor; }
IGUIActionPicker* newUseToolPicker() { return new CGUIUseTool; }
