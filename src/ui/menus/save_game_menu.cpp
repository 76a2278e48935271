#include "ui/menus/save_game_menu.h"

#include <IGUIButton.h>
#include <IGUIEnvironment.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "app/base/message_box.h"
#include "core/user_folders.h"
#include "core/utf8.h"
#include "platform/directory.h"

using irr::core::recti;
using irr::core::stringc;
using irr::core::stringw;

SaveGameMenu* saveGameMenu = nullptr;

namespace {

constexpr char kNoDirectory[] = "May not specify a directory with saves";
constexpr irr::s32 kWidth = 300;
constexpr irr::s32 kHeight = 320;

stringc narrowName(const stringw& name) { return stringc(wideToUtf8(std::wstring(name.c_str(), name.size())).c_str()); }

// The names of the saves folder's files, sorted.
std::vector<std::string> savedFiles() {
  std::vector<plat::DirectoryEntry> entries;
  std::vector<std::string> names;
  if (!plat::listDirectory(userFolders.saves.c_str(), entries))
    return names;
  for (const plat::DirectoryEntry& entry : entries)
    if (!entry.isDirectory)
      names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool checkSaveName(const stringc& name) {
  if (name.findFirst('/') < 0 && name.findFirst('\\') < 0 && name != "." && name != "..")
    return true;
  showMessageBox("Save Game", kNoDirectory);
  return false;
}

SaveGameMenu::SaveGameMenu(GameSaver saver) : saver_(saver) {
  irr::gui::IGUIEnvironment* gui = engine.gui;
  const irr::core::dimension2di screen = gui->getRootGUIElement()->getAbsolutePosition().getSize();
  const irr::s32 left = std::max<irr::s32>(0, (static_cast<irr::s32>(screen.Width) - kWidth) / 2);
  const irr::s32 top = std::max<irr::s32>(0, (static_cast<irr::s32>(screen.Height) - kHeight) / 2);
  window_ =
      gui->addWindow(recti(left, top, left + kWidth, top + kHeight), false, L"Save Game", nullptr, kSaveGameMenuId);
  list_ = gui->addListBox(recti(8, 26, kWidth - 8, kHeight - 40), window_, kSaveGameMenuId, true);
  for (const std::string& name : savedFiles())
    list_->addItem(utf8ToWide(name).c_str());
  name_ = gui->addEditBox(L"", recti(8, kHeight - 32, kWidth - 80, kHeight - 8), true, window_, kSaveGameMenuId);
  save_ = gui->addButton(recti(kWidth - 72, kHeight - 32, kWidth - 8, kHeight - 8), window_, kSaveGameMenuId, L"Save",
                         L"Save the game using the entered name.\nDoes not need the \".qvs\" extension.");
  bindGuiCallbackObject(this, kSaveGameMenuId);
}

SaveGameMenu::~SaveGameMenu() {
  if (saveGameMenu == this)
    saveGameMenu = nullptr;
  if (window_ != nullptr)
    window_->remove();
  removeGuiCallback(kSaveGameMenuId);
}

void SaveGameMenu::saveAndClose(const stringw& name) {
  const stringc narrow = narrowName(name);
  if (!checkSaveName(narrow))
    return;
  if (saver_ != nullptr)
    saver_(narrow, 0);
  // A failed save has shown its own message; the dialog closes all the same.
  delete this;
}

bool SaveGameMenu::OnEvent(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT)
    return false;
  irr::gui::IGUIElement* caller = event.GUIEvent.Caller;
  switch (event.GUIEvent.EventType) {
    case irr::gui::EGET_LISTBOX_CHANGED:
      if (caller == list_ && list_->getSelected() >= 0)
        name_->setText(list_->getListItem(static_cast<irr::u32>(list_->getSelected())));
      return false;
    case irr::gui::EGET_LISTBOX_SELECTED_AGAIN: {
      if (caller != list_ || list_->getSelected() < 0)
        return false;
      overwriteName_ = list_->getListItem(static_cast<irr::u32>(list_->getSelected()));
      const stringw question = stringw(L"Overwrite save game \"") + overwriteName_ + L"\"?";
      engine.gui->addMessageBox(L"Overwrite Save?", question.c_str(), true, irr::gui::EMBF_OK | irr::gui::EMBF_CANCEL,
                                nullptr, kSaveGameMenuId);
      return false;
    }
    case irr::gui::EGET_MESSAGEBOX_OK:
      if (overwriteName_.empty())
        return false;
      saveAndClose(overwriteName_);
      return false;
    case irr::gui::EGET_BUTTON_CLICKED:
    case irr::gui::EGET_EDITBOX_ENTER: {
      if (caller != save_ && caller != name_)
        return false;
      const stringw typed = name_->getText();
      if (!typed.empty())
        saveAndClose(typed);
      return true;
    }
    case irr::gui::EGET_ELEMENT_CLOSED:
      // The close box: the GUI removes the window once this returns.
      if (caller != window_)
        return false;
      window_ = nullptr;
      delete this;
      return false;
    default:
      return false;
  }
}

void openSaveGameMenu(GameSaver saver) {
  closeSaveGameMenu();
  saveGameMenu = new SaveGameMenu(saver);
}

void closeSaveGameMenu() {
  SaveGameMenu* menu = saveGameMenu;
  saveGameMenu = nullptr;
  delete menu;
}
