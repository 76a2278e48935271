// The fleet's save record: writing it, reading it back for its commander,
// and joining the saved members once the object tree is loaded.
#include <vector>

#include "core/save_stream.h"
#include "empire/empire.h"
#include "universe/objects/object_registry.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/fleet_formation.h"
#include "universe/orders/unit_ai.h"

namespace {

constexpr uint8_t kFleetHandlerType = 2;
constexpr uint8_t kUnitHandlerType = 1;
// A formation byte from here on means the default wall.
constexpr uint8_t kDefaultFormationByte = 255;
// First save versions with the fleet's stance, and with its name, formation
// and members.
constexpr int32_t kStanceVersion = 15;
constexpr int32_t kMembersVersion = 16;

}  // namespace

void FleetAI::save(SaveStream& stream) const {
  stream.writeU8(kFleetHandlerType);
  stream.writeU8(stance);
  if (prior != nullptr) {
    prior->save(stream);
  } else {
    // A fleet always has its commander's queue while an object holds it;
    // should it not, an empty queue keeps the record readable.
    stream.writeU8(kUnitHandlerType);
    stream.writeU8(stance);
    stream.writeU8(0);
    stream.writeU8(0);
  }

  // The lock is part of the fleet's state only in name: reading the list
  // under it does not change the fleet.
  ScopedReadLock guard(const_cast<ReadWriteLock&>(lock));
  stream.writeString(name);
  stream.writeU8(formation != nullptr ? static_cast<uint8_t>(formation->getType()) : kDefaultFormationByte);
  // Members destroyed since the last tick are not in the saved tree: they
  // are left out.
  std::vector<uint32_t> uids;
  for (irr::u32 i = 0; i < members.size(); ++i) {
    const generic_object* member = members[i].get();
    if (member != nullptr && member->isValid())
      uids.push_back(member->uid);
  }
  stream.writePackedUInt(static_cast<uint32_t>(uids.size()));
  for (uint32_t uid : uids)
    stream.writePackedUInt(uid);
}

void loadFleetAI(SaveStream& stream, generic_object& object) {
  FleetAI* fleet = new FleetAI();
  std::vector<uint32_t> memberUids;
  // Until the record is read whole, only this reference holds the fleet; a
  // failed read gives it back (with the prior AI and the formation).
  try {
    if (stream.version() >= kStanceVersion)
      fleet->stance = static_cast<AIStance>(stream.readU8());
    if (stream.readU8() != kUnitHandlerType)
      throw kSaveErrorInvalidPriorAI;
    fleet->prior = loadUnitAIRecord(stream, object);
    fleet->commander = &object;
    int formationType = kDefaultFormationByte;
    if (stream.version() >= kMembersVersion) {
      stream.readString(fleet->name);
      formationType = stream.readU8();
      const uint32_t count = stream.readPackedUInt();
      stream.expectBytes(count);  // each UID takes at least its mask byte
      memberUids.reserve(count);
      for (uint32_t i = 0; i < count; ++i)
        memberUids.push_back(stream.readPackedUInt());
    }
    delete fleet->formation;
    fleet->formation = nullptr;
    fleet->formation = createFormation(formationType >= kDefaultFormationByte ? FT_Wall : formationType);
  } catch (...) {
    fleet->release();
    throw;
  }
  fleet->prior->fleet = fleet;

  object.setAI(fleet);
  // A saved fleet keeps its saved name; an older save has none, and the
  // empire names the fleet as it does a new one.
  if (empire* owner = object.owner) {
    if (stream.version() >= kMembersVersion)
      owner->enterFleet(fleet);
    else
      owner->addFleet(fleet);
  }
  for (uint32_t uid : memberUids)
    queuePostObjectTreeStep(new AddFleetMember(uid, fleet));
  fleet->release();  // the object and the empire hold it now
}

AddFleetMember::AddFleetMember(uint32_t uid, FleetAI* fleet) : uid_(uid), fleet_(fleet) { fleet_->grab(); }

// A plain release: the step is not a commander letting go of its fleet.
AddFleetMember::~AddFleetMember() { fleet_->release(); }

void AddFleetMember::run() { fleet_->addMember(getObjectByUID(uid_)); }
