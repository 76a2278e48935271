// The script value type `vector`: the engine's 3D vector (core::vector3df,
// three floats x, y, z at bytes 0, 4 and 8), shared by both script engines.
//
//   constructors      "void f(float)": x = y = z = the value
//                     "void f(float, float, float)": x, y, z
//   properties        "float x", "float y", "float z"
//   methods           each bound straight to the vector3df operation:
//                     getDistanceFrom, getDistanceFromSQ, dotProduct,
//                     getLength, getLengthSQ, set, normalize(),
//                     normalize(float) (setLength: a zero vector stays
//                     zero), and the operators * / + - and their compound
//                     assignments (opDiv and opDivAssign multiply by the
//                     reciprocal; a zero divisor gives infinities or NaN)
//
// Plain data: no default constructor, no destructor, no opAssign, copied
// bytewise; no comparison. Natives may take and return it by value.
#pragma once

#include <angelscript.h>

// Registers the type, its constructors, its properties, then its methods.
void registerScriptVector(AngelScript::asIScriptEngine* engine);
