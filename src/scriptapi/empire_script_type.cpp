#include "scriptapi/empire_script_type.h"

#include <angelscript.h>

#include <initializer_list>

#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/diplomacy_script_types.h"
#include "scriptapi/empire_ai.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

ScriptString* empireName(const empire* emp) { return new ScriptString(emp->name); }

void attachScriptAI(empire* emp, const ScriptString& module, const ScriptString& className) {
  registerEmpireAI(module.toStringw(), emp, className.toStringw(), nullptr);
}

float empireSetting(empire* emp, const ScriptString& name) { return emp->getSetting(name.toStringw()); }

void setEmpireSetting(empire* emp, const ScriptString& name, float value) {
  emp->setSetting(name.toStringw(), value);
}

empire* empireAt(uint32_t index) {
  if (index >= empireList.size()) {
    raiseScriptException("Out of bounds when getting empire by index");
    return nullptr;
  }
  return empireList[index];
}

uint32_t empireCount() { return static_cast<uint32_t>(empireList.size()); }

empire* getActiveEmpire() { return activeEmpire; }

empire* empireByID(int id) {
  if (id < 0 || id > 255)
    return defaultEmpire();
  return getEmpireByID(static_cast<EmpireID>(id));
}

void method(const char* declaration, const asSFuncPtr& function, asDWORD convention) {
  onBothEngines([&](asIScriptEngine* engine, bool) {
    checked(engine).RegisterObjectMethod("Empire", declaration, function, convention);
  });
}

void property(const char* declaration, int offset, const char* needsType = nullptr) {
  onBothEngines([&](asIScriptEngine* engine, bool) {
    if (needsType == nullptr || engine->GetTypeInfoByName(needsType) != nullptr)
      checked(engine).RegisterObjectProperty("Empire", declaration, offset);
  });
}

// `clientDeclaration` null: the server's declaration on both engines.
void global(const char* serverDeclaration, const asSFuncPtr& function, const char* clientDeclaration = nullptr) {
  onBothEngines([&](asIScriptEngine* engine, bool server) {
    const char* declaration = server || clientDeclaration == nullptr ? serverDeclaration : clientDeclaration;
    checked(engine).RegisterGlobalFunction(declaration, function, asCALL_CDECL);
  });
}

}  // namespace

void bindEmpireScriptType() {
  registerUncountedType("Empire");
  method("string@ getName() const", asFUNCTION(empireName), asCALL_CDECL_OBJFIRST);
  method("bool isValid() const", asMETHOD(empire, isValid), asCALL_THISCALL);
  method("bool isAI() const", asMETHOD(empire, isAI), asCALL_THISCALL);
  method("bool isReserved() const", asMETHOD(empire, isReserved), asCALL_THISCALL);
  property("const int8 ID", asOFFSET(empire, ID));
  property("Color color", asOFFSET(empire, color), "Color");
  method("void regScriptData(const string &, const string &)", asFUNCTION(attachScriptAI), asCALL_CDECL_OBJFIRST);
  bindDiplomacyScriptTypes();
  global("Empire@ getEmpire(uint)", asFUNCTION(empireAt), "const Empire@ getEmpire(uint)");
  global("uint getEmpireCount()", asFUNCTION(empireCount));
  // Its empty add-ref and release come with the name: the layout members
  // that the object bindings add need no more.
  registerUncountedType("HullLayout");
  method("float getSetting(const string &) const", asFUNCTION(empireSetting), asCALL_CDECL_OBJFIRST);
  method("void setSetting(const string &, float)", asFUNCTION(setEmpireSetting), asCALL_CDECL_OBJFIRST);
  global("Empire@ getActiveEmpire()", asFUNCTION(getActiveEmpire));
  global("Empire@ getEmpireByID(int)", asFUNCTION(empireByID), "const Empire@ getEmpireByID(int)");
}
