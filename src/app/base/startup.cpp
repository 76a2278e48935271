#include "app/base/startup.h"

irr::core::stringc mapName = "spiral.as";
irr::core::stringc loadGameName;
irr::core::stringw quickStartName = L"default";

bool logToFile = true;
bool verboseLog = false;
bool debugInfo = false;
bool noWarnings = false;
bool resetConfig = false;
bool threadedLoad = true;
bool shigatsu = false;
bool videoMode = false;

int32_t sessionResult = kSessionQuit;

std::FILE* logFile = nullptr;
irr::gui::IGUIStaticText* fpsText = nullptr;
