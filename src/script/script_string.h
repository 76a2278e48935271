// The script `string`: a reference-counted text of 16-bit units, registered
// in both script engines. Natives that hand text to scripts make a
// ScriptString from a wide engine string and hand over its first reference.
//
// The engine's wide strings hold 32-bit characters here; the conversions
// below write characters above U+FFFF as surrogate pairs and join pairs back,
// so text survives the round trip.
#pragma once

#include <angelscript.h>
#include <irrString.h>

#include <atomic>
#include <cstdint>
#include <string>

class ScriptString {
 public:
  // New strings hold one reference, which the creator owns.
  ScriptString() = default;
  explicit ScriptString(const irr::core::stringw& text);
  explicit ScriptString(std::u16string text) : text(std::move(text)) {}
  ScriptString(const ScriptString&) = delete;
  ScriptString& operator=(const ScriptString&) = delete;

  // Reference counting (atomic: strings are shared by contexts on different
  // threads and released by the garbage collector's thread).
  void addRef();
  void release();

  irr::core::stringw toStringw() const;

  // --- Script operations (registered under the names in the comments) ---
  ScriptString& assign(const ScriptString& other);     // opAssign
  ScriptString& addAssign(const ScriptString& other);  // opAddAssign
  bool equals(const ScriptString& other) const;        // opEquals
  int compare(const ScriptString& other) const;        // opCmp: -1, 0 or 1
  ScriptString* add(const ScriptString& other) const;  // opAdd
  bool beginsWith(const ScriptString& other) const;
  void erase(uint32_t index);                          // "Out of range" at or past the end
  void erase(uint32_t index, uint32_t count);
  char16_t* unitAt(uint32_t index);                    // opIndex; "Out of range" past the end
  const char16_t* unitAt(uint32_t index) const;
  uint32_t length() const { return static_cast<uint32_t>(text.size()); }
  void resize(uint32_t length);

  template <typename Number>
  ScriptString& assignNumber(Number value);
  template <typename Number>
  ScriptString& addAssignNumber(Number value);
  template <typename Number>
  ScriptString* addNumber(Number value) const;  // opAdd: text, then number
  template <typename Number>
  ScriptString* addNumberReversed(Number value) const;  // opAdd_r: number, then text

  int find(const ScriptString& other) const { return find(other, 0); }
  int find(const ScriptString& other, uint32_t start) const;
  ScriptString* substr(uint16_t start, uint16_t count) const;
  int find(char16_t unit) const { return find(unit, 0); }
  int find(char16_t unit, uint32_t start) const;
  int findLast(char16_t unit) const { return findLast(unit, -1); }  // find_r
  int findLast(char16_t unit, int32_t start) const;

  std::u16string text;

 private:
  ~ScriptString() = default;
  std::atomic<int32_t> refs_{1};
};

// Conversions between 16-bit units and the engine's 32-bit wide text.
std::u16string wideToUtf16(const irr::core::stringw& text);
irr::core::stringw utf16ToWide(const std::u16string& text);

// Registers the type "string" with native calls, or behind generic wrappers
// (for builds of the library without native calling conventions; that form
// lacks beginsWith, erase, find, find_r and substr). registerScriptString
// picks the form the library supports.
void registerScriptStringNative(AngelScript::asIScriptEngine* engine);
void registerScriptStringGeneric(AngelScript::asIScriptEngine* engine);
void registerScriptString(AngelScript::asIScriptEngine* engine);
