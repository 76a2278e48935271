// The built-in key actions: what each named action does when its key goes
// down or comes up. The key action table files these under their names
// (see key_bindings.h); every callback gets both the press and the release
// and returns true when it used the event.
//
// Actions that act once act on the press and answer false for the release;
// the camera's held-input actions and "next_subselection" act on both.
// Everything runs on the main thread.
#pragma once

#include <irrString.h>

#include "ui/key_bindings.h"

namespace irr::video {
class IImage;
}

// The callback of the built-in action `name` (exact, case-sensitive), or
// nullptr when no such action is built here. "repeat_mode" belongs to the
// strategic view's input and is not answered here.
NativeKeyAction::Callback keyActionCallback(const irr::core::stringw& name);

// Where the screenshot action takes its picture: a new image that the
// caller drops, or null when there is none. The default asks the video
// driver (the null driver has no picture to give).
using ScreenshotSource = irr::video::IImage* (*)();
// Replaces the source; null puts the video driver back.
void setScreenshotSource(ScreenshotSource source);

// Writes a picture from the source as the first free name of
// "ScreenShot0001.png" .. "ScreenShot9999.png" in the screenshot folder and
// prints "Wrote out screenshot: " and the path on the console. False, with
// nothing written, without a picture, when every name is taken or when the
// file cannot be written.
bool writeScreenshot();
