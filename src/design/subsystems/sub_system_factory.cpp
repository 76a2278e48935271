// The factory that evaluates sub-systems for an object's owner: the owner's
// formula namespaces plus an "Object" set, and the alter hooks of the
// empire, its traits and (for a planet) the planet's conditions and
// structures.
//
// Lock order: a system lock comes before the empire's variables area, and
// the traits area (whose writers take the variables area inside it) comes
// before the variables area too. So the hook records that those locks guard
// are copied first, each under its own lock, and only then is the
// variables area taken, for writing, until release.
#include <irrString.h>

#include <memory>

#include "core/locks.h"
#include "core/named_values.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "universe/objects/game_object.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"

namespace {

using irr::core::stringw;

const stringw &objectSpace() {
  static const stringw name(L"Object");
  return name;
}

const stringw &scaleName() {
  static const stringw name(L"Scale");
  return name;
}

// The value of "Scale" for sub-systems evaluated on a planet.
constexpr float kPlanetScale = 10.0f;

SubSystemAlterHook copyHook(int32_t modeFunction, int32_t stringFunction,
                            const std::vector<float> &arguments) {
  SubSystemAlterHook hook;
  hook.modeFunction = modeFunction;
  hook.stringFunction = stringFunction;
  hook.arguments = arguments;
  return hook;
}

// The hooks of a planet's conditions, in condition order, then those of its
// structures, in structure order; copied under the planet's system lock, so
// a structure removed meanwhile leaves nothing behind in the list.
void collectPlanetHooks(objHabitation *planet, SubSystemAlterHookList &out) {
  planet->lockContainer();
  for (irr::u32 i = 0; i < planet->conditions.size(); ++i) {
    const planetCondition *condition = planet->conditions[i];
    if (condition == nullptr)
      continue;
    for (const ConditionHook &hook : condition->hooks)
      out.push_back(
          copyHook(hook.modeFunctionId, hook.stringFunctionId, hook.args));
  }
  for (irr::u32 i = 0; i < planet->structures.size(); ++i) {
    const subSystem *structure = planet->structures[i].system;
    if (structure == nullptr)
      continue;
    for (irr::u32 k = 0; k < structure->alterHooks.size(); ++k) {
      if (structure->alterHooks[k] != nullptr)
        out.push_back(*structure->alterHooks[k]);
    }
  }
  planet->unlockContainer();
}

class CSubSysFact : public SubSystemFactory {
public:
  ~CSubSysFact() override { release(); }

  void prepare(generic_object *object) override {
    release();
    empire *owner = object != nullptr ? object->getOwner() : nullptr;
    if (owner == nullptr)
      return;

    // Copies first, each under its own lock, none held afterwards.
    SubSystemAlterHookList traitHooks;
    collectTraitAlterHooks(owner, traitHooks);
    SubSystemAlterHookList planetHooks;
    objHabitation *planet = object->getType() == OT_Planet
                                ? static_cast<objHabitation *>(object)
                                : nullptr;
    if (planet != nullptr)
      collectPlanetHooks(planet, planetHooks);

    owner->lockArea(lock_, EA_Variables, true);
    context_ = &owner->spaces;
    objectValues_ = NamedValues();
    if (planet != nullptr)
      objectValues_.set(scaleName(), kPlanetScale);
    context_->setSpace(&objectValues_, objectSpace());

    hooks_.reserve(owner->alterHooks.size() + traitHooks.size() +
                   planetHooks.size());
    hooks_.assign(owner->alterHooks.begin(), owner->alterHooks.end());
    hooks_.insert(hooks_.end(), traitHooks.begin(), traitHooks.end());
    hooks_.insert(hooks_.end(), planetHooks.begin(), planetHooks.end());
  }

  subSystem *create(const SubSystemDef *def) override {
    if (context_ == nullptr || def == nullptr)
      return nullptr;
    std::unique_ptr<subSystem> instance(new subSystem());
    def->createInstance(instance.get(), *context_,
                        hooks_.empty() ? nullptr : &hooks_);
    return instance.release();
  }

  void release() override {
    if (context_ == nullptr)
      return;
    context_->setSpace(nullptr, objectSpace());
    context_ = nullptr;
    lock_.release();
    hooks_.clear();
  }

private:
  empire::AreaGuard lock_;
  NameSpaces *context_ = nullptr;
  NamedValues objectValues_;
  SubSystemAlterHookList hooks_;
};

} // namespace

void collectTraitAlterHooks(empire *emp, SubSystemAlterHookList &out) {
  ScopedReadLock guard(emp->locks[EA_Traits]);
  for (const auto &entry : emp->traits) {
    if (entry.second == nullptr)
      continue;
    for (const TraitAlterHook &hook : entry.second->alterHooks)
      out.push_back(
          copyHook(hook.evalModeFunction, hook.textFunction, hook.args));
  }
}

SubSystemFactory *createSubSystemFactory() { return new CSubSysFact(); }
