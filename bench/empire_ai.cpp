// The shipped empire AI on the default map: 150 systems, three AI empires,
// single-threaded, after fifteen minutes of play, the length of the empire AI
// game test (so that there are settled worlds and ships to walk). The game
// runs on the engine's clock at speed factor 10, as that test plays it: the
// timed orders of the objects (a colony ship's settling among them) read
// that clock, which moves a tenth of a game second's length each game
// second. Without it no colony is ever founded.
//
//   EmpireAIRound         one full round of the council's phases (research,
//                         planets, exploring, colonising, building, defending,
//                         diplomacy) for each of the three AI empires
//   EmpireAIPhase/N       phase N alone (0 research .. 6 diplomacy) for each
//                         of the three AI empires
//   EmpireStepsWithoutAI  as many empire steps (seven for each empire) with
//                         the councils detached: the step's own work
//
// The phases run one per tick, so a frame carries at most one phase per AI
// empire: a round's time divided by seven is what the AI adds on average to
// a frame in which every council runs a phase, and the dearest EmpireAIPhase
// is the most it adds to one frame.
#include <ITimer.h>
#include <angelscript.h>
#include <benchmark/benchmark.h>

#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/new_game.h"
#include "core/random.h"
#include "empire/empire.h"
#include "script/script_contexts.h"
#include "universe/objects/galaxy.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"
#include "shipped_session.h"
#include "support/manual_timer.h"

namespace {

constexpr int kSystems = 150;
constexpr int kAIEmpires = 3;
constexpr int kPhases = 7;
constexpr float kFrameSeconds = 0.25f;
constexpr int kWarmUpFrames = 3600;  // fifteen minutes of game time
constexpr double kSpeedFactor = 10.0;
constexpr irr::u32 kTimerStart = 1000000;

// The engine's clock, moved on by each frame played: the game's real time
// is its game time over the speed factor, however long the frames take.
using SteppedTimer = ManualTimer;

SteppedTimer steppedTimer;
double realSeconds = 0;

std::vector<empire*> aiEmpires() {
  std::vector<empire*> out;
  for (empire* emp : empireList)
    if (!emp->isReserved() && emp->isValid() && emp->isAI() && emp->aiObject != nullptr)
      out.push_back(emp);
  return out;
}

void playFrame() {
  gameTime = gameTime.load() + kFrameSeconds;
  realSeconds += kFrameSeconds / kSpeedFactor;
  steppedTimer.realTime = kTimerStart + static_cast<irr::u32>(realSeconds * 1000.0 + 0.5);
  tickSessionGalaxy(kFrameSeconds);
  for (empire* emp : empireList)
    emp->tick(kFrameSeconds);
  activeEmpire = pendingPlayerEmpire;
}

const std::vector<empire*>& setUpOnce() {
  static const std::vector<empire*> empires = [] {
    benchsession::startShippedSession("empire_ai", kAIEmpires, kSystems);
    singleThreaded = true;
    steppedTimer.realTime = kTimerStart;
    engine.timer = &steppedTimer;
    seedProcessRandom(1);
    threadRandom().seed(1);
    setupNewGame(sessionDataFiles.mapScriptPath);
    for (int frame = 0; frame < kWarmUpFrames; ++frame)
      playFrame();
    return aiEmpires();
  }();
  return empires;
}

// The planets and ships the AI empires own, as counters: what the phases
// walk.
void countHoldings(benchmark::State& state, const std::vector<empire*>& empires) {
  int planets = 0;
  int ships = 0;
  for (empire* emp : empires) {
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_Objects, false);
    for (generic_object* object : emp->objects) {
      planets += dynamic_cast<objHabitation*>(object) != nullptr;
      ships += dynamic_cast<objHulled*>(object) != nullptr;
    }
  }
  state.counters["planets"] = planets;
  state.counters["ships"] = ships;
}

// Runs the council's phase `phase` for `emp` as its step would, the empire
// active meanwhile.
bool runPhase(empire* emp, int phase) {
  AngelScript::asIScriptObject* council = emp->aiObject;
  AngelScript::asIScriptFunction* method = council->GetObjectType()->GetMethodByName("runPhase");
  if (method == nullptr)
    return false;
  AngelScript::asIScriptContext* context = createScriptContext(council->GetEngine());
  context->Prepare(method);
  context->SetObject(council);
  context->SetArgObject(0, emp);
  context->SetArgDWord(1, static_cast<AngelScript::asDWORD>(phase));
  activeEmpire = emp;
  const bool finished = context->Execute() == AngelScript::asEXECUTION_FINISHED;
  activeEmpire = pendingPlayerEmpire;
  context->Release();
  return finished;
}

void BM_EmpireAIRound(benchmark::State& state) {
  const std::vector<empire*>& empires = setUpOnce();
  if (empires.size() != static_cast<size_t>(kAIEmpires)) {
    state.SkipWithError("the game does not have its three councils");
    return;
  }
  for (auto _ : state)
    for (empire* emp : empires)
      for (int phase = 0; phase < kPhases; ++phase)
        if (!runPhase(emp, phase))
          state.SkipWithError("a phase did not finish");
  state.counters["empires"] = kAIEmpires;
  countHoldings(state, empires);
}
BENCHMARK(BM_EmpireAIRound)->Unit(benchmark::kMicrosecond);

// One phase (the argument, in the council's order) for each of the three AI
// empires: the most a frame can carry, should all three councils fall on
// that phase in the same frame.
void BM_EmpireAIPhase(benchmark::State& state) {
  const std::vector<empire*>& empires = setUpOnce();
  if (empires.size() != static_cast<size_t>(kAIEmpires)) {
    state.SkipWithError("the game does not have its three councils");
    return;
  }
  const int phase = static_cast<int>(state.range(0));
  for (auto _ : state)
    for (empire* emp : empires)
      if (!runPhase(emp, phase))
        state.SkipWithError("a phase did not finish");
  state.counters["empires"] = kAIEmpires;
}
BENCHMARK(BM_EmpireAIPhase)->DenseRange(0, kPhases - 1)->Unit(benchmark::kMicrosecond);

void BM_EmpireStepsWithoutAI(benchmark::State& state) {
  const std::vector<empire*>& empires = setUpOnce();
  std::vector<int> ticks;
  for (empire* emp : empires) {
    ticks.push_back(emp->aiTickFunction);
    emp->aiTickFunction = -1;
  }
  for (auto _ : state) {
    for (empire* emp : empires)
      for (int phase = 0; phase < kPhases; ++phase)
        emp->tick(kFrameSeconds);
    activeEmpire = pendingPlayerEmpire;
  }
  for (size_t i = 0; i < empires.size(); ++i)
    empires[i]->aiTickFunction = ticks[i];
  state.counters["empires"] = kAIEmpires;
}
BENCHMARK(BM_EmpireStepsWithoutAI)->Unit(benchmark::kMicrosecond);

}  // namespace
