// Effector instances: a definition's formulas evaluated for one sub-system,
// and the instance's save and network form.
#include "design/effectors/effector.h"

#include <memory>

#include "core/formula.h"
#include "core/named_values.h"
#include "core/save_stream.h"
#include "design/effects/data_lists.h"

using irr::core::stringw;

namespace {

// The namespace under which an instance's own values are bound while its
// caused effects, range and speed are evaluated: no data file can name it.
const stringw& ownValuesSpace() {
  static const stringw name(L"\x01");
  return name;
}

// Binds `set` under the own-values namespace for its lifetime and puts back
// whatever was bound there before.
class OwnValuesBinding {
 public:
  OwnValuesBinding(NameSpaces& spaces, NamedValues& set)
      : spaces_(spaces), earlier_(spaces.findSpace(ownValuesSpace())) {
    spaces_.setSpace(&set, ownValuesSpace());
  }
  ~OwnValuesBinding() { spaces_.setSpace(earlier_, ownValuesSpace()); }
  OwnValuesBinding(const OwnValuesBinding&) = delete;
  OwnValuesBinding& operator=(const OwnValuesBinding&) = delete;

 private:
  NameSpaces& spaces_;
  NamedValues* earlier_;
};

// How many of an effect's value slots its hooks read (at most four).
irr::u32 effectValueCount(const effect_handler* effect) {
  if (effect == nullptr)
    return 0;
  const size_t count = effect->valueNames.size();
  return count < 4 ? static_cast<irr::u32>(count) : 4u;
}

}  // namespace

// --- effector_forms ------------------------------------------------------------

effector_forms::effector_forms(const effector_def* definition) : def(definition) {
  const irr::u32 count = def == nullptr ? 0u : def->valueNames.size();
  values.reallocate(count);
  for (irr::u32 i = 0; i < count; ++i)
    values.push_back(nullptr);
}

effector_forms::~effector_forms() {
  for (irr::u32 i = 0; i < values.size(); ++i)
    delete values[i];
}

// --- Evaluation ----------------------------------------------------------------

void effector::evaluate(const effector_forms& source, NameSpaces& variables) {
  def = source.def;
  values.clear();
  effects.clear();
  range = 1000.0f;
  speed = 150.0f;
  if (def == nullptr)
    return;

  // The values, against the sub-system's variables; each is also kept by name
  // for the formulas below.
  NamedValues own;
  const irr::u32 valueCount = def->valueNames.size();
  values.reallocate(valueCount);
  for (irr::u32 i = 0; i < valueCount; ++i) {
    const formula* program = i < source.values.size() ? source.values[i] : nullptr;
    const float value = evaluateFormula(program, &variables);
    values.push_back(value);
    own.set(*def->valueNames[i], value);
  }

  const OwnValuesBinding binding(variables, own);
  effects.reallocate(def->effects.size());
  for (irr::u32 i = 0; i < def->effects.size(); ++i) {
    const effector_def::effector_effect* caused = def->effects[i];
    EffectorEffectRecord record;
    record.duration = evaluateFormula(caused->duration, &variables);
    record.data.effect = caused->effect;
    // A slot the with-list left without a formula evaluates to 0.
    for (irr::u32 slot = 0; slot < effectValueCount(caused->effect); ++slot)
      record.data.values[slot] = evaluateFormula(caused->values[slot], &variables);
    effects.push_back(record);
  }
  range = def->range != nullptr ? evaluateFormula(def->range, &variables) : 1000.0f;
  speed = def->projectileSpeed != nullptr ? evaluateFormula(def->projectileSpeed, &variables) : 150.0f;
}

// --- Save and network form -------------------------------------------------

void effector::write(SaveStream& stream) const {
  stream.writeFloat(range);
  stream.writeFloat(speed);
  // The counts are the definition's; an instance never holds fewer entries,
  // but a missing one is written as zeros rather than read past the end.
  const irr::u32 valueCount = def != nullptr ? def->valueNames.size() : values.size();
  stream.writeU16(static_cast<uint16_t>(valueCount));
  for (irr::u32 i = 0; i < valueCount; ++i)
    stream.writeFloat(i < values.size() ? values[i] : 0.0f);
  const irr::u32 effectCount = def != nullptr ? def->effects.size() : effects.size();
  stream.writeU16(static_cast<uint16_t>(effectCount));
  for (irr::u32 i = 0; i < effectCount; ++i) {
    const EffectorEffectRecord empty;
    const EffectorEffectRecord& record = i < effects.size() ? effects[i] : empty;
    stream.writeFloat(record.duration);
    for (float value : record.data.values)
      stream.writeFloat(value);
  }
}

void effector::read(const effector_def* definition, SaveStream& stream) {
  // Everything is read into locals first: a refused or cut record leaves
  // the instance as it was.
  const float storedRange = stream.readFloat();
  const float storedSpeed = stream.readFloat();

  uint16_t valueCount = 0;
  float* rawValues = nullptr;
  readFloatList(stream, valueCount, rawValues);
  const std::unique_ptr<float[]> storedValues(rawValues);
  const irr::u32 wantedValues = definition != nullptr ? definition->valueNames.size() : valueCount;
  if (valueCount < wantedValues)
    throw kSaveErrorEffectorValues;

  const uint16_t effectCount = stream.readU16();
  const irr::u32 wantedEffects = definition != nullptr ? definition->effects.size() : 0u;
  if (effectCount < wantedEffects)
    throw kSaveErrorEffectorEffects;

  irr::core::array<EffectorEffectRecord> readEffects;
  readEffects.reallocate(wantedEffects);
  for (irr::u32 k = 0; k < effectCount; ++k) {
    EffectorEffectRecord record;
    readCausedEffectRecord(stream, record.duration, record.data.values);
    // Records beyond the definition's caused effects (a save made with other
    // effector files) have nothing to bind to: read and dropped.
    if (k < wantedEffects) {
      record.data.effect = definition->effects[k]->effect;
      readEffects.push_back(record);
    }
  }

  def = definition;
  range = storedRange;
  speed = storedSpeed;
  values.clear();
  values.reallocate(wantedValues);
  for (irr::u32 i = 0; i < wantedValues; ++i)
    values.push_back(storedValues[i]);
  effects = readEffects;
}
