#include "script/function_hook.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/log.h"
#include "script/script_engine.h"
#include "script/script_string.h"

using namespace AngelScript;

namespace {

// Longest declaration, terminator included.
constexpr size_t kDeclarationBuffer = 256;

// Where the calling script stands: its section and line ("" and 0 unknown).
struct ScriptPlace {
  const char* section = "";
  int line = 0;
};

ScriptPlace placeOf(asIScriptContext* context) {
  ScriptPlace place;
  if (context == nullptr)
    return place;
  if (asIScriptFunction* function = context->GetFunction(0)) {
    if (const char* section = function->GetScriptSectionName())
      place.section = section;
  }
  place.line = context->GetLineNumber(0);
  return place;
}

const char* moduleOf(asIScriptContext* context) {
  if (context == nullptr)
    return nullptr;
  asIScriptFunction* function = context->GetFunction(0);
  return function != nullptr ? function->GetModuleName() : nullptr;
}

}  // namespace

void FunctionHook::set(const char* text) {
  valid = false;
  if (text == nullptr)
    return;
  const char* pair = std::strstr(text, "::");
  if (pair == nullptr || pair == text)
    return;
  module = irr::core::stringc(text, static_cast<irr::u32>(pair - text));
  function = pair + 2;
  valid = true;
}

void FunctionHook::setFromScriptText(asIScriptContext* context, const char* text) {
  valid = false;
  if (text == nullptr || text[0] == '\0') {
    if (context != nullptr) {
      const ScriptPlace place = placeOf(context);
      logPrint("Function Hook Error: Empty String for Function Name\n  In \"%s\", Line %i\n", place.section,
               place.line);
    }
    return;
  }
  const char* pair = std::strstr(text, "::");
  if (pair != nullptr && pair != text) {
    set(text);
    return;
  }
  const char* callerModule = moduleOf(context);
  if (callerModule == nullptr)
    return;
  module = callerModule;
  function = pair != nullptr ? pair + 2 : text;
  valid = true;
}

void FunctionHook::setFromScriptString(asIScriptContext* context, const ScriptString* name) {
  if (name == nullptr) {
    const ScriptPlace place = placeOf(context);
    std::printf("Function Hook Error: Null Handle for Function Name\n  In \"%s\", Line %i\n", place.section,
                place.line);
    return;
  }
  std::string narrow;
  narrow.reserve(name->text.size());
  for (char16_t unit : name->text)
    narrow.push_back(static_cast<char>(unit & 0xFF));
  // A zero unit ends the name, as it would end the text.
  setFromScriptText(context, narrow.c_str());
}

int FunctionHook::getFunctionId(asIScriptEngine* engine, const char* returnType,
                                const char* argumentList) const {
  if (!valid || returnType == nullptr || argumentList == nullptr)
    return asINVALID_NAME;
  char declaration[kDeclarationBuffer];
  const int length = std::snprintf(declaration, sizeof declaration, "%s %s%s", returnType, function.c_str(),
                                   argumentList);
  if (length < 0 || static_cast<size_t>(length) >= sizeof declaration)
    return asERROR;
  return getScriptFunctionId(engine, module.c_str(), declaration);
}
