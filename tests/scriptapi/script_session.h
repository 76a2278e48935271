// A game session's scripts for the simulation binding tests: server scripts
// written to a scratch "Game Data/", both engines set up with every binding
// as a session does, and the empires and engines torn down again in a
// session's order.
#pragma once

#include <angelscript.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/data_folders.h"
#include "app/script_setup.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "scriptapi/temp_hull.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"

namespace scriptapitest {

using ServerScripts = std::vector<std::pair<std::string, std::string>>;  // module name, code

// Mounts the working folder's data (no mod) and sets up both engines with
// every binding and the server scripts and data found there, as a session
// does. Returns what was logged meanwhile.
inline std::string setUpWorkingFolderSession() {
  LogCapture log;
  currentModName = "";
  scanMods();
  mountDataFolders(false, "");
  applyCurrentMod();
  setupScriptEngines(nullptr);
  return log.take();
}

// The same, where no compiler message may come.
inline void setUpScriptsOfWorkingFolder() {
  const std::string text = setUpWorkingFolderSession();
  EXPECT_EQ(text.find("AS "), std::string::npos) << text;
}

class ScriptSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratchDir();
    folder_ = std::make_unique<WorkingFolder>(root_);
    nextEmpireID = 1;
    activeEmpire = nullptr;
    pendingPlayerEmpire = nullptr;
  }
  void TearDown() override {
    endSession();
    activeEmpire = nullptr;
    pendingPlayerEmpire = nullptr;
    freeThreadLocals();  // the contexts this thread kept
    folder_.reset();
  }

  // Writes the scripts as "Game Data/scripts/server/<module>.as" (replacing
  // those of an earlier session) and sets up the engines; no compiler
  // message may come.
  void startSession(const ServerScripts& scripts) {
    const std::filesystem::path folder = root_ / "Game Data/scripts/server";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    for (const auto& [module, code] : scripts)
      std::ofstream(folder / (module + ".as"), std::ios::binary) << code;
    setUpScriptsOfWorkingFolder();
    running_ = true;
  }

  // As a session ends: the empires go, then the engines.
  void endSession() {
    if (!running_)
      return;
    freeTempHulls();
    deleteAllEmpires();
    tearDownScriptEngines();
    clearModTables();
    running_ = false;
  }

  // Builds `code` as a module of `engine`; null (with the compiler's
  // messages reported) when it does not build.
  static AngelScript::asIScriptModule* build(AngelScript::asIScriptEngine* engine, const char* name,
                                             const std::string& code) {
    AngelScript::asIScriptModule* module = engine->GetModule(name, AngelScript::asGM_ALWAYS_CREATE);
    module->AddScriptSection(name, code.c_str(), code.size());
    return module->Build() >= 0 ? module : nullptr;
  }

  std::filesystem::path root_;

 private:
  std::unique_ptr<WorkingFolder> folder_;
  bool running_ = false;
};

// Runs the function `declaration` of `module`, passing `emp` as its first
// argument when it takes one. The text it returned (functions returning
// string@), "finished" for other functions, or "exception: <text>".
inline std::string call(AngelScript::asIScriptModule* module, const char* declaration, empire* emp = nullptr) {
  using namespace AngelScript;
  asIScriptFunction* function = module != nullptr ? module->GetFunctionByDecl(declaration) : nullptr;
  if (function == nullptr)
    return std::string("no function ") + declaration;
  asIScriptContext* context = createScriptContext(module->GetEngine());
  context->Prepare(function);
  if (function->GetParamCount() > 0)
    context->SetArgObject(0, emp);
  std::string outcome = "finished";
  if (context->Execute() != asEXECUTION_FINISHED) {
    outcome = std::string("exception: ") + (context->GetExceptionString() ? context->GetExceptionString() : "");
  } else if (function->GetReturnTypeId() == module->GetEngine()->GetTypeIdByDecl("string@")) {
    auto* text = static_cast<ScriptString*>(context->GetReturnObject());
    outcome = text != nullptr ? irr::core::stringc(text->toStringw()).c_str() : "null";
  }
  context->Release();
  return outcome;
}

}  // namespace scriptapitest
