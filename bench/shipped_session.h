// Benchmarks on the bundled data: a session's start-up up to its galaxy, as
// the game session does it, in a scratch user folder removed at exit. The
// program's .cmake file gives CORVANE_DATA_DIR.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/frame_loop.h"
#include "app/script_setup.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "universe/planets/planet_types.h"
#include "scratch_folder.h"
#include "script_build.h"

namespace benchsession {

// Sets the session up in a new scratch folder named after `benchName`, with
// the default map's settings for `aiCount` AI empires and `systemCount`
// systems; the caller then starts its game (setupNewGame, a load).
inline void startShippedSession(const char* benchName, int aiCount, int systemCount) {
  const std::string folder = benchscratch::makeScratchFolder(benchName).string();
  if (chdir(CORVANE_DATA_DIR) != 0) {
    std::perror(CORVANE_DATA_DIR);
    std::exit(1);
  }
  userDataFolder = folder.c_str();
  setUserFolders(userFolders);
  createUserFolders(userFolders);
  currentModName = "/";
  resetSessionFlags(false);
  registerMessageCategories();
  scanMods();
  mountDataFolders(true, "spiral");
  applyCurrentMod();
  loadLocaleFile("Locales/english.txt", true);
  benchscript::setUpSessionScripts();
  initThreadLocals();
  loadPlanetTypes(resolveDataPath("Game Data/PlanetTypes.xml"));
  setGameSetting(L"AI_COUNT", static_cast<float>(aiCount));
  setGameSetting(L"SYSTEM_COUNT", static_cast<float>(systemCount));
}

}  // namespace benchsession
