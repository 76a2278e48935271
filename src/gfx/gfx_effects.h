// Short-lived graphics effects and the active effect list.
//
// An effect (a particle thrown off by a model's particle streamer, a fading
// billboard) is added to the active effect list as soon as it is made. The
// frame loop advances the list once per simulation frame, inside the
// "Special FX Update" phase and under sceneLock, with the game time gathered
// since the previous simulation frame. An effect that reports finished has
// already deleted itself and is only taken out of the list; the effects left
// at the end of a game session are deleted by clearActiveGfxEffects.
//
// Every access to the list goes through its lock (activeGfxEffectsLock,
// active_effects.h), taken by spinning on a try-enter: effects may be added
// from any thread.
#pragma once

#include <irrlicht.h>

class gfx_base {
 public:
  gfx_base() = default;
  gfx_base(const gfx_base&) = delete;
  gfx_base& operator=(const gfx_base&) = delete;
  virtual ~gfx_base() = default;

  // Advances the effect by `seconds` of game time. True: the effect has
  // finished and has already deleted itself.
  virtual bool update(float seconds) = 0;
};

// Appends `effect` (owned by the list from now on); null changes nothing.
void addActiveGfxEffect(gfx_base* effect);
// Updates every effect in list order with `seconds`; the finished ones
// leave the list, and the one after a finished effect is still updated in
// the same pass.
void updateActiveGfxEffects(float seconds);
// Deletes every effect, the last one first, and empties the list.
void clearActiveGfxEffects();
// The number of effects in the list.
irr::u32 activeGfxEffectCount();

// One billboard particle moving in a straight line at constant velocity,
// fading from its start colour and size to its end colour and size over its
// life. Its billboard hangs at the scene root; the particle removes it when
// it goes. Without a scene manager (no engine device) the particle has no
// billboard and only counts its life down.
class gfx_particle : public gfx_base {
 public:
  // Makes the billboard at `position`, `startSize` wide and high, both
  // shades in `startColor`, with a copy of `material` (may be null: the
  // billboard keeps the engine's default material).
  gfx_particle(float startSize, const irr::core::vector3df& position, const irr::core::vector3df& velocity,
               irr::video::SColor startColor, irr::video::SColor endColor, float life, float endSize,
               const irr::video::SMaterial* material);
  ~gfx_particle() override;

  bool update(float seconds) override;

  irr::scene::IBillboardSceneNode* node() const { return node_; }
  float remainingLife() const { return remainingLife_; }

 private:
  irr::scene::IBillboardSceneNode* node_ = nullptr;
  irr::core::vector3df velocity_;
  float remainingLife_;
  float totalLife_;
  float startSize_;
  float endSize_;
  irr::video::SColor startColor_;
  irr::video::SColor endColor_;
};
