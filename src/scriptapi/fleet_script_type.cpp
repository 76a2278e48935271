#include "scriptapi/fleet_script_type.h"

#include <angelscript.h>

#include <cstdint>

#include "core/locks.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "scriptapi/script_bindings.h"
#include "universe/objects/game_object.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/fleet_formation.h"
#include "universe/orders/unit_ai.h"

using namespace AngelScript;

namespace {

void fleetAddRef(FleetAI* fleet) { fleet->grab(); }
// A script handle only gives its reference back: FleetAI::drop is the
// commander letting go, which would break the fleet up.
void fleetRelease(FleetAI* fleet) { fleet->release(); }

// The commander with a reference taken, or null.
generic_object* commanderOf(FleetAI* fleet) {
  ScopedReadLock guard(fleet->lock);
  generic_object* commander = fleet->commander;
  if (commander != nullptr)
    commander->grab();
  return commander;
}

ScriptString* fleetName(FleetAI* fleet) { return new ScriptString(fleet->getName()); }

void setFleetName(FleetAI* fleet, const ScriptString& newName) {
  const HeldHandle<generic_object> commander(commanderOf(fleet));
  if (!commander)
    return;
  empire* owner = commander->getOwner();
  if (owner == nullptr)
    return;
  const irr::core::stringw name = newName.toStringw();
  const irr::core::stringw oldName = fleet->getName();
  {
    empire::AreaGuard area;
    owner->lockArea(area, EA_Fleets, true);
    // The table's reference moves from the old entry to the new one.
    bool listed = false;
    const irr::s32 index = NamedVar<FleetAI*>::find(owner->fleets, oldName);
    if (index >= 0 && owner->fleets[index].value == fleet) {
      owner->fleets.erase(static_cast<irr::u32>(index));
      listed = true;
    }
    if (!listed)
      fleet->grab();
    NamedVar<FleetAI*>& entry = NamedVar<FleetAI*>::getOrAdd(owner->fleets, name);
    FleetAI* former = entry.value;
    entry.value = fleet;
    if (former != nullptr && former != fleet)
      former->release();
    else if (former == fleet)
      fleet->release();  // it was listed twice over
  }
  fleet->setName(name);
}

void addFleetMember(FleetAI* fleet, generic_object* member) {
  if (member == nullptr)
    return;
  const ObjectLock lock(member);
  fleet->addMember(member);
}

void removeFleetMember(FleetAI* fleet, generic_object* member) {
  if (member == nullptr)
    return;
  const ObjectLock lock(member);
  fleet->removeMember(member);
}

uint32_t memberCount(FleetAI* fleet) { return fleet->getMemberCount(); }

generic_object* memberAt(FleetAI* fleet, uint32_t index) {
  ScopedReadLock guard(fleet->lock);
  if (index >= fleet->members.size())
    return nullptr;
  generic_object* member = fleet->members[index].get();
  if (member != nullptr)
    member->grab();
  return member;
}

// The commander's AI changes under its lock: its galaxy thread may be
// ticking that AI.
void giveUpCommand(FleetAI* fleet) {
  const HeldHandle<generic_object> commander(commanderOf(fleet));
  if (!commander)
    return;
  fleet->grab();  // the commander's reference may be the last
  {
    const ObjectLock lock(commander.get());
    fleet->dropCommander();
  }
  fleet->release();
}

int formationOf(FleetAI* fleet) { return fleet->getFormationType(); }

bool validFormation(int type) { return type >= FT_Wall && type <= FT_Wedge; }

void setFormation(FleetAI* fleet, int type) {
  if (validFormation(type))
    fleet->setFormationType(type);
}

void setFormationForClient(FleetAI* fleet, int type) {
  const HeldHandle<generic_object> commander(commanderOf(fleet));
  const empire* active = activeEmpire.load();
  if (!commander || active == nullptr || commander->getOwner() != active)
    return;
  setFormation(fleet, type);
}

FleetAI* empireFleet(empire* owner, uint32_t index) { return owner->getFleet(index); }

uint32_t empireFleetCount(empire* owner) {
  empire::AreaGuard area;
  owner->lockArea(area, EA_Fleets, false);
  return owner->fleets.size();
}

FleetAI* createFleet(empire* owner, generic_object* ship) {
  if (ship == nullptr || ship->getOwner() != owner || ship->getType() != OT_Hulled || isNetworkClient())
    return nullptr;
  const ObjectLock lock(ship);
  auto* unit = dynamic_cast<UnitAI*>(ship->ai);
  if (unit == nullptr || ship->getOwner() != owner)
    return nullptr;
  if (FleetAI* former = unit->fleet) {
    former->grab();
    former->removeMember(ship);
    former->release();
    unit->fleet = nullptr;
  }
  auto* fleet = new FleetAI(unit);
  owner->addFleet(fleet);
  ship->setAI(fleet);
  ship->setFlag(FLAG_IN_FLEET);
  // The table and the ship hold it now; the script's handle adds its own.
  fleet->release();
  return fleet;
}

FleetAI* fleetOfShip(generic_object* ship) {
  const ObjectLock lock(ship);
  if (auto* fleet = dynamic_cast<FleetAI*>(ship->ai))
    return fleet;
  if (auto* unit = dynamic_cast<UnitAI*>(ship->ai))
    return unit->fleet;
  return nullptr;
}

void registerTypes(asIScriptEngine* engine) {
  checked(engine).RegisterEnum("FleetFormation");
  checked(engine).RegisterEnumValue("FleetFormation", "FF_Wall", FT_Wall);
  checked(engine).RegisterEnumValue("FleetFormation", "FF_Box", FT_Box);
  checked(engine).RegisterEnumValue("FleetFormation", "FF_Escort", FT_Escort);
  checked(engine).RegisterEnumValue("FleetFormation", "FF_Wedge", FT_Wedge);
  checked(engine).RegisterObjectType("Fleet", 0, asOBJ_REF);
  checked(engine).RegisterObjectBehaviour("Fleet", asBEHAVE_ADDREF, "void f()", asFUNCTION(fleetAddRef),
                                          asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectBehaviour("Fleet", asBEHAVE_RELEASE, "void f()", asFUNCTION(fleetRelease),
                                          asCALL_CDECL_OBJFIRST);
}

void registerMembers(asIScriptEngine* engine, bool server) {
  auto fleetMethod = [&](const char* declaration, const asSFuncPtr& function) {
    checked(engine).RegisterObjectMethod("Fleet", declaration, function, asCALL_CDECL_OBJFIRST);
  };
  fleetMethod("string@ getName() const", asFUNCTION(fleetName));
  fleetMethod("void setName(const string &) const", asFUNCTION(setFleetName));
  fleetMethod("void addMember(Object@+) const", asFUNCTION(addFleetMember));
  fleetMethod("void removeMember(Object@+) const", asFUNCTION(removeFleetMember));
  fleetMethod("uint getMemberCount() const", asFUNCTION(memberCount));
  fleetMethod("Object@ getMember(uint) const", asFUNCTION(memberAt));
  fleetMethod("Object@ getCommander() const", asFUNCTION(commanderOf));
  fleetMethod("void giveUpCommand() const", asFUNCTION(giveUpCommand));
  fleetMethod("FleetFormation getFormation() const", asFUNCTION(formationOf));
  fleetMethod("void setFormation(FleetFormation) const",
              server ? asFUNCTION(setFormation) : asFUNCTION(setFormationForClient));

  auto empireMethod = [&](const char* declaration, const asSFuncPtr& function) {
    checked(engine).RegisterObjectMethod("Empire", declaration, function, asCALL_CDECL_OBJFIRST);
  };
  empireMethod("Fleet@+ getFleet(uint) const", asFUNCTION(empireFleet));
  empireMethod("Fleet@+ createFleet(Object@+) const", asFUNCTION(createFleet));
  empireMethod("uint getFleetCount() const", asFUNCTION(empireFleetCount));

  checked(engine).RegisterObjectMethod("HulledObj", "Fleet@+ getFleet() const", asFUNCTION(fleetOfShip),
                                       asCALL_CDECL_OBJFIRST);
}

}  // namespace

void bindFleetScriptType() {
  onBothEngines(registerTypes);
  onBothEngines(registerMembers);
}
