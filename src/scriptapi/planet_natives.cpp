#include "scriptapi/planet_natives.h"

#include <angelscript.h>

#include <algorithm>
#include <new>

#include "core/locale.h"
#include "core/locks.h"
#include "core/net_encoders.h"
#include "design/build/build_requests.h"
#include "design/build/constructible.h"
#include "design/build/mimic_constructible.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "gfx/habitat_extensions.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "scriptapi/script_bindings.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/orders/tool_orders.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"

using namespace AngelScript;

namespace {

constexpr char kNullDefForBuild[] = "Null subSystemDef@ when adding structure build order";
constexpr char kNullDefForAdd[] = "Null subSystemDef@ when adding structure";
constexpr char kRebuildIndexError[] = "Accessed structure out-of-range";
constexpr char kRemoveIndexError[] = "Out of bounds index when removing structure";
constexpr char kListNotPrepared[] = "PlanetStructureList needs prepared before being used";
constexpr char kListIndexError[] = "Invalid index when accessing planet structure list";

// Build requests go with the orders; planet settings on a channel of their
// own.
constexpr uint8_t kBuildRequestChannel = 0;
constexpr uint8_t kPlanetSettingChannel = 2;

const irr::core::stringw kDefaultGovernor = L"default";
const irr::core::stringw kColonizeText = L"#EM_Colonize";
const irr::core::stringw kRenovatePrefix = L"Renovate ";

bool validEmpire(const empire* emp) { return emp != nullptr && emp->isValid(); }

bool ownedByActiveEmpire(const generic_object* object) {
  const empire* active = activeEmpire.load();
  return active != nullptr && object->getOwner() == active;
}

// The maximum structure count, never below 0.
uint32_t structureSlots(const objHabitation* planet) {
  return static_cast<uint32_t>(std::max(planet->getMaxStructureCount(), 0));
}

planetCondition* conditionNamed(const ScriptString& name) {
  const int index = findPlanetCondition(name.toStringw());
  return index >= 0 ? planetConditionRegistry()[index].value : nullptr;
}

// 117 for `planet` with its sub-kind; `rest` writes the fields after it.
template <class Rest>
void sendBuildRequest(const objHabitation* planet, uint8_t subKind, Rest rest) {
  sendClientRequest(kBuildRequestChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
    stream.Write(ID_BUILD_QUEUE);
    stream.Write(planet->uid);
    stream.Write(subKind);
    rest(stream);
    return true;
  });
}

// 118 for `planet` with its sub-kind.
template <class Rest>
void sendPlanetSetting(objHabitation* planet, uint8_t subKind, RakNet::PacketReliability reliability, Rest rest) {
  sendClientRequest(kPlanetSettingChannel, reliability, [&](RakNet::BitStream& stream) {
    stream.Write(ID_PLANET_SETTING);
    writeNetObjectRef(stream, planet);
    stream.Write(subKind);
    rest(stream);
    return true;
  });
}

// Placeholders in a client's queue until the server's queue arrives (the
// client's queue keeps no real items, so they go in directly).
void addPlaceholders(objHabitation* planet, const irr::core::stringw& name, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    auto* placeholder = new mimic_constructible(name);
    placeholder->progress = 0.0f;
    planet->buildQueue.push_back(placeholder);
  }
}

// --- owner ---

void conquer(objHabitation* planet, empire* newOwner) {
  if (validEmpire(planet->getOwner()))
    return;
  const ObjectLock lock(planet);
  if (newOwner == nullptr)
    newOwner = defaultEmpire();
  planet->setOwner(newOwner);
  irr::core::stringw text = L"#link:o";
  text += irr::core::stringw(planet->uid);
  text += L"#";
  text += planet->name;
  text += getLocalizedText(kColonizeText);
  text += L"#link#";
  postEmpireMessage(newOwner, text, L"misc", 0, -1);
}

// --- structures ---

void buildStructures(objHabitation* planet, const SubSystemDef* def, uint32_t count) {
  if (def == nullptr) {
    raiseScriptException(kNullDefForBuild);
    return;
  }
  count = std::min(count, kMaxBuildStructureCount);
  if (sendsClientRequests()) {
    const bool counted = networkManager != nullptr && networkManager->peerVersion > 6;
    const uint32_t messages = counted ? (count > 0 ? 1 : 0) : count;
    const uint16_t sent = static_cast<uint16_t>(count);
    for (uint32_t i = 0; i < messages; ++i)
      sendClientRequest(kBuildRequestChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
        writeStructureBuildRequest(stream, planet->uid, def->id, counted ? &sent : nullptr);
        return true;
      });
    const ObjectLock lock(planet);
    addPlaceholders(planet, def->name, count);
    return;
  }
  const ObjectLock lock(planet);
  if (planet->getOwner() == nullptr)
    return;
  const uint32_t slots = structureSlots(planet);
  const uint32_t built = planet->structures.size();
  const uint32_t free = built < slots ? slots - built : 0;
  const uint32_t queued = std::min(count, free);
  for (uint32_t i = 0; i < queued; ++i) {
    constructible* item = nullptr;
    try {
      item = new StructureConstructible(def, planet);
    } catch (const InvalidConstruct&) {
      return;  // none can be made for this planet
    }
    planet->addConstructible(item);
  }
}

void buildStructure(objHabitation* planet, const SubSystemDef* def) { buildStructures(planet, def, 1); }

void rebuildStructure(objHabitation* planet, uint32_t index) {
  if (sendsClientRequests()) {
    sendBuildRequest(planet, BRK_Rebuild, [&](RakNet::BitStream& stream) { stream.Write(index); });
    const ObjectLock lock(planet);
    if (index < planet->structures.size()) {
      const subSystem* old = planet->structures[index].system;
      const irr::core::stringw defName = old != nullptr && old->def != nullptr ? old->def->name : L"";
      addPlaceholders(planet, kRenovatePrefix + defName, 1);
    }
    return;
  }
  const ObjectLock lock(planet);
  if (index >= planet->structures.size()) {
    raiseScriptException(kRebuildIndexError);
    return;
  }
  subSystem* old = planet->structures[index].system;
  if (old == nullptr)
    return;
  constructible* item = nullptr;
  try {
    item = new RebuildStructureConstructible(old, planet);
  } catch (const InvalidConstruct&) {
    return;  // nothing better can replace it
  }
  planet->addConstructible(item);
}

void removeStructure(objHabitation* planet, uint32_t index) {
  if (sendsClientRequests()) {
    sendBuildRequest(planet, kBuildRemoveStructure, [&](RakNet::BitStream& stream) { stream.Write(index); });
    return;
  }
  const ObjectLock lock(planet);
  if (index >= planet->structures.size()) {
    raiseScriptException(kRemoveIndexError);
    return;
  }
  // The order removes the structure when the planet runs it; a planet
  // without an order queue keeps it.
  if (planet->ai != nullptr)
    planet->ai->addOrder(new remove_struct_order(planet->structures[index].system), false);
}

void removeAllStructures(objHabitation* planet) {
  const ObjectLock lock(planet);
  // As many removals as there were structures, even if a hook adds one.
  for (uint32_t count = planet->structures.size(); count > 0 && !planet->structures.empty(); --count)
    planet->removeStructure(0);
}

void addStructure(objHabitation* planet, const SubSystemDef* def) {
  if (def == nullptr) {
    raiseScriptException(kNullDefForAdd);
    return;
  }
  const ObjectLock lock(planet);
  planet->addStructureFromDef(def);
}

uint32_t structureCount(const objHabitation* planet) { return planet->structures.size(); }

uint32_t structureCountOf(objHabitation* planet, const SubSystemDef* def) {
  const ObjectLock lock(planet);
  return planet->countStructures(def);
}

float maxStructureCount(const objHabitation* planet) { return static_cast<float>(structureSlots(planet)); }

void setStructureSpace(objHabitation* planet, float space) { planet->setStructureSpace(space); }

// Planet extensions: a known name gives the planet one more structure space
// and, when the planet has a graphics object, the extension's node under
// it. An unknown name changes nothing.
void addExtensionAt(objHabitation* planet, const ScriptString& name, float a, float b, float c) {
  const ObjectLock lock(planet);
  const habitat_extension* extension = habitatExtensionAt(findHabitatExtension(name.toStringw()));
  if (extension == nullptr)
    return;
  planet->addStructureSpace(1.0f);
  if (planet->graphics != nullptr) {
    const MutexGuard scene(*sceneLock);
    addExtensionGraphics(extension, planet->graphics->getNode(), a, b, c);
  }
}

void addExtension(objHabitation* planet, const ScriptString& name) { addExtensionAt(planet, name, -1, -1, -1); }

// --- governor ---

bool usesGovernor(const objHabitation* planet) { return planet->usesGovernor(); }

void setUseGovernor(objHabitation* planet, bool use) { planet->setUseGovernor(use); }

void setUseGovernorForClient(objHabitation* planet, bool use) {
  if (!ownedByActiveEmpire(planet))
    return;
  if (sendsClientRequests())
    sendPlanetSetting(planet, PSK_UseGovernor, RakNet::RELIABLE, [&](RakNet::BitStream& stream) { stream.Write(use); });
  planet->setUseGovernor(use);
}

void setGovernorType(objHabitation* planet, const ScriptString& name) { planet->setGovernorType(name.toStringw()); }

void setGovernorTypeForClient(objHabitation* planet, const ScriptString& name) {
  if (!ownedByActiveEmpire(planet))
    return;
  const irr::core::stringw text = name.toStringw();
  if (sendsClientRequests())
    sendPlanetSetting(planet, PSK_GovernorType, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
      writeNetStringW(stream, text, kMaxNetStringLength);
    });
  planet->setGovernorType(text);
}

ScriptString* governorType(const objHabitation* planet) {
  const irr::core::stringw* type = planet->getGovernorType();
  return new ScriptString(type != nullptr ? *type : kDefaultGovernor);
}

ScriptString* governorTypeForClient(const objHabitation* planet) {
  if (!ownedByActiveEmpire(planet))
    return new ScriptString(kDefaultGovernor);
  return governorType(planet);
}

// --- the planet itself ---

ScriptString* physicalType(const objHabitation* planet) {
  const PlanetPhysicalType* type = planet->physicalType;
  return new ScriptString(type != nullptr && type->name != nullptr ? *type->name : irr::core::stringw());
}

// The radius of the orbit the planet is in or about to take: a mobile
// mover's park orbit once it is parked in an active one, or an orbit
// mover's own.
float orbitRadius(const objHabitation* planet) {
  MoveHandler* mover = planet->mover;
  if (mover == nullptr)
    return 0.0f;
  if (const auto* mobile = dynamic_cast<const MobileMover*>(mover))
    return mobile->parkOrbitInUse() ? mobile->parkOrbit->orbitRadius : 0.0f;
  if (const auto* orbit = dynamic_cast<const OrbitMoverBase*>(mover))
    return orbit->orbitRadius;
  return 0.0f;
}

void eradicate(objHabitation* planet) { planet->destroy(false); }

// --- conditions ---

const planetCondition* conditionAt(objHabitation* planet, uint32_t index) {
  const ObjectLock lock(planet);
  return index < planet->conditions.size() ? planet->conditions[index] : nullptr;
}

uint32_t conditionCount(const objHabitation* planet) { return planet->conditions.size(); }

void addCondition(objHabitation* planet, const ScriptString& name) {
  planetCondition* condition = conditionNamed(name);
  if (condition == nullptr)
    return;
  const ObjectLock lock(planet);
  planet->conditions.push_back(condition);
}

void removeCondition(objHabitation* planet, const ScriptString& name) {
  planetCondition* condition = conditionNamed(name);
  if (condition == nullptr)
    return;
  const ObjectLock lock(planet);
  planet->removeCondition(condition);
}

ScriptString* conditionId(const planetCondition* condition) { return new ScriptString(condition->id); }

ScriptString* conditionDesc(const planetCondition* condition) { return new ScriptString(condition->desc); }

uint32_t registryConditionCount() { return getPlanetConditionCount(); }

const planetCondition* registryCondition(uint32_t index) { return getPlanetCondition(index); }

// --- PlanetStructureList ---

PlanetStructureList* makeStructureList() { return new (std::nothrow) PlanetStructureList; }

void releaseStructureList(PlanetStructureList* list) {
  preparePlanetStructureList(list, nullptr);
  delete list;
}

// The list's planet, or null after the not-prepared exception.
objHabitation* preparedPlanet(const PlanetStructureList* list) {
  if (list->planet == nullptr)
    raiseScriptException(kListNotPrepared);
  return list->planet;
}

uint32_t listCount(const PlanetStructureList* list) {
  objHabitation* planet = preparedPlanet(list);
  if (planet == nullptr)
    return 0;
  const ObjectLock lock(planet);
  return planet->structures.size();
}

uint32_t listCountOf(const PlanetStructureList* list, const SubSystemDef* def) {
  objHabitation* planet = preparedPlanet(list);
  if (planet == nullptr)
    return 0;
  const ObjectLock lock(planet);
  return planet->countStructures(def);
}

// The entry at `index`, or null after the list's exception.
objHabitation::structEntry* listEntry(const PlanetStructureList* list, uint32_t index) {
  objHabitation* planet = preparedPlanet(list);
  if (planet == nullptr)
    return nullptr;
  const ObjectLock lock(planet);
  if (index >= planet->structures.size()) {
    raiseScriptException(kListIndexError);
    return nullptr;
  }
  return &planet->structures[index];
}

const subSystem* listStructure(const PlanetStructureList* list, uint32_t index) {
  const objHabitation::structEntry* entry = listEntry(list, index);
  return entry != nullptr ? entry->system : nullptr;
}

const SysRef* listStructureState(const PlanetStructureList* list, uint32_t index) {
  objHabitation::structEntry* entry = listEntry(list, index);
  return entry != nullptr ? &entry->record : nullptr;
}

// --- registration ---

enum class Engines { Both, Server, Client };

void method(const char* type, const char* declaration, const asSFuncPtr& function, Engines engines = Engines::Both) {
  onBothEngines([&](asIScriptEngine* engine, bool server) {
    if (engines == Engines::Both || server == (engines == Engines::Server))
      checked(engine).RegisterObjectMethod(type, declaration, function, asCALL_CDECL_OBJFIRST);
  });
}

void splitMethod(const char* type, const char* declaration, const asSFuncPtr& server, const asSFuncPtr& client) {
  method(type, declaration, server, Engines::Server);
  method(type, declaration, client, Engines::Client);
}

void registerPlanetRows() {
  constexpr char P[] = "Planet";
  method(P, "void Conquer(Empire@)", asFUNCTION(conquer), Engines::Server);
  method(P, "void buildStructure(const subSystemDef@)", asFUNCTION(buildStructure));
  method(P, "void buildStructure(const subSystemDef@, uint)", asFUNCTION(buildStructures));
  method(P, "void rebuildStructure(uint)", asFUNCTION(rebuildStructure));
  method(P, "void removeStructure(uint)", asFUNCTION(removeStructure));
  method(P, "void removeAllStructures()", asFUNCTION(removeAllStructures), Engines::Server);
  method(P, "void addStructure(const subSystemDef@)", asFUNCTION(addStructure), Engines::Server);
  method(P, "uint getStructureCount() const", asFUNCTION(structureCount));
  method(P, "uint getStructureCount(const subSystemDef@)", asFUNCTION(structureCountOf));
  method(P, "float getMaxStructureCount() const", asFUNCTION(maxStructureCount));
  method(P, "void setStructureSpace(float)", asFUNCTION(setStructureSpace), Engines::Server);
  method(P, "void addExtension(const string &)", asFUNCTION(addExtension), Engines::Server);
  method(P, "void addExtension(const string &, float, float, float)", asFUNCTION(addExtensionAt), Engines::Server);
  method(P, "bool usesGovernor() const", asFUNCTION(usesGovernor));
  splitMethod(P, "void setUseGovernor(bool)", asFUNCTION(setUseGovernor), asFUNCTION(setUseGovernorForClient));
  splitMethod(P, "void setGovernorType(const string &)", asFUNCTION(setGovernorType),
              asFUNCTION(setGovernorTypeForClient));
  splitMethod(P, "string@ getGovernorType() const", asFUNCTION(governorType), asFUNCTION(governorTypeForClient));
  method(P, "string@ getPhysicalType()", asFUNCTION(physicalType));
  method(P, "float getOrbitRadius() const", asFUNCTION(orbitRadius));
  method(P, "void eradicate()", asFUNCTION(eradicate), Engines::Server);
  method(P, "const PlanetCondition@ getCondition(uint) const", asFUNCTION(conditionAt));
  method(P, "uint getConditionCount() const", asFUNCTION(conditionCount));
  method(P, "void addCondition(const string &) const", asFUNCTION(addCondition), Engines::Server);
  method(P, "void removeCondition(const string &) const", asFUNCTION(removeCondition), Engines::Server);
}

void registerConditionMembers() {
  method("PlanetCondition", "string@ get_id() const", asFUNCTION(conditionId));
  method("PlanetCondition", "string@ get_desc() const", asFUNCTION(conditionDesc));
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterGlobalFunction("uint getPlanetConditionCount()", asFUNCTION(registryConditionCount),
                                           asCALL_CDECL);
    checked(engine).RegisterGlobalFunction("const PlanetCondition@ getPlanetCondition(uint)",
                                           asFUNCTION(registryCondition), asCALL_CDECL);
  });
}

void registerStructureList() {
  constexpr char L[] = "PlanetStructureList";
  onBothEngines([&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType(L, 0, asOBJ_REF | asOBJ_SCOPED);
    checked(engine).RegisterObjectBehaviour(L, asBEHAVE_FACTORY, "PlanetStructureList@ f()",
                                            asFUNCTION(makeStructureList), asCALL_CDECL);
    checked(engine).RegisterObjectBehaviour(L, asBEHAVE_RELEASE, "void f()", asFUNCTION(releaseStructureList),
                                            asCALL_CDECL_OBJFIRST);
  });
  method(L, "void prepare(Planet@+)", asFUNCTION(preparePlanetStructureList));
  method(L, "uint getCount() const", asFUNCTION(listCount));
  method(L, "uint getCount(const subSystemDef@) const", asFUNCTION(listCountOf));
  method(L, "const subSystem@ getStructure(uint) const", asFUNCTION(listStructure));
  method(L, "const SysRef@ getStructureState(uint) const", asFUNCTION(listStructureState));
}

}  // namespace

void preparePlanetStructureList(PlanetStructureList* list, objHabitation* planet) {
  objHabitation* held = list->planet;
  if (planet == held)
    return;
  if (held != nullptr)
    held->unlockContainer();
  if (planet != nullptr)
    planet->grab();
  if (held != nullptr)
    held->drop();
  list->planet = planet;
  if (planet != nullptr)
    planet->lockContainer();
}

void registerPlanetMembers() {
  // The condition type first: Planet's getCondition returns it.
  registerUncountedType("PlanetCondition");
  registerPlanetRows();
  registerConditionMembers();
  registerStructureList();
}
