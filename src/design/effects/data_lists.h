// Small text and stream helpers that the effector and sub-system data readers
// share: a comma splitter that keeps bracketed parts whole, the test for
// index literals ("i0", "i1"), the splitter of one "Name[formula]" element,
// and the readers of an effector instance's stored value list and of a
// caused-effect record.
//
//   record                 layout
//   float list             u16 count N, then N floats
//   caused-effect record   the duration (4 bytes, a float), then four floats
//                          (16 bytes), the effect's values in slot order
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>

class SaveStream;

// Empties `out`, cuts `text` at every comma outside a pair of `open` and
// `close` brackets, trims each piece of " \t\n\r" and appends the pieces that
// are not empty; returns their number. The search for the next cut starts
// one character into each piece, so a comma or an opening bracket that is a
// piece's first character is kept in it: "a,,b" gives "a" and ",b", and
// "[1,2],b" gives "[1", "2]" and "b". A bracket left open runs the piece to
// the end of the text.
irr::u32 splitOutsideBrackets(const irr::core::stringw& text, wchar_t open, wchar_t close,
                              irr::core::array<irr::core::stringw>& out);

// The first position from 1 on whose character is not one of "0123456789.-",
// or -1 when there is none or the text has fewer than 2 characters.
irr::s32 findNonNumberFrom1(const irr::core::stringw& text);
// True when every character of `text` is one of "0123456789.-" (also for
// an empty text): a number argument of a data file.
bool isNumberText(const irr::core::stringw& text);

// Splits one element of a named formula list, "Name[formula]": the name is
// the trimmed text before the '[', the formula the trimmed text between the
// brackets. A bare name, an element whose ']' is missing and an empty
// formula all give the formula "0". False, with both outputs left as they
// were, for an element that begins with '[', has a second '[' before its
// ']', or has ']' before '[' (or without any '[').
bool splitNamedFormulaItem(const irr::core::stringw& item, irr::core::stringw& name,
                           irr::core::stringw& formulaText);

// Reads a u16 count and that many floats into a new array (null when the
// count is 0), which the caller frees with delete[]. A short read throws
// SaveFileError {4, "Unexpected EOF"} and leaves both outputs as they were.
void readFloatList(SaveStream& stream, uint16_t& count, float*& values);

// Reads a caused-effect record: the duration, then four values. A short
// read throws SaveFileError {4, "Unexpected EOF"}.
void readCausedEffectRecord(SaveStream& stream, float& duration, float (&values)[4]);
