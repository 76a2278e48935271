// The options dialog: a window with a tab control of six pages (Game, Keys,
// Graphics, Audio, Camera, Experimental) and the buttons Save and Close.
//
// Opening reads the settings file into a copy of its own (`settings`, also
// handed to the option handlers as `optionsSettings`). Every control changes
// the running program at once and the copy with it; only Save writes the
// copy to the file, and Close (or the window's close box) forgets whatever
// was not saved. One dialog is open at a time (`optionsDialog`).
//
// Main thread only.
#pragma once

#include <IEventReceiver.h>
#include <IGUICheckBox.h>
#include <IGUITabControl.h>
#include <IGUIWindow.h>

#include <cstdint>
#include <memory>
#include <string>

class IniFile;
class ToggleBool;

// Element ids of the dialog's frame.
constexpr int32_t kOptionsWindowId = -5000;
constexpr int32_t kOptionsCloseId = -5000;  // the Close button shares the window's id
constexpr int32_t kOptionsSaveId = -4850;
constexpr int32_t kOptionsTabsId = -4999;
// Experimental check boxes: this plus their grid index.
constexpr int32_t kOptionCheckboxBaseId = -768200;

struct OptionsDialog {
  std::unique_ptr<IniFile> settings;
  std::string path;
  irr::gui::IGUIWindow* window = nullptr;  // counted while open
  // closeOptionsMenu removes the window; cleared when its close box closed
  // it (the GUI removes it then).
  bool removeWindow = false;

  OptionsDialog();
  ~OptionsDialog();
};

// The open dialog, or null.
extern OptionsDialog* optionsDialog;

// Opens `dialog` on the settings file at `path` and builds its pages. Throws
// std::runtime_error "Only one menu may be opened at a time." while a dialog
// is open, and "Ini file could not be opened" when the file cannot be read;
// either way nothing is built, nothing changes, and the caller still owns
// (and deletes) `dialog`. Once open, the dialog deletes itself when closed.
void openOptionsMenu(OptionsDialog* dialog, const std::string& path);
// Opens a new dialog on `path` unless one is open; an error is logged as
// "Options menu error: %s\n". True when a dialog was opened.
bool openOptionsMenuAt(const std::string& path);
// The settings file the game reads: "Corvane/config.cfg" in the user's
// data folder.
std::string optionsSettingsPath();

// Writes the open dialog's copy to its file, replacing it; logs
// "%s could not be opened\n" when that fails. The dialog stays open.
void saveOptions();
// GUI callbacks. Save: on a click, saveOptions, handled. Close (button or
// close box): closes and deletes the open dialog, never handled.
bool saveOptionsClicked(const irr::SEvent& event);
bool closeOptionsClicked(const irr::SEvent& event);

// Tears `dialog` down: its copy goes, its pages and window leave the GUI
// (unless the GUI removes the window itself), and no dialog is open
// afterwards. The caller deletes the object.
void closeOptionsMenu(OptionsDialog* dialog);
// Closes and deletes the open dialog, if any (the end of a session).
void closeOpenOptionsMenu();

// A check box in a grid of three columns (145 x 22 pixels, 150 apart, rows
// 25 apart from y = 8), showing `toggle` and bound to it by the id
// kOptionCheckboxBaseId + counter; counter moves to the next cell.
irr::gui::IGUICheckBox* addOptionCheckbox(int32_t& counter, ToggleBool& toggle, irr::gui::IGUIElement* parent,
                                          const wchar_t* label);
// The "Experimental" tab: deferred textures, threaded graphics, smaller and
// larger packets.
void buildExperimentalPage(irr::gui::IGUITabControl* tabs);
