// The particle stages of our own: where a particle system sits, how it is
// turned, how fast it moves and how large it is, as the particle-system
// layer asks of a stage (platform/ps/particle_systems.h). Effects sit on a
// graphics object's node, at a random point of a sphere, or at a hit point
// on an object's surface. Stages chain: a stage without an answer of its
// own for one of the two flags forwards it to its parent stage.
//
// Stages are counted with plain counters (each starts with its maker's one
// reference): they are made, handed to the particle systems and released
// under the scene lock.
#pragma once

#include <irrlicht.h>

#include "platform/ps/particle_systems.h"

class graphicsObject;

// A stage on a graphics object's node: its absolute position, its rotation
// and its scale. It holds the graphics object (counted).
class GraphicsNodeStage : public ps::IParticleStage {
 public:
  // `object` may be null (the stage then answers as the base).
  explicit GraphicsNodeStage(graphicsObject* object);
  ~GraphicsNodeStage() override;

  void getPosition(irr::core::vector3df& out) const override;
  void getRotation(irr::core::vector3df& out) const override;
  void getScale(irr::core::vector3df& out) const override;

  graphicsObject* getObject() const { return object_; }

 private:
  graphicsObject* object_;
};

// The rotation, in degrees, that turns (0,0,1) onto `offset` (a zero offset
// gives no rotation).
irr::core::vector3df hitRotationDegrees(const irr::core::vector3df& offset);

// A random point of a sphere shell around `centre`: the radius is uniform
// between the two radii and the two angles uniform in their ranges (not
// uniform by volume). Its second flag is always false.
class RandomSphereStage : public ps::IParticleStage {
 public:
  RandomSphereStage(float minRadius, float maxRadius, const irr::core::vector3df& shellCentre = {})
      : minimumRadius(minRadius), maximumRadius(maxRadius), centre(shellCentre) {}

  bool getSecondFlag() const override { return false; }
  // A new point at every call, from the calling thread's generator.
  void getPosition(irr::core::vector3df& out) const override;

  float minimumRadius;
  float maximumRadius;
  irr::core::vector3df centre;
};

// A hit point: an offset in the hit object's local frame, the rotation that
// turns (0,0,1) onto it, and a uniform scale. It holds the hit object's
// graphics object (counted) for as long as it lives. Its second flag is
// always true.
class HitOffset : public ps::IParticleStage {
 public:
  // `target` may be null; it is grabbed otherwise.
  HitOffset(const irr::core::vector3df& localOffset, float scale, graphicsObject* target);
  ~HitOffset() override;

  bool getSecondFlag() const override { return true; }
  void getPosition(irr::core::vector3df& out) const override { out = offset; }
  void getRotation(irr::core::vector3df& out) const override { out = rotation; }
  void getScale(irr::core::vector3df& out) const override { out = scaleVector; }

  // A hit between two graphics objects, scaled `scale`: with `onTarget`
  // at the target's surface toward the source (the stage holds the target),
  // else at the source's surface toward the target (it holds the source).
  // With either object missing: offset 0 and no object.
  static HitOffset* fromWorldHit(graphicsObject* source, graphicsObject* target, float scale, bool onTarget);

  graphicsObject* getTarget() const { return target_; }

  irr::core::vector3df offset;
  irr::core::vector3df rotation;  // degrees
  irr::core::vector3df scaleVector;

 private:
  graphicsObject* target_;
};

// What a hit on a planet or a ship shows: a particle system of this name,
// living `duration` seconds (the definition's own when 0 or less), at a
// random point of the surface unless `noOffset`.
struct HitEffect {
  irr::core::stringw particleSystem;
  float duration = 0.0f;
  bool noOffset = false;
};
// The hits of a structure destroyed on a planet and of a ship's lost
// sub-system. Their particle systems are defined by the data, if at all: a
// name the generator does not know shows nothing.
extern HitEffect structureHitEffect;
extern HitEffect subSystemHitEffect;

// The next of the ten pooled burst nodes (round the ring).
irr::scene::ISceneNode* nextBurstNode();

// The planet explosion on `object` (specialFx's planet explosion): a
// particle system on the next burst node at the node's place, moving with
// the owner and scaled to the radius. Under the scene lock.
void spawnParticleBurst(graphicsObject* object);
// A hit on the planet's graphics object (null: nothing), at a random point
// of its surface, while its fade is below 1.
void showPlanetHit(graphicsObject* planet, const HitEffect& effect);
// The same on a ship's, at `offset` in the node's frame.
void showShipHit(graphicsObject* ship, const HitEffect& effect, const irr::core::vector3df& offset);
