// Process-wide start-up state: what the command line and start-up decide and
// later parts of the server read. Each lives for the whole process. The user
// folders and the active mod (`currentModName`), the settings of config.cfg
// (with `singleThreaded`, `localeName` and the resolution) and the frame
// profiler have their own homes.
#pragma once

#include <irrString.h>

#include <cstdint>
#include <cstdio>

namespace irr {
namespace gui {
class IGUIStaticText;
}
}  // namespace irr

// Map script of the next new game; kept from one game session to the next.
extern irr::core::stringc mapName;
// When not empty, the saved game every following session loads instead of a map.
extern irr::core::stringc loadGameName;
// Quick-start profile applied before each session.
extern irr::core::stringw quickStartName;

extern bool logToFile;    // "-nolog" clears
extern bool verboseLog;   // "-verbose", "-debuginfo": log level 0
extern bool debugInfo;    // "-debuginfo": extra debug lines
extern bool noWarnings;   // "-nowarnings": log level 2
extern bool resetConfig;  // "-defaults": config.cfg emptied before it is read
extern bool threadedLoad; // script set-up on its own thread while loading
extern bool shigatsu;     // April-1 mode (the local date, or "-shigatsu")
extern bool videoMode;    // "-videomode": game steps capped at 1/"fMaxFPS"

// Session results: `main` runs the next session unless a session asks to quit.
constexpr int32_t kSessionRestart = 1;  // rerun with the same settings
constexpr int32_t kSessionQuit = 3;
// Written by `main` before each session and by the network layer (restart).
extern int32_t sessionResult;

// The log file (null when not open).
extern std::FILE* logFile;
// Hidden white text in the bottom-left corner showing the frame rate.
extern irr::gui::IGUIStaticText* fpsText;
