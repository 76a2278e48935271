// Effect graphics calls on the local scene.
//
//   instant hit   firing particles at the source, hit particles at the
//                 target, the sound at the source
//   beam          a beam node under the next pooled effect node, moved and
//                 faded out by a BeamAnimation over the call's duration;
//                 then as an instant hit
//   projectile    a billboard under the next pooled effect node, flying
//                 straight from the firing point to the hit point over the
//                 flight time and deleted on arrival; firing particles at
//                 once, hit particles after the flight; the sound
//   area burst    the area particles around the source; the sound
//
// Particles sit on an end's node (a GraphicsNodeStage) at the end's surface
// point toward the other end (a HitOffset), or, for the area burst, at
// random points of a shell around the source. They run on the pooled burst
// nodes. The firing particles take the settings' size; the hit particles
// the size times the source's radius over the target's.
#include "design/effectors/effect_gfx_scene.h"

#include "app/base/engine.h"
#include "core/locks.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "gfx/effect_node_pools.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "gfx/particle_host.h"
#include "gfx/particle_stages.h"
#include "platform/engine/beam_scene_node.h"
#include "universe/objects/game_object.h"

using irr::core::vector3df;

namespace {

constexpr float kAreaInnerRadii = 1.1f;
constexpr float kAreaDefaultRadii = 5.0f;

// Whole milliseconds of `seconds`, truncated; none for a value that is not
// above 0.
irr::u32 millisecondsOf(float seconds) {
  if (!(seconds > 0.0f))
    return 0;
  const double ms = static_cast<double>(seconds) * 1000.0;
  return ms >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<irr::u32>(ms);
}

irr::u32 timerNow() { return engine.timer != nullptr ? engine.timer->getTime() : 0; }

// Starts the particle system `name` on `stage` sitting on `at`'s node,
// `delay` seconds from now; takes over the caller's reference to `stage`.
void startParticles(const irr::core::stringw& name, ps::IParticleStage* stage, graphicsObject* at, float delay) {
  if (particleSystemGenerator != nullptr) {
    auto* nodeStage = new GraphicsNodeStage(at);
    stage->setParent(nodeStage);
    nodeStage->drop();
    // A negative start age holds the system back until its age reaches 0.
    const float startAge = delay > 0.0f ? -delay : 0.0f;
    if (ps::IParticleSystem* made = particleSystemGenerator->create(name, 0.0f, stage, nextBurstNode(), startAge))
      made->drop();
  }
  stage->drop();
}

// The firing particles (`onTarget` false) or the hit particles at one end of
// a call between `source` and `target`.
void showEndParticles(const irr::core::stringw& name, graphicsObject* source, graphicsObject* target, float size,
                      bool onTarget, float delay = 0.0f) {
  if (name.empty() || particleSystemGenerator == nullptr)
    return;
  startParticles(name, HitOffset::fromWorldHit(source, target, size, onTarget), onTarget ? target : source, delay);
}

// The hit particles' size: the settings' size scaled by the source's radius
// over the target's.
float hitSize(const EffectorGfxSettings& settings, const graphicsObject* source, const graphicsObject* target) {
  if (!(target->radius > 0.0f))
    return settings.size;
  return settings.size * source->radius / target->radius;
}

// The settings' sound at `at`, when one is named and loaded.
void playCallSound(const EffectorGfxSettings& settings, graphicsObject* at) {
  if (settings.sound.empty())
    return;
  audio::ISoundSource* source = getSoundSource(settings.sound);
  if (source == nullptr || source == gfxResources.errorSound)
    return;
  at->playSound(source);
}

// Firing and hit particles, then the sound: what every call between two
// objects shows.
void showBetween(const EffectorGfxSettings& settings, graphicsObject* source, graphicsObject* target,
                 float hitDelay = 0.0f) {
  showEndParticles(settings.fireParticles, source, target, settings.size, false);
  showEndParticles(settings.hitParticles, source, target, hitSize(settings, source, target), true, hitDelay);
  playCallSound(settings, source);
}

// A graphics object whose node exists, else null.
graphicsObject* withNode(graphicsObject* object) { return object->getNode() != nullptr ? object : nullptr; }

}  // namespace

BeamAnimation::BeamAnimation(graphicsObject* sourceObject, const vector3df& sourceFiringOffset,
                             graphicsObject* targetObject, const vector3df& targetFiringOffset,
                             irr::video::SColor fromColour, irr::video::SColor toColour, irr::u32 startMs,
                             irr::u32 endMs)
    : source(sourceObject),
      target(targetObject),
      sourceOffset(sourceFiringOffset),
      targetOffset(targetFiringOffset),
      startColour(fromColour),
      endColour(toColour),
      startTime(startMs),
      endTime(endMs) {}

void BeamAnimation::animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) {
  if (node == nullptr || finished_)
    return;
  if (timeMs >= endTime) {
    finished_ = true;
    if (irr::scene::ISceneManager* manager = node->getSceneManager())
      manager->addToDeletionQueue(node);
    return;
  }
  if (source != nullptr && source->getNode() != nullptr) {
    vector3df at = sourceOffset;
    source->getNode()->getAbsoluteTransformation().transformVect(at);
    node->setPosition(at);
    node->updateAbsolutePosition();
  }
  auto* beam = dynamic_cast<irr::scene::CBeamSceneNode*>(node);
  if (beam != nullptr && target != nullptr && target->getNode() != nullptr) {
    vector3df to = targetOffset;
    target->getNode()->getAbsoluteTransformation().transformVect(to);
    beam->setEnd(to - node->getPosition());
  }
  float fraction = 0.0f;
  if (timeMs > startTime)
    fraction = static_cast<float>(timeMs - startTime) / static_cast<float>(endTime - startTime);
  // The engine's blend weighs its own colour by the factor given.
  const irr::video::SColor colour = startColour.getInterpolated(endColour, 1.0f - fraction);
  if (beam != nullptr)
    beam->setColor(colour);
}

ps::IParticleStage* makeAreaParticleStage(graphicsObject* at, float range) {
  const float outer = range > 0.0f ? range : at->radius * kAreaDefaultRadii;
  return new RandomSphereStage(at->radius * kAreaInnerRadii, outer, at->getAbsolutePosition());
}

bool effectCallShows(const graphicsObject* source, const graphicsObject* target, bool area) {
  if (source == nullptr || !source->attached.load())
    return false;
  if (area)
    return !(source->fade > 0.5f);
  if (target == nullptr || !target->attached.load())
    return false;
  return !(source->fade > 0.5f && target->fade > 0.5f);
}

// --- The four kinds ---------------------------------------------------------

void EffGfxInstant::play() {
  graphicsObject* from = sourceGraphics;
  graphicsObject* to = targetGraphics;
  if (!effectCallShows(from, to, false))
    return;
  MutexGuard scene(*sceneLock);
  showBetween(*settings, from, to);
}

void EffGfxBeam::play() {
  graphicsObject* from = sourceGraphics;
  graphicsObject* to = targetGraphics;
  if (!effectCallShows(from, to, false))
    return;
  MutexGuard scene(*sceneLock);
  const vector3df fire = from->localSurfacePoint(to->getAbsolutePosition());
  const vector3df hit = to->localSurfacePointAlt(from->getAbsolutePosition());
  fire.getAs3Values(sourceOffset);
  hit.getAs3Values(targetOffset);

  irr::scene::ISceneNode* holder = engine.scene != nullptr ? nextPooledEffectNode() : nullptr;
  if (holder != nullptr) {
    irr::scene::CBeamSceneNode* beam = irr::scene::addBeamSceneNode(
        engine.scene, holder, vector3df(0.0f, 0.0f, 0.0f), vector3df(0.0f, 0.0f, 0.0f), -1, settings->size);
    if (beam != nullptr) {
      const irr::video::SColor colour(settings->color);
      beam->setColor(colour);
      beam->getMaterial(0) = *getMaterial(settings->material);
      beam->setSecondMaterial(false);
      const irr::u32 now = timerNow();
      const irr::u32 length = millisecondsOf(duration);
      const irr::u32 end = length > 0xFFFFFFFFu - now ? 0xFFFFFFFFu : now + length;
      auto* animation =
          new BeamAnimation(withNode(from), fire, withNode(to), hit, colour, irr::video::SColor(0), now, end);
      beam->addAnimator(animation);
      animation->drop();
    }
  }
  showBetween(*settings, from, to);
}

void EffGfxBullet::play() {
  graphicsObject* from = sourceGraphics;
  graphicsObject* to = targetGraphics;
  if (!effectCallShows(from, to, false))
    return;
  MutexGuard scene(*sceneLock);
  const vector3df fromAt = from->getAbsolutePosition();
  const vector3df toAt = to->getAbsolutePosition();
  from->localSurfacePoint(toAt).getAs3Values(fireOffset);
  to->localSurfacePointAlt(fromAt).getAs3Values(hitOffset);

  irr::scene::ISceneNode* holder = engine.scene != nullptr ? nextPooledEffectNode() : nullptr;
  if (holder != nullptr) {
    const vector3df start = from->surfacePoint(toAt);
    const vector3df finish = to->surfacePointAlt(fromAt);
    const irr::video::SColor colour(settings->color);
    irr::scene::IBillboardSceneNode* projectile = engine.scene->addBillboardSceneNode(
        holder, irr::core::dimension2df(settings->size, settings->size), start, -1, colour, colour);
    if (projectile != nullptr) {
      projectile->getMaterial(0) = *getMaterial(settings->material);
      const irr::u32 flight = millisecondsOf(delay);
      if (irr::scene::ISceneNodeAnimator* fly = engine.scene->createFlyStraightAnimator(start, finish, flight)) {
        projectile->addAnimator(fly);
        fly->drop();
      }
      if (irr::scene::ISceneNodeAnimator* ending = engine.scene->createDeleteAnimator(flight)) {
        projectile->addAnimator(ending);
        ending->drop();
      }
    }
  }
  showBetween(*settings, from, to, delay);
}

void EffGfxAOE::play() {
  graphicsObject* from = sourceGraphics;
  if (!effectCallShows(from, nullptr, true))
    return;
  MutexGuard scene(*sceneLock);
  if (!settings->fireParticles.empty() && particleSystemGenerator != nullptr)
    startParticles(settings->fireParticles, makeAreaParticleStage(from, range), from, 0.0f);
  playCallSound(*settings, from);
}
