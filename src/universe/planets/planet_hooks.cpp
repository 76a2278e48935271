#include "universe/planets/planet_hooks.h"

#include <angelscript.h>

#include "script/script_engine.h"
#include "universe/objects/object_hook_call.h"
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
  runObjectScriptHook(planetScriptHooks.tick, false, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgFloat(1, seconds);
  });
}

bool runPlanetRepairHook(objHabitation* planet, float amount) {
  return runObjectScriptHook(planetScriptHooks.onRepair, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgFloat(1, amount);
  });
}

bool runPlanetDamageHook(objHabitation* planet, EffectEvent* event) {
  return runObjectScriptHook(planetScriptHooks.onDamage, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgObject(1, event);
  });
}

bool runPlanetOwnerChangeHook(objHabitation* planet, empire* from, empire* to) {
  return runObjectScriptHook(planetScriptHooks.onOwnerChange, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgObject(1, from);
    context->SetArgObject(2, to);
  });
}

bool runPlanetDestroyHook(objHabitation* planet, bool quiet) {
  return runObjectScriptHook(planetScriptHooks.onDestroy, true, [&](asIScriptContext* context) {
    setPlanetArg(context, planet);
    context->SetArgByte(1, quiet ? 1 : 0);
  });
}
