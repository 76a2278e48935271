// The script value types for rotations, 2D positions, sizes and rectangles,
// each the engine's own type with its memory layout, shared by both script
// engines:
//
//   quaternion   core::quaternion, floats x, y, z, w at bytes 0-12
//   pos2df       core::position2df, floats x, y
//   pos2di       core::position2di, ints x, y
//   dim2df       core::dimension2df, width at byte 0, height at byte 4
//   dim2di       core::dimension2di, the same with ints
//   rectf        core::rectf, UpperLeftCorner (also named upperLeft) and
//                LowerRightCorner, both pos2df
//   recti        core::recti, the same with pos2di
//
// Each has a default constructor, a destructor that does nothing and the
// constructors of its fields; the methods are the engine's arithmetic.
// The natives do no checks. The float pairs compare equal within the
// engine's float tolerance (0.000001), the int pairs exactly; the
// rectangles and `vector` have no comparison, and no type converts to
// another.
//
// "quaternion opMulAssign(const quaternion &in) const" multiplies the
// object in place and hands the product back as a value. The quaternion
// methods declared const (normalize, makeInverse, makeIdentity, slerp,
// rotationFromTo, fromAngleAxis, set) change the object they are called on.
#pragma once

#include <angelscript.h>

#include <type_traits>

// Each registers the type, its constructors and destructor, then its
// properties and methods (the rectangles: methods, then properties).
void registerScriptQuaternion(AngelScript::asIScriptEngine* engine);
void registerScriptPos2df(AngelScript::asIScriptEngine* engine);
void registerScriptPos2di(AngelScript::asIScriptEngine* engine);
void registerScriptDim2df(AngelScript::asIScriptEngine* engine);
void registerScriptDim2di(AngelScript::asIScriptEngine* engine);
void registerScriptRectf(AngelScript::asIScriptEngine* engine);
void registerScriptRecti(AngelScript::asIScriptEngine* engine);

// The type flags that tell the engine how g++ passes `T` by value: the
// class traits, plus all-floats or all-integers for a class that travels
// in registers (trivially copied and destroyed).
template <class T, bool kFloats>
constexpr AngelScript::asDWORD valueTypeFlags() {
  using namespace AngelScript;
  return asOBJ_VALUE | asGetTypeTraits<T>() |
         (std::is_trivially_copy_constructible<T>::value && std::is_trivially_destructible<T>::value
              ? static_cast<asDWORD>(kFloats ? asOBJ_APP_CLASS_ALLFLOATS : asOBJ_APP_CLASS_ALLINTS)
              : 0u);
}
