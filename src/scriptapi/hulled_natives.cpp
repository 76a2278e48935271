#include "scriptapi/hulled_natives.h"

#include <angelscript.h>

#include <cstdint>

#include "core/net_encoders.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "net/object_requests.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "scriptapi/native_support.h"
#include "scriptapi/object_natives.h"
#include "scriptapi/script_bindings.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/solar_system.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

using namespace AngelScript;

namespace {

constexpr char kNullDamageSource[] = "Null Object@ when damaging an object";

// Ship commands go with the other object requests.
constexpr uint8_t kCommandChannel = 0;

bool ownedByActiveEmpire(const generic_object* object) {
  const empire* active = activeEmpire.load();
  return active != nullptr && object->getOwner() == active;
}

// Whether `record` is one of `ship`'s own sub-system records.
bool recordOf(objHulled* ship, const SysRef* record) {
  const uint32_t count = ship->getSubSystemCount();
  for (uint32_t i = 0; i < count; ++i)
    if (ship->getSubSystem(static_cast<int>(i)) == record)
      return true;
  return false;
}

void ceaseFire(objHulled* ship) {
  const ObjectLock lock(ship);
  ship->clearEffectorTargets();
}

void ceaseFireForClient(objHulled* ship) {
  if (sendsClientRequests()) {
    if (!ownedByActiveEmpire(ship))
      return;
    sendClientRequest(kCommandChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
      stream.Write(ID_OBJECT_COMMAND);
      stream.Write(static_cast<uint8_t>(OCK_CeaseFire));
      writeNetObjectRef(stream, ship);
      return true;
    });
    return;
  }
  const ObjectLock lock(ship);
  if (ownedByActiveEmpire(ship))
    ship->clearEffectorTargets();
}

// A record of another object (another ship's, a planet's structure) would
// put the scan outside this ship's records: it counts as none given.
SysRef* damagedSystem(objHulled* ship, SysRef* after) {
  if (after != nullptr && !recordOf(ship, after))
    after = nullptr;
  return ship->nextDamagedSubSystem(after);
}

SysRef* subSystemAt(objHulled* ship, uint32_t index) {
  return index < ship->getSubSystemCount() ? ship->getSubSystem(static_cast<int>(index)) : nullptr;
}

uint32_t subSystemCount(objHulled* ship) { return ship->getSubSystemCount(); }

// The ship's damage operation on one record, with an event from `source`
// (whose handle reference is given back here); the damage it left over.
float damageSystemFlagged(objHulled* ship, SysRef* record, generic_object* source, float amount, uint32_t flags) {
  const HeldHandle<generic_object> held(source);
  if (!held) {
    raiseScriptException(kNullDamageSource);
    return 0.0f;
  }
  const ObjectLock lock(ship);
  EffectEvent event(source, ship, amount);
  event.state = 0;
  event.flags = flags;
  ship->damageSubSystem(event, record);
  return event.time;
}

float damageSystem(objHulled* ship, SysRef* record, generic_object* source, float amount) {
  return damageSystemFlagged(ship, record, source, amount, 0);
}

void forceActivate(objHulled* ship) {
  const ObjectLock lock(ship);
  const uint32_t count = ship->getSubSystemCount();
  for (uint32_t i = 0; i < count; ++i) {
    SysRef* record = ship->getSubSystem(static_cast<int>(i));
    if (record == nullptr || record->state != SS_Disabled)
      continue;
    record->state = SS_Active;
    triggerSubSysActive(record->system, ship, record);
  }
}

const hull_list* hullOf(objHulled* ship) { return ship->getHull(); }

// The planet the ship circles: a parked mobile mover's orbit, or an active
// orbit mover. Other bodies (a star) give null.
objHabitation* orbitedPlanet(objHulled* ship) {
  const ObjectLock lock(ship);
  generic_object* body = nullptr;
  if (const MobileMover* mover = MobileMover::of(ship))
    body = mover->getParkedOrbitBody();
  else if (auto* orbit = dynamic_cast<const OrbitOtherMover*>(ship->mover))
    body = orbit->active ? orbit->orbited : nullptr;
  auto* planet = dynamic_cast<objHabitation*>(body);
  if (planet != nullptr)
    planet->grab();
  return planet;
}

objHulled* spawnShip(empire* owner, const hull_list* layout, solarSystem* system, const vector3df& position) {
  if (system == nullptr)
    return nullptr;
  Hull_Desc desc;
  desc.Position = position;
  desc.Owner = owner;
  desc.set_hull(const_cast<hull_list*>(layout));
  objHulled* ship = nullptr;
  {
    const SystemLock lock(system);
    ship = createShipObject(desc, system);
  }
  if (ship != nullptr)
    ship->grab();  // the returned handle's
  return ship;
}

enum class On { Both, Server, Client };

void method(On on, const char* declaration, const asSFuncPtr& function) {
  onBothEngines([&](asIScriptEngine* engine, bool server) {
    if ((on == On::Server && !server) || (on == On::Client && server))
      return;
    checked(engine).RegisterObjectMethod("HulledObj", declaration, function, asCALL_CDECL_OBJFIRST);
  });
}

}  // namespace

void registerHulledObjMembers() {
  method(On::Server, "void ceaseFire()", asFUNCTION(ceaseFire));
  method(On::Client, "void ceaseFire()", asFUNCTION(ceaseFireForClient));
  method(On::Both, "uint getSubSystemCount() const", asFUNCTION(subSystemCount));
  method(On::Server, "void forceActivate()", asFUNCTION(forceActivate));
  method(On::Both, "float get_thrust() const", asFUNCTION(objectnatives::thrust));
  // The setter is Object's own.
  method(On::Server, "void set_thrust(float) const", asFUNCTION(objectnatives::setThrust));
  method(On::Both, "const HullLayout@ getHull() const", asFUNCTION(hullOf));
}

void registerHulledObjLateMembers() {
  method(On::Both, "Planet@ inOrbitAround() const", asFUNCTION(orbitedPlanet));
  method(On::Server, "SysRef@ getDamagedSystem(const SysRef@) const", asFUNCTION(damagedSystem));
  method(On::Client, "const SysRef@ getDamagedSystem(const SysRef@) const", asFUNCTION(damagedSystem));
  method(On::Both, "SysRef@ getSubSystem(uint) const", asFUNCTION(subSystemAt));
  method(On::Server, "float damageSystem(SysRef@, Object@, float)", asFUNCTION(damageSystem));
  method(On::Server, "float damageSystem(SysRef@, Object@, float, uint32)", asFUNCTION(damageSystemFlagged));
}

void registerSpawnShipFunction() {
  if (serverScriptEngine != nullptr)
    checked(serverScriptEngine)
        .RegisterGlobalFunction("HulledObj@ spawnShip(Empire@, const HullLayout@, System@+, const vector&)",
                                asFUNCTION(spawnShip), asCALL_CDECL);
}
