// The order queue of an object (`UnitAI`): the orders it carries out, front
// first, its stance and its preferences among targets.
//
// The queue runs the front of itself on every tick of its object, on the
// galaxy worker that owns the object's system. It has no lock of its own:
// other users (fleets, scripts, the network dispatcher) reach it only while
// that worker leaves the object alone.
//
// A client's mirror objects carry a `UnitAI_Forwarder` instead, which sends
// each queue change to the server as message 116 and keeps only the display
// entries (`OrdT_Networked`) locally.
//
// Save record (`save`): handler type u8 (0 none, 1 UnitAI, 2 FleetAI), then
// for a UnitAI the stance u8, the order count u8 (at most 255), the hull flag
// u8, then the order records front first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>

#include "core/post_load.h"
#include "universe/objects/game_object.h"
#include "universe/orders/order.h"

class FleetAI;
class empire;
class hull_list;

// Message id of an order request from a client.
constexpr uint8_t ID_OBJECT_ORDER = 116;

// Flag bits of an order request.
enum OrderRequestFlag : uint8_t {
  ORF_ClearFirst = 0x01,  // drop the orders that are not automation orders first
  ORF_Append = 0x02,      // to the back of the queue
  ORF_BeforeAutomation = 0x04,
  ORF_Clear = 0x08,       // clear the queue; no order follows
  ORF_ClearAll = 0x10,    // argument of the clear: automation orders too
};

// How a unit chooses to fight. Script enum "AIStance".
enum AIStance : uint8_t {
  AIS_Engage = 0,
  AIS_HoldPosition = 1,
  AIS_HoldFire = 2,
  AIS_Defend = 3,
};

// Storage of UnitAI-sized blocks (UnitAI and UnitAI_Forwarder); any other
// size comes from the general heap.
void* allocUnitAI(size_t size);
void releaseUnitAI(void* memory);

class UnitAI : public ObjectAI {
 public:
  // An empty queue for `object`. With `takeHull`, a ship's layout becomes
  // the AI's hull.
  explicit UnitAI(generic_object* owner, bool takeHull = true);
  ~UnitAI() override;

  static void* operator new(size_t size) { return allocUnitAI(size); }
  static void operator delete(void* memory) { releaseUnitAI(memory); }

  // Puts `order` at the front, after dropping the orders that are not
  // automation orders when `clearFirst`.
  void addOrder(Order* order, bool clearFirst) override;
  // Puts `order` in front of the first automation order, else at the back.
  void insertBeforeAutomation(Order* order) override;
  void appendOrder(Order* order) override;
  // Deletes every order (`all`) or those that are not automation orders.
  void clearOrders(bool all) override;
  bool hasOrderOfType(int type) const override;
  bool hasOrder(const Order* order) const override;
  // Deletes the first entry holding `order`; nothing when it is not queued.
  void removeOrder(Order* order) override;
  uint32_t getOrderCount() const override { return static_cast<uint32_t>(orders.size()); }
  // The order at `index` from the front; null past the end.
  Order* getOrder(uint32_t index) const override;
  void tick() override;
  // 1.0 without a hull; 0 for a kind the hull may not target; 4.0 for a
  // target in the hull's preferred scale range, times 4.0 more in its
  // preferred damage range; 0 outside an exclusive range.
  float getTargetWeight(generic_object* target) override;
  // Whether units of this hull circle what they attack (true without one).
  bool orbitTargets(generic_object* target) override;
  void save(SaveStream& stream) const override;

  AIStance stance = AIS_Engage;
  FleetAI* fleet = nullptr;     // the fleet this object is a member of
  uint32_t formationPlace = 0;  // index among the fleet's members
  generic_object* object;       // the owner; not counted
  hull_list* hull = nullptr;    // a ship's layout; not counted
  uint32_t nextIdleTime = 0;    // engine milliseconds
  std::list<Order*> orders;     // owned, front first

 protected:
  // Runs when the tick walked past the last order: keeps a fleet member in
  // its place, at most every 250 ms.
  void idle();
};

// The queue of a client's mirror object: queue changes go to the server.
class UnitAI_Forwarder : public UnitAI {
 public:
  using UnitAI::UnitAI;

  void addOrder(Order* order, bool clearFirst) override;
  void insertBeforeAutomation(Order* order) override;
  void appendOrder(Order* order) override;
  void clearOrders(bool all) override;
  // Mirrors are not saved: writes nothing.
  void save(SaveStream& stream) const override;

 private:
  // Sends message 116 for `order` (null for a clear) with `flags`.
  void send(uint8_t flags, const Order* order) const;
};

// Reads an AI record and gives the AI to `object` (type 0: none). Throws
// SaveFileError {4, "Unexpected EOF"} on a short record and code 5 on a
// handler type it cannot read.
void loadObjectAI(SaveStream& stream, generic_object& object);
// Reads a UnitAI record after its handler type byte: a new queue for
// `object` (one reference, for the caller), not yet given to it. Throws as
// loadObjectAI; nothing is left behind then.
UnitAI* loadUnitAIRecord(SaveStream& stream, generic_object& object);

// Gives a loaded AI its ship's layout once the object tree exists. Holds the
// object and the AI.
class LoadHull : public PostObjectTreeStep {
 public:
  LoadHull(generic_object* object, UnitAI* ai);
  ~LoadHull() override;
  void run() override;

 private:
  generic_object* object_;
  UnitAI* ai_;
};

// The server's handling of an accepted order request for `object` (whose AI
// is set) from a player of `sender`: clear and stop for ORF_Clear, else
// queue `order` as the flags say. A transfer that takes (TM_From) from an
// object whose owner is neither `sender` nor allied with it is refused: the
// order is deleted and nothing changes. Takes ownership of `order` (null
// when none came).
void applyOrderRequest(generic_object& object, empire* sender, uint8_t flags, Order* order);
