// The settings store: named sections of narrow key/value pairs, read from
// and written to a small INI dialect ("config.cfg" and the options menu's
// settings files). The store knows no types; callers convert values.
//
// Text form, read as raw bytes:
//   - a line runs up to and including a line feed (the last needs none);
//   - "//" anywhere starts a comment to the end of the line;
//   - each line is trimmed of " \t\n\r"; lines of 2 characters or fewer
//     are ignored;
//   - "[name]" opens a section (name untrimmed). A name seen again opens a
//     second section of that name: both are kept and written, but lookups
//     by name only reach the first;
//   - "key = value" sets a key in the current section, split at the first
//     '=', both sides trimmed; lines before any section, without '=', with
//     '=' first or last, or with an empty key or value are ignored. A key
//     given twice keeps the later value.
// Written form: "[name]\r\n", one "key = value\r\n" per key in key order,
// then "\r\n" after each section. Comments and layout are not kept.
//
// Keys within a section are unique and kept sorted by byte, each byte signed
// (so "Key" comes before "key", "ab" before "abc"). The store does no locking.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <string>
#include <vector>

#include "core/names.h"
#include "platform/file.h"

// Largest settings file read.
constexpr uint64_t kMaxSettingsFileBytes = plat::kMaxUserFileBytes;

namespace irr {
namespace io {
class IReadFile;
class IWriteFile;
}  // namespace io
}  // namespace irr

class IniFile {
 public:
  using Entry = NamedVar<irr::core::stringc, irr::core::stringc>;
  struct Section {
    irr::core::stringc name;
    Entry::Registry keys;
  };

  // A store with the sections of a settings text.
  static IniFile parse(const char* text, std::size_t length);
  // A store with the sections of an open engine file, read whole; null or an
  // empty file gives an empty store.
  static IniFile read(irr::io::IReadFile* file);
  // A store with the sections of the file at `path`, read only when it is a
  // regular file of at most kMaxSettingsFileBytes. A missing file, or one
  // that cannot be read, gives an empty store; for one that exists but
  // cannot be read (no permission, a folder, a pipe or device, too large, an
  // I/O error) `error`, when given, receives the reason, else it is emptied.
  static IniFile readFile(const std::string& path, std::string* error = nullptr);

  // The value of `key` in the first section named `section`. When the
  // section or key is missing: with `create` the key is added with
  // `defaultValue` (and the section appended when needed) and the store is
  // marked changed; either way `defaultValue` is returned.
  irr::core::stringc getValue(const irr::core::stringc& section, const irr::core::stringc& key,
                              const irr::core::stringc& defaultValue, bool create);
  // Sets `key` in the first section named `section` (appended when
  // missing) and marks the store changed, even when the value was held.
  void setValue(const irr::core::stringc& section, const irr::core::stringc& key, const irr::core::stringc& value);

  // The written form of the store.
  std::string format() const;
  // Writes the store to an open engine file. True when every byte was
  // written, which clears `changed`; a null file writes nothing (false).
  bool write(irr::io::IWriteFile* file);
  // Writes the store to the file at `path`, replacing it only once the whole
  // text is written (through a temporary file of this call's own, see
  // plat::replaceFile). On failure the old file is kept,
  // the error is logged, the store stays marked changed and false returns.
  bool writeFile(const std::string& path);

  // Deletes every section.
  void clear();

  // True while the store holds something the last file read or written did
  // not (a key added by getValue, any setValue).
  bool changed() const { return changed_; }
  const std::vector<Section>& sections() const { return sections_; }

 private:
  Section* findSection(const irr::core::stringc& name);

  bool changed_ = false;
  std::vector<Section> sections_;
};
