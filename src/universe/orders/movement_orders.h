// Movement orders: `move_order` flies its object to a fixed point,
// `goto_order` flies it to another object and stops beside it. The three
// movement steps here (the stopping point, `brakeToStop`, `approachTarget`)
// are shared with the orders that have to close in on something before they
// act.
//
// Everything acts through the object's movement handler: a `MobileMover` is
// given a destination point or a target object to pursue; any other handler
// is simply parked where the object is.
//
// Save records (little-endian), after the type byte:
//   move: destination x, y, z (3 floats), tolerance (float)
//   goto: target UID (u32), 1 when it keeps a home container else 0 (u8),
//         distance (float). A goto whose target is gone is written as the
//         single byte 0 and is not restored. Saves before version 22 hold
//         the type byte alone for a goto.
// Network records, after the 8-bit type:
//   move: destination (bit stream vector), tolerance (float, 32 bits)
//   goto: target UID (writeNetUInt), distance (float, 32 bits); a goto read
//         from the network follows its target anywhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/post_load.h"
#include "universe/objects/object_pools.h"
#include "universe/orders/order.h"

class MobileMover;

// Flies to `destination` (absolute coordinates) and finishes once the
// object's centre is within its radius plus the tolerance of it.
class move_order : public Order {
 public:
  move_order(const vector3df& destination, float tolerance);

  OrderType getType() const override { return OrdT_Move; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  vector3df getDestination() const override { return destination; }

  vector3df destination;
  float toleranceSquared;  // kept squared; records carry the root
};

// Flies to `target` and stops `distance` from its surface. With a home
// container the order gives up once the target has left it.
class goto_order : public Order {
 public:
  // A negative distance means the target's radius. With followAnywhere
  // false the home container is the target's present container.
  goto_order(generic_object* target, bool followAnywhere, float distance);
  ~goto_order() override;
  goto_order(const goto_order&) = delete;
  goto_order& operator=(const goto_order&) = delete;

  // From the goto pool.
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  OrderType getType() const override { return OrdT_Goto; }
  OrderResult execute(generic_object& object) override;
  // Null when the target is gone.
  Order* clone() const override;
  irr::core::stringw describe() const override;
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  generic_object* getTarget() const override { return target; }

  generic_object* target = nullptr;         // counted; null when a load could not find it
  generic_object* homeContainer = nullptr;  // not counted; null follows anywhere
  float distance = 0.0f;

 private:
  friend Order* readGotoOrderSave(SaveStream& stream);
  goto_order() = default;  // a loaded order, resolved by SetGotoTarget
};

// Resolves a loaded goto's target once the object tree exists: the object
// found is held in the target slot and, when the order had a home
// container, its present container becomes that. A UID that names no object
// leaves the target null; the order then stops its object and finishes at
// its first execute.
class SetGotoTarget : public PostObjectTreeStep {
 public:
  SetGotoTarget(uint32_t uid, generic_object** targetSlot, generic_object** homeSlot)
      : uid_(uid), targetSlot_(targetSlot), homeSlot_(homeSlot) {}
  void run() override;

 private:
  uint32_t uid_;
  generic_object** targetSlot_;
  generic_object** homeSlot_;  // null when the order follows anywhere
};

// Where `object` comes to rest braking now with the thrust of `mover`:
// its position + velocity x (t x 0.5 x 0.8), t = speed / (thrust / mass).
vector3df stoppingPoint(const generic_object& object, const MobileMover& mover);

// Sends a mobile mover with thrust to the stopping point, unless it is
// already headed for where the object is. Nothing for other handlers.
void brakeToStop(generic_object& object);

// Closes in on `target`: beyond `near` (between the surfaces; a star
// system's radius counts 0) the mover pursues the target, within it the
// object brakes. True while the gap is at most `far`.
bool approachTarget(generic_object& object, generic_object& target, float near, float far);

// The goto pool: blocks of exactly a goto's size; other sizes go to the heap.
ObjectPool& gotoOrderPool();
void* allocGotoOrder(size_t size);
void releaseGotoOrder(void* memory);

// Record readers, called after the type has been read. The network readers
// give null on a short record and, for a goto, when no object has the UID.
// The save readers throw SaveFileError {4, "Unexpected EOF"} on a short
// record; a goto from a save before version 22 gives null without reading.
Order* readMoveOrderNetwork(RakNet::BitStream& stream);
Order* readGotoOrderNetwork(RakNet::BitStream& stream);
Order* readMoveOrderSave(SaveStream& stream);
Order* readGotoOrderSave(SaveStream& stream);
