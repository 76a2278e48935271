#include "gui/script/gui_modules.h"

#include <angelscript.h>

#include <map>
#include <memory>

#include "core/log.h"
#include "core/save_stream.h"
#include "core/timer.h"
#include "script/function_hook.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "script/server_modules.h"

using namespace AngelScript;

std::vector<scripted_gui_manager::gui_module> guiModules;

namespace {

const char kInitDeclaration[] = "void init()";
const char kTickDeclaration[] = "void tick(float)";
const char kSaveDeclaration[] = "void onSaveFileWrite(XMLWriter@)";

constexpr uint8_t kGuiModuleMarker = 0;

// A link's hook: the function's id, and its module and name to tell that
// the id still names it.
struct LinkHook {
  int functionId;
  irr::core::stringc module;
  irr::core::stringc function;
};
std::map<irr::core::stringw, LinkHook> linkHooks;

void removeGuiModule(size_t index) { guiModules.erase(guiModules.begin() + static_cast<std::ptrdiff_t>(index)); }

asIScriptFunction* clientFunction(int functionId) {
  return functionId >= 0 && clientScriptEngine != nullptr ? clientScriptEngine->GetFunctionById(functionId)
                                                          : nullptr;
}

}  // namespace

hires_profiler& guiModuleProfiler() {
  static std::unique_ptr<hires_profiler> profiler = createHiresProfiler();
  return *profiler;
}

void loadGuiModules(const char* moduleName) {
  scripted_gui_manager::gui_module record;
  record.name = moduleName != nullptr ? moduleName : "";
  record.initFunc = getScriptFunctionId(clientScriptEngine, record.name.c_str(), kInitDeclaration);
  record.tickFunc = getScriptFunctionId(clientScriptEngine, record.name.c_str(), kTickDeclaration);
  record.saveFunc = getScriptFunctionId(clientScriptEngine, record.name.c_str(), kSaveDeclaration);
  if (record.tickFunc >= 0)
    record.tickProfileId = guiModuleProfiler().registerSection(record.name.c_str());
  guiModules.push_back(record);
}

void initGuiModules() {
  asIScriptContext* context = threadClientContext();
  if (context == nullptr)
    return;
  for (size_t i = 0; i < guiModules.size();) {
    const scripted_gui_manager::gui_module& module = guiModules[i];
    if (module.initFunc < 0) {
      ++i;
      continue;
    }
    asIScriptFunction* function = clientFunction(module.initFunc);
    if (function == nullptr || context->Prepare(function) != asSUCCESS) {
      logError("GUI Module '%s' failed to prepare for the void init() call\n", module.name.c_str());
      removeGuiModule(i);
      continue;
    }
    // An exception is reported by the context's exception callback as it
    // is raised; only the module's line is added here.
    const int result = context->Execute();
    endScriptCall(context);
    if (result != asEXECUTION_FINISHED) {
      logError("GUI Module '%s' had a problem running void init()\n", module.name.c_str());
      removeGuiModule(i);
      continue;
    }
    ++i;
  }
}

void saveGuiModules(SaveStream& stream) {
  std::vector<ModuleSaveHook> hooks;
  for (const scripted_gui_manager::gui_module& module : guiModules)
    hooks.push_back(ModuleSaveHook{module.saveFunc, &module.name});
  if (!hooks.empty())
    writeModuleRecords(stream, threadClientContext(), kGuiModuleMarker, "GUI Module", hooks);
}

void clearGuiModules() {
  guiModules.clear();
  guiModules.shrink_to_fit();
}

void hookLink(const irr::core::stringw& linkName, const FunctionHook& function) {
  if (linkName.empty() || clientScriptEngine == nullptr)
    return;
  const int id = function.getFunctionId(clientScriptEngine, "void", "(string@)");
  if (clientFunction(id) == nullptr)
    return;
  linkHooks[linkName] = LinkHook{id, function.module, function.function};
}

bool hasLinkHook(const irr::core::stringw& linkName) { return linkHooks.count(linkName) != 0; }

void runLinkHook(const irr::core::stringw& linkName, const irr::core::stringw* argument) {
  const auto found = linkHooks.find(linkName);
  if (found == linkHooks.end())
    return;
  const LinkHook& hook = found->second;
  asIScriptFunction* function = clientFunction(hook.functionId);
  if (function == nullptr || hook.function != function->GetName() || function->GetModuleName() == nullptr ||
      hook.module != function->GetModuleName())
    return;
  asIScriptContext* context = takeClientScriptContext();
  if (context == nullptr)
    return;
  if (context->Prepare(function) == asSUCCESS) {
    ScriptString* value = argument != nullptr ? new ScriptString(*argument) : nullptr;
    const bool argumentSet = context->SetArgObject(0, value) == asSUCCESS;
    if (value != nullptr)
      value->release();  // the context holds its own reference
    if (argumentSet)
      context->Execute();  // the result is not looked at; exceptions are reported
  }
  releaseScriptContext(context);
}

void clearLinkHooks() { linkHooks.clear(); }
