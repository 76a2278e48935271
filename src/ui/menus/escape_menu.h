// The escape menu: a small column of buttons near the top middle of the
// screen that the Escape key shows and hides during a game session.
//
// The menu's window is a panel on the GUI root; every button, and the
// window, has the id kEscapeMenuButtonId, whose GUI callback entry
// (escapeMenuClicked) runs the clicked button's callback and then hides the
// menu. A button without a callback only closes the menu.
//
// The Escape key's action (escapeKeyAction, bound to key 27 by the session)
// offers a press to the scripts' escape handlers first and toggles the
// session's menu only when none used it.
//
// Main thread only.
#pragma once

#include <IEventReceiver.h>
#include <IGUIButton.h>

#include <cstdint>
#include <vector>

#include "gui/gui_panel.h"

struct NativeKeyAction;

constexpr int32_t kEscapeMenuButtonId = -10000;
constexpr uint8_t kEscapeKeyCode = 27;

class EscapeMenu {
 public:
  using Callback = void (*)();
  struct Button {
    irr::gui::IGUIButton* element = nullptr;
    Callback callback = nullptr;
    irr::s32 height = 0;
  };

  // A hidden, empty menu on the GUI root, and the callback entry of its id.
  EscapeMenu();
  // Removes the window and its buttons from the GUI; the callback entry
  // stays and does nothing without a shown menu.
  ~EscapeMenu();
  EscapeMenu(const EscapeMenu&) = delete;
  EscapeMenu& operator=(const EscapeMenu&) = delete;

  // Appends a button as high as the label in the skin's font plus 4, 10
  // pixels below the one before; the window grows to keep 10 pixels below
  // it.
  void addButton(Callback callback, const wchar_t* label);
  // Shows the menu (in front, the active menu) or hides it (dropping the
  // GUI focus when it lay inside the menu).
  void toggle(bool show);
  bool shown() const { return window_->isVisible(); }

  irr::gui::CGUIPanel* window() const { return window_; }
  const std::vector<Button>& buttons() const { return buttons_; }

 private:
  irr::gui::CGUIPanel* window_ = nullptr;  // counted
  std::vector<Button> buttons_;
};

// The menu while it is shown, else null.
EscapeMenu* activeEscapeMenu();
// The session's menu (null outside a session); escapeKeyAction toggles it.
extern EscapeMenu* sessionEscapeMenu;

// The menu's GUI callback: a button click of the shown menu runs that
// button's callback, then hides the menu. True for every click while a menu
// is shown; false for anything else.
bool escapeMenuClicked(const irr::SEvent& event);

// The Escape key: on a press, the most recent script escape handler when one
// runs to its end, else the session menu shown or hidden; a press is always
// used, a release never.
bool escapeKeyAction(uint8_t flags);
// The unnamed built-in action that runs escapeKeyAction (kept out of the
// action table, so that no binding names it).
NativeKeyAction* escapeKeyNativeAction();
