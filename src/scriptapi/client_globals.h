// The interface scripts' global functions: strings, the game camera, the
// selection, the clocks and the game speed, the network role, object detail
// requests and two functions for map scripts. Registered once per session by
// registerClientGlobals, each declaration in the engine(s) named, server
// before client:
//
//   both    "string@ combine(const string@+,const string@+,const string@+)"
//           and the same with 4 and 5 strings: the texts in order, a null
//           handle counting as empty; always a new string, never null
//   client  "void setCameraFocus(const Object@)"     null lets the focus go;
//                                                    else focus (close)
//           "Object@ getCameraFocus()"               null without a focus
//           "void selectObject(const Object@)"       Shift adds, Control
//                                                    toggles, else the only
//                                                    member; null empties
//           "void deselectObject(const Object@)"
//           "void addSelectedObject(const Object@)"
//           "bool isSelected(Object@)"
//           "bool getApparentPos(recti &out)"        the screen square of the
//                                                    focus; false (the rect
//                                                    untouched) without one
//           "void cameraZoomTo(const Object@+, bool, bool)"  focus with the
//                                                    third argument as the
//                                                    close flag; null: nothing
//           "void cameraResetView()"
//           "uint getSelectedObjectCount()", "uint getSelectionId()",
//           "uint getSubSelection()", "void setSubSelection(uint)"
//           "uint getCurrentTime()"                  local hour x 60 + minute
//           "float getCurrentGameTime()"
//           "float getGameSpeedFactor()"
//           "float getRealGameSpeedFactor()"         the server's speed once
//                                                    known, else the game's
//           "void setGameSpeedFactor(float)"         clamped to 0 .. 10
//           "void pauseGame(bool)", "void pauseGame()"  pause, resume, toggle
//   both    "bool get_shigatsu()", "bool isClient()", "bool isServer()"
//   client  "void requestObjectSync(const Object@)"  a network client asks
//                                                    the server for the
//                                                    object's details
//   server  "void createGalaxyGasSprite(const string &, float, const vector &in, Color, float)"
//           "System@+ getRandomSystem()"             null without systems
//
// The selection functions hold the selection lock, and the object's lock for
// a non-null object, for their whole work. Every speed change sets the engine
// timer's speed too; during a session's first-frame speed ramp the speed
// waits to be restored when the ramp ends. Pausing an already paused game
// keeps the speed that resuming restores.
#pragma once

#include <irrString.h>
#include <rect.h>

#include <cstdint>

#include "platform/local_time.h"

void registerClientGlobals();

// Where getCurrentTime reads the local time; null puts plat::localTimeNow
// back.
using LocalTimeSource = plat::LocalTime (*)();
void setLocalTimeSource(LocalTimeSource source);

// The natives, for native callers and tests.
namespace clientglobals {
uint32_t currentTimeMinutes();
float realGameSpeedFactor();
void setGameSpeedFactor(float factor);
void pauseGame(bool pause);
void togglePause();
// The screen square of the camera's focus: false, `out` untouched, without
// a focus, with the focus behind the camera, or when the view gives no
// finite size.
bool apparentFocusRect(irr::core::recti& out);
}  // namespace clientglobals
