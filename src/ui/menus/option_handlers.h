// The handlers behind the options dialog's controls, bound by element id in
// the GUI callback map (gui/base/gui_callbacks.h). Each one changes the
// running setting at once and stores the new value in the open dialog's
// copy of config.cfg (`optionsSettings`); only the dialog's Save button
// writes that copy to the file.
//
// Three GuiCallback kinds carry their setting with them:
//   ToggleBool      a check box: setting = checked XOR invert, stored as
//                   "true"/"false" under (section, key)
//   MagicNumber     a combo box: setting = selected index, stored as decimal;
//                   a focused combo box comes to the front of its siblings
//   ToggleFreeform  the free-form camera check box ("General" /
//                   "bFreeformCamera"); the game camera follows
// The 18 rows of `optionToggles` bind check boxes and combo boxes to program
// settings. The plain handlers (GuiHandlerFunction) serve the other controls.
#pragma once

#include <IEventReceiver.h>
#include <irrString.h>

#include <cstdint>

#include "gui/base/gui_callbacks.h"

class IniFile;

// The open options dialog's settings copy; null while no dialog is open
// (the handlers then change the running settings only).
extern IniFile* optionsSettings;

class ToggleBool : public GuiCallback {
 public:
  ToggleBool(const char* section, const char* key, bool* variable, bool invert)
      : section(section), key(key), variable(variable), invert(invert) {}
  bool OnEvent(const irr::SEvent& event) override;
  // What the check box shows: the setting XOR invert.
  bool shown() const { return *variable != invert; }

  const char* section;
  const char* key;
  bool* variable;
  bool invert;
};

class MagicNumber : public GuiCallback {
 public:
  MagicNumber(const char* section, const char* key, int32_t* variable)
      : section(section), key(key), variable(variable) {}
  bool OnEvent(const irr::SEvent& event) override;

  const char* section;
  const char* key;
  int32_t* variable;
};

class ToggleFreeform : public GuiCallback {
 public:
  bool OnEvent(const irr::SEvent& event) override;
};

// The options table, living for the whole program.
struct OptionToggles {
  ToggleBool antialias;
  ToggleBool displayBackground;
  ToggleBool fullScreen;
  ToggleBool centralZoomOut;  // inverted
  ToggleBool edgeScroll;
  ToggleBool verticalSync;
  ToggleBool displayGas;
  ToggleBool serverAutosave;
  ToggleBool displaySystemRings;
  ToggleBool displaySystemPlanes;
  MagicNumber shipIcons;
  MagicNumber stationIcons;
  MagicNumber planetIcons;
  ToggleFreeform freeformCamera;
  ToggleBool deferredTextures;
  ToggleBool threadedGraphics;
  ToggleBool smallPackets;
  ToggleBool largePackets;
};
extern OptionToggles optionToggles;

// "Graphics" / "bVerticalSync": kept for the options dialog.
extern bool bVerticalSync;

// The autosave interval as the Game page shows it: "%0.6f", then '0' taken
// from both ends and a trailing '.' removed; "0" when nothing is left
// (5 -> "5", 0.5 -> ".5", 12.25 -> "12.25").
irr::core::stringw autosaveIntervalText();

// Plain handlers. Event kinds a handler does not list give false and change
// nothing.
namespace optionhandlers {
// Combo boxes: an index above 4 changes nothing. Handled.
bool shaderQuality(const irr::SEvent& event);   // "Graphics" / "sShaderQuality"
bool textureQuality(const irr::SEvent& event);  // "Graphics" / "sTextureQuality"
// Check box "Threading" / "bSingleThreaded"; the running setting changes
// only while no galaxy is loaded. Not handled.
bool singleThreaded(const irr::SEvent& event);
// Combo boxes storing the chosen item's text: the locale (an index below 0
// changes nothing) and the resolution (item 0 is never stored). Not handled.
bool locale(const irr::SEvent& event);
bool resolution(const irr::SEvent& event);
// Scroll bars: music volume = position x 2 / maximum, master volume =
// position / maximum. Handled.
bool musicVolume(const irr::SEvent& event);
bool masterVolume(const irr::SEvent& event);
// Signed-step sliders with their "#OM_Invert" check boxes. Not handled.
bool horizontalSensitivity(const irr::SEvent& event);
bool verticalSensitivity(const irr::SEvent& event);
bool panSpeed(const irr::SEvent& event);
// The zoom-speed level combo box and its inversion check box. Not handled.
bool zoomSpeed(const irr::SEvent& event);
// Scroll bar: the scene's ambient grey. Not handled.
bool ambientBrightness(const irr::SEvent& event);
// Edit boxes, on Enter (handled) or focus lost (not handled).
bool frameLimit(const irr::SEvent& event);  // below 10 changes nothing
bool autosaveInterval(const irr::SEvent& event);
bool rotateSaves(const irr::SEvent& event);
}  // namespace optionhandlers
