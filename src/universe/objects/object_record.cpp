#include "universe/objects/object_record.h"

#include <cmath>
#include <limits>

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "design/build/constructible.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/orders/unit_ai.h"

namespace {

enum RecordFlag : uint8_t {
  RF_States = 0x01,
  RF_BuildQueue = 0x02,
  RF_AI = 0x04,
  RF_Mover = 0x08,
  RF_InFleet = 0x10,
  RF_Owner = 0x20,
  RF_RepeatQueue = 0x40,
  RF_AlwaysVisible = 0x80,
};

// The record's flags that mirror flag-word bits.
struct MirroredFlag {
  uint8_t record;
  uint32_t object;
};
constexpr MirroredFlag kMirroredFlags[] = {
    {RF_InFleet, FLAG_IN_FLEET},
    {RF_RepeatQueue, FLAG_REPEAT_QUEUE},
    {RF_AlwaysVisible, FLAG_ALWAYS_VISIBLE},
};

// First version with the present layout of the geometry; the versions whose
// build queue holds the repeat byte.
constexpr int32_t kGeometryVersion = 8;
constexpr int32_t kFirstRepeatByteVersion = 9;
constexpr int32_t kLastRepeatByteVersion = 24;
// Bytes of the older geometry that nothing reads.
constexpr uint64_t kOldUnusedGeometry = 8;

// Coordinates beyond this (or NaN) are damage, replaced by kRepairedCoordinate.
constexpr float kCoordinateLimit = 1e32f;
constexpr float kRepairedCoordinate = 0.1f;

// UIDs a record may not hold: 0 is no object; the last one would put the
// UID counter back to 0.
constexpr uint32_t kNoUid = 0;
constexpr uint32_t kLastUid = std::numeric_limits<uint32_t>::max();

void repairCoordinate(float& value) {
  if (std::isnan(value) || value > kCoordinateLimit || value < -kCoordinateLimit)
    value = kRepairedCoordinate;
}

void repairVector(vector3df& v) {
  repairCoordinate(v.X);
  repairCoordinate(v.Y);
  repairCoordinate(v.Z);
}

uint16_t checkedCount(irr::u32 count) {
  if (count > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;
  return static_cast<uint16_t>(count);
}

}  // namespace

// --- Writing -------------------------------------------------------------------

void writeBaseRecord(SaveStream& stream, generic_object& object) {
  stream.writePackedUInt(object.uid);
  stream.writeString(object.name);
  stream.writeFloat(object.radius);
  stream.writeDouble(object.baseMass);
  const vector3df& at = object.position;
  const vector3df& turn = object.rotation;
  const vector3df& speed = object.velocity;
  const float eight[8] = {at.X, at.Y, turn.X, turn.Y, turn.Z, speed.X, speed.Y, speed.Z};
  stream.writePackedFloats8(eight);
  const float four[4] = {at.Z, object.cargoUsed, object.cargoSpace, object.dockSpace};
  stream.writePackedFloats4(four);

  const EmpireID ownerId = object.owner != nullptr ? object.owner->ID : kInvalidEmpireID;
  uint8_t flags = 0;
  if (object.states.size() > 0)
    flags |= RF_States;
  if (object.buildQueue.size() > 0)
    flags |= RF_BuildQueue;
  if (object.ai != nullptr)
    flags |= RF_AI;
  if (object.mover != nullptr)
    flags |= RF_Mover;
  if (ownerId != kSpaceEmpireID)
    flags |= RF_Owner;
  for (const MirroredFlag& mirrored : kMirroredFlags)
    if (object.hasFlag(mirrored.object))
      flags |= mirrored.record;
  stream.writeU8(flags);
  if ((flags & RF_Owner) != 0)
    stream.writeEmpireId(ownerId);

  if ((flags & RF_States) != 0) {
    object.states.sort();  // by name: the order a loaded list has
    stream.writeU16(checkedCount(object.states.size()));
    for (irr::u32 i = 0; i < object.states.size(); ++i) {
      const State& state = *object.states[i];
      saveCommonString(stream, state.entryName());
      const storedAmount& amount = state.value;
      const float values[4] = {amount.val, amount.required, amount.max, amount.inCargo};
      stream.writePackedFloats4(values);
    }
  }
  if ((flags & RF_BuildQueue) != 0) {
    stream.writeU16(checkedCount(object.buildQueue.size()));
    for (irr::u32 i = 0; i < object.buildQueue.size(); ++i)
      object.buildQueue[i]->save(stream);
  }
  if ((flags & RF_Mover) != 0)
    object.mover->write(stream);
  if ((flags & RF_AI) != 0)
    object.ai->save(stream);
}

// --- Reading -------------------------------------------------------------------

generic_object::generic_object(SaveStream& stream, generic_object* outer) : localTime(gameTime.load()) {
  if (outer != nullptr) {
    outer->grab();
    container.store(outer);
  }
  try {
    readBaseRecord(stream);
  } catch (...) {
    loadError_ = std::current_exception();
  }
}

void generic_object::loadOwnFields(SaveStream& stream) {
  if (loadError_ != nullptr)
    return;
  try {
    readOwnFields(stream);
  } catch (...) {
    loadError_ = std::current_exception();
  }
}

void generic_object::readBaseRecord(SaveStream& stream) {
  const int32_t version = stream.version();

  // 1. The UID, under which the object is found from now on.
  const uint32_t savedUid = stream.readPackedUInt();
  if (savedUid == kNoUid || savedUid == kLastUid || getObjectByUID(savedUid) != nullptr)
    throw kSaveErrorObjectTreeMalformed;
  uid = savedUid;
  registerUid(uid, this);
  noteLoadedUid(uid + 1);

  // 2. Name and geometry.
  stream.readString(name);
  radius = stream.readFloat();
  baseMass = stream.readDouble();
  if (version < kGeometryVersion) {
    stream.skipBytes(kOldUnusedGeometry);
    position.Z = stream.readFloat();
  }
  float eight[8];
  stream.readPackedFloats8(eight);
  position.X = eight[0];
  position.Y = eight[1];
  rotation.set(eight[2], eight[3], eight[4]);
  velocity.set(eight[5], eight[6], eight[7]);
  float four[4];
  stream.readPackedFloats4(four);
  if (version >= kGeometryVersion) {
    position.Z = four[0];
    cargoUsed = four[1];
    cargoSpace = four[2];
  } else {
    cargoUsed = four[0];
    cargoSpace = four[1];
  }
  dockSpace = four[3];

  // 3.
  repairVector(position);
  repairVector(rotation);
  repairVector(velocity);

  // 4.
  const uint8_t flagsByte = stream.readU8();
  for (const MirroredFlag& mirrored : kMirroredFlags) {
    if ((flagsByte & mirrored.record) != 0)
      setFlag(mirrored.object);
    else
      clearFlag(mirrored.object);
  }

  // 5. The owner. It registers the object, and the container (kept by the
  // constructor, 6) takes it as a child, once the kind is complete
  // (finishLoadedObject).
  const EmpireID ownerId = (flagsByte & RF_Owner) != 0 ? stream.readEmpireId() : kSpaceEmpireID;
  owner = getEmpireByID(ownerId);

  // 7. States.
  if ((flagsByte & RF_States) != 0) {
    const uint16_t count = stream.readU16();
    for (uint16_t i = 0; i < count; ++i) {
      const irr::core::stringw* stateName = readCommonString(stream);
      float values[4];
      stream.readPackedFloats4(values);
      State* state = addObjectState(states, *stateName);
      storedAmount& amount = state->value;
      amount.val = values[0];
      amount.required = values[1];
      amount.max = values[2];
      amount.inCargo = values[3];
      const cargoData* resource = findResource(*stateName);
      amount.resource = resource != nullptr ? resource : defaultResource();
    }
  }

  // 8. Build queue: the items in order. An item saved as none (a rebuild,
  // or nothing left to restore) is skipped. The queue owns each item as
  // soon as it is read, so a later failure frees it with the object.
  if ((flagsByte & RF_BuildQueue) != 0) {
    const uint16_t count = stream.readU16();
    if (version >= kFirstRepeatByteVersion && version <= kLastRepeatByteVersion)
      setRepeatQueue(stream.readU8() != 0);
    for (uint16_t i = 0; i < count; ++i)
      if (constructible* item = loadConstructible(stream))
        buildQueue.push_back(item);
  }

  // 9. Mover, then AI, as written.
  if ((flagsByte & RF_Mover) != 0)
    mover = readMoveHandler(stream);
  if ((flagsByte & RF_AI) != 0)
    loadObjectAI(stream, *this);
}

// --- Joining or giving up --------------------------------------------------------

void finishLoadedObject(generic_object* object) {
  if (object->loadError_ == nullptr) {
    // Star systems and the galaxy stay out of their owner's objects, as new
    // ones do: their destruction never takes them out again.
    const int type = object->getType();
    if (type != OT_System && type != OT_Galaxy)
      object->owner->registerObject(object);
    if (generic_object* outer = object->container.load())
      outer->addChild(object);
    return;
  }

  const std::exception_ptr error = object->loadError_;
  object->loadError_ = nullptr;
  object->clearFlag(FLAG_VALID);
  object->owner = nullptr;
  unregisterUid(object->uid, object);
  if (generic_object* outer = object->container.exchange(nullptr))
    outer->drop();
  object->drop();
  std::rethrow_exception(error);
}
