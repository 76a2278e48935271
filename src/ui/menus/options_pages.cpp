#include "ui/menus/options_pages.h"

#include <IGUICheckBox.h>
#include <IGUIEditBox.h>
#include <IGUIEnvironment.h>
#include <IGUIScrollBar.h>
#include <IGUIStaticText.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "core/ini_file.h"
#include "core/locale.h"
#include "core/text_conversions.h"
#include "core/utf8.h"
#include "gui/base/gui_callbacks.h"
#include "platform/directory.h"
#include "ui/menus/option_handlers.h"
#include "ui/menus/options_menu.h"

using irr::core::recti;
using irr::core::stringc;
using irr::core::stringw;
using irr::gui::IGUIElement;

std::string localeFolder = "Locales/";

namespace {

const wchar_t* const kShaderQualityItems[] = {L"Disabled", L"Low", L"Medium", L"High", L"Very High"};
const wchar_t* const kTextureQualityItems[] = {L"Very Low", L"Low", L"Medium", L"High", L"Very High"};
const wchar_t* const kIconModeItems[] = {L"#OMI_Normal",    L"#OMI_AlwaysMicro", L"#OMI_AlwaysLarge",
                                         L"#OMI_MicroOnly", L"#OMI_LargeOnly",   L"#OMI_Hide"};
struct Size {
  const wchar_t* name;
  irr::u32 width;
  irr::u32 height;
};
const Size kResolutions[] = {{L"1024x768", 1024, 768},   {L"1280x800", 1280, 800},   {L"1280x960", 1280, 960},
                             {L"1280x1024", 1280, 1024}, {L"1366x768", 1366, 768},   {L"1440x900", 1440, 900},
                             {L"1600x1200", 1600, 1200}, {L"1680x1050", 1680, 1050}, {L"1920x1080", 1920, 1080},
                             {L"1920x1200", 1920, 1200}, {L"2048x1152", 2048, 1152}};
struct ZoomPreset {
  const wchar_t* name;
  float normal;
  float inverted;
};
const ZoomPreset kZoomPresets[] = {{L"#OM_Slowest", 0.95f, 1.1f},
                                   {L"#OM_Slow", 0.9f, 1.3f},
                                   {L"#OM_Default", 0.8f, 1.5f},
                                   {L"#OM_Fast", 0.6f, 1.7f},
                                   {L"#OM_Fastest", 0.4f, 1.8f}};

// The single-precision steps of the sensitivity sliders, widened.
constexpr double kSensitivityStep = static_cast<double>(0.05f);
constexpr double kPanStep = static_cast<double>(0.1f);

const wchar_t* text(const wchar_t* key) { return getLocalizedText(key); }

stringw wide(const stringc& narrow) { return stringw(narrow.c_str()); }

// A page's builder: adds its controls to `tab` through the GUI environment.
class Page {
 public:
  Page(irr::gui::IGUITabControl* tabs, const wchar_t* titleKey)
      : tab_(tabs->addTab(text(titleKey), -1)), gui_(engine.gui) {}

  void label(const wchar_t* key, const recti& at) { gui_->addStaticText(text(key), at, false, false, tab_, -1, false); }
  irr::gui::IGUICheckBox* checkBox(const wchar_t* key, const recti& at, int id, bool checked) {
    return gui_->addCheckBox(checked, at, tab_, id, text(key));
  }
  irr::gui::IGUIComboBox* comboBox(const recti& at, int id) { return gui_->addComboBox(at, tab_, id); }
  irr::gui::IGUIEditBox* editBox(const wchar_t* initial, const recti& at, int id) {
    return gui_->addEditBox(initial, at, true, tab_, id);
  }
  irr::gui::IGUIScrollBar* scrollBar(const recti& at, int id) { return gui_->addScrollBar(true, at, tab_, id); }
  void legends(bool restart) {
    label(L"#OM_ReqNewGame", recti(4, 280, 250, 300));
    if (restart)
      label(L"#OM_ReqRestart", recti(4, 300, 250, 330));
  }

 private:
  irr::gui::IGUITab* tab_;
  irr::gui::IGUIEnvironment* gui_;
};

// The settings copy's value, added with `fallback` when missing.
stringc copied(OptionsDialog& dialog, const char* section, const char* key, const char* fallback) {
  if (dialog.settings == nullptr)
    return fallback;
  return dialog.settings->getValue(section, key, fallback, true);
}

float copiedNumber(OptionsDialog& dialog, const char* section, const char* key, const char* fallback) {
  return narrowStringToFloat(copied(dialog, section, key, fallback));
}

void setTip(IGUIElement* element, const stringc& tip) { element->setToolTipText(stringw(tip.c_str()).c_str()); }

void fillLocales(irr::gui::IGUIComboBox* combo) {
  for (const stringw& name : listLocales(localeFolder)) {
    const irr::u32 index = combo->addItem(name.c_str());
    if (name.equals_ignore_case(stringw(localeName.c_str())))
      combo->setSelected(static_cast<irr::s32>(index));
  }
}

void fillResolutions(irr::gui::IGUIComboBox* combo, const stringc& value) {
  irr::s32 split = value.findFirst('x');
  if (split < 0)
    split = value.findFirst('X');
  irr::u32 width = 0;
  irr::u32 height = 0;
  if (split >= 0) {
    width = stringToIntNarrow(value.subString(0, split));
    height = stringToIntNarrow(value.subString(split + 1, value.size() - split - 1));
  }
  combo->setSelected(static_cast<irr::s32>(combo->addItem(text(L"#OMR_Custom"))));
  const irr::u32 fallback = combo->addItem(text(L"#OMR_Default"));
  if (value.equals_ignore_case("default"))
    combo->setSelected(static_cast<irr::s32>(fallback));
  const irr::u32 desktop = combo->addItem(text(L"#OMR_Desktop"));
  if (value.equals_ignore_case("desktop"))
    combo->setSelected(static_cast<irr::s32>(desktop));
  for (const Size& size : kResolutions) {
    const irr::u32 index = combo->addItem(size.name);
    if (size.width == width && size.height == height)
      combo->setSelected(static_cast<irr::s32>(index));
  }
}

void fillList(irr::gui::IGUIComboBox* combo, const wchar_t* const* items, size_t count, irr::s32 selected,
              bool localised) {
  for (size_t i = 0; i < count; ++i)
    combo->addItem(localised ? text(items[i]) : items[i]);
  if (selected >= 0 && static_cast<size_t>(selected) < count)
    combo->setSelected(selected);
}

// A signed-step slider (range 1 .. 100) with its invert box.
void sensitivityRow(Page& page, OptionsDialog& dialog, const wchar_t* labelKey, irr::s32 y, const char* key,
                    double step, const char* tipFormat, int barId, int invertId, GuiHandlerFunction handler) {
  const float value = copiedNumber(dialog, "Controls", key, "1");
  page.label(labelKey, recti(4, y, 130, y + 23));
  irr::gui::IGUIScrollBar* bar = page.scrollBar(recti(135, y + 2, 355, y + 17), barId);
  bar->setMin(1);
  bar->setMax(100);
  bar->setSmallStep(1);
  bar->setLargeStep(10);
  bar->setPos(static_cast<irr::s32>(std::fabs(static_cast<double>(value)) / step));
  setTip(bar, formatNumberNarrow(tipFormat, value));
  page.checkBox(L"#OM_Invert", recti(365, y, 480, y + 17), invertId, value < 0.0f);
  bindGuiCallbackFunction(handler, barId);
  bindGuiCallbackFunction(handler, invertId);
}

}  // namespace

std::vector<stringw> listLocales(const std::string& folder) {
  std::vector<plat::DirectoryEntry> entries;
  std::vector<stringw> names;
  if (!plat::listDirectory(folder, entries))
    return names;
  for (const plat::DirectoryEntry& entry : entries) {
    if (entry.isDirectory)
      continue;
    std::string name = entry.name;
    const std::string::size_type dot = name.rfind('.');
    if (dot != std::string::npos)
      name.erase(dot);
    if (name.find("_tips") != std::string::npos)
      continue;
    names.emplace_back(utf8ToWide(name).c_str());
  }
  std::sort(names.begin(), names.end());
  return names;
}

stringc formatNumberNarrow(const char* format, double value) {
  char buffer[100];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

irr::u32 stringToIntNarrow(const stringc& text) {
  irr::u32 value = 0;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9')
      value = value * 10 + static_cast<irr::u32>(c - '0');
    else if (c == '-' && i == 0)
      continue;
    else if (c != '.' && c != ',')
      break;
  }
  return value;
}

void addGamePage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog) {
  Page page(tabs, L"#OMT_Game");
  page.label(L"#OM_Language", recti(4, 10, 150, 31));
  fillLocales(page.comboBox(recti(125, 8, 280, 31), optionids::kLanguage));
  bindGuiCallbackFunction(optionhandlers::locale, optionids::kLanguage);

  page.label(L"#OM_Autosave", recti(4, 37, 120, 58));
  page.editBox(autosaveIntervalText().c_str(), recti(125, 35, 200, 58), optionids::kAutosave);
  page.label(L"#OM_minutes", recti(205, 37, 305, 58));
  bindGuiCallbackFunction(optionhandlers::autosaveInterval, optionids::kAutosave);

  page.checkBox(L"#OM_ServerAutosave", recti(300, 36, 470, 58), optionids::kServerAutosave,
                optionToggles.serverAutosave.shown());
  bindGuiCallbackObject(&optionToggles.serverAutosave, optionids::kServerAutosave);

  page.label(L"#OM_Rotate", recti(4, 64, 120, 85));
  page.editBox(wide(formatNumberNarrow("%0.0f", iRotateSaves)).c_str(), recti(125, 62, 200, 85),
               optionids::kRotateSaves);
  page.label(L"#OM_saves", recti(205, 64, 305, 85));
  bindGuiCallbackFunction(optionhandlers::rotateSaves, optionids::kRotateSaves);

  const bool single = copied(dialog, "Threading", "bSingleThreaded", "false").equals_ignore_case("true");
  irr::gui::IGUICheckBox* threading =
      page.checkBox(L"#OM_ThreadingCompat", recti(4, 89, 250, 112), optionids::kThreadingCompat, single);
  threading->setToolTipText(text(L"#OMTT_ThreadingCompat"));
  bindGuiCallbackFunction(optionhandlers::singleThreaded, optionids::kThreadingCompat);

  page.legends(true);
}

void addGraphicsPage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog) {
  Page page(tabs, L"#OMT_Graphics");
  page.label(L"#OM_Resolution", recti(4, 8, 100, 31));
  fillResolutions(page.comboBox(recti(105, 8, 205, 31), optionids::kResolution),
                  copied(dialog, "Graphics", "resolution", "default"));
  bindGuiCallbackFunction(optionhandlers::resolution, optionids::kResolution);

  page.label(L"#OM_ShaderQuality", recti(4, 35, 100, 58));
  fillList(page.comboBox(recti(105, 35, 205, 58), optionids::kShaderQuality), kShaderQualityItems, 5, shaderLevel,
           false);
  bindGuiCallbackFunction(optionhandlers::shaderQuality, optionids::kShaderQuality);

  page.label(L"#OMT_TextureQuality", recti(4, 62, 100, 85));
  fillList(page.comboBox(recti(105, 62, 205, 85), optionids::kTextureQuality), kTextureQualityItems, 5, textureLevel,
           false);
  bindGuiCallbackFunction(optionhandlers::textureQuality, optionids::kTextureQuality);

  page.label(L"#OM_MaxFPS", recti(4, 89, 100, 112));
  page.editBox(wide(formatNumberNarrow("%0.0f", fMaxFPS)).c_str(), recti(105, 89, 205, 112), optionids::kMaxFps);
  bindGuiCallbackFunction(optionhandlers::frameLimit, optionids::kMaxFps);

  // Full screen and vertical sync show the file's value, which the rows then
  // hold.
  *optionToggles.fullScreen.variable = !copied(dialog, "Graphics", "bFullScreen", "true").equals_ignore_case("false");
  page.checkBox(L"#OM_FullScreen", recti(250, 8, 450, 31), optionids::kFullScreen, optionToggles.fullScreen.shown());
  bindGuiCallbackObject(&optionToggles.fullScreen, optionids::kFullScreen);
  page.checkBox(L"#OM_AntiAlias", recti(250, 35, 450, 58), optionids::kAntiAlias, optionToggles.antialias.shown());
  bindGuiCallbackObject(&optionToggles.antialias, optionids::kAntiAlias);
  *optionToggles.verticalSync.variable =
      !copied(dialog, "Graphics", "bVerticalSync", "false").equals_ignore_case("false");
  page.checkBox(L"#OM_VSync", recti(250, 62, 450, 85), optionids::kVerticalSync, optionToggles.verticalSync.shown());
  bindGuiCallbackObject(&optionToggles.verticalSync, optionids::kVerticalSync);

  page.label(L"#OM_Ambient", recti(4, 124, 130, 147));
  irr::gui::IGUIScrollBar* ambient = page.scrollBar(recti(135, 126, 355, 141), optionids::kAmbient);
  ambient->setMin(0);
  ambient->setMax(255);
  ambient->setSmallStep(5);
  ambient->setLargeStep(20);
  ambient->setPos(iAmbientBrightness);
  setTip(ambient, formatNumberNarrow("%0.0f", iAmbientBrightness));
  bindGuiCallbackFunction(optionhandlers::ambientBrightness, optionids::kAmbient);

  const struct {
    const wchar_t* key;
    recti at;
    int id;
    ToggleBool* toggle;
  } boxes[] = {
      {L"#OM_Background", recti(4, 153, 205, 176), optionids::kBackground, &optionToggles.displayBackground},
      {L"#OM_Gas", recti(4, 180, 205, 203), optionids::kGas, &optionToggles.displayGas},
      {L"#OM_Planes", recti(4, 207, 205, 230), optionids::kPlanes, &optionToggles.displaySystemPlanes},
      {L"#OM_Rings", recti(4, 234, 205, 257), optionids::kRings, &optionToggles.displaySystemRings},
  };
  for (const auto& box : boxes) {
    irr::gui::IGUICheckBox* element = page.checkBox(box.key, box.at, box.id, box.toggle->shown());
    if (box.id == optionids::kGas)
      element->setToolTipText(text(L"#OMTT_Gas"));
    bindGuiCallbackObject(box.toggle, box.id);
  }

  const struct {
    const wchar_t* key;
    recti labelAt;
    recti at;
    int id;
    MagicNumber* row;
  } icons[] = {
      {L"#OM_ShipIco", recti(250, 153, 350, 176), recti(345, 151, 480, 172), optionids::kShipIcons,
       &optionToggles.shipIcons},
      {L"#OM_StationIco", recti(250, 178, 350, 203), recti(345, 176, 480, 199), optionids::kStationIcons,
       &optionToggles.stationIcons},
      {L"#OM_PlanetIco", recti(250, 207, 350, 230), recti(345, 205, 480, 226), optionids::kPlanetIcons,
       &optionToggles.planetIcons},
  };
  for (const auto& icon : icons) {
    page.label(icon.key, icon.labelAt);
    fillList(page.comboBox(icon.at, icon.id), kIconModeItems, 6, *icon.row->variable, true);
    bindGuiCallbackObject(icon.row, icon.id);
  }

  page.legends(true);
}

void addAudioPage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog) {
  Page page(tabs, L"#OMT_Audio");
  page.label(L"#OM_MusicVol", recti(4, 8, 100, 31));
  irr::gui::IGUIScrollBar* music = page.scrollBar(recti(105, 10, 305, 25), optionids::kMusicVolume);
  music->setMax(100);
  // The full bar is volume 2.
  music->setPos(static_cast<irr::s32>(copiedNumber(dialog, "Sound", "fMusicVolume", "1") * 0.5 * 100));
  bindGuiCallbackFunction(optionhandlers::musicVolume, optionids::kMusicVolume);

  page.label(L"#OM_MasterVol", recti(4, 35, 100, 58));
  irr::gui::IGUIScrollBar* master = page.scrollBar(recti(105, 37, 305, 52), optionids::kMasterVolume);
  master->setMax(100);
  master->setPos(static_cast<irr::s32>(copiedNumber(dialog, "Sound", "fMasterVolume", "1") * 100));
  bindGuiCallbackFunction(optionhandlers::masterVolume, optionids::kMasterVolume);

  page.legends(false);
}

void addCameraPage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog) {
  Page page(tabs, L"#OM_Camera");
  sensitivityRow(page, dialog, L"#OM_HorizSens", 8, "fHorizontalSensitivity", kSensitivityStep, "%0.2f",
                 optionids::kHorizontalSensitivity, optionids::kHorizontalInvert,
                 optionhandlers::horizontalSensitivity);
  sensitivityRow(page, dialog, L"#OM_VertSens", 35, "fVerticalSensitivity", kSensitivityStep, "%0.2f",
                 optionids::kVerticalSensitivity, optionids::kVerticalInvert, optionhandlers::verticalSensitivity);
  sensitivityRow(page, dialog, L"#OM_PanSens", 62, "fPanSpeed", kPanStep, "%0.1f", optionids::kPanSpeed,
                 optionids::kPanSpeed, optionhandlers::panSpeed);

  const float zoom = copiedNumber(dialog, "Controls", "fZoomSpeed", "0.8");
  page.label(L"#OM_ZoomSpeed", recti(4, 89, 130, 112));
  irr::gui::IGUIComboBox* presets = page.comboBox(recti(135, 87, 355, 108), optionids::kZoomSpeed);
  presets->setSelected(static_cast<irr::s32>(presets->addItem(text(L"#OM_Custom"))));
  for (const ZoomPreset& preset : kZoomPresets) {
    const irr::u32 index = presets->addItem(text(preset.name));
    if (zoom == preset.normal || zoom == preset.inverted)
      presets->setSelected(static_cast<irr::s32>(index));
  }
  page.checkBox(L"#OM_Invert", recti(365, 89, 480, 108), optionids::kZoomSpeed, zoom > 1.0f);
  bindGuiCallbackFunction(optionhandlers::zoomSpeed, optionids::kZoomSpeed);

  page.checkBox(L"#OM_ZoomCursor", recti(4, 116, 200, 139), optionids::kZoomCursor,
                optionToggles.centralZoomOut.shown());
  bindGuiCallbackObject(&optionToggles.centralZoomOut, optionids::kZoomCursor);
  page.checkBox(L"#OM_EdgeScroll", recti(4, 143, 200, 166), optionids::kEdgeScroll, optionToggles.edgeScroll.shown());
  bindGuiCallbackObject(&optionToggles.edgeScroll, optionids::kEdgeScroll);
  page.checkBox(L"#OM_FreeformCamera", recti(205, 116, 400, 139), optionids::kFreeformCamera, bFreeformCamera);
  bindGuiCallbackObject(&optionToggles.freeformCamera, optionids::kFreeformCamera);
}
