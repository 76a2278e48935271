// Our window for GUI scripts: the engine's stock window with two switches
// more.
//
//   resizable    a press within the window-button width of the lower right
//                corner drags that corner: the window takes the new size,
//                kept within its minimum and maximum sizes (off by default)
//   drag mode    on, the window moves only when dragged by its title bar,
//                as desktop windows do; off (the default), by any point of
//                it that no child takes
//
// As with the engine's window, the title bar holds a close button, a
// maximise (restore) and a minimise button, the latter two hidden at first;
// a click on close raises GEVT_Closed to the parent and removes the window
// unless a handler took the event.
#pragma once

#include <IGUIButton.h>
#include <IGUIEnvironment.h>
#include <IGUIWindow.h>

namespace irr {
namespace gui {

class CGUIWindowEx : public IGUIWindow {
 public:
  CGUIWindowEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle);
  ~CGUIWindowEx() override;

  void setResizable(bool resizable) { resizable_ = resizable; }
  bool isResizable() const { return resizable_; }
  void setWindowsDragMode(bool titleBarOnly) { titleBarDrag_ = titleBarOnly; }
  bool isWindowsDragMode() const { return titleBarDrag_; }

  bool OnEvent(const SEvent& event) override;
  void updateAbsolutePosition() override;
  void draw() override;

  IGUIButton* getCloseButton() const override { return close_; }
  IGUIButton* getMinimizeButton() const override { return minimize_; }
  IGUIButton* getMaximizeButton() const override { return restore_; }
  bool isDraggable() const override { return draggable_; }
  void setDraggable(bool draggable) override;
  void setDrawBackground(bool draw) override { drawBackground_ = draw; }
  bool getDrawBackground() const override { return drawBackground_; }
  void setDrawTitlebar(bool draw) override { drawTitleBar_ = draw; }
  bool getDrawTitlebar() const override { return drawTitleBar_; }
  core::rect<s32> getClientRect() const override { return clientRect_; }

 private:
  IGUIButton* makeButton(s32 right, s32 width, const wchar_t* toolTip, EGUI_DEFAULT_ICON icon);
  s32 titleBarHeight() const;
  void refreshClientRect();

  IGUIButton* close_ = nullptr;     // each held
  IGUIButton* restore_ = nullptr;
  IGUIButton* minimize_ = nullptr;
  core::position2d<s32> dragStart_;
  core::rect<s32> clientRect_;
  bool dragging_ = false;
  bool resizing_ = false;
  bool draggable_ = true;
  bool drawBackground_ = true;
  bool drawTitleBar_ = true;
  bool resizable_ = false;
  bool titleBarDrag_ = false;
};

}  // namespace gui
}  // namespace irr
