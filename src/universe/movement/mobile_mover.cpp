#include "universe/movement/mobile_mover.h"

#include <algorithm>
#include <cmath>

#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/movement/intercept.h"
#include "universe/objects/object_registry.h"

namespace {

constexpr uint16_t kMobileKind = 2;
constexpr uint8_t kModePoint = 1;
constexpr uint8_t kModeTarget = 2;
constexpr uint8_t kModeOffset = 4;  // with kModeTarget: towards an offset from the target
constexpr int32_t kParkedVersion = 24;
constexpr SaveFileError kInvalidState{5, "Invalid mobile mover state"};
// A parked record nests the record of its park orbit. A mobile record
// nested in it is damaged data; this deep it is refused rather than read
// on (each level would read the next one).
constexpr int kMaxNesting = 4;

constexpr uint8_t kMsgDockEvent = 138;
constexpr uint8_t kMsgPark = 139;
constexpr uint8_t kDockOrbitStart = 3;
constexpr uint8_t kDockOrbitEnd = 4;
constexpr uint8_t kParkRequest = 3;
constexpr uint8_t kChannelObjectEvents = 2;

// The park orbit is left only by a mover with at least this thrust.
const double kReleaseThrust = static_cast<double>(0.0001f);
// Steering turns the object with this factor; facings are converted with
// the two float factors.
constexpr double kSteeringDegrees = 57.29577791868205;
constexpr float kToRadians = 0.017453292f;
constexpr float kToDegrees = 57.295776f;
constexpr double kQuarterTurn = 1.5707963267948966;
// Objects larger than this turn their facing as one of this radius.
constexpr float kLargestTurningRadius = 60.0f;
// A star system is reached this far inside its radius.
constexpr double kSystemArrivalShare = 0.85;
// Aim vectors this short are not scaled.
constexpr double kAimLengthSquared = 1e-8;

// Orbits made by orbitAround: about a star, its radius times this as the
// mass; about anything else, this mass and mass radius.
constexpr float kStarMassPerRadius = 9.090908861e-05f;
constexpr float kBodyMass = 2.0f;
constexpr float kBodyMassRadius = 4.0f;
constexpr float kQuarterTurnF = 1.570796371f;
constexpr float kFullTurnF = 6.283185482f;
constexpr float kFlatOrbit = 0.0001f;  // heights up to this give a flat orbit

// startParkOrbit: bodies this many times heavier than the object are
// parked at like planets; reach is body radius + object radius² + 30.
constexpr double kHeavyBodyFactor = 1000.0;
constexpr float kParkReach = 30.0f;

// The nesting depth of the records being read on this thread.
thread_local int readNesting = 0;

// A vector in double precision, for the steps whose products are formed in
// double and stored as floats.
struct Vec {
  double x = 0.0, y = 0.0, z = 0.0;
  Vec() = default;
  Vec(double vx, double vy, double vz) : x(vx), y(vy), z(vz) {}
  explicit Vec(const vector3df& v) : x(v.X), y(v.Y), z(v.Z) {}
  Vec operator+(const Vec& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec operator-(const Vec& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec operator*(double k) const { return {x * k, y * k, z * k}; }
  double lengthSquared() const { return x * x + y * y + z * z; }
  double length() const { return std::sqrt(lengthSquared()); }
  vector3df toFloat() const { return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)}; }
};

bool isZero(const vector3df& v) { return v.X == 0.0f && v.Y == 0.0f && v.Z == 0.0f; }

// `position` moved on by `velocity` and `acceleration` over `dt`.
vector3df integrate(const generic_object& object, double dt) {
  return (Vec(object.position) + Vec(object.velocity) * dt + Vec(object.acceleration) * (dt * dt * 0.5)).toFloat();
}

vector3df readVector(SaveStream& stream) {
  vector3df v;
  stream.readFloat3(v.X, v.Y, v.Z);
  return v;
}

void writeVector(SaveStream& stream, const vector3df& v) {
  stream.writeFloat(v.X);
  stream.writeFloat(v.Y);
  stream.writeFloat(v.Z);
}

// Counts the records being read inside one another on this thread.
struct NestingGuard {
  NestingGuard() {
    if (readNesting >= kMaxNesting)
      throw kInvalidState;
    ++readNesting;
  }
  ~NestingGuard() { --readNesting; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
};

// Frees a handler once the steps queued before it have run: reading it
// queued steps that name it. Deleted unrun, it frees the handler all the
// same.
class FreeHandlerStep : public PostObjectTreeStep {
 public:
  explicit FreeHandlerStep(MoveHandler* handler) : handler_(handler) {}
  ~FreeHandlerStep() override {
    if (handler_ != nullptr)
      handler_->release();
  }
  FreeHandlerStep(const FreeHandlerStep&) = delete;
  FreeHandlerStep& operator=(const FreeHandlerStep&) = delete;
  void run() override {
    handler_->release();
    handler_ = nullptr;
  }

 private:
  MoveHandler* handler_;
};

// The thread's scratch stream, emptied, or `fallback` on a thread without
// one.
RakNet::BitStream& messageStream(RakNet::BitStream& fallback) {
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  return stream;
}

void sendToClients(RakNet::BitStream& stream) {
  networkManager->send(&stream, kChannelObjectEvents, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

void sendOrbitStart(const generic_object& object, const OrbitOtherMover& orbit) {
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = messageStream(fallback);
  writeOrbitStartMessage(stream, object, orbit);
  sendToClients(stream);
}

void sendOrbitEnd(const generic_object& object) {
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = messageStream(fallback);
  writeOrbitEndMessage(stream, object);
  sendToClients(stream);
}

bool hostingNetworkGame() { return networkManager->isServer; }

}  // namespace

// --- Pool ----------------------------------------------------------------------

ObjectPool& mobileMoverPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(MobileMover));  // for the whole process
  return *pool;
}

void* MobileMover::operator new(size_t size) { return mobileMoverPool().allocate(size); }

void MobileMover::operator delete(void* memory) { mobileMoverPool().free(memory); }

MobileMover::~MobileMover() {
  setObjectRef(target, nullptr);
  delete parkOrbit;
}

MobileMover* MobileMover::of(const generic_object* object) {
  return object != nullptr ? dynamic_cast<MobileMover*>(object->mover) : nullptr;
}

// --- Goals -----------------------------------------------------------------

OrbitOtherMover& MobileMover::ensureParkOrbit() {
  if (parkOrbit == nullptr) {
    parkOrbit = new OrbitOtherMover();
    parkOrbit->active = false;
  }
  return *parkOrbit;
}

void MobileMover::clearTarget() {
  setObjectRef(target, nullptr);
  targetMissing = false;
  missingTargetUid = 0;
}

void MobileMover::releaseParkOrbit() {
  if (parkOrbitInUse() && static_cast<double>(thrust) >= kReleaseThrust)
    parkOrbit->active = false;
}

void MobileMover::setDestination(const vector3df& point) { setDestinationWithVelocity(point, vector3df(0, 0, 0)); }

void MobileMover::setDestinationWithVelocity(const vector3df& point, const vector3df& velocity) {
  releaseParkOrbit();
  destination = point;
  frameVelocity = velocity;
  clearTarget();
}

void MobileMover::setTargetObject(generic_object* object) {
  releaseParkOrbit();
  hasOffset = false;
  targetMissing = false;
  missingTargetUid = 0;
  if (object != target) {
    frameVelocity = vector3df(0, 0, 0);
    setObjectRef(target, object);
  }
}

void MobileMover::setTargetWithOffset(generic_object* object, const vector3df& offset) {
  setTargetObject(object);
  destination = offset;
  hasOffset = true;
}

void MobileMover::setParked(bool flag) {
  parked = flag;
  if (flag) {
    clearTarget();
    ensureParkOrbit();
  } else if (parkOrbit != nullptr) {
    parkOrbit->active = false;
  }
}

void MobileMover::stopHere(generic_object& object) {
  hasOffset = false;
  frameVelocity = vector3df(0, 0, 0);
  clearTarget();
  destination = object.getPosition();
}

// --- Orbits ----------------------------------------------------------------

bool MobileMover::isOrbitChainShort(const generic_object* body, const generic_object* object) {
  const generic_object* link = body;
  for (int step = 0; step < 5; ++step) {
    if (link == nullptr)
      return true;
    if (link == object)
      return false;
    if (const MobileMover* mover = of(link))
      link = mover->getParkedOrbitBody();
  }
  return false;
}

void MobileMover::orbitAround(generic_object& object, generic_object* body) {
  if (body == nullptr || body == &object) {
    if (parkOrbit != nullptr && parkOrbit->active) {
      parkOrbit->active = false;
      if (hostingNetworkGame())
        sendOrbitEnd(object);
    }
    return;
  }

  OrbitOtherMover& orbit = ensureParkOrbit();
  orbit.active = true;
  parked = true;
  vector3df rel = object.position - body->position;
  if (body->getType() == OT_Star) {
    if (body->mover == nullptr) {
      orbit.setOrbited(body);
    } else {
      // A moving star: circle the container's origin through the present place.
      rel = object.position;
      orbit.setOrbited(nullptr);
    }
    const float radius = std::sqrt(rel.X * rel.X + rel.Z * rel.Z);
    orbit.setOrbit(radius, body->radius * kStarMassPerRadius, body->radius, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
  } else {
    orbit.setOrbited(body);
    const float radius = std::sqrt(rel.X * rel.X + rel.Z * rel.Z);
    orbit.setOrbit(radius, kBodyMass, kBodyMassRadius, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
  }

  // A quarter of the way round the orbit passes through the present offset,
  // so the object does not jump.
  float yaw = std::atan2(rel.Z, rel.X) - kQuarterTurnF;
  if (yaw < 0.0f)
    yaw += kFullTurnF;
  orbit.setYaw(yaw);
  orbit.yAmplitude = std::fabs(rel.Y) > kFlatOrbit ? rel.Y : 0.0f;
  orbit.yearPosition = 0.25f;

  if (hostingNetworkGame())
    sendOrbitStart(object, orbit);
}

void MobileMover::startParkOrbit(generic_object& object) {
  if (!parked)
    return;
  ensureParkOrbit().active = false;
  if (object.hasFlag(FLAG_REPARENT))
    return;
  generic_object* system = object.container.load();
  if (system == nullptr || system->getType() != OT_System)
    return;

  const float radiusSquared = object.radius * object.radius;
  const double heavy = kHeavyBodyFactor * object.getMass();
  generic_object* star = nullptr;
  for (irr::u32 i = 0; i < system->children.size(); ++i) {
    generic_object* body = system->children[i].get();
    if (body == &object)
      continue;
    const int type = body->getType();
    if (type == OT_Star) {
      star = body;
      continue;
    }
    if (type != OT_Planet && !(body->getMass() > heavy))
      continue;
    const float reach = body->radius + radiusSquared + kParkReach;
    if ((body->position - object.position).getLengthSQ() <= reach * reach) {
      if (isOrbitChainShort(body, &object))
        orbitAround(object, body);
      break;
    }
  }
  if (star != nullptr && !parkOrbit->active)
    orbitAround(object, star);
}

// --- Motion ----------------------------------------------------------------

void MobileMover::coast(float dt, generic_object& object) {
  const Vec velocity(object.velocity);
  const double speed = velocity.length();
  if (speed == 0.0) {
    object.acceleration = vector3df(0, 0, 0);
    return;
  }
  if (dt == 0.0f)
    return;
  const double step = dt;
  const double k = std::max(speed - step, 0.0) / speed;
  object.position = integrate(object, step);
  const vector3df slower = (velocity * k).toFloat();
  object.acceleration = ((Vec(slower) - velocity) * (1.0 / step)).toFloat();
  object.velocity = slower;
  if (k <= 0.0 && parkOrbitInUse())
    startParkOrbit(object);
}

void MobileMover::tick(float dt, generic_object& object) {
  // Circling in the park orbit.
  if (parkOrbitInUse()) {
    generic_object* outer = object.container.load();
    if (parkOrbit->orbited != nullptr || outer == nullptr || outer->getType() != OT_Galaxy) {
      parkOrbit->tick(dt, object);
      destination = object.getPosition();
      clearTarget();
      return;
    }
  }

  // A target that is gone (or that a load could not find): stop here.
  if (targetMissing || (target != nullptr && (!target->isValid() || target->container.load() == nullptr))) {
    releaseParkOrbit();
    stopHere(object);
  }

  if (thrust <= 0.0f || maxAcceleration <= 0.0f) {
    coast(dt, object);
    return;
  }

  const double step = dt;
  object.position = integrate(object, step);
  const double a = std::min(static_cast<double>(maxAcceleration), thrust / object.getMass());

  generic_object* const goal = target;
  const bool offsetFrame = goal != nullptr && hasOffset;
  const vector3df here = object.getPosition();
  const vector3df goalPlace = goal != nullptr ? goal->getPosition() : destination;
  Vec aim = Vec(goalPlace) - Vec(here);

  // Steering works in the frame of the target (with an offset) or of the
  // destination point; the velocity is moved back into the container's
  // frame at the end.
  if (offsetFrame)
    object.velocity = (Vec(object.velocity) - Vec(goal->velocity)).toFloat();
  if (goal != nullptr) {
    // The intercept sees the mover at its place less the offset; the
    // object's own position is left untouched.
    vector3df relative = goalPlace - here;
    if (offsetFrame)
      relative += destination;
    const double T =
        interceptTime(relative, goal->velocity - object.velocity, goal->acceleration, a, interceptGuess);
    if (std::isfinite(T) && T > 0.0)
      aim = aim + Vec(goal->velocity) * T + Vec(goal->acceleration) * (T * T * 0.5);
  }
  if (offsetFrame)
    aim = aim + Vec(destination);
  if (goal == nullptr)
    object.velocity = (Vec(object.velocity) - Vec(frameVelocity)).toFloat();

  const double aimSquared = aim.lengthSquared();
  const double aimLength = std::sqrt(aimSquared);
  double distance = aimLength - object.radius;
  if (goal != nullptr)
    distance -= goal->getType() == OT_System ? kSystemArrivalShare * goal->radius : goal->radius;

  if (distance > 0.0) {
    // The wanted velocity: the speed from which braking with `a` stops
    // exactly at the goal.
    Vec wanted = aim;
    if (std::fabs(aimSquared) > kAimLengthSquared)
      wanted = aim * (std::sqrt(2.0 * a * distance) * (1.0 / aimLength));
    const Vec old(object.velocity);
    // The thrust points from the old velocity to the wanted one; the change
    // of velocity is a share of it, so the object's heading is taken from
    // the thrust itself (which also spares the heading the wait for the
    // new velocity).
    const Vec thrustDirection = wanted - old;
    const double gap = thrustDirection.length();
    const double yaw = headingAtan2(-thrustDirection.x, -thrustDirection.z);
    const double pitch =
        headingAtan2(thrustDirection.y, std::sqrt(thrustDirection.x * thrustDirection.x +
                                                  thrustDirection.z * thrustDirection.z));
    if (gap > 0.0) {
      const double f = std::min(a * step / gap, 1.0);
      object.velocity = (old * (1.0 - f) + wanted * f).toFloat();
    }
    const Vec change = Vec(object.velocity) - old;
    // Without a change of velocity there is no thrust to turn to, and the
    // heading stays.
    if (change.lengthSquared() > 0.0) {
      object.rotation.Y = static_cast<float>(yaw * kSteeringDegrees);
      object.rotation.X = static_cast<float>(pitch * kSteeringDegrees);
    }
    object.acceleration = change.toFloat();
  } else if (dt != 0.0f) {
    if (isZero(object.velocity)) {
      object.acceleration = vector3df(0, 0, 0);
      if (parked && (goal == nullptr || !hasOffset))
        startParkOrbit(object);
    } else {
      const Vec old(object.velocity);
      const double speed = old.length();
      const double slower = std::max(speed - a * step, 0.0);
      object.velocity = (old * (slower / speed)).toFloat();
      object.acceleration = ((Vec(object.velocity) - old) * (1.0 / step)).toFloat();
    }
    if (offsetFrame)
      object.rotation = goal->rotation;
  }

  if (offsetFrame)
    object.velocity = (Vec(object.velocity) + Vec(goal->velocity)).toFloat();
  else if (goal == nullptr)
    object.velocity = (Vec(object.velocity) + Vec(frameVelocity)).toFloat();
}

vector3df& MobileMover::getDisplacement(vector3df& out, float t, generic_object& object) {
  if (parkOrbitInUse())
    return parkOrbit->getDisplacement(out, t, object);
  return MoveHandler::getDisplacement(out, t, object);
}

vector3df& MobileMover::getFacing(vector3df& out, float t, generic_object& object) {
  if (parkOrbitInUse())
    return parkOrbit->getFacing(out, t, object);

  const irr::core::quaternion wanted(object.rotation.X * kToRadians, object.rotation.Y * kToRadians,
                                     object.rotation.Z * kToRadians);
  const float d = facing.dotProduct(wanted);
  if (d < 0.999f && d >= -1.0f) {
    const double angle = std::acos(d);
    const double turn = ((object.localTime - facingTime) + t) * kQuarterTurn /
                        std::min(object.radius, kLargestTurningRadius);
    // No time on an object of radius 0 gives 0/0: no turn.
    const double fraction = std::isnan(turn) ? 0.0 : std::min(turn, angle);
    facing.slerp(facing, wanted, static_cast<float>(fraction));
    facing.normalize();
  }
  facingTime = object.localTime;
  vector3df euler;
  facing.toEuler(euler);
  out = euler * kToDegrees;
  return out;
}

// --- Records ---------------------------------------------------------------

void MobileMover::write(SaveStream& stream) {
  stream.writeU16(kMobileKind);
  stream.writeFloat(thrust);
  stream.writeFloat(spare);
  stream.writeFloat(maxAcceleration);
  const bool towardsObject = target != nullptr || targetMissing;
  if (towardsObject) {
    const uint32_t uid = target != nullptr ? target->uid : missingTargetUid;
    stream.writeU8(hasOffset ? kModeTarget | kModeOffset : kModeTarget);
    stream.writeU32(uid);
    if (hasOffset)
      writeVector(stream, destination);
  } else {
    stream.writeU8(kModePoint);
    writeVector(stream, destination);
    writeVector(stream, frameVelocity);
  }
  stream.writeU8(parked ? 1 : 0);
  if (parked)
    ensureParkOrbit().write(stream);
}

MobileMover* MobileMover::readRecord(SaveStream& stream) {
  const NestingGuard nesting;
  MobileMover* mover = new MobileMover();
  try {
    mover->thrust = stream.readFloat();
    mover->spare = stream.readFloat();
    mover->maxAcceleration = stream.readFloat();
    const uint8_t mode = stream.readU8();
    uint32_t uid = 0;
    bool withTarget = false;
    bool withOffset = false;
    vector3df offset;
    if ((mode & kModePoint) != 0) {
      mover->destination = readVector(stream);
      mover->frameVelocity = readVector(stream);
    } else if ((mode & kModeTarget) != 0) {
      withTarget = true;
      uid = stream.readU32();
      withOffset = (mode & kModeOffset) != 0;
      if (withOffset)
        offset = readVector(stream);
    } else {
      throw kInvalidState;
    }

    // The target is set before the park orbit is attached, as it was saved
    // (setting a target releases a park orbit in use).
    if (withTarget) {
      if (generic_object* object = getObjectByUID(uid)) {
        if (withOffset)
          mover->setTargetWithOffset(object, offset);
        else
          mover->setTargetObject(object);
      } else {
        // Until the step finds it, the record is kept as read.
        mover->targetMissing = true;
        mover->missingTargetUid = uid;
        mover->hasOffset = withOffset;
        if (withOffset)
          mover->destination = offset;
      }
    }

    MoveHandler* nested = nullptr;
    size_t stepsBefore = 0;
    if (stream.version() >= kParkedVersion) {
      mover->parked = stream.readU8() != 0;
      if (mover->parked) {
        stepsBefore = queuedPostObjectTreeSteps();
        nested = readMoveHandler(stream);
      }
    }
    if (mover->parked) {
      auto* orbit = dynamic_cast<OrbitOtherMover*>(nested);
      if (orbit != nullptr) {
        mover->parkOrbit = orbit;
      } else {
        // A parked mover always owns a park orbit: anything else in its
        // place is let go (after the steps its record queued, which name
        // it) and a new, inactive one made.
        if (nested != nullptr) {
          if (queuedPostObjectTreeSteps() != stepsBefore)
            queuePostObjectTreeStep(new FreeHandlerStep(nested));
          else
            nested->release();
        }
        mover->ensureParkOrbit();
      }
    }
  } catch (...) {
    delete mover;
    throw;
  }

  // Queued last, so that a record that fails leaves no step naming it.
  if (mover->targetMissing) {
    if (mover->hasOffset)
      queuePostObjectTreeStep(new MobileMoverSetTarget(mover, mover->missingTargetUid, mover->destination));
    else
      queuePostObjectTreeStep(new MobileMoverSetTarget(mover, mover->missingTargetUid));
  }
  return mover;
}

void MobileMoverSetTarget::run() {
  generic_object* object = getObjectByUID(uid_);
  if (object == nullptr) {
    // Nothing has the UID: the mover stops where it is at its next tick.
    mover_->targetMissing = true;
    mover_->missingTargetUid = uid_;
    mover_->hasOffset = hasOffset_;
    if (hasOffset_)
      mover_->destination = offset_;
    return;
  }
  // As the record was saved: the park orbit is not released by this.
  const bool wasInUse = mover_->parkOrbitInUse();
  if (hasOffset_)
    mover_->setTargetWithOffset(object, offset_);
  else
    mover_->setTargetObject(object);
  if (wasInUse)
    mover_->parkOrbit->active = true;
}

// --- Messages --------------------------------------------------------------

void writeOrbitState(RakNet::BitStream& stream, const OrbitOtherMover& orbit) {
  float state[OrbitMoverBase::kStateFloats];
  orbit.getStateFloats(state);
  const float offset[3] = {orbit.centreOffset.X, orbit.centreOffset.Y, orbit.centreOffset.Z};
  stream.WriteReversedBlock(state, sizeof state);
  stream.WriteReversedBlock(offset, sizeof offset);
}

bool readOrbitState(RakNet::BitStream& stream, OrbitOtherMover& orbit) {
  float state[OrbitMoverBase::kStateFloats];
  float offset[3];
  if (!stream.ReadReversedBlock(state, sizeof state) || !stream.ReadReversedBlock(offset, sizeof offset))
    return false;
  orbit.setStateFloats(state);
  orbit.centreOffset = vector3df(offset[0], offset[1], offset[2]);
  return true;
}

void writeOrbitStartMessage(RakNet::BitStream& stream, const generic_object& object, const OrbitOtherMover& orbit) {
  stream.Write(kMsgDockEvent);
  writeNetObjectRef(stream, &object);
  stream.Write(kDockOrbitStart);
  writeOrbitState(stream, orbit);
  writeNetObjectRef(stream, orbit.orbited);
}

void writeOrbitEndMessage(RakNet::BitStream& stream, const generic_object& object) {
  stream.Write(kMsgDockEvent);
  writeNetObjectRef(stream, &object);
  stream.Write(kDockOrbitEnd);
}

void writeParkRequest(RakNet::BitStream& stream, const generic_object* object, bool park) {
  stream.Write(kMsgPark);
  stream.Write(kParkRequest);
  writeNetObjectRef(stream, object);
  stream.Write(park);
}

bool readParkRequest(RakNet::BitStream& stream, uint32_t& uid, bool& park) {
  uint8_t subCode = 0;
  if (!stream.Read(subCode) || subCode != kParkRequest)
    return false;
  const uint32_t id = readNetUInt(stream);
  bool flag = false;
  if (!stream.Read(flag))
    return false;
  uid = id;
  park = flag;
  return true;
}

void applyParkRequest(generic_object& object, bool park) {
  object.lockContainer();
  if (object.isValid()) {
    if (MobileMover* mover = MobileMover::of(&object)) {
      mover->setParked(park);
      mover->startParkOrbit(object);
    }
  }
  object.unlockContainer();
}
