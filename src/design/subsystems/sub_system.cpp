#include "design/subsystems/sub_system.h"

#include <algorithm>
#include <cstddef>

namespace {

using irr::core::stringw;

// The number of floats in an instance's value block for `def`.
size_t valueBlockSize(const SubSystemDef *def) {
  if (def == nullptr)
    return 0;
  return def->variables.size() + def->costs.size() + def->consumption.size() +
         def->requirements.size() + def->hints.size();
}

// Where `view` points into `to`, given where it pointed into `from`; null
// stays null.
float *sameView(const float *view, const float *from, float *to) {
  if (view == nullptr || from == nullptr || to == nullptr)
    return nullptr;
  return to + (view - from);
}

// The slot of the built-in variable stored under `shortName`, or null.
float *builtInSlot(const subSystem &instance, const stringw &shortName) {
  if (instance.def == nullptr || instance.values == nullptr)
    return nullptr;
  const irr::s32 found =
      findPtrNamedVar(instance.def->variableIndex, shortName);
  if (found < 0)
    return nullptr;
  const SubSystemDef::ValueInfo *info =
      instance.def->variableIndex[found].value;
  if (info == nullptr || info->index >= instance.def->variables.size())
    return nullptr;
  return instance.values + info->index;
}

const stringw &levelKey() {
  static const stringw key(kSubSysLevelKey);
  return key;
}
const stringw &sizeKey() {
  static const stringw key(kSubSysSizeKey);
  return key;
}
const stringw &durabilityKey() {
  static const stringw key(kSubSysDurabilityKey);
  return key;
}
const stringw &massKey() {
  static const stringw key(kSubSysMassKey);
  return key;
}

float readSlot(const subSystem &instance, const stringw &shortName) {
  const float *slot = builtInSlot(instance, shortName);
  return slot != nullptr ? *slot : 0.0f;
}

void writeSlot(const subSystem &instance, const stringw &shortName,
               float value) {
  if (float *slot = builtInSlot(instance, shortName))
    *slot = value;
}

} // namespace

subSystem::subSystem(const subSystem &other)
    : def(other.def), available(other.available), scale(other.scale),
      provisions(other.provisions), effectors(other.effectors),
      triggerables(other.triggerables) {
  const size_t count = valueBlockSize(other.def);
  if (other.values != nullptr && count > 0) {
    values = new float[count];
    std::copy(other.values, other.values + count, values);
    costs = sameView(other.costs, other.values, values);
    consumption = sameView(other.consumption, other.values, values);
    requirements = sameView(other.requirements, other.values, values);
    hints = sameView(other.hints, other.values, values);
  }
  alterHooks.reallocate(other.alterHooks.size());
  for (irr::u32 i = 0; i < other.alterHooks.size(); ++i)
    alterHooks.push_back(other.alterHooks[i] != nullptr
                             ? new SubSystemAlterHook(*other.alterHooks[i])
                             : nullptr);
}

subSystem::~subSystem() {
  delete[] values;
  for (irr::u32 i = 0; i < alterHooks.size(); ++i)
    delete alterHooks[i];
}

float subSystem::getLevel() const { return readSlot(*this, levelKey()); }
float subSystem::getSize() const { return readSlot(*this, sizeKey()); }
float subSystem::getDurability() const {
  return readSlot(*this, durabilityKey());
}
float subSystem::getMass() const { return readSlot(*this, massKey()); }
void subSystem::setLevel(float value) { writeSlot(*this, levelKey(), value); }
void subSystem::setSize(float value) { writeSlot(*this, sizeKey(), value); }
void subSystem::setDurability(float value) {
  writeSlot(*this, durabilityKey(), value);
}
void subSystem::setMass(float value) { writeSlot(*this, massKey(), value); }

bool compareSubSystemLevel(const subSystem *a, const subSystem *b) {
  return a->getLevel() > b->getLevel();
}
