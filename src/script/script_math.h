// Script math: eighteen single-precision functions for scripts of both
// engines, and the rounding rule that the core globals and native code share.
//
// Each function widens its arguments to double, calls the standard library's
// double function of the same name and narrows the result to float. Domain
// errors give what the library gives (NaN for sqrt(-1)); scripts are not told.
#pragma once

#include <angelscript.h>

namespace scriptmath {

float cos(float x);
float sin(float x);
float tan(float x);
float acos(float x);
float asin(float x);
float atan(float x);
// The angle of the point (x, y): arc tangent of y / x in the point's quadrant.
float atan2(float y, float x);
float cosh(float x);
float sinh(float x);
float tanh(float x);
float log(float x);
float log10(float x);
float pow(float base, float exponent);
float sqrt(float x);
float ceil(float x);
float abs(float x);
float floor(float x);
// x minus its whole part truncated toward zero: -2.75 gives -0.75.
float fraction(float x);

// The nearest whole number, halves upward: floor(x + 0.5), the sum taken in
// double and kept as float before the floor (2.5 gives 3, -2.5 gives -2).
float round(float x);

}  // namespace scriptmath

// Registers the functions on `engine` as plain native functions, or behind
// wrappers of the generic calling convention (for builds of the library
// without native calls). Both forms give the same results.
// registerScriptMath picks the form the library supports.
void registerScriptMathNative(AngelScript::asIScriptEngine* engine);
void registerScriptMathGeneric(AngelScript::asIScriptEngine* engine);
void registerScriptMath(AngelScript::asIScriptEngine* engine);
