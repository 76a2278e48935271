// Console commands that set up the game camera: `freeform`, `cam_mode`,
// `cam_offset` and `shake`. They change the camera's fields at any time; only
// the view reset of `freeform 0` waits for a scene node.
#pragma once

#include "app/base/console.h"

// freeform [0|1]: without an argument prints "freeform %i" and the help; 0
// turns free-form orientation off (resetting the view while a node is
// attached), 1 on. Anything else: "freeform only takes the values 0 and 1".
void freeformCommand(const ConsoleArgs& args);
// cam_mode <position mode> <target mode>: "Static", "Normal", "Object" or
// "ObjectForward", in any case. An unknown name prints the list of names and
// changes neither mode.
void camModeCommand(const ConsoleArgs& args);
// cam_offset x y z: the camera's offset from the focus in the Object and
// ObjectForward position modes.
void camOffsetCommand(const ConsoleArgs& args);
// shake <value>: adds to the camera's shake strength.
void shakeCommand(const ConsoleArgs& args);
