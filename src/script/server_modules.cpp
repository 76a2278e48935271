#include "script/server_modules.h"

#include <IFileSystem.h>
#include <IWriteFile.h>

#include <memory>
#include <string>

#include "core/file_access.h"
#include "core/log.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_xml_io.h"

using namespace AngelScript;

std::vector<scripted_manager::script_module> serverModules;

namespace {

const char kInitDeclaration[] = "void init()";
const char kTickDeclaration[] = "void tick(float)";
const char kSaveDeclaration[] = "void onSaveFileWrite(XMLWriter@)";
const char kLoadDeclaration[] = "void onSaveFileLoad(XMLReader@)";

constexpr uint8_t kServerModuleMarker = 1;
// The memory a save hook writes into: one byte more than a record may hold,
// so that a hook reaching the end has written too much.
constexpr irr::s32 kSaveScratchBytes = kMaxModuleSaveBytes + 1;

// Prepares `context` for the server-engine function `functionId`.
bool prepare(asIScriptContext* context, int functionId) {
  asIScriptFunction* function = serverScriptEngine->GetFunctionById(functionId);
  return function != nullptr && context->Prepare(function) == asSUCCESS;
}

}  // namespace

void scripted_manager::script_module::findHooks(const char* moduleName) {
  script_module record;
  record.name = moduleName != nullptr ? moduleName : "";
  record.initFunc = getScriptFunctionId(serverScriptEngine, record.name.c_str(), kInitDeclaration);
  record.tickFunc = getScriptFunctionId(serverScriptEngine, record.name.c_str(), kTickDeclaration);
  record.saveFunc = getScriptFunctionId(serverScriptEngine, record.name.c_str(), kSaveDeclaration);
  serverModules.push_back(record);
}

void removeServerModule(size_t index) {
  if (index < serverModules.size())
    serverModules.erase(serverModules.begin() + static_cast<std::ptrdiff_t>(index));
}

void clearServerModules() { serverModules.clear(); }

void initServerModules() {
  asIScriptContext* context = threadServerContext();
  if (context == nullptr)
    return;
  for (size_t i = 0; i < serverModules.size();) {
    const scripted_manager::script_module& module = serverModules[i];
    if (module.initFunc < 0) {
      ++i;
      continue;
    }
    if (!prepare(context, module.initFunc)) {
      logError("Server Module '%s' failed to prepare for the void init() call\n", module.name.c_str());
      removeServerModule(i);
      continue;
    }
    // An exception was reported by the context's exception callback as it
    // was raised; only the module's line is added here.
    if (context->Execute() != asEXECUTION_FINISHED) {
      logError("Server Module '%s' had a problem running void init()\n", module.name.c_str());
      endScriptCall(context);
      removeServerModule(i);
      continue;
    }
    endScriptCall(context);
    ++i;
  }
}

void tickServerModules(float elapsedSeconds) {
  asIScriptContext* context = threadServerContext();
  if (context == nullptr)
    return;
  for (size_t i = 0; i < serverModules.size();) {
    scripted_manager::script_module& module = serverModules[i];
    if (module.tickFunc < 0) {
      ++i;
      continue;
    }
    bool failed = true;
    if (prepare(context, module.tickFunc)) {
      context->SetArgFloat(0, elapsedSeconds);
      failed = context->Execute() != asEXECUTION_FINISHED;  // exceptions reported by the callback
      endScriptCall(context);
    }
    if (failed && module.tickFailuresLeft-- <= 0) {
      logError("Server Module '%s' failed its void tick(float) call too many times\n", module.name.c_str());
      removeServerModule(i);
      continue;
    }
    ++i;
  }
}

void writeModuleRecords(SaveStream& stream, asIScriptContext* context, uint8_t marker, const char* kind,
                        const std::vector<ModuleSaveHook>& hooks) {
  if (context == nullptr)
    return;
  asIScriptEngine* engine = context->GetEngine();
  std::unique_ptr<char[]> scratch;
  for (const ModuleSaveHook& hook : hooks) {
    asIScriptFunction* function = hook.functionId >= 0 ? engine->GetFunctionById(hook.functionId) : nullptr;
    if (function == nullptr || context->Prepare(function) != asSUCCESS)
      continue;
    if (!scratch)
      scratch.reset(new char[kSaveScratchBytes]);
    irr::io::IWriteFile* memory = nullptr;
    {
      const FileSystemAccess access;
      if (access.get() != nullptr)
        memory = access->createMemoryWriteFile(scratch.get(), kSaveScratchBytes, "tmp.xml");
    }
    auto* writer = new ScriptXmlWriter(memory);
    context->SetArgObject(0, writer);
    // Whatever the hook wrote before it stopped is saved, finished or not
    // (an exception is reported by the context).
    context->Execute();
    endScriptCall(context);
    const long written = memory != nullptr ? memory->getPos() : 0;
    // A script that kept the writer must not reach the scratch memory.
    writer->close();
    writer->drop();
    if (memory != nullptr)
      memory->drop();

    if (written > static_cast<long>(kMaxModuleSaveBytes)) {
      logError("%s '%s' wrote 1,000,000 bytes or more in void onSaveFileWrite(XMLWriter@); "
               "none of it is saved\n",
               kind, hook.name->c_str());
    } else if (written > 0) {
      stream.writeU8(marker);
      stream.writeU32(static_cast<uint32_t>(written));
      stream.writeNarrowString(*hook.name);
      stream.writeBytes(scratch.get(), static_cast<size_t>(written));
    }
  }
}

void saveServerModules(SaveStream& stream) {
  std::vector<ModuleSaveHook> hooks;
  for (const scripted_manager::script_module& module : serverModules)
    hooks.push_back(ModuleSaveHook{module.saveFunc, &module.name});
  writeModuleRecords(stream, threadServerContext(), kServerModuleMarker, "Server Module", hooks);
}

void loadScriptModuleRecords(SaveStream& stream) {
  while (stream.remaining() > 0) {
    asIScriptEngine* engine = clientScriptEngine;
    if (stream.version() >= kModuleEngineMarkerVersion && stream.readU8() != 0)
      engine = serverScriptEngine;
    const uint32_t length = stream.readU32();
    irr::core::stringc name;
    stream.readNarrowString(name);
    if (length == 0 || length > kMaxModuleSaveBytes) {
      logError("Script module '%s' has %u bytes of saved data\n", name.c_str(), length);
      throw kSaveErrorModuleDataSize;
    }
    if (stream.remaining() < length)
      throw kSaveErrorModuleDataEOF;

    const int functionId = getScriptFunctionId(engine, name.c_str(), kLoadDeclaration);
    asIScriptFunction* function = functionId >= 0 ? engine->GetFunctionById(functionId) : nullptr;
    if (function == nullptr) {
      stream.skipBytes(length);
      continue;
    }
    std::string bytes(length, '\0');
    stream.readBytes(bytes.data(), length);
    auto* reader = new ScriptXmlReader(bytes);
    asIScriptContext* context = createScriptContext(engine);
    if (context != nullptr && context->Prepare(function) == asSUCCESS) {
      context->SetArgObject(0, reader);
      context->Execute();  // an exception is reported by the context
    }
    if (context != nullptr)
      context->Release();
    reader->drop();
  }
}
