// The formula language: numbers in the game's data files are short infix
// expressions over constants, variables, "namespace.var" references,
// operators and built-in calls, such as a cost that grows with a technology
// level ("progress(10, 5, Techs.Hull) * 1.5").
//
// A formula is compiled once into a postfix program of formulaSection cells
// and evaluated many times on the thread's value stack against a variable set
// (named_values.h). Constants and functions are resolved by name when the
// formula is compiled, so both tables must be filled first (a name that was
// not a constant then stays a variable; a later function is never found).
//
// Formula text:
//  - numbers: digits with one '.' ("," is a list separator, not a thousands
//    mark here); no exponent. Names end at the first digit: "x2" is x and 2.
//  - operators: "+ - * / ^" and "< <= > >= == != && ||". "^", then "* /",
//    then "+ -" bind in that order, each level left to right; the logic
//    operators bind loosest and apply strictly left to right
//    ("a < b && c" is "(a < b) && c", "1 < 2 < 3" is 1).
//  - a '-' with no operand before it is a sign: "-2", "-x" (as -1 * x),
//    "x - -2"; "^-" raises to the negated power ("2 ^ -1" is 0.5). Operator
//    characters written together form one operator: "x*-2" is an error.
//  - "ns.x" reads x from the namespace ns; "f(a, b)" calls a built-in (a blank
//    before the '(' makes it a plain group); a leading '#' is skipped.
//  - division by a constant 0 is dropped ("5 / 0" is 5, "x / 0" is x * 0);
//    division by a variable that is 0 logs and keeps the left operand.
// Faults never stop loading: they are logged ("Formula Error: ...") and the
// formula falls back, malformed text to the constant 0 and an unknown
// variable to 0.
//
// Program cells (formulaSection):
//
//   kind                 datum
//   0 constant           the float value
//   1 variable           owned name
//   2 namespace switch   owned namespace name; the next variable is read
//                        from that namespace's set
//   3 arithmetic op      code: 0 "+", 1 "-", 2 "*", 3 "/", 4 "^", 5 "^-"
//   4 logic op           code: 0 "<", 1 "<=", 2 ">", 3 ">=", 4 "==", 5 "!=",
//                        6 "&&", 7 "||"
//   5 function call      bits 0-15 the function's index in formulaFunctions,
//                        bits 16-31 the argument count
//   6 parenthesis        (while compiling) 0 "(", 1 ")", 2 ","
//   7 separator          (while compiling) between call arguments
//
// Evaluation remembers, per thread, where each variable of a program was
// found in the set it was given, and reuses that while the sets asked keep
// their change stamps: repeated evaluations against the same set search no
// names and allocate nothing.
#pragma once

#include <irrString.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/names.h"

class NamedList;
class FormulaStack;
struct FormulaLookup;

enum FormulaSectionKind : uint32_t {
  kFormulaConstant = 0,
  kFormulaVariable = 1,
  kFormulaNamespace = 2,
  kFormulaMath = 3,
  kFormulaLogic = 4,
  kFormulaCall = 5,
  kFormulaParenthesis = 6,
  kFormulaSeparator = 7,
};

enum FormulaMathCode : uint32_t {
  kMathAdd,
  kMathSubtract,
  kMathMultiply,
  kMathDivide,
  kMathPower,
  kMathPowerNegated,
};

enum FormulaLogicCode : uint32_t {
  kLogicLess,
  kLogicLessEqual,
  kLogicGreater,
  kLogicGreaterEqual,
  kLogicEqual,
  kLogicNotEqual,
  kLogicAnd,
  kLogicOr,
};

enum FormulaParenthesisCode : uint32_t {
  kParenOpen,
  kParenClose,
  kParenComma,
};

// Most functions a program can name, and most arguments of one call.
constexpr uint32_t kMaxFormulaFunctionIndex = 0x7FFF;
constexpr uint32_t kMaxFormulaArguments = 0xFFFF;
// Longer formula text is refused (logged, compiled to 0): compiling costs
// grow with the square of the length.
constexpr uint32_t kMaxFormulaLength = 4096;

// One program cell. Copying one copies its name; destroying one frees it.
struct formulaSection {
  uint32_t kind = kFormulaConstant;
  // Variables and namespace switches: their number among the program's
  // look-ups (the evaluator's index into what it found).
  uint32_t slot = 0;
  union {
    float value;
    irr::core::stringw* name;
    uint32_t code;
  };

  formulaSection() : value(0.0f) {}
  formulaSection(const formulaSection& other);
  formulaSection(formulaSection&& other) noexcept;
  formulaSection& operator=(formulaSection other) noexcept;
  ~formulaSection();

  static formulaSection constant(float value);
  static formulaSection named(uint32_t kind, const irr::core::stringw& name);
  static formulaSection coded(uint32_t kind, uint32_t code);
  static formulaSection call(uint32_t functionIndex, uint32_t argumentCount);

  bool hasName() const { return kind == kFormulaVariable || kind == kFormulaNamespace; }
  uint32_t functionIndex() const { return code & 0xFFFF; }
  uint32_t argumentCount() const { return code >> 16; }
};
static_assert(sizeof(formulaSection) == 2 * sizeof(uint32_t) + sizeof(void*),
              "a program cell is its kind, its slot and a pointer-sized datum");

// A compiled formula. Immutable once compiled; any number of threads may
// evaluate it at once.
class formula {
 public:
  formula();
  // Compiles `text` (see compileFormula).
  explicit formula(const irr::core::stringw& text);
  formula(const formula& other);
  formula& operator=(const formula& other);
  ~formula();

  // The program in postfix order (kinds 0 to 5).
  const std::vector<formulaSection>& sections() const { return sections_; }

 private:
  friend void compileFormula(formula& program, const irr::core::stringw& text);
  friend float evaluateFormula(const formula* program, NamedList* variables);

  struct Step;

  // Numbers the look-ups, counts the operands, takes a new identity and
  // builds the steps.
  void finish();
  void buildSteps();
  template <bool Checked>
  float runSteps(const FormulaLookup* lookups, FormulaStack& stack) const;

  std::vector<formulaSection> sections_;
  std::vector<Step> code_;   // what the evaluator runs
  uint64_t id_ = 0;          // unique per compiled content, for the look-up cache
  uint32_t lookups_ = 0;     // variables and namespace switches
  uint32_t operands_ = 0;    // constants and variables: the deepest stack
  bool checked_ = false;     // a call of no arguments: stack depths are checked
};

// Compiles `text` and appends the program to `program` (which is empty).
// Never fails: malformed text is logged and compiles to something, often
// the constant 0.
void compileFormula(formula& program, const irr::core::stringw& text);

// The single-precision power, wherever a formula raises one (folded at
// compile time, as an operator, or through pow()). A square is the product:
// the exact square rounded once.
inline float formulaPower(float base, float exponent) {
  return exponent == 2.0f ? base * base : std::pow(base, exponent);
}

// Runs the program against `variables` (null: a set with no variables).
// No program gives 0.
float evaluateFormula(const formula* program, NamedList* variables);

// The value stack of the calling thread's formula evaluations (ThreadLocals
// holds one per thread). Built-in functions take their arguments from its
// top, the last argument on top, and replace them with their result.
class FormulaStack {
 public:
  FormulaStack();
  ~FormulaStack();
  FormulaStack(const FormulaStack&) = delete;
  FormulaStack& operator=(const FormulaStack&) = delete;

  unsigned size() const { return size_; }
  // The top `count` values (at most size()), the first argument first.
  float* arguments(unsigned count) { return values_.data() + kBottom + (size_ - count); }
  // Replaces the top `count` values (at least 1) by `result`.
  void replace(unsigned count, float result) {
    values_[kBottom + size_ - count] = result;
    size_ -= count - 1;
  }

 private:
  friend float evaluateFormula(const formula* program, NamedList* variables);
  friend class formula;
  struct LookupCache;

  // The bottom value's index: the evaluator keeps a spare place under it.
  static constexpr unsigned kBottom = 1;

  std::vector<float> values_;  // room for the largest program run so far
  unsigned size_ = 0;
  std::unique_ptr<LookupCache> lookups_;
};

// A function formulas can call: it works on the top `count` values.
using FormulaFunction = void (*)(FormulaStack& stack, unsigned count);

// A function registry entry. Every built-in is native and foldable.
struct formFuncRef {
  FormulaFunction function;
  uint8_t native;
  uint8_t foldable;
};

// The registries formula names are resolved against when compiling. Both are
// filled through getOrAdd only, which keeps them in name order, so that
// compiling on several threads at once only reads them. A call refers to its
// function by index, so formulaFunctions must not change once formulas are
// compiled.
extern NamedVar<formFuncRef*>::Registry formulaFunctions;
extern NamedVar<float>::Registry formulaConstants;

// Registers the sixteen built-ins ("if", "min", "max", "exp", "log",
// "log10", "pow", "sqrt", "ceil", "poly", "floor", "decay", "weight",
// "negate", "progress", "not"; a name already present keeps its entry), then
// sets the constants "true" 1, "false" 0, "pi" and "e", overwriting those.
void registerFormulaFunctions();

// Reads formula constants from a data file of "name: value" lines (such as
// "Game Data/Settings.txt"): each becomes a constant, added or overwritten.
// Lines without ':' are skipped; a missing file loads nothing.
void loadFormulaConstants(const irr::core::stringc& path);

// Logs both tables: "Formula Functions:" with one " name" line each, then
// "Formula Constants:" with one " name: value" line each, in name order.
void dumpFormulaTables();
// The same text written to an open file.
void dumpFormulaTablesToFile(std::FILE* file);
