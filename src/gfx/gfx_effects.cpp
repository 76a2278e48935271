#include "gfx/gfx_effects.h"

#include "app/base/engine.h"
#include "core/locks.h"
#include "gfx/active_effects.h"

namespace {

// Each channel start x t + end x (1 - t), truncated, with t clamped to 0..1
// (the engine's own interpolation rounds instead).
irr::video::SColor interpolateColor(irr::video::SColor start, irr::video::SColor end, float t) {
  t = irr::core::clamp(t, 0.0f, 1.0f);
  const float inverse = 1.0f - t;
  auto channel = [&](irr::u32 from, irr::u32 to) { return static_cast<irr::u32>(from * t + to * inverse); };
  return irr::video::SColor(channel(start.getAlpha(), end.getAlpha()), channel(start.getRed(), end.getRed()),
                            channel(start.getGreen(), end.getGreen()), channel(start.getBlue(), end.getBlue()));
}

}  // namespace

void addActiveGfxEffect(gfx_base* effect) {
  MutexGuard guard(*activeGfxEffectsLock);
  if (effect != nullptr)
    activeGfxEffects.push_back(effect);
}

void updateActiveGfxEffects(float seconds) {
  MutexGuard guard(*activeGfxEffectsLock);
  irr::u32 i = 0;
  while (i < activeGfxEffects.size()) {
    // A finished effect has deleted itself; the next one moves into its
    // place and is examined next.
    if (activeGfxEffects[i]->update(seconds))
      activeGfxEffects.erase(i);
    else
      ++i;
  }
}

void clearActiveGfxEffects() {
  MutexGuard guard(*activeGfxEffectsLock);
  while (!activeGfxEffects.empty()) {
    const irr::u32 last = activeGfxEffects.size() - 1;
    delete activeGfxEffects[last];
    activeGfxEffects.erase(last);
  }
}

irr::u32 activeGfxEffectCount() {
  MutexGuard guard(*activeGfxEffectsLock);
  return activeGfxEffects.size();
}

gfx_particle::gfx_particle(float startSize, const irr::core::vector3df& position,
                           const irr::core::vector3df& velocity, irr::video::SColor startColor,
                           irr::video::SColor endColor, float life, float endSize,
                           const irr::video::SMaterial* material)
    : velocity_(velocity),
      remainingLife_(life),
      totalLife_(life),
      startSize_(startSize),
      endSize_(endSize),
      startColor_(startColor),
      endColor_(endColor) {
  if (engine.scene == nullptr)
    return;
  node_ = engine.scene->addBillboardSceneNode(nullptr, irr::core::dimension2df(startSize, startSize), position, -1,
                                              startColor, startColor);
  if (node_ != nullptr && material != nullptr)
    node_->getMaterial(0) = *material;
}

gfx_particle::~gfx_particle() {
  if (node_ != nullptr)
    node_->remove();
}

bool gfx_particle::update(float seconds) {
  remainingLife_ -= seconds;
  if (remainingLife_ <= 0.0f) {
    delete this;
    return true;
  }
  if (node_ == nullptr)
    return false;

  // 1 at birth, falling to 0.
  const float t = remainingLife_ / totalLife_;
  if (startColor_ != endColor_) {
    const irr::video::SColor color = interpolateColor(startColor_, endColor_, t);
    node_->setColor(color, color);
  }
  if (startSize_ != endSize_) {
    const float size = endSize_ * (1.0f - t) + startSize_ * t;
    node_->setSize(irr::core::dimension2df(size, size));
  }
  node_->setPosition(node_->getPosition() + velocity_ * seconds);
  node_->updateAbsolutePosition();
  return false;
}
