#include "empire/traits.h"

#include <algorithm>

std::map<irr::core::stringw, ITrait*> traitRegistry;

namespace {

bool listHolds(const std::list<irr::core::stringw>& list, const irr::core::stringw& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

bool ITrait::hasTag(const irr::core::stringw& tag) const { return listHolds(tags, tag); }

bool ITrait::conflictsWith(const ITrait* other) const { return other != nullptr && conflictsWith(other->id); }

bool ITrait::conflictsWith(const irr::core::stringw& otherId) const { return listHolds(conflicts, otherId); }

bool ITrait::requires(const ITrait* other) const { return other != nullptr && requires(other->id); }

bool ITrait::requires(const irr::core::stringw& otherId) const { return listHolds(requirements, otherId); }

ITrait* findTrait(const irr::core::stringw& id) {
  const auto found = traitRegistry.find(id);
  return found != traitRegistry.end() ? found->second : nullptr;
}

void clearTraits() {
  for (auto& entry : traitRegistry)
    delete entry.second;
  traitRegistry.clear();
}
