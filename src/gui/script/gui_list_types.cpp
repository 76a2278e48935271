#include "gui/script/gui_list_types.h"

#include <IGUIComboBox.h>
#include <IGUIContextMenu.h>
#include <IGUIEnvironment.h>

#include "app/base/engine.h"
#include "gui/elements/extended_elements.h"
#include "gui/gui_ids.h"
#include "gui/script/gui_element_types.h"
#include "gui/script/gui_type_support.h"
#include "script/script_engine.h"
#include "script/script_registration.h"

using namespace AngelScript;
using namespace guitypes;
using irr::core::recti;
using irr::gui::CGUIListBoxEx;
using irr::gui::CGUITableEx;
using irr::gui::IGUIComboBox;
using irr::gui::IGUIContextMenu;
using irr::gui::IGUIElement;
using irr::video::SColor;

namespace {

const char kBadListItem[] = "Accessed an out-of-range list box item";
const char kBadCell[] = "Accessed element outside of the table";
const char kBadColumn[] = "Accessed column not in table";

// --- GuiContextMenu ---

IGUIContextMenu* menu(const IGUIElement* element) {
  return const_cast<IGUIContextMenu*>(static_cast<const IGUIContextMenu*>(element));
}

IGUIElement* makeContextMenu(const recti& area, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterMade(engine.gui->addContextMenu(area, parent, reserveGuiId()));
}

irr::u32 addMenuItem(const IGUIElement* element, const ScriptString* text, irr::u32 commandId, bool enabled,
                     bool hasSubMenu, bool checked) {
  const irr::core::stringw caption = textOf(text);
  return menu(element)->addItem(text != nullptr ? caption.c_str() : nullptr, static_cast<irr::s32>(commandId),
                                enabled, hasSubMenu, checked);
}

void removeMenuItem(const IGUIElement* element, int index) { menu(element)->removeItem(static_cast<irr::u32>(index)); }

int selectedMenuItem(const IGUIElement* element) { return menu(element)->getSelectedItem(); }

IGUIElement* subMenu(const IGUIElement* element, irr::u32 index) {
  IGUIContextMenu* sub = menu(element)->getSubMenu(index);
  if (sub == nullptr)
    return nullptr;
  // Part of its menu: the last script release must not take it out.
  sub->setSubElement(true);
  return enterMade(sub);
}

// --- GuiListBox ---

CGUIListBoxEx* listBox(const IGUIElement* element) {
  return const_cast<CGUIListBoxEx*>(static_cast<const CGUIListBoxEx*>(element));
}

// False, with the exception raised, for an index past the items.
bool checkItem(const IGUIElement* element, irr::u32 index) {
  if (index < listBox(element)->getItemCount())
    return true;
  raiseScriptException(kBadListItem);
  return false;
}

IGUIElement* makeListBox(const recti& area, bool drawBackground, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterAllocated(
      new CGUIListBoxEx(engine.gui, guiParentOrRoot(parent), reserveGuiId(), area, drawBackground));
}

void addListItem(IGUIElement* element, const ScriptString* text) { listBox(element)->addItem(textOf(text).c_str()); }

void addListItemWithId(IGUIElement* element, const ScriptString* text, irr::u32 itemId) {
  CGUIListBoxEx* box = listBox(element);
  box->addItem(textOf(text).c_str());
  box->setItemID(box->getItemCount() - 1, itemId);
}

void removeListItem(IGUIElement* element, irr::u32 index) {
  if (checkItem(element, index))
    listBox(element)->removeItem(index);
}

ScriptString* listItem(const IGUIElement* element, irr::u32 index) {
  if (!checkItem(element, index))
    return nullptr;
  return new ScriptString(irr::core::stringw(listBox(element)->getListItem(index)));
}

irr::u32 listItemId(const IGUIElement* element, irr::u32 index) {
  return checkItem(element, index) ? listBox(element)->getItemID(index) : 0;
}

void setListItemId(IGUIElement* element, irr::u32 index, irr::u32 itemId) {
  if (checkItem(element, index))
    listBox(element)->setItemID(index, itemId);
}

void setListItem(IGUIElement* element, irr::u32 index, const ScriptString* text) {
  if (checkItem(element, index))
    listBox(element)->setItem(index, textOf(text).c_str(), listBox(element)->getIcon(index));
}

irr::u32 listItemCount(const IGUIElement* element) { return listBox(element)->getItemCount(); }
int listSelected(const IGUIElement* element) { return listBox(element)->getSelected(); }
void setListSelected(const IGUIElement* element, int index) { listBox(element)->setSelected(index); }
void clearList(IGUIElement* element) { listBox(element)->clear(); }
int listHovered(const IGUIElement* element) { return listBox(element)->getHovered(); }

void setItemOverrideColor(const IGUIElement* element, irr::u32 index, SColor color) {
  if (checkItem(element, index))
    listBox(element)->setItemOverrideColor(index, color);
}

void clearItemOverrideColor(const IGUIElement* element, irr::u32 index) {
  if (checkItem(element, index))
    listBox(element)->clearItemOverrideColor(index);
}

// --- GuiComboBox ---

IGUIComboBox* comboBox(const IGUIElement* element) {
  return const_cast<IGUIComboBox*>(static_cast<const IGUIComboBox*>(element));
}

IGUIElement* makeComboBox(const recti& area, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterMade(engine.gui->addComboBox(area, parent, reserveGuiId()));
}

int comboSelected(const IGUIElement* element) { return comboBox(element)->getSelected(); }
void setComboSelected(IGUIElement* element, int index) { comboBox(element)->setSelected(index); }
int addComboItem(IGUIElement* element, const ScriptString* text) {
  return static_cast<int>(comboBox(element)->addItem(textOf(text).c_str(), 0));
}
void removeComboItem(IGUIElement* element, int index) { comboBox(element)->removeItem(static_cast<irr::u32>(index)); }
ScriptString* comboItem(IGUIElement* element, int index) {
  const wchar_t* text = comboBox(element)->getItem(static_cast<irr::u32>(index));
  return new ScriptString(irr::core::stringw(text != nullptr ? text : L""));
}
int comboItemCount(const IGUIElement* element) { return static_cast<int>(comboBox(element)->getItemCount()); }
void clearCombo(IGUIElement* element) { comboBox(element)->clear(); }

// --- GuiTable ---

CGUITableEx* table(const IGUIElement* element) {
  return const_cast<CGUITableEx*>(static_cast<const CGUITableEx*>(element));
}

// False, with the exception raised, for a cell outside the table.
bool checkCell(const IGUIElement* element, irr::u32 column, irr::u32 row) {
  const CGUITableEx* t = table(element);
  if (row < static_cast<irr::u32>(t->getRowCount()) && column < static_cast<irr::u32>(t->getColumnCount()))
    return true;
  raiseScriptException(kBadCell);
  return false;
}

IGUIElement* makeTable(const recti& area, bool drawBackground, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterAllocated(new CGUITableEx(engine.gui, guiParentOrRoot(parent), reserveGuiId(), area, drawBackground));
}

void addColumn(IGUIElement* element, ScriptString* caption) { table(element)->addColumn(takeText(caption).c_str()); }

void insertColumn(IGUIElement* element, ScriptString* caption, irr::u32 index) {
  const irr::core::stringw text = takeText(caption);
  // The engine appends for an index past its columns (or beyond 31 bits).
  table(element)->addColumn(text.c_str(), index > 0x7FFFFFFFu ? -1 : static_cast<irr::s32>(index));
}

void addRow(IGUIElement* element) { table(element)->addRow(static_cast<irr::u32>(table(element)->getRowCount())); }
void insertRow(IGUIElement* element, irr::u32 index) { table(element)->addRow(index); }

void setCellColor(IGUIElement* element, irr::u32 column, irr::u32 row, SColor color) {
  if (checkCell(element, column, row))
    table(element)->setCellColor(row, column, color);
}

void setCellText(IGUIElement* element, irr::u32 column, irr::u32 row, ScriptString* text) {
  const irr::core::stringw wide = takeText(text);
  if (checkCell(element, column, row))
    table(element)->setCellText(row, column, wide);
}

ScriptString* getCellText(const IGUIElement* element, irr::u32 column, irr::u32 row) {
  if (!checkCell(element, column, row))
    return nullptr;
  const wchar_t* text = table(element)->getCellText(row, column);
  return new ScriptString(irr::core::stringw(text != nullptr ? text : L""));
}

int selectedRow(const IGUIElement* element) { return table(element)->getSelected(); }
void setSelectedRow(IGUIElement* element, int row) { table(element)->setSelected(row); }
int rowCount(const IGUIElement* element) { return table(element)->getRowCount(); }
int columnCount(const IGUIElement* element) { return table(element)->getColumnCount(); }

void setColumnWidth(IGUIElement* element, irr::u32 column, irr::u32 width) {
  if (column >= static_cast<irr::u32>(table(element)->getColumnCount())) {
    raiseScriptException(kBadColumn);
    return;
  }
  table(element)->setColumnWidth(column, width);
}

void clearRows(IGUIElement* element) { table(element)->clearRows(); }
void clearTable(IGUIElement* element) { table(element)->clear(); }
bool isRowVisible(const IGUIElement* element, irr::u32 row) { return table(element)->isRowVisible(row); }

}  // namespace

void registerGuiContextMenu(asIScriptEngine* engine) {
  registerKind(engine, "GuiContextMenu", guiCastTo<IGUIContextMenu>);
  factory(engine, "GuiContextMenu", "@ f(const recti &in, GuiElement@+)", asFUNCTION(makeContextMenu));
  methods(engine, "GuiContextMenu",
          {
              {"uint addItem(const string@+, uint32, bool, bool, bool) const", asFUNCTION(addMenuItem)},
              {"void removeItem(int) const", asFUNCTION(removeMenuItem)},
              {"int getSelected() const", asFUNCTION(selectedMenuItem)},
              {"GuiContextMenu@ getSubMenu(uint32) const", asFUNCTION(subMenu)},
          });
}

void registerGuiListBox(asIScriptEngine* engine) {
  registerKind(engine, "GuiListBox", guiCastTo<CGUIListBoxEx>);
  factory(engine, "GuiListBox", "@ f(const recti &in, bool, GuiElement@+)", asFUNCTION(makeListBox));
  methods(engine, "GuiListBox",
          {
              {"void addItem(const string@+)", asFUNCTION(addListItem)},
              {"void addItem(const string@+, uint)", asFUNCTION(addListItemWithId)},
              {"void removeItem(uint)", asFUNCTION(removeListItem)},
              {"string@ getItem(uint) const", asFUNCTION(listItem)},
              {"uint getItemID(uint) const", asFUNCTION(listItemId)},
              {"void setItemID(uint, uint)", asFUNCTION(setListItemId)},
              {"void setItem(uint, const string@+)", asFUNCTION(setListItem)},
              {"uint getItemCount() const", asFUNCTION(listItemCount)},
              {"int getSelected() const", asFUNCTION(listSelected)},
              {"void setSelected(int) const", asFUNCTION(setListSelected)},
              {"void clear()", asFUNCTION(clearList)},
              {"int getHovered() const", asFUNCTION(listHovered)},
              {"void setItemOverrideColor(uint, Color) const", asFUNCTION(setItemOverrideColor)},
              {"void clearItemOverrideColor(uint) const", asFUNCTION(clearItemOverrideColor)},
          });
}

void registerGuiComboBox(asIScriptEngine* engine) {
  registerKind(engine, "GuiComboBox", guiCastTo<IGUIComboBox>);
  factory(engine, "GuiComboBox", "@ f(const recti &in, GuiElement@+)", asFUNCTION(makeComboBox));
  methods(engine, "GuiComboBox",
          {
              {"int getSelected() const", asFUNCTION(comboSelected)},
              {"void setSelected(int)", asFUNCTION(setComboSelected)},
              {"int addItem(const string@+)", asFUNCTION(addComboItem)},
              {"void removeItem(int)", asFUNCTION(removeComboItem)},
              {"string@ getItem(int)", asFUNCTION(comboItem)},
              {"int getItemCount() const", asFUNCTION(comboItemCount)},
              {"void clear()", asFUNCTION(clearCombo)},
          });
}

void registerGuiTable(asIScriptEngine* engine) {
  registerKind(engine, "GuiTable", guiCastTo<CGUITableEx>);
  factory(engine, "GuiTable", "@ f(const recti &in, bool, GuiElement@+)", asFUNCTION(makeTable));
  methods(engine, "GuiTable",
          {
              {"void addColumn(const string@)", asFUNCTION(addColumn)},
              {"void addColumn(const string@, uint)", asFUNCTION(insertColumn)},
              {"void addRow()", asFUNCTION(addRow)},
              {"void addRow(uint)", asFUNCTION(insertRow)},
              {"void setCellColor(uint, uint, Color)", asFUNCTION(setCellColor)},
              {"void setCellText(uint, uint, const string@)", asFUNCTION(setCellText)},
              {"string@ getCellText(uint, uint) const", asFUNCTION(getCellText)},
              {"int getSelectedRow() const", asFUNCTION(selectedRow)},
              {"void setSelectedRow(int)", asFUNCTION(setSelectedRow)},
              {"int getRowCount() const", asFUNCTION(rowCount)},
              {"int getColCount() const", asFUNCTION(columnCount)},
              {"void setColWidth(uint, uint)", asFUNCTION(setColumnWidth)},
              {"void clearRows()", asFUNCTION(clearRows)},
              {"void clear()", asFUNCTION(clearTable)},
              {"bool isRowVisible(uint) const", asFUNCTION(isRowVisible)},
          });
}
