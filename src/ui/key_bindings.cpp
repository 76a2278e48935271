#include "ui/key_bindings.h"

KeyBindings keyBindings;

namespace {

KeyBindings* activeTable = nullptr;

}  // namespace

bool KeyBindingSlot::execute(uint8_t) const { return false; }

KeyBindings* activeKeyBindings() { return activeTable; }

void setActiveKeyBindings(KeyBindings* table) { activeTable = table; }
