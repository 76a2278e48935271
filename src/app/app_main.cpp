// The server process: start-up, the loop over game sessions and shut-down.
//
// Start-up runs in a fixed order: the main thread's random generator, the
// user folders, a bootstrap engine device for the configuration phase, the
// command line, the log file, crash reports, config.cfg, the locale, then
// the engine device for the life of the process with the console, the sound
// device and autoexec.ini. Game sessions then run one after another until the
// operator asks the server to stop (SIGINT or SIGTERM), and the shut-down
// sequence closes everything in reverse.
#include "app/app_main.h"

#include <irrlicht.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "app/autoexec.h"
#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/base/startup.h"
#include "app/command_line.h"
#include "app/console_commands.h"
#include "app/console_input.h"
#include "app/engine_start.h"
#include "app/game_session.h"
#include "app/quick_start.h"
#include "app/quit_watcher.h"
#include "app/saved_game.h"
#include "app/server_settings.h"
#include "audio/music_box.h"
#include "audio/music_descriptors.h"
#include "audio/sound.h"
#include "audio/sound_device.h"
#include "core/file_access.h"
#include "core/ini_file.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/random.h"
#include "core/text_conversions.h"
#include "core/timer.h"
#include "core/user_folders.h"
#include "design/effects/function_registries.h"
#include "gfx/gfx_resources.h"
#include "gui/script/gui_modules.h"
#include "net/irc_window.h"
#include "net/network_manager.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/thread.h"
#include "platform/user_paths.h"
#include "ui/key_bindings.h"
#include "ui/key_controls.h"

namespace {

constexpr const char* kBuildVersion = "1.0.5.0";
constexpr unsigned kEngineWidth = 640;
constexpr unsigned kEngineHeight = 480;

void logFileSink(const char* text) {
  std::fputs(text, logFile);
  std::fflush(logFile);
}

void changeToExecutableFolder(irr::io::IFileSystem* fileSystem, const char* argv0) {
  const std::string folder = plat::executableFolder(argv0);
  if (!folder.empty())
    fileSystem->changeWorkingDirectoryTo(folder.c_str());
}

// Counts the CPUs of the process's affinity mask; 2 when it cannot be read.
unsigned logLogicalCpus() {
  const unsigned count = plat::affinityCpuCount();
  if (count == 0) {
    logPrint("Logical CPUs: UNKNOWN (Acts as 2)\n");
    return 2;
  }
  logPrint("Logical CPUs: %u\n", count);
  return count;
}

// Reads config.cfg into the settings (every missing key added with its
// default), loads the locale, and writes config.cfg back when a key was
// missing. A config.cfg that exists but cannot be read is logged and left as
// it is: the defaults serve this run only.
void loadConfiguration(const std::string& path, const ConfigEnvironment& environment) {
  logPrint("Loading config.cfg...\n");
  IniFile store;
  const bool readable = readConfigFile(path, store);
  readConfigKeys(store, environment);

  loadLocaleFile("Locales/english.txt", true);
  if (localeName != "english")
    loadLocaleFile(irr::core::stringc("Locales/") + localeName + ".txt", false);

  if (readable && store.changed())
    store.writeFile(path);
}

// The engine's own description of itself, then the build.
void printEngineInfo(irr::IrrlichtDevice* device) {
  Console* target = console();
  target->print(irr::core::stringw(L"Irrlicht Engine version ") + device->getVersion());
  target->print(irr::core::stringw(device->getOSOperator()->getOperatingSystemVersion().c_str()));
  target->print(irr::core::stringw(L"Using renderer: ") + device->getVideoDriver()->getName());
  irr::u32 megahertz = 0;
  if (device->getOSOperator()->getProcessorSpeedMHz(&megahertz)) {
    float scaled = 0.0f;
    const wchar_t* prefix = standardizeNumber(megahertz * 1000000.0, scaled);
    logPrint("Processor speed: %.3f%lsHz\n", scaled, prefix);
  }
  logPrint("Corvane build: %s\n", kBuildVersion);
}

void logSoundDevices() {
  logInfo("Available Sound Devices:\n");
  irr::core::list<irr::core::stringc> names;
  soundDevice->getDeviceNames(names);
  for (const irr::core::stringc& name : names)
    logInfo("  %s\n", name.c_str());
}

// Hidden white text in the bottom-left corner, shown by "cl_showfps".
void createFpsText() {
  fpsText = engine.gui->addStaticText(L"", irr::core::rect<irr::s32>(0, screenHeight - 17, 200, screenHeight - 1),
                                      false, false, nullptr, -1, false);
  fpsText->setOverrideColor(irr::video::SColor(255, 255, 255, 255));
  fpsText->setVisible(false);
}

// The game settings every new pass starts from.
void resetGameSettings() {
  setGameSetting(L"SYSTEM_COUNT", 150.0f);
  setGameSetting(L"AI_COUNT", 3.0f);
}

}  // namespace

int corvaneMain(int argc, char** argv) {
  // Closed standard descriptors get /dev/null before any file is opened, so
  // that no file (log.txt above all) takes their numbers.
  plat::ensureStandardDescriptors();
  // Wide texts ("%ls" in log lines) are converted to UTF-8; numbers keep the
  // C locale's decimal point.
  std::setlocale(LC_CTYPE, "C.UTF-8");
  plat::installTerminationHandlers();
  // A quit request also stops scripts that never return.
  if (!startQuitWatcher())
    std::fprintf(stderr, "Could not start the quit watcher: stuck scripts will not stop on a quit request\n");

  // 1. The main thread's random generator; every later thread gets its own.
  setThreadRandomSeed(0);
  registerThreadRandom();
  initThreadRandom();
  // The native functions that effect and effector files name, before any
  // other thread can look them up.
  registerNativeFunctions();
  // The network manager with its built-in message receivers.
  createNetworkManager();

  // 2. User folders under the user's application-data folder.
  userDataFolder = plat::userAppDataFolder().c_str();
  setUserFolders(userFolders);
  mapName = "spiral.as";
  currentModName = "/";

  // 3. A bootstrap device for the configuration phase.
  irr::IrrlichtDevice* bootstrap = createNullDevice(kEngineWidth, kEngineHeight, &logOnlyReceiver);
  if (bootstrap == nullptr)
    return -1;
  setFileSystem(bootstrap->getFileSystem());

  // 4. Start time and April 1.
  const irr::u32 startTime = bootstrap->getTimer()->getRealTime();
  const irr::ITimer::RealTimeDate today = bootstrap->getTimer()->getRealTimeAndDate();
  shigatsu = today.Day == 1 && today.Month == 4;

  // 5. Data folders are found beside the executable.
  changeToExecutableFolder(bootstrap->getFileSystem(), argc > 0 ? argv[0] : nullptr);

  // 6. Command line.
  CommandLine options = parseCommandLine(argc, argv);
  logToFile = options.logToFile;
  verboseLog = options.verboseLog;
  debugInfo = options.debugInfo;
  noWarnings = options.noWarnings;
  resetConfig = options.resetConfig;
  threadedLoad = options.threadedLoad;
  singleThreaded = options.singleThreaded;
  shigatsu = shigatsu || options.shigatsu;
  videoMode = options.videoMode;
  mapName = options.mapName.c_str();
  currentModName = options.modName.c_str();
  quickStartName = options.quickStartName;
  if (options.localeGiven)
    localeName = options.localeName.c_str();

  // 11, done before the log file that lives in it: the user folders and the
  // user's mods folder.
  createUserFolders(userFolders);
  plat::createDirectories((std::string(userFolders.game.c_str()) + "Mods/").c_str());

  // 7. Log file: only a regular file or a missing one. When it cannot be
  // opened, standard error says so once and carries the log until the
  // console takes over.
  if (logToFile) {
    const std::string logPath = std::string(userFolders.game.c_str()) + "log.txt";
    std::string reason;
    logFile = openLogFile(logPath, reason);
    if (logFile == nullptr) {
      std::fprintf(stderr, "Could not open the log file \"%s\": %s\n", logPath.c_str(), reason.c_str());
      addLogSink(standardErrorLogSink);
    } else if (!addLogSink(logFileSink)) {
      std::fclose(logFile);
      logFile = nullptr;
    }
  }

  // 8. The echo of the options, then the log level.
  for (const std::string& line : echoCommandLine(options))
    logPrint("%s", line.c_str());
  verboseLog = options.verboseLog;
  logLevel = verboseLog ? kLogLevelInfo : noWarnings ? kLogLevelErrors : kLogLevelWarnings;
  // A mod name longer than any folder name is refused here, once, and the
  // base game is used.
  if (!checkModNameLength(currentModName))
    currentModName = "/";
  // A dedicated server has no menu to pick a mod again: every session runs
  // with the mod it was started with.
  irr::core::stringc serverModName = currentModName;

  // 9. Crash reports.
  if (options.writeMinidumps &&
      !plat::installCrashHandlers(userFolders.game.c_str(), logFile != nullptr ? fileno(logFile) : -1))
    logError("No crash reports: the user folder's path is too long\n");

  // 10. An empty config.cfg when asked for.
  const std::string configPath = std::string(userFolders.game.c_str()) + "config.cfg";
  if (resetConfig) {
    if (const int error = plat::emptyRegularFile(configPath))
      logError("Could not empty config.cfg \"%s\": %s\n", configPath.c_str(), plat::errorText(error).c_str());
  }

  // 12-16. Logical CPUs, config.cfg and the locale.
  ConfigEnvironment environment;
  environment.logicalCpus = logLogicalCpus();
  environment.singleThreadedGiven = options.singleThreaded;
  environment.localeGiven = options.localeGiven;
  const irr::core::dimension2du desktop = bootstrap->getVideoModeList()->getDesktopResolution();
  if (desktop.Width > 0 && desktop.Height > 0)
    environment.screenSize = desktop;
  loadConfiguration(configPath, environment);
  setFileSystem(nullptr);
  bootstrap->drop();

  irr::IrrlichtDevice* device = nullptr;
  if (options.scriptTestMode) {
    // 17. Script tests need only a minimal device.
    device = createNullDevice(1, 1, &logOnlyReceiver);
    initDeviceGlobals(device, nullptr);
    if (device == nullptr)
      return -1;
  } else {
    // 18-20. The engine device, its event handler and its sound device.
    logPrint("Initializing Engine...\n");
    device = createNullDevice(kEngineWidth, kEngineHeight, &logOnlyReceiver);
    registerEventHandlers();
    if (device != nullptr)
      device->setEventReceiver(&eventHandler);
    initDeviceGlobals(device, sSoundDriver.equals_ignore_case("auto") ? nullptr : sSoundDriver.c_str());
    if (device == nullptr)
      return -1;

    // 21. Device settings and the console.
    device->setResizable(bResizeable);
    changeToExecutableFolder(engine.fileSystem, argc > 0 ? argv[0] : nullptr);
    Console* target = createConsole(engine.gui);
    target->setMirror(mirrorConsoleToStdout);
    removeLogSink(standardErrorLogSink);  // the console mirrors to standard output from here
    addLogSink(consoleLogSink);
    setConsoleLogSink(consoleLogSink);
    printEngineInfo(device);

    // 22. The console commands, log level, key bindings, sound and music.
    registerConsoleCommands();
    setEngineLogLevel(logLevel);
    setActiveKeyBindings(&keyBindings);
    device->setWindowCaption(L"Corvane");
    logSoundDevices();
    // Key bindings: the built-in actions, controls.cfg, the scripts' binding.
    registerKeyActions();
    installKeyBindingScriptHooks();
    musicBox.setVolume(fMusicVolume);
    musicBox.setShuffle(bShuffle);
    soundDevice->setVolume(fMasterVolume);
    loadMusicDescriptors("sounds/music/music.txt");
    installSoundLoadHooks();

    // 23. autoexec.ini, then the console takes lines from standard input.
    runAutoexec(std::string(userFolders.game.c_str()) + "autoexec.ini");
    startConsoleInput(0);
    createFpsText();

    // 24. The frame profiler.
    if (mainProfiler == nullptr)
      mainProfiler = createHiresProfiler().release();
  }

  // 25. The first pass.
  resetGameSettings();
  sessionResult = 0;

  // The loop over game sessions.
  int exitCode = 0;
  for (bool quit = false; !quit;) {
    applyQuickStart(engine.timer->getRealTime());
    if (applyServerSettings(readServerSettings(getGameSetting), engine.timer->getRealTime(), options.serverName,
                            options.serverPassword))
      startServerNetwork();
    int result = 0;
    for (;;) {
      sessionResult = kSessionQuit;
      result = runGameSession(loadGameName.empty() ? mapName : loadGameName);
      if (result == kSessionScriptSetupFailed)
        exitCode = kScriptSetupFailedExit;
      if (result == kSessionQuit || result == kSessionScriptSetupFailed) {
        quit = true;
        break;
      }
      if (sessionResult != kSessionRestart)
        break;
    }
    if (quit)
      break;
    // The session's own mod stays, its saves are read against its data; a
    // mod that cannot be found gives way to the base game for good.
    if (result == kSessionModMissing)
      serverModName = "/";
    currentModName = serverModName;
    resetGameSettings();
    sessionResult = 0;
  }

  // Shut-down.
  closeIRC();
  // Rich-text link hooks.
  clearLinkHooks();
  removeConsoleLogSink();
  if (!options.scriptTestMode) {
    logInfo("Shutting down engine\nRunning time: %f seconds\n",
            static_cast<double>(engine.timer->getRealTime() - startTime) / 1000.0);
  }
  if (fpsText != nullptr) {
    fpsText->remove();
    fpsText = nullptr;
  }
  networkManager->disconnect();
  setConsole(nullptr);
  // Sound: the music stops and the error sound lets go of the sound device.
  musicBox.stopMusic();
  if (gfxResources.errorSound != nullptr) {
    gfxResources.errorSound->drop();
    gfxResources.errorSound = nullptr;
  }
  closeDeviceGlobals(device);
  if (logFile != nullptr) {
    removeLogSink(logFileSink);
    std::fclose(logFile);
    logFile = nullptr;
  }
  return exitCode;
}
