#include "scriptapi/system_lists.h"

#include <angelscript.h>

#include <cstddef>

#include "core/log.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "scriptapi/script_bindings.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/solar_system.h"

using namespace AngelScript;

namespace systemlists {

std::atomic<bool> galaxySystemListLogged{false};

namespace {

// Whether the active empire has explored `system`.
bool visibleToPlayer(const solarSystem* system) {
  return system != nullptr && system->isSystemVisibleTo(activeEmpire.load());
}

// Steps 1 to 3 of a prepare, shared by both lists: false when there is
// nothing more to do (the same system again, or none). `held` is the list's
// system field.
bool switchSystem(solarSystem*& held, solarSystem* system) {
  const HeldHandle<generic_object> reference(system);  // a list keeps the lock only
  if (system != nullptr && system == held)
    return false;
  if (held != nullptr)
    unlockSolarSystem(held);
  held = nullptr;
  if (system == nullptr)
    return false;
  lockSolarSystem(system, true);
  held = system;
  return true;
}

empire* statsEmpire(empire* emp) { return emp != nullptr ? emp : getEmpireByID(static_cast<EmpireID>(-1)); }

}  // namespace

SysObjList* newServerObjList() {
  auto* list = new SysObjList;
  list->fullAccess = true;
  return list;
}

SysObjList* newClientObjList() { return new SysObjList; }

void releaseObjList(SysObjList* list) {
  if (list->system != nullptr)
    unlockSolarSystem(list->system);
  delete list;
}

void prepareObjList(SysObjList* list, solarSystem* system) {
  if (!switchSystem(list->system, system)) {
    if (list->system == nullptr)
      list->childCount = 0;
    return;
  }
  list->childCount = list->fullAccess || visibleToPlayer(system) ? system->children.size() : 0;
}

generic_object* objListChild(SysObjList* list, uint32_t index) {
  if (list->system == nullptr) {
    raiseScriptException(kSysObjListUnprepared);
    return nullptr;
  }
  const SystemLock lock(list->system);
  // A child removed since prepare (by this thread) leaves fewer behind.
  if (index >= list->childCount || index >= list->system->children.size()) {
    raiseScriptException(kSystemChildIndexError);
    return nullptr;
  }
  generic_object* child = list->system->children[index];
  child->grab();
  return child;
}

SystemStats* newServerStats() {
  auto* stats = new SystemStats;
  stats->fullAccess = true;
  return stats;
}

SystemStats* newClientStats() { return new SystemStats; }

void releaseStats(SystemStats* stats) {
  if (stats->system != nullptr)
    unlockSolarSystem(stats->system);
  delete stats;
}

void prepareStats(SystemStats* stats, solarSystem* system) {
  if (!switchSystem(stats->system, system)) {
    if (stats->system == nullptr)
      stats->visible = false;  // the table stays, never read unprepared
    return;
  }
  stats->visible = visibleToPlayer(system);
  stats->table = system->systemStats;
}

float statsValue(SystemStats* stats, empire* emp, const ScriptString* name) {
  if (stats->system == nullptr) {
    raiseScriptException(kSystemStatsUnprepared);
    return 0.0f;
  }
  if (!stats->visible && !stats->fullAccess) {
    raiseScriptException(kUnexploredSystemStats);
    return 0.0f;
  }
  if (name == nullptr) {
    raiseScriptException(kNullStatNameError);
    return 0.0f;
  }
  if (stats->table == nullptr)
    return 0.0f;
  const SystemLock lock(stats->system);
  return statValue(getEmpireStats(*stats->table, statsEmpire(emp)), name->toStringw());
}

GalaxySystemList* newGalaxySystemList() {
  if (!galaxySystemListLogged.exchange(true))
    logError("%s", kGalaxySystemListDeprecation);
  auto* list = new GalaxySystemList;
  list->childCount = sessionSystemCount();
  return list;
}

void releaseGalaxySystemList(GalaxySystemList* list) { delete list; }

void prepareGalaxySystemList(GalaxySystemList*, objGalaxy* owner) {
  if (owner != nullptr)
    owner->drop();
}

generic_object* galaxySystemListChild(GalaxySystemList*, uint32_t index) { return sessionSystem(index); }

objGalaxy* sessionGalaxy() {
  objGalaxy* current = galaxy;
  if (current != nullptr)
    current->grab();
  return current;
}

uint32_t sessionSystemCount() {
  const objGalaxy* current = galaxy;
  return current != nullptr ? current->getSystemCount() : 0;
}

solarSystem* sessionSystem(uint32_t index) {
  const objGalaxy* current = galaxy;
  if (current == nullptr || index >= current->getSystemCount()) {
    raiseScriptException(kGalaxyChildIndexError);
    return nullptr;
  }
  solarSystem* system = current->getSystem(index);
  system->grab();
  return system;
}

solarSystem* systemOfGalaxy(const objGalaxy* owner, uint32_t index) {
  if (index >= owner->getSystemCount()) {
    raiseScriptException(kGalaxyChildIndexError);
    return nullptr;
  }
  return owner->getSystem(index);
}

namespace {

constexpr asDWORD kScopedType = asOBJ_REF | asOBJ_SCOPED;

// A scoped type with its factory (one native per engine) and release.
void registerScopedType(asIScriptEngine* engine, const char* type, const char* factory,
                        const asSFuncPtr& serverFactory, const asSFuncPtr& clientFactory,
                        const asSFuncPtr& release, bool server) {
  checked(engine).RegisterObjectType(type, 0, kScopedType);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_FACTORY, factory, server ? serverFactory : clientFactory,
                                          asCALL_CDECL);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()", release, asCALL_CDECL_OBJFIRST);
}

}  // namespace

void registerSystemListTypes() {
  onBothEngines([](asIScriptEngine* engine, bool server) {
    registerScopedType(engine, "SysObjList", "SysObjList@ f()", asFUNCTION(newServerObjList),
                       asFUNCTION(newClientObjList), asFUNCTION(releaseObjList), server);
    checked(engine).RegisterObjectMethod("SysObjList", "void prepare(System@)", asFUNCTION(prepareObjList),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("SysObjList", "Object@ getChild(uint)", asFUNCTION(objListChild),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectProperty("SysObjList", "const uint childCount",
                                           static_cast<int>(offsetof(SysObjList, childCount)));
  });
  onBothEngines([](asIScriptEngine* engine, bool server) {
    registerScopedType(engine, "SystemStats", "SystemStats@ f()", asFUNCTION(newServerStats),
                       asFUNCTION(newClientStats), asFUNCTION(releaseStats), server);
    checked(engine).RegisterObjectMethod("SystemStats", "void prepare(System@)", asFUNCTION(prepareStats),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("SystemStats", "float getStat(const Empire@, const string &)",
                                         asFUNCTION(statsValue), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectProperty("SystemStats", "const bool visible",
                                           static_cast<int>(offsetof(SystemStats, visible)));
  });
}

void registerGalaxySystemListType() {
  onBothEngines([](asIScriptEngine* engine, bool server) {
    registerScopedType(engine, "GalaxySystemList", "GalaxySystemList@ f()", asFUNCTION(newGalaxySystemList),
                       asFUNCTION(newGalaxySystemList), asFUNCTION(releaseGalaxySystemList), server);
    checked(engine).RegisterObjectMethod("GalaxySystemList", "void prepare(Galaxy@)",
                                         asFUNCTION(prepareGalaxySystemList), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("GalaxySystemList", "Object@ getChild(uint)",
                                         asFUNCTION(galaxySystemListChild), asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectProperty("GalaxySystemList", "const uint childCount",
                                           static_cast<int>(offsetof(GalaxySystemList, childCount)));
  });
}

}  // namespace systemlists
