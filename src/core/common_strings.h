// The common string list: the process-wide pool of shared wide strings, one
// stored copy of each distinct text. Names that many records share (stat and
// variable names, message keys, definition and order names) are interned
// once and held by pointer; a pooled string is never changed or freed before
// the program ends, so those pointers stay valid.
//
// The pool is kept sorted by compareNames (UTF-16 code units compared as
// unsigned numbers, a prefix first) under its read/write lock; any thread may
// intern and look up at any time.
//
// In a saved game:
//
//   record                    layout
//   common strings section    u32 count N (never 0), then N wide strings in
//                             pool order, then the section marker
//   string reference          its index in that section, packed unsigned
//   named-value list          u16 count K, then K entries: the name as a
//                             string reference, the value as a 4-byte float
//
// A save refers to the pool as it stood when its section was written: the
// writing stream keeps that view, so strings interned afterwards (by other
// threads, or by the saving thread itself through script save hooks) never
// shift an index written later. A reference to a string outside that view
// throws {5, "Invalid Common String reference"} and the save is abandoned.
// A loading stream keeps the table of the section's strings for the load.
#pragma once

#include <irrString.h>

#include <vector>

#include "core/locks.h"
#include "core/names.h"
#include "core/save_stream.h"

constexpr SaveFileError kSaveErrorInvalidCommonString{5, "Invalid Common String reference"};
constexpr SaveFileError kSaveErrorCommonStringsCount{5, "Invalid CommonStrings list"};
constexpr SaveFileError kSaveErrorCommonStringsMarker{5, "Error in Common Strings list"};

class CommonStringList {
 public:
  using strEntry = irr::core::stringw*;

  CommonStringList() = default;
  CommonStringList(const CommonStringList&) = delete;
  CommonStringList& operator=(const CommonStringList&) = delete;
  ~CommonStringList() { clear(); }

  // The pooled copy of `text`, added when the text is not pooled yet.
  const irr::core::stringw* intern(const irr::core::stringw& text);
  // The index of `text` in the pool, or -1. An index moves up when a text
  // that orders before it is interned.
  irr::s32 find(const irr::core::stringw& text) const;
  irr::u32 size() const;
  // Every pooled string in pool order, taken at one moment.
  std::vector<const irr::core::stringw*> snapshot() const;
  // Frees every pooled string (at program exit: every pointer handed out
  // becomes invalid).
  void clear();

 private:
  // Where `text` is or belongs; the caller holds the lock.
  std::vector<strEntry>::const_iterator lowerBound(const irr::core::stringw& text) const;
  // True when `at` (from lowerBound) is the entry of `text`.
  bool holds(std::vector<strEntry>::const_iterator at, const irr::core::stringw& text) const;

  mutable ReadWriteLock lock_;
  std::vector<strEntry> entries_;
};

// The process-wide pool.
CommonStringList& commonStringList();
// The process-wide pool's copy of `text`: the interning function for name
// registries of pooled names (PtrNamedVar::getOrAdd).
const irr::core::stringw* internCommonString(const irr::core::stringw& text);

// Writes the common strings section from `pool` and keeps its view on the
// stream for the references that follow. An empty pool throws {5, "Invalid
// CommonStrings list"}: such a save could never be loaded.
// Strings in `extra` (names owned outside the pool, which a reader pools as
// any other) join the section in their place; the stream's view points at
// them, so they must stay unchanged while the references are written.
void writeCommonStringsSection(SaveStream& stream, CommonStringList& pool = commonStringList(),
                               const std::vector<irr::core::stringw>* extra = nullptr);
// Reads the section: the count (0 throws {5, "Invalid CommonStrings list"}),
// each string interned in `pool` in turn, then the marker ({5, "Error in
// Common Strings list"} when wrong).
void readCommonStringsSection(SaveStream& stream, CommonStringList& pool = commonStringList());

// Writes the reference of `text`, which the section must hold.
void saveCommonString(SaveStream& stream, const irr::core::stringw& text);
// Reads a reference: the pooled string of the section's entry.
const irr::core::stringw* readCommonString(SaveStream& stream);

using NamedValueList = PtrNamedVar<float>::Registry;

// Writes a named-value list; every name must be in the section. More than
// 65,535 entries throw {5, "Too many entries for the save file"}.
void writeNamedValueList(SaveStream& stream, const NamedValueList& list);
// Replaces the contents of `list` with the stored entries; a stored count of
// 0 leaves it unchanged, and so does an error.
void readNamedValueList(SaveStream& stream, NamedValueList& list);
