#include "gui/gui_panel.h"

#include <IGUISkin.h>

#include <algorithm>

namespace irr {
namespace gui {

CGUIPanel::CGUIPanel(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle,
                     bool border, ScrollBarMode verticalMode, ScrollBarMode horizontalMode)
    : IGUIElement(EGUIET_ELEMENT, environment, parent, id, rectangle),
      verticalMode_(verticalMode),
      horizontalMode_(horizontalMode),
      ownRect_(rectangle),
      border_(border) {
  const s32 width = rectangle.getWidth();
  const s32 height = rectangle.getHeight();
  vertical_ = environment->addScrollBar(false, core::rect<s32>(width - kBarThickness, 0, width, height), this);
  vertical_->grab();
  vertical_->setSubElement(true);
  vertical_->setSmallStep(kSmallStep);
  vertical_->setLargeStep(kLargeStep);
  horizontal_ = environment->addScrollBar(
      true, core::rect<s32>(0, height - kBarThickness, width - kBarThickness, height), this);
  horizontal_->grab();
  horizontal_->setSubElement(true);
  updateAbsolutePosition();
  computeClientArea();
}

CGUIPanel::~CGUIPanel() {
  if (vertical_ != nullptr)
    vertical_->drop();
  if (horizontal_ != nullptr)
    horizontal_->drop();
}

bool CGUIPanel::OnEvent(const SEvent& event) {
  if (event.EventType == EET_MOUSE_INPUT_EVENT && event.MouseInput.Event == EMIE_MOUSE_WHEEL) {
    if (vertical_ == nullptr || !vertical_->isVisible())
      return true;
    const s32 steps = static_cast<s32>(event.MouseInput.Wheel);  // cut toward zero
    vertical_->setPos(vertical_->getPos() - vertical_->getSmallStep() * steps);
    updateAbsolutePosition();
    return true;
  }
  if (event.EventType == EET_GUI_EVENT && event.GUIEvent.EventType == EGET_SCROLL_BAR_CHANGED &&
      isBar(event.GUIEvent.Caller)) {
    updateAbsolutePosition();
    return Parent != nullptr && Parent->OnEvent(event);
  }
  return IGUIElement::OnEvent(event);
}

void CGUIPanel::updateAbsolutePosition() {
  // The desired rectangle follows the parent's size by the alignment, as for
  // any element.
  recalculateAbsolutePosition(false);
  ownRect_ = RelativeRect;

  const s32 v = vertical_ != nullptr ? vertical_->getPos() : 0;
  const s32 h = horizontal_ != nullptr ? horizontal_->getPos() : 0;
  const s32 width = ownRect_.getWidth();
  const s32 height = ownRect_.getHeight();
  if (vertical_ != nullptr)
    vertical_->setRelativePosition(core::rect<s32>(width - kBarThickness + h, v, width + h, v + height));
  if (horizontal_ != nullptr)
    horizontal_->setRelativePosition(core::rect<s32>(h, v + height - kBarThickness, width - kBarThickness + h,
                                                     v + height));

  const core::position2d<s32> scroll(h, v);
  RelativeRect = core::rect<s32>(ownRect_.UpperLeftCorner - scroll, ownRect_.LowerRightCorner - scroll);
  core::rect<s32> parentAbsolute(0, 0, 0, 0);
  if (Parent != nullptr)
    parentAbsolute = Parent->getAbsolutePosition();
  AbsoluteRect = RelativeRect + parentAbsolute.UpperLeftCorner;
  AbsoluteClippingRect = ownRect_ + parentAbsolute.UpperLeftCorner;
  AbsoluteClippingRect.clipAgainst(Parent != nullptr ? Parent->getAbsoluteClippingRect() : AbsoluteRect);
  LastParentRect = parentAbsolute;

  for (IGUIElement* child : Children)
    child->updateAbsolutePosition();
}

void CGUIPanel::computeClientArea() {
  clientArea_ = AbsoluteRect;
  if (vertical_ != nullptr && vertical_->isVisible())
    clientArea_.LowerRightCorner.X -= vertical_->getRelativePosition().getWidth();
  if (horizontal_ != nullptr && horizontal_->isVisible())
    clientArea_.LowerRightCorner.Y -= horizontal_->getRelativePosition().getHeight();
  if (border_) {
    clientArea_.UpperLeftCorner += core::position2d<s32>(kBorderMargin, kBorderMargin);
    clientArea_.LowerRightCorner -= core::position2d<s32>(kBorderMargin, kBorderMargin);
  }
}

void CGUIPanel::addChild(IGUIElement* child) {
  IGUIElement::addChild(child);
  updateScrollBars();
}

void CGUIPanel::removeChild(IGUIElement* child) {
  IGUIElement::removeChild(child);
  updateScrollBars();
}

void CGUIPanel::updateScrollBars() {
  if (vertical_ == nullptr || horizontal_ == nullptr)
    return;
  s32 contentWidth = 0;
  s32 contentHeight = 0;
  for (IGUIElement* child : Children) {
    if (isBar(child) || !child->isVisible())
      continue;
    const core::rect<s32>& place = child->getRelativePosition();
    contentWidth = std::max(contentWidth, place.LowerRightCorner.X);
    contentHeight = std::max(contentHeight, place.LowerRightCorner.Y);
  }

  const auto placeBar = [this](IGUIScrollBar* bar, ScrollBarMode mode, s32 content, s32 client) {
    const bool shown = (content > client || mode == SBM_Visible) && mode != SBM_Invisible;
    bar->setVisible(shown);
    if (shown) {
      bar->setMax(std::max(0, content - client));
      bringToFront(bar);
    } else {
      bar->setMax(0);
    }
  };
  // Each bar takes room from the client area that decides the other's
  // need: placed again until neither changes (the second pass settles it).
  for (int pass = 0; pass < 3; ++pass) {
    const bool horizontalWas = horizontal_->isVisible();
    const bool verticalWas = vertical_->isVisible();
    placeBar(horizontal_, horizontalMode_, contentWidth, clientArea_.getWidth());
    placeBar(vertical_, verticalMode_, contentHeight, clientArea_.getHeight());
    updateAbsolutePosition();
    computeClientArea();
    if (pass > 0 && horizontal_->isVisible() == horizontalWas && vertical_->isVisible() == verticalWas)
      break;
  }
}

void CGUIPanel::fitChildren(bool clipHorizontal, bool clipVertical) {
  const s32 clientWidth = clientArea_.getWidth();
  const s32 clientHeight = clientArea_.getHeight();
  for (IGUIElement* child : Children) {
    if (isBar(child) || !child->isVisible())
      continue;
    core::rect<s32> place = child->getRelativePosition();
    const core::rect<s32> before = place;
    if (clipHorizontal && place.LowerRightCorner.X > clientWidth)
      place.LowerRightCorner.X = clientWidth;
    if (clipVertical && place.LowerRightCorner.Y > clientHeight)
      place.LowerRightCorner.Y = clientHeight;
    if (place != before)
      child->setRelativePosition(place);
  }
  updateScrollBars();
}

void CGUIPanel::fitChildren() {
  fitChildren(horizontalMode_ == SBM_Invisible, verticalMode_ == SBM_Invisible);
}

void CGUIPanel::resetScrollPosition() {
  setScrollPos(core::position2d<s32>(0, 0));
}

core::position2d<s32> CGUIPanel::getScrollPos() const {
  const s32 h = horizontal_ != nullptr && horizontal_->isVisible() ? horizontal_->getPos() : 0;
  const s32 v = vertical_ != nullptr && vertical_->isVisible() ? vertical_->getPos() : 0;
  return core::position2d<s32>(h, v);
}

core::dimension2d<s32> CGUIPanel::getScrollBounds() const {
  const s32 h = horizontal_ != nullptr && horizontal_->isVisible() ? horizontal_->getMax() : 0;
  const s32 v = vertical_ != nullptr && vertical_->isVisible() ? vertical_->getMax() : 0;
  return core::dimension2d<s32>(h, v);
}

void CGUIPanel::setScrollPos(const core::position2d<s32>& position) {
  if (horizontal_ != nullptr)
    horizontal_->setPos(position.X);
  if (vertical_ != nullptr)
    vertical_->setPos(position.Y);
  updateAbsolutePosition();
}

void CGUIPanel::draw() {
  if (!IsVisible)
    return;
  if (border_ && Environment != nullptr && Environment->getSkin() != nullptr) {
    IGUISkin* skin = Environment->getSkin();
    const s32 v = vertical_ != nullptr ? vertical_->getPos() : 0;
    const s32 h = horizontal_ != nullptr ? horizontal_->getPos() : 0;
    const core::rect<s32> visible = AbsoluteRect + core::position2d<s32>(h, v);
    skin->draw3DSunkenPane(this, skin->getColor(EGDC_WINDOW), true, true, visible, &AbsoluteClippingRect);
  }
  IGUIElement::draw();
}

}  // namespace gui
}  // namespace irr
