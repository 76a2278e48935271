// Saving and loading games outside a running session, for the tests and the
// fuzz target that load damaged saves: what a session has set up when it
// prepares its galaxy (data folders, scripts, planet types) with the mod
// "Save Harness" in the user folder, whose empire AI and server module keep
// their state as XML, so that a save holds a record of every kind.
//
// The caller provides the engine device, the console and a user folder, and
// runs in the bundled data folder.
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>
#include <irrString.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/data_folders.h"
#include "app/frame_loop.h"
#include "app/new_game.h"
#include "app/saved_game.h"
#include "app/script_setup.h"
#include "core/common_strings.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "core/post_load.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "gfx/game_camera.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "script/server_modules.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/planets/planet_hooks.h"
#include "universe/planets/planet_types.h"
#include "session_data.h"

namespace saved_game_harness {

constexpr char kModName[] = "Save Harness";

// Every AI empire's AI keeps a number and saves it as XML.
constexpr char kEmpireAIScript[] = R"(
class Keeper {
  int serial = 0;
  Keeper(Empire@ emp) { serial = 1000 + emp.ID * 7; }
  Keeper(Empire@ emp, XMLReader@ xml) {
    while (xml.advance())
      if (xml.getNodeType() == XN_Element && xml.getNodeName() == "keeper")
        serial = s_to_i(xml.getAttributeValue("serial"));
  }
  void save(XMLWriter@ xml) { xml.addElement("keeper", true, "serial", i_to_s(serial)); }
  void tick(Empire@ emp, float seconds) {}
}

void registerEmpireData(Empire@ emp) {
  if (emp.isAI() && !emp.isReserved())
    emp.regScriptData("empire_ai", "Keeper");
}
)";

// A server module with a saved record.
constexpr char kLedgerScript[] = R"(
int entries = 1;
void onSaveFileWrite(XMLWriter@ xml) { xml.addElement("ledger", true, "entries", i_to_s(entries)); }
void onSaveFileLoad(XMLReader@ xml) {
  while (xml.advance())
    if (xml.getNodeType() == XN_Element && xml.getNodeName() == "ledger")
      entries = s_to_i(xml.getAttributeValue("entries"));
}
)";

// The texts a refused load gives after "Error loading save file: ": those of
// the save stream, the common strings, the settings and sections of the saved
// game, the empire record (with its research web, layouts and build lists),
// the object tree and object records (states, movers, unit AI and orders),
// and the module records.
inline const std::vector<std::string>& knownLoadErrors() {
  static const std::vector<std::string> texts = {
      // Save stream
      "Error opening file",
      "Unexpected EOF",
      "Not a Corvane save file",
      "Too many entries for the save file",
      "Save file was created in a newer version of Corvane",
      "Save file was created in an older version of Corvane, and can no longer be loaded",
      // Common strings
      "Invalid Common String reference",
      "Invalid CommonStrings list",
      "Error in Common Strings list",
      // The saved game's own sections
      "Error in game settings",
      "Error in formula constants",
      "Files does not appear to be a valid Corvane save file",
      "Invalid player empire index",
      "Error at end of object load",
      "Invalid game time",
      // Empire record
      "Invalid Empire Name",
      "Unexpected end of file within mass data",
      "Invalid treaty identifier",
      "Invalid empire referenced in empire relations",
      "Error in empires list",
      "Missing Technology Descriptor",
      "Invalid Sub System ID",
      "Invalid physical info for Sub Systems",
      "Mismatched sub system data, data files have likely changed",
      "Invalid SubSystem provision list",
      "Invalid SubSystem effectors list",
      "Invalid SubSystem triggerable effectors list",
      "Invalid build rule tag",
      "Invalid Sub System id",  // a build rule naming no definition
      // Object tree and object records
      "Object tree malformed",
      "Invalid build queue item",
      "Invalid hull layout name in constructible",
      "Galaxy specified as child",
      "System not specified as child of galaxy",
      "Object not specified as child of galaxy or solar system",
      "Invalid Empire UID",
      "Invalid Orbit Type",
      "Invalid mobile mover state",
      "Invalid prior AI for fleet",
      "Invalid AI Handler Type",
      "Invalid target",
      "Order type 3 cannot be loaded",
      "Order type 4 cannot be loaded",
      "Order type 5 cannot be loaded",
      "Order type 6 cannot be loaded",
      "Order type 7 cannot be loaded",
      "Order type 8 cannot be loaded",
      "Order type 10 cannot be loaded",
      "Order type 11 cannot be loaded",
      "Order type 12 cannot be loaded",
      "Order type 13 cannot be loaded",
      "Order type 15 cannot be loaded",
      "Order type 16 cannot be loaded",
      "Order type 17 cannot be loaded",
      "Order type 18 cannot be loaded",
      // Module records
      "Attempted to create script file in excess of 1 MiB, or an empty file",
  };
  return texts;
}

constexpr char kLoadErrorPrefix[] = "Error loading save file: ";

// What a log says of a load: "" when it loaded, else each text that followed
// "Error loading save file: " (one line each), and whether it reported the
// load as done.
struct LoadReport {
  std::vector<std::string> errors;
  bool loaded = false;
};

inline LoadReport reportOf(const std::string& log) {
  LoadReport report;
  const std::string prefix = kLoadErrorPrefix;
  for (size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
    const size_t begin = at + prefix.size();
    const size_t end = log.find('\n', begin);
    report.errors.push_back(log.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
  }
  report.loaded = log.find("Save game loaded\n") != std::string::npos;
  return report;
}

inline bool isKnownLoadError(const std::string& text) {
  for (const std::string& known : knownLoadErrors())
    if (text == known)
      return true;
  return false;
}

inline void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Installs the mod in the user folder `userDataFolder` names.
inline void installMod() {
  const std::filesystem::path mod = std::filesystem::path(userDataFolder.c_str()) / "Corvane/Mods/saveharness";
  const auto write = [](const std::filesystem::path& path, const std::string& text) {
    writeFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  };
  write(mod / "modinfo.txt", std::string("Name: ") + kModName + "\n");
  write(mod / "Game Data/scripts/server/empire_ai.as", kEmpireAIScript);
  write(mod / "Game Data/scripts/server/ledger.as", kLedgerScript);
}

// One session's data and scripts, and games made and loaded in it.
class Harness {
 public:
  // What a session has set up when it prepares its galaxy.
  void beginSession() {
    settings_ = gameSettings;
    constants_ = formulaConstants;
    beginSessionData(kModName, "tiny");
  }

  void endSession() {
    endGame();
    endSessionData();
    gameSettings = settings_;
    formulaConstants = constants_;
  }

  // The map `mapPath` with three AI empires, its server modules initialised.
  void startGame(const irr::core::stringc& mapPath) {
    setGameSetting(L"AI_COUNT", 3.0f);
    seedProcessRandom(11);
    threadRandom().seed(11);
    setupNewGame(mapPath);
    initServerModules();
  }

  // What a session's tear-down frees of a game (loaded whole, in part or not
  // at all), with the rules no longer running; the settings, constants and
  // UID mark as the next session has them. The number of objects that were
  // left.
  size_t endGame() {
    const bool rules = gameRulesActive.load();
    gameRulesActive = false;
    clearPostObjectTreeSteps();
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    clearGalaxyGasSprites();
    clearActiveGfxEffects();  // the gas sprites' billboards
    const size_t left = registeredObjectCount();
    clearObjectRegistry();
    gameRulesActive = rules;
    gameSettings = settings_;
    formulaConstants = constants_;
    gameCamera = GameCamera();
    gameTime = 0.0;
    uidHighWater = 1;
    closeMessageBoxes();
    return left;
  }

  static std::vector<uint8_t> writeToMemory() {
    auto stream = SaveStream::createInMemory();
    writeSavedGame(*stream, L"a fixed date");
    return stream->memoryBytes();
  }

 private:
  // Each refused load shows a message box (modal: in a modal screen of its
  // own); they would pile up.
  static void closeMessageBoxes() {
    if (engine.gui == nullptr)
      return;
    std::vector<irr::gui::IGUIElement*> boxes;
    for (irr::gui::IGUIElement* child : engine.gui->getRootGUIElement()->getChildren())
      if (child->getType() == irr::gui::EGUIET_MESSAGE_BOX || child->getType() == irr::gui::EGUIET_MODAL_SCREEN)
        boxes.push_back(child);
    for (irr::gui::IGUIElement* box : boxes)
      box->remove();
  }

  NamedVar<float>::Registry settings_;
  NamedVar<float>::Registry constants_;
};

}  // namespace saved_game_harness
