#include "net/object_receivers.h"

#include "core/net_encoders.h"
#include "empire/empire.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/galaxygen/net_object_records.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_locks.h"

namespace {

constexpr uint8_t kEventOwner = 0;
constexpr uint8_t kEventDock = 1;
constexpr uint8_t kEventUndock = 2;
constexpr uint8_t kEventOrbitStart = 3;
constexpr uint8_t kEventOrbitEnd = 4;

// Holds one reference on an object found by UID; null when none.
class FoundObject {
 public:
  explicit FoundObject(uint32_t uid) : object_(uid != 0 ? getObjectByUIDRef(uid) : nullptr) {}
  ~FoundObject() {
    if (object_ != nullptr)
      object_->drop();
  }
  FoundObject(const FoundObject&) = delete;
  FoundObject& operator=(const FoundObject&) = delete;
  generic_object* get() const { return object_; }

 private:
  generic_object* object_;
};

// The object's container locked while it lives.
class ContainerLock {
 public:
  explicit ContainerLock(generic_object& object) : object_(object) { object_.lockContainer(); }
  ~ContainerLock() { object_.unlockContainer(); }
  ContainerLock(const ContainerLock&) = delete;
  ContainerLock& operator=(const ContainerLock&) = delete;

 private:
  generic_object& object_;
};

bool readOwnerEvent(RakNet::BitStream& stream, generic_object* object) {
  uint8_t id = 0;
  if (!stream.Read(id))
    return false;
  if (object == nullptr)
    return true;
  empire* emp = id != kInvalidEmpireID ? getEmpireByID(id) : nullptr;
  if (emp == nullptr || emp->ID != id)
    emp = getEmpireByID(kSpaceEmpireID);
  const ContainerLock lock(*object);
  object->setOwner(emp);
  return true;
}

bool readDockEvent(RakNet::BitStream& stream, generic_object* host) {
  const FoundObject docked(readNetUInt(stream));
  if (stream.ReadFailed())
    return false;
  generic_object* object = docked.get();
  // Only what sits in the tree docks in what sits in the tree: a star system
  // or an object docked already would leave it, or close a circle.
  if (host == nullptr || object == nullptr || host->container.load() == nullptr ||
      object->container.load() == nullptr || object->getType() == OT_System || object->getType() == OT_Galaxy)
    return true;
  const ContainerLock lock(*host);
  host->dockObject(object);
  return true;
}

bool readUndockEvent(RakNet::BitStream& stream, generic_object* host) {
  uint32_t index = 0;
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float angle = 0.0f;
  if (!stream.Read(index))
    return false;
  const FoundObject undocked(readNetUInt(stream));
  if (!stream.Read(x) || !stream.Read(y) || !stream.Read(z) || !stream.Read(angle))
    return false;
  if (host == nullptr)
    return true;
  const ContainerLock lock(*host);
  if (index >= host->docked.size())
    return true;
  generic_object* leaving = host->docked[index].object;
  host->undockObject(index);
  generic_object* placed = undocked.get();
  if (placed != nullptr && placed == leaving && placed->container.load() != nullptr) {
    placed->position.set(x, y, z);
    placed->rotation.set(0.0f, angle, 0.0f);
    FakeMobileMover::receiveUpdateFor(*placed, placed->position, placed->rotation);
  }
  return true;
}

bool isServerSide(NetPlayer* from) {
  return from != nullptr || (networkManager != nullptr && networkManager->isServer.load());
}

class ObjectRecordReceiver : public MessageReceiver {
 public:
  void handle(uint8_t, RakNet::BitStream& stream, NetPlayer* from) override {
    if (!isServerSide(from))
      readObjectFromNetwork(stream);
  }
};

class ObjectDestroyedReceiver : public MessageReceiver {
 public:
  void handle(uint8_t, RakNet::BitStream& stream, NetPlayer* from) override {
    if (!isServerSide(from))
      readObjectDestroyed(stream);
  }
};

class ObjectEventReceiver : public MessageReceiver {
 public:
  void handle(uint8_t, RakNet::BitStream& stream, NetPlayer* from) override {
    if (!isServerSide(from))
      readObjectEvent(stream);
  }
};

}  // namespace

bool readObjectDestroyed(RakNet::BitStream& stream) {
  uint32_t uid = 0;
  if (!stream.Read(uid))
    return false;
  const FoundObject object(uid);
  if (object.get() == nullptr)
    return true;
  solarSystem* system = object.get()->lockContainerSystem();
  object.get()->destroy(false);
  unlockSolarSystem(system);
  return true;
}

bool readObjectEvent(RakNet::BitStream& stream) {
  const FoundObject object(readNetUInt(stream));
  uint8_t event = 0;
  if (!stream.Read(event))
    return false;
  switch (event) {
    case kEventOwner:
      return readOwnerEvent(stream, object.get());
    case kEventDock:
      return readDockEvent(stream, object.get());
    case kEventUndock:
      return readUndockEvent(stream, object.get());
    case kEventOrbitStart:
      return readMirrorOrbitStart(stream, object.get());
    case kEventOrbitEnd:
      return readMirrorOrbitEnd(stream, object.get());
    default:
      return false;
  }
}

void registerObjectReceivers() {
  static ObjectRecordReceiver records;
  static ObjectDestroyedReceiver destroyed;
  static ObjectEventReceiver events;
  networkManager->registerReceiver(kMsgObjectRecord, &records);
  networkManager->registerReceiver(kMsgObjectDestroyed, &destroyed);
  networkManager->registerReceiver(kMsgObjectEvent, &events);
}
