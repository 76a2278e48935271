// What a game session decides before it loads: its seed and where its galaxy
// comes from.
#include "app/game_session.h"

#include <gtest/gtest.h>

#include <limits>

namespace game_session_test {

namespace {

TEST(GameSession, SeedFromTheSeedSetting) {
  struct Case {
    float setting;
    uint32_t seed;  // as logged ("Seed: %u")
  } const cases[] = {
      {0.0f, 0},
      {42.9f, 42},
      {-3.7f, static_cast<uint32_t>(-3)},
      {1600000000.0f, 1600000000u},
      {4000000000.0f, 4000000000u},  // a clock reading past 2^31 keeps its value
      {8589934592.0f, 0},            // 2^33: only the low 32 bits are kept
      {1e30f, 0},
      {std::numeric_limits<float>::infinity(), 0},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(static_cast<uint32_t>(seedFromSetting(c.setting)), c.seed) << c.setting;
}

TEST(GameSession, GalaxySourceFromTheNameAndTheNetwork) {
  struct Case {
    const char* name;
    bool client;
    GalaxySource source;
  } const cases[] = {
      {"spiral.as", false, GalaxySource::NewGame},
      {"Saves/mine.qvs", false, GalaxySource::SavedGame},
      {"MINE.QVS", false, GalaxySource::SavedGame},
      {"qvs", false, GalaxySource::NewGame},
      {"mine.qvs.as", false, GalaxySource::NewGame},
      {"mine.qvs", true, GalaxySource::Client},
      {"spiral.as", true, GalaxySource::Client},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chooseGalaxySource(c.name, c.client), c.source) << c.name << (c.client ? " as client" : "");
}

}  // namespace

}  // namespace game_session_test
