// Build-queue items: one entry of an object's construction queue. The
// object pays its front item every tick from its own resource states; once
// everything is paid it announces the item and calls its completion, which
// spawns a ship or installs a structure. Four kinds: a new ship of a hull
// layout, the retrofit of a ship to a new layout, a planet structure of a
// sub-system definition, and the rebuild of a planet's structure at its
// owner's current level.
//
// Save record of an item (inside the owning object's record, little-endian):
//
//   field                 width                        ship  structure
//   type                  u8: 4 ship, 1 structure, 0 base or rebuild
//                         (nothing follows 0)
//   cost count            u16                          yes   yes
//   per cost: name        packed u32, common string    yes   yes
//   per cost: amount,     2 x f32                      yes   yes
//             paid
//   owner empire ID       one byte (4 before version   yes   -
//                         12): the layout's owner
//   layout name           wide string                  yes   -
//   retrofit flag         u8 (version 32 on)           yes   -
//   structure             the sub-system record        -     yes
//
// A base or rebuild item writes only the byte 0 and is not restored; a
// rebuild item logs a warning naming itself and its object when saved, as
// what it paid is lost.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <exception>

#include "core/names.h"
#include "core/save_stream.h"
#include "universe/objects/object_states.h"

class generic_object;
class hull_list;
class objHabitation;
class SubSystemDef;
class subSystem;

// The record type bytes.
enum ConstructibleRecordType : uint8_t {
  CRT_None = 0,       // base and rebuild items: not restored
  CRT_Structure = 1,
  CRT_Ship = 4,
};

constexpr SaveFileError kSaveErrorInvalidBuildItem{5, "Invalid build queue item"};
constexpr SaveFileError kSaveErrorInvalidItemLayout{5, "Invalid hull layout name in constructible"};

// An item that cannot be made: a rebuild that would not raise the
// structure's level, or a structure (or rebuild) for a planet without an
// owner. Callers catch it and make no item.
class InvalidConstruct : public std::exception {
 public:
  const char* what() const noexcept override;
};

class constructible {
 public:
  struct cost {
    float amount = 0.0f;  // the total to pay
    float paid = 0.0f;    // paid so far
  };
  using CostList = irr::core::array<PtrNamedVar<cost>>;

  constructible() = default;
  constructible(const constructible&) = delete;
  constructible& operator=(const constructible&) = delete;
  virtual ~constructible() = default;

  // Applies the finished item to the object that built it.
  virtual void complete(generic_object* builder) = 0;
  // The display name; empty for the base.
  virtual irr::core::stringw getName() const { return irr::core::stringw(); }
  // The kind text; empty for the base.
  virtual irr::core::stringw getType() const { return irr::core::stringw(); }
  // Pays for one time step from the builder's states; true once everything
  // is paid.
  virtual bool payCosts(StateList& states, generic_object* builder, float seconds);
  // Paid over total amount; 0 when the total is not positive.
  virtual float getProgress() const;
  // True for ships (and the base), false for structures.
  virtual bool buildsShip() const { return true; }
  // Writes the item's record: the base writes the type byte 0.
  virtual void save(SaveStream& stream) const;
  // A fresh copy for a repeating queue; null for the base.
  virtual constructible* clone() const { return nullptr; }

  // Stored by the first pass of payCosts: the entries in name order.
  CostList costs;

 protected:
  // Adds `amount` to the cost entry named `name` (made at 0 when absent).
  void addCost(const irr::core::stringw& name, float amount);
  // Writes the cost count and the entries (names as common strings).
  void saveCosts(SaveStream& stream) const;
  // Reads what saveCosts wrote into `costs`.
  void loadCosts(SaveStream& stream);
};

// Index of the cost entry named `name` in `list`, or -1; sorts the list
// first when it is not marked sorted.
irr::s32 findNamedCost(constructible::CostList& list, const irr::core::stringw& name);

// A new ship of a hull layout (retrofitFlag 0), or a ship retrofitted to it
// (retrofitFlag 1, made by makeRetrofitConstructible). Type text "ship".
class ShipConstructible : public constructible {
 public:
  // Takes a reference on `layout` (may be null) and owes its costs.
  explicit ShipConstructible(hull_list* layout);
  ~ShipConstructible() override;  // drops the layout

  // Spawns the ship beside the builder (see the source for the placement,
  // the park orbit and the rally point). Nothing without a layout, without
  // an owner, or when the owner's construction checks refuse the layout.
  void complete(generic_object* builder) override;
  // The layout's name; "#retrofit" text, a blank and the name for a
  // retrofit; empty without a layout.
  irr::core::stringw getName() const override;
  irr::core::stringw getType() const override;
  bool buildsShip() const override { return true; }
  void save(SaveStream& stream) const override;
  // A new item for the newest revision of the layout (its owner's
  // getUpdatedHull with threshold -1.0); null without a layout.
  constructible* clone() const override;

  uint8_t retrofitFlag = 0;
  hull_list* layout = nullptr;  // counted
};

// The retrofit of `oldShip` to `newLayout`: owes the new layout's costs less
// `factor` times the old layout's cost of the same name (never below 0),
// and marks the old ship destroyed and quiet, so that its next tick removes
// it without a word.
ShipConstructible* makeRetrofitConstructible(hull_list* newLayout, generic_object* oldShip, float factor);

// A planet structure of a sub-system definition. Type text "structure".
class StructureConstructible : public constructible {
 public:
  // Evaluates the instance for `planet` through a sub-system factory and
  // owes its costs. Throws InvalidConstruct when the planet has no owner
  // (no instance can be made for it).
  StructureConstructible(const SubSystemDef* def, objHabitation* planet);
  ~StructureConstructible() override;  // deletes an instance still held

  // Hands the instance to the planet (addStructure); a full planet leaves
  // it with the item, which deletes it.
  void complete(generic_object* object) override;
  irr::core::stringw getName() const override;  // the definition's name
  irr::core::stringw getType() const override;
  bool buildsShip() const override { return false; }
  void save(SaveStream& stream) const override;
  // Null when `planet` is unknown, full, or no longer allows the
  // definition; else a new item for the same definition and planet.
  constructible* clone() const override;

  subSystem* structure = nullptr;  // owned until completion
  const SubSystemDef* def = nullptr;
  objHabitation* planet = nullptr;  // null after loading until completed

 private:
  friend constructible* loadConstructible(SaveStream& stream);
  StructureConstructible() = default;
};

// The rebuild of a planet's structure at its owner's current level. Type
// text "rebuild". Saved as the byte 0 (with a warning) and not restored.
class RebuildStructureConstructible : public constructible {
 public:
  // Makes the new instance for `planet` and owes 0.1 x the old and 0.2 x
  // the new instance's costs. Throws InvalidConstruct, keeping nothing,
  // when the new "{L}" does not exceed the old one or the planet has no
  // owner.
  RebuildStructureConstructible(subSystem* oldStructure, objHabitation* planet);
  ~RebuildStructureConstructible() override;  // deletes newStructure when still held

  // Swaps the new instance into the old one's slot, running the events the
  // slot's state calls for; nothing when the old structure is gone or the
  // definition no longer allows building there.
  void complete(generic_object* object) override;
  irr::core::stringw getName() const override;
  irr::core::stringw getType() const override;
  bool buildsShip() const override { return false; }
  void save(SaveStream& stream) const override;

  subSystem* oldStructure = nullptr;  // the planet's; not owned
  subSystem* newStructure = nullptr;  // owned until completion
  objHabitation* planet = nullptr;    // for the warning when saved
};

// Reads an item record: null for the type byte 0 (nothing more read), a
// ship or structure item for 4 or 1. Throws SaveFileError: {5, "Invalid
// build queue item"} for any other type byte, {4, "Unexpected EOF"},
// {5, "Invalid Common String reference"}, {5, "Invalid hull layout name in
// constructible"}, and the sub-system record's errors; nothing is left
// behind then.
constructible* loadConstructible(SaveStream& stream);
