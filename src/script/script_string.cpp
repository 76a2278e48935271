#include "script/script_string.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "core/utf16.h"
#include "script/script_engine.h"
#include "script/script_registration.h"

using namespace AngelScript;

namespace {

const char kOutOfRange[] = "Out of range";

// ---------------------------------------------------------------------------
// Number texts. Narrow printf output, each character widened.

std::u16string widen(const char* text) {
  std::u16string units;
  for (; *text != '\0'; ++text)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return units;
}

template <typename Value>
std::u16string formatted(const char* format, Value value) {
  // Wide enough for "%0.6f" of the largest double (309 digits and the point).
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, format, value);
  return widen(buffer);
}

// Appended after the text (assignments and string + number).
std::u16string numberText(double value) { return formatted("%g", value); }
std::u16string numberText(float value) { return formatted("%g", static_cast<double>(value)); }
std::u16string numberText(int32_t value) { return formatted("%d", value); }
std::u16string numberText(uint32_t value) { return formatted("%u", value); }

// Put before the text (number + string).
std::u16string reversedNumberText(double value) { return formatted("%0.6f", value); }
std::u16string reversedNumberText(float value) { return formatted("%0.6f", static_cast<double>(value)); }
std::u16string reversedNumberText(int32_t value) { return numberText(value); }
std::u16string reversedNumberText(uint32_t value) { return numberText(value); }

// ---------------------------------------------------------------------------
// String constants: each byte of the source text becomes one unit, taken as
// a signed 8-bit number (bytes 128 to 255 become units 0xFF80 to 0xFFFF).

class ConstantFactory : public asIStringFactory {
 public:
  const void* GetStringConstant(const char* data, asUINT length) override {
    std::u16string units(length, u'\0');
    for (asUINT i = 0; i < length; ++i)
      units[i] = static_cast<char16_t>(static_cast<int16_t>(static_cast<signed char>(data[i])));
    return new ScriptString(std::move(units));
  }

  int ReleaseStringConstant(const void* constant) override {
    if (constant == nullptr)
      return asERROR;
    const_cast<ScriptString*>(static_cast<const ScriptString*>(constant))->release();
    return asSUCCESS;
  }

  int GetRawStringData(const void* constant, char* data, asUINT* length) const override {
    if (constant == nullptr || length == nullptr)
      return asERROR;
    const std::u16string& units = static_cast<const ScriptString*>(constant)->text;
    if (data == nullptr) {
      *length = static_cast<asUINT>(units.size());
      return asSUCCESS;
    }
    const size_t count = std::min<size_t>(*length, units.size());
    for (size_t i = 0; i < count; ++i)
      data[i] = static_cast<char>(units[i] & 0xFF);
    return asSUCCESS;
  }
};

ConstantFactory constantFactory;

ScriptString* newString() { return new ScriptString(); }
ScriptString* copyString(const ScriptString& other) { return new ScriptString(other.text); }

// ---------------------------------------------------------------------------
// Generic-convention wrappers: read each argument by its C++ type, call the
// operation, and store its result as the engine expects it.

template <typename T>
struct GenericArg;
template <>
struct GenericArg<double> {
  static double get(asIScriptGeneric* gen, asUINT i) { return gen->GetArgDouble(i); }
};
template <>
struct GenericArg<float> {
  static float get(asIScriptGeneric* gen, asUINT i) { return gen->GetArgFloat(i); }
};
template <>
struct GenericArg<int32_t> {
  static int32_t get(asIScriptGeneric* gen, asUINT i) { return static_cast<int32_t>(gen->GetArgDWord(i)); }
};
template <>
struct GenericArg<uint32_t> {
  static uint32_t get(asIScriptGeneric* gen, asUINT i) { return gen->GetArgDWord(i); }
};
template <>
struct GenericArg<const ScriptString&> {
  static const ScriptString& get(asIScriptGeneric* gen, asUINT i) {
    return *static_cast<const ScriptString*>(gen->GetArgAddress(i));
  }
};

inline void setGenericResult(asIScriptGeneric* gen, bool value) { gen->SetReturnByte(value ? 1 : 0); }
inline void setGenericResult(asIScriptGeneric* gen, int32_t value) { gen->SetReturnDWord(static_cast<asDWORD>(value)); }
inline void setGenericResult(asIScriptGeneric* gen, uint32_t value) { gen->SetReturnDWord(value); }
inline void setGenericResult(asIScriptGeneric* gen, ScriptString& value) { gen->SetReturnAddress(&value); }
inline void setGenericResult(asIScriptGeneric* gen, char16_t* unit) { gen->SetReturnAddress(unit); }
inline void setGenericResult(asIScriptGeneric* gen, const char16_t* unit) {
  gen->SetReturnAddress(const_cast<char16_t*>(unit));
}
// A new string: its first reference goes to the engine as is.
inline void setGenericResult(asIScriptGeneric* gen, ScriptString* created) {
  *static_cast<ScriptString**>(gen->GetAddressOfReturnLocation()) = created;
}

template <typename Result, typename Call>
void callGeneric(asIScriptGeneric* gen, Call&& call) {
  if constexpr (std::is_void_v<Result>)
    call();
  else
    setGenericResult(gen, call());
}

template <auto Method>
struct GenericMethod;

template <typename R, typename... A, R (ScriptString::*Method)(A...)>
struct GenericMethod<Method> {
  template <size_t... I>
  static void invoke(asIScriptGeneric* gen, std::index_sequence<I...>) {
    auto* self = static_cast<ScriptString*>(gen->GetObject());
    callGeneric<R>(gen, [&]() -> R { return (self->*Method)(GenericArg<A>::get(gen, I)...); });
  }
  static void call(asIScriptGeneric* gen) { invoke(gen, std::index_sequence_for<A...>{}); }
};

template <typename R, typename... A, R (ScriptString::*Method)(A...) const>
struct GenericMethod<Method> {
  template <size_t... I>
  static void invoke(asIScriptGeneric* gen, std::index_sequence<I...>) {
    const auto* self = static_cast<const ScriptString*>(gen->GetObject());
    callGeneric<R>(gen, [&]() -> R { return (self->*Method)(GenericArg<A>::get(gen, I)...); });
  }
  static void call(asIScriptGeneric* gen) { invoke(gen, std::index_sequence_for<A...>{}); }
};

void newStringGeneric(asIScriptGeneric* gen) { setGenericResult(gen, newString()); }
void copyStringGeneric(asIScriptGeneric* gen) {
  setGenericResult(gen, copyString(GenericArg<const ScriptString&>::get(gen, 0)));
}

// ---------------------------------------------------------------------------
// Registration, in this order. The generic form takes some declarations
// without "in" and leaves the search and edit methods out.

enum class Kind { Factory, AddRef, Release, Method, StringFactory };

struct Entry {
  Kind kind;
  const char* declaration;
  const char* genericDeclaration;  // null: as the native one; "": not registered
  asSFuncPtr native;
  asSFuncPtr generic;
};

#define CORVANE_NATIVE(name, params, result) asMETHODPR(ScriptString, name, params, result)
#define CORVANE_GENERIC(name, params, result) \
  asFUNCTION((GenericMethod<static_cast<result(ScriptString::*) params>(&ScriptString::name)>::call))
#define CORVANE_BOTH(name, params, result) CORVANE_NATIVE(name, params, result), CORVANE_GENERIC(name, params, result)
#define CORVANE_NATIVE_ONLY(name, params, result) CORVANE_NATIVE(name, params, result), asFUNCTION(0)

const Entry kEntries[] = {
    {Kind::Factory, "string @f()", nullptr, asFUNCTION(newString), asFUNCTION(newStringGeneric)},
    {Kind::Factory, "string @f(const string &in)", "string @f(const string &)", asFUNCTION(copyString),
     asFUNCTION(copyStringGeneric)},
    {Kind::AddRef, "void f()", nullptr, CORVANE_BOTH(addRef, (), void)},
    {Kind::Release, "void f()", nullptr, CORVANE_BOTH(release, (), void)},
    {Kind::Method, "string &opAssign(const string &in)", "string &opAssign(const string &)",
     CORVANE_BOTH(assign, (const ScriptString&), ScriptString&)},
    {Kind::Method, "string &opAddAssign(const string &in)", "string &opAddAssign(const string &)",
     CORVANE_BOTH(addAssign, (const ScriptString&), ScriptString&)},
    {Kind::StringFactory, "string", nullptr, asFUNCTION(0), asFUNCTION(0)},
    {Kind::Method, "bool opEquals(const string &) const", nullptr,
     CORVANE_BOTH(equals, (const ScriptString&) const, bool)},
    {Kind::Method, "int opCmp(const string &) const", nullptr,
     CORVANE_BOTH(compare, (const ScriptString&) const, int32_t)},
    {Kind::Method, "string@ opAdd(const string &in) const", "string@ opAdd(const string &) const",
     CORVANE_BOTH(add, (const ScriptString&) const, ScriptString*)},
    {Kind::Method, "bool beginsWith(const string &) const", "",
     CORVANE_NATIVE_ONLY(beginsWith, (const ScriptString&) const, bool)},
    {Kind::Method, "void erase(uint)", "", CORVANE_NATIVE_ONLY(erase, (uint32_t), void)},
    {Kind::Method, "void erase(uint, uint)", "", CORVANE_NATIVE_ONLY(erase, (uint32_t, uint32_t), void)},
    {Kind::Method, "uint16 &opIndex(uint)", nullptr, CORVANE_BOTH(unitAt, (uint32_t), char16_t*)},
    {Kind::Method, "const uint16 &opIndex(uint) const", nullptr,
     CORVANE_BOTH(unitAt, (uint32_t) const, const char16_t*)},
    {Kind::Method, "uint length() const", nullptr, CORVANE_BOTH(length, () const, uint32_t)},
    {Kind::Method, "void resize(uint)", nullptr, CORVANE_BOTH(resize, (uint32_t), void)},
    {Kind::Method, "string &opAssign(double)", nullptr, CORVANE_BOTH(assignNumber<double>, (double), ScriptString&)},
    {Kind::Method, "string &opAssign(float)", nullptr, CORVANE_BOTH(assignNumber<float>, (float), ScriptString&)},
    {Kind::Method, "string &opAssign(int)", nullptr, CORVANE_BOTH(assignNumber<int32_t>, (int32_t), ScriptString&)},
    {Kind::Method, "string &opAssign(uint)", nullptr,
     CORVANE_BOTH(assignNumber<uint32_t>, (uint32_t), ScriptString&)},
    {Kind::Method, "string &opAddAssign(double)", nullptr,
     CORVANE_BOTH(addAssignNumber<double>, (double), ScriptString&)},
    {Kind::Method, "string &opAddAssign(float)", nullptr,
     CORVANE_BOTH(addAssignNumber<float>, (float), ScriptString&)},
    {Kind::Method, "string &opAddAssign(int)", nullptr,
     CORVANE_BOTH(addAssignNumber<int32_t>, (int32_t), ScriptString&)},
    {Kind::Method, "string &opAddAssign(uint)", nullptr,
     CORVANE_BOTH(addAssignNumber<uint32_t>, (uint32_t), ScriptString&)},
    {Kind::Method, "string@ opAdd(double) const", nullptr,
     CORVANE_BOTH(addNumber<double>, (double) const, ScriptString*)},
    {Kind::Method, "string@ opAdd(float) const", nullptr, CORVANE_BOTH(addNumber<float>, (float) const, ScriptString*)},
    {Kind::Method, "string@ opAdd(int) const", nullptr,
     CORVANE_BOTH(addNumber<int32_t>, (int32_t) const, ScriptString*)},
    {Kind::Method, "string@ opAdd(uint) const", nullptr,
     CORVANE_BOTH(addNumber<uint32_t>, (uint32_t) const, ScriptString*)},
    {Kind::Method, "string@ opAdd_r(double) const", nullptr,
     CORVANE_BOTH(addNumberReversed<double>, (double) const, ScriptString*)},
    {Kind::Method, "string@ opAdd_r(float) const", nullptr,
     CORVANE_BOTH(addNumberReversed<float>, (float) const, ScriptString*)},
    {Kind::Method, "string@ opAdd_r(int) const", nullptr,
     CORVANE_BOTH(addNumberReversed<int32_t>, (int32_t) const, ScriptString*)},
    {Kind::Method, "string@ opAdd_r(uint) const", nullptr,
     CORVANE_BOTH(addNumberReversed<uint32_t>, (uint32_t) const, ScriptString*)},
    {Kind::Method, "int find(const string&) const", "",
     CORVANE_NATIVE_ONLY(find, (const ScriptString&) const, int32_t)},
    {Kind::Method, "int find(const string&, uint) const", "",
     CORVANE_NATIVE_ONLY(find, (const ScriptString&, uint32_t) const, int32_t)},
    {Kind::Method, "string@ substr(uint16, uint16)", "",
     CORVANE_NATIVE_ONLY(substr, (uint16_t, uint16_t) const, ScriptString*)},
    {Kind::Method, "int find(uint16) const", "", CORVANE_NATIVE_ONLY(find, (char16_t) const, int32_t)},
    {Kind::Method, "int find(uint16,uint) const", "", CORVANE_NATIVE_ONLY(find, (char16_t, uint32_t) const, int32_t)},
    {Kind::Method, "int find_r(uint16) const", "", CORVANE_NATIVE_ONLY(findLast, (char16_t) const, int32_t)},
    {Kind::Method, "int find_r(uint16,int) const", "",
     CORVANE_NATIVE_ONLY(findLast, (char16_t, int32_t) const, int32_t)},
};

#undef CORVANE_NATIVE_ONLY
#undef CORVANE_BOTH
#undef CORVANE_GENERIC
#undef CORVANE_NATIVE

void registerEntries(asIScriptEngine* engine, bool generic) {
  if (engine == nullptr)
    return;
  checked(engine).RegisterObjectType("string", 0, asOBJ_REF);
  for (const Entry& entry : kEntries) {
    const char* declaration = entry.declaration;
    if (generic && entry.genericDeclaration != nullptr)
      declaration = entry.genericDeclaration;
    if (declaration[0] == '\0')
      continue;
    const asSFuncPtr& function = generic ? entry.generic : entry.native;
    const asDWORD methodConvention = generic ? asCALL_GENERIC : asCALL_THISCALL;
    switch (entry.kind) {
      case Kind::Factory:
        checked(engine).RegisterObjectBehaviour("string", asBEHAVE_FACTORY, declaration, function,
                                                generic ? asCALL_GENERIC : asCALL_CDECL);
        break;
      case Kind::AddRef:
        checked(engine).RegisterObjectBehaviour("string", asBEHAVE_ADDREF, declaration, function, methodConvention);
        break;
      case Kind::Release:
        checked(engine).RegisterObjectBehaviour("string", asBEHAVE_RELEASE, declaration, function, methodConvention);
        break;
      case Kind::Method:
        checked(engine).RegisterObjectMethod("string", declaration, function, methodConvention);
        break;
      case Kind::StringFactory:
        checked(engine).RegisterStringFactory(declaration, &constantFactory);
        break;
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// ScriptString

ScriptString::ScriptString(const irr::core::stringw& text) : text(wideToUtf16(text)) {}

void ScriptString::addRef() { refs_.fetch_add(1, std::memory_order_relaxed); }

void ScriptString::release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete this;
}

irr::core::stringw ScriptString::toStringw() const { return utf16ToWide(text); }

ScriptString& ScriptString::assign(const ScriptString& other) {
  if (&other != this)
    text = other.text;
  return *this;
}

ScriptString& ScriptString::addAssign(const ScriptString& other) {
  text.append(other.text);
  return *this;
}

bool ScriptString::equals(const ScriptString& other) const { return text == other.text; }

int ScriptString::compare(const ScriptString& other) const {
  const int order = text.compare(other.text);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

ScriptString* ScriptString::add(const ScriptString& other) const { return new ScriptString(text + other.text); }

bool ScriptString::beginsWith(const ScriptString& other) const {
  return other.text.size() <= text.size() && text.compare(0, other.text.size(), other.text) == 0;
}

void ScriptString::erase(uint32_t index) {
  if (index >= text.size()) {
    raiseScriptException(kOutOfRange);
    return;
  }
  text.erase(index, 1);
}

void ScriptString::erase(uint32_t index, uint32_t count) {
  if (count == 0 || index >= text.size())
    return;
  // The range is measured in 64 bits: index + count must not wrap around.
  if (static_cast<uint64_t>(index) + count <= text.size())
    text.erase(index, count);
  else
    text.resize(index);
}

char16_t* ScriptString::unitAt(uint32_t index) {
  return const_cast<char16_t*>(static_cast<const ScriptString*>(this)->unitAt(index));
}

const char16_t* ScriptString::unitAt(uint32_t index) const {
  if (index >= text.size()) {
    raiseScriptException(kOutOfRange);
    return nullptr;
  }
  return &text[index];
}

void ScriptString::resize(uint32_t newLength) { text.resize(newLength, u'\0'); }

template <typename Number>
ScriptString& ScriptString::assignNumber(Number value) {
  text = numberText(value);
  return *this;
}

template <typename Number>
ScriptString& ScriptString::addAssignNumber(Number value) {
  text += numberText(value);
  return *this;
}

template <typename Number>
ScriptString* ScriptString::addNumber(Number value) const {
  return new ScriptString(text + numberText(value));
}

template <typename Number>
ScriptString* ScriptString::addNumberReversed(Number value) const {
  return new ScriptString(reversedNumberText(value) + text);
}

int ScriptString::find(const ScriptString& other, uint32_t start) const {
  const size_t length = text.size();
  const size_t otherLength = other.text.size();
  if (otherLength > length || start > length - otherLength)
    return -1;
  for (size_t at = start; at + otherLength <= length; ++at)
    if (text.compare(at, otherLength, other.text) == 0)
      return static_cast<int>(at);
  return -1;
}

ScriptString* ScriptString::substr(uint16_t start, uint16_t count) const {
  if (count == 0 || start >= text.size())
    return new ScriptString();
  return new ScriptString(text.substr(start, count));
}

int ScriptString::find(char16_t unit, uint32_t start) const {
  const size_t length = text.size();
  if (start > length)
    return -1;
  // The terminating zero takes part: searching for unit 0 gives the length.
  for (size_t at = start; at <= length; ++at)
    if (text.c_str()[at] == unit)
      return static_cast<int>(at);
  return -1;
}

int ScriptString::findLast(char16_t unit, int32_t start) const {
  const size_t length = text.size();
  size_t at = start < 0 ? length : std::min<size_t>(static_cast<size_t>(start), length);
  for (;; --at) {
    if (text.c_str()[at] == unit)
      return static_cast<int>(at);
    if (at == 0)
      return -1;
  }
}

// ---------------------------------------------------------------------------
// Conversions

std::u16string wideToUtf16(const irr::core::stringw& text) {
  std::u16string units;
  units.reserve(text.size());
  Utf16Units source(text.c_str(), text.c_str() + text.size());
  for (int32_t unit = source.next(); unit >= 0; unit = source.next())
    units.push_back(static_cast<char16_t>(unit));
  return units;
}

irr::core::stringw utf16ToWide(const std::u16string& units) {
  std::wstring wide;
  wide.reserve(units.size());
  decodeUtf16(
      units.size(), [&units](size_t i) { return static_cast<uint32_t>(units[i]); },
      [&wide](wchar_t c) { wide.push_back(c); });
  return irr::core::stringw(wide.c_str(), static_cast<irr::u32>(wide.size()));
}

// ---------------------------------------------------------------------------

void registerScriptStringNative(asIScriptEngine* engine) { registerEntries(engine, false); }

void registerScriptStringGeneric(asIScriptEngine* engine) { registerEntries(engine, true); }

void registerScriptString(asIScriptEngine* engine) {
  if (scriptLibraryNeedsGenericCalls())
    registerScriptStringGeneric(engine);
  else
    registerScriptStringNative(engine);
}
