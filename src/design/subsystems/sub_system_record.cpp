// The binary record of a sub-system instance, as saves carry it inside
// hull layouts, planet structures and build-queue items.
//
// Current form (save versions 14 on), little-endian, no padding:
//   u32 ID, f32 scale,
//   u16 N, N x f32 values (variables, costs, consumption, requirements,
//     hints: the value block as it stands),
//   u16 P, P x 4 f32 provision values,
//   u16 E, E effector records, u16 T, T triggerable effector records.
// Old form (below 14): the ID, then Level, Size, Durability and Mass as f32,
// then as above, except that the value list leaves out the four built-in
// variables (its count is N - 4). Its values fill the other variables in
// declaration order, then the costs, consumption, requirements and hints in
// block order.
//
// Reading checks every count against the definition before it stores
// anything under that count, and builds the instance aside: a record that
// fails leaves the storage as it was and frees whatever was read.
#include "design/subsystems/sub_system.h"

#include <memory>
#include <vector>

#include "core/save_stream.h"

namespace {

// The first save version with the current form.
constexpr int32_t kCurrentFormVersion = 14;
constexpr uint32_t kMaxCount = 0xFFFF;

// The built-in variables as the old form's header orders them.
constexpr const wchar_t* kHeaderVariables[] = {kSubSysLevelKey, kSubSysSizeKey, kSubSysDurabilityKey,
                                               kSubSysMassKey};
constexpr size_t kHeaderCount = sizeof(kHeaderVariables) / sizeof(kHeaderVariables[0]);

// Lengths of the parts of a definition's value block.
struct BlockLayout {
  uint32_t variables;
  uint32_t costs;
  uint32_t consumption;
  uint32_t requirements;
  uint32_t hints;

  uint32_t total() const { return variables + costs + consumption + requirements + hints; }
};

BlockLayout layoutOf(const SubSystemDef& def) {
  return {static_cast<uint32_t>(def.variables.size()), def.costs.size(), def.consumption.size(),
          def.requirements.size(), def.hints.size()};
}

// The view of a list that begins at `offset` and holds `length` values.
float* viewAt(float* block, uint32_t offset, uint32_t length) { return length == 0 ? nullptr : block + offset; }

uint16_t countForRecord(size_t count) {
  if (count > kMaxCount)
    throw kSaveErrorTooManyEntries;
  return static_cast<uint16_t>(count);
}

// The definition's slot of a built-in variable, or -1.
int32_t builtInSlot(const SubSystemDef& def, const wchar_t* shortName) {
  const irr::s32 index = findPtrNamedVar(def.variableIndex, irr::core::stringw(shortName));
  if (index < 0 || def.variableIndex[static_cast<irr::u32>(index)].value == nullptr)
    return -1;
  return static_cast<int32_t>(def.variableIndex[static_cast<irr::u32>(index)].value->index);
}

// Reads the old form's value list into `block` (N values): the header's
// built-ins into their slots, the list into every other slot in block order.
void readOldValues(SaveStream& stream, const SubSystemDef& def, const float (&header)[kHeaderCount], float* block,
                   uint32_t total) {
  const uint32_t count = stream.readU16();
  if (count + kHeaderCount != total)
    throw kSaveErrorSubSystemMismatch;
  std::unique_ptr<bool[]> isHeaderSlot(new bool[total]());
  for (size_t i = 0; i < kHeaderCount; ++i) {
    const int32_t slot = builtInSlot(def, kHeaderVariables[i]);
    if (slot < 0 || static_cast<uint32_t>(slot) >= total || isHeaderSlot[slot])
      throw kSaveErrorSubSystemMismatch;
    isHeaderSlot[slot] = true;
    block[slot] = header[i];
  }
  stream.expectBytes(uint64_t(count) * 4);
  for (uint32_t slot = 0; slot < total; ++slot) {
    if (!isHeaderSlot[slot])
      block[slot] = stream.readFloat();
  }
}

// Reads one effector record per entry of `forms`, each for that entry's
// definition.
void readEffectors(SaveStream& stream, const std::vector<const effector_forms*>& forms,
                   irr::core::array<effector>& out) {
  out.reallocate(static_cast<irr::u32>(forms.size()));
  for (const effector_forms* entry : forms) {
    out.push_back(effector());
    out.getLast().read(entry != nullptr ? entry->def : nullptr, stream);
  }
}

}  // namespace

void writeSubSystemDefRef(SaveStream& stream, const subSystem* instance) {
  if (instance == nullptr || instance->def == nullptr)
    throw kSaveErrorSubSystemID;
  const SubSystemDef& def = *instance->def;
  const uint32_t total = layoutOf(def).total();

  stream.writeU32(def.id);
  stream.writeFloat(instance->scale);
  stream.writeU16(countForRecord(total));
  for (uint32_t i = 0; i < total; ++i)
    stream.writeFloat(instance->values != nullptr ? instance->values[i] : 0.0f);

  stream.writeU16(countForRecord(instance->provisions.size()));
  for (irr::u32 i = 0; i < instance->provisions.size(); ++i) {
    for (float value : instance->provisions[i].values)
      stream.writeFloat(value);
  }

  stream.writeU16(countForRecord(instance->effectors.size()));
  for (irr::u32 i = 0; i < instance->effectors.size(); ++i)
    instance->effectors[i].write(stream);
  stream.writeU16(countForRecord(instance->triggerables.size()));
  for (irr::u32 i = 0; i < instance->triggerables.size(); ++i)
    instance->triggerables[i].write(stream);
}

subSystem* serializeSubSystemData(subSystem* storage, SaveStream& stream) {
  const SubSystemDef* def = lookupSubSystemDefByID(stream.readU32());
  if (def == nullptr)
    throw kSaveErrorSubSystemID;
  const bool oldForm = stream.version() < kCurrentFormVersion;

  float header[kHeaderCount] = {};
  if (oldForm) {
    stream.readFloat4(header[0], header[1], header[2], header[3]);
    const float size = header[1];
    const float durability = header[2];
    if (!(size >= 0.0f) || !(durability > 0.0f))
      throw kSaveErrorSubSystemPhysical;
  }
  const float scale = stream.readFloat();

  const BlockLayout layout = layoutOf(*def);
  const uint32_t total = layout.total();
  std::unique_ptr<float[]> block(new float[total]());
  if (oldForm) {
    readOldValues(stream, *def, header, block.get(), total);
  } else {
    // The count is checked before any value is read: a longer list must
    // never run past the block.
    if (stream.readU16() != total)
      throw kSaveErrorSubSystemMismatch;
    stream.expectBytes(uint64_t(total) * 4);
    for (uint32_t i = 0; i < total; ++i)
      block[i] = stream.readFloat();
  }

  irr::core::array<effect_data> provisions;
  if (stream.readU16() != def->provisions.size())
    throw kSaveErrorSubSystemProvisions;
  provisions.reallocate(static_cast<irr::u32>(def->provisions.size()));
  for (const SubSystemDef::Provision* provision : def->provisions) {
    effect_data data;
    data.effect = provision != nullptr ? provision->effect : nullptr;
    stream.readFloat4(data.values[0], data.values[1], data.values[2], data.values[3]);
    provisions.push_back(data);
  }

  irr::core::array<effector> effectors;
  if (stream.readU16() != def->effectors.size())
    throw kSaveErrorSubSystemEffectors;
  readEffectors(stream, {def->effectors.begin(), def->effectors.end()}, effectors);

  irr::core::array<effector> triggerables;
  if (stream.readU16() != def->triggerables.size())
    throw kSaveErrorSubSystemTriggerables;
  std::vector<const effector_forms*> triggerableForms;
  for (irr::u32 i = 0; i < def->triggerables.size(); ++i)
    triggerableForms.push_back(def->triggerables[i].value);
  readEffectors(stream, triggerableForms, triggerables);

  // The whole record is read: the storage takes it in place of what it held.
  delete[] storage->values;
  for (irr::u32 i = 0; i < storage->alterHooks.size(); ++i)
    delete storage->alterHooks[i];
  storage->alterHooks.clear();

  storage->def = def;
  storage->available = true;
  storage->scale = scale;
  storage->values = block.release();
  uint32_t offset = layout.variables;
  storage->costs = viewAt(storage->values, offset, layout.costs);
  offset += layout.costs;
  storage->consumption = viewAt(storage->values, offset, layout.consumption);
  offset += layout.consumption;
  storage->requirements = viewAt(storage->values, offset, layout.requirements);
  offset += layout.requirements;
  storage->hints = viewAt(storage->values, offset, layout.hints);
  storage->provisions = provisions;
  storage->effectors = effectors;
  storage->triggerables = triggerables;
  return storage;
}
