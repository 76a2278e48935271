#include "universe/galaxygen/net_object_records.h"

#include <cmath>

#include "app/base/session_state.h"
#include "core/net_encoders.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/empire_names.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/mirror_objects.h"
#include "universe/objects/object_messages.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/objects/oddity.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/star.h"
#include "universe/planets/planet_types.h"

using irr::core::stringw;

namespace {

const stringw kDamageState = L"Damage";
const stringw kTemperatureState = L"Temp K";
const stringw kPlanetsStat = L"planets";
constexpr float kStarDamagePerVolume = 1000000.0f;
constexpr uint32_t kLastUid = 0xFFFFFFFFu;

// --- Writing -------------------------------------------------------------------

// The reversed block of three floats (a system's position, a centre).
void writeVectorBlock(RakNet::BitStream& stream, const vector3df& value) {
  const float block[3] = {value.X, value.Y, value.Z};
  stream.WriteReversedBlock(block, sizeof block);
}

void writePosition(RakNet::BitStream& stream, const vector3df& position) {
  stream.WriteVector(position.X, position.Y, position.Z);
}

// The planet's place in the type table, 0 when it has none there.
uint16_t planetTypeIndex(const objHabitation& planet) {
  if (planet.physicalType == nullptr || planet.physicalType->name == nullptr)
    return 0;
  const int index = findPlanetType(*planet.physicalType->name);
  return index >= 0 && index <= 0xFFFF ? static_cast<uint16_t>(index) : 0;
}

float stateValue(generic_object& object, const stringw& name) {
  const State* state = findObjectState(&object, name);
  return state != nullptr ? state->value.val : 0.0f;
}

// The record of `object` alone; false for a kind that is never sent.
bool writeRecordFields(generic_object& object, RakNet::BitStream& stream) {
  const int type = object.getType();
  if (type < OT_Planet || type > OT_System)
    return false;
  stream.Write(kMsgObjectRecord);
  writeNetObjectRef(stream, &object);
  // (A galaxy is written as kClientGalaxyUid, as in every message.)
  writeNetObjectRef(stream, object.container.load());
  stream.Write(static_cast<uint8_t>(type));
  writeNetEmpire(stream, object.getOwner());
  stream.Write(object.radius);
  writeNetStringW(stream, object.name, kMaxNetStringLength);

  switch (type) {
    case OT_Planet: {
      const auto& planet = static_cast<const objHabitation&>(object);
      writePosition(stream, object.position);
      stream.Write(planetTypeIndex(planet));
      stream.Write(planet.getStructureSpace());
      writeMoverRecord(object, stream);
      break;
    }
    case OT_Star:
      writePosition(stream, object.position);
      stream.Write(stateValue(object, kTemperatureState));
      writeMoverRecord(object, stream);
      break;
    case OT_Hulled: {
      writePosition(stream, object.position);
      const hull_list* layout = static_cast<const objHulled&>(object).getHull();
      stream.Write(layout != nullptr);
      if (layout != nullptr) {
        writeNetStringW(stream, layout->getName(), kMaxNetStringLength);
        writeNetEmpire(stream, layout->owner);
        stream.Write(layout->scale);
        stream.Write(static_cast<int32_t>(layout->role));
      }
      writeMoverRecord(object, stream);
      break;
    }
    case OT_Oddity: {
      stream.Write(static_cast<uint8_t>(static_cast<const objOddity&>(object).getOddityType()));
      writePosition(stream, object.position);
      const auto* orbit = dynamic_cast<const OrbitMover*>(object.mover);
      stream.Write(orbit != nullptr);
      if (orbit != nullptr) {
        float state[OrbitMoverBase::kStateFloats];
        orbit->getStateFloats(state);
        stream.WriteReversedBlock(state, sizeof state);
        writeVectorBlock(stream, orbit->centre);
      }
      break;
    }
    default:  // OT_System
      writeVectorBlock(stream, object.position);
      break;
  }
  return true;
}

// --- Reading -------------------------------------------------------------------

// A mover record as read; applied only once the whole record was read.
struct MoverFields {
  bool thrust = false;
  bool orbiting = false;
  float state[OrbitMoverBase::kStateFloats] = {};
  float offset[3] = {};
  uint32_t orbitedUid = 0;
};

bool readMoverFields(RakNet::BitStream& stream, MoverFields& out) {
  MoverFields fields;
  if (!stream.Read(fields.thrust))
    return false;
  // A mover that is not a mobile one wrote its 0 bit alone: a record may
  // end right there.
  if (!fields.thrust && stream.GetNumberOfUnreadBits() == 0) {
    out = fields;
    return true;
  }
  if (!stream.Read(fields.orbiting))
    return false;
  if (fields.orbiting) {
    if (!stream.ReadReversedBlock(fields.state, sizeof fields.state) ||
        !stream.ReadReversedBlock(fields.offset, sizeof fields.offset))
      return false;
    fields.orbitedUid = readNetUInt(stream);
    if (stream.ReadFailed())
      return false;
  }
  out = fields;
  return true;
}

void applyMoverFields(generic_object& object, const MoverFields& fields) {
  FakeMobileMover* mirror = FakeMobileMover::of(&object);
  if (mirror == nullptr)
    return;
  mirror->thrust = fields.thrust ? 1.0f : 0.0f;
  if (!fields.orbiting)
    return;
  OrbitOtherMover orbit;
  orbit.setStateFloats(fields.state);
  mirror->setState(orbit, vector3df(fields.offset[0], fields.offset[1], fields.offset[2]),
                   getObjectByUID(fields.orbitedUid));
}

// Everything a record carries, read whole before anything is made.
struct RecordFields {
  uint32_t uid = 0;
  uint32_t containerUid = 0;
  uint8_t type = 0;
  uint8_t ownerId = kInvalidEmpireID;
  float radius = 0.0f;
  stringw name;
  vector3df position;
  // Planets.
  uint16_t planetType = 0;
  float structureSpace = 0.0f;
  // Stars.
  float temperature = 0.0f;
  // Ships.
  bool hasLayout = false;
  stringw layoutName;
  uint8_t layoutOwnerId = kInvalidEmpireID;
  float layoutScale = 1.0f;
  int32_t layoutClass = 0;
  // Oddities.
  uint8_t oddityKind = ODT_Asteroid;
  bool oddityOrbits = false;
  float orbitState[OrbitMoverBase::kStateFloats] = {};
  float orbitCentre[3] = {};
  // Planets, stars and ships.
  MoverFields mover;
};

bool readPosition(RakNet::BitStream& stream, vector3df& out) {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  if (!stream.ReadVector(x, y, z))
    return false;
  out.set(x, y, z);
  return true;
}

bool readVectorBlock(RakNet::BitStream& stream, vector3df& out) {
  float block[3];
  if (!stream.ReadReversedBlock(block, sizeof block))
    return false;
  out.set(block[0], block[1], block[2]);
  return true;
}

// Reads the record after its identifier; false when it is short or of a
// kind that is not sent.
bool readRecordFields(RakNet::BitStream& stream, RecordFields& out) {
  out.uid = readNetUInt(stream);
  out.containerUid = readNetUInt(stream);
  if (!stream.Read(out.type) || !stream.Read(out.ownerId) || !stream.Read(out.radius) ||
      !readNetStringW(stream, out.name))
    return false;
  switch (out.type) {
    case OT_Planet:
      return readPosition(stream, out.position) && stream.Read(out.planetType) && stream.Read(out.structureSpace) &&
             readMoverFields(stream, out.mover);
    case OT_Star:
      return readPosition(stream, out.position) && stream.Read(out.temperature) &&
             readMoverFields(stream, out.mover);
    case OT_Hulled:
      if (!readPosition(stream, out.position) || !stream.Read(out.hasLayout))
        return false;
      if (out.hasLayout && !(readNetStringW(stream, out.layoutName) && stream.Read(out.layoutOwnerId) &&
                             stream.Read(out.layoutScale) && stream.Read(out.layoutClass)))
        return false;
      return readMoverFields(stream, out.mover);
    case OT_Oddity:
      if (!stream.Read(out.oddityKind) || !readPosition(stream, out.position) || !stream.Read(out.oddityOrbits))
        return false;
      if (out.oddityOrbits) {
        float centre[3];
        if (!stream.ReadReversedBlock(out.orbitState, sizeof out.orbitState) ||
            !stream.ReadReversedBlock(centre, sizeof centre))
          return false;
        for (int i = 0; i < 3; ++i)
          out.orbitCentre[i] = centre[i];
      }
      return true;
    case OT_System:
      return readVectorBlock(stream, out.position);
    default:
      return false;
  }
}

// The record's owner: none for 131 and for an ID that names no empire.
empire* ownerOf(uint8_t id) {
  if (id == kInvalidEmpireID)
    return nullptr;
  empire* emp = getEmpireByID(id);
  return emp != nullptr && emp->ID == id ? emp : nullptr;
}

// The layout a mirror ship is built from: the placeholder of the unknown
// layout, the owner's layout of that name, or a placeholder of that name
// that the owner files under it.
hull_list* layoutFor(const RecordFields& fields) {
  if (!fields.hasLayout)
    return getUnknownHullLayout();
  empire* emp = getEmpireByID(fields.layoutOwnerId);
  if (emp == nullptr)
    return getUnknownHullLayout();
  ScopedWriteLock guard(emp->locks[EA_HullLayouts]);
  NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(emp->hulls, fields.layoutName);
  if (entry.value == nullptr) {
    auto* layout = new hull_list(layout_desc(), emp, true);
    layout->name = fields.layoutName;
    layout->scale = fields.layoutScale;
    layout->role = static_cast<uint32_t>(fields.layoutClass);
    entry.value = layout;  // the table holds the layout's first reference
  }
  return entry.value;
}

void placeMirror(generic_object& object, const vector3df& position) {
  object.position = position;
  object.velocity.set(0.0f, 0.0f, 0.0f);
  FakeMobileMover::receiveUpdateFor(object, position, object.rotation);
}

generic_object* makePlanet(const RecordFields& fields, generic_object* container, empire* owner) {
  empire* space = getEmpireByID(kSpaceEmpireID);
  auto* planet = new sgHabitation(space, new FakeMobileMover());
  planet->setStructureSpace(fields.structureSpace);
  planet->radius = fields.radius;
  planet->setContainer(container);
  planet->setOwner(owner);
  // The system's "planets" of the owner count the planet once. Giving it to
  // a valid empire other than the space empire counted it already.
  const bool counted = owner != space && owner != nullptr && owner->isValid();
  if (container->systemStats != nullptr && owner != nullptr && !counted)
    statValue(getEmpireStats(*container->systemStats, owner), kPlanetsStat) += 1.0f;
  planet->physicalType = planetTypeRegistry()[fields.planetType].value;
  planet->name = fields.name;
  placeMirror(*planet, fields.position);
  applyMoverFields(*planet, fields.mover);
  return planet;
}

generic_object* makeStar(const RecordFields& fields, generic_object* container) {
  auto* star = new objStar(container, new FakeMobileMover());
  star->name = fields.name;
  star->radius = fields.radius;
  getOrAddObjectState(star, kDamageState)->value.max = fields.radius * fields.radius * fields.radius * kStarDamagePerVolume;
  State* temperature = getOrAddObjectState(star, kTemperatureState);
  temperature->value.val = fields.temperature;
  temperature->value.max = fields.temperature;
  placeMirror(*star, fields.position);
  applyMoverFields(*star, fields.mover);
  return star;
}

generic_object* makeShip(const RecordFields& fields, generic_object* container, empire* owner, hull_list* layout) {
  auto* ship = new sgHulled(owner, layout, new FakeMobileMover());
  ship->name = fields.name;
  ship->setContainer(container);
  ship->radius = fields.radius;
  ship->setOwner(owner);
  placeMirror(*ship, fields.position);
  applyMoverFields(*ship, fields.mover);
  return ship;
}

generic_object* makeOddity(const RecordFields& fields, generic_object* container, empire* owner) {
  OrbitMover* orbit = nullptr;
  if (fields.oddityOrbits) {
    orbit = new OrbitMover();
    orbit->setStateFloats(fields.orbitState);
    orbit->centre.set(fields.orbitCentre[0], fields.orbitCentre[1], fields.orbitCentre[2]);
  }
  auto* oddity = new objOddity(orbit, fields.oddityKind);
  oddity->name = fields.name;
  oddity->radius = fields.radius;
  oddity->setContainer(container);
  oddity->position = fields.position;
  oddity->setOwner(owner);
  return oddity;
}

generic_object* makeSystem(const RecordFields& fields, generic_object* container, empire* owner) {
  auto* system = new solarSystem();
  system->position = fields.position;
  system->name = fields.name;
  system->setContainer(container);
  system->radius = fields.radius;
  system->radiusSquared = fields.radius * fields.radius;
  system->setOwner(owner);
  return system;
}

}  // namespace

void writeMoverRecord(const generic_object& object, RakNet::BitStream& stream) {
  const MobileMover* mobile = MobileMover::of(&object);
  if (mobile == nullptr) {
    stream.Write0();
    return;
  }
  stream.Write(mobile->thrust > 0.0f);
  const bool orbiting = mobile->parkOrbitInUse();
  stream.Write(orbiting);
  if (orbiting) {
    writeOrbitState(stream, *mobile->parkOrbit);
    writeNetObjectRef(stream, mobile->parkOrbit->orbited);
  }
}

bool readMoverRecord(generic_object& object, RakNet::BitStream& stream) {
  if (FakeMobileMover::of(&object) == nullptr)
    return true;
  MoverFields fields;
  if (!readMoverFields(stream, fields))
    return false;
  applyMoverFields(object, fields);
  return true;
}

void writeObjectRecord(generic_object& object, const RakNet::SystemAddress& address, RakNet::BitStream& stream) {
  stream.Reset();
  if (writeRecordFields(object, stream))
    networkManager->send(&stream, kChannelObjectRecords, RakNet::RELIABLE_ORDERED, address);
  // A copy of the list: sending may take long, and the children hold on.
  const irr::core::array<heldPointer<generic_object>> children = object.children;
  for (irr::u32 i = 0; i < children.size(); ++i)
    if (children[i].get() != nullptr)
      writeObjectRecord(*children[i].get(), address, stream);
}

void broadcastNewObject(generic_object* object) {
  if (object == nullptr || networkManager == nullptr || !networkManager->isHosting.load() || !gameLoaded.load())
    return;
  RakNet::BitStream fallback;
  writeObjectRecord(*object, RakNet::UNASSIGNED_SYSTEM_ADDRESS, objectmsg::messageStream(fallback));
}

bool readObjectFromNetwork(RakNet::BitStream& stream) {
  RecordFields fields;
  if (!readRecordFields(stream, fields))
    return false;
  if (fields.uid == 0 || fields.uid == kLastUid || getObjectByUID(fields.uid) != nullptr)
    return false;
  generic_object* container = getObjectByUID(fields.containerUid);
  if (container == nullptr)
    return false;
  // Systems belong to the galaxy, everything else to a system or the galaxy.
  if (fields.type == OT_System ? container->getType() != OT_Galaxy : asSystemLock(container) == nullptr)
    return false;
  if (fields.type == OT_Planet && fields.planetType >= planetTypeRegistry().size())
    return false;
  if (fields.type == OT_Oddity && fields.oddityKind > ODT_Comet)
    return false;

  empire* owner = ownerOf(fields.ownerId);
  hull_list* layout = fields.type == OT_Hulled ? layoutFor(fields) : nullptr;

  // The object made next on this thread takes the server's UID, which
  // nothing else takes meanwhile.
  const ClaimedUid claim(fields.uid);
  if (!claim.held())
    return false;
  switch (fields.type) {
    case OT_Planet:
      makePlanet(fields, container, owner);
      break;
    case OT_Star:
      makeStar(fields, container);
      break;
    case OT_Hulled:
      makeShip(fields, container, owner, layout);
      break;
    case OT_Oddity:
      makeOddity(fields, container, owner);
      break;
    default:
      makeSystem(fields, container, owner);
      break;
  }
  return true;
}
