// config.cfg: the user's configuration, read once at start-up.
//
// Every key is read in a fixed order with its default; a missing key is
// added to the store with its default (all but "sMasterServer" and the IRC
// "sServer", which only a user puts there), and the file is written back only when a key was added,
// so a fresh file lists every key. Each value lands in the process-wide
// setting named after its key, unless noted below; settings whose users are
// built later (sound, IRC, camera, graphics) simply wait here for them.
//
// Booleans follow one of two rules, comparing whole values with ASCII letters
// in any case: most are true unless the value is "false" ("0", "no" and ""
// are true); "bCentralZoomOut", "bEdgeScroll" and "bSingleThreaded" are true
// only when the value is "true". Integers are read with stringToInt and
// floats with narrowStringToFloat (core/text_conversions.h): each value is
// read as far as it goes and clamped where noted; only a float that reads as
// infinite keeps its default (with a warning naming the key).
#pragma once

#include <dimension2d.h>
#include <irrString.h>

#include <cstdint>
#include <string>

class IniFile;

// Host names the program uses until config.cfg names others. No master
// server and no IRC network exist for this program: both built-in hosts are
// empty, and with an empty host nothing is contacted or looked up until
// config.cfg names one.
extern const char* const kBuiltInMasterServer;
extern const char* const kBuiltInIrcServer;

// "Experimental"
extern bool bDeferredTextures;
extern bool bThreadedGraphics;
extern bool bSmallPackets;
extern bool bLargePackets;
// "General"
extern float fAutosaveInterval;  // minutes, 0 .. 60
extern int32_t iRotateSaves;     // 0 .. 60
extern bool bServerAutosave;
extern bool bFullGCCyle;
extern float fSleepLevel;  // share of the spare frame time slept, at least 0
// The master-server host: kBuiltInMasterServer unless config.cfg has the key.
extern irr::core::stringc sMasterServer;
extern bool bFreeformCamera;
// "Sound"
extern float fMusicVolume;
extern float fMasterVolume;
extern bool bShuffle;
extern bool bUseShipRumbles;
extern irr::core::stringc sSoundDriver;  // "auto" (any case): the system default device
// "irc" (and the nickname in "Multiplayer")
extern irr::core::stringc sServer;
extern irr::core::stringc sChannel;
extern irr::core::stringc sNickname;
extern int32_t iPort;
// "Graphics"
extern bool bFullScreen;  // decides the default resolution
extern float fMaxFPS;     // at least 10; 0 or less reads as 1000
extern bool bAntiAlias;
extern bool bDisplayBackground;
extern bool bDisplayGas;
extern bool bDisplaySystemRings;
extern bool bDisplaySystemPlanes;
extern uint32_t cSystemPlaneColor;  // 0xRRGGBBAA
extern int32_t iShipIcons;
extern int32_t iStationIcons;
extern int32_t iPlanetIcons;
extern float fNearLODFactor;
extern float fFarLODFactor;
extern uint8_t iAmbientBrightness;
extern float fDistantIconSize;
extern bool bResizeable;
extern bool bShipEngines;
extern bool bHighQShipEngines;
// From "sShaderQuality": 0 "Disabled" .. 4 "Very High"; shaders run above 0.
extern int32_t shaderLevel;
extern bool shadersEnabled;
// From "sTextureQuality": 0 "Very Low" .. 4 "Very High".
extern int32_t textureLevel;
// "Controls" (the game camera takes the speeds when it is made)
extern float fVerticalSensitivity;
extern float fHorizontalSensitivity;
extern float fZoomSpeed;
extern float fMoveSpeed;
extern float fPanSpeed;
extern bool bCentralZoomOut;
extern bool bEdgeScroll;
// "Threading": galaxy processing threads, 0 .. 255; 0 when single-threaded.
extern uint32_t uiThreadCount;

// Start-up state that config.cfg sets as well as the command line:
// `singleThreaded` ("bSingleThreaded", or "-singlethreaded"), `localeName`
// ("sCurLocale" without ".txt", or "+curlocale"), and the resolution
// ("resolution") with screenPixels = screenWidth x screenHeight.
extern bool singleThreaded;
extern irr::core::stringc localeName;
extern int32_t screenWidth;
extern int32_t screenHeight;
extern int32_t screenPixels;

// What the configuration depends on beyond the file.
struct ConfigEnvironment {
  // Logical CPUs the process may use (2 when unknown).
  unsigned logicalCpus = 2;
  // "-singlethreaded" was given: "bSingleThreaded" is not read.
  bool singleThreadedGiven = false;
  // "+curlocale" was given: "sCurLocale" is not read.
  bool localeGiven = false;
  // The primary screen's size, for "desktop" and full-screen defaults.
  irr::core::dimension2du screenSize{1024, 768};
};

// Reads every key from `store` into the settings, adding missing keys.
void readConfigKeys(IniFile& store, const ConfigEnvironment& environment);

// Reads config.cfg at `path` into `store`: a missing file gives an empty
// store. False, with an empty store and the error logged, when the file
// exists but cannot be read (no permission, not a regular file, too large):
// such a file must not be written over.
bool readConfigFile(const std::string& path, IniFile& store);

// Reads the file at `path`, reads every key, and writes the file back when a
// key was missing. A missing file gets every key with its default; one that
// exists but cannot be read (no permission, not a regular file, too large)
// is logged and left as it is, and the defaults serve this run. False when
// the write-back failed (logged; the old file is kept).
bool loadConfig(const std::string& path, const ConfigEnvironment& environment);
