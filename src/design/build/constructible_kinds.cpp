// The item kinds of a build queue: what each owes when it is made, its
// names, its record and its copy for a repeating queue. Completion is kept
// apart (constructible_complete.cpp).
#include <memory>

#include "core/locale.h"
#include "core/log.h"
#include "design/build/constructible.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

using irr::core::stringw;

namespace {

// A rebuild owes these shares of the old and the new instance's costs.
constexpr float kRebuildOldShare = 0.1f;
constexpr float kRebuildNewShare = 0.2f;

// A new instance of `def` evaluated for `planet`'s owner. Throws
// InvalidConstruct when none can be made (no definition, no planet, or a
// planet without an owner leaves the factory unprepared).
std::unique_ptr<subSystem> makeInstanceFor(const SubSystemDef* def, objHabitation* planet) {
  if (def == nullptr)
    throw InvalidConstruct();
  std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
  factory->prepare(planet);
  std::unique_ptr<subSystem> instance(factory->create(def));
  factory->release();
  if (instance == nullptr)
    throw InvalidConstruct();
  return instance;
}

// "<localised key> <name>".
stringw prefixed(const wchar_t* key, const stringw& name) {
  stringw text = getLocalizedText(key);
  text += L" ";
  text += name;
  return text;
}

}  // namespace

// --- Ship ------------------------------------------------------------------

ShipConstructible::ShipConstructible(hull_list* shipLayout) : layout(shipLayout) {
  if (layout == nullptr)
    return;
  layout->grab();
  layout->addCostsTo(costs);
}

ShipConstructible::~ShipConstructible() {
  if (layout != nullptr)
    layout->drop();
}

stringw ShipConstructible::getName() const {
  if (layout == nullptr)
    return stringw();
  const stringw layoutName = layout->getName();
  return retrofitFlag != 0 ? prefixed(L"#retrofit", layoutName) : layoutName;
}

stringw ShipConstructible::getType() const { return L"ship"; }

void ShipConstructible::save(SaveStream& stream) const {
  if (layout == nullptr) {
    // Nothing could be restored or built: saved as no item.
    stream.writeU8(CRT_None);
    return;
  }
  stream.writeU8(CRT_Ship);
  saveCosts(stream);
  stream.writeEmpireId(layout->owner != nullptr ? layout->owner->ID : kSpaceEmpireID);
  stream.writeString(layout->getName());
  stream.writeU8(retrofitFlag);
}

constructible* ShipConstructible::clone() const {
  if (layout == nullptr || layout->owner == nullptr)
    return nullptr;
  // The owner's table holds the layout it gives; the new item takes its own
  // reference.
  hull_list* newest = layout->owner->getUpdatedHull(layout, -1.0f);
  return newest != nullptr ? new ShipConstructible(newest) : nullptr;
}

ShipConstructible* makeRetrofitConstructible(hull_list* newLayout, generic_object* oldShip, float factor) {
  std::unique_ptr<ShipConstructible> item(new ShipConstructible(newLayout));
  item->retrofitFlag = 1;

  auto* hulled = dynamic_cast<objHulled*>(oldShip);
  if (hull_list* oldLayout = hulled != nullptr ? hulled->getHull() : nullptr) {
    constructible::CostList oldCosts;
    oldLayout->addCostsTo(oldCosts);
    for (irr::u32 i = 0; i < oldCosts.size(); ++i) {
      const irr::s32 index = findNamedCost(item->costs, oldCosts[i].entryName());
      if (index < 0)
        continue;  // the new layout does not cost that resource
      constructible::cost& entry = item->costs[static_cast<irr::u32>(index)].value;
      const float amount = entry.amount - oldCosts[i].value.amount * factor;
      entry.amount = amount > 0.0f ? amount : 0.0f;
    }
  }
  // The old ship goes quietly at its next tick; both bits in one step.
  if (oldShip != nullptr)
    oldShip->flags.fetch_or(FLAG_DESTROY | FLAG_QUIET_DESTROY);
  return item.release();
}

// --- Structure -------------------------------------------------------------

StructureConstructible::StructureConstructible(const SubSystemDef* structureDef, objHabitation* target)
    : def(structureDef), planet(target) {
  std::unique_ptr<subSystem> instance = makeInstanceFor(def, planet);
  for (irr::u32 i = 0; i < def->costs.size(); ++i)
    addCost(def->costs[i].entryName(), instance->costs[i]);
  structure = instance.release();
}

StructureConstructible::~StructureConstructible() { delete structure; }

stringw StructureConstructible::getName() const {
  if (structure == nullptr || structure->def == nullptr)
    return stringw();
  return structure->def->name;
}

stringw StructureConstructible::getType() const { return L"structure"; }

void StructureConstructible::save(SaveStream& stream) const {
  if (structure == nullptr) {
    // Handed to its planet already: nothing left to restore.
    stream.writeU8(CRT_None);
    return;
  }
  stream.writeU8(CRT_Structure);
  saveCosts(stream);
  writeSubSystemDefRef(stream, structure);
}

constructible* StructureConstructible::clone() const {
  if (planet == nullptr || def == nullptr)
    return nullptr;
  if (static_cast<int64_t>(planet->structures.size()) >= planet->getMaxStructureCount())
    return nullptr;
  if (!def->allowsBuildOn(planet))
    return nullptr;
  try {
    return new StructureConstructible(def, planet);
  } catch (const InvalidConstruct&) {
    return nullptr;  // the planet lost its owner
  }
}

// --- Rebuild ---------------------------------------------------------------

RebuildStructureConstructible::RebuildStructureConstructible(subSystem* old, objHabitation* target)
    : oldStructure(old), planet(target) {
  if (oldStructure == nullptr)
    throw InvalidConstruct();
  const SubSystemDef* def = oldStructure->def;
  std::unique_ptr<subSystem> instance = makeInstanceFor(def, planet);
  if (!(instance->getLevel() > oldStructure->getLevel()))
    throw InvalidConstruct();  // nothing to gain
  for (irr::u32 i = 0; i < def->costs.size(); ++i) {
    const double share = static_cast<double>(kRebuildOldShare) * oldStructure->costs[i] +
                         static_cast<double>(kRebuildNewShare) * instance->costs[i];
    addCost(def->costs[i].entryName(), static_cast<float>(share));
  }
  newStructure = instance.release();
}

RebuildStructureConstructible::~RebuildStructureConstructible() { delete newStructure; }

stringw RebuildStructureConstructible::getName() const {
  if (newStructure == nullptr || newStructure->def == nullptr)
    return stringw();
  return prefixed(L"#rebuild", newStructure->def->name);
}

stringw RebuildStructureConstructible::getType() const { return L"rebuild"; }

void RebuildStructureConstructible::save(SaveStream& stream) const {
  // The record has no form for a rebuild: it is dropped, with what it paid.
  logWarning("The build queue item '%ls' of '%ls' is not saved; it and what it paid are lost when the game is loaded\n",
             getName().c_str(), planet != nullptr ? planet->name.c_str() : L"");
  stream.writeU8(CRT_None);
}
