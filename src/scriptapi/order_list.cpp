#include "scriptapi/order_list.h"

#include <new>

#include "design/hull_list.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "universe/objects/game_object.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/dock_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/order.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace ordernatives {

namespace {

constexpr char kNotPrepared[] = "OrderList needs to be prepare()d with a valid object first";
constexpr char kNotPreparedForGetOrder[] = "OrderList needs to be prepare()d with an object first";
constexpr char kOrderIndexError[] = "Out-of-bounds index when accessing order list";
constexpr char kNullGotoTarget[] = "Null Object@ when giving goto order";
constexpr char kNullTransferTarget[] = "Null Object@ when giving transfer order";
constexpr char kNullDockTarget[] = "Null Object@ when giving dock order";
constexpr char kNullRetrofitTarget[] = "Null Object@ when giving retrofit order";
constexpr char kNullAttackTarget[] = "Null Object@ when giving attack order";
constexpr char kNotACommander[] = "Object may not be a fleet commander";
constexpr char kNullFleet[] = "Null Object@ when adding to a fleet";

// A goto at a star system stops this share of the system's radius short of
// its centre.
constexpr float kSystemStopShare = 0.9f;

// The owner's fleets area, held for one native; nothing without an owner.
class FleetsArea {
 public:
  FleetsArea(generic_object* object, bool write) {
    if (empire* owner = object->getOwner())
      owner->lockArea(guard_, EA_Fleets, write);
  }

 private:
  empire::AreaGuard guard_;
};

}  // namespace

OrderList::~OrderList() { unprepare(); }

void OrderList::setAI(ObjectAI* ai) {
  if (ai != nullptr)
    ai->grab();
  if (ai_ != nullptr)
    ai_->release();
  ai_ = ai;
}

void OrderList::unprepare() {
  if (system_ != nullptr) {
    unlockSolarSystem(system_);
    system_->drop();
    system_ = nullptr;
  }
  setAI(nullptr);
  if (object_ != nullptr) {
    object_->drop();
    object_ = nullptr;
  }
}

bool OrderList::prepare(generic_object* obj) {
  if (obj != nullptr && obj == object_) {
    obj->drop();
    return true;
  }
  if (obj == nullptr) {
    unprepare();
    return false;
  }
  if (obj->ai == nullptr) {
    unprepare();
    obj->drop();
    return false;
  }
  // Follow the object while it moves between systems as this thread waits.
  for (;;) {
    solarSystem* current = obj->containingSystem();
    if (current == system_)
      break;
    if (system_ != nullptr)
      unlockSolarSystem(system_);
    lockSolarSystem(current);
    if (current != nullptr)
      current->grab();
    if (system_ != nullptr)
      system_->drop();
    system_ = current;
  }
  setAI(obj->ai);
  if (ai_ == nullptr) {
    if (system_ != nullptr) {
      unlockSolarSystem(system_);
      system_->drop();
      system_ = nullptr;
    }
    if (object_ != nullptr) {
      object_->drop();
      object_ = nullptr;
    }
    obj->drop();
    return false;
  }
  if (object_ != nullptr)
    object_->drop();
  object_ = obj;
  return true;
}

bool OrderList::refresh(const char* message) {
  if (object_ == nullptr) {
    setAI(nullptr);
  } else {
    setAI(object_->ai);
  }
  if (ai_ == nullptr) {
    raiseScriptException(message);
    return false;
  }
  return true;
}

bool OrderList::refresh() { return refresh(kNotPrepared); }

void OrderList::queue(Order* order, bool append) {
  if (order == nullptr)
    return;
  if (append)
    ai_->appendOrder(order);
  else
    ai_->addOrder(order, true);
}

Order* OrderList::getOrder(uint32_t index) {
  const SystemLock lock(system_);
  if (!refresh(kNotPreparedForGetOrder))
    return nullptr;
  if (index >= ai_->getOrderCount()) {
    raiseScriptException(kOrderIndexError);
    return nullptr;
  }
  return ai_->getOrder(index);
}

uint32_t OrderList::getOrderCount() {
  const SystemLock lock(system_);
  if (!refresh())
    return 0;
  return ai_->getOrderCount();
}

void OrderList::giveRetrofitOrder(generic_object* target, bool append) {
  const HeldHandle<generic_object> held(target);
  if (target == nullptr) {
    raiseScriptException(kNullRetrofitTarget);
    return;
  }
  const SystemLock lock(system_);
  if (!refresh())
    return;
  queue(new (std::nothrow) retrofit_order(target), append);
}

void OrderList::giveDockOrder(generic_object* target, bool append) {
  const HeldHandle<generic_object> held(target);
  if (target == nullptr) {
    raiseScriptException(kNullDockTarget);
    return;
  }
  const SystemLock lock(system_);
  if (!refresh())
    return;
  queue(new (std::nothrow) dock_order(target), append);
}

void OrderList::giveMoveOrder(const irr::core::vector3df& point, bool append) {
  const SystemLock lock(system_);
  if (!refresh())
    return;
  // The order keeps its tolerance squared: the object's radius, squared.
  queue(new (std::nothrow) move_order(point, object_->radius), append);
}

void OrderList::giveGotoOrder(generic_object* target, bool append) {
  giveGotoOrderWithDistance(target, append, -1.0f);
}

void OrderList::giveGotoOrderWithDistance(generic_object* target, bool append, float distance) {
  const HeldHandle<generic_object> held(target);
  if (target == nullptr) {
    raiseScriptException(kNullGotoTarget);
    return;
  }
  const SystemLock lock(system_);
  if (!refresh())
    return;
  if (distance < 0.0f && target->getType() == OT_System)
    distance = kSystemStopShare * target->radius;
  if (distance < 0.0f)
    distance = target->radius;
  // Pooled; the order follows its target wherever it goes.
  queue(new goto_order(target, true, distance), append);
}

void OrderList::giveAttackOrder(generic_object* target, bool append) {
  const HeldHandle<generic_object> held(target);
  if (target == nullptr) {
    raiseScriptException(kNullAttackTarget);
    return;
  }
  const SystemLock lock(system_);
  if (!refresh())
    return;
  queue(new attack_order(target, false, true), append);
}

void OrderList::giveUseToolOrder(const ScriptString& tool, generic_object* target, bool keepUsing,
                                 bool followAnywhere, bool append) {
  const HeldHandle<generic_object> held(target);
  if (target == nullptr)
    return;
  const SystemLock lock(system_);
  if (!refresh())
    return;
  queue(new use_tool_order(tool.toStringw(), target, object_, keepUsing, followAnywhere), append);
}

void OrderList::giveTransferOrder(generic_object* target, const ScriptString& resource, int mode, float amount,
                                  bool append) {
  const HeldHandle<generic_object> held(target);
  if (target == nullptr) {
    raiseScriptException(kNullTransferTarget);
    return;
  }
  const SystemLock lock(system_);
  if (!refresh())
    return;
  queue(new transfer_order(static_cast<uint8_t>(mode & 0xFF), amount, 0.0f, target, resource.toStringw(), true),
        append);
}

void OrderList::giveOrder(const ScriptString& name, const ScriptString* argument,
                          const ScriptString* secondArgument, bool append) {
  const SystemLock lock(system_);
  if (!refresh())
    return;
  const irr::core::stringw first = argument != nullptr ? argument->toStringw() : irr::core::stringw();
  const irr::core::stringw second = secondArgument != nullptr ? secondArgument->toStringw() : irr::core::stringw();
  Order* order = createAutomationOrder(name.toStringw(), argument != nullptr ? &first : nullptr,
                                       secondArgument != nullptr ? &second : nullptr);
  if (order == nullptr)
    return;
  if (append)
    ai_->appendOrder(order);
  else
    ai_->addOrder(order, false);
}

void OrderList::clearOrders(bool all) {
  const SystemLock lock(system_);
  if (!refresh())
    return;
  ai_->clearOrders(all);
}

void OrderList::clearOrder() {
  const SystemLock lock(system_);
  if (!refresh())
    return;
  if (ai_->getOrderCount() > 0)
    ai_->removeOrder(ai_->getOrder(0));
}

void OrderList::refreshAutomation() {
  const SystemLock lock(system_);
  if (!refresh())
    return;
  if (object_->getType() != OT_Hulled)
    return;
  const hull_list* layout = static_cast<objHulled*>(object_)->getHull();
  if (layout == nullptr)
    return;
  // From the last entry to the first, each to the front: they end up in
  // the layout's order.
  for (irr::u32 i = layout->orders.size(); i-- > 0;) {
    const hull_list::orderEntry& entry = layout->orders[i];
    if (entry.order == nullptr)
      continue;
    if (Order* order = createAutomationOrder(*entry.order, entry.argument, entry.secondArgument))
      ai_->addOrder(order, false);
  }
}

uint32_t OrderList::getFleetSize() {
  const SystemLock lock(system_);
  if (!refresh())
    return 0;
  const FleetsArea area(object_, false);
  auto* fleet = dynamic_cast<FleetAI*>(ai_);
  return fleet != nullptr ? fleet->getMemberCount() + 1 : 0;
}

ScriptString* OrderList::getFleetName() {
  const SystemLock lock(system_);
  if (!refresh())
    return nullptr;
  const FleetsArea area(object_, false);
  auto* fleet = dynamic_cast<FleetAI*>(ai_);
  return fleet != nullptr ? new ScriptString(fleet->getName()) : nullptr;
}

void OrderList::makeFleet() {
  const SystemLock lock(system_);
  if (!refresh())
    return;
  const FleetsArea area(object_, true);
  if (dynamic_cast<FleetAI*>(ai_) != nullptr)
    return;  // already a commander
  auto* unit = dynamic_cast<UnitAI*>(ai_);
  if (unit == nullptr) {
    raiseScriptException(kNotACommander);
    return;
  }
  if (FleetAI* former = unit->fleet) {
    former->grab();
    former->removeMember(object_);
    former->release();
  }
  auto* fleet = new FleetAI(unit);
  object_->setAI(fleet);
  object_->setFlag(FLAG_IN_FLEET);
  if (empire* owner = object_->getOwner())
    owner->addFleet(fleet);
  // The list keeps the reference the fleet was made with.
  if (ai_ != nullptr)
    ai_->release();
  ai_ = fleet;
}

void OrderList::forfeitFleetCommand() {
  {
    const SystemLock lock(system_);
    if (!refresh())
      return;
  }
  auto* fleet = dynamic_cast<FleetAI*>(ai_);
  if (fleet == nullptr)
    return;
  fleet->grab();
  generic_object* commander = object_;
  commander->grab();
  prepare(nullptr);
  fleet->dropCommander();
  commander->grab();  // the reference prepare takes over
  prepare(commander);
  commander->drop();
  fleet->release();
}

void OrderList::leaveFleet() {
  const SystemLock lock(system_);
  if (!refresh())
    return;
  if (auto* fleet = dynamic_cast<FleetAI*>(ai_)) {
    fleet->dropCommander();
  } else if (auto* unit = dynamic_cast<UnitAI*>(ai_)) {
    if (FleetAI* former = unit->fleet) {
      former->grab();
      former->removeMember(object_);
      former->release();
    }
  }
}

bool OrderList::joinFleet(generic_object* fleetObject) {
  const HeldHandle<generic_object> held(fleetObject);
  if (fleetObject == nullptr) {
    raiseScriptException(kNullFleet);
    return false;
  }
  const SystemLock lock(system_);
  if (!refresh())
    return false;
  const FleetsArea area(object_, true);
  auto* fleet = dynamic_cast<FleetAI*>(fleetObject->ai);
  if (fleet == nullptr || dynamic_cast<UnitAI*>(ai_) == nullptr)
    return false;
  fleet->addMember(object_);
  return true;
}

bool OrderList::isInFleet() {
  const SystemLock lock(system_);
  if (!refresh())
    return false;
  if (dynamic_cast<FleetAI*>(ai_) != nullptr)
    return true;
  auto* unit = dynamic_cast<UnitAI*>(ai_);
  return unit != nullptr && unit->fleet != nullptr;
}

bool OrderList::isFleetCommander() {
  const SystemLock lock(system_);
  if (!refresh())
    return false;
  return dynamic_cast<FleetAI*>(ai_) != nullptr;
}

OrderList* makeOrderList() { return new (std::nothrow) OrderList(); }

void releaseOrderList(OrderList* list) {
  list->prepare(nullptr);
  delete list;
}

ScriptString* orderName(const Order* order) { return new ScriptString(order->describe()); }

bool orderIsAutomation(const Order* order) { return order->isAutomation(); }

int orderType(const Order* order) { return static_cast<int>(order->getType()); }

}  // namespace ordernatives
