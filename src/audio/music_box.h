// The music box: the list of background music tracks and their volume.
//
// One music box exists for the whole process (the global `musicBox`). Its
// track list comes from the music descriptor file; start-up applies the
// volume and shuffle settings. The volume is a factor of the sound device's
// master volume. State changes happen under the music lock.
#pragma once

#include <irrString.h>

#include <cstdint>
#include <vector>

namespace audio {

struct MusicTrack {
  irr::core::stringw path;  // the sound file, as given
  irr::core::stringw name;
};

class IMusicBox {
 public:
  virtual ~IMusicBox() = default;
  virtual void setShuffle(bool shuffle) = 0;
  virtual void setVolume(float volume) = 0;
  // Appends a track; without a name, the track is named after the file
  // (its base name without extension).
  virtual void addTrack(const irr::core::stringw& path, const irr::core::stringw* name) = 0;
  virtual bool getShuffle() const = 0;
  virtual float getVolume() const = 0;
  virtual uint32_t getTrackCount() const = 0;
};

class CMusicBox : public IMusicBox {
 public:
  CMusicBox() = default;
  ~CMusicBox() override;
  CMusicBox(const CMusicBox&) = delete;
  CMusicBox& operator=(const CMusicBox&) = delete;

  void setShuffle(bool shuffle) override { shuffle_ = shuffle; }
  void setVolume(float volume) override;
  void addTrack(const irr::core::stringw& path, const irr::core::stringw* name) override;
  bool getShuffle() const override { return shuffle_; }
  float getVolume() const override { return volume_; }
  uint32_t getTrackCount() const override;

  // The track at `index` in list order, or null past the end.
  const MusicTrack* track(uint32_t index) const;

 private:
  std::vector<MusicTrack*> tracks_;
  bool shuffle_ = true;
  float volume_ = 1.0f;
};

}  // namespace audio

// The process's music box.
extern audio::CMusicBox musicBox;
