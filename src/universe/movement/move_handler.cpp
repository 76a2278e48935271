// Reading movement handlers from save records: the u16 kind picks the class
// (1 orbit, 2 mobile; anything else, 0 included, is no handler), and the
// orbit readers apply the version rules of the kind 1 records.
#include <cstdint>

#include "core/post_load.h"
#include "core/save_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/object_registry.h"

namespace {

constexpr uint16_t kOrbitKind = 1;
constexpr uint16_t kMobileKind = 2;
constexpr uint8_t kOrbitTypeFixed = 0;
constexpr uint8_t kOrbitTypeOther = 1;

// First save versions with the active byte (an orbit about another object
// got it one version earlier) and with the centre.
constexpr int32_t kFixedActiveVersion = 21;
constexpr int32_t kOtherActiveVersion = 20;
constexpr int32_t kCentreVersion = 35;

constexpr SaveFileError kInvalidOrbitType{5, "Invalid Orbit Type"};

vector3df readVector(SaveStream& stream) {
  vector3df v;
  stream.readFloat3(v.X, v.Y, v.Z);
  return v;
}

// A new mover of type T with its record read; nothing kept when it fails.
template <class T>
MoveHandler* readOrbit(SaveStream& stream) {
  T* mover = new T();
  try {
    mover->read(stream);
  } catch (...) {
    delete mover;
    throw;
  }
  return mover;
}

}  // namespace

void OrbitMover::read(SaveStream& stream) {
  readOrbitBlock(stream);
  active = stream.version() >= kFixedActiveVersion ? stream.readU8() != 0 : true;
  centre = stream.version() >= kCentreVersion ? readVector(stream) : vector3df(0.0f, 0.0f, 0.0f);
}

void OrbitOtherMover::read(SaveStream& stream) {
  readOrbitBlock(stream);
  const uint32_t uid = stream.readU32();
  active = stream.version() >= kOtherActiveVersion ? stream.readU8() != 0 : true;
  centreOffset = stream.version() >= kCentreVersion ? readVector(stream) : vector3df(0.0f, 0.0f, 0.0f);
  // Queued once the whole record is read, so that a short record leaves no
  // step behind that names a mover which is never made.
  if (uid != 0)
    queuePostObjectTreeStep(new OrbitOtherStep(this, uid));
}

void OrbitOtherStep::run() { mover_->setOrbited(getObjectByUID(uid_)); }

MoveHandler* readMoveHandler(SaveStream& stream) {
  const uint16_t kind = stream.readU16();
  if (kind == kMobileKind)
    return MobileMover::readRecord(stream);
  if (kind != kOrbitKind)
    return nullptr;
  const uint8_t type = stream.readU8();
  if (type == kOrbitTypeFixed)
    return readOrbit<OrbitMover>(stream);
  if (type == kOrbitTypeOther)
    return readOrbit<OrbitOtherMover>(stream);
  throw kInvalidOrbitType;
}
