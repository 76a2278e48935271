#include "gui/gui_script_hooks.h"

#include <IGUIElement.h>

#include <cstddef>
#include <cstdio>
#include <string>

#include "core/log.h"
#include "gui/base/gui_callbacks.h"
#include "gui/gui_events.h"
#include "script/function_hook.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;

std::vector<EscapeBinding> escapeEvents;

namespace {

// Each unit's low byte, as script names are narrowed.
std::string narrowed(const std::u16string& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (char16_t unit : text)
    narrow.push_back(static_cast<char>(unit & 0xFF));
  return narrow;
}

// The module of the script function that called the running native.
std::string callingModule() {
  asIScriptContext* context = asGetActiveContext();
  asIScriptFunction* function = context != nullptr ? context->GetFunction(0) : nullptr;
  const char* module = function != nullptr ? function->GetModuleName() : nullptr;
  return module != nullptr ? module : "";
}

void bindCallbackToId(int id, const ScriptString& text) {
  if (text.text.empty()) {
    raiseScriptException("Empty string when binding gui callback");
    return;
  }
  const std::string narrow = narrowed(text.text);
  const std::string::size_type pair = narrow.find("::");
  std::string module;
  std::string function;
  if (pair != std::string::npos && pair > 0) {
    module = narrow.substr(0, pair);
    function = narrow.substr(pair + 2);
  } else {
    module = callingModule();
    function = pair == std::string::npos ? narrow : narrow.substr(pair + 2);
  }
  hookGuiCallback(module.c_str(), function.c_str(), id);
}

void bindCallbackToElement(irr::gui::IGUIElement* element, const ScriptString& text) {
  if (element == nullptr) {
    raiseScriptException("Null GuiElement@ when binding gui callback");
    return;
  }
  bindCallbackToId(element->getID(), text);
}

void clearEscapeEvent(const ScriptString& name) {
  const irr::core::stringw wide = name.toStringw();
  for (auto at = escapeEvents.begin(); at != escapeEvents.end(); ++at)
    if (at->name == wide) {
      escapeEvents.erase(at);
      return;
    }
}

void bindEscapeEvent(const ScriptString& name, const ScriptString& function) {
  clearEscapeEvent(name);
  FunctionHook hook;
  hook.setFromScriptString(asGetActiveContext(), &function);
  if (!hook.valid)
    return;
  const int id = hook.getFunctionId(clientScriptEngine, "void", "()");
  if (id >= 0)
    escapeEvents.push_back({name.toStringw(), id});
}

}  // namespace

bool resolveGuiHook(GuiCallbackEntry& entry, const char* module, const char* function) {
  if (module == nullptr || function == nullptr || module[0] == '\0' || function[0] == '\0')
    return false;
  char declaration[128];
  const int length = std::snprintf(declaration, sizeof declaration, "bool %s(const GUIEvent@)", function);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof declaration)
    return false;
  const int functionId = getScriptFunctionId(clientScriptEngine, module, declaration);
  if (functionId < 0)
    return false;
  entry = GuiCallbackEntry{};
  entry.scriptFunction = functionId;
  entry.kind = kGuiCallbackScript;
  return true;
}

bool hookGuiCallback(const char* module, const char* function, int32_t id) {
  if (resolveGuiHook(guiCallbackEntry(id), module, function))
    return true;
  logError("GUI Hook Error: Invalid function specified '%s::%s'\n", module != nullptr ? module : "",
           function != nullptr ? function : "");
  removeGuiCallback(id);
  return false;
}

bool runGuiScriptCallback(int32_t functionId, const irr::SEvent& event) {
  if (clientScriptEngine == nullptr || event.EventType != irr::EET_GUI_EVENT)
    return false;
  GuiEventRecord record;
  if (!translateGuiEvent(event.GUIEvent, record))
    return false;
  asIScriptFunction* function = clientScriptEngine->GetFunctionById(functionId);
  if (function == nullptr)
    return false;
  // The thread's own context, unless it holds a call that is still running
  // (the script whose work raised this event) or suspended: such a call
  // takes a context of the pool.
  asIScriptContext* context = threadClientContext();
  const bool pooled = context == nullptr || context->GetState() == asEXECUTION_ACTIVE ||
                      context->GetState() == asEXECUTION_SUSPENDED;
  if (pooled)
    context = takeClientScriptContext();
  if (context == nullptr)
    return false;
  bool handled = false;
  if (context->Prepare(function) >= 0) {
    context->SetArgObject(0, &record);
    handled = context->Execute() == asEXECUTION_FINISHED && context->GetReturnByte() != 0;
  }
  if (pooled)
    releaseScriptContext(context);
  else
    endScriptCall(context);
  return handled;
}

bool runEscapeEvent() {
  if (escapeEvents.empty())
    return false;
  const EscapeBinding binding = escapeEvents.back();
  escapeEvents.pop_back();
  if (binding.functionId < 0 || clientScriptEngine == nullptr)
    return false;
  asIScriptContext* context = threadClientContext();
  if (context == nullptr)
    return false;
  // Escape menu: a handler that is gone or that stops on an exception has not
  // used the key, which then goes to the built-in menu.
  bool finished = false;
  if (context->Prepare(clientScriptEngine->GetFunctionById(binding.functionId)) >= 0)
    finished = context->Execute() == asEXECUTION_FINISHED;
  endScriptCall(context);
  return finished;
}

void clearEscapeEvents() { escapeEvents.clear(); }

void registerGuiScriptHooks(asIScriptEngine* engine) {
  checked(engine).RegisterGlobalFunction("void bindGuiCallback(int, const string &)", asFUNCTION(bindCallbackToId),
                                         asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("void bindGuiCallback(GuiElement@+, const string &)",
                                         asFUNCTION(bindCallbackToElement), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("void bindEscapeEvent(const string &, const string &)",
                                         asFUNCTION(bindEscapeEvent), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("void clearEscapeEvent(const string &)", asFUNCTION(clearEscapeEvent),
                                         asCALL_CDECL);
  setGuiScriptDispatcher(runGuiScriptCallback);
}
