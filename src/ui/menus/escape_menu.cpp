#include "ui/menus/escape_menu.h"

#include <IGUIEnvironment.h>
#include <IGUIFont.h>
#include <IGUISkin.h>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "gui/base/gui_callbacks.h"
#include "gui/gui_script_hooks.h"
#include "ui/key_bindings.h"

namespace {

constexpr irr::s32 kMenuWidth = 110;
constexpr irr::s32 kMenuTop = 70;
constexpr irr::s32 kButtonLeft = 4;
constexpr irr::s32 kButtonRight = 106;
constexpr irr::s32 kGap = 10;

EscapeMenu* activeMenu = nullptr;

bool inside(const irr::gui::IGUIElement* element, const irr::gui::IGUIElement* container) {
  for (; element != nullptr; element = element->getParent())
    if (element == container)
      return true;
  return false;
}

}  // namespace

EscapeMenu* sessionEscapeMenu = nullptr;

EscapeMenu* activeEscapeMenu() { return activeMenu; }

EscapeMenu::EscapeMenu() {
  irr::gui::IGUIEnvironment* gui = engine.gui;
  const irr::s32 left = screenWidth / 2 - kMenuWidth / 2;
  window_ = new irr::gui::CGUIPanel(gui, gui->getRootGUIElement(), -1,
                                    irr::core::recti(left, kMenuTop, left + kMenuWidth, kMenuTop + 1), true,
                                    irr::gui::SBM_Invisible, irr::gui::SBM_Invisible);
  window_->setVisible(false);
  bindGuiCallbackFunction(escapeMenuClicked, kEscapeMenuButtonId);
}

EscapeMenu::~EscapeMenu() {
  if (activeMenu == this)
    activeMenu = nullptr;
  if (engine.gui != nullptr) {
    irr::gui::IGUIElement* focus = engine.gui->getFocus();
    if (focus != nullptr && inside(focus, window_))
      engine.gui->removeFocus(focus);
  }
  for (const Button& button : buttons_)
    button.element->remove();
  buttons_.clear();
  window_->remove();
  window_->drop();
}

void EscapeMenu::addButton(Callback callback, const wchar_t* label) {
  irr::gui::IGUIEnvironment* gui = engine.gui;
  irr::gui::IGUIFont* font = gui->getSkin()->getFont();
  const irr::s32 height = (font != nullptr ? static_cast<irr::s32>(font->getDimension(label).Height) : 0) + 4;
  irr::s32 y = kGap;
  for (const Button& button : buttons_)
    y += button.height + kGap;
  irr::gui::IGUIButton* element =
      gui->addButton(irr::core::recti(kButtonLeft, y, kButtonRight, y + height), window_, kEscapeMenuButtonId, label);
  buttons_.push_back({element, callback, height});
  const irr::core::recti frame = window_->getRelativePosition();
  window_->setRelativePosition(irr::core::recti(frame.UpperLeftCorner.X, frame.UpperLeftCorner.Y,
                                                frame.UpperLeftCorner.X + kMenuWidth,
                                                frame.UpperLeftCorner.Y + y + height + kGap));
}

void EscapeMenu::toggle(bool show) {
  window_->setVisible(show);
  if (show) {
    if (irr::gui::IGUIElement* parent = window_->getParent())
      parent->bringToFront(window_);
    activeMenu = this;
    return;
  }
  if (activeMenu == this)
    activeMenu = nullptr;
  irr::gui::IGUIEnvironment* gui = engine.gui;
  irr::gui::IGUIElement* focus = gui->getFocus();
  if (focus != nullptr && inside(focus, window_))
    gui->removeFocus(focus);
}

bool escapeMenuClicked(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || event.GUIEvent.EventType != irr::gui::EGET_BUTTON_CLICKED)
    return false;
  EscapeMenu* menu = activeMenu;
  if (menu == nullptr)
    return false;
  EscapeMenu::Callback callback = nullptr;
  for (const EscapeMenu::Button& button : menu->buttons())
    if (button.element == event.GUIEvent.Caller)
      callback = button.callback;
  if (callback != nullptr)
    callback();
  // The callback may have hidden or replaced the menu.
  if (EscapeMenu* still = activeMenu)
    still->toggle(false);
  return true;
}

bool escapeKeyAction(uint8_t flags) {
  if ((flags & KF_Pressed) == 0)
    return false;
  if (runEscapeEvent())
    return true;
  if (EscapeMenu* menu = sessionEscapeMenu)
    menu->toggle(!menu->shown());
  return true;
}

NativeKeyAction* escapeKeyNativeAction() {
  static NativeKeyAction action{escapeKeyAction, {false, false, false, false}};
  return &action;
}
