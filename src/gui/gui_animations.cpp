#include "gui/gui_animations.h"

#include <cmath>
#include <cstdlib>

#include "script/script_engine.h"
#include "script/script_registration.h"

using namespace AngelScript;
using irr::gui::IGUIElement;

std::map<IGUIElement*, ElementAnimation*> guiAnimations;

namespace {

int truncated(double value) { return static_cast<int>(std::trunc(value)); }

irr::core::rectf toFloat(const irr::core::recti& r) {
  return irr::core::rectf(static_cast<float>(r.UpperLeftCorner.X), static_cast<float>(r.UpperLeftCorner.Y),
                          static_cast<float>(r.LowerRightCorner.X), static_cast<float>(r.LowerRightCorner.Y));
}

void start(IGUIElement* element, const irr::core::rectf& from, const irr::core::rectf& to, float duration) {
  stopAnimation(element);
  element->grab();
  guiAnimations[element] = new InterpolatedAnimation(from, to, duration);
}

}  // namespace

bool InterpolatedAnimation::update(IGUIElement* element, float seconds) {
  elapsed_ = static_cast<float>(static_cast<double>(elapsed_) + seconds);
  // A NaN duration has no end in time: it ends at once, at the target.
  if (elapsed_ >= duration_ || std::isnan(duration_)) {
    element->setRelativePosition(irr::core::recti(truncated(target_.UpperLeftCorner.X),
                                                  truncated(target_.UpperLeftCorner.Y),
                                                  truncated(target_.LowerRightCorner.X),
                                                  truncated(target_.LowerRightCorner.Y)));
    return true;
  }
  const double t = static_cast<double>(elapsed_) / duration_;
  const auto mix = [t](float from, float to) { return truncated(to * t + from * (1 - t)); };
  element->setRelativePosition(irr::core::recti(mix(initial_.UpperLeftCorner.X, target_.UpperLeftCorner.X),
                                                mix(initial_.UpperLeftCorner.Y, target_.UpperLeftCorner.Y),
                                                mix(initial_.LowerRightCorner.X, target_.LowerRightCorner.X),
                                                mix(initial_.LowerRightCorner.Y, target_.LowerRightCorner.Y)));
  return false;
}

void animateTo(IGUIElement* element, const irr::core::position2di& position, const irr::core::dimension2di& size,
               float speed) {
  if (!(speed > 0)) {
    raiseScriptException("Invalid animation speed");
    return;
  }
  if (element == nullptr) {
    raiseScriptException("Null GuiElement@");
    return;
  }
  const irr::core::recti initial = element->getRelativePosition();
  const irr::core::recti target(position, size);
  const int distance = std::max(std::max(std::abs(initial.UpperLeftCorner.X - target.UpperLeftCorner.X),
                                         std::abs(initial.UpperLeftCorner.Y - target.UpperLeftCorner.Y)),
                                std::max(std::abs(initial.LowerRightCorner.X - target.LowerRightCorner.X),
                                         std::abs(initial.LowerRightCorner.Y - target.LowerRightCorner.Y)));
  const auto duration = static_cast<float>(static_cast<double>(distance) / speed);
  start(element, toFloat(initial), toFloat(target), duration);
}

void animateBetween(IGUIElement* element, const irr::core::recti& from, const irr::core::recti& to,
                    float duration) {
  if (element == nullptr) {
    raiseScriptException("Null GuiElement@");
    return;
  }
  start(element, toFloat(from), toFloat(to), duration);
}

bool isAnimating(IGUIElement* element) {
  if (element == nullptr) {
    raiseScriptException("Null GuiElement@");
    return false;
  }
  return guiAnimations.count(element) != 0;
}

void stopAnimation(IGUIElement* element) {
  if (element == nullptr) {
    raiseScriptException("Null GuiElement@");
    return;
  }
  const auto found = guiAnimations.find(element);
  if (found == guiAnimations.end())
    return;
  delete found->second;
  guiAnimations.erase(found);
  element->drop();
}

void clearGuiAnimations() {
  // Taken out first: a drop may free an element whose release ends another
  // element's animation.
  std::map<IGUIElement*, ElementAnimation*> animations;
  animations.swap(guiAnimations);
  for (const auto& [element, animation] : animations) {
    delete animation;
    element->drop();
  }
}

void registerGuiAnimations(asIScriptEngine* engine) {
  checked(engine).RegisterGlobalFunction("void animate(GuiElement@+, const pos2di &in, const dim2di &in, float)",
                                         asFUNCTION(animateTo), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("void animate(GuiElement@+, const recti &in, const recti &in, float)",
                                         asFUNCTION(animateBetween), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("bool isAnimating(GuiElement@+)", asFUNCTION(isAnimating), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("void stopAnimation(GuiElement@+)", asFUNCTION(stopAnimation),
                                         asCALL_CDECL);
}
