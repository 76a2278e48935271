// A script function named by text, as data files and scripts name them:
// "module::function". The function's declaration is completed when its id is
// looked up, from a return type and an argument list the caller knows.
#pragma once

#include <angelscript.h>
#include <irrString.h>

class ScriptString;

struct FunctionHook {
  irr::core::stringc module;
  irr::core::stringc function;
  bool valid = false;

  // From data text "module::function". Text without "::", or with nothing
  // before the first "::", leaves the hook invalid (the names as they were).
  // The function part may be empty and may itself hold colons.
  void set(const char* text);

  // From a function name a script passed to a native, `context` being the
  // calling script's context. A bare name (or "::name") names a function of
  // the calling script's module. An empty text is logged with the script
  // section and line and leaves the hook invalid.
  void setFromScriptText(AngelScript::asIScriptContext* context, const char* text);
  // As above from a script string (each unit's low byte). A null handle is
  // reported on standard output and leaves the hook unchanged.
  void setFromScriptString(AngelScript::asIScriptContext* context, const ScriptString* name);

  // The id of "<returnType> <function><argumentList>" in the hook's module of
  // `engine`: asINVALID_NAME (-8) for an invalid hook or a missing part,
  // asERROR (-1) when the declaration would exceed 255 characters, else as
  // getScriptFunctionId.
  int getFunctionId(AngelScript::asIScriptEngine* engine, const char* returnType,
                    const char* argumentList) const;
};
