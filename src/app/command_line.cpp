#include "app/command_line.h"

namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool endsWithNoCase(const std::string& text, const char* ending) {
  const std::string tail(ending);
  return text.size() >= tail.size() && lowerAscii(text.substr(text.size() - tail.size())) == tail;
}

std::string withoutTxt(const std::string& name) {
  return endsWithNoCase(name, ".txt") ? name.substr(0, name.size() - 4) : name;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine options;
  options.argumentCount = argc > 1 ? argc - 1 : 0;
  for (int i = 1; i < argc; ++i) {
    const std::string typed = argv[i] != nullptr ? argv[i] : "";
    const std::string word = lowerAscii(typed);
    const bool hasValue = i + 1 < argc && argv[i + 1] != nullptr;
    // Takes the switch's value, or notes that it is missing.
    auto value = [&](const char* missing) -> const char* {
      if (hasValue)
        return argv[++i];
      if (missing != nullptr)
        options.badArguments.push_back(typed + missing);
      return nullptr;
    };

    if (word == "-nolog") {
      options.logToFile = false;
    } else if (word == "+map") {
      if (const char* map = value(" requires a map name")) {
        options.mapName = map;
        options.mapGiven = true;
      }
    } else if (word == "+mod") {
      if (const char* mod = value(" requires a mod name"))
        options.modName = mod;
    } else if (word == "-verbose") {
      options.verboseLog = true;
    } else if (word == "-debuginfo") {
      options.debugInfo = true;
    } else if (word == "-nowarnings") {
      options.noWarnings = true;
    } else if (word == "-defaults") {
      options.resetConfig = true;
    } else if (word == "-nothreadedload") {
      options.threadedLoad = false;
    } else if (word == "-singlethreaded") {
      options.singleThreaded = true;
    } else if (word == "-profile") {
      options.profile = true;
    } else if (word == "-nomdumps") {
      options.writeMinidumps = false;
    } else if (word == "-shigatsu") {
      options.shigatsu = true;
    } else if (word == "+developer") {
      options.developer = true;
    } else if (word == "+curlocale") {
      options.localeGiven = true;
      if (const char* locale = value(" requires a locale name"))
        options.localeName = withoutTxt(locale);
    } else if (word == "-quickstart") {
      options.quickStartName = L"default";
    } else if (word == "+quickstart") {
      if (const char* id = value(" requires a quickstart index"))
        options.quickStartName = id;
    } else if (word == "-test_scripts") {
      options.scriptTestMode = true;
    } else if (word == "-videomode") {
      options.videoMode = true;
    } else if (word == "+servername") {
      if (const char* name = value(nullptr))
        options.serverName = name;
    } else if (word == "+serverpass") {
      if (const char* password = value(nullptr))
        options.serverPassword = password;
    } else {
      options.badArguments.push_back(typed);
    }
  }
  options.mapName = fixUpMapName(options.mapName);
  return options;
}

std::string fixUpMapName(const std::string& mapName) {
  // A saved game keeps its name: the session loads it.
  if (mapName.size() >= 3 && !endsWithNoCase(mapName, ".as") && !endsWithNoCase(mapName, ".qvs"))
    return mapName + ".as";
  return mapName;
}

std::vector<std::string> echoCommandLine(CommandLine& options) {
  std::vector<std::string> lines;
  if (options.argumentCount == 0)
    return lines;
  lines.push_back("Command line options:\n");
  if (options.verboseLog)
    lines.push_back("\tVerbose Logging\n");
  if (options.developer)
    lines.push_back("\tDeveloper Mode\n");
  if (!options.writeMinidumps)
    lines.push_back("\tNot generating minidumps\n");
  if (options.debugInfo) {
    lines.push_back("\tPrinting debug information\n");
    if (!options.verboseLog) {
      lines.push_back("\tForcing verbose mode due to debug print settings\n");
      options.verboseLog = true;
    }
  }
  if (!options.logToFile)
    lines.push_back("\tNot outputting to log.txt\n");
  if (options.noWarnings)
    lines.push_back(options.verboseLog ? "\t-warnings ignored due to verbose mode\n" : "\tOnly logging errors\n");
  if (options.resetConfig)
    lines.push_back("\tWill reset config.cfg\n");
  if (options.profile)
    lines.push_back("\tProfiling aspects of the engine\n");
  if (!options.threadedLoad)
    lines.push_back("\tUsing a single thread to load resources\n");
  if (options.mapGiven)
    lines.push_back("\tLaunching with map \"" + options.mapName + "\"\n");
  if (options.localeGiven)
    lines.push_back("\tUsing " + options.localeName + ".txt curLocale\n");
  if (options.videoMode)
    lines.push_back("\tVideo Output Mode\n");
  for (const std::string& bad : options.badArguments)
    lines.push_back("\tBad command line argument: '" + bad + "'\n");
  return lines;
}
