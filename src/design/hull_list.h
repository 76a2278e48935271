// Hull layouts: one ship or station design of one empire. A layout is a set
// of placed sub-systems (each an instance of a sub-system definition at a
// scale, at a position on the design grid, optionally linked to another
// placed sub-system), the design's overall scale, the standing orders and
// targeting rules of the ships built from it, and the figures derived from
// its sub-systems (mass, role, tags, damage orders).
//
// A layout's sub-systems never change once it is made: a changed design is a
// new layout (a new revision), and the old one is marked obsolete and points
// at its successor through `newer`.
//
// Layouts are shared by counted reference (refCounted): the owner's layout
// table, every ship built from the design, build-queue items and scripts each
// hold one, and the last drop deletes the layout. Any thread may grab and
// drop.
//
// Save record of a layout (inside its owner's record, which writes the
// layout's name after it). Little-endian; the writer always writes the
// newest form, the reader the form of the stream's version:
//
//   field                                    layout              versions
//   scale                                    f32
//   mass                                     f64
//   metadata                                 i32
//   revision                                 u32
//   obsolete                                 u8
//   role                                     u32
//   targetScaleMin, targetScaleMax           f32, f32            18 on
//   targetScaleSet                           u8                  18 on
//   targetDamageMin, targetDamageMax         f32, f32            18 on
//   targetDamageSet                          u8                  18 on
//   orbits, spareFlag, allowShipTargets,
//     allowPlanetTargets                     u8 each             18 on
//   depositTargets[0], [1], allowFetch       u8 each             26 on
//   targetScaleExclusive,
//     targetDamageExclusive                  u8 each             30 on
//   order count                              u16
//   each order                               presence byte, then each
//                                            present string as a common
//                                            string reference
//   placed sub-system count                  u16
//   each placed sub-system                   the sub-system record, x and
//                                            y (f32), link (i16, 23 on)
//   updateThreshold                          f32                 10 on
//
// Before version 18 the targeting fields are one 24-byte block instead:
// targetScaleMin, targetScaleMax (f32), targetScaleSet (u8), 3 unused bytes,
// targetDamageMin, targetDamageMax (f32), targetDamageSet, orbits, spareFlag
// (u8), 1 unused byte; both target kinds and fetching are then allowed.
// From 18 to 25 fetching is allowed and the deposit flags keep their
// defaults; before 30 both exclusive flags are off; before 23 every link is
// -1; before 10 the update threshold stays 10.0.
//
// Bit 0 of an order's presence byte says the order's name follows (an entry
// without it is dropped on reading), bits 1 and 2 that its first and second
// argument follow; the writer gives 0, 1, 3 or 7 (5 for a name and a second
// argument alone).
//
// Each placed sub-system is the sub-system record of its instance
// (sub_system.h). After reading, the layout's tags (every tag of every
// definition), its count of sub-systems with effectors and its damage
// orders are rebuilt; mass, role and orders come from the record.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>

#include "core/ref_counted.h"
#include "core/save_stream.h"
#include "design/build/constructible.h"

namespace RakNet {
class BitStream;
}

class empire;
class subSystem;
class SubSystemDef;


// The design roles (the value of hull_list::role), with the names ship sets
// use for them.
enum HullRole : uint32_t {
  HullRole_Civilian = 0,
  HullRole_Cargo = 1,
  HullRole_Transport = 2,
  HullRole_CivStation = 3,
  HullRole_ColonyShip = 4,
  HullRole_Combat = 5,
  HullRole_Carrier = 6,
  HullRole_Station = 7,
};

// The targeting and order permissions of a design: one 32-byte unit, copied
// whole between a layout description and a layout and sent byte for byte
// over the network, so its layout is fixed. The defaults are those of a
// freshly reset description.
struct hull_targeting {
  float targetScaleMin = 0.0f;         // preferred range of target scales
  float targetScaleMax = 0.0f;
  bool targetScaleSet = false;         // the scale range is in force
  bool targetScaleExclusive = false;   // targets outside it are not attacked
  uint8_t unusedA[2] = {0, 0};
  float targetDamageMin = 0.0f;        // preferred range of target damage
  float targetDamageMax = 0.0f;
  bool targetDamageSet = false;        // the damage range is in force
  bool targetDamageExclusive = false;
  bool orbits = true;                  // ships circle their targets
  bool spareFlag = true;               // kept in saves and copies, read by nothing
  bool allowShipTargets = true;        // ships may be chosen as attack targets
  bool allowPlanetTargets = true;      // planets may be chosen as attack targets
  bool depositTargets[2] = {false, true};
  bool allowFetch = false;
  uint8_t unusedB[3] = {0, 0, 0};
};
static_assert(sizeof(bool) == 1, "the targeting block stores its flags as single bytes");
static_assert(sizeof(hull_targeting) == 32, "the targeting block is 32 bytes");
static_assert(offsetof(hull_targeting, targetDamageMin) == 12 && offsetof(hull_targeting, orbits) == 22 &&
                  offsetof(hull_targeting, depositTargets) == 26 && offsetof(hull_targeting, allowFetch) == 28,
              "the targeting block's fields sit at fixed offsets");

// One sub-system of a design: its instance (owned by the layout; it holds the
// definition and the sub-system's scale), its place on the design grid and the
// index of the placed sub-system it is linked to (-1 for none).
struct placedSubSystem {
  subSystem* system = nullptr;
  float x = 0.0f;
  float y = 0.0f;
  int32_t link = -1;
};

// A design as it is handed in to be made into a layout: the entries to
// place, the design scale, the metadata and the targeting block.
struct layout_desc {
  struct system {
    const SubSystemDef* def = nullptr;
    float scale = 1.0f;  // the sub-system's own scale
    float x = 0.0f;
    float y = 0.0f;
    int32_t link = -1;  // the index of the entry it is linked to
  };
  // Scale 1.0, no entries, the targeting defaults; `metadata` is kept.
  void reset();

  irr::core::array<system> systems;
  float scale = 1.0f;
  int32_t metadata = 0;
  hull_targeting targeting;
};

// A rejected design: the localised text of the first fault met.
struct hullCreationError {
  irr::core::stringw text;
};
// A design whose sub-systems take more space than its hull gives.
struct hullSpaceError {
  irr::core::stringw text;
  float taken = 0.0f;
  float available = 0.0f;
};

class hull_list : public refCounted {
 public:
  // One step of a damage order: the position of a placed sub-system in
  // `systems`, and that entry.
  struct damageOrderEntry {
    uint32_t index = 0;
    placedSubSystem* entry = nullptr;
  };

  // A standing order of the design's ships: the order's name and its two
  // arguments, each an interned common string or null. Not owned.
  struct orderEntry {
    const irr::core::stringw* order = nullptr;
    const irr::core::stringw* argument = nullptr;
    const irr::core::stringw* secondArgument = nullptr;
  };

  // The number of damage orders: for each of four points around the design,
  // one over all sub-systems and one over the pre-damage list.
  static constexpr int kDamageOrderCount = 8;

  // An empty layout named `name` for `owner`: no sub-systems, tags, orders or
  // damage orders; scale 1.0, mass 0, role 0 (Civilian), revision 1, update
  // threshold 10.0, the targeting defaults, current (not obsolete, no newer
  // revision). It starts with one reference, the caller's. Placeholders for
  // designs this process does not know are made this way and then given their
  // role and scale.
  hull_list(const irr::core::stringw& name, empire* owner);

  // Makes and checks a layout of `owner` (null: the empire with ID 255)
  // from `desc`; throws hullCreationError or hullSpaceError, leaving nothing
  // behind. `allowInvalid` passes designs that lack a hull, overfill it or
  // hold unavailable sub-systems, but never a scale or link fault.
  hull_list(const layout_desc& desc, empire* owner, bool allowInvalid);

  // A new revision of this design with the owner's current values; null
  // when a sub-system is no longer available or the design no longer
  // passes.
  hull_list* makeUpdatedCopy(empire* newOwner) const;
  // A copy of another empire's design for `newOwner` (revision 1).
  hull_list* makeForeignCopy(empire* newOwner) const;
  // The sum over the placed sub-systems of "{L}" evaluated now for the
  // owner minus the instance's "{L}".
  float getLevelGain() const;
  // Marks the layout obsolete and forgets its newer revision.
  void set_obsolete();
  // A copy of the name, safe on any thread: a newer revision of the same
  // name renames this layout (rename) while ships and build items of it
  // read the name on the galaxy threads. Plain `name` is for layouts not yet
  // shared and for readers that run while the simulation stands still.
  irr::core::stringw getName() const;
  void rename(const irr::core::stringw& newName);
  // Whether a placed sub-system carries `tag`.
  bool hasSystemWithTag(const irr::core::stringw& tag) const;
  // Adds every placed sub-system's evaluated costs into `list`, summed by
  // the definitions' cost names (entries made at 0 when absent).
  void addCostsTo(constructible::CostList& list) const;

  // Writes the layout's save record. Throws {5, "Invalid Common String
  // reference"} for an order string outside the stream's common strings and
  // {5, "Too many entries for the save file"} for more than 65,535 orders.
  void save(SaveStream& stream) const;
  // A new layout of `owner` read from its save record, unnamed (the owner's
  // record names it), with one reference, the caller's. Throws SaveFileError
  // and then leaves nothing behind.
  static hull_list* load(SaveStream& stream, empire* owner);

  empire* owner = nullptr;
  std::unique_ptr<placedSubSystem[]> systems;  // systemCount entries, in design order
  irr::core::array<damageOrderEntry> damageOrders[kDamageOrderCount];
  // Interned tag names, ordered by their text.
  struct TagOrder {
    bool operator()(const irr::core::stringw* a, const irr::core::stringw* b) const;
  };
  std::set<const irr::core::stringw*, TagOrder> tags;
  irr::core::array<orderEntry> orders;
  hull_targeting targeting;
  uint32_t systemCount = 0;
  uint32_t effectorSystemCount = 0;  // placed sub-systems that carry effectors
  bool obsolete = false;             // a newer revision replaces this layout
  float scale = 1.0f;                // the square root of the design scale
  double mass = 0.0;                 // the sum of the sub-systems' "{M}"
  irr::core::stringw name;
  uint32_t role = HullRole_Civilian;  // a HullRole
  uint32_t revision = 1;
  int32_t metadata = 0;  // free for scripts
  float updateThreshold = 10.0f;
  hull_list* newer = nullptr;  // the replacing revision; not counted

 protected:
  // Only the last drop deletes a layout.
  ~hull_list() override;
};

// Message 127: sends `layout` to the player who controls its empire (a
// server) or to the server (a client); with `replacedName`, also the name
// of the layout this one replaces and the name that one takes. A layout of
// more than 255 placed sub-systems is not sent (logged).
void sendHullLayout(const hull_list* layout, const irr::core::stringw* replacedName = nullptr,
                    const irr::core::stringw* replacementName = nullptr);
// Writes the body of message 127 (the id first) for `layout`; false, with
// nothing written, for more than 255 placed sub-systems.
bool writeHullLayoutMessage(RakNet::BitStream& stream, const hull_list* layout,
                            const irr::core::stringw* replacedName, const irr::core::stringw* replacementName);
// Reads the body after the id and files the layout in its empire's table.
// Returns the error text of a rejected design, empty when it was filed or
// the message was dropped. A layout that would add names to a table holding
// `nameLimit` names or more is dropped (names already there can always be
// filed again).
irr::core::stringw readHullLayoutMessage(RakNet::BitStream& stream, irr::u32 nameLimit = 0xFFFFFFFFu);
