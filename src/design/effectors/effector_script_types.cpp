#include "design/effectors/effector_script_types.h"

#include <angelscript.h>

#include <cstddef>
#include <cstdint>

#include "design/effectors/effector.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

const char* const kBorrowedTypes[] = {"Effector", "EffectorState"};

// "float opIndex(uint) const": the value at that index, in the order of the
// definition's value names. An index past them stops the script.
float effectorValue(const effector* eff, uint32_t index) {
  if (eff->def == nullptr || index >= eff->def->valueNames.size() || index >= eff->values.size()) {
    raiseScriptException("Index out-of-bounds when accessing Effector");
    return 0.0f;
  }
  return eff->values[index];
}

// "void trigger(Event@) const": fires the effector for the event. Events
// are not counted, so the handle brings no reference to give back.
void triggerEffector(const effector* eff, EffectEvent* event) {
  if (event == nullptr) {
    raiseScriptException("Null Event@ when triggering effector");
    return;
  }
  fireEffector(event, eff->def, eff);
}

}  // namespace

void registerEffectorTypes() {
  asIScriptEngine* engine = serverScriptEngine;
  if (engine == nullptr)
    return;
  // Neither is counted: effectors live as long as their owner.
  for (const char* type : kBorrowedTypes)
    registerUncountedType(engine, type);
  // Both members are const: effector functions receive "const Effector@".
  checked(engine).RegisterObjectMethod("Effector", "float opIndex(uint) const", asFUNCTION(effectorValue),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod("Effector", "void trigger(Event@) const", asFUNCTION(triggerEffector),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectProperty("EffectorState", "float val1",
                                         static_cast<int>(offsetof(interactor_data, val1)));
  checked(engine).RegisterObjectProperty("EffectorState", "float val2",
                                         static_cast<int>(offsetof(interactor_data, val2)));
}
