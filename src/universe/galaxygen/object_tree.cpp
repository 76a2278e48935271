#include "universe/galaxygen/object_tree.h"

#include "core/save_stream.h"
#include "gfx/render_group.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/docking.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_record.h"
#include "universe/objects/object_states.h"
#include "universe/objects/oddity.h"
#include "universe/objects/star.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

constexpr SaveFileError kGalaxyAsChild{5, "Galaxy specified as child"};
constexpr SaveFileError kSystemNotUnderGalaxy{5, "System not specified as child of galaxy"};
constexpr SaveFileError kObjectNotUnderSystem{5, "Object not specified as child of galaxy or solar system"};

// First version whose child lists depend on the kind, with byte counts.
constexpr int32_t kByteCountVersion = 8;
// The count byte that announces a u32 count.
constexpr uint8_t kLongCount = 255;

// A loaded galaxy's radius, as a new one's.
constexpr float kLoadedGalaxyRadius = 200000.0f;
// The state every star carries: its temperature.
const irr::core::stringw kStarTemperature = L"Temp K";

bool holdsObjects(const generic_object* parent) {
  if (parent == nullptr)
    return false;
  const int type = parent->getType();
  return type == OT_System || type == OT_Galaxy;
}

void saveRecord(SaveStream& stream, generic_object& object);

// A docked object's record: its mover, kept aside while it is docked, is
// put back for the time of the record so that it is written with it.
void saveDockedRecord(SaveStream& stream, StoredObject& entry) {
  generic_object& object = *entry.object;
  object.mover = entry.mover;
  try {
    saveRecord(stream, object);
  } catch (...) {
    object.mover = nullptr;
    throw;
  }
  object.mover = nullptr;
}

void saveRecord(SaveStream& stream, generic_object& object) {
  const int type = object.getType();
  stream.writePackedUInt(static_cast<uint32_t>(type));
  writeBaseRecord(stream, object);
  object.writeOwnFields(stream);
  switch (type) {
    case OT_Galaxy:
    case OT_System:
      writeChildCount(stream, object.children.size());
      for (irr::u32 i = 0; i < object.children.size(); ++i)
        saveRecord(stream, *object.children[i].get());
      break;
    case OT_Planet:
    case OT_Hulled:
      writeChildCount(stream, object.docked.size());
      for (irr::u32 i = 0; i < object.docked.size(); ++i)
        saveDockedRecord(stream, object.docked[i]);
      break;
    default:
      break;  // stars and oddities have no child list
  }
}

generic_object* readTree(SaveStream& stream, generic_object* parent, bool docked, unsigned level,
                         generic_object** made);

void readChildren(SaveStream& stream, generic_object& object, unsigned level) {
  if (stream.version() >= kByteCountVersion) {
    switch (object.getType()) {
      case OT_Star:
      case OT_Oddity:
        return;
      case OT_Planet:
      case OT_Hulled: {
        const uint32_t count = readChildCount(stream);
        for (uint32_t i = 0; i < count; ++i)
          readTree(stream, &object, true, level + 1, nullptr);
        return;
      }
      default:
        break;
    }
  }
  // Older saves give every kind a list; the parent rules refuse children
  // where they cannot be.
  const uint32_t count = readChildCount(stream);
  for (uint32_t i = 0; i < count; ++i)
    readTree(stream, &object, false, level + 1, nullptr);
}

// Reads one record and its children; `made` (when given) receives the
// object as soon as it exists, so that a failure below it can still reach
// it.
generic_object* readTree(SaveStream& stream, generic_object* parent, bool docked, unsigned level,
                         generic_object** made) {
  // A damaged file could nest without end and exhaust the stack.
  if (level > kMaxObjectTreeDepth)
    throw kSaveErrorObjectTreeMalformed;
  // A docked object is made in its carrier's container, then docked.
  generic_object* carrier = nullptr;
  if (docked) {
    if (parent == nullptr)
      throw kSaveErrorObjectTreeMalformed;
    carrier = parent;
    parent = carrier->container.load();
  }

  const uint32_t kind = stream.readPackedUInt();
  generic_object* object = nullptr;
  switch (kind) {
    case OT_Galaxy:
      if (parent != nullptr)
        throw kGalaxyAsChild;
      object = finishObjectLoad(new objGalaxy(stream, nullptr));
      // The galaxy's render group, under the scene root (none without a
      // scene).
      object->graphics = createGalaxyRenderGroup(object);
      break;
    case OT_System:
      if (carrier != nullptr)
        throw kSaveErrorObjectTreeMalformed;  // a star system is never docked
      if (parent == nullptr || parent->getType() != OT_Galaxy)
        throw kSystemNotUnderGalaxy;
      // Made in the galaxy: the container change of a new system has
      // nothing left to do.
      object = finishObjectLoad(new solarSystem(stream, parent));
      break;
    case OT_Planet:
    case OT_Star:
    case OT_Hulled:
    case OT_Oddity:
      if (!holdsObjects(parent))
        throw kObjectNotUnderSystem;
      if (kind == OT_Planet) {
        object = finishObjectLoad(new objHabitation(stream, parent));
      } else if (kind == OT_Hulled) {
        object = finishObjectLoad(new objHulled(stream, parent));
      } else if (kind == OT_Star) {
        object = finishObjectLoad(new objStar(stream, parent));
        getOrAddObjectState(object, kStarTemperature);
      } else {
        object = finishObjectLoad(new objOddity(stream, parent));
      }
      break;
    default:
      throw kSaveErrorObjectTreeMalformed;
  }
  if (made != nullptr)
    *made = object;
  // Its own docked objects first, while it is still in the container they
  // are made in; then it docks in its carrier.
  readChildren(stream, *object, level);
  if (carrier != nullptr)
    dockLoadedObject(*carrier, *object);
  return object;
}

}  // namespace

void writeChildCount(SaveStream& stream, uint32_t count) {
  if (count < kLongCount) {
    stream.writeU8(static_cast<uint8_t>(count));
    return;
  }
  stream.writeU8(kLongCount);
  stream.writeU32(count);
}

uint32_t readChildCount(SaveStream& stream) {
  if (stream.version() < kByteCountVersion)
    return stream.readU16();
  const uint8_t count = stream.readU8();
  return count == kLongCount ? stream.readU32() : count;
}

void saveObjectTree(SaveStream& stream, generic_object* root) {
  if (root != nullptr)
    saveRecord(stream, *root);
}

generic_object* readObjectTree(SaveStream& stream, generic_object* parent, bool docked, unsigned level) {
  generic_object* root = nullptr;
  try {
    return readTree(stream, parent, docked, level, parent == nullptr ? &root : nullptr);
  } catch (...) {
    if (root != nullptr)
      root->destroyNow(true);  // frees what was read with it
    throw;
  }
}

objGalaxy* loadObjectTree(SaveStream& stream, generic_object** partial) {
  if (partial != nullptr)
    *partial = nullptr;
  loadSystemNames();
  generic_object* root = nullptr;
  try {
    readTree(stream, nullptr, false, 1, &root);
    if (root->getType() != OT_Galaxy)
      throw kSaveErrorObjectTreeMalformed;
  } catch (...) {
    if (partial != nullptr)
      *partial = root;
    else if (root != nullptr)
      root->destroyNow(true);
    throw;
  }
  auto* loaded = static_cast<objGalaxy*>(root);
  loaded->radius = kLoadedGalaxyRadius;
  return loaded;
}
