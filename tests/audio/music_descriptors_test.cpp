#include "audio/music_descriptors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "audio/music_box.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace music_descriptors_test {

namespace {

TEST(MusicDescriptors, AddsNamedTracksAndReportsFaultyLines) {
  const std::string path = (scratchDir() / "music.txt").string();
  std::ofstream(path) << "// tracks\n"
                         "File: sounds/music/first.ogg\n"  // before any name
                         "Music: Calm Drift\n"
                         "File: sounds/music/calm.ogg\n"
                         "File: sounds/music/calm2.ogg\n"
                         ": no key\n"
                         "Music:\n"
                         "music: lower case\n"
                         "no colon here\n"
                         "Music: Last\n"
                         "File: x.wav\n";
  const uint32_t before = musicBox.getTrackCount();
  LogCapture log;
  loadMusicDescriptors(path.c_str());

  struct Track {
    const wchar_t* path;
    const wchar_t* name;
  };
  const Track expected[] = {{L"sounds/music/first.ogg", L""},
                            {L"sounds/music/calm.ogg", L"Calm Drift"},
                            {L"sounds/music/calm2.ogg", L"Calm Drift"},
                            {L"x.wav", L"Last"}};
  ASSERT_EQ(musicBox.getTrackCount(), before + 4);
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(musicBox.track(before + i)->path, irr::core::stringw(expected[i].path));
    EXPECT_EQ(musicBox.track(before + i)->name, irr::core::stringw(expected[i].name));
  }
  EXPECT_EQ(log.take(), "Loading music descriptors: " + path + "\n" +                   //
                           path + "(6) error Snd001: Empty Key\n" +                      //
                           path + "(7) error Snd002: Empty Value for Key 'Music'\n" +    //
                           path + "(8) error Snd005: Must load a sound file before other settings\n");
}

TEST(MusicDescriptors, MissingFileIsReported) {
  LogCapture log;
  loadMusicDescriptors("no/such/music.txt");
  EXPECT_EQ(log.take(), "Failed to load music descriptors file 'no/such/music.txt'\n");
}

}  // namespace

}  // namespace music_descriptors_test
