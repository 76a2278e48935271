#include "ui/menus/options_menu.h"

#include <IGUIButton.h>
#include <IGUICheckBox.h>
#include <IGUIEnvironment.h>

#include <stdexcept>

#include "app/base/engine.h"
#include "core/ini_file.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/user_folders.h"
#include "gui/base/gui_callbacks.h"
#include "platform/file.h"
#include "ui/menus/key_binding_page.h"
#include "ui/menus/option_handlers.h"
#include "ui/menus/options_pages.h"

using irr::core::recti;

OptionsDialog* optionsDialog = nullptr;

namespace {

constexpr char kOneMenuAtATime[] = "Only one menu may be opened at a time.";
constexpr char kUnreadable[] = "Ini file could not be opened";

// Removes the children of `element` one by one.
void removeChildren(irr::gui::IGUIElement* element) {
  while (!element->getChildren().empty())
    (*element->getChildren().begin())->remove();
}

bool inside(const irr::gui::IGUIElement* element, const irr::gui::IGUIElement* container) {
  for (; element != nullptr; element = element->getParent())
    if (element == container)
      return true;
  return false;
}

}  // namespace

OptionsDialog::OptionsDialog() = default;
OptionsDialog::~OptionsDialog() = default;

std::string optionsSettingsPath() { return std::string(userDataFolder.c_str()) + "/Corvane/config.cfg"; }

void openOptionsMenu(OptionsDialog* dialog, const std::string& path) {
  // 1-3.
  dialog->path = path;
  dialog->removeWindow = true;
  if (optionsDialog != nullptr)
    throw std::runtime_error(kOneMenuAtATime);
  std::string bytes;
  if (plat::readRegularFile(path, bytes, kMaxSettingsFileBytes) != 0)
    throw std::runtime_error(kUnreadable);
  dialog->settings = std::make_unique<IniFile>(IniFile::parse(bytes.data(), bytes.size()));

  // 4. The handlers keep the copy up to date from here on.
  optionsDialog = dialog;
  optionsSettings = dialog->settings.get();

  // 5-7.
  irr::gui::IGUIEnvironment* gui = engine.gui;
  dialog->window =
      gui->addWindow(recti(200, 200, 700, 600), false, getLocalizedText(L"#OM_Options"), nullptr, kOptionsWindowId);
  dialog->window->grab();
  gui->addButton(recti(360, 372, 426, 392), dialog->window, kOptionsSaveId, getLocalizedText(L"#OM_Save"));
  gui->addButton(recti(430, 372, 496, 392), dialog->window, kOptionsCloseId, getLocalizedText(L"#OM_Close"));
  irr::gui::IGUITabControl* tabs =
      gui->addTabControl(recti(4, 24, 496, 372), dialog->window, false, false, kOptionsTabsId);

  // 8.
  bindGuiCallbackFunction(closeOptionsClicked, kOptionsCloseId);
  bindGuiCallbackFunction(saveOptionsClicked, kOptionsSaveId);

  // 9. The pages, in tab order.
  addGamePage(tabs, *dialog);
  createKeyBindingPage(tabs->addTab(getLocalizedText(L"#OMT_Keys"), -1));
  addGraphicsPage(tabs, *dialog);
  addAudioPage(tabs, *dialog);
  addCameraPage(tabs, *dialog);
  buildExperimentalPage(tabs);
}

bool openOptionsMenuAt(const std::string& path) {
  if (optionsDialog != nullptr)
    return false;
  auto dialog = std::make_unique<OptionsDialog>();
  try {
    openOptionsMenu(dialog.get(), path);
  } catch (const std::exception& error) {
    logError("Options menu error: %s\n", error.what());
    return false;
  }
  dialog.release();  // closing the dialog deletes it
  return true;
}

void saveOptions() {
  OptionsDialog* dialog = optionsDialog;
  if (dialog == nullptr || dialog->settings == nullptr)
    return;
  if (!dialog->settings->writeFile(dialog->path))
    logError("%s could not be opened\n", dialog->path.c_str());
}

bool saveOptionsClicked(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || event.GUIEvent.EventType != irr::gui::EGET_BUTTON_CLICKED)
    return false;
  saveOptions();
  return true;
}

bool closeOptionsClicked(const irr::SEvent& event) {
  OptionsDialog* dialog = optionsDialog;
  if (dialog == nullptr || event.EventType != irr::EET_GUI_EVENT)
    return false;
  switch (event.GUIEvent.EventType) {
    case irr::gui::EGET_ELEMENT_CLOSED:
      // The close box: the GUI removes the window once this returns.
      if (event.GUIEvent.Caller != dialog->window)
        return false;
      dialog->removeWindow = false;
      break;
    case irr::gui::EGET_BUTTON_CLICKED:
      break;
    default:
      return false;
  }
  closeOptionsMenu(dialog);
  delete dialog;
  return false;
}

void closeOptionsMenu(OptionsDialog* dialog) {
  if (dialog == nullptr)
    return;
  // 1.
  if (optionsSettings == dialog->settings.get())
    optionsSettings = nullptr;
  if (dialog->settings != nullptr) {
    dialog->settings->clear();
    dialog->settings.reset();
  }
  // 2-5. The pages leave first; the window is removed unless the GUI does
  // it (close box).
  if (irr::gui::IGUIWindow* window = dialog->window) {
    irr::gui::IGUIEnvironment* gui = engine.gui;
    if (irr::gui::IGUIElement* focus = gui->getFocus(); focus != nullptr && inside(focus, window))
      gui->removeFocus(focus);
    for (irr::gui::IGUIElement* child : window->getChildren()) {
      if (child->getID() != kOptionsTabsId || child->getType() != irr::gui::EGUIET_TAB_CONTROL)
        continue;
      auto* tabs = static_cast<irr::gui::IGUITabControl*>(child);
      for (irr::s32 i = 0; i < tabs->getTabCount(); ++i)
        removeChildren(tabs->getTab(i));
    }
    if (dialog->removeWindow)
      window->remove();
    dialog->window = nullptr;
    window->drop();
  }
  // 6-7.
  if (optionsDialog == dialog)
    optionsDialog = nullptr;
  dialog->path.clear();
}

void closeOpenOptionsMenu() {
  OptionsDialog* dialog = optionsDialog;
  if (dialog == nullptr)
    return;
  closeOptionsMenu(dialog);
  delete dialog;
}

irr::gui::IGUICheckBox* addOptionCheckbox(int32_t& counter, ToggleBool& toggle, irr::gui::IGUIElement* parent,
                                          const wchar_t* label) {
  const int32_t column = counter % 3;
  const int32_t row = counter / 3;
  const int32_t id = kOptionCheckboxBaseId + counter;
  irr::gui::IGUICheckBox* box = engine.gui->addCheckBox(
      toggle.shown(), recti(150 * column, 25 * row + 8, 150 * column + 145, 25 * row + 30), parent, id, label);
  bindGuiCallbackObject(&toggle, id);
  ++counter;
  return box;
}

void buildExperimentalPage(irr::gui::IGUITabControl* tabs) {
  irr::gui::IGUITab* tab = tabs->addTab(L"Experimental", -1);
  int32_t counter = 0;
  addOptionCheckbox(counter, optionToggles.deferredTextures, tab, L"Defer Textures");
  addOptionCheckbox(counter, optionToggles.threadedGraphics, tab, L"Thread Graphics");
  addOptionCheckbox(counter, optionToggles.smallPackets, tab, L"Smaller Packets");
  addOptionCheckbox(counter, optionToggles.largePackets, tab, L"Larger Packets");
}
