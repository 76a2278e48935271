#include "scriptapi/object_casts.h"

#include <angelscript.h>

#include <initializer_list>
#include <string>

#include "script/script_engine.h"
#include "script/script_registration.h"
#include "scriptapi/script_bindings.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/game_object.h"
#include "universe/objects/oddity.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/star.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

using namespace AngelScript;

namespace {

// Object to subtype: the object when it is a `Native`, with a reference
// added for the handle returned; else null, and no reference.
template <class Native>
Native* castFromObject(generic_object* object) {
  auto* cast = dynamic_cast<Native*>(object);
  if (cast != nullptr)
    cast->grab();
  return cast;
}

// Subtype to Object: the same object, with a reference added for the handle
// returned.
template <class Native>
generic_object* castToObject(Native* object) {
  if (object != nullptr)
    object->grab();
  return object;
}

struct SubtypeBinding {
  const char* name;
  asSFuncPtr fromObject;
  asSFuncPtr toObject;
};

template <class Native>
SubtypeBinding bindingOf(const char* name) {
  return {name, asFUNCTION(castFromObject<Native>), asFUNCTION(castToObject<Native>)};
}

SubtypeBinding bindingOf(ObjectSubtype subtype) {
  switch (subtype) {
    case ObjectSubtype::HulledObj:
      return bindingOf<objHulled>("HulledObj");
    case ObjectSubtype::Planet:
      return bindingOf<objHabitation>("Planet");
    case ObjectSubtype::Star:
      return bindingOf<objStar>("Star");
    case ObjectSubtype::Oddity:
      return bindingOf<objOddity>("Oddity");
    case ObjectSubtype::System:
      return bindingOf<solarSystem>("System");
    case ObjectSubtype::Galaxy:
      break;
  }
  return bindingOf<objGalaxy>("Galaxy");
}

// On `from`: "<to>@ <method>()", "const <to>@ <method>() const" and the two
// implicit conversions to <to>, all bound to `native`.
void registerCasts(const char* from, const std::string& to, const std::string& method, const asSFuncPtr& native) {
  const std::string declarations[] = {
      to + "@ " + method + "()",
      "const " + to + "@ " + method + "() const",
      to + "@ opImplCast()",
      "const " + to + "@ opImplCast() const",
  };
  onBothEngines([&](asIScriptEngine* engine) {
    for (const std::string& declaration : declarations)
      checked(engine).RegisterObjectMethod(from, declaration.c_str(), native, asCALL_CDECL_OBJFIRST);
  });
}

}  // namespace

void registerGameObjectType(const char* name) {
  onBothEngines([&](asIScriptEngine* engine) { checked(engine).RegisterObjectType(name, 0, asOBJ_REF); });
}

void registerGameObjectCounting(const char* name) {
  onBothEngines([&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectBehaviour(name, asBEHAVE_ADDREF, "void f()", asMETHOD(generic_object, grab),
                                            asCALL_THISCALL);
    checked(engine).RegisterObjectBehaviour(name, asBEHAVE_RELEASE, "void f()", asMETHOD(generic_object, drop),
                                            asCALL_THISCALL);
  });
}

void registerObjectSubtype(ObjectSubtype subtype) {
  const SubtypeBinding binding = bindingOf(subtype);
  registerGameObjectType(binding.name);
  registerGameObjectCounting(binding.name);
  registerCasts("Object", binding.name, std::string("to") + binding.name, binding.fromObject);
  registerCasts(binding.name, "Object", "toObject", binding.toObject);
}
