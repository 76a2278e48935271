// Text data files: the line format most of the game's plain-text files share.
//
// A file is single-byte text or UTF-16 little-endian (decided per file from
// its first 32 bytes). Lines end at "\n" or "\r" (or any run of them);
// everything from the first "//" of a line on is a comment; lines are trimmed
// of " \t\n\r" and empty ones are left out. Most lines are a key, a colon and
// a value.
//
// Single-byte text is read as Latin-1: each byte becomes the character of the
// same number (0x80 to 0xFF stay 0x80 to 0xFF), which the narrow readers cut
// back to the same byte. In UTF-16 text a surrogate pair becomes one
// character, and a surrogate without its partner the replacement character
// U+FFFD. A byte-order mark at the start of a UTF-16 file is removed, and zero
// bytes (zero characters in UTF-16) are skipped wherever they stand.
//
// Readers that find a faulty line report it with logDataFileError or
// logDataFileWarning, as "<file>(<line>) error <code>: <message>", skip the
// line and go on.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// A line and its line number in the file (counting from 1).
struct NumberedLine {
  irr::core::stringw text;
  int line = 0;
};

// Option bits of readNumberedDataFile.
enum DataFileOptions : uint8_t {
  kDataFileClean = 1,           // trim " \t\n\r" (and allow kDataFileCutComments)
  kDataFileCutComments = 2,     // cut "//" comments (only with kDataFileClean)
  kDataFileSemicolonLines = 4,  // ";" also ends a line
  kDataFileRefuseOddUtf16 = 8,  // refuse a UTF-16 file of odd size
};

// Reads the lines of the file at `path` (resolved through the file system of
// file_access.h). False, with `lines` left as it was, when the file does not
// exist, cannot be opened, holds fewer than 2 bytes or cannot be read to its
// end (that last is logged as an error); otherwise `lines` is replaced by the
// file's lines, possibly none.
bool readTextDataFile(const irr::core::stringc& path, std::vector<irr::core::stringw>& lines);
// The same, each character cut to its low byte.
bool readTextDataFile(const irr::core::stringc& path, std::vector<irr::core::stringc>& lines);

// As readTextDataFile, each line with its line number, cleaned as `options`
// say. A UTF-16 file of odd size is refused with kDataFileRefuseOddUtf16;
// otherwise its last byte is ignored.
bool readNumberedDataFile(const irr::core::stringc& path, std::vector<NumberedLine>& lines,
                          uint8_t options);

// Reads the lines of a definition file for its loader (trimmed, "//"
// comments cut): false, with "Unable to load file <path>" logged as an
// error, when it cannot be read; otherwise `loadingFormat` (a printf format
// taking the path) is logged at the info level.
bool readDefinitionFile(const irr::core::stringc& path, std::vector<NumberedLine>& lines, const char* loadingFormat);

// Splits `line` at its first ":" into a key and a value, both trimmed of
// " \t\n\r". False, with both left as they were, when there is no ":".
bool splitKeyValue(const irr::core::stringw& line, irr::core::stringw& key, irr::core::stringw& value);
bool splitKeyValue(const irr::core::stringc& line, irr::core::stringc& key, irr::core::stringc& value);

// Appends the words of `line` to `words`: words are separated by runs of
// blanks and tabs; a part in double quotes is one word, blanks included, kept
// without its quotes (an unclosed quote runs to the end of the line). Returns
// the number of words in `words` afterwards.
size_t splitWordsQuoted(const irr::core::stringc& line, std::vector<irr::core::stringc>& words);
// The same for wide text.
size_t splitWordsQuotedW(const irr::core::stringw& line, std::vector<irr::core::stringw>& words);

// Widens single-byte text the way the readers above do.
irr::core::stringw widenText(const irr::core::stringc& text);

// True when the first bytes of a file are UTF-16 little-endian text: a
// byte-order mark, or mostly characters whose high byte is zero.
bool looksLikeUtf16(const uint8_t* bytes, size_t count);

// Logs a faulty line of a data file: "<file>(<line>) error <code>: " and the
// formatted message (which carries its own line end); without a code,
// "<file>(<line>) error: ". The warning form says "warning" instead.
void logDataFileError(const char* file, int line, const char* code, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void logDataFileWarning(const char* file, int line, const char* code, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
