#include "design/effects/data_lists.h"

#include "core/save_stream.h"

using irr::core::stringw;

namespace {

const wchar_t kTrimmed[] = L" \t\n\r";
const wchar_t kNumberCharacters[] = L"0123456789.-";
const wchar_t kZeroFormula[] = L"0";

bool isNumberCharacter(wchar_t c) {
  for (const wchar_t* n = kNumberCharacters; *n != 0; ++n)
    if (c == *n)
      return true;
  return false;
}

// Where the piece that starts at `start` ends: the next comma outside
// brackets, searched from the character after the piece's first, or the end.
irr::u32 pieceEnd(const stringw& text, irr::u32 start, wchar_t open, wchar_t close) {
  const irr::u32 length = text.size();
  irr::u32 at = start + 1;
  while (at < length) {
    const wchar_t c = text[at];
    if (c == L',')
      return at;
    if (c == open) {
      int depth = 1;
      while (depth > 0 && ++at < length) {
        if (text[at] == open)
          ++depth;
        else if (text[at] == close)
          --depth;
      }
      if (depth > 0)
        return length;  // left open: the rest of the text
    }
    ++at;
  }
  return length;
}

}  // namespace

irr::u32 splitOutsideBrackets(const stringw& text, wchar_t open, wchar_t close, irr::core::array<stringw>& out) {
  out.clear();
  irr::u32 start = 0;
  while (start < text.size()) {
    const irr::u32 end = pieceEnd(text, start, open, close);
    stringw piece = text.subString(start, end - start);
    piece.trim(kTrimmed);
    if (piece.size() > 0)
      out.push_back(piece);
    start = end + 1;
  }
  return out.size();
}

irr::s32 findNonNumberFrom1(const stringw& text) {
  for (irr::u32 i = 1; i < text.size(); ++i)
    if (!isNumberCharacter(text[i]))
      return static_cast<irr::s32>(i);
  return -1;
}

bool isNumberText(const stringw& text) {
  for (irr::u32 i = 0; i < text.size(); ++i)
    if (!isNumberCharacter(text[i]))
      return false;
  return true;
}

bool splitNamedFormulaItem(const stringw& item, stringw& name, stringw& formulaText) {
  stringw text = item;
  text.trim(kTrimmed);
  const irr::s32 open = text.findFirst(L'[');
  const irr::s32 close = text.findFirst(L']');
  if (text.size() == 0 || open == 0)
    return false;
  if (open < 0) {
    if (close >= 0)
      return false;  // a ']' with no '[' before it
    name = text;
    formulaText = kZeroFormula;
    return true;
  }
  if (close >= 0 && close < open)
    return false;
  const irr::s32 innerEnd = close >= 0 ? close : static_cast<irr::s32>(text.size());
  const irr::s32 second = text.findNext(L'[', static_cast<irr::u32>(open) + 1);
  if (second >= 0 && second < innerEnd)
    return false;

  name = text.subString(0, static_cast<irr::u32>(open));
  name.trim(kTrimmed);
  if (close < 0) {
    formulaText = kZeroFormula;
    return true;
  }
  formulaText = text.subString(static_cast<irr::u32>(open) + 1, static_cast<irr::u32>(close - open - 1));
  formulaText.trim(kTrimmed);
  if (formulaText.size() == 0)
    formulaText = kZeroFormula;
  return true;
}

void readFloatList(SaveStream& stream, uint16_t& count, float*& values) {
  const uint16_t stored = stream.readU16();
  if (stored == 0) {
    count = 0;
    values = nullptr;
    return;
  }
  // Checked before the array is made: a damaged count cannot make a large
  // allocation for bytes that are not there.
  stream.expectBytes(static_cast<uint64_t>(stored) * sizeof(float));
  float* read = new float[stored];
  try {
    for (uint16_t i = 0; i < stored; ++i)
      read[i] = stream.readFloat();
  } catch (...) {
    delete[] read;
    throw;
  }
  count = stored;
  values = read;
}

void readCausedEffectRecord(SaveStream& stream, float& duration, float (&values)[4]) {
  const float storedDuration = stream.readFloat();
  stream.expectBytes(4 * sizeof(float));
  stream.readFloat4(values[0], values[1], values[2], values[3]);
  duration = storedDuration;
}
