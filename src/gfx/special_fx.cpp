#include "gfx/special_fx.h"

#include "core/data_file.h"
#include "core/log.h"
#include "core/text_conversions.h"

SpecialFxValues specialFx;

namespace {

constexpr float kPlanetExplosionSeconds = 3.0f;
constexpr float kStarExplosionSeconds = 15.0f;

// Sets one explosion from "<effect>[, <seconds>]"; no piece changes nothing.
void readExplosion(const irr::core::stringw& value, float defaultSeconds, irr::core::stringw& effect,
                   float& duration, const char* path, int line) {
  irr::core::array<irr::core::stringw> pieces;
  const irr::u32 count = splitString(value, L',', pieces);
  if (count == 0)
    return;
  if (count == 1) {
    effect = pieces[0];
    duration = defaultSeconds;
    return;
  }
  duration = stringToFloat(pieces[1]);
  effect = pieces[0];
  if (duration <= 0.0f)
    logDataFileError(path, line, "FX002", "Duration '%ls' too short (<= 0 seconds)\n", pieces[1].c_str());
}

}  // namespace

void loadSpecialFXDescriptors(const irr::core::stringc& path) {
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    logError("Unable to open Special FX descriptor file '%s'\n", path.c_str());
    return;
  }
  for (const NumberedLine& entry : lines) {
    irr::core::stringw key;
    irr::core::stringw value;
    if (!splitKeyValue(entry.text, key, value))
      continue;
    if (key == L"PlanetExplosion")
      readExplosion(value, kPlanetExplosionSeconds, specialFx.planetExplosionEffect,
                    specialFx.planetExplosionDuration, path.c_str(), entry.line);
    else if (key == L"StarExplosion")
      readExplosion(value, kStarExplosionSeconds, specialFx.starExplosionEffect, specialFx.starExplosionDuration,
                    path.c_str(), entry.line);
    else
      logDataFileError(path.c_str(), entry.line, "FX001", "Unrecognized key '%ls'\n", key.c_str());
  }
}
