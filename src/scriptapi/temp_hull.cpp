#include "scriptapi/temp_hull.h"

#include <angelscript.h>
#include <vector2d.h>

#include <mutex>
#include <vector>

#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;
using irr::core::stringw;
using irr::core::vector2df;

namespace {

struct TempHullBuilder {
  std::mutex lock;
  layout_desc pending;
  hull_list* current = nullptr;
  // Layouts a finalize or free replaced, kept for the handles scripts may
  // still hold until the session's tear-down.
  std::vector<hull_list*> replaced;
  bool hasError = false;
  stringw error;
  float spaceUsed = 0.0f;
  float spaceTotal = 0.0f;

  // The caller holds `lock`.
  void retireCurrent() {
    if (current != nullptr)
      replaced.push_back(current);
    current = nullptr;
  }
};

TempHullBuilder& builder() {
  static TempHullBuilder instance;
  return instance;
}

void appendSystem(const SubSystemDef* def, float scale, const vector2df& position, int32_t link) {
  if (def == nullptr) {
    raiseScriptException("Null subSystemDef@ when adding system to temp HullLayout");
    return;
  }
  layout_desc::system entry;
  entry.def = def;
  entry.scale = scale;
  entry.x = position.X;
  entry.y = position.Y;
  entry.link = link;
  TempHullBuilder& b = builder();
  const std::lock_guard<std::mutex> guard(b.lock);
  b.pending.systems.push_back(entry);
}

void addSubSysToTempHull(const SubSystemDef* def, float scale, const vector2df& position) {
  appendSystem(def, scale, position, -1);
}

// Only a sub-system that alters others has any use for a link.
void addLinkedSubSysToTempHull(const SubSystemDef* def, float scale, const vector2df& position, int link) {
  appendSystem(def, scale, position, def != nullptr && !def->alterHooks.empty() ? link : -1);
}

const hull_list* finalizeTempHull(float scale) {
  TempHullBuilder& b = builder();
  const std::lock_guard<std::mutex> guard(b.lock);
  b.pending.scale = scale;
  b.retireCurrent();
  try {
    b.current = new hull_list(b.pending, activeEmpire.load(), false);
    b.hasError = false;
    b.error = stringw();
  } catch (const hullSpaceError& fault) {
    b.hasError = true;
    b.error = fault.text;
    b.spaceUsed = fault.taken / scale;
    b.spaceTotal = fault.available / scale;
  } catch (const hullCreationError& fault) {
    b.hasError = true;
    b.error = fault.text;
    b.spaceUsed = 0.0f;
    b.spaceTotal = 0.0f;
  }
  b.pending.reset();
  return b.current;
}

void freeTempHull() {
  TempHullBuilder& b = builder();
  const std::lock_guard<std::mutex> guard(b.lock);
  if (b.current != nullptr) {
    b.retireCurrent();
    b.spaceUsed = 0.0f;
    b.spaceTotal = 0.0f;
  }
  b.pending.reset();
}

ScriptString* tempHullError() {
  TempHullBuilder& b = builder();
  const std::lock_guard<std::mutex> guard(b.lock);
  return b.hasError ? new ScriptString(b.error) : nullptr;
}

void tempHullSpace(float& used, float& total) {
  TempHullBuilder& b = builder();
  const std::lock_guard<std::mutex> guard(b.lock);
  used = b.spaceUsed;
  total = b.spaceTotal;
}

// Runs `change` on the current temporary layout's targeting, if there is one.
template <class Change>
void changeTargeting(Change change) {
  TempHullBuilder& b = builder();
  const std::lock_guard<std::mutex> guard(b.lock);
  if (b.current != nullptr)
    change(b.current->targeting);
}

void setTargetScaleWithFlag(float low, float high, bool exclusive) {
  changeTargeting([&](hull_targeting& targeting) {
    targeting.targetScaleMin = low;
    targeting.targetScaleMax = high;
    targeting.targetScaleSet = true;
    targeting.targetScaleExclusive = exclusive;
  });
}

void setTargetScale(float low, float high) { setTargetScaleWithFlag(low, high, false); }

void setTargetDamageWithFlag(float low, float high, bool exclusive) {
  changeTargeting([&](hull_targeting& targeting) {
    targeting.targetDamageMin = low;
    targeting.targetDamageMax = high;
    targeting.targetDamageSet = true;
    targeting.targetDamageExclusive = exclusive;
  });
}

void setTargetDamage(float low, float high) { setTargetDamageWithFlag(low, high, false); }

void setOrbitTargets(bool orbits) {
  changeTargeting([&](hull_targeting& targeting) { targeting.orbits = orbits; });
}

void setAllowTargets(bool ships, bool planets) {
  changeTargeting([&](hull_targeting& targeting) {
    targeting.allowShipTargets = ships;
    targeting.allowPlanetTargets = planets;
  });
}

void setDepositTargets(bool first, bool second) {
  changeTargeting([&](hull_targeting& targeting) {
    targeting.depositTargets[0] = first;
    targeting.depositTargets[1] = second;
  });
}

void setAllowFetch(bool allow) {
  changeTargeting([&](hull_targeting& targeting) { targeting.allowFetch = allow; });
}

struct GlobalFunction {
  const char* declaration;
  asSFuncPtr function;
};

}  // namespace

void registerTempHullFunctions() {
  asIScriptEngine* engine = clientScriptEngine;
  if (engine == nullptr)
    return;
  const GlobalFunction functions[] = {
      {"void addSubSysToTempHull(const subSystemDef@,float,const pos2df &in)", asFUNCTION(addSubSysToTempHull)},
      {"void addSubSysToTempHull(const subSystemDef@,float,const pos2df &in, int)",
       asFUNCTION(addLinkedSubSysToTempHull)},
      {"const HullLayout@ finalizeTempHull(float)", asFUNCTION(finalizeTempHull)},
      {"void freeTempHull()", asFUNCTION(freeTempHull)},
      {"string@ getTempHullError()", asFUNCTION(tempHullError)},
      {"void getTempHullSpace(float&, float&)", asFUNCTION(tempHullSpace)},
      {"void setTempHullTargetScale(float,float)", asFUNCTION(setTargetScale)},
      {"void setTempHullTargetDamage(float,float)", asFUNCTION(setTargetDamage)},
      {"void setTempHullTargetScale(float,float,bool)", asFUNCTION(setTargetScaleWithFlag)},
      {"void setTempHullTargetDamage(float,float,bool)", asFUNCTION(setTargetDamageWithFlag)},
      {"void setTempHullOrbitTargets(bool)", asFUNCTION(setOrbitTargets)},
      {"void setTempHullAllowTargets(bool, bool)", asFUNCTION(setAllowTargets)},
      {"void setTempHullDepositTargets(bool, bool)", asFUNCTION(setDepositTargets)},
      {"void setTempHullAllowFetch(bool)", asFUNCTION(setAllowFetch)},
  };
  for (const GlobalFunction& entry : functions)
    checked(engine).RegisterGlobalFunction(entry.declaration, entry.function, asCALL_CDECL);
}

void freeTempHulls() {
  TempHullBuilder& b = builder();
  const std::lock_guard<std::mutex> guard(b.lock);
  b.retireCurrent();
  for (hull_list* layout : b.replaced)
    layout->drop();
  b.replaced.clear();
  b.pending = layout_desc();
  b.hasError = false;
  b.error = stringw();
  b.spaceUsed = 0.0f;
  b.spaceTotal = 0.0f;
}
