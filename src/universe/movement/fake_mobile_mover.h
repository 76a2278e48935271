// The network movement mirror: on a client the server owns the simulation,
// and objects read from the network move by a `FakeMobileMover`. It shows
// its object between the position and rotation samples that the server's
// update batches carry, interpolating between the two newest and running on
// a little past the newest. While the server keeps the object in orbit, the
// mirror circles the same body with its own nested orbit mover.
//
// Threads: samples are written while the network layer processes its
// packets, with the galaxy workers idle; ticks run on the workers. The two
// never touch the samples at the same time.
#pragma once

#include <memory>

#include <quaternion.h>

#include "universe/movement/orbit_movers.h"

namespace RakNet {
class BitStream;
}

class FakeMobileMover : public MoveHandler {
 public:
  // How far past the newest sample the object is run on, in seconds.
  static constexpr double kExtrapolationSeconds = 0.125;

  // One position and rotation of the object at a moment of game time.
  struct Sample {
    vector3df position;
    irr::core::quaternion orientation;
    double time = 0.0;
  };

  FakeMobileMover();
  ~FakeMobileMover() override;
  FakeMobileMover(const FakeMobileMover&) = delete;
  FakeMobileMover& operator=(const FakeMobileMover&) = delete;

  // The mover of `object` when it is a mirror, else null.
  static FakeMobileMover* of(const generic_object* object);

  int getKind() const override { return 2; }
  // Shows the object as the samples say at its own clock, or moves it on
  // the mirrored orbit while that is in use. Velocity and acceleration are
  // left alone.
  void tick(float seconds, generic_object& object) override;
  // Where the samples put the object at the present game time, less where
  // it is; `t` is not used.
  vector3df& getDisplacement(vector3df& out, float t, generic_object& object) override;
  vector3df& getPredictedPosition(vector3df& out, float t, generic_object& object) override;
  // The rotation the samples give at the present game time.
  vector3df& getFacing(vector3df& out, float t, generic_object& object) override;
  // A mirror is never saved: it writes the bare head of kind 0, which a
  // loader reads as "no handler", so a record around it stays readable.
  void write(SaveStream& stream) override;

  // What the local player asked for: recorded only, the mirror's motion
  // never uses them. The velocity is ignored.
  virtual void setDestinationWithVelocity(const vector3df& point, const vector3df& velocity);
  virtual void setDestination(const vector3df& point);
  // Holds `object` (counted) as the destination target.
  virtual void setTargetObject(generic_object* object);

  // A new sample: `rotation` in degrees, `time` in seconds of game time.
  // The object's present state (or, before the first tick, the new sample
  // itself) becomes the previous sample.
  void receiveUpdate(const vector3df& position, const vector3df& rotation, double time);
  // receiveUpdate at the present game time, when `object` moves by a mirror.
  static void receiveUpdateFor(generic_object& object, const vector3df& position, const vector3df& rotation);
  // Starts (or changes) the mirrored orbit: the ten floats of the orbit's
  // network state (`yaw` to `yawCos`) taken from `orbitState`, the centre
  // offset and the orbited body (counted; null for the container's origin).
  void setState(const OrbitMoverBase& orbitState, const vector3df& centreOffset, generic_object* orbited);
  // Ends the mirrored orbit; the samples move the object again.
  void clearTarget();

  // The position the samples give at game time `t`.
  vector3df samplePosition(double t) const;
  // The rotation (degrees) the samples give at game time `t`; it stops at
  // the newest sample.
  vector3df sampleRotation(double t) const;

  generic_object* movedObject = nullptr;
  Sample latest;
  Sample previous;
  generic_object* destinationTarget = nullptr;
  vector3df destination;
  // What the object's "thrust" property reads on a client.
  float thrust = 0.0f;
  bool hasDestination = false;
  // The server's mover is parked (from the object's details, 126).
  bool parked = false;
  // The mirrored orbit: made inactive with the mover, active while the
  // server keeps the object in orbit.
  std::unique_ptr<OrbitOtherMover> parkOrbit;

 private:
  // True when the samples span no time (the interpolation would divide by
  // zero): the newest is shown then.
  bool samplesCoincide() const { return !(latest.time > previous.time); }
};

// Client readers of the orbit events of the dock message (138), given the
// stream after the sub-code byte and the object the message names (null
// when it is unknown here: the fields are still read). They apply nothing
// to an object without a mirror, and false means the packet was short and
// nothing was changed.
//
// Sub-code 3, the object now circles a body:
//   bits  field
//   320   orbit state: `yaw`, `yAmplitude`, `zAmplitude`, `xAmplitude`,
//         `period`, `orbitRadius`, `spinPerOrbit`, `yearPosition`, `yawSin`,
//         `yawCos` as one 40-byte block, bytes reversed (the last float
//         first, each big-endian)
//   96    centre offset: x, y, z as one 12-byte block, bytes reversed
//   var   orbited object reference (compact UID, 0 for none)
// (readOrbitState and writeOrbitState of mobile_mover.h hold the blocks.)
bool readMirrorOrbitStart(RakNet::BitStream& stream, generic_object* object);
// Sub-code 4, the object stopped circling: nothing more to read (true).
bool readMirrorOrbitEnd(RakNet::BitStream& stream, generic_object* object);
