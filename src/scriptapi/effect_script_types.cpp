#include "scriptapi/effect_script_types.h"

#include <angelscript.h>

#include <initializer_list>
#include <new>

#include "design/effects/effects.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_report.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

// --- Event ---

uint32_t eventState(const EffectEvent* event) { return event->state; }
void setEventState(EffectEvent* event, uint32_t state) { event->state = state; }
SysRef* eventSource(const EffectEvent* event) { return event->sourceKind == 1 ? event->source : nullptr; }
SysRef* eventDest(const EffectEvent* event) { return event->destKind == 1 ? event->dest : nullptr; }

ScriptEventParts eventParts(const void* address) {
  const auto* event = static_cast<const EffectEvent*>(address);
  return {event->obj, event->target, event->time};
}

// --- TemplateArg ---

void holdString(const templateArg& arg) {
  if (arg.kind == TAK_StateName && arg.value.string != nullptr)
    arg.value.string->addRef();
}

void dropString(const templateArg& arg) {
  if (arg.kind == TAK_StateName && arg.value.string != nullptr)
    arg.value.string->release();
}

// A new argument is the number 0.
void constructArg(templateArg* memory) {
  templateArg* arg = new (memory) templateArg;
  arg->value.raw = 0;
  arg->kind = TAK_Number;
}

void copyConstructArg(const templateArg& other, templateArg* memory) {
  new (memory) templateArg(other);
  holdString(other);
}

void destructArg(templateArg* arg) { dropString(*arg); }

templateArg& assignArg(const templateArg& other, templateArg* arg) {
  holdString(other);
  dropString(*arg);
  *arg = other;
  return *arg;
}

float evaluateArg(const templateArg* arg) { return evaluateTemplateArg(*arg, nullptr, nullptr); }

ScriptString* argString(const templateArg* arg) {
  if (arg->kind != TAK_StateName || arg->value.string == nullptr)
    return nullptr;
  arg->value.string->addRef();
  return arg->value.string;
}

}  // namespace

void registerEventType() {
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterEnum("EventState");
    checked(engine).RegisterEnumValue("EventState", "ESC_NOCHANGE", ESC_NOCHANGE);
    checked(engine).RegisterEnumValue("EventState", "ESC_DISABLE", ESC_DISABLE);
    checked(engine).RegisterEnumValue("EventState", "ESC_SKIP", ESC_SKIP);
  });
  registerUncountedType("Event");
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterObjectProperty("Event", "float time", asOFFSET(EffectEvent, time));
    checked(engine).RegisterObjectProperty("Event", "float damage", asOFFSET(EffectEvent, time));
    checked(engine).RegisterObjectProperty("Event", "float custom", asOFFSET(EffectEvent, custom));
    checked(engine).RegisterObjectProperty("Event", "uint32 flags", asOFFSET(EffectEvent, flags));
    // Read-only handles: the event owns its references on both objects (one
    // when they are the same), which a script's handle assignment would
    // release or take in its place.
    checked(engine).RegisterObjectProperty("Event", "Object@ const obj", asOFFSET(EffectEvent, obj));
    checked(engine).RegisterObjectProperty("Event", "Object@ const target", asOFFSET(EffectEvent, target));
    checked(engine).RegisterObjectMethod("Event", "EventState get_state() const", asFUNCTION(eventState),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("Event", "void set_state(EventState)", asFUNCTION(setEventState),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("Event", "SysRef@ get_source() const", asFUNCTION(eventSource),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("Event", "SysRef@ get_dest() const", asFUNCTION(eventDest),
                                         asCALL_CDECL_OBJFIRST);
  });
  setScriptEventReader(eventParts);
}

void registerTemplateArgType() {
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType("TemplateArg", sizeof(templateArg), asOBJ_VALUE | asOBJ_APP_CLASS_CDAK);
    checked(engine).RegisterObjectBehaviour("TemplateArg", asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructArg),
                                            asCALL_CDECL_OBJLAST);
    checked(engine).RegisterObjectBehaviour("TemplateArg", asBEHAVE_CONSTRUCT, "void f(const TemplateArg &in)",
                                            asFUNCTION(copyConstructArg), asCALL_CDECL_OBJLAST);
    checked(engine).RegisterObjectBehaviour("TemplateArg", asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructArg),
                                            asCALL_CDECL_OBJLAST);
    checked(engine).RegisterObjectMethod("TemplateArg", "TemplateArg &opAssign(const TemplateArg &in)",
                                         asFUNCTION(assignArg), asCALL_CDECL_OBJLAST);
    checked(engine).RegisterObjectMethod("TemplateArg", "float evaluate() const", asFUNCTION(evaluateArg),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("TemplateArg", "const string@ getString() const", asFUNCTION(argString),
                                         asCALL_CDECL_OBJFIRST);
  });
}
