#include "universe/orders/unit_ai.h"

#include <algorithm>

#include "core/log.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/peer_types.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/repeat_orders.h"
#include "universe/ships/ship.h"

namespace {

constexpr uint32_t kIdleIntervalMs = 250;
constexpr size_t kMaxSavedOrders = 255;
constexpr float kPreferredWeight = 4.0f;

// The forwarder adds no fields: both come from the same pool.
static_assert(sizeof(UnitAI_Forwarder) == sizeof(UnitAI), "the forwarder shares the UnitAI pool");

ObjectPool& unitAIPool() {
  static ObjectPool pool(sizeof(UnitAI));
  return pool;
}
// Made while the program loads, before any thread asks for a block.
[[maybe_unused]] ObjectPool& unitAIPoolAtLoad = unitAIPool();

void deleteOrder(Order* order) { delete order; }

}  // namespace

void* allocUnitAI(size_t size) { return unitAIPool().allocate(size); }

void releaseUnitAI(void* memory) { unitAIPool().free(memory); }

// --- UnitAI ---------------------------------------------------------------

namespace {

// The layout of `object` when it is a ship, else null.
hull_list* shipLayout(generic_object* object) {
  if (object == nullptr || object->getType() != OT_Hulled)
    return nullptr;
  auto* ship = dynamic_cast<objHulled*>(object);
  return ship != nullptr ? ship->getHull() : nullptr;
}

}  // namespace

UnitAI::UnitAI(generic_object* owner, bool takeHull) : object(owner) {
  if (takeHull)
    hull = shipLayout(owner);
}

UnitAI::~UnitAI() {
  for (Order* order : orders)
    deleteOrder(order);
  orders.clear();
}

void UnitAI::addOrder(Order* order, bool clearFirst) {
  if (clearFirst)
    clearOrders(false);
  orders.push_front(order);
}

void UnitAI::insertBeforeAutomation(Order* order) {
  auto it = std::find_if(orders.begin(), orders.end(), [](const Order* queued) { return queued->isAutomation(); });
  orders.insert(it, order);
}

void UnitAI::appendOrder(Order* order) { orders.push_back(order); }

void UnitAI::clearOrders(bool all) {
  for (auto it = orders.begin(); it != orders.end();) {
    if (all || !(*it)->isAutomation()) {
      Order* order = *it;
      it = orders.erase(it);
      deleteOrder(order);
    } else {
      ++it;
    }
  }
}

bool UnitAI::hasOrderOfType(int type) const {
  return std::any_of(orders.begin(), orders.end(), [type](const Order* order) { return order->getType() == type; });
}

bool UnitAI::hasOrder(const Order* order) const {
  return std::find(orders.begin(), orders.end(), order) != orders.end();
}

void UnitAI::removeOrder(Order* order) {
  auto it = std::find(orders.begin(), orders.end(), order);
  if (it == orders.end())
    return;
  orders.erase(it);
  deleteOrder(order);
}

Order* UnitAI::getOrder(uint32_t index) const {
  if (index >= orders.size())
    return nullptr;
  auto it = orders.begin();
  std::advance(it, index);
  return *it;
}

void UnitAI::tick() {
  for (auto it = orders.begin(); it != orders.end();) {
    Order* order = *it;
    const OrderResult result = order->execute(*object);
    if (result == Running) {
      if (!order->runsInBackground())
        return;
      ++it;
      continue;
    }
    if (result == Done) {
      // Looked up again: the order may have changed the queue around itself.
      auto done = std::find(orders.begin(), orders.end(), order);
      if (done != orders.end()) {
        orders.erase(done);
        deleteOrder(order);
      }
    }
    return;  // Done, Waiting, Yielded and Docked all end the tick
  }
  idle();
}

void UnitAI::idle() {
  if (fleet == nullptr)
    return;
  const uint32_t now = objectRealTimeMs();
  if (now <= nextIdleTime)
    return;
  nextIdleTime = now + kIdleIntervalMs;
  auto* mobile = dynamic_cast<MobileMover*>(object->mover);
  if (mobile == nullptr || mobile->parkOrbitInUse())
    return;
  // The formation gives the member its place. This worker holds the
  // member's system; placeMember takes the fleet's read lock after it
  // (system before fleet). The member's fleet field changes only under that
  // system lock as well, so it stays this member's fleet during the call.
  fleet->placeMember(object, formationPlace);
}

float UnitAI::getTargetWeight(generic_object* target) {
  if (hull == nullptr)
    return 1.0f;
  const hull_targeting& targeting = hull->targeting;
  const int type = target->getType();
  if ((type == OT_Planet && !targeting.allowPlanetTargets) || (type == OT_Hulled && !targeting.allowShipTargets))
    return 0.0f;

  float weight = 1.0f;
  if (targeting.targetScaleSet) {
    const float scale = target->radius * target->radius;
    if (targeting.targetScaleMin <= scale && scale <= targeting.targetScaleMax)
      weight = kPreferredWeight;
    else if (targeting.targetScaleExclusive)
      return 0.0f;
  }
  if (targeting.targetDamageSet) {
    if (const State* damage = findObjectState(target, L"Damage")) {
      const float fraction = damage->value.val / damage->value.max;
      if (targeting.targetDamageMin <= fraction && fraction <= targeting.targetDamageMax)
        weight *= kPreferredWeight;
      else if (targeting.targetDamageExclusive)
        return 0.0f;
    }
  }
  return weight;
}

bool UnitAI::orbitTargets(generic_object*) { return hull == nullptr || hull->targeting.orbits; }

void UnitAI::save(SaveStream& stream) const {
  const size_t count = std::min(orders.size(), kMaxSavedOrders);
  stream.writeU8(1);
  stream.writeU8(stance);
  stream.writeU8(static_cast<uint8_t>(count));
  stream.writeU8(hull != nullptr ? 1 : 0);
  size_t written = 0;
  for (const Order* order : orders) {
    if (written++ == count)
      break;
    order->save(stream);
    // A repeat order keeps no record of its orders: say so, it will be lost.
    if (order->getType() == OrdT_Repeat && object != nullptr)
      warnRepeatOrderNotSaved(*object);
  }
  if (orders.size() > kMaxSavedOrders)
    logWarning("WARNING: Too many orders when saving '%ls'. Orders over 255 not saved.\n", object->name.c_str());
}

// --- UnitAI_Forwarder -----------------------------------------------------

void UnitAI_Forwarder::addOrder(Order* order, bool clearFirst) {
  if (order->getType() == OrdT_Networked) {
    // The server's view of the queue: a fresh description clears the local
    // entries without asking the server for anything.
    if (clearFirst)
      UnitAI::clearOrders(false);
    UnitAI::addOrder(order, false);
    return;
  }
  send(clearFirst ? ORF_ClearFirst : 0, order);
  deleteOrder(order);
}

void UnitAI_Forwarder::insertBeforeAutomation(Order* order) {
  if (order->getType() == OrdT_Networked) {
    UnitAI::insertBeforeAutomation(order);
    return;
  }
  send(ORF_BeforeAutomation, order);
  deleteOrder(order);
}

void UnitAI_Forwarder::appendOrder(Order* order) {
  if (order->getType() == OrdT_Networked) {
    UnitAI::appendOrder(order);
    return;
  }
  send(ORF_Append, order);
  deleteOrder(order);
}

void UnitAI_Forwarder::clearOrders(bool all) { send(ORF_Clear | (all ? ORF_ClearAll : 0), nullptr); }

void UnitAI_Forwarder::save(SaveStream&) const {}

void UnitAI_Forwarder::send(uint8_t flags, const Order* order) const {
  RakNet::BitStream local;
  RakNet::BitStream* stream = threadLocals().scratchStream;
  if (stream != nullptr)
    stream->Reset();
  else
    stream = &local;
  stream->Write(ID_OBJECT_ORDER);
  stream->Write(static_cast<uint32_t>(object->uid));
  stream->Write(flags);
  if (order != nullptr)
    order->writeNetwork(*stream);
  networkManager->send(stream, 0, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

// --- Save records ---------------------------------------------------------

UnitAI* loadUnitAIRecord(SaveStream& stream, generic_object& object) {
  auto* ai = new UnitAI(&object, false);
  try {
    if (stream.version() >= 15)
      ai->stance = static_cast<AIStance>(stream.readU8());
    const uint8_t count = stream.readU8();
    const uint8_t hasHull = stream.readU8();
    if (hasHull != 0)
      queuePostObjectTreeStep(new LoadHull(&object, ai));
    for (unsigned i = 0; i < count; ++i)
      readOrderFromSave(stream, *ai);
  } catch (...) {
    ai->drop();
    throw;
  }
  return ai;
}

void loadObjectAI(SaveStream& stream, generic_object& object) {
  const uint8_t type = stream.readU8();
  switch (type) {
    case 0:
      return;
    case 1: {
      UnitAI* ai = loadUnitAIRecord(stream, object);
      object.setAI(ai);
      ai->drop();
      return;
    }
    case 2:
      loadFleetAI(stream, object);
      return;
    default:
      throw SaveFileError{5, "Invalid AI Handler Type"};
  }
}

LoadHull::LoadHull(generic_object* object, UnitAI* ai) : object_(object), ai_(ai) {
  object_->grab();
  ai_->grab();
}

LoadHull::~LoadHull() {
  ai_->drop();
  object_->drop();
}

void LoadHull::run() {
  if (object_->getType() != OT_Hulled)
    return;
  ai_->hull = shipLayout(object_);
}

// --- Order requests -------------------------------------------------------

namespace {

// A transfer that takes (TM_From) may only take from the sender's own
// objects or those of its allies; an object without an owner belongs to
// neither. A local request (no sender) is not checked.
bool takesFromForeignObject(const Order* order, empire* sender) {
  if (sender == nullptr || order == nullptr || order->getType() != OrdT_Transfer)
    return false;
  const auto* transfer = static_cast<const transfer_order*>(order);
  if ((transfer->mode & TM_From) == 0)
    return false;
  empire* owner = transfer->other != nullptr ? transfer->other->getOwner() : nullptr;
  return owner == nullptr || !sender->isAllied(owner);
}

}  // namespace

void applyOrderRequest(generic_object& object, empire* sender, uint8_t flags, Order* order) {
  if (takesFromForeignObject(order, sender)) {
    deleteOrder(order);
    return;
  }
  ObjectAI* ai = object.ai;
  if (ai == nullptr) {
    deleteOrder(order);
    return;
  }
  if (flags & ORF_Clear) {
    deleteOrder(order);
    ai->clearOrders((flags & ORF_ClearAll) != 0);
    object.setDestination(object.getPosition());
    if (object.getType() == OT_Hulled) {
      if (auto* ship = dynamic_cast<objHulled*>(&object))
        ship->clearEffectorTargets();
    }
    return;
  }
  if (order == nullptr)
    return;
  if (flags & ORF_Append)
    ai->appendOrder(order);
  else if (flags & ORF_BeforeAutomation)
    ai->insertBeforeAutomation(order);
  else
    ai->addOrder(order, (flags & ORF_ClearFirst) != 0);
}
