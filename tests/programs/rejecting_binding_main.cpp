// The server with one more registrar in its script set-up, a declaration
// that the server engine refuses ("void f(Nonexistent@)"): such a server
// must start no session and end with exit code 1.
#include <angelscript.h>

#include "app/app_main.h"
#include "app/script_setup.h"
#include "script/script_engine.h"
#include "script/script_registration.h"

namespace {

ScriptSetupSlots::Registration clientGlobals = nullptr;

void nothing() {}

void clientGlobalsAndARejectedOne() {
  if (clientGlobals != nullptr)
    clientGlobals();
  checked(serverScriptEngine)
      .RegisterGlobalFunction("void f(Nonexistent@)", AngelScript::asFUNCTION(nothing), AngelScript::asCALL_CDECL);
}

}  // namespace

int main(int argc, char** argv) {
  clientGlobals = scriptSetupSlots.clientGlobals;
  scriptSetupSlots.clientGlobals = clientGlobalsAndARejectedOne;
  return corvaneMain(argc, argv);
}
