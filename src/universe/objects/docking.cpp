// Docking: a planet or ship holds other objects inside it, out of the
// object tree, with the movement handler each had kept aside until it
// leaves again.
//
// Both operations run where the host's star system is held (its worker, or
// a caller holding its lock): the docked object leaves or joins the host's
// own container, under the same lock.
//
// Messages (server of a network game to all, channel 2, reliable ordered):
//
//   dock (138/1)     u8 138, host reference, u8 1, docked object reference
//   undock (138/2)   u8 138, host reference, u8 2, u32 entry index,
//                    undocked object reference, position x, y, z (f32,
//                    relative to its new container), rotation angle (f32,
//                    degrees about Y)
#include <cmath>

#include "core/net_encoders.h"
#include "core/random.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/docking.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_messages.h"
#include "universe/orders/cargo_orders.h"

namespace {

// The resource an undocked object takes from its host.
const irr::core::stringw kFuel = L"Fuel";
// All of the source's stock, once.
constexpr float kWholeStock = 1.0f;
constexpr float kNoMinimum = 0.0f;
constexpr float kFullTurnDegrees = 360.0f;
constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

void sendDocked(generic_object& host, generic_object& object) {
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = objectmsg::messageStream(fallback);
  stream.Write(objectmsg::kMsgDockEvent);
  writeNetObjectRef(stream, &host);
  stream.Write(objectmsg::kDockEventDock);
  writeNetObjectRef(stream, &object);
  networkManager->send(&stream, objectmsg::kChannelObjectEvents, RakNet::RELIABLE_ORDERED,
                       RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

void sendUndocked(generic_object& host, uint32_t index, generic_object& object, float angle) {
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = objectmsg::messageStream(fallback);
  stream.Write(objectmsg::kMsgDockEvent);
  writeNetObjectRef(stream, &host);
  stream.Write(objectmsg::kDockEventUndock);
  stream.Write(index);
  writeNetObjectRef(stream, &object);
  stream.Write(object.position.X);
  stream.Write(object.position.Y);
  stream.Write(object.position.Z);
  stream.Write(angle);
  networkManager->send(&stream, objectmsg::kChannelObjectEvents, RakNet::RELIABLE_ORDERED,
                       RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

// An angle in [0, 360) from the calling thread's generator.
float randomAngle() {
  const float angle = randomf(kFullTurnDegrees);
  return angle < kFullTurnDegrees ? angle : 0.0f;  // rounding may reach 360
}

// The way an object with rotation (0, angle, 0) faces: its local (0, 0, -1).
vector3df facingOf(float angle) {
  const double radians = angle * kDegreesToRadians;
  return vector3df(static_cast<float>(-std::sin(radians)), 0.0f, static_cast<float>(-std::cos(radians)));
}

}  // namespace

bool generic_object::dockObject(generic_object* object) {
  if (object == nullptr || object == this || !object->isValid())
    return false;
  const bool client = isNetworkClient();
  const float space = object->radius * object->radius;
  if (!client && !(space < dockSpace - dockUsed))
    return false;

  object->grab();  // the entry's reference, taken before the container lets go of its own
  dockUsed += space;
  dockedMass += object->getBaseMass();
  object->setContainer(nullptr);
  if (object->graphics != nullptr)
    object->graphics->setHidden(false, kHiddenDocked);
  docked.push_back(StoredObject{object, object->mover, space});
  object->mover = nullptr;

  if (!client && object->ai != nullptr)
    object->ai->clearOrders(false);  // automation orders stay
  if (objectmsg::isNetworkServer())
    sendDocked(*this, *object);
  return true;
}

void generic_object::undockObject(unsigned index) {
  generic_object* outer = container.load();
  // Released with no container to go to, the object would be lost.
  if (index >= docked.size() || outer == nullptr)
    return;
  const StoredObject entry = docked[index];
  docked.erase(index);
  generic_object* object = entry.object;

  object->mover = entry.mover;
  object->localTime = localTime;
  // Shown again, under the graphics of the container it goes to.
  if (graphicsObject* mirror = object->graphics) {
    mirror->setHidden(true, kHiddenDocked);
    mirror->setParent(renderGroupMapAt(outer));
  }
  const float angle = randomAngle();
  object->rotation.set(0.0f, angle, 0.0f);
  // Absolute until it joins the container, which makes it relative.
  object->position = getPosition() + facingOf(angle) * (object->radius + radius);
  object->velocity = velocity;
  object->setContainer(outer);
  object->setDestination(object->getPosition());
  if (MobileMover* mobile = MobileMover::of(object))
    mobile->startParkOrbit(*object);

  if (!isNetworkClient()) {
    if (object->ai != nullptr)
      object->ai->addOrder(new transfer_order(TM_Percent | TM_From, kWholeStock, kNoMinimum, this, kFuel, true),
                           false);
    else if (ai != nullptr)
      ai->addOrder(new transfer_order(TM_Percent, kWholeStock, kNoMinimum, object, kFuel, true), false);
  }

  dockUsed -= entry.space;
  dockedMass -= object->getBaseMass();
  if (objectmsg::isNetworkServer())
    sendUndocked(*this, index, *object, angle);
  object->drop();  // the entry's reference: the container holds it now
}

void generic_object::undockAll(OnUnDock* filter) {
  unsigned index = 0;
  while (index < docked.size()) {
    const unsigned before = docked.size();
    if (filter == nullptr || filter->release(docked[index].object))
      undockObject(index);
    // An entry that could not leave is passed over, as a refused one is.
    if (docked.size() == before)
      ++index;
  }
}

void destroyDockedObjects(generic_object& host, bool quiet) {
  while (host.docked.size() > 0) {
    const StoredObject entry = host.docked.getLast();
    host.docked.erase(host.docked.size() - 1);
    host.dockUsed -= entry.space;
    host.dockedMass -= entry.object->getBaseMass();
    entry.object->mover = entry.mover;  // released with the object
    entry.object->destroyNow(quiet);
    entry.object->drop();
  }
}

void releaseDockedEntries(generic_object& host) {
  for (irr::u32 i = 0; i < host.docked.size(); ++i) {
    const StoredObject& entry = host.docked[i];
    if (entry.object->mover == nullptr)
      entry.object->mover = entry.mover;
    else if (entry.mover != nullptr)
      entry.mover->release();
    entry.object->drop();
  }
  host.docked.clear();
}

void dockLoadedObject(generic_object& carrier, generic_object& object) {
  object.grab();  // the entry's reference
  if (generic_object* outer = object.container.exchange(nullptr)) {
    outer->removeChild(&object);
    outer->drop();
  }
  const float space = object.radius * object.radius;
  carrier.dockUsed += space;
  carrier.dockedMass += object.getBaseMass();
  carrier.docked.push_back(StoredObject{&object, object.mover, space});
  object.mover = nullptr;
}
