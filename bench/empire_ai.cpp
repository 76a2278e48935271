// The shipped empire AI on the default map: 150 systems, three AI empires,
// single-threaded, after two minutes of play (so that there are ships and
// planets to walk).
//
//   EmpireAIRound         one full round of the council's phases (research,
//                         planets, exploring, colonising, building, defending,
//                         diplomacy) for each of the three AI empires
//   EmpireStepsWithoutAI  as many empire steps (seven for each empire) with
//                         the councils detached: the step's own work
//
// The phases run one per tick, so a frame carries at most one phase per AI
// empire: a round's time divided by seven is what the AI adds to a frame.
#include <angelscript.h>
#include <benchmark/benchmark.h>

#include <vector>

#include "app/base/config.h"
#include "app/new_game.h"
#include "core/random.h"
#include "empire/empire.h"
#include "script/script_contexts.h"
#include "universe/objects/galaxy.h"
#include "shipped_session.h"

namespace {

constexpr int kSystems = 150;
constexpr int kAIEmpires = 3;
constexpr int kPhases = 7;
constexpr float kFrameSeconds = 0.25f;
constexpr int kWarmUpFrames = 480;  // two minutes of game time

std::vector<empire*> aiEmpires() {
  std::vector<empire*> out;
  for (empire* emp : empireList)
    if (!emp->isReserved() && emp->isValid() && emp->isAI() && emp->aiObject != nullptr)
      out.push_back(emp);
  return out;
}

void playFrame() {
  gameTime = gameTime.load() + kFrameSeconds;
  tickSessionGalaxy(kFrameSeconds);
  for (empire* emp : empireList)
    emp->tick(kFrameSeconds);
  activeEmpire = pendingPlayerEmpire;
}

const std::vector<empire*>& setUpOnce() {
  static const std::vector<empire*> empires = [] {
    benchsession::startShippedSession("empire_ai", kAIEmpires, kSystems);
    singleThreaded = true;
    seedProcessRandom(1);
    threadRandom().seed(1);
    setupNewGame(sessionDataFiles.mapScriptPath);
    for (int frame = 0; frame < kWarmUpFrames; ++frame)
      playFrame();
    return aiEmpires();
  }();
  return empires;
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
}
BENCHMARK(BM_EmpireAIRound)->Unit(benchmark::kMicrosecond);

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
