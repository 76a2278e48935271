#include "gui/elements/extended_window.h"

#include <IGUIFont.h>
#include <IGUISkin.h>

#include <algorithm>

#include "gui/window_buttons.h"

namespace irr {
namespace gui {

namespace {

s32 windowButtonWidth(IGUISkin* skin) { return skin != nullptr ? skin->getSize(EGDS_WINDOW_BUTTON_WIDTH) : 15; }

}  // namespace

CGUIWindowEx::CGUIWindowEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id,
                           const core::rect<s32>& rectangle)
    : IGUIWindow(environment, parent, id, rectangle) {
  IGUISkin* skin = environment->getSkin();
  const s32 width = windowButtonWidth(skin);
  s32 right = RelativeRect.getWidth() - 4;
  close_ = makeButton(right, width, skin != nullptr ? skin->getDefaultText(EGDT_WINDOW_CLOSE) : L"Close",
                      EGDI_WINDOW_CLOSE);
  right -= width + 2;
  restore_ = makeButton(right, width, skin != nullptr ? skin->getDefaultText(EGDT_WINDOW_RESTORE) : L"Restore",
                        EGDI_WINDOW_RESTORE);
  restore_->setVisible(false);
  right -= width + 2;
  minimize_ = makeButton(right, width, skin != nullptr ? skin->getDefaultText(EGDT_WINDOW_MINIMIZE) : L"Minimize",
                         EGDI_WINDOW_MINIMIZE);
  minimize_->setVisible(false);
  setTabGroup(true);
  setTabStop(true);
  setTabOrder(-1);
  refreshClientRect();
}

CGUIWindowEx::~CGUIWindowEx() {
  forgetSavedWindowState(this);
  for (IGUIButton* button : {close_, restore_, minimize_})
    if (button != nullptr)
      button->drop();
}

IGUIButton* CGUIWindowEx::makeButton(s32 right, s32 width, const wchar_t* toolTip, EGUI_DEFAULT_ICON icon) {
  IGUIButton* button =
      Environment->addButton(core::rect<s32>(right - width, 3, right, 3 + width), this, -1, L"", toolTip);
  button->grab();
  button->setSubElement(true);
  button->setTabStop(false);
  button->setAlignment(EGUIA_LOWERRIGHT, EGUIA_LOWERRIGHT, EGUIA_UPPERLEFT, EGUIA_UPPERLEFT);
  if (IGUISkin* skin = Environment->getSkin()) {
    button->setSpriteBank(skin->getSpriteBank());
    button->setSprite(EGBS_BUTTON_UP, skin->getIcon(icon), skin->getColor(EGDC_WINDOW_SYMBOL));
    button->setSprite(EGBS_BUTTON_DOWN, skin->getIcon(icon), skin->getColor(EGDC_WINDOW_SYMBOL));
  }
  return button;
}

s32 CGUIWindowEx::titleBarHeight() const { return windowButtonWidth(Environment->getSkin()) + 6; }

void CGUIWindowEx::setDraggable(bool draggable) {
  draggable_ = draggable;
  if (!draggable_)
    dragging_ = false;
}

bool CGUIWindowEx::OnEvent(const SEvent& event) {
  if (!isEnabled())
    return IGUIElement::OnEvent(event);
  grab();  // a handler may remove the window
  bool handled = false;
  bool decided = false;
  if (event.EventType == EET_GUI_EVENT) {
    const SEvent::SGUIEvent& gui = event.GUIEvent;
    if (gui.EventType == EGET_ELEMENT_FOCUS_LOST) {
      if (gui.Caller == this && !isMyChild(gui.Element))
        dragging_ = resizing_ = false;
    } else if (gui.EventType == EGET_ELEMENT_FOCUSED) {
      if (Parent != nullptr && (gui.Caller == this || isMyChild(gui.Caller)))
        Parent->bringToFront(this);
    } else if (gui.EventType == EGET_BUTTON_CLICKED && gui.Caller == close_ && close_ != nullptr) {
      SEvent closed;
      closed.EventType = EET_GUI_EVENT;
      closed.GUIEvent.Caller = this;
      closed.GUIEvent.Element = nullptr;
      closed.GUIEvent.EventType = EGET_ELEMENT_CLOSED;
      if (Parent == nullptr || !Parent->OnEvent(closed))
        remove();
      handled = decided = true;
    }
  } else if (event.EventType == EET_MOUSE_INPUT_EVENT) {
    const core::position2d<s32> at(event.MouseInput.X, event.MouseInput.Y);
    switch (event.MouseInput.Event) {
      case EMIE_LMOUSE_PRESSED_DOWN: {
        dragStart_ = at;
        const s32 corner = windowButtonWidth(Environment->getSkin());
        resizing_ = resizable_ && at.X >= AbsoluteRect.LowerRightCorner.X - corner &&
                    at.Y >= AbsoluteRect.LowerRightCorner.Y - corner;
        dragging_ = !resizing_ && draggable_ &&
                    (!titleBarDrag_ || at.Y < AbsoluteRect.UpperLeftCorner.Y + titleBarHeight());
        if (!Environment->hasFocus(this)) {
          Environment->setFocus(this);
          if (Parent != nullptr)
            Parent->bringToFront(this);
        }
        handled = decided = true;
        break;
      }
      case EMIE_LMOUSE_LEFT_UP:
        dragging_ = resizing_ = false;
        handled = decided = true;
        break;
      case EMIE_MOUSE_MOVED:
        if (!event.MouseInput.isLeftPressed())
          dragging_ = resizing_ = false;
        if (resizing_) {
          core::dimension2d<s32> size = RelativeRect.getSize();
          size.Width = std::max<s32>(size.Width + at.X - dragStart_.X, static_cast<s32>(MinSize.Width));
          size.Height = std::max<s32>(size.Height + at.Y - dragStart_.Y, static_cast<s32>(MinSize.Height));
          if (MaxSize.Width > 0)
            size.Width = std::min<s32>(size.Width, static_cast<s32>(MaxSize.Width));
          if (MaxSize.Height > 0)
            size.Height = std::min<s32>(size.Height, static_cast<s32>(MaxSize.Height));
          dragStart_.X += size.Width - RelativeRect.getWidth();
          dragStart_.Y += size.Height - RelativeRect.getHeight();
          setRelativePosition(core::rect<s32>(RelativeRect.UpperLeftCorner, size));
          handled = decided = true;
        } else if (dragging_) {
          // Not out of the parent: the pointer leaving it stops the move.
          if (Parent == nullptr || Parent->getAbsolutePosition().isPointInside(at)) {
            move(at - dragStart_);
            dragStart_ = at;
          }
          handled = decided = true;
        }
        break;
      default:
        break;
    }
  }
  if (!decided)
    handled = IGUIElement::OnEvent(event);
  drop();
  return handled;
}

void CGUIWindowEx::refreshClientRect() {
  clientRect_ = core::rect<s32>(0, 0, RelativeRect.getWidth(), RelativeRect.getHeight());
  IGUISkin* skin = Environment->getSkin();
  if (skin == nullptr || !drawBackground_)
    return;
  core::rect<s32> area;
  skin->draw3DWindowBackground(this, drawTitleBar_, skin->getColor(EGDC_ACTIVE_BORDER), AbsoluteRect, nullptr,
                               &area);
  clientRect_ = area - AbsoluteRect.UpperLeftCorner;
}

void CGUIWindowEx::updateAbsolutePosition() {
  IGUIElement::updateAbsolutePosition();
  refreshClientRect();
}

void CGUIWindowEx::draw() {
  if (!IsVisible)
    return;
  IGUISkin* skin = Environment->getSkin();
  if (skin != nullptr) {
    const bool focused = Environment->hasFocus(this) || isMyChild(Environment->getFocus());
    core::rect<s32> title = AbsoluteRect;
    if (drawBackground_)
      title = skin->draw3DWindowBackground(this, drawTitleBar_,
                                           skin->getColor(focused ? EGDC_ACTIVE_BORDER : EGDC_INACTIVE_BORDER),
                                           AbsoluteRect, &AbsoluteClippingRect);
    if (drawTitleBar_ && Text.size() > 0) {
      title.UpperLeftCorner.X += skin->getSize(EGDS_TITLEBARTEXT_DISTANCE_X);
      title.UpperLeftCorner.Y += skin->getSize(EGDS_TITLEBARTEXT_DISTANCE_Y);
      title.LowerRightCorner.X -= skin->getSize(EGDS_WINDOW_BUTTON_WIDTH) + 5;
      if (IGUIFont* font = skin->getFont(EGDF_WINDOW))
        font->draw(Text.c_str(), title, skin->getColor(focused ? EGDC_ACTIVE_CAPTION : EGDC_INACTIVE_CAPTION), false,
                   true, &AbsoluteClippingRect);
    }
  }
  IGUIElement::draw();
}

}  // namespace gui
}  // namespace irr
