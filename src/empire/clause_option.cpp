#include "empire/clause_option.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "core/names.h"
#include "script/script_string.h"

namespace {

irr::core::stringw widen(const char *text) {
  irr::core::stringw out;
  for (const char *c = text; *c; ++c)
    out.append(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
  return out;
}

// Truncation toward zero that stays defined for values outside the int range.
int32_t truncateToInt(float value) {
  if (std::isnan(value))
    return 0;
  if (value >= 2147483647.0f)
    return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0f)
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

} // namespace

float clauseTextToFloat(const irr::core::stringw &text) {
  // Same characters as stringToFloat: digits, ',' skipped, one '.', a leading
  // '-'; anything else ends the number.
  std::string digits = "0";
  bool negative = false;
  bool point = false;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9') {
      digits.push_back(static_cast<char>(c));
    } else if (c == L',') {
      continue;
    } else if (c == L'.' && !point) {
      point = true;
      digits.push_back('.');
    } else if (c == L'-' && i == 0) {
      negative = true;
    } else {
      break;
    }
  }
  float value = 0.0f;
  const auto result =
      std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec == std::errc::result_out_of_range)
    value = std::numeric_limits<float>::infinity();
  return negative ? -value : value;
}

irr::core::stringw clauseFloatText(float value) {
  if (value == 0.0f)
    return L"0";
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%0.6f", static_cast<double>(value));
  std::string text = buffer;
  const size_t first = text.find_first_not_of('0');
  text.erase(0, first == std::string::npos ? text.size() : first);
  const size_t last = text.find_last_not_of('0');
  text.erase(last == std::string::npos ? 0 : last + 1);
  if (!text.empty() && text.back() == '.')
    text.pop_back();
  // A tiny negative value prints as "-0.000000"; its text is zero's, so that
  // it reads back to a value with the same text.
  if (text.empty() || text == "-0")
    return L"0";
  return widen(text.c_str());
}

ClauseOption::ClauseOption(const ClauseOption &other)
    : value_(other.value_), type_(other.type_),
      declaredType_(other.declaredType_), name_(other.name_) {
  if (type_ == OT_STRING && value_.string)
    value_.string->addRef();
  if (name_)
    name_->addRef();
}

ClauseOption::~ClauseOption() {
  clearValue();
  releaseName();
}

void ClauseOption::clearValue() {
  if (type_ == OT_STRING && value_.string)
    value_.string->release();
  type_ = OT_NONE;
  value_.integer = 0;
}

void ClauseOption::storeInt(int32_t value) {
  value_.integer = value;
  type_ = OT_INTEGER;
}

void ClauseOption::storeFloat(float value) {
  value_.real = value;
  type_ = OT_FLOAT;
}

void ClauseOption::storeString(ScriptString *value) {
  value->addRef();
  value_.string = value;
  type_ = OT_STRING;
}

int32_t ClauseOption::toInt() const {
  switch (type_) {
  case OT_INTEGER:
    return value_.integer;
  case OT_FLOAT:
    return truncateToInt(value_.real);
  default:
    return 0;
  }
}

float ClauseOption::toFloat() const {
  switch (type_) {
  case OT_INTEGER:
    return static_cast<float>(value_.integer);
  case OT_FLOAT:
    return value_.real;
  default:
    return 0.0f;
  }
}

ScriptString *ClauseOption::toString() const {
  switch (type_) {
  case OT_INTEGER: {
    char buffer[50];
    std::snprintf(buffer, sizeof(buffer), "%i", value_.integer);
    return new ScriptString(widen(buffer));
  }
  case OT_FLOAT:
    return new ScriptString(clauseFloatText(value_.real));
  case OT_STRING:
    if (value_.string) {
      value_.string->addRef();
      return value_.string;
    }
    return new ScriptString();
  default:
    return new ScriptString();
  }
}

void ClauseOption::opAssign(int32_t value) {
  clearValue();
  switch (declaredType_) {
  case OT_NONE:
  case OT_INTEGER:
    storeInt(value);
    break;
  case OT_FLOAT:
    storeFloat(static_cast<float>(value));
    break;
  case OT_STRING: {
    char buffer[50];
    std::snprintf(buffer, sizeof(buffer), "%i", value);
    ScriptString *text = new ScriptString(widen(buffer));
    storeString(text);
    text->release();
    break;
  }
  default:
    break;
  }
}

void ClauseOption::opAssign(float value) {
  clearValue();
  switch (declaredType_) {
  case OT_NONE:
  case OT_FLOAT:
    storeFloat(value);
    break;
  case OT_INTEGER:
    storeInt(truncateToInt(value));
    break;
  case OT_STRING: {
    char buffer[100];
    std::snprintf(buffer, sizeof(buffer), "%0.6f", static_cast<double>(value));
    ScriptString *text = new ScriptString(widen(buffer));
    storeString(text);
    text->release();
    break;
  }
  default:
    break;
  }
}

void ClauseOption::opAssign(const ScriptString *value) {
  // Take the new string before letting go of the old one: both may be the same.
  ScriptString *held = const_cast<ScriptString *>(value);
  if (held)
    held->addRef();
  clearValue();
  if (held) {
    switch (declaredType_) {
    case OT_NONE:
    case OT_STRING:
      storeString(held);
      break;
    case OT_INTEGER:
      storeInt(wideStringToInt(held->toStringw()));
      break;
    case OT_FLOAT:
      storeFloat(clauseTextToFloat(held->toStringw()));
      break;
    default:
      break;
    }
    held->release();
  }
}

void ClauseOption::setName(const irr::core::stringw &text) {
  releaseName();
  name_ = new ScriptString(text);
}

void ClauseOption::releaseName() {
  if (name_)
    name_->release();
  name_ = nullptr;
}
