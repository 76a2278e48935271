// The planets' script hooks: functions of the server script module "planet"
// that veto or extend what planets do.
//
//   "void tick(Planet@,float)"                    every 0.1 s of an owned planet
//   "bool onRepair(Planet@,float)"                true: no repair
//   "bool onDamage(Planet@,Event@)"               true: no damage
//   "bool onOwnerChange(Planet@,Empire@,Empire@)" true: the owner stays
//   "bool onDestroy(Planet@, bool)"               true: the planet lives on
//
// The ids are looked up once per session, after the server scripts are
// built. A negative id (-15 without the module) means the hook is absent and
// the planet does what it does by default; so does a hook that fails to run.
// The calls run on the calling thread, with a context from its own pool.
#pragma once

class objHabitation;
class empire;
class EffectEvent;

struct PlanetScriptHooks {
  int tick = -15;
  int onRepair = -15;
  int onDamage = -15;
  int onOwnerChange = -15;
  int onDestroy = -15;
};
extern PlanetScriptHooks planetScriptHooks;

// Looks the five declarations up in the "planet" module of the server engine.
void bindPlanetScriptHooks();
// Forgets them (every hook absent), as at the end of a session.
void clearPlanetScriptHooks();

// Each runs its hook when present. The bool forms give the hook's answer,
// false when the hook is absent or did not finish.
void runPlanetTickHook(objHabitation* planet, float seconds);
bool runPlanetRepairHook(objHabitation* planet, float amount);
bool runPlanetDamageHook(objHabitation* planet, EffectEvent* event);
bool runPlanetOwnerChangeHook(objHabitation* planet, empire* from, empire* to);
bool runPlanetDestroyHook(objHabitation* planet, bool quiet);
