// Element animations: an element's relative rectangle glides to a target.
//
// Script globals (client engine):
//   "void animate(GuiElement@+, const pos2di &in, const dim2di &in, float)"
//       towards the rectangle at the position with the size, at the speed in
//       pixels per second: the duration is the largest edge distance over
//       the speed. A speed not above 0 (NaN too) raises "Invalid animation
//       speed" before a null element raises "Null GuiElement@".
//   "void animate(GuiElement@+, const recti &in, const recti &in, float)"
//       from the first rectangle to the second over the duration in
//       seconds. A zero or negative duration ends at the target on the first
//       update, so does a NaN one; an infinite one stays at the start.
//   "bool isAnimating(GuiElement@+)", "void stopAnimation(GuiElement@+)"
//       (the element keeps the rectangle it has).
//
// An element has at most one animation; while it lives it holds one engine
// reference on the element. Nothing advances the animations in the frame
// loop: InterpolatedAnimation::update is the step a GUI frame would take.
#pragma once

#include <IGUIElement.h>
#include <angelscript.h>
#include <rect.h>

#include <map>

class ElementAnimation {
 public:
  virtual ~ElementAnimation() = default;
  // Moves the element on by `seconds`; true once it has finished.
  virtual bool update(irr::gui::IGUIElement* element, float seconds) = 0;
};

class InterpolatedAnimation : public ElementAnimation {
 public:
  InterpolatedAnimation(const irr::core::rectf& initial, const irr::core::rectf& target, float duration)
      : initial_(initial), target_(target), duration_(duration) {}
  bool update(irr::gui::IGUIElement* element, float seconds) override;

  float duration() const { return duration_; }

 private:
  irr::core::rectf initial_;
  irr::core::rectf target_;
  float elapsed_ = 0;
  float duration_;
};

// Element to its animation (owned).
extern std::map<irr::gui::IGUIElement*, ElementAnimation*> guiAnimations;

void animateTo(irr::gui::IGUIElement* element, const irr::core::position2di& position,
               const irr::core::dimension2di& size, float speed);
void animateBetween(irr::gui::IGUIElement* element, const irr::core::recti& from, const irr::core::recti& to,
                    float duration);
bool isAnimating(irr::gui::IGUIElement* element);
void stopAnimation(irr::gui::IGUIElement* element);
// Ends every animation (session end).
void clearGuiAnimations();

void registerGuiAnimations(AngelScript::asIScriptEngine* engine);
