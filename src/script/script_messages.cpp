#include "script/script_messages.h"

#include <atomic>

#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;

namespace {

// Set during start-up, read by any thread that runs interface scripts.
std::atomic<bool (*)()> isNetworkClientHook{nullptr};
std::atomic<void* (*)()> localPlayerEmpireHook{nullptr};

const char kInteractionsModule[] = "interactions";
const char kReceiverDeclaration[] = "void onClientMessage(Empire@, uint, const string &)";

}  // namespace

void setServerMessageHooks(const ServerMessageHooks& hooks) {
  isNetworkClientHook.store(hooks.isNetworkClient);
  localPlayerEmpireHook.store(hooks.localPlayerEmpire);
}

bool sendServerMessage(const ScriptString&, uint32_t number, const ScriptString& text) {
  bool (*isNetworkClient)() = isNetworkClientHook.load();
  if (isNetworkClient != nullptr && isNetworkClient())
    return false;
  const int functionId = getScriptFunctionId(serverScriptEngine, kInteractionsModule, kReceiverDeclaration);
  if (functionId < 0)
    return false;
  asIScriptContext* context = threadServerContext();
  asIScriptFunction* function = serverScriptEngine->GetFunctionById(functionId);
  if (context == nullptr || function == nullptr)
    return false;
  // A context that is running a call further up this thread's stack cannot
  // be prepared: the message is not delivered.
  context->Unprepare();
  if (context->Prepare(function) != asSUCCESS)
    return false;
  void* (*localPlayerEmpire)() = localPlayerEmpireHook.load();
  // Set as an object: a counted empire type gets the reference the call
  // releases.
  context->SetArgObject(0, localPlayerEmpire != nullptr ? localPlayerEmpire() : nullptr);
  context->SetArgDWord(1, number);
  context->SetArgAddress(2, const_cast<ScriptString*>(&text));
  const int result = context->Execute();
  endScriptCall(context);
  return result == asEXECUTION_FINISHED;
}

void registerSendServerMessage() {
  if (clientScriptEngine == nullptr)
    return;
  checked(clientScriptEngine)
      .RegisterGlobalFunction("bool sendServerMessage(const string &, uint, const string &)",
                              asFUNCTION(sendServerMessage), asCALL_CDECL);
}
