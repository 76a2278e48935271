#include "gui/gui_script_hooks.h"

#include <IGUIElement.h>

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

bool hookGuiCallback(const char* module, const char* function, int32_t id) {
  const std::string declaration = std::string("bool ") + function + "(const GUIEvent@)";
  const int functionId = getScriptFunctionId(clientScriptEngine, module, declaration.c_str());
  if (functionId < 0) {
    logError("GUI Hook Error: Invalid function specified '%s::%s'\n", module, function);
    removeGuiCallback(id);
    return false;
  }
  GuiCallbackEntry& entry = guiCallbackEntry(id);
  entry = GuiCallbackEntry{};
  entry.scriptFunction = functionId;
  entry.kind = kGuiCallbackScript;
  return true;
}

bool runGuiScriptCallback(int32_t functionId, const irr::SEvent& event) {
  if (clientScriptEngine == nullptr || event.EventType != irr::EET_GUI_EVENT)
    return false;
  GuiEventRecord record;
  if (!translateGuiEvent(event.GUIEvent, record))
    return false;
  asIScriptContext* context = takeClientScriptContext();
  if (context == nullptr)
    return false;
  bool handled = false;
  if (context->Prepare(clientScriptEngine->GetFunctionById(functionId)) >= 0) {
    context->SetArgObject(0, &record);
    handled = context->Execute() == asEXECUTION_FINISHED && context->GetReturnByte() != 0;
  }
  releaseScriptContext(context);
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
  if (context->Prepare(clientScriptEngine->GetFunctionById(binding.functionId)) >= 0)
    context->Execute();
  endScriptCall(context);
  return true;
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
