// Saving and loading a game of 150 star systems (the default map,
// data/Maps/spiral.as, with three AI empires): the save to a file as the
// console's "save_game" makes it (written, synced and committed), the same
// save written into memory alone, and the load of that file into a session
// without a game (its tear-down outside the timing, as a session's end
// does). The scripts are set up once; the user folder is a scratch folder.
#include <benchmark/benchmark.h>

#include "app/new_game.h"
#include "app/saved_game.h"
#include "core/post_load.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "empire/empire.h"
#include "gfx/gas_sprites.h"
#include "script/server_modules.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "shipped_session.h"

namespace {

constexpr int kSystems = 150;
constexpr char kSaveName[] = "bench";

// The session's start-up up to its galaxy, once for the program, in a
// scratch user folder.
void setUpOnce() {
  static const bool ready = [] {
    benchsession::startShippedSession("saved_game", 3, kSystems);
    return true;
  }();
  (void)ready;
}

void endGame() {
  gameRulesActive = false;
  clearPostObjectTreeSteps();
  destroySessionGalaxy();
  deleteAllEmpires();
  freeNewGamePlayerEmpire();
  clearGalaxyGasSprites();
  clearObjectRegistry();
  uidHighWater = 1;
}

void newGame() {
  endGame();
  seedProcessRandom(1);
  threadRandom().seed(1);
  setupNewGame(sessionDataFiles.mapScriptPath);
  initServerModules();
}

bool hasTheGame(benchmark::State& state) {
  if (galaxy != nullptr && galaxy->getSystemCount() == static_cast<unsigned>(kSystems))
    return true;
  state.SkipWithError("the game does not have its systems");
  return false;
}

void BM_SaveGameToFile(benchmark::State& state) {
  setUpOnce();
  newGame();
  if (!hasTheGame(state))
    return;
  for (auto _ : state) {
    if (!saveGame(kSaveName, 0))
      state.SkipWithError("the save failed");
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(savedGamePath(kSaveName).c_str()));
  endGame();
}
BENCHMARK(BM_SaveGameToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteGameToMemory(benchmark::State& state) {
  setUpOnce();
  newGame();
  if (!hasTheGame(state))
    return;
  size_t bytes = 0;
  for (auto _ : state) {
    auto stream = SaveStream::createInMemory();
    writeSavedGame(*stream, L"a fixed date");
    bytes = stream->memoryBytes().size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  endGame();
}
BENCHMARK(BM_WriteGameToMemory)->Unit(benchmark::kMillisecond);

void BM_LoadGame(benchmark::State& state) {
  setUpOnce();
  newGame();
  if (!hasTheGame(state) || !saveGame(kSaveName, 0))
    return;
  const irr::core::stringc path = savedGamePath(kSaveName);
  for (auto _ : state) {
    state.PauseTiming();
    endGame();
    state.ResumeTiming();
    if (!loadSavedGame(path))
      state.SkipWithError("the load failed");
  }
  hasTheGame(state);
  endGame();
}
BENCHMARK(BM_LoadGame)->Unit(benchmark::kMillisecond);

}  // namespace
