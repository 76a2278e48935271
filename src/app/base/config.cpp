#include "app/base/config.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

#include "core/ini_file.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "design/base/numbers.h"

const char* const kBuiltInMasterServer = "";
const char* const kBuiltInIrcServer = "";

bool bDeferredTextures = false;
bool bThreadedGraphics = false;
bool bSmallPackets = false;
bool bLargePackets = false;
float fAutosaveInterval = 5.0f;
int32_t iRotateSaves = 6;
bool bServerAutosave = false;
bool bFullGCCyle = false;
float fSleepLevel = 0.25f;
irr::core::stringc sMasterServer = kBuiltInMasterServer;
bool bFreeformCamera = true;
float fMusicVolume = 0.33f;
float fMasterVolume = 1.0f;
bool bShuffle = true;
bool bUseShipRumbles = false;
irr::core::stringc sSoundDriver = "Generic Software";
irr::core::stringc sServer = kBuiltInIrcServer;
irr::core::stringc sChannel = "#corvane";
irr::core::stringc sNickname = "VOZerara";
int32_t iPort = 6667;
bool bFullScreen = false;
float fMaxFPS = 75.0f;
bool bAntiAlias = true;
bool bDisplayBackground = true;
bool bDisplayGas = true;
bool bDisplaySystemRings = true;
bool bDisplaySystemPlanes = true;
uint32_t cSystemPlaneColor = 0x105CB2FF;
int32_t iShipIcons = 0;
int32_t iStationIcons = 0;
int32_t iPlanetIcons = 0;
float fNearLODFactor = 1.0f;
float fFarLODFactor = 1.0f;
uint8_t iAmbientBrightness = 72;
float fDistantIconSize = 1.0f;
bool bResizeable = true;
bool bShipEngines = true;
bool bHighQShipEngines = true;
int32_t shaderLevel = 2;
bool shadersEnabled = true;
int32_t textureLevel = 2;
float fVerticalSensitivity = 0.25f;
float fHorizontalSensitivity = 0.25f;
float fZoomSpeed = 0.8f;
float fMoveSpeed = 1.0f;
float fPanSpeed = 1.0f;
bool bCentralZoomOut = false;
bool bEdgeScroll = true;
uint32_t uiThreadCount = 8;

bool singleThreaded = false;
irr::core::stringc localeName = "english";
int32_t screenWidth = 1024;
int32_t screenHeight = 768;
int32_t screenPixels = 1024 * 768;

namespace {

using irr::core::stringc;

constexpr int32_t kDefaultWidth = 1024;
constexpr int32_t kDefaultHeight = 768;
constexpr int32_t kMinWidth = 320;
constexpr int32_t kMinHeight = 240;

// ASCII letters in any case; the whole values must match.
bool equalsIgnoringCase(const stringc& value, const char* word) {
  std::size_t i = 0;
  for (; i < value.size(); ++i) {
    char a = value[i];
    char b = word[i];
    if (b == '\0')
      return false;
    if (a >= 'A' && a <= 'Z')
      a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z')
      b = static_cast<char>(b - 'A' + 'a');
    if (a != b)
      return false;
  }
  return word[i] == '\0';
}

// Reads keys in order from one store, adding the missing ones.
class KeyReader {
 public:
  explicit KeyReader(IniFile& store) : store_(store) {}

  stringc text(const char* section, const char* key, const stringc& defaultValue) {
    return store_.getValue(section, key, defaultValue, true);
  }
  bool trueUnlessFalse(const char* section, const char* key, const char* defaultValue) {
    return !equalsIgnoringCase(text(section, key, defaultValue), "false");
  }
  bool trueOnlyWhenTrue(const char* section, const char* key, const char* defaultValue) {
    return equalsIgnoringCase(text(section, key, defaultValue), "true");
  }
  int32_t integer(const char* section, const char* key, const stringc& defaultValue) {
    return stringToInt(text(section, key, defaultValue));
  }
  // A value that reads as infinity or NaN (a whole part past the float range)
  // keeps the default: an endless frame rate or volume would break its user.
  // The store keeps the user's text.
  float number(const char* section, const char* key, const char* defaultValue) {
    const float value = narrowStringToFloat(text(section, key, defaultValue));
    if (std::isfinite(value))
      return value;
    logWarning("config.cfg: the value of \"%s\" is not a finite number; using the default %s\n", key, defaultValue);
    return narrowStringToFloat(defaultValue);
  }
  // The index of the value in `names` (any case), or -1.
  int choice(const char* section, const char* key, const char* const (&names)[5], int defaultIndex) {
    const stringc value = text(section, key, names[defaultIndex]);
    for (int i = 0; i < 5; ++i)
      if (equalsIgnoringCase(value, names[i]))
        return i;
    return -1;
  }

 private:
  IniFile& store_;
};

// 8 characters read in pairs as the bytes R, G, B, A; any other length gives
// white. Digits: '0'-'9' are 0-9, 'A'-'J' 10-19, any other character its
// code minus 87 (so 'a'-'f' are 10-15); no other check is made.
uint32_t readColor(const stringc& value) {
  if (value.size() != 8)
    return 0xFFFFFFFF;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'A' && c <= 'J')
      return c - 'A' + 10;
    return static_cast<unsigned char>(c) - 87;
  };
  uint32_t color = 0;
  for (int i = 0; i < 8; i += 2) {
    const uint32_t byte = static_cast<uint32_t>(digit(value[i]) * 16 + digit(value[i + 1])) & 0xFF;
    color = (color << 8) | byte;
  }
  return color;
}

// The "resolution" value: "default", "desktop" or width "x" height.
void readResolution(KeyReader& keys, const ConfigEnvironment& environment) {
  const irr::core::dimension2du screen = environment.screenSize;
  int32_t defaultWidth = kDefaultWidth;
  int32_t defaultHeight = kDefaultHeight;
  if (bFullScreen) {
    defaultWidth = static_cast<int32_t>(screen.Width);
    defaultHeight = static_cast<int32_t>(screen.Height);
  }
  int32_t width = defaultWidth;
  int32_t height = defaultHeight;

  const stringc value = keys.text("Graphics", "resolution", "default");
  if (equalsIgnoringCase(value, "default")) {
    // the default size stays
  } else if (equalsIgnoringCase(value, "desktop")) {
    width = static_cast<int32_t>(screen.Width);
    height = static_cast<int32_t>(screen.Height);
  } else {
    irr::core::array<stringc> parts;
    bool understood = splitString(value, 'x', parts) == 2;
    if (understood) {
      const int32_t w = stringToInt(parts[0]);
      const int32_t h = stringToInt(parts[1]);
      if (w < kMinWidth || h < kMinHeight) {
        logError("ERROR: Speficied a resolution less than 320x240. Defaulting to %ix%i.\n", defaultWidth,
                 defaultHeight);
      } else if (static_cast<int64_t>(w) * h > INT32_MAX) {
        understood = false;  // no screen has that many pixels
      } else {
        width = w;
        height = h;
      }
    }
    if (!understood)
      logError("ERROR: Could not understand resolution '%s'. Defaulting to %ix%i.\n", value.c_str(), defaultWidth,
               defaultHeight);
  }
  screenWidth = width;
  screenHeight = height;
  screenPixels = width * height;
}

}  // namespace

void readConfigKeys(IniFile& store, const ConfigEnvironment& environment) {
  static const char* const kShaderQualities[5] = {"Disabled", "Low", "Medium", "High", "Very High"};
  static const char* const kTextureQualities[5] = {"Very Low", "Low", "Medium", "High", "Very High"};
  constexpr int kMediumQuality = 2;
  KeyReader keys(store);

  bDeferredTextures = keys.trueUnlessFalse("Experimental", "bDeferredTextures", "false");
  bThreadedGraphics = keys.trueUnlessFalse("Experimental", "bThreadedGraphics", "false");
  bSmallPackets = keys.trueUnlessFalse("Experimental", "bSmallPackets", "false");
  bLargePackets = keys.trueUnlessFalse("Experimental", "bLargePackets", "false");

  fAutosaveInterval = keys.number("General", "fAutosaveInterval", "5");
  if (fAutosaveInterval < 0)
    fAutosaveInterval = 0;
  else if (fAutosaveInterval >= 60)
    fAutosaveInterval = 60;
  iRotateSaves = keys.integer("General", "iRotateSaves", "6");
  if (iRotateSaves < 0)
    iRotateSaves = 0;
  else if (iRotateSaves >= 60)
    iRotateSaves = 60;
  bServerAutosave = keys.trueUnlessFalse("General", "bServerAutosave", "false");
  bFullGCCyle = keys.trueUnlessFalse("General", "bFullGCCyle", "false");
  fSleepLevel = keys.number("General", "fSleepLevel", "0.25");
  if (fSleepLevel < 0)
    fSleepLevel = 0;  // a negative level would turn into an endless sleep
  sMasterServer = store.getValue("General", "sMasterServer", sMasterServer, false);
  bFreeformCamera = keys.trueUnlessFalse("General", "bFreeformCamera", "true");

  fMusicVolume = keys.number("Sound", "fMusicVolume", "0.33");
  fMasterVolume = keys.number("Sound", "fMasterVolume", "1");
  bShuffle = keys.trueUnlessFalse("Sound", "bShuffle", "true");
  bUseShipRumbles = keys.trueUnlessFalse("Sound", "bUseShipRumbles", "false");
  sSoundDriver = keys.text("Sound", "sSoundDriver", "Generic Software");

  // Not added when missing: the store cannot hold the empty built-in host,
  // and a key it drops on reading would have the file written every start.
  sServer = store.getValue("irc", "sServer", kBuiltInIrcServer, false);
  sChannel = keys.text("irc", "sChannel", "#corvane");
  sNickname = keys.text("Multiplayer", "sNickname", "VOZerara");
  iPort = keys.integer("irc", "iPort", "6667");

  bFullScreen = keys.trueUnlessFalse("Graphics", "bFullScreen", "false");
  readResolution(keys, environment);
  fMaxFPS = keys.number("Graphics", "fMaxFPS", "75");
  if (fMaxFPS <= 0)
    fMaxFPS = 1000;
  else if (fMaxFPS < 10)
    fMaxFPS = 10;
  bAntiAlias = keys.trueUnlessFalse("Graphics", "bAntiAlias", "true");
  keys.text("Graphics", "iBitDepth", "32");  // kept in the file only
  bDisplayBackground = keys.trueUnlessFalse("Graphics", "bDisplayBackground", "true");
  bDisplayGas = keys.trueUnlessFalse("Graphics", "bDisplayGas", "true");
  bDisplaySystemRings = keys.trueUnlessFalse("Graphics", "bDisplaySystemRings", "true");
  bDisplaySystemPlanes = keys.trueUnlessFalse("Graphics", "bDisplaySystemPlanes", "true");
  cSystemPlaneColor = readColor(keys.text("Graphics", "cSystemPlaneColor", "105cb2ff"));
  iShipIcons = keys.integer("Graphics", "iShipIcons", "0");
  iStationIcons = keys.integer("Graphics", "iStationIcons", "0");
  iPlanetIcons = keys.integer("Graphics", "iPlanetIcons", "0");
  fNearLODFactor = keys.number("Graphics", "fNearLODFactor", "1");
  fFarLODFactor = keys.number("Graphics", "fFarLODFactor", "1");
  {
    // Only the low 8 bits count, and a leading '-' is read over.
    const stringc brightness = keys.text("Graphics", "iAmbientBrightness", "72");
    bool negative;
    iAmbientBrightness = readWholeNumber<uint8_t>(brightness.c_str(), brightness.size(), negative);
  }
  const int shaders = keys.choice("Graphics", "sShaderQuality", kShaderQualities, kMediumQuality);
  if (shaders >= 0) {
    shaderLevel = shaders;
    shadersEnabled = shaders > 0;
  }
  const int textures = keys.choice("Graphics", "sTextureQuality", kTextureQualities, kMediumQuality);
  if (textures >= 0)
    textureLevel = textures;
  keys.text("Graphics", "bVerticalSync", "false");  // kept in the file only
  fDistantIconSize = keys.number("Graphics", "fDistantIconSize", "1");
  bResizeable = keys.trueUnlessFalse("Graphics", "bResizeable", "true");
  bShipEngines = keys.trueUnlessFalse("Graphics", "bShipEngines", "true");
  bHighQShipEngines = keys.trueUnlessFalse("Graphics", "bHighQShipEngines", "true");

  fVerticalSensitivity = keys.number("Controls", "fVerticalSensitivity", "0.25");
  fHorizontalSensitivity = keys.number("Controls", "fHorizontalSensitivity", "0.25");
  fZoomSpeed = keys.number("Controls", "fZoomSpeed", "0.8");
  fMoveSpeed = keys.number("Controls", "fMoveSpeed", "1");
  fPanSpeed = keys.number("Controls", "fPanSpeed", "1");
  bCentralZoomOut = keys.trueOnlyWhenTrue("Controls", "bCentralZoomOut", "false");
  bEdgeScroll = keys.trueOnlyWhenTrue("Controls", "bEdgeScroll", "true");

  const int32_t threads = keys.integer("Threading", "uiThreadCount", stringc(4 * environment.logicalCpus));
  uiThreadCount = threads < 0 ? 12u : threads > 255 ? 255u : static_cast<uint32_t>(threads);
  if (environment.singleThreadedGiven)
    singleThreaded = true;
  else
    singleThreaded =
        keys.trueOnlyWhenTrue("Threading", "bSingleThreaded", environment.logicalCpus <= 1 ? "true" : "false");
  if (singleThreaded)
    uiThreadCount = 0;

  if (!environment.localeGiven) {
    localeName = keys.text("Localization", "sCurLocale", "english");
    const irr::u32 length = localeName.size();
    if (length >= 4 && equalsIgnoringCase(localeName.subString(length - 4, 4), ".txt"))
      localeName = localeName.subString(0, static_cast<irr::s32>(length - 4));
  }
}

bool readConfigFile(const std::string& path, IniFile& store) {
  std::string readError;
  store = IniFile::readFile(path, &readError);
  if (readError.empty())
    return true;
  logError("Could not read config.cfg \"%s\": %s. Using the defaults.\n", path.c_str(), readError.c_str());
  return false;
}

bool loadConfig(const std::string& path, const ConfigEnvironment& environment) {
  // A file that exists but cannot be read is not written over: the defaults
  // serve this run only.
  IniFile store;
  const bool readable = readConfigFile(path, store);
  readConfigKeys(store, environment);
  if (!readable || !store.changed())
    return true;
  return store.writeFile(path);
}
