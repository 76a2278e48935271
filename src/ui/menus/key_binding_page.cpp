#include "ui/menus/key_binding_page.h"

#include <IGUIEnvironment.h>

#include "app/base/engine.h"
#include "core/locale.h"
#include "ui/key_bindings.h"
#include "ui/key_controls.h"

using irr::core::stringw;

namespace {

constexpr irr::s32 kActionColumnWidth = 300;
constexpr irr::s32 kKeyColumnWidth = 160;
const wchar_t kAwaitingKey[] = L"Press Any Key";

// The first key recorded for `action`, or -1.
int firstKeyOf(const NativeKeyAction* action) {
  const KeyBindings::ActionKeyIndex& index = keyBindings.actionKeys();
  const auto first = index.lower_bound(action);
  return first != index.end() && first->first == action ? first->second : -1;
}

stringw firstKeyText(const NativeKeyAction* action) {
  const int key = firstKeyOf(action);
  return key >= 0 ? keyDisplayName(static_cast<uint8_t>(key)) : stringw();
}

}  // namespace

keyReceiver::keyReceiver(irr::gui::IGUIEnvironment* environment, irr::gui::IGUIElement* parent,
                         const irr::core::recti& rectangle)
    : IGUIElement(irr::gui::EGUIET_ELEMENT, environment, parent, -1, rectangle) {
  const irr::core::recti whole(0, 0, rectangle.getWidth(), rectangle.getHeight());
  table_ = environment->addTable(whole, this, -1);
  table_->addColumn(L"Action");
  table_->setColumnWidth(0, kActionColumnWidth);
  table_->addColumn(L"Key");
  table_->setColumnWidth(1, kKeyColumnWidth);

  // Row i shows action i of the table in name order.
  KeyActionTable& actions = keyActionTable();
  actions.sort();
  for (irr::u32 i = 0; i < actions.size(); ++i) {
    table_->addRow(i);
    const stringw key = stringw(L"#") + actions[i].name;
    const wchar_t* label = nullptr;
    table_->setCellText(i, 0, findLocaleEntry(key, &label) ? stringw(label) : key);
    table_->setCellText(i, 1, firstKeyText(actions[i].value));
  }
}

bool keyReceiver::OnEvent(const irr::SEvent& event) {
  if (event.EventType == irr::EET_GUI_EVENT && event.GUIEvent.EventType == irr::gui::EGET_TABLE_SELECTED_AGAIN &&
      event.GUIEvent.Caller == table_) {
    const irr::s32 row = table_->getSelected();
    const KeyActionTable& actions = keyActionTable();
    if (row >= 0 && static_cast<irr::u32>(row) < actions.size()) {
      captureName_ = actions[static_cast<irr::u32>(row)].name;
      table_->setCellText(static_cast<irr::u32>(row), 1, kAwaitingKey);
    }
  } else if (event.EventType == irr::EET_KEY_INPUT_EVENT && !captureName_.empty()) {
    const irr::u32 key = static_cast<irr::u32>(event.KeyInput.Key);
    const irr::s32 row = findKeyAction(captureName_);
    captureName_ = L"";
    if (row < 0)
      return true;  // the action is gone: nothing to bind
    NativeKeyAction* action = keyActionTable()[static_cast<irr::u32>(row)].value;
    const irr::u32 cell = static_cast<irr::u32>(row);
    if (key == irr::KEY_ESCAPE || key == 0 || key >= static_cast<irr::u32>(KeyBindings::kKeyCount)) {
      table_->setCellText(cell, 1, firstKeyText(action));
      return true;
    }
    // The new key takes the place of the action's first one.
    const int previous = firstKeyOf(action);
    if (previous >= 0)
      keyBindings.unbind(static_cast<uint8_t>(previous));
    keyBindings.bindAction(static_cast<uint8_t>(key), action);
    table_->setCellText(cell, 1, keyDisplayName(static_cast<uint8_t>(key)));
    saveKeyBindings(controlsConfigPath());
    return true;
  }
  return Parent != nullptr && Parent->OnEvent(event);
}

keyReceiver* createKeyBindingPage(irr::gui::IGUIElement* tab) {
  if (engine.gui == nullptr)
    return nullptr;
  irr::gui::IGUIElement* parent = tab != nullptr ? tab : engine.gui->getRootGUIElement();
  auto* page = new keyReceiver(engine.gui, parent, irr::core::recti(4, 4, 492, 310));
  page->drop();  // the parent holds it
  return page;
}
