// Data mounting and the script set-up of a game session: what the folder
// handlers collect (with and without a mod), the set-up's log and order,
// the merge of game settings and formula constants, and repeated set-ups in
// one process.
#include "app/script_setup.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "app/base/sub_system_scale.h"
#include "app/data_folders.h"
#include "core/formula.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/treaty_clause.h"
#include "empire/research/research_registry.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "script/server_modules.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"

namespace script_setup_test {

using namespace AngelScript;
using irr::core::stringc;

namespace {

namespace fs = std::filesystem;

// The bundled data, as the program finds it beside its executable.
const char kBundledData[] = CORVANE_SOURCE_DIR "/data";

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> strings(const std::vector<stringc>& list) {
  std::vector<std::string> out;
  for (const stringc& entry : list)
    out.push_back(entry.c_str());
  return out;
}

// Mounts as a session does: handlers, then the current mod applied.
void mountAndApply(bool newGame, const char* mapName, const char* mod) {
  currentModName = mod;
  scanMods();
  mountDataFolders(newGame, mapName);
  applyCurrentMod();
}

class DataFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratchDir();
    for (const char* file :
         {"Game Data/settings.TXT", "Game Data/SpecialFX.txt", "Game Data/other.txt",
          "Game Data/scripts/server/b.as", "Game Data/scripts/server/A.AS", "Game Data/scripts/server/notes.txt",
          "Game Data/scripts/shared/c.as", "Game Data/Sub Systems/hull.txt", "Game Data/Sub Systems/hull.xml",
          "Game Data/Effects/burn.txt", "Game Data/Effectors/laser.TXT", "Game Data/Technologies/root.txt",
          "Maps/spiral.as", "Mods/over/Game Data/scripts/server/b.as", "Mods/over/Game Data/treaties.xml"})
      writeFile(root_ / file, "x");
    writeFile(root_ / "Mods/over/modinfo.txt", "Name: Over\n");
    folder_ = std::make_unique<WorkingFolder>(root_);
  }
  void TearDown() override {
    clearModTables();
    currentModName = "";
    folder_.reset();
  }

  fs::path root_;
  std::unique_ptr<WorkingFolder> folder_;
};

TEST_F(DataFoldersTest, HandlersCollectTheirFilesInNameOrder) {
  mountAndApply(true, "Spiral.AS", "");
  const SessionDataFiles& data = sessionDataFiles;
  EXPECT_EQ(strings(data.serverScripts),
            (std::vector<std::string>{"Game Data/scripts/server/A.AS", "Game Data/scripts/server/b.as",
                                      "Game Data/scripts/shared/c.as"}));
  EXPECT_EQ(strings(data.clientScripts), std::vector<std::string>{"Game Data/scripts/shared/c.as"});
  EXPECT_EQ(strings(data.subSystems), std::vector<std::string>{"Game Data/Sub Systems/hull.txt"});
  EXPECT_EQ(strings(data.effects), std::vector<std::string>{"Game Data/Effects/burn.txt"});
  EXPECT_EQ(strings(data.effectors), std::vector<std::string>{"Game Data/Effectors/laser.TXT"});
  EXPECT_EQ(strings(data.technologies), std::vector<std::string>{"Game Data/Technologies/root.txt"});
  EXPECT_TRUE(data.guiScripts.empty());
  EXPECT_STREQ(data.formulaConstantsFile.c_str(), "Game Data/settings.TXT");
  EXPECT_STREQ(data.specialEffectsFile.c_str(), "Game Data/SpecialFX.txt");
  EXPECT_STREQ(data.mapScriptPath.c_str(), "Maps/spiral.as");
  EXPECT_STREQ(resolveDataPath("Game Data/treaties.xml").c_str(), "Game Data/treaties.xml");
}

TEST_F(DataFoldersTest, AModsFilesTakeThePlaceOfTheBaseFiles) {
  mountAndApply(false, "spiral", "Over");
  EXPECT_EQ(strings(sessionDataFiles.serverScripts),
            (std::vector<std::string>{"Game Data/scripts/server/A.AS", "Mods/over/Game Data/scripts/server/b.as",
                                      "Game Data/scripts/shared/c.as"}));
  // Not a new game: "Maps/" is not looked at.
  EXPECT_STREQ(sessionDataFiles.mapScriptPath.c_str(), "");
  EXPECT_STREQ(resolveDataPath("Game Data/treaties.xml").c_str(), "Mods/over/Game Data/treaties.xml");
  EXPECT_STREQ(resolveDataPath("Game Data/diplomacy_strings.txt").c_str(), "Game Data/diplomacy_strings.txt");
}

TEST_F(DataFoldersTest, MapNamesBecomeLowerCaseScriptNames) {
  const struct {
    const char* mapName;
    const char* scriptName;
    const char* mounted;  // the map script path once "Maps/" is mounted
  } cases[] = {
      {"spiral", "spiral.as", "Maps/spiral.as"},
      {"Spiral.AS", "spiral.as", "Maps/spiral.as"},
      {"SPIRAL.as", "spiral.as", "Maps/spiral.as"},
      {"Ring", "ring.as", "ring.as"},  // not in "Maps/": the name stays
      {"spiral.asx", "spiral.asx.as", "spiral.asx.as"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(mapScriptName(c.mapName).c_str(), c.scriptName) << c.mapName;
    mountAndApply(true, c.mapName, "");
    EXPECT_STREQ(sessionDataFiles.mapScriptPath.c_str(), c.mounted) << c.mapName;
    clearModTables();
  }
}

// --- The set-up over the bundled data ------------------------------------

// The log of a set-up with the banner rules dropped and the milliseconds
// blanked, one entry per line.
std::vector<std::string> logLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    const size_t finished = line.find("Finished(");
    if (finished != std::string::npos)
      line.replace(finished, line.find(')', finished) - finished + 1, "Finished(ms)");
    if (line != "============")
      lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

const std::vector<std::string> kBundledSetupLog = {
    "Hooking script functions...",
    "Hooking script functions... Finished(ms)",
    "Loading/Building scripts...",
    "Loading script file: Game Data/scripts/server/alters.as",
    "Loading script file: Game Data/scripts/server/colony.as",
    "Loading script file: Game Data/scripts/server/combat.as",
    "Loading script file: Game Data/scripts/server/empire_ai.as",
    "Loading script file: Game Data/scripts/server/interactions.as",
    "Loading script file: Game Data/scripts/server/session_clock.as",
    "Loading script file: Game Data/scripts/server/shields.as",
    "Loading script file: Game Data/scripts/server/traits.as",
    "Loading script file: Game Data/scripts/server/treaty_clauses.as",
    "Loading script file: Game Data/scripts/shared/text_helpers.as",
    "Loading script file: Game Data/scripts/shared/text_helpers.as",
    "Loading/Building scripts... Finished(ms)",
    "Loading game data files...",
    "Note: Diplomacy strings will still have gaps - fillDiplomacyStringGaps() not implemented",
    "Loading effects: Game Data/Effects/colony.txt",
    "Loading effects: Game Data/Effects/combat.txt",
    "Loading effects: Game Data/Effects/hazards.txt",
    "Loading effects: Game Data/Effects/industry.txt",
    "Loading effects: Game Data/Effects/star.txt",
    "Loading effects: Game Data/Effects/storage.txt",
    "Loading effects: Game Data/Effects/subsystems.txt",
    "Loading research fields: Game Data/Technologies/military.txt",
    "Loading research fields: Game Data/Technologies/sciences.txt",
    "Loading Effectors: Game Data/Effectors/tools.txt",
    "Loading Effectors: Game Data/Effectors/weapons.txt",
    "Loading Sub Systems: Game Data/Sub Systems/ship_parts.txt",
    "Loading Sub Systems: Game Data/Sub Systems/structures.txt",
    "Loading game data files... Finished(ms)",
};

// Runs one set-up as a session does and checks what it built.
void runBundledSetup(bool threaded) {
  mountAndApply(true, "spiral", "");
  std::atomic<bool> done{false};
  Thread thread;
  ASSERT_TRUE(startScriptSetup(threaded, done, thread));
  while (!done.load())
    plat::sleepMs(1);
  if (threaded)
    thread.waitForExit();

  // Every script built: a module per server script and the shared one in
  // both engines, the server modules' hooks found.
  for (const char* module : {"alters", "colony", "combat", "empire_ai", "interactions", "session_clock", "shields",
                             "traits", "treaty_clauses", "text_helpers"})
    EXPECT_NE(serverScriptEngine->GetModule(module, asGM_ONLY_IF_EXISTS), nullptr) << module;
  EXPECT_NE(clientScriptEngine->GetModule("text_helpers", asGM_ONLY_IF_EXISTS), nullptr);
  ASSERT_EQ(serverModules.size(), 10u);
  EXPECT_STREQ(serverModules[5].name.c_str(), "session_clock");
  EXPECT_GE(serverModules[5].initFunc, 0);
  EXPECT_GE(serverModules[5].tickFunc, 0);
  EXPECT_TRUE(sessionDataFiles.serverScripts.empty());
  EXPECT_TRUE(sessionDataFiles.clientScripts.empty());
  EXPECT_TRUE(sessionDataFiles.formulaConstantsFile.empty());
  // They were built against the whole Empire type, with its Color.
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    const asITypeInfo* type = engine->GetTypeInfoByName("Empire");
    ASSERT_NE(type, nullptr);
    EXPECT_NE(type->GetMethodByDecl("void regScriptData(const string &, const string &)"), nullptr);
    EXPECT_NE(type->GetMethodByDecl("float getSetting(const string &) const"), nullptr);
    EXPECT_EQ(type->GetPropertyCount(), 3u);  // ID, color, lastMessage
    EXPECT_NE(engine->GetTypeInfoByName("Color"), nullptr);
  }
  EXPECT_TRUE(sessionDataFiles.effects.empty());
  EXPECT_GE(findEffectIndex(L"CargoBay"), 0);
  EXPECT_TRUE(sessionDataFiles.technologies.empty());
  EXPECT_NE(research::getWebItemDesc(irr::core::stringw(L"Science")), nullptr);
  // The sub-systems load last, after the effectors they provide.
  EXPECT_TRUE(sessionDataFiles.subSystems.empty());
  EXPECT_GT(subSystemDefRegistry.size(), 0u);

  // The shipped clause kinds, every hook found in this session's engine.
  ASSERT_EQ(getClauseDescriptorCount(), 5u);
  const ScriptClauseDescriptor* ceasefire = getClauseDescriptor(irr::core::stringw(L"ceasefire"));
  ASSERT_NE(ceasefire, nullptr);
  for (int32_t hook : {ceasefire->beginHook, ceasefire->tickHook, ceasefire->endHook})
    EXPECT_GE(hook, 0);
  for (const wchar_t* id : {L"peace", L"alliance", L"war"})
    EXPECT_GE(getClauseDescriptor(irr::core::stringw(id))->beginHook, 0) << id;

  tearDownScriptEngines();
  clearSubSystemDefs();
  clearEffectors();
  clearEffects();
  clearTreatyClauses();
  research::clearWebItemDescs();
  clearModTables();
}

TEST(ScriptSetup, LogsItsStepsInOrderAndNoCompilerMessage) {
  const WorkingFolder folder(kBundledData);
  for (bool threaded : {false, true}) {
    SCOPED_TRACE(threaded ? "threaded" : "inline");
    LogCapture log;
    runBundledSetup(threaded);
    std::vector<std::string> expected = kBundledSetupLog;
    if (threaded)
      expected.insert(expected.begin(), "Loading using multiple threads");
    EXPECT_EQ(logLines(log.take()), expected);
  }
}

// A session started again and again in one process builds the scripts each
// time; the sanitizer's leak check at exit covers what they leave behind.
TEST(ScriptSetup, RepeatsInOneProcess) {
  const WorkingFolder folder(kBundledData);
  LogCapture log;
  initThreadLocals();
  for (int session = 0; session < 20; ++session) {
    SCOPED_TRACE(session);
    runBundledSetup(session % 2 == 0);
  }
  freeThreadLocals();
  EXPECT_EQ(log.take().find("AS "), std::string::npos);
}

// --- Order, slots and the merge over a small fixture ----------------------

std::vector<std::string> calls;

// Notes a slot's call, with whether evaluateFormula ("E") and the core
// globals ("G") were registered by then.
template <int N>
void noteSlot() {
  static const char* const kNames[] = {"gui",       "client sub-systems", "client treaties", "client research",
                                       "empire",    "server treaties",    "treaty list",     "objects",
                                       "empire objects", "fleet",         "event",           "sub-system refs",
                                       "effectors", "galaxy generation",  "client globals",  "orders",
                                       "template argument", "server research", "server sub-systems",
                                       "right-click menu",  "object hooks"};
  std::string note = kNames[N];
  if (serverScriptEngine->GetGlobalFunctionByDecl("float evaluateFormula(const string &, const Empire@ forEmpire)"))
    note += " E";
  if (serverScriptEngine->GetGlobalFunctionByDecl("int rand(int)"))
    note += " G";
  calls.push_back(note);
}

template <int N>
void noteList(const std::vector<stringc>& files) {
  static const char* const kNames[] = {"effects", "technologies", "effectors", "sub-systems"};
  std::string note = kNames[N];
  for (const stringc& file : files)
    note += " " + std::string(file.c_str());
  calls.push_back(note);
}

template <int N>
void noteFile(const stringc& path) {
  static const char* const kNames[] = {"treaties", "diplomacy"};
  calls.push_back(std::string(kNames[N]) + " " + path.c_str() +
                  (formulaFunctions.size() > 0 ? " with built-ins" : ""));
}

class ScriptSetupOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratchDir();
    writeFile(root_ / "Game Data/Settings.txt", "Shared: 2\nConstantOnly: 3\n");
    writeFile(root_ / "Game Data/Effects/burn.txt", "");
    writeFile(root_ / "Game Data/Effectors/laser.txt", "");
    writeFile(root_ / "Game Data/Technologies/root.txt", "");
    writeFile(root_ / "Game Data/Sub Systems/hull.txt", "");
    writeFile(root_ / "Game Data/scripts/server/loader.as",
              "void report() { updateLoadScreen(\"half way\"); }\n");
    folder_ = std::make_unique<WorkingFolder>(root_);
    saved_ = scriptSetupSlots;
    gameSettings.clear();
    formulaConstants.clear();
    formulaFunctions.clear();
    calls.clear();
  }
  void TearDown() override {
    tearDownScriptEngines();
    clearModTables();
    scriptSetupSlots = saved_;
    gameSettings.clear();
    formulaConstants.clear();
    folder_.reset();
  }

  fs::path root_;
  std::unique_ptr<WorkingFolder> folder_;
  ScriptSetupSlots saved_;
};

TEST_F(ScriptSetupOrderTest, SlotsRunInTheirOrderAroundTheScriptHostsBindings) {
  ScriptSetupSlots& slots = scriptSetupSlots;
  slots.guiBindings = noteSlot<0>;
  slots.clientSubSystemBindings = noteSlot<1>;
  slots.clientTreatyTypes = noteSlot<2>;
  slots.clientResearchTypes = noteSlot<3>;
  slots.serverTreatyTypes = noteSlot<5>;
  slots.treatyListType = noteSlot<6>;
  slots.objectBindings = noteSlot<7>;
  slots.empireObjectsType = noteSlot<8>;
  slots.fleetType = noteSlot<9>;
  slots.eventType = noteSlot<10>;
  slots.subSystemReferenceType = noteSlot<11>;
  slots.effectorTypes = noteSlot<12>;
  slots.galaxyGenerationBindings = noteSlot<13>;
  slots.clientGlobals = noteSlot<14>;
  slots.orderBindings = noteSlot<15>;
  slots.templateArgumentType = noteSlot<16>;
  slots.serverResearchTypes = noteSlot<17>;
  slots.serverSubSystemBindings = noteSlot<18>;
  slots.rightClickMenu = noteSlot<19>;
  slots.findObjectScriptHooks = noteSlot<20>;
  slots.loadTreatyClauses = noteFile<0>;
  slots.loadDiplomacyStrings = noteFile<1>;
  slots.loadEffects = noteList<0>;
  slots.loadTechnologies = noteList<1>;
  slots.loadEffectors = noteList<2>;
  slots.loadSubSystems = noteList<3>;
  static std::wstring screen;
  slots.showLoadingScreen = [](const wchar_t* text) { screen += text; };

  LogCapture log;
  mountAndApply(false, "", "");
  setupScriptEngines(nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "gui", "client sub-systems", "client treaties", "client research", "server treaties",
                       "treaty list", "objects", "empire objects", "fleet", "event", "sub-system refs", "effectors",
                       "galaxy generation", "client globals", "orders", "template argument E",
                       "server research E G", "server sub-systems E G", "right-click menu E G", "object hooks E G",
                       "treaties Game Data/treaties.xml", "diplomacy Game Data/diplomacy_strings.txt with built-ins",
                       "effects Game Data/Effects/burn.txt", "technologies Game Data/Technologies/root.txt",
                       "effectors Game Data/Effectors/laser.txt", "sub-systems Game Data/Sub Systems/hull.txt"}));
  EXPECT_TRUE(sessionDataFiles.effects.empty());
  EXPECT_TRUE(sessionDataFiles.subSystems.empty());

  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(serverScriptEngine->GetModule("loader")->GetFunctionByDecl("void report()"));
  EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
  context->Release();
  EXPECT_EQ(screen, L"half way");
  EXPECT_EQ(log.take().find("AS "), std::string::npos);
}

TEST_F(ScriptSetupOrderTest, ScriptsReadTheSessionsGameTime) {
  writeFile(root_ / "Game Data/scripts/server/clock.as",
            "double now() { return getGameTime(); }\n"
            "double nowByAccessor() { return get_gameTime(); }\n");
  LogCapture log;
  mountAndApply(false, "", "");
  setupScriptEngines(nullptr);
  const double savedTime = gameTime.load();
  gameTime = 12.5;
  for (const char* declaration : {"double now()", "double nowByAccessor()"}) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(serverScriptEngine->GetModule("clock")->GetFunctionByDecl(declaration));
    EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED) << declaration;
    EXPECT_EQ(context->GetReturnDouble(), 12.5) << declaration;
    context->Release();
  }
  gameTime = savedTime;
  EXPECT_EQ(log.take().find("AS "), std::string::npos);
}

TEST_F(ScriptSetupOrderTest, GameSettingsWinOverFormulaConstantsAndSetTheScaleLimits) {
  const struct {
    std::vector<std::pair<const wchar_t*, float>> settings;
    float minScale;
    float maxScale;
  } cases[] = {
      {{{L"Shared", 5.0f}}, 0.25f, 4.0f},
      {{{L"Shared", 5.0f}, {L"SS_MIN_SCALE", 0.5f}, {L"SS_MAX_SCALE", 8.0f}}, 0.5f, 8.0f},
  };
  LogCapture log;
  for (const auto& c : cases) {
    gameSettings.clear();
    formulaConstants.clear();
    for (const auto& [name, value] : c.settings)
      setGameSetting(name, value);
    mountAndApply(false, "", "");
    setupScriptEngines(nullptr);
    for (auto* table : {&gameSettings, &formulaConstants}) {
      const irr::s32 shared = NamedVar<float>::find(*table, L"Shared");
      const irr::s32 constantOnly = NamedVar<float>::find(*table, L"ConstantOnly");
      ASSERT_GE(shared, 0);
      ASSERT_GE(constantOnly, 0);
      EXPECT_EQ((*table)[shared].value, 5.0f);
      EXPECT_EQ((*table)[constantOnly].value, 3.0f);
    }
    EXPECT_EQ(subSystemMinScale, c.minScale);
    EXPECT_EQ(subSystemMaxScale, c.maxScale);
    tearDownScriptEngines();
    clearModTables();
  }
}

}  // namespace

}  // namespace script_setup_test
