// The value of one option of a treaty clause: an integer, a float or a
// script string, converted on assignment to the type the clause definition
// declared for it. Every clause carries one per option its definition
// declares; the definition's own list (`SClauseOption`) is the template the
// clauses copy.
//
// The option owns one reference on its string value and one on its name;
// copying takes references to both and destruction releases both.
#pragma once

#include <cstdint>

#include <irrString.h>

class ScriptString;

// What an option's value holds, and the declared types of the clause file
// ("integer", "float", "string"; 0 is untyped).
enum OptionType : uint32_t {
  OT_NONE = 0,
  OT_INTEGER = 1,
  OT_FLOAT = 2,
  OT_STRING = 3,
};

class ClauseOption {
public:
  // Fresh: the integer 0, untyped, no name.
  ClauseOption() { value_.integer = 0; }
  ClauseOption(const ClauseOption &other);
  ClauseOption &operator=(const ClauseOption &) = delete;
  ~ClauseOption();

  int32_t toInt() const;
  float toFloat() const;
  // The text form (see the .cpp); the caller owns the returned reference.
  ScriptString *toString() const;

  void opAssign(int32_t value);
  void opAssign(float value);
  // A null string leaves the option empty. The caller keeps its reference.
  void opAssign(const ScriptString *value);

  // Replaces the name with a new string holding `text`.
  void setName(const irr::core::stringw &text);
  void releaseName();

  uint32_t getType() const { return type_; }
  uint32_t getDeclaredType() const { return declaredType_; }
  void setDeclaredType(uint32_t declared) { declaredType_ = declared; }
  ScriptString *getName() const { return name_; }
  // The held string (no new reference), null unless the type is OT_STRING.
  ScriptString *getString() const {
    return type_ == OT_STRING ? value_.string : nullptr;
  }

private:
  void clearValue();
  void storeInt(int32_t value);
  void storeFloat(float value);
  void storeString(ScriptString *value); // takes its own reference

  union {
    int32_t integer;
    float real;
    ScriptString *string;
  } value_;
  uint32_t type_ = OT_INTEGER;
  uint32_t declaredType_ = OT_NONE;
  ScriptString *name_ = nullptr;
};

// The template option of a clause definition: the same record.
using SClauseOption = ClauseOption;

// Reads a float from text with the character rules of stringToFloat
// (text_conversions.h) but rounds the decimal value once, so that every text
// form of a float reads back as that float.
float clauseTextToFloat(const irr::core::stringw &text);

// The text form of a float option: "%0.6f" without leading and trailing "0"
// characters and a final "."; "0" for zero, when nothing is left and for a
// negative value too small to show a digit.
irr::core::stringw clauseFloatText(float value);
