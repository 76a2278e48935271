#include "gfx/particle_stages.h"

#include <cmath>

#include "core/locks.h"
#include "core/random.h"
#include "gfx/effect_node_pools.h"
#include "gfx/graphics_object.h"
#include "gfx/particle_host.h"
#include "gfx/special_fx.h"
#include "platform/thread.h"
#include "universe/objects/game_object.h"

namespace {

// Degrees in a radian, as the hit rotations have always been scaled.
constexpr float kDegreesPerRadian = 57.2957763671875f;
constexpr double kTwoToMinus32 = 1.0 / 4294967296.0;

// A value in [0, 1) from the calling thread's generator.
double unitDraw() { return static_cast<double>(threadRandom().nextUInt32()) * kTwoToMinus32; }

}  // namespace

irr::core::vector3df hitRotationDegrees(const irr::core::vector3df& offset) {
  if (offset.getLengthSQ() == 0.0f)
    return irr::core::vector3df(0.0f, 0.0f, 0.0f);
  irr::core::vector3df direction = offset;
  direction.normalize();
  irr::core::quaternion turn;
  turn.rotationFromTo(irr::core::vector3df(0.0f, 0.0f, 1.0f), direction);
  irr::core::vector3df euler;
  turn.toEuler(euler);
  return euler * kDegreesPerRadian;
}

void RandomSphereStage::getPosition(irr::core::vector3df& out) const {
  const double radius = minimumRadius + (maximumRadius - minimumRadius) * unitDraw();
  const double theta = unitDraw() * 2.0 * irr::core::PI64 - irr::core::PI64;
  const double phi = unitDraw() * irr::core::PI64 - irr::core::PI64 / 2.0;
  out = centre + irr::core::vector3df(static_cast<float>(std::cos(theta) * std::cos(phi) * radius),
                                      static_cast<float>(std::sin(phi) * radius),
                                      static_cast<float>(std::sin(theta) * std::cos(phi) * radius));
}

HitOffset::HitOffset(const irr::core::vector3df& localOffset, float scale, graphicsObject* target)
    : offset(localOffset), rotation(hitRotationDegrees(localOffset)), scaleVector(scale, scale, scale),
      target_(target) {
  if (target_ != nullptr)
    target_->grab();
}

HitOffset::~HitOffset() {
  if (target_ != nullptr)
    target_->drop();
}

// --- Node stages, bursts and hits -------------------------------------------

GraphicsNodeStage::GraphicsNodeStage(graphicsObject* object) : object_(object) {
  if (object_ != nullptr)
    object_->grab();
}

GraphicsNodeStage::~GraphicsNodeStage() {
  if (object_ != nullptr)
    object_->drop();
}

void GraphicsNodeStage::getPosition(irr::core::vector3df& out) const {
  if (object_ != nullptr && object_->getNode() != nullptr)
    out = object_->getNode()->getAbsolutePosition();
  else
    IParticleStage::getPosition(out);
}

void GraphicsNodeStage::getRotation(irr::core::vector3df& out) const {
  if (object_ != nullptr && object_->getNode() != nullptr)
    out = object_->getNode()->getRotation();
  else
    IParticleStage::getRotation(out);
}

void GraphicsNodeStage::getScale(irr::core::vector3df& out) const {
  if (object_ != nullptr && object_->getNode() != nullptr)
    out = object_->getNode()->getScale();
  else
    IParticleStage::getScale(out);
}

HitOffset* HitOffset::fromWorldHit(graphicsObject* source, graphicsObject* target, float scale, bool onTarget) {
  if (source == nullptr || target == nullptr)
    return new HitOffset(irr::core::vector3df(0.0f, 0.0f, 0.0f), scale, nullptr);
  if (onTarget)
    return new HitOffset(target->localSurfacePointAlt(source->getAbsolutePosition()), scale, target);
  return new HitOffset(source->localSurfacePoint(target->getAbsolutePosition()), scale, source);
}

HitEffect structureHitEffect{L"structure_hit", 0.0f, false};
HitEffect subSystemHitEffect{L"subsystem_hit", 0.0f, true};

namespace {

unsigned burstCounter = 0;

// Holds the scene lock for a scope, taken by tries.
class SceneLockScope {
 public:
  SceneLockScope() {
    while (!sceneLock->tryLock())
      plat::sleepMs(0);
  }
  ~SceneLockScope() { sceneLock->unlock(); }
  SceneLockScope(const SceneLockScope&) = delete;
  SceneLockScope& operator=(const SceneLockScope&) = delete;
};

// Starts a system on the next burst node; the generator keeps it running.
void startSystem(const irr::core::stringw& name, float duration, ps::IParticleStage* stage) {
  if (particleSystemGenerator == nullptr)
    return;
  if (ps::IParticleSystem* made =
          particleSystemGenerator->create(name, duration, stage, nextBurstNode(), 0.0f))
    made->drop();
}

void showHit(graphicsObject* object, const HitEffect& effect, const irr::core::vector3df& offset) {
  SceneLockScope lock;
  auto* nodeStage = new GraphicsNodeStage(object);
  auto* hit = new HitOffset(offset, 1.0f, object);
  hit->setParent(nodeStage);
  startSystem(effect.particleSystem, effect.duration, hit);
  hit->drop();
  nodeStage->drop();
}

}  // namespace

irr::scene::ISceneNode* nextBurstNode() {
  const unsigned index = burstCounter;
  burstCounter = (burstCounter + 1) % kBurstNodeCount;
  return burstPoolNode(index);
}

void spawnParticleBurst(graphicsObject* object) {
  if (object == nullptr)
    return;
  SceneLockScope lock;
  auto* stage = new ps::CCustomParticleStage();
  stage->position = object->getAbsolutePosition();
  if (generic_object* owner = object->getOwner())
    stage->velocity = owner->velocity;
  stage->scale.set(object->radius, object->radius, object->radius);
  startSystem(specialFx.planetExplosionEffect, specialFx.planetExplosionDuration, stage);
  stage->drop();
}

void showPlanetHit(graphicsObject* planet, const HitEffect& effect) {
  if (planet == nullptr || !(planet->fade < 1.0f))
    return;
  irr::core::vector3df offset;
  if (!effect.noOffset) {
    const double theta = unitDraw() * 2.0 * irr::core::PI64;
    const double phi = unitDraw() * irr::core::PI64 - irr::core::PI64 / 2.0;
    const float reach = planet->getOwner() != nullptr ? planet->getOwner()->radius * 2.0f : planet->radius * 2.0f;
    const irr::core::vector3df toward =
        planet->getAbsolutePosition() +
        irr::core::vector3df(static_cast<float>(std::sin(theta) * std::cos(phi)),
                             static_cast<float>(std::cos(theta) * std::cos(phi)), static_cast<float>(std::sin(phi))) *
            reach;
    offset = planet->localSurfacePointAlt(toward);
  }
  showHit(planet, effect, offset);
}

void showShipHit(graphicsObject* ship, const HitEffect& effect, const irr::core::vector3df& offset) {
  if (ship == nullptr || !(ship->fade < 1.0f))
    return;
  showHit(ship, effect, offset);
}
