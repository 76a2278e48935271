#include "audio/music_box.h"

#include <algorithm>

#include "core/locks.h"

audio::CMusicBox musicBox;

namespace audio {

namespace {

Mutex& musicLock() {
  static Mutex lock;
  return lock;
}

// The file's base name without its extension.
irr::core::stringw trackNameOf(const irr::core::stringw& path) {
  const irr::s32 slash = std::max(path.findLast(L'/'), path.findLast(L'\\'));
  irr::core::stringw name = path.subString(static_cast<irr::u32>(slash + 1), path.size());
  const irr::s32 dot = name.findLast(L'.');
  return dot < 0 ? name : name.subString(0, static_cast<irr::u32>(dot));
}

}  // namespace

CMusicBox::~CMusicBox() {
  for (MusicTrack* track : tracks_)
    delete track;
}

void CMusicBox::setVolume(float volume) {
  MutexGuard guard(musicLock());
  volume_ = volume;
}

void CMusicBox::addTrack(const irr::core::stringw& path, const irr::core::stringw* name) {
  MutexGuard guard(musicLock());
  tracks_.push_back(new MusicTrack{path, name != nullptr ? *name : trackNameOf(path)});
}

uint32_t CMusicBox::getTrackCount() const {
  MutexGuard guard(musicLock());
  return static_cast<uint32_t>(tracks_.size());
}

const MusicTrack* CMusicBox::track(uint32_t index) const {
  MutexGuard guard(musicLock());
  return index < tracks_.size() ? tracks_[index] : nullptr;
}

}  // namespace audio
