// The active graphics effect list: every live short-lived effect, advanced
// once per simulation frame and emptied when the game session ends. It is
// made at process start, right after the graphics resource registry, and
// lives as long as the process.
#pragma once

#include <irrArray.h>

class Mutex;
class gfx_base;

extern irr::core::array<gfx_base*> activeGfxEffects;
// Guards activeGfxEffects.
extern Mutex* activeGfxEffectsLock;
