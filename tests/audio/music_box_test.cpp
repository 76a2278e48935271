#include "audio/music_box.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "audio/sound.h"
#include "audio/sound_device.h"
#include "sound_files.h"

namespace music_box_test {

namespace {

using sound_files::SoundTest;
using sound_files::waitFor;
using sound_files::WaveLayout;

TEST(MusicBox, TracksAreNamedAfterTheirFileUnlessNamed) {
  audio::CMusicBox box;
  const irr::core::stringw given(L"Given Name");
  struct Case {
    const wchar_t* path;
    const irr::core::stringw* name;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"sounds/music/Deep Space.ogg", nullptr, L"Deep Space"},
      {L"sounds\\music\\calm.v2.ogg", nullptr, L"calm.v2"},
      {L"plain", nullptr, L"plain"},
      {L"sounds/music/x.ogg", &given, L"Given Name"},
  };
  for (const Case& c : cases)
    box.addTrack(c.path, c.name);
  ASSERT_EQ(box.getTrackCount(), 4u);
  for (irr::u32 i = 0; i < 4; ++i) {
    EXPECT_EQ(box.track(i)->path, irr::core::stringw(cases[i].path));
    EXPECT_EQ(box.track(i)->name, irr::core::stringw(cases[i].expected));
  }
  EXPECT_EQ(box.track(4), nullptr);
}

// A box on the null-backend device (set as the process's sound device), with
// `count` generated tracks of 0.3 s named "t0", "t1", ...
class MusicBoxTest : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    soundDevice = device;
  }
  void TearDown() override {
    box.reset();
    soundDevice = nullptr;
    SoundTest::TearDown();
  }

  void addTracks(int count, uint32_t frames = 6615) {
    WaveLayout layout;
    layout.frames = frames;
    for (int i = 0; i < count; ++i) {
      const std::string file = "t" + std::to_string(i) + ".wav";
      box->addTrack(sound_files::widePath(sound_files::writeFile(folder / file, sound_files::waveBytes(layout))),
                    nullptr);
    }
  }
  void addMissingTracks(int count) {
    for (int i = 0; i < count; ++i)
      box->addTrack(sound_files::widePath(folder / ("missing" + std::to_string(i) + ".wav")), nullptr);
  }
  std::string playingName() {
    irr::core::stringw name;
    return std::string(irr::core::stringc(box->getTrackName(name)).c_str());
  }
  // Waits until the box's threads are all gone but the playing track's
  // watcher.
  bool settled() {
    return waitFor([this] { return box->threadCount() == (box->isPlaying() ? 1u : 0u); });
  }

  std::unique_ptr<audio::CMusicBox> box = std::make_unique<audio::CMusicBox>();
};

TEST_F(MusicBoxTest, IdleBoxReportsIdleAndNoTimeLeft) {
  addTracks(1);
  EXPECT_EQ(playingName(), "Idle");
  EXPECT_EQ(box->getTimeLeft(), 0);
  EXPECT_EQ(box->getTrackIndex(), -1);
  box->setContinuous(false);
  box->playTrack(0);
  ASSERT_TRUE(waitFor([this] { return box->isPlaying(); }));
  EXPECT_EQ(playingName(), "t0");
  EXPECT_GT(box->getTimeLeft(), 0);
  EXPECT_LE(box->getTimeLeft(), 300);
  box->playTrack(7);  // past the list: nothing changes
  box->playTrackByName(L"T0");
  EXPECT_EQ(box->getTrackIndex(), 0);
  EXPECT_EQ(playingName(), "t0");
}

TEST_F(MusicBoxTest, PlayNextFollowsTheListOrShufflesAwayFromTheCurrentTrack) {
  addTracks(3);
  box->setContinuous(false);
  box->setShuffle(false);
  box->playNext();  // from the start
  EXPECT_EQ(box->getTrackIndex(), 0);
  box->playTrack(2);
  box->playNext();
  EXPECT_EQ(box->getTrackIndex(), 0);

  box->setShuffle(true);
  for (int i = 0; i < 100; ++i) {
    const int32_t before = box->getTrackIndex();
    box->playNext();
    ASSERT_NE(box->getTrackIndex(), before) << "call " << i;
  }
  EXPECT_TRUE(settled());
}

TEST_F(MusicBoxTest, ContinuousPlaysTrackAfterTrackAndOffLetsTheTrackEnd) {
  addTracks(2);
  box->setShuffle(false);
  box->setContinuous(false);
  box->setContinuous(true);  // while idle: starts a track
  ASSERT_TRUE(waitFor([this] { return playingName() == "t0"; }));
  ASSERT_TRUE(waitFor([this] { return playingName() == "t1"; }));
  ASSERT_TRUE(waitFor([this] { return playingName() == "t0"; }));
  box->setContinuous(false);
  ASSERT_TRUE(waitFor([this] { return !box->isPlaying(); }));
  EXPECT_TRUE(settled());
  EXPECT_EQ(box->threadCount(), 0u);
  EXPECT_EQ(playingName(), "Idle");
}

TEST_F(MusicBoxTest, StopEndsTheWatcherAndAStaleWatcherLeavesTheNextTrackAlone) {
  addTracks(2, 22050);  // 1 s: no track ends by itself during a round
  box->setShuffle(false);
  box->playTrack(0);
  ASSERT_TRUE(waitFor([this] { return box->isPlaying(); }));
  box->stop();
  ASSERT_TRUE(settled());
  EXPECT_EQ(box->threadCount(), 0u);
  EXPECT_EQ(playingName(), "Idle");  // the watcher moved on to no track

  for (int round = 0; round < 100; ++round) {
    box->playTrack(round % 2);
    ASSERT_TRUE(waitFor([this] { return box->isPlaying(); })) << "round " << round;
    box->stop();
    box->playTrack((round + 1) % 2);
    ASSERT_TRUE(waitFor([this] { return box->isPlaying(); })) << "round " << round;
    // The stopped track's watcher ends without touching the new track.
    ASSERT_TRUE(waitFor([this] { return box->threadCount() == 1; })) << "round " << round;
    ASSERT_TRUE(box->isPlaying()) << "round " << round;
    ASSERT_EQ(box->getTrackIndex(), (round + 1) % 2);
    box->stop();
  }
}

TEST_F(MusicBoxTest, MissingFilesMoveOnWhileContinuousAndGiveUpAfterOneRound) {
  addTracks(2);
  box->setShuffle(false);
  box->setContinuous(false);
  box->playFile(sound_files::widePath(folder / "nosuch.wav"), nullptr);
  ASSERT_TRUE(settled());
  EXPECT_FALSE(box->isPlaying());
  EXPECT_EQ(box->getTrackIndex(), -1);

  box->playTrack(1);
  ASSERT_TRUE(waitFor([this] { return box->isPlaying(); }));
  box->setContinuous(true);  // a track plays: only stored
  box->playFile(sound_files::widePath(folder / "nosuch.wav"), nullptr);
  ASSERT_TRUE(waitFor([this] { return playingName() == "t0"; }));  // the list from its start
  box->setContinuous(false);
  box->stop();
  EXPECT_TRUE(settled());
}

TEST_F(MusicBoxTest, AListThatNeverLoadsStopsTryingAfterOneRound) {
  struct Case {
    const char* what;
    bool silentDevice;
  };
  const Case cases[] = {{"three missing files", false}, {"good files on the silent device", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    box = std::make_unique<audio::CMusicBox>();
    box->setShuffle(false);
    audio::CDummySoundDevice silent;
    if (c.silentDevice) {
      addTracks(3);
      soundDevice = &silent;
    } else {
      addMissingTracks(3);
    }
    log.take();
    box->playTrack(0);
    ASSERT_TRUE(waitFor([this] { return box->threadCount() == 0; }));
    EXPECT_FALSE(box->isPlaying());
    EXPECT_EQ(box->getTrackIndex(), 2);  // each track tried once
    const std::string text = log.take();
    const std::string line = "Music stopped: no track of the list could be loaded";
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find(line), text.rfind(line)) << text;
    box.reset();
    soundDevice = device;
  }
}

}  // namespace

}  // namespace music_box_test
