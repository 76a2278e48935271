// A ship's hold on its design: the counted layout reference, the records of
// its placed sub-systems, their part of the ship's save record, and the
// bringing to life of a newly built ship's sub-systems.
#include "design/hull_ref.h"

#include "empire/empire.h"
#include "universe/objects/game_object.h"

namespace {

// The number of effectors the instance of a placed sub-system carries.
irr::u32 effectorCount(const subSystem *instance) {
  return instance != nullptr ? instance->effectors.size() : 0;
}

} // namespace

void hullRef::assign(hull_list *newLayout) {
  // The records point into the old layout's instances: they go first.
  if (records != nullptr) {
    const uint32_t count = layout != nullptr ? layout->systemCount : 0;
    for (uint32_t i = 0; i < count; ++i)
      delete[] records[i].effectorStates;
    delete[] records;
    records = nullptr;
  }
  // The new reference before the old one goes, so that re-assigning the
  // same layout never lets it reach zero.
  if (newLayout != nullptr)
    newLayout->grab();
  hull_list *old = layout;
  layout = newLayout;
  if (old != nullptr)
    old->drop();

  if (layout == nullptr || layout->systemCount == 0)
    return;
  records = new SysRef[layout->systemCount];
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    SysRef &record = records[i];
    record.system = layout->systems[i].system;
    const irr::u32 effectors = effectorCount(record.system);
    if (effectors != 0)
      record.effectorStates = new interactor_data[effectors];
  }
}

void hullRef::release() { assign(nullptr); }

void hullRef::write(SaveStream &stream) const {
  // A ship without a design could not be read back: refuse it here rather
  // than leave a save that fails to load.
  if (layout == nullptr)
    throw kSaveErrorBadHull;
  stream.writeEmpireId(layout->owner != nullptr ? layout->owner->ID
                                                : defaultEmpire()->ID);
  stream.writeString(layout->getName());
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    const SysRef &record = records[i];
    stream.writeU32(record.state);
    stream.writeFloat(record.HP);
    stream.writeFloat(record.val1);
    stream.writeFloat(record.val2);
    const irr::u32 effectors = effectorCount(record.system);
    if (effectors == 0)
      continue;
    stream.writeU16(static_cast<uint16_t>(effectors));
    for (irr::u32 k = 0; k < effectors; ++k) {
      stream.writeFloat(record.effectorStates[k].val1);
      stream.writeFloat(record.effectorStates[k].val2);
      stream.writeU32(record.effectorStates[k].word);
    }
  }
}

void hullRef::read(SaveStream &stream) {
  release();
  try {
    empire *owner = getEmpireByID(stream.readEmpireId());
    irr::core::stringw name;
    stream.readString(name);
    {
      // Write: a lookup may sort the table. The reference is taken while the
      // table still holds the layout.
      empire::AreaGuard hulls;
      owner->lockArea(hulls, EA_HullLayouts, true);
      const irr::s32 index = NamedVar<hull_list *>::find(owner->hulls, name);
      if (index < 0)
        throw kSaveErrorBadHullReference;
      hull_list *found = owner->hulls[static_cast<irr::u32>(index)].value;
      if (found == nullptr)
        throw kSaveErrorBadHull;
      assign(found);
    }
    for (uint32_t i = 0; i < layout->systemCount; ++i) {
      SysRef &record = records[i];
      record.state = stream.readU32();
      record.HP = stream.readFloat();
      record.val1 = stream.readFloat();
      record.val2 = stream.readFloat();
      const irr::u32 effectors = effectorCount(record.system);
      if (effectors == 0)
        continue;
      // The count is checked before anything is read into the states, which
      // have the instance's size.
      if (stream.readU16() != effectors)
        throw kSaveErrorEffectorDataMismatch;
      for (irr::u32 k = 0; k < effectors; ++k) {
        record.effectorStates[k].val1 = stream.readFloat();
        record.effectorStates[k].val2 = stream.readFloat();
        record.effectorStates[k].word = stream.readU32();
      }
    }
  } catch (...) {
    release();
    throw;
  }
}

void triggerHullBuilt(hullRef &hull, generic_object *ship) {
  hull_list *layout = hull.layout;
  if (layout == nullptr || ship == nullptr)
    return;
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    subSystem *instance = layout->systems[i].system;
    if (instance == nullptr)
      continue;
    triggerSubSysBuilt(instance, ship, &hull.records[i]);
    hull.records[i].HP = instance->getDurability();
  }
  ship->setBaseMass(layout->mass);
}
