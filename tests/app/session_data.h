// The game data that a session has set up when it prepares its galaxy, for
// the tests that make, save and load games without running whole sessions:
// the mod and its data folders, the locale, both script engines with the
// server scripts, and the planet types; then freed as a session's tear-down
// frees them.
#pragma once

#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/frame_loop.h"
#include "app/script_setup.h"
#include "core/locale.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/treaty_clause.h"
#include "universe/objects/object_registry.h"
#include "universe/planets/planet_hooks.h"
#include "universe/planets/planet_types.h"

// Sets up the data of mod `modName` (the base game for "/") with the map
// `mapName` chosen.
inline void beginSessionData(const char* modName, const char* mapName) {
  resetSessionFlags(false);
  uidHighWater = 1;
  registerMessageCategories();
  currentModName = modName;
  scanMods();
  mountDataFolders(true, mapName);
  applyCurrentMod();
  createUserFolders(userFolders);
  loadLocaleFile("Locales/english.txt", true);
  setupScriptEngines(nullptr);
  initThreadLocals();
  loadPlanetTypes(resolveDataPath("Game Data/PlanetTypes.xml"));
}

// Frees what beginSessionData set up; the game itself must be gone.
inline void endSessionData() {
  freeThreadLocals();
  tearDownScriptEngines();
  clearPlanetScriptHooks();
  clearPlanetTypes();
  clearSubSystemDefs();
  clearEffectors();
  clearEffects();
  clearTreatyClauses();
  research::clearWebItemDescs();
  clearResources();
  clearModTables();
  clearMessageCategories();
  gameRulesActive = false;
}
