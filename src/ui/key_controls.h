// The built-in key actions and controls.cfg, the player's key bindings.
//
// registerKeyActions runs once at start-up: it files the 33 built-in actions
// in the key action table, then binds keys from controls.cfg in the user's
// "Corvane/" folder. Without that file it binds the default keys and writes
// them into a new controls.cfg; a file that exists but binds nothing leaves
// every key unbound.
//
// controls.cfg holds one binding a line, "<action>: <key>", the key by its
// display name ("unit_explore: X", "camera_world_forward: Up"); single-byte
// or UTF-16 text. A line is split at its first ':'; a line that names no key
// or no built-in action binds nothing, and the others still apply, in file
// order. Only built-in actions are written: console and script bindings of
// the console's `bind` and of scripts last for the run.
//
// Everything here runs on the main thread.
#pragma once

#include <irrString.h>

#include <cstdint>
#include <string>

#include "ui/key_bindings.h"

// The name a key is shown and written under: "A" to "Z", "0" to "9", "F1" to
// "F24", "Backspace", "Tab", "Pause", "Space", "Page Up", "Page Down", "End",
// "Home", "Left", "Up", "Right", "Down", "Insert", "Delete", "~"; any other
// key "#" and its code ("#188"). keyCodeFromName reads each back.
irr::core::stringw keyDisplayName(uint8_t key);

// The path of controls.cfg: userFolders.game + "controls.cfg".
std::string controlsConfigPath();

// How loadKeyBindings went.
enum class ControlsFileState {
  Read,        // the file was read (possibly binding nothing)
  Missing,     // no file at the path
  Unreadable,  // something is there that cannot be read; nothing was bound
};

// Binds the keys of the controls file at `path` into `table`; its lines
// apply in file order, a later line for a key replacing the earlier binding.
// An empty file reads as one with no lines. What kept an unreadable file
// from being read goes to `problem` when given.
ControlsFileState loadKeyBindings(const std::string& path, KeyBindings& table = keyBindings,
                                  std::string* problem = nullptr);
// Writes every built-in action binding of `table` to `path` (the file
// replaced whole), grouped by action; actions that were never registered
// are left out. False when the file could not be written, or when something
// other than a regular file is at the path (it is left alone).
bool saveKeyBindings(const std::string& path, const KeyBindings& table = keyBindings);
// Binds the 18 default keys of the built-in actions into `table`.
void applyDefaultKeyBindings(KeyBindings& table = keyBindings);
// Start-up's reading of controls.cfg at `path`: the file's bindings when it
// exists; the defaults, written to a new file, when it does not; the
// defaults for this run only (logged, the file left as it is) when it cannot
// be read.
void loadControlsConfig(const std::string& path, KeyBindings& table = keyBindings);

// Files the 33 built-in actions in the key action table, their callbacks
// from key_action_callbacks.h.
void registerBuiltInKeyActions();
// Start-up: registerBuiltInKeyActions, then
// loadControlsConfig(controlsConfigPath()).
void registerKeyActions();
// The callback of "repeat_mode" until the strategic view's input answers
// it: uses no event.
bool repeatModeNotReady(uint8_t flags);

// Connects the scripts' "bindFuncToKey" to the process's binding table.
void installKeyBindingScriptHooks();
