#include "scriptapi/empire_script_type.h"

#include <angelscript.h>

#include <cmath>
#include <cstddef>
#include <initializer_list>

#include "app/base/session_state.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/diplomacy_script_types.h"
#include "scriptapi/empire_ai.h"
#include "scriptapi/empire_lists.h"
#include "scriptapi/script_bindings.h"
#include "scriptapi/treaty_script_types.h"

using namespace AngelScript;

namespace {

constexpr char kNonClientEmpire[] = "Attempted to access a non-client empire in client code.";

// ---- identity and ruler ----

ScriptString* empireName(const empire* emp) { return new ScriptString(emp->name); }
ScriptString* raceName(const empire* emp) { return new ScriptString(emp->raceName); }
ScriptString* raceDescription(const empire* emp) { return new ScriptString(emp->raceDescription); }
ScriptString* raceHistory(const empire* emp) { return new ScriptString(emp->raceHistory); }
ScriptString* playerName(const empire* emp) {
  return new ScriptString(const_cast<empire*>(emp)->getPlayerName());
}
ScriptString* shipSet(const empire* emp) { return new ScriptString(emp->shipSet); }
void setShipSet(empire* emp, const ScriptString& name) { emp->shipSet = name.toStringw(); }
Emperor* ruler(empire* emp) { return &emp->emperor; }
ScriptString* rulerName(const Emperor* emperor) { return new ScriptString(emperor->name); }

void attachScriptAI(empire* emp, const ScriptString& module, const ScriptString& className) {
  registerEmpireAI(module.toStringw(), emp, className.toStringw(), nullptr);
}

// ---- relations and visibility ----

bool isAllied(const empire* emp, const empire* other) {
  return other != nullptr && const_cast<empire*>(emp)->isAllied(other);
}
bool isEnemy(const empire* emp, const empire* other) {
  return other != nullptr && const_cast<empire*>(emp)->isEnemy(other);
}
void addVisibility(empire* emp, const empire* other) {
  if (other != nullptr)
    emp->addVisibility(other);
}
void removeVisibility(empire* emp, const empire* other) {
  if (other != nullptr)
    emp->removeVisibility(other);
}
bool hasVisibility(empire* emp, const empire* other) {
  return other != nullptr && (emp->visibility.load() & other->ownBit) != 0;
}

// ---- messages ----

void postMessage(const empire* emp, const ScriptString& text) {
  postMiscMessage(const_cast<empire*>(emp), text.toStringw());
}
void postCategorised(const empire* emp, const ScriptString& text, const ScriptString& category, int32_t priority) {
  postEmpireMessage(const_cast<empire*>(emp), text.toStringw(), category.toStringw(), priority, -1);
}
ScriptString* lastMessage(const empire* emp) {
  auto* owner = const_cast<empire*>(emp);
  empire::AreaGuard guard;
  owner->lockArea(guard, EA_Messages, false);
  return owner->messages.empty() ? nullptr : new ScriptString(owner->messages.back().text);
}
float messageDelay(const empire* emp) { return static_cast<float>(gameTime.load() - emp->lastMessage); }

// ---- stats, settings and research ----

float empireSetting(empire* emp, const ScriptString& name) { return emp->getSetting(name.toStringw()); }
void setEmpireSetting(empire* emp, const ScriptString& name, float value) {
  emp->setSetting(name.toStringw(), value);
}
float stat(empire* emp, const ScriptString& name) { return emp->getStat(name.toStringw()); }
// An amount that is not a number changes nothing (it would spoil the stat
// for good).
void addStat(empire* emp, const ScriptString& name, float amount) {
  if (!std::isnan(amount))
    emp->modStat(name.toStringw(), ESO_Add, amount);
}
// Takes at most what is there (nothing of a negative stock) and gives back
// what was taken. The read and the change are two holds of the stats lock:
// a negative amount is taken in full, and so raises the stat. An amount
// that is not a number takes nothing.
float consumeStat(empire* emp, const ScriptString& name, float amount) {
  if (std::isnan(amount))
    return 0.0f;
  const irr::core::stringw statName = name.toStringw();
  const float available = emp->getStat(statName);
  const float cap = available >= 0.0f ? available : 0.0f;
  const float taken = amount <= cap ? amount : cap;
  if (taken != 0.0f)
    emp->modStat(statName, ESO_Subtract, taken);
  return taken;
}
void modResearchRate(empire* emp, float amount) { emp->modResearchRate(amount); }
double researchRate(empire* emp) { return emp->getResearchRate(); }

// ---- sub-systems ----

// Whether a client-engine native may read `emp`: only the local player's
// empire. Otherwise the script exception is raised.
bool clientMayRead(const empire* emp) {
  if (emp == activeEmpire.load())
    return true;
  raiseScriptException(kNonClientEmpire);
  return false;
}

uint32_t subSysDataCount(const empire* emp) {
  if (!clientMayRead(emp))
    return 0;
  auto* owner = const_cast<empire*>(emp);
  empire::AreaGuard guard;
  owner->lockArea(guard, EA_SubSystemLevels, false);
  return owner->subSysLevels.size();
}
const curSysLevel* subSysData(const empire* emp, uint32_t index) {
  if (!clientMayRead(emp))
    return nullptr;
  auto* owner = const_cast<empire*>(emp);
  empire::AreaGuard guard;
  owner->lockArea(guard, EA_SubSystemLevels, false);
  return index < owner->subSysLevels.size() ? &owner->subSysLevels[index] : nullptr;
}
bool subSysUnlocked(const empire* emp, const SubSystemDef* def) {
  return def != nullptr && (def->unlockedBy.load() & emp->ownBit) != 0;
}
void updateSubSystems(empire* emp) { emp->updateSubSystems(); }

// ---- hull layouts ----

uint32_t layoutCount(const empire* emp) {
  auto* owner = const_cast<empire*>(emp);
  empire::AreaGuard guard;
  owner->lockArea(guard, EA_HullLayouts, false);
  return owner->hulls.size();
}
hull_list* layoutAt(const empire* emp, uint32_t index) {
  auto* owner = const_cast<empire*>(emp);
  empire::AreaGuard guard;
  owner->lockArea(guard, EA_HullLayouts, false);
  if (index >= owner->hulls.size()) {
    raiseScriptException("Accessed out-of-bounds ship layout");
    return nullptr;
  }
  return owner->hulls[index].value;
}
hull_list* layoutNamed(const empire* emp, const ScriptString& name) {
  auto* owner = const_cast<empire*>(emp);
  empire::AreaGuard guard;
  owner->lockArea(guard, EA_HullLayouts, false);
  const irr::s32 index = NamedVar<hull_list*>::findNoSort(owner->hulls, name.toStringw());
  return index < 0 ? nullptr : owner->hulls[static_cast<irr::u32>(index)].value;
}
uint32_t clientLayoutCount(const empire* emp) { return clientMayRead(emp) ? layoutCount(emp) : 0; }
hull_list* clientLayoutAt(const empire* emp, uint32_t index) {
  return clientMayRead(emp) ? layoutAt(emp, index) : nullptr;
}
hull_list* clientLayoutNamed(const empire* emp, const ScriptString& name) {
  return clientMayRead(emp) ? layoutNamed(emp, name) : nullptr;
}

// Only the local player's empire brings its layouts up to date from a
// script; a scale below 1 is refused.
void updateHullByName(const empire* emp, const ScriptString& name, float scale) {
  if (emp != activeEmpire.load() || !(scale >= 1.0f))
    return;
  const_cast<empire*>(emp)->updateHullByName(name.toStringw(), scale);
}
void replaceHull(const empire* emp, const hull_list* older, const hull_list* newer) {
  if (emp != activeEmpire.load() || older == nullptr || newer == nullptr)
    return;
  const_cast<empire*>(emp)->replaceHull(const_cast<hull_list*>(older), const_cast<hull_list*>(newer));
}
void toggleObsolete(const empire* emp, const ScriptString& name) {
  const_cast<empire*>(emp)->toggleObsolete(name.toStringw());
}
hull_list* acquireForeignHull(empire* emp, const hull_list* layout) {
  return layout != nullptr ? emp->acquireForeignHull(const_cast<hull_list*>(layout)) : nullptr;
}
bool hasForeignHull(const empire* emp, const hull_list* layout) {
  return layout != nullptr && const_cast<empire*>(emp)->hasForeignHull(layout);
}
bool clientHasForeignHull(const empire* emp, const hull_list* layout) {
  return emp == activeEmpire.load() && hasForeignHull(emp, layout);
}

// ---- build lists ----

ScriptString* buildListName(const empire* emp, int32_t index) {
  if (index < 0)
    return new ScriptString();
  return new ScriptString(const_cast<empire*>(emp)->getBuildListName(static_cast<unsigned>(index)));
}
int32_t buildListCount(const empire* emp) {
  return static_cast<int32_t>(const_cast<empire*>(emp)->getBuildListCount());
}

// ---- traits ----

bool hasTrait(const empire* emp, const ScriptString& id) { return const_cast<empire*>(emp)->hasTrait(id.toStringw()); }
bool hasTraitTag(const empire* emp, const ScriptString& tag) {
  return const_cast<empire*>(emp)->hasTraitTag(tag.toStringw());
}
void addTrait(empire* emp, const ScriptString& id) { emp->addTrait(id.toStringw()); }
void removeTrait(empire* emp, const ScriptString& id) { emp->removeTrait(id.toStringw()); }
ScriptString* traitId(const ITrait* trait) { return new ScriptString(trait->id); }
ScriptString* traitName(const ITrait* trait) { return new ScriptString(trait->name); }
ScriptString* traitDescription(const ITrait* trait) { return new ScriptString(trait->desc); }
ScriptString* traitFlavor(const ITrait* trait) { return new ScriptString(trait->flavor); }

// ---- global lookups ----

empire* empireAt(uint32_t index) {
  if (index >= empireList.size()) {
    raiseScriptException("Out of bounds when getting empire by index");
    return nullptr;
  }
  return empireList[index];
}
uint32_t empireCount() { return static_cast<uint32_t>(empireList.size()); }
empire* getActiveEmpire() { return activeEmpire; }
empire* empireByID(int id) {
  if (id < 0 || id > 255)
    return defaultEmpire();
  return getEmpireByID(static_cast<EmpireID>(id));
}

// ---- registration helpers ----

enum class Engines { Both, Server, Client };

template <typename Registration>
void onEngines(Engines engines, Registration registration) {
  onBothEngines([&](asIScriptEngine* engine, bool server) {
    if ((engines == Engines::Server && !server) || (engines == Engines::Client && server))
      return;
    registration(engine);
  });
}

// A declaration that names a type of another registrar (`needsType`) is
// left out of an engine without that type (a set-up whose other slots are
// left empty).
bool hasType(asIScriptEngine* engine, const char* needsType) {
  return needsType == nullptr || engine->GetTypeInfoByName(needsType) != nullptr;
}

void method(const char* declaration, const asSFuncPtr& function, Engines engines = Engines::Both,
            asDWORD convention = asCALL_CDECL_OBJFIRST, const char* needsType = nullptr) {
  onEngines(engines, [&](asIScriptEngine* engine) {
    if (hasType(engine, needsType))
      checked(engine).RegisterObjectMethod("Empire", declaration, function, convention);
  });
}

// One declaration with a native per engine, the client's registered first.
void clientFirstMethod(const char* declaration, const asSFuncPtr& client, const asSFuncPtr& server) {
  method(declaration, client, Engines::Client);
  method(declaration, server, Engines::Server);
}

void typeMethod(const char* type, const char* declaration, const asSFuncPtr& function,
                Engines engines = Engines::Both) {
  onEngines(engines, [&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectMethod(type, declaration, function, asCALL_CDECL_OBJFIRST);
  });
}

void property(const char* type, const char* declaration, size_t offset, const char* needsType = nullptr) {
  onBothEngines([&](asIScriptEngine* engine) {
    if (hasType(engine, needsType))
      checked(engine).RegisterObjectProperty(type, declaration, static_cast<int>(offset));
  });
}

// `clientDeclaration` null: the server's declaration on both engines.
void global(const char* serverDeclaration, const asSFuncPtr& function, const char* clientDeclaration = nullptr) {
  onBothEngines([&](asIScriptEngine* engine, bool server) {
    const char* declaration = server || clientDeclaration == nullptr ? serverDeclaration : clientDeclaration;
    checked(engine).RegisterGlobalFunction(declaration, function, asCALL_CDECL);
  });
}

// The empire has no virtual functions; g++ computes these offsets at
// compile time.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
constexpr size_t kIDOffset = offsetof(empire, ID);
constexpr size_t kColorOffset = offsetof(empire, color);
constexpr size_t kLastMessageOffset = offsetof(empire, lastMessage);
#pragma GCC diagnostic pop

void registerSysPresence() {
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType("SysPresence", sizeof(SysPresence),
                                       asOBJ_VALUE | asOBJ_POD | asOBJ_APP_CLASS | asOBJ_APP_CLASS_ALLFLOATS);
  });
  const struct {
    const char* declaration;
    size_t offset;
  } fields[] = {
      {"float us", offsetof(SysPresence, us)},
      {"float allies", offsetof(SysPresence, allies)},
      {"float neutrals", offsetof(SysPresence, neutrals)},
      {"float enemies", offsetof(SysPresence, enemies)},
      {"float usStr", offsetof(SysPresence, usStr)},
      {"float alliesStr", offsetof(SysPresence, alliesStr)},
      {"float neutralsStr", offsetof(SysPresence, neutralsStr)},
      {"float enemiesStr", offsetof(SysPresence, enemiesStr)},
  };
  for (const auto& field : fields)
    property("SysPresence", field.declaration, field.offset);
}

}  // namespace

void bindEmpireScriptType() {
  registerUncountedType("Empire");

  // Relations, identity, messages, visibility and the ship set.
  method("bool isAllied(const Empire@) const", asFUNCTION(isAllied));
  method("bool isEnemy(const Empire@) const", asFUNCTION(isEnemy));
  method("bool setAllied(Empire@,bool) const", asFUNCTION(setEmpireAllied), Engines::Server);
  method("bool setEnemy(Empire@,bool) const", asFUNCTION(setEmpireEnemy), Engines::Server);
  method("string@ getName() const", asFUNCTION(empireName));
  method("string@ getRaceName() const", asFUNCTION(raceName));
  method("string@ getRaceDescription() const", asFUNCTION(raceDescription));
  method("string@ getRaceHistory() const", asFUNCTION(raceHistory));
  method("string@ getPlayerName() const", asFUNCTION(playerName));
  method("bool isValid() const", asMETHOD(empire, isValid), Engines::Both, asCALL_THISCALL);
  method("bool isAI() const", asMETHOD(empire, isAI), Engines::Both, asCALL_THISCALL);
  method("bool isReserved() const", asMETHOD(empire, isReserved), Engines::Both, asCALL_THISCALL);
  method("void postMessage(const string &) const", asFUNCTION(postMessage), Engines::Server);
  method("void postMessage(const string &, const string &, int) const", asFUNCTION(postCategorised),
         Engines::Server);
  method("void addVisibility(Empire@+)", asFUNCTION(addVisibility), Engines::Server);
  method("void removeVisibility(Empire@+)", asFUNCTION(removeVisibility), Engines::Server);
  method("bool hasVisibility(Empire@+)", asFUNCTION(hasVisibility), Engines::Server);
  method("string@ getShipSet() const", asFUNCTION(shipSet), Engines::Server);
  method("void setShipSet(const string &)", asFUNCTION(setShipSet), Engines::Server);

  property("Empire", "const int8 ID", kIDOffset);
  property("Empire", "Color color", kColorOffset, "Color");
  method("void regScriptData(const string &, const string &)", asFUNCTION(attachScriptAI));

  // Research: the points themselves come from the research web.
  method("void addResearch(float)", asFUNCTION(noOpFunction), Engines::Server, asCALL_GENERIC);
  method("void modResearchRate(float)", asFUNCTION(modResearchRate), Engines::Server);
  method("double getResearchRate()", asFUNCTION(researchRate), Engines::Server);

  registerSysPresence();
  registerEmpireMessagesType();
  registerEmpireTreatiesType();
  bindDiplomacyScriptTypes();

  registerUncountedType("Emperor");
  method("const Emperor@ getRuler() const", asFUNCTION(ruler));
  method("Emperor@ getRuler()", asFUNCTION(ruler), Engines::Server);
  typeMethod("Emperor", "string@ getName() const", asFUNCTION(rulerName));

  global("Empire@ getEmpire(uint)", asFUNCTION(empireAt), "const Empire@ getEmpire(uint)");
  global("uint getEmpireCount()", asFUNCTION(empireCount));

  registerUncountedType("empSysData");
  property("empSysData", "const subSystemDef@ type", offsetof(curSysLevel, type), "subSystemDef");
  property("empSysData", "float level", offsetof(curSysLevel, level));

  registerUncountedType("Trait");
  typeMethod("Trait", "string@ get_id() const", asFUNCTION(traitId));
  typeMethod("Trait", "string@ getName() const", asFUNCTION(traitName));
  typeMethod("Trait", "string@ getDescription() const", asFUNCTION(traitDescription));
  typeMethod("Trait", "string@ getFlavor() const", asFUNCTION(traitFlavor));

  method("uint getSubSysDataCnt() const", asFUNCTION(subSysDataCount), Engines::Client);
  method("const empSysData@ getSubSysData(uint) const", asFUNCTION(subSysData), Engines::Client);
  method("bool subSysUnlocked(const subSystemDef@) const", asFUNCTION(subSysUnlocked), Engines::Both,
         asCALL_CDECL_OBJFIRST, "subSystemDef");
  method("void updateSubSystems()", asFUNCTION(updateSubSystems), Engines::Server);

  // Its empty add-ref and release come with the name: the layout members
  // that the object bindings add need no more.
  registerUncountedType("HullLayout");
  clientFirstMethod("uint getShipLayoutCnt() const", asFUNCTION(clientLayoutCount), asFUNCTION(layoutCount));
  clientFirstMethod("const HullLayout@ getShipLayout(uint) const", asFUNCTION(clientLayoutAt), asFUNCTION(layoutAt));
  clientFirstMethod("const HullLayout@ getShipLayout(const string &) const", asFUNCTION(clientLayoutNamed),
                    asFUNCTION(layoutNamed));
  method("void updateHull(const string &, float) const", asFUNCTION(updateHullByName));
  method("void updateHull(const HullLayout@, const HullLayout@) const", asFUNCTION(replaceHull));
  method("void toggleObsolete(const string &) const", asFUNCTION(toggleObsolete));
  method("HullLayout@+ acquireForeignHull(const HullLayout@+)", asFUNCTION(acquireForeignHull), Engines::Server);
  method("bool hasForeignHull(const HullLayout@+) const", asFUNCTION(hasForeignHull), Engines::Server);
  method("bool hasForeignHull(const HullLayout@+) const", asFUNCTION(clientHasForeignHull), Engines::Client);

  method("string@ getBuildList(int) const", asFUNCTION(buildListName));
  method("int getBuildListCount() const", asFUNCTION(buildListCount));
  method("float getSetting(const string &) const", asFUNCTION(empireSetting));
  method("void setSetting(const string &, float)", asFUNCTION(setEmpireSetting));
  method("float getStat(const string &) const", asFUNCTION(stat));
  method("void addStat(const string &, float)", asFUNCTION(addStat), Engines::Server);
  method("float consumeStat(const string &, float)", asFUNCTION(consumeStat), Engines::Server);
  method("bool hasTrait(const string &) const", asFUNCTION(hasTrait));
  method("bool hasTraitTag(const string &) const", asFUNCTION(hasTraitTag));
  method("void addTrait(const string &)", asFUNCTION(addTrait), Engines::Server);
  method("void removeTrait(const string &)", asFUNCTION(removeTrait), Engines::Server);
  method("string@ getLastMessage() const", asFUNCTION(lastMessage));
  method("float getMsgDelay() const", asFUNCTION(messageDelay));
  property("Empire", "double lastMessage", kLastMessageOffset);

  global("Empire@ getActiveEmpire()", asFUNCTION(getActiveEmpire));
  global("Empire@ getEmpireByID(int)", asFUNCTION(empireByID), "const Empire@ getEmpireByID(int)");

  registerEmpireTraitsType();
}

namespace {

void systemPresence(const empire* emp, solarSystem* system, SysPresence& out) {
  const_cast<empire*>(emp)->getSystemPresence(system, out);
}

}  // namespace

void registerSystemPresenceMethod() {
  method("void getSystemPresence(System@+, SysPresence &out) const", asFUNCTION(systemPresence));
}
