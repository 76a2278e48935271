// An invisible frame that the player drags with the left mouse button,
// carrying its children with it: the frame of movable script windows. It
// draws nothing of its own.
//
// A pass-through frame is never hit by the mouse itself (its children
// still are, and a press on one of them that the child leaves alone reaches
// the frame as usual). With own-surface-only, a drag starts only on the
// frame itself or on one of its direct children, never deeper down (so a
// list or a text field inside a panel of the frame keeps its own presses).
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>

namespace irr {
namespace gui {

class GUIDraggable : public IGUIElement {
 public:
  // A null parent means the environment's root element.
  GUIDraggable(IGUIEnvironment* environment, const core::rect<s32>& rectangle, IGUIElement* parent, s32 id,
               bool passThrough, bool ownSurfaceOnly);

  bool OnEvent(const SEvent& event) override;
  // False when pass-through; else whether the point lies in the clipping
  // rectangle (edges included).
  bool isPointInside(const core::position2d<s32>& point) const override;

  bool isDragging() const { return dragging_; }
  bool isPassThrough() const { return passThrough_; }
  bool isOwnSurfaceOnly() const { return ownSurfaceOnly_; }

 private:
  bool passToParent(const SEvent& event) { return Parent != nullptr && Parent->OnEvent(event); }

  bool dragging_ = false;
  bool passThrough_;
  bool ownSurfaceOnly_;
  core::position2d<s32> lastMouse_{0, 0};
};

}  // namespace gui
}  // namespace irr
