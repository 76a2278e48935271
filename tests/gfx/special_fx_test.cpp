// The special effects file: each line's effect on the four values, its
// messages with file and line, and a missing file.
#include "gfx/special_fx.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace special_fx_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

class SpecialFxTest : public testing::Test {
 protected:
  void SetUp() override { specialFx = SpecialFxValues(); }
  void TearDown() override { specialFx = SpecialFxValues(); }

  // Writes `text` as the file and reads it; returns the log, with the
  // file's path written as "<file>".
  std::string load(const std::string& text) {
    std::ofstream(path_) << text;
    LogCapture log;
    loadSpecialFXDescriptors(path_.c_str());
    std::string out = log.take();
    for (std::size_t at = out.find(path_); at != std::string::npos; at = out.find(path_))
      out.replace(at, path_.size(), "<file>");
    return out;
  }

  const std::string path_ = (scratchDir() / "SpecialFX.txt").string();
};

TEST_F(SpecialFxTest, LinesSetTheExplosionsAndFaultsAreLoggedWithFileAndLine) {
  struct Case {
    const char* text;
    const wchar_t* planet;
    float planetSeconds;
    const wchar_t* star;
    float starSeconds;
    std::string log;
  } const cases[] = {
      {"PlanetExplosion: boom\n", L"boom", 3.0f, L"star_explode", 15.0f, ""},
      {"StarExplosion: s\n", L"planet_explode", 0.0f, L"s", 15.0f, ""},
      {"PlanetExplosion: big, 4.5\nStarExplosion: nova , 20, extra\n", L"big", 4.5f, L"nova", 20.0f, ""},
      {"PlanetExplosion: b, 0\n", L"b", 0.0f, L"star_explode", 15.0f,
       "<file>(1) error FX002: Duration '0' too short (<= 0 seconds)\n"},
      {"// the star\nStarExplosion: s, -2\n", L"planet_explode", 0.0f, L"s", -2.0f,
       "<file>(2) error FX002: Duration '-2' too short (<= 0 seconds)\n"},
      {"planetexplosion: x\nPlanetExplosion: y\n", L"y", 3.0f, L"star_explode", 15.0f,
       "<file>(1) error FX001: Unrecognized key 'planetexplosion'\n"},
      {"PlanetExplosion: first, 1\nPlanetExplosion: second\n", L"second", 3.0f, L"star_explode", 15.0f, ""},
      {"no colon here\nPlanetExplosion:\nStarExplosion: , \n", L"planet_explode", 0.0f, L"star_explode", 15.0f,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    specialFx = SpecialFxValues();
    EXPECT_EQ(load(c.text), c.log);
    EXPECT_EQ(specialFx.planetExplosionEffect, stringw(c.planet));
    EXPECT_EQ(specialFx.planetExplosionDuration, c.planetSeconds);
    EXPECT_EQ(specialFx.starExplosionEffect, stringw(c.star));
    EXPECT_EQ(specialFx.starExplosionDuration, c.starSeconds);
  }
}

TEST_F(SpecialFxTest, AMissingFileIsLoggedAndKeepsTheValues) {
  load("PlanetExplosion: kept, 7\n");
  const std::string missing = (scratchDir() / "nothing.txt").string();
  LogCapture log;
  loadSpecialFXDescriptors(missing.c_str());
  EXPECT_EQ(log.take(), "Unable to open Special FX descriptor file '" + missing + "'\n");
  EXPECT_EQ(specialFx.planetExplosionEffect, stringw(L"kept"));
  EXPECT_EQ(specialFx.planetExplosionDuration, 7.0f);
  EXPECT_EQ(specialFx.starExplosionDuration, 15.0f);
}

// The shipped file names the two shipped particle systems.
TEST_F(SpecialFxTest, TheShippedFileNamesTheShippedExplosions) {
  LogCapture log;
  loadSpecialFXDescriptors(CORVANE_SOURCE_DIR "/data/Game Data/SpecialFX.txt");
  EXPECT_EQ(log.take(), "");
  EXPECT_EQ(specialFx.planetExplosionEffect, stringw(L"planet_explode"));
  EXPECT_EQ(specialFx.planetExplosionDuration, 3.0f);
  EXPECT_EQ(specialFx.starExplosionEffect, stringw(L"star_explode"));
  EXPECT_EQ(specialFx.starExplosionDuration, 15.0f);
}

}  // namespace

}  // namespace special_fx_test
