#include "audio/music_box.h"

#include <algorithm>
#include <chrono>

#include "audio/sound.h"
#include "audio/sound_device.h"
#include "core/locks.h"
#include "core/log.h"
#include "core/threads.h"
#include "platform/thread.h"

audio::CMusicBox musicBox;

namespace audio {

namespace {

constexpr unsigned kWatchIntervalMs = 25;

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

// Real time in milliseconds, for the shuffle.
uint32_t realTimeMs() {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace

// The argument of a music or watcher thread.
struct CMusicBox::ThreadStart {
  CMusicBox* box;
  MusicTrack* track;                  // music thread
  std::shared_ptr<MusicWatch> watch;  // watcher
};

CMusicBox::~CMusicBox() {
  {
    MutexGuard guard(musicLock());
    closing_ = true;
    stop();
  }
  while (threads_.load() != 0)
    plat::sleepMs(1);
  for (MusicTrack* track : tracks_)
    delete track;
}

void CMusicBox::setContinuous(bool continuous) {
  if (continuous_.exchange(continuous) == continuous || !continuous)
    return;
  MutexGuard guard(musicLock());
  if (sound_ == nullptr)
    playNext();
}

void CMusicBox::setVolume(float volume) {
  MutexGuard guard(musicLock());
  volume_ = volume;
  if (sound_ != nullptr && source_ != nullptr)
    sound_->setVolume(source_->getVolume() * volume);
}

void CMusicBox::playNext() {
  MutexGuard guard(musicLock());
  failedLoads_ = 0;
  playNextTrack();
}

void CMusicBox::playNextTrack() {
  MutexGuard guard(musicLock());
  const uint32_t count = static_cast<uint32_t>(tracks_.size());
  if (count == 0)
    return;
  const uint32_t current = static_cast<uint32_t>(current_.load());
  uint32_t next;
  if (!shuffle_) {
    next = (current + 1) % count;
  } else {
    next = ((realTimeMs() % 67293u) + current) % count;
    if (next == current)
      next = (realTimeMs() % 71277u) % count;
    if (next == current)
      next = (next + 1) % count;
  }
  playListTrack(next);
}

void CMusicBox::playTrackByName(const irr::core::stringw& name) {
  MutexGuard guard(musicLock());
  for (uint32_t i = 0; i < tracks_.size(); ++i) {
    if (tracks_[i]->name == name) {
      playTrack(i);
      return;
    }
  }
}

void CMusicBox::playTrack(uint32_t index) {
  MutexGuard guard(musicLock());
  failedLoads_ = 0;
  playListTrack(index);
}

void CMusicBox::playListTrack(uint32_t index) {
  MutexGuard guard(musicLock());
  if (index >= tracks_.size() || closing_)
    return;
  stop();
  current_ = static_cast<int32_t>(index);
  startMusicThread(tracks_[index]);
}

void CMusicBox::addTrack(const irr::core::stringw& path, const irr::core::stringw* name) {
  MutexGuard guard(musicLock());
  tracks_.push_back(new MusicTrack{path, name != nullptr ? *name : trackNameOf(path), false});
}

void CMusicBox::playFile(const irr::core::stringw& path, const irr::core::stringw* name) {
  MutexGuard guard(musicLock());
  if (closing_)
    return;
  failedLoads_ = 0;
  stop();
  current_ = -1;
  startMusicThread(new MusicTrack{path, name != nullptr ? *name : trackNameOf(path), true});
}

uint32_t CMusicBox::getTrackCount() const {
  MutexGuard guard(musicLock());
  return static_cast<uint32_t>(tracks_.size());
}

irr::core::stringw& CMusicBox::getTrackName(irr::core::stringw& out) {
  MutexGuard guard(musicLock());
  out = track_ != nullptr ? track_->name : irr::core::stringw(L"Idle");
  return out;
}

int CMusicBox::getTimeLeft() {
  MutexGuard guard(musicLock());
  if (sound_ == nullptr)
    return 0;
  return sound_->getLength() - sound_->getPlayPosition();
}

bool CMusicBox::isPlaying() {
  MutexGuard guard(musicLock());
  return sound_ != nullptr;
}

const MusicTrack* CMusicBox::track(uint32_t index) const {
  MutexGuard guard(musicLock());
  return index < tracks_.size() ? tracks_[index] : nullptr;
}

void CMusicBox::stop() {
  MutexGuard guard(musicLock());
  if (sound_ == nullptr)
    return;
  if (watch_ != nullptr)
    watch_->sound = nullptr;
  watch_.reset();
  sound_->stop();
  sound_->drop();
  source_->drop();
  if (track_->transient)
    delete track_;
  sound_ = nullptr;
  source_ = nullptr;
  track_ = nullptr;
}

bool CMusicBox::startPlaying(ISoundSource* source, MusicTrack* track) {
  MutexGuard guard(musicLock());
  if (sound_ != nullptr || closing_ || soundDevice == nullptr)
    return false;
  ISound* sound = soundDevice->createSound(source, false, true);
  if (sound == nullptr)
    return false;
  sound->setVolume(source->getVolume() * volume_);
  sound->play();
  sound->grab();
  sound_ = sound;
  source_ = source;
  track_ = track;
  failedLoads_ = 0;
  watch_ = std::make_shared<MusicWatch>();
  watch_->sound = sound;
  auto* start = new ThreadStart{this, nullptr, watch_};
  ++threads_;
  Thread watcher;
  if (!watcher.start(&CMusicBox::watcherThread, start, true)) {
    --threads_;
    delete start;
  }
  return true;
}

void CMusicBox::startMusicThread(MusicTrack* track) {
  auto* start = new ThreadStart{this, track, nullptr};
  ++threads_;
  Thread thread;
  if (!thread.start(&CMusicBox::musicThread, start, true)) {
    --threads_;
    delete start;
    if (track->transient)
      delete track;
  }
}

void CMusicBox::loadFailed(const MusicTrack* track) {
  MutexGuard guard(musicLock());
  if (!track->transient)
    ++failedLoads_;
  if (!continuous_ || closing_ || tracks_.empty())
    return;
  if (failedLoads_ >= tracks_.size()) {
    logWarning("Music stopped: no track of the list could be loaded\n");
    return;
  }
  playNextTrack();
}

uint32_t CMusicBox::musicThread(void* argument) {
  auto* start = static_cast<ThreadStart*>(argument);
  CMusicBox* box = start->box;
  MusicTrack* track = start->track;
  delete start;

  ISoundSource* source = soundDevice != nullptr ? soundDevice->loadSoundSource(track->path) : nullptr;
  if (source == nullptr) {
    box->loadFailed(track);
    if (track->transient)
      delete track;
  } else if (!box->startPlaying(source, track)) {
    source->drop();
    if (track->transient)
      delete track;
  }
  --box->threads_;
  return 0;
}

uint32_t CMusicBox::watcherThread(void* argument) {
  auto* start = static_cast<ThreadStart*>(argument);
  CMusicBox* box = start->box;
  std::shared_ptr<MusicWatch> watch = std::move(start->watch);
  delete start;

  Mutex& lock = musicLock();
  for (;;) {
    while (!lock.tryLock())
      plat::sleepMs(0);
    const bool emptied = watch->sound == nullptr;
    const bool done = emptied || watch->sound->isStopped();
    if (done) {
      // Only the watch of the playing track acts: one whose track was
      // stopped (and maybe followed by another already) leaves the box be.
      if (box->watch_ == watch) {
        if (!emptied && box->continuous_)
          box->playNextTrack();
        else
          box->stop();
      }
      lock.unlock();
      break;
    }
    lock.unlock();
    plat::sleepMs(kWatchIntervalMs);
  }
  watch.reset();
  --box->threads_;
  return 0;
}

}  // namespace audio
