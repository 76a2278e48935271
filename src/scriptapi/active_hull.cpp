#include "scriptapi/active_hull.h"

#include <angelscript.h>
#include <vector2d.h>

#include <string>

#include "core/locks.h"
#include "core/log.h"
#include "core/names.h"
#include "core/utf8.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_globals.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;
using irr::core::stringw;
using irr::core::vector2df;

namespace {

// The calling thread's design. A thread_local rather than a field of the
// thread's record: it needs no set-up or tear-down hook, it exists on every
// thread that calls a script (a record or not), and it goes with its thread.
layout_desc& activeHull() {
  thread_local layout_desc hull;
  return hull;
}

void clearActiveHull() { activeHull().reset(); }

void appendSystem(const SubSystemDef* def, float scale, const vector2df& position, int32_t link) {
  if (def == nullptr) {
    raiseScriptException("Added null subSystemDef@ to layout");
    return;
  }
  layout_desc::system entry;
  entry.def = def;
  entry.scale = scale;
  entry.x = position.X;
  entry.y = position.Y;
  entry.link = link;
  activeHull().systems.push_back(entry);
}

void addSysToActiveHull(const SubSystemDef* def, float scale, const vector2df& position) {
  appendSystem(def, scale, position, -1);
}

// Only a sub-system that alters others has any use for a link.
void addLinkedSysToActiveHull(const SubSystemDef* def, float scale, const vector2df& position, int link) {
  appendSystem(def, scale, position, def != nullptr && !def->alterHooks.empty() ? link : -1);
}

void setActiveHullScale(float scale) {
  // A NaN is no more a scale than 0 is.
  if (!(scale > 0.0f)) {
    raiseScriptException("Attempted to set a hull scale <= 0");
    return;
  }
  activeHull().scale = scale;
}

void setActiveHullMetaData(int metadata) { activeHull().metadata = metadata; }

void setActiveHullTargetScaleWithFlag(float low, float high, bool exclusive) {
  hull_targeting& targeting = activeHull().targeting;
  targeting.targetScaleMin = low;
  targeting.targetScaleMax = high;
  targeting.targetScaleSet = true;
  targeting.targetScaleExclusive = exclusive;
}

void setActiveHullTargetScale(float low, float high) { setActiveHullTargetScaleWithFlag(low, high, false); }

void setActiveHullTargetDamageWithFlag(float low, float high, bool exclusive) {
  hull_targeting& targeting = activeHull().targeting;
  targeting.targetDamageMin = low;
  targeting.targetDamageMax = high;
  targeting.targetDamageSet = true;
  targeting.targetDamageExclusive = exclusive;
}

void setActiveHullTargetDamage(float low, float high) { setActiveHullTargetDamageWithFlag(low, high, false); }

void setActiveHullOrbitTargets(bool orbits) { activeHull().targeting.orbits = orbits; }

void setActiveHullAllowTargets(bool ships, bool planets) {
  hull_targeting& targeting = activeHull().targeting;
  targeting.allowShipTargets = ships;
  targeting.allowPlanetTargets = planets;
}

void setActiveHullDepositTargets(bool first, bool second) {
  hull_targeting& targeting = activeHull().targeting;
  targeting.depositTargets[0] = first;
  targeting.depositTargets[1] = second;
}

void setActiveHullAllowFetch(bool allow) { activeHull().targeting.allowFetch = allow; }

std::string utf8(const stringw& text) { return wideToUtf8(text.c_str()); }

void logRejected(const stringw& name, const stringw& error) {
  logError("Attempted to create invalid hull '%s'\n Error: %s\n", utf8(name).c_str(), utf8(error).c_str());
}

// The name as layouts take it: the characters that paths, lists and the
// text markers use are replaced, as the script global "hullEscape" does.
stringw cleanName(const ScriptString& text) {
  ScriptString* escaped = hullEscape(text);
  stringw name = escaped->toStringw();
  escaped->release();
  return name;
}

bool finalizeActiveHull(const ScriptString& text) {
  const stringw name = cleanName(text);
  if (name.empty()) {
    raiseScriptException("Null string@ finalizing hull");
    return false;
  }
  empire* emp = activeEmpire;
  if (emp == nullptr) {
    logError("Attempted to finalize hull '%s' with no active empire\n", utf8(name).c_str());
    return false;
  }

  // The hull layouts area first: making the layout takes the traits area
  // and then the variables area itself, and every writer of the table takes
  // this area before those.
  ScopedWriteLock tableGuard(emp->locks[EA_HullLayouts]);
  const irr::s32 index = NamedVar<hull_list*>::find(emp->hulls, name);
  hull_list* old = index < 0 ? nullptr : emp->hulls[static_cast<irr::u32>(index)].value;

  hull_list* layout = nullptr;
  try {
    layout = new hull_list(activeHull(), emp, false);
  } catch (const hullCreationError& error) {
    logRejected(name, error.text);
    return false;
  } catch (const hullSpaceError& error) {
    logRejected(name, error.text);
    return false;
  }
  layout->name = name;

  if (old != nullptr) {
    // The table keeps its own reference to the new revision; replaceHull
    // also sends it.
    layout->revision = old->revision + 1;
    emp->replaceHull(old, layout);
    layout->drop();
    return true;
  }
  // The table takes over the reference the layout was made with.
  NamedVar<hull_list*>::getOrAdd(emp->hulls, name).value = layout;
  if (networkManager != nullptr && networkManager->isNetworked)
    sendHullLayout(layout);
  return true;
}

struct GlobalFunction {
  const char* declaration;
  asSFuncPtr function;
};

}  // namespace

void registerActiveHullFunctions() {
  const GlobalFunction functions[] = {
      {"void clearActiveHull()", asFUNCTION(clearActiveHull)},
      {"void addSysToActiveHull(const subSystemDef@, float, const pos2df &in)", asFUNCTION(addSysToActiveHull)},
      {"void addSysToActiveHull(const subSystemDef@, float, const pos2df &in, int)",
       asFUNCTION(addLinkedSysToActiveHull)},
      {"void setActiveHullScale(float)", asFUNCTION(setActiveHullScale)},
      {"void setActiveHullMetaData(int)", asFUNCTION(setActiveHullMetaData)},
      {"void setActiveHullTargetScale(float,float)", asFUNCTION(setActiveHullTargetScale)},
      {"void setActiveHullTargetDamage(float,float)", asFUNCTION(setActiveHullTargetDamage)},
      {"void setActiveHullTargetScale(float,float,bool)", asFUNCTION(setActiveHullTargetScaleWithFlag)},
      {"void setActiveHullTargetDamage(float,float,bool)", asFUNCTION(setActiveHullTargetDamageWithFlag)},
      {"void setActiveHullOrbitTargets(bool)", asFUNCTION(setActiveHullOrbitTargets)},
      {"void setActiveHullAllowTargets(bool, bool)", asFUNCTION(setActiveHullAllowTargets)},
      {"void setActiveHullDepositTargets(bool, bool)", asFUNCTION(setActiveHullDepositTargets)},
      {"void setActiveHullAllowFetch(bool)", asFUNCTION(setActiveHullAllowFetch)},
      {"bool finalizeActiveHull(const string &)", asFUNCTION(finalizeActiveHull)},
  };
  for (const GlobalFunction& entry : functions)
    onBothEngines([&](asIScriptEngine* engine) {
      checked(engine).RegisterGlobalFunction(entry.declaration, entry.function, asCALL_CDECL);
    });
}
