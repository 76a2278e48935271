#include "scriptapi/object_bindings.h"

#include <angelscript.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_report.h"
#include "script/script_string.h"
#include "scriptapi/empire_script_type.h"
#include "scriptapi/hulled_natives.h"
#include "scriptapi/hull_layout_bindings.h"
#include "scriptapi/native_support.h"
#include "scriptapi/object_casts.h"
#include "scriptapi/object_natives.h"
#include "scriptapi/planet_natives.h"
#include "scriptapi/script_bindings.h"
#include "scriptapi/system_lists.h"
#include "scriptapi/temp_hull.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/objects/oddity.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"

using namespace AngelScript;

namespace {

// Where a declaration goes: both engines, or one engine alone.
enum class Engines { Both, Server, Client };

// Each registration goes to the server engine, then the client engine.
template <typename Registration>
void onEngines(Engines engines, Registration registration) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr || (engines == Engines::Server && engine != serverScriptEngine) ||
        (engines == Engines::Client && engine != clientScriptEngine))
      continue;
    registration(engine);
  }
}

void method(const char* type, const char* declaration, const asSFuncPtr& function, asDWORD convention,
            Engines engines = Engines::Both) {
  onEngines(engines, [&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectMethod(type, declaration, function, convention);
  });
}

// A declaration bound to one native in the server engine and another in the
// client engine.
void splitMethod(const char* type, const char* declaration, const asSFuncPtr& server, const asSFuncPtr& client,
                 asDWORD convention) {
  method(type, declaration, server, convention, Engines::Server);
  method(type, declaration, client, convention, Engines::Client);
}

void property(const char* type, const char* declaration, size_t offset) {
  onEngines(Engines::Both, [&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectProperty(type, declaration, static_cast<int>(offset));
  });
}

void property(const char* declaration, size_t offset) { property("Object", declaration, offset); }

void global(const char* declaration, const asSFuncPtr& function, Engines engines = Engines::Both) {
  onEngines(engines, [&](asIScriptEngine* engine) {
    checked(engine).RegisterGlobalFunction(declaration, function, asCALL_CDECL);
  });
}

// Field offsets of the Object properties. generic_object has virtual
// functions, so it is not standard-layout and offsetof is only
// conditionally supported there; g++ supports it for classes without
// virtual bases and computes it at compile time. (The engine's asOFFSET
// would reach the field through a made-up object pointer, which the
// sanitizers' type checks reject for a polymorphic class.) A script handle
// of any object type points at the generic_object itself: every game-object
// class derives from it alone.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
constexpr size_t kVelocityOffset = offsetof(generic_object, velocity);
constexpr size_t kRotationOffset = offsetof(generic_object, rotation);
constexpr size_t kPositionOffset = offsetof(generic_object, position);
constexpr size_t kRadiusOffset = offsetof(generic_object, radius);
constexpr size_t kUidOffset = offsetof(generic_object, uid);
#pragma GCC diagnostic pop

// A State handle points at the state entry; its amounts are fields of the
// entry's value (a standard-layout record).
constexpr size_t kStateValOffset = offsetof(State, value) + offsetof(storedAmount, val);
constexpr size_t kStateMaxOffset = offsetof(State, value) + offsetof(storedAmount, max);
constexpr size_t kStateRequiredOffset = offsetof(State, value) + offsetof(storedAmount, required);
constexpr size_t kStateInCargoOffset = offsetof(State, value) + offsetof(storedAmount, inCargo);

irr::core::stringw stateNameForPrinter(const void* state) { return static_cast<const State*>(state)->entryName(); }

irr::core::stringw objectNameForPrinter(const void* object) {
  return static_cast<const generic_object*>(object)->name;
}

ScriptString* objectName(generic_object* object) {
  const ObjectLock lock(object);
  return new ScriptString(object->name);
}

// The object's owner when it is a valid empire, else null.
empire* validOwner(const generic_object* object) {
  empire* owner = object->getOwner();
  return owner != nullptr && owner->isValid() ? owner : nullptr;
}

void modPopulation(objHabitation* planet, float amount) {
  const ObjectLock lock(planet);
  if (empire* owner = validOwner(planet))
    planet->modPopulation(&owner->rateRecord, amount);
}

// Moves the limit; a population now above it is brought down to it.
void modMaxPopulation(objHabitation* planet, float amount) {
  const ObjectLock lock(planet);
  empire* owner = validOwner(planet);
  if (owner == nullptr)
    return;
  planet->maxPopulation = static_cast<float>(static_cast<double>(planet->maxPopulation) + amount);
  if (planet->population > planet->maxPopulation)
    planet->modPopulation(&owner->rateRecord, planet->maxPopulation - planet->population);
}

float getPopulation(objHabitation* planet) {
  const ObjectLock lock(planet);
  empire* owner = validOwner(planet);
  return owner != nullptr ? planet->getPopulation(&owner->rateRecord) : 0.0f;
}

float getMaxPopulation(objHabitation* planet) {
  const ObjectLock lock(planet);
  empire* owner = validOwner(planet);
  return owner != nullptr ? planet->getMaxPopulation(&owner->rateRecord) : 0.0f;
}

// "void damage(Object@, float[, uint32])": the damaged object's own damage
// operation, under its lock, with an event from `source`. The source handle
// arrives with a reference of its own, given back here.
void damageObject(generic_object* object, generic_object* source, float amount, uint32_t flags) {
  const HeldHandle<generic_object> held(source);
  if (source == nullptr) {
    raiseScriptException("Null Object@ when damaging an object");
    return;
  }
  // The event holds its own references on both objects until it ends.
  EffectEvent event(source, object, amount);
  event.flags = flags;
  const ObjectLock lock(object);
  object->damage(event);
}

void damageObjectUnflagged(generic_object* object, generic_object* source, float amount) {
  damageObject(object, source, amount, 0);
}

bool objectExists(uint32_t uid) { return getObjectByUID(uid) != nullptr; }

generic_object* objectByID(uint32_t uid) { return getObjectByUIDRef(uid); }

// The steps of the frame, in registration order. A step without rows yet
// is the place where its type's rows go.

// 1. State: the type, its add-ref and release, its properties and the
// methods that need no Object.
void registerStateType() {
  using namespace objectnatives;
  registerUncountedType("State");
  property("State", "float val", kStateValOffset);
  property("State", "float max", kStateMaxOffset);
  property("State", "float required", kStateRequiredOffset);
  property("State", "float inCargo", kStateInCargoOffset);
  method("State", "float getAvailable() const", asFUNCTION(stateAvailable), asCALL_CDECL_OBJFIRST);
  method("State", "float getFreeSpace() const", asFUNCTION(stateFreeSpace), asCALL_CDECL_OBJFIRST);
}

// 2. Object: the type name, so that the steps before its members can name
// it.
void registerObjectType() { registerGameObjectType("Object"); }

// 3. AIStance and Object's stance methods.
void registerStanceType() {
  using namespace objectnatives;
  onEngines(Engines::Both, [](asIScriptEngine* engine) {
    checked(engine).RegisterEnum("AIStance");
    checked(engine).RegisterEnumValue("AIStance", "AIS_Engage", AIS_Engage);
    checked(engine).RegisterEnumValue("AIStance", "AIS_HoldPosition", AIS_HoldPosition);
    checked(engine).RegisterEnumValue("AIStance", "AIS_HoldFire", AIS_HoldFire);
    checked(engine).RegisterEnumValue("AIStance", "AIS_Defend", AIS_Defend);
  });
  splitMethod("Object", "void setStance(AIStance)", asFUNCTION(setStance), asFUNCTION(setStanceForClient),
              asCALL_CDECL_OBJFIRST);
  method("Object", "AIStance getStance()", asFUNCTION(stance), asCALL_CDECL_OBJFIRST);
}

// 4. State's methods that take an Object.
void registerStateObjectMethods() {
  using namespace objectnatives;
  method("State", "float getTotalFreeSpace(const Object &in) const", asFUNCTION(stateTotalFreeSpace),
         asCALL_CDECL_OBJFIRST);
  method("State", "float add(float, Object@)", asFUNCTION(stateAdd), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("State", "float consume(float, Object@)", asFUNCTION(stateConsume), asCALL_CDECL_OBJFIRST,
         Engines::Server);
}

// Object's identity, place, damage, destruction, statistics, cargo and
// ship bay.
void registerObjectIdentity() {
  using namespace objectnatives;
  method("Object", "float getMass()", asFUNCTION(mass), asCALL_CDECL_OBJFIRST);
  method("Object", "const Object@+ getParent() const", asFUNCTION(parent), asCALL_CDECL_OBJFIRST);
  method("Object", "Object@+ getParent()", asFUNCTION(parent), asCALL_CDECL_OBJFIRST);
  method("Object", "void setName(const string &)", asFUNCTION(setName), asCALL_CDECL_OBJFIRST);
  method("Object", "bool getGlobalVisibility() const", asFUNCTION(globalVisibility), asCALL_CDECL_OBJFIRST,
         Engines::Server);
  method("Object", "void setGlobalVisibility(bool)", asFUNCTION(setGlobalVisibility), asCALL_CDECL_OBJFIRST,
         Engines::Server);
  method("Object", "string@ makeLink() const", asFUNCTION(makeLink), asCALL_CDECL_OBJFIRST, Engines::Client);
  method("Object", "void playSound(const string &) const", asFUNCTION(noOpFunction), asCALL_GENERIC);
  method("Object", "void repair(float)", asFUNCTION(repair), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Object", "void destroy()", asFUNCTION(destroy), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Object", "void destroy(bool)", asFUNCTION(destroyQuietly), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Object", "void reparent()", asFUNCTION(reparent), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Object", "bool isUnderAttack() const", asFUNCTION(underAttack), asCALL_CDECL_OBJFIRST);
  method("Object", "void setUnderAttack()", asFUNCTION(setUnderAttack), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Object", "void setStat(Empire@, const string &, float)", asFUNCTION(setStat), asCALL_CDECL_OBJFIRST);
  method("Object", "float getStat(Empire@, const string &) const", asFUNCTION(stat), asCALL_CDECL_OBJFIRST);
  method("Object", "void getCargoVals(float &out, float &out) const", asFUNCTION(cargoValues),
         asCALL_CDECL_OBJFIRST);
  method("Object", "void getShipBayVals(float &out, float &out) const", asFUNCTION(shipBayValues),
         asCALL_CDECL_OBJFIRST);
}

// Object's build queue, ship orders and docked objects.
void registerBuildQueue() {
  using namespace objectnatives;
  method("Object", "float getConstructionProgress() const", asFUNCTION(firstConstructionProgress),
         asCALL_CDECL_OBJFIRST);
  method("Object", "float getConstructionProgress(uint) const", asFUNCTION(constructionProgress),
         asCALL_CDECL_OBJFIRST);
  method("Object", "string@ getConstructionName() const", asFUNCTION(firstConstructionName), asCALL_CDECL_OBJFIRST);
  method("Object", "string@ getConstructionName(uint) const", asFUNCTION(constructionName), asCALL_CDECL_OBJFIRST);
  method("Object", "string@ getConstructionType() const", asFUNCTION(firstConstructionType), asCALL_CDECL_OBJFIRST);
  method("Object", "string@ getConstructionType(uint) const", asFUNCTION(constructionType), asCALL_CDECL_OBJFIRST);
  splitMethod("Object", "uint getConstructionQueueSize() const", asFUNCTION(constructionQueueSize),
              asFUNCTION(constructionQueueSizeForClient), asCALL_CDECL_OBJFIRST);
  method("Object", "void removeConstruction(uint)", asFUNCTION(removeConstruction), asCALL_CDECL_OBJFIRST);
  method("Object", "void moveConstruction(uint, uint)", asFUNCTION(moveConstruction), asCALL_CDECL_OBJFIRST);
  method("Object", "void getConstructionCost(uint, const string &, float &out, float &out)",
         asFUNCTION(constructionCost), asCALL_CDECL_OBJFIRST);
  method("Object", "void clearBuildQueue()", asFUNCTION(clearBuildQueue), asCALL_CDECL_OBJFIRST);
  splitMethod("Object", "void setRepeatQueue(bool)", asFUNCTION(setRepeatQueue), asFUNCTION(setRepeatQueueForClient),
              asCALL_CDECL_OBJFIRST);
  method("Object", "bool getRepeatQueue() const", asFUNCTION(repeatQueue), asCALL_CDECL_OBJFIRST);
  method("Object", "void makeShip(const HullLayout@)", asFUNCTION(makeShip), asCALL_CDECL_OBJFIRST);
  method("Object", "void makeShip(const HullLayout@, uint)", asFUNCTION(makeShips), asCALL_CDECL_OBJFIRST);
  splitMethod("Object", "void undockAll()", asFUNCTION(undockAll), asFUNCTION(undockAllForClient),
              asCALL_CDECL_OBJFIRST);
}

// Object's movement: destination, thrust, orbit and parking.
void registerMovement() {
  using namespace objectnatives;
  method("Object", "void setDestination(const vector&)", asFUNCTION(setDestination), asCALL_CDECL_OBJFIRST);
  method("Object", "vector getDestination() const", asFUNCTION(destination), asCALL_CDECL_OBJFIRST);
  method("Object", "float get_thrust() const", asFUNCTION(thrust), asCALL_CDECL_OBJFIRST);
  method("Object", "void set_thrust(float)", asFUNCTION(setThrust), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Object", "Object@+ inOrbitAround() const", asFUNCTION(orbitedBody), asCALL_CDECL_OBJFIRST);
  method("Object", "void orbitAround(Object@+)", asFUNCTION(orbitAround), asCALL_CDECL_OBJFIRST);
  method("Object", "bool isParked() const", asFUNCTION(parked), asCALL_CDECL_OBJFIRST);
  method("Object", "void setParked(bool) const", asFUNCTION(setParked), asCALL_CDECL_OBJFIRST);
}

// Object's resource states.
void registerObjectStates() {
  using namespace objectnatives;
  method("Object", "State@ getState(const string &)", asFUNCTION(addedState), asCALL_CDECL_OBJFIRST,
         Engines::Server);
  splitMethod("Object", "const State@ getState(const string &) const", asFUNCTION(foundState),
              asFUNCTION(foundStateForClient), asCALL_CDECL_OBJFIRST);
  splitMethod("Object", "bool getStateVals(const string &, float&, float&, float&, float&) const",
              asFUNCTION(stateValues), asFUNCTION(stateValuesForClient), asCALL_CDECL_OBJFIRST);
  splitMethod("Object", "bool hasState(const string &) const", asFUNCTION(hasState), asFUNCTION(hasStateForClient),
              asCALL_CDECL_OBJFIRST);
  method("Object", "uint getStateCount() const", asFUNCTION(stateCount), asCALL_CDECL_OBJFIRST);
  method("Object", "State@ getStateN(uint) const", asFUNCTION(stateAt), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Object", "const State@ getStateN(uint) const", asFUNCTION(stateAt), asCALL_CDECL_OBJFIRST,
         Engines::Client);
  method("Object", "string@ getStateName(uint) const", asFUNCTION(stateNameAt), asCALL_CDECL_OBJFIRST);
}

// 5. Object's add-ref and release, "bool isValid() const", its properties
// and its other methods. Of the getStateN pair, which differs only in its
// result (a second declaration the library refuses), the server engine
// gets "State@ getStateN(uint) const" and the client engine only the const
// form.
void registerObjectMembers() {
  registerGameObjectCounting("Object");
  method("Object", "bool isValid() const", asMETHOD(generic_object, isValid), asCALL_THISCALL);
  property("vector velocity", kVelocityOffset);
  property("vector rotation", kRotationOffset);
  property("vector position", kPositionOffset);
  property("float radius", kRadiusOffset);
  property("const uint uid", kUidOffset);
  method("Object", "vector getPosition() const", asMETHOD(generic_object, getPosition), asCALL_THISCALL);
  method("Object", "string@ getName() const", asFUNCTION(objectName), asCALL_CDECL_OBJFIRST);
  method("Object", "Empire@ getOwner() const", asMETHOD(generic_object, getOwner), asCALL_THISCALL);
  // The owner change of the object's own class (a planet runs its hooks).
  method("Object", "void setOwner(Empire@)", asMETHOD(generic_object, setOwner), asCALL_THISCALL, Engines::Server);
  method("Object", "void damage(Object@, float)", asFUNCTION(damageObjectUnflagged), asCALL_CDECL_OBJFIRST,
         Engines::Server);
  method("Object", "void damage(Object@, float, uint32)", asFUNCTION(damageObject), asCALL_CDECL_OBJFIRST,
         Engines::Server);
  registerObjectStates();
  registerObjectIdentity();
  registerBuildQueue();
  registerMovement();
}

// 6. HulledObj: the type, its counting and the casts both ways, then its
// members.
void registerHulledObjBindings() {
  registerObjectSubtype(ObjectSubtype::HulledObj);
  // Ships in scripts.
  registerHulledObjMembers();
}

// 7. SysState and SysRef; HullLayout's members, HullStats and the other
// hull members; the temporary-hull functions (client engine).
void registerHullBindings() {
  // Sub-system states: a placed sub-system's running state (1 has no name).
  onEngines(Engines::Both, [](asIScriptEngine* engine) {
    checked(engine).RegisterEnum("SysState");
    checked(engine).RegisterEnumValue("SysState", "SS_Active", SS_Active);
    checked(engine).RegisterEnumValue("SysState", "SS_Disabled", SS_Disabled);
    checked(engine).RegisterEnumValue("SysState", "SS_Destroyed", SS_Destroyed);
  });
  registerUncountedType("SysRef");

  // Hull layouts: HullLayout's members and HullStats, then the temporary
  // hull (client engine).
  registerHullLayoutMembers();
  registerTempHullFunctions();
}

// 8. Planet with its casts and members, PlanetCondition and its globals,
// PlanetStructureList.
void registerPlanetBindings() {
  registerObjectSubtype(ObjectSubtype::Planet);
  method("Planet", "void modPopulation(float)", asFUNCTION(modPopulation), asCALL_CDECL_OBJFIRST, Engines::Server);
  method("Planet", "void modMaxPopulation(float)", asFUNCTION(modMaxPopulation), asCALL_CDECL_OBJFIRST,
         Engines::Server);
  method("Planet", "float getPopulation() const", asFUNCTION(getPopulation), asCALL_CDECL_OBJFIRST);
  method("Planet", "float getMaxPopulation() const", asFUNCTION(getMaxPopulation), asCALL_CDECL_OBJFIRST);
  // Planets: structures, conditions, governor; PlanetCondition;
  // PlanetStructureList.
  registerPlanetMembers();
  // Ships in scripts: the HulledObj rows that name SysRef or Planet.
  registerHulledObjLateMembers();
}

// 9. Star; OddityType and Oddity; System with Object's getCurrentSystem
// pair, SysObjList, SystemStats and Empire's getSystemPresence.
void registerSystemBindings() {
  registerObjectSubtype(ObjectSubtype::Star);
  onEngines(Engines::Both, [](asIScriptEngine* engine) {
    checked(engine).RegisterEnum("OddityType");
    checked(engine).RegisterEnumValue("OddityType", "ODT_Asteroid", ODT_Asteroid);
    checked(engine).RegisterEnumValue("OddityType", "ODT_Comet", ODT_Comet);
  });
  registerObjectSubtype(ObjectSubtype::Oddity);
  method("Oddity", "OddityType getOddityType() const", asMETHOD(objOddity, getOddityType), asCALL_THISCALL);
  registerObjectSubtype(ObjectSubtype::System);
  method("Object", "const System@ getCurrentSystem() const", asFUNCTION(objectnatives::currentSystem),
         asCALL_CDECL_OBJFIRST);
  method("Object", "System@ getCurrentSystem()", asFUNCTION(objectnatives::currentSystem), asCALL_CDECL_OBJFIRST);
  // Empire in scripts: the presence summary needs the System type.
  registerSystemPresenceMethod();
  // The system lists.
  systemlists::registerSystemListTypes();
}

// 10. Galaxy with its casts and members, the session galaxy's systems,
// GalaxySystemList and "Galaxy@ getGalaxy()".
void registerGalaxyBindings() {
  using namespace systemlists;
  registerObjectSubtype(ObjectSubtype::Galaxy);
  method("Galaxy", "System@+ getSystem(uint) const", asFUNCTION(systemOfGalaxy), asCALL_CDECL_OBJFIRST);
  method("Galaxy", "uint getSystemCount() const", asMETHOD(objGalaxy, getSystemCount), asCALL_THISCALL);
  global("System@ getSystem(uint)", asFUNCTION(sessionSystem));
  global("uint getSystemCount()", asFUNCTION(sessionSystemCount));
  registerGalaxySystemListType();
  global("Galaxy@ getGalaxy()", asFUNCTION(sessionGalaxy));
}

// 11. "spawnShip" (server engine).
void registerSpawnShip() { registerSpawnShipFunction(); }

// 12. The object lookups by UID.
void registerObjectLookups() {
  global("bool objectExists(uint)", asFUNCTION(objectExists));
  global("Object@ getObjectByID(uint)", asFUNCTION(objectByID), Engines::Server);
  global("Object@ getObjectByID(uint)", asFUNCTION(objectnatives::objectByIDForClient), Engines::Client);
}

// 13. GuiMiniView's system pair (client engine).
void registerMiniViewSystem() {
  if (miniViewSystemRegistrar != nullptr)
    onEngines(Engines::Client, miniViewSystemRegistrar);
}

}  // namespace

void (*miniViewSystemRegistrar)(asIScriptEngine* engine) = nullptr;

void registerObjectBindings() {
  registerStateType();
  registerObjectType();
  registerStanceType();
  registerStateObjectMethods();
  registerObjectMembers();
  registerHulledObjBindings();
  registerHullBindings();
  registerPlanetBindings();
  registerSystemBindings();
  registerGalaxyBindings();
  registerSpawnShip();
  registerObjectLookups();
  registerMiniViewSystem();

  setScriptObjectNameReader(objectNameForPrinter);
  setScriptStateNameReader(stateNameForPrinter);
}
