#include "universe/orders/dock_orders.h"

#include <algorithm>

#include "core/locale.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "design/build/constructible.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/orders/movement_orders.h"
#include "universe/ships/ship.h"

namespace {

// At or below this thrust a parked ship cannot leave its orbit by itself.
constexpr float kImmobileThrust = 0.0001f;
// The share of the old design's cost that a retrofit counts as already paid:
// more for a ship that waits in orbit than for one that had to fly there.
constexpr float kRetrofitInPlaceFactor = 0.4f;
constexpr float kRetrofitArrivedFactor = 0.5f;
// What the host gets back of a scuttled ship's cost, and what the owner
// empire's stat gets of the part the host has no room for.
constexpr float kScuttleRefund = 0.5f;
constexpr float kOverflowToStat = 0.5f;
// A remainder this small is not worth handing to the empire.
constexpr float kNegligibleRemainder = 0.01f;
// The record of an order whose host is gone: read as type 0, which adds
// nothing.
constexpr uint8_t kLostHostRecord = 0;

// How close a ship must come to dock or act at a host: twice the sum of the
// radii, between centres for docking and between surfaces for approaching.
float hostReach(const generic_object& ship, const generic_object& host) { return (host.radius + ship.radius) * 2.0f; }

hull_list* layoutOf(generic_object& ship) {
  auto* hulled = dynamic_cast<objHulled*>(&ship);
  return hulled != nullptr ? hulled->getHull() : nullptr;
}

// The newest revision of the ship's design, as its owner knows it (held by
// the owner's table); null without a layout or an owner.
hull_list* newestLayoutOf(generic_object& ship) {
  hull_list* layout = layoutOf(ship);
  if (layout == nullptr || ship.owner == nullptr)
    return nullptr;
  return ship.owner->getUpdatedHull(layout, -1.0f);
}

// Whether a newer revision replaces `layout`. The flags change under the
// layout owner's table lock.
bool isSuperseded(hull_list* layout) {
  empire::AreaGuard guard;
  if (layout->owner != nullptr)
    layout->owner->lockArea(guard, EA_HullLayouts, false);
  return layout->obsolete && layout->newer != nullptr;
}

void saveHostRecord(SaveStream& stream, OrderType type, const generic_object* host) {
  if (host == nullptr || !host->isValid()) {
    stream.writeU8(kLostHostRecord);
    return;
  }
  stream.writeU8(type);
  stream.writePackedUInt(host->uid);
}

void writeHostNetwork(RakNet::BitStream& stream, OrderType type, const generic_object* host) {
  stream.Write(static_cast<uint8_t>(type));
  writeNetObjectRef(stream, host);
}

irr::core::stringw describeAt(const wchar_t* key, const generic_object* host) {
  irr::core::stringw text(getLocalizedText(key));
  text += L" ";
  if (host != nullptr)
    text += host->name;
  return text;
}

// Why a retrofit or scuttle order cannot go on: the ship is no ship, or its
// host is gone or has changed hands since the order was given.
bool hostLost(const generic_object& ship, const host_order& order) {
  const generic_object* host = order.host;
  return ship.getType() != OT_Hulled || host == nullptr || host->owner != order.hostOwner || !host->isValid();
}

// Puts back half of each cost of the ship's design into the host's states.
// The host keeps what fits (its cargo space taking the overflow of a cargo
// resource); half of what is left over goes to the ship owner's stat of the
// resource's name.
void refundCosts(generic_object& ship, generic_object& host) {
  hull_list* layout = layoutOf(ship);
  if (layout == nullptr)
    return;
  constructible::CostList costs;
  layout->addCostsTo(costs);
  for (irr::u32 i = 0; i < costs.size(); ++i) {
    const irr::core::stringw name = costs[i].entryName();
    const float half = costs[i].value.amount * kScuttleRefund;
    State* state = getOrAddObjectState(&host, name);
    // A state already over its maximum (or a full hold) has no room, rather
    // than room below zero that would take from the host.
    const float room = getTotalFreeSpace(*state, &host);
    const float put = std::max(0.0f, std::min(half, room));
    if (put > 0.0f)
      addToState(*state, &host, put);
    const float remainder = static_cast<float>(static_cast<double>(half) - put);
    if (remainder > kNegligibleRemainder && ship.owner != nullptr)
      ship.owner->modStat(name, ESO_Add, remainder * kOverflowToStat);
  }
}

// Order of the given record type on `host` (may be null).
Order* makeHostOrder(uint8_t type, generic_object* host) {
  switch (type) {
    case OrdT_Dock:
      return new dock_order(host);
    case OrdT_Retrofit:
      return new retrofit_order(host);
    case OrdT_Scuttle:
      return new scuttle_order(host);
    default:
      return nullptr;
  }
}

}  // namespace

bool isParkedAndImmobile(generic_object& ship, const generic_object* host) {
  const MobileMover* mover = MobileMover::of(&ship);
  return host != nullptr && mover != nullptr && mover->getParkedOrbitBody() == host &&
         mover->thrust <= kImmobileThrust;
}

// --- dock_order ----------------------------------------------------------------

dock_order::dock_order(generic_object* dockHost) : host(dockHost) {
  if (host != nullptr)
    host->grab();
}

dock_order::~dock_order() {
  if (host != nullptr)
    host->drop();
}

OrderResult dock_order::execute(generic_object& object) {
  if (host == nullptr || !host->isValid() || host->owner != object.owner)
    return Done;
  const float reach = hostReach(object, *host);
  if (isParkedAndImmobile(object, host) ||
      host->getPosition().getDistanceFromSQ(object.getPosition()) <= reach * reach) {
    // Docking clears the ship's orders, this one included: from the call on
    // only locals may be used. The host is held meanwhile, since the
    // reference this order held goes with it.
    generic_object* carrier = host;
    carrier->grab();
    const bool docked = carrier->dockObject(&object);
    carrier->drop();
    return docked ? Docked : Done;
  }
  if (object.ai == nullptr)
    return Done;
  object.ai->addOrder(new goto_order(host, true, host->radius * 0.5f), false);
  return Yielded;
}

Order* dock_order::clone() const { return new dock_order(host); }

irr::core::stringw dock_order::describe() const {
  irr::core::stringw text(L"Dock in ");
  if (host != nullptr)
    text += host->name;
  return text;
}

void dock_order::writeNetwork(RakNet::BitStream& stream) const { writeHostNetwork(stream, getType(), host); }

void dock_order::save(SaveStream& stream) const { saveHostRecord(stream, getType(), host); }

// --- host_order ----------------------------------------------------------------

host_order::host_order(generic_object* orderHost) : host(orderHost) {
  if (host == nullptr)
    return;
  host->grab();
  hostOwner = host->owner;
}

host_order::~host_order() {
  if (host != nullptr)
    host->drop();
}

void host_order::writeNetwork(RakNet::BitStream& stream) const { writeHostNetwork(stream, getType(), host); }

void host_order::save(SaveStream& stream) const { saveHostRecord(stream, getType(), host); }

// --- retrofit_order ------------------------------------------------------------

OrderResult retrofit_order::execute(generic_object& object) {
  if (hostLost(object, *this)) {
    brakeToStop(object);
    return Done;
  }
  if (!started) {
    started = true;
    hull_list* newest = newestLayoutOf(object);
    if (newest == nullptr || !isSuperseded(layoutOf(object))) {
      brakeToStop(object);
      return Done;
    }
    if (isParkedAndImmobile(object, host)) {
      host->addConstructible(makeRetrofitConstructible(newest, &object, kRetrofitInPlaceFactor));
      brakeToStop(object);
      return Done;
    }
  }
  const float reach = hostReach(object, *host);
  if (!approachTarget(object, *host, reach * 0.5f, reach))
    return Running;
  hull_list* newest = newestLayoutOf(object);
  brakeToStop(object);
  if (newest != nullptr)
    host->addConstructible(makeRetrofitConstructible(newest, &object, kRetrofitArrivedFactor));
  return Done;
}

Order* retrofit_order::clone() const {
  auto* copy = new retrofit_order(host);
  copy->hostOwner = hostOwner;
  copy->started = started;
  return copy;
}

irr::core::stringw retrofit_order::describe() const { return describeAt(L"#retrofitAt", host); }

// --- scuttle_order -------------------------------------------------------------

OrderResult scuttle_order::execute(generic_object& object) {
  if (hostLost(object, *this)) {
    brakeToStop(object);
    return Done;
  }
  const float reach = hostReach(object, *host);
  const bool parked = isParkedAndImmobile(object, host);
  if (!approachTarget(object, *host, reach * 0.5f, reach) && !parked)
    return Running;
  refundCosts(object, *host);
  object.flags.fetch_or(FLAG_DESTROY | FLAG_QUIET_DESTROY);
  brakeToStop(object);
  return Done;
}

Order* scuttle_order::clone() const {
  auto* copy = new scuttle_order(host);
  copy->hostOwner = hostOwner;
  return copy;
}

irr::core::stringw scuttle_order::describe() const { return describeAt(L"#scuttleAt", host); }

// --- Loading -------------------------------------------------------------------

void SetHostTarget::run() {
  generic_object* object = getObjectByUID(uid_);
  setObjectRef(*hostSlot_, object);
  *ownerSlot_ = object != nullptr ? object->owner : nullptr;
}

Order* readHostOrderNetwork(uint8_t type, RakNet::BitStream& stream) {
  const uint32_t uid = readNetUInt(stream);
  if (stream.ReadFailed())
    return nullptr;
  // Held while the order takes its own reference.
  generic_object* host = getObjectByUIDRef(uid);
  if (host == nullptr)
    return nullptr;
  Order* order = makeHostOrder(type, host);
  host->drop();
  return order;
}

Order* readHostOrderSave(uint8_t type, SaveStream& stream) {
  const uint32_t uid = stream.readPackedUInt();
  generic_object* host = getObjectByUIDRef(uid);
  Order* order = makeHostOrder(type, host);
  if (host != nullptr) {
    host->drop();
    return order;
  }
  if (auto* dock = dynamic_cast<dock_order*>(order))
    queuePostObjectTreeStep(new PostObjectTreeSetTarget(uid, &dock->host));
  else if (auto* hosted = dynamic_cast<host_order*>(order))
    queuePostObjectTreeStep(new SetHostTarget(uid, &hosted->host, &hosted->hostOwner));
  return order;
}
