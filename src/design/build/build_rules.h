// Build-queue rules: how a planet that governs itself fills its own
// construction queue. A build list is an ordered list of rules; each rule
// looks at the planet and may queue a structure, remove one, or hold the
// list back. Empires keep their lists by name (empire::buildLists) and store
// them in their save record.
//
// Build-list record (little-endian):
//
//   field          layout
//   rule count     u16
//   each rule      u32 tag, then the rule's fields:
//                    0  wait for an empty queue: no fields
//
// The rules that build, replace, rebuild or remove structures (tags 1 to 8)
// need sub-system definitions and planets; until they exist a list holding
// one of them is refused like any unknown tag: {5, "Invalid build rule tag"}.
// The rest of an unknown rule's record cannot be told apart from the next
// rule, so the list is never read past it. A short read throws
// {4, "Unexpected EOF"}.
#pragma once

#include <irrArray.h>

#include <cstdint>

#include "core/save_stream.h"

class objHabitation;

constexpr SaveFileError kSaveErrorInvalidBuildRuleTag{5, "Invalid build rule tag"};

// The tags of the rules in the build-list record.
enum BuildRuleTag : uint32_t {
  BRT_WaitForEmptyQueue = 0,
};

// The base of every rule.
class build_priorities {
 public:
  build_priorities() = default;
  build_priorities(const build_priorities&) = delete;
  build_priorities& operator=(const build_priorities&) = delete;

  // True when the rule acted (queued, removed, or held the list back); false
  // lets the next rule try.
  virtual bool apply(objHabitation* planet) = 0;
  // Writes the rule's record: its u32 tag, then its fields.
  virtual void write(SaveStream& stream) const = 0;
  virtual ~build_priorities() = default;
};

// Holds the list back while the planet's construction queue has anything in
// it: true then, false when the queue is empty (and for no planet).
class bp_wait_for_empty_queue : public build_priorities {
 public:
  bool apply(objHabitation* planet) override;
  void write(SaveStream& stream) const override;
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
  // A new list read from its record (the caller owns it); throws
  // SaveFileError and then leaves nothing behind.
  static build_list* load(SaveStream& stream);
};
