// Build-queue rules: how a planet that governs itself fills its own
// construction queue. A build list is an ordered list of rules; each rule
// looks at the planet and may queue a structure, remove one, or hold the
// list back. Empires keep their lists by name (empire::buildLists), store
// them in their save record and read them from "build_queues.xml"
// (build_queue_file.h).
//
// Build-list record (little-endian; "def" is a sub-system definition's
// numeric ID, "name" a packed reference into the common strings):
//
//   field          layout
//   rule count     u16
//   each rule      u32 tag, then the rule's fields:
//                    0  wait for an empty queue: nothing
//                    1  build n: def, u32 count
//                    2  build per n: def, u32 per
//                    3  build when needed: def, name resource, f32 threshold,
//                       u8 ratio mode
//                    4  replace when useless: def new, def old (0 for none),
//                       name resource, f32 threshold, u8 when below,
//                       u8 ratio mode
//                    5  build at random: u32 item count, per item def (0 for
//                       none) and u32 weight, then u32 total weight
//                    6  rebuild at random: f32 level threshold
//                    7  build special: name tag, def
//                    8  remove at random: u16 def count, each def
//                    9  scripted: u16 length, then that many 8-bit
//                       characters "module::function" (length 0 when the
//                       function no longer exists)
//
// Reading: tags 1, 2, 3 and 7 naming no definition throw {5, "Invalid Sub
// System id"}; tags 4 and 5 keep an unknown definition as none, and tag 8
// skips it. A weight of 0 reads as 1. Counts are checked against the bytes
// left before anything is allocated. A tag above 9 throws {5, "Invalid
// build rule tag"}: the rest of an unknown rule's record cannot be told
// apart from the next rule, so the list is never read past it. A short read
// throws {4, "Unexpected EOF"}, a bad string reference {5, "Invalid Common
// String reference"}.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <vector>

#include "core/save_stream.h"

class objHabitation;
struct SubSystemDef;

constexpr SaveFileError kSaveErrorInvalidBuildRuleTag{5, "Invalid build rule tag"};
constexpr SaveFileError kSaveErrorInvalidSubSystemId{5, "Invalid Sub System id"};

// The tags of the rules in the build-list record.
enum BuildRuleTag : uint32_t {
  BRT_WaitForEmptyQueue = 0,
  BRT_BuildN = 1,
  BRT_BuildPerN = 2,
  BRT_BuildWhenNeeded = 3,
  BRT_ReplaceWhenUseless = 4,
  BRT_BuildRand = 5,
  BRT_RebuildRand = 6,
  BRT_BuildSpecial = 7,
  BRT_RemoveRand = 8,
  BRT_Scripted = 9,
};

// The base of every rule.
class build_priorities {
 public:
  build_priorities() = default;
  build_priorities(const build_priorities&) = delete;
  build_priorities& operator=(const build_priorities&) = delete;

  // True when the rule acted (queued, removed, or held the list back); false
  // lets the next rule try. Runs on the galaxy thread that ticks the planet;
  // a null planet gives false, as does one without an owner for every rule
  // that would build or remove.
  virtual bool apply(objHabitation* planet) = 0;
  // Writes the rule's record: its u32 tag, then its fields.
  virtual void write(SaveStream& stream) const = 0;
  virtual ~build_priorities() = default;
};

// Queues a structure of `def` on `planet` when its owner can build `def`
// (the definition is among the owner's sub-system levels): true then. The
// level is looked up under the owner's sub-system-levels area, which is let
// go before the item is made (making it evaluates the owner's variables).
// A definition the owner cannot build, or an item that cannot be made
// (InvalidConstruct), gives false.
bool buildStructureIfAvailable(const SubSystemDef* def, objHabitation* planet);

// Whether the planet's structures fill its space: count >= maximum (a planet
// can hold more than its space allows after the space shrank).
bool planetStructuresFull(const objHabitation* planet);

// Holds the list back while the planet's construction queue has anything in
// it: true then, false when the queue is empty.
class bp_wait_for_empty_queue : public build_priorities {
 public:
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;
};

// Builds `def` until the planet has `count` of them (queued ones do not
// count); with count 1, only while it has none.
class bp_build_n : public build_priorities {
 public:
  bp_build_n(const SubSystemDef* def, uint32_t count) : def(def), count(count) {}
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  const SubSystemDef* def;
  uint32_t count;
};

// One `def` for every `per` structures of the planet (integer division);
// per 0 never builds.
class bp_build_per_n : public build_priorities {
 public:
  bp_build_per_n(const SubSystemDef* def, uint32_t per) : def(def), per(per) {}
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  const SubSystemDef* def;
  uint32_t per;
};

// Builds `def` while the planet's state `resource` is below `threshold`:
// val / max in ratio mode, else max - required. A planet without the state
// always builds.
class bp_build_when_needed : public build_priorities {
 public:
  bp_build_when_needed(bool ratioMode, float threshold, const SubSystemDef* def, const irr::core::stringw* resource)
      : ratioMode(ratioMode), threshold(threshold), def(def), resource(resource) {}
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  bool ratioMode;
  float threshold;
  const SubSystemDef* def;
  const irr::core::stringw* resource;  // pooled in the common strings
};

// When the planet's state `resource` (val / max in ratio mode, else val; 0
// without the state) is below `threshold` (`whenBelow`) or above it
// (otherwise), orders the first structure of `oldDef` removed (appended to
// the planet's orders) and builds `newDef` in its place.
class bp_replace_when_useless : public build_priorities {
 public:
  bp_replace_when_useless(const SubSystemDef* newDef, const SubSystemDef* oldDef, const irr::core::stringw* resource,
                          float threshold, bool whenBelow, bool ratioMode)
      : newDef(newDef),
        oldDef(oldDef),
        resource(resource),
        threshold(threshold),
        whenBelow(whenBelow),
        ratioMode(ratioMode) {}
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  const SubSystemDef* newDef;  // may be null (unknown in a record)
  const SubSystemDef* oldDef;  // may be null
  const irr::core::stringw* resource;
  float threshold;
  bool whenBelow;
  bool ratioMode;
};

// Builds one of its items, picked at random by weight. A total weight of 0
// never builds.
class bp_build_rand : public build_priorities {
 public:
  struct buildWithWeight {
    const SubSystemDef* def;  // may be null (unknown in a record)
    uint32_t weight;
  };

  // Appends {def, weight (0 counts as 1)} and adds the weight to the total.
  void addItem(const SubSystemDef* def, uint32_t weight);

  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  irr::core::array<buildWithWeight> items;
  uint32_t totalWeight = 0;
};

// Rebuilds a structure picked at random when the owner's level of its
// definition is at least `levelThreshold` above the structure's level.
class bp_rebuild_rand : public build_priorities {
 public:
  explicit bp_rebuild_rand(float levelThreshold) : levelThreshold(levelThreshold) {}
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  float levelThreshold;
};

// Builds `def` unless one of the planet's structures carries `tag`.
class bp_build_special : public build_priorities {
 public:
  bp_build_special(const SubSystemDef* def, const irr::core::stringw* tag) : def(def), tag(tag) {}
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  const SubSystemDef* def;
  const irr::core::stringw* tag;  // pooled in the common strings
};

// Removes a structure picked at random when its definition is listed.
class bp_remove_rand : public build_priorities {
 public:
  // Adds a definition (null is ignored, as is one already listed). The
  // list is kept ordered by ID as it is filled, so that the galaxy threads
  // applying the rule at once only ever search it.
  void addDef(const SubSystemDef* def);
  bool contains(const SubSystemDef* def) const;  // binary search

  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;

  std::vector<const SubSystemDef*> defs;  // ordered by ID
};

// Asks a server script function "bool <name>(Planet@)" what to do: its
// answer is the rule's.
class bp_scripted : public build_priorities {
 public:
  // Looks "module::function" up among the server scripts. When there is no
  // such function, logs "Unable to find 'bool <name>(Planet@)'" as an error
  // and keeps a negative id: the rule then gives false. An empty name
  // gives a negative id without a message (a record of a lost function).
  explicit bp_scripted(const irr::core::stringc& name);

  bool apply(objHabitation* planet) override;
  // Tag 9, then the function's "module::function" (length 0 when the
  // function is gone).
  void write(SaveStream& stream) const override;

  int32_t functionId = -1;
};

// An ordered list of rules, tried in order.
class build_list : public build_priorities {
 public:
  build_list() = default;
  ~build_list() override;  // deletes its rules

  irr::core::array<build_priorities*> rules;  // owned

  // True at the first rule that answers true; false when none does or the
  // list is empty.
  bool apply(objHabitation* planet) override;
  // The rule count, then each rule's record. More than 65,535 rules throw
  // {5, "Too many entries for the save file"}.
  void write(SaveStream& stream) const override;
  // Same as readBuildList.
  static build_list* load(SaveStream& stream);
};

// A new list read from its record (the caller owns it); throws
// SaveFileError and then leaves nothing behind.
build_list* readBuildList(SaveStream& stream);
