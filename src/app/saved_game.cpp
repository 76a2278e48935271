#include "app/saved_game.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/base/console.h"
#include "app/base/local_dates.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/base/message_box.h"
#include "app/new_game.h"
#include "app/session_workers.h"
#include "core/common_strings.h"
#include "core/formula.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/post_load.h"
#include "core/save_stream.h"
#include "core/user_folders.h"
#include "core/utf8.h"
#include "empire/empire.h"
#include "empire/empire_record.h"
#include "gfx/game_camera.h"
#include "gfx/gas_sprites.h"
#include "net/network_manager.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "gui/script/gui_modules.h"
#include "script/server_modules.h"
#include "universe/galaxygen/object_tree.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_threads.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

constexpr char kSaveExtension[] = ".qvs";
// The second name the previous save holds while the new one is committed.
constexpr char kPreviousSaveExtension[] = ".qvs.prev";
// The map a new game falls back to when a saved game named on the command
// line cannot be loaded.
constexpr char kDefaultMapName[] = "spiral.as";

// The empire list holds at most this many empires (one visibility bit each).
constexpr uint32_t kMaxSavedEmpires = 32;
// First version with the settings and constants after the description, and
// the one version with them after the common strings.
constexpr int32_t kSettingsFirstVersion = 32;
constexpr int32_t kSettingsAfterStringsVersion = 31;
// Copying the previous save when it cannot be linked.
constexpr std::size_t kCopyChunk = 64 * 1024;

constexpr SaveFileError kSaveErrorClientSave{1, "Only servers may save the game."};
constexpr SaveFileError kSaveErrorNoGame{1, "A game must be started first"};
constexpr SaveFileError kSaveErrorSettings{5, "Error in game settings"};
constexpr SaveFileError kSaveErrorConstants{5, "Error in formula constants"};
constexpr SaveFileError kSaveErrorNotValid{5, "Files does not appear to be a valid Corvane save file"};
constexpr SaveFileError kSaveErrorPlayerIndex{5, "Invalid player empire index"};
constexpr SaveFileError kSaveErrorObjectsEnd{5, "Error at end of object load"};
constexpr SaveFileError kSaveErrorGameTime{5, "Invalid game time"};

constexpr char kSaveErrorCaption[] = "Error saving game";
constexpr char kSaveErrorIntro[] = "There was an error saving the game. Specifically:\n";
constexpr char kLoadErrorCaption[] = "Error loading game";
constexpr char kLoadErrorIntro[] = "There was an error loading the game. Specifically:\n";
constexpr char kLoadFatalText[] =
    "An unexpected error occurred while loading the game.\n"
    "Please report this problem and include the save file.";

// Console.
constexpr wchar_t kNeedsGame[] = L"A game must be started first";
constexpr wchar_t kNoDirectory[] = L"May not specify a directory with saves";
constexpr wchar_t kClientMayNotSave[] = L"Only the server may save the game";
constexpr wchar_t kGameInProgress[] = L"There is already a game in progress, end it first";

SessionWorkers* savingWorkers = nullptr;


bool hasFolder(const stringc& name) { return name.findFirst('/') >= 0 || name.findFirst('\\') >= 0; }

// The local player's empire: the active empire, which between frames is the
// pending player empire (also before the first frame has made it active).
empire* localPlayerEmpire() {
  empire* active = activeEmpire;
  return active != nullptr ? active : pendingPlayerEmpire;
}

stringc withoutExtension(const stringc& path) {
  if (path.size() > 3 && narrowEndsWithNoCase(path, kSaveExtension))
    return path.subString(0, path.size() - 4);
  return path;
}

bool fileExists(const std::string& path) { return plat::isRegularFile(path); }

// --- Named values ------------------------------------------------------------

void writeNamedFloats(SaveStream& stream, const NamedVar<float>::Registry& registry) {
  stream.writeU32(registry.size());
  for (irr::u32 i = 0; i < registry.size(); ++i) {
    stream.writeString(registry[i].name);
    stream.writeFloat(registry[i].value);
  }
}

void readNamedFloats(SaveStream& stream, NamedVar<float>::Registry& registry) {
  const uint32_t count = stream.readU32();
  for (uint32_t i = 0; i < count; ++i) {
    stringw name;
    stream.readString(name);
    const float value = stream.readFloat();
    NamedVar<float>::getOrAdd(registry, name).value = value;
  }
}

// Sections 3 and 4: the game settings, then the formula constants.
void readSettingsSections(SaveStream& stream) {
  readNamedFloats(stream, gameSettings);
  stream.readMarker(kSaveErrorSettings);
  readNamedFloats(stream, formulaConstants);
  stream.readMarker(kSaveErrorConstants);
}

// --- Rotation ----------------------------------------------------------------

std::string numberedSave(const std::string& base, int number) { return base + std::to_string(number) + kSaveExtension; }

// Copies `from` to `to`, synced, through a temporary file of this call's own
// (another server copying to the same name never writes into it); 0 or an
// error number, and then no temporary file is left.
int copyFile(const std::string& from, const std::string& to) {
  plat::InputFile input;
  if (const int error = input.open(from))
    return error;
  plat::OutputFile output;
  if (const int error = output.createTemporaryFor(to))
    return error;
  const auto copy = [&]() -> int {
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
      std::size_t got = 0;
      if (const int error = input.read(buffer.data(), buffer.size(), got))
        return error;
      if (got == 0)
        break;
      if (const int error = output.write(buffer.data(), got))
        return error;
    }
    if (const int error = output.sync())
      return error;
    if (const int error = output.close())
      return error;
    return output.moveTo(to);
  };
  const int error = copy();
  if (error != 0)
    output.discard();
  return error;
}

// The previous save under its second name while the new one is committed.
// Unless released, the second name goes again (the previous save itself
// stays where it is).
class PreviousSave {
 public:
  explicit PreviousSave(const std::string& base) : save_(base + kSaveExtension), kept_(base + kPreviousSaveExtension) {}
  ~PreviousSave() {
    if (holding_)
      plat::removeFile(kept_);
  }
  PreviousSave(const PreviousSave&) = delete;
  PreviousSave& operator=(const PreviousSave&) = delete;

  // Gives the previous save its second name: a link, or a copy where the
  // file system has no links. Throws when neither can be made.
  void keep() {
    plat::removeFile(kept_);  // left by a save that stopped half-way
    int error = plat::linkFile(save_, kept_);
    if (error != 0) {
      plat::removeFile(kept_);
      error = copyFile(save_, kept_);
    }
    holding_ = true;
    if (error != 0) {
      logError("Cannot keep the previous save '%s' as '%s': %s\n", save_.c_str(), kept_.c_str(),
               plat::errorText(error).c_str());
      throw kSaveErrorWriting;
    }
  }
  const std::string& path() const { return kept_; }
  void release() { holding_ = false; }

  // True when the second name holds a file other than the save: the save
  // before it, left by a save that stopped between its commit and its
  // rotation.
  bool orphaned() const {
    std::error_code error;
    if (!std::filesystem::is_regular_file(kept_, error))
      return false;
    return !std::filesystem::exists(save_, error) || !std::filesystem::equivalent(kept_, save_, error);
  }
  // Takes such a file over as the previous save to rotate.
  void adopt() { holding_ = true; }

 private:
  std::string save_;
  std::string kept_;
  bool holding_ = false;
};

// Moves the older copies up by one (the oldest of `rotations` going) and
// makes the kept previous save "<base>1.qvs". The new save is in place
// already; a failure here is logged and leaves the copies as far as they got.
void rotateOlderSaves(const std::string& base, int rotations, PreviousSave& previous) {
  int error = 0;
  std::string failed;
  for (int i = rotations - 1; i >= 1 && error == 0; --i) {
    const std::string copy = numberedSave(base, i);
    if (!fileExists(copy))
      continue;
    failed = copy;
    error = i == rotations - 1 ? plat::removeFile(copy) : plat::renameFile(copy, numberedSave(base, i + 1));
  }
  if (error == 0) {
    failed = previous.path();
    error = plat::renameFile(previous.path(), numberedSave(base, 1));
    if (error == 0)
      previous.release();
  }
  if (error == 0) {
    failed = base + kSaveExtension;
    error = plat::syncFolderOf(failed);
  }
  if (error != 0) {
    previous.release();  // it may be the only copy of the previous save left
    logError("Error rotating the older saves at '%s': %s\n", failed.c_str(), plat::errorText(error).c_str());
  }
}

void reportSaveError(const char* text) {
  logError("Error saving save file: %s\n", text);
  showMessageBox(kSaveErrorCaption, std::string(kSaveErrorIntro) + text);
}

void reportLoadError(const char* text) {
  logError("Error loading save file: %s\n", text);
  showMessageBox(kLoadErrorCaption, std::string(kLoadErrorIntro) + text);
}

// Resumes the galaxy processing threads when a save ends, however it ends.
struct ResumeSystemThreads {
  ~ResumeSystemThreads() { resumeSystemThreads(); }
};

// --- Loading -----------------------------------------------------------------

// Reads the empire records and registers each without its registration
// step: a loaded empire's AI comes from its record alone.
std::vector<empire*> readEmpires(SaveStream& stream) {
  const uint32_t count = stream.readU32();
  if (count > kMaxSavedEmpires)
    throw kSaveErrorEmpiresList;
  std::vector<empire*> loaded;
  for (uint32_t i = 0; i < count; ++i) {
    empire* emp = loadEmpire(stream);
    // Two empires with one ID, or one with the default empire's: the list
    // would keep the other one and this one would be lost.
    if (emp->ID == defaultEmpire()->ID || registerEmpire(emp, true) != emp) {
      clearPostObjectTreeSteps();  // its steps point at it
      delete emp;
      throw kSaveErrorEmpiresList;
    }
    loaded.push_back(emp);
  }
  continueOwnBitsAfterLoad();
  return loaded;
}

// Section 8: the local player's empire, or a new spectator for -1.
void readPlayerEmpire(SaveStream& stream, const std::vector<empire*>& loaded) {
  const int32_t index = stream.readI32();
  if (index < -1 || index >= static_cast<int32_t>(loaded.size()))
    throw kSaveErrorPlayerIndex;
  empire* player = index >= 0 ? loaded[static_cast<size_t>(index)] : createSessionSpectator();
  activeEmpire = player;
  pendingPlayerEmpire = player;
  stream.readMarker(kSaveErrorEmpiresList);
}

// Empires whose players are still to be announced get their registration
// step, each as the active empire meanwhile.
void registerWaitingEmpires() {
  for (empire* emp : empireList) {
    if (emp == pendingPlayerEmpire || !emp->needsRegistration)
      continue;
    emp->needsRegistration = false;
    empire* previous = activeEmpire;
    activeEmpire = emp;
    runRegisterEmpireData(emp);
    activeEmpire = previous;
  }
}

void readSavedGame(SaveStream& stream, generic_object*& partialTree) {
  readSaveDescription(stream);
  // 2. (The object the network layer holds in its shared slot is deleted
  // here.)
  // 3.
  if (stream.version() >= kSettingsFirstVersion)
    readSettingsSections(stream);
  // 4. The game clock only ever runs forward from 0.
  const double savedTime = stream.readDouble();
  if (!std::isfinite(savedTime) || savedTime < 0.0)
    throw kSaveErrorGameTime;
  gameTime = savedTime;
  stream.readMarker(kSaveErrorNotValid);
  // 5.
  readCommonStringsSection(stream);
  // 6.
  if (stream.version() == kSettingsAfterStringsVersion)
    readSettingsSections(stream);
  // 7-8.
  const std::vector<empire*> loaded = readEmpires(stream);
  readPlayerEmpire(stream, loaded);
  // 9.
  galaxy = loadObjectTree(stream, &partialTree);
  galaxy->grab();
  stream.readMarker(kSaveErrorObjectsEnd);
  // 10.
  if (stream.version() >= GameCamera::kRecordVersion)
    gameCamera.load(stream);
  else
    gameCamera.loadFocusUid(stream);
  // 11. The UIDs continue above every loaded one.
  runPostObjectTreeSteps();
  nextUid = uidHighWater.load() + 1;
  // 12.
  registerWaitingEmpires();
  // 13.
  if (stream.remaining() > 0)
    loadGalaxyGasSprites(stream);
  // 14. (GUI modules' records reach the client engine's modules here too.)
  loadScriptModuleRecords(stream);
  // 15.
  createEnvironment(galaxy, false);
}

// What a failed load read is freed: the fix-ups (which point at its empires
// and objects) without running, and its objects, quietly and without rules,
// as a tear-down frees a galaxy. The empires go with the session's.
void abandonLoad(generic_object* partialTree) {
  clearPostObjectTreeSteps();
  gameRulesActive = false;
  if (galaxy != nullptr)
    destroySessionGalaxy();
  else if (partialTree != nullptr)
    partialTree->destroyNow(true);
}

// --- Console -------------------------------------------------------------------

stringc narrowArgument(const stringw& text) {
  return stringc(wideToUtf8(std::wstring(text.c_str(), text.size())).c_str());
}

}  // namespace

stringc savedGamePath(const stringc& name) {
  if (hasFolder(name))
    return name;
  stringc path = userFolders.saves + name;
  if (!narrowEndsWithNoCase(path, kSaveExtension))
    path += kSaveExtension;
  return path;
}

void writeSavedGame(SaveStream& stream, const stringw& dateText) {
  empire* player = localPlayerEmpire();
  writeSaveDescription(stream, player != nullptr ? &player->name : nullptr, dateText);
  writeNamedFloats(stream, gameSettings);
  stream.writeMarker();
  writeNamedFloats(stream, formulaConstants);
  stream.writeMarker();
  stream.writeDouble(gameTime.load());
  stream.writeMarker();
  // Setting names that peers sent are owned by their empires, not pooled.
  const std::vector<stringw> peerSettingNames = savedSettingNames(empireList);
  writeCommonStringsSection(stream, commonStringList(), &peerSettingNames);

  int32_t playerIndex = -1;
  stream.writeU32(static_cast<uint32_t>(empireList.size()));
  for (size_t i = 0; i < empireList.size(); ++i) {
    if (empireList[i] == player)
      playerIndex = static_cast<int32_t>(i);
    saveEmpire(stream, empireList[i]);
  }
  stream.writeI32(playerIndex);
  stream.writeMarker();

  saveObjectTree(stream, galaxy);
  stream.writeMarker();
  gameCamera.save(stream);
  saveGalaxyGasSprites(stream);
  // The GUI script modules' records, then the server modules'.
  saveGuiModules(stream);
  saveServerModules(stream);
}

bool saveGame(const stringc& name, int rotations) {
  // 1. Nothing may change the tree while it is written: neither a galaxy
  // update in progress (with no processing threads the galaxy worker ticks
  // every system itself) nor the processing threads.
  if (savingWorkers != nullptr)
    savingWorkers->waitForGalaxyIdle();
  pauseSystemThreads();
  const ResumeSystemThreads resume;  // 8., on every path

  try {
    // 2.
    if (isNetworkClient())
      throw kSaveErrorClientSave;
    if (galaxy == nullptr)
      throw kSaveErrorNoGame;
    // 3.
    plat::createDirectories(userFolders.saves.c_str());
    const stringc base = withoutExtension(savedGamePath(name));
    const std::string basePath = base.c_str();
    // 5-6. The new save is written whole before any file is touched.
    std::unique_ptr<SaveStream> stream = openSaveForWrite(base);
    writeSavedGame(*stream, formatLocalDateTime());
    // 4, 7. The previous save stays in place until the new one replaces
    // it; then the older copies move up.
    PreviousSave previous(basePath);
    // A save stopped after its commit left the one before it under the
    // second name: its rotation is finished first (without copies to keep,
    // it goes).
    if (previous.orphaned()) {
      if (rotations > 0) {
        previous.adopt();
        rotateOlderSaves(basePath, rotations, previous);
      } else {
        plat::removeFile(previous.path());
      }
    }
    const bool rotate = rotations > 0 && fileExists(basePath + kSaveExtension);
    if (rotate)
      previous.keep();
    finishSaveFile(*stream);
    if (rotate)
      rotateOlderSaves(basePath, rotations, previous);
    return true;
  } catch (const SaveFileError& error) {
    reportSaveError(error.message);
  } catch (const std::exception& error) {
    reportSaveError(error.what());
  }
  return false;
}

bool loadSavedGame(const stringc& path) {
  logPrint("Loading saved game '%s'...\n", path.c_str());
  clearPostObjectTreeSteps();
  destroySessionGalaxy();
  generic_object* partialTree = nullptr;
  try {
    std::unique_ptr<SaveStream> stream = openSaveForRead(path);
    readSavedGame(*stream, partialTree);
    logPrint("Save game loaded\n");
    return true;
  } catch (const SaveFileError& error) {
    abandonLoad(partialTree);
    reportLoadError(error.message);
  } catch (...) {
    abandonLoad(partialTree);
    logError("Error loading save file: Fatal Exception\n");
    showMessageBox(kLoadErrorCaption, kLoadFatalText);
  }
  return false;
}

bool readSavedGameSettings(const stringc& path) {
  try {
    std::unique_ptr<SaveStream> stream = openSaveForRead(path);
    readSaveDescription(*stream);
    if (stream->version() >= kSettingsFirstVersion)
      readSettingsSections(*stream);
    return true;
  } catch (const SaveFileError& error) {
    // The load reports it, with the file's name.
    logInfo("The settings of the saved game '%s' cannot be read: %s\n", path.c_str(), error.message);
  }
  return false;
}

void forgetUnloadableSave(stringc name) {
  if (!loadGameName.empty() && name == loadGameName)
    loadGameName = "";
  else if (name == mapName)
    mapName = kDefaultMapName;
}

void requestLoadGame(const stringw& name) {
  if (isNetworkClient())
    return;
  // The file as this session finds it, by its whole path.
  const stringc path = savedGamePath(narrowArgument(name));
  try {
    openSaveForRead(path);
  } catch (const SaveFileError& error) {
    if (Console* out = console())
      out->print(stringw(error.message));
    return;
  }
  // (On a client with a menu, the menu's next screen becomes the load screen.)
  loadGameName = path;
  gameRunning = false;
}

void setSavingSessionWorkers(SessionWorkers* workers) { savingWorkers = workers; }

void saveGameCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  if (args.size() != 2) {
    out->printHelp(args);
    return;
  }
  const stringc name = narrowArgument(args[1]);
  if (galaxy == nullptr) {
    out->print(kNeedsGame);
  } else if (hasFolder(name)) {
    out->print(kNoDirectory);
  } else if (isNetworkClient()) {
    out->print(kClientMayNotSave);
  } else {
    saveGame(name, 0);
  }
}

void loadGameCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  if (args.size() != 2) {
    out->printHelp(args);
    return;
  }
  // A connected client's galaxy belongs to its server; elsewhere a request
  // ends the running game and the next session loads the save.
  if (galaxy != nullptr && isNetworkClient()) {
    out->print(kGameInProgress);
    return;
  }
  stringc name = narrowArgument(args[1]);
  if (hasFolder(name)) {
    out->print(kNoDirectory);
    return;
  }
  if (!narrowEndsWithNoCase(name, kSaveExtension))
    name += kSaveExtension;
  requestLoadGame(stringw(utf8ToWide(name.c_str()).c_str()));
}
