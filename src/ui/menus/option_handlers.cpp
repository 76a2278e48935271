#include "ui/menus/option_handlers.h"

#include <IGUICheckBox.h>
#include <IGUIComboBox.h>
#include <IGUIEditBox.h>
#include <IGUIElement.h>
#include <IGUIScrollBar.h>
#include <ISceneManager.h>

#include <cmath>
#include <cstdio>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "audio/music_box.h"
#include "audio/sound_device.h"
#include "core/ini_file.h"
#include "core/text_conversions.h"
#include "gfx/game_camera.h"
#include "universe/objects/galaxy.h"

using irr::core::stringc;
using irr::gui::EGUI_ELEMENT_TYPE;
using irr::gui::IGUIElement;

IniFile* optionsSettings = nullptr;
bool bVerticalSync = false;

OptionToggles optionToggles{
    {"Graphics", "bAntiAlias", &bAntiAlias, false},
    {"Graphics", "bDisplayBackground", &bDisplayBackground, false},
    {"Graphics", "bFullScreen", &bFullScreen, false},
    {"Controls", "bCentralZoomOut", &bCentralZoomOut, true},
    {"Controls", "bEdgeScroll", &bEdgeScroll, false},
    {"Graphics", "bVerticalSync", &bVerticalSync, false},
    {"Graphics", "bDisplayGas", &bDisplayGas, false},
    {"General", "bServerAutosave", &bServerAutosave, false},
    {"Graphics", "bDisplaySystemRings", &bDisplaySystemRings, false},
    {"Graphics", "bDisplaySystemPlanes", &bDisplaySystemPlanes, false},
    {"Graphics", "iShipIcons", &iShipIcons},
    {"Graphics", "iStationIcons", &iStationIcons},
    {"Graphics", "iPlanetIcons", &iPlanetIcons},
    {},
    {"Experimental", "bDeferredTextures", &bDeferredTextures, false},
    {"Experimental", "bThreadedGraphics", &bThreadedGraphics, false},
    {"Experimental", "bSmallPackets", &bSmallPackets, false},
    {"Experimental", "bLargePackets", &bLargePackets, false},
};

namespace {

const char* const kShaderQualityNames[] = {"Disabled", "Low", "Medium", "High", "Very High"};
const char* const kTextureQualityNames[] = {"Very Low", "Low", "Medium", "High", "Very High"};
// Zoom-speed levels 1 to 5, each direction.
const float kZoomNormal[] = {0.95f, 0.9f, 0.8f, 0.6f, 0.4f};
const float kZoomInverted[] = {1.1f, 1.3f, 1.5f, 1.7f, 1.8f};
constexpr float kDefaultZoomSpeed = 0.8f;

void store(const char* section, const char* key, const stringc& value) {
  if (optionsSettings != nullptr)
    optionsSettings->setValue(section, key, value);
}

stringc formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool isGuiEvent(const irr::SEvent& event, irr::gui::EGUI_EVENT_TYPE type) {
  return event.EventType == irr::EET_GUI_EVENT && event.GUIEvent.EventType == type &&
         event.GUIEvent.Caller != nullptr;
}

// The caller as the element type the event names, or null for another type.
template <class Element>
Element* callerAs(const irr::SEvent& event, EGUI_ELEMENT_TYPE type) {
  IGUIElement* caller = event.GUIEvent.Caller;
  return caller != nullptr && caller->getType() == type ? static_cast<Element*>(caller) : nullptr;
}

irr::gui::IGUICheckBox* toggledBox(const irr::SEvent& event) {
  if (!isGuiEvent(event, irr::gui::EGET_CHECKBOX_CHANGED))
    return nullptr;
  return callerAs<irr::gui::IGUICheckBox>(event, irr::gui::EGUIET_CHECK_BOX);
}

irr::gui::IGUIComboBox* changedCombo(const irr::SEvent& event) {
  if (!isGuiEvent(event, irr::gui::EGET_COMBO_BOX_CHANGED))
    return nullptr;
  return callerAs<irr::gui::IGUIComboBox>(event, irr::gui::EGUIET_COMBO_BOX);
}

irr::gui::IGUIScrollBar* movedBar(const irr::SEvent& event) {
  if (!isGuiEvent(event, irr::gui::EGET_SCROLL_BAR_CHANGED))
    return nullptr;
  return callerAs<irr::gui::IGUIScrollBar>(event, irr::gui::EGUIET_SCROLL_BAR);
}

// The position over the maximum; 0 for a bar without range.
float barShare(const irr::gui::IGUIScrollBar& bar) {
  const irr::s32 maximum = bar.getMax();
  return maximum != 0 ? static_cast<float>(bar.getPos()) / static_cast<float>(maximum) : 0.0f;
}

const char* boolText(bool value) { return value ? "true" : "false"; }

// The current value of a setting in the dialog's copy, created with
// `fallback` when absent; `running` without a copy.
float currentValue(const char* section, const char* key, const char* fallback, float running) {
  if (optionsSettings == nullptr)
    return running;
  return narrowStringToFloat(optionsSettings->getValue(section, key, fallback, true));
}

// A slider whose sign is its axis' direction: the slider moves the size,
// the check box flips the sign.
bool signedStep(const irr::SEvent& event, const char* key, float step, const char* tipFormat, float& running,
                float& camera) {
  const bool scrolled = isGuiEvent(event, irr::gui::EGET_SCROLL_BAR_CHANGED);
  const bool toggled = isGuiEvent(event, irr::gui::EGET_CHECKBOX_CHANGED);
  if (!scrolled && !toggled)
    return false;
  const float current = currentValue("Controls", key, "1", running);
  float value;
  if (scrolled) {
    auto* bar = callerAs<irr::gui::IGUIScrollBar>(event, irr::gui::EGUIET_SCROLL_BAR);
    if (bar == nullptr)
      return false;
    const float position = static_cast<float>(bar->getPos());
    bar->setToolTipText(irr::core::stringw(formatted(tipFormat, position * step).c_str()).c_str());
    value = position * (current >= 0.0f ? step : -step);
  } else {
    value = -current;
  }
  store("Controls", key, formatted("%0.6f", value));
  running = value;
  camera = value;
  return false;
}

// The zoom speed of level `level` (1 to 5) in the direction of `current`.
float zoomLevel(float current, int32_t level) {
  if (level > 5)
    return kDefaultZoomSpeed;
  return current < 1.0f ? kZoomNormal[level - 1] : kZoomInverted[level - 1];
}

// The same level in the other direction; 0.8 for a value of no level.
float zoomFlipped(float current) {
  for (int i = 0; i < 5; ++i) {
    if (current == kZoomNormal[i])
      return kZoomInverted[i];
    if (current == kZoomInverted[i])
      return kZoomNormal[i];
  }
  return kDefaultZoomSpeed;
}

// An edit box's text as a narrow string, on Enter or when it loses focus.
bool enteredText(const irr::SEvent& event, stringc& text, bool& handled) {
  const bool enter = isGuiEvent(event, irr::gui::EGET_EDITBOX_ENTER);
  if (!enter && !isGuiEvent(event, irr::gui::EGET_ELEMENT_FOCUS_LOST))
    return false;
  IGUIElement* caller = event.GUIEvent.Caller;
  text = stringc(caller->getText());
  handled = enter;
  return true;
}

}  // namespace

bool ToggleBool::OnEvent(const irr::SEvent& event) {
  irr::gui::IGUICheckBox* box = toggledBox(event);
  if (box == nullptr || variable == nullptr)
    return false;
  *variable = box->isChecked() != invert;
  store(section, key, boolText(*variable));
  return true;
}

bool MagicNumber::OnEvent(const irr::SEvent& event) {
  if (irr::gui::IGUIComboBox* combo = changedCombo(event)) {
    if (variable == nullptr)
      return false;
    *variable = combo->getSelected();
    store(section, key, formatted("%0.0f", *variable));
    return true;
  }
  if (isGuiEvent(event, irr::gui::EGET_ELEMENT_FOCUSED)) {
    IGUIElement* caller = event.GUIEvent.Caller;
    if (IGUIElement* parent = caller->getParent())
      parent->bringToFront(caller);
  }
  return false;
}

bool ToggleFreeform::OnEvent(const irr::SEvent& event) {
  irr::gui::IGUICheckBox* box = toggledBox(event);
  if (box == nullptr)
    return false;
  bFreeformCamera = box->isChecked();
  store("General", "bFreeformCamera", boolText(bFreeformCamera));
  if (gameCamera.freeform != bFreeformCamera) {
    gameCamera.freeform = bFreeformCamera;
    if (gameCamera.node != nullptr)
      gameCamera.resetView(true);
  }
  return true;
}

irr::core::stringw autosaveIntervalText() {
  std::string text = formatted("%0.6f", fAutosaveInterval).c_str();
  const std::string::size_type first = text.find_first_not_of('0');
  if (first == std::string::npos)
    return L"0";
  text = text.substr(first, text.find_last_not_of('0') - first + 1);
  if (!text.empty() && text.back() == '.')
    text.pop_back();
  if (text.empty())
    return L"0";
  return irr::core::stringw(text.c_str());
}

namespace {

// Stores the text of the item a changed combo box selects under
// `section`/`key` when its index is `lowest` or above and within the list.
void storeSelectedItem(const irr::SEvent& event, const char* section, const char* key, irr::s32 lowest) {
  irr::gui::IGUIComboBox* combo = changedCombo(event);
  if (combo == nullptr)
    return;
  const irr::s32 index = combo->getSelected();
  if (index >= lowest && static_cast<irr::u32>(index) < combo->getItemCount())
    store(section, key, stringc(combo->getItem(index)));
}

// The quality level 0 to 4 a combo box selects, stored by name under
// "Graphics"/`key`; -1 (nothing stored) for any other index.
template <typename Names>
irr::s32 qualityLevel(const irr::gui::IGUIComboBox& combo, const char* key, const Names& names) {
  const irr::s32 index = combo.getSelected();
  if (index < 0 || index > 4)
    return -1;
  store("Graphics", key, names[index]);
  return index;
}

}  // namespace

namespace optionhandlers {

bool shaderQuality(const irr::SEvent& event) {
  irr::gui::IGUIComboBox* combo = changedCombo(event);
  if (combo == nullptr)
    return false;
  const irr::s32 index = qualityLevel(*combo, "sShaderQuality", kShaderQualityNames);
  if (index >= 0) {
    shaderLevel = index;
    shadersEnabled = index > 0;
  }
  return true;
}

bool textureQuality(const irr::SEvent& event) {
  irr::gui::IGUIComboBox* combo = changedCombo(event);
  if (combo == nullptr)
    return false;
  const irr::s32 index = qualityLevel(*combo, "sTextureQuality", kTextureQualityNames);
  if (index >= 0)
    textureLevel = index;
  return true;
}

bool singleThreaded(const irr::SEvent& event) {
  irr::gui::IGUICheckBox* box = toggledBox(event);
  if (box == nullptr)
    return false;
  store("Threading", "bSingleThreaded", boolText(box->isChecked()));
  if (galaxy == nullptr)
    ::singleThreaded = box->isChecked();
  return false;
}

bool locale(const irr::SEvent& event) {
  storeSelectedItem(event, "Localization", "sCurLocale", 0);
  return false;
}

bool resolution(const irr::SEvent& event) {
  storeSelectedItem(event, "Graphics", "resolution", 1);
  return false;
}

bool musicVolume(const irr::SEvent& event) {
  irr::gui::IGUIScrollBar* bar = movedBar(event);
  if (bar == nullptr)
    return false;
  const float volume = barShare(*bar) * 2.0f;
  store("Sound", "fMusicVolume", formatted("%0.6f", volume));
  fMusicVolume = volume;
  musicBox.setVolume(volume);
  return true;
}

bool masterVolume(const irr::SEvent& event) {
  irr::gui::IGUIScrollBar* bar = movedBar(event);
  if (bar == nullptr)
    return false;
  const float volume = barShare(*bar);
  store("Sound", "fMasterVolume", formatted("%0.6f", volume));
  fMasterVolume = volume;
  if (audio::ISoundDevice* device = soundDevice)
    device->setVolume(volume);
  return true;
}

bool horizontalSensitivity(const irr::SEvent& event) {
  return signedStep(event, "fHorizontalSensitivity", 0.05f, "%0.2f", fHorizontalSensitivity,
                    gameCamera.horizontalSensitivity);
}

bool verticalSensitivity(const irr::SEvent& event) {
  return signedStep(event, "fVerticalSensitivity", 0.05f, "%0.2f", fVerticalSensitivity,
                    gameCamera.verticalSensitivity);
}

bool panSpeed(const irr::SEvent& event) {
  return signedStep(event, "fPanSpeed", 0.1f, "%0.1f", fPanSpeed, gameCamera.panSpeed);
}

bool zoomSpeed(const irr::SEvent& event) {
  const bool changed = isGuiEvent(event, irr::gui::EGET_COMBO_BOX_CHANGED);
  const bool toggled = isGuiEvent(event, irr::gui::EGET_CHECKBOX_CHANGED);
  if (!changed && !toggled)
    return false;
  const float current = currentValue("Controls", "fZoomSpeed", "0.8", fZoomSpeed);
  float value;
  if (changed) {
    auto* combo = callerAs<irr::gui::IGUIComboBox>(event, irr::gui::EGUIET_COMBO_BOX);
    if (combo == nullptr || combo->getSelected() <= 0)
      return false;
    value = zoomLevel(current, combo->getSelected());
  } else {
    value = zoomFlipped(current);
  }
  store("Controls", "fZoomSpeed", formatted("%0.6f", value));
  fZoomSpeed = value;
  gameCamera.zoomSpeed = value;
  return false;
}

bool ambientBrightness(const irr::SEvent& event) {
  irr::gui::IGUIScrollBar* bar = movedBar(event);
  if (bar == nullptr)
    return false;
  const irr::s32 position = bar->getPos();
  const auto level = static_cast<uint8_t>(position);
  bar->setToolTipText(irr::core::stringw(formatted("%0.0f", position).c_str()).c_str());
  store("Graphics", "iAmbientBrightness", formatted("%0.0f", level));
  iAmbientBrightness = level;
  if (engine.scene != nullptr)
    engine.scene->setAmbientLight(irr::video::SColorf(irr::video::SColor(255, level, level, level)));
  return false;
}

bool frameLimit(const irr::SEvent& event) {
  stringc text;
  bool handled = false;
  if (!enteredText(event, text, handled))
    return false;
  const float limit = narrowStringToFloat(text);
  if (!(limit >= 10.0f) || !std::isfinite(limit))
    return handled;
  store("Graphics", "fMaxFPS", formatted("%0.0f", limit));
  fMaxFPS = limit;
  return handled;
}

bool autosaveInterval(const irr::SEvent& event) {
  stringc text;
  bool handled = false;
  if (!enteredText(event, text, handled))
    return false;
  float minutes = narrowStringToFloat(text);
  if (!std::isfinite(minutes))
    minutes = 0.0f;
  store("General", "fAutosaveInterval", formatted("%0.6f", minutes));
  fAutosaveInterval = minutes;
  return handled;
}

bool rotateSaves(const irr::SEvent& event) {
  stringc text;
  bool handled = false;
  if (!enteredText(event, text, handled))
    return false;
  const int32_t count = stringToInt(text);
  store("General", "iRotateSaves", formatted("%0.0f", count));
  iRotateSaves = count;
  return handled;
}

}  // namespace optionhandlers
