// Checked registration of script declarations.
//
// Every Register* call of the program goes through `checked(engine)`, which
// forwards it to the engine and checks the result. A rejected declaration
// (a negative result) is logged after the engine's own message line as
//   "Script binding rejected by the <server|client> engine (<code>): <declaration>"
// and counted. The engine cannot go on after that: once one registration
// failed, every later script build fails with asINVALID_CONFIGURATION (-17),
// and a method registered twice (asALREADY_REGISTERED, -13) does the same.
// The script set-up therefore fails as a whole when the count is not zero
// after the bindings (scriptRegistrationsRejected).
#pragma once

#include <angelscript.h>

#include <string>

// Logs and counts a rejected registration; returns `result` unchanged.
// `declaration` is the declaration as given (a type or enum name for those).
int checkScriptRegistration(AngelScript::asIScriptEngine* engine, int result, const char* declaration);

// The number of registrations rejected since the engines were last made
// (createScriptEngines starts the count again at zero).
unsigned scriptRegistrationsRejected();
void resetScriptRegistrationCheck();

// The engine's registration calls, each checked. The names are the engine's
// own, so that a call reads as it would on the engine.
class CheckedRegistrar {
 public:
  explicit CheckedRegistrar(AngelScript::asIScriptEngine* engine) : engine_(engine) {}

  int RegisterObjectType(const char* name, int size, AngelScript::asDWORD flags);
  int RegisterObjectProperty(const char* type, const char* declaration, int offset);
  int RegisterObjectMethod(const char* type, const char* declaration, const AngelScript::asSFuncPtr& function,
                           AngelScript::asDWORD convention, void* auxiliary = nullptr);
  int RegisterObjectBehaviour(const char* type, AngelScript::asEBehaviours behaviour, const char* declaration,
                              const AngelScript::asSFuncPtr& function, AngelScript::asDWORD convention,
                              void* auxiliary = nullptr);
  int RegisterGlobalFunction(const char* declaration, const AngelScript::asSFuncPtr& function,
                             AngelScript::asDWORD convention, void* auxiliary = nullptr);
  int RegisterGlobalProperty(const char* declaration, void* pointer);
  int RegisterEnum(const char* type);
  int RegisterEnumValue(const char* type, const char* name, int value);
  int RegisterFuncdef(const char* declaration);
  // GUI handler interfaces.
  int RegisterInterface(const char* name);
  int RegisterInterfaceMethod(const char* interface, const char* declaration);
  int RegisterStringFactory(const char* type, AngelScript::asIStringFactory* factory);

 private:
  AngelScript::asIScriptEngine* engine_;
};

inline CheckedRegistrar checked(AngelScript::asIScriptEngine* engine) { return CheckedRegistrar(engine); }
