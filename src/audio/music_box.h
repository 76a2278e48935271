// The music box: the background music, one track of a list at a time.
//
// One music box exists for the whole process (the global `musicBox`). Its
// track list comes from the music descriptor file; start-up applies the
// volume and shuffle settings. The volume is a factor of the sound device's
// master volume. Each started track is loaded on a music thread of its own,
// so no caller waits for a load; a watcher thread per playing track polls
// every 25 ms for the track's end and then moves on to the next one (while
// continuous) or stops. State changes happen under the music lock.
#pragma once

#include <irrString.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace audio {

class ISound;
class ISoundSource;

// One track: a list entry (living as long as the box) or a file played
// outside the list (transient: deleted once it stops playing).
struct MusicTrack {
  irr::core::stringw path;  // the sound file, as given
  irr::core::stringw name;
  bool transient = false;
};

// What the box shares with the watcher of the playing track: the sound,
// emptied when the box stops it. Owned jointly by the box (while it is the
// current watch) and its watcher; the last holder frees it.
struct MusicWatch {
  ISound* sound = nullptr;
};

class IMusicBox {
 public:
  virtual ~IMusicBox() = default;
  virtual void setShuffle(bool shuffle) = 0;
  // Turning it on while idle starts the next track; turning it off lets the
  // playing track end and the box go idle.
  virtual void setContinuous(bool continuous) = 0;
  virtual void setVolume(float volume) = 0;
  virtual void playNext() = 0;
  // The first track named exactly `name` (case-sensitive); nothing when none.
  virtual void playTrackByName(const irr::core::stringw& name) = 0;
  // An index past the list does nothing.
  virtual void playTrack(uint32_t index) = 0;
  // Appends a track; without a name, the track is named after the file
  // (its base name without extension).
  virtual void addTrack(const irr::core::stringw& path, const irr::core::stringw* name) = 0;
  // Plays a file outside the list (named as addTrack names it).
  virtual void playFile(const irr::core::stringw& path, const irr::core::stringw* name) = 0;
  virtual void stopMusic() = 0;
  virtual bool getShuffle() const = 0;
  virtual bool isContinuous() const = 0;
  virtual float getVolume() const = 0;
  virtual uint32_t getTrackCount() const = 0;
  // The playing track's name, or "Idle".
  virtual irr::core::stringw& getTrackName(irr::core::stringw& out) = 0;
  // The list index last started (-1 before any and after playFile).
  virtual int32_t getTrackIndex() const = 0;
  // Milliseconds left of the playing track, 0 when idle.
  virtual int getTimeLeft() = 0;
};

class CMusicBox : public IMusicBox {
 public:
  CMusicBox() = default;
  // Stops the music and waits for the box's threads to end.
  ~CMusicBox() override;
  CMusicBox(const CMusicBox&) = delete;
  CMusicBox& operator=(const CMusicBox&) = delete;

  void setShuffle(bool shuffle) override { shuffle_ = shuffle; }
  void setContinuous(bool continuous) override;
  void setVolume(float volume) override;
  void playNext() override;
  void playTrackByName(const irr::core::stringw& name) override;
  void playTrack(uint32_t index) override;
  void addTrack(const irr::core::stringw& path, const irr::core::stringw* name) override;
  void playFile(const irr::core::stringw& path, const irr::core::stringw* name) override;
  void stopMusic() override { stop(); }
  bool getShuffle() const override { return shuffle_; }
  bool isContinuous() const override { return continuous_; }
  float getVolume() const override { return volume_; }
  uint32_t getTrackCount() const override;
  irr::core::stringw& getTrackName(irr::core::stringw& out) override;
  int32_t getTrackIndex() const override { return current_; }
  int getTimeLeft() override;

  // Stops the playing track (nothing when idle); its watcher ends without
  // acting.
  virtual void stop();
  // Makes `source` (whose reference the box takes over on success) the
  // playing track; false, doing nothing, while a track plays or when no
  // voice can be had.
  virtual bool startPlaying(ISoundSource* source, MusicTrack* track);

  // The track at `index` in list order, or null past the end.
  const MusicTrack* track(uint32_t index) const;
  // True while a track plays.
  bool isPlaying();
  // Music and watcher threads still running (for tests and diagnostics).
  uint32_t threadCount() const { return threads_.load(); }

 private:
  struct ThreadStart;
  static uint32_t musicThread(void* argument);
  static uint32_t watcherThread(void* argument);
  void startMusicThread(MusicTrack* track);
  void playNextTrack();
  void playListTrack(uint32_t index);
  // A music thread could not load `track`: moves on while continuous,
  // unless a whole round of the list failed since the last start.
  void loadFailed(const MusicTrack* track);

  std::vector<MusicTrack*> tracks_;
  std::atomic<int32_t> current_{-1};
  std::atomic<bool> shuffle_{true};
  std::atomic<bool> continuous_{true};
  std::atomic<float> volume_{1.0f};
  ISound* sound_ = nullptr;
  ISoundSource* source_ = nullptr;
  MusicTrack* track_ = nullptr;
  std::shared_ptr<MusicWatch> watch_;
  // List tracks that failed to load since the last successful start.
  uint32_t failedLoads_ = 0;
  bool closing_ = false;
  std::atomic<uint32_t> threads_{0};
};

}  // namespace audio

// The process's music box.
extern audio::CMusicBox musicBox;
