// The functions formulas can call, the constants (fixed ones and those of
// the constants file), and the listing of both tables for the console.
//
// A built-in finds its arguments on top of the value stack, the last one on
// top, and replaces them with its result. Given the wrong number of
// arguments it logs why and leaves the stack as it was, so the evaluation
// goes on with the arguments still there. Arithmetic is done in double
// precision and kept as float.
#include <cmath>
#include <cstdio>

#include <vector>

#include "core/data_file.h"
#include "core/formula.h"
#include "core/log.h"
#include "core/text_conversions.h"

namespace {

// Checks the argument count; logs `message` when it is wrong.
bool takes(bool countIsRight, const char* message) {
  if (!countIsRight)
    logError("%s", message);
  return countIsRight;
}

float narrow(double value) { return static_cast<float>(value); }

void formulaIf(FormulaStack& stack, unsigned count) {
  if (!takes(count == 3, "Formula error: 'if(cond, true, false)' takes exactly three arguments\n"))
    return;
  const float* a = stack.arguments(3);
  const float epsilon = 1e-6f;
  stack.replace(3, (a[0] >= -epsilon && a[0] <= epsilon) ? a[2] : a[1]);
}

// The walk of min and max: from the last argument towards the first, each
// one that `wins` over the current choice replaces it.
template <class Wins>
void pickArgument(FormulaStack& stack, unsigned count, const char* message, Wins wins) {
  if (!takes(count >= 2, message))
    return;
  const float* a = stack.arguments(count);
  float chosen = a[count - 1];
  for (unsigned i = count - 1; i-- > 0;)
    if (wins(a[i], chosen))
      chosen = a[i];
  stack.replace(count, chosen);
}

void formulaMin(FormulaStack& stack, unsigned count) {
  pickArgument(stack, count, "Formula error: 'min(a,b[,...])' requires at least two arguments\n",
               [](float a, float b) { return a < b; });
}

void formulaMax(FormulaStack& stack, unsigned count) {
  pickArgument(stack, count, "Formula error: 'max(a,b[,...])' requires at least two arguments\n",
               [](float a, float b) { return a > b; });
}

// One argument in, one result out.
template <float (*F)(float)>
void unary(FormulaStack& stack, unsigned count, const char* message) {
  if (takes(count == 1, message))
    stack.replace(1, F(stack.arguments(1)[0]));
}

float expOf(float x) { return std::exp(x); }
float logOf(float x) { return std::log(x); }
float log10Of(float x) { return std::log10(x); }
float sqrtOf(float x) { return std::sqrt(x); }
float ceilOf(float x) { return std::ceil(x); }
float floorOf(float x) { return std::floor(x); }
float negateOf(float x) { return -x; }
float notOf(float x) { return x < 0.5f ? 1.0f : 0.0f; }

void formulaExp(FormulaStack& s, unsigned n) { unary<expOf>(s, n, "Formula error: 'exp(x)' takes exactly one argument\n"); }
void formulaLog(FormulaStack& s, unsigned n) { unary<logOf>(s, n, "Formula error: 'log(x)' takes exactly one argument\n"); }
void formulaLog10(FormulaStack& s, unsigned n) {
  unary<log10Of>(s, n, "Formula error: 'log10(x)' takes exactly one argument\n");
}
void formulaSqrt(FormulaStack& s, unsigned n) {
  unary<sqrtOf>(s, n, "Formula error: 'sqrt(x)' takes exactly one argument\n");
}
void formulaCeil(FormulaStack& s, unsigned n) {
  unary<ceilOf>(s, n, "Formula error: 'ceil(x)' takes exactly one argument\n");
}
void formulaFloor(FormulaStack& s, unsigned n) {
  unary<floorOf>(s, n, "Formula error: 'floor(x)' takes exactly one argument\n");
}
void formulaNegate(FormulaStack& s, unsigned n) {
  unary<negateOf>(s, n, "Formula error: 'negate(x)' takes exactly one argument\n");
}
void formulaNot(FormulaStack& s, unsigned n) { unary<notOf>(s, n, "Formula error: 'not(bool)' takes exactly one argument\n"); }

void formulaPow(FormulaStack& stack, unsigned count) {
  if (!takes(count == 2, "Formula error: 'pow(base, exponent)' takes exactly two arguments\n"))
    return;
  const float* a = stack.arguments(2);
  stack.replace(2, formulaPower(a[0], a[1]));
}

// poly(x, c, b, a) = a x^2 + b x + c
void formulaPoly(FormulaStack& stack, unsigned count) {
  if (!takes(count == 4, "Formula error: 'poly(x,c,b,a)' takes exactly four arguments\n"))
    return;
  const float* v = stack.arguments(4);
  const double x = v[0], c = v[1], b = v[2], a = v[3];
  stack.replace(4, narrow(x * a * x + x * b + c));
}

// decay(degree, half) = 1 - degree / (degree + half): 1 at 0, 0.5 at half.
void formulaDecay(FormulaStack& stack, unsigned count) {
  if (!takes(count == 2, "Formula error: 'decay(degree, half)' takes exactly two arguments\n"))
    return;
  const float* v = stack.arguments(2);
  const double degree = v[0], sum = degree + v[1];
  if (sum == 0.0) {
    logError("Formula error: 'decay(degree, half)' call resulted in div by 0\n");
    stack.replace(2, v[0]);
    return;
  }
  stack.replace(2, narrow(1.0 - degree / sum));
}

// weight(a1, b1, ..., an, bn) = the sum of ai * bi, from the last pair.
void formulaWeight(FormulaStack& stack, unsigned count) {
  if (!takes(count > 0 && count % 2 == 0,
             "Formula error: 'Weight(a1,b1[,...,an,bn])' requires pairs of arguments\n"))
    return;
  const float* v = stack.arguments(count);
  double sum = 0.0;
  for (unsigned i = count; i > 0; i -= 2)
    sum += static_cast<double>(v[i - 2]) * v[i - 1];
  stack.replace(count, narrow(sum));
}

// progress(start, perLevel, level) = start at level 1, perLevel more a level.
void formulaProgress(FormulaStack& stack, unsigned count) {
  if (!takes(count == 3, "Formula error: 'Progress(start, perLevel, level)' takes exactly three arguments\n"))
    return;
  const float* v = stack.arguments(3);
  stack.replace(3, narrow(v[0] + static_cast<double>(v[1]) * (static_cast<double>(v[2]) - 1.0)));
}

struct Builtin {
  const wchar_t* name;
  formFuncRef ref;
};

// Registration order; entries live for the process.
Builtin builtins[] = {
    {L"if", {formulaIf, 1, 1}},         {L"min", {formulaMin, 1, 1}},
    {L"max", {formulaMax, 1, 1}},       {L"exp", {formulaExp, 1, 1}},
    {L"log", {formulaLog, 1, 1}},       {L"log10", {formulaLog10, 1, 1}},
    {L"pow", {formulaPow, 1, 1}},       {L"sqrt", {formulaSqrt, 1, 1}},
    {L"ceil", {formulaCeil, 1, 1}},     {L"poly", {formulaPoly, 1, 1}},
    {L"floor", {formulaFloor, 1, 1}},   {L"decay", {formulaDecay, 1, 1}},
    {L"weight", {formulaWeight, 1, 1}}, {L"negate", {formulaNegate, 1, 1}},
    {L"progress", {formulaProgress, 1, 1}}, {L"not", {formulaNot, 1, 1}},
};

// Writes the listing through `out(format, ...)`.
template <class Out>
void dumpTables(Out out) {
  out("Formula Functions:\n");
  for (irr::u32 i = 0; i < formulaFunctions.size(); ++i)
    out(" %ls\n", formulaFunctions[i].name.c_str());
  out("Formula Constants:\n");
  for (irr::u32 i = 0; i < formulaConstants.size(); ++i)
    out(" %ls: %f\n", formulaConstants[i].name.c_str(), static_cast<double>(formulaConstants[i].value));
}

}  // namespace

void registerFormulaFunctions() {
  for (Builtin& builtin : builtins) {
    NamedVar<formFuncRef*>& entry = NamedVar<formFuncRef*>::getOrAdd(formulaFunctions, builtin.name);
    if (entry.value == nullptr)
      entry.value = &builtin.ref;
  }
  const struct {
    const wchar_t* name;
    float value;
  } fixed[] = {{L"true", 1.0f}, {L"false", 0.0f}, {L"pi", 3.1415927f}, {L"e", 2.7182817f}};
  for (const auto& constant : fixed)
    NamedVar<float>::getOrAdd(formulaConstants, constant.name).value = constant.value;
}

void loadFormulaConstants(const irr::core::stringc& path) {
  std::vector<irr::core::stringc> lines;
  if (!readTextDataFile(path, lines))
    return;
  irr::core::stringc key, value;
  for (const irr::core::stringc& line : lines)
    if (splitKeyValue(line, key, value))
      NamedVar<float>::getOrAdd(formulaConstants, widenText(key)).value = narrowStringToFloat(value);
}

void dumpFormulaTables() {
  dumpTables([](const char* format, auto... args) { logPrint(format, args...); });
}

void dumpFormulaTablesToFile(std::FILE* file) {
  dumpTables([file](const char* format, auto... args) { std::fprintf(file, format, args...); });
}
