#include "core/formula.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/log.h"
#include "core/named_values.h"
#include "core/text_conversions.h"
#include "core/threads.h"

using irr::core::stringw;

NamedVar<formFuncRef*>::Registry formulaFunctions;
NamedVar<float>::Registry formulaConstants;

// ---------------------------------------------------------------------------
// Program cells and programs

formulaSection::formulaSection(const formulaSection& other) : kind(other.kind), slot(other.slot) {
  if (other.hasName())
    name = new stringw(*other.name);
  else
    std::memcpy(&value, &other.value, sizeof name);
}

formulaSection::formulaSection(formulaSection&& other) noexcept : kind(other.kind), slot(other.slot) {
  std::memcpy(&value, &other.value, sizeof name);
  other.kind = kFormulaConstant;
}

formulaSection& formulaSection::operator=(formulaSection other) noexcept {
  std::swap(kind, other.kind);
  std::swap(slot, other.slot);
  unsigned char bits[sizeof name];
  std::memcpy(bits, &value, sizeof name);
  std::memcpy(&value, &other.value, sizeof name);
  std::memcpy(&other.value, bits, sizeof name);
  return *this;
}

formulaSection::~formulaSection() {
  if (hasName())
    delete name;
}

formulaSection formulaSection::constant(float value) {
  formulaSection section;
  section.value = value;
  return section;
}

formulaSection formulaSection::named(uint32_t kind, const stringw& text) {
  formulaSection section;
  section.name = new stringw(text);
  section.kind = kind;
  return section;
}

formulaSection formulaSection::coded(uint32_t kind, uint32_t code) {
  formulaSection section;
  section.kind = kind;
  section.code = code;
  return section;
}

formulaSection formulaSection::call(uint32_t functionIndex, uint32_t argumentCount) {
  return coded(kFormulaCall, (functionIndex & 0xFFFF) | (argumentCount << 16));
}

namespace {

std::atomic<uint64_t> lastProgramId{0};

}  // namespace

formula::formula() = default;

formula::formula(const stringw& text) { compileFormula(*this, text); }

formula::formula(const formula& other) : sections_(other.sections_) { finish(); }

formula& formula::operator=(const formula& other) {
  if (this != &other) {
    sections_ = other.sections_;
    finish();
  }
  return *this;
}

formula::~formula() = default;

void formula::finish() {
  lookups_ = 0;
  operands_ = 0;
  for (formulaSection& section : sections_) {
    if (section.hasName())
      section.slot = lookups_++;
    if (section.kind == kFormulaConstant || section.kind == kFormulaVariable)
      ++operands_;
  }
  id_ = lastProgramId.fetch_add(1, std::memory_order_relaxed) + 1;
  buildSteps();
}

// ---------------------------------------------------------------------------
// Compiling

namespace {

const wchar_t* const kMathTexts[] = {L"+", L"-", L"*", L"/", L"^", L"^-"};
const wchar_t* const kLogicTexts[] = {L"<", L"<=", L">", L">=", L"==", L"!=", L"&&", L"||"};

enum class TokenKind { Number, Name, Namespace, Function, Math, Logic, Parenthesis };

struct Token {
  TokenKind kind;
  stringw text;
  wchar_t next;  // the character right after the token, 0 at the end
};

enum class CharClass { Number, Separator, Logic, Math, Parenthesis, Bracket, Name };

CharClass classOf(wchar_t c) {
  if ((c >= L'0' && c <= L'9') || c == L'.')
    return CharClass::Number;
  switch (c) {
    case L'\t':
    case L'\n':
    case L'\r':
    case L' ':
      return CharClass::Separator;
    case L'!':
    case L'&':
    case L'<':
    case L'=':
    case L'>':
    case L'|':
      return CharClass::Logic;
    case L'*':
    case L'+':
    case L'-':
    case L'/':
    case L'^':
      return CharClass::Math;
    case L'(':
    case L')':
    case L',':
      return CharClass::Parenthesis;
    case L'[':
    case L']':
      return CharClass::Bracket;
    default:
      return CharClass::Name;
  }
}

TokenKind tokenKindOf(CharClass charClass) {
  switch (charClass) {
    case CharClass::Number:
      return TokenKind::Number;
    case CharClass::Logic:
      return TokenKind::Logic;
    case CharClass::Math:
      return TokenKind::Math;
    default:
      return TokenKind::Name;
  }
}

// Cuts the text into tokens: maximal runs of one character class. A '.'
// right after a name ends it as a namespace (the point is dropped); a '('
// right after a name makes it a function name. Separators end a token and
// make none; a text that ends in a separator or a namespace point ends in an
// empty name, which the final check reports.
void tokenize(const wchar_t* text, irr::u32 length, const stringw& formulaText,
              std::vector<Token>& tokens) {
  bool inRun = false;
  TokenKind runKind = TokenKind::Name;
  irr::u32 runStart = 0;
  bool endsEmpty = false;

  auto flush = [&](irr::u32 end) {
    if (inRun)
      tokens.push_back({runKind, stringw(text + runStart, end - runStart), end < length ? text[end] : L'\0'});
    inRun = false;
  };

  for (irr::u32 i = 0; i < length; ++i) {
    const wchar_t c = text[i];
    const bool afterName = inRun && runKind == TokenKind::Name;
    if (c == L'.' && afterName) {
      runKind = TokenKind::Namespace;
      flush(i);
      endsEmpty = true;
      continue;
    }
    CharClass charClass = classOf(c);
    if (charClass == CharClass::Bracket) {
      logError("Formula Error: Improper line - did you mispell a key?\n  '%ls'\n", formulaText.c_str());
      charClass = CharClass::Separator;
    }
    if (charClass == CharClass::Separator) {
      flush(i);
      endsEmpty = true;
      continue;
    }
    endsEmpty = false;
    if (charClass == CharClass::Parenthesis) {
      if (c == L'(' && afterName)
        runKind = TokenKind::Function;
      flush(i);
      tokens.push_back({TokenKind::Parenthesis, stringw(text + i, 1), i + 1 < length ? text[i + 1] : L'\0'});
      continue;
    }
    const TokenKind kind = tokenKindOf(charClass);
    if (inRun && runKind == kind)
      continue;
    flush(i);
    inRun = true;
    runKind = kind;
    runStart = i;
  }
  flush(length);
  if (endsEmpty)
    tokens.push_back({TokenKind::Name, stringw(), L'\0'});
}

bool isKind(const formulaSection& s, uint32_t kind, uint32_t code) { return s.kind == kind && s.code == code; }
bool isOpen(const formulaSection& s) { return isKind(s, kFormulaParenthesis, kParenOpen); }
bool isClose(const formulaSection& s) { return isKind(s, kFormulaParenthesis, kParenClose); }
bool isOperand(const formulaSection& s) { return s.kind == kFormulaConstant || s.kind == kFormulaVariable; }
bool isOperator(const formulaSection& s) { return s.kind == kFormulaMath || s.kind == kFormulaLogic; }

// Precedence level of an arithmetic operator: 0 "^ ^-", 1 "* /", 2 "+ -".
int levelOf(const formulaSection& s) {
  switch (s.code) {
    case kMathPower:
    case kMathPowerNegated:
      return 0;
    case kMathMultiply:
    case kMathDivide:
      return 1;
    default:
      return 2;
  }
}

const wchar_t* operatorText(const formulaSection& s) {
  return s.kind == kFormulaMath ? kMathTexts[s.code] : kLogicTexts[s.code];
}

const wchar_t* functionName(uint32_t index) {
  return index < formulaFunctions.size() ? formulaFunctions[index].name.c_str() : L"";
}

uint32_t matchOperator(const stringw& text, const wchar_t* const* table, uint32_t count) {
  for (uint32_t code = 0; code < count; ++code)
    if (text == table[code])
      return code;
  return count;
}

class Compiler {
 public:
  explicit Compiler(const stringw& text) : text_(text) {}

  void run(std::vector<formulaSection>& out) {
    const wchar_t* start = text_.c_str();
    irr::u32 length = text_.size();
    if (length > 0 && start[0] == L'#') {
      ++start;
      --length;
    }
    if (length == 0) {
      out.push_back(formulaSection::constant(0.0f));
      return;
    }
    if (length > kMaxFormulaLength) {
      logError("Formula Error:\n Formula too long (%u characters, at most %u)\n '%.64ls...'\n",
               static_cast<unsigned>(length), static_cast<unsigned>(kMaxFormulaLength), start);
      out.push_back(formulaSection::constant(0.0f));
      return;
    }
    std::vector<Token> tokens;
    tokenize(start, length, text_, tokens);
    readTokens(tokens);
    if (hasCall_)
      rewriteCalls();
    for (int level = 0; level < 3; ++level)
      groupLevel(level);
    fold();
    toPostfix();
    check();
    for (formulaSection& section : postfix_)
      out.push_back(std::move(section));
  }

 private:
  void add(formulaSection section) { sections_.push_back(std::move(section)); }

  // Step 1: tokens become sections.
  void readTokens(const std::vector<Token>& tokens) {
    // What the previous token leaves: whether a '-' next is a sign.
    enum class Before { Nothing, Operand, SignPlace, Power };
    Before before = Before::Nothing;
    bool negateNumber = false;
    for (const Token& token : tokens) {
      switch (token.kind) {
        case TokenKind::Number: {
          stringw digits = negateNumber ? stringw(L"-") + token.text : token.text;
          negateNumber = false;
          add(formulaSection::constant(stringToFloat(digits)));
          before = Before::Operand;
          break;
        }
        case TokenKind::Name: {
          const irr::s32 index = NamedVar<float>::findNoSort(formulaConstants, token.text);
          if (index >= 0)
            add(formulaSection::constant(formulaConstants[index].value));
          else
            add(formulaSection::named(kFormulaVariable, token.text));
          before = Before::Operand;
          break;
        }
        case TokenKind::Namespace:
          add(formulaSection::named(kFormulaNamespace, token.text));
          before = Before::Operand;
          break;
        case TokenKind::Math:
          if (token.text == L"-" && before != Before::Operand) {
            if (before == Before::Power) {
              sections_.back().code = kMathPowerNegated;
            } else if ((token.next >= L'0' && token.next <= L'9') || token.next == L'.') {
              negateNumber = true;
            } else {
              add(formulaSection::constant(-1.0f));
              add(formulaSection::coded(kFormulaMath, kMathMultiply));
            }
            before = Before::SignPlace;
            break;
          }
          {
            uint32_t code = matchOperator(token.text, kMathTexts, 6);
            if (code == 6) {
              logError("Formula Error: \nInvalid Math Operator: '%ls'\n", token.text.c_str());
              code = kMathAdd;
            }
            add(formulaSection::coded(kFormulaMath, code));
            before = token.text == L"^" ? Before::Power : Before::SignPlace;
          }
          break;
        case TokenKind::Logic: {
          uint32_t code = matchOperator(token.text, kLogicTexts, 8);
          if (code == 8) {
            logError("Formula Error: \nInvalid Logic Operator: '%ls'", token.text.c_str());
            code = kLogicLess;
          }
          add(formulaSection::coded(kFormulaLogic, code));
          before = Before::SignPlace;
          break;
        }
        case TokenKind::Function: {
          const irr::s32 index = NamedVar<formFuncRef*>::findNoSort(formulaFunctions, token.text);
          if (index >= 0 && static_cast<uint32_t>(index) <= kMaxFormulaFunctionIndex) {
            add(formulaSection::call(static_cast<uint32_t>(index), 0));
            hasCall_ = true;
          } else {
            logError("Formula Error: Referenced invalid function(%ls) in formula\n  '%ls'\n", token.text.c_str(),
                     text_.c_str());
          }
          before = Before::Operand;
          break;
        }
        case TokenKind::Parenthesis: {
          const wchar_t c = token.text[0];
          add(formulaSection::coded(kFormulaParenthesis, c == L'(' ? kParenOpen : c == L')' ? kParenClose : kParenComma));
          before = c == L')' ? Before::Operand : Before::SignPlace;
          break;
        }
      }
    }
  }

  // Step 2: f(a, b) becomes ( (a) separator (b) f ), the call counting its
  // arguments.
  void rewriteCalls() {
    struct OpenCall {
      size_t call;
      size_t open;  // its own '(' (the first after it)
      int depth;
    };
    std::vector<OpenCall> open;
    for (size_t i = 0; i < sections_.size(); ++i) {
      formulaSection& s = sections_[i];
      if (s.kind == kFormulaCall) {
        open.push_back({i, i + 1, 0});
      } else if (isOpen(s)) {
        if (!open.empty())
          ++open.back().depth;
      } else if (isKind(s, kFormulaParenthesis, kParenComma)) {
        if (open.empty()) {
          logError("Formula Error: Invalid ',' in formula \"%ls\"\n", text_.c_str());
          continue;
        }
        addArgument(open.back().call);
        s.code = kParenClose;
        sections_.insert(sections_.begin() + i + 1, formulaSection::coded(kFormulaSeparator, 1));
        sections_.insert(sections_.begin() + i + 2, formulaSection::coded(kFormulaParenthesis, kParenOpen));
        i += 2;
      } else if (isClose(s) && !open.empty()) {
        OpenCall& innermost = open.back();
        if (--innermost.depth > 0)
          continue;
        if (i != innermost.open + 1)
          addArgument(innermost.call);
        formulaSection call = sections_[innermost.call];
        sections_[innermost.call] = formulaSection::coded(kFormulaParenthesis, kParenOpen);
        sections_.insert(sections_.begin() + i + 1, std::move(call));
        sections_.insert(sections_.begin() + i + 2, formulaSection::coded(kFormulaParenthesis, kParenClose));
        i += 2;
        open.pop_back();
      }
    }
    if (!open.empty())
      logError("Formula Error: Invalid function call(s) \"%ls\"\n  Missing parenthesis?\n", text_.c_str());
  }

  void addArgument(size_t callIndex) {
    formulaSection& call = sections_[callIndex];
    // The text is too short to reach the limit; the guard keeps the field.
    if (call.argumentCount() < kMaxFormulaArguments)
      call.code += 1u << 16;
  }

  // Step 3: encloses each operator of one precedence level, with its
  // neighbours of the same level, in parentheses.
  void groupLevel(int level) {
    // Whether a scan away from the operator goes on past `s`: over whole
    // groups (`opens` starts one in the scan's direction, `closes` ends it),
    // operands and operators of this level; an unmatched `closes` or any
    // other section stops it.
    using Test = bool (*)(const formulaSection&);
    auto goesOn = [level](const formulaSection& s, Test opens, Test closes, int& depth) {
      if (opens(s)) {
        ++depth;
        return true;
      }
      if (closes(s))
        return depth-- > 0;
      return depth > 0 || isOperand(s) || s.kind == kFormulaNamespace ||
             (s.kind == kFormulaMath && levelOf(s) == level);
    };
    for (size_t i = 0; i < sections_.size(); ++i) {
      if (sections_[i].kind != kFormulaMath || levelOf(sections_[i]) != level)
        continue;
      size_t left = i;
      for (int depth = 0; left > 0 && goesOn(sections_[left - 1], isClose, isOpen, depth);)
        --left;
      size_t right = i + 1;
      for (int depth = 0; right < sections_.size() && goesOn(sections_[right], isOpen, isClose, depth);)
        ++right;
      sections_.insert(sections_.begin() + right, formulaSection::coded(kFormulaParenthesis, kParenClose));
      sections_.insert(sections_.begin() + left, formulaSection::coded(kFormulaParenthesis, kParenOpen));
      ++i;
    }
  }

  // Constant arithmetic as evaluation does it; false when the result is not
  // a number, which is left to evaluation (it logs and gives 0 there).
  static bool computeConstant(uint32_t code, float l, float r, float& result) {
    switch (code) {
      case kMathAdd:
        result = static_cast<float>(static_cast<double>(l) + r);
        return true;
      case kMathSubtract:
        result = static_cast<float>(static_cast<double>(l) - r);
        return true;
      case kMathMultiply:
        result = static_cast<float>(static_cast<double>(l) * r);
        return true;
      case kMathDivide:
        result = r == 0.0f ? l : static_cast<float>(static_cast<double>(l) / r);
        return true;
      case kMathPower:
        result = formulaPower(l, r);
        return !std::isnan(result);
      default:
        result = formulaPower(l, -r);
        return !std::isnan(result);
    }
  }

  // Step 4: constant arithmetic, redundant parentheses, and subtraction or
  // division by a constant turned into addition or multiplication.
  void fold() {
    bool removed = true;
    while (removed) {
      removed = false;
      for (size_t i = 0; i < sections_.size();) {
        const size_t n = sections_.size();
        formulaSection& s = sections_[i];
        // A constant between an operator of its chain and another operator
        // is that operator's right operand: "x - 2 - 3" is (x - 2) - 3, so
        // "2 - 3" there is not folded.
        if (i + 2 < n && s.kind == kFormulaConstant && sections_[i + 1].kind == kFormulaMath &&
            sections_[i + 2].kind == kFormulaConstant && (i == 0 || sections_[i - 1].kind != kFormulaMath)) {
          const uint32_t code = sections_[i + 1].code;
          const float right = sections_[i + 2].value;
          float result;
          if (computeConstant(code, s.value, right, result)) {
            s.value = result;
            sections_.erase(sections_.begin() + i + 1, sections_.begin() + i + 3);
            removed = true;
            continue;
          }
        }
        if (isOpen(s) && i + 1 < n && isClose(sections_[i + 1])) {
          sections_.erase(sections_.begin() + i, sections_.begin() + i + 2);
          removed = true;
          continue;
        }
        if (isOpen(s) && i + 2 < n && isClose(sections_[i + 2])) {
          sections_.erase(sections_.begin() + i + 2);
          sections_.erase(sections_.begin() + i);
          removed = true;
          continue;
        }
        if (i + 2 < n && s.kind != kFormulaConstant && sections_[i + 1].kind == kFormulaMath &&
            sections_[i + 2].kind == kFormulaConstant) {
          formulaSection& op = sections_[i + 1];
          float& constant = sections_[i + 2].value;
          if (op.code == kMathSubtract) {
            op.code = kMathAdd;
            constant = -constant;
            return;
          }
          if (op.code == kMathDivide) {
            op.code = kMathMultiply;
            constant = constant == 0.0f ? 0.0f : static_cast<float>(1.0 / constant);
            return;
          }
        }
        ++i;
      }
    }
  }

  // Step 6: postfix order. One pending operator follows the next operand;
  // each '(' holds the operator that was pending before it until its ')'.
  void toPostfix() {
    bool pending = false;
    formulaSection pendingOp;
    struct Held {
      bool held;
      formulaSection op;
    };
    std::vector<Held> held;
    for (formulaSection& s : sections_) {
      switch (s.kind) {
        case kFormulaConstant:
        case kFormulaVariable:
          postfix_.push_back(std::move(s));
          if (pending) {
            postfix_.push_back(std::move(pendingOp));
            pending = false;
          }
          break;
        case kFormulaNamespace:
        case kFormulaCall:
          postfix_.push_back(std::move(s));
          break;
        case kFormulaMath:
        case kFormulaLogic:
          pendingOp = std::move(s);
          pending = true;
          break;
        case kFormulaParenthesis:
          if (s.code == kParenOpen) {
            held.push_back({pending, std::move(pendingOp)});
            pending = false;
          } else if (s.code == kParenClose) {
            if (held.empty()) {
              logError("Formula Error: Unmatched ')' in formula\n '%ls'\n", text_.c_str());
            } else {
              if (held.back().held)
                postfix_.push_back(std::move(held.back().op));
              held.pop_back();
            }
          }
          break;
        default:
          break;
      }
    }
  }

  // Step 7: counts the values the program leaves and removes what cannot
  // run. A program that does not leave exactly one value becomes 0.
  void check() {
    int count = 0;
    for (size_t i = 0; i < postfix_.size();) {
      const formulaSection& s = postfix_[i];
      if (s.kind == kFormulaVariable && s.name->empty()) {
        logError("Formula Error:\n Empty variable name in formula (misplaced .?)\n '%ls'\n", text_.c_str());
        postfix_.erase(postfix_.begin() + i);
        continue;
      }
      if (s.kind == kFormulaNamespace && s.name->empty()) {
        logError("Formula Error:\n Empty namespace name in formula (misplaced .?)\n '%ls'\n", text_.c_str());
        postfix_.erase(postfix_.begin() + i);
        continue;
      }
      if (isOperand(s)) {
        ++count;
      } else if (isOperator(s)) {
        if (count < 2) {
          logError("Formula Error:\n Insufficient parameters for operator '%ls' in formula\n '%ls'\n",
                   operatorText(s), text_.c_str());
          postfix_.erase(postfix_.begin() + i);
          continue;
        }
        --count;
      } else if (s.kind == kFormulaCall) {
        const int arguments = static_cast<int>(s.argumentCount());
        if (count < arguments) {
          logError("Formula Error:\n Empty parameters for function '%ls' in formula\n '%ls'\n",
                   functionName(s.functionIndex()), text_.c_str());
          postfix_.erase(postfix_.begin(), postfix_.begin() + i + 1);
          count = 0;
          i = 0;
          continue;
        }
        count += 1 - arguments;
      }
      ++i;
    }
    if (count != 1) {
      if (count > 1)
        logError("Formula Error:\n Too many values in formula\n '%ls'\n", text_.c_str());
      else
        logError("Formula Error:\n Too few values in formula\n '%ls'\n", text_.c_str());
      postfix_.clear();
      postfix_.push_back(formulaSection::constant(0.0f));
    }
  }

  const stringw& text_;
  std::vector<formulaSection> sections_;
  std::vector<formulaSection> postfix_;
  bool hasCall_ = false;
};

}  // namespace

void compileFormula(formula& program, const stringw& text) {
  Compiler(text).run(program.sections_);
  program.finish();
}

// ---------------------------------------------------------------------------
// Evaluating
//
// finish() turns the sections into steps for the evaluator: an operand
// directly followed by an operator becomes one step that applies the
// operator to the top of the stack and that operand, a variable, a constant
// and an operator become one step, and a power of the constant 2 becomes a
// product; most programs take half as many steps as sections. Messages and
// their order stay those of the sections.

namespace {

// Binary operators: the arithmetic codes, the square (a power of the
// constant 2, computed as a product), then the logic codes.
constexpr uint8_t kSquare = 6;
constexpr uint8_t kLogicBase = 7;
constexpr uint8_t kBinaryCodes = kLogicBase + 8;

// Step operations: four forms of each binary operator (on the stack's top
// two values; on the top and a constant; on the top and a variable; on a
// variable pushed and a constant), then the rest.
enum StepOp : uint8_t {
  kStepBinary = 0,
  kStepBinaryConstant = kBinaryCodes,
  kStepBinaryVariable = 2 * kBinaryCodes,
  kStepVariableConstant = 3 * kBinaryCodes,
  kStepPushConstant = 4 * kBinaryCodes,
  kStepPushVariable,
  kStepNamespace,
  kStepCall,
};

}  // namespace

struct formula::Step {
  uint8_t op;
  // Calls: the argument count. Variables: how many namespace switches come
  // right before it (their look-ups are the slots just below its own).
  uint16_t arguments;
  uint32_t slot;  // variables and namespaces: the look-up; calls: the function
  float constant;
};

namespace {

bool isOperatorAt(const std::vector<formulaSection>& sections, size_t i) {
  return i < sections.size() && isOperator(sections[i]);
}

// The binary code of the operator at `op` when it takes `constant` as its
// right operand.
uint8_t binaryCode(const formulaSection& op, const formulaSection* constant = nullptr) {
  if (op.kind == kFormulaLogic)
    return static_cast<uint8_t>(kLogicBase + op.code);
  if (op.code == kMathPower && constant != nullptr && constant->value == 2.0f)
    return kSquare;
  return static_cast<uint8_t>(op.code);
}

}  // namespace

void formula::buildSteps() {
  checked_ = false;
  code_.clear();
  code_.reserve(sections_.size());
  uint16_t pendingSpaces = 0;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const formulaSection& s = sections_[i];
    Step step{};
    size_t fused = 0;  // sections taken beyond this one
    switch (s.kind) {
      case kFormulaConstant:
        step.constant = s.value;
        if (isOperatorAt(sections_, i + 1)) {
          step.op = kStepBinaryConstant + binaryCode(sections_[i + 1], &s);
          fused = 1;
        } else {
          step.op = kStepPushConstant;
        }
        break;
      case kFormulaVariable:
        step.slot = s.slot;
        step.arguments = pendingSpaces;
        pendingSpaces = 0;
        if (isOperatorAt(sections_, i + 1)) {
          step.op = kStepBinaryVariable + binaryCode(sections_[i + 1]);
          fused = 1;
        } else if (i + 1 < sections_.size() && sections_[i + 1].kind == kFormulaConstant &&
                   isOperatorAt(sections_, i + 2)) {
          step.constant = sections_[i + 1].value;
          step.op = kStepVariableConstant + binaryCode(sections_[i + 2], &sections_[i + 1]);
          fused = 2;
        } else {
          step.op = kStepPushVariable;
        }
        break;
      case kFormulaNamespace: {
        // Switches right before a variable are checked by its step.
        size_t next = i + 1;
        while (next < sections_.size() && sections_[next].kind == kFormulaNamespace)
          ++next;
        if (next < sections_.size() && sections_[next].kind == kFormulaVariable) {
          pendingSpaces = static_cast<uint16_t>(next - i);
          i = next - 1;
          continue;
        }
        step.slot = s.slot;
        step.op = kStepNamespace;
        break;
      }
      case kFormulaMath:
      case kFormulaLogic:
        step.op = kStepBinary + binaryCode(s);
        break;
      case kFormulaCall:
        checked_ = checked_ || s.argumentCount() == 0;
        step.op = kStepCall;
        step.slot = s.functionIndex();
        step.arguments = static_cast<uint16_t>(s.argumentCount());
        break;
      default:
        continue;
    }
    i += fused;
    code_.push_back(step);
  }
}

namespace {

// What a look-up found, per variable or namespace switch of a program.
enum class Found : uint8_t {
  Value,            // variable: `value` is where it lives
  UnknownVariable,  // variable: absent, reads 0
  Namespace,        // switch: the namespace exists
  InvalidNamespace, // switch: the set has no such namespace
  NotNamespaces,    // switch: the set has no namespaces at all
};

const float kZero = 0.0f;

}  // namespace

struct FormulaLookup {
  const float* value;
  const stringw* name;
  Found found;
  // Variables: found, and so were the namespaces switched to right before
  // it; nothing to report.
  bool clean;
};
using Lookup = FormulaLookup;

// Per thread: recent programs' look-ups, each against one root set. An entry
// holds while every set its look-ups asked keeps the stamp it had. The sets
// are checked in the order they were first asked: the root first, and each
// namespace set after the set that binds it, so a set is only read while the
// binding that keeps it alive is known to be unchanged.
struct FormulaStack::LookupCache {
  static constexpr unsigned kEntryBits = 10;

  struct Entry {
    uint64_t programId = 0;
    const NamedList* root = nullptr;
    bool reusable = false;
    LookupTrace trace;
    std::vector<Lookup> lookups;

    bool holds(uint64_t id, const NamedList* set) const {
      if (programId != id || root != set || !reusable)
        return false;
      for (const LookupTrace::Entry& asked : trace.sets)
        if (asked.set->stamp() != asked.stamp)
          return false;
      return true;
    }
  };

  std::vector<Entry> entries{size_t{1} << kEntryBits};

  Entry& entryFor(uint64_t id, const NamedList* root) {
    const uint64_t key = id * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<uintptr_t>(root) * 0xC2B2AE3D27D4EB4Full;
    return entries[key >> (64 - kEntryBits)];
  }
};

FormulaStack::FormulaStack() { values_.reserve(64); }

namespace {

// The stack the calling thread evaluates on, once found: its record's, or
// for a thread that never set up its record, one of its own. A stack is only
// destroyed by its own thread, which forgets it then.
thread_local FormulaStack* currentThreadStack = nullptr;

FormulaStack& threadStack() {
  if (FormulaStack* stack = currentThreadStack)
    return *stack;
  FormulaStack* stack = threadLocals().formulaStack;
  if (stack == nullptr) {
    thread_local FormulaStack fallback;
    stack = &fallback;
  }
  currentThreadStack = stack;
  return *stack;
}

}  // namespace

FormulaStack::~FormulaStack() {
  if (currentThreadStack == this)
    currentThreadStack = nullptr;
}

namespace {

NamedValues& noVariables() {
  static NamedValues empty;
  return empty;
}

// Finds every variable and namespace of the program as evaluation would,
// starting from `root`: a switch that succeeds makes its set current for the
// next variable, and every variable returns the current set to the root.
void resolve(const std::vector<formulaSection>& sections, NamedList* root, LookupTrace& trace,
             std::vector<Lookup>& lookups) {
  NamedList* current = root;
  bool spacesFound = true;  // the switches since the last other section
  for (const formulaSection& s : sections) {
    if (s.kind == kFormulaVariable) {
      const float* place = current->locate(*s.name, trace);
      lookups[s.slot] = place ? Lookup{place, s.name, Found::Value, spacesFound}
                              : Lookup{&kZero, s.name, Found::UnknownVariable, false};
      current = root;
    } else if (s.kind == kFormulaNamespace) {
      trace.note(*current);
      NameSpaces* spaces = current->getKind() == 2 ? dynamic_cast<NameSpaces*>(current) : nullptr;
      Found found = Found::NotNamespaces;
      if (spaces != nullptr) {
        NamedValues* set = spaces->findSpace(*s.name);
        found = set ? Found::Namespace : Found::InvalidNamespace;
        if (set)
          current = set;
      }
      lookups[s.slot] = {&kZero, s.name, found, false};
      spacesFound = spacesFound && found == Found::Namespace;
      continue;
    }
    spacesFound = true;
  }
}

void reportNamespace(const Lookup& lookup) {
  if (lookup.found == Found::InvalidNamespace)
    logError("Formula Error:\n  Formula requested invalid namespace(%ls)\n", lookup.name->c_str());
  else if (lookup.found == Found::NotNamespaces)
    logError("Formula Error:\n  Formula attempted to access a variable(%ls) as a namespace\n", lookup.name->c_str());
}

// The messages of a variable's step: its namespace switches', then its own.
void reportVariable(const Lookup* lookups, uint32_t slot, unsigned spaces) {
  for (uint32_t s = slot - spaces; s < slot; ++s)
    reportNamespace(lookups[s]);
  if (lookups[slot].found != Found::Value)
    logError("Formula Error:\n  Formula requested unknown variable: '%ls'\n", lookups[slot].name->c_str());
}

// Applies binary operator `code` to l and r, leaving the result in l.
inline void applyBinary(unsigned code, float& l, float r) {
  // Single float operations round exactly as the double ones rounded to float.
  switch (code) {
    case kMathAdd:
      l = l + r;
      return;
    case kMathSubtract:
      l = l - r;
      return;
    case kMathMultiply:
      l = l * r;
      return;
    case kMathDivide:
      if (r == 0.0f)
        logError("Formula Error:\n  Divided by 0\n");
      else
        l = l / r;
      return;
    case kMathPower:
    case kMathPowerNegated:
    case kSquare:
      l = code == kSquare ? l * l : formulaPower(l, code == kMathPower ? r : -r);
      if (std::isnan(l)) {
        logError("Formula Error:\n  Invalid power operation\n");
        l = 0.0f;
      }
      return;
  }
  const double a = l, b = r;
  bool result;
  switch (code - kLogicBase) {
    case kLogicLess:
      result = a < b;
      break;
    case kLogicLessEqual:
      result = a <= b;
      break;
    case kLogicGreater:
      result = a > b;
      break;
    case kLogicGreaterEqual:
      result = a >= b;
      break;
    case kLogicEqual:
      result = a == b;
      break;
    case kLogicNotEqual:
      result = a != b;  // also true when either is not a number
      break;
    case kLogicAnd:
      result = a != 0.0 && b != 0.0;
      break;
    default:
      result = a != 0.0 || b != 0.0;  // a value that is not a number counts as non-zero
      break;
  }
  l = result ? 1.0f : 0.0f;
}

// The message of an operator that finds too few values.
void logShortOfValues(unsigned code) {
  if (code < kLogicBase)
    logError("Formula Error:\n  Formula requested action without sufficient parameters!\n");
  else
    logError("Formula Error:\n  Formula requested logic without sufficient parameters!\n");
}

}  // namespace

// A variable's value, after the messages of its look-up.
inline float readVariable(const Lookup* lookups, uint32_t slot, unsigned spaces) {
  const Lookup& lookup = lookups[slot];
  if (!lookup.clean)
    reportVariable(lookups, slot, spaces);
  return *lookup.value;
}

// Runs the program's steps with its look-ups done. The top value stays in a
// register; the ones under it live in the stack's memory from index 1 on
// (index 0 is a spare place for the push onto an empty stack). Without
// `Checked` the run trusts the compile-time count of values, which holds for
// every program without a call of no arguments.
template <bool Checked>
float formula::runSteps(const Lookup* lookups, FormulaStack& stackObject) const {
  // Each step jumps straight to the next one's code (labels as values, which
  // both compilers the build supports offer).
#define CORVANE_FORM(form)                                                                        \
  &&form##0, &&form##1, &&form##2, &&form##3, &&form##4, &&form##5, &&form##6, &&form##7, &&form##8, \
      &&form##9, &&form##10, &&form##11, &&form##12, &&form##13, &&form##14
  static void* const kDispatch[] = {
      CORVANE_FORM(binary_),         CORVANE_FORM(binaryConstant_), CORVANE_FORM(binaryVariable_),
      CORVANE_FORM(variableConstant_), &&pushConstant, &&pushVariable, &&nameSpace, &&call,
  };
#undef CORVANE_FORM
  static_assert(kStepCall == 4 * kBinaryCodes + 3, "the dispatch table lists every operation in order");

  float* below = stackObject.values_.data() + FormulaStack::kBottom;
  unsigned depth = 0;  // values on the stack, the top one in `top`
  float top = 0.0f;
  const Step* step = code_.data();
  const Step* const end = step + code_.size();
#define CORVANE_NEXT_STEP() \
  if (++step == end)        \
    goto finished;          \
  goto* kDispatch[step->op]
  goto* kDispatch[step->op];

#define CORVANE_SHORT_OF_VALUES(needed, code) \
  if (Checked && depth < (needed)) {          \
    logShortOfValues(code);                   \
    return 0.0f;                              \
  }
#define CORVANE_BINARY_STEPS(code)                                     \
  binary_##code : {                                                    \
    CORVANE_SHORT_OF_VALUES(2, code)                                   \
    --depth;                                                           \
    float l = below[static_cast<int>(depth) - 1];                      \
    applyBinary(code, l, top);                                         \
    top = l;                                                           \
    CORVANE_NEXT_STEP();                                               \
  }                                                                    \
  binaryConstant_##code : {                                            \
    CORVANE_SHORT_OF_VALUES(1, code)                                   \
    applyBinary(code, top, step->constant);                            \
    CORVANE_NEXT_STEP();                                               \
  }                                                                    \
  binaryVariable_##code : {                                            \
    const float r = readVariable(lookups, step->slot, step->arguments); \
    CORVANE_SHORT_OF_VALUES(1, code)                                   \
    applyBinary(code, top, r);                                         \
    CORVANE_NEXT_STEP();                                               \
  }                                                                    \
  variableConstant_##code : {                                          \
    float l = readVariable(lookups, step->slot, step->arguments);      \
    below[static_cast<int>(depth) - 1] = top;                          \
    ++depth;                                                           \
    applyBinary(code, l, step->constant);                              \
    top = l;                                                           \
    CORVANE_NEXT_STEP();                                               \
  }
  CORVANE_BINARY_STEPS(0)
  CORVANE_BINARY_STEPS(1)
  CORVANE_BINARY_STEPS(2)
  CORVANE_BINARY_STEPS(3)
  CORVANE_BINARY_STEPS(4)
  CORVANE_BINARY_STEPS(5)
  CORVANE_BINARY_STEPS(6)
  CORVANE_BINARY_STEPS(7)
  CORVANE_BINARY_STEPS(8)
  CORVANE_BINARY_STEPS(9)
  CORVANE_BINARY_STEPS(10)
  CORVANE_BINARY_STEPS(11)
  CORVANE_BINARY_STEPS(12)
  CORVANE_BINARY_STEPS(13)
  CORVANE_BINARY_STEPS(14)
#undef CORVANE_BINARY_STEPS
#undef CORVANE_SHORT_OF_VALUES

pushConstant:
  below[static_cast<int>(depth) - 1] = top;
  top = step->constant;
  ++depth;
  CORVANE_NEXT_STEP();

pushVariable : {
  const float value = readVariable(lookups, step->slot, step->arguments);
  below[static_cast<int>(depth) - 1] = top;
  top = value;
  ++depth;
  CORVANE_NEXT_STEP();
}

nameSpace:
  reportNamespace(lookups[step->slot]);
  CORVANE_NEXT_STEP();

call:
  // A built-in that refused its arguments leaves them; with no arguments
  // that is fewer values than compiling counted.
  if ((Checked && depth < step->arguments) || step->slot >= formulaFunctions.size() ||
      formulaFunctions[step->slot].value == nullptr) {
    logError("Formula Error:\n  Formula requested action without sufficient parameters!\n");
    return 0.0f;
  }
  below[static_cast<int>(depth) - 1] = top;
  stackObject.size_ = depth;
  formulaFunctions[step->slot].value->function(stackObject, step->arguments);
  depth = stackObject.size_;
  top = below[static_cast<int>(depth) - 1];
  CORVANE_NEXT_STEP();
#undef CORVANE_NEXT_STEP

finished:
  if (depth == 0)
    return 0.0f;  // only a refused built-in leaves nothing; it logged why
  if (depth > 1)
    logError("Formula Error:\n  Formula did not use all requested values!\n");
  return top;
}

float evaluateFormula(const formula* program, NamedList* variables) {
  if (program == nullptr || program->code_.empty())
    return 0.0f;
  if (variables == nullptr)
    variables = &noVariables();

  FormulaStack& stack = threadStack();
  if (stack.values_.size() < FormulaStack::kBottom + program->operands_)
    stack.values_.resize(FormulaStack::kBottom + program->operands_);

  const Lookup* lookups = nullptr;
  if (program->lookups_ > 0) {
    if (!stack.lookups_)
      stack.lookups_.reset(new FormulaStack::LookupCache);
    FormulaStack::LookupCache::Entry& entry = stack.lookups_->entryFor(program->id_, variables);
    if (!entry.holds(program->id_, variables)) {
      entry.trace.clear();
      entry.trace.copies.reserve(program->lookups_);
      entry.lookups.resize(program->lookups_);
      resolve(program->sections_, variables, entry.trace, entry.lookups);
      entry.programId = program->id_;
      entry.root = variables;
      entry.reusable = !entry.trace.untracked;
    }
    lookups = entry.lookups.data();
  }
  const float result =
      program->checked_ ? program->runSteps<true>(lookups, stack) : program->runSteps<false>(lookups, stack);
  stack.size_ = 0;
  return result;
}
