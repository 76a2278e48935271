// Copies of hull layouts: a new revision of a design remade with its owner's
// current values, a copy of another empire's design, and how far a design's
// sub-system levels lag behind what its owner could build now.
#include <memory>

#include "core/formula.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"

using irr::core::stringw;

namespace {

// Characters of a design's name that, when they match its owner's name, mark
// the name as already carrying the owner.
constexpr irr::s32 kOwnerPrefixLength = 6;

struct LayoutDropper {
  void operator()(hull_list* layout) const { layout->drop(); }
};

// A null owner stands for the space empire, as when a layout is made.
empire* resolveOwner(empire* owner) { return owner != nullptr ? owner : getEmpireByID(kSpaceEmpireID); }

// The name a foreign copy takes: the source name when it starts with the
// same characters as its owner's name, else the owner's name before it.
stringw foreignCopyName(const hull_list& source) {
  if (source.owner == nullptr)
    return source.name;
  const stringw& ownerName = source.owner->name;
  if (source.name.subString(0, kOwnerPrefixLength) == ownerName.subString(0, kOwnerPrefixLength))
    return source.name;
  return ownerName + L" " + source.name;
}

// The description a layout was made from (links included).
bool describe(const hull_list& layout, layout_desc& desc) {
  desc.targeting = layout.targeting;
  desc.metadata = layout.metadata;
  desc.scale = layout.scale * layout.scale;
  desc.systems.reallocate(layout.systemCount);
  for (uint32_t i = 0; i < layout.systemCount; ++i) {
    const placedSubSystem& placed = layout.systems[i];
    if (placed.system == nullptr || placed.system->def == nullptr)
      return false;
    layout_desc::system entry;
    entry.def = placed.system->def;
    entry.scale = placed.system->scale;
    entry.x = placed.x;
    entry.y = placed.y;
    entry.link = placed.link;
    desc.systems.push_back(entry);
  }
  return true;
}

}  // namespace

hull_list* hull_list::makeUpdatedCopy(empire* newOwner) const {
  empire* target = resolveOwner(newOwner);
  layout_desc desc;
  if (target == nullptr || !describe(*this, desc))
    return nullptr;

  // Every sub-system must still be available to the owner. The variables
  // area is let go before the design is remade: the evaluation takes the
  // traits area before it, and holding it meanwhile would invert that order.
  {
    empire::AreaGuard variables;
    target->lockArea(variables, EA_Variables, true);
    for (irr::u32 i = 0; i < desc.systems.size(); ++i) {
      const formula* available = desc.systems[i].def->available;
      if (available != nullptr && evaluateFormula(available, &target->spaces) <= 0.0f)
        return nullptr;
    }
  }

  // A design that passed when it was made may fail now (changed data, or a
  // changed sub-system scale range): that is no newer revision either, and
  // this may run on a galaxy thread, where an exception has nowhere to go.
  hull_list* copy = nullptr;
  try {
    copy = new hull_list(desc, target, true);
  } catch (const hullCreationError&) {
    return nullptr;
  } catch (const hullSpaceError&) {
    return nullptr;
  }
  copy->revision = revision + 1;
  copy->updateThreshold = updateThreshold;
  copy->name = name;
  copy->obsolete = false;
  return copy;
}

hull_list* hull_list::makeForeignCopy(empire* newOwner) const {
  std::unique_ptr<hull_list, LayoutDropper> copy(new hull_list(foreignCopyName(*this), resolveOwner(newOwner)));
  hull_list& c = *copy;

  c.tags = tags;
  c.orders = orders;
  c.targeting = targeting;
  c.effectorSystemCount = effectorSystemCount;
  c.scale = scale;
  c.mass = mass;
  c.role = role;
  c.metadata = metadata;
  c.updateThreshold = updateThreshold;

  // Each placed sub-system gets its own instance; the count is set first so
  // that the layout's destructor frees what was copied if a copy fails.
  if (systemCount != 0) {
    c.systems.reset(new placedSubSystem[systemCount]);
    c.systemCount = systemCount;
    for (uint32_t i = 0; i < systemCount; ++i) {
      const placedSubSystem& source = systems[i];
      placedSubSystem& placed = c.systems[i];
      placed.x = source.x;
      placed.y = source.y;
      placed.link = source.link;
      if (source.system != nullptr)
        placed.system = new subSystem(*source.system);
    }
  }

  // The damage orders keep their order, pointing into the copy's entries.
  for (int k = 0; k < kDamageOrderCount; ++k) {
    const irr::core::array<damageOrderEntry>& from = damageOrders[k];
    irr::core::array<damageOrderEntry>& to = c.damageOrders[k];
    to.reallocate(from.size());
    for (irr::u32 i = 0; i < from.size(); ++i) {
      if (from[i].index >= c.systemCount)
        continue;
      damageOrderEntry entry;
      entry.index = from[i].index;
      entry.entry = &c.systems[entry.index];
      to.push_back(entry);
    }
  }
  return copy.release();
}

float hull_list::getLevelGain() const {
  if (owner == nullptr || systemCount == 0)
    return 0.0f;
  empire::AreaGuard variables;
  owner->lockArea(variables, EA_Variables, true);
  float gain = 0.0f;
  for (uint32_t i = 0; i < systemCount; ++i) {
    const subSystem* instance = systems[i].system;
    if (instance == nullptr || instance->def == nullptr)
      continue;
    const SubSystemDef& def = *instance->def;
    const irr::s32 index = findPtrNamedVar(def.variableIndex, stringw(kSubSysLevelKey));
    if (index < 0)
      continue;
    const SubSystemDef::ValueInfo* level = def.variableIndex[static_cast<irr::u32>(index)].value;
    if (level == nullptr || level->value == nullptr)
      continue;
    gain += evaluateFormula(level->value, &owner->spaces) - instance->getLevel();
  }
  return gain;
}

void hull_list::set_obsolete() {
  obsolete = true;
  newer = nullptr;
}
