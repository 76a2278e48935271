// The game session: start-up in a fixed order, the frame loop, and the
// tear-down that frees what the session made, in reverse.
//
// Steps whose work belongs to parts of the server that are built later
// (graphics, interface, network, saved games) are marked where that work
// joins; until then they do nothing beyond their log lines.
#include "app/game_session.h"

#include <angelscript.h>
#include <irrlicht.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/console_input.h"
#include "app/data_folders.h"
#include "app/frame_loop.h"
#include "app/galaxy_backdrop.h"
#include "app/loading_phase.h"
#include "app/base/message_box.h"
#include "app/new_game.h"
#include "app/profiling_windows.h"
#include "app/resource_fetcher.h"
#include "app/saved_game.h"
#include "app/script_setup.h"
#include "app/server_map_wait.h"
#include "app/session_workers.h"
#include "audio/music_box.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/random.h"
#include "core/threads.h"
#include "core/timer.h"
#include "core/user_folders.h"
#include "empire/diplomacy/diplomacy_texts.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/traits.h"
#include "empire/treaty_clause.h"
#include "gfx/effect_node_pools.h"
#include "gfx/game_camera.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "gfx/gfx_resources.h"
#include "gfx/habitat_extensions.h"
#include "gfx/material_desc.h"
#include "gfx/object_icons.h"
#include "gfx/particle_host.h"
#include "gfx/render_group.h"
#include "gfx/special_fx.h"
#include "gfx/texture_loader.h"
#include "gui/base/gui_callbacks.h"
#include "gui/gui_animations.h"
#include "gui/gui_script_hooks.h"
#include "gui/richtext/text_tags.h"
#include "gui/script/gui_modules.h"
#include "gui/scripted_gui_element.h"
#include "gui/window_buttons.h"
#include "net/galaxy_transfer.h"
#include "net/irc_window.h"
#include "net/network_manager.h"
#include "net/remote_console.h"
#include "scriptapi/object_natives.h"
#include "scriptapi/temp_hull.h"
#include "platform/directory.h"
#include "platform/signals.h"
#include "platform/thread.h"
#include "script/script_registration.h"
#include "script/server_modules.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "design/shipsets/ship_set.h"
#include "design/subsystems/sub_system_def.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_threads.h"
#include "universe/planets/planet_hooks.h"
#include "universe/planets/planet_types.h"
#include "universe/ships/ship.h"
#include "ui/actionmenu/action_list.h"
#include "ui/menus/cargo_dialog.h"
#include "ui/cursor_hit_normal.h"
#include "ui/menus/session_menus.h"
#include "ui/move_to_point.h"
#include "ui/object_picking.h"
#include "ui/repeat_mode.h"
#include "ui/selection.h"
#include "ui/view_input.h"

namespace {

// The frame rate of video output mode.
constexpr float kVideoModeFrameRate = 30.0f;
// Below this much real time gathered towards the next simulation frame, a
// pass flushes the log file.
constexpr float kLogFlushFrameTime = 0.01f;
// The autosave's name, and so its file "Saves/autosave.qvs".
constexpr char kAutosaveName[] = "autosave";
// Priority index of the frame loop's thread: above normal.
constexpr int kFrameLoopPriority = static_cast<int>(plat::ThreadPriority::AboveNormal);

uint32_t realTimeMs() { return engine.timer != nullptr ? engine.timer->getRealTime() : 0; }

bool isNetworkServer() { return networkManager->isServer; }

void flushLogFile() {
  if (logFile != nullptr)
    std::fflush(logFile);
}

// The scene's ambient light: the grey of "iAmbientBrightness".
void setAmbientLight() {
  if (engine.scene == nullptr)
    return;
  const irr::u32 level = iAmbientBrightness;
  engine.scene->setAmbientLight(irr::video::SColorf(irr::video::SColor(255, level, level, level)));
}

void loadSessionLocale() {
  loadLocaleFile("Locales/english.txt", true);
  if (localeName != "english")
    loadLocaleFile(irr::core::stringc("Locales/") + localeName + ".txt", false);
}

void logGameLoopStart() {
  if (engine.timer != nullptr) {
    const irr::ITimer::RealTimeDate date = engine.timer->getRealTimeAndDate();
    logPrint("Game loop start %i:%02i:%02i %i/%i/%i\n", date.Hour, date.Minute, date.Second, date.Month, date.Day,
             date.Year);
  }
  flushLogFile();
}

// Tear-down from T9 on: what every session made, also one whose galaxy
// could not be prepared.
void tearDownSession() {
  // A session that ends before its loading is over lets the texture
  // loader's thread end too.
  textureLoader.stopRequested.store(true);
  // T9. (The skybox and the scene's pools join here.) The view lets go of
  // the galaxy's render group; no group outlives the session.
  clearRenderGroups();
  clearMessageCategories();
  clearGalaxyGasSprites();
  // Game camera: the scene camera goes.
  gameCamera.attachNode(nullptr);
  sessionCameraNode = nullptr;
  clearActiveGfxEffects();
  clearEffGfxQueueUnlocked();
  removeGalaxyBackdrop();

  // T10. (The scripted GUI's removals and rich-text tags join here.) The
  // players keep no empire that is about to go.
  networkManager->forgetPlayerEmpires();
  freeTempHulls();
  deleteAllEmpires();
  freeNewGamePlayerEmpire();
  // GUI core: no script handler outlives the engines.
  flushScriptedGuiRemovals();
  // No GUI module record outlives its engine, also when T6 was not reached.
  clearGuiModules();
  tearDownScriptEngines();
  // GUI element types: the image tag names the session's materials; the
  // dock's windows go with the session's GUI.
  releaseDefaultImageTag();
  clearWindowDock();
  clearPlanetScriptHooks();
  clearShipScriptHooks();

  // T11. (Material tables are cleared here too.) The technologies go after
  // the empires, whose webs point at them.
  // Planet extensions: the scripts that add them are gone.
  clearHabitatExtensions();
  clearResources();
  clearSubSystemDefs();
  clearEffectors();
  clearEffects();
  research::clearWebItemDescs();
  clearDiplomacyTexts();
  clearTreatyClauses();
  clearShipSets();

  // T12. The escape menu goes, key 27 is unbound and the options and save
  // dialogs close. The GUI callback map is emptied; the chat window outlives
  // the session: it binds its callbacks again.
  tearDownSessionEscapeMenu();
  clearGuiCallbacks();
  if (ircWindow != nullptr)
    ircWindow->bindCallbacks();
  if (engine.gui != nullptr)
    engine.gui->setFocus(nullptr);

  // T13.
  if (galaxyFailed) {
    // (The GUI script modules are cleared here.)
    freeThreadLocals();
    if (engine.scene != nullptr)
      engine.scene->getRootSceneNode()->removeAll();
  }

  // T14. The particle systems end and let go of their burst nodes; the
  // node rings go, burst nodes first, then the graphics registries.
  releaseParticleSystems();
  releaseBurstNodePool();
  releaseEffectNodePool();
  clearGfxResources(gfxResources);

  // T15.
  if (!galaxyFailed)
    reportUndeletedObjects();
  clearObjectRegistry();
  logInfo("Game ending. Total game time (not session): %f seconds\n", gameTime.load());
}

}  // namespace

GalaxySource chooseGalaxySource(const irr::core::stringc& name, bool networkClient) {
  if (networkClient)
    return GalaxySource::Client;
  const irr::core::stringc suffix = ".qvs";
  if (name.size() >= suffix.size() &&
      name.subString(name.size() - suffix.size(), suffix.size()).equals_ignore_case(suffix))
    return GalaxySource::SavedGame;
  return GalaxySource::NewGame;
}

void applyEmpireTraits() {
  for (empire* emp : empireList) {
    std::vector<ITrait*> held;
    {
      ScopedReadLock guard(emp->locks[EA_Traits]);
      for (const auto& entry : emp->traits)
        held.push_back(entry.second);
    }
    for (ITrait* trait : held)
      trait->apply(emp);
  }
}

void clearSessionTraits() {
  for (empire* emp : empireList) {
    ScopedWriteLock guard(emp->locks[EA_Traits]);
    emp->traits.clear();
    emp->traitTags.clear();
  }
  clearTraits();
}

int32_t seedFromSetting(float value) {
  // Beyond 2^63 a float's low 32 bits are all 0 anyway.
  constexpr double kLargest = 9223372036854775808.0;
  const double truncated = std::trunc(static_cast<double>(value));
  if (!std::isfinite(truncated) || std::fabs(truncated) >= kLargest)
    return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(truncated)));
}

int runGameSession(const irr::core::stringc& name) {
  // 1. The network is served by its own thread while the session loads.
  // The texture loader starts afresh; its thread ends by itself once the
  // session's resources are loaded. The last session's thread is asked to
  // end and waited for first, so that one thread serves the queue.
  {
    static Thread textureThread;
    textureLoader.stopRequested.store(true);
    if (textureThread.valid())
      textureThread.waitForExit();
    resetTextureQueue();
    textureThread = Thread();
    textureThread.start(textureLoaderThread, &textureLoader, true);
  }
  NetworkPoll networkPoll;
  if (networkManager->peerActive())
    networkPoll.start();

  // 2. The process-wide generator and this thread's own.
  currentSeed = seedFromSetting(getGameSetting(L"SEED", 0.0f));
  seedProcessRandom(static_cast<uint32_t>(currentSeed));
  // Every generator made from here on (this thread's, the script set-up
  // thread's, the workers') starts from the session's seed.
  setThreadRandomSeed(static_cast<uint32_t>(currentSeed));
  registerThreadRandom();
  initThreadRandom();
  logPrint("Seed: %u\n", static_cast<unsigned>(currentSeed));

  // 3. The mod must exist.
  registerMessageCategories();
  scanMods();
  if (!isCurrentModValid()) {
    textureLoader.stopRequested.store(true);
    networkPoll.stop();
    networkManager->disconnect();
    showMessageBox("Mod Missing", std::string("Could not load mod '") + currentModName.c_str() + "', missing.");
    clearMessageCategories();
    return kSessionModMissing;
  }

  // 4.
  setAmbientLight();

  // 5.
  resetSessionFlags(isNetworkClient());
  uidHighWater = 1;
  registerFrameProfileSections();

  // 6. Clocks.
  std::unique_ptr<HiresTimer> loopTimer = createHiresTimer();
  SessionWorkers workers(sessionWorkerTasks(), singleThreaded);
  FrameLoop frameLoop(*loopTimer, workers, engine.timer);
  frameLoop.startClocks(realTimeMs());
  // Saves wait for this session's galaxy update.
  struct SavingWorkers {
    explicit SavingWorkers(SessionWorkers& workers) { setSavingSessionWorkers(&workers); }
    ~SavingWorkers() { setSavingSessionWorkers(nullptr); }
  } const savingWorkers(workers);

  // 7.
  if (videoMode) {
    plat::createDirectories("Video/");
    fMaxFPS = kVideoModeFrameRate;
  }

  // 8.
  createEffectNodePool();
  createBurstNodePool();
  loopTimer->tick();

  // 9.
  const GalaxySource source = chooseGalaxySource(name, isNetworkClient());
  mountDataFolders(source == GalaxySource::NewGame, name);
  applyCurrentMod();
  createUserFolders(userFolders);
  logInfo("Mod Directory '%s'\n", userFolders.base.c_str());

  // 10.
  loadSessionLocale();

  // 11. A saved game's settings and formula constants, ahead of the
  // scripts.
  const irr::core::stringc savePath = source == GalaxySource::SavedGame ? savedGamePath(name) : "";
  if (source == GalaxySource::SavedGame)
    readSavedGameSettings(savePath);

  // 12.
  std::atomic<bool> scriptsReady{false};
  Thread scriptSetupThread;
  startScriptSetup(threadedLoad, scriptsReady, scriptSetupThread);

  // 13-14. The ship sets load once the script set-up is done, below.
  {
    const LoadingPhase phase("Loading resources");
    GfxDescriptorLists descriptors;
    descriptors.shaders = &sessionDataFiles.shaderDescriptors;
    descriptors.materials = &sessionDataFiles.materialDescriptors;
    descriptors.models = &sessionDataFiles.modelDescriptors;
    descriptors.sounds = &sessionDataFiles.soundDescriptors;
    // "#include" and "LoadModels" lines show on the script set-up's screen.
    descriptorLoadingScreen = &scriptSetupSlots.showLoadingScreen;
    initGfxResources(descriptors, textureLevel, scriptSetupSlots.showLoadingScreen);
    // Special effects and particle systems.
    if (!sessionDataFiles.specialEffectsFile.empty()) {
      loadSpecialFXDescriptors(sessionDataFiles.specialEffectsFile);
      sessionDataFiles.specialEffectsFile = "";
    }
    startParticleSystems(&resourceFetcher, sessionDataFiles.particleSystems);
    logInfo("Texture memory size: %u KB\n", namedMaterialTextureMemoryKB(gfxResources));
  }

  // 15. Game camera: the session's scene camera, driven by the game camera
  // until the session ends.
  if (engine.scene != nullptr) {
    sessionCameraNode = engine.scene->addCameraSceneNode();
    gameCamera.attachNode(sessionCameraNode);
  }

  // 16. Finished textures are applied while waiting.
  while (!scriptsReady.load()) {
    processTextureQueue(false);
    plat::sleepMs(0);
  }
  if (scriptSetupThread.valid())
    scriptSetupThread.waitForExit();
  if (scriptRegistrationsRejected() > 0) {
    // The engines refuse every script build from here on: no session can
    // run on them.
    networkPoll.stop();
    networkManager->disconnect();
    galaxyFailed = true;
    clearModTables();
    tearDownSession();
    return kSessionScriptSetupFailed;
  }

  // Sub-system materials: both the definitions and the material pass are
  // done now.
  fillSubSystemAppearances(getMaterial(L"GenericSubSys"));

  // 14, ship sets. Their rules are formulas, compiled against the formula
  // constants and functions that the script set-up writes: loading them
  // while that set-up may still run on its own thread would race with it.
  for (const irr::core::stringc& path : sessionDataFiles.shipSets)
    loadShipSets(path);
  sessionDataFiles.shipSets.clear();

  // 17.
  initThreadLocals();
  // Object icons: a missing file gives no reader and no icons.
  loadObjectIconFile(resolveDataPath("Game Data/object_icons.xml"));
  loadPlanetTypes(resolveDataPath("Game Data/PlanetTypes.xml"));
  loadResources(resolveDataPath("Game Data/resources.xml"));
  clearTraits();
  loadTraitFile(resolveDataPath("Game Data/traits.xml"));

  // 18. (The planet models' material tables are built here.)
  // Planet extensions: moons and rings from the loaded models and materials.
  registerHabitatExtensions();
  // 19. (The named materials of the backdrop and the view input's table
  // join here.) The texture loader takes no more requests: its thread ends
  // once the queue is drained. The required textures finished by now go
  // into their materials at once; the rest follow, one a frame.
  createGalaxyBackdrop(engine.scene, nullptr);
  textureLoader.stopRequested.store(true);
  processTextureQueue(true);
  logInfo("%i queued textures\n", static_cast<int>(queuedTextureCount()));

  {
    // 20.
    LoadingPhase phase("Preparing Galaxy");
    galaxyFailed = false;
    gameRunning = true;
    networkPoll.stop();
    // The statistics natives lock objects only once the system threads run:
    // while the galaxy is set up, nothing else ticks it.
    noObjectLocking = true;

    // 21. The client waits for the server's galaxy; a cancelled or failed
    // wait goes on at the common tear-down. A saved game that cannot be
    // loaded ends the session there too, and the following sessions make
    // a new game. A new game makes the galaxy and its empires.
    if (source == GalaxySource::Client) {
      if (!waitForServerMap()) {
        galaxyFailed = true;
        gameRunning = false;
      }
    } else if (source == GalaxySource::SavedGame) {
      if (!loadSavedGame(savePath)) {
        galaxyFailed = true;
        gameRunning = false;
        forgetUnloadableSave(name);
      }
    } else if (source == GalaxySource::NewGame) {
      setupNewGame(sessionDataFiles.mapScriptPath);
    }
    if (galaxyFailed) {
      noObjectLocking = false;
      phase.abandon();
      // The steps skipped on the way to the tear-down leave nothing behind
      // for the next session: the data folders' handlers (step 22) and the
      // planet types (T3) would otherwise be there twice.
      clearModTables();
      clearPlanetTypes();
      clearSessionTraits();
      clearObjectIconDescs();
      tearDownSession();
      return 0;
    }

    // 22.
    clearModTables();
    statisticsActive = true;
  }
  // The galaxy worker and the single-threaded frame tick the galaxy while
  // there is one.
  const bool tickingGalaxy = galaxy != nullptr;
  if (tickingGalaxy)
    setGalaxyTick(tickSessionGalaxy);
  noObjectLocking = false;
  startSystemThreads(static_cast<uint8_t>(std::min<uint32_t>(uiThreadCount, 255)));
  logInfo("Initializing %i galaxy processing threads\n", static_cast<int>(uiThreadCount));
  simulationRunning = true;
  // The game is loaded: the network pauses it, replicates it and lets
  // players leave it from here on.
  gameLoaded = true;
  sessionStarted = true;

  // 23. (The cargo dialog, the context menu and the GUI script modules join
  // here.)
  {
    const LoadingPhase phase("Initialize GUI");
    for (empire* emp : empireList)
      runEmpireJobs(emp);
    // GUI event hooks: no id bound in an earlier session reaches this one.
    clearGuiCallbacks();
    if (Console* target = console())
      target->bindGuiCallbacks();
    if (ircWindow != nullptr)
      ircWindow->bindCallbacks();
    // Context action menu: the cargo dialog's ids, then the menu itself.
    bindCargoDialogCallbacks();
    buildContextActionMenu();
    initServerModules();
    // GUI script modules: their init hooks, once the interface is built.
    initGuiModules();
    // 24. The escape menu, bound to key 27.
    buildSessionEscapeMenu(source == GalaxySource::Client, saveGame);
  }

  // 25. (The screen size joins here.) The galaxy's render group becomes the
  // view's; the game camera's first step places the scene camera.
  if (galaxy != nullptr)
    setCurrentViewGroup(galaxy->graphics);
  gameCamera.update(0.01f);
  Thread mainThread;
  mainThread.fromCurrent();
  mainThread.setPriority(kFrameLoopPriority);

  // 26.
  logGameLoopStart();

  // 27. (The interface's overlay scene nodes are made here.)
  createProfilingWindows();

  // 28-29.
  scriptGarbageStep(true);
  scriptGarbageStep(true);
  workers.start();
  sessionActive = true;

  // 30.
  if (source == GalaxySource::NewGame)
    applyEmpireTraits();

  // 31.
  frameLoop.beginSpeedRamp();

  int result = 0;
  while (engine.driver != nullptr) {
    // 1. A stopped device or a stop request from the operator also ends the
    // server: another session could not run.
    if (!engine.device->run() || plat::terminationRequested()) {
      result = kSessionQuit;
      break;
    }
    if (!gameRunning)
      break;

    // 2. One finished texture a pass, then the strategic view's input step.
    processTextureQueue(false);
    updateViewInput();
    runConsoleInput();

    // 3. A network server keeps messages that change objects out of the
    // galaxy update.
    if (isNetworkServer())
      workers.waitForGalaxyIdle();

    // 4.
    networkManager->processPackets();
    // Console lines from a remote operator run here, outside the receive
    // loop.
    runRemoteConsoleCommands();
    if (ircWindow != nullptr)
      ircWindow->updateUserList();
    plat::sleepMs(0);

    // 5.
    frameLoop.advanceTime();

    // 6.
    const uint32_t now = realTimeMs();
    if (frameLoop.statisticsDue(now))
      updateProfilingWindows();

    // 7.
    if (frameLoop.autosaveDue(now, isNetworkClient(), isNetworkServer()))
      saveGame(kAutosaveName, iRotateSaves);

    // 8-9.
    if (frameLoop.simulationFrameDue()) {
      frameLoop.runSimulationFrame();
    } else {
      if (realFrameTime < kLogFlushFrameTime)
        flushLogFile();
      plat::sleepMicroseconds(frameLoop.idleSleepMicroseconds());
    }
  }
  // The device stopped: so does the music.
  musicBox.stopMusic();
  gameRunning = false;
  frameLoop.endSpeedRamp();

  // T1. A galaxy transfer under way stops at its next system once the game
  // is no longer loaded. (Pauses are counted: the session has none to let
  // go here, and a transfer's stays its own.)
  sessionEnding = true;
  sessionActive = false;
  statisticsActive = false;
  gameLoaded = false;
  gameRulesActive = false;

  // T2.
  workers.stop();
  pauseSystemThreads();
  simulationRunning = false;
  // A transfer's walk reads the session's planet types and traits, which go
  // at T3, besides the galaxy: it is let finish its system here.
  waitForGalaxyTransfers();

  // T3. (The session's object list is cleared here too.)
  clearPlanetTypes();
  clearSessionTraits();

  // T4. (The interface's overlay scene nodes are removed here.)
  removeProfilingWindows();
  workers.join();
  simulationStarted = false;

  // T5.
  for (empire* emp : empireList) {
    emp->releaseAI();
    emp->clearCommands();
  }

  // T6. (The script GUI, animations, action lists, the selection and the
  // view input's objects are cleared here.)
  // GUI script modules first.
  clearGuiModules();
  clearObjectIconDescs();
  // GUI core: the escape handlers, then the element animations.
  clearEscapeEvents();
  clearGuiAnimations();
  // Context action menu: the lists, with a menu still open.
  clearActionLists();
  // Selection set: emptied, so that no graphics object outlives the session
  // through it.
  setSelection(nullptr);
  // View input: the repeat-orders recording, the hovered object, the cargo
  // dialog's references, and the view callbacks looked up afresh next
  // session.
  releaseViewInputObjects();
  // Move-to-point: the pending order and the markers go.
  releaseMoveToPoint();
  // Cursor hit normal: the pick target goes with the scene.
  releaseCursorPickTarget();

  // T7. Quietly: tear-down fires no star damage, hooks or bursts.
  if (tickingGalaxy)
    setGalaxyTick(nullptr);
  resumeSystemThreads();
  destroySessionGalaxy();
  freeThreadLocals();

  // T8.
  for (empire* emp : empireList)
    runEmpireJobs(emp);

  tearDownSession();
  return result;
}
