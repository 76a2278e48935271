// Console commands that bind keys: `bind` and `dump_actions`.
#pragma once

#include "app/base/console.h"

// bind key command: binds the key to the built-in action named by the rest of
// the line, or else to that rest as a console command line (arguments joined
// by one blank, each holding a blank quoted again).
void bindCommand(const ConsoleArgs& args);
// dump_actions: prints the name of every built-in key action, one per line.
void dumpActionsCommand(const ConsoleArgs& args);
