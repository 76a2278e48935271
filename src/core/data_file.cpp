#include "core/data_file.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/file_access.h"
#include "core/log.h"
#include "core/text_trim.h"
#include "core/utf16.h"

using irr::core::stringc;
using irr::core::stringw;

namespace {

constexpr unsigned kChunkBytes = 1024;
constexpr unsigned kProbeBytes = 32;
constexpr long kBytesPerReservedLine = 50;
// Room reserved up front at most, so that a huge file cannot ask for a huge
// block before a single line is read; the list still grows as needed.
constexpr long kMaxReservedLines = 65536;
constexpr wchar_t kByteOrderMark = 0xFEFF;
constexpr wchar_t kReplacementCharacter = 0xFFFD;

struct ScanRules {
  bool clean = true;
  bool cutComments = true;
  bool semicolonEndsLine = false;
  bool refuseOddUtf16 = false;
};

// Single-byte text is Latin-1: each byte is the character of the same number.
// (Sign extension would turn an accented letter into an unprintable
// half-width form; the narrow readers get the original byte back either way.)
wchar_t widenByte(uint8_t byte) { return static_cast<wchar_t>(byte); }

// Builds lines from the decoded characters of a file and hands each finished,
// non-empty line to `emit` with its line number.
template <typename Emit>
class LineBuilder {
 public:
  LineBuilder(const ScanRules& rules, Emit& emit) : rules_(rules), emit_(emit) {}

  void put(wchar_t c) {
    if (c == 0)
      return;  // a stray zero would cut the text; it is no character of it
    if (c == L'\n' || c == L'\r' || (c == L';' && rules_.semicolonEndsLine)) {
      finish();
      if (c == L'\n')
        ++lineNumber_;
      return;
    }
    text_.push_back(c);
  }

  void finish() {
    std::wstring::size_type begin = 0;
    std::wstring::size_type end = text_.size();
    if (rules_.clean) {
      if (rules_.cutComments) {
        const std::wstring::size_type comment = text_.find(L"//");
        if (comment != std::wstring::npos)
          end = comment;
      }
      trimRange(text_.data(), begin, end);
    }
    if (end > begin)
      emit_(text_.data() + begin, static_cast<irr::u32>(end - begin), lineNumber_);
    text_.clear();
  }

 private:
  const ScanRules& rules_;
  Emit& emit_;
  std::wstring text_;
  int lineNumber_ = 1;
};

// Reads the file at `path` line by line. `prepare(lineCount)` runs once the
// file is known to be readable, with the number of lines to reserve room for,
// before the first line is emitted. A read that stops before the file's end
// is logged and fails.
template <typename Prepare, typename Emit>
bool scanDataFile(const stringc& path, const ScanRules& rules, Prepare prepare, Emit emit) {
  InputFile file;
  if (!file.open(path))
    return false;
  const long size = file.size();
  if (size < 2)
    return false;

  uint8_t buffer[kChunkBytes];
  const unsigned probeSize = static_cast<unsigned>(size < kProbeBytes ? size : kProbeBytes);
  const unsigned probed = file.read(buffer, probeSize);
  if (probed < probeSize || !file.seek(0)) {
    logError("Could not read data file %s\n", path.c_str());
    return false;
  }
  const bool utf16 = looksLikeUtf16(buffer, probed);

  long expected = size;
  if (utf16 && size % 2 != 0) {
    if (rules.refuseOddUtf16)
      return false;
    expected = size - 1;
  }

  prepare(static_cast<size_t>(std::min(size / kBytesPerReservedLine, kMaxReservedLines)));
  LineBuilder<Emit> lines(rules, emit);
  bool atStart = true;
  // Decoded UTF-16 characters: the byte-order mark goes, and a surrogate
  // without its partner becomes the replacement character.
  auto putDecoded = [&lines, &atStart](wchar_t c) {
    const bool first = atStart;
    atStart = false;
    if (first && c == kByteOrderMark)
      return;
    const uint32_t code = static_cast<uint32_t>(c);
    lines.put(isHighSurrogate(code) || isLowSurrogate(code) ? kReplacementCharacter : c);
  };
  // UTF-16 units of the chunk being decoded. A high surrogate at the end of a
  // chunk is kept back for its partner at the start of the next.
  uint16_t units[kChunkBytes / 2 + 1];
  size_t unitCount = 0;
  auto unitAt = [&units](size_t i) { return static_cast<uint32_t>(units[i]); };
  long consumed = 0;
  bool haveLowByte = false;
  uint8_t lowByte = 0;
  while (consumed < expected) {
    const long left = expected - consumed;
    const unsigned got = file.read(buffer, static_cast<unsigned>(left < kChunkBytes ? left : kChunkBytes));
    if (got == 0) {
      logError("Could not read data file %s: stopped after %ld of %ld bytes\n", path.c_str(), consumed, expected);
      return false;
    }
    consumed += got;
    for (unsigned i = 0; i < got; ++i) {
      if (!utf16) {
        lines.put(widenByte(buffer[i]));
      } else if (!haveLowByte) {
        lowByte = buffer[i];
        haveLowByte = true;
      } else {
        haveLowByte = false;
        units[unitCount++] = static_cast<uint16_t>(lowByte | (buffer[i] << 8));
      }
    }
    size_t ready = unitCount;
    if (ready > 0 && isHighSurrogate(units[ready - 1]) && consumed < expected)
      --ready;
    decodeUtf16(ready, unitAt, putDecoded);
    if (ready < unitCount)
      units[0] = units[ready];
    unitCount -= ready;
  }
  decodeUtf16(unitCount, unitAt, putDecoded);
  lines.finish();
  return true;
}

// Reads the file's lines into a list of their own, made from each line by
// `makeLine`, and hands them to `lines` only when the whole file was read.
template <typename Line, typename MakeLine>
bool readLinesInto(const stringc& path, const ScanRules& rules, std::vector<Line>& lines, MakeLine makeLine) {
  std::vector<Line> read;
  const bool complete = scanDataFile(
      path, rules, [&read](size_t reserve) { read.reserve(reserve); },
      [&read, &makeLine](const wchar_t* text, irr::u32 length, int number) {
        read.push_back(makeLine(text, length, number));
      });
  if (complete)
    lines.swap(read);
  return complete;
}

template <typename Line>
bool readLines(const stringc& path, std::vector<Line>& lines) {
  return readLinesInto(path, ScanRules(), lines,
                       [](const wchar_t* text, irr::u32 length, int) { return Line(text, length); });
}

template <typename String>
bool splitKeyValueOf(const String& line, String& key, String& value) {
  const irr::s32 colon = line.findFirst(':');
  if (colon < 0)
    return false;
  key = line.subString(0, static_cast<irr::u32>(colon));
  value = line.subString(static_cast<irr::u32>(colon) + 1, line.size() - static_cast<irr::u32>(colon) - 1);
  key.trim();
  value.trim();
  return true;
}

void logDataFileProblem(void (*log)(const char*, ...), const char* kind, const char* file, int line,
                        const char* code, const char* format, va_list args) {
  char message[kLogBufferSize];
  std::vsnprintf(message, sizeof message, format, args);
  if (code != nullptr && code[0] != '\0')
    log("%s(%i) %s %s: %s", file, line, kind, code, message);
  else
    log("%s(%i) %s: %s", file, line, kind, message);
}

}  // namespace

bool readTextDataFile(const stringc& path, std::vector<stringw>& lines) { return readLines(path, lines); }

bool readTextDataFile(const stringc& path, std::vector<stringc>& lines) { return readLines(path, lines); }

bool readNumberedDataFile(const stringc& path, std::vector<NumberedLine>& lines, uint8_t options) {
  ScanRules rules;
  rules.clean = (options & kDataFileClean) != 0;
  rules.cutComments = (options & kDataFileCutComments) != 0;
  rules.semicolonEndsLine = (options & kDataFileSemicolonLines) != 0;
  rules.refuseOddUtf16 = (options & kDataFileRefuseOddUtf16) != 0;
  return readLinesInto(path, rules, lines, [](const wchar_t* text, irr::u32 length, int number) {
    NumberedLine line;
    line.text = stringw(text, length);
    line.line = number;
    return line;
  });
}

bool readDefinitionFile(const irr::core::stringc& path, std::vector<NumberedLine>& lines, const char* loadingFormat) {
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    logError("Unable to load file %s\n", path.c_str());
    return false;
  }
  logInfo(loadingFormat, path.c_str());
  return true;
}

bool splitKeyValue(const stringw& line, stringw& key, stringw& value) { return splitKeyValueOf(line, key, value); }

bool splitKeyValue(const stringc& line, stringc& key, stringc& value) { return splitKeyValueOf(line, key, value); }

namespace {

template <class Text, class Char>
size_t splitWordsQuotedOf(const Text& line, std::vector<Text>& words) {
  enum { kBetween, kPlain, kQuoted } state = kBetween;
  Text word;
  for (irr::u32 i = 0; i < line.size(); ++i) {
    const Char c = line[i];
    if (c == Char(' ') || c == Char('\t')) {
      if (state == kPlain) {
        words.push_back(word);
        state = kBetween;
      } else if (state == kQuoted) {
        word.append(c);
      }
    } else if (c == Char('"')) {
      if (state == kQuoted) {
        words.push_back(word);
        state = kBetween;
      } else {
        if (state == kPlain)
          words.push_back(word);
        word = Text();
        state = kQuoted;
      }
    } else {
      if (state == kBetween) {
        word = Text();
        state = kPlain;
      }
      word.append(c);
    }
  }
  if (state != kBetween)
    words.push_back(word);
  return words.size();
}

}  // namespace

size_t splitWordsQuoted(const stringc& line, std::vector<stringc>& words) {
  return splitWordsQuotedOf<stringc, char>(line, words);
}

size_t splitWordsQuotedW(const stringw& line, std::vector<stringw>& words) {
  return splitWordsQuotedOf<stringw, wchar_t>(line, words);
}

stringw widenText(const stringc& text) {
  stringw wide;
  wide.reserve(text.size() + 1);
  for (irr::u32 i = 0; i < text.size(); ++i)
    wide.append(widenByte(static_cast<uint8_t>(text[i])));
  return wide;
}

bool looksLikeUtf16(const uint8_t* bytes, size_t count) {
  if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    return true;
  const size_t characters = count / 2;
  size_t zeroHigh = 0;
  size_t zeroLow = 0;
  for (size_t i = 0; i < characters; ++i) {
    const uint8_t low = bytes[2 * i];
    const uint8_t high = bytes[2 * i + 1];
    if (low == 0)
      ++zeroLow;
    else if (high == 0)
      ++zeroHigh;
  }
  // Text in the Latin range has a zero high byte in (nearly) every character;
  // single-byte text has no zero bytes at all.
  return characters > 0 && zeroHigh * 2 >= characters && zeroHigh > zeroLow;
}

void logDataFileError(const char* file, int line, const char* code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logDataFileProblem(logError, "error", file, line, code, format, args);
  va_end(args);
}

void logDataFileWarning(const char* file, int line, const char* code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logDataFileProblem(logWarning, "warning", file, line, code, format, args);
  va_end(args);
}
