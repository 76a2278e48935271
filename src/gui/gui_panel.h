// The scrollable panel: a GUI element that holds children in an area larger
// than itself and shows a window onto it, with a vertical and a horizontal
// scroll bar.
//
// The panel scrolls by moving itself: its relative rectangle is its own
// (unscrolled) rectangle moved up and left by the scroll positions, so every
// child moves with it, while its clipping rectangle stays on the own
// rectangle and the two bars are placed at the scroll offsets, so that they
// stay put on screen. The bars are ordinary children that no content
// computation counts.
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>
#include <IGUIScrollBar.h>

namespace irr {
namespace gui {

enum ScrollBarMode {
  SBM_Auto = 0,       // shown when the content does not fit
  SBM_Invisible = 1,  // never shown
  SBM_Visible = 2,    // always shown
};

class CGUIPanel : public IGUIElement {
 public:
  static constexpr s32 kBarThickness = 16;
  static constexpr s32 kSmallStep = 32;
  static constexpr s32 kLargeStep = 128;
  static constexpr s32 kBorderMargin = 2;

  CGUIPanel(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle,
            bool border = false, ScrollBarMode verticalMode = SBM_Auto, ScrollBarMode horizontalMode = SBM_Auto);
  ~CGUIPanel() override;

  bool OnEvent(const SEvent& event) override;
  void updateAbsolutePosition() override;
  void addChild(IGUIElement* child) override;
  void removeChild(IGUIElement* child) override;
  void draw() override;

  // Shows or hides each bar by the content's size and the bar's mode, sets
  // the bars' maximums, then lays the panel out again.
  void updateScrollBars();
  // Cuts the right (bottom) edge of every visible child that lies beyond
  // the client area's width (height) when clipping on that axis, then
  // updateScrollBars.
  void fitChildren(bool clipHorizontal, bool clipVertical);
  // fitChildren, clipping each axis whose bar mode is SBM_Invisible (the
  // content can never be scrolled to on that axis).
  void fitChildren();

  // Both bars back to position 0, the panel laid out again.
  void resetScrollPosition();
  // (horizontal, vertical) bar positions; 0 for a bar that is not shown.
  core::position2d<s32> getScrollPos() const;
  // (horizontal, vertical) bar maximums; 0 for a bar that is not shown.
  core::dimension2d<s32> getScrollBounds() const;
  // Horizontal bar to x, vertical bar to y (each clamped by its bar), then
  // lays the panel out again: the content moves, the bars stay on screen.
  void setScrollPos(const core::position2d<s32>& position);

  ScrollBarMode verticalMode() const { return verticalMode_; }
  ScrollBarMode horizontalMode() const { return horizontalMode_; }
  bool hasBorder() const { return border_; }

  IGUIScrollBar* verticalScrollBar() const { return vertical_; }
  IGUIScrollBar* horizontalScrollBar() const { return horizontal_; }
  // The space left for the children (only its size is meaningful).
  const core::rect<s32>& clientArea() const { return clientArea_; }

 private:
  void computeClientArea();
  bool isBar(const IGUIElement* element) const { return element == vertical_ || element == horizontal_; }

  IGUIScrollBar* vertical_ = nullptr;
  IGUIScrollBar* horizontal_ = nullptr;
  ScrollBarMode verticalMode_;
  ScrollBarMode horizontalMode_;
  core::rect<s32> clientArea_;
  core::rect<s32> ownRect_;
  bool border_;
};

}  // namespace gui
}  // namespace irr
