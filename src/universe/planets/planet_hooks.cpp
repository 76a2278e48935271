#include "universe/planets/planet_hooks.h"

#include <angelscript.h>

#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "universe/planets/planet.h"

using namespace AngelScript;

PlanetScriptHooks planetScriptHooks;

namespace {

constexpr char kPlanetModule[] = "planet";
constexpr char kTickDeclaration[] = "void tick(Planet@,float)";
constexpr char kRepairDeclaration[] = "bool onRepair(Planet@,float)";
constexpr char kDamageDeclaration[] = "bool onDamage(Planet@,Event@)";
constexpr char kOwnerChangeDeclaration[] = "bool onOwnerChange(Planet@,Empire@,Empire@)";
constexpr char kDestroyDeclaration[] = "bool onDestroy(Planet@, bool)";

// Runs the hook `functionId` on a context of the calling thread, with the
// arguments `setArguments` gives it (Empire and Event handles are
// uncounted). The hook's bool answer when `answers`; false when the hook is
// absent or did not finish.
template <typename SetArguments>
bool runHook(int functionId, bool answers, SetArguments setArguments) {
  if (functionId < 0)
    return false;
  bool fromPool = false;
  asIScriptContext* context = getPreparedScriptContext(functionId, fromPool);
  if (context == nullptr)
    return false;
  bool answer = false;
  const asIScriptFunction* function = context->GetFunction();
  if (function != nullptr) {
    setArguments(context);
    // A failure is reported by the context's exception callback.
    if (context->Execute() == asEXECUTION_FINISHED) {
      if (answers && function->GetReturnTypeId() == asTYPEID_BOOL)
        answer = context->GetReturnByte() != 0;
    } else {
      endScriptCall(context);  // nothing of a broken call stays in a cached context
    }
  }
  if (fromPool)
    releaseScriptContext(context);
  return answer;
}

// The planet goes in as a handle: SetArgObject adds the reference that the
// script releases when the call returns.
void setPlanetArg(asIScriptContext* context, objHabitation* planet) {
  context->SetArgObject(0, static_cast<generic_object*>(planet));
}

}  // namespace

void bindPlanetScriptHooks() {
  PlanetScriptHooks hooks;
  hooks.tick = getScriptFunctionId(serverScriptEngine, kPlanetModule, kTickDeclaration);
  hooks.onRepair = getScriptFunctionId(serverScriptEngine, kPlanetModule, kRepairDeclaration);
  hooks.onDamage = getScriptFunctionId(serverScriptEngine, kPlanetModule, kDamageDeclaration);
  hooks.onOwnerChange = getScriptFunctionId(serverScriptEngine, kPlanetModule, kOwnerChangeDeclaration);
  hooks.onDestroy = getScriptFunctionId(serverScriptEngine, kPlanetModule, kDestroyDeclaration);
  planetScriptHooks = hooks;
}

void clearPlanetScriptHooks() { planetScriptHooks = PlanetScriptHooks(); }

void runPlanetTickHook(objHabitation* planet, float seconds) {
  runHook(planetScriptHooks.tick, false, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgFloat(1, seconds);
  });
}

bool runPlanetRepairHook(objHabitation* planet, float amount) {
  return runHook(planetScriptHooks.onRepair, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgFloat(1, amount);
  });
}

bool runPlanetDamageHook(objHabitation* planet, EffectEvent* event) {
  return runHook(planetScriptHooks.onDamage, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgObject(1, event);
  });
}

bool runPlanetOwnerChangeHook(objHabitation* planet, empire* from, empire* to) {
  return runHook(planetScriptHooks.onOwnerChange, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgObject(1, from);
    context->SetArgObject(2, to);
  });
}

bool runPlanetDestroyHook(objHabitation* planet, bool quiet) {
  return runHook(planetScriptHooks.onDestroy, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgByte(1, quiet ? 1 : 0);
  });
}
