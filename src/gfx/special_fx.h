// The special effects descriptor file ("Game Data/SpecialFX.txt"): the
// particle systems and durations of the planet and star explosions.
//
// One entry a line, "<key>: <particle system>[, <seconds>]", keys compared
// exactly:
//   PlanetExplosion   the planet explosion (3 s when no duration is given)
//   StarExplosion     the star explosion (15 s when no duration is given)
// A duration of 0 or less is stored with error FX002; any other key is
// error FX001; lines without ":" are skipped. Later lines override earlier
// ones. The values last from one game session to the next until a file
// sets them again.
#pragma once

#include <irrString.h>

struct SpecialFxValues {
  irr::core::stringw planetExplosionEffect = L"planet_explode";
  float planetExplosionDuration = 0.0f;
  irr::core::stringw starExplosionEffect = L"star_explode";
  float starExplosionDuration = 15.0f;
};
extern SpecialFxValues specialFx;

// Reads the file at `path` into specialFx; when it cannot be opened, logs
// "Unable to open Special FX descriptor file '<path>'" and keeps the values.
void loadSpecialFXDescriptors(const irr::core::stringc& path);
