#include "scriptapi/hull_layout_bindings.h"

#include <angelscript.h>
#include <vector2d.h>

#include <cstddef>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/empire_messages.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;
using irr::core::stringw;
using irr::core::vector2df;

namespace {

constexpr char kLayoutType[] = "HullLayout";
constexpr char kStatsType[] = "HullStats";
constexpr uint8_t kHullSettingChannel = 0;

// ---- HullLayout ----

ScriptString* layoutName(const hull_list* layout) {
  if (layout->owner == nullptr)
    return new ScriptString(layout->getName());
  empire::AreaGuard guard;
  layout->owner->lockArea(guard, EA_HullLayouts, false);
  return new ScriptString(layout->getName());
}

uint32_t subSysCount(const hull_list* layout) { return layout->systemCount; }

subSystem* subSysAt(const hull_list* layout, uint32_t index) {
  if (index >= layout->systemCount) {
    raiseScriptException("Out of bounds index when getting subSystem@ from hullLayout");
    return nullptr;
  }
  return layout->systems[index].system;
}

vector2df subSysPos(const hull_list* layout, uint32_t index) {
  if (index >= layout->systemCount) {
    raiseScriptException("Out of bounds index when getting SubSystem position from hullLayout");
    return vector2df(0.0f, 0.0f);
  }
  return vector2df(layout->systems[index].x, layout->systems[index].y);
}

int32_t subSysLink(const hull_list* layout, uint32_t index) {
  if (index >= layout->systemCount) {
    raiseScriptException("Out of bounds index when getting link index from hullLayout");
    return -1;
  }
  return layout->systems[index].link;
}

bool targetScalesWithFlag(const hull_list* layout, float& low, float& high, bool& exclusive) {
  low = layout->targeting.targetScaleMin;
  high = layout->targeting.targetScaleMax;
  exclusive = layout->targeting.targetScaleExclusive;
  return layout->targeting.targetScaleSet;
}

bool targetScales(const hull_list* layout, float& low, float& high) {
  bool exclusive = false;
  return targetScalesWithFlag(layout, low, high, exclusive);
}

bool targetDamageWithFlag(const hull_list* layout, float& low, float& high, bool& exclusive) {
  low = layout->targeting.targetDamageMin;
  high = layout->targeting.targetDamageMax;
  exclusive = layout->targeting.targetDamageExclusive;
  return layout->targeting.targetDamageSet;
}

bool targetDamage(const hull_list* layout, float& low, float& high) {
  bool exclusive = false;
  return targetDamageWithFlag(layout, low, high, exclusive);
}

void allowTargets(const hull_list* layout, bool& ships, bool& planets) {
  ships = layout->targeting.allowShipTargets;
  planets = layout->targeting.allowPlanetTargets;
}

void depositTargets(const hull_list* layout, bool& first, bool& second) {
  first = layout->targeting.depositTargets[0];
  second = layout->targeting.depositTargets[1];
}

bool orbits(const hull_list* layout) { return layout->targeting.orbits; }
bool allowFetch(const hull_list* layout) { return layout->targeting.allowFetch; }

// The tag set compares texts, so the question needs no pooled copy of the
// text: asking adds nothing to the common string list.
bool hasSystemWithTag(const hull_list* layout, const ScriptString& tag) {
  const stringw text = tag.toStringw();
  if (text.empty()) {
    raiseScriptException("hull tags can never be empty strings");
    return false;
  }
  return layout->hasSystemWithTag(text);
}

bool isObsolete(const hull_list* layout) { return layout->obsolete; }
void setObsolete(hull_list* layout) { layout->set_obsolete(); }

bool ownedByActiveEmpire(const hull_list* layout) {
  const empire* active = activeEmpire.load();
  return active != nullptr && layout->owner == active;
}

float updateThreshold(const hull_list* layout) { return ownedByActiveEmpire(layout) ? layout->updateThreshold : 0.0f; }

void setUpdateThreshold(const hull_list* layout, float value) {
  if (!ownedByActiveEmpire(layout))
    return;
  // Registered const (scripts hold const handles of their own layouts);
  // the threshold is the one setting the owner may change on them.
  const_cast<hull_list*>(layout)->updateThreshold = value;
  if (!sendsClientRequests())
    return;
  const stringw name = layout->getName();
  sendClientRequest(kHullSettingChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
    stream.Write(ID_HULL_SETTING);
    stream.Write(kHullSettingThreshold);
    writeNetStringW(stream, name, 255);
    stream.Write(value);
    return true;
  });
}

HullStats* layoutStats(const hull_list* layout) { return makeHullStats(*layout); }

// ---- HullStats ----

void grabStats(HullStats* stats) { stats->grab(); }
void dropStats(HullStats* stats) { stats->drop(); }

uint32_t costCount(const HullStats* stats) { return stats->costs.size(); }

ScriptString* costName(const HullStats* stats, uint32_t index) {
  if (index >= stats->costs.size()) {
    raiseScriptException("Out of bounds index when getting hull cost name");
    return nullptr;
  }
  return new ScriptString(stats->costs[index].entryName());
}

float costAt(const HullStats* stats, uint32_t index) {
  if (index >= stats->costs.size()) {
    raiseScriptException("Out of bounds index when getting hull cost");
    return 0.0f;
  }
  return stats->costs[index].value.amount;
}

// The lists are sorted when the record is made, so a look-up never writes.
float costNamed(const HullStats* stats, const ScriptString& name) {
  const irr::s32 index = PtrNamedVar<constructible::cost>::findNoSort(stats->costs, name.toStringw());
  return index < 0 ? 0.0f : stats->costs[static_cast<irr::u32>(index)].value.amount;
}

uint32_t hintCount(const HullStats* stats) { return stats->hints.size(); }

ScriptString* hintName(const HullStats* stats, uint32_t index) {
  if (index >= stats->hints.size()) {
    raiseScriptException("Out of bounds index when getting hull cost name");
    return nullptr;
  }
  return new ScriptString(stats->hints[index].entryName());
}

float hintAt(const HullStats* stats, uint32_t index) {
  if (index >= stats->hints.size()) {
    raiseScriptException("Out of bounds index when getting hull cost");
    return 0.0f;
  }
  return stats->hints[index].value;
}

float hintNamed(const HullStats* stats, const ScriptString& name) {
  const irr::s32 index = PtrNamedVar<float>::findNoSort(stats->hints, name.toStringw());
  return index < 0 ? 0.0f : stats->hints[static_cast<irr::u32>(index)].value;
}

// Adds `amount` to the hint named `name` (made at 0 when absent).
void addHint(PtrNamedVar<double>::Registry& hints, const stringw& name, double amount) {
  PtrNamedVar<double>::getOrAdd(hints, name, internCommonString).value += amount;
}

// Adds each value of one of an instance's named lists, times `sign`.
void addHintList(PtrNamedVar<double>::Registry& hints, const PtrNamedVar<formula*>::Registry& names,
                 const float* values, double sign) {
  if (values == nullptr)
    return;
  for (irr::u32 k = 0; k < names.size(); ++k)
    addHint(hints, names[k].entryName(), sign * values[k]);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
constexpr size_t kScaleOffset = offsetof(hull_list, scale);
constexpr size_t kMetadataOffset = offsetof(hull_list, metadata);
constexpr size_t kOwnerOffset = offsetof(hull_list, owner);
constexpr size_t kSpaceTakenOffset = offsetof(HullStats, spaceTaken);
constexpr size_t kSpaceTotalOffset = offsetof(HullStats, spaceTotal);
#pragma GCC diagnostic pop

void method(const char* type, const char* declaration, const asSFuncPtr& function) {
  onBothEngines([&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectMethod(type, declaration, function, asCALL_CDECL_OBJFIRST);
  });
}

void property(const char* type, const char* declaration, size_t offset) {
  onBothEngines([&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectProperty(type, declaration, static_cast<int>(offset));
  });
}

}  // namespace

HullStats* makeHullStats(const hull_list& layout) {
  auto* stats = new HullStats;
  layout.addCostsTo(stats->costs);
  stats->costs.sort();

  static const stringw kHP(L"HP");
  static const stringw kMass(L"Mass");
  static const stringw kHull(L"Hull");
  static const stringw kArmor(L"Armor");
  double taken = 0.0;
  double total = 0.0;
  PtrNamedVar<double>::Registry hints;
  for (uint32_t i = 0; i < layout.systemCount; ++i) {
    const subSystem* instance = layout.systems[i].system;
    if (instance == nullptr || instance->def == nullptr)
      continue;
    const SubSystemDef& def = *instance->def;
    if (def.hasTag(kHull))
      total += instance->getSize();
    else if (!def.hasTag(kArmor))
      taken += instance->getSize();
    addHint(hints, kHP, instance->getDurability());
    addHint(hints, kMass, instance->getMass());
    addHintList(hints, def.consumption, instance->consumption, -1.0);
    addHintList(hints, def.requirements, instance->requirements, -1.0);
    addHintList(hints, def.hints, instance->hints, 1.0);
  }
  const double area = static_cast<double>(layout.scale) * layout.scale;
  stats->spaceTaken = static_cast<float>(taken / area);
  stats->spaceTotal = static_cast<float>(total / area);
  stats->hints.reallocate(hints.size());
  for (irr::u32 k = 0; k < hints.size(); ++k)
    stats->hints.push_back(PtrNamedVar<float>(hints[k].name, static_cast<float>(hints[k].value)));
  stats->hints.set_sorted(true);
  return stats;
}

void registerHullLayoutMembers() {
  method(kLayoutType, "string@ getName() const", asFUNCTION(layoutName));
  method(kLayoutType, "uint getSubSysCnt() const", asFUNCTION(subSysCount));
  method(kLayoutType, "const subSystem@ getSubSys(uint) const", asFUNCTION(subSysAt));
  method(kLayoutType, "pos2df getSubSysPos(uint) const", asFUNCTION(subSysPos));
  method(kLayoutType, "int getSubSysLink(uint) const", asFUNCTION(subSysLink));
  method(kLayoutType, "bool getTargetScales(float &out,float &out) const", asFUNCTION(targetScales));
  method(kLayoutType, "bool getTargetScales(float &out,float &out,bool &out) const",
         asFUNCTION(targetScalesWithFlag));
  method(kLayoutType, "bool getTargetDamage(float &out,float &out) const", asFUNCTION(targetDamage));
  method(kLayoutType, "bool getTargetDamage(float &out,float &out, bool&out) const",
         asFUNCTION(targetDamageWithFlag));
  method(kLayoutType, "void getAllowTargets(bool &out,bool &out) const", asFUNCTION(allowTargets));
  method(kLayoutType, "void getDepositTargets(bool &out,bool &out) const", asFUNCTION(depositTargets));
  method(kLayoutType, "bool get_orbits() const", asFUNCTION(orbits));
  method(kLayoutType, "bool get_allowFetch() const", asFUNCTION(allowFetch));
  method(kLayoutType, "bool hasSystemWithTag(const string &) const", asFUNCTION(hasSystemWithTag));
  property(kLayoutType, "float scale", kScaleOffset);
  method(kLayoutType, "bool get_obsolete() const", asFUNCTION(isObsolete));
  method(kLayoutType, "void set_obsolete()", asFUNCTION(setObsolete));
  property(kLayoutType, "int metadata", kMetadataOffset);
  property(kLayoutType, "const Empire@ owner", kOwnerOffset);
  method(kLayoutType, "void set_updateThreshold(float) const", asFUNCTION(setUpdateThreshold));
  method(kLayoutType, "float get_updateThreshold() const", asFUNCTION(updateThreshold));

  // HullStats before the member that hands it out.
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType(kStatsType, 0, asOBJ_REF);
    checked(engine).RegisterObjectBehaviour(kStatsType, asBEHAVE_ADDREF, "void f()", asFUNCTION(grabStats),
                                            asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectBehaviour(kStatsType, asBEHAVE_RELEASE, "void f()", asFUNCTION(dropStats),
                                            asCALL_CDECL_OBJFIRST);
  });
  property(kStatsType, "float spaceTaken", kSpaceTakenOffset);
  property(kStatsType, "float spaceTotal", kSpaceTotalOffset);
  method(kStatsType, "uint getCostCnt() const", asFUNCTION(costCount));
  method(kStatsType, "string@ getCostName(uint) const", asFUNCTION(costName));
  method(kStatsType, "float getCost(uint) const", asFUNCTION(costAt));
  method(kStatsType, "float getCost(const string &) const", asFUNCTION(costNamed));
  method(kStatsType, "uint getHintCnt() const", asFUNCTION(hintCount));
  method(kStatsType, "string@ getHintName(uint) const", asFUNCTION(hintName));
  method(kStatsType, "float getHint(uint) const", asFUNCTION(hintAt));
  method(kStatsType, "float getHint(const string &) const", asFUNCTION(hintNamed));

  method(kLayoutType, "HullStats@ getStats() const", asFUNCTION(layoutStats));
}
