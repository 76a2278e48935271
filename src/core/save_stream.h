// The save stream: the binary reader and writer under every saved game
// (".qvs" file). Record writers and readers of every subsystem go through its
// primitives; the common strings that records refer to by index are in
// core/common_strings.h.
//
// Every multi-byte value is little-endian.
//
//   value               layout
//   header              the bytes '$' 'q' 'v' 's', then the format version as
//                       u32 (35 is written; 7 to 35 are read)
//   u8 .. u64, i8 .. i64, float, double
//                       their bytes, lowest first (floats as IEEE-754 single,
//                       doubles as double precision)
//   wide string         u16 length L in UTF-16 code units; when L > 0 a flag
//                       byte: 1 when any unit is above 0xFF, then 2L bytes
//                       (each unit low byte first), else 0, then L bytes (the
//                       low byte of each unit). "abc" is 03 00 00 61 62 63,
//                       "" is 00 00. Texts longer than 65,535 units are cut
//                       to that (never inside a surrogate pair), with a
//                       warning in the log.
//   narrow string       u16 length L, then L bytes; cut like wide strings
//   packed unsigned     mask byte m, bit k set when byte k of the value
//                       (bits 8k..8k+7) is non-zero, then those bytes for
//                       k = 0..3: 0 is 00, 0x00012300 is 06 23 01,
//                       0xFFFFFFFF is 0F FF FF FF FF. Reading ignores bits 4-7
//   packed floats       a group of 4 (or 8) floats: mask byte, bit k set when
//                       float k is not 0.0 (a NaN counts as set, -0.0 does
//                       not), then each set float's 4 bytes; unset floats
//                       read as +0.0
//   empire ID           one byte; saves before version 12 hold a 4-byte
//                       integer whose low byte is the ID
//   description         two wide strings: the active empire's name ("Unknown"
//                       without one) and the local date and time; saves
//                       before version 11 have none
//   section marker      u32 0xDEADBEEF, after most sections
//
// Reading never trusts the file: each read checks what remains before it
// allocates or reads anything. A short read throws {4, "Unexpected EOF"} and
// leaves the stream at its end, so every later read fails too.
//
// Writing goes to a temporary file of the stream's own, "<base>.qvs.<pid>-<n>.tmp"
// created exclusively (see plat::OutputFile::createTemporaryFor), and every
// write is checked: a failure throws SaveFileError at once and the temporary
// file is removed. The commit (finishSaveFile) flushes and syncs the file,
// closes it, renames it over "<base>.qvs" and syncs the folder, so
// "<base>.qvs" is always either the old save, untouched, or one writer's
// complete new one, also when two servers save the same name at once. A
// stream destroyed without a commit removes its temporary file; one left by a
// killed process goes with the next save of that name.
//
// A stream is used by one thread at a time.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/file.h"

// The exception every save reader and writer throws, by value. The message is
// a static text shown to the player.
struct SaveFileError {
  int code;
  const char* message;
};

inline bool operator==(const SaveFileError& a, const SaveFileError& b) {
  return a.code == b.code && std::strcmp(a.message, b.message) == 0;
}

// Errors of the stream itself.
constexpr SaveFileError kSaveErrorOpening{2, "Error opening file"};
constexpr SaveFileError kSaveErrorWriting{2, "Error writing save file"};
constexpr SaveFileError kSaveErrorRenaming{2, "Error when renaming temp save file"};
constexpr SaveFileError kSaveErrorNoFileName{3, "No file name specified"};
constexpr SaveFileError kSaveErrorEOF{4, "Unexpected EOF"};
constexpr SaveFileError kSaveErrorNotASave{5, "Not a Corvane save file"};
constexpr SaveFileError kSaveErrorTooManyEntries{5, "Too many entries for the save file"};
constexpr SaveFileError kSaveErrorNewer{7, "Save file was created in a newer version of Corvane"};
constexpr SaveFileError kSaveErrorOlder{
    7, "Save file was created in an older version of Corvane, and can no longer be loaded"};

// Throws {4, "Unexpected EOF"}.
[[noreturn]] void throwUnexpectedEOF();

using EmpireID = uint8_t;

class SaveStream {
 public:
  // The version written, and the range read.
  static constexpr int32_t kVersion = 35;
  static constexpr int32_t kOldestVersion = 7;
  // First versions with the description, and with 1-byte empire IDs.
  static constexpr int32_t kDescriptionVersion = 11;
  static constexpr int32_t kByteEmpireIdVersion = 12;
  static constexpr uint32_t kSectionMarker = 0xDEADBEEF;
  // Longest string written, in UTF-16 units (wide) or bytes (narrow).
  static constexpr uint32_t kMaxStringLength = 0xFFFF;

  // A writing stream that keeps every byte, header included, in memory.
  static std::unique_ptr<SaveStream> createInMemory();
  // A reading stream over `size` bytes at `data`, header checked as for a
  // file (errors 4, 5 and 7). The bytes are not copied: they must outlive
  // the stream.
  static std::unique_ptr<SaveStream> readFromMemory(const void* data, std::size_t size);

  SaveStream(const SaveStream&) = delete;
  SaveStream& operator=(const SaveStream&) = delete;
  ~SaveStream();

  bool isWriting() const { return mode_ != Mode::Read; }
  // Reading: the version of the header. Writing: kVersion.
  int32_t version() const { return version_; }
  // The save's name without ".qvs" (empty for streams in memory).
  const irr::core::stringc& baseName() const { return baseName_; }
  // Reading: bytes not read yet.
  uint64_t remaining() const { return static_cast<uint64_t>(end_ - cur_) + fileLeft_; }
  // Throws {4, "Unexpected EOF"} unless at least `count` bytes remain. For
  // readers about to make room for a count they read from the file.
  void expectBytes(uint64_t count);
  // A stream in memory: every byte written so far.
  const std::vector<uint8_t>& memoryBytes() const { return buffer_; }

  // Fixed-width values.
  void writeU8(uint8_t value) { putLE(value, 1); }
  void writeI8(int8_t value) { putLE(static_cast<uint8_t>(value), 1); }
  void writeU16(uint16_t value) { putLE(value, 2); }
  void writeI16(int16_t value) { putLE(static_cast<uint16_t>(value), 2); }
  void writeU32(uint32_t value) { putLE(value, 4); }
  void writeI32(int32_t value) { putLE(static_cast<uint32_t>(value), 4); }
  void writeU64(uint64_t value) { putLE(value, 8); }
  void writeI64(int64_t value) { putLE(static_cast<uint64_t>(value), 8); }
  void writeFloat(float value);
  void writeDouble(double value);
  void writeBytes(const void* data, std::size_t size);

  uint8_t readU8() { return static_cast<uint8_t>(takeLE(1)); }
  int8_t readI8() { return static_cast<int8_t>(takeLE(1)); }
  uint16_t readU16() { return static_cast<uint16_t>(takeLE(2)); }
  int16_t readI16() { return static_cast<int16_t>(takeLE(2)); }
  uint32_t readU32() { return static_cast<uint32_t>(takeLE(4)); }
  int32_t readI32() { return static_cast<int32_t>(takeLE(4)); }
  uint64_t readU64() { return takeLE(8); }
  int64_t readI64() { return static_cast<int64_t>(takeLE(8)); }
  float readFloat();
  double readDouble();
  void readBytes(void* out, std::size_t size);
  void skipBytes(uint64_t size);
  void readFloat2(float& a, float& b);
  void readFloat3(float& a, float& b, float& c);
  void readFloat4(float& a, float& b, float& c, float& d);

  // Strings. With a stored length of 0 the target keeps its value; otherwise
  // it is replaced.
  void writeString(const irr::core::stringw& text);
  void readString(irr::core::stringw& out);
  void writeNarrowString(const irr::core::stringc& text);
  void readNarrowString(irr::core::stringc& out);

  void writePackedUInt(uint32_t value);
  uint32_t readPackedUInt();

  void writeEmpireId(EmpireID id) { writeU8(id); }
  EmpireID readEmpireId();

  void writePackedFloats4(const float (&values)[4]);
  void readPackedFloats4(float (&values)[4]);
  void writePackedFloats8(const float (&values)[8]);
  void readPackedFloats8(float (&values)[8]);

  void writeMarker() { writeU32(kSectionMarker); }
  // Reads a section marker; throws `wrong` when the value differs.
  void readMarker(const SaveFileError& wrong);

  // The common strings this save refers to by index: when writing, the pool
  // as it stood when the section was written (in pool order); when reading,
  // the pooled entries of the section's strings in file order. Kept by
  // core/common_strings.
  std::vector<const irr::core::stringw*>& commonStrings() { return commonStrings_; }
  const std::vector<const irr::core::stringw*>& commonStrings() const { return commonStrings_; }

 private:
  enum class Mode { WriteFile, WriteMemory, Read };

  explicit SaveStream(Mode mode);

  void putLE(uint64_t value, unsigned bytes);
  uint64_t takeLE(unsigned bytes);
  void put(const void* data, std::size_t size);
  void take(void* out, std::size_t size);
  void writePackedFloats(const float* values, unsigned count);
  void readPackedFloats(float* values, unsigned count);
  void writeHeader();
  void readHeader();
  // Writes out what the buffer holds; throws on failure.
  void flushToFile();
  // Refills the read window from the file; false when nothing more comes.
  bool refill();
  [[noreturn]] void failRead();
  [[noreturn]] void failWrite(const char* step, int error);
  // Closes and removes the temporary file of an unfinished save.
  void abandon();

  friend std::unique_ptr<SaveStream> openSaveForWrite(const irr::core::stringc& name);
  friend std::unique_ptr<SaveStream> openSaveForRead(const irr::core::stringc& name);
  friend void finishSaveFile(SaveStream& stream);

  Mode mode_;
  int32_t version_ = kVersion;
  irr::core::stringc baseName_;
  std::vector<const irr::core::stringw*> commonStrings_;

  // Writing: bytes not yet in the file (a file stream), or every byte (in
  // memory). A failed or finished file stream writes nothing more.
  std::vector<uint8_t> buffer_;
  plat::OutputFile output_;
  bool writeClosed_ = false;

  // Reading: the window [cur_, end_) over the bytes not yet read, then
  // fileLeft_ bytes of the file behind it.
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t fileLeft_ = 0;
  std::vector<uint8_t> window_;
  plat::InputFile input_;
};

// Opens a new temporary file for "<name>.qvs" and writes the header. `name` is a path
// whose ".qvs" ending (any letter case) is dropped. Throws {3, "No file name
// specified"} for an empty name or one that ends with '/' or '\', and
// {2, "Error opening file"} when the file cannot be created.
std::unique_ptr<SaveStream> openSaveForWrite(const irr::core::stringc& name);
// Commits a writing stream: "<base>.qvs" becomes the finished file. Throws
// {2, ...} on any failure, after removing the temporary file; the old save
// is then untouched. The stream writes nothing afterwards. Streams in memory
// have nothing to commit.
void finishSaveFile(SaveStream& stream);
// Opens "<name>.qvs" (name rules as for writing) and checks its header.
// Throws codes 2, 3, 4, 5 and 7.
std::unique_ptr<SaveStream> openSaveForRead(const irr::core::stringc& name);

// True when `text` ends with `suffix`, the letters A to Z folded to lower case
// on both sides and every other byte compared unchanged.
bool narrowEndsWithNoCase(const irr::core::stringc& text, const irr::core::stringc& suffix);

// Writes the description: the active empire's name (null: "Unknown") and
// the local date and time text, both given by the caller.
void writeSaveDescription(SaveStream& stream, const irr::core::stringw* activeEmpireName,
                          const irr::core::stringw& localDateTime);
// "<empire> - <date>", or "Old save" for saves before version 11.
irr::core::stringw readSaveDescription(SaveStream& stream);
