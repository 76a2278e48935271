#include "universe/orders/movement_orders.h"

#include <cmath>

#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

namespace {

// Below this a mover counts as having no engine.
constexpr float kMinThrust = 0.0001f;
// A destination this close (squared) to the object is where it already is.
constexpr float kSamePlace = 0.0001f;
// Saves from this version on carry the fields of a goto.
constexpr int32_t kGotoFieldsVersion = 22;

// Squared distance between two objects: in their container when they share
// one, else in absolute coordinates.
float squaredGap(const generic_object& a, const generic_object& b) {
  if (a.container.load() == b.container.load())
    return a.position.getDistanceFromSQ(b.position);
  return a.getPosition().getDistanceFromSQ(b.getPosition());
}

// A star system's radius is its whole extent, not a surface to keep off.
float surfaceRadius(const generic_object& target) { return target.getType() == OT_System ? 0.0f : target.radius; }

void stopHere(generic_object& object) { object.setDestination(object.getPosition()); }

}  // namespace

// --- Movement steps ------------------------------------------------------------

vector3df stoppingPoint(const generic_object& object, const MobileMover& mover) {
  const float speed = object.velocity.getLength();
  const double mass = object.getMass();
  const float timeToStop = static_cast<float>(speed / (mover.thrust / mass));
  return object.getPosition() + object.velocity * (timeToStop * 0.5f * 0.8f);
}

void brakeToStop(generic_object& object) {
  MobileMover* mover = MobileMover::of(&object);
  if (mover == nullptr || mover->thrust == 0.0f)
    return;
  if (mover->destination.getDistanceFromSQ(object.getPosition()) >= kSamePlace)
    object.setDestination(stoppingPoint(object, *mover));
}

bool approachTarget(generic_object& object, generic_object& target, float near, float far) {
  const float d2 = squaredGap(object, target);
  const float reach = object.radius + surfaceRadius(target);
  MobileMover* mover = MobileMover::of(&object);
  if ((reach + near) * (reach + near) < d2) {
    if (mover != nullptr)
      mover->setTargetObject(&target);
    return (reach + far) * (reach + far) >= d2;
  }
  if (mover != nullptr && mover->thrust > 0.0f &&
      mover->destination.getDistanceFromSQ(object.getPosition()) >= kSamePlace)
    object.setDestination(stoppingPoint(object, *mover));
  return true;
}

// --- move_order ----------------------------------------------------------------

move_order::move_order(const vector3df& destinationPoint, float tolerance)
    : destination(destinationPoint), toleranceSquared(tolerance * tolerance) {}

OrderResult move_order::execute(generic_object& object) {
  const MobileMover* mover = MobileMover::of(&object);
  if (mover == nullptr || mover->thrust < kMinThrust) {
    stopHere(object);
    return Done;
  }
  const vector3df here = object.getPosition();
  if (object.radius * object.radius + toleranceSquared >= here.getDistanceFromSQ(destination)) {
    object.setDestination(here);
    return Done;
  }
  object.setDestination(destination);
  return Running;
}

Order* move_order::clone() const {
  auto* copy = new move_order(destination, 0.0f);
  copy->toleranceSquared = toleranceSquared;
  return copy;
}

irr::core::stringw move_order::describe() const { return L"Moving"; }

void move_order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
  stream.WriteVector(destination.X, destination.Y, destination.Z);
  stream.Write(std::sqrt(toleranceSquared));
}

void move_order::save(SaveStream& stream) const {
  stream.writeU8(getType());
  stream.writeFloat(destination.X);
  stream.writeFloat(destination.Y);
  stream.writeFloat(destination.Z);
  stream.writeFloat(std::sqrt(toleranceSquared));
}

// --- goto_order ----------------------------------------------------------------

goto_order::goto_order(generic_object* gotoTarget, bool followAnywhere, float gap)
    : target(gotoTarget), distance(gap) {
  if (target == nullptr)
    return;
  target->grab();
  if (!followAnywhere)
    homeContainer = target->container.load();
  if (distance < 0.0f)
    distance = target->radius;
}

goto_order::~goto_order() {
  if (target != nullptr)
    target->drop();
}

void* goto_order::operator new(size_t size) { return allocGotoOrder(size); }

void goto_order::operator delete(void* memory) { releaseGotoOrder(memory); }

OrderResult goto_order::execute(generic_object& object) {
  if (target == nullptr || !target->isValid()) {
    stopHere(object);
    return Done;
  }
  MobileMover* mover = MobileMover::of(&object);
  if (mover == nullptr || mover->thrust < kMinThrust) {
    stopHere(object);
    return Done;
  }
  const float d2 = squaredGap(object, *target);
  const float reach = object.radius + distance + surfaceRadius(*target);
  if (reach * reach < d2) {
    if (homeContainer != nullptr && target->container.load() != homeContainer) {
      stopHere(object);
      return Done;
    }
    mover->setTargetObject(target);
    return Running;
  }
  object.setDestination(stoppingPoint(object, *mover));
  return Done;
}

Order* goto_order::clone() const {
  if (target == nullptr)
    return nullptr;
  return new goto_order(target, homeContainer == nullptr, distance);
}

irr::core::stringw goto_order::describe() const {
  irr::core::stringw text(L"Moving to ");
  if (target != nullptr)
    text += target->name;
  return text;
}

void goto_order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
  writeNetObjectRef(stream, target);
  stream.Write(distance);
}

void goto_order::save(SaveStream& stream) const {
  if (target == nullptr || !target->isValid()) {
    stream.writeU8(0);
    return;
  }
  stream.writeU8(getType());
  stream.writeU32(target->uid);
  stream.writeU8(homeContainer != nullptr ? 1 : 0);
  stream.writeFloat(distance);
}

void SetGotoTarget::run() {
  generic_object* object = getObjectByUID(uid_);
  setObjectRef(*targetSlot_, object);
  if (homeSlot_ != nullptr)
    *homeSlot_ = object != nullptr ? object->container.load() : nullptr;
}

// --- Goto pool -----------------------------------------------------------------

ObjectPool& gotoOrderPool() {
  static ObjectPool pool(sizeof(goto_order));
  return pool;
}

// Made when the program loads, before any thread can race to make it.
[[maybe_unused]] static ObjectPool& gotoPoolAtLoad = gotoOrderPool();

void* allocGotoOrder(size_t size) { return gotoOrderPool().allocate(size); }

void releaseGotoOrder(void* memory) { gotoOrderPool().free(memory); }

// --- Record readers ------------------------------------------------------------

Order* readMoveOrderNetwork(RakNet::BitStream& stream) {
  vector3df destination;
  float tolerance = 0.0f;
  if (!stream.ReadVector(destination.X, destination.Y, destination.Z) || !stream.Read(tolerance))
    return nullptr;
  return new move_order(destination, tolerance);
}

Order* readGotoOrderNetwork(RakNet::BitStream& stream) {
  const uint32_t uid = readNetUInt(stream);
  float distance = 0.0f;
  if (stream.ReadFailed() || !stream.Read(distance))
    return nullptr;
  generic_object* target = getObjectByUID(uid);
  if (target == nullptr)
    return nullptr;
  return new goto_order(target, true, distance);
}

Order* readMoveOrderSave(SaveStream& stream) {
  vector3df destination;
  stream.readFloat3(destination.X, destination.Y, destination.Z);
  const float tolerance = stream.readFloat();
  return new move_order(destination, tolerance);
}

Order* readGotoOrderSave(SaveStream& stream) {
  if (stream.version() < kGotoFieldsVersion)
    return nullptr;
  const uint32_t uid = stream.readU32();
  const bool hasHome = stream.readU8() != 0;
  const float distance = stream.readFloat();
  auto* order = new goto_order();
  order->distance = distance;
  queuePostObjectTreeStep(new SetGotoTarget(uid, &order->target, hasHome ? &order->homeContainer : nullptr));
  return order;
}
