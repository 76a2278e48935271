// Fuzz entry point: arbitrary bytes as config.cfg, through the settings
// store and every configuration key. Nothing may crash or misbehave under the
// sanitizers; a store written back and read again must keep its sections.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "core/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IniFile store = IniFile::parse(reinterpret_cast<const char*>(data), size);
  ConfigEnvironment environment;
  environment.logicalCpus = size % 5;
  environment.screenSize = {static_cast<irr::u32>(size * 7), static_cast<irr::u32>(size * 3)};
  readConfigKeys(store, environment);
  const std::string text = store.format();
  const IniFile again = IniFile::parse(text.data(), text.size());
  if (again.sections().size() < store.sections().size())
    __builtin_trap();  // a written section was lost
  return 0;
}

extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  const char* const texts[] = {
      "[Graphics]\r\nresolution = 1280x720\r\ncSystemPlaneColor = ff0000ff\r\n"
      "sShaderQuality = very high\r\nfMaxFPS = 5\r\niAmbientBrightness = -300\r\n",
      "[General]\nfSleepLevel = -1 // note\nsMasterServer = host\n[General]\nx=y\n",
      "[Threading]\nuiThreadCount = 99999999999\nbSingleThreaded = TRUE\n"
      "[Localization]\nsCurLocale = German.TXT\n",
  };
  for (const char* text : texts)
    seeds->emplace_back(text, text + std::char_traits<char>::length(text));
}
