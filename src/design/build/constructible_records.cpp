// Reading build-queue item records (the writing side is each kind's save).
// A read that fails throws SaveFileError and frees what it made so far.
#include <memory>

#include "design/build/constructible.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"

using irr::core::stringw;

namespace {

// First save version whose ship items carry the retrofit flag.
constexpr int32_t kRetrofitFlagVersion = 32;

// Reads the cost entries of a record for an item of any kind.
class CostReader : public constructible {
 public:
  void complete(generic_object*) override {}
  using constructible::loadCosts;
};

// `owner`'s layout filed under `name`, with a reference for the caller.
// Throws {5, "Invalid hull layout name in constructible"} when there is no
// such layout (or its entry is empty).
hull_list* grabLayoutByName(empire* owner, const stringw& name) {
  hull_list* layout = nullptr;
  if (owner != nullptr && !name.empty()) {
    empire::AreaGuard hullsGuard;
    owner->lockArea(hullsGuard, EA_HullLayouts, true);  // a lookup may sort the table
    const irr::s32 index = NamedVar<hull_list*>::find(owner->hulls, name);
    if (index >= 0)
      layout = owner->hulls[static_cast<irr::u32>(index)].value;
    if (layout != nullptr)
      layout->grab();
  }
  if (layout == nullptr)
    throw kSaveErrorInvalidItemLayout;
  return layout;
}

}  // namespace

constructible* loadConstructible(SaveStream& stream) {
  switch (stream.readU8()) {
    case CRT_None:
      return nullptr;

    case CRT_Structure: {
      std::unique_ptr<StructureConstructible> item(new StructureConstructible());
      item->loadCosts(stream);
      std::unique_ptr<subSystem> instance(new subSystem());
      serializeSubSystemData(instance.get(), stream);
      item->def = instance->def;
      item->structure = instance.release();
      return item.release();
    }

    case CRT_Ship: {
      CostReader costs;
      costs.loadCosts(stream);
      empire* owner = getEmpireByID(stream.readEmpireId());
      stringw layoutName;
      stream.readString(layoutName);
      // The item takes the reference, and drops it when a later read fails.
      std::unique_ptr<ShipConstructible> item(new ShipConstructible(nullptr));
      item->layout = grabLayoutByName(owner, layoutName);
      item->costs.swap(costs.costs);
      if (stream.version() >= kRetrofitFlagVersion)
        item->retrofitFlag = stream.readU8();
      return item.release();
    }

    default:
      throw kSaveErrorInvalidBuildItem;
  }
}
