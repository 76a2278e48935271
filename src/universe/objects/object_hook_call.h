// Running one script hook of an object kind (the "planet" and "ship" server
// modules) on a context of the calling thread.
#pragma once

#include <angelscript.h>

#include "script/script_contexts.h"

// Runs the hook `functionId` on a prepared context of the calling thread,
// with the arguments `setArguments` gives it. The hook's bool answer when
// `answers`; false when the hook is absent or did not finish (a failure is
// reported by the context's exception callback).
template <typename SetArguments>
bool runObjectScriptHook(int functionId, bool answers, SetArguments setArguments) {
  using namespace AngelScript;
  if (functionId < 0)
    return false;
  bool fromPool = false;
  asIScriptContext* context = getPreparedScriptContext(functionId, fromPool);
  if (context == nullptr)
    return false;
  bool answer = false;
  const asIScriptFunction* function = context->GetFunction();
  if (function != nullptr) {
    setArguments(context);
    if (context->Execute() == asEXECUTION_FINISHED) {
      if (answers && function->GetReturnTypeId() == asTYPEID_BOOL)
        answer = context->GetReturnByte() != 0;
    } else {
      endScriptCall(context);  // nothing of a broken call stays in a cached context
    }
  }
  if (fromPool)
    releaseScriptContext(context);
  return answer;
}
