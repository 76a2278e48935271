// The native effector functions that effector files name, entered by name
// in their registries by registerNativeFunctions (function_registries.h):
//
//   target functions     CanAttack, Enemy, Friendly, NotFriendly, Unowned, Any,
//                        isPlanet, isShip, EmptyPlanet, DisabledShip; with a
//                        resource argument, CanStore and CanTransfer. Each gives
//                        1 or 0 for (source: the effector's holder, target).
//   fire functions       Fire; with arguments Timed, TimedShot, Charged,
//                        MultiPulse and MultiPulseCost. They decide from the
//                        effector state (val1: countdown or charge, val2: pulse
//                        count) whether this call fires.
//   tick function        Reload: counts val1 down by the event's time.
//
// Arguments are evaluated against (event, effector, state) when they are
// used; a resource argument is the available amount of that resource on the
// event's object, and ammunition is paid from that object's state.
#include <cstdint>

#include "core/log.h"
#include "core/random.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effectors/effector_functions.h"
#include "design/effects/effect_checkers.h"
#include "design/effects/effect_functions.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

namespace {

// --- Target functions ---

empire* ownerOf(const generic_object* object) { return object != nullptr ? object->getOwner() : nullptr; }

// No owner, or an owner that is not a valid empire (space, the default).
bool unowned(const generic_object* object) {
  const empire* owner = ownerOf(object);
  return owner == nullptr || !owner->isValid();
}

bool isKind(const generic_object* object, int kind) { return object != nullptr && object->getType() == kind; }

float result(bool accepted) { return accepted ? 1.0f : 0.0f; }

float canAttack(const generic_object* source, const generic_object* target, const effector*) {
  empire* own = ownerOf(source);
  if (own == nullptr || target == nullptr)
    return 0.0f;
  empire* other = ownerOf(target);
  if (other == nullptr || other == own || !other->isValid())
    return 1.0f;
  return result(own->getRelation(other)->enemy);
}

float enemy(const generic_object* source, const generic_object* target, const effector*) {
  empire* own = ownerOf(source);
  empire* other = ownerOf(target);
  if (own == nullptr || other == nullptr || own == other)
    return 0.0f;
  return result(own->getRelation(other)->enemy);
}

float friendly(const generic_object* source, const generic_object* target, const effector*) {
  empire* own = ownerOf(source);
  empire* other = ownerOf(target);
  if (own == nullptr || other == nullptr)
    return 0.0f;
  return result(own == other || own->getRelation(other)->allied);
}

float notFriendly(const generic_object* source, const generic_object* target, const effector*) {
  empire* own = ownerOf(source);
  empire* other = ownerOf(target);
  if (own == nullptr || other == nullptr || own == other)
    return 0.0f;
  return result(!own->getRelation(other)->allied);
}

float unownedTarget(const generic_object*, const generic_object* target, const effector*) {
  return result(target != nullptr && unowned(target));
}

float any(const generic_object*, const generic_object*, const effector*) { return 1.0f; }

float isPlanet(const generic_object*, const generic_object* target, const effector*) {
  return result(isKind(target, OT_Planet));
}

float isShip(const generic_object*, const generic_object* target, const effector*) {
  return result(isKind(target, OT_Hulled));
}

float emptyPlanet(const generic_object*, const generic_object* target, const effector*) {
  return result(isKind(target, OT_Planet) && unowned(target));
}

float disabledShip(const generic_object*, const generic_object* target, const effector*) {
  return result(isKind(target, OT_Hulled) && unowned(target));
}

// The room `object` has for the resource named by `arg`: max - val of its
// state, plus its free cargo when the resource can be cargo. A filter only
// asks, so a missing state is not made: it would be empty, with the
// resource of that name.
float roomFor(const generic_object* object, const int_templateArg& arg) {
  if (object == nullptr || arg.value.string == nullptr)
    return 0.0f;
  auto* holder = const_cast<generic_object*>(object);
  const State* state = findObjectState(holder, *arg.value.string);
  if (state != nullptr)
    return getTotalFreeSpace(*state, object);
  const cargoData* resource = findResource(*arg.value.string);
  return resource != nullptr && resource->canBeCargo ? object->cargoSpace - object->cargoUsed : 0.0f;
}

// The available amount of the resource named by `arg` on `object`; 0 when
// it has no such state.
float availableOn(const generic_object* object, const int_templateArg& arg) {
  if (object == nullptr || arg.value.string == nullptr)
    return 0.0f;
  const State* state = findObjectState(const_cast<generic_object*>(object), *arg.value.string);
  return state != nullptr ? getAvailable(*state) : 0.0f;
}

float canStore(const generic_object* source, const generic_object*, const effector*, const EffectorArgList& args) {
  return result(roomFor(source, args[0]) > 0.0f);
}

float canTransfer(const generic_object* source, const generic_object* target, const effector*,
                  const EffectorArgList& args) {
  const float available = availableOn(target, args[0]);
  const float room = roomFor(source, args[0]);
  return result((available < room ? available : room) > 0.0f);
}

// --- Fire and tick functions ---

float argument(const EffectorArgList& args, irr::u32 index, EffectEvent* event, const effector* eff,
               const interactor_data* state) {
  return evaluateEffectorArg(args[index], event, eff, state);
}

void fire(EffectEvent* event, const effector* eff) {
  if (eff != nullptr)
    fireEffector(event, eff->def, eff);
}

// A uniform factor in [1 - spread, 1 + spread) from the calling thread's
// generator.
float spreadFactor(float spread) { return randomf(1.0f - spread, 1.0f + spread); }

// Whether the event's object has at least `cost` of the ammunition named by
// `arg` available.
bool canPay(EffectEvent* event, const effector* eff, const interactor_data* state, const int_templateArg& arg,
            float cost) {
  return evaluateEffectorArg(arg, event, eff, state) >= cost;
}

// Takes `cost` of the ammunition named by `arg` from the event's object.
void pay(EffectEvent* event, const int_templateArg& arg, float cost) {
  if (event == nullptr || event->obj == nullptr || arg.value.string == nullptr)
    return;
  State* ammunition = getOrAddObjectState(event->obj, *arg.value.string);
  if (ammunition != nullptr)
    takeResource(*ammunition, *event->obj, cost);
}

void fireAlways(EffectEvent* event, const effector* eff, interactor_data*) { fire(event, eff); }

// interval, spread (optional; honoured only with exactly two arguments).
void timed(EffectEvent* event, const effector* eff, interactor_data* state, const EffectorArgList& args) {
  if (state == nullptr || state->val1 > 0.0f)
    return;
  fire(event, eff);
  state->val1 = argument(args, 0, event, eff, state);
  if (args.size() == 2) {
    const float spread = argument(args, 1, event, eff, state);
    if (spread > 0.0f)
      state->val1 *= spreadFactor(spread);
  }
}

// interval, ammunition, cost, spread (optional; honoured only with exactly
// four arguments). Without enough ammunition nothing changes, so the next
// call tries again.
void timedShot(EffectEvent* event, const effector* eff, interactor_data* state, const EffectorArgList& args) {
  if (state == nullptr || state->val1 > 0.0f)
    return;
  const float cost = argument(args, 2, event, eff, state);
  if (!canPay(event, eff, state, args[1], cost))
    return;
  pay(event, args[1], cost);
  fire(event, eff);
  state->val1 = argument(args, 0, event, eff, state);
  if (args.size() == 4) {
    const float spread = argument(args, 3, event, eff, state);
    if (spread > 0.0f)
      state->val1 *= spreadFactor(spread);
  }
}

// charge needed.
void charged(EffectEvent* event, const effector* eff, interactor_data* state, const EffectorArgList& args) {
  if (state == nullptr || state->val1 < argument(args, 0, event, eff, state))
    return;
  fire(event, eff);
  state->val1 = 0.0f;
}

// pulse interval, reload time, pulses per burst. val2 counts the pulses
// left in the burst; an empty count starts a reload first.
void multiPulse(EffectEvent* event, const effector* eff, interactor_data* state, const EffectorArgList& args) {
  if (state == nullptr || state->val1 > 0.0f)
    return;
  if (state->val2 > 0.0f) {
    fire(event, eff);
    state->val2 -= 1.0f;
    if (state->val2 != 0.0f) {
      state->val1 = argument(args, 0, event, eff, state);
      return;
    }
  }
  state->val2 = argument(args, 2, event, eff, state);
  state->val1 = argument(args, 1, event, eff, state);
}

// pulse interval, reload time, pulses per burst, ammunition, cost per
// pulse. val2 counts the pulses fired in the burst; the first burst fires
// at once. A pulse that cannot be paid waits with val1 unchanged.
void multiPulseCost(EffectEvent* event, const effector* eff, interactor_data* state, const EffectorArgList& args) {
  if (state == nullptr || state->val1 > 0.0f)
    return;
  const float pulses = argument(args, 2, event, eff, state);
  if (state->val2 < 0.0f)
    state->val2 = 0.0f;
  if (pulses > state->val2) {
    const float cost = argument(args, 4, event, eff, state);
    if (cost > 0.0f) {
      if (!canPay(event, eff, state, args[3], cost))
        return;
      fire(event, eff);
      pay(event, args[3], cost);
    } else {
      fire(event, eff);
    }
    state->val2 += 1.0f;
    if (state->val2 < pulses) {
      state->val1 = argument(args, 0, event, eff, state);
      return;
    }
  }
  state->val2 = 0.0f;
  state->val1 = argument(args, 1, event, eff, state);
}

void reload(EffectEvent* event, const effector*, interactor_data* state) {
  if (event != nullptr && state != nullptr)
    state->val1 -= event->time;
}

// --- Argument checkers ---
// Every message goes to the error level, the warning included; Timed's
// warning names one parameter although it accepts two.

template <const ArgumentRule& rule>
bool checkEffectorArguments(const EffectorArgList& args, const char* file, int line) {
  return checkArgumentList(rule, args, EAK_String, effectorArgKindName(EAK_String), true, file, line);
}

constexpr ArgumentRule kCanStoreRule{"CanStore", "1", 1, 1, {1, 0}};
constexpr ArgumentRule kCanTransferRule{"CanTransfer", "1", 1, 1, {1, 0}};
constexpr ArgumentRule kTimedRule{"Timed", "1", 1, 2, {0, 0}};
constexpr ArgumentRule kTimedShotRule{"TimedShot", "3", 3, 4, {2, 0}};
constexpr ArgumentRule kChargedRule{"Charged", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kMultiPulseRule{"MultiPulse", "3", 3, 3, {0, 0}};
constexpr ArgumentRule kMultiPulseCostRule{"MultiPulseCost", "5", 5, 5, {4, 0}};

}  // namespace

namespace effector_natives {

const TargetFunction kCanAttack = canAttack;
const TargetFunction kEnemy = enemy;
const TargetFunction kFriendly = friendly;
const TargetFunction kNotFriendly = notFriendly;
const TargetFunction kUnowned = unownedTarget;
const TargetFunction kAny = any;
const TargetFunction kIsPlanet = isPlanet;
const TargetFunction kIsShip = isShip;
const TargetFunction kEmptyPlanet = emptyPlanet;
const TargetFunction kDisabledShip = disabledShip;
const TargetFunctionWithArgsEntry kCanStore{canStore, checkEffectorArguments<kCanStoreRule>};
const TargetFunctionWithArgsEntry kCanTransfer{canTransfer, checkEffectorArguments<kCanTransferRule>};
const FireFunction kFire = fireAlways;
const FireFunctionWithArgsEntry kTimed{timed, checkEffectorArguments<kTimedRule>};
const FireFunctionWithArgsEntry kTimedShot{timedShot, checkEffectorArguments<kTimedShotRule>};
const FireFunctionWithArgsEntry kCharged{charged, checkEffectorArguments<kChargedRule>};
const FireFunctionWithArgsEntry kMultiPulse{multiPulse, checkEffectorArguments<kMultiPulseRule>};
const FireFunctionWithArgsEntry kMultiPulseCost{multiPulseCost, checkEffectorArguments<kMultiPulseCostRule>};
const FireFunction kReload = reload;

}  // namespace effector_natives
