// Saved games: a game written and read back gives the same file again;
// older copies rotate only around a complete new save; a failed write
// changes no file and leaves the galaxy threads running; every older version
// loads; damaged files are refused with their reason and free what was read.
//
// SavedGameTest sets up what a session has ready when it prepares its
// galaxy, with the mod "Save Test" in the scratch user folder: an
// "empire_ai" module whose AI saves its state as XML, a server module that
// does too, and a shared module that notes which engine heard a saved
// record. SavedGameSessionTest runs whole sessions with console input.
#include "app/saved_game.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/command_line.h"
#include "app/console_commands.h"
#include "app/data_folders.h"
#include "app/frame_loop.h"
#include "app/game_session.h"
#include "app/new_game.h"
#include "app/script_setup.h"
#include "core/common_strings.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "core/post_load.h"
#include "core/random.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "gfx/game_camera.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "gfx/graphics_object.h"
#include "platform/file.h"
#include "script/script_engine.h"
#include "script/server_modules.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_threads.h"
#include "universe/planets/planet_hooks.h"
#include "universe/planets/planet_types.h"
#include "saved_game_harness.h"
#include "session_data.h"

namespace saved_game_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringc;
using irr::core::stringw;
using irr::core::vector3df;

constexpr char kSaveTestMod[] = "Save Test";
constexpr char kFixedDate[] = "a fixed date";

// Every AI empire's AI keeps a number and saves it as XML; made anew, it
// starts from its empire's ID.
using saved_game_harness::kEmpireAIScript;

// A server module with saved state; its init leaves loaded state alone.
const char kLedgerScript[] = R"(
int entries = 0;
int loads = 0;
void init() {
  if (entries == 0)
    entries = 1;
}
void onSaveFileWrite(XMLWriter@ xml) { xml.addElement("ledger", true, "entries", i_to_s(entries)); }
void onSaveFileLoad(XMLReader@ xml) {
  ++loads;
  while (xml.advance())
    if (xml.getNodeType() == XN_Element && xml.getNodeName() == "ledger")
      entries = s_to_i(xml.getAttributeValue("entries"));
}
)";

// In both engines: notes what a saved record told it.
const char kProbeScript[] = R"(
int heard = 0;
void onSaveFileLoad(XMLReader@ xml) {
  while (xml.advance())
    if (xml.getNodeType() == XN_Element && xml.getNodeName() == "probe")
      heard = s_to_i(xml.getAttributeValue("said"));
}
)";

stringc testMap(const char* name) { return stringc(CORVANE_SOURCE_DIR "/tests/app/maps/") + name; }

bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

size_t occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

void writeBytes(const fs::path& path, const Bytes& bytes) { writeFile(path, std::string(bytes.begin(), bytes.end())); }

Bytes readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readText(const fs::path& path) {
  const Bytes bytes = readBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::set<std::string> filesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

// Where the first difference lies, for a readable failure.
std::string firstDifference(const Bytes& a, const Bytes& b) {
  const size_t size = std::min(a.size(), b.size());
  for (size_t i = 0; i < size; ++i)
    if (a[i] != b[i])
      return "first difference at byte " + std::to_string(i);
  return a.size() == b.size() ? "equal" : "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
}

void installSaveTestMod() {
  const fs::path mod = fs::path(userDataFolder.c_str()) / "Corvane/Mods/savetest";
  writeFile(mod / "modinfo.txt", std::string("Name: ") + kSaveTestMod + "\n");
  writeFile(mod / "Game Data/scripts/server/empire_ai.as", kEmpireAIScript);
  writeFile(mod / "Game Data/scripts/server/ledger.as", kLedgerScript);
  writeFile(mod / "Game Data/scripts/shared/probe.as", kProbeScript);
}

// A global variable of a script module, or null.
template <class T>
T* moduleGlobal(AngelScript::asIScriptEngine* engine, const char* module, const char* name) {
  AngelScript::asIScriptModule* found =
      engine != nullptr ? engine->GetModule(module, AngelScript::asGM_ONLY_IF_EXISTS) : nullptr;
  if (found == nullptr)
    return nullptr;
  const int index = found->GetGlobalVarIndexByName(name);
  return index >= 0 ? static_cast<T*>(found->GetAddressOfGlobalVar(static_cast<AngelScript::asUINT>(index))) : nullptr;
}

// The "serial" of an empire's Keeper AI, or null.
int* keeperSerial(empire* emp) {
  AngelScript::asIScriptObject* ai = emp->aiObject;
  if (ai == nullptr || std::string(ai->GetObjectType()->GetName()) != "Keeper")
    return nullptr;
  for (AngelScript::asUINT i = 0; i < ai->GetPropertyCount(); ++i)
    if (std::string(ai->GetPropertyName(i)) == "serial")
      return static_cast<int*>(ai->GetAddressOfProperty(i));
  return nullptr;
}

std::vector<int> listedIds() {
  std::vector<int> ids;
  for (const empire* emp : empireList)
    ids.push_back(emp->ID);
  return ids;
}

// A new game leaves the space empire a presence ("prs") of -1 in a system
// where a homeworld was taken from it before statistics were kept; reading a
// save sets every presence below -0.5 to 0. This gives the game the
// presences a load leaves, so that nothing else may differ.
void repairNegativePresences() {
  for (unsigned i = 0; i < galaxy->getSystemCount(); ++i) {
    StatsList* list = galaxy->getSystem(i)->systemStats;
    if (list == nullptr)
      continue;
    for (irr::u32 k = 0; k < list->size(); ++k)
      if (getStatValue((*list)[k], L"prs") < -0.5f)
        statValue((*list)[k], L"prs") = 0.0f;
  }
}

uint32_t highestUid(generic_object* root) {
  uint32_t highest = root->uid;
  for (irr::u32 i = 0; i < root->children.size(); ++i)
    highest = std::max(highest, highestUid(root->children[i].get()));
  return highest;
}

// Offsets in a saved game: the end of the description, the empire count and
// the player index (the first -1 followed by the marker after the count).
struct SaveLayout {
  size_t afterDescription = 0;
  size_t empireCount = 0;
  size_t playerIndex = 0;
};

SaveLayout layoutOf(const Bytes& file) {
  SaveLayout layout;
  auto stream = readerOver(file);
  const auto offset = [&] { return file.size() - static_cast<size_t>(stream->remaining()); };
  readSaveDescription(*stream);
  layout.afterDescription = offset();
  for (int table = 0; table < 2; ++table) {
    const uint32_t count = stream->readU32();
    for (uint32_t i = 0; i < count; ++i) {
      stringw name;
      stream->readString(name);
      stream->readFloat();
    }
    stream->readU32();
  }
  stream->readDouble();
  stream->readU32();
  const uint32_t strings = stream->readU32();
  for (uint32_t i = 0; i < strings; ++i) {
    stringw text;
    stream->readString(text);
  }
  stream->readU32();
  layout.empireCount = offset();
  const Bytes indexAndMarker = hexBytes("FF FF FF FF EF BE AD DE");
  layout.playerIndex = static_cast<size_t>(std::search(file.begin() + static_cast<long>(layout.empireCount), file.end(),
                                                       indexAndMarker.begin(), indexAndMarker.end()) -
                                           file.begin());
  return layout;
}

void putU32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

class SavedGameTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    savedSettings_ = gameSettings;
    savedConstants_ = formulaConstants;
    installSaveTestMod();
    beginSession();
  }

  void TearDown() override {
    endSession();
    plat::setFileFaultHook(nullptr);
    gameSettings = savedSettings_;
    formulaConstants = savedConstants_;
    gameCamera = GameCamera();
    gameTime = 0.0;
    SessionTest::TearDown();
  }

  // What a session has set up when it prepares its galaxy.
  void beginSession() { beginSessionData(kSaveTestMod, "tiny"); }

  // What a session's tear-down frees of a game, with the rules no longer
  // running (no planet tells its owner it was lost); every object goes.
  void endGame() {
    const bool rules = gameRulesActive.load();
    gameRulesActive = false;
    gameCamera.clearFocus();  // as the session's end lets the focus go
    clearPostObjectTreeSteps();
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    clearGalaxyGasSprites();
    clearActiveGfxEffects();  // the gas sprites' billboards
    EXPECT_EQ(registeredObjectCount(), 0u);
    clearObjectRegistry();
    gameRulesActive = rules;
  }

  void endSession() {
    endGame();
    endSessionData();
  }

  // Everything made anew, the script modules' state, the game settings and
  // the formula constants included (as a new process has them).
  void freshSession() {
    endSession();
    gameSettings = savedSettings_;
    formulaConstants = savedConstants_;
    beginSession();
  }

  // The tiny map with three AI empires, its server modules initialised.
  void startGame() {
    setGameSetting(L"AI_COUNT", 3.0f);
    seedProcessRandom(11);
    threadRandom().seed(11);
    setupNewGame(testMap("tiny.as"));
    initServerModules();
  }

  Bytes writeToMemory() {
    auto stream = SaveStream::createInMemory();
    writeSavedGame(*stream, stringw(kFixedDate));
    return stream->memoryBytes();
  }

  fs::path savesFolder() const { return fs::path(userFolders.saves.c_str()); }

  // Loads `bytes` from a file; the log.
  std::string loadFile(const Bytes& bytes, bool& loaded, const char* name = "loaded.qvs") {
    const fs::path path = savesFolder() / name;
    writeBytes(path, bytes);
    LogCapture log;
    loaded = loadSavedGame(path.c_str());
    return log.take();
  }

  NamedVar<float>::Registry savedSettings_;
  NamedVar<float>::Registry savedConstants_;
};

// ---------------------------------------------------------------------------
// Names

TEST(SavedGameNames, SavesKeepTheirNameAndLiveInTheSavesFolder) {
  const struct {
    const char* map;
    const char* fixed;
  } maps[] = {
      {"autosave.qvs", "autosave.qvs"}, {"Old.QVS", "Old.QVS"}, {"tiny", "tiny.as"}, {"qvs", "qvs.as"},
      {"galaxy.AS", "galaxy.AS"},
  };
  for (const auto& c : maps)
    EXPECT_EQ(fixUpMapName(c.map), c.fixed) << c.map;

  const UserFolders kept = userFolders;
  userFolders.saves = "/home/u/Corvane/Saves/";
  const struct {
    const char* name;
    const char* path;
  } saves[] = {
      {"first", "/home/u/Corvane/Saves/first.qvs"},
      {"first.QVS", "/home/u/Corvane/Saves/first.QVS"},
      {"/tmp/x/broken.qvs", "/tmp/x/broken.qvs"},
      {"sub\\other.qvs", "sub\\other.qvs"},
  };
  for (const auto& c : saves)
    EXPECT_EQ(savedGamePath(c.name), stringc(c.path)) << c.name;
  userFolders = kept;
}

// ---------------------------------------------------------------------------
// Round trip

TEST_F(SavedGameTest, AGameReadBackIsWrittenByteForByteAgain) {
  startGame();
  ASSERT_NE(galaxy, nullptr);
  createGalaxyGasSprite(L"nebula", 900.0f, vector3df(10, 0, -5), irr::video::SColor(0x40203040), 300.0f);
  gameCamera.zoomDistance = 4321.0f;
  gameCamera.positionMode = CM_Static;
  gameCamera.targetOffset = vector3df(1, 2, 3);
  setGameSetting(L"ROUND_TRIP", 7.0f);
  NamedVar<float>::getOrAdd(formulaConstants, L"roundTripConstant").value = 2.5f;
  gameTime = 321.25;
  int* entries = moduleGlobal<int>(serverScriptEngine, "ledger", "entries");
  ASSERT_NE(entries, nullptr);
  *entries = 42;
  std::vector<int> serials;
  for (empire* emp : empireList) {
    if (int* serial = keeperSerial(emp)) {
      *serial = 100 + emp->ID;
      serials.push_back(*serial);
    }
  }
  ASSERT_EQ(serials.size(), 3u);
  const uint32_t highest = highestUid(galaxy);
  repairNegativePresences();

  const Bytes first = writeToMemory();
  ASSERT_TRUE(saveGame("first", 0));
  const fs::path firstPath = savesFolder() / "first.qvs";
  const Bytes firstFile = readBytes(firstPath);

  // A fresh session state: nothing of the game is left, the modules start
  // anew, and what the save holds is changed.
  freshSession();
  gameCamera = GameCamera();
  setGameSetting(L"ROUND_TRIP", 0.0f);
  NamedVar<float>::getOrAdd(formulaConstants, L"roundTripConstant").value = 0.0f;
  gameTime = 0.0;
  LogCapture log;
  ASSERT_TRUE(loadSavedGame(firstPath.c_str())) << log.take();
  initServerModules();
  const std::string text = log.take();
  EXPECT_TRUE(contains(text, std::string("Loading saved game '") + firstPath.string() + "'...\n")) << text;
  EXPECT_TRUE(contains(text, "Save game loaded\n")) << text;
  EXPECT_FALSE(contains(text, "Error")) << text;

  // The game as it was saved.
  EXPECT_EQ(listedIds(), (std::vector<int>{255, 254, 253, 1, 2, 3}));
  std::vector<int> loadedSerials;
  for (empire* emp : empireList)
    if (int* serial = keeperSerial(emp))
      loadedSerials.push_back(*serial);
  EXPECT_EQ(loadedSerials, serials);
  ASSERT_NE(pendingPlayerEmpire, nullptr);
  EXPECT_EQ(activeEmpire, pendingPlayerEmpire);
  EXPECT_EQ(pendingPlayerEmpire->name, stringw(L"Spectator"));
  EXPECT_EQ(std::count(empireList.begin(), empireList.end(), pendingPlayerEmpire), 0);
  ASSERT_NE(galaxy, nullptr);
  EXPECT_EQ(galaxy->getSystemCount(), 3u);
  EXPECT_EQ(highestUid(galaxy), highest);
  EXPECT_EQ(nextUid.load(), highest + 2);
  EXPECT_EQ(*moduleGlobal<int>(serverScriptEngine, "ledger", "entries"), 42);
  EXPECT_EQ(*moduleGlobal<int>(serverScriptEngine, "ledger", "loads"), 1);
  ASSERT_EQ(galaxyGasSprites().size(), 1u);
  EXPECT_EQ(galaxyGasSprites()[0].material, stringw(L"nebula"));
  EXPECT_EQ(gameCamera.zoomDistance, 4321.0f);
  EXPECT_EQ(gameCamera.positionMode, CM_Static);
  EXPECT_EQ(gameCamera.targetOffset, vector3df(1, 2, 3));
  EXPECT_EQ(getGameSetting(L"ROUND_TRIP", 0.0f), 7.0f);
  EXPECT_EQ(NamedVar<float>::getOrAdd(formulaConstants, L"roundTripConstant").value, 2.5f);
  EXPECT_EQ(gameTime.load(), 321.25);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);

  // Saved again before any frame: the same bytes, whole with the same date,
  // after the description with the clock's.
  const Bytes second = writeToMemory();
  EXPECT_TRUE(first == second) << firstDifference(first, second);
  ASSERT_TRUE(saveGame("second", 0));
  const Bytes secondFile = readBytes(savesFolder() / "second.qvs");
  const size_t a = layoutOf(firstFile).afterDescription;
  const size_t b = layoutOf(secondFile).afterDescription;
  EXPECT_TRUE(Bytes(firstFile.begin() + static_cast<long>(a), firstFile.end()) ==
              Bytes(secondFile.begin() + static_cast<long>(b), secondFile.end()))
      << firstDifference(Bytes(firstFile.begin() + static_cast<long>(a), firstFile.end()),
                         Bytes(secondFile.begin() + static_cast<long>(b), secondFile.end()));
}

// A setting that a client sent is held by its empire, not by the common
// strings, and still goes into the save, whose loading pools it as any name.
TEST_F(SavedGameTest, SettingsSentByAClientAreSavedAndLoaded) {
  startGame();
  empire* played = nullptr;
  for (empire* emp : empireList)
    if (emp->ID == 1)
      played = emp;
  ASSERT_NE(played, nullptr);
  const stringw name(L"clientOnlySettingForTheSave");
  {
    ScopedWriteLock guard(played->locks[EA_Settings]);
    float* value = settingFromPeer(played, name);
    ASSERT_NE(value, nullptr);
    *value = 6.5f;
  }
  played->setSetting(L"autoPark", 1.0f);
  ASSERT_LT(commonStringList().find(name), 0);
  ASSERT_TRUE(saveGame("peer", 0));
  EXPECT_LT(commonStringList().find(name), 0) << "the save pooled the name";

  freshSession();
  LogCapture log;
  ASSERT_TRUE(loadSavedGame((savesFolder() / "peer.qvs").c_str())) << log.take();
  initServerModules();
  empire* loaded = nullptr;
  for (empire* emp : empireList)
    if (emp->ID == 1)
      loaded = emp;
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->getSetting(name), 6.5f);
  EXPECT_EQ(loaded->getSetting(L"autoPark"), 1.0f);
}

// ---------------------------------------------------------------------------
// Rotation and failures

TEST_F(SavedGameTest, OlderCopiesRotateOnlyAroundACompleteSave) {
  startGame();
  const struct {
    int rotations;
    // -1: "autosave.qvs", k: "autosave<k>.qvs", -3: "autosave.qvs.prev" (the
    // save before the last, left by a save stopped after its commit); each
    // holds "old<k>".
    std::vector<int> existing;
    std::vector<std::pair<int, int>> after;  // copy k holds old<j> (-2: the new save)
  } cases[] = {
      {6, {-1, 1, 2, 3, 4, 5}, {{-1, -2}, {1, -1}, {2, 1}, {3, 2}, {4, 3}, {5, 4}}},
      {0, {-1, 1}, {{-1, -2}, {1, 1}}},
      {2, {-1}, {{-1, -2}, {1, -1}}},
      {2, {-1, 1}, {{-1, -2}, {1, -1}}},
      {3, {}, {{-1, -2}}},
      {3, {-1, -3, 1}, {{-1, -2}, {1, -1}, {2, -3}}},
      {0, {-1, -3}, {{-1, -2}}},
  };
  const auto fileOf = [](int k) {
    if (k == -3)
      return std::string("autosave.qvs.prev");
    return k < 0 ? std::string("autosave.qvs") : "autosave" + std::to_string(k) + ".qvs";
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rotations);
    fs::remove_all(savesFolder());
    fs::create_directories(savesFolder());
    writeFile(savesFolder() / "other.qvs", "other");
    for (int k : c.existing)
      writeFile(savesFolder() / fileOf(k), "old" + std::to_string(k));

    ASSERT_TRUE(saveGame("autosave", c.rotations));

    std::set<std::string> expected{"other.qvs"};
    for (const auto& [copy, holds] : c.after) {
      expected.insert(fileOf(copy));
      const std::string content = readText(savesFolder() / fileOf(copy));
      if (holds == -2) {
        EXPECT_EQ(content.substr(0, 4), "$qvs") << fileOf(copy);
      } else {
        EXPECT_EQ(content, "old" + std::to_string(holds)) << fileOf(copy);
      }
    }
    EXPECT_EQ(filesIn(savesFolder()), expected);
    EXPECT_EQ(readText(savesFolder() / "other.qvs"), "other");
  }
}

// The file fault to inject: the `countdown`-th operation `op` on a save's
// temporary file fails.
plat::FileOp faultOp = plat::FileOp::Write;
int faultCountdown = 0;

int failSaveFile(plat::FileOp op, const std::string& path, std::size_t) {
  const std::string ending = ".tmp";
  const bool temporary = path.find(".qvs.") != std::string::npos && path.size() >= ending.size() &&
                         path.compare(path.size() - ending.size(), ending.size(), ending) == 0;
  if (op != faultOp || !temporary)
    return 0;
  return --faultCountdown == 0 ? EIO : 0;
}

TEST_F(SavedGameTest, AFailedWriteChangesNoFileAndTheThreadsRunOn) {
  startGame();
  // Enough sprites that the file is written in several pieces.
  for (int i = 0; i < 6000; ++i)
    createGalaxyGasSprite(L"gas", 1.0f, vector3df(static_cast<float>(i), 0, 0), irr::video::SColor(0xFF000000), 5.0f);
  startSystemThreads(2);
  ASSERT_EQ(galaxy->threads.size(), 2u);

  const struct {
    plat::FileOp op;
    int countdown;
  } cases[] = {
      {plat::FileOp::Write, 2},  // while the sections are written
      {plat::FileOp::Write, 3},  // a later piece
      {plat::FileOp::Sync, 1},  {plat::FileOp::Rename, 1}, {plat::FileOp::Create, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.op) * 10 + c.countdown);
    fs::remove_all(savesFolder());
    writeFile(savesFolder() / "autosave.qvs", "old");
    writeFile(savesFolder() / "autosave1.qvs", "old1");
    writeFile(savesFolder() / "autosave2.qvs", "old2");
    faultOp = c.op;
    faultCountdown = c.countdown;
    plat::setFileFaultHook(failSaveFile);
    LogCapture log;
    EXPECT_FALSE(saveGame("autosave", 3));
    plat::setFileFaultHook(nullptr);
    EXPECT_EQ(faultCountdown, 0) << "the fault was not reached";
    EXPECT_EQ(occurrences(log.take(), "Error saving save file: "), 1u);

    EXPECT_EQ(filesIn(savesFolder()), (std::set<std::string>{"autosave.qvs", "autosave1.qvs", "autosave2.qvs"}));
    EXPECT_EQ(readText(savesFolder() / "autosave.qvs"), "old");
    EXPECT_EQ(readText(savesFolder() / "autosave1.qvs"), "old1");
    EXPECT_EQ(readText(savesFolder() / "autosave2.qvs"), "old2");

    // The workers go on with their passes as game time passes.
    EXPECT_FALSE(systemsPaused.load());
    std::vector<uint64_t> passes;
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      passes.push_back(galaxy->threads[k]->passes.load());
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k) {
      while (galaxy->threads[k]->passes.load() <= passes[k] && std::chrono::steady_clock::now() < limit) {
        gameTime = gameTime.load() + 0.01;
        plat::sleepMs(1);
      }
      EXPECT_GT(galaxy->threads[k]->passes.load(), passes[k]) << "worker " << k;
    }
  }
  // Without a fault, the same save is written and rotated.
  EXPECT_TRUE(saveGame("autosave", 3));
  EXPECT_EQ(readText(savesFolder() / "autosave1.qvs"), "old");
  EXPECT_EQ(readText(savesFolder() / "autosave2.qvs"), "old1");
}

// ---------------------------------------------------------------------------
// Versions

// A save of `version` made by hand: no empires, an empty galaxy, the
// settings and constants where the version keeps them, the camera (or the
// focus UID), one gas sprite and a record for the "probe" module.
Bytes handMadeSave(int32_t version, bool serverRecord) {
  auto stream = SaveStream::createInMemory();
  SaveStream& s = *stream;
  const auto settings = [&] {
    s.writeU32(1);
    s.writeString(L"VERSION_MARK");
    s.writeFloat(static_cast<float>(version));
    s.writeMarker();
    s.writeU32(1);
    s.writeString(L"versionConstant");
    s.writeFloat(static_cast<float>(version) * 2.0f);
    s.writeMarker();
  };
  if (version >= 11) {
    s.writeString(L"Tester");
    s.writeString(L"then");
  }
  if (version >= 32)
    settings();
  s.writeDouble(77.0);
  s.writeMarker();
  s.writeU32(1);
  s.writeString(L"a");
  s.writeMarker();
  if (version == 31)
    settings();
  s.writeU32(0);   // empires
  s.writeI32(-1);  // none is the local player's
  s.writeMarker();

  // The galaxy: kind, UID 1, name, radius, mass, then the packed position
  // groups (before version 8 with skipped fields around them), no flags;
  // its system fields; no children.
  s.writePackedUInt(6);
  s.writePackedUInt(1);
  s.writeString(L"Galaxy");
  s.writeFloat(0.0f);
  s.writeDouble(0.0);
  if (version < 8) {
    s.writeU64(0);
    s.writeFloat(0.0f);
  }
  s.writeU8(0);
  s.writeU8(0);
  s.writeU8(0);
  if (version >= 35)
    s.writeU32(0);
  s.writeU16(0);
  if (version >= 8)
    s.writeU8(0);
  else
    s.writeU16(0);
  s.writeMarker();

  if (version >= GameCamera::kRecordVersion) {
    GameCamera camera;
    camera.zoomDistance = 55.0f;
    camera.save(s);
  } else {
    s.writeU32(1);  // the galaxy, shown by its render group
  }
  s.writeU16(1);
  s.writeString(L"mist");
  s.writeFloat(10.0f);
  s.writeFloat(20.0f);
  s.writeU32(0xFF102030);
  s.writeFloat(1.0f);
  s.writeFloat(2.0f);
  s.writeFloat(3.0f);

  const std::string xml = "<probe said=\"" + std::to_string(version) + "\"/>";
  if (version >= kModuleEngineMarkerVersion)
    s.writeU8(serverRecord ? 1 : 0);
  s.writeU32(static_cast<uint32_t>(xml.size()));
  s.writeNarrowString("probe");
  s.writeBytes(xml.data(), xml.size());

  Bytes bytes = s.memoryBytes();
  putU32(bytes, 4, static_cast<uint32_t>(version));
  return bytes;
}

TEST_F(SavedGameTest, EveryVersionLoadsWithItsOwnLayout) {
  const struct {
    int32_t version;
    bool serverRecord;
    bool earlySettings;  // read ahead of the scripts
    bool settings;       // loaded at all
    float zoom;          // the camera record's; 0 for the focus UID alone (the galaxy, close)
    int serverHeard;
    int clientHeard;
  } cases[] = {
      {35, true, true, true, 55.0f, 35, 0},  {35, false, true, true, 55.0f, 0, 35},
      {33, true, true, true, 55.0f, 0, 33},  // no engine flag: the client engine's modules only
      {31, true, false, true, 55.0f, 0, 31}, {30, true, false, false, 55.0f, 0, 30},
      {16, true, false, false, 0.0f, 0, 16}, {7, true, false, false, 0.0f, 0, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    freshSession();
    gameCamera = GameCamera();
    gameCamera.zoomDistance = 9.0f;
    const Bytes file = handMadeSave(c.version, c.serverRecord);
    const fs::path path = savesFolder() / "old.qvs";
    writeBytes(path, file);

    LogCapture log;
    EXPECT_TRUE(readSavedGameSettings(path.c_str()));
    EXPECT_EQ(getGameSetting(L"VERSION_MARK", -1.0f), c.earlySettings ? static_cast<float>(c.version) : -1.0f);
    ASSERT_TRUE(loadSavedGame(path.c_str())) << log.take();
    EXPECT_FALSE(contains(log.take(), "Error"));

    EXPECT_EQ(getGameSetting(L"VERSION_MARK", -1.0f), c.settings ? static_cast<float>(c.version) : -1.0f);
    const irr::s32 constant = NamedVar<float>::find(formulaConstants, L"versionConstant");
    EXPECT_EQ(constant >= 0, c.settings);
    if (constant >= 0) {
      EXPECT_EQ(formulaConstants[static_cast<irr::u32>(constant)].value, 2.0f * static_cast<float>(c.version));
    }
    EXPECT_EQ(gameTime.load(), 77.0);
    EXPECT_TRUE(empireList.empty());
    ASSERT_NE(pendingPlayerEmpire, nullptr);
    EXPECT_EQ(pendingPlayerEmpire->name, stringw(L"Spectator"));
    ASSERT_NE(galaxy, nullptr);
    EXPECT_EQ(galaxy->getSystemCount(), 0u);
    EXPECT_EQ(nextUid.load(), 3u);
    if (c.zoom != 0.0f) {
      EXPECT_EQ(gameCamera.zoomDistance, c.zoom);
      EXPECT_EQ(gameCamera.focus, nullptr);
    } else {
      // An old save's focus UID alone: the object is focused close.
      ASSERT_NE(galaxy->graphics, nullptr);
      EXPECT_EQ(gameCamera.focus, galaxy->graphics);
      EXPECT_EQ(gameCamera.zoomDistance, 5.0f * galaxy->graphics->radius);
    }
    ASSERT_EQ(galaxyGasSprites().size(), 1u);
    EXPECT_EQ(galaxyGasSprites()[0].material, stringw(L"mist"));
    EXPECT_EQ(galaxyGasSprites()[0].position, vector3df(1, 2, 3));
    EXPECT_EQ(*moduleGlobal<int>(serverScriptEngine, "probe", "heard"), c.serverHeard);
    EXPECT_EQ(*moduleGlobal<int>(clientScriptEngine, "probe", "heard"), c.clientHeard);
  }
}

// ---------------------------------------------------------------------------
// Damage

TEST_F(SavedGameTest, DamagedSavesAreRefusedWithTheirReasonAndFreed) {
  startGame();
  const Bytes good = writeToMemory();
  const SaveLayout layout = layoutOf(good);
  ASSERT_LT(layout.playerIndex, good.size());
  // Empire lists that cannot be registered, written by the writer itself.
  const auto withIds = [&](EmpireID fourth, EmpireID fifth) {
    const EmpireID keptFourth = empireList[3]->ID;
    const EmpireID keptFifth = empireList[4]->ID;
    empireList[3]->ID = fourth;
    empireList[4]->ID = fifth;
    const Bytes bytes = writeToMemory();
    empireList[3]->ID = keptFourth;
    empireList[4]->ID = keptFifth;
    return bytes;
  };
  const Bytes duplicateIds = withIds(1, 1);
  const Bytes defaultEmpireId = withIds(1, 131);
  // Game clocks that no game can have run to.
  const auto withGameTime = [&](double time) {
    const double kept = gameTime.load();
    gameTime = time;
    const Bytes bytes = writeToMemory();
    gameTime = kept;
    return bytes;
  };
  const Bytes nanTime = withGameTime(std::numeric_limits<double>::quiet_NaN());
  const Bytes infiniteTime = withGameTime(std::numeric_limits<double>::infinity());
  const Bytes negativeTime = withGameTime(-1e300);
  endGame();

  const auto cut = [&](size_t size) { return Bytes(good.begin(), good.begin() + static_cast<long>(size)); };
  Bytes badTimeMarker = handMadeSave(SaveStream::kVersion, true);
  {
    // The marker after the game time follows the settings sections.
    auto stream = readerOver(badTimeMarker);
    readSaveDescription(*stream);
    for (int table = 0; table < 2; ++table) {
      for (uint32_t i = stream->readU32(); i > 0; --i) {
        stringw name;
        stream->readString(name);
        stream->readFloat();
      }
      stream->readU32();
    }
    stream->readDouble();
    badTimeMarker[badTimeMarker.size() - static_cast<size_t>(stream->remaining())] ^= 0xFF;
  }
  Bytes playerSeven = good;
  putU32(playerSeven, layout.playerIndex, 7);
  Bytes playerBelow = good;
  putU32(playerBelow, layout.playerIndex, static_cast<uint32_t>(-2));
  Bytes tooManyEmpires = good;
  putU32(tooManyEmpires, layout.empireCount, 33);
  Bytes emptyModuleRecord = good;
  for (uint8_t b : hexBytes("01 00000000 0600 6C6564676572"))
    emptyModuleRecord.push_back(b);
  Bytes hugeModuleRecord = good;
  for (uint8_t b : hexBytes("01 40420F00 0600 6C6564676572"))  // 1,000,000 bytes
    hugeModuleRecord.push_back(b);
  Bytes cutModuleRecord = good;
  for (uint8_t b : hexBytes("01 05000000 0600 6C6564676572 3C61"))
    cutModuleRecord.push_back(b);

  const struct {
    const char* name;
    const Bytes& bytes;
    const char* error;
  } cases[] = {
      {"cut after the header", cut(8), "Unexpected EOF"},
      {"cut in the empires", cut(layout.empireCount + 40), "Unexpected EOF"},
      {"cut before the end marker", cut(layout.playerIndex + 8 + 20), "Unexpected EOF"},
      {"wrong marker after the game time", badTimeMarker, "Files does not appear to be a valid Corvane save file"},
      {"game time NaN", nanTime, "Invalid game time"},
      {"game time +inf", infiniteTime, "Invalid game time"},
      {"game time -1e300", negativeTime, "Invalid game time"},
      {"player index 7 of 6 empires", playerSeven, "Invalid player empire index"},
      {"player index -2", playerBelow, "Invalid player empire index"},
      {"33 empires", tooManyEmpires, "Error in empires list"},
      {"two empires with one ID", duplicateIds, "Error in empires list"},
      {"an empire with the default empire's ID", defaultEmpireId, "Error in empires list"},
      {"a module record of length 0", emptyModuleRecord,
       "Attempted to create script file in excess of 1 MiB, or an empty file"},
      {"a module record of 1,000,000 bytes", hugeModuleRecord,
       "Attempted to create script file in excess of 1 MiB, or an empty file"},
      {"a module record cut short", cutModuleRecord, "Unexpected end of file within mass data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool loaded = true;
    const std::string text = loadFile(c.bytes, loaded);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(occurrences(text, std::string("Error loading save file: ") + c.error + "\n"), 1u) << text;
    EXPECT_TRUE(contains(text, std::string("There was an error loading the game. Specifically:\n") + c.error)) << text;
    EXPECT_FALSE(contains(text, "Save game loaded")) << text;
    // What was read is freed (the empires with the session's).
    EXPECT_EQ(galaxy, nullptr);
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
    endGame();
  }
}

// ---------------------------------------------------------------------------
// Console commands without a game

TEST_F(SavedGameTest, WithoutAGameTheCommandsExplainThemselves) {
  registerConsoleCommands();
  const struct {
    const wchar_t* line;
    const wchar_t* printed;
  } cases[] = {
      {L"save_game x", L"A game must be started first"},
      {L"save_game", L"save_game SaveName - Saves the game using the specified name"},
      {L"save_game a b", L"save_game SaveName - Saves the game using the specified name"},
      {L"load_game", L"load_game SaveName - Loads the specified save"},
      {L"load_game ../x", L"May not specify a directory with saves"},
      {L"load_game nosuch", L"Error opening file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    console()->clear();
    console()->execute(c.line, false);
    const auto lines = console()->lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), stringw(c.printed)), lines.end());
  }
  EXPECT_TRUE(loadGameName.empty());
  EXPECT_FALSE(fs::exists(savesFolder() / "x.qvs"));
}

// ---------------------------------------------------------------------------
// Whole sessions

class SavedGameSessionTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    savedSettings_ = gameSettings;
    savedThreads_ = uiThreadCount;
    savedMap_ = mapName;
    registerConsoleCommands();
    ASSERT_GE(consoleInputPipe(), 0);
    installTestMaps();
    singleThreaded = true;
    uiThreadCount = 0;
    setGameSetting(L"AI_COUNT", 1.0f);
  }

  void TearDown() override {
    loadGameName = "";
    mapName = savedMap_;
    uiThreadCount = savedThreads_;
    gameSettings = savedSettings_;
    SessionTest::TearDown();
  }

  static bool printed(const std::wstring& text) {
    const auto lines = console()->lines();
    return std::find(lines.begin(), lines.end(), stringw(text.c_str())) != lines.end();
  }

  NamedVar<float>::Registry savedSettings_;
  uint32_t savedThreads_ = 0;
  stringc savedMap_;
};

using Clock = std::chrono::steady_clock;

// `texts` occur in `haystack` in this order.
void expectInOrder(const std::string& haystack, const std::vector<std::string>& texts) {
  size_t at = 0;
  for (const std::string& text : texts) {
    const size_t found = haystack.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << text << "\nin:\n" << haystack;
    at = found + text.size();
  }
}

TEST_F(SavedGameSessionTest, TheConsoleSavesAndLoadsTheRunningGame) {
  currentModName = kTestMapsMod;
  console()->clear();
  LogCapture log;
  const auto limit = Clock::now() + std::chrono::seconds(60);
  int step = 0;
  {
    // Typed lines run in order, between frames; once their answers are
    // printed and the game still runs, the save is loaded, which ends it.
    SessionEnder ender([&] {
      if (step == 0) {
        typeConsoleLine("save_game first\nsave_game a/b\nload_game ../x\nsave_game\nload_game nosuch\n");
        step = 1;
      } else if (step == 1 && printed(L"> load_game nosuch") && printed(L"Error opening file")) {
        typeConsoleLine("load_game first\n");
        step = 2;
      }
      return Clock::now() > limit;
    });
    EXPECT_EQ(runGameSession("tiny"), 0);
  }
  ASSERT_EQ(step, 2);
  const stringc path = savedGamePath("first.qvs");
  EXPECT_TRUE(fs::exists(path.c_str()));
  EXPECT_EQ(loadGameName, path);
  for (const wchar_t* line : {L"> save_game first", L"> save_game a/b", L"> load_game ../x",
                              L"save_game SaveName - Saves the game using the specified name", L"Error opening file"})
    EXPECT_TRUE(printed(line)) << stringc(line).c_str();
  const auto lines = console()->lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), stringw(L"May not specify a directory with saves")), 2);

  // The following session loads it, and runs.
  {
    SessionEnder ender([] { return true; });
    EXPECT_EQ(runGameSession(loadGameName), 0);
  }
  const std::string text = log.take();
  EXPECT_FALSE(contains(text, "Error saving save file: ")) << text;
  EXPECT_EQ(occurrences(text, "Game ending. Total game time (not session): "), 2u) << text;
  expectInOrder(text, {"Game loop start ", "Game ending. Total game time (not session): ", "Seed: ",
                       std::string("Loading saved game '") + path.c_str() + "'...\n", "Save game loaded\n",
                       "Game loop start ", "Game ending."});
  EXPECT_FALSE(contains(text, "objects have not been deleted")) << text;
}

TEST_F(SavedGameSessionTest, ASaveThatCannotBeLoadedIsTriedOnceThenANewGameRuns) {
  currentModName = "/";
  const fs::path broken = fs::path(userDataFolder.c_str()) / "Corvane/Saves/broken.qvs";
  writeBytes(broken, hexBytes("24 71 76 73 23 00 00 00"));  // the header alone
  mapName = fixUpMapName("broken.qvs").c_str();
  LogCapture log;
  // As the loop over sessions hands names on.
  EXPECT_EQ(runGameSession(loadGameName.empty() ? mapName : loadGameName), 0);
  EXPECT_EQ(mapName, stringc("spiral.as"));
  {
    setGameSetting(L"SYSTEM_COUNT", 12.0f);
    SessionEnder ender([] { return true; });
    EXPECT_EQ(runGameSession(loadGameName.empty() ? mapName : loadGameName), 0);
  }
  const std::string text = log.take();
  EXPECT_EQ(occurrences(text, "Error loading save file: Unexpected EOF\n"), 1u) << text;
  expectInOrder(text, {std::string("Loading saved game '") + broken.string() + "'...\n",
                       "Error loading save file: Unexpected EOF\n", "Game ending.", "Seed: ", "Game loop start "});
  // The next session finds its data once, as the first session of a process
  // does.
  EXPECT_EQ(occurrences(text, "Loading effects: Game Data/Effects/star.txt"), 2u) << text;
  for (const char* unwanted : {"E011", "AS Server", "Script Exception"})
    EXPECT_FALSE(contains(text, unwanted)) << unwanted << "\n" << text;
  EXPECT_FALSE(contains(text, "objects have not been deleted")) << text;
}

}  // namespace

}  // namespace saved_game_test
