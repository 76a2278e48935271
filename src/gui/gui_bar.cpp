#include "gui/gui_bar.h"

#include "gui/script_drawing.h"

namespace irr {
namespace gui {

int barGeometry(const core::rect<s32>& area, bool fill, bool horizontal, f32 fraction, video::SColor first,
                video::SColor second, BarPiece (&pieces)[2]) {
  const auto solid = [](const core::rect<s32>& where, video::SColor color) {
    return BarPiece{where, color, color, color, color};
  };
  if (!fill) {
    pieces[0] = horizontal ? BarPiece{area, first, second, first, second}
                           : BarPiece{area, first, first, second, second};
    return 1;
  }
  // NaN compares false both ways: it counts as empty.
  if (!(fraction > 0.0f)) {
    pieces[0] = solid(area, second);
    return 1;
  }
  if (fraction >= 1.0f) {
    pieces[0] = solid(area, first);
    return 1;
  }
  const s32 from = horizontal ? area.UpperLeftCorner.X : area.UpperLeftCorner.Y;
  const s32 to = horizontal ? area.LowerRightCorner.X : area.LowerRightCorner.Y;
  // In double: the span of two 32-bit edges needs 33 bits, and the product
  // lies between them, so the cut value fits again.
  const s32 split = static_cast<s32>(static_cast<double>(from) +
                                     (static_cast<double>(to) - static_cast<double>(from)) * fraction);
  core::rect<s32> filled = area;
  core::rect<s32> rest = area;
  if (horizontal) {
    filled.LowerRightCorner.X = split;
    rest.UpperLeftCorner.X = split;
  } else {
    filled.LowerRightCorner.Y = split;
    rest.UpperLeftCorner.Y = split;
  }
  pieces[0] = solid(filled, first);
  pieces[1] = solid(rest, second);
  return 2;
}

CGUIBar::CGUIBar(IGUIEnvironment* environment, const core::rect<s32>& rectangle, IGUIElement* parent, s32 id)
    : IGUIElement(EGUIET_ELEMENT, environment,
                  parent != nullptr ? parent : environment->getRootGUIElement(), id, rectangle) {}

void CGUIBar::draw() {
  if (!IsVisible)
    return;
  const core::rect<s32>* clip = NoClip ? nullptr : &AbsoluteClippingRect;
  BarPiece pieces[2];
  const int count = barGeometry(AbsoluteRect, fill_, horizontal_, fraction_, first_, second_, pieces);
  DrawTarget& target = currentDrawTarget();
  for (int i = 0; i < count; ++i)
    target.cornerRect(pieces[i].area, pieces[i].upperLeft, pieces[i].upperRight, pieces[i].lowerLeft,
                      pieces[i].lowerRight, clip);
  IGUIElement::draw();
}

void CGUIBar::set(video::SColor first, video::SColor second, bool horizontal, f32 fraction) {
  first_ = first;
  second_ = second;
  horizontal_ = horizontal;
  fraction_ = fraction;
  fill_ = true;
}

void CGUIBar::setColors(video::SColor first, video::SColor second) {
  first_ = first;
  second_ = second;
  fill_ = true;
}

void CGUIBar::setColor(video::SColor color) {
  first_ = color;
  second_ = color;
  fill_ = false;
}

void CGUIBar::setPct(f32 fraction) { fraction_ = fraction; }

void CGUIBar::setHoriz(bool horizontal) { horizontal_ = horizontal; }

}  // namespace gui
}  // namespace irr
