// The native effect functions of planets: they raise or lower the event's
// target's population limit and repair it. Repair also repairs ships; other
// targets are left alone.
//
// Arithmetic: the limit is a 32-bit float; the sum or difference is formed
// in double and stored as float.
#include "design/effects/effect_checkers.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

// The event's target when it is a planet, or null.
objHabitation* targetPlanet(const EffectEvent* event) {
  generic_object* target = event->target;
  if (target == nullptr || target->getType() != OT_Planet)
    return nullptr;
  return static_cast<objHabitation*>(target);
}

void addMaxPop(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  objHabitation* planet = targetPlanet(event);
  if (planet == nullptr)
    return;
  const float amount = evaluateTemplateArg(args[0], event, values);
  planet->maxPopulation = static_cast<float>(double(planet->maxPopulation) + amount);
}

// A population above the new limit shrinks to it: through the population
// change of an owned planet (which takes it from the settled population),
// at once on a planet without an owner.
void subMaxPop(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  objHabitation* planet = targetPlanet(event);
  if (planet == nullptr)
    return;
  const float amount = evaluateTemplateArg(args[0], event, values);
  planet->maxPopulation = static_cast<float>(double(planet->maxPopulation) - amount);
  if (planet->population <= planet->maxPopulation)
    return;
  if (planet->owner != nullptr)
    planet->modPopulation(planet->ownerRates, static_cast<float>(double(planet->maxPopulation) - planet->population));
  else
    planet->population = planet->maxPopulation;
}

// amount per second x the event's time.
void repair(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  generic_object* target = event->target;
  if (target == nullptr)
    return;
  objHabitation* planet = targetPlanet(event);
  auto* ship = target->getType() == OT_Hulled ? dynamic_cast<objHulled*>(target) : nullptr;
  if (planet == nullptr && ship == nullptr)
    return;
  const float rate = evaluateTemplateArg(args[0], event, values);
  const float amount = static_cast<float>(double(rate) * event->time);
  if (planet != nullptr)
    planet->repair(amount);
  else
    ship->repair(amount);
}

constexpr ArgumentRule kAddMaxPopRule{"AddMaxPop", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kSubMaxPopRule{"SubMaxPop", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kRepairRule{"Repair", "1", 1, 1, {0, 0}};
}  // namespace

// The entries that registerNativeFunctions enters in the registries
// (function_registries.cpp).
namespace effect_natives {

const TemplateFuncEntry kAddMaxPop{addMaxPop, checkArguments<kAddMaxPopRule>};
const TemplateFuncEntry kSubMaxPop{subMaxPop, checkArguments<kSubMaxPopRule>};
const TemplateFuncEntry kRepair{repair, checkArguments<kRepairRule>};

}  // namespace effect_natives
