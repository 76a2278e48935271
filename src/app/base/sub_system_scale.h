// The range of scales a sub-system may be built at, set from the game
// settings "SS_MIN_SCALE" and "SS_MAX_SCALE" each time a game session loads
// its data, and read by the sub-system code.
#pragma once

constexpr float kDefaultSubSystemMinScale = 0.25f;
constexpr float kDefaultSubSystemMaxScale = 4.0f;

extern float subSystemMinScale;
extern float subSystemMaxScale;
