#include "app/new_game.h"

#include <angelscript.h>

#include <algorithm>
#include <cmath>

#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/base/message_box.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "design/build/build_queue_file.h"
#include "empire/empire.h"
#include "empire/empire_names.h"
#include "empire/research/research_web.h"
#include "gfx/game_camera.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/held_pointer.h"
#include "universe/objects/object_registry.h"
#include "universe/planets/planet.h"

using namespace AngelScript;
using irr::core::stringc;
using irr::core::stringw;

namespace {

constexpr char kMapModule[] = "map";
constexpr char kMakeMap[] = "void makeMap(Galaxy@)";
constexpr char kSetupHomeworld[] = "Planet@ setupHomeworld(System@, Empire@)";
constexpr char kScriptExtension[] = ".as";
constexpr char kBuildQueuesFile[] = "Game Data/build_queues.xml";

constexpr char kMapErrorCaption[] = "Error loading map";
constexpr char kMapErrorText[] =
    "The map script failed to create any systems.\n"
    "Please quit to the main menu and use a different map.\n"
    "More details in the log and console\n";

// AI settings: defaults and bounds.
constexpr float kDefaultDifficulty = 3.0f;
constexpr float kMaxDifficulty = 5.0f;
constexpr float kDefaultCheats = 0.0f;
constexpr float kDefaultAICount = 3.0f;
constexpr float kMaxAICount = 27.0f;
// The global list holds at most this many empires (one visibility bit each).
constexpr size_t kMaxEmpires = 32;

// The local player's empire of a new game on this server: a spectator.
constexpr EmpireID kSpectatorID = 176;
constexpr wchar_t kSpectatorName[] = L"Spectator";
constexpr wchar_t kSpectatorPlayer[] = L"You";

constexpr wchar_t kWelcomeCategory[] = L"misc";
constexpr int32_t kWelcomePriority = 0;
constexpr int32_t kMessageTimeNow = -1;

// The spectator of the last new game; the session owns it (it is in no list).
empire* newGamePlayerEmpire = nullptr;

// A setting clamped to [low, high]; `fallback` when it is not a number.
float clampedSetting(const wchar_t* name, float fallback, float low, float high) {
  const float value = getGameSetting(name, fallback);
  if (std::isnan(value))
    return fallback;
  return std::clamp(value, low, high);
}

bool inEmpireList(const empire* emp) {
  return std::find(empireList.begin(), empireList.end(), emp) != empireList.end();
}

// The spectator: ID 176 without taking one from the counter, no visibility
// bit, controlled by the player, to be announced to the players.
empire* createSpectator() {
  const EmpireID nextID = nextEmpireID;
  empire* spectator = new empire();
  nextEmpireID = nextID;
  spectator->ID = kSpectatorID;
  spectator->name = kSpectatorName;
  spectator->playerName = kSpectatorPlayer;
  spectator->playerControlled = true;
  spectator->ownBit = 0;
  spectator->visibility = 0;
  spectator->needsRegistration = true;
  return spectator;
}

void createAIEmpires(float difficulty, float cheats) {
  const float count = std::trunc(clampedSetting(L"AI_COUNT", kDefaultAICount, 0.0f, kMaxAICount));
  for (int i = 0; i < static_cast<int>(count) && empireList.size() < kMaxEmpires; ++i) {
    empire* emp = new empire();
    takeNextOwnBit(emp);
    emp->setSetting(L"Difficulty", difficulty);
    emp->setSetting(L"Cheats", cheats);
    emp->updateTraitVariables();
    if (emp->researchWeb != nullptr)
      emp->researchWeb->initialise(emp);
    emp->updateSubSystems();
    emp->needsRegistration = false;
    registerEmpire(emp);
  }
}

// The galaxy that a failed map leaves: one system at the origin and the
// message box. Whatever the map made before it failed goes first, with the
// galaxy that holds it.
void fallBackToEmptyGalaxy() {
  destroySessionGalaxy();
  galaxy = createGalaxy();
  galaxy->grab();
  makeSystem(galaxy, System_Desc());
  showMessageBox(kMapErrorCaption, kMapErrorText);
}

// The planet an empire gets when the map cannot give it a home.
objHabitation* createDefaultHomeworld(solarSystem* system, empire* emp) {
  Planet_Desc desc;
  desc.randomConditions = false;
  objHabitation* planet = createPlanet(system, desc);
  if (planet != nullptr)
    planet->setOwner(emp);
  return planet;
}

// Runs "setupHomeworld" for one empire: true when the call completed, with
// its result (which may be null) in `home`.
bool callSetupHomeworld(asIScriptFunction* function, solarSystem* system, empire* emp,
                        heldPointer<generic_object>& home) {
  asIScriptContext* context = threadServerContext();
  if (function == nullptr || context == nullptr || context->Prepare(function) < 0)
    return false;
  context->SetArgObject(0, system);
  context->SetArgObject(1, emp);
  const bool completed = context->Execute() == asEXECUTION_FINISHED;
  if (completed)
    home = static_cast<objHabitation*>(context->GetReturnObject());
  endScriptCall(context);
  return completed;
}

// One homeworld for every listed empire, each in a system drawn at random
// (two empires may share one). The pending player empire's is returned.
generic_object* placeHomeworlds() {
  asIScriptModule* module =
      serverScriptEngine != nullptr ? serverScriptEngine->GetModule(kMapModule, asGM_ONLY_IF_EXISTS) : nullptr;
  asIScriptFunction* setupHomeworld = module != nullptr ? module->GetFunctionByDecl(kSetupHomeworld) : nullptr;

  generic_object* playerHome = nullptr;
  // By index: a script may register further empires meanwhile.
  for (size_t i = 0; i < empireList.size(); ++i) {
    empire* emp = empireList[i];
    const unsigned count = galaxy->getSystemCount();
    if (count == 0)
      break;
    solarSystem* system = galaxy->getSystem(threadRandom().randUpTo(count - 1));
    heldPointer<generic_object> home;
    if (!callSetupHomeworld(setupHomeworld, system, emp, home))
      home = createDefaultHomeworld(system, emp);
    if (emp == pendingPlayerEmpire)
      playerHome = home.get();
  }
  return playerHome;
}

void postWelcome(empire* player) {
  if (player == nullptr)
    return;
  stringw text = getLocalizedText(L"#EM_The");
  text += player->name;
  text += getLocalizedText(L"#EM_SpaceFlight");
  postEmpireMessage(player, text, kWelcomeCategory, kWelcomePriority, kMessageTimeNow);
}

}  // namespace

void setupNewGame(const stringc& mapScriptPath) {
  // 1. A new game starts the clock, the object UIDs and the empire IDs anew.
  gameTime = 0.0;
  nextUid = 1;
  if (uidHighWater.load() < 1)
    uidHighWater = 1;
  nextEmpireID = 1;

  // 2.
  loadEmpireColors();
  loadEmpireNames();
  createSpecialEmpires();

  // 3. (A prepared multiplayer setup makes the empires of its rows here,
  // registers their teams and hostilities, is deleted and marked applied,
  // and the set-up goes on at step 6.)

  // 4. An earlier game's spectator goes before this game's is made.
  const float difficulty = clampedSetting(L"AI_DIFFICULTY", kDefaultDifficulty, 0.0f, kMaxDifficulty);
  const float cheats = getGameSetting(L"AI_CHEATS", kDefaultCheats);
  createSessionSpectator();

  // 5.
  createAIEmpires(difficulty, cheats);

  // 6.
  pendingPlayerEmpire = newGamePlayerEmpire;

  // 7. Every valid empire of the list (the AI empires, the pirates and the
  // remnants) gets its own copy of the build lists that self-governing
  // planets follow. A file that cannot be read is logged there, and the game
  // goes on without lists.
  loadBuildQueuesForEmpires(resolveDataPath(kBuildQueuesFile));

  // 8. A map that makes no system has failed as surely as one that stops.
  const bool made = runMapScript(mapScriptPath);
  if (!made || galaxy == nullptr || galaxy->getSystemCount() == 0) {
    fallBackToEmptyGalaxy();
    return;
  }

  // 9-10.
  generic_object* playerHome = placeHomeworlds();

  // 11. Game camera: the view starts close on the player's home world.
  if (playerHome != nullptr)
    gameCamera.setFocus(playerHome->graphics, true);

  // 12.
  createEnvironment(galaxy, true);

  // 13.
  postWelcome(pendingPlayerEmpire);
}

bool runMapScript(const stringc& mapScriptPath) {
  // 1. A galaxy left from an earlier game is let go first.
  destroySessionGalaxy();
  galaxy = createGalaxy();
  galaxy->grab();

  // 2.
  stringc path = mapScriptPath;
  if (!narrowEndsWithNoCase(path, kScriptExtension))
    path += kScriptExtension;

  // 3. A file that cannot be read must not leave an earlier map in place.
  if (serverScriptEngine == nullptr)
    return false;
  serverScriptEngine->DiscardModule(kMapModule);
  loadScriptFile(serverScriptEngine, path.c_str(), kMapModule);
  bindAllModuleImports();
  clearScriptFileCache();

  // 4.
  asIScriptModule* module = serverScriptEngine->GetModule(kMapModule, asGM_ONLY_IF_EXISTS);
  asIScriptFunction* makeMap = module != nullptr ? module->GetFunctionByDecl(kMakeMap) : nullptr;
  if (makeMap == nullptr)
    return false;

  // 5.
  asIScriptContext* context = threadServerContext();
  const int prepared = context != nullptr ? context->Prepare(makeMap) : asERROR;
  if (prepared == asNO_FUNCTION) {
    logError("Map Error: Map script does not contain a 'void makeMap(Galaxy@)' function\n");
    return false;
  }
  if (prepared < 0) {
    logError("Map Error: Unable to run map script\n");
    return false;
  }

  // 6. The argument holds a reference of its own for the call.
  context->SetArgObject(0, galaxy);
  const bool finished = context->Execute() == asEXECUTION_FINISHED;
  endScriptCall(context);
  if (!finished) {
    logError("Map Error: Error executing map script\n");
    return false;
  }
  return true;
}

empire* createSessionSpectator() {
  freeNewGamePlayerEmpire();
  newGamePlayerEmpire = createSpectator();
  return newGamePlayerEmpire;
}

void freeNewGamePlayerEmpire() {
  empire* spectator = newGamePlayerEmpire;
  if (spectator == nullptr)
    return;
  newGamePlayerEmpire = nullptr;
  if (pendingPlayerEmpire == spectator)
    pendingPlayerEmpire = nullptr;
  if (activeEmpire == spectator)
    activeEmpire = nullptr;
  // Once registered (a player taking it into the game), the list owns it.
  if (!inEmpireList(spectator))
    delete spectator;
}
