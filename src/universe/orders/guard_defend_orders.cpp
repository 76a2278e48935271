// `guard_order` keeps a ship within its weapon range of another object;
// `defend_order` picks the most attractive enemy of the object's star system
// once a second and attacks it.
#include <algorithm>
#include <cstdint>

#include "core/net_encoders.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "empire/empire.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace {

// The record of a guard whose objects are gone: read as type 0, which adds
// nothing.
constexpr uint8_t kLostGuardRecord = 0;
// Children looked at by one scan of a system the object stayed in.
constexpr uint32_t kPartialScanSize = 100;
// How close a defender returning to its post must come (AIS_Defend).
constexpr float kReturnTolerance = 0.1f;

UnitAI* unitAIOf(const generic_object* object) {
  return object != nullptr ? dynamic_cast<UnitAI*>(object->ai) : nullptr;
}

}  // namespace

// --- guard_order ---------------------------------------------------------------

guard_order::guard_order(generic_object* guardedObject, generic_object* guardObject)
    : guarded(guardedObject), guard(guardObject) {
  if (guarded != nullptr)
    guarded->grab();
  if (guard != nullptr) {
    guard->grab();
    if (UnitAI* ai = unitAIOf(guard)) {
      savedStance = ai->stance;
      ai->stance = AIS_HoldPosition;
    }
  }
}

guard_order::~guard_order() {
  if (guard != nullptr) {
    if (guard->isValid()) {
      if (UnitAI* ai = unitAIOf(guard))
        ai->stance = savedStance;
    }
    guard->drop();
  }
  if (guarded != nullptr)
    guarded->drop();
}

OrderResult guard_order::execute(generic_object& object) {
  if (object.getType() != OT_Hulled || guarded == nullptr || guard == nullptr || !guarded->isValid() ||
      !guard->isValid())
    return Done;
  const float distanceSquared = object.getPosition().getDistanceFromSQ(guarded->getPosition());
  const float base = (guarded->radius + object.radius) * 2.0f;
  auto* hulled = dynamic_cast<objHulled*>(&object);
  const float leash = hulled != nullptr ? hulled->getMaxEffectorRange() : base * 2.0f;
  if (leash * leash < distanceSquared) {
    if (object.ai != nullptr) {
      object.ai->addOrder(new goto_order(guarded, true, std::max(base, leash * 0.5f)), false);
      return Yielded;
    }
  }
  return Running;
}

Order* guard_order::clone() const { return new guard_order(guarded, guard); }

irr::core::stringw guard_order::describe() const {
  irr::core::stringw text(L"Guard ");
  if (guarded != nullptr)
    text += guarded->name;
  return text;
}

void guard_order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
  writeNetObjectRef(stream, guarded);
}

void guard_order::save(SaveStream& stream) const {
  if (guarded == nullptr || guard == nullptr || !guarded->isValid() || !guard->isValid()) {
    stream.writeU8(kLostGuardRecord);
    return;
  }
  stream.writeU8(getType());
  stream.writePackedUInt(guarded->uid);
  stream.writePackedUInt(guard->uid);
  stream.writeU8(savedStance);
}

Order* readGuardOrderNetwork(RakNet::BitStream& stream, generic_object* carrier) {
  const uint32_t uid = readNetUInt(stream);
  if (stream.ReadFailed() || carrier == nullptr)
    return nullptr;
  // Held while the order takes its own reference.
  generic_object* guarded = getObjectByUIDRef(uid);
  if (guarded == nullptr)
    return nullptr;
  Order* order = new guard_order(guarded, carrier);
  guarded->drop();
  return order;
}

Order* readGuardOrderSave(SaveStream& stream) {
  const uint32_t guardedUID = stream.readPackedUInt();
  const uint32_t guardUID = stream.readPackedUInt();
  const auto stance = static_cast<AIStance>(stream.readU8());
  // The loaded guard's AI record carries its present stance; the order only
  // keeps the one to give back.
  auto* order = new guard_order();
  order->savedStance = stance;
  // getObjectByUIDRef's reference becomes the order's.
  order->guarded = getObjectByUIDRef(guardedUID);
  if (order->guarded == nullptr)
    queuePostObjectTreeStep(new PostObjectTreeSetTarget(guardedUID, &order->guarded));
  order->guard = getObjectByUIDRef(guardUID);
  if (order->guard == nullptr)
    queuePostObjectTreeStep(new PostObjectTreeSetTarget(guardUID, &order->guard));
  return order;
}

// --- defend_order --------------------------------------------------------------

defend_order::defend_order() : nextCheck(objectRealTimeMs() + 1000) {}

Order* defend_order::clone() const {
  auto* copy = new defend_order();
  copy->interval = interval;
  copy->nextCheck = nextCheck;
  copy->scanIndex = scanIndex;
  copy->lastSystem = lastSystem;
  return copy;
}

irr::core::stringw defend_order::describe() const { return L"Defend system"; }

OrderResult defend_order::execute(generic_object& object) {
  const uint32_t now = objectRealTimeMs();
  if (now < nextCheck)
    return object.container.load() != lastSystem ? Waiting : Running;
  nextCheck = now + interval;

  generic_object* system = firstSystemAbove(object);
  if (system == nullptr)
    return Running;
  UnitAI* ai = unitAIOf(&object);
  const AIStance stance = ai != nullptr ? ai->stance : AIS_Engage;
  if (system->getType() == OT_Galaxy || (stance != AIS_Engage && stance != AIS_Defend))
    return Running;

  const auto& children = system->children;
  const ScanRange scan = nextScanRange(system, lastSystem, scanIndex, kPartialScanSize);
  const bool fullScan = scan.full;
  const uint32_t first = scan.first;
  const uint32_t end = scan.end;

  generic_object* winner = nullptr;
  float bestScore = 0.0f;
  empire* own = object.owner;
  for (uint32_t i = first; own != nullptr && object.ai != nullptr && i < end; ++i) {
    generic_object* candidate = children[i].get();
    if (candidate == nullptr || candidate == &object || candidate->owner == nullptr)
      continue;
    if (fullScan && !candidate->isValid())
      continue;
    if (!own->isEnemy(candidate->owner))
      continue;
    const float weight = object.ai->getTargetWeight(candidate);
    if (!(weight > bestScore))
      continue;
    const float score = weight / candidate->position.getDistanceFrom(object.position);
    if (score > bestScore) {
      bestScore = score;
      winner = candidate;
    }
  }
  if (winner == nullptr)
    return Running;

  object.ai->addOrder(new attack_order(winner, false, false), false);
  if (stance == AIS_Defend)
    object.ai->insertBeforeAutomation(new move_order(object.getPosition(), kReturnTolerance));
  return Yielded;
}
