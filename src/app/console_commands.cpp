#include "app/console_commands.h"

#include <IGUIElement.h>
#include <IGUIEnvironment.h>
#include <ITimer.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <string>

#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/camera_commands.h"
#include "app/cheat_commands.h"
#include "app/frame_loop.h"
#include "app/key_commands.h"
#include "app/profiling_windows.h"
#include "app/saved_game.h"
#include "app/view_commands.h"
#include "audio/music_box.h"
#include "core/formula.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/utf8.h"
#include "design/base/numbers.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "gfx/gfx_resources.h"
#include "scriptapi/order_selection.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/order.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

constexpr wchar_t kNoDumpDirectory[] = L"May not specify a directory with dumps";
constexpr wchar_t kEmptyFileName[] = L"File name must at least 1 character";
constexpr wchar_t kCannotOpen[] = L"Unable open file ";
constexpr wchar_t kNotDecimal[] = L"  The 2nd argument must be a decimal number";
constexpr wchar_t kNeedsEmpire[] = L"  Needs an active empire";
constexpr wchar_t kNoLayout[] = L"Layout doesn't exist";
constexpr wchar_t kNothingSelected[] = L"  Must have an object selected";
constexpr char kTextExtension[] = ".txt";

// The speed factor's range.
constexpr double kMinSpeedFactor = 0.0;
constexpr double kMaxSpeedFactor = 10.0;
// Room for a setting's line: two blanks, at most 220 characters of its name,
// a blank and the value.
constexpr int kSettingLineLength = 300;

stringc narrow(const stringw& text) { return stringc(wideToUtf8(std::wstring(text.c_str(), text.size())).c_str()); }

stringw wide(const stringc& text) { return stringw(utf8ToWide(text.c_str()).c_str()); }

bool hasDirectory(const stringw& name) { return name.findFirst(L'/') >= 0 || name.findFirst(L'\\') >= 0; }

// A dump's file: the name with ".txt" unless it has it.
stringc dumpFileName(const stringw& name) {
  stringc file = narrow(name);
  if (!hasTextExtension(file))
    file += kTextExtension;
  return file;
}

// A name like ".txt" that is all extension: its last '.' is its first
// character. An empty name has nothing before its extension either.
bool hasEmptyStem(const stringw& name) { return name.empty() || name.findLast(L'.') == 0; }

// The value of a setting's argument: a whole decimal number that a float
// holds ("1e30x", "nan" and a 40-digit number are refused).
bool readDecimalArgument(const stringw& text, float& value) {
  double number = 0.0;
  if (!readDecimalNumber(text, number) || !(std::fabs(number) <= std::numeric_limits<float>::max()))
    return false;
  value = static_cast<float>(number);
  return true;
}

void printSettingLine(Console& out, const stringw& name, float value) {
  wchar_t line[kSettingLineLength];
  std::swprintf(line, kSettingLineLength, L"  %.220ls %f", name.c_str(), static_cast<double>(value));
  out.print(line);
}

// Shows the profiling readout `id` (made by the game session) in front of
// its siblings; nothing when it does not exist.
void showProfilingWindow(int id) {
  if (engine.gui == nullptr)
    return;
  irr::gui::IGUIElement* window = engine.gui->getRootGUIElement()->getElementFromId(id, true);
  if (window == nullptr)
    return;
  window->setVisible(true);
  if (irr::gui::IGUIElement* parent = window->getParent())
    parent->bringToFront(window);
}

template <typename Registry>
void appendNames(const Registry& registry, irr::core::array<stringw>& names) {
  for (irr::u32 i = 0; i < registry.size(); ++i)
    names.push_back(registry[i].name);
}

// The names registered in one callback list, in the list's order.
void appendRegistryNames(EffectCallbackList list, irr::core::array<stringw>& names) {
  switch (list) {
    case ECL_EventCalls:
      appendNames(plainFunctionRegistry(), names);
      break;
    case ECL_EventCallsTemplated:
      appendNames(templateFunctionRegistry(), names);
      break;
    case ECL_TargetWeightCalls:
      appendNames(targetFunctionRegistry(), names);
      break;
    case ECL_TargetWeightCallsTemplated:
      appendNames(targetFunctionWithArgsRegistry(), names);
      break;
    case ECL_OnFireCalls:
      appendNames(fireFunctionRegistry(), names);
      break;
    case ECL_OnFireCallsTemplated:
      appendNames(fireFunctionWithArgsRegistry(), names);
      break;
    case ECL_TickCalls:
      appendNames(tickFunctionRegistry(), names);
      break;
    default:
      // Tick functions take no template arguments: that list is empty.
      break;
  }
}

const char* const kCallbackListHeaders[ECL_COUNT] = {
    "Effect event calls, Non templated:\n",          "Effect event calls, Templated:\n",
    "Effector TargetWeight calls, Non templated:\n", "Effector TargetWeight calls, Templated:\n",
    "Effector OnFire calls, Non templated:\n",       "Effector OnFire calls, Templated:\n",
    "Effector Tick calls, Non templated:\n",         "Effector Tick calls, Templated:\n",
};

}  // namespace

int32_t parseSignedWideInt(const stringw& text) { return readSignedWholeNumber(text.c_str(), text.size()); }

bool hasTextExtension(const stringc& name) {
  const irr::u32 length = sizeof kTextExtension - 1;
  return name.size() >= length && std::string(name.c_str() + name.size() - length) == kTextExtension;
}

bool readDecimalNumber(const stringw& text, double& value) {
  bool digit = false;
  bool point = false;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9')
      digit = true;
    else if (c == L'.' && !point)
      point = true;
    else if (!(c == L'-' && i == 0))
      return false;
  }
  if (!digit)
    return false;
  value = parseDecimalArg(text);
  return true;
}

double parseDecimalArg(const stringw& text) {
  // 17 significant digits tell any two doubles apart; digits after the point
  // beyond them would only move the point (and overflow a long decimal), so
  // they are dropped, neither taken nor counted as places.
  constexpr unsigned kSignificantDigits = 17;
  double value = 0.0;
  unsigned decimalPlaces = 0;
  unsigned significantDigits = 0;
  bool negative = false;
  bool point = false;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9') {
      if (point && significantDigits >= kSignificantDigits)
        continue;
      value = value * 10.0 + static_cast<double>(c - L'0');
      if (point)
        ++decimalPlaces;
      if (value != 0.0)
        ++significantDigits;
    } else if (c == L',') {
      continue;
    } else if (c == L'-' && i == 0) {
      negative = true;
    } else if (c == L'.' && !point) {
      point = true;
    } else {
      return value;  // the digits so far, neither signed nor scaled
    }
  }
  for (; decimalPlaces > 0; --decimalPlaces)
    value /= 10.0;
  return negative ? -value : value;
}

const char* callbackListHeader(EffectCallbackList list) {
  return list >= 0 && list < ECL_COUNT ? kCallbackListHeaders[list] : "";
}

bool printCallbackList(EffectCallbackList list, const char* fileName) {
  irr::core::array<stringw> names;
  appendRegistryNames(list, names);
  std::FILE* file = nullptr;
  if (fileName != nullptr) {
    file = std::fopen(fileName, "a");
    if (file == nullptr)
      return false;
  }
  for (irr::u32 i = 0; i < names.size(); ++i) {
    const stringc name = narrow(names[i]);
    if (file != nullptr)
      std::fprintf(file, " %s\n", name.c_str());
    else
      logPrint(" %s\n", name.c_str());
  }
  if (file != nullptr)
    std::fclose(file);
  return true;
}

void formulaDumpCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  if (args.size() == 1) {
    dumpFormulaTables();
    return;
  }
  if (args.size() != 2) {
    out->printHelp(args);
    return;
  }
  if (hasDirectory(args[1])) {
    out->write(stringw(kNoDumpDirectory) + L"\n");
    return;
  }
  const stringc fileName = dumpFileName(args[1]);
  std::FILE* file = std::fopen(fileName.c_str(), "w");
  if (file == nullptr) {
    out->print(hasEmptyStem(args[1]) ? stringw(kEmptyFileName) : stringw(kCannotOpen) + wide(fileName));
    return;
  }
  dumpFormulaTablesToFile(file);
  std::fclose(file);
  logPrint("Printed formula dump to \"%s\"\n", fileName.c_str());
}

void callbackDumpCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  stringc fileName;
  if (args.size() == 2) {
    if (hasDirectory(args[1])) {
      out->print(kNoDumpDirectory);
      return;
    }
    if (hasEmptyStem(args[1])) {
      out->print(kEmptyFileName);
      return;
    }
    fileName = dumpFileName(args[1]);
    // Replaced once; the lists are appended to it one by one.
    std::FILE* file = std::fopen(fileName.c_str(), "w");
    if (file == nullptr) {
      out->print(stringw(kCannotOpen) + wide(fileName));
      return;
    }
    std::fclose(file);
  }
  for (int list = 0; list < ECL_COUNT; ++list) {
    const auto which = static_cast<EffectCallbackList>(list);
    logPrint("%s", callbackListHeader(which));
    if (!printCallbackList(which, fileName.empty() ? nullptr : fileName.c_str())) {
      out->print(stringw(kCannotOpen) + wide(fileName));
      return;
    }
  }
}

void echoCommand(const ConsoleArgs& args) {
  if (args.size() < 2) {
    if (Console* out = console())
      out->printHelp(args);
    return;
  }
  for (irr::u32 i = 1; i < args.size(); ++i)
    logPrint("%s\n", narrow(args[i]).c_str());
}

void layoutDumpCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  if (args.size() < 2) {
    out->printHelp(args);
    return;
  }
  empire* emp = activeEmpire;
  if (emp == nullptr) {
    out->print(kNeedsEmpire);
    return;
  }
  // Writing: the lookup sorts the table when it is not sorted yet.
  empire::AreaGuard guard;
  emp->lockArea(guard, EA_HullLayouts, true);
  const irr::s32 index = NamedVar<hull_list*>::find(emp->hulls, args[1]);
  if (index < 0 || emp->hulls[static_cast<irr::u32>(index)].value == nullptr) {
    out->print(kNoLayout);
    return;
  }
  // One line per placed sub-system, in design order: its type and level.
  const hull_list* layout = emp->hulls[static_cast<irr::u32>(index)].value;
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    const subSystem* system = layout->systems[i].system;
    if (system == nullptr || system->def == nullptr)
      continue;
    wchar_t level[64];
    std::swprintf(level, sizeof level / sizeof level[0], L" %.0f", static_cast<double>(system->getLevel()));
    out->print(system->def->name + level);
  }
}

void forceCrashCommand(const ConsoleArgs&) {
  // The crash handler (when installed) writes its report on the way out.
  std::abort();
}

void endGameCommand(const ConsoleArgs& args) {
  if (args.size() != 1) {
    if (Console* out = console())
      out->printHelp(args);
    return;
  }
  gameRunning = false;
}

void setSpeedFactorCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    if (Console* out = console())
      out->printHelp(args);
    return;
  }
  double speed = 0.0;
  if (!readDecimalNumber(args[1], speed)) {
    if (Console* out = console())
      out->print(kNotDecimal);
    return;
  }
  const double asked = speed;
  if (speed <= kMinSpeedFactor)  // -0 too
    speed = kMinSpeedFactor;
  else if (speed >= kMaxSpeedFactor)
    speed = kMaxSpeedFactor;
  setGameSpeed(speed, engine.timer);
  if (speed != asked) {
    if (Console* out = console()) {
      wchar_t line[64];
      std::swprintf(line, sizeof line / sizeof line[0], L"  Speed factor set to %g", speed);
      out->print(line);
    }
  }
}

namespace {

void showProfilingWindowCommand(const ConsoleArgs& args, int windowId) {
  if (args.size() != 1) {
    if (Console* out = console())
      out->printHelp(args);
    return;
  }
  showProfilingWindow(windowId);
}

}  // namespace

void profileCommand(const ConsoleArgs& args) { showProfilingWindowCommand(args, kProfilingWindowId); }
void profileScriptsCommand(const ConsoleArgs& args) { showProfilingWindowCommand(args, kScriptProfilingWindowId); }
void profileNetworkCommand(const ConsoleArgs& args) { showProfilingWindowCommand(args, kNetworkProfilingWindowId); }

void profileServerCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    if (Console* out = console())
      out->printHelp(args);
    return;
  }
  setServerThreadProfileIndex(parseSignedWideInt(args[1]));
  showProfilingWindow(kServerProfilingWindowId);
}

// give_order Order [arg1] [arg2]: a standing order by name for what is
// selected.
void giveOrderCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (args.size() < 2 || args.size() > 4) {
    if (out != nullptr)
      out->printHelp(args);
    return;
  }
  if (getSelectedObjectCount() == 0) {
    if (out != nullptr)
      out->print(kNothingSelected);
    return;
  }
  const stringw* first = args.size() > 2 ? &args[2] : nullptr;
  const stringw* second = args.size() > 3 ? &args[3] : nullptr;
  if (Order* order = createAutomationOrder(args[1], first, second))
    giveOrderToSelection(order);
}

void empSettingCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  empire* emp = activeEmpire;
  if (emp == nullptr) {
    out->print(kNeedsEmpire);
    return;
  }
  if (args.size() == 2) {
    printSettingLine(*out, args[1], emp->getSetting(args[1]));
  } else if (args.size() == 3) {
    float value = 0.0f;
    if (!readDecimalArgument(args[2], value)) {
      out->print(kNotDecimal);
      return;
    }
    emp->setSetting(args[1], value);
  } else {
    out->printHelp(args);
  }
}

void gameSettingCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  if (args.size() == 2) {
    printSettingLine(*out, args[1], getGameSetting(args[1], 0.0f));
  } else if (args.size() == 3) {
    float value = 0.0f;
    if (!readDecimalArgument(args[2], value)) {
      out->print(kNotDecimal);
      return;
    }
    setGameSetting(args[1], value);
  } else {
    out->printHelp(args);
  }
}

// Music commands.

constexpr wchar_t kNoTrackNamed[] =
    L"No track found with that name. Note: Tracks are case sensitive, with no partial matching.";
constexpr wchar_t kVolumeRefused[] = L"Volumes must be numbers or percents";
constexpr float kMaxMusicVolume = 4.0f;

bool madeOf(const stringw& text, const wchar_t* characters) {
  for (irr::u32 i = 0; i < text.size(); ++i)
    if (std::wcschr(characters, text[i]) == nullptr || text[i] == L'\0')
      return false;
  return true;
}

// "Valid track numbers: 0 - <last>", or "No tracks loaded".
stringw validTrackNumbers() {
  const uint32_t count = musicBox.getTrackCount();
  if (count == 0)
    return L"No tracks loaded";
  wchar_t text[64];
  std::swprintf(text, sizeof text / sizeof text[0], L"Valid track numbers: 0 - %u", count - 1);
  return text;
}

void musicPlayTrackCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  if (args.size() != 2) {
    out->printHelp(args);
    out->print(stringw(L" ") + validTrackNumbers());
    return;
  }
  const stringw& argument = args[1];
  if (madeOf(argument, L"-+.0123456789eE")) {
    const int32_t index = parseSignedWideInt(argument);
    if (index >= 0 && static_cast<uint32_t>(index) < musicBox.getTrackCount())
      musicBox.playTrack(static_cast<uint32_t>(index));
    else
      out->print(validTrackNumbers());
    return;
  }
  bool listed = false;
  for (uint32_t i = 0; i < musicBox.getTrackCount() && !listed; ++i) {
    const audio::MusicTrack* track = musicBox.track(i);
    listed = track != nullptr && track->name == argument;
  }
  if (listed)
    musicBox.playTrackByName(argument);
  else if (findNamedValue<audio::ISoundSource*>(gfxResources.musicSounds, argument) == nullptr)
    out->print(kNoTrackNamed);
}

void musicVolumeCommand(const ConsoleArgs& args) {
  Console* out = console();
  if (out == nullptr)
    return;
  if (args.size() != 2) {
    out->printHelp(args);
    return;
  }
  stringw text = args[1];
  if (!madeOf(text, L"-+.0123456789eE%")) {
    out->print(kVolumeRefused);
    return;
  }
  float scale = 1.0f;
  if (!text.empty() && text[text.size() - 1] == L'%') {
    text.erase(text.size() - 1);
    scale = 0.01f;
  }
  float volume = static_cast<float>(std::wcstod(text.c_str(), nullptr)) * scale;
  if (!(volume > 0.0f))
    volume = 0.0f;
  else if (volume > kMaxMusicVolume)
    volume = kMaxMusicVolume;
  musicBox.setVolume(volume);
}

const ConsoleCommandRows& consoleCommandRows() {
  static const ConsoleCommandRows rows = {{
      {L"formula_dump", formulaDumpCommand,
       L"formula_dump [file] - Will print out all functions/constants hooked to formulas"},
      {L"callback_dump", callbackDumpCommand,
       L"callback_dump [file] - Will print out all functions available for the various callbacks"},
      {L"echo", echoCommand, L"echo ... - Prints out each argument on a separate line"},
      {L"layout_dump", layoutDumpCommand,
       L"layout_dump LayoutName - Prints out all the Sub Systems in the requested layout"},
      {L"force_crash", forceCrashCommand, L"force_crash - Crashes the game"},
      {L"save_game", saveGameCommand, L"save_game SaveName - Saves the game using the specified name"},
      {L"load_game", loadGameCommand, L"load_game SaveName - Loads the specified save"},
      {L"end_game", endGameCommand, L"end_game - Ends the current game, or closes the game at the menu screen"},
      {L"set_speed_factor", setSpeedFactorCommand, L"set_speed_factor # - Sets the game's speed"},
      {L"profile", profileCommand, L"profile - Shows the profiling readout"},
      {L"profile_server", profileServerCommand,
       L"profile_server ThreadID - Shows the profiling readout for a specific server processing thread"},
      {L"profile_scripts", profileScriptsCommand,
       L"profile_scripts - Shows the profiling readout for GUI script modules"},
      {L"profile_network", profileNetworkCommand, L"profile_network - Shows the profiling readout for the network"},
      {L"give_order", giveOrderCommand,
       L"give_order Order [arg1] [arg2] - Creates a named order; Some orders required extra arguments, or can utilize "
       L"those arguments"},
      {L"emp_setting", empSettingCommand,
       L"emp_setting Setting [value] - Sets the specified empire setting, or prints its value"},
      {L"cl_antialias", antialiasCommand, L"cl_antialias 0/1 - Enables/Disables antialiasing"},
      {L"cl_showfps", showFpsCommand, L"cl_showfps 0/1 - Enables/Disables the display of framerate"},
      {L"shake", shakeCommand, L"shake <value> - Shakes the camera by the specified amount"},
      {L"fov", fovCommand, L"fov <value> - Sets the field of view for the camera"},
      {L"update_falloff", updateFalloffCommand,
       L"update_falloff <value> - Sets the falloff distance for system update speeds"},
      {L"aspect", aspectCommand, L"aspect <value> - Sets the aspect ratio for the camera"},
      {L"zplane", zplaneCommand,
       L"zplane <ratio> - Sets the ratio of the far plane/near plane distances, making the near plane closer or "
       L"farther away"},
      {L"freeform", freeformCommand, L"freeform 0/1 - Enabled/disables freeform camera"},
      {L"cam_mode", camModeCommand,
       L"cam_mode <position mode> <target mode> - Sets the position/target behavior of the camera"},
      {L"cam_offset", camOffsetCommand,
       L"cam_offset x y z - Sets the offset of the camera in Object/ObjectForward positional mode"},
      {L"set_ambient", setAmbientCommand,
       L"set_ambient <hex color> - Sets the ambient lighting color for the whole scene"},
      {L"bind", bindCommand,
       L"bind key command - Binds the specified action or console command to the specified key. The command should be "
       L"provided as if typed in the console normally."},
      {L"dump_actions", dumpActionsCommand,
       L"dump_actions - Lists out all built-in actions that may be bound to keys via bind"},
      {L"set_y_offset", setYOffsetCommand,
       L"set_y_offset # - Sets the offset from the system plane to give move-to-point orders"},
      {L"video_mode", videoModeCommand, L"video_mode 0/1 - Enables/Disables exporting exact frames to /Video/"},
      {L"cl_empire_colors", empireColorsCommand,
       L"cl_empire_colors 0/1 - When on, systems, planet/ship icons, etc, are colored by the empire's unique color. "
       L"Off colors by relation."},
      {L"toggle_gui", toggleGuiCommand,
       L"toggle_gui - Shows/Hides the GUI. Make sure to bind this, or you might not get back."},
      {L"sv_cheats", svCheatsCommand, L"sv_cheats 0/1 - Enables/Disables the use of cheats on the server"},
      {L"game_setting", gameSettingCommand,
       L"game_setting Setting [value] - Sets the specified game setting, or prints its value"},
      {L"music_play_track", musicPlayTrackCommand, L"music_play_track #/TrackName - Changes background music to the specified track"},
      {L"music_volume", musicVolumeCommand,
       L"music_volume Multiplier/% - Sets the volume as a factor or a percentage of the master volume"},
      {L"connect", connectCommand,
       L"connect IP[:Port] - Connects to the specified ip as a client, with an optional port (defaults to 12100)"},
      {L"disconnect", disconnectCommand, L"disconnet - Closes the active connection, or shutdown the server"},
      {L"host", hostCommand, L"host [Port] - Hosts the game, with an optionally specified port (defaults to 12100)"},
      {L"net_sim", netSimCommand,
       L"net_filter MinPingAdd ExtraPingVariance - Slows down the network to simulate net lag (pings are in ms)"},
      {L"say", sayCommand, L"say \"Text\" - sends the message along the active connection"},
      {L"nick", nickCommand, L"nick \"Name\" - changes your name"},
      {L"play_as", playAsCommand, L"play_as \"Empire Name\" - asks the server to let you play as the specified empire"},
      {L"players", playersCommand, L"players - Lists all players in the server, their empires, and their id (for kick/ban)"},
      {L"kick", kickCommand, L"kick id - Kicks the player with the specified id (see players)"},
      {L"ban", banCommand, L"ban id - Kicks and bans the player with the specified id (see players)"},
      {L"remote", remoteCommand, L"remote password command - Sends a console command to run on the remote dedicated server."},
      {L"emp_see_all", empSeeAllCommand,
       L"emp_see_all 0/1 - Sets whether the active empire can see everything or not\n  Requires sv_cheats"},
      {L"create_ship", createShipCommand,
       L"create_ship layout_name - Creates the a ship using the specified hull, at the currently selected object"},
      {L"add_resource", addResourceCommand,
       L"add_resource Type Amount - Adds the specified amount of a resource to the selected object"},
      {L"add_emp_stat", addEmpStatCommand,
       L"add_emp_stat Stat Amount - Adds the value to the specified stat of the current empire"},
      {L"destroy", destroyCommand, L"destroy - Destroys the targeted object"},
      {L"set_owner", setOwnerCommand,
       L"set_owner EmpireID - Sets the selected object's owner to the corresponding empire"},
      {L"set_emp_col", setEmpColCommand,
       L"set_emp_col <empire name> <color> - Sets the color of the specified empire (by name)"},
      {L"list_stats", listStatsCommand, L"list_stats - Prints all stat entries for the selected object"},
      {L"list_states", listStatesCommand, L"list_states - Prints all state entries for the selected object"},
      {L"zoom_to", zoomToCommand, L"zoom_to ObjID - Zooms to the object with the specified ID"},
  }};
  return rows;
}

void registerConsoleCommands() {
  for (const ConsoleCommandRow& row : consoleCommandRows())
    if (row.handler != nullptr)
      Console::registerCommand(row.name, row.handler, row.help);
}
