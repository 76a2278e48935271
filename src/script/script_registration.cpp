#include "script/script_registration.h"

#include <atomic>

#include "core/log.h"
#include "script/script_engine.h"

using namespace AngelScript;

namespace {

std::atomic<unsigned> rejectedRegistrations{0};

const char* engineName(const asIScriptEngine* engine) {
  if (engine != nullptr && engine == serverScriptEngine)
    return "server";
  if (engine != nullptr && engine == clientScriptEngine)
    return "client";
  return "script";
}

}  // namespace

int checkScriptRegistration(asIScriptEngine* engine, int result, const char* declaration) {
  if (result >= 0)
    return result;
  rejectedRegistrations.fetch_add(1);
  logError("Script binding rejected by the %s engine (%d): %s\n", engineName(engine), result,
           declaration != nullptr ? declaration : "");
  return result;
}

unsigned scriptRegistrationsRejected() { return rejectedRegistrations.load(); }

void resetScriptRegistrationCheck() { rejectedRegistrations.store(0); }

int CheckedRegistrar::RegisterObjectType(const char* name, int size, asDWORD flags) {
  return checkScriptRegistration(engine_, engine_->RegisterObjectType(name, size, flags), name);
}

int CheckedRegistrar::RegisterObjectProperty(const char* type, const char* declaration, int offset) {
  return checkScriptRegistration(engine_, engine_->RegisterObjectProperty(type, declaration, offset), declaration);
}

int CheckedRegistrar::RegisterObjectMethod(const char* type, const char* declaration, const asSFuncPtr& function,
                                           asDWORD convention, void* auxiliary) {
  return checkScriptRegistration(
      engine_, engine_->RegisterObjectMethod(type, declaration, function, convention, auxiliary), declaration);
}

int CheckedRegistrar::RegisterObjectBehaviour(const char* type, asEBehaviours behaviour, const char* declaration,
                                              const asSFuncPtr& function, asDWORD convention, void* auxiliary) {
  return checkScriptRegistration(
      engine_, engine_->RegisterObjectBehaviour(type, behaviour, declaration, function, convention, auxiliary),
      declaration);
}

int CheckedRegistrar::RegisterGlobalFunction(const char* declaration, const asSFuncPtr& function, asDWORD convention,
                                             void* auxiliary) {
  return checkScriptRegistration(engine_, engine_->RegisterGlobalFunction(declaration, function, convention, auxiliary),
                                 declaration);
}

int CheckedRegistrar::RegisterGlobalProperty(const char* declaration, void* pointer) {
  return checkScriptRegistration(engine_, engine_->RegisterGlobalProperty(declaration, pointer), declaration);
}

int CheckedRegistrar::RegisterEnum(const char* type) {
  return checkScriptRegistration(engine_, engine_->RegisterEnum(type), type);
}

int CheckedRegistrar::RegisterEnumValue(const char* type, const char* name, int value) {
  const std::string declaration = std::string(type) + "::" + name;
  return checkScriptRegistration(engine_, engine_->RegisterEnumValue(type, name, value), declaration.c_str());
}

int CheckedRegistrar::RegisterFuncdef(const char* declaration) {
  return checkScriptRegistration(engine_, engine_->RegisterFuncdef(declaration), declaration);
}

// GUI handler interfaces.
int CheckedRegistrar::RegisterInterface(const char* name) {
  return checkScriptRegistration(engine_, engine_->RegisterInterface(name), name);
}

int CheckedRegistrar::RegisterInterfaceMethod(const char* interface, const char* declaration) {
  const std::string text = std::string(interface) + "::" + declaration;
  return checkScriptRegistration(engine_, engine_->RegisterInterfaceMethod(interface, declaration), text.c_str());
}

int CheckedRegistrar::RegisterStringFactory(const char* type, asIStringFactory* factory) {
  return checkScriptRegistration(engine_, engine_->RegisterStringFactory(type, factory), type);
}
