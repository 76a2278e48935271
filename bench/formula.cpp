// Formula evaluation: each case compiles one expression once and evaluates
// it on every iteration, so the figure is the time of one evaluation. Ours
// reads float variables from its variable sets; muparser's cases evaluate the
// same text with its variables bound to doubles.
//
//   Arithmetic   two variables and every arithmetic operator
//   FiveOfFifty  five variables of a set of fifty
//   Namespaces   four variables from three namespaces
//   Calls        built-in calls (min, max, progress, poly)
#include <benchmark/benchmark.h>
#include <muParser.h>

#include <string>
#include <vector>

#include "core/formula.h"
#include "core/named_values.h"
#include "core/threads.h"

namespace {

const char kArithmetic[] = "(x + 3) * (y - 2) / 4 + x ^ 2 - y * 0.5";
const char kFiveOfFifty[] = "ve * 2 + vq - wc / 4 + wp * vh";
const char kNamespaces[] = "Techs.Hull * Object.Scale + Traits.Cheap ^ 2 - Techs.Armor / 2";
const char kCalls[] = "max(x, y) + min(x, y, 2) + progress(10, 5, x) + poly(y, 1, 2, 3)";

// Fifty names without digits (formula names end at a digit): va .. vz, wa .. wx.
std::vector<std::string> fiftyNames() {
  std::vector<std::string> names;
  for (char first : {'v', 'w'})
    for (char second = 'a'; second <= 'z' && names.size() < 50; ++second)
      names.push_back(std::string{first, second});
  return names;
}

irr::core::stringw wide(const std::string& text) { return irr::core::stringw(text.c_str()); }

void setUp() {
  static const bool done = [] {
    initThreadLocals();
    registerFormulaFunctions();
    return true;
  }();
  (void)done;
}

void evaluateOurs(benchmark::State& state, const char* text, NamedList& variables) {
  setUp();
  const formula program(wide(text));
  for (auto _ : state)
    benchmark::DoNotOptimize(evaluateFormula(&program, &variables));
}

void evaluateMuparser(benchmark::State& state, mu::Parser& parser, const char* text) {
  parser.SetExpr(text);
  for (auto _ : state)
    benchmark::DoNotOptimize(parser.Eval());
}

// The arithmetic and call cases read x and y.
void evaluateOursXY(benchmark::State& state, const char* text, float x, float y) {
  NamedValues variables;
  variables.set(L"x", x);
  variables.set(L"y", y);
  evaluateOurs(state, text, variables);
}

void evaluateMuparserXY(benchmark::State& state, mu::Parser& parser, const char* text, double x, double y) {
  parser.DefineVar("x", &x);
  parser.DefineVar("y", &y);
  evaluateMuparser(state, parser, text);
}

void BM_Arithmetic(benchmark::State& state) { evaluateOursXY(state, kArithmetic, 1.5f, 4.0f); }
BENCHMARK(BM_Arithmetic);

void BM_Arithmetic_muparser(benchmark::State& state) {
  mu::Parser parser;
  evaluateMuparserXY(state, parser, kArithmetic, 1.5, 4.0);
}
BENCHMARK(BM_Arithmetic_muparser);

void BM_FiveOfFifty(benchmark::State& state) {
  NamedValues variables;
  float value = 1.0f;
  for (const std::string& name : fiftyNames())
    variables.set(wide(name), value += 0.25f);
  evaluateOurs(state, kFiveOfFifty, variables);
}
BENCHMARK(BM_FiveOfFifty);

void BM_FiveOfFifty_muparser(benchmark::State& state) {
  const std::vector<std::string> names = fiftyNames();
  std::vector<double> values(names.size());
  mu::Parser parser;
  double value = 1.0;
  for (size_t i = 0; i < names.size(); ++i) {
    values[i] = value += 0.25;
    parser.DefineVar(names[i], &values[i]);
  }
  evaluateMuparser(state, parser, kFiveOfFifty);
}
BENCHMARK(BM_FiveOfFifty_muparser);

struct SpaceValues {
  const char* space;
  const char* name;
  float value;
};
const SpaceValues kSpaceValues[] = {
    {"Techs", "Hull", 3}, {"Techs", "Armor", 5}, {"Techs", "Shields", 2}, {"Techs", "Engines", 4},
    {"Traits", "Cheap", 1.5f}, {"Traits", "Fast", 1}, {"Object", "Scale", 2}, {"Object", "Size", 30},
};

void BM_Namespaces(benchmark::State& state) {
  NamedValues techs, traits, object;
  NameSpaces spaces;
  spaces.setSpace(&techs, L"Techs");
  spaces.setSpace(&traits, L"Traits");
  spaces.setSpace(&object, L"Object");
  for (const SpaceValues& v : kSpaceValues)
    spaces.findSpace(wide(v.space))->set(wide(v.name), v.value);
  evaluateOurs(state, kNamespaces, spaces);
}
BENCHMARK(BM_Namespaces);

void BM_Namespaces_muparser(benchmark::State& state) {
  std::vector<double> values;
  for (const SpaceValues& v : kSpaceValues)
    values.push_back(v.value);
  mu::Parser parser;
  parser.DefineNameChars("0123456789_.abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
  for (size_t i = 0; i < values.size(); ++i)
    parser.DefineVar(std::string(kSpaceValues[i].space) + "." + kSpaceValues[i].name, &values[i]);
  evaluateMuparser(state, parser, kNamespaces);
}
BENCHMARK(BM_Namespaces_muparser);

void BM_Calls(benchmark::State& state) { evaluateOursXY(state, kCalls, 3.0f, 0.5f); }
BENCHMARK(BM_Calls);

double progress(double start, double perLevel, double level) { return start + perLevel * (level - 1); }
double poly(double x, double c, double b, double a) { return x * a * x + x * b + c; }

void BM_Calls_muparser(benchmark::State& state) {
  mu::Parser parser;
  parser.DefineFun("progress", progress);
  parser.DefineFun("poly", poly);
  evaluateMuparserXY(state, parser, kCalls, 3.0, 0.5);
}
BENCHMARK(BM_Calls_muparser);

}  // namespace
