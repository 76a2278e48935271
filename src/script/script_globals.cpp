#include "script/script_globals.h"

#include <cstdio>
#include <new>
#include <string>

#include "core/formula.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/random.h"
#include "core/text_conversions.h"
#include "core/utf8.h"
#include "script/function_hook.h"
#include "script/script_engine.h"
#include "script/script_math.h"
#include "script/script_registration.h"
#include "script/script_report.h"
#include "script/script_string.h"

using namespace AngelScript;
using irr::core::stringw;

ScriptGlobalHooks scriptGlobalHooks;

// ---------------------------------------------------------------------------
// set_int

void SetInt::erase(int32_t value) {
  if (!atEnd_ && value == position_)
    atEnd_ = true;
  values_.erase(value);
}

void SetInt::clear() {
  values_.clear();
  atEnd_ = true;
}

void SetInt::resetIter() {
  atEnd_ = values_.empty();
  if (!atEnd_)
    position_ = *values_.begin();
}

int32_t SetInt::next() {
  if (atEnd_) {
    raiseScriptException("set_int::next() called at the end of the set");
    return 0;
  }
  const int32_t value = position_;
  const auto following = values_.upper_bound(value);
  atEnd_ = following == values_.end();
  if (!atEnd_)
    position_ = *following;
  return value;
}

namespace {

constexpr char kNullEmpire[] = "Null Empire@ when evaluating formula";
constexpr char kDieDefault[] = "Script called die()";
// Most decimals f_to_s and ftos_nice write.
constexpr unsigned kMaxDecimals = 9;

void constructSetInt(SetInt* memory) { new (memory) SetInt(); }
void destructSetInt(SetInt* set) { set->~SetInt(); }

// --- Results -------------------------------------------------------------

ScriptString* asciiResult(const std::string& text) { return new ScriptString(std::u16string(text.begin(), text.end())); }

ScriptString* wideResult(const stringw& text) { return new ScriptString(text); }

std::string formatFixed(float value, unsigned decimals) {
  if (decimals > kMaxDecimals)
    decimals = kMaxDecimals;
  const double wide = static_cast<double>(value);
  const int length = std::snprintf(nullptr, 0, "%0.*f", static_cast<int>(decimals), wide);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::snprintf(text.data(), text.size() + 1, "%0.*f", static_cast<int>(decimals), wide);
  return text;
}

// --- Numbers and random values -----------------------------------------

int randUpTo(int n) { return rand(n); }
int randBetween(int a, int b) { return rand(a, b); }
float randomUpTo(float x) { return randomf(x); }
float randomBetween(float a, float b) { return randomf(a, b); }

int minInt(int a, int b) { return a < b ? a : b; }
int maxInt(int a, int b) { return a > b ? a : b; }
float minFloat(float a, float b) { return b > a ? a : b; }
float maxFloat(float a, float b) { return a > b ? a : b; }

// The low bound is applied first, so the high bound wins when they cross.
template <typename Number>
Number clampValue(Number value, Number low, Number high) {
  const Number raised = value < low ? low : value;
  return raised < high ? raised : high;
}
int clampInt(int value, int low, int high) { return clampValue(value, low, high); }
float clampFloat(float value, float low, float high) { return clampValue(value, low, high); }

float square(float x) { return x * x; }

// --- Text and numbers ----------------------------------------------------

bool fitStrToPixels(const ScriptString& text, uint32_t width, ScriptString& out, ScriptString* remainder,
                    const ScriptString* suffix) {
  irr::gui::IGUIFont* font = scriptGlobalHooks.defaultFont != nullptr ? scriptGlobalHooks.defaultFont() : nullptr;
  stringw fitted;
  stringw rest;
  const stringw suffixText = suffix != nullptr ? suffix->toStringw() : stringw();
  const bool cut = fitStringToPixels(text.toStringw(), font, width, fitted, remainder != nullptr ? &rest : nullptr,
                                     suffix != nullptr ? &suffixText : nullptr);
  out.text = wideToUtf16(fitted);
  if (remainder != nullptr)
    remainder->text = wideToUtf16(rest);
  return cut;
}

ScriptString* floatText(float value) { return asciiResult(formatFixed(value, 6)); }
ScriptString* floatTextDecimals(float value, uint32_t decimals) { return asciiResult(formatFixed(value, decimals)); }

// Trailing zeros of the decimals go, then a bare decimal point. Text without
// a decimal point is a whole number and keeps its zeros.
std::string niceFixed(float value, unsigned decimals) {
  std::string text = formatFixed(value, decimals);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0')
      text.pop_back();
    if (!text.empty() && text.back() == '.')
      text.pop_back();
  }
  return text.empty() ? std::string("0") : text;
}
ScriptString* niceFloatText(float value) { return asciiResult(niceFixed(value, 6)); }
ScriptString* niceFloatTextDecimals(float value, uint32_t decimals) { return asciiResult(niceFixed(value, decimals)); }

ScriptString* intText(int value) { return asciiResult(std::to_string(value)); }

ScriptString* escape(const ScriptString& text) { return wideResult(escapeHashes(text.toStringw())); }
ScriptString* unescape(const ScriptString& text) { return wideResult(unescapeHashes(0, text.toStringw())); }

float textToFloat(const ScriptString& text) { return stringToFloat(text.toStringw()); }

// Digits accumulate; "." and "," are group separators and are skipped; a
// leading "-" negates; anything else ends the number. The value wraps at 32
// bits rather than overflow.
int textToInt(const ScriptString& text) {
  uint32_t value = 0;
  const bool negative = !text.text.empty() && text.text[0] == u'-';
  for (size_t i = negative ? 1 : 0; i < text.text.size(); ++i) {
    const char16_t unit = text.text[i];
    if (unit >= u'0' && unit <= u'9')
      value = value * 10u + static_cast<uint32_t>(unit - u'0');
    else if (unit != u'.' && unit != u',')
      break;
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

ScriptString* standardize(float value) {
  float scaled = value;
  const wchar_t* suffix = standardizeNumber(static_cast<double>(value), scaled);
  const char* format = "%.0f";
  if (scaled < 0.0f || scaled < 10.0f)
    format = "%.2f";
  else if (scaled < 100.0f)
    format = "%.1f";
  char number[100];
  std::snprintf(number, sizeof number, format, static_cast<double>(scaled));
  stringw text(number);
  text += suffix;
  return wideResult(text);
}

ScriptString* romanize(uint32_t value) {
  std::wstring numeral;
  toRomanStd(value, numeral);
  return wideResult(stringw(numeral.c_str()));
}

ScriptString* localize(const ScriptString& text) {
  if (!text.text.empty() && text.text[0] == u'#') {
    const wchar_t* localized = nullptr;
    if (findLocaleEntry(text.toStringw(), &localized))
      return wideResult(stringw(localized));
  }
  return new ScriptString(text.text);
}

bool checkLocalizeText(ScriptString& text) {
  stringw wide = text.toStringw();
  if (!checkLocalize(wide))
    return false;
  text.text = wideToUtf16(wide);
  return true;
}

// --- Settings, clocks, log and control ---------------------------------

float gameSetting(const ScriptString& name, float fallback) { return getGameSetting(name.toStringw(), fallback); }

double gameTime() { return scriptGlobalHooks.gameTime != nullptr ? scriptGlobalHooks.gameTime() : 0.0; }
uint32_t realTime() { return scriptGlobalHooks.realTime != nullptr ? scriptGlobalHooks.realTime() : 0u; }

std::string utf8Text(const ScriptString& text) {
  const stringw wide = text.toStringw();
  return wideToUtf8(std::wstring(wide.c_str(), wide.size()));
}

void scriptPrint(const ScriptString& text) {
  if (!text.text.empty())
    logInfo("%s\n", utf8Text(text).c_str());
}
void scriptWarning(const ScriptString& text) {
  if (!text.text.empty())
    logWarning("%s\n", utf8Text(text).c_str());
}
void scriptError(const ScriptString& text) {
  if (!text.text.empty())
    logError("%s\n", utf8Text(text).c_str());
}

bool die(const ScriptString& text) {
  if (text.text.empty()) {
    raiseScriptException(kDieDefault);
    return false;
  }
  std::string narrow;
  narrow.reserve(text.text.size());
  for (char16_t unit : text.text)
    narrow.push_back(static_cast<char>(unit & 0xFF));
  raiseScriptException(narrow.c_str());
  return false;
}

bool memCheck() { return true; }

void printVals() { printScriptSnapshot(asGetActiveContext()); }

// --- Interface functions ------------------------------------------------

ScriptString* currentTrackName() {
  return wideResult(scriptGlobalHooks.currentTrackName != nullptr ? scriptGlobalHooks.currentTrackName() : stringw());
}
uint32_t currentTrackIndex() {
  return scriptGlobalHooks.currentTrackIndex != nullptr ? scriptGlobalHooks.currentTrackIndex() : 0u;
}
uint32_t currentTrackTimeLeft() {
  return scriptGlobalHooks.currentTrackTimeLeft != nullptr ? scriptGlobalHooks.currentTrackTimeLeft() : 0u;
}
uint32_t lastChatID() { return scriptGlobalHooks.lastChatID != nullptr ? scriptGlobalHooks.lastChatID() : 0u; }
ScriptString* chatLog(uint32_t newerThan) {
  return wideResult(scriptGlobalHooks.chatLog != nullptr ? scriptGlobalHooks.chatLog(newerThan) : stringw());
}
void sendChat(const ScriptString& text) {
  if (scriptGlobalHooks.sendChat != nullptr)
    scriptGlobalHooks.sendChat(text.toStringw());
}

bool bindFuncToKey(uint8_t key, const ScriptString& name) {
  FunctionHook function;
  function.setFromScriptString(asGetActiveContext(), &name);
  return scriptGlobalHooks.bindKeyToFunction != nullptr && scriptGlobalHooks.bindKeyToFunction(key, function);
}
void bindKeyToAction(const ScriptString& key, const ScriptString& action) {
  if (scriptGlobalHooks.bindKeyToAction != nullptr)
    scriptGlobalHooks.bindKeyToAction(key.toStringw(), action.toStringw());
}

irr::core::position2di mousePosition() {
  return scriptGlobalHooks.mousePosition != nullptr ? scriptGlobalHooks.mousePosition() : irr::core::position2di(0, 0);
}

void hookLink(const ScriptString& kind, const ScriptString& name) {
  FunctionHook function;
  function.setFromScriptString(asGetActiveContext(), &name);
  if (scriptGlobalHooks.hookLink != nullptr)
    scriptGlobalHooks.hookLink(kind.toStringw(), function);
}

void playAsEmpire(const void* empire) {
  if (empire != nullptr && scriptGlobalHooks.playAsEmpire != nullptr)
    scriptGlobalHooks.playAsEmpire(empire);
}

void playSound(const ScriptString& name) {
  if (scriptGlobalHooks.playSound != nullptr)
    scriptGlobalHooks.playSound(name.toStringw());
}

// --- evaluateFormula -----------------------------------------------------

float evaluateScriptFormula(const ScriptString& text, const void* empire) {
  if (empire == nullptr) {
    raiseScriptException(kNullEmpire);
    return 0.0f;
  }
  formula program;
  compileFormula(program, text.toStringw());
  const bool locks = scriptGlobalHooks.lockEmpireValues != nullptr;
  NamedList* values = locks ? scriptGlobalHooks.lockEmpireValues(empire) : nullptr;
  const float result = evaluateFormula(&program, values);
  if (locks && scriptGlobalHooks.unlockEmpireValues != nullptr)
    scriptGlobalHooks.unlockEmpireValues(empire);
  return result;
}

// --- Registration --------------------------------------------------------

enum class Engines { Both, ClientOnly };

struct GlobalEntry {
  const char* declaration;
  asSFuncPtr function;
  Engines engines;
  // A type of a later binding that the declaration names: the function is
  // registered only once that type exists.
  const char* needsType = nullptr;
};

const GlobalEntry kGlobals[] = {
    {"int rand(int)", asFUNCTION(randUpTo), Engines::Both},
    {"int rand(int, int)", asFUNCTION(randBetween), Engines::Both},
    {"float randomf(float)", asFUNCTION(randomUpTo), Engines::Both},
    {"float randomf(float, float)", asFUNCTION(randomBetween), Engines::Both},
    {"float getGameSetting(const string &, float)", asFUNCTION(gameSetting), Engines::Both},
    {"double getGameTime()", asFUNCTION(gameTime), Engines::Both},
    {"double get_gameTime()", asFUNCTION(gameTime), Engines::Both},
    {"uint getRealTime()", asFUNCTION(realTime), Engines::Both},
    {"uint get_realTime()", asFUNCTION(realTime), Engines::Both},
    {"void print(const string &)", asFUNCTION(scriptPrint), Engines::Both},
    {"void warning(const string &)", asFUNCTION(scriptWarning), Engines::Both},
    {"void error(const string &)", asFUNCTION(scriptError), Engines::Both},
    {"bool die(const string &)", asFUNCTION(die), Engines::Both},
    {"bool memCheck()", asFUNCTION(memCheck), Engines::Both},
    {"int min(int,int)", asFUNCTION(minInt), Engines::Both},
    {"int max(int,int)", asFUNCTION(maxInt), Engines::Both},
    {"float min(float,float)", asFUNCTION(minFloat), Engines::Both},
    {"float max(float,float)", asFUNCTION(maxFloat), Engines::Both},
    {"float round(float)", asFUNCTION(scriptmath::round), Engines::Both},
    {"int clamp(int, int, int)", asFUNCTION(clampInt), Engines::Both},
    {"float clamp(float, float, float)", asFUNCTION(clampFloat), Engines::Both},
    {"float sqr(float)", asFUNCTION(square), Engines::Both},
    {"bool fitStrToPixels(const string &, uint, string &out, string@+, const string@+)", asFUNCTION(fitStrToPixels),
     Engines::ClientOnly},
    {"string@ f_to_s(float)", asFUNCTION(floatText), Engines::Both},
    {"string@ f_to_s(float, uint)", asFUNCTION(floatTextDecimals), Engines::Both},
    {"string@ ftos_nice(float)", asFUNCTION(niceFloatText), Engines::Both},
    {"string@ ftos_nice(float, uint)", asFUNCTION(niceFloatTextDecimals), Engines::Both},
    {"string@ i_to_s(int)", asFUNCTION(intText), Engines::Both},
    {"string@ hullEscape(const string&)", asFUNCTION(hullEscape), Engines::Both},
    {"string@ escape(const string&)", asFUNCTION(escape), Engines::Both},
    {"string@ unescape(const string&)", asFUNCTION(unescape), Engines::Both},
    {"float s_to_f(const string &)", asFUNCTION(textToFloat), Engines::Both},
    {"int s_to_i(const string &)", asFUNCTION(textToInt), Engines::Both},
    {"string@ standardize(float)", asFUNCTION(standardize), Engines::Both},
    {"string@ romanize(uint)", asFUNCTION(romanize), Engines::Both},
    {"string@ localize(const string &)", asFUNCTION(localize), Engines::Both},
    {"bool checkLocalize(string &)", asFUNCTION(checkLocalizeText), Engines::Both},
    {"string@ getCurrentTrackName()", asFUNCTION(currentTrackName), Engines::ClientOnly},
    {"uint getCurrentTrackIndex()", asFUNCTION(currentTrackIndex), Engines::ClientOnly},
    {"uint getCurrentTrackTimeLeft()", asFUNCTION(currentTrackTimeLeft), Engines::ClientOnly},
    {"uint getLastChatID()", asFUNCTION(lastChatID), Engines::ClientOnly},
    {"string@ getChatLog(uint)", asFUNCTION(chatLog), Engines::ClientOnly},
    {"void sendChat(const string &)", asFUNCTION(sendChat), Engines::ClientOnly},
    {"bool bindFuncToKey(uint8, const string &)", asFUNCTION(bindFuncToKey), Engines::ClientOnly},
    {"void bindFuncToKey(const string &, const string &)", asFUNCTION(bindKeyToAction), Engines::ClientOnly},
    {"pos2di getMousePosition()", asFUNCTION(mousePosition), Engines::ClientOnly, "pos2di"},
    {"void hookLink(const string &, const string &)", asFUNCTION(hookLink), Engines::ClientOnly},
    {"void playAsEmpire(const Empire@ emp)", asFUNCTION(playAsEmpire), Engines::ClientOnly},
    {"void playSound(const string &)", asFUNCTION(playSound), Engines::Both},
};

// The flags bound to the modifier-key properties while the event handler
// has given none: always up.
bool noModifierKey[3] = {false, false, false};

void registerSetInt(asIScriptEngine* engine) {
  checked(engine).RegisterObjectType("set_int", sizeof(SetInt), asOBJ_VALUE | asOBJ_APP_CLASS_CD);
  checked(engine).RegisterObjectBehaviour("set_int", asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructSetInt),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour("set_int", asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructSetInt),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod("set_int", "void insert(int)", asMETHOD(SetInt, insert), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("set_int", "bool exists(int) const", asMETHOD(SetInt, exists), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("set_int", "void erase(int)", asMETHOD(SetInt, erase), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("set_int", "void clear()", asMETHOD(SetInt, clear), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("set_int", "void resetIter()", asMETHOD(SetInt, resetIter), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("set_int", "bool hasNext()", asMETHOD(SetInt, hasNext), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("set_int", "uint size()", asMETHOD(SetInt, size), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("set_int", "int next()", asMETHOD(SetInt, next), asCALL_THISCALL);
}

void registerGlobal(asIScriptEngine* engine, const GlobalEntry& entry) {
  if (engine == nullptr || (entry.needsType != nullptr && engine->GetTypeInfoByName(entry.needsType) == nullptr))
    return;
  checked(engine).RegisterGlobalFunction(entry.declaration, entry.function, asCALL_CDECL);
}

void registerKeyState(asIScriptEngine* client) {
  checked(client).RegisterEnum("KeyFlags");
  checked(client).RegisterEnumValue("KeyFlags", "KF_Pressed", 1);
  checked(client).RegisterEnumValue("KeyFlags", "KF_Alt", 8);
  checked(client).RegisterEnumValue("KeyFlags", "KF_Control", 2);
  checked(client).RegisterEnumValue("KeyFlags", "KF_Shift", 4);
}

void registerModifierKeys(asIScriptEngine* client) {
  const ScriptGlobalHooks& hooks = scriptGlobalHooks;
  checked(client).RegisterGlobalProperty("bool shiftKey",
                                         hooks.shiftKey != nullptr ? hooks.shiftKey : &noModifierKey[0]);
  checked(client).RegisterGlobalProperty("bool ctrlKey", hooks.ctrlKey != nullptr ? hooks.ctrlKey : &noModifierKey[1]);
  checked(client).RegisterGlobalProperty("bool altKey", hooks.altKey != nullptr ? hooks.altKey : &noModifierKey[2]);
}

}  // namespace

ScriptString* hullEscape(const ScriptString& text) {
  std::u16string copy = text.text;
  for (char16_t& unit : copy) {
    switch (unit) {
      case u'\\':
      case u'/':
      case u'|':
        unit = u'-';
        break;
      case u'\n':
      case u'\r':
      case u'\t':
        unit = u' ';
        break;
      case u'#':
        unit = u'+';
        break;
      default:
        break;
    }
  }
  return new ScriptString(std::move(copy));
}

void registerScriptCoreGlobals() {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
    if (engine != nullptr)
      registerSetInt(engine);

  for (const GlobalEntry& entry : kGlobals) {
    if (entry.engines == Engines::Both)
      registerGlobal(serverScriptEngine, entry);
    registerGlobal(clientScriptEngine, entry);
  }

  if (clientScriptEngine != nullptr)
    registerKeyState(clientScriptEngine);
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
    if (engine != nullptr)
      checked(engine).RegisterGlobalFunction("void printVals()", asFUNCTION(printVals), asCALL_CDECL);
  if (clientScriptEngine != nullptr)
    registerModifierKeys(clientScriptEngine);
}

void registerEvaluateFormula() {
  if (serverScriptEngine != nullptr)
    checked(serverScriptEngine)
        .RegisterGlobalFunction("float evaluateFormula(const string &, const Empire@ forEmpire)",
                                asFUNCTION(evaluateScriptFormula), asCALL_CDECL);
}
