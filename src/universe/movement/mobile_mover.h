// The mobile mover: the movement handler of everything that flies under its
// own power (ships and stations). It steers its object towards a point, or
// towards another object (optionally to a fixed offset from it), as hard as
// its thrust and the object's mass allow, and brakes so that it arrives at
// rest. A moving target is led by the time of interception (intercept.h).
// A parked mover, on coming to rest, picks a body of its star system and
// circles it with a nested OrbitOtherMover, its park orbit. The mover also
// keeps a smoothed facing, turned at a limited rate towards the object's
// rotation.
//
// Record (kind 2, after the u16 kind; little-endian, floats IEEE single):
//   float thrust, float spare, float maxAcceleration
//   u8 mode: 1 towards a point: 3 floats destination (absolute), 3 floats
//            frameVelocity
//            2 towards an object: u32 UID
//            6 towards an object with an offset: u32 UID, 3 floats offset
//   u8 parked (saves of version 24 on), and when it is set the nested
//            record of the park orbit (kind 1, orbit type 1)
// A mode with neither bit 0 nor bit 1 set throws {5, "Invalid mobile mover
// state"}; a short record {4, "Unexpected EOF"}.
//
// Threads: tick and getFacing run on the galaxy worker that owns the
// object's star system and read the target without locking it. Scripts and
// the network handler change the park orbit and the target only under the
// object's container lock. Movers come from their own pool, which has its
// own mutex.
#pragma once

#include <cstdint>

#include <quaternion.h>

#include "core/post_load.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/object_pools.h"

namespace RakNet {
class BitStream;
}

class MobileMover : public MoveHandler {
 public:
  // A mover at rest with nowhere to go: zero destination and frame
  // velocity, the identity facing, no target, no thrust, acceleration
  // capped at 1e35, not parked and without a park orbit.
  MobileMover() = default;
  ~MobileMover() override;
  MobileMover(const MobileMover&) = delete;
  MobileMover& operator=(const MobileMover&) = delete;
  // From the pool of mobile movers.
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  int getKind() const override { return 2; }
  void tick(float seconds, generic_object& object) override;
  vector3df& getDisplacement(vector3df& out, float t, generic_object& object) override;
  vector3df& getFacing(vector3df& out, float t, generic_object& object) override;
  void write(SaveStream& stream) override;

  // Reads the rest of a kind 2 record (after the u16 kind). A target that
  // exists already is set at once; one that does not is resolved by a
  // MobileMoverSetTarget step. A parked record whose nested handler is
  // missing or is not an orbit about another object gets a new, inactive
  // park orbit instead (a parked mover always owns one).
  static MobileMover* readRecord(SaveStream& stream);

  // The mover of `object` when it is a mobile mover, else null.
  static MobileMover* of(const generic_object* object);

  // New goals. Each first releases the park orbit (releaseParkOrbit).
  // A point goal drops the target; `velocity` is the velocity of the
  // point's frame of reference.
  void setDestination(const vector3df& point);
  void setDestinationWithVelocity(const vector3df& point, const vector3df& velocity);
  // Heads for `object` (held counted; null for none).
  void setTargetObject(generic_object* object);
  // Heads for `offset` away from `object` (fleet formations).
  void setTargetWithOffset(generic_object* object, const vector3df& offset);
  // Ends the park orbit when it is in use and the mover has thrust (at
  // least 0.0001): a mover without thrust stays in its orbit.
  void releaseParkOrbit();

  // Setting drops the target and makes sure a park orbit exists (inactive
  // when new); clearing makes the park orbit inactive.
  void setParked(bool flag);
  // The park orbit is in use: parked, with an active park orbit.
  bool parkOrbitInUse() const { return parked && parkOrbit != nullptr && parkOrbit->active; }
  // The body the park orbit circles while it is in use, else null.
  generic_object* getParkedOrbitBody() const { return parkOrbitInUse() ? parkOrbit->orbited : nullptr; }

  // Puts `object` (the owner) into a circular orbit about `body` through its
  // present place, and parks the mover. A null body, or the object itself,
  // only ends the present orbit. On a server hosting a network game the
  // clients are told (message 138, sub-codes 3 and 4).
  void orbitAround(generic_object& object, generic_object* body);
  // When parked: circles the first planet (or body over 1000 times the
  // object's mass) within reach in the object's star system, or else the
  // last star met before it.
  void startParkOrbit(generic_object& object);
  // True when circling `body` would not lead back to `object` through a
  // chain of fewer than 5 parked mobile movers. A body moved by anything
  // else, or not moved at all, is refused.
  static bool isOrbitChainShort(const generic_object* body, const generic_object* object);

  vector3df destination;    // absolute point; with hasOffset, the offset from the target
  vector3df frameVelocity;  // velocity of the frame of a point destination
  irr::core::quaternion facing{0.0f, 0.0f, 0.0f, 1.0f};
  double facingTime = 0.0;  // the object's localTime when `facing` was advanced
  generic_object* target = nullptr;  // counted
  float thrust = 0.0f;
  float spare = 0.0f;  // carried through saves only
  float maxAcceleration = 1e35f;
  bool hasOffset = false;
  bool parked = false;
  OrbitOtherMover* parkOrbit = nullptr;  // owned; always present while parked

  // A loaded target UID that named no object: the next tick stops the mover
  // where it is, as for a target that is lost. Until then a save keeps the
  // record as it was read.
  bool targetMissing = false;
  uint32_t missingTargetUid = 0;

  // The last root of the interception quartic, the start of the next
  // solve (0: none). Not saved; any value only changes how fast it goes.
  double interceptGuess = 0.0;

 private:
  // The park orbit, made (inactive, about nothing) when missing.
  OrbitOtherMover& ensureParkOrbit();
  // Forgets the target, and the goal a load could not resolve.
  void clearTarget();
  // Stops where the object is now: no target, no offset, no frame velocity,
  // the present absolute position as the destination.
  void stopHere(generic_object& object);
  // The step without engine: the speed falls by 1 unit per second.
  void coast(float dt, generic_object& object);
};

// Sets the target of a loaded mover once the object tree exists. When no
// object has the UID the mover stops where it is at its next tick.
class MobileMoverSetTarget : public PostObjectTreeStep {
 public:
  MobileMoverSetTarget(MobileMover* mover, uint32_t uid) : mover_(mover), uid_(uid) {}
  MobileMoverSetTarget(MobileMover* mover, uint32_t uid, const vector3df& offset)
      : mover_(mover), uid_(uid), offset_(offset), hasOffset_(true) {}
  void run() override;

 private:
  MobileMover* mover_;
  uint32_t uid_;
  vector3df offset_;
  bool hasOffset_ = false;
};

// The pool of mobile movers (12500-element blocks, for the whole process).
ObjectPool& mobileMoverPool();

// Network messages of parked orbits.
//
// Orbit start (138, sub-code 3), server to all, channel 2, reliable ordered:
//   bits  field
//   8     138
//   var   object reference (compact UID)
//   8     3
//   320   orbit state: `yaw`, `yAmplitude`, `zAmplitude`, `xAmplitude`,
//         `period`, `orbitRadius`, `spinPerOrbit`, `yearPosition`,
//         `yawSin`, `yawCos` as one 40-byte block, bytes reversed (the last
//         float first, each big-endian)
//   96    centre offset x, y, z as one 12-byte block, bytes reversed
//   var   orbited object reference (0 for none)
// Orbit end (138, sub-code 4): 138, object reference, 4.
// All fields follow one another bit by bit, with no alignment.
//
// Park request (139), client to server, channel 2, reliable ordered:
//   8 bits 139, 8 bits 3, object reference, 1 bit (1 park, 0 unpark).

// The two reversed blocks of an orbit start: the orbit state and the centre
// offset of `orbit`.
void writeOrbitState(RakNet::BitStream& stream, const OrbitOtherMover& orbit);
// Reads the two blocks into `orbit` (its ten floats and its centre offset;
// `active` and `orbited` are left alone). False, with `orbit` unchanged,
// when the stream is short.
bool readOrbitState(RakNet::BitStream& stream, OrbitOtherMover& orbit);
// The whole orbit start and orbit end messages.
void writeOrbitStartMessage(RakNet::BitStream& stream, const generic_object& object, const OrbitOtherMover& orbit);
void writeOrbitEndMessage(RakNet::BitStream& stream, const generic_object& object);

// The park request for `object`.
void writeParkRequest(RakNet::BitStream& stream, const generic_object* object, bool park);
// Reads a park request after its first byte (139): the sub-code, the UID
// and the flag. False when the stream is short or the sub-code is not 3.
bool readParkRequest(RakNet::BitStream& stream, uint32_t& uid, bool& park);
// The server's handling of a park request for `object`: under the object's
// container lock, setParked (park) and then startParkOrbit. Nothing for an
// object that is not valid or has no mobile mover.
void applyParkRequest(generic_object& object, bool park);
