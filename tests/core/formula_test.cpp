#include "core/formula.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/named_values.h"
#include "core/scratch_files.h"
#include "support/log_capture.h"

namespace formula_test {

namespace {

std::string narrow(const irr::core::stringw& text) { return irr::core::stringc(text).c_str(); }

// The program in postfix order: "x 2 +", "max/2" for a call of two.
std::string render(const formula& program) {
  static const char* const math[] = {"+", "-", "*", "/", "^", "^-"};
  static const char* const logic[] = {"<", "<=", ">", ">=", "==", "!=", "&&", "||"};
  std::string out;
  for (const formulaSection& s : program.sections()) {
    if (!out.empty())
      out += ' ';
    char number[32];
    switch (s.kind) {
      case kFormulaConstant:
        std::snprintf(number, sizeof number, "%g", s.value);
        out += number;
        break;
      case kFormulaVariable:
        out += narrow(*s.name);
        break;
      case kFormulaNamespace:
        out += narrow(*s.name) + ".";
        break;
      case kFormulaMath:
        out += math[s.code];
        break;
      case kFormulaLogic:
        out += logic[s.code];
        break;
      case kFormulaCall:
        out += narrow(formulaFunctions[s.functionIndex()].name) + "/" + std::to_string(s.argumentCount());
        break;
      default:
        out += "?";
    }
  }
  return out;
}

struct Case {
  const char* text;
  const char* program;  // postfix, "" for not checked
  float value;
  const char* log;
};

class FormulaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerFormulaFunctions();
    vars.set(L"x", 3.0f);
    vars.set(L"y", 0.0f);
    vars.set(L"a", 2.0f);
    vars.set(L"b", 5.0f);
    vars.set(L"pi", 100.0f);  // the constant wins
    vars.set(L"true", 7.0f);
  }

  // Compiles and evaluates `text` against `set`; `logged` gets what both
  // steps logged, `program` the compiled program.
  float run(const char* text, NamedList* set, std::string* program = nullptr) {
    LogCapture capture;
    formula compiled{irr::core::stringw(text)};
    if (program)
      *program = render(compiled);
    const float value = evaluateFormula(&compiled, set);
    logged = capture.take();
    return value;
  }

  // Runs each case against `vars`: its value, program (when given) and log.
  template <size_t N>
  void expectCases(const Case (&cases)[N]) {
    for (const Case& c : cases) {
      std::string program;
      EXPECT_FLOAT_EQ(run(c.text, &vars, &program), c.value) << c.text;
      if (*c.program) {
        EXPECT_EQ(program, c.program) << c.text;
      }
      EXPECT_EQ(logged, c.log) << c.text;
    }
  }

  NamedValues vars;
  std::string logged;
};

TEST_F(FormulaTest, CompilesAndEvaluates) {
  const Case cases[] = {
      {"2 + 3 * 4", "14", 14, ""},
      {"2 ^ 3 ^ 2", "64", 64, ""},
      {"x - -2", "x 2 +", 5, ""},
      {"1 < 2 < 3", "1 2 < 3 <", 1, ""},
      {"5 / 0", "5", 5, ""},
      {"x / 0", "x 0 *", 0, ""},
      {"x / 4", "x 0.25 *", 0.75f, ""},
      {"", "0", 0, ""},
      {"#x", "x", 3, ""},
      {"pi", "3.14159", 3.1415927f, ""},
      {"true + false", "1", 1, ""},
      {"-x", "-1 x *", -3, ""},
      {"-2 * x", "-2 x *", -6, ""},
      {"-(x + 1)", "-1 x 1 + *", -4, ""},
      {"-x ^ 2", "", -9, ""},
      {"max(a, -b)", "a -1 b * max/2", 2, ""},
      {"a < -b", "", 0, ""},
      {"2 ^ -1", "0.5", 0.5f, ""},
      {"2^-1", "0.5", 0.5f, ""},
      {"x ^ -1", "x 1 ^-", 1.0f / 3, ""},
      {"a + b * x - 1", "", 16, ""},
      {"(a + b) * x", "", 21, ""},
      // Logic operators apply strictly left to right: ((((x > 2) && b) < 4) || a) == 2.
      {"x > 2 && b < 4 || a == 2", "x 2 > b && 4 < a || 2 ==", 0, ""},
      {"x != x", "", 0, ""},
      {"(x <= 3) && (x >= 3)", "", 1, ""},
      {"1.5 + .5", "2", 2, ""},
      {"1.2.3", "1.2", 1.2f, ""},
      // Left to right within a level, also where constants could fold.
      {"x ^ 2 ^ 3", "x 2 ^ 3 ^", 729, ""},
      {"x - (2) - 3", "", -2, ""},
      {"24 / x / 2", "", 4, ""},
      {"x - 2 + 3", "", 4, ""},
      // A name, a blank and a group is not a call.
      {"x (a)", "0", 0, "Formula Error:\n Too many values in formula\n 'x (a)'\n"},
      {"x2", "0", 0, "Formula Error:\n Too many values in formula\n 'x2'\n"},
      {"log10(x)", "0", 0, "Formula Error:\n Too many values in formula\n 'log10(x)'\n"},
      {"x ", "x", 3, "Formula Error:\n Empty variable name in formula (misplaced .?)\n 'x '\n"},
      {"x*-2", "x 2 +", 5, "Formula Error: \nInvalid Math Operator: '*-'\n"},
      {"x ! 2", "x 2 <", 0, "Formula Error: \nInvalid Logic Operator: '!'"},
      {"[x", "x", 3, "Formula Error: Improper line - did you mispell a key?\n  '[x'\n"},
      {"foo(2)", "2", 2, "Formula Error: Referenced invalid function(foo) in formula\n  'foo(2)'\n"},
      {"1, 5", "0", 0, "Formula Error:\n Too many values in formula\n '1, 5'\n"},
      {"max(1, 2), 3", "0", 0,
       "Formula Error: Invalid ',' in formula \"max(1, 2), 3\"\n"
       "Formula Error:\n Too many values in formula\n 'max(1, 2), 3'\n"},
      {")", "0", 0,
       "Formula Error: Unmatched ')' in formula\n ')'\n"
       "Formula Error:\n Too few values in formula\n ')'\n"},
      {"+ x", "x", 3, "Formula Error:\n Insufficient parameters for operator '+' in formula\n '+ x'\n"},
      {"max(1,", "1", 1,
       "Formula Error: Invalid function call(s) \"max(1,\"\n  Missing parenthesis?\n"
       "Formula Error:\n Empty parameters for function 'max' in formula\n 'max(1,'\n"},
      {"x.", "0", 0,
       "Formula Error:\n Empty variable name in formula (misplaced .?)\n 'x.'\n"
       "Formula Error:\n Too few values in formula\n 'x.'\n"},
      // Run-time faults.
      {"x / y", "x y /", 3, "Formula Error:\n  Divided by 0\n"},
      {"nothing + 1", "nothing 1 +", 1, "Formula Error:\n  Formula requested unknown variable: 'nothing'\n"},
      {"(0 - x) ^ 0.5", "", 0, "Formula Error:\n  Invalid power operation\n"},
      {"-8 ^ 0.5", "-8 0.5 ^", 0, "Formula Error:\n  Invalid power operation\n"},
  };
  expectCases(cases);
  EXPECT_EQ(evaluateFormula(nullptr, &vars), 0.0f);
  formula empty;
  EXPECT_EQ(evaluateFormula(&empty, &vars), 0.0f);
}

// A power is the single-precision power wherever it is computed: folded at
// compile time, applied to a variable, or called as pow().
TEST_F(FormulaTest, PowersAgreeWhetherFoldedOrNot) {
  // Squares that a product rounds differently from the power.
  for (const char* base : {"4097", "4099", "1234567"}) {
    SCOPED_TRACE(base);
    vars.set(L"v", static_cast<float>(std::atof(base)));
    const float called = run("pow(v, 2)", &vars);
    EXPECT_EQ(run((std::string(base) + " ^ 2").c_str(), &vars), called);
    EXPECT_EQ(run("v ^ 2", &vars), called);
    EXPECT_EQ(run("(v + 0) ^ 2", &vars), called);
  }
}

TEST_F(FormulaTest, MalformedTextNeverCrashes) {
  const Case cases[] = {
      {"min()", "min/0", 0, "Formula error: 'min(a,b[,...])' requires at least two arguments\n"},
      {"sqrt(min())", "", 0,
       "Formula error: 'min(a,b[,...])' requires at least two arguments\n"
       "Formula Error:\n  Formula requested action without sufficient parameters!\n"},
      // An empty call's group folds away, so the '+' pending before it is
      // never placed.
      {"1 + max()", "0", 0, "Formula Error:\n Too many values in formula\n '1 + max()'\n"},
      {"(((", "0", 0, "Formula Error:\n Too few values in formula\n '((('\n"},
      {"())(", "0", 0,
       "Formula Error: Unmatched ')' in formula\n '())('\n"
       "Formula Error:\n Too few values in formula\n '())('\n"},
      {"max(,)", "0", 0,
       "Formula Error:\n Empty parameters for function 'max' in formula\n 'max(,)'\n"
       "Formula Error:\n Too few values in formula\n 'max(,)'\n"},
      {"#", "0", 0, ""},
  };
  expectCases(cases);

  std::string longText = "1";
  while (longText.size() <= kMaxFormulaLength)
    longText += "+1";
  std::string program;
  EXPECT_EQ(run(longText.c_str(), &vars, &program), 0.0f);
  EXPECT_EQ(program, "0");
  EXPECT_EQ(logged.rfind("Formula Error:\n Formula too long (4097 characters, at most 4096)\n '1+1+", 0), 0u)
      << logged;
}

TEST_F(FormulaTest, BuiltIns) {
  const Case cases[] = {
      {"progress(10, 5, 1)", "", 10, ""},
      {"progress(10, 5, 3)", "", 20, ""},
      {"progress(10, 5)", "", 5,
       "Formula error: 'Progress(start, perLevel, level)' takes exactly three arguments\n"
       "Formula Error:\n  Formula did not use all requested values!\n"},
      {"decay(0, 4)", "", 1, ""},
      {"decay(4, 4)", "", 0.5f, ""},
      {"decay(-4, 4)", "", -4, "Formula error: 'decay(degree, half)' call resulted in div by 0\n"},
      {"weight(2, 3, 4, 5)", "", 26, ""},
      {"weight(1, 2, 3)", "", 3,
       "Formula error: 'Weight(a1,b1[,...,an,bn])' requires pairs of arguments\n"
       "Formula Error:\n  Formula did not use all requested values!\n"},
      {"poly(2, 1, 0, 3)", "", 13, ""},
      {"if(0.0000005, 1, 2)", "", 2, ""},
      {"if(0.01, 1, 2)", "", 1, ""},
      {"if(x > 2, a, b)", "", 2, ""},
      {"if(1, 2)", "", 2,
       "Formula error: 'if(cond, true, false)' takes exactly three arguments\n"
       "Formula Error:\n  Formula did not use all requested values!\n"},
      {"not(0.49)", "", 1, ""},
      {"not(0.5)", "", 0, ""},
      {"min(3, 1, 2)", "", 1, ""},
      {"max(3, 1, 2)", "", 3, ""},
      {"min(5)", "", 5, "Formula error: 'min(a,b[,...])' requires at least two arguments\n"},
      {"max(x + 1, b * 2) - 1", "", 9, ""},
      {"pow(2, 10)", "", 1024, ""},
      {"sqrt(16)", "", 4, ""},
      {"exp(0) + log(1)", "", 1, ""},
      {"ceil(1.2) + floor(1.8)", "", 3, ""},
      {"negate(x)", "", -3, ""},
      {"sqrt()", "", 0, "Formula error: 'sqrt(x)' takes exactly one argument\n"},
      {"poly(1, 2)", "", 2,
       "Formula error: 'poly(x,c,b,a)' takes exactly four arguments\n"
       "Formula Error:\n  Formula did not use all requested values!\n"},
      {"nosuch(x)", "", 3, "Formula Error: Referenced invalid function(nosuch) in formula\n  'nosuch(x)'\n"},
  };
  expectCases(cases);
}

TEST_F(FormulaTest, NamespacesAndUnknownNames) {
  NamedValues techs, traits, inner;
  techs.set(L"x", 1.0f);
  techs.set(L"Hull", 4.0f);
  traits.set(L"x", 2.0f);
  inner.set(L"v", 6.0f);
  NameSpaces nested;
  nested.setSpace(&inner, L"Inner");
  NameSpaces spaces;
  spaces.setSpace(&traits, L"Traits");
  spaces.setSpace(&techs, L"Techs");
  spaces.setSpace(&nested, L"Outer");

  const struct {
    NamedList* set;
    const char* text;
    float value;
    const char* log;
  } cases[] = {
      {&spaces, "x", 1, ""},  // "Techs" sorts before "Traits"
      {&spaces, "Traits.x", 2, ""},
      {&spaces, "Techs.Hull * Traits.x", 8, ""},
      {&spaces, "Traits.x + x", 3, ""},
      {&spaces, "Outer.Inner.v", 6, ""},
      {&spaces, "ns.x", 1, "Formula Error:\n  Formula requested invalid namespace(ns)\n"},
      {&vars, "ns.x", 3, "Formula Error:\n  Formula attempted to access a variable(ns) as a namespace\n"},
      {&spaces, "Techs.Inner.x", 1,
       "Formula Error:\n  Formula attempted to access a variable(Inner) as a namespace\n"},
      {&spaces, "Traits.Hull", 0, "Formula Error:\n  Formula requested unknown variable: 'Hull'\n"},
      {nullptr, "x + 1", 1, "Formula Error:\n  Formula requested unknown variable: 'x'\n"},
  };
  for (const auto& c : cases) {
    EXPECT_FLOAT_EQ(run(c.text, c.set), c.value) << c.text;
    EXPECT_EQ(logged, c.log) << c.text;
  }
}

// A variable set the evaluator cannot follow: no stamp, values by get only.
class PlainList : public NamedList {
 public:
  int getKind() const override { return 0; }
  bool get(const irr::core::stringw& name, float& value) override {
    if (name != L"x")
      return false;
    value = x;
    return true;
  }
  void addDefault(const irr::core::stringw&, float) override {}
  void set(const irr::core::stringw&, float) override {}
  float x = 1.0f;
};

TEST_F(FormulaTest, RepeatedEvaluationSeesEveryChange) {
  NamedValues techs, traits;
  techs.set(L"Hull", 1.0f);
  traits.set(L"y", 10.0f);
  NameSpaces spaces;
  spaces.setSpace(&techs, L"Techs");
  spaces.setSpace(&traits, L"Traits");
  const formula program(L"Techs.Hull + y");
  LogCapture capture;
  auto evaluate = [&](NamedList* set) {
    const float value = evaluateFormula(&program, set);
    logged = capture.take();
    return value;
  };

  EXPECT_EQ(evaluate(&spaces), 11.0f);
  techs.set(L"Hull", 2.0f);  // in place
  EXPECT_EQ(evaluate(&spaces), 12.0f);
  techs.set(L"y", 100.0f);  // an earlier namespace gains y
  EXPECT_EQ(evaluate(&spaces), 102.0f);
  {
    NamedValues upgraded;
    upgraded.set(L"Hull", 5.0f);
    spaces.setSpace(&upgraded, L"Techs");
    EXPECT_EQ(evaluate(&spaces), 15.0f);
    spaces.setSpace(nullptr, L"Techs");
  }
  EXPECT_EQ(evaluate(&spaces), 10.0f);
  EXPECT_EQ(logged,
            "Formula Error:\n  Formula requested invalid namespace(Techs)\n"
            "Formula Error:\n  Formula requested unknown variable: 'Hull'\n");
  EXPECT_EQ(evaluate(&spaces), 10.0f);  // logged again on every evaluation
  EXPECT_EQ(logged,
            "Formula Error:\n  Formula requested invalid namespace(Techs)\n"
            "Formula Error:\n  Formula requested unknown variable: 'Hull'\n");

  // Sets made and destroyed in turn, perhaps at one address.
  for (int i = 0; i < 3; ++i) {
    NamedValues fresh;
    fresh.set(L"Hull", static_cast<float>(i));
    spaces.setSpace(&fresh, L"Techs");
    EXPECT_EQ(evaluate(&spaces), 10.0f + i);
    spaces.setSpace(nullptr, L"Techs");
  }
  for (int i = 0; i < 3; ++i) {
    NamedValues root;
    root.set(L"y", static_cast<float>(i));
    EXPECT_EQ(evaluateFormula(&program, &root), 1.0f * i);
  }

  PlainList plain;
  const formula readX(L"x * 2");
  EXPECT_EQ(evaluateFormula(&readX, &plain), 2.0f);
  plain.x = 4.0f;
  EXPECT_EQ(evaluateFormula(&readX, &plain), 8.0f);
  spaces.setSpace(nullptr, L"Traits");
  EXPECT_EQ(evaluateFormula(&readX, &spaces), 0.0f);
}

TEST_F(FormulaTest, ThreadsShareOneProgram) {
  const formula program(L"a * 2 + b");
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      NamedValues own;
      own.set(L"a", static_cast<float>(t));
      for (int i = 0; i < 1000; ++i) {
        own.set(L"b", static_cast<float>(i));
        if (evaluateFormula(&program, &own) != 2.0f * t + i)
          ++wrong[t];
        const formula mine(L"max(b, a) + true");  // compiled on every thread at once
        if (evaluateFormula(&mine, &own) != std::max<float>(i, t) + 1)
          ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST_F(FormulaTest, CopiesOwnTheirNames) {
  formula copy;
  {
    const formula original(L"x + Traits.y");
    copy = original;
  }
  EXPECT_EQ(render(copy), "x Traits. y +");
  EXPECT_EQ(evaluateFormula(&copy, &vars), 3.0f);
}

float constant(const wchar_t* name) {
  const irr::s32 index = NamedVar<float>::find(formulaConstants, name);
  return index >= 0 ? formulaConstants[index].value : -99.0f;
}

TEST_F(FormulaTest, ConstantsFileThenFixedConstants) {
  const std::string path = testing_files::scratchFolder() + "Settings.txt";
  testing_files::writeFile(path,
                           "// comment: ignored\n"
                           "pi: 5\n"
                           "Gravity : 9.5\n"
                           "no colon here\n"
                           "Thousand: 1,000.5\n");
  loadFormulaConstants(path.c_str());
  EXPECT_EQ(constant(L"pi"), 5.0f);
  EXPECT_EQ(constant(L"Gravity"), 9.5f);
  EXPECT_EQ(constant(L"Thousand"), 1000.5f);
  EXPECT_EQ(constant(L"no colon here"), -99.0f);
  EXPECT_EQ(constant(L"// comment"), -99.0f);
  registerFormulaFunctions();  // the fixed values win
  EXPECT_EQ(constant(L"pi"), 3.1415927f);

  std::string program;
  EXPECT_EQ(run("Gravity * 2", &vars, &program), 19.0f);
  EXPECT_EQ(program, "19");

  const irr::u32 before = formulaConstants.size();
  loadFormulaConstants((testing_files::scratchFolder() + "missing.txt").c_str());
  EXPECT_EQ(formulaConstants.size(), before);

  // The bundled file reads cleanly: every line a constant.
  const irr::core::stringc bundled = CORVANE_SOURCE_DIR "/data/Game Data/Settings.txt";
  loadFormulaConstants(bundled);
  EXPECT_EQ(constant(L"ResearchCostGrowth"), 1.35f);
  EXPECT_EQ(formulaConstants.size(), before + 6);
}

TEST_F(FormulaTest, DumpListsFunctionsThenConstantsInNameOrder) {
  LogCapture capture;
  dumpFormulaTables();
  const std::string dump = capture.take();
  EXPECT_EQ(dump.rfind(
                "Formula Functions:\n ceil\n decay\n exp\n floor\n if\n log\n log10\n max\n min\n negate\n"
                " not\n poly\n pow\n progress\n sqrt\n weight\nFormula Constants:\n",
                0),
            0u)
      << dump;
  for (const char* line : {" e: 2.718282\n", " false: 0.000000\n", " pi: 3.141593\n", " true: 1.000000\n"})
    EXPECT_NE(dump.find(line), std::string::npos) << line;
  EXPECT_LT(dump.find(" e: "), dump.find(" false: "));

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  dumpFormulaTablesToFile(file);
  std::rewind(file);
  std::string written;
  for (int c; (c = std::fgetc(file)) != EOF;)
    written += static_cast<char>(c);
  std::fclose(file);
  EXPECT_EQ(written, dump);
}

}  // namespace

}  // namespace formula_test
