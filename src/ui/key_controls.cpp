#include "ui/key_controls.h"

#include <cerrno>
#include <vector>

#include "core/data_file.h"
#include "core/log.h"
#include "core/names.h"
#include "core/user_folders.h"
#include "platform/file.h"
#include "script/function_hook.h"
#include "script/script_globals.h"
#include "ui/key_action_callbacks.h"

using irr::core::stringw;

namespace {

struct BuiltInAction {
  const wchar_t* name;
  uint32_t mask;
};

// The built-in actions but "repeat_mode", in the order they are filed.
constexpr BuiltInAction kBuiltInActions[] = {
    {L"screenshot", 1},
    {L"console", 1},
    {L"pause", 1},
    {L"unit_explore", 5},
    {L"unit_colonize", 1},
    {L"unit_defend", 1},
    {L"cancel_orders", 9},
    {L"make_fleet", 1},
    {L"join_nearest_fleet", 1},
    {L"deselect_all", 1},
    {L"next_subselection", 1},
    {L"select_nearest_fleet", 13},
    {L"zoom_to_object", 1},
    {L"camera_reset", 15},
    {L"camera_up", 15},
    {L"camera_down", 15},
    {L"camera_left", 15},
    {L"camera_right", 15},
    {L"camera_forward", 15},
    {L"camera_backward", 15},
    {L"camera_world_up", 15},
    {L"camera_world_down", 15},
    {L"camera_world_left", 15},
    {L"camera_world_right", 15},
    {L"camera_world_forward", 15},
    {L"camera_world_backward", 15},
    {L"camera_rot_up", 15},
    {L"camera_rot_down", 15},
    {L"camera_rot_left", 15},
    {L"camera_rot_right", 15},
    {L"camera_rot_left_roll", 15},
    {L"camera_rot_right_roll", 15},
};

struct DefaultBinding {
  const wchar_t* action;
  const wchar_t* key;
};

// The keys bound when there is no controls.cfg, in the order they are bound.
constexpr DefaultBinding kDefaultBindings[] = {
    {L"screenshot", L"F11"},
    {L"console", L"~"},
    {L"pause", L"pause"},
    {L"unit_explore", L"x"},
    {L"unit_defend", L"d"},
    {L"unit_colonize", L"c"},
    {L"make_fleet", L"f"},
    {L"select_nearest_fleet", L"s"},
    {L"join_nearest_fleet", L"j"},
    {L"deselect_all", L"v"},
    {L"zoom_to_object", L"z"},
    {L"cancel_orders", L"b"},
    {L"camera_world_forward", L"up"},
    {L"camera_world_backward", L"down"},
    {L"camera_world_left", L"left"},
    {L"camera_world_right", L"right"},
    {L"next_subselection", L"tab"},
    {L"repeat_mode", L"r"},
};

struct KeyDisplayName {
  uint8_t code;
  const wchar_t* name;
};

constexpr KeyDisplayName kNamedKeys[] = {
    {8, L"Backspace"}, {9, L"Tab"},     {19, L"Pause"},   {32, L"Space"}, {33, L"Page Up"},
    {34, L"Page Down"}, {35, L"End"},   {36, L"Home"},    {37, L"Left"},  {38, L"Up"},
    {39, L"Right"},    {40, L"Down"},   {45, L"Insert"},  {46, L"Delete"}, {192, L"~"},
};

constexpr uint8_t kFirstFunctionKey = 112;  // F1
constexpr uint8_t kLastFunctionKey = 135;   // F24

std::string narrowOf(const stringw& text) { return wideToStdString(text.c_str()); }

// The scripts' "bool bindFuncToKey(uint8, const string &)": the key is
// cleared whatever comes of the binding.
bool bindKeyToScriptFunction(uint8_t key, const FunctionHook& function) {
  keyBindings.unbind(key);
  if (!function.valid)
    return false;
  return keyBindings.bindScriptToKey(key, widenText(function.module + "::" + function.function));
}

// The scripts' "void bindFuncToKey(const string &, const string &)".
void bindKeyNameToAction(const stringw& keyName, const stringw& action) { keyBindings.bindByName(keyName, action); }

}  // namespace

stringw keyDisplayName(uint8_t key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
    const wchar_t name[] = {static_cast<wchar_t>(key), 0};
    return stringw(name);
  }
  if (key >= kFirstFunctionKey && key <= kLastFunctionKey)
    return stringw(L"F") + stringw(key - kFirstFunctionKey + 1);
  for (const KeyDisplayName& entry : kNamedKeys) {
    if (entry.code == key)
      return stringw(entry.name);
  }
  return stringw(L"#") + stringw(static_cast<int>(key));
}

std::string controlsConfigPath() { return std::string(userFolders.game.c_str()) + "controls.cfg"; }

ControlsFileState loadKeyBindings(const std::string& path, KeyBindings& table, std::string* problem) {
  const int status = plat::checkRegularFile(path, plat::kMaxUserFileBytes);
  if (status == ENOENT)
    return ControlsFileState::Missing;
  if (status != 0) {
    if (problem != nullptr)
      *problem = status == EFBIG ? "larger than " + std::to_string(plat::kMaxUserFileBytes) + " bytes"
                                 : plat::errorText(status);
    return ControlsFileState::Unreadable;
  }
  std::vector<stringw> lines;
  if (!readTextDataFile(path.c_str(), lines)) {
    // The reader takes no file shorter than two bytes: such a file holds no
    // binding.
    if (plat::checkRegularFile(path, 1) == 0)
      return ControlsFileState::Read;
    if (problem != nullptr)
      *problem = "it could not be read";
    return ControlsFileState::Unreadable;
  }
  for (const stringw& line : lines) {
    // "<action>: <key>", split at the first ':' ("console: say hi" names the
    // key "say hi", which is none).
    stringw action;
    stringw key;
    if (!splitKeyValue(line, action, key) || key.empty())
      continue;
    table.bindByName(key, action);
  }
  return ControlsFileState::Read;
}

bool saveKeyBindings(const std::string& path, const KeyBindings& table) {
  const int status = plat::checkRegularFile(path);
  if (status != 0 && status != ENOENT)
    return false;
  std::string text;
  for (const auto& [action, key] : table.actionKeys()) {
    const stringw* name = keyActionName(action);
    if (name == nullptr)
      continue;  // the session's Escape action has no name to write
    text += narrowOf(*name) + ": " + narrowOf(keyDisplayName(key)) + "\n";
  }
  return plat::replaceFile(path, text.data(), text.size()) == 0;
}

void applyDefaultKeyBindings(KeyBindings& table) {
  for (const DefaultBinding& binding : kDefaultBindings)
    table.bindByName(binding.key, binding.action);
}

void loadControlsConfig(const std::string& path, KeyBindings& table) {
  std::string problem;
  switch (loadKeyBindings(path, table, &problem)) {
    case ControlsFileState::Read:
      return;
    case ControlsFileState::Missing:
      applyDefaultKeyBindings(table);
      saveKeyBindings(path, table);
      return;
    case ControlsFileState::Unreadable:
      // Not written over: the player's file may only be out of reach.
      logError("Could not read controls.cfg \"%s\": %s. Using the default key bindings.\n", path.c_str(),
               problem.c_str());
      applyDefaultKeyBindings(table);
      return;
  }
}

bool repeatModeNotReady(uint8_t) { return false; }

void registerBuiltInKeyActions() {
  for (const BuiltInAction& action : kBuiltInActions)
    registerNativeKeyAction(action.name, keyActionCallback(action.name), action.mask);
  registerNativeKeyAction(L"repeat_mode", repeatModeNotReady, 1);
}

void registerKeyActions() {
  registerBuiltInKeyActions();
  loadControlsConfig(controlsConfigPath());
}

void installKeyBindingScriptHooks() {
  scriptGlobalHooks.bindKeyToFunction = bindKeyToScriptFunction;
  scriptGlobalHooks.bindKeyToAction = bindKeyNameToAction;
}
