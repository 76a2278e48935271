#include "app/script_setup.h"

#include <IGUIEnvironment.h>
#include <IGUISkin.h>
#include <ITimer.h>
#include <angelscript.h>
#include <scriptarray.h>

#include <string>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/base/session_state.h"
#include "app/base/sub_system_scale.h"
#include "app/data_folders.h"
#include "app/loading_phase.h"
#include "app/loading_screen.h"
#include "core/formula.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "core/timer.h"
#include "design/effectors/effector_def.h"
#include "design/effectors/effector_script_types.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/diplomacy/diplomacy_texts.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/treaty_clause.h"
#include "script/script_registration.h"
#include "scriptapi/treaty_script_types.h"
// Empire objects and treaty lists in scripts.
#include "scriptapi/empire_objects.h"
#include "gui/gui_bindings.h"
#include "gui/script/gui_modules.h"
#include "net/chat_log.h"
#include "net/irc_window.h"
#include "net/network_manager.h"
#include "script/script_dictionary.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_globals.h"
#include "script/script_math.h"
#include "script/script_messages.h"
#include "script/script_report.h"
#include "script/script_string.h"
#include "script/script_xml.h"
#include "script/server_modules.h"
#include "scriptapi/active_hull.h"
#include "scriptapi/client_globals.h"
#include "scriptapi/effect_script_types.h"
#include "scriptapi/empire_script_type.h"
#include "scriptapi/fleet_script_type.h"
#include "scriptapi/object_bindings.h"
#include "scriptapi/order_bindings.h"
#include "scriptapi/order_selection.h"
#include "scriptapi/research_script_types.h"
#include "scriptapi/sub_system_types.h"
#include "ui/actionmenu/action_list.h"
#include "ui/mini_view_script.h"
#include "universe/galaxygen/galaxy_gen_bindings.h"
#include "universe/planets/planet_hooks.h"
#include "universe/ships/ship.h"

using namespace AngelScript;
using irr::core::stringc;

namespace {

constexpr char kHookingPhase[] = "Hooking script functions";
constexpr char kBuildingPhase[] = "Loading/Building scripts";
constexpr char kDataPhase[] = "Loading game data files";

constexpr char kTreatiesFile[] = "Game Data/treaties.xml";
constexpr char kDiplomacyStringsFile[] = "Game Data/diplomacy_strings.txt";

void loadEffectFiles(const std::vector<stringc>& files) {
  for (const stringc& path : files)
    loadEffects(path);
}

void loadEffectorFiles(const std::vector<stringc>& files) {
  for (const stringc& path : files)
    loadEffectors(path);
}

// The list comes in the order of the lower-cased file names (the data
// folder's map order): sub-system IDs that collide depend on it.
void loadSubSystemFiles(const std::vector<stringc>& files) {
  for (const stringc& path : files)
    loadSubSystemDefs(path);
}

void loadTechnologyFiles(const std::vector<stringc>& files) {
  for (const stringc& path : files)
    research::loadResearchFields(path);
}

ScriptSetupSlots defaultSlots() {
  ScriptSetupSlots slots;
  slots.guiBindings = registerGuiBindings;
  // GUI element types: the mini view's type and its system pair.
  guiMiniViewRegistrar = registerGuiMiniView;
  miniViewSystemRegistrar = registerMiniViewSystemPair;
  // The sub-system types are declared first, so that every later binding
  // may name them; their members come last.
  slots.clientSubSystemBindings = [] { registerSubSystemBindings(true); };
  slots.clientResearchTypes = registerResearchTypes;
  slots.clientTreatyTypes = declareTreatyScriptTypes;
  slots.empireType = bindEmpireScriptType;
  slots.serverTreatyTypes = registerTreatyScriptMembers;
  // Empire objects and treaty lists in scripts.
  slots.treatyListType = bindTreatyListScriptType;
  slots.objectBindings = registerObjectBindings;
  slots.empireObjectsType = bindEmpireObjectsScriptType;
  // Ships and fleets in scripts.
  slots.fleetType = bindFleetScriptType;
  slots.eventType = registerEventType;
  slots.subSystemReferenceType = registerSubSysRefType;
  slots.effectorTypes = registerEffectorTypes;
  slots.galaxyGenerationBindings = registerGalaxyGenBindings;
  slots.clientGlobals = [] {
    // GUI-side script globals.
    registerClientGlobals();
    registerActiveHullFunctions();
    registerIrcScriptFunctions();
    // The selection lookups.
    registerSelectedObjectFunctions();
  };
  // Orders in scripts.
  slots.orderBindings = registerOrderBindings;
  slots.templateArgumentType = registerTemplateArgType;
  slots.serverResearchTypes = registerResearchMethods;
  slots.serverSubSystemBindings = [] { registerSubSystemBindings(false); };
  // The context action menu.
  slots.rightClickMenu = registerRightClickMenu;
  // GUI script modules.
  slots.buildGuiModule = loadGuiModules;
  // The loading screen.
  slots.showLoadingScreen = showLoadingScreen;
  slots.findObjectScriptHooks = [] {
    bindPlanetScriptHooks();
    bindShipScriptHooks();
  };
  slots.loadEffects = loadEffectFiles;
  slots.loadTreatyClauses = loadTreatyClauses;
  slots.loadDiplomacyStrings = loadDiplomacyStrings;
  slots.loadTechnologies = loadTechnologyFiles;
  slots.loadEffectors = loadEffectorFiles;
  slots.loadSubSystems = loadSubSystemFiles;
  return slots;
}

void run(ScriptSetupSlots::Registration registration) {
  if (registration != nullptr)
    registration();
}

void load(ScriptSetupSlots::ListLoader loader, std::vector<stringc>& files) {
  if (loader != nullptr)
    loader(files);
  files.clear();
}

void updateLoadScreen(const ScriptString& text) {
  if (scriptSetupSlots.showLoadingScreen != nullptr)
    scriptSetupSlots.showLoadingScreen(text.toStringw().c_str());
}

// What the core script globals read of the shell and the engine: the game
// and real time, the GUI's font, the modifier keys and the console's play_as.
void connectScriptGlobalHooks() {
  ScriptGlobalHooks& hooks = scriptGlobalHooks;
  hooks.gameTime = [] { return gameTime.load(); };
  hooks.realTime = [] { return engine.timer != nullptr ? engine.timer->getRealTime() : 0u; };
  hooks.defaultFont = []() -> irr::gui::IGUIFont* {
    irr::gui::IGUISkin* skin = engine.gui != nullptr ? engine.gui->getSkin() : nullptr;
    return skin != nullptr ? skin->getFont() : nullptr;
  };
  hooks.playAsEmpire = [](const void* player) {
    const auto* chosen = static_cast<const empire*>(player);
    if (!chosen->isValid() || console() == nullptr)
      return;
    console()->execute(irr::core::stringw(L"play_as \"") + chosen->name + L"\"", false);
  };
  // The chat log's lines: scripts pass the difference of two ids as the
  // count of the newest lines they want.
  hooks.lastChatID = [] { return lastChatId(); };
  hooks.chatLog = [](uint32_t count) { return getChatLogSince(count); };
  hooks.sendChat = [](const irr::core::stringw& text) { networkManager->sendChat(text); };
  // Rich-text link hooks.
  hooks.hookLink = hookLink;
  hooks.shiftKey = &shiftKeyDown;
  hooks.ctrlKey = &controlKeyDown;
  hooks.altKey = &altKeyDown;
  // evaluateFormula reads the empire's formula namespaces ("Techs", then
  // "Traits") while it holds the empire's variables for writing.
  hooks.lockEmpireValues = [](const void* player) -> NamedList* {
    auto* emp = const_cast<empire*>(static_cast<const empire*>(player));
    emp->locks[EA_Variables].lock(true);
    return &emp->spaces;
  };
  hooks.unlockEmpireValues = [](const void* player) {
    const_cast<empire*>(static_cast<const empire*>(player))->locks[EA_Variables].unlock(true);
  };

  // The client-to-server script messages come from the local player's
  // empire, and are not delivered by a client of a remote server.
  ServerMessageHooks messages;
  messages.isNetworkClient = [] { return isNetworkClient(); };
  messages.localPlayerEmpire = []() -> void* { return activeEmpire; };
  setServerMessageHooks(messages);
}

// The packaged array add-on as the default array type "T[]", so that
// scripts can keep lists. It registers its declarations itself, unchecked:
// its type must be there afterwards.
void registerScriptArray(asIScriptEngine* engine) {
  RegisterScriptArray(engine, true);
  const bool registered = engine->GetTypeInfoByName("array") != nullptr && engine->GetTypeIdByDecl("int[]") >= 0;
  checkScriptRegistration(engine, registered ? asSUCCESS : asERROR, "array<T>");
}

void registerAddOns() {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    registerScriptMath(engine);
    registerScriptString(engine);
    registerScriptArray(engine);
    registerScriptDictionary(engine);
  }
}

void registerBindings() {
  const ScriptSetupSlots& slots = scriptSetupSlots;
  connectScriptGlobalHooks();
  run(slots.guiBindings);
  run(slots.clientSubSystemBindings);
  run(slots.clientTreatyTypes);
  run(slots.clientResearchTypes);
  run(slots.empireType);
  run(slots.serverTreatyTypes);
  run(slots.treatyListType);
  run(slots.objectBindings);
  run(slots.empireObjectsType);
  run(slots.fleetType);
  run(slots.eventType);
  run(slots.subSystemReferenceType);
  run(slots.effectorTypes);
  run(slots.galaxyGenerationBindings);
  run(slots.clientGlobals);
  run(slots.orderBindings);
  registerEvaluateFormula();
  registerXmlBindings();
  run(slots.templateArgumentType);
  registerSendServerMessage();
  registerScriptCoreGlobals();
  run(slots.serverResearchTypes);
  run(slots.serverSubSystemBindings);

  run(slots.rightClickMenu);
  checked(serverScriptEngine)
      .RegisterGlobalFunction("void updateLoadScreen(const string &)", asFUNCTION(updateLoadScreen), asCALL_CDECL);
  registerPrintableTypes(serverScriptEngine);
  registerPrintableTypes(clientScriptEngine);
}

void buildScripts() {
  SessionDataFiles& data = sessionDataFiles;
  for (const stringc& path : data.serverScripts) {
    const std::string module = scriptModuleName(path.c_str());
    loadScriptFile(serverScriptEngine, path.c_str(), module.c_str());
    scripted_manager::script_module::findHooks(module.c_str());
  }
  data.serverScripts.clear();

  for (const stringc& path : data.clientScripts)
    loadScriptFile(clientScriptEngine, path.c_str());
  data.clientScripts.clear();

  for (const stringc& path : data.guiScripts) {
    const std::string module = scriptModuleName(path.c_str());
    loadScriptFile(clientScriptEngine, path.c_str(), module.c_str());
    if (scriptSetupSlots.buildGuiModule != nullptr)
      scriptSetupSlots.buildGuiModule(module.c_str());
  }
  data.guiScripts.clear();

  bindAllModuleImports();
  clearScriptFileCache();
}

// Every game setting becomes a formula constant of its name, then every
// formula constant a game setting: a name in both keeps the setting's value.
void mergeSettingsAndConstants() {
  for (irr::u32 i = 0; i < gameSettings.size(); ++i)
    NamedVar<float>::getOrAdd(formulaConstants, gameSettings[i].name).value = gameSettings[i].value;
  for (irr::u32 i = 0; i < formulaConstants.size(); ++i)
    NamedVar<float>::getOrAdd(gameSettings, formulaConstants[i].name).value = formulaConstants[i].value;
}

void loadGameData() {
  SessionDataFiles& data = sessionDataFiles;
  const ScriptSetupSlots& slots = scriptSetupSlots;
  if (!data.formulaConstantsFile.empty()) {
    loadFormulaConstants(data.formulaConstantsFile);
    data.formulaConstantsFile = "";
  }
  mergeSettingsAndConstants();
  subSystemMinScale = getGameSetting(L"SS_MIN_SCALE", kDefaultSubSystemMinScale);
  subSystemMaxScale = getGameSetting(L"SS_MAX_SCALE", kDefaultSubSystemMaxScale);

  if (slots.loadTreatyClauses != nullptr)
    slots.loadTreatyClauses(resolveDataPath(kTreatiesFile));
  registerFormulaFunctions();
  if (slots.loadDiplomacyStrings != nullptr)
    slots.loadDiplomacyStrings(resolveDataPath(kDiplomacyStringsFile));
  logInfo("Note: Diplomacy strings will still have gaps - fillDiplomacyStringGaps() not implemented\n");

  load(slots.loadEffects, data.effects);
  load(slots.loadTechnologies, data.technologies);
  load(slots.loadEffectors, data.effectors);
  load(slots.loadSubSystems, data.subSystems);
}

struct SetupThreadArgument {
  std::atomic<bool>* done;
};

uint32_t setupThreadEntry(void* argument) {
  std::atomic<bool>* done = static_cast<SetupThreadArgument*>(argument)->done;
  delete static_cast<SetupThreadArgument*>(argument);
  initThreadLocals();
  setupScriptEngines(nullptr);
  // The thread's contexts go before the session hears that the engines are
  // its alone.
  freeThreadLocals();
  done->store(true);
  return 0;
}

}  // namespace

ScriptSetupSlots scriptSetupSlots = defaultSlots();

bool setupScriptEngines(std::atomic<bool>* done) {
  bool accepted = false;
  {
    const LoadingPhase phase(kHookingPhase);
    if (createScriptEngines()) {
      registerAddOns();
      registerBindings();
      accepted = scriptRegistrationsRejected() == 0;
      if (!accepted)
        logError("Script set-up failed: %u script bindings were rejected\n", scriptRegistrationsRejected());
    }
  }
  // Every build of an engine that refused a registration fails: the
  // scripts and the data that needs them are left alone.
  if (accepted) {
    {
      const LoadingPhase phase(kBuildingPhase);
      buildScripts();
    }
    run(scriptSetupSlots.findObjectScriptHooks);
    {
      const LoadingPhase phase(kDataPhase);
      loadGameData();
    }
  }
  if (done != nullptr)
    done->store(true);
  return accepted;
}

bool startScriptSetup(bool threaded, std::atomic<bool>& done, Thread& thread) {
  done.store(false);
  if (threaded) {
    logInfo("Loading using multiple threads\n");
    auto* argument = new SetupThreadArgument{&done};
    if (thread.start(setupThreadEntry, argument, true))
      return true;
    delete argument;
  }
  setupScriptEngines(&done);
  return !threaded;
}

void tearDownScriptEngines() {
  discardScriptModules();
  clearScriptFileCache();
  releaseScriptEngines();
}
