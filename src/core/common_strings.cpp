#include "core/common_strings.h"

#include <algorithm>
#include <limits>

namespace {

bool ordersBefore(const irr::core::stringw* entry, const irr::core::stringw& text) {
  return compareNames(*entry, text) < 0;
}

// Index of `text` in a view sorted by compareNames, or -1.
irr::s32 indexIn(const std::vector<const irr::core::stringw*>& view, const irr::core::stringw& text) {
  const auto at = std::lower_bound(view.begin(), view.end(), text, ordersBefore);
  if (at == view.end() || compareNames(**at, text) != 0)
    return -1;
  return static_cast<irr::s32>(at - view.begin());
}

}  // namespace

// ---------------------------------------------------------------------------
// The pool

std::vector<CommonStringList::strEntry>::const_iterator CommonStringList::lowerBound(
    const irr::core::stringw& text) const {
  return std::lower_bound(entries_.begin(), entries_.end(), text, ordersBefore);
}

bool CommonStringList::holds(std::vector<strEntry>::const_iterator at, const irr::core::stringw& text) const {
  return at != entries_.end() && compareNames(**at, text) == 0;
}

const irr::core::stringw* CommonStringList::intern(const irr::core::stringw& text) {
  {
    ScopedReadLock read(lock_);
    const auto at = lowerBound(text);
    if (holds(at, text))
      return *at;
  }
  // Another thread may have added the text between the two locks: search
  // again before inserting.
  ScopedWriteLock write(lock_);
  const auto at = lowerBound(text);
  if (holds(at, text))
    return *at;
  return *entries_.insert(at, new irr::core::stringw(text));
}

irr::s32 CommonStringList::find(const irr::core::stringw& text) const {
  ScopedReadLock read(lock_);
  const auto at = lowerBound(text);
  return holds(at, text) ? static_cast<irr::s32>(at - entries_.begin()) : -1;
}

irr::u32 CommonStringList::size() const {
  ScopedReadLock read(lock_);
  return static_cast<irr::u32>(entries_.size());
}

std::vector<const irr::core::stringw*> CommonStringList::snapshot() const {
  ScopedReadLock read(lock_);
  return std::vector<const irr::core::stringw*>(entries_.begin(), entries_.end());
}

void CommonStringList::clear() {
  ScopedWriteLock write(lock_);
  for (strEntry entry : entries_)
    delete entry;
  entries_.clear();
  entries_.shrink_to_fit();
}

CommonStringList& commonStringList() {
  // Never destroyed: pooled names are read until the very end of the program.
  static CommonStringList* pool = new CommonStringList;
  return *pool;
}

const irr::core::stringw* internCommonString(const irr::core::stringw& text) {
  return commonStringList().intern(text);
}

// ---------------------------------------------------------------------------
// The section and references

void writeCommonStringsSection(SaveStream& stream, CommonStringList& pool,
                               const std::vector<irr::core::stringw>* extra) {
  std::vector<const irr::core::stringw*> view = pool.snapshot();
  if (extra != nullptr) {
    for (const irr::core::stringw& text : *extra) {
      const auto at = std::lower_bound(view.begin(), view.end(), text, ordersBefore);
      if (at == view.end() || compareNames(**at, text) != 0)
        view.insert(at, &text);
    }
  }
  if (view.empty())
    throw kSaveErrorCommonStringsCount;
  if (view.size() > std::numeric_limits<uint32_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU32(static_cast<uint32_t>(view.size()));
  for (const irr::core::stringw* text : view)
    stream.writeString(*text);
  stream.writeMarker();
  stream.commonStrings() = std::move(view);
}

void readCommonStringsSection(SaveStream& stream, CommonStringList& pool) {
  const uint32_t count = stream.readU32();
  if (count == 0)
    throw kSaveErrorCommonStringsCount;
  // Each string takes at least its 2-byte length, and the marker follows.
  stream.expectBytes(2ull * count + 4);
  std::vector<const irr::core::stringw*>& table = stream.commonStrings();
  table.clear();
  table.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    irr::core::stringw text;
    stream.readString(text);
    table.push_back(pool.intern(text));
  }
  stream.readMarker(kSaveErrorCommonStringsMarker);
}

void saveCommonString(SaveStream& stream, const irr::core::stringw& text) {
  const irr::s32 index = indexIn(stream.commonStrings(), text);
  if (index < 0)
    throw kSaveErrorInvalidCommonString;
  stream.writePackedUInt(static_cast<uint32_t>(index));
}

const irr::core::stringw* readCommonString(SaveStream& stream) {
  const uint32_t index = stream.readPackedUInt();
  const std::vector<const irr::core::stringw*>& table = stream.commonStrings();
  if (index >= table.size())
    throw kSaveErrorInvalidCommonString;
  return table[index];
}

// ---------------------------------------------------------------------------
// Named-value lists

void writeNamedValueList(SaveStream& stream, const NamedValueList& list) {
  if (list.size() > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU16(static_cast<uint16_t>(list.size()));
  for (irr::u32 i = 0; i < list.size(); ++i) {
    saveCommonString(stream, list[i].entryName());
    stream.writeFloat(list[i].value);
  }
}

void readNamedValueList(SaveStream& stream, NamedValueList& list) {
  const uint16_t count = stream.readU16();
  if (count == 0)
    return;
  // Entries are gathered apart and room grows only with what was read, so a
  // damaged count allocates nothing and a damaged entry leaves `list` as it
  // was. Each entry takes at least 5 bytes.
  NamedValueList entries;
  entries.reallocate(static_cast<irr::u32>(std::min<uint64_t>(count, stream.remaining() / 5)));
  for (uint16_t i = 0; i < count; ++i) {
    const irr::core::stringw* name = readCommonString(stream);
    const float value = stream.readFloat();
    entries.push_back(PtrNamedVar<float>(name, value));
  }
  list.swap(entries);
}
