#include "design/build/build_requests.h"

#include <algorithm>

#include "design/build/constructible.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/planets/planet.h"

namespace {

uint32_t requestedCount(const BuildRequest& request) {
  return request.hasCount ? std::min(request.count, kMaxBuildRequestCount) : 1u;
}

objHabitation* asPlanet(generic_object* object) {
  return object->getType() == OT_Planet ? static_cast<objHabitation*>(object) : nullptr;
}

unsigned queueStructures(objHabitation* planet, const BuildRequest& request) {
  const SubSystemDef* def = lookupSubSystemDefByID(request.definitionId);
  if (def == nullptr)
    return 0;
  const uint32_t count = requestedCount(request);
  unsigned queued = 0;
  for (; queued < count; ++queued) {
    constructible* item = nullptr;
    try {
      item = new StructureConstructible(def, planet);
    } catch (const InvalidConstruct&) {
      break;  // none can be made for this planet
    }
    planet->addConstructible(item);
  }
  return queued;
}

unsigned queueRebuild(objHabitation* planet, const BuildRequest& request) {
  if (request.structureIndex >= planet->structures.size())
    return 0;
  subSystem* old = planet->structures[request.structureIndex].system;
  if (old == nullptr)
    return 0;
  constructible* item = nullptr;
  try {
    item = new RebuildStructureConstructible(old, planet);
  } catch (const InvalidConstruct&) {
    return 0;
  }
  planet->addConstructible(item);
  return 1;
}

unsigned queueShips(generic_object* object, empire* sender, const BuildRequest& request) {
  if (sender == nullptr)
    return 0;
  // The sender's newest revision; the table holds it, each item its own
  // reference.
  hull_list* layout = sender->updateHullByName(request.layoutName, -1.0f);
  if (layout == nullptr)
    return 0;
  const uint32_t count = requestedCount(request);
  for (uint32_t i = 0; i < count; ++i)
    object->addConstructible(new ShipConstructible(layout));
  return count;
}

}  // namespace

unsigned queueBuildRequest(generic_object* object, empire* sender, const BuildRequest& request) {
  if (object == nullptr)
    return 0;
  switch (request.subKind) {
    case BRK_Structure: {
      objHabitation* planet = asPlanet(object);
      return planet != nullptr ? queueStructures(planet, request) : 0;
    }
    case BRK_Rebuild: {
      objHabitation* planet = asPlanet(object);
      return planet != nullptr ? queueRebuild(planet, request) : 0;
    }
    case BRK_Ship:
      return queueShips(object, sender, request);
    default:
      return 0;
  }
}
