#include "script/script_engine.h"

#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "script/script_abort.h"
#include "script/script_contexts.h"
#include "script/script_registration.h"
#include "script/script_report.h"
#include "script/server_modules.h"

using namespace AngelScript;

asIScriptEngine* serverScriptEngine = nullptr;
asIScriptEngine* clientScriptEngine = nullptr;

namespace {

// Whether createScriptEngines took a share of the library's thread support.
bool threadSupportPrepared = false;

// The properties the scripts are written for, set to true in this order.
constexpr asEEngineProp kEngineProperties[] = {
    asEP_ALLOW_UNSAFE_REFERENCES,
    asEP_USE_CHARACTER_LITERALS,
    asEP_BUILD_WITHOUT_LINE_CUES,
    asEP_OPTIMIZE_BYTECODE,
};

// "get_x" and "set_x" methods registered by the program are properties
// without a "property" keyword in their declaration (the library's own
// default, 3, asks for one).
constexpr asPWORD kPropertyAccessorsWithoutKeyword = 2;

struct MessageTexts {
  const char* general;
  const char* inSection;
  const char* atPosition;
};

constexpr MessageTexts kServerTexts = {
    "AS Server General Error: %s\n",
    "AS Server Error in %s: %s\n",
    "AS Server Error in %s: %s\n line: %i, col: %i\n",
};
constexpr MessageTexts kClientTexts = {
    "AS Client General Error: %s\n",
    "AS Client Error in %s: %s\n",
    "AS Client Error in %s: %s\n line: %i, col: %i\n",
};

void logScriptMessage(const MessageTexts& texts, const asSMessageInfo* message) {
  if (message == nullptr)
    return;
  const char* text = message->message != nullptr ? message->message : "";
  if (message->section == nullptr || message->section[0] == '\0')
    logError(texts.general, text);
  else if (message->row == 0 && message->col == 0)
    logError(texts.inSection, message->section, text);
  else
    logError(texts.atPosition, message->section, text, message->row, message->col);
}

asIScriptEngine* makeEngine(void (*callback)(const asSMessageInfo*, void*)) {
  asIScriptEngine* engine = asCreateScriptEngine(ANGELSCRIPT_VERSION);
  if (engine == nullptr)
    return nullptr;
  for (asEEngineProp property : kEngineProperties)
    engine->SetEngineProperty(property, 1);
  engine->SetEngineProperty(asEP_PROPERTY_ACCESSOR_MODE, kPropertyAccessorsWithoutKeyword);
  engine->SetMessageCallback(asFUNCTION(callback), nullptr, asCALL_CDECL);
  // Before the first context: a quit request must be able to stop scripts.
  enableScriptAbort(engine);
  return engine;
}

}  // namespace

void serverScriptMessage(const asSMessageInfo* message, void*) { logScriptMessage(kServerTexts, message); }

void clientScriptMessage(const asSMessageInfo* message, void*) { logScriptMessage(kClientTexts, message); }

bool createScriptEngines() {
  releaseScriptEngines();
  // Records of server modules refer to functions of the engines let go.
  clearServerModules();
  resetScriptRegistrationCheck();

  asSetGlobalMemoryFunctions(std::malloc, std::free);
  // Thread support is set up here, on the thread that makes the engines,
  // before any worker runs a script.
  if (asPrepareMultithread() >= 0)
    threadSupportPrepared = true;

  asIScriptEngine* server = makeEngine(serverScriptMessage);
  asIScriptEngine* client = server != nullptr ? makeEngine(clientScriptMessage) : nullptr;
  if (client == nullptr) {
    logError("Could not create the script engines (library %s)\n", asGetLibraryVersion());
    if (server != nullptr)
      server->ShutDownAndRelease();
    releaseScriptEngines();
    return false;
  }
  serverScriptEngine = server;
  clientScriptEngine = client;
  installThreadScriptHooks();
  return true;
}

void releaseScriptEngines() {
  if (serverScriptEngine != nullptr) {
    serverScriptEngine->Release();
    serverScriptEngine = nullptr;
  }
  if (clientScriptEngine != nullptr) {
    clientScriptEngine->Release();
    clientScriptEngine = nullptr;
  }
  if (threadSupportPrepared) {
    asUnprepareMultithread();
    threadSupportPrepared = false;
  }
}

asIScriptContext* createScriptContext(asIScriptEngine* engine) {
  if (engine == nullptr)
    return nullptr;
  asIScriptContext* context = engine->CreateContext();
  if (context != nullptr) {
    context->SetExceptionCallback(asFUNCTION(printScriptException), nullptr, asCALL_CDECL);
    trackScriptContext(context);
  }
  return context;
}

int getScriptFunctionId(asIScriptEngine* engine, const char* module, const char* declaration) {
  if (engine == nullptr || module == nullptr)
    return asNO_MODULE;
  asIScriptModule* found = engine->GetModule(module, asGM_ONLY_IF_EXISTS);
  if (found == nullptr)
    return asNO_MODULE;
  asIScriptFunction* function = declaration != nullptr ? found->GetFunctionByDecl(declaration) : nullptr;
  return function != nullptr ? function->GetId() : asNO_FUNCTION;
}

void raiseScriptException(const char* message) {
  asIScriptContext* context = asGetActiveContext();
  if (context != nullptr)
    context->SetException(message != nullptr ? message : "");
}

bool scriptLibraryNeedsGenericCalls() {
  const char* options = asGetLibraryOptions();
  return options != nullptr && std::strstr(options, "AS_MAX_PORTABILITY") != nullptr;
}
