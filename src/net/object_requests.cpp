#include "net/object_requests.h"

#include <algorithm>
#include <mutex>

#include "core/net_encoders.h"
#include "design/build/build_requests.h"
#include "design/build/build_rules.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/diplomacy_messages.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/orders/order.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

// The sender's empire; null for a spectator or no sender.
empire* senderEmpire(NetPlayer* sender) {
  if (sender == nullptr || networkManager == nullptr || !networkManager->isServer)
    return nullptr;
  std::lock_guard<std::mutex> guard(networkManager->playersLock);
  return sender->emp;
}

// An object reference (compact u32); false, with nothing read into `uid`,
// when the stream is short.
bool readObjectRef(RakNet::BitStream& stream, uint32_t& uid) {
  bool wide = false;
  if (!stream.Read(wide))
    return false;
  if (wide)
    return stream.Read(uid);
  if (stream.GetNumberOfUnreadBits() < 15)
    return false;
  unsigned char high = 0, low = 0;
  if (!stream.ReadBits(&high, 7) || !stream.ReadBits(&low, 8))
    return false;
  uid = static_cast<uint32_t>(high) * 256 + low;
  return true;
}

// One object of the sender's empire, held and with its container locked
// for the handler's whole run; `object` stays null when the look-up or the
// owner check fails.
class OwnedObject {
 public:
  OwnedObject(uint32_t uid, empire* owner) {
    if (owner == nullptr || uid == 0)
      return;
    held_ = getObjectByUIDRef(uid);
    if (held_ == nullptr)
      return;
    held_->lockContainer();
    locked_ = true;
    // The owner is read under the lock: a conquest runs on the galaxy thread.
    if (held_->isValid() && held_->getOwner() == owner)
      object = held_;
  }
  ~OwnedObject() {
    if (locked_)
      held_->unlockContainer();
    if (held_ != nullptr)
      held_->drop();
  }
  OwnedObject(const OwnedObject&) = delete;
  OwnedObject& operator=(const OwnedObject&) = delete;

  generic_object* object = nullptr;

 private:
  generic_object* held_ = nullptr;
  bool locked_ = false;
};

objHabitation* asPlanet(generic_object* object) { return dynamic_cast<objHabitation*>(object); }

objHulled* asHulled(generic_object* object) {
  return object->getType() == OT_Hulled ? dynamic_cast<objHulled*>(object) : nullptr;
}

bool isUnlockedFor(const SubSystemDef* def, const empire* emp) {
  return def != nullptr && (def->unlockedBy.load() & emp->ownBit) != 0;
}

// How many more items requests may put in `object`'s queue.
uint32_t queueRoom(const generic_object* object) {
  const uint32_t length = object->buildQueue.size();
  return length >= kMaxRequestedQueueLength ? 0 : kMaxRequestedQueueLength - length;
}

// The free structure slots of `planet`: its maximum count less what it
// holds, 0 when it holds that many or more. Queued items take no slot.
uint32_t freeStructureSlots(const objHabitation* planet) {
  const int max = planet->getMaxStructureCount();
  const int held = static_cast<int>(planet->structures.size());
  return max > held ? static_cast<uint32_t>(max - held) : 0;
}

// The count field of 117 sub-kinds 1 and 4: absent from a version-6 client
// (nothing follows then). False for a count cut short.
bool readOptionalCount(RakNet::BitStream& stream, BuildRequest& request) {
  request.hasCount = false;
  request.count = 1;
  if (stream.GetNumberOfUnreadBits() == 0)
    return true;
  uint16_t count = 0;
  if (!stream.Read(count))
    return false;
  request.hasCount = true;
  request.count = std::min<uint32_t>(count, kMaxBuildRequestCount);
  return true;
}

// Queues `request` with its count cut to `limit` (nothing for 0).
void queueLimited(generic_object* object, empire* emp, BuildRequest request, uint32_t limit) {
  const uint32_t count = std::min(request.hasCount ? request.count : 1u, limit);
  if (count == 0)
    return;
  request.hasCount = true;
  request.count = count;
  queueBuildRequest(object, emp, request);
}

void buildStructures(RakNet::BitStream& stream, generic_object* object, empire* emp) {
  BuildRequest request;
  request.subKind = BRK_Structure;
  if (!stream.Read(request.definitionId) || !readOptionalCount(stream, request))
    return;
  objHabitation* planet = asPlanet(object);
  if (planet == nullptr)
    return;
  // What a local order could not queue is refused here too.
  const SubSystemDef* def = lookupSubSystemDefByID(request.definitionId);
  if (def == nullptr || !def->allowsBuildOn(planet) || !isUnlockedFor(def, emp))
    return;
  queueLimited(object, emp, request, std::min(freeStructureSlots(planet), queueRoom(object)));
}

void rebuildStructure(RakNet::BitStream& stream, generic_object* object, empire* emp) {
  BuildRequest request;
  request.subKind = BRK_Rebuild;
  if (!stream.Read(request.structureIndex))
    return;
  if (queueRoom(object) > 0)
    queueBuildRequest(object, emp, request);
}

void buildShips(RakNet::BitStream& stream, generic_object* object, empire* emp) {
  BuildRequest request;
  request.subKind = BRK_Ship;
  if (!readNetStringW(stream, request.layoutName) || !readOptionalCount(stream, request))
    return;
  hull_list* layout = emp->updateHullByName(request.layoutName, -1.0f);
  if (layout == nullptr)
    return;
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    const subSystem* part = layout->systems[i].system;
    if (part != nullptr && !isUnlockedFor(part->def, emp))
      return;
  }
  queueLimited(object, emp, request, queueRoom(object));
}

void removeStructure(RakNet::BitStream& stream, generic_object* object) {
  uint32_t index = 0;
  if (!stream.Read(index))
    return;
  if (objHabitation* planet = asPlanet(object))
    planet->removeStructure(index);
}

// 118 sub-kind 6: only a planet has a rally point; 0 clears it, any other
// reference must name an existing object.
void setRallyPoint(RakNet::BitStream& stream, generic_object* object) {
  uint32_t uid = 0;
  if (!readObjectRef(stream, uid))
    return;
  objHabitation* planet = asPlanet(object);
  if (planet == nullptr)
    return;
  if (uid == 0) {
    planet->setLinkedObject(nullptr);
    return;
  }
  generic_object* rally = getObjectByUIDRef(uid);
  if (rally == nullptr)
    return;
  planet->setLinkedObject(rally);  // takes its own reference
  rally->drop();
}

class ObjectRequestReceiver : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override {
    switch (messageId) {
      case ID_OBJECT_ORDER:
        handleOrderRequest(stream, from);
        break;
      case ID_BUILD_QUEUE:
        handleBuildRequest(stream, from);
        break;
      case ID_PLANET_SETTING:
        handlePlanetSetting(stream, from);
        break;
      case ID_OBJECT_COMMAND:
        handleObjectCommand(stream, from);
        break;
      case ID_BUILD_LIST:
        if (networkManager != nullptr && !networkManager->isServer)
          handleBuildListName(stream);
        break;
      default:
        break;
    }
  }
};

}  // namespace

void writeShipBuildRequest(RakNet::BitStream& stream, uint32_t objectUid, const irr::core::stringw& layoutName,
                           const uint16_t* count) {
  stream.Write(ID_BUILD_QUEUE);
  stream.Write(objectUid);
  stream.Write(static_cast<uint8_t>(BRK_Ship));
  writeNetStringW(stream, layoutName, kMaxNetStringLength);
  if (count != nullptr)
    stream.Write(*count);
}

void writeStructureBuildRequest(RakNet::BitStream& stream, uint32_t planetUid, uint32_t definitionId,
                                const uint16_t* count) {
  stream.Write(ID_BUILD_QUEUE);
  stream.Write(planetUid);
  stream.Write(static_cast<uint8_t>(BRK_Structure));
  stream.Write(definitionId);
  if (count != nullptr)
    stream.Write(*count);
}

void handleOrderRequest(RakNet::BitStream& stream, NetPlayer* sender) {
  empire* emp = senderEmpire(sender);
  uint32_t uid = 0;
  if (emp == nullptr || !stream.Read(uid))
    return;
  OwnedObject target(uid, emp);
  generic_object* object = target.object;
  if (object == nullptr || object->ai == nullptr)
    return;
  uint8_t flags = 0;
  if (!stream.Read(flags))
    return;
  Order* order = nullptr;
  if ((flags & ORF_Clear) == 0) {
    order = readOrderFromNetwork(stream, object);
    if (order == nullptr)
      return;
  }
  applyOrderRequest(*object, emp, flags, order);
}

void handleBuildRequest(RakNet::BitStream& stream, NetPlayer* sender) {
  empire* emp = senderEmpire(sender);
  uint32_t uid = 0;
  uint8_t subKind = 0;
  if (emp == nullptr || !stream.Read(uid) || !stream.Read(subKind))
    return;
  OwnedObject target(uid, emp);
  generic_object* object = target.object;
  if (object == nullptr)
    return;
  switch (subKind) {
    case BRK_Structure:
      buildStructures(stream, object, emp);
      break;
    case BRK_Rebuild:
      rebuildStructure(stream, object, emp);
      break;
    case kBuildRemoveStructure:
      removeStructure(stream, object);
      break;
    case BRK_Ship:
      buildShips(stream, object, emp);
      break;
    case kBuildClearQueue:
      object->clearBuildQueue();
      break;
    default:
      break;
  }
}

void handlePlanetSetting(RakNet::BitStream& stream, NetPlayer* sender) {
  empire* emp = senderEmpire(sender);
  uint32_t uid = 0;
  if (emp == nullptr || !readObjectRef(stream, uid))
    return;
  OwnedObject target(uid, emp);
  generic_object* object = target.object;
  uint8_t subKind = 0;
  if (object == nullptr || !stream.Read(subKind))
    return;
  switch (subKind) {
    case PSK_UseGovernor: {
      bool use = false;
      objHabitation* planet = asPlanet(object);
      if (stream.Read(use) && planet != nullptr)
        planet->setUseGovernor(use);
      break;
    }
    case PSK_MoveItem: {
      uint32_t from = 0, to = 0;
      if (stream.Read(from) && stream.Read(to))
        object->moveConstructible(from, to);
      break;
    }
    case PSK_RemoveItem: {
      uint32_t index = 0;
      if (stream.Read(index) && index < object->buildQueue.size())
        object->removeConstructible(object->buildQueue[index]);
      break;
    }
    case PSK_GovernorType: {
      // Only one of the empire's own lists: names are kept for the life of
      // the process.
      irr::core::stringw name;
      objHabitation* planet = asPlanet(object);
      if (readNetStringW(stream, name) && planet != nullptr && !name.empty() && emp->findBuildList(name) != nullptr)
        planet->setGovernorType(name);
      break;
    }
    case PSK_RepeatQueue: {
      bool repeat = false;
      if (stream.Read(repeat))
        object->setRepeatQueue(repeat);
      break;
    }
    case PSK_RallyPoint:
      setRallyPoint(stream, object);
      break;
    default:
      break;
  }
}

void handleObjectCommand(RakNet::BitStream& stream, NetPlayer* sender) {
  empire* emp = senderEmpire(sender);
  uint8_t subKind = 0;
  uint32_t uid = 0;
  if (emp == nullptr || !stream.Read(subKind) || !readObjectRef(stream, uid))
    return;
  OwnedObject target(uid, emp);
  generic_object* object = target.object;
  if (object == nullptr)
    return;
  switch (subKind) {
    case OCK_UndockAll:
      object->undockAll(nullptr);
      break;
    case OCK_Stance: {
      uint8_t stance = 0;
      if (!stream.Read(stance) || stance > AIS_Defend)
        return;
      if (auto* ai = dynamic_cast<UnitAI*>(object->ai))
        ai->stance = static_cast<AIStance>(stance);
      if (stance == AIS_HoldFire)
        if (objHulled* ship = asHulled(object))
          ship->clearEffectorTargets();
      break;
    }
    case OCK_Park: {
      bool park = false;
      if (!stream.Read(park))
        return;
      MobileMover* mover = MobileMover::of(object);
      if (mover != nullptr && mover->parked != park)
        applyParkRequest(*object, park);
      break;
    }
    case OCK_CeaseFire:
      if (objHulled* ship = asHulled(object))
        ship->clearEffectorTargets();
      break;
    default:
      break;
  }
}

void handleBuildListName(RakNet::BitStream& stream) {
  empire* emp = playingEmpire;
  if (emp == nullptr)
    return;
  irr::core::stringw name;
  if (!readNetStringW(stream, name))
    return;
  emp->setBuildList(name, new build_list());
}

void sendBuildList(NetworkManager& manager, const irr::core::stringw& name, const RakNet::SystemAddress& address) {
  RakNet::BitStream stream;
  stream.Write(ID_BUILD_LIST);
  writeNetStringW(stream, name, kMaxNetStringLength);
  manager.sendDirect(&stream, RakNet::MEDIUM_PRIORITY, RakNet::RELIABLE, 0, address, false);
}

void registerObjectRequestReceivers(NetworkManager& manager) {
  static ObjectRequestReceiver receiver;
  for (uint8_t id : {ID_OBJECT_ORDER, ID_BUILD_QUEUE, ID_PLANET_SETTING, ID_BUILD_LIST, ID_OBJECT_COMMAND})
    manager.registerReceiver(id, &receiver);
}
