#include "gui/script_vector.h"

#include <vector3d.h>

#include <new>
#include <type_traits>

#include "script/script_registration.h"

using namespace AngelScript;
using irr::core::vector3df;

namespace {

// How C++ passes the class by value, which the native calls must copy.
// Irrlicht 1.8 gives vector3d a copy constructor of its own, so g++ passes
// and returns it through memory; a trivially copyable vector3df would
// instead travel in floating-point registers. Telling the engine the wrong
// one breaks every native that takes or returns a vector by value.
constexpr asDWORD kCallingFlags =
    std::is_trivially_copy_constructible<vector3df>::value && std::is_trivially_destructible<vector3df>::value
        ? asOBJ_APP_CLASS_ALLFLOATS
        : asOBJ_APP_CLASS_COPY_CONSTRUCTOR;

void constructFromOne(float value, vector3df* self) { new (self) vector3df(value); }

void constructFromThree(float x, float y, float z, vector3df* self) { new (self) vector3df(x, y, z); }

}  // namespace

void registerScriptVector(asIScriptEngine* engine) {
  static_assert(sizeof(vector3df) == 12, "vector is registered as 12 bytes");
  checked(engine).RegisterObjectType("vector", sizeof(vector3df),
                                     asOBJ_VALUE | asOBJ_POD | asOBJ_APP_CLASS | kCallingFlags);
  checked(engine).RegisterObjectBehaviour("vector", asBEHAVE_CONSTRUCT, "void f(float)", asFUNCTION(constructFromOne),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour("vector", asBEHAVE_CONSTRUCT, "void f(float, float, float)",
                                          asFUNCTION(constructFromThree), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectProperty("vector", "float x", 0);
  checked(engine).RegisterObjectProperty("vector", "float y", 4);
  checked(engine).RegisterObjectProperty("vector", "float z", 8);

  checked(engine).RegisterObjectMethod("vector", "float getDistanceFrom(const vector &in) const",
                                       asMETHOD(vector3df, getDistanceFrom), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "float getDistanceFromSQ(const vector &in) const",
                                       asMETHOD(vector3df, getDistanceFromSQ), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "float dotProduct(const vector &in) const",
                                       asMETHOD(vector3df, dotProduct), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "float getLength() const", asMETHOD(vector3df, getLength),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "float getLengthSQ() const", asMETHOD(vector3df, getLengthSQ),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "void set(float, float, float)",
                                       asMETHODPR(vector3df, set, (float, float, float), vector3df&), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector& normalize()", asMETHOD(vector3df, normalize),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector& normalize(float)", asMETHOD(vector3df, setLength),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector opMul(float) const",
                                       asMETHODPR(vector3df, operator*, (float) const, vector3df), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector opDiv(float) const",
                                       asMETHODPR(vector3df, operator/, (float) const, vector3df), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector opAdd(const vector &in) const",
                                       asMETHODPR(vector3df, operator+, (const vector3df&) const, vector3df),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector opSub(const vector &in) const",
                                       asMETHODPR(vector3df, operator-, (const vector3df&) const, vector3df),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector& opMulAssign(float)",
                                       asMETHODPR(vector3df, operator*=, (float), vector3df&), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector& opDivAssign(float)",
                                       asMETHODPR(vector3df, operator/=, (float), vector3df&), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector& opAddAssign(const vector &in)",
                                       asMETHODPR(vector3df, operator+=, (const vector3df&), vector3df&),
                                       asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("vector", "vector& opSubAssign(const vector &in)",
                                       asMETHODPR(vector3df, operator-=, (const vector3df&), vector3df&),
                                       asCALL_THISCALL);
}
