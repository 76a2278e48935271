#include "ui/menus/session_menus.h"

#include <IGUIEnvironment.h>
#include <IGUIWindow.h>
#include <IrrlichtDevice.h>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "core/locale.h"
#include "gui/base/gui_callbacks.h"
#include "net/irc_window.h"
#include "ui/key_bindings.h"
#include "ui/menus/escape_menu.h"
#include "ui/menus/options_menu.h"

namespace {

enum class Confirmed { kNothing, kMainMenu, kExit };

GameSaver sessionSaver = nullptr;
Confirmed pending = Confirmed::kNothing;
irr::gui::IGUIWindow* confirmBox = nullptr;  // counted while held

void dropConfirmBox(bool remove) {
  irr::gui::IGUIWindow* box = confirmBox;
  confirmBox = nullptr;
  pending = Confirmed::kNothing;
  if (box == nullptr)
    return;
  if (remove)
    box->remove();
  box->drop();
}

void askToConfirm(Confirmed action, const wchar_t* captionKey, const wchar_t* textKey) {
  if (engine.gui == nullptr)
    return;
  dropConfirmBox(true);
  const irr::core::stringw caption = getLocalizedText(captionKey);
  const irr::core::stringw text = getLocalizedText(textKey);
  bindGuiCallbackFunction(confirmBoxClicked, kConfirmBoxId);
  confirmBox = engine.gui->addMessageBox(caption.c_str(), text.c_str(), true, irr::gui::EMBF_OK | irr::gui::EMBF_CANCEL,
                                         nullptr, kConfirmBoxId);
  if (confirmBox == nullptr)
    return;
  confirmBox->grab();
  pending = action;
}

void onOptions() { openOptionsMenuAt(optionsSettingsPath()); }

void onQuicksave() {
  if (sessionSaver != nullptr)
    sessionSaver("quicksave", iRotateSaves);
}

void onSave() { openSaveGameMenu(sessionSaver); }

void onOpenIrc() { openIRC(); }

void onMainMenu() { askToConfirm(Confirmed::kMainMenu, L"#EMT_ConfirmMenu", L"#EM_ConfirmMenu"); }

void onExit() { askToConfirm(Confirmed::kExit, L"#EMT_ConfirmQuit", L"#EM_ConfirmQuit"); }

}  // namespace

bool confirmBoxClicked(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT)
    return false;
  const irr::gui::EGUI_EVENT_TYPE type = event.GUIEvent.EventType;
  if (type != irr::gui::EGET_MESSAGEBOX_OK && type != irr::gui::EGET_MESSAGEBOX_CANCEL)
    return false;
  const Confirmed action = type == irr::gui::EGET_MESSAGEBOX_OK ? pending : Confirmed::kNothing;
  // The box removes itself once this returns.
  dropConfirmBox(false);
  switch (action) {
    case Confirmed::kMainMenu:
      gameRunning = false;
      break;
    case Confirmed::kExit:
      if (engine.device != nullptr)
        engine.device->closeDevice();
      break;
    case Confirmed::kNothing:
      break;
  }
  return false;
}

void buildSessionEscapeMenu(bool networkClient, GameSaver saver) {
  tearDownSessionEscapeMenu();
  sessionSaver = saver;
  auto* menu = new EscapeMenu;
  const auto add = [menu](EscapeMenu::Callback callback, const wchar_t* key) {
    const irr::core::stringw label = getLocalizedText(key);
    menu->addButton(callback, label.c_str());
  };
  add(onOptions, L"#EM_Options");
  if (!networkClient) {
    add(onQuicksave, L"#EM_Quicksave");
    add(onSave, L"#EM_Save");
  }
  add(onOpenIrc, L"#EM_OpenIRC");
  add(onMainMenu, L"#EM_MainMenu");
  add(onExit, L"#EM_Exit");
  add(nullptr, L"#EM_Close");
  sessionEscapeMenu = menu;
  keyBindings.bindAction(kEscapeKeyCode, escapeKeyNativeAction());
}

void tearDownSessionEscapeMenu() {
  EscapeMenu* menu = sessionEscapeMenu;
  sessionEscapeMenu = nullptr;
  delete menu;
  keyBindings.unbind(kEscapeKeyCode);
  closeOpenOptionsMenu();
  closeSaveGameMenu();
  dropConfirmBox(true);
  sessionSaver = nullptr;
}
