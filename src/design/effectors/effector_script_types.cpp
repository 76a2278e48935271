#include "design/effectors/effector_script_types.h"

#include <angelscript.h>

#include <cstddef>
#include <cstdint>

#include "design/effectors/effector.h"
#include "script/script_engine.h"

using namespace AngelScript;

namespace {

// Add-reference and release of both types.
void keepReference(asIScriptGeneric*) {}

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
  for (const char* type : kBorrowedTypes) {
    engine->RegisterObjectType(type, 0, asOBJ_REF);
    engine->RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()", asFUNCTION(keepReference), asCALL_GENERIC);
    engine->RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()", asFUNCTION(keepReference), asCALL_GENERIC);
  }
  // Both members are const: effector functions receive "const Effector@".
  engine->RegisterObjectMethod("Effector", "float opIndex(uint) const", asFUNCTION(effectorValue),
                               asCALL_CDECL_OBJFIRST);
  engine->RegisterObjectMethod("Effector", "void trigger(Event@) const", asFUNCTION(triggerEffector),
                               asCALL_CDECL_OBJFIRST);
  engine->RegisterObjectProperty("EffectorState", "float val1", static_cast<int>(offsetof(interactor_data, val1)));
  engine->RegisterObjectProperty("EffectorState", "float val2", static_cast<int>(offsetof(interactor_data, val2)));
}
