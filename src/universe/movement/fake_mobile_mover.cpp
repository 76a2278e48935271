#include "universe/movement/fake_mobile_mover.h"

#include <cstdint>

#include "app/base/session_state.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_registry.h"

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kRadToDeg = 57.295776f;
// The head a loader reads as "no handler".
constexpr uint16_t kNoHandlerKind = 0;

irr::core::quaternion orientationOf(const vector3df& degrees) { return irr::core::quaternion(degrees * kDegToRad); }

// from·(1 − weight) + to·weight, per component in double precision.
vector3df blend(const vector3df& from, const vector3df& to, double weight) {
  const double rest = 1.0 - weight;
  return vector3df(static_cast<float>(from.X * rest + to.X * weight), static_cast<float>(from.Y * rest + to.Y * weight),
                   static_cast<float>(from.Z * rest + to.Z * weight));
}

}  // namespace

FakeMobileMover::FakeMobileMover() : parkOrbit(new OrbitOtherMover) { parkOrbit->active = false; }

FakeMobileMover::~FakeMobileMover() { setObjectRef(destinationTarget, nullptr); }

FakeMobileMover* FakeMobileMover::of(const generic_object* object) {
  return object != nullptr ? dynamic_cast<FakeMobileMover*>(object->mover) : nullptr;
}

// --- Samples -----------------------------------------------------------------

void FakeMobileMover::receiveUpdate(const vector3df& position, const vector3df& rotation, double time) {
  const irr::core::quaternion orientation = orientationOf(rotation);
  if (movedObject != nullptr)
    previous = {movedObject->position, orientationOf(movedObject->rotation), movedObject->localTime};
  else
    previous = {position, orientation, latest.time};  // shown at once, before any tick
  latest = {position, orientation, time};
}

void FakeMobileMover::receiveUpdateFor(generic_object& object, const vector3df& position, const vector3df& rotation) {
  if (FakeMobileMover* mirror = of(&object))
    mirror->receiveUpdate(position, rotation, gameTime.load());
}

vector3df FakeMobileMover::samplePosition(double t) const {
  if (samplesCoincide())
    return latest.position;
  if (previous.time >= t)
    return previous.position;
  const double span = latest.time - previous.time;
  // Past the newest sample the object runs on for a fixed time and then
  // waits there for the next one.
  if (t >= latest.time + kExtrapolationSeconds)
    return blend(previous.position, latest.position, kExtrapolationSeconds / span + 1.0);
  return blend(previous.position, latest.position, (t - previous.time) / span);
}

vector3df FakeMobileMover::sampleRotation(double t) const {
  irr::core::quaternion shown;
  if (samplesCoincide())
    shown = latest.orientation;
  else if (previous.time >= t)
    shown = previous.orientation;
  else if (t >= latest.time)
    shown = latest.orientation;  // turning is never run on past the newest
  else  // the engine's slerp blends near orientations linearly: unit length again
    shown.slerp(previous.orientation, latest.orientation,
                static_cast<float>((t - previous.time) / (latest.time - previous.time)))
        .normalize();
  vector3df euler;
  shown.toEuler(euler);
  return euler * kRadToDeg;
}

// --- Movement ------------------------------------------------------------------

void FakeMobileMover::tick(float seconds, generic_object& object) {
  movedObject = &object;
  if (parkOrbit->active) {
    parkOrbit->tick(seconds, object);
    return;
  }
  object.position = samplePosition(object.localTime);
  object.rotation = sampleRotation(object.localTime);
}

vector3df& FakeMobileMover::getDisplacement(vector3df& out, float t, generic_object& object) {
  if (parkOrbit->active)
    return parkOrbit->getDisplacement(out, t, object);
  out = samplePosition(gameTime.load()) - object.position;
  return out;
}

vector3df& FakeMobileMover::getPredictedPosition(vector3df& out, float t, generic_object& object) {
  if (parkOrbit->active)
    return parkOrbit->getPredictedPosition(out, t, object);
  vector3df displacement;
  getDisplacement(displacement, t, object);
  out = object.position + displacement;
  return out;
}

vector3df& FakeMobileMover::getFacing(vector3df& out, float t, generic_object& object) {
  if (parkOrbit->active)
    return parkOrbit->getFacing(out, t, object);
  out = sampleRotation(gameTime.load());
  return out;
}

void FakeMobileMover::write(SaveStream& stream) { stream.writeU16(kNoHandlerKind); }

// --- Mirrored orbit --------------------------------------------------------------

void FakeMobileMover::setState(const OrbitMoverBase& orbitState, const vector3df& centreOffset,
                               generic_object* orbited) {
  OrbitOtherMover& orbit = *parkOrbit;
  orbit.active = true;
  orbit.copyState(orbitState);
  orbit.centreOffset = centreOffset;
  orbit.setOrbited(orbited);
}

void FakeMobileMover::clearTarget() {
  if (!parkOrbit->active)
    return;
  parkOrbit->active = false;
  parkOrbit->setOrbited(nullptr);
}

// --- Local requests --------------------------------------------------------------

void FakeMobileMover::setDestinationWithVelocity(const vector3df& point, const vector3df&) { setDestination(point); }

void FakeMobileMover::setDestination(const vector3df& point) {
  destination = point;
  hasDestination = true;
  setObjectRef(destinationTarget, nullptr);
}

void FakeMobileMover::setTargetObject(generic_object* object) {
  if (object == destinationTarget)
    return;
  setObjectRef(destinationTarget, object);
  hasDestination = true;
}

// --- Orbit events of the dock message --------------------------------------------

bool readMirrorOrbitStart(RakNet::BitStream& stream, generic_object* object) {
  OrbitOtherMover received;
  readOrbitState(stream, received);
  const uint32_t orbitedUid = readNetUInt(stream);
  if (stream.ReadFailed())
    return false;

  FakeMobileMover* mirror = FakeMobileMover::of(object);
  if (mirror == nullptr)
    return true;
  object->lockContainer();
  mirror->setState(received, received.centreOffset, getObjectByUID(orbitedUid));
  object->unlockContainer();
  return true;
}

bool readMirrorOrbitEnd(RakNet::BitStream&, generic_object* object) {
  FakeMobileMover* mirror = FakeMobileMover::of(object);
  if (mirror == nullptr)
    return true;
  object->lockContainer();
  mirror->clearTarget();
  object->unlockContainer();
  return true;
}
