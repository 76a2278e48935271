// Name registries and the small text functions that feed them.
//
// Almost every set of named things (definitions, resources, object states,
// formula variables, settings keys, textures, sounds) is an engine array of
// name/value records, sorted by name on demand and searched by halving:
//
//   NamedVar<V, N>   the name itself (wide by default, narrow in the settings
//                    store) and a value of type V;
//   PtrNamedVar<V>   a pointer to a wide name owned elsewhere (normally a
//                    pooled common string, which lives until exit) and a V.
//
// A registry filled by appending is sorted (heap sort) by the first find or
// getOrAdd after the fill; the array's own sorted flag records it, append
// clears it. getOrAdd inserts at the sorted place, so interleaved lookups
// and insertions never sort again. A registry filled only through getOrAdd
// holds each name once; one filled by appending may hold a name twice, and a
// lookup then finds either of them.
//
// Name order (compareNames):
//   wide names compare as their UTF-16 code units, unsigned, the first
//   difference deciding and the end of the shorter name counting as 0. So
//   upper case sorts before lower case, "ab" before "abc", and a character
//   above U+FFFF sorts as its surrogate pair would (after U+D7FF, before
//   U+E000). wchar_t is 32 bits here; texts that differ but have the same
//   UTF-16 form (an unpaired surrogate, or a value that is no character, which
//   orders as U+FFFD) are ordered by their raw values after that, so distinct
//   names never compare equal.
//   narrow names compare byte by byte, each byte a signed 8-bit number, the
//   end of the shorter name counting as 0 (a shorter name first when that
//   ties).
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

// Negative, zero or positive as `a` orders before, equal to or after `b`.
int compareNames(const irr::core::stringw& a, const irr::core::stringw& b);
int compareNames(const irr::core::stringc& a, const irr::core::stringc& b);

namespace names_detail {

// Where a halving search ended: the index of the name when found, else the
// last middle index looked at (the neighbour of the insertion place).
struct SearchResult {
  irr::s32 middle;
  bool found;
};

// Halving search over a registry of at least one entry.
template <class Record, class Name>
SearchResult search(const irr::core::array<Record>& registry, const Name& name) {
  irr::s32 low = 0;
  irr::s32 high = static_cast<irr::s32>(registry.size()) - 1;
  irr::s32 middle = 0;
  while (low <= high) {
    middle = (low + high) / 2;
    const int order = compareNames(name, registry[middle].entryName());
    if (order == 0)
      return {middle, true};
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  return {middle, false};
}

template <class Record, class Name>
irr::s32 findNoSort(const irr::core::array<Record>& registry, const Name& name) {
  if (registry.size() == 0)
    return -1;
  const SearchResult result = search(registry, name);
  return result.found ? result.middle : -1;
}

template <class Record, class Name>
irr::s32 find(irr::core::array<Record>& registry, const Name& name) {
  registry.sort();  // heap sort unless marked sorted; marks it
  return findNoSort(registry, name);
}

// Finds `name`, or inserts `fresh` (holding that name and a zero value) at
// its sorted place. The returned entry is valid until the next insertion or
// append on the registry.
template <class Record, class Name, class MakeRecord>
Record& getOrAdd(irr::core::array<Record>& registry, const Name& name, MakeRecord&& makeRecord) {
  if (registry.size() == 0) {
    registry.push_back(makeRecord());
    registry.set_sorted(true);
    return registry[0];
  }
  registry.sort();
  const SearchResult result = search(registry, name);
  if (result.found)
    return registry[result.middle];
  irr::u32 index = static_cast<irr::u32>(result.middle);
  if (compareNames(registry[index].entryName(), name) < 0)
    ++index;
  registry.insert(makeRecord(), index);
  registry.set_sorted(true);
  return registry[index];
}

}  // namespace names_detail

// A name and a value. V is value-initialised (0, null, empty) in new entries.
template <class V, class N = irr::core::stringw>
struct NamedVar {
  using Registry = irr::core::array<NamedVar>;

  N name;
  V value{};

  NamedVar() = default;
  NamedVar(const N& entryName, const V& entryValue) : name(entryName), value(entryValue) {}

  const N& entryName() const { return name; }
  bool operator<(const NamedVar& other) const { return compareNames(name, other.name) < 0; }

  // Index of the entry named `name`, or -1; sorts the registry first when it
  // is not marked sorted.
  static irr::s32 find(Registry& registry, const N& name) {
    return names_detail::find(registry, name);
  }
  // As find, for registries that their owner keeps sorted.
  static irr::s32 findNoSort(const Registry& registry, const N& name) {
    return names_detail::findNoSort(registry, name);
  }
  // The entry named `name`, inserted with a zero value when absent.
  static NamedVar& getOrAdd(Registry& registry, const N& name) {
    return names_detail::getOrAdd(registry, name, [&] { return NamedVar(name, V()); });
  }
  // getOrAdd for registries whose values are strings (new values empty).
  static NamedVar& getOrAddString(Registry& registry, const N& name) {
    static_assert(
        std::is_same<V, irr::core::stringw>::value || std::is_same<V, irr::core::stringc>::value,
        "getOrAddString is for registries of string values");
    return getOrAdd(registry, name);
  }
  static NamedVar copyEntry(const NamedVar& entry) { return entry; }
};

// A pointer to a wide name owned elsewhere, and a value. The registry never
// frees the names.
template <class V>
struct PtrNamedVar {
  using Registry = irr::core::array<PtrNamedVar>;

  const irr::core::stringw* name = nullptr;
  V value{};

  PtrNamedVar() = default;
  PtrNamedVar(const irr::core::stringw* entryName, const V& entryValue)
      : name(entryName), value(entryValue) {}

  // A record without a name orders as the empty name.
  const irr::core::stringw& entryName() const {
    static const irr::core::stringw kNoName;
    return name ? *name : kNoName;
  }
  bool operator<(const PtrNamedVar& other) const {
    return compareNames(entryName(), other.entryName()) < 0;
  }

  static irr::s32 find(Registry& registry, const irr::core::stringw& name) {
    return names_detail::find(registry, name);
  }
  static irr::s32 findNoSort(const Registry& registry, const irr::core::stringw& name) {
    return names_detail::findNoSort(registry, name);
  }
  // The entry named `name`, inserted with a zero value when absent. A new
  // entry's name pointer comes from `internName`, called as
  // `const irr::core::stringw* internName(const irr::core::stringw&)`: the
  // shared copy of the text in a pool that outlives the registry (the
  // common string list's intern for game registries). It is called only
  // when an entry is inserted; a null result throws std::logic_error and
  // leaves the registry unchanged.
  template <class InternName>
  static PtrNamedVar& getOrAdd(Registry& registry, const irr::core::stringw& name,
                               InternName&& internName) {
    return names_detail::getOrAdd(registry, name, [&] {
      const irr::core::stringw* pooled = internName(name);
      if (!pooled)
        throw std::logic_error("name registry: interning gave no name");
      return PtrNamedVar(pooled, V());
    });
  }
};

// Reads the name of an object for findSortedByObjectName: its member `name`.
struct ObjectNameMember {
  template <class T>
  const irr::core::stringw& operator()(const T& object) const {
    return object.name;
  }
};

// Index of the object named `name` in an array of object pointers that its
// owner keeps sorted by the objects' names, or -1. The array is not sorted
// here. `objectName(object)` gives an object's wide name.
template <class T, class ObjectName = ObjectNameMember>
irr::s32 findSortedByObjectName(const irr::core::array<T*>& objects, const irr::core::stringw& name,
                                ObjectName objectName = ObjectName()) {
  if (objects.size() == 0)
    return -1;
  irr::s32 low = 0;
  irr::s32 high = static_cast<irr::s32>(objects.size()) - 1;
  irr::s32 middle;
  int order;
  do {
    middle = (low + high) / 2;
    order = compareNames(name, objectName(*objects[middle]));
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  } while (order != 0 && low <= high);
  return order == 0 ? middle : -1;
}

// Splits `text` into `out` (emptied first) and returns the number of pieces.
// A piece ends at `separator`; a double quote starts a piece that runs to the
// next double quote and keeps its opening quote (callers drop it with
// unquoteString), or to the end of the text when none follows. Empty pieces
// are skipped. With `trim`, pieces are trimmed of " \t\n\r" and those left
// empty skipped too.
irr::u32 splitQuoted(const irr::core::stringw& text, wchar_t separator,
                     irr::core::array<irr::core::stringw>& out, bool trim);

// `text` without its enclosing double quotes: with at least 2 characters and
// a double quote first, the first character goes, and the last one too when
// it is a double quote. Any other text comes back unchanged.
irr::core::stringw unquoteString(const irr::core::stringw& text);

// Each character becomes one byte, its low 8 bits. Null gives "".
std::string wideToStdString(const wchar_t* text);

// Reads a signed whole number: digits accumulate, '.' and ',' are skipped, a
// '-' as the very first character negates the result, any other character
// (a later '-' too) ends it. Wraps at 32 bits. Empty text gives 0.
int32_t wideStringToInt(const irr::core::stringw& text);
