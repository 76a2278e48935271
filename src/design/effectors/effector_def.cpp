#include "design/effectors/effector_def.h"

#include "core/formula.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"

using irr::core::stringw;

namespace {

const char* const kArgKindNames[] = {"string", "value index", "state index", "static value"};

// Definitions by id, for the graphics calls that name them on the network.
std::map<int32_t, effector_def*>& definitionsById() {
  static std::map<int32_t, effector_def*> byId;
  return byId;
}

uint32_t idCounter = 0;

}  // namespace

const char* effectorArgKindName(uint32_t kind) {
  return kind < sizeof(kArgKindNames) / sizeof(kArgKindNames[0]) ? kArgKindNames[kind] : "unknown";
}

effector_def::effector_effect::~effector_effect() {
  for (formula*& value : values) {
    delete value;
    value = nullptr;
  }
  delete duration;
}

effector_def::effector_def(uint32_t definitionId) : id(definitionId), gfx(this) {}

effector_def::~effector_def() {
  for (irr::u32 i = 0; i < effects.size(); ++i)
    delete effects[i];
  delete range;
  delete projectileSpeed;
}

NamedVar<effector_def*>::Registry& effectorRegistry() {
  static NamedVar<effector_def*>::Registry registry;
  return registry;
}

effector_def* findEffector(const stringw& name) {
  NamedVar<effector_def*>::Registry& registry = effectorRegistry();
  const irr::s32 index = NamedVar<effector_def*>::find(registry, name);
  return index < 0 ? nullptr : registry[static_cast<irr::u32>(index)].value;
}

effector_def* findEffectorById(uint32_t id) {
  const std::map<int32_t, effector_def*>& byId = definitionsById();
  const auto found = byId.find(static_cast<int32_t>(id));
  return found == byId.end() ? nullptr : found->second;
}

uint32_t nextEffectorId() { return idCounter; }

effector_def* addEffectorDef(const stringw& name) {
  auto* def = new effector_def(idCounter++);
  definitionsById()[static_cast<int32_t>(def->id)] = def;
  NamedVar<effector_def*>::getOrAdd(effectorRegistry(), name).value = def;
  return def;
}

effect_handler* findEffect(const stringw& name) {
  const irr::s32 index = findEffectIndex(name);
  return index < 0 ? nullptr : effectRegistry()[static_cast<irr::u32>(index)].value;
}

void clearEffectors() {
  NamedVar<effector_def*>::Registry& registry = effectorRegistry();
  for (irr::u32 i = 0; i < registry.size(); ++i)
    delete registry[i].value;
  registry.clear();
  definitionsById().clear();
  idCounter = 0;
}
