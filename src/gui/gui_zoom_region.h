// A container that scales the rectangles of its children around a point,
// so that a script can build a zoomable diagram out of ordinary elements.
// It draws nothing of its own.
//
// The zoom stays within [minimum, maximum]; a new region starts at 1 (or at
// the nearer limit when 1 lies outside the range). A zoom change by a
// factor f moves every corner c of every child to anchor + (c - anchor) x f,
// cut toward zero; rectangles are scaled from their current values, so the
// rounding accumulates over many steps. While the zoom is not above 0 (a
// script gave a minimum at or below 0) no factor can be formed from it, and
// the children keep their rectangles.
//
// Input: the wheel zooms by a tenth of the range a notch around the cursor;
// the plus key (0xBB) and the minus key (0xBD) by a tenth of the range
// around the region's centre. Everything else goes to the parent.
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>

namespace irr {
namespace gui {

class CGUIZoomRegion : public IGUIElement {
 public:
  static constexpr u32 kPlusKey = 0xBB;
  static constexpr u32 kMinusKey = 0xBD;

  // A null parent means the environment's root element.
  CGUIZoomRegion(IGUIEnvironment* environment, const core::rect<s32>& rectangle, f32 minimum, f32 maximum,
                 IGUIElement* parent, s32 id);

  bool OnEvent(const SEvent& event) override;

  f32 getZoom() const { return zoom_; }
  f32 getMinimum() const { return minimum_; }
  f32 getMaximum() const { return maximum_; }
  // Sets the zoom (clamped to the range) and scales the children around
  // `anchor`, given in the children's coordinates.
  void setZoom(f32 zoom, const core::position2d<s32>& anchor);

 private:
  f32 clamped(f32 zoom) const;

  f32 zoom_ = 1.0f;
  f32 minimum_;
  f32 maximum_;
};

}  // namespace gui
}  // namespace irr
