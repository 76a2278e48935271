// Console commands that tune what the player sees: anti-aliasing, the
// frame-rate display, the scene camera's field of view and aspect, the depth
// ratio, ambient light, empire colours, the whole GUI, the update falloff of
// the galaxy view, the height of move-to-point orders and frame export.
//
// Toggles (cl_antialias, cl_showfps, cl_empire_colors) take 0 or 1 and
// refuse anything else with "<name> only takes the values 0 and 1"; alone
// they report their value ("cl_antialias %i" printed, the other two
// written), then their help. Value commands (fov, aspect, zplane,
// update_falloff) take a decimal that must pass their check, else they print
// "<name> must be greater than <n>" and change nothing; alone they print
// "<name> %.3f" and their help. fov and aspect act on the scene's active
// camera: without one they print "No camera to configure" and change
// nothing.
#pragma once

#include <irrString.h>

#include <cstdint>

#include "app/base/console.h"

namespace irr {
namespace gui {
class IGUIStaticText;
}
}  // namespace irr

// The ratio of the far to the near plane distance (120000 at start).
extern float depthPlaneRatio;
// Systems and icons take their empire's own colour (on at start); off
// colours them by relation.
extern bool empireColorsShown;
// Whether the frame-rate display is to be shown. autoexec.ini runs before
// the display exists: the choice waits here for showFpsTextAsAsked.
extern bool fpsDisplayWanted;

// Gives a newly made frame-rate display the visibility asked for so far.
void showFpsTextAsAsked(irr::gui::IGUIStaticText* text);

// A toggle's value: a whole number written as one ("1", "-0"); false for
// anything else ("on", "1x", "").
bool readWholeToggle(const irr::core::stringw& text, int32_t& value);

void antialiasCommand(const ConsoleArgs& args);
void showFpsCommand(const ConsoleArgs& args);
void fovCommand(const ConsoleArgs& args);
void updateFalloffCommand(const ConsoleArgs& args);
void aspectCommand(const ConsoleArgs& args);
void zplaneCommand(const ConsoleArgs& args);
// set_ambient <hex color>: the scene's ambient light. A colour that is no
// hex colour prints "Bad color '<text>': <reason>" and changes nothing.
void setAmbientCommand(const ConsoleArgs& args);
// set_y_offset #: the height of move-to-point orders above the system
// plane. Other counts print the help and " Current Value: %0.2f".
void setYOffsetCommand(const ConsoleArgs& args);
// video_mode 0/1: any non-zero whole number turns frame export on. Other
// counts print the help and " Current Value: %i".
void videoModeCommand(const ConsoleArgs& args);
void empireColorsCommand(const ConsoleArgs& args);
// toggle_gui: shows or hides the whole GUI.
void toggleGuiCommand(const ConsoleArgs& args);
