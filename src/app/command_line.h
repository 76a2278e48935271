// The server's command line: switches are matched in lower case ("-NoLog"
// is "-nolog"); the value after a switch that takes one keeps its case.
// Anything not understood is collected, listed in the echo and otherwise
// ignored: a bad argument never stops start-up.
#pragma once

#include <irrString.h>

#include <string>
#include <vector>

struct CommandLine {
  int argumentCount = 0;  // arguments after the program path

  bool logToFile = true;        // "-nolog" clears
  bool verboseLog = false;      // "-verbose", "-debuginfo"
  bool debugInfo = false;       // "-debuginfo"
  bool noWarnings = false;      // "-nowarnings"
  bool resetConfig = false;     // "-defaults"
  bool threadedLoad = true;     // "-nothreadedload" clears
  bool singleThreaded = false;  // "-singlethreaded"
  bool profile = false;         // "-profile"
  bool writeMinidumps = true;   // "-nomdumps" clears
  bool shigatsu = false;        // "-shigatsu"
  bool developer = false;       // "+developer"
  bool scriptTestMode = false;  // "-test_scripts"
  bool videoMode = false;       // "-videomode"

  // Values, starting from the process defaults.
  bool mapGiven = false;
  std::string mapName = "spiral.as";  // "+map"
  std::string modName = "/";          // "+mod"; "/" is the base game
  bool localeGiven = false;
  std::string localeName = "english";        // "+curlocale", without ".txt"
  irr::core::stringw quickStartName = L"default";  // "-quickstart", "+quickstart"
  std::string serverName = "Dedicated Corvane Server";  // "+servername"
  std::string serverPassword;                           // "+serverpass"

  std::vector<std::string> badArguments;  // as typed, in order
};

// Reads argv[1] .. argv[argc - 1]; the map name comes back fixed up.
CommandLine parseCommandLine(int argc, const char* const* argv);

// A map name of at least 3 characters that ends in neither ".as" nor ".qvs"
// (a saved game; any case) gets ".as" appended.
std::string fixUpMapName(const std::string& mapName);

// The echo lines of the options given, each ending with "\n", beginning with
// "Command line options:\n". "-debuginfo" without "-verbose" turns
// `verboseLog` on here, as its echo line says. Nothing when no argument was
// given.
std::vector<std::string> echoCommandLine(CommandLine& options);
