#include "design/subsystems/sub_system_def.h"

#include <iterator>

#include "core/formula.h"
#include "core/log.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"

PtrNamedVar<SubSystemDef*>::Registry subSystemDefRegistry;
std::map<uint32_t, SubSystemDef*> subSystemDefsByID;

namespace {

// A built-in variable: its name, its short name and the formula it gets
// when the file declares none.
struct BuiltInVariable {
  const wchar_t* name;
  const wchar_t* shortName;
  const wchar_t* defaultFormula;
};

// In the order finalising appends them.
constexpr BuiltInVariable kBuiltInVariables[] = {
    {L"Level", kSubSysLevelKey, L"1"},
    {L"Size", kSubSysSizeKey, L"Scale"},
    {L"Durability", kSubSysDurabilityKey, L"Size"},
    {L"Mass", kSubSysMassKey, L"Size"},
};

// The formula a value left out of the file gets.
constexpr wchar_t kMissingValueFormula[] = L"1";

template <typename V>
void deleteValues(irr::core::array<PtrNamedVar<V>>& list) {
  for (irr::u32 i = 0; i < list.size(); ++i)
    delete list[i].value;
  list.clear();
}

// Completes one effector's values: each null one becomes "1" and is logged.
void fillEffectorValues(const SubSystemDef& def, effector_forms* forms) {
  if (forms == nullptr)
    return;
  for (irr::u32 i = 0; i < forms->values.size(); ++i) {
    if (forms->values[i] != nullptr)
      continue;
    forms->values[i] = new formula(kMissingValueFormula);
    const irr::core::stringw* valueName =
        forms->def != nullptr && i < forms->def->valueNames.size() ? forms->def->valueNames[i] : nullptr;
    logError("%ls missing effector value entry: %ls\n", def.name.c_str(),
             valueName != nullptr ? valueName->c_str() : L"");
  }
}

}  // namespace

// --- The record --------------------------------------------------------------

SubSystemDef::ValueInfo::ValueInfo(const irr::core::stringw& valueName, formula* valueFormula, uint32_t valueIndex,
                                   bool isBuiltIn)
    : name(valueName), value(valueFormula), index(valueIndex), builtIn(isBuiltIn) {}

SubSystemDef::ValueInfo::~ValueInfo() { delete value; }

SubSystemDef::Provision::~Provision() {
  for (formula* value : values)
    delete value;
}

SubSystemDef::AlterHook::~AlterHook() {
  for (formula* argument : arguments)
    delete argument;
}

SubSystemDef::~SubSystemDef() {
  // The tie records belong to their technologies; whoever deletes a
  // definition while technologies live takes its ties out of them first.
  delete available;
  for (AlterHook* hook : alterHooks)
    delete hook;
  // variableIndex holds the built-ins twice; variables holds each once.
  for (ValueInfo* info : variables)
    delete info;
  variableIndex.clear();
  deleteValues(costs);
  deleteValues(consumption);
  deleteValues(requirements);
  deleteValues(hints);
  tags.clear();
  for (Provision* provision : provisions)
    delete provision;
  for (effector_forms* forms : effectors)
    delete forms;
  deleteValues(triggerables);
}

bool SubSystemDef::hasTag(const irr::core::stringw& tag) const { return findPtrNamedVar(tags, tag) >= 0; }

// --- Registries --------------------------------------------------------------

uint32_t makeSubSystemID(const irr::core::stringw& name) {
  const irr::u32 length = name.size();
  auto byte = [&](irr::u32 index) { return static_cast<uint32_t>(name[index]) & 0xFFu; };
  uint32_t id = 0;
  if (length <= 4) {
    for (irr::u32 i = 0; i < length; ++i)
      id |= byte(i) << (8 * i);
  } else {
    id = byte(0) | byte(1) << 8 | byte(length - 1) << 16 | byte(length - 2) << 24;
  }
  while (subSystemDefsByID.count(id) != 0)
    ++id;  // wraps as an unsigned 32-bit number
  return id;
}

bool registerSubSystemDef(SubSystemDef* def, const irr::core::stringw& name) {
  if (def == nullptr || findSubSystemDefByName(name) >= 0)
    return false;
  def->name = name;
  def->id = makeSubSystemID(name);
  findOrInsertPtrNamedVar(subSystemDefRegistry, name).value = def;
  subSystemDefsByID[def->id] = def;
  return true;
}

SubSystemDef* replaceSubSystemDef(SubSystemDef* def, const irr::core::stringw& name) {
  const irr::s32 index = findSubSystemDefByName(name);
  if (index < 0) {
    registerSubSystemDef(def, name);
    return nullptr;
  }
  SubSystemDef* old = subSystemDefRegistry[index].value;
  def->name = old->name;
  def->id = old->id;
  subSystemDefRegistry[index].value = def;
  subSystemDefsByID[def->id] = def;
  return old;
}

irr::s32 findSubSystemDefByName(const irr::core::stringw& name) {
  return findPtrNamedVar(subSystemDefRegistry, name);
}

std::map<uint32_t, SubSystemDef*>::iterator findSubSystemDefEntry(uint32_t id) { return subSystemDefsByID.find(id); }

SubSystemDef* lookupSubSystemDefByID(uint32_t id) {
  const auto found = subSystemDefsByID.find(id);
  return found == subSystemDefsByID.end() ? nullptr : found->second;
}

// --- Finalising --------------------------------------------------------------

void finalizeSubSystemDef(SubSystemDef* def) {
  if (def == nullptr || def->finalized)
    return;

  // Lookups during play never sort, so a list filled by appending is put in
  // order here, while loading still runs on one thread.
  def->variableIndex.sort();
  def->costs.sort();
  def->consumption.sort();
  def->requirements.sort();
  def->hints.sort();
  def->tags.sort();
  def->triggerables.sort();

  if (def->available == nullptr)
    def->available = new formula(L"1");

  // The material "GenericSubSys" of the graphics resource registry goes in
  // `appearance` once the registry's material pass has ended: the session
  // calls fillSubSystemAppearances then (the definitions may be read while
  // that pass runs on another thread).

  for (const BuiltInVariable& builtIn : kBuiltInVariables) {
    const irr::core::stringw name(builtIn.name);
    SubSystemDef::ValueInfo* info = nullptr;
    const irr::s32 index = findPtrNamedVar(def->variableIndex, name);
    if (index >= 0) {
      info = def->variableIndex[index].value;
    } else {
      info = new SubSystemDef::ValueInfo(name, new formula(builtIn.defaultFormula),
                                         static_cast<uint32_t>(def->variables.size()), true);
      def->variables.push_back(info);
      findOrInsertPtrNamedVar(def->variableIndex, name).value = info;
    }
    info->builtIn = true;
    findOrInsertPtrNamedVar(def->variableIndex, irr::core::stringw(builtIn.shortName)).value = info;
  }

  for (effector_forms* forms : def->effectors)
    fillEffectorValues(*def, forms);
  for (irr::u32 i = 0; i < def->triggerables.size(); ++i)
    fillEffectorValues(*def, def->triggerables[i].value);

  for (SubSystemDef::Provision* provision : def->provisions) {
    if (provision == nullptr || provision->effect == nullptr)
      continue;
    irr::u32 slot = 0;
    for (const irr::core::stringw& valueName : provision->effect->valueNames) {
      if (slot >= std::size(provision->values))
        break;
      if (provision->values[slot] == nullptr) {
        provision->values[slot] = new formula(kMissingValueFormula);
        logError("%ls missing effect value entry: %ls\n", def->name.c_str(), valueName.c_str());
      }
      ++slot;
    }
    def->effectFlags |= provision->effect->hookFlags;
  }

  def->finalized = true;
}

void fillSubSystemAppearances(const irr::video::SMaterial* material) {
  for (const auto& entry : subSystemDefsByID)
    if (entry.second != nullptr && entry.second->appearance == nullptr)
      entry.second->appearance = material;
}

void clearSubSystemDefs() {
  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i)
    delete subSystemDefRegistry[i].value;
  subSystemDefRegistry.clear();
  subSystemDefsByID.clear();
}
