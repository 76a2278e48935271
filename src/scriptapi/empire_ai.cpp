#include "scriptapi/empire_ai.h"

#include <angelscript.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/save_stream.h"
#include "empire/empire.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_xml_io.h"

using namespace AngelScript;
using irr::core::stringc;
using irr::core::stringw;

namespace {

// The AI's methods, each "void <signature>".
const char kTickSignature[] = "tick(Empire@,float)";
const char kMessageSignature[] = "onDiplomaticMessage(Empire@,Empire@,DiploMsg@)";
// The AI's save hook.
const char kSaveDeclaration[] = "void save(XMLWriter@)";

// The empires whose AI object this thread is making: a factory that asks
// for the same empire's AI again is refused, so that it neither recurses
// nor has its object overwritten.
thread_local std::vector<const empire*> empiresBeingMade;

class MakingAI {
 public:
  explicit MakingAI(const empire* emp) : emp_(emp) { empiresBeingMade.push_back(emp); }
  ~MakingAI() { empiresBeingMade.erase(std::find(empiresBeingMade.begin(), empiresBeingMade.end(), emp_)); }
  MakingAI(const MakingAI&) = delete;
  MakingAI& operator=(const MakingAI&) = delete;

 private:
  const empire* emp_;
};

bool beingMade(const empire* emp) {
  return std::find(empiresBeingMade.begin(), empiresBeingMade.end(), emp) != empiresBeingMade.end();
}

asIScriptFunction* findFactory(asITypeInfo* type, const stringc& className, const char* parameters) {
  const std::string declaration = std::string(className.c_str()) + "@ " + className.c_str() + parameters;
  return type->GetFactoryByDecl(declaration.c_str());
}

// The id of the method "void <signature>", or -1 with the warning
// "Empire AI: No <class>::<signature>".
int findMethod(asITypeInfo* type, const char* signature, const stringw& className) {
  asIScriptFunction* method = type->GetMethodByDecl((std::string("void ") + signature).c_str());
  if (method != nullptr)
    return method->GetId();
  logWarning("Empire AI: No %ls::%s\n", className.c_str(), signature);
  return -1;
}

}  // namespace

void registerEmpireAI(const stringw& moduleName, empire* emp, const stringw& className, ScriptXmlReader* reader) {
  if (emp == nullptr) {
    logError("Empire AI: No empire to register the AI of\n");
    return;
  }
  // The default empire lives for the whole process, never ticked nor
  // cleared with a session: its AI would outlive the session's engine.
  if (emp == defaultEmpire()) {
    logError("Empire AI: The default empire cannot have an AI\n");
    return;
  }
  if (emp->aiObject != nullptr || beingMade(emp)) {
    logError("Empire already has an AI\n");
    return;
  }
  const stringc module8(moduleName);
  const stringc class8(className);
  asIScriptModule* module =
      serverScriptEngine != nullptr ? serverScriptEngine->GetModule(module8.c_str(), asGM_ONLY_IF_EXISTS) : nullptr;
  if (module == nullptr) {
    logError("Module '%ls' doesn't exist when registering empire AI\n", moduleName.c_str());
    return;
  }
  const int typeId = module->GetTypeIdByDecl(class8.c_str());
  if (typeId < 0) {
    logError("Empire AI: Invalid object type '%ls'\n", className.c_str());
    return;
  }
  asITypeInfo* type = serverScriptEngine->GetTypeInfoById(typeId);
  if (type == nullptr)
    return;
  // Only a script class makes an AI object (an application type named here
  // would be taken for one).
  if ((type->GetFlags() & asOBJ_SCRIPT_OBJECT) == 0) {
    logError("Empire AI: Invalid object type '%ls'\n", className.c_str());
    return;
  }

  asIScriptFunction* factory = nullptr;
  if (reader != nullptr) {
    factory = findFactory(type, class8, "(Empire@, XMLReader@)");
    if (factory == nullptr) {
      logError("No matching factory function %ls(Empire@,XMLReader@)\n", className.c_str());
      reader = nullptr;
    }
  }
  if (factory == nullptr) {
    factory = findFactory(type, class8, "(Empire@)");
    if (factory == nullptr) {
      logError("No matching factory function %ls(Empire@)\n", className.c_str());
      return;
    }
  }

  asIScriptContext* context = createScriptContext(serverScriptEngine);
  if (context == nullptr)
    return;
  if (context->Prepare(factory) < 0) {
    context->Release();
    return;
  }
  // Handles given as objects: the call takes its own references (the
  // reader's is dropped again when the factory returns).
  context->SetArgObject(0, emp);
  if (reader != nullptr)
    context->SetArgObject(1, reader);
  int result;
  {
    const MakingAI making(emp);
    result = context->Execute();
  }
  if (result == asEXECUTION_FINISHED) {
    auto* object = static_cast<asIScriptObject*>(context->GetReturnObject());
    if (object != nullptr) {
      object->AddRef();
      emp->aiObject = object;
      emp->aiTickFunction = findMethod(type, kTickSignature, className);
      emp->aiMessageFunction = findMethod(type, kMessageSignature, className);
    }
  }
  context->Release();
}

void saveEmpireAI(SaveStream& stream, empire* emp, ScriptXmlWriter* writer) {
  if (emp == nullptr || emp->aiObject == nullptr)
    return;
  asIScriptObject* object = emp->aiObject;
  asITypeInfo* type = object->GetObjectType();
  const char* moduleName = nullptr;
  if (type->GetFactoryCount() > 0)
    moduleName = type->GetFactoryByIndex(0)->GetModuleName();
  stream.writeNarrowString(moduleName != nullptr ? moduleName : "");
  stream.writeNarrowString(type->GetName());

  if (writer == nullptr)
    return;
  asIScriptFunction* save = type->GetMethodByDecl(kSaveDeclaration);
  if (save == nullptr)
    return;
  bool fromPool = false;
  asIScriptContext* context = getPreparedScriptContext(save->GetId(), fromPool);
  if (context != nullptr && context->GetFunction() != nullptr) {
    context->SetObject(object);
    context->SetArgObject(0, writer);
    context->Execute();  // an exception is reported by the context's callback
    endScriptCall(context);
  }
  if (fromPool)
    releaseScriptContext(context);
}
