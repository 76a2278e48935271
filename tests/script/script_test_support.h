// Helpers shared by the script host tests: log capture, engines with the
// string type, building modules from text, and running script functions.
#pragma once

#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_report.h"
#include "script/script_string.h"
#include "support/log_capture.h"

namespace scripttest {

using ::LogCapture;

// Both engines with the string type and the printable types, released after
// each test.
class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { createEngines(false); }

  // Registers the string's native form on the server engine and, with
  // `genericClient`, its generic form on the client engine.
  void createEngines(bool genericClient) {
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptStringNative(serverScriptEngine);
    if (genericClient)
      registerScriptStringGeneric(clientScriptEngine);
    else
      registerScriptStringNative(clientScriptEngine);
    registerPrintableTypes(serverScriptEngine);
    registerPrintableTypes(clientScriptEngine);
    EXPECT_EQ(log.take(), "");  // every registration succeeded
  }
  void TearDown() override {
    discardScriptModules();
    clearScriptFileCache();
    releaseScriptEngines();
  }
};

// Builds `code` as module `name` (section "<name>.as"); null on failure.
inline AngelScript::asIScriptModule* buildModule(AngelScript::asIScriptEngine* engine, const char* name,
                                                 const std::string& code) {
  AngelScript::asIScriptModule* module = engine->GetModule(name, AngelScript::asGM_ALWAYS_CREATE);
  const std::string section = std::string(name) + ".as";
  module->AddScriptSection(section.c_str(), code.c_str(), code.size());
  return module->Build() >= 0 ? module : nullptr;
}

// The outcome of running a script function: its execution result, the string
// it returned (for functions returning string@) and any exception text.
struct RunResult {
  int state = 0;
  std::u16string text;
  bool hasText = false;
  std::string exception;
};

inline RunResult run(AngelScript::asIScriptModule* module, const char* declaration) {
  RunResult result;
  AngelScript::asIScriptFunction* function = module->GetFunctionByDecl(declaration);
  EXPECT_NE(function, nullptr) << declaration;
  if (function == nullptr)
    return result;
  AngelScript::asIScriptContext* context = createScriptContext(module->GetEngine());
  context->Prepare(function);
  result.state = context->Execute();
  if (result.state == AngelScript::asEXECUTION_FINISHED &&
      (function->GetReturnTypeId() & AngelScript::asTYPEID_MASK_OBJECT) != 0) {
    if (auto* returned = static_cast<ScriptString*>(context->GetReturnObject())) {
      result.text = returned->text;
      result.hasText = true;
    }
  } else if (result.state == AngelScript::asEXECUTION_EXCEPTION) {
    result.exception = context->GetExceptionString();
  }
  context->Release();
  return result;
}

// A fresh folder for one test's files.
std::string testFolder(const char* name);
// Writes `text` to `folder`/`name` (making sub-folders).
void writeFile(const std::string& folder, const std::string& name, const std::string& text);

// Calls the server function `id` with `argument` `calls` times on each of
// `workers` threads, each through its own per-thread contexts, while one
// more thread runs the server engine's garbage collector; afterwards a full
// cycle. Returns how many calls did not finish with `expected`.
int callWhileCollecting(int id, AngelScript::asDWORD argument, AngelScript::asDWORD expected, int workers,
                        int calls);

}  // namespace scripttest
