#include "gui/elements/extended_elements.h"

#include <IGUIFont.h>
#include <IGUIScrollBar.h>
#include <IGUISkin.h>
#include <ITexture.h>
#include <IVideoDriver.h>

#include <algorithm>

namespace irr {
namespace gui {

// --- list box ---

CGUIListBoxEx::CGUIListBoxEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id,
                             const core::rect<s32>& rectangle, bool drawBackground)
    : CGUIWrappedElement<IGUIListBox>(environment, parent, id, rectangle) {
  adopt(environment->addListBox(innerRect(), this, -1, drawBackground));
}

u32 CGUIListBoxEx::addItem(const wchar_t* text) {
  const u32 index = inner_->addItem(text);
  ids_.insert(ids_.begin() + std::min<std::size_t>(index, ids_.size()), 0);
  return index;
}

u32 CGUIListBoxEx::addItem(const wchar_t* text, s32 icon) {
  const u32 index = inner_->addItem(text, icon);
  ids_.insert(ids_.begin() + std::min<std::size_t>(index, ids_.size()), 0);
  return index;
}

void CGUIListBoxEx::removeItem(u32 index) {
  if (index >= ids_.size())
    return;
  inner_->removeItem(index);
  ids_.erase(ids_.begin() + index);
  if (hovered_ >= static_cast<s32>(ids_.size()))
    hovered_ = -1;
}

void CGUIListBoxEx::clear() {
  inner_->clear();
  ids_.clear();
  hovered_ = -1;
}

void CGUIListBoxEx::setItemOverrideColor(u32 index, video::SColor color) {
  if (index < getItemCount())
    inner_->setItemOverrideColor(index, color);
}

void CGUIListBoxEx::setItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType, video::SColor color) {
  if (index < getItemCount())
    inner_->setItemOverrideColor(index, colorType, color);
}

void CGUIListBoxEx::clearItemOverrideColor(u32 index) {
  if (index < getItemCount())
    inner_->clearItemOverrideColor(index);
}

void CGUIListBoxEx::clearItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType) {
  if (index < getItemCount())
    inner_->clearItemOverrideColor(index, colorType);
}

bool CGUIListBoxEx::hasItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType) const {
  return index < getItemCount() && inner_->hasItemOverrideColor(index, colorType);
}

video::SColor CGUIListBoxEx::getItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType) const {
  if (index >= getItemCount())
    return getItemDefaultColor(colorType);
  return inner_->getItemOverrideColor(index, colorType);
}

void CGUIListBoxEx::setItem(u32 index, const wchar_t* text, s32 icon) {
  if (index < getItemCount())
    inner_->setItem(index, text, icon);
}

s32 CGUIListBoxEx::insertItem(u32 index, const wchar_t* text, s32 icon) {
  const s32 at = inner_->insertItem(index, text, icon);
  if (at >= 0)
    ids_.insert(ids_.begin() + std::min<std::size_t>(static_cast<u32>(at), ids_.size()), 0);
  return at;
}

void CGUIListBoxEx::swapItems(u32 index1, u32 index2) {
  if (index1 >= ids_.size() || index2 >= ids_.size())
    return;
  inner_->swapItems(index1, index2);
  std::swap(ids_[index1], ids_[index2]);
}

void CGUIListBoxEx::setHovered(s32 index) {
  if (index == hovered_)
    return;
  hovered_ = index;
  raise(kEngineGuiListboxHovered);
}

void CGUIListBoxEx::onInnerGuiEvent(const SEvent& event) {
  if (event.GUIEvent.EventType == EGET_ELEMENT_LEFT)
    setHovered(-1);
}

void CGUIListBoxEx::onMouse(const SEvent::SMouseInput& mouse) {
  if (mouse.Event == EMIE_MOUSE_MOVED)
    setHovered(getItemAt(mouse.X, mouse.Y));
  else if (mouse.Event == EMIE_RMOUSE_LEFT_UP && AbsoluteClippingRect.isPointInside(core::position2di(mouse.X, mouse.Y)))
    raise(kEngineGuiRightClicked);
}

// --- table ---

CGUITableEx::CGUITableEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle,
                         bool drawBackground)
    : CGUIWrappedElement<IGUITable>(environment, parent, id, rectangle) {
  adopt(environment->addTable(innerRect(), this, -1, drawBackground));
}

bool CGUITableEx::isRowVisible(u32 row) const {
  if (row >= static_cast<u32>(std::max(getRowCount(), 0)))
    return false;
  // The engine's table: the header and every row are as high as the skin
  // font's "A" plus 2 pixels above and below; the rows scroll by the
  // vertical bar's position under the header, and a shown horizontal bar
  // takes the bottom of the client area.
  IGUISkin* skin = Environment->getSkin();
  IGUIFont* font = skin != nullptr ? skin->getFont() : nullptr;
  const s32 rowHeight = (font != nullptr ? static_cast<s32>(font->getDimension(L"A").Height) : 0) + 4;
  s32 scroll = 0;
  s32 bottom = RelativeRect.getHeight();
  for (const IGUIElement* child : inner_->getChildren()) {
    if (child->getType() != EGUIET_SCROLL_BAR || !child->isVisible())
      continue;
    const core::rect<s32>& area = child->getRelativePosition();
    if (area.getHeight() > area.getWidth())
      scroll = static_cast<const IGUIScrollBar*>(child)->getPos();
    else
      bottom = std::min(bottom, area.UpperLeftCorner.Y);
  }
  const s64 top = static_cast<s64>(rowHeight) * (static_cast<s64>(row) + 1) - scroll;
  return top + rowHeight > rowHeight && top < bottom;
}

// --- edit box ---

CGUIEditBoxEx::CGUIEditBoxEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id,
                             const core::rect<s32>& rectangle, const wchar_t* text, bool border)
    : CGUIWrappedElement<IGUIEditBox>(environment, parent, id, rectangle) {
  adopt(environment->addEditBox(text, innerRect(), border, this, -1));
}

void CGUIEditBoxEx::sendKey(EKEY_CODE key, bool shift, bool control) {
  SEvent event;
  event.EventType = EET_KEY_INPUT_EVENT;
  event.KeyInput.Char = 0;
  event.KeyInput.Key = key;
  event.KeyInput.PressedDown = true;
  event.KeyInput.Shift = shift;
  event.KeyInput.Control = control;
  inner_->OnEvent(event);
}

void CGUIEditBoxEx::setTextMark(u32 begin, u32 end) {
  // The engine's box marks only by its keys: back to the start (which
  // clears the mark), along to `begin`, then marking on to `end`.
  const u32 length = core::stringw(inner_->getText()).size();
  begin = std::min(begin, length);
  end = std::min(end, length);
  grab();
  for (u32 i = 0; i < length; ++i)
    sendKey(KEY_LEFT, false, false);
  for (u32 i = 0; i < begin; ++i)
    sendKey(KEY_RIGHT, false, false);
  for (u32 i = begin; i < end; ++i)
    sendKey(KEY_RIGHT, true, false);
  for (u32 i = end; i < begin; ++i)
    sendKey(KEY_LEFT, true, false);
  drop();
}

// --- image ---

CGUIImageEx::CGUIImageEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle)
    : IGUIImage(environment, parent, id, rectangle) {}

CGUIImageEx::~CGUIImageEx() {
  if (texture_ != nullptr)
    texture_->drop();
}

void CGUIImageEx::setImage(video::ITexture* image) {
  if (image == texture_)
    return;
  if (texture_ != nullptr)
    texture_->drop();
  texture_ = image;
  if (texture_ != nullptr)
    texture_->grab();
}

void CGUIImageEx::draw() {
  if (!IsVisible)
    return;
  IGUISkin* skin = Environment->getSkin();
  video::IVideoDriver* driver = Environment->getVideoDriver();
  if (texture_ != nullptr && driver != nullptr) {
    const core::rect<s32> source(core::position2d<s32>(0, 0), core::dimension2di(texture_->getOriginalSize()));
    if (scale_) {
      const video::SColor colors[] = {color_, color_, color_, color_};
      driver->draw2DImage(texture_, AbsoluteRect, source, &AbsoluteClippingRect, colors, useAlpha_);
    } else {
      driver->draw2DImage(texture_, AbsoluteRect.UpperLeftCorner, source, &AbsoluteClippingRect, color_, useAlpha_);
    }
  } else if (skin != nullptr) {
    skin->draw2DRectangle(this, skin->getColor(EGDC_3D_DARK_SHADOW), AbsoluteRect, &AbsoluteClippingRect);
  }
  IGUIElement::draw();
}

}  // namespace gui
}  // namespace irr
