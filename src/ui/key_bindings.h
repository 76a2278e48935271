// Key bindings: what each keyboard key (codes 0 to 255) does when pressed or
// released. A key is unbound, bound to a built-in action, to a console
// command line or to a script function; the key handler of the event
// receiver runs the binding of every key event.
#pragma once

#include <cstdint>

// Flags handed to a binding with each key event.
enum KeyFlags : uint8_t {
  KF_Pressed = 1,  // set on press, clear on release
  KF_Control = 2,
  KF_Shift = 4,
  KF_Alt = 8,
};

struct KeyBindingSlot {
  enum Kind : uint32_t { kNone = 0, kNativeAction = 1, kScriptFunction = 2, kConsoleCommand = 3 };

  // Runs the binding; true when it used the event. An unbound key uses none.
  bool execute(uint8_t flags) const;

  uint32_t kind = kNone;
};

class KeyBindings {
 public:
  static constexpr int kKeyCount = 256;

  KeyBindingSlot& slot(uint8_t key) { return slots_[key]; }
  const KeyBindingSlot& slot(uint8_t key) const { return slots_[key]; }

 private:
  KeyBindingSlot slots_[kKeyCount];
};

// The process's binding table.
extern KeyBindings keyBindings;

// The table that key events run (null: none).
KeyBindings* activeKeyBindings();
void setActiveKeyBindings(KeyBindings* table);
