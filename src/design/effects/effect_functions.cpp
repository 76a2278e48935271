// The native effect functions and their argument checkers.
//
// Template functions take their arguments from the hook's bracketed list:
// amounts and rates are evaluated against the event (a number, one of the
// effect's values, or the available amount of a resource on the event's
// object); a resource parameter names the state that the function changes,
// made when the object has none of that name. Rates are per second and are
// scaled by the event's time.
//
// Arithmetic: amounts are 32-bit floats; every sum and difference is formed
// in double and stored as float.
#include "design/effects/effect_functions.h"

#include <algorithm>

#include "design/effects/effect_checkers.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "script/script_string.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

namespace {

// Slack allowed when an amount is compared with the cargo that should take
// it or give it: the float 1.0001, widened.
const double kCargoTolerance = static_cast<double>(1.0001f);

float narrow(double value) { return static_cast<float>(value); }

bool canBeCargo(const State& state) {
  return state.value.resource != nullptr && state.value.resource->canBeCargo;
}

float freeCargo(const generic_object& object) { return narrow(double(object.cargoSpace) - object.cargoUsed); }

// Adds `amount` to the state up to its maximum. What does not fit goes into
// the object's cargo space when the resource can be cargo: all of it when
// the free cargo exceeds it (with slack), else as much as is free. Cargo
// already over its capacity takes nothing. Anything else is lost.
void store(State& state, generic_object& object, float amount) {
  storedAmount& stock = state.value;
  const float room = narrow(double(stock.max) - stock.val);
  if (room >= amount) {
    stock.val = narrow(double(stock.val) + amount);
    return;
  }
  stock.val = stock.max;
  if (!canBeCargo(state))
    return;
  const float overflow = narrow(double(amount) - room);
  const float free = freeCargo(object);
  if (free > double(overflow) * kCargoTolerance) {
    object.cargoUsed = narrow(double(object.cargoUsed) + overflow);
    stock.inCargo = narrow(double(stock.inCargo) + overflow);
  } else if (free > 0.0f) {
    object.cargoUsed = object.cargoSpace;
    stock.inCargo = narrow(double(stock.inCargo) + free);
  }
}

}  // namespace

void takeResource(State& state, generic_object& object, float amount) {
  storedAmount& stock = state.value;
  if (stock.inCargo > 0.0f) {
    if (stock.inCargo > double(amount) * kCargoTolerance) {
      object.cargoUsed = narrow(double(object.cargoUsed) - amount);
      stock.inCargo = narrow(double(stock.inCargo) - amount);
      return;
    }
    object.cargoUsed = narrow(double(object.cargoUsed) - stock.inCargo);
    amount = narrow(double(amount) - stock.inCargo);
    stock.inCargo = 0.0f;
  }
  stock.val = narrow(double(stock.val) - amount);
}

namespace {

float argument(const TemplateArgList& args, irr::u32 index, EffectEvent* event, const effect_data* values) {
  return evaluateTemplateArg(args[index], event, values);
}

// The state named by a resource parameter, on `object`.
State& resourceState(generic_object& object, const templateArg& arg) {
  return *getOrAddObjectState(&object, arg.value.string->toStringw());
}

// rate x the event's time.
float perEvent(float rate, const EffectEvent* event) { return narrow(double(rate) * event->time); }

// --- amount, resource: on the target ---

void addAmount(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  store(resourceState(*event->target, args[1]), *event->target, amount);
}

void subAmount(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  takeResource(resourceState(*event->target, args[1]), *event->target, amount);
}

void addRequire(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  storedAmount& stock = resourceState(*event->target, args[1]).value;
  stock.required = narrow(double(stock.required) + amount);
}

void subRequire(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  storedAmount& stock = resourceState(*event->target, args[1]).value;
  stock.required = narrow(double(stock.required) - amount);
}

// The optional third parameter fills that share of the added capacity; the
// value is not held to the new maximum.
void addMax(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  const float fillShare = args.size() > 2 ? argument(args, 2, event, values) : 0.0f;
  storedAmount& stock = resourceState(*event->target, args[1]).value;
  stock.max = narrow(double(stock.max) + amount);
  if (fillShare > 0.0f)
    stock.val = narrow(double(stock.val) + double(fillShare) * amount);
}

void subMax(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  storedAmount& stock = resourceState(*event->target, args[1]).value;
  stock.max = narrow(double(stock.max) - amount);
  if (stock.val > stock.max)
    stock.val = stock.max;
}

// --- capacities: Add on the object, Sub on the target ---

void addCargoSpace(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->obj == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  event->obj->cargoSpace = narrow(double(event->obj->cargoSpace) + amount);
}

// Cargo now over the capacity is thrown out of the states' cargo, in the
// order of the state list, in one pass: when the states hold less than the
// excess, what they hold goes and the rest of the excess stays. Cargo used
// falls by what the states gave up.
void subCargoSpace(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* target = event->target;
  if (target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  target->cargoSpace = narrow(double(target->cargoSpace) - amount);
  float excess = narrow(double(target->cargoUsed) - target->cargoSpace);
  double removed = 0.0;
  for (irr::u32 i = 0; i < target->states.size() && excess > 0.0f; ++i) {
    storedAmount& stock = target->states[i]->value;
    if (stock.inCargo <= 0.0f)
      continue;
    const float given = std::min(excess, stock.inCargo);
    stock.inCargo = narrow(double(stock.inCargo) - given);
    excess = narrow(double(excess) - given);
    removed += given;
  }
  target->cargoUsed = narrow(double(target->cargoUsed) - removed);
}

void addShipSpace(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->obj == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  event->obj->dockSpace = narrow(double(event->obj->dockSpace) + amount);
}

// Docked objects that no longer fit are released, first docked first.
void subShipSpace(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* target = event->target;
  if (target == nullptr)
    return;
  const float amount = argument(args, 0, event, values);
  target->dockSpace = narrow(double(target->dockSpace) - amount);
  while (target->dockUsed > target->dockSpace && target->docked.size() > 0) {
    const irr::u32 before = target->docked.size();
    target->undockObject(0);
    if (target->docked.size() == before)
      break;  // a host with nowhere to release them keeps them
  }
}

// --- research rate: the object's owner ---

void incResearch(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->obj == nullptr || event->obj->getOwner() == nullptr)
    return;
  event->obj->getOwner()->modResearchRate(argument(args, 0, event, values));
}

void decResearch(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  if (event->obj == nullptr || event->obj->getOwner() == nullptr)
    return;
  event->obj->getOwner()->modResearchRate(double(argument(args, 0, event, values)) * -1.0);
}

// --- resource, rate: on the object ---

// Free room counts the object's free cargo when the resource can be cargo.
void generate(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* object = event->obj;
  if (object == nullptr)
    return;
  const float rate = argument(args, 1, event, values);
  State& state = resourceState(*object, args[0]);
  double free = double(state.value.max) - state.value.val;
  if (canBeCargo(state))
    free += freeCargo(*object);
  const float room = narrow(free);
  if (room > 0.0f)
    store(state, *object, std::min(perEvent(rate, event), room));
}

void generateNoCargo(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* object = event->obj;
  if (object == nullptr)
    return;
  const float rate = argument(args, 1, event, values);
  storedAmount& stock = resourceState(*object, args[0]).value;
  const float room = narrow(double(stock.max) - stock.val);
  if (room > 0.0f)
    stock.val = narrow(double(stock.val) + std::min(perEvent(rate, event), room));
}

// Takes at most the state's own value (from its cargo first). A value of 0
// or less gives nothing, whatever the cargo holds.
void drain(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* object = event->obj;
  if (object == nullptr)
    return;
  const float rate = argument(args, 1, event, values);
  State& state = resourceState(*object, args[0]);
  if (double(state.value.val) + state.value.inCargo <= 0.0)
    return;
  const float amount = std::min(perEvent(rate, event), state.value.val);
  if (amount > 0.0f)
    takeResource(state, *object, amount);
}

// output, input, output rate per second, input per output.
void produce(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* object = event->obj;
  if (object == nullptr)
    return;
  const float rate = argument(args, 2, event, values);
  const float ratio = argument(args, 3, event, values);
  State& output = resourceState(*object, args[0]);
  State& input = resourceState(*object, args[1]);
  const float available =
      narrow(double(input.value.val) + input.value.inCargo - input.value.required);
  if (available <= 0.0f)
    return;
  const float made = std::min(perEvent(rate, event), narrow(double(available) / ratio));
  takeResource(input, *object, narrow(double(made) * ratio));
  store(output, *object, made);
}

// As produce, without cargo on either side: the input's cargo is not used
// and the output stops at its maximum.
void produceNoCargo(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* object = event->obj;
  if (object == nullptr)
    return;
  const float rate = argument(args, 2, event, values);
  const float ratio = argument(args, 3, event, values);
  storedAmount& output = resourceState(*object, args[0]).value;
  storedAmount& input = resourceState(*object, args[1]).value;
  const float available = narrow(double(input.val) - input.required);
  if (available <= 0.0f)
    return;
  const float room = narrow(double(output.max) - output.val);
  const float made = std::min({perEvent(rate, event), narrow(double(available) / ratio), room});
  if (made <= 0.0f)
    return;  // an output over its maximum is not turned back into input
  output.val = narrow(double(output.val) + made);
  input.val = narrow(double(input.val) - double(made) * ratio);
}

// --- plain ---

// Destruction (not quiet) in the object's next tick.
void death(EffectEvent* event, effect_data*) {
  if (event->obj == nullptr)
    return;
  event->obj->setFlag(FLAG_DESTROY);
  event->obj->clearFlag(FLAG_QUIET_DESTROY);
}

void skip(EffectEvent* event, effect_data*) { event->state = ESC_SKIP; }

// --- argument checkers ---

constexpr ArgumentRule kAddAmountRule{"AddAmount", "2", 2, 2, {2, 0}};
constexpr ArgumentRule kSubAmountRule{"SubAmount", "2", 2, 2, {2, 0}};
constexpr ArgumentRule kAddRequireRule{"AddRequire", "2", 2, 2, {2, 0}};
constexpr ArgumentRule kSubRequireRule{"SubRequire", "2", 2, 2, {2, 0}};
constexpr ArgumentRule kAddMaxRule{"AddMax", "2 or 3", 2, 3, {2, 0}};
constexpr ArgumentRule kSubMaxRule{"SubMax", "2", 2, 2, {2, 0}};
constexpr ArgumentRule kAddCargoSpaceRule{"AddCargoSpace", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kSubCargoSpaceRule{"SubCargoSpace", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kAddShipSpaceRule{"AddShipSpace", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kSubShipSpaceRule{"SubShipSpace", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kIncResearchRule{"IncResearch", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kDecResearchRule{"DecResearch", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kGenerateRule{"Generate", "2", 2, 2, {1, 0}};  // GenerateNoCargo too
constexpr ArgumentRule kDrainRule{"Drain", "2", 2, 2, {1, 0}};
constexpr ArgumentRule kProduceRule{"Produce", "4", 4, 4, {1, 2}};
constexpr ArgumentRule kProduceNoCargoRule{"ProduceNoCargo", "4", 4, 4, {1, 2}};
}  // namespace

// The entries that registerNativeFunctions enters in the registries
// (function_registries.cpp).
namespace effect_natives {

const TemplateFuncEntry kAddAmount{addAmount, checkArguments<kAddAmountRule>};
const TemplateFuncEntry kSubAmount{subAmount, checkArguments<kSubAmountRule>};
const TemplateFuncEntry kAddRequire{addRequire, checkArguments<kAddRequireRule>};
const TemplateFuncEntry kSubRequire{subRequire, checkArguments<kSubRequireRule>};
const TemplateFuncEntry kAddMax{addMax, checkArguments<kAddMaxRule>};
const TemplateFuncEntry kSubMax{subMax, checkArguments<kSubMaxRule>};
const TemplateFuncEntry kAddCargoSpace{addCargoSpace, checkArguments<kAddCargoSpaceRule>};
const TemplateFuncEntry kSubCargoSpace{subCargoSpace, checkArguments<kSubCargoSpaceRule>};
const TemplateFuncEntry kAddShipSpace{addShipSpace, checkArguments<kAddShipSpaceRule>};
const TemplateFuncEntry kSubShipSpace{subShipSpace, checkArguments<kSubShipSpaceRule>};
const TemplateFuncEntry kIncResearch{incResearch, checkArguments<kIncResearchRule>};
const TemplateFuncEntry kDecResearch{decResearch, checkArguments<kDecResearchRule>};
const TemplateFuncEntry kGenerate{generate, checkArguments<kGenerateRule>};
const TemplateFuncEntry kGenerateNoCargo{generateNoCargo, checkArguments<kGenerateRule>};
const TemplateFuncEntry kDrain{drain, checkArguments<kDrainRule>};
const TemplateFuncEntry kProduce{produce, checkArguments<kProduceRule>};
const TemplateFuncEntry kProduceNoCargo{produceNoCargo, checkArguments<kProduceNoCargoRule>};
const PlainFuncEntry kDeath{death};
const PlainFuncEntry kSkip{skip};

}  // namespace effect_natives
