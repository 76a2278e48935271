// The built-in key actions: what each named action does when its key goes
// down or comes up. The key action table files these under their names
// (see key_bindings.h); every callback gets both the press and the release
// and returns true when it used the event.
#pragma once

#include <irrString.h>

#include "ui/key_bindings.h"

// The callback of the built-in action `name` (exact, case-sensitive), or
// nullptr when no such action is built here. "repeat_mode" belongs to the
// strategic view's input and is not answered here.
NativeKeyAction::Callback keyActionCallback(const irr::core::stringw& name);
