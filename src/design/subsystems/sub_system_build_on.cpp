// The build test: whether a definition may be queued on an object.
#include "design/subsystems/sub_system_def.h"
#include "universe/objects/game_object.h"
#include "design/subsystems/sub_system.h"
#include "universe/planets/planet.h"

using irr::core::stringw;

namespace {

const stringw kNoManualBuildTag = L"NoManualBuild";
const stringw kStructureTag = L"Structure";
const stringw kUniqueTag = L"Unique";
// "Unique:<word>": one per planet among the structures tagged <word>.
const stringw kUniqueAmongPrefix = L"Unique:";

}  // namespace

// Whether a structure of `planet` other than `replacing` passes `clashes`.
template <class Clash>
static bool anyOtherStructure(const objHabitation& planet, const subSystem* replacing, Clash clashes) {
  for (irr::u32 i = 0; i < planet.structures.size(); ++i) {
    const subSystem* system = planet.structures[i].system;
    if (system != nullptr && system != replacing && system->def != nullptr && clashes(*system->def))
      return true;
  }
  return false;
}

bool SubSystemDef::allowsBuildOn(generic_object* object, const subSystem* replacing) const {
  if (object == nullptr || hasTag(kNoManualBuildTag))
    return false;
  const bool structure = hasTag(kStructureTag);
  if (object->getType() != OT_Planet)
    return !structure;
  if (!structure)
    return false;

  const auto* planet = dynamic_cast<const objHabitation*>(object);
  if (planet == nullptr)
    return true;  // a planet without structure slots has nothing to clash with
  if (hasTag(kUniqueTag) &&
      anyOtherStructure(*planet, replacing, [this](const SubSystemDef& other) { return &other == this; }))
    return false;
  for (irr::u32 i = 0; i < tags.size(); ++i) {
    const stringw& tag = tags[i].entryName();
    if (tag.size() <= kUniqueAmongPrefix.size() || !tag.equalsn(kUniqueAmongPrefix, kUniqueAmongPrefix.size()))
      continue;
    const stringw word = tag.subString(kUniqueAmongPrefix.size(), tag.size() - kUniqueAmongPrefix.size());
    if (anyOtherStructure(*planet, replacing, [&word](const SubSystemDef& other) { return other.hasTag(word); }))
      return false;
  }
  return true;
}
