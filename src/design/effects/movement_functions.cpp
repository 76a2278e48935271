// The native effect functions that change how fast an object can go: they
// add to or take from the thrust of the event's object's mobile mover.
// Objects moved by anything else are left alone.
//
// Arithmetic: the thrust is a 32-bit float; the sum or difference is formed
// in double and stored as float.
#include "design/effects/effect_checkers.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "universe/movement/mobile_mover.h"

namespace {

// The event's object's mobile mover, or null.
MobileMover* moverOf(const EffectEvent* event) { return MobileMover::of(event->obj); }

void changeThrust(EffectEvent* event, effect_data* values, TemplateArgList& args, double sign) {
  MobileMover* mover = moverOf(event);
  if (mover == nullptr)
    return;
  const float amount = evaluateTemplateArg(args[0], event, values);
  mover->thrust = static_cast<float>(double(mover->thrust) + sign * amount);
}

void incSpeed(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  changeThrust(event, values, args, 1.0);
}

void decSpeed(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  changeThrust(event, values, args, -1.0);
}

// Both take one amount.
constexpr ArgumentRule kIncSpeedRule{"IncSpeed", "1", 1, 1, {0, 0}};
constexpr ArgumentRule kDecSpeedRule{"DecSpeed", "1", 1, 1, {0, 0}};
}  // namespace

// The entries that registerNativeFunctions enters in the registries
// (function_registries.cpp).
namespace effect_natives {

const TemplateFuncEntry kIncSpeed{incSpeed, checkArguments<kIncSpeedRule>};
const TemplateFuncEntry kDecSpeed{decSpeed, checkArguments<kDecSpeedRule>};

}  // namespace effect_natives
