#include "universe/orders/cargo_orders.h"

#include <algorithm>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/orders/movement_orders.h"

namespace {

// How near (beyond the two surfaces) the carrier goes before it moves
// anything, and how far off it may already act.
constexpr float kTransferNear = 3.0f;
constexpr float kTransferFar = 32.0f;
// A minimum below this means none.
constexpr float kNoMinimum = 0.01f;
// The mode's own bits, without TM_From.
constexpr uint8_t kModeMask = 0x7F;

// What `object` can give of the resource: val + inCargo - required, never
// below 0 (a reservation above the stock leaves nothing to give).
float availableOf(generic_object& object, const irr::core::stringw& resource) {
  const State* state = findObjectState(&object, resource);
  return state != nullptr ? std::max(0.0f, getAvailable(*state)) : 0.0f;
}

OrderResult stopAndEnd(generic_object& object) {
  brakeToStop(object);
  return Done;
}

}  // namespace

// --- transfer_order ------------------------------------------------------------

transfer_order::transfer_order(uint8_t transferMode, float transferAmount, float transferMinimum,
                               generic_object* otherObject, const irr::core::stringw& resourceName,
                               bool followAnywhere)
    : mode(transferMode),
      amount(transferAmount),
      remaining(transferAmount),
      minimum(transferMinimum),
      other(otherObject),
      resource(internCommonString(resourceName)) {
  if (other == nullptr)
    return;
  other->grab();
  if (!followAnywhere)
    homeContainer = other->container.load();
}

transfer_order::~transfer_order() {
  if (other != nullptr)
    other->drop();
}

void* transfer_order::operator new(size_t size) { return allocTransferOrder(size); }

void transfer_order::operator delete(void* memory) { releaseTransferOrder(memory); }

OrderResult transfer_order::execute(generic_object& object) {
  generic_object* otherContainer = other != nullptr ? other->container.load() : nullptr;
  if (other == nullptr || !other->isValid() || otherContainer == nullptr || resource == nullptr || amount <= 0.0f ||
      (homeContainer != nullptr && (otherContainer != homeContainer || otherContainer != object.container.load())))
    return stopAndEnd(object);

  const bool takes = (mode & TM_From) != 0;
  generic_object& source = takes ? *other : object;
  generic_object& destination = takes ? object : *other;

  if (minimum >= kNoMinimum && source.container.load() == destination.container.load() &&
      availableOf(source, *resource) < minimum)
    return stopAndEnd(object);

  if (!approachTarget(object, *other, kTransferNear, kTransferFar)) {
    if (object.mover == nullptr)
      return Done;
    const MobileMover* mover = MobileMover::of(&object);
    return mover == nullptr || mover->thrust > 0.0f ? Running : Done;
  }

  const float have = availableOf(source, *resource);
  if (have <= 0.0f) {
    if ((mode & kModeMask) == TM_All_Amount)
      return Running;  // waits for the source to fill again
    return stopAndEnd(object);
  }

  State* into = getOrAddObjectState(&destination, *resource);
  // A destination already above its capacity has no room, not less than none.
  const float space = std::max(0.0f, getTotalFreeSpace(*into, &destination));
  float moved = 0.0f;
  bool done = true;
  switch (mode & kModeMask) {
    case TM_Amount:
      moved = std::min({have, space, amount});
      break;
    case TM_All_Amount:
      moved = std::min({have, space, remaining});
      remaining -= moved;
      if (remaining <= 0.0f)
        remaining = amount;
      else
        done = false;
      break;
    case TM_Percent:
      moved = std::min(amount * have, space);
      break;
    default:
      return stopAndEnd(object);
  }

  if (moved > 0.0f) {
    State* from = findObjectState(&source, *resource);
    consumeFromState(*from, &source, moved);
    addToState(*into, &destination, moved);
  }
  if (!done)
    return Running;
  return stopAndEnd(object);
}

Order* transfer_order::clone() const {
  if (other == nullptr || !other->isValid() || resource == nullptr)
    return nullptr;
  auto* copy = new transfer_order(mode, amount, minimum, other, *resource, true);
  copy->remaining = remaining;
  copy->homeContainer = homeContainer;
  return copy;
}

irr::core::stringw transfer_order::describe() const {
  const bool takes = (mode & TM_From) != 0;
  irr::core::stringw text(takes ? L"Take " : L"Transfer ");
  if (resource != nullptr)
    text += *resource;
  text += takes ? L" from " : L" to ";
  if (other != nullptr)
    text += other->name;
  return text;
}

void transfer_order::writeNetwork(RakNet::BitStream& stream) const {
  if (other == nullptr || !other->isValid() || resource == nullptr) {
    stream.Write(static_cast<uint8_t>(0));
    return;
  }
  stream.Write(static_cast<uint8_t>(getType()));
  writeNetStringW(stream, *resource, kMaxNetStringLength);
  writeNetObjectRef(stream, other);
  stream.Write(mode);
  stream.Write(amount);
  stream.Write(minimum);
  stream.Write(homeContainer == nullptr);
}

void transfer_order::save(SaveStream& stream) const {
  if (other == nullptr || !other->isValid() || resource == nullptr) {
    stream.writeU8(0);
    return;
  }
  stream.writeU8(getType());
  stream.writePackedUInt(other->uid);
  stream.writeU8(homeContainer == nullptr ? 1 : 0);
  stream.writeFloat(amount);
  stream.writeFloat(remaining);
  stream.writeFloat(minimum);
  stream.writeU8(mode);
  saveCommonString(stream, *resource);
}

void SetTransferTarget::run() {
  generic_object* object = getObjectByUID(uid_);
  setObjectRef(*otherSlot_, object);
  if (homeSlot_ != nullptr)
    *homeSlot_ = object != nullptr ? object->container.load() : nullptr;
}

// --- Transfer pool -------------------------------------------------------------

ObjectPool& transferOrderPool() {
  static ObjectPool pool(sizeof(transfer_order), kTransferPoolBlockElements);
  return pool;
}

// Made when the program loads, before any thread can race to make it.
[[maybe_unused]] static ObjectPool& transferPoolAtLoad = transferOrderPool();

void* allocTransferOrder(size_t size) { return transferOrderPool().allocate(size); }

void releaseTransferOrder(void* memory) { transferOrderPool().free(memory); }

// --- Record readers ------------------------------------------------------------

Order* readTransferOrderNetwork(RakNet::BitStream& stream) {
  irr::core::stringw resource;
  if (!readNetStringW(stream, resource))
    return nullptr;
  const uint32_t uid = readNetUInt(stream);
  uint8_t mode = 0;
  float amount = 0.0f;
  float minimum = 0.0f;
  bool noHome = false;
  if (stream.ReadFailed() || !stream.Read(mode) || !stream.Read(amount) || !stream.Read(minimum) ||
      !stream.Read(noHome))
    return nullptr;
  if (resource.empty())
    return nullptr;
  generic_object* other = getObjectByUID(uid);
  if (other == nullptr)
    return nullptr;
  return new transfer_order(mode, amount, minimum, other, resource, noHome);
}

Order* readTransferOrderSave(SaveStream& stream) {
  const uint32_t uid = stream.readPackedUInt();
  const bool hasHome = stream.readU8() == 0;
  const float amount = stream.readFloat();
  const float remaining = stream.readFloat();
  const float minimum = stream.readFloat();
  const uint8_t mode = stream.readU8();
  const irr::core::stringw* resource = readCommonString(stream);
  auto* order = new transfer_order();
  order->mode = mode;
  order->amount = amount;
  order->remaining = remaining;
  order->minimum = minimum;
  order->resource = resource;
  queuePostObjectTreeStep(new SetTransferTarget(uid, &order->other, hasHome ? &order->homeContainer : nullptr));
  return order;
}
