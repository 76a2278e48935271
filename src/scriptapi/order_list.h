// Orders in scripts: the script type "OrderList", a scoped list that a
// script prepares with one object and then uses to read the object's order
// queue, give it orders, clear the queue and manage its fleet membership.
//
// A prepared list holds the lock of the star system that contains its
// object (taken in prepare and kept until the list is prepared again or
// released), so that everything the script does through it happens under
// that lock. A thread holds one system at a time, so each native takes the
// list's system lock again around its own work (native_support.h).
//
// Every native but prepare and the release first refreshes the list's AI
// from the object, so it follows the object when its AI is replaced (a
// fleet takes over the queue). Without a prepared object, or when the
// object has no AI, the native raises "OrderList needs to be prepare()d
// with a valid object first" (getOrder: "... with an object first") and
// returns its neutral value.
//
// The give natives build their order, then queue it at the back (append
// true) or at the front after dropping the orders that are not automation
// orders (append false); giveOrder with append false puts its standing
// order at the front without dropping anything. A null target raises
// "Null Object@ when giving <kind> order" before anything else.
//
// The fleet natives take the fleets area of the object's owner after the
// system lock (write for makeFleet and joinFleet, read for the size and
// name) and let it go before they return.
#pragma once

#include <cstdint>

#include <vector3d.h>

class Order;
class ObjectAI;
class ScriptString;
class generic_object;
class solarSystem;

namespace ordernatives {

class OrderList {
 public:
  OrderList() = default;
  ~OrderList();
  OrderList(const OrderList&) = delete;
  OrderList& operator=(const OrderList&) = delete;

  // Takes over the reference `obj` arrives with. False (and the list
  // unprepared) for null or an object without an AI.
  bool prepare(generic_object* obj);
  Order* getOrder(uint32_t index);
  uint32_t getOrderCount();

  void giveRetrofitOrder(generic_object* target, bool append);
  void giveDockOrder(generic_object* target, bool append);
  void giveMoveOrder(const irr::core::vector3df& point, bool append);
  void giveGotoOrder(generic_object* target, bool append);
  void giveGotoOrderWithDistance(generic_object* target, bool append, float distance);
  void giveAttackOrder(generic_object* target, bool append);
  // (tool, target, keepUsing, followAnywhere, append): the prepared object
  // uses the tool on the target. A null target queues nothing.
  void giveUseToolOrder(const ScriptString& tool, generic_object* target, bool keepUsing, bool followAnywhere,
                        bool append);
  void giveTransferOrder(generic_object* target, const ScriptString& resource, int mode, float amount, bool append);
  void giveOrder(const ScriptString& name, const ScriptString* argument, const ScriptString* secondArgument,
                 bool append);
  void clearOrders(bool all);
  // Removes the front order, the one being carried out.
  void clearOrder();
  // Puts the standing orders of a ship's layout at the front of its queue,
  // in the layout's order.
  void refreshAutomation();

  uint32_t getFleetSize();
  ScriptString* getFleetName();
  void makeFleet();
  void forfeitFleetCommand();
  void leaveFleet();
  bool joinFleet(generic_object* fleetObject);
  bool isInFleet();
  bool isFleetCommander();

  generic_object* object() const { return object_; }
  ObjectAI* ai() const { return ai_; }
  solarSystem* system() const { return system_; }

 private:
  // Takes the object's current AI; false (with the exception `message`
  // raised) when there is no object or it has no AI.
  bool refresh(const char* message);
  bool refresh();
  // Lets go of the system lock, the AI and the object.
  void unprepare();
  void setAI(ObjectAI* ai);
  // Queues `order` as the give natives' `append` says.
  void queue(Order* order, bool append);

  generic_object* object_ = nullptr;  // counted
  ObjectAI* ai_ = nullptr;            // counted
  solarSystem* system_ = nullptr;     // counted, and locked by this list
};

// The script behaviours: a new list (null when memory runs out) and its
// release, which unprepares it first.
OrderList* makeOrderList();
void releaseOrderList(OrderList* list);

// Order's members ("Order" is not counted: a handle is the bare order).
ScriptString* orderName(const Order* order);
bool orderIsAutomation(const Order* order);
int orderType(const Order* order);

}  // namespace ordernatives
