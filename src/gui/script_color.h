// The script value type `Color`: the engine's 32-bit colour (video::SColor,
// A x 2^24 + R x 2^16 + G x 2^8 + B), shared by both script engines.
//
//   properties        "uint8 B", "uint8 G", "uint8 R", "uint8 A" (bytes 0-3)
//   constructor       "void f(uint8, uint8, uint8, uint8)": alpha, red,
//                     green, blue
//   format            "string@ format() const": eight upper-case hexadecimal
//                     digits, alpha first, then red, green and blue
//   interpolate       "Color interpolate(const Color &in, float)": per
//                     channel this x t + other x (1 - t), t clamped to
//                     [0, 1], the fraction cut off
//
// Plain data: no default constructor, no destructor, copied bytewise, no
// comparison.
#pragma once

#include <SColor.h>
#include <angelscript.h>
#include <irrString.h>

// Registers the type with its properties, then its constructor and methods.
void registerScriptColor(AngelScript::asIScriptEngine* engine);

// The natives behind format and interpolate.
irr::core::stringw formatColor(irr::video::SColor color);
irr::video::SColor interpolateColor(irr::video::SColor self, irr::video::SColor other, float t);
