// Script modules for benchmark set-ups. A module that does not build would
// leave its hooks unbound and the benchmark timing nothing, so a failed
// build, or a session set-up whose scripts draw compiler messages, ends the
// program with the compiler's messages on standard error.
#pragma once

#include <angelscript.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "app/script_setup.h"
#include "core/log.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"

namespace benchscript {

[[noreturn]] inline void failBuild(const std::string& what, const std::string& messages) {
  std::fprintf(stderr, "%s:\n%s", what.c_str(), messages.empty() ? "(no compiler message)\n" : messages.c_str());
  std::exit(1);
}

inline void collectMessage(const AngelScript::asSMessageInfo* message, void* param) {
  static const char* const kTypes[] = {"error", "warning", "information"};
  const char* type = message->type >= 0 && message->type < 3 ? kTypes[message->type] : "message";
  char line[1024];
  std::snprintf(line, sizeof line, "  %s(%d, %d) %s: %s\n", message->section != nullptr ? message->section : "",
                message->row, message->col, type, message->message != nullptr ? message->message : "");
  *static_cast<std::string*>(param) += line;
}

// Builds `code` as the module `name` of `engine` (made afresh) and returns
// it. The compiler's messages are collected while it builds; the engine's
// own message callback is put back afterwards. A build that fails ends the
// program.
inline AngelScript::asIScriptModule* buildModule(AngelScript::asIScriptEngine* engine, const char* name,
                                                 const char* code, size_t length) {
  using namespace AngelScript;
  if (engine == nullptr)
    failBuild(std::string("script module \"") + name + "\": no script engine", "");
  std::string messages;
  engine->SetMessageCallback(asFUNCTION(collectMessage), &messages, asCALL_CDECL);
  asIScriptModule* module = engine->GetModule(name, asGM_ALWAYS_CREATE);
  const int added = module->AddScriptSection(name, code, length);
  const int built = added >= 0 ? module->Build() : added;
  if (engine == serverScriptEngine)
    engine->SetMessageCallback(asFUNCTION(serverScriptMessage), nullptr, asCALL_CDECL);
  else if (engine == clientScriptEngine)
    engine->SetMessageCallback(asFUNCTION(clientScriptMessage), nullptr, asCALL_CDECL);
  else
    engine->ClearMessageCallback();
  if (built < 0)
    failBuild(std::string("script module \"") + name + "\" did not build (" + std::to_string(built) + ")", messages);
  return module;
}

// The same for a string literal.
template <size_t N>
AngelScript::asIScriptModule* buildModule(AngelScript::asIScriptEngine* engine, const char* name,
                                          const char (&code)[N]) {
  return buildModule(engine, name, code, N - 1);
}

// What the session's script set-up logs about its scripts: the compiler's
// messages (each begins "AS ") and the script files or imports it could not
// use.
inline std::string& setUpMessages() {
  static std::string text;
  return text;
}

inline void collectSetUpLine(const char* line) {
  static const char* const kMarks[] = {"AS ", "Failed to load script file", "Unable to bind all functions",
                                       "Unknown error while binding functions"};
  for (const char* mark : kMarks)
    if (std::strncmp(line, mark, std::strlen(mark)) == 0) {
      setUpMessages() += line;
      return;
    }
}

// setupScriptEngines as a session runs it; ends the program when a script
// drew a compiler message or could not be loaded.
inline void setUpSessionScripts() {
  setUpMessages().clear();
  addLogSink(collectSetUpLine);
  setupScriptEngines(nullptr);
  removeLogSink(collectSetUpLine);
  if (!setUpMessages().empty())
    failBuild("the session's scripts did not build cleanly", setUpMessages());
}

// Runs the prepared `context` with `value` as its function's one int
// argument and returns the function's int result.
inline int executeWith(AngelScript::asIScriptContext* context, int value) {
  context->SetArgDWord(0, static_cast<AngelScript::asDWORD>(value));
  context->Execute();
  return static_cast<int>(context->GetReturnDWord());
}

// One call of the int(int) function `id` through the thread's
// prepared-context cache, as the game's hooks call.
inline int callThroughCache(int id, int value) {
  bool fromPool = false;
  AngelScript::asIScriptContext* context = getPreparedScriptContext(id, fromPool);
  const int result = executeWith(context, value);
  if (fromPool)
    releaseScriptContext(context);
  return result;
}

}  // namespace benchscript
