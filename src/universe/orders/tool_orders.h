// Tool orders: `use_tool_order` makes a ship use one of its tools (the
// effectors of the sub-systems tagged with the tool's name, such as
// "Colonizer") on a target until nothing is left to do there; a colonising
// order marks its planet as being colonised by the ship's empire while it
// lives. `work_order`, a standing job, keeps a ship busy with one tool in its
// star system. `remove_struct_order` takes one structure off a planet.
//
// Save records, after the type byte:
//   use tool (12): target UID (packed u32); flags u8 (1 no home container,
//                  2 a colonising empire follows, 4 keepUsing); with flag 2
//                  the colonising empire's ID (u8; before version 13 a
//                  packed object UID whose owner is the empire); the tool
//                  (packed common-string index). A target that is no longer
//                  valid: the single byte 0.
//   work (11):     the tool (packed common-string index), interval (u32 ms).
//   remove struct: the type byte 0 alone (never restored).
// Network records, after the 8-bit type:
//   use tool:      tool (8-bit length and UTF-16 units, byte-aligned, at most
//                  255), target (object reference), 1 bit keepUsing, 1 bit no
//                  home container
//   work:          tool (network wide string), only for names shorter than
//                  256 characters (else nothing at all is written)
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/post_load.h"
#include "core/save_stream.h"
#include "universe/objects/object_pools.h"
#include "universe/orders/order.h"

class empire;
class subSystem;

class use_tool_order : public Order {
 public:
  // Holds `target` (counted) and records its owner; without followAnywhere
  // the home container is the target's container. With a `user` that has
  // an owner, a planet target and the tool "Colonizer", the user's owner
  // starts colonising the planet (empire::startColonization) until the
  // order is deleted.
  use_tool_order(const irr::core::stringw& tool, generic_object* target, generic_object* user, bool keepUsing,
                 bool followAnywhere);
  ~use_tool_order() override;  // ends the colonisation it started
  use_tool_order(const use_tool_order&) = delete;
  use_tool_order& operator=(const use_tool_order&) = delete;

  // From the use-tool pool.
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  OrderType getType() const override { return OrdT_Use_Tool; }
  OrderResult execute(generic_object& object) override;
  // Copies that never mark a planet; null when the target is gone.
  Order* cloneFor(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Use <tool> on <target>"
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  generic_object* getTarget() const override { return target; }
  const irr::core::stringw& getTool() const;

  const irr::core::stringw* tool = nullptr;  // a common string
  empire* targetOwner = nullptr;
  generic_object* target = nullptr;         // counted; null while a load resolves it
  generic_object* homeContainer = nullptr;  // not counted; null follows anywhere
  bool keepUsing = false;
  empire* colonizing = nullptr;  // the empire whose colonising set holds the target

 private:
  friend Order* readUseToolOrderSave(SaveStream& stream);
  use_tool_order() = default;
};

// Resolves a loaded use-tool order's target once the object tree exists:
// the object found is held, and gives the home container (when the order
// keeps one) and the target owner.
class SetToolTarget : public PostObjectTreeStep {
 public:
  SetToolTarget(uint32_t uid, generic_object** targetSlot, generic_object** homeSlot, empire** ownerSlot)
      : uid_(uid), targetSlot_(targetSlot), homeSlot_(homeSlot), ownerSlot_(ownerSlot) {}
  void run() override;

 private:
  uint32_t uid_;
  generic_object** targetSlot_;
  generic_object** homeSlot_;  // null when the order follows anywhere
  empire** ownerSlot_;
};

class work_order : public Order {
 public:
  // Works with `tool`, looking for a target every `interval` ms (the first
  // look one interval from now, objectRealTimeMs).
  work_order(const irr::core::stringw& tool, uint32_t interval);

  bool runsInBackground() const override { return true; }
  bool isAutomation() const override { return true; }
  bool isNotRepeatable() const override { return true; }
  OrderType getType() const override { return OrdT_Work; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Work with <tool>"
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;

  uint32_t interval = 1000;  // ms
  uint32_t nextCheck = 0;    // engine ms
  uint32_t scanIndex = 0;
  const irr::core::stringw* tool = nullptr;  // a common string
  generic_object* lastSystem = nullptr;      // not counted
};

// Removes one structure (its sub-system instance, not owned) from the planet
// that runs it; answers getType 0 and saves as the byte 0.
class remove_struct_order : public Order {
 public:
  explicit remove_struct_order(subSystem* structure) : structure(structure) {}

  OrderResult execute(generic_object& object) override;  // always Done

  subSystem* structure = nullptr;
};

// The use-tool pool: blocks of exactly an order's size; other sizes go to
// the heap.
ObjectPool& useToolOrderPool();
void* allocUseToolOrder(size_t size);
void releaseUseToolOrder(void* memory);

// Record readers, called after the type has been read. The network readers
// give null on a short record or a UID no object has (`carrier` is the
// use-tool order's user); the save readers throw SaveFileError
// {4, "Unexpected EOF"} and {5, "Invalid Common String reference"}.
Order* readUseToolOrderNetwork(RakNet::BitStream& stream, generic_object* carrier);
Order* readWorkOrderNetwork(RakNet::BitStream& stream);
Order* readUseToolOrderSave(SaveStream& stream);
Order* readWorkOrderSave(SaveStream& stream);
