#include "gui/script_color.h"

#include <new>

#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;
using irr::video::SColor;

namespace {

void constructColor(uint8_t alpha, uint8_t red, uint8_t green, uint8_t blue, SColor* self) {
  new (self) SColor(alpha, red, green, blue);
}

ScriptString* formatScriptColor(const SColor* self) { return new ScriptString(formatColor(*self)); }

SColor interpolateScriptColor(SColor* self, const SColor& other, float t) {
  return interpolateColor(*self, other, t);
}

irr::u32 blend(irr::u32 self, irr::u32 other, float t) {
  return static_cast<irr::u32>(static_cast<float>(self) * t + static_cast<float>(other) * (1.0f - t));
}

}  // namespace

irr::core::stringw formatColor(SColor color) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  const irr::u32 channels[] = {color.getAlpha(), color.getRed(), color.getGreen(), color.getBlue()};
  wchar_t text[9];
  for (int i = 0; i < 4; ++i) {
    text[2 * i] = kDigits[channels[i] >> 4];
    text[2 * i + 1] = kDigits[channels[i] & 0xF];
  }
  text[8] = L'\0';
  return irr::core::stringw(text);
}

SColor interpolateColor(SColor self, SColor other, float t) {
  // Also a NaN becomes 0: the argument's colour.
  t = t >= 1.0f ? 1.0f : (t > 0.0f ? t : 0.0f);
  return SColor(blend(self.getAlpha(), other.getAlpha(), t), blend(self.getRed(), other.getRed(), t),
                blend(self.getGreen(), other.getGreen(), t), blend(self.getBlue(), other.getBlue(), t));
}

void registerScriptColor(asIScriptEngine* engine) {
  static_assert(sizeof(SColor) == 4, "Color is registered as 4 bytes");
  // All-integer class: how the x64 calling convention returns it by value.
  checked(engine).RegisterObjectType("Color", sizeof(SColor),
                                     asOBJ_VALUE | asOBJ_POD | asOBJ_APP_CLASS | asOBJ_APP_CLASS_ALLINTS);
  checked(engine).RegisterObjectProperty("Color", "uint8 B", 0);
  checked(engine).RegisterObjectProperty("Color", "uint8 G", 1);
  checked(engine).RegisterObjectProperty("Color", "uint8 R", 2);
  checked(engine).RegisterObjectProperty("Color", "uint8 A", 3);
  checked(engine).RegisterObjectBehaviour("Color", asBEHAVE_CONSTRUCT, "void f(uint8, uint8, uint8, uint8)",
                                          asFUNCTION(constructColor), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod("Color", "string@ format() const", asFUNCTION(formatScriptColor),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod("Color", "Color interpolate(const Color &in, float)",
                                       asFUNCTION(interpolateScriptColor), asCALL_CDECL_OBJFIRST);
}
