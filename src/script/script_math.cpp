#include "script/script_math.h"

#include <cmath>

#include "script/script_engine.h"
#include "script/script_registration.h"

using namespace AngelScript;

namespace scriptmath {

namespace {

double wide(float x) { return static_cast<double>(x); }

}  // namespace

float cos(float x) { return static_cast<float>(std::cos(wide(x))); }
float sin(float x) { return static_cast<float>(std::sin(wide(x))); }
float tan(float x) { return static_cast<float>(std::tan(wide(x))); }
float acos(float x) { return static_cast<float>(std::acos(wide(x))); }
float asin(float x) { return static_cast<float>(std::asin(wide(x))); }
float atan(float x) { return static_cast<float>(std::atan(wide(x))); }
float atan2(float y, float x) { return static_cast<float>(std::atan2(wide(y), wide(x))); }
float cosh(float x) { return static_cast<float>(std::cosh(wide(x))); }
float sinh(float x) { return static_cast<float>(std::sinh(wide(x))); }
float tanh(float x) { return static_cast<float>(std::tanh(wide(x))); }
float log(float x) { return static_cast<float>(std::log(wide(x))); }
float log10(float x) { return static_cast<float>(std::log10(wide(x))); }
float pow(float base, float exponent) { return static_cast<float>(std::pow(wide(base), wide(exponent))); }
float sqrt(float x) { return static_cast<float>(std::sqrt(wide(x))); }
float ceil(float x) { return static_cast<float>(std::ceil(wide(x))); }
float abs(float x) { return static_cast<float>(std::fabs(wide(x))); }
float floor(float x) { return static_cast<float>(std::floor(wide(x))); }

float fraction(float x) {
  double whole = 0.0;
  return static_cast<float>(std::modf(wide(x), &whole));
}

float round(float x) { return std::floor(static_cast<float>(wide(x) + 0.5)); }

}  // namespace scriptmath

namespace {

using Unary = float (*)(float);
using Binary = float (*)(float, float);

// The generic form of a function: a wrapper per function, made from the
// function itself, reading the float arguments from the call record.
template <Unary Function>
void genericUnary(asIScriptGeneric* call) {
  call->SetReturnFloat(Function(call->GetArgFloat(0)));
}

template <Binary Function>
void genericBinary(asIScriptGeneric* call) {
  call->SetReturnFloat(Function(call->GetArgFloat(0), call->GetArgFloat(1)));
}

struct MathEntry {
  const char* declaration;
  asSFuncPtr native;
  asSFuncPtr generic;
};

#define CORVANE_UNARY(name) \
  { "float " #name "(float)", asFUNCTIONPR(scriptmath::name, (float), float), asFUNCTION(genericUnary<scriptmath::name>) }

// Registration order, declarations written as scripts have always seen them.
const MathEntry kMathEntries[] = {
    CORVANE_UNARY(cos),
    CORVANE_UNARY(sin),
    CORVANE_UNARY(tan),
    CORVANE_UNARY(acos),
    CORVANE_UNARY(asin),
    CORVANE_UNARY(atan),
    {"float atan2(float,float)", asFUNCTIONPR(scriptmath::atan2, (float, float), float),
     asFUNCTION(genericBinary<scriptmath::atan2>)},
    CORVANE_UNARY(cosh),
    CORVANE_UNARY(sinh),
    CORVANE_UNARY(tanh),
    CORVANE_UNARY(log),
    CORVANE_UNARY(log10),
    {"float pow(float, float)", asFUNCTIONPR(scriptmath::pow, (float, float), float),
     asFUNCTION(genericBinary<scriptmath::pow>)},
    CORVANE_UNARY(sqrt),
    CORVANE_UNARY(ceil),
    CORVANE_UNARY(abs),
    CORVANE_UNARY(floor),
    CORVANE_UNARY(fraction),
};

#undef CORVANE_UNARY

void registerMath(asIScriptEngine* engine, bool generic) {
  if (engine == nullptr)
    return;
  for (const MathEntry& entry : kMathEntries)
    checked(engine).RegisterGlobalFunction(entry.declaration, generic ? entry.generic : entry.native,
                                           generic ? asCALL_GENERIC : asCALL_CDECL);
}

}  // namespace

void registerScriptMathNative(asIScriptEngine* engine) { registerMath(engine, false); }

void registerScriptMathGeneric(asIScriptEngine* engine) { registerMath(engine, true); }

void registerScriptMath(asIScriptEngine* engine) {
  if (scriptLibraryNeedsGenericCalls())
    registerScriptMathGeneric(engine);
  else
    registerScriptMathNative(engine);
}
