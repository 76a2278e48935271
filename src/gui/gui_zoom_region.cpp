#include "gui/gui_zoom_region.h"

#include <cmath>
#include <limits>

namespace irr {
namespace gui {

namespace {

// anchor + (c - anchor) x factor in float, cut toward zero; a value beyond
// the 32-bit range (a huge factor) stops at its edge.
s32 scaled(s32 c, s32 anchor, f32 factor) {
  const f32 value = static_cast<f32>(anchor) + (static_cast<f32>(c) - static_cast<f32>(anchor)) * factor;
  if (std::isnan(value))
    return c;
  // 2^31 as a float: every float below it converts.
  constexpr f32 kLimit = 2147483648.0f;
  if (value >= kLimit)
    return std::numeric_limits<s32>::max();
  if (value <= -kLimit)
    return std::numeric_limits<s32>::min();
  return static_cast<s32>(value);
}

}  // namespace

CGUIZoomRegion::CGUIZoomRegion(IGUIEnvironment* environment, const core::rect<s32>& rectangle, f32 minimum,
                               f32 maximum, IGUIElement* parent, s32 id)
    : IGUIElement(EGUIET_ELEMENT, environment,
                  parent != nullptr ? parent : environment->getRootGUIElement(), id, rectangle),
      minimum_(minimum),
      maximum_(maximum) {
  zoom_ = clamped(1.0f);
}

f32 CGUIZoomRegion::clamped(f32 zoom) const {
  if (minimum_ < zoom && zoom < maximum_)
    return zoom;
  return zoom >= maximum_ ? maximum_ : minimum_;
}

void CGUIZoomRegion::setZoom(f32 zoom, const core::position2d<s32>& anchor) {
  const f32 old = zoom_;
  zoom_ = clamped(zoom);
  if (zoom_ == old || !(old > 0.0f))
    return;
  const f32 factor = zoom_ / old;
  for (IGUIElement* child : Children) {
    const core::rect<s32>& place = child->getRelativePosition();
    child->setRelativePosition(core::rect<s32>(
        scaled(place.UpperLeftCorner.X, anchor.X, factor), scaled(place.UpperLeftCorner.Y, anchor.Y, factor),
        scaled(place.LowerRightCorner.X, anchor.X, factor), scaled(place.LowerRightCorner.Y, anchor.Y, factor)));
  }
}

bool CGUIZoomRegion::OnEvent(const SEvent& event) {
  const f32 range = maximum_ - minimum_;
  if (event.EventType == EET_MOUSE_INPUT_EVENT && event.MouseInput.Event == EMIE_MOUSE_WHEEL) {
    const core::position2d<s32> anchor =
        core::position2d<s32>(event.MouseInput.X, event.MouseInput.Y) - AbsoluteRect.UpperLeftCorner;
    setZoom(zoom_ + range * event.MouseInput.Wheel / 10.0f, anchor);
    return true;
  }
  if (event.EventType == EET_KEY_INPUT_EVENT && event.KeyInput.PressedDown &&
      (event.KeyInput.Key == kPlusKey || event.KeyInput.Key == kMinusKey)) {
    // The centre of the region in its children's coordinates.
    const core::position2d<s32> anchor(RelativeRect.getWidth() / 2, RelativeRect.getHeight() / 2);
    const f32 step = range * 0.1f;
    setZoom(event.KeyInput.Key == kPlusKey ? zoom_ + step : zoom_ - step, anchor);
    return true;
  }
  return Parent != nullptr && Parent->OnEvent(event);
}

}  // namespace gui
}  // namespace irr
