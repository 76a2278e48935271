// Key bindings: what each keyboard key (codes 0 to 255) does when pressed or
// released. A key is unbound, bound to a built-in action, to a console
// command line or to a script function; the key handler of the event
// receiver runs the binding of every key event.
//
// Built-in actions (`NativeKeyAction`) are registered by name in the key
// action table; bindings name them, and name keys, in the key-name language
// of controls.cfg and of the console's `bind`:
//   - one character: that character's code ("a" and "A" give 65, "5" gives
//     53), except "~", which gives 192;
//   - "0x" and two hex digits: the code they spell ("0x41" gives 65);
//   - "F1" to "F24": 112 to 135;
//   - "KP_0" to "KP_9": 96 to 105; KP_DEL, KP_ENTER, KP_DIVIDE, KP_MULTIPLY,
//     KP_SUBTRACT, KP_ADD;
//   - DELETE, DECIMAL, DOWN, END, HOME, INSERT, LEFT, PAUSE, PLAY, PGDN,
//     PGUP, RIGHT, SPACE, TAB, UP;
//   - the display names of keys (keyDisplayName in key_controls.h):
//     "Backspace", "Page Up", "Page Down", and "#" followed by the code in
//     decimal ("#188"), so that every key name controls.cfg is written with
//     reads back.
// Key names are case-insensitive (ASCII letters); no name gives code 0.
//
// A binding text is "console:" and a command line, "script:" and a script
// function "module::function" of the client engine, declared
// "bool function(uint8)", or else the exact name of a built-in action.
//
// Everything here runs on the main thread; nothing is locked.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <map>

#include "core/names.h"
#include "script/function_hook.h"

// Flags handed to a binding with each key event.
enum KeyFlags : uint8_t {
  KF_Pressed = 1,  // set on press, clear on release
  KF_Control = 2,
  KF_Shift = 4,
  KF_Alt = 8,
};

// A built-in action a key can be bound to. Its callback gets both the press
// and the release of the key and decides itself what to do with each and
// with the modifiers; it returns true when it used the event.
struct NativeKeyAction {
  using Callback = bool (*)(uint8_t flags);

  Callback callback = nullptr;
  // Bits 0 to 3 of the registration mask, kept with the action.
  bool maskFlags[4] = {false, false, false, false};
};

// The key action table: action names (case-sensitive) and their actions,
// sorted by name on lookup.
using KeyActionTable = NamedVar<NativeKeyAction*>::Registry;
KeyActionTable& keyActionTable();

// Makes an action with `callback` and the flags of `mask` and files it under
// `name`, replacing the action of a name registered before. Actions live
// until the program ends (bindings keep pointing at replaced ones).
NativeKeyAction* registerNativeKeyAction(const irr::core::stringw& name, NativeKeyAction::Callback callback,
                                         uint32_t mask);
// Index in keyActionTable() of the action named exactly `name`, or -1.
irr::s32 findKeyAction(const irr::core::stringw& name);
// The name `action` was registered under, or null for an action that was
// never registered (the session's Escape action).
const irr::core::stringw* keyActionName(const NativeKeyAction* action);

// The key code a key name stands for, or 0 when the name is not one.
uint8_t keyCodeFromName(const irr::core::stringw& name);

struct KeyBindingSlot {
  enum Kind : uint32_t { kNone = 0, kNativeAction = 1, kScriptFunction = 2, kConsoleCommand = 3 };

  // Runs the binding; true when it used the event:
  //   - a built-in action gets every event and answers itself;
  //   - a script function runs on the main thread's client script context
  //     with the flags and answers with its result (false when there is no
  //     client engine, no such function now, or the call fails);
  //   - a console command line runs with echo on a press and is used; a
  //     release runs nothing and is not used;
  //   - an unbound key uses nothing.
  bool execute(uint8_t flags) const;

  uint32_t kind = kNone;
  NativeKeyAction* action = nullptr;  // kNativeAction (not owned)
  irr::core::stringw command;         // kConsoleCommand
  // kScriptFunction: looked up by name on each run, so that a binding made
  // against the engine of one session never runs a function of another.
  FunctionHook scriptFunction;
};

class KeyBindings {
 public:
  static constexpr int kKeyCount = 256;
  // Key codes of every key bound to each built-in action (console and script
  // bindings are not listed), grouped by action.
  using ActionKeyIndex = std::multimap<const NativeKeyAction*, uint8_t>;

  KeyBindingSlot& slot(uint8_t key) { return slots_[key]; }
  const KeyBindingSlot& slot(uint8_t key) const { return slots_[key]; }
  const ActionKeyIndex& actionKeys() const { return actionKeys_; }

  // Leaves `key` unbound.
  void unbind(uint8_t key);
  // Binds `key` to `action` (null: unbinds it). Other keys bound to the same
  // action stay bound.
  void bindAction(uint8_t key, NativeKeyAction* action);
  // With `console`, binds `key` to the command line `text` and returns true.
  // Otherwise `text` names a script function "module::function" (or, called
  // from a script, a function of the calling script's module) declared
  // "bool function(uint8)" in the client engine: when it exists the key is
  // bound to it and the result is true; when it does not, or the text names
  // no function, the result is false and the key keeps its binding.
  bool bindScriptFunction(const irr::core::stringw& text, uint8_t key, bool console = false);
  // Unbinds `key`, then binds it to the script function `text` as above.
  bool bindScriptToKey(uint8_t key, const irr::core::stringw& text);
  // Binds the key named `keyName` (see the top of this file) to the binding
  // text `actionText`. True when the key is bound as asked. An unknown key
  // name or action binds nothing and keeps the key's binding; a "console:" or
  // "script:" text first unbinds the key.
  bool bindByName(const irr::core::stringw& keyName, const irr::core::stringw& actionText);

 private:
  KeyBindingSlot slots_[kKeyCount];
  ActionKeyIndex actionKeys_;
};

// The process's binding table.
extern KeyBindings keyBindings;

// The table that key events run (null: none).
KeyBindings* activeKeyBindings();
void setActiveKeyBindings(KeyBindings* table);
