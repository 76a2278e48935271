// Random formula text built from the language's own tokens: every text
// compiles, evaluates and is freed cleanly, and evaluation gives the same
// value and the same log lines whether the evaluator reuses what it found
// before, looks everything up afresh, or reads sets it cannot follow; and,
// for programs without calls, the same as running the program's sections
// one by one as the language defines them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/log.h"
#include "core/named_values.h"
#include "support/log_capture.h"

namespace formula_fuzz_test {

namespace {

// Answers like NamedValues but only through get, so evaluation copies its
// values every time instead of keeping their places.
class UnfollowedValues : public NamedValues {
 public:
  const float* locate(const irr::core::stringw& name, LookupTrace& trace) override {
    return NamedList::locate(name, trace);
  }
};

// Two trees of equal content: `Set` a plain NamedValues, or the unfollowed kind.
template <class Set>
struct Variables {
  Set plain, a, c;
  NameSpaces root, b;

  Variables() {
    for (NamedValues* set : {static_cast<NamedValues*>(&plain), static_cast<NamedValues*>(&a)}) {
      set->set(L"x", 3.0f);
      set->set(L"y", -0.5f);
    }
    a.set(L"w", 0.0f);
    c.set(L"y", 7.0f);
    c.set(L"z", 1e30f);
    b.setSpace(&c, L"C");
    root.setSpace(&a, L"A");
    root.setSpace(&b, L"B");
  }
};

const char* const kTokens[] = {
    "x",    "y",    "z",     "w",     "A",     "B",      "C",      "ns",    ".",     "pi",         "e",
    "true", "0",    "1",     "2",     "2.5",   "10",    ".5",     "1e30",   "-",     "+",     "*",          "/",
    "^",    "^-",   "<",     "<=",    ">",     "==",     "!=",     "&&",    "||",    "!",          "(",
    ")",    ",",    "[",     "]",     " ",     "\t",     "#",      "min(",  "max(",  "if(",        "weight(",
    "decay(", "poly(", "not(", "sqrt(", "pow(", "log10", "log(", "exp(", "foo(", "progress(", "\xC3\xA9",
};

const char* pick(std::mt19937& rng, std::initializer_list<const char*> choices) {
  return choices.begin()[rng() % choices.size()];
}

// A formula that is mostly well formed: operands, namespaces, groups and
// calls joined by operators.
std::string expression(std::mt19937& rng, int depth) {
  std::string text;
  const unsigned terms = 1 + rng() % 3;
  for (unsigned i = 0; i < terms; ++i) {
    if (i > 0)
      text += pick(rng, {" + ", " - ", " * ", " / ", " ^ ", " ^ -", " < ", " >= ", " == ", " && ", " || "});
    if (rng() % 5 == 0)
      text += "-";
    switch (depth > 0 ? rng() % 6 : rng() % 3) {
      case 0:
        text += pick(rng, {"0", "1", "2.5", "10", ".5", "pi", "true"});
        break;
      case 1:
        text += pick(rng, {"x", "y", "z", "w", "nope"});
        break;
      case 2:
        text += pick(rng, {"A.x", "B.C.y", "B.C.z", "A.w", "ns.x", "A.B.x"});
        break;
      case 3:
        text += "(" + expression(rng, depth - 1) + ")";
        break;
      default: {
        text += pick(rng, {"min(", "max(", "if(", "weight(", "decay(", "poly(", "not(", "sqrt(", "progress("});
        const unsigned arguments = rng() % 5;
        for (unsigned a = 0; a < arguments; ++a)
          text += (a > 0 ? ", " : "") + expression(rng, depth - 1);
        text += ")";
      }
    }
  }
  return text;
}

// Half the texts are well-formed formulas with a few tokens thrown in, half
// are tokens in any order.
std::string randomText(std::mt19937& rng) {
  const size_t tokenCount = sizeof kTokens / sizeof kTokens[0];
  std::string text;
  if (rng() % 2 == 0) {
    text = expression(rng, 3);
    for (unsigned n = rng() % 3; n > 0; --n)
      text.insert(rng() % (text.size() + 1), kTokens[rng() % tokenCount]);
    return text;
  }
  for (unsigned count = rng() % 24; count > 0; --count) {
    text += kTokens[rng() % tokenCount];
    if (rng() % 3 == 0)
      text += ' ';
  }
  return text;
}

struct Outcome {
  float value;
  std::string log;
};

bool same(const Outcome& a, const Outcome& b) {
  const bool sameValue = (std::isnan(a.value) && std::isnan(b.value)) ||
                         std::memcmp(&a.value, &b.value, sizeof a.value) == 0;
  return sameValue && a.log == b.log;
}

// The program's sections run one at a time on a plain stack, reading
// variables through get. False, doing nothing, for programs with calls.
bool runSections(const formula& program, NamedList* root, float& result) {
  for (const formulaSection& s : program.sections())
    if (s.kind == kFormulaCall)
      return false;
  std::vector<float> stack;
  NamedList* current = root;
  for (const formulaSection& s : program.sections()) {
    switch (s.kind) {
      case kFormulaConstant:
        stack.push_back(s.value);
        break;
      case kFormulaVariable: {
        float value = 0.0f;
        if (!current->get(*s.name, value))
          logError("Formula Error:\n  Formula requested unknown variable: '%ls'\n", s.name->c_str());
        stack.push_back(value);
        current = root;
        break;
      }
      case kFormulaNamespace:
        if (current->getKind() != 2) {
          logError("Formula Error:\n  Formula attempted to access a variable(%ls) as a namespace\n", s.name->c_str());
        } else if (NamedValues* set = static_cast<NameSpaces*>(current)->findSpace(*s.name)) {
          current = set;
        } else {
          logError("Formula Error:\n  Formula requested invalid namespace(%ls)\n", s.name->c_str());
        }
        break;
      case kFormulaMath:
      case kFormulaLogic: {
        if (stack.size() < 2) {
          logError(s.kind == kFormulaMath ? "Formula Error:\n  Formula requested action without sufficient parameters!\n"
                                          : "Formula Error:\n  Formula requested logic without sufficient parameters!\n");
          result = 0.0f;
          return true;
        }
        const double r = stack.back();
        stack.pop_back();
        float& l = stack.back();
        const double d = l;
        if (s.kind == kFormulaLogic) {
          const bool results[] = {d < r, d <= r, d > r, d >= r, d == r, d != r, d != 0 && r != 0, d != 0 || r != 0};
          l = results[s.code] ? 1.0f : 0.0f;
        } else if (s.code == kMathDivide && r == 0) {
          logError("Formula Error:\n  Divided by 0\n");
        } else if (s.code >= kMathPower) {
          l = std::pow(l, static_cast<float>(s.code == kMathPower ? r : -r));
          if (std::isnan(l)) {
            logError("Formula Error:\n  Invalid power operation\n");
            l = 0.0f;
          }
        } else {
          const double results[] = {d + r, d - r, d * r, d / r};
          l = static_cast<float>(results[s.code]);
        }
        break;
      }
      default:
        break;
    }
  }
  result = 0.0f;
  if (!stack.empty()) {
    result = stack.back();
    if (stack.size() > 1)
      logError("Formula Error:\n  Formula did not use all requested values!\n");
  }
  return true;
}

TEST(FormulaFuzzTest, RandomTokenStrings) {
  registerFormulaFunctions();
  Variables<NamedValues> followed;
  Variables<UnfollowedValues> unfollowed;
  std::mt19937 rng(20261209u);
  LogCapture capture;

  for (int i = 0; i < 10000; ++i) {
    const std::string text = randomText(rng);
    const formula program{irr::core::stringw(text.c_str())};
    capture.take();
    auto evaluate = [&](NamedList* set) {
      const float value = evaluateFormula(&program, set);
      return Outcome{value, capture.take()};
    };
    for (int tree = 0; tree < 2; ++tree) {
      NamedList* mine = tree == 0 ? static_cast<NamedList*>(&followed.root) : &followed.plain;
      NamedList* theirs = tree == 0 ? static_cast<NamedList*>(&unfollowed.root) : &unfollowed.plain;
      const Outcome first = evaluate(mine);
      const Outcome again = evaluate(mine);
      const Outcome copied = evaluate(theirs);
      ASSERT_TRUE(same(first, again)) << text;
      ASSERT_TRUE(same(first, copied)) << text << "\n" << first.log << "\n--\n" << copied.log;
      Outcome reference;
      if (runSections(program, mine, reference.value)) {
        reference.log = capture.take();
        ASSERT_TRUE(same(first, reference))
            << text << "\n" << first.value << " " << first.log << "\n--\n" << reference.value << " " << reference.log;
      }
    }
  }
}

}  // namespace

}  // namespace formula_fuzz_test
