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

  graphicsObject* getTarget() const { return target_; }

  irr::core::vector3df offset;
  irr::core::vector3df rotation;  // degrees
  irr::core::vector3df scaleVector;

 private:
  graphicsObject* target_;
};
