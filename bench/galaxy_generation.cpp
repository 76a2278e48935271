// A new game on the default map (data/Maps/spiral.as) with 150 and with 2000
// star systems: the whole set-up (special, spectator and three AI empires,
// the map script, homeworlds, environment) and the map script alone. The
// scripts are set up once; each iteration's galaxy and empires are torn down
// outside the timing, as a session's end does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/frame_loop.h"
#include "app/new_game.h"
#include "app/script_setup.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/random.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/planets/planet_types.h"
#include "shipped_session.h"

namespace {

// The session's start-up up to its galaxy, once for the program.
void setUpOnce() {
  static const bool ready = [] {
    benchsession::startShippedSession("galaxy_generation", 3, 150);
    return true;
  }();
  (void)ready;
}

void endGame() {
  destroySessionGalaxy();
  deleteAllEmpires();
  freeNewGamePlayerEmpire();
}

template <bool WholeSetUp>
void BM_NewGame(benchmark::State& state) {
  setUpOnce();
  const irr::core::stringc map = sessionDataFiles.mapScriptPath;
  setGameSetting(L"SYSTEM_COUNT", static_cast<float>(state.range(0)));
  seedProcessRandom(1);
  threadRandom().seed(1);
  for (auto _ : state) {
    if (WholeSetUp)
      setupNewGame(map);
    else
      runMapScript(map);
    state.PauseTiming();
    if (galaxy == nullptr || galaxy->getSystemCount() != static_cast<unsigned>(state.range(0)))
      state.SkipWithError("the map made the wrong number of systems");
    endGame();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_TEMPLATE(BM_NewGame, true)->Arg(150)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_NewGame, false)->Arg(150)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
