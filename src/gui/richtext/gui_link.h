// The invisible element the rich-text element lays over the pieces of a
// link, one per line the link covers. A left click on it (press and release
// both on the link) acts:
//   kind 1  the object of that UID: selected alone when it is not selected
//           yet, else the game camera focuses on it at close range; the GUI
//           focus goes in both cases. An object that is gone does nothing.
//   kind 5  runs the link hook named by the first text with the second
//           (gui/script/gui_modules.h).
//   2 to 4  nothing.
// A release without a press on the link goes to the parent; every other
// event too.
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>

namespace irr {
namespace gui {

class CGUILink : public IGUIElement {
 public:
  // A zero-size element at (x, y) in `parent`, id -1. The texts may be null
  // (absent).
  CGUILink(s32 kind, u32 number, IGUIEnvironment* environment, IGUIElement* parent, const core::stringw* first,
           const core::stringw* second, s32 x, s32 y);

  bool OnEvent(const SEvent& event) override;

  // Layout: the link's height follows its line; each piece widens it.
  void setLinkHeight(s32 height);
  void widen(s32 width);

  s32 kind() const { return kind_; }
  u32 number() const { return number_; }
  bool hasFirstText() const { return hasFirst_; }
  bool hasSecondText() const { return hasSecond_; }
  const core::stringw& firstText() const { return first_; }
  const core::stringw& secondText() const { return second_; }
  bool isPressed() const { return pressed_; }

 private:
  void click();

  s32 kind_;
  u32 number_;
  bool pressed_ = false;
  bool hasFirst_, hasSecond_;
  core::stringw first_, second_;
};

}  // namespace gui
}  // namespace irr
