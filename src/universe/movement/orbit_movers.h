// Orbit movers: an object on a closed path repeated once per `period`
// seconds, spinning about its vertical axis. `OrbitMover` circles a fixed
// centre in the container (planets about their star); `OrbitOtherMover`
// circles another object and follows it (ships parked at a body, objects
// made in orbit of another).
//
// The path at angle θ (radians) is X = xAmplitude cos θ, Y = yAmplitude sin θ,
// Z = zAmplitude sin θ, turned by `yaw` about the vertical axis; the present
// angle is 2π x `yearPosition`. An orbit whose period is not a positive
// finite number (a map script's orbit of radius 0, or about a mass of radius
// 0) stands still on its path: its year position never advances, so every
// position it gives stays finite.
//
// Record (kind 1, after the u16 kind; little-endian, floats IEEE single):
//   u8 orbit type: 0 OrbitMover, 1 OrbitOtherMover
//   orbit block: 8 floats yaw, yAmplitude, zAmplitude, xAmplitude, period,
//                orbitRadius, spinPerOrbit, yearPosition
//   type 0: u8 active (saves of version 21 on), 3 floats centre (35 on)
//   type 1: u32 UID of the orbited object (0 for none), u8 active (20 on),
//           3 floats centreOffset (35 on)
// Fields missing from older saves read as active and a zero centre.
//
// Threads: ticks run on the galaxy worker of the object's star system; the
// orbited body is read without its lock. Each class's pool has its own
// mutex, so movers may be made and deleted on any thread.
#pragma once

#include <cstdint>

#include "core/post_load.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_pools.h"

class OrbitMoverBase : public MoveHandler {
 public:
  int getKind() const override { return 1; }
  vector3df& getDisplacement(vector3df& out, float t, generic_object& object) override;
  vector3df& getFacing(vector3df& out, float t, generic_object& object) override;

  // Sets the orbit from a map script's description: its radius, the central
  // mass and its radius, the year position, yaw and pitch (radians), the
  // eccentricity (below 1 its inverse is used; 0 counts as 1) and the days
  // per year (turns of the object per revolution).
  void setOrbit(float radius, float mass, float massRadius, float yearPos, float yawAngle, float pitch,
                float eccentricity, float daysPerYear);
  // The offset from the centre at angle `theta` (radians). A `yaw` of
  // exactly 0 leaves the offset unturned.
  vector3df orbitOffset(float theta) const;
  // The angle of the present moment, or `t` seconds later (the present one
  // when the period is not a positive finite number).
  float angleAt(float t = 0.0f) const;
  // True when the period is a positive finite number: only then does the
  // orbit advance.
  bool hasPeriod() const;
  // Restarts the orbit through `point`, given relative to the centre.
  void reseatAt(const vector3df& point);
  // Sets `yaw` with its sine and cosine.
  void setYaw(float angle);

  // The ten floats of the orbit's state, in their order on the wire: yaw,
  // yAmplitude, zAmplitude, xAmplitude, period, orbitRadius, spinPerOrbit,
  // yearPosition, yawSin, yawCos.
  static constexpr int kStateFloats = 10;
  void getStateFloats(float (&state)[kStateFloats]) const;
  void setStateFloats(const float (&state)[kStateFloats]);
  // Copies the state floats of `other`.
  void copyState(const OrbitMoverBase& other) {
    float state[kStateFloats];
    other.getStateFloats(state);
    setStateFloats(state);
  }

  // Orbit block of the record: the eight floats in record order.
  void writeOrbitBlock(SaveStream& stream) const;
  void readOrbitBlock(SaveStream& stream);

  bool active = true;
  float yaw = 0.0f;
  float yAmplitude = 0.0f;
  float zAmplitude = 0.0f;
  float xAmplitude = 0.0f;
  float period = 0.0f;
  float orbitRadius = 0.0f;
  float spinPerOrbit = 0.0f;
  float yearPosition = 0.0f;
  float yawSin = 0.0f;
  float yawCos = 1.0f;

 protected:
  // Advances the year position; false while inactive (nothing to do).
  bool advanceYear(float dt);
  // Puts `object` on the orbit about `centre`: position, and with a dt
  // other than 0 velocity and acceleration.
  void placeAbout(const vector3df& centre, float dt, generic_object& object) const;
  // The velocity along the path over the last `dt` seconds (dt not 0).
  vector3df pathVelocity(float dt) const;
};

class OrbitMover : public OrbitMoverBase {
 public:
  // From the pool of orbit movers.
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  void tick(float dt, generic_object& object) override;
  vector3df& getPredictedPosition(vector3df& out, float t, generic_object& object) override;
  void write(SaveStream& stream) override;
  // Reads the rest of a kind 1, type 0 record (after the type byte).
  void read(SaveStream& stream);

  vector3df centre;
};

class OrbitOtherMover : public OrbitMoverBase {
 public:
  OrbitOtherMover() = default;
  ~OrbitOtherMover() override;
  OrbitOtherMover(const OrbitOtherMover&) = delete;
  OrbitOtherMover& operator=(const OrbitOtherMover&) = delete;
  // From the pool of orbit-other movers.
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  // Follows the body; once the body is no longer valid the mover takes over
  // the body's own orbit (when it moved by one) or keeps circling through
  // its present place, about the container's origin from then on.
  void tick(float dt, generic_object& object) override;
  vector3df& getDisplacement(vector3df& out, float t, generic_object& object) override;
  vector3df& getPredictedPosition(vector3df& out, float t, generic_object& object) override;
  void write(SaveStream& stream) override;
  // Reads the rest of a kind 1, type 1 record (after the type byte); an
  // orbited UID other than 0 queues the step that resolves it.
  void read(SaveStream& stream);
  // Holds `body` (counted), letting go of the previous one.
  void setOrbited(generic_object* body);

  generic_object* orbited = nullptr;
  vector3df centreOffset;

 private:
  // The body is gone: continue on its orbit, or through the present place.
  void loseBody();
};

// Resolves the orbited UID of a loaded OrbitOtherMover once the object tree
// exists: the object found (counted), or none.
class OrbitOtherStep : public PostObjectTreeStep {
 public:
  OrbitOtherStep(OrbitOtherMover* mover, uint32_t uid) : mover_(mover), uid_(uid) {}
  void run() override;

 private:
  OrbitOtherMover* mover_;
  uint32_t uid_;
};

// The pools of the two orbit movers (12500-element blocks, each under its
// own mutex, for the whole process).
ObjectPool& orbitMoverPool();
ObjectPool& orbitOtherMoverPool();

// A new handler from a record, or null for kind 0 and unknown kinds. Throws
// {5, "Invalid Orbit Type"} for an orbit type other than 0 and 1, and
// {4, "Unexpected EOF"} for a short record (nothing is kept then).
MoveHandler* readMoveHandler(SaveStream& stream);
