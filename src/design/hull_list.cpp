#include "design/hull_list.h"

#include <limits>
#include <memory>
#include <mutex>

#include "core/common_strings.h"
#include "core/names.h"
#include "design/damage_order.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"

namespace {

// First versions of the parts of the record that came later.
constexpr int32_t kThresholdVersion = 10;
constexpr int32_t kTargetingFieldsVersion = 18;
constexpr int32_t kLinkVersion = 23;
constexpr int32_t kDepositTargetsVersion = 26;
constexpr int32_t kExclusiveTargetsVersion = 30;

// Bits of an order's presence byte.
constexpr uint8_t kOrderNamed = 0x01;
constexpr uint8_t kOrderArgument = 0x02;
constexpr uint8_t kOrderSecondArgument = 0x04;

struct LayoutDropper {
  void operator()(hull_list* layout) const { layout->drop(); }
};

bool readFlag(SaveStream& stream) { return stream.readU8() != 0; }

void writeOrder(SaveStream& stream, const hull_list::orderEntry& entry) {
  uint8_t present = 0;
  if (entry.order != nullptr) {
    present = kOrderNamed;
    if (entry.argument != nullptr)
      present |= kOrderArgument;
    if (entry.secondArgument != nullptr)
      present |= kOrderSecondArgument;
  }
  stream.writeU8(present);
  if ((present & kOrderNamed) != 0)
    saveCommonString(stream, *entry.order);
  if ((present & kOrderArgument) != 0)
    saveCommonString(stream, *entry.argument);
  if ((present & kOrderSecondArgument) != 0)
    saveCommonString(stream, *entry.secondArgument);
}

// Reads one order; false when its entry is dropped (no order name).
bool readOrder(SaveStream& stream, hull_list::orderEntry& entry) {
  const uint8_t present = stream.readU8();
  if ((present & kOrderNamed) != 0)
    entry.order = readCommonString(stream);
  if ((present & kOrderArgument) != 0)
    entry.argument = readCommonString(stream);
  if ((present & kOrderSecondArgument) != 0)
    entry.secondArgument = readCommonString(stream);
  return entry.order != nullptr;
}

// The targeting fields of a record older than version 18: one 24-byte block.
void readOldTargeting(SaveStream& stream, hull_targeting& targeting) {
  stream.readFloat2(targeting.targetScaleMin, targeting.targetScaleMax);
  targeting.targetScaleSet = readFlag(stream);
  stream.skipBytes(3);
  stream.readFloat2(targeting.targetDamageMin, targeting.targetDamageMax);
  targeting.targetDamageSet = readFlag(stream);
  targeting.orbits = readFlag(stream);
  targeting.spareFlag = readFlag(stream);
  stream.skipBytes(1);
  targeting.allowShipTargets = true;
  targeting.allowPlanetTargets = true;
  targeting.allowFetch = true;
}

void readTargeting(SaveStream& stream, hull_targeting& targeting) {
  stream.readFloat2(targeting.targetScaleMin, targeting.targetScaleMax);
  targeting.targetScaleSet = readFlag(stream);
  stream.readFloat2(targeting.targetDamageMin, targeting.targetDamageMax);
  targeting.targetDamageSet = readFlag(stream);
  targeting.orbits = readFlag(stream);
  targeting.spareFlag = readFlag(stream);
  targeting.allowShipTargets = readFlag(stream);
  targeting.allowPlanetTargets = readFlag(stream);
  if (stream.version() >= kDepositTargetsVersion) {
    targeting.depositTargets[0] = readFlag(stream);
    targeting.depositTargets[1] = readFlag(stream);
    targeting.allowFetch = readFlag(stream);
  } else {
    targeting.allowFetch = true;
  }
  if (stream.version() >= kExclusiveTargetsVersion) {
    targeting.targetScaleExclusive = readFlag(stream);
    targeting.targetDamageExclusive = readFlag(stream);
  }
}

// Reads the placed sub-systems of a record into `layout`, then derives what
// the record leaves out: the tags, the effector count and the damage orders.
void readPlacedSubSystems(SaveStream& stream, hull_list& layout) {
  const uint16_t count = stream.readU16();
  if (count != 0)
    layout.systems.reset(new placedSubSystem[count]);
  layout.systemCount = count;
  for (uint16_t i = 0; i < count; ++i) {
    placedSubSystem& placed = layout.systems[i];
    std::unique_ptr<subSystem> instance(new subSystem());
    serializeSubSystemData(instance.get(), stream);
    placed.system = instance.release();  // the layout's from here on
    stream.readFloat2(placed.x, placed.y);
    placed.link = stream.version() >= kLinkVersion ? stream.readI16() : -1;
  }

  // Lists A and B of the damage orders stay in index order: the record keeps
  // no sorted form, so entries that tie may come out in another order than
  // in a freshly made layout.
  irr::core::array<hull_list::damageOrderEntry> all;
  irr::core::array<hull_list::damageOrderEntry> preDamage;
  all.reallocate(count);
  for (uint32_t i = 0; i < count; ++i) {
    placedSubSystem& placed = layout.systems[i];
    const SubSystemDef* def = placed.system->def;
    const hull_list::damageOrderEntry entry{i, &placed};
    all.push_back(entry);
    if ((def->effectFlags & (1u << EH_OnGlobalDamage)) != 0)
      preDamage.push_back(entry);
    if (!placed.system->effectors.empty())
      ++layout.effectorSystemCount;
    // Every tag, "Require:" ones included (a made layout leaves those out).
    for (irr::u32 t = 0; t < def->tags.size(); ++t)
      if (def->tags[t].name != nullptr)
        layout.tags.insert(def->tags[t].name);
  }
  buildDamageOrders(&layout, all, preDamage);
}

}  // namespace

bool hull_list::TagOrder::operator()(const irr::core::stringw* a, const irr::core::stringw* b) const {
  return compareNames(*a, *b) < 0;
}

hull_list::hull_list(const irr::core::stringw& layoutName, empire* layoutOwner)
    : owner(layoutOwner), name(layoutName) {}

// The layout owns its placed instances; the damage orders, tags and orders go
// with their containers, and the interned strings they point at stay in the
// common string list.
hull_list::~hull_list() {
  if (systems != nullptr)
    for (uint32_t i = 0; i < systemCount; ++i)
      delete systems[i].system;
  systems.reset();
}

namespace {
// Guards every layout's name against the one change made to a shared
// layout: its rename when a newer revision takes the name over.
std::mutex layoutNameLock;
}  // namespace

irr::core::stringw hull_list::getName() const {
  std::lock_guard<std::mutex> guard(layoutNameLock);
  return name;
}

void hull_list::rename(const irr::core::stringw& newName) {
  std::lock_guard<std::mutex> guard(layoutNameLock);
  name = newName;
}

bool hull_list::hasSystemWithTag(const irr::core::stringw& tag) const { return tags.count(&tag) != 0; }

void hull_list::addCostsTo(constructible::CostList& list) const {
  for (uint32_t i = 0; i < systemCount; ++i) {
    const subSystem* instance = systems[i].system;
    if (instance == nullptr || instance->def == nullptr || instance->costs == nullptr)
      continue;
    const SubSystemDef& def = *instance->def;
    for (irr::u32 k = 0; k < def.costs.size(); ++k)
      PtrNamedVar<constructible::cost>::getOrAdd(list, def.costs[k].entryName(), internCommonString).value.amount +=
          instance->costs[k];
  }
}

void hull_list::save(SaveStream& stream) const {
  if (orders.size() > std::numeric_limits<uint16_t>::max() || systemCount > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;

  stream.writeFloat(scale);
  stream.writeDouble(mass);
  stream.writeI32(metadata);
  stream.writeU32(revision);
  stream.writeU8(obsolete ? 1 : 0);
  stream.writeU32(role);

  const hull_targeting& t = targeting;
  stream.writeFloat(t.targetScaleMin);
  stream.writeFloat(t.targetScaleMax);
  stream.writeU8(t.targetScaleSet);
  stream.writeFloat(t.targetDamageMin);
  stream.writeFloat(t.targetDamageMax);
  stream.writeU8(t.targetDamageSet);
  for (bool flag : {t.orbits, t.spareFlag, t.allowShipTargets, t.allowPlanetTargets, t.depositTargets[0],
                    t.depositTargets[1], t.allowFetch, t.targetScaleExclusive, t.targetDamageExclusive})
    stream.writeU8(flag ? 1 : 0);

  stream.writeU16(static_cast<uint16_t>(orders.size()));
  for (irr::u32 i = 0; i < orders.size(); ++i)
    writeOrder(stream, orders[i]);

  stream.writeU16(static_cast<uint16_t>(systemCount));
  for (uint32_t i = 0; i < systemCount; ++i) {
    const placedSubSystem& placed = systems[i];
    writeSubSystemDefRef(stream, placed.system);
    stream.writeFloat(placed.x);
    stream.writeFloat(placed.y);
    stream.writeI16(static_cast<int16_t>(placed.link));  // the low 16 bits; -1 is FF FF
  }
  stream.writeFloat(updateThreshold);
}

hull_list* hull_list::load(SaveStream& stream, empire* layoutOwner) {
  std::unique_ptr<hull_list, LayoutDropper> layout(new hull_list(irr::core::stringw(), layoutOwner));
  hull_list& h = *layout;

  h.scale = stream.readFloat();
  h.mass = stream.readDouble();
  h.metadata = stream.readI32();
  h.revision = stream.readU32();
  h.obsolete = readFlag(stream);
  h.role = stream.readU32();

  if (stream.version() >= kTargetingFieldsVersion)
    readTargeting(stream, h.targeting);
  else
    readOldTargeting(stream, h.targeting);

  const uint16_t orderCount = stream.readU16();
  for (uint16_t i = 0; i < orderCount; ++i) {
    orderEntry entry;
    if (readOrder(stream, entry))
      h.orders.push_back(entry);
  }

  readPlacedSubSystems(stream, h);

  if (stream.version() >= kThresholdVersion)
    h.updateThreshold = stream.readFloat();
  return layout.release();
}
