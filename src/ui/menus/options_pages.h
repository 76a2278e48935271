// The options dialog's pages Game, Graphics, Audio and Camera: each builder
// adds its tab to the dialog's tab control, fills it with labels and
// controls that show the values of the moment, and binds every control by
// its id to its handler (ui/menus/option_handlers.h). Values read from the
// dialog's settings copy are added to it with the page's default when
// missing, so that Save writes them.
#pragma once

#include <IGUIComboBox.h>
#include <IGUITabControl.h>
#include <irrString.h>

#include <string>
#include <vector>

struct OptionsDialog;

// Control ids (the keys of their GUI callback entries).
namespace optionids {
constexpr int kLanguage = -4940;
constexpr int kAutosave = -4589;
constexpr int kServerAutosave = -4585;
constexpr int kRotateSaves = -4588;
constexpr int kThreadingCompat = -4941;
constexpr int kResolution = -4942;
constexpr int kShaderQuality = -4949;
constexpr int kTextureQuality = -4947;
constexpr int kMaxFps = -4945;
constexpr int kFullScreen = -4948;
constexpr int kAntiAlias = -4950;
constexpr int kVerticalSync = -4939;
constexpr int kAmbient = -4586;
constexpr int kBackground = -4943;
constexpr int kGas = -4938;
constexpr int kPlanes = -4937;
constexpr int kRings = -4936;
constexpr int kShipIcons = -4935;
constexpr int kStationIcons = -4934;
constexpr int kPlanetIcons = -4933;
constexpr int kMusicVolume = -4930;
constexpr int kMasterVolume = -4929;
constexpr int kHorizontalSensitivity = -4600;
constexpr int kHorizontalInvert = -4598;
constexpr int kVerticalSensitivity = -4599;
constexpr int kVerticalInvert = -4597;
constexpr int kPanSpeed = -4594;   // the slider and its invert box
constexpr int kZoomSpeed = -4592;  // the combo box and its invert box
constexpr int kZoomCursor = -4591;
constexpr int kEdgeScroll = -4587;
constexpr int kFreeformCamera = -4590;
}  // namespace optionids

void addGamePage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog);
void addGraphicsPage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog);
void addAudioPage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog);
void addCameraPage(irr::gui::IGUITabControl* tabs, OptionsDialog& dialog);

// The folder whose text files name the locales ("Locales/", relative to the
// data folder).
extern std::string localeFolder;
// The locales in `folder`, listed by path (the working folder is never
// changed): the file name of every file without its extension, tip files
// ("..._tips") left out, sorted. Empty when the folder cannot be read.
std::vector<irr::core::stringw> listLocales(const std::string& folder);

// One number printed with a printf format.
irr::core::stringc formatNumberNarrow(const char* format, double value);
// Decimal digits accumulated; '.' and ',' skipped; any other character (a
// '-' after the first) ends the number; a leading '-' gives no sign.
irr::u32 stringToIntNarrow(const irr::core::stringc& text);
