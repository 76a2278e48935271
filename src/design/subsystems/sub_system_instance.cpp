// Evaluating a sub-system definition into an instance, and running the alter
// hooks that adjust the numbers while they are produced.
#include <angelscript.h>

#include "core/formula.h"
#include "core/named_values.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "script/script_contexts.h"
#include "script/script_string.h"

using namespace AngelScript;
using irr::core::stringw;

namespace {

// The namespace under which an evaluation publishes the definition's
// variables: a one-character name (code 2) that no data file can write.
const stringw &ownVariablesSpace() {
  static const stringw name(L"\x02");
  return name;
}

// Binds a private variable set into the context for one evaluation and puts
// back whatever held the name before (also when an exception passes).
class VariablesBinding {
public:
  VariablesBinding(NameSpaces &context, NamedValues &set)
      : context_(context), earlier_(context.findSpace(ownVariablesSpace())) {
    context_.setSpace(&set, ownVariablesSpace());
  }
  ~VariablesBinding() { context_.setSpace(earlier_, ownVariablesSpace()); }
  VariablesBinding(const VariablesBinding &) = delete;
  VariablesBinding &operator=(const VariablesBinding &) = delete;

private:
  NameSpaces &context_;
  NamedValues *earlier_;
};

// Evaluates each formula of a named list into the slots from `view` on.
template <typename List>
void evaluateList(const List &list, float *view, NameSpaces &context) {
  for (irr::u32 i = 0; i < list.size(); ++i)
    view[i] = evaluateFormula(list[i].value, &context);
}

// Runs one hook function on a prepared context from the calling thread's
// pool: the instance, then `setSecond` fills argument 1, then the floats.
template <typename SetSecond>
void runHook(int32_t functionId, subSystem *instance,
             const std::vector<float> &arguments, SetSecond setSecond) {
  bool fromPool = false;
  asIScriptContext *context = getPreparedScriptContext(functionId, fromPool);
  if (context == nullptr)
    return;
  const asIScriptFunction *function = context->GetFunction();
  if (function != nullptr) {
    const asUINT parameters = function->GetParamCount();
    if (parameters > 0)
      context->SetArgObject(0, instance);
    if (parameters > 1)
      setSecond(context);
    // Only as many floats as the function declares.
    for (asUINT i = 0; i < arguments.size() && i + 2 < parameters; ++i)
      context->SetArgFloat(i + 2, arguments[i]);
    // A failing script is reported by the context's exception callback.
    context->Execute();
    if (context->GetState() == asEXECUTION_SUSPENDED)
      endScriptCall(context);
  }
  if (fromPool)
    releaseScriptContext(context);
}

} // namespace

void runModeAlterHooks(const SubSystemAlterHookList *hooks, subSystem *instance,
                       SubSystemEvalMode mode) {
  if (hooks == nullptr)
    return;
  for (const SubSystemAlterHook &hook : *hooks) {
    if (hook.modeFunction < 0)
      continue;
    runHook(hook.modeFunction, instance, hook.arguments,
            [mode](asIScriptContext *context) {
              context->SetArgDWord(1, static_cast<asDWORD>(mode));
            });
  }
}

void runNamedAlterHooks(const SubSystemAlterHookList *hooks,
                        subSystem *instance, const stringw &name) {
  if (hooks == nullptr)
    return;
  for (const SubSystemAlterHook &hook : *hooks) {
    if (hook.stringFunction < 0)
      continue;
    runHook(hook.stringFunction, instance, hook.arguments,
            [&name](asIScriptContext *context) {
              // The context takes its own reference on the handle; ours goes
              // after.
              ScriptString *text = new ScriptString(name);
              context->SetArgObject(1, text);
              text->release();
            });
  }
}

subSystem *
SubSystemDef::createInstance(subSystem *storage, NameSpaces &context,
                             const SubSystemAlterHookList *hooks) const {
  subSystem *instance = storage;

  // 1. Clear whatever the storage held (the owner's scale stays).
  delete[] instance->values;
  instance->values = nullptr;
  instance->costs = instance->consumption = instance->requirements =
      instance->hints = nullptr;
  for (irr::u32 i = 0; i < instance->alterHooks.size(); ++i)
    delete instance->alterHooks[i];
  instance->alterHooks.clear();
  instance->provisions.clear();
  instance->effectors.clear();
  instance->triggerables.clear();
  instance->available = true;

  // 2. Availability; a definition not yet finalised has no formula and is
  // available.
  if (available != nullptr && evaluateFormula(available, &context) <= 0.0f)
    instance->available = false;

  // 3. The private set of the variables, bound for the whole evaluation.
  instance->def = this;
  NamedValues ownVariables;
  VariablesBinding binding(context, ownVariables);

  // 4. One block: variables, costs, consumption, requirements, hints.
  const size_t variableCount = variables.size();
  const size_t count = variableCount + costs.size() + consumption.size() +
                       requirements.size() + hints.size();
  if (count > 0) {
    instance->values = new float[count]();
    float *next = instance->values + variableCount;
    auto view = [&next](irr::u32 size) {
      float *start = size > 0 ? next : nullptr;
      next += size;
      return start;
    };
    instance->costs = view(costs.size());
    instance->consumption = view(consumption.size());
    instance->requirements = view(requirements.size());
    instance->hints = view(hints.size());
  }

  // 5. Variables in declaration order, each published for the later ones
  // after the hooks have had their say.
  for (const ValueInfo *info : variables) {
    if (info == nullptr || info->index >= variableCount)
      continue;
    float &slot = instance->values[info->index];
    slot = evaluateFormula(info->value, &context);
    if (hooks != nullptr)
      runNamedAlterHooks(hooks, instance, info->name);
    ownVariables.set(info->name, slot);
  }

  // 6. The resource lists, each followed by its hooks.
  evaluateList(costs, instance->costs, context);
  runModeAlterHooks(hooks, instance, SSVM_Costs);
  evaluateList(consumption, instance->consumption, context);
  runModeAlterHooks(hooks, instance, SSVM_Consumes);
  evaluateList(requirements, instance->requirements, context);
  runModeAlterHooks(hooks, instance, SSVM_Requires);
  evaluateList(hints, instance->hints, context);
  runModeAlterHooks(hooks, instance, SSVM_Hints);

  // 7. The definition's own alter hooks, with their arguments evaluated.
  instance->alterHooks.reallocate(static_cast<irr::u32>(alterHooks.size()));
  for (const AlterHook *source : alterHooks) {
    if (source == nullptr)
      continue;
    auto *hook = new SubSystemAlterHook;
    hook->modeFunction = source->modeFunction;
    hook->stringFunction = source->stringFunction;
    hook->arguments.reserve(source->arguments.size());
    for (const formula *argument : source->arguments)
      hook->arguments.push_back(evaluateFormula(argument, &context));
    instance->alterHooks.push_back(hook);
  }

  // 8. Provisions: the effect and each value it declares.
  instance->provisions.reallocate(static_cast<irr::u32>(provisions.size()));
  for (const Provision *provision : provisions) {
    effect_data data;
    if (provision != nullptr) {
      data.effect = provision->effect;
      const size_t declared = provision->effect != nullptr
                                  ? provision->effect->valueNames.size()
                                  : 0;
      for (size_t k = 0; k < declared && k < 4; ++k)
        data.values[k] = evaluateFormula(provision->values[k], &context);
    }
    instance->provisions.push_back(data);
  }

  // 9. Effectors, then triggerables in their sorted order.
  instance->effectors.reallocate(static_cast<irr::u32>(effectors.size()));
  for (const effector_forms *forms : effectors) {
    instance->effectors.push_back(effector());
    if (forms != nullptr)
      instance->effectors.getLast().evaluate(*forms, context);
  }
  instance->triggerables.reallocate(triggerables.size());
  for (irr::u32 i = 0; i < triggerables.size(); ++i) {
    instance->triggerables.push_back(effector());
    if (triggerables[i].value != nullptr)
      instance->triggerables.getLast().evaluate(*triggerables[i].value,
                                                context);
  }

  // 10. The provisions' hooks.
  runModeAlterHooks(hooks, instance, SSVM_Provisions);

  // 11. The binding goes with `binding`, before the private set.
  return instance;
}
