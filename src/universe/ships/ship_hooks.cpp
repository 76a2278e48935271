// The ships' hooks in the server script module "ship".
#include <angelscript.h>

#include "app/base/session_state.h"
#include "script/script_engine.h"
#include "universe/objects/object_hook_call.h"
#include "universe/ships/ship.h"

using namespace AngelScript;

ShipScriptHooks shipScriptHooks;

namespace {

constexpr char kShipModule[] = "ship";
constexpr char kTickDeclaration[] = "void tick(HulledObj@,float)";
constexpr char kCreateDeclaration[] = "void onCreate(HulledObj@,Object@)";
constexpr char kDestroyDeclaration[] = "bool onDestroy(HulledObj@,bool)";
constexpr char kOwnerChangeDeclaration[] = "bool onOwnerChange(HulledObj@,Empire@,Empire@)";

// Object handles go in with SetArgObject, which adds the reference that the
// script releases when the call returns (Empire handles are uncounted).
void setShipArg(asIScriptContext* context, objHulled* ship) {
  context->SetArgObject(0, static_cast<generic_object*>(ship));
}

}  // namespace

void bindShipScriptHooks() {
  ShipScriptHooks hooks;
  hooks.tick = getScriptFunctionId(serverScriptEngine, kShipModule, kTickDeclaration);
  hooks.onCreate = getScriptFunctionId(serverScriptEngine, kShipModule, kCreateDeclaration);
  hooks.onDestroy = getScriptFunctionId(serverScriptEngine, kShipModule, kDestroyDeclaration);
  hooks.onOwnerChange = getScriptFunctionId(serverScriptEngine, kShipModule, kOwnerChangeDeclaration);
  shipScriptHooks = hooks;
}

void clearShipScriptHooks() { shipScriptHooks = ShipScriptHooks(); }

void runShipTickHook(objHulled* ship, float seconds) {
  runObjectScriptHook(shipScriptHooks.tick, false, [&](asIScriptContext* context) {
    setShipArg(context, ship);
    context->SetArgFloat(1, seconds);
  });
}

void runShipCreateHook(objHulled* ship, generic_object* place) {
  runObjectScriptHook(shipScriptHooks.onCreate, false, [&](asIScriptContext* context) {
    setShipArg(context, ship);
    context->SetArgObject(1, place);
  });
}

bool shipDestroyHookCancels(objHulled* ship, bool quiet) {
  if (!gameRulesActive.load())
    return false;
  return runObjectScriptHook(shipScriptHooks.onDestroy, true, [&](asIScriptContext* context) {
    setShipArg(context, ship);
    context->SetArgByte(1, quiet ? 1 : 0);
  });
}

bool shipOwnerChangeHookCancels(objHulled* ship, empire* oldOwner, empire* newOwner) {
  if (!gameRulesActive.load())
    return false;
  return runObjectScriptHook(shipScriptHooks.onOwnerChange, true, [&](asIScriptContext* context) {
    setShipArg(context, ship);
    context->SetArgObject(1, oldOwner);
    context->SetArgObject(2, newOwner);
  });
}
