// The resource standing orders: collect, deposit and fetch. Each wakes once
// an interval, looks at a window of its star system's children and, when it
// finds a friendly store worth visiting, puts a transfer order for it in
// front of itself.
#include <cstdint>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "design/effects/resources.h"
#include "design/hull_list.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace {

constexpr uint32_t kStoreInterval = 1000;  // collect and deposit, ms
constexpr uint32_t kFetchInterval = 500;   // ms
// Children looked at by one scan of collect and deposit, and of fetch
// (which looks at the body it is parked at besides).
constexpr uint32_t kStoreScanSize = 10;
constexpr uint32_t kFetchScanSize = 20;
// A store this full (compared in single precision) takes nothing more.
constexpr float kFullFraction = 0.95f;
// A fetcher without thrust reaches stores whose surface is this close.
constexpr float kFetchReach = 32.0f;
// Squared speed above which a fetcher that is not low counts as under way.
constexpr float kMovingSpeedSquared = 0.001f;

// The first star system above `object`; null when there is none (an object
// between systems, whose container is the galaxy, has none).
generic_object* starSystemOf(const generic_object& object) {
  for (generic_object* outer = object.container.load(); outer != nullptr; outer = outer->container.load()) {
    if (outer->getType() == OT_System)
      return outer;
  }
  return nullptr;
}

// The window of a partial scan: from `scanIndex`, at most `share` children;
// the index then moves on by `share`, back to 0 once it reaches the end.
struct Window {
  uint32_t first = 0;
  uint32_t end = 0;
};
Window nextWindow(uint32_t count, uint32_t& scanIndex, uint32_t share) {
  if (scanIndex >= count)
    scanIndex = 0;  // the system lost children since the last scan
  Window window{scanIndex, scanIndex + share < count ? scanIndex + share : count};
  scanIndex += share;
  if (scanIndex >= count)
    scanIndex = 0;
  return window;
}

// Another live object of the same owner: the only kind the orders trade with.
bool isFriendlyStore(const generic_object& object, const generic_object* candidate) {
  return candidate != nullptr && candidate != &object && candidate->isValid() &&
         candidate->getOwner() == object.getOwner();
}

// The layout of a ship, or null for other objects and ships without one.
const hull_list* layoutOf(const generic_object* object) {
  if (object == nullptr || object->getType() != OT_Hulled)
    return nullptr;
  const auto* ship = dynamic_cast<const objHulled*>(object);
  return ship != nullptr ? ship->getHull() : nullptr;
}

// Whether other ships may take resources from `candidate`.
bool allowsTaking(const generic_object* candidate) {
  const hull_list* layout = layoutOf(candidate);
  return layout == nullptr || layout->targeting.allowFetch;
}

float distanceBetween(const generic_object& a, const generic_object& b) {
  return a.position.getDistanceFrom(b.position);
}

// Puts `order` in front of the object's queue; an object without an AI
// cannot be given it.
bool putInFront(generic_object& object, Order* order) {
  if (object.ai == nullptr) {
    delete order;
    return false;
  }
  object.ai->addOrder(order, false);
  return true;
}

// A resource name from a save: the record is read whole before the name is
// checked, so a record cut short reads as one.
const irr::core::stringw& savedResource(SaveStream& stream) {
  const irr::core::stringw* name = readCommonString(stream);
  if (name == nullptr)
    throw kSaveErrorInvalidCommonString;
  return *name;
}

}  // namespace

// --- store_order ------------------------------------------------------------------

store_order::store_order(const irr::core::stringw& resourceName, float fillThreshold, bool finish)
    : resource(internCommonString(resourceName)), threshold(fillThreshold), finishWhenDone(finish) {
  timer.interval = kStoreInterval;
  timer.nextCheck = objectRealTimeMs() + kStoreInterval;
}

irr::core::stringw store_order::describeAs(const wchar_t* verb) const {
  irr::core::stringw text(verb);
  text += *resource;
  return text;
}

void store_order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
  stream.Write(threshold);
  writeNetStringW(stream, *resource, kMaxNetStringLength);
  stream.Write(finishWhenDone);
}

void store_order::save(SaveStream& stream) const {
  stream.writeU8(getType());
  stream.writeFloat(threshold);
  stream.writeU8(finishWhenDone ? 1 : 0);
  saveCommonString(stream, *resource);
}

// --- collect_order ----------------------------------------------------------------

OrderResult collect_order::execute(generic_object& object) {
  const OrderResult idle = finishWhenDone ? Waiting : Running;
  const uint32_t now = objectRealTimeMs();
  if (now < timer.nextCheck)
    return idle;
  timer.nextCheck = now + timer.interval;

  generic_object* system = starSystemOf(object);
  if (system == nullptr)
    return Running;

  State& own = *getOrAddObjectState(&object, *resource);
  const float ownFill = (own.value.val + object.cargoUsed) / (own.value.max + object.cargoSpace);
  if (ownFill >= kFullFraction)
    return finishWhenDone ? Done : Running;

  const float space = getTotalFreeSpace(own, &object);
  const auto& children = system->children;
  const Window window = nextWindow(children.size(), timer.scanIndex, kStoreScanSize);
  generic_object* winner = nullptr;
  float bestScore = 0.0f;
  for (uint32_t i = window.first; i < window.end; ++i) {
    generic_object* candidate = children[i].get();
    if (!isFriendlyStore(object, candidate))
      continue;
    const State* store = findObjectState(candidate, *resource);
    if (store == nullptr || !(store->value.max > 0.0f || store->value.inCargo > 0.0f))
      continue;
    const float capacity = store->value.inCargo + store->value.max;
    const float have = getAvailable(*store);
    const float fill = have / capacity;
    if (!(threshold <= 0.0f || threshold <= (have - space) / capacity) || !(threshold < fill))
      continue;
    const float score = (have / distanceBetween(object, *candidate)) * fill;
    if (winner == nullptr || score > bestScore) {
      winner = candidate;
      bestScore = score;
    }
  }
  if (winner == nullptr)
    return idle;
  if (!putInFront(object,
                  new transfer_order(static_cast<uint8_t>(TM_From | TM_Amount), space, 0.0f, winner, *resource, true)))
    return idle;
  return Yielded;
}

// --- deposit_order ----------------------------------------------------------------

OrderResult deposit_order::execute(generic_object& object) {
  const OrderResult idle = finishWhenDone ? Waiting : Running;
  const uint32_t now = objectRealTimeMs();
  if (now < timer.nextCheck)
    return idle;
  timer.nextCheck = now + timer.interval;

  generic_object* system = starSystemOf(object);
  if (system == nullptr)
    return Running;

  State& own = *getOrAddObjectState(&object, *resource);
  const float have = getAvailable(own);
  const float ownFill = (object.cargoUsed + own.value.val) / (object.cargoSpace + own.value.max);
  if (ownFill < threshold)
    return finishWhenDone ? Done : Running;

  // A ship's layout says which kinds may receive; other objects give to both.
  bool shipsReceive = true;
  bool planetsReceive = true;
  if (const hull_list* layout = layoutOf(&object)) {
    shipsReceive = layout->targeting.depositTargets[0];
    planetsReceive = layout->targeting.depositTargets[1];
  }

  const auto& children = system->children;
  const Window window = nextWindow(children.size(), timer.scanIndex, kStoreScanSize);
  generic_object* winner = nullptr;
  float bestRank = 0.0f;
  for (uint32_t i = window.first; i < window.end; ++i) {
    generic_object* candidate = children[i].get();
    if (!isFriendlyStore(object, candidate))
      continue;
    const int type = candidate->getType();
    if ((type == OT_Hulled && !shipsReceive) || (type == OT_Planet && !planetsReceive))
      continue;
    const State* store = findObjectState(candidate, *resource);
    if (store == nullptr)
      continue;
    const float room = getTotalFreeSpace(*store, candidate);
    float score = room;
    if (room < have)
      score *= 0.25f;
    if (room < have * threshold)
      score *= 0.25f;
    if (type == OT_Planet)
      score *= 4.0f;
    if (!(threshold < score))
      continue;
    const float rank = score / distanceBetween(object, *candidate);
    if (winner == nullptr || rank > bestRank) {
      winner = candidate;
      bestRank = rank;
    }
  }
  if (winner == nullptr)
    return idle;
  if (!putInFront(object, new transfer_order(TM_Percent, 1.0f, 0.0f, winner, *resource, true)))
    return idle;
  return Yielded;
}

// --- fetch_order ------------------------------------------------------------------

fetch_order::fetch_order(const irr::core::stringw& resourceName, float low)
    : resource(internCommonString(resourceName)), lowLevel(low) {
  timer.interval = kFetchInterval;
  timer.nextCheck = objectRealTimeMs() + kFetchInterval;
}

Order* fetch_order::clone() const {
  auto* copy = new fetch_order(*resource, lowLevel);
  copy->timer.nextCheck = 0;
  copy->timer.scanIndex = 0;
  return copy;
}

irr::core::stringw fetch_order::describe() const {
  irr::core::stringw text(L"Fetch ");
  text += *resource;
  text += L" when low";
  return text;
}

OrderResult fetch_order::execute(generic_object& object) {
  generic_object* container = object.container.load();
  const uint32_t now = objectRealTimeMs();
  if (now < timer.nextCheck)
    return container != lastSystem ? Waiting : Running;
  timer.nextCheck = now + timer.interval;

  generic_object* system = starSystemOf(object);
  if (system == nullptr)
    return Running;

  State* own = findObjectState(&object, *resource);
  if (own == nullptr)
    return Done;
  const float ownAvailable = getAvailable(*own);
  const float fill = ownAvailable / (own->value.max + own->value.inCargo);
  if (fill > lowLevel &&
      (fill > 1.0f - (1.0f - lowLevel) * 0.5f || object.velocity.getLengthSQ() > kMovingSpeedSquared)) {
    lastSystem = container;
    return Running;
  }

  const auto& children = system->children;
  const uint32_t count = children.size();
  if (lastSystem != container) {
    // A new system: start the scans at a random child of its first half,
    // from the next check on.
    lastSystem = container;
    timer.scanIndex = count < 2 ? 0 : static_cast<uint32_t>(processRandom() >> 2) % (count / 2);
    return Running;
  }

  const MobileMover* mover = MobileMover::of(&object);
  const bool canTravel = mover != nullptr && mover->thrust > 0.0f;
  const float ownShortfall = getTotalFreeSpace(*own, &object) - ownAvailable;
  const cargoData* definition = own->value.resource != nullptr ? own->value.resource : findResource(*resource);
  const bool planetsSupply = definition == nullptr || !definition->planetsRequire;

  generic_object* winner = nullptr;
  float winnerMax = 0.0f;
  float bestScore = 0.0f;
  const auto consider = [&](generic_object* candidate) {
    if (!isFriendlyStore(object, candidate) || !allowsTaking(candidate))
      return;
    const State* store = findObjectState(candidate, *resource);
    if (store == nullptr || !(store->value.max > 0.0f || store->value.inCargo > 0.0f))
      return;
    const float capacity = store->value.inCargo + store->value.max;
    const float have = getAvailable(*store);
    const float candidateFill = have / capacity;
    const bool supplies =
        (planetsSupply && candidate->getType() == OT_Planet) || lowLevel <= (have - ownShortfall) / capacity;
    if (!supplies || !(lowLevel < candidateFill))
      return;
    const float distance = distanceBetween(object, *candidate);
    if (!canTravel && !(distance - object.radius - candidate->radius < kFetchReach))
      return;
    const float score = (have / distance) * candidateFill;
    if (winner == nullptr || score > bestScore) {
      winner = candidate;
      winnerMax = store->value.max;
      bestScore = score;
    }
  };

  if (mover != nullptr)
    consider(mover->getParkedOrbitBody());
  const Window window = nextWindow(count, timer.scanIndex, kFetchScanSize);
  for (uint32_t i = window.first; i < window.end; ++i)
    consider(children[i].get());

  if (winner == nullptr)
    return Running;
  if (!putInFront(object, new transfer_order(static_cast<uint8_t>(TM_From | TM_Percent), 0.5f, lowLevel * winnerMax,
                                             winner, *resource, false)))
    return Running;
  return Yielded;
}

void fetch_order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
  stream.Write(lowLevel);
  writeNetStringW(stream, *resource, kMaxNetStringLength);
}

void fetch_order::save(SaveStream& stream) const {
  stream.writeU8(getType());
  stream.writeFloat(lowLevel);
  saveCommonString(stream, *resource);
}

// --- Records ----------------------------------------------------------------------

Order* readFetchOrderNetwork(RakNet::BitStream& stream) {
  float low = 0.0f;
  irr::core::stringw name;
  if (!stream.Read(low) || !readNetStringW(stream, name) || name.empty())
    return nullptr;
  return new fetch_order(name, low);
}

Order* readCollectOrderSave(SaveStream& stream) {
  const float threshold = stream.readFloat();
  const bool finish = stream.readU8() != 0;
  return new collect_order(savedResource(stream), threshold, finish);
}

Order* readDepositOrderSave(SaveStream& stream) {
  const float threshold = stream.readFloat();
  const bool finish = stream.readU8() != 0;
  return new deposit_order(savedResource(stream), threshold, finish);
}

Order* readFetchOrderSave(SaveStream& stream) {
  const float low = stream.readFloat();
  auto* order = new fetch_order(savedResource(stream), low);
  order->timer.nextCheck = 0;
  order->lastSystem = nullptr;
  return order;
}
