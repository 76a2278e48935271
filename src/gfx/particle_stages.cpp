#include "gfx/particle_stages.h"

#include <cmath>

#include "core/random.h"
#include "gfx/graphics_object.h"

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
