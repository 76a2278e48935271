// Our extensions of the engine's stock list box, table, edit box and image,
// for the GUI script types (gui/script/gui_element_types.h).
//
// The engine does not let us derive from its stock element classes, so the
// list box, the table and the edit box each hold the engine's own element as
// their one child, filling them (a sub-element: tool tips and hovering name
// the outer element), and forward the element interface to it. Every GUI
// event that the inner element raises goes on to our parent with the outer
// element as its caller, so callbacks and scripts only ever see the outer
// element. The image is drawn by our own class.
//
// What the extensions add:
//   list box   a 32-bit ID per item (0 for a new item), the index of the item
//              under the mouse (-1 for none); a change of that item raises
//              kEngineGuiListboxHovered, a right button release over the box
//              kEngineGuiRightClicked (gui/gui_events.h)
//   table      whether a row lies inside the visible part of the table
//   edit box   a text-mark setter (the multi-line switch is the engine's)
//   image      an input switch: off, the image is never under the mouse and
//              clicks reach what lies beneath it
#pragma once

#include <IGUIEditBox.h>
#include <IGUIEnvironment.h>
#include <IGUIImage.h>
#include <IGUIListBox.h>
#include <IGUITable.h>

#include <vector>

#include "gui/gui_events.h"

namespace irr {
namespace gui {

// Base of the wrapping elements: makes the engine element through `make`
// (the environment's add call with the given rectangle and this element as
// parent) and holds it.
template <class Interface>
class CGUIWrappedElement : public Interface {
 public:
  ~CGUIWrappedElement() override {
    if (inner_ != nullptr)
      inner_->drop();
  }
  Interface* inner() const { return inner_; }

  // A handler further up may remove us: we hold ourselves meanwhile.
  bool OnEvent(const SEvent& event) override {
    this->grab();
    bool handled = false;
    if (event.EventType == EET_GUI_EVENT && event.GUIEvent.Caller == inner_) {
      SEvent raised = event;
      raised.GUIEvent.Caller = this;
      onInnerGuiEvent(raised);
      handled = this->Parent != nullptr && this->Parent->OnEvent(raised);
    } else {
      if (event.EventType == EET_MOUSE_INPUT_EVENT)
        onMouse(event.MouseInput);
      handled = IGUIElement::OnEvent(event);
    }
    this->drop();
    return handled;
  }

 protected:
  CGUIWrappedElement(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle)
      : Interface(environment, parent, id, rectangle) {}

  // Takes the engine element (one reference held) and fits it to us.
  void adopt(Interface* element) {
    inner_ = element;
    if (inner_ == nullptr)
      return;
    inner_->grab();
    inner_->setSubElement(true);
    inner_->setTabStop(false);
    inner_->setAlignment(EGUIA_UPPERLEFT, EGUIA_LOWERRIGHT, EGUIA_UPPERLEFT, EGUIA_LOWERRIGHT);
  }
  core::rect<s32> innerRect() const {
    return core::rect<s32>(0, 0, this->RelativeRect.getWidth(), this->RelativeRect.getHeight());
  }
  // Raises a GUI event of ours to the parent, with us as its caller.
  void raise(s32 code);

  virtual void onInnerGuiEvent(const SEvent&) {}
  virtual void onMouse(const SEvent::SMouseInput&) {}

  Interface* inner_ = nullptr;
};

class CGUIListBoxEx : public CGUIWrappedElement<IGUIListBox> {
 public:
  CGUIListBoxEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle,
                bool drawBackground);

  // The item's ID; 0 for an index past the end.
  u32 getItemID(u32 index) const { return index < ids_.size() ? ids_[index] : 0; }
  // Does nothing for an index past the end.
  void setItemID(u32 index, u32 itemId) {
    if (index < ids_.size())
      ids_[index] = itemId;
  }
  // The item under the mouse, -1 for none.
  s32 getHovered() const { return hovered_; }

  // IGUIListBox, forwarded; the item IDs follow every change of the items.
  u32 getItemCount() const override { return inner_->getItemCount(); }
  const wchar_t* getListItem(u32 id) const override { return inner_->getListItem(id); }
  u32 addItem(const wchar_t* text) override;
  u32 addItem(const wchar_t* text, s32 icon) override;
  void removeItem(u32 index) override;
  s32 getItemAt(s32 xpos, s32 ypos) const override { return inner_->getItemAt(xpos, ypos); }
  s32 getIcon(u32 index) const override { return inner_->getIcon(index); }
  void setSpriteBank(IGUISpriteBank* bank) override { inner_->setSpriteBank(bank); }
  void clear() override;
  s32 getSelected() const override { return inner_->getSelected(); }
  void setSelected(s32 index) override { inner_->setSelected(index); }
  void setSelected(const wchar_t* item) override { inner_->setSelected(item); }
  void setAutoScrollEnabled(bool scroll) override { inner_->setAutoScrollEnabled(scroll); }
  bool isAutoScrollEnabled() const override { return inner_->isAutoScrollEnabled(); }
  // The colour setters and readers do nothing (read the default) for an
  // index past the end: the engine's one-colour setter does not check.
  void setItemOverrideColor(u32 index, video::SColor color) override;
  void setItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType, video::SColor color) override;
  void clearItemOverrideColor(u32 index) override;
  void clearItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType) override;
  bool hasItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType) const override;
  video::SColor getItemOverrideColor(u32 index, EGUI_LISTBOX_COLOR colorType) const override;
  video::SColor getItemDefaultColor(EGUI_LISTBOX_COLOR colorType) const override {
    return inner_->getItemDefaultColor(colorType);
  }
  void setItem(u32 index, const wchar_t* text, s32 icon) override;
  s32 insertItem(u32 index, const wchar_t* text, s32 icon) override;
  void swapItems(u32 index1, u32 index2) override;
  void setItemHeight(s32 height) override { inner_->setItemHeight(height); }
  void setDrawBackground(bool draw) override { inner_->setDrawBackground(draw); }

 protected:
  void onInnerGuiEvent(const SEvent& event) override;
  void onMouse(const SEvent::SMouseInput& mouse) override;

 private:
  void setHovered(s32 index);

  std::vector<u32> ids_;  // one per engine item
  s32 hovered_ = -1;
};

class CGUITableEx : public CGUIWrappedElement<IGUITable> {
 public:
  CGUITableEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle,
              bool drawBackground);

  // Whether any part of the row lies between the header and the bottom of
  // the table's client area at the current scroll position; false for a
  // row that does not exist.
  bool isRowVisible(u32 row) const;

  void addColumn(const wchar_t* caption, s32 columnIndex = -1) override { inner_->addColumn(caption, columnIndex); }
  void removeColumn(u32 columnIndex) override { inner_->removeColumn(columnIndex); }
  s32 getColumnCount() const override { return inner_->getColumnCount(); }
  bool setActiveColumn(s32 idx, bool doOrder = false) override { return inner_->setActiveColumn(idx, doOrder); }
  s32 getActiveColumn() const override { return inner_->getActiveColumn(); }
  EGUI_ORDERING_MODE getActiveColumnOrdering() const override { return inner_->getActiveColumnOrdering(); }
  void setColumnWidth(u32 columnIndex, u32 width) override { inner_->setColumnWidth(columnIndex, width); }
  u32 getColumnWidth(u32 columnIndex) const override { return inner_->getColumnWidth(columnIndex); }
  void setResizableColumns(bool resizable) override { inner_->setResizableColumns(resizable); }
  bool hasResizableColumns() const override { return inner_->hasResizableColumns(); }
  void setColumnOrdering(u32 columnIndex, EGUI_COLUMN_ORDERING mode) override {
    inner_->setColumnOrdering(columnIndex, mode);
  }
  s32 getSelected() const override { return inner_->getSelected(); }
  void setSelected(s32 index) override { inner_->setSelected(index); }
  s32 getRowCount() const override { return inner_->getRowCount(); }
  u32 addRow(u32 rowIndex) override { return inner_->addRow(rowIndex); }
  void removeRow(u32 rowIndex) override { inner_->removeRow(rowIndex); }
  void clearRows() override { inner_->clearRows(); }
  void swapRows(u32 rowIndexA, u32 rowIndexB) override { inner_->swapRows(rowIndexA, rowIndexB); }
  void orderRows(s32 columnIndex = -1, EGUI_ORDERING_MODE mode = EGOM_NONE) override {
    inner_->orderRows(columnIndex, mode);
  }
  void setCellText(u32 rowIndex, u32 columnIndex, const core::stringw& text) override {
    inner_->setCellText(rowIndex, columnIndex, text);
  }
  void setCellText(u32 rowIndex, u32 columnIndex, const core::stringw& text, video::SColor color) override {
    inner_->setCellText(rowIndex, columnIndex, text, color);
  }
  void setCellData(u32 rowIndex, u32 columnIndex, void* data) override {
    inner_->setCellData(rowIndex, columnIndex, data);
  }
  void setCellColor(u32 rowIndex, u32 columnIndex, video::SColor color) override {
    inner_->setCellColor(rowIndex, columnIndex, color);
  }
  const wchar_t* getCellText(u32 rowIndex, u32 columnIndex) const override {
    return inner_->getCellText(rowIndex, columnIndex);
  }
  void* getCellData(u32 rowIndex, u32 columnIndex) const override { return inner_->getCellData(rowIndex, columnIndex); }
  void clear() override { inner_->clear(); }
  void setDrawFlags(s32 flags) override { inner_->setDrawFlags(flags); }
  s32 getDrawFlags() const override { return inner_->getDrawFlags(); }
};

class CGUIEditBoxEx : public CGUIWrappedElement<IGUIEditBox> {
 public:
  CGUIEditBoxEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle,
                const wchar_t* text, bool border);

  // Marks the text from character `begin` to character `end` (either may be
  // the larger; both are kept within the text), the cursor at `end`.
  void setTextMark(u32 begin, u32 end);

  void setText(const wchar_t* text) override { inner_->setText(text); }
  const wchar_t* getText() const override { return inner_->getText(); }

  void setOverrideFont(IGUIFont* font = 0) override { inner_->setOverrideFont(font); }
  IGUIFont* getOverrideFont() const override { return inner_->getOverrideFont(); }
  IGUIFont* getActiveFont() const override { return inner_->getActiveFont(); }
  void setOverrideColor(video::SColor color) override { inner_->setOverrideColor(color); }
  video::SColor getOverrideColor() const override { return inner_->getOverrideColor(); }
  void enableOverrideColor(bool enable) override { inner_->enableOverrideColor(enable); }
  bool isOverrideColorEnabled() const override { return inner_->isOverrideColorEnabled(); }
  void setDrawBackground(bool draw) override { inner_->setDrawBackground(draw); }
  void setDrawBorder(bool border) override { inner_->setDrawBorder(border); }
  void setTextAlignment(EGUI_ALIGNMENT horizontal, EGUI_ALIGNMENT vertical) override {
    inner_->setTextAlignment(horizontal, vertical);
  }
  void setWordWrap(bool enable) override { inner_->setWordWrap(enable); }
  bool isWordWrapEnabled() const override { return inner_->isWordWrapEnabled(); }
  void setMultiLine(bool enable) override { inner_->setMultiLine(enable); }
  bool isMultiLineEnabled() const override { return inner_->isMultiLineEnabled(); }
  void setAutoScroll(bool enable) override { inner_->setAutoScroll(enable); }
  bool isAutoScrollEnabled() const override { return inner_->isAutoScrollEnabled(); }
  void setPasswordBox(bool passwordBox, wchar_t passwordChar = L'*') override {
    inner_->setPasswordBox(passwordBox, passwordChar);
  }
  bool isPasswordBox() const override { return inner_->isPasswordBox(); }
  core::dimension2du getTextDimension() override { return inner_->getTextDimension(); }
  void setMax(u32 max) override { inner_->setMax(max); }
  u32 getMax() const override { return inner_->getMax(); }

 private:
  void sendKey(EKEY_CODE key, bool shift, bool control);
};

class CGUIImageEx : public IGUIImage {
 public:
  CGUIImageEx(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle);
  ~CGUIImageEx() override;

  // Off: the image is never under the mouse (clicks go through it).
  void setInputEnabled(bool enabled) { inputEnabled_ = enabled; }
  bool isInputEnabled() const { return inputEnabled_; }
  bool isPointInside(const core::position2d<s32>& point) const override {
    return inputEnabled_ && IGUIElement::isPointInside(point);
  }

  void setImage(video::ITexture* image) override;
  video::ITexture* getImage() const override { return texture_; }
  void setColor(video::SColor color) override { color_ = color; }
  void setScaleImage(bool scale) override { scale_ = scale; }
  void setUseAlphaChannel(bool use) override { useAlpha_ = use; }
  video::SColor getColor() const override { return color_; }
  bool isImageScaled() const override { return scale_; }
  bool isAlphaChannelUsed() const override { return useAlpha_; }
  void draw() override;

 private:
  video::ITexture* texture_ = nullptr;  // held
  video::SColor color_{255, 255, 255, 255};
  bool scale_ = false;
  bool useAlpha_ = false;
  bool inputEnabled_ = true;
};

template <class Interface>
void CGUIWrappedElement<Interface>::raise(s32 code) {
  if (this->Parent == nullptr)
    return;
  SEvent event;
  event.EventType = EET_GUI_EVENT;
  event.GUIEvent.Caller = this;
  event.GUIEvent.Element = nullptr;
  setEngineGuiEventCode(event.GUIEvent, code);
  this->Parent->OnEvent(event);
}

}  // namespace gui
}  // namespace irr
