#include "universe/movement/orbit_movers.h"

#include <algorithm>
#include <iterator>

#include <cmath>

#include "core/random.h"
#include "core/save_stream.h"
#include "universe/objects/object_registry.h"

namespace {

constexpr float kTwoPi = 6.283185482f;
constexpr float kPi = 3.141592741f;
constexpr int kOrbitKind = 1;
constexpr uint8_t kOrbitTypeFixed = 0;
constexpr uint8_t kOrbitTypeOther = 1;

void writeVector(SaveStream& stream, const vector3df& v) {
  stream.writeFloat(v.X);
  stream.writeFloat(v.Y);
  stream.writeFloat(v.Z);
}

}  // namespace

// --- Pools -------------------------------------------------------------------

ObjectPool& orbitMoverPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(OrbitMover));  // for the whole process
  return *pool;
}

ObjectPool& orbitOtherMoverPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(OrbitOtherMover));  // for the whole process
  return *pool;
}

void* OrbitMover::operator new(size_t size) { return orbitMoverPool().allocate(size); }

void OrbitMover::operator delete(void* memory) { orbitMoverPool().free(memory); }

void* OrbitOtherMover::operator new(size_t size) { return orbitOtherMoverPool().allocate(size); }

void OrbitOtherMover::operator delete(void* memory) { orbitOtherMoverPool().free(memory); }

// --- Geometry ----------------------------------------------------------------

void OrbitMoverBase::setOrbit(float radius, float mass, float massRadius, float yearPos, float yawAngle, float pitch,
                              float eccentricity, float daysPerYear) {
  // e >= 1 is the ratio of the two semi-axes; an eccentricity of 0 has no
  // inverse and counts as a circle.
  float e = eccentricity;
  if (e == 0.0f)
    e = 1.0f;
  else if (e < 1.0f)
    e = 1.0f / e;

  orbitRadius = radius;
  zAmplitude = radius;
  xAmplitude = radius * e * std::cos(pitch);
  yAmplitude = radius * e * std::sin(pitch);

  const float m = std::fabs(radius * (e * 0.5f + 0.5f)) / massRadius;
  period = 4.0f * m * std::sqrt(m) / mass;

  yearPosition = yearPos;
  setYaw(yawAngle);
  spinPerOrbit = daysPerYear;
}

bool OrbitMoverBase::hasPeriod() const { return period > 0.0f && std::isfinite(period); }

float OrbitMoverBase::angleAt(float t) const {
  const float year = hasPeriod() ? yearPosition + t / period : yearPosition;
  return kTwoPi * year;
}

vector3df OrbitMoverBase::orbitOffset(float theta) const {
  const float s = std::sin(theta);
  const float x = xAmplitude * std::cos(theta);
  const float y = yAmplitude * s;
  const float z = zAmplitude * s;
  if (yaw == 0.0f)
    return {x, y, z};
  return {x * yawCos - z * yawSin, y, x * yawSin + z * yawCos};
}

void OrbitMoverBase::setYaw(float angle) {
  yaw = angle;
  yawSin = std::sin(angle);
  yawCos = std::cos(angle);
}

void OrbitMoverBase::reseatAt(const vector3df& point) {
  setYaw(std::atan2(point.Z, point.X));
  yearPosition = 0.0f;
  if (point.Y == 0.0f) {
    const float length = point.getLength();
    xAmplitude = length;
    zAmplitude = length;
    orbitRadius = length;
  } else {
    xAmplitude = point.X;
    zAmplitude = point.Z;
    yAmplitude = point.Y;
  }
}

// --- Ticks -------------------------------------------------------------------

bool OrbitMoverBase::advanceYear(float dt) {
  if (!active)
    return false;
  if (hasPeriod()) {
    yearPosition += dt / period;
    if (yearPosition > 1.0f)
      yearPosition -= 1.0f;
  }
  return true;
}

vector3df OrbitMoverBase::pathVelocity(float dt) const {
  return (orbitOffset(angleAt()) - orbitOffset(angleAt(-dt))) / dt;
}

void OrbitMoverBase::placeAbout(const vector3df& centre, float dt, generic_object& object) const {
  object.position = centre + orbitOffset(angleAt());
  if (dt != 0.0f) {
    const vector3df velocity = pathVelocity(dt);
    object.acceleration = (velocity - object.velocity) / dt;
    object.velocity = velocity;
  }
}

void OrbitMover::tick(float dt, generic_object& object) {
  if (!advanceYear(dt))
    return;
  placeAbout(centre, dt, object);
  object.rotation.Y = yearPosition * 360.0f * spinPerOrbit;
}

void OrbitOtherMover::loseBody() {
  generic_object* body = orbited;
  MoveHandler* bodyMover = body->mover;
  if (bodyMover != nullptr && bodyMover->getKind() == kOrbitKind) {
    const OrbitMoverBase& bodyOrbit = *static_cast<const OrbitMoverBase*>(bodyMover);
    // The spin keeps its turns per second when both periods are real ones.
    if (hasPeriod() && bodyOrbit.hasPeriod())
      spinPerOrbit = bodyOrbit.period / period * spinPerOrbit;
    // Close to the body's last place: a spread of about our own radius
    // along the body's path (none when the body's path has no length).
    if (bodyOrbit.orbitRadius != 0.0f)
      yearPosition = bodyOrbit.yearPosition + (randomf(2.0f) - 1.0f) * orbitRadius /
                                                  (bodyOrbit.orbitRadius * bodyOrbit.orbitRadius * kPi);
    else
      yearPosition = bodyOrbit.yearPosition;
    yAmplitude = bodyOrbit.yAmplitude;
    xAmplitude = bodyOrbit.xAmplitude;
    zAmplitude = bodyOrbit.zAmplitude;
    yaw = bodyOrbit.yaw;
    yawSin = bodyOrbit.yawSin;
    yawCos = bodyOrbit.yawCos;
    period = bodyOrbit.period;
    orbitRadius = bodyOrbit.orbitRadius;
  } else {
    reseatAt(body->position + orbitOffset(angleAt()));
  }
  setOrbited(nullptr);
}

void OrbitOtherMover::tick(float dt, generic_object& object) {
  if (!advanceYear(dt))
    return;
  if (orbited != nullptr && !orbited->isValid())
    loseBody();

  generic_object* body = orbited;
  if (body == nullptr) {
    placeAbout(centreOffset, dt, object);
  } else if (body->container.load() == object.container.load()) {
    placeAbout(body->position + centreOffset, dt, object);
  } else {
    // The body is in another container: aim at its absolute place and move
    // there in our own container's terms.
    const vector3df goal = body->getPosition() + centreOffset + orbitOffset(angleAt());
    object.position += goal - object.getPosition();
    if (dt != 0.0f) {
      const vector3df velocity = pathVelocity(dt);
      object.acceleration = (velocity - object.velocity) / dt;
      object.velocity = velocity;
    }
  }
  object.rotation.Y = yearPosition * 360.0f * spinPerOrbit;
}

// --- Predictions -------------------------------------------------------------

vector3df& OrbitMoverBase::getDisplacement(vector3df& out, float t, generic_object&) {
  if (!active)
    out = vector3df(0.0f, 0.0f, 0.0f);
  else
    out = orbitOffset(angleAt(t)) - orbitOffset(angleAt());
  return out;
}

vector3df& OrbitMoverBase::getFacing(vector3df& out, float t, generic_object& object) {
  out = object.rotation;
  if (active && hasPeriod())
    out.Y += t / period * spinPerOrbit * 360.0f;
  return out;
}

vector3df& OrbitMover::getPredictedPosition(vector3df& out, float t, generic_object& object) {
  out = active ? orbitOffset(angleAt(t)) : object.position;
  return out;
}

vector3df& OrbitOtherMover::getDisplacement(vector3df& out, float t, generic_object& object) {
  OrbitMoverBase::getDisplacement(out, t, object);
  generic_object* body = orbited;
  if (active && body != nullptr && body->mover != nullptr) {
    vector3df bodyDisplacement;
    out += body->mover->getDisplacement(bodyDisplacement, t, *body);
  }
  return out;
}

vector3df& OrbitOtherMover::getPredictedPosition(vector3df& out, float t, generic_object& object) {
  if (!active) {
    out = object.position;
    return out;
  }
  out = orbitOffset(angleAt(t));
  generic_object* body = orbited;
  if (body != nullptr) {
    if (body->mover != nullptr) {
      vector3df bodyPlace;
      out += body->mover->getPredictedPosition(bodyPlace, t, *body);
    } else {
      out += body->position;
    }
  }
  return out;
}

// --- Body --------------------------------------------------------------------

OrbitOtherMover::~OrbitOtherMover() { setOrbited(nullptr); }

void OrbitOtherMover::setOrbited(generic_object* body) { setObjectRef(orbited, body); }

// --- Records -----------------------------------------------------------------

void OrbitMoverBase::writeOrbitBlock(SaveStream& stream) const {
  for (float value : {yaw, yAmplitude, zAmplitude, xAmplitude, period, orbitRadius, spinPerOrbit, yearPosition})
    stream.writeFloat(value);
}

void OrbitMoverBase::readOrbitBlock(SaveStream& stream) {
  float* const fields[] = {&yaw,    &yAmplitude,  &zAmplitude,   &xAmplitude,
                           &period, &orbitRadius, &spinPerOrbit, &yearPosition};
  for (float* field : fields)
    *field = stream.readFloat();
  setYaw(yaw);
}

void OrbitMover::write(SaveStream& stream) {
  stream.writeU16(kOrbitKind);
  stream.writeU8(kOrbitTypeFixed);
  writeOrbitBlock(stream);
  stream.writeU8(active ? 1 : 0);
  writeVector(stream, centre);
}

void OrbitOtherMover::write(SaveStream& stream) {
  stream.writeU16(kOrbitKind);
  stream.writeU8(kOrbitTypeOther);
  writeOrbitBlock(stream);
  stream.writeU32(orbited != nullptr ? orbited->uid : 0);
  stream.writeU8(active ? 1 : 0);
  writeVector(stream, centreOffset);
}

void OrbitMoverBase::getStateFloats(float (&state)[kStateFloats]) const {
  const float values[kStateFloats] = {yaw,         yAmplitude,   zAmplitude, xAmplitude, period,
                                      orbitRadius, spinPerOrbit, yearPosition, yawSin, yawCos};
  std::copy(std::begin(values), std::end(values), std::begin(state));
}

void OrbitMoverBase::setStateFloats(const float (&state)[kStateFloats]) {
  yaw = state[0];
  yAmplitude = state[1];
  zAmplitude = state[2];
  xAmplitude = state[3];
  period = state[4];
  orbitRadius = state[5];
  spinPerOrbit = state[6];
  yearPosition = state[7];
  yawSin = state[8];
  yawCos = state[9];
}
