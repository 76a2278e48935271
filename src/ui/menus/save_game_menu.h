// The save-game dialog of the escape menu: a window "Save Game" listing the
// files of the saves folder, an edit box for a name and a "Save" button.
//
// Choosing a listed save copies its name into the edit box; choosing it
// again (a double click) asks "Overwrite Save?" and, on OK, saves over it.
// "Save" (or Enter in the edit box) saves under the typed name without
// asking. Either way the game is saved with no rotated copies and the
// dialog closes. A name with a folder ('/' or '\'), "." or ".." is refused
// with "May not specify a directory with saves" (logged and shown); the
// dialog then stays open and nothing is written.
//
// The window, its controls and the overwrite question all have the id
// kSaveGameMenuId, bound to the open dialog. Main thread only.
#pragma once

#include <IEventReceiver.h>
#include <IGUIEditBox.h>
#include <IGUIListBox.h>
#include <IGUIWindow.h>
#include <irrString.h>

#include <cstdint>

#include "gui/base/gui_callbacks.h"

constexpr int32_t kSaveGameMenuId = -999999;

// What saves the running game: a name (no folder, ".qvs" optional) and the
// number of older copies to keep; true when the file was written.
using GameSaver = bool (*)(const irr::core::stringc& name, int rotations);

class SaveGameMenu : public GuiCallback {
 public:
  // Opens the window, listing the saves folder (userFolders.saves) by path.
  explicit SaveGameMenu(GameSaver saver);
  // Removes the window (unless its close box did) and the id's callback.
  ~SaveGameMenu() override;
  SaveGameMenu(const SaveGameMenu&) = delete;
  SaveGameMenu& operator=(const SaveGameMenu&) = delete;

  bool OnEvent(const irr::SEvent& event) override;

  irr::gui::IGUIWindow* window() const { return window_; }
  irr::gui::IGUIListBox* list() const { return list_; }
  irr::gui::IGUIEditBox* nameBox() const { return name_; }
  irr::gui::IGUIButton* saveButton() const { return save_; }

 private:
  // Saves under `name` and closes the dialog; a refused name shows why and
  // leaves it open.
  void saveAndClose(const irr::core::stringw& name);

  GameSaver saver_;
  irr::gui::IGUIWindow* window_ = nullptr;
  irr::gui::IGUIListBox* list_ = nullptr;
  irr::gui::IGUIEditBox* name_ = nullptr;
  irr::gui::IGUIButton* save_ = nullptr;
  irr::core::stringw overwriteName_;
};

// The open dialog, or null.
extern SaveGameMenu* saveGameMenu;
// Replaces the open dialog, if any, by a new one.
void openSaveGameMenu(GameSaver saver);
// Deletes the open dialog, if any.
void closeSaveGameMenu();

// True when `name` names a file inside the saves folder: no '/' or '\', and
// not "." or "..". Otherwise shows (and logs) why and returns false.
bool checkSaveName(const irr::core::stringc& name);
